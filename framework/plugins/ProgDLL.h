#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kov_plugin.h"
#include "plugins/LibraryModule.h"

// One entry of a programmer library's auxiliary command menu; the window menu is built from these.
struct TAuxMenuItem {
    std::string caption;
    int command = 0;   // 1-based line of GetAuxMenuT
};

// Host of one programmer library: loads it, checks its exports, hands it the framework structure
// and the edition, and offers the few operations the framework needs from the programmer.
class TProgDLL {
public:
    // The exports, null when the library lacks them.
    struct Functions {
        KovInitProgrammerFn* InitP = nullptr;
        KovGetProgrammerNameFn* GetProgrammerNameP = nullptr;
        KovGetProgrammerIdFn* GetProgrammerIdP = nullptr;
        KovSetOemFn* SetOemP = nullptr;
        KovInitDeviceFn* InitDeviceP = nullptr;
        KovTurnOffProgrammerFn* TurnOffProgrammerP = nullptr;
        KovGetErrorFn* GetErrorP = nullptr;
        KovSetStatusModeFn* SetStatusModeP = nullptr;
        KovSetBufferModeFn* SetBufferModeP = nullptr;
        KovGetDeviceIdFn* GetDeviceIdP = nullptr;
        KovGetProgrammerResultFn* GetProgrammerResultP = nullptr;
        KovMiscReadFn* MiscReadP = nullptr;
        KovMiscWriteFn* MiscWriteP = nullptr;
        KovFrameworkVersionFn* FrameworkVersionP = nullptr;
        KovSetupFrameworkFn* SetupFrameStructP = nullptr;
        KovGetDeviceSpecFn* GetDeviceSpecP = nullptr;
    };

    // Throws KovError ("Unable to send framework struct to Library ...", "Unable to send OEM name
    // to Library ...") when the library was loaded but cannot be used. When it could not be loaded
    // at all, the user is told and the object holds no library (ProgrammerName() is then "").
    TProgDLL(const std::string& lib, const std::string& editionId);
    ~TProgDLL();
    TProgDLL(const TProgDLL&) = delete;
    TProgDLL& operator=(const TProgDLL&) = delete;

    void Unload();
    bool IsLoaded() const { return module_.IsOpen(); }

    std::string ProgrammerName();
    // The port text to remember, or "" when the programmer did not answer on that port.
    std::string InitializeOnPort(const std::string& port);
    int TurnOff();
    bool ReadDeviceSpec();
    int MiscRead(std::uint16_t* status);

    // Fills the menu with the library's auxiliary commands; false when there is no menu or the
    // library offers none.
    bool BuildAuxMenu(std::vector<TAuxMenuItem>* menu);
    void AuxCommand(int command);

    const std::string& Lib() const { return Lib_; }
    std::string LibraryFileName() const;
    int ProgrammerId() const { return ProgrammerId_; }
    // The demo programmer takes the id of the programmer it stands in for.
    void SetProgrammerId(int id) { ProgrammerId_ = id; }
    const std::string& SocketModule() const { return SocketModule_; }
    const std::string& FamilyModule() const { return FamilyModule_; }
    const Functions& DLLFunctions() const { return DLLFunctions_; }

private:
    void Reset();
    void LookUpExports();

    std::string Lib_;
    Functions DLLFunctions_;
    TLibraryModule module_;
    std::string ProgrammerName_;
    std::string SocketModule_;
    std::string FamilyModule_;
    KovGetAuxMenuTFn* GetAuxMenuTP_ = nullptr;
    KovAuxDispatchFn* AuxDispatchP_ = nullptr;
    int ProgrammerId_ = 0;
};
