#include "plugins/ProgDLL.h"

#include <algorithm>
#include <cstring>

#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/KovError.h"
#include "core/MessageCodes.h"
#include "plugins/Framestruct.h"
#include "plugins/LibraryRecords.h"

namespace {

constexpr std::size_t TextBufferSize = 256;
// The library is told 256 (or 254) bytes; the rest is room for a library that overruns that.
constexpr std::size_t TextBufferSlack = 256;
constexpr std::size_t MaxAuxMenuText = 64 * 1024;

}  // namespace

TProgDLL::TProgDLL(const std::string& lib, const std::string& editionId) {
    Reset();
    Lib_ = lib;

    bool loaded = false;
    try {
        loaded = module_.Open(lib);
    } catch (...) {
        ReportException(__FILE__, __LINE__);
        loaded = false;
    }
    if (!loaded) {
        const std::string text = "The Programmer DLL \"" + lib + "\" did not load. The error code is: " +
                                 std::to_string(LastSystemErrorCode()) + ".";
        // The code alone tells the user nothing; the loader's own words say what is wrong.
        const std::string reason = LastSystemErrorText();
        Dialogs().MessageBox(text, "Error", MB_OK);
        LogMessage(text, 3);
        if (!reason.empty()) LogMessage("Loader: " + reason, 1);
        return;
    }

    LookUpExports();
    const Functions& f = DLLFunctions_;
    if (!f.InitP || !f.GetProgrammerNameP || !f.TurnOffProgrammerP || !f.GetErrorP || !f.FrameworkVersionP ||
        !f.SetupFrameStructP) {
        LogMessage("Library " + lib + " is not a valid programmer library", 3);
        Unload();
    }

    if (!IsLoaded() || !ExchangeFrameStruct("TProgDLL:", LibraryFileName(), DLLFunctions_.FrameworkVersionP,
                                            DLLFunctions_.SetupFrameStructP)) {
        Unload();
        throw KovError("Unable to send framework struct to Library " + LibraryFileName());
    }

    if (DLLFunctions_.SetOemP && DLLFunctions_.SetOemP(editionId.c_str()) == 0) {
        Unload();
        throw KovError("Unable to send OEM name to Library " + LibraryFileName());
    }

    if (DLLFunctions_.GetProgrammerIdP) ProgrammerId_ = DLLFunctions_.GetProgrammerIdP();
    if (ProgrammerId_ == 0) ProgrammerId_ = KOV_DEFAULT_PROGRAMMER_ID;
}

TProgDLL::~TProgDLL() {
    Unload();
}

void TProgDLL::Reset() {
    DLLFunctions_ = Functions{};
    GetAuxMenuTP_ = nullptr;
    AuxDispatchP_ = nullptr;
    ProgrammerId_ = 0;
}

void TProgDLL::LookUpExports() {
    Functions& f = DLLFunctions_;
    f.InitP = module_.Function<KovInitProgrammerFn>("init_programmer");
    f.GetProgrammerNameP = module_.Function<KovGetProgrammerNameFn>("get_programmer_name");
    f.GetProgrammerIdP = module_.Function<KovGetProgrammerIdFn>("get_programmer_id");
    f.SetOemP = module_.Function<KovSetOemFn>("set_oem");
    f.InitDeviceP = module_.Function<KovInitDeviceFn>("init_device");
    f.TurnOffProgrammerP = module_.Function<KovTurnOffProgrammerFn>("turn_off_programmer");
    f.GetErrorP = module_.Function<KovGetErrorFn>("get_error");
    f.SetStatusModeP = module_.Function<KovSetStatusModeFn>("set_status_mode");
    f.SetBufferModeP = module_.Function<KovSetBufferModeFn>("set_buffer_mode");
    f.GetDeviceIdP = module_.Function<KovGetDeviceIdFn>("get_device_id");
    f.GetProgrammerResultP = module_.Function<KovGetProgrammerResultFn>("get_programmer_result");
    f.MiscReadP = module_.Function<KovMiscReadFn>("misc_read");
    f.MiscWriteP = module_.Function<KovMiscWriteFn>("misc_write");
    f.FrameworkVersionP = module_.Function<KovFrameworkVersionFn>("framework_version");
    f.SetupFrameStructP = module_.Function<KovSetupFrameworkFn>("setup_framework");
    f.GetDeviceSpecP = module_.Function<KovGetDeviceSpecFn>("get_device_spec");
}

void TProgDLL::Unload() {
    // Entry points into an unloaded library must never be called again.
    DLLFunctions_ = Functions{};
    GetAuxMenuTP_ = nullptr;
    AuxDispatchP_ = nullptr;
    module_.Close();
}

std::string TProgDLL::LibraryFileName() const {
    return ::LibraryFileName(Lib_);
}

std::string TProgDLL::ProgrammerName() {
    if (!DLLFunctions_.GetProgrammerNameP) return {};
    if (ProgrammerName_.empty()) {
        char name[TextBufferSize + TextBufferSlack] = {};
        DLLFunctions_.GetProgrammerNameP(name, static_cast<int>(TextBufferSize));
        ProgrammerName_ = FieldText(name, TextBufferSize);
    }
    return ProgrammerName_;
}

std::string TProgDLL::InitializeOnPort(const std::string& port) {
    // A host without a library (it did not load) has no programmer to find.
    if (!DLLFunctions_.InitP) return {};
    char buffer[TextBufferSize + TextBufferSlack] = {};
    std::memcpy(buffer, port.data(), std::min(port.size(), TextBufferSize - 1));
    int version = 0;
    if (DLLFunctions_.InitP(buffer, 254, &version) == 0) return {};
    return FieldText(buffer, TextBufferSize);
}

int TProgDLL::TurnOff() {
    if (DLLFunctions_.TurnOffProgrammerP) DLLFunctions_.TurnOffProgrammerP();
    return 0;
}

bool TProgDLL::ReadDeviceSpec() {
    if (!DLLFunctions_.GetDeviceSpecP) return false;
    const KovDeviceSpecRecord* spec = DLLFunctions_.GetDeviceSpecP();
    if (!spec || spec->Version != KOV_DEVICE_SPEC_VERSION) return false;
    SocketModule_ = FieldText(spec->SocketModule, sizeof spec->SocketModule);
    FamilyModule_ = FieldText(spec->FamilyModule, sizeof spec->FamilyModule);
    return true;
}

int TProgDLL::MiscRead(std::uint16_t* status) {
    if (!DLLFunctions_.MiscReadP) {
        Dialogs().MessageBox("Unable to find function 'MiscRead' in DLL\n" + Lib_ +
                                 "\nthis function is needed for automatic programming.\n",
                             "Error", MB_ICONEXCLAMATION);
        return -1;
    }
    std::uint16_t scratch = 0;
    return DLLFunctions_.MiscReadP(0, 0, 0, status ? status : &scratch);
}

bool TProgDLL::BuildAuxMenu(std::vector<TAuxMenuItem>* menu) {
    if (!menu) return false;
    menu->clear();
    if (!GetAuxMenuTP_ || !AuxDispatchP_) {
        GetAuxMenuTP_ = module_.Function<KovGetAuxMenuTFn>("GetAuxMenuT");
        AuxDispatchP_ = module_.Function<KovAuxDispatchFn>("AuxDispatch");
    }
    if (!GetAuxMenuTP_ || !AuxDispatchP_) return false;

    const char* text = GetAuxMenuTP_();
    const std::string captions = text ? std::string(text, strnlen(text, MaxAuxMenuText)) : std::string();
    std::size_t pos = 0;
    int command = 1;
    while (pos < captions.size()) {
        std::size_t end = captions.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = captions.size();
        menu->push_back({captions.substr(pos, end - pos), command++});
        if (end < captions.size() && captions[end] == '\r' && end + 1 < captions.size() && captions[end + 1] == '\n')
            ++end;
        pos = end + 1;
    }
    return true;
}

void TProgDLL::AuxCommand(int command) {
    if (command > 0 && AuxDispatchP_) AuxDispatchP_(command);
}
