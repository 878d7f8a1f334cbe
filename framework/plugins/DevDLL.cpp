#include "plugins/DevDLL.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "buffer/Splits.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/KovError.h"
#include "core/MessageCodes.h"
#include "plugins/Framestruct.h"
#include "plugins/ProgDLL.h"

namespace {

// Copies a string into a zeroed area of `size` bytes, cut to size - 1 characters.
template <std::size_t size>
void CopyCut(char (&area)[size], const std::string& text) {
    std::memset(area, 0, size);
    std::memcpy(area, text.data(), std::min(text.size(), size - 1));
}

// Clears the in-use mark of the temporary image when an operation ends, however it ends.
class ImageGuard {
public:
    explicit ImageGuard(bool& inUse) : inUse_(inUse) { inUse_ = true; }
    ~ImageGuard() { inUse_ = false; }
    ImageGuard(const ImageGuard&) = delete;
    ImageGuard& operator=(const ImageGuard&) = delete;

private:
    bool& inUse_;
};

}  // namespace

// Where the device range lies in the buffer and how its words are spread there.
struct TDevDLL::ImageLayout {
    std::uint64_t bufferStart = 0;     // buffer address of the first byte of the first word
    std::uint64_t words = 0;
    std::uint64_t bytesPerWord = 1;
    std::uint64_t stride = 1;          // buffer bytes from one word to the next: splits * bytes
    bool swap = false;
    std::uint64_t length = 0;          // bytes of the image: words * bytesPerWord

    TWordLane Lane() const {
        return {bufferStart, words, static_cast<std::uint32_t>(bytesPerWord), stride, swap};
    }
};

TDevDLL::TDevDLL(const std::string& lib, TProgDLL* progLib) {
    Reset();
    Lib_ = lib;
    if (lib.empty()) throw KovError("TDevDLL called with blank 'Lib' parameter");

    if (!module_.Open(lib)) {
        throw KovError("Unable to load library " + lib +
                       "\nLoadLibrary call did not return a valid value.\nThe error was: '" +
                       LastSystemErrorText() + "'");
    }

    LookUpExports();
    const Functions& f = DLLFunctions_;
    if (!f.ReadDeviceP || !f.GetDeviceWordSizeP || !f.GetDeviceSizeP || !f.ResetDevicePtrP || !f.GetNextDeviceP ||
        !f.SelectDeviceP || !f.SetupProgDllP || !f.FrameworkVersionP || !f.SetupFrameStructP) {
        FailConstruction("Unable to initialize device library (" + lib + ")");
    }

    if (progLib) {
        ProgLib_ = progLib;
        if ((DLLFunctions_.SetupProgDllP(progLib->Lib().c_str()) & 0xFF) == 0) {
            FailConstruction("Unable to initialize device library (" + lib + ") with programmer library");
        }
    }

    if (!ExchangeFrameStruct("TDevDLL:", LibraryFileName(), DLLFunctions_.FrameworkVersionP,
                             DLLFunctions_.SetupFrameStructP)) {
        ErrorReport("SetupFrameStructP failed ", __FILE__, __LINE__);
        FailConstruction("Unable to initialize device library (" + lib + ") with framework struct");
    }
}

TDevDLL::~TDevDLL() {
    if (GlobalDevDLL == this) GlobalDevDLL = nullptr;
    MiscFunctions_.clear();
    Geometry_.reset();
    module_.Close();
}

void TDevDLL::Reset() {
    DLLFunctions_ = Functions{};
    module_.Close();
    ProgLib_ = nullptr;
    Geometry_.reset();
    MiscFunctions_.clear();
    EraseValue_ = -1;
    EraseValueKnown_ = false;
}

void TDevDLL::FailConstruction(const std::string& message) {
    Reset();
    throw KovError(message);
}

void TDevDLL::LookUpExports() {
    Functions& f = DLLFunctions_;
    f.ReadDeviceP = module_.FunctionOrUnderscore<KovReadDeviceFn>("ReadDevice");
    f.ProgramDeviceP = module_.FunctionOrUnderscore<KovProgramDeviceFn>("ProgramDevice");
    f.EraseDeviceP = module_.FunctionOrUnderscore<KovEraseDeviceFn>("EraseDevice");
    f.VerifyDeviceP = module_.FunctionOrUnderscore<KovVerifyDeviceFn>("VerifyDevice");
    f.BlankCheckDeviceP = module_.FunctionOrUnderscore<KovBlankCheckDeviceFn>("BlankCheckDevice");
    f.ChecksumDeviceP = module_.FunctionOrUnderscore<KovChecksumDeviceFn>("ChecksumDevice");
    f.GetLastChecksumP = module_.FunctionOrUnderscore<KovGetLastChecksumFn>("GetLastChecksum");
    f.GetBufferChecksumP = module_.FunctionOrUnderscore<KovGetBufferChecksumFn>("GetBufferChecksum");
    f.GetDeviceWordSizeP = module_.FunctionOrUnderscore<KovGetDeviceWordSizeFn>("GetDeviceWordSize");
    f.GetDeviceSizeP = module_.FunctionOrUnderscore<KovGetDeviceSizeFn>("GetDeviceSize");
    f.GetEraseValueP = module_.FunctionOrUnderscore<KovGetEraseValueFn>("GetEraseValue");
    f.GetErrorP = module_.FunctionOrUnderscore<KovGetErrorFn>("get_error");
    f.ResetDevicePtrP = module_.FunctionOrUnderscore<KovResetDeviceRecordPtrFn>("ResetDeviceRecordPtr");
    f.GetNextDeviceP = module_.FunctionOrUnderscore<KovGetNextDeviceFn>("GetNextDevice");
    f.SelectDeviceP = module_.FunctionOrUnderscore<KovSelectDeviceFn>("SelectDevice");
    f.FrameworkVersionP = module_.FunctionOrUnderscore<KovFrameworkVersionFn>("framework_version");
    f.SetupFrameStructP = module_.FunctionOrUnderscore<KovSetupFrameworkFn>("setup_framework");
    f.SetupProgDllP = module_.FunctionOrUnderscore<KovSetupProgDllFn>("setup_prog_dll");
    f.GetNextMiscFunctP = module_.FunctionOrUnderscore<KovGetNextMiscFunctFn>("GetNextMiscFunct");
    f.ResetMiscFunctP = module_.FunctionOrUnderscore<KovResetMiscFunctFn>("ResetMiscFunct");
    f.MiscFunctDispatchP = module_.FunctionOrUnderscore<KovMiscFunctDispatchFn>("MiscFunctDispatch");
}

std::string TDevDLL::LibraryFileName() const {
    return ::LibraryFileName(Lib_);
}

void TDevDLL::ErrorReport(const std::string& text, const char* file, int line) const {
    if (!DebugMode) return;
    std::string message = "TDevDLL: " + text;
    if (message.back() != ' ') message += ' ';
    message += "(" + ::LibraryFileName(file) + ":" + std::to_string(line) + ")";
    LogMessage(message, 1);
    Dialogs().MessageBox(message, "Error", MB_ICONEXCLAMATION);
}

void TDevDLL::SetGeometryListener(TGeometryListener listener, void* context) {
    GeometryListener_ = listener;
    GeometryListenerContext_ = context;
}

long TDevDLL::EnumerateDevices(std::vector<TLibraryDeviceRecord>& list) {
    if (!DLLFunctions_.ResetDevicePtrP || !DLLFunctions_.GetNextDeviceP) return 0;
    DLLFunctions_.ResetDevicePtrP();
    long taken = 0;
    long unknown = 0;
    while (const KovDeviceRecord* record = DLLFunctions_.GetNextDeviceP()) {
        if (++taken > MaxDeviceRecords) {
            LogMessage("Device library " + Lib_ + " lists more than " + std::to_string(MaxDeviceRecords) +
                           " devices; the rest is not listed.",
                       1);
            break;
        }
        const int type = record->RecordType;
        if (type != KOV_RECORD_TYPE1 && type != KOV_RECORD_TYPE2) {
            ++unknown;
            continue;
        }
        const std::uint32_t mask = type == KOV_RECORD_TYPE2 ? record->ProgrammerMask : 0;
        if (RecordSuitsProgrammer(type, mask, ProgrammerId_)) list.push_back(ReadDeviceRecord(*record, Lib_));
    }
    return unknown;
}

bool TDevDLL::SelectDevice(const std::string& deviceName, const std::string& manufacturer,
                           const std::string& package, int pinCount, int dataWidth) {
    if (!DLLFunctions_.SelectDeviceP) return false;
    LogMessage("TDevDLL: Calling SelectDevice with: " + manufacturer + " " + deviceName + " " + package + " " +
                   std::to_string(pinCount) + " " + std::to_string(dataWidth),
               7);

    char name[50];
    char maker[50];
    char pack[15];
    CopyCut(name, deviceName);
    CopyCut(maker, manufacturer);
    CopyCut(pack, package);
    SelectedDeviceName_ = name;
    SelectedManufacturer_ = maker;
    SelectedPackage_ = pack;
    SelectedPinCount_ = std::to_string(pinCount);

    if (Geometry_) {
        Geometry_->Reset();
    } else {
        try {
            Geometry_ = std::make_unique<TDevGeometry>();
        } catch (const std::bad_alloc&) {
            throw KovError("Unable to allocate Device geometry object! (" + ::LibraryFileName(__FILE__) + ":" +
                           std::to_string(__LINE__) + ")");
        }
    }
    if (GeometryListener_) Geometry_->SetListener(GeometryListener_, GeometryListenerContext_);

    if ((DLLFunctions_.SelectDeviceP(name, maker, pack, pinCount, dataWidth) & 0xFF) != 1) return false;

    Geometry_->SetWordWidth(static_cast<std::uint32_t>(DLLFunctions_.GetDeviceWordSizeP()));
    Geometry_->SetDeviceSize(DLLFunctions_.GetDeviceSizeP());
    RebuildMiscFunctions();
    return true;
}

bool TDevDLL::ByteSwapping() const {
    return GlobalConfig && GlobalConfig->GetBool("Hidden", "Device", "ByteSwap") &&
           !GlobalConfig->GetBool("Hidden", "Suppress", "ByteSwap");
}

bool TDevDLL::DeviceRange(std::uint32_t* start, std::uint32_t* end) const {
    if (!Geometry_) return false;
    *start = Geometry_->DeviceStart();
    *end = Geometry_->DeviceEnd();
    return true;
}

bool TDevDLL::MakeImage(TVirtBuffer* buffer, bool filled, ImageLayout& layout, std::vector<unsigned char>& image) {
    if (!buffer || !Geometry_) return false;
    if (ImageInUse_) {
        // Only an operation started while another one runs (from inside the library's call) gets
        // here. The image of the running operation is still in the library's hands, so it stays.
        ErrorReport("Buffer requested, but buffer already exists", __FILE__, __LINE__);
        return false;
    }
    const std::uint32_t first = Geometry_->DeviceStart();
    const std::uint32_t last = Geometry_->DeviceEnd();
    if (last < first) return false;

    layout.bytesPerWord = Geometry_->BytesPerWord();
    if (layout.bytesPerWord == 0) layout.bytesPerWord = 1;
    layout.words = static_cast<std::uint64_t>(last) - first + 1;
    layout.stride = static_cast<std::uint64_t>(Geometry_->Splits()) * layout.bytesPerWord;
    layout.swap = ByteSwapping();
    layout.length = layout.words * layout.bytesPerWord;
    layout.bufferStart = Geometry_->RangeStart();

    // Every byte the image is taken from or copied back to has to be a buffer address.
    const std::uint64_t lastAddress =
        layout.bufferStart + (layout.words - 1) * layout.stride + (layout.bytesPerWord - 1) + (layout.swap ? 1 : 0);
    if (lastAddress > static_cast<std::uint64_t>(INT32_MAX)) {
        ErrorReport("Device range lies beyond the buffer", __FILE__, __LINE__);
        return false;
    }

    try {
        // The storage is kept from one operation to the next: allocating and clearing a large
        // image anew each time would cost more than the copy itself.
        if (image.size() < layout.length + TemporarySlack) image.resize(layout.length + TemporarySlack);
    } catch (const std::exception&) {
        ErrorReport("Unable to allocate a temporary buffer", __FILE__, __LINE__);
        return false;
    }

    const std::uint64_t bytes = layout.bytesPerWord;
    if (filled) {
        GatherWords(*buffer, layout.Lane(), image.data());
    } else {
        const auto erase = static_cast<std::uint32_t>(EraseValue());
        for (std::uint64_t i = 0; i < bytes; ++i) image[i] = static_cast<unsigned char>(erase >> (8 * (i % 4)));
        // Every word is the same, so the first one is repeated by doubling copies.
        for (std::uint64_t done = bytes; done < layout.length; done *= 2) {
            std::memcpy(image.data() + done, image.data(), std::min(done, layout.length - done));
        }
    }
    std::memcpy(image.data() + layout.length, FencepostMarker, FencepostSize);
    return true;
}

void TDevDLL::CopyImageBack(TVirtBuffer* buffer, const ImageLayout& layout, const std::vector<unsigned char>& image) {
    if (std::memcmp(image.data() + layout.length, FencepostMarker, FencepostSize) != 0) {
        ErrorReport("Memory fencepost overwritten in " + Lib_, __FILE__, __LINE__);
    }
    ScatterWords(*buffer, layout.Lane(), image.data());
}

int TDevDLL::Read(TVirtBuffer* buffer) try {
    LogMessage("TDevDLL: Calling into Device DLL", 7);
    if (!DLLFunctions_.ReadDeviceP) return 0;
    ImageLayout layout;
    std::vector<unsigned char>& image = ImageStore_;
    if (!MakeImage(buffer, false, layout, image)) return 0;
    int result = 0;
    {
        ImageGuard guard(ImageInUse_);
        result = DLLFunctions_.ReadDeviceP(Geometry_->DeviceStart(), Geometry_->DeviceEnd(), image.data());
    }
    if (result == 1 || (GlobalConfig && GlobalConfig->GetBool("UserAbort", "AllowUpdateBuffer"))) {
        CopyImageBack(buffer, layout, image);
    }
    return result;
} catch (...) {
    ReportException(__FILE__, __LINE__);
    return 0;
}

int TDevDLL::Program(TVirtBuffer* buffer) try {
    if (!DLLFunctions_.ProgramDeviceP) return 0;
    ImageLayout layout;
    std::vector<unsigned char>& image = ImageStore_;
    if (!MakeImage(buffer, true, layout, image)) return 0;
    ImageGuard guard(ImageInUse_);
    return DLLFunctions_.ProgramDeviceP(Geometry_->DeviceStart(), Geometry_->DeviceEnd(), image.data());
} catch (...) {
    ReportException(__FILE__, __LINE__);
    return 0;
}

int TDevDLL::Verify(TVirtBuffer* buffer) try {
    if (!DLLFunctions_.VerifyDeviceP) return 0;
    ImageLayout layout;
    std::vector<unsigned char>& image = ImageStore_;
    if (!MakeImage(buffer, true, layout, image)) return 0;
    ImageGuard guard(ImageInUse_);
    return DLLFunctions_.VerifyDeviceP(Geometry_->DeviceStart(), Geometry_->DeviceEnd(), image.data());
} catch (...) {
    ReportException(__FILE__, __LINE__);
    return 0;
}

int TDevDLL::Erase() {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    if (!DLLFunctions_.EraseDeviceP || !DeviceRange(&start, &end)) return 0;
    return DLLFunctions_.EraseDeviceP(start, end);
}

int TDevDLL::BlankCheck() {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    if (!DLLFunctions_.BlankCheckDeviceP || !DeviceRange(&start, &end)) return 0;
    return DLLFunctions_.BlankCheckDeviceP(start, end);
}

bool TDevDLL::DeviceChecksum(std::uint32_t* value) {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    if (!value || !DLLFunctions_.ChecksumDeviceP || !DeviceRange(&start, &end)) return false;
    *value = 0;
    return DLLFunctions_.ChecksumDeviceP(start, end, value) == 1;
}

std::uint32_t TDevDLL::LastChecksum() {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    if (!DLLFunctions_.GetLastChecksumP || !DeviceRange(&start, &end)) return 0;
    std::uint32_t value = 0;
    return DLLFunctions_.GetLastChecksumP(start, end, &value) == 1 ? value : 0;
}

std::uint32_t TDevDLL::BufferChecksum(TVirtBuffer* buffer) try {
    if (!DLLFunctions_.GetBufferChecksumP) return 0;
    ImageLayout layout;
    std::vector<unsigned char>& image = ImageStore_;
    if (!MakeImage(buffer, true, layout, image)) return 0;
    ImageGuard guard(ImageInUse_);
    std::uint32_t value = 0;
    const int result =
        DLLFunctions_.GetBufferChecksumP(Geometry_->DeviceStart(), Geometry_->DeviceEnd(), &value, image.data());
    return result == 1 ? value : 0;
} catch (...) {
    ReportException(__FILE__, __LINE__);
    return 0;
}

int TDevDLL::EraseValue() {
    if (!EraseValueKnown_) {
        EraseValue_ = DLLFunctions_.GetEraseValueP ? static_cast<int>(DLLFunctions_.GetEraseValueP()) : -1;
        EraseValueKnown_ = true;
    }
    return EraseValue_;
}

const TDeviceFunction* TDevDLL::MiscFunction(int index) const {
    if (index < 0 || index >= MiscFunctionCount()) return nullptr;
    return MiscFunctions_[static_cast<std::size_t>(index)].get();
}

void TDevDLL::DispatchMiscFunction(int identifier) {
    if (DLLFunctions_.MiscFunctDispatchP) DLLFunctions_.MiscFunctDispatchP(identifier);
    RebuildMiscFunctions();
}

void TDevDLL::RebuildMiscFunctions() {
    MiscFunctions_.clear();
    if (!DLLFunctions_.ResetMiscFunctP || !DLLFunctions_.GetNextMiscFunctP) return;
    DLLFunctions_.ResetMiscFunctP();
    long taken = 0;
    while (const KovMiscFunctRecord* record = DLLFunctions_.GetNextMiscFunctP()) {
        if (++taken > MaxMiscFunctionRecords) {
            LogMessage("Device library " + Lib_ + " lists more than " + std::to_string(MaxMiscFunctionRecords) +
                           " extra functions; the rest is not offered.",
                       1);
            break;
        }
        try {
            MiscFunctions_.push_back(std::make_unique<TDeviceFunction>(record, module_));
        } catch (const KovError&) {
            // A corrupt record is left out; the others are still offered.
        }
    }
}
