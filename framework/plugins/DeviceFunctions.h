#pragma once
#include <memory>
#include <string>

#include "core/Globals.h"
#include "kov_plugin.h"

class TLibraryModule;

// One extra device function offered by a device library (a button and a Device menu entry).
class TDeviceFunction {
public:
    // Throws KovError naming the library module when the record is corrupt or its glyph resource
    // cannot be loaded.
    TDeviceFunction(const KovMiscFunctRecord* record, const TLibraryModule& module);

    const std::string& Name() const { return Name_; }
    const std::string& GlyphName() const { return GlyphName_; }
    const std::string& Tooltip() const { return Tooltip_; }
    int Identifier() const { return Identifier_; }
    int GlyphCount() const { return GlyphCount_; }
    // The glyph's PNG or BMP bytes, or null when the function has none.
    const TGlyph* Glyph() const { return Glyph_.get(); }

private:
    std::string Name_;
    std::string GlyphName_;
    std::string Tooltip_;
    int Identifier_ = 0;
    int GlyphCount_ = 0;
    std::unique_ptr<TGlyph> Glyph_;
};

// The bytes of a bitmap resource exported by a library (see KOV_EXPORT_BITMAP), or null when the
// library has no such resource or it is not a PNG or BMP picture of an acceptable size.
std::unique_ptr<TGlyph> LoadLibraryBitmap(const TLibraryModule& module, const std::string& name);
