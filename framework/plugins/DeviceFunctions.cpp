#include "plugins/DeviceFunctions.h"

#include <cstring>

#include "core/KovError.h"
#include "plugins/LibraryModule.h"
#include "plugins/LibraryRecords.h"

namespace {

constexpr std::size_t MaxModulePath = 98;

bool IsPng(const unsigned char* data, std::uint32_t size) {
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return size > sizeof signature && std::memcmp(data, signature, sizeof signature) == 0;
}

bool IsBmp(const unsigned char* data, std::uint32_t size) {
    return size > 2 && data[0] == 'B' && data[1] == 'M';
}

}  // namespace

std::unique_ptr<TGlyph> LoadLibraryBitmap(const TLibraryModule& module, const std::string& name) {
    if (name.empty()) return nullptr;
    const auto* resource =
        static_cast<const KovBitmapResource*>(module.Symbol(std::string(KOV_BITMAP_SYMBOL_PREFIX) + name));
    if (!resource || !resource->Data || resource->Size > KOV_BITMAP_MAX_SIZE) return nullptr;
    if (!IsPng(resource->Data, resource->Size) && !IsBmp(resource->Data, resource->Size)) return nullptr;
    auto glyph = std::make_unique<TGlyph>();
    glyph->bytes.assign(resource->Data, resource->Data + resource->Size);
    return glyph;
}

TDeviceFunction::TDeviceFunction(const KovMiscFunctRecord* record, const TLibraryModule& module) {
    std::string modulePath = module.ModuleFileName();
    if (modulePath.size() > MaxModulePath) modulePath.resize(MaxModulePath);
    if (!record) throw KovError("Missing Misc. function data.(" + modulePath + ")");

    std::string error;
    const int type = record->RecordType;
    if (type == KOV_RECORD_TYPE1 || type == KOV_RECORD_TYPE2) {
        if (FieldTerminated(record->Name, sizeof record->Name)) {
            Name_ = FieldText(record->Name, sizeof record->Name);
        } else {
            error = "Corrupt Name string in Misc. function data.(" + modulePath + ")";
        }
        if (FieldTerminated(record->GlyphName, sizeof record->GlyphName)) {
            GlyphName_ = FieldText(record->GlyphName, sizeof record->GlyphName);
        } else {
            error = "Corrupt Glyph name string in Misc. function data.(" + modulePath + "," + Name_ + ")";
        }
        GlyphCount_ = record->GlyphCount;
        if (GlyphCount_ < 0) {
            error = "Corrupt glyph count in Misc. function data.(" + modulePath + "," + Name_ + ")";
        } else if (!GlyphName_.empty()) {
            if (GlyphCount_ != 0) {
                Glyph_ = LoadLibraryBitmap(module, GlyphName_);
                if (!Glyph_) {
                    error = "Unable to load glyph " + GlyphName_ + " in Misc. function data.(" + modulePath + "," +
                            Name_ + ")";
                }
            } else {
                GlyphCount_ = 0;
            }
        }
        // Windows divide the picture by the count, so a count never goes without a picture.
        if (!Glyph_) GlyphCount_ = 0;
        Identifier_ = record->Identifier;
        if (type == KOV_RECORD_TYPE2) {
            if (FieldTerminated(record->Tooltip, sizeof record->Tooltip)) {
                Tooltip_ = FieldText(record->Tooltip, sizeof record->Tooltip);
            } else {
                error = "Corrupt Tooltip string in Misc. function data.(" + modulePath + ")";
            }
        }
    } else {
        error = "Unknown record type " + std::to_string(type) + " in Misc. function data.(" + modulePath + ")";
    }
    if (record->Identifier < 1 || record->Identifier > 254) {
        error = "Identifier " + std::to_string(record->Identifier) + " out of range in Misc. function data.(" +
                modulePath + ")";
    }
    if (!error.empty()) throw KovError(error);
}
