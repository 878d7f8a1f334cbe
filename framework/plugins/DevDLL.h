#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kov_plugin.h"
#include "plugins/DevGeometry.h"
#include "plugins/DeviceFunctions.h"
#include "plugins/LibraryModule.h"
#include "plugins/LibraryRecords.h"

class TProgDLL;
class TVirtBuffer;

// Host of one device library: loads it, binds it to the programmer library, hands it the
// framework structure, lists and selects its devices, and runs the device operations on the
// buffer through a temporary device image guarded by a fencepost marker.
class TDevDLL {
public:
    struct Functions {
        KovReadDeviceFn* ReadDeviceP = nullptr;
        KovProgramDeviceFn* ProgramDeviceP = nullptr;
        KovEraseDeviceFn* EraseDeviceP = nullptr;
        KovVerifyDeviceFn* VerifyDeviceP = nullptr;
        KovBlankCheckDeviceFn* BlankCheckDeviceP = nullptr;
        KovChecksumDeviceFn* ChecksumDeviceP = nullptr;
        KovGetLastChecksumFn* GetLastChecksumP = nullptr;
        KovGetBufferChecksumFn* GetBufferChecksumP = nullptr;
        KovGetDeviceWordSizeFn* GetDeviceWordSizeP = nullptr;
        KovGetDeviceSizeFn* GetDeviceSizeP = nullptr;
        KovGetEraseValueFn* GetEraseValueP = nullptr;
        KovGetErrorFn* GetErrorP = nullptr;
        KovResetDeviceRecordPtrFn* ResetDevicePtrP = nullptr;
        KovGetNextDeviceFn* GetNextDeviceP = nullptr;
        KovSelectDeviceFn* SelectDeviceP = nullptr;
        KovFrameworkVersionFn* FrameworkVersionP = nullptr;
        KovSetupFrameworkFn* SetupFrameStructP = nullptr;
        KovSetupProgDllFn* SetupProgDllP = nullptr;
        KovGetNextMiscFunctFn* GetNextMiscFunctP = nullptr;
        KovResetMiscFunctFn* ResetMiscFunctP = nullptr;
        KovMiscFunctDispatchFn* MiscFunctDispatchP = nullptr;
    };

    // The 18 bytes written after the device image; a library that writes past the image
    // changes them.
    static constexpr char FencepostMarker[] = "ZEBRAQUILTMARROW.";
    static constexpr std::size_t FencepostSize = sizeof FencepostMarker;   // with its NUL
    static constexpr std::size_t TemporarySlack = 23;                      // marker + 5 spare bytes

    // A library whose device or extra-function list never ends is cut off after this many
    // records instead of hanging the program.
    static constexpr long MaxDeviceRecords = 200000;
    static constexpr long MaxMiscFunctionRecords = 1024;

    // Throws KovError with the fixed texts when the library cannot be loaded, lacks a required
    // export, refuses the programmer library or refuses the framework structure.
    TDevDLL(const std::string& lib, TProgDLL* progLib);
    ~TDevDLL();   // also clears GlobalDevDLL when it refers to this object
    TDevDLL(const TDevDLL&) = delete;
    TDevDLL& operator=(const TDevDLL&) = delete;

    void SetProgrammerId(int id) { ProgrammerId_ = id; }
    int ProgrammerId() const { return ProgrammerId_; }
    // Handed to the geometry at every selection (which tells it at once).
    void SetGeometryListener(TGeometryListener listener, void* context);

    // Appends the library's device records that suit the programmer id; returns how many records
    // of an unknown type were passed over.
    long EnumerateDevices(std::vector<TLibraryDeviceRecord>& list);
    bool SelectDevice(const std::string& deviceName, const std::string& manufacturer, const std::string& package,
                      int pinCount, int dataWidth);

    // The library's result (1 = success), or 0 when the export is absent, no device is selected
    // or the temporary image could not be made.
    int Read(TVirtBuffer* buffer);
    int Program(TVirtBuffer* buffer);
    int Verify(TVirtBuffer* buffer);
    int Erase();
    int BlankCheck();
    bool DeviceChecksum(std::uint32_t* value);
    std::uint32_t LastChecksum();
    std::uint32_t BufferChecksum(TVirtBuffer* buffer);
    int EraseValue();

    bool HasProgram() const { return DLLFunctions_.ProgramDeviceP != nullptr; }
    bool HasRead() const { return DLLFunctions_.ReadDeviceP != nullptr; }
    bool HasErase() const { return DLLFunctions_.EraseDeviceP != nullptr; }
    bool HasVerify() const { return DLLFunctions_.VerifyDeviceP != nullptr; }
    bool HasBlankCheck() const { return DLLFunctions_.BlankCheckDeviceP != nullptr; }
    bool HasBufferChecksum() const { return DLLFunctions_.GetBufferChecksumP != nullptr; }
    bool HasDeviceChecksum() const { return DLLFunctions_.ChecksumDeviceP != nullptr; }

    int MiscFunctionCount() const { return static_cast<int>(MiscFunctions_.size()); }
    // Null for an index outside the list. The list is rebuilt after every dispatch, so do not
    // keep the pointer across DispatchMiscFunction.
    const TDeviceFunction* MiscFunction(int index) const;
    void DispatchMiscFunction(int identifier);

    TDevGeometry* Geometry() const { return Geometry_.get(); }
    const std::string& Lib() const { return Lib_; }
    std::string LibraryFileName() const;
    TProgDLL* ProgLib() const { return ProgLib_; }
    const Functions& DLLFunctions() const { return DLLFunctions_; }

    const std::string& SelectedDeviceName() const { return SelectedDeviceName_; }
    const std::string& SelectedManufacturer() const { return SelectedManufacturer_; }
    const std::string& SelectedPackage() const { return SelectedPackage_; }
    const std::string& SelectedPinCount() const { return SelectedPinCount_; }

private:
    struct ImageLayout;

    void Reset();
    void LookUpExports();
    [[noreturn]] void FailConstruction(const std::string& message);
    void ErrorReport(const std::string& text, const char* file, int line) const;
    bool ByteSwapping() const;
    void RebuildMiscFunctions();
    bool DeviceRange(std::uint32_t* start, std::uint32_t* end) const;
    bool MakeImage(TVirtBuffer* buffer, bool filled, ImageLayout& layout, std::vector<unsigned char>& image);
    void CopyImageBack(TVirtBuffer* buffer, const ImageLayout& layout, const std::vector<unsigned char>& image);

    std::string Lib_;
    Functions DLLFunctions_;
    TLibraryModule module_;
    TProgDLL* ProgLib_ = nullptr;
    int ProgrammerId_ = KOV_DEFAULT_PROGRAMMER_ID;
    std::unique_ptr<TDevGeometry> Geometry_;
    TGeometryListener GeometryListener_ = nullptr;
    void* GeometryListenerContext_ = nullptr;
    std::string SelectedDeviceName_;
    std::string SelectedManufacturer_;
    std::string SelectedPackage_;
    std::string SelectedPinCount_;
    int EraseValue_ = -1;
    bool EraseValueKnown_ = false;
    bool ImageInUse_ = false;
    std::vector<unsigned char> ImageStore_;   // the temporary image's storage, reused
    std::vector<std::unique_ptr<TDeviceFunction>> MiscFunctions_;
};
