#include "plugins/ProgrammerSearch.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>

#include "branding/Edition.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "plugins/DeviceList.h"
#include "plugins/LibraryModule.h"
#include "plugins/ProgDLL.h"

namespace {

constexpr std::size_t ModelLimit = 16;
constexpr int HighestPort = 0xFFFF;
constexpr const char* LibraryErrorCaption = "Programmer library error";

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string ProgrammersFolder() {
    return GlobalConfig ? GlobalConfig->ProgrammersFolder() : JoinFolderPath(InstallFolder, "prog");
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Programmer libraries

std::string InterfaceForLibrary(const std::string& fileName) {
    const std::string name = Upper(fileName);
    for (const char* family : {"KOV12", "KOV22", "KOV31"}) {
        if (Contains(name, family)) return "USB";
    }
    return "ParallelPort";
}

bool ProgrammerEntryFor(const std::string& path, const std::string& programmerName, int programmerId,
                        TProgrammerEntry& entry) {
    const std::string product = Upper(ProductName);
    if (programmerName.size() <= product.size() + 2) return false;
    if (Upper(programmerName).compare(0, product.size(), product) != 0) return false;
    entry.model = EditionId == "KESTRA" ? "TOLQ" : programmerName.substr(product.size() + 1, ModelLimit);
    entry.interface = InterfaceForLibrary(LibraryFileName(path));
    entry.path = path;
    entry.id = programmerId;
    entry.name = programmerName;
    return true;
}

std::vector<std::string> ProgrammerLibraryFiles(const std::string& folder) {
    std::vector<std::string> paths = DeviceLibraryFiles(folder);
    std::erase_if(paths, [](const std::string& path) { return Contains(Upper(LibraryFileName(path)), "DEMO"); });
    return paths;
}

std::vector<TProgrammerEntry> ListProgrammerLibraries(const std::string& folder) {
    std::vector<TProgrammerEntry> entries;
    for (const std::string& path : ProgrammerLibraryFiles(folder)) {
        try {
            TProgDLL host(path, EditionId);
            TProgrammerEntry entry;
            if (ProgrammerEntryFor(path, host.ProgrammerName(), host.ProgrammerId(), entry)) {
                entries.push_back(std::move(entry));
            }
        } catch (const std::exception& error) {
            // One unusable library must not keep the others from being offered.
            LogMessage("Programmer library " + path + " skipped: " + error.what(), 1);
            ReportException(__FILE__, __LINE__);
        }
    }
    return entries;
}

std::string StoredProgrammerPath(const std::string& stored, const std::string& programmerFolder) {
    if (stored.empty() || std::filesystem::path(stored).is_absolute()) return stored;
    return JoinFolderPath(programmerFolder, stored);
}

bool ParsePortAddress(const std::string& text, int& address) {
    std::size_t first = text.find_first_not_of(" \t");
    std::size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos) return false;
    std::string_view digits(text.data() + first, last - first + 1);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    long value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (error != std::errc() || end != digits.data() + digits.size() || value < 0 || value > HighestPort) {
        return false;
    }
    address = static_cast<int>(value);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Start-up

const std::vector<std::string>& TProgrammerSearch::PortItems() {
    static const std::vector<std::string> items = {AutoSearch, "0x0378", "0x0278", "0x03BC"};
    return items;
}

TProgrammerSearch::TProgrammerSearch() = default;

TProgrammerSearch::~TProgrammerSearch() = default;

std::unique_ptr<TProgDLL> TProgrammerSearch::TakeProgrammer() {
    return std::move(Programmer_);
}

void TProgrammerSearch::PushStatus(const std::string& text) {
    if (GlobalStatusStack && StatusOwner) GlobalStatusStack->PushStatus(text, StatusOwner);
}

void TProgrammerSearch::PopStatus() {
    if (GlobalStatusStack && StatusOwner) GlobalStatusStack->PopStatus(StatusOwner);
}

bool TProgrammerSearch::StartProgrammer() {
    PushStatus("Attempting to communicate with programmer");
    NoLastProgrammer_ = false;
    const std::string lastPath =
        StoredProgrammerPath(GlobalConfig ? GlobalConfig->GetString("LastProgrammer", "DLLName") : "", ProgrammersFolder());
    const std::string lastInterface = GlobalConfig ? GlobalConfig->GetString("LastProgrammer", "Interface") : "";
    if (!lastPath.empty() || !lastInterface.empty()) {
        LoadProgrammer(lastPath, lastInterface);
    } else {
        NoLastProgrammer_ = true;
    }

    if (!Programmer_ && ScanProgrammerLibraries(lastPath, lastInterface)) {
        while (!Programmer_) {
            const Choice choice = RunDialog ? RunDialog() : ChoiceCancel;
            if (choice == ChoiceCancel) break;
            if (choice == ChoiceOk) {
                TryChosen();
            } else {
                TryDemo();
            }
        }
    }
    if (GlobalStatusStack && StatusOwner) GlobalStatusStack->RemoveStatus(StatusOwner);
    return Programmer_ != nullptr;
}

bool TProgrammerSearch::TryChosen() {
    const std::string model = ChosenProgrammer();
    const std::string interface = ChosenInterface();
    std::string path;
    for (const TProgrammerEntry& entry : Entries_) {
        if (entry.model == model && entry.interface == interface) path = entry.path;
    }
    return LoadProgrammer(path, InterfaceText()) != nullptr;
}

bool TProgrammerSearch::TryDemo() {
    // The demo stands in for the programmer chosen in the dialog, so it offers that one's devices.
    int id = 0;
    for (const TProgrammerEntry& entry : Entries_) {
        if (entry.model == ChosenProgrammer() && entry.interface == ChosenInterface()) id = entry.id;
    }
    return LoadDemo(id) != nullptr;
}

TProgDLL* TProgrammerSearch::LoadDemo(int programmerId) {
    const std::string path = JoinFolderPath(ProgrammersFolder(), "demo.so");
    std::error_code error;
    TProgDLL* demo = std::filesystem::exists(path, error) ? LoadProgrammer(path, "DEMO", true) : nullptr;
    if (!demo) {
        Dialogs().MessageBox("No demo programmer library found", LibraryErrorCaption, MB_OK | MB_ICONWARNING);
        return nullptr;
    }
    demo->SetProgrammerId(programmerId);
    return demo;
}

bool TProgrammerSearch::ScanProgrammerLibraries(const std::string& lastPath, const std::string& lastInterface) {
    const std::string last = Upper(lastInterface);
    if (Contains(last, "PARALLELPORT")) {
        AddInterface("ParallelPort");
        InterfaceIndex_ = static_cast<int>(std::find(Interfaces_.begin(), Interfaces_.end(), "ParallelPort") -
                                           Interfaces_.begin());
        const std::size_t colon = lastInterface.find(':');
        if (colon != std::string::npos) SetPortText("0x" + lastInterface.substr(colon + 1));
    }
    if (Contains(last, "USB")) {
        AddInterface("USB");
        InterfaceIndex_ = 0;
        PortText_ = AutoSearch;
    }

    const std::string lastUpper = Upper(lastPath);
    bool found = false;
    for (TProgrammerEntry& entry : ListProgrammerLibraries(ProgrammersFolder())) {
        if (!lastUpper.empty() && Contains(lastUpper, Upper(LibraryFileName(entry.path)))) {
            AddProgrammer(entry.model);
            ProgrammerIndex_ = static_cast<int>(std::find(Programmers_.begin(), Programmers_.end(), entry.model) -
                                                Programmers_.begin());
        }
        Entries_.push_back(std::move(entry));
        found = true;
    }
    if (!found) {
        Dialogs().MessageBox("No vaild programmer librarys found", LibraryErrorCaption, MB_OK | MB_ICONWARNING);
    }
    return found;
}

TProgDLL* TProgrammerSearch::LoadProgrammer(const std::string& path, const std::string& interface, bool demo) {
    std::unique_ptr<TProgDLL> host;
    // Only the line pushed here is popped: a library that cannot even be loaded must not take
    // "Attempting to communicate with programmer" off the splash window.
    bool pushed = false;
    try {
        if (!path.empty()) {
            LogMessage("Attempting to initialize (" + path + ") with port (" + interface + ")", 7);
            host = std::make_unique<TProgDLL>(path, EditionId);
            if (host->ProgrammerName().empty()) host.reset();
        }
        if (!host) return nullptr;
        PushStatus("Attempting to find " + host->ProgrammerName() + " on " + interface);
        pushed = true;
        const std::string answered = host->InitializeOnPort(interface);
        PopStatus();
        pushed = false;
        if (answered.empty()) return nullptr;
        ProgrammerSelected(std::move(host), answered, demo);
        return Programmer_.get();
    } catch (const std::exception& error) {
        if (pushed) PopStatus();
        LogMessage("Programmer library " + path + " could not be started: " + error.what(), 1);
        ReportException(__FILE__, __LINE__);
        return nullptr;
    }
}

void TProgrammerSearch::ProgrammerSelected(std::unique_ptr<TProgDLL> host, const std::string& interface, bool demo) {
    Programmer_ = std::move(host);
    if (DebugMode && ShowAuxMenu) ShowAuxMenu(*Programmer_);
    if (GlobalConfig && !demo && Upper(interface) != "DEMO") {
        GlobalConfig->SetString("LastProgrammer", "DLLName", Programmer_->Lib());
        GlobalConfig->SetString("LastProgrammer", "Interface", interface);
    }
    LogMessage("MainForm: Programmer selected: " + Programmer_->ProgrammerName(), 3);
}

// ---------------------------------------------------------------------------------------------
// Search dialog

std::string TProgrammerSearch::ChosenProgrammer() const {
    return ProgrammerIndex_ >= 0 && ProgrammerIndex_ < static_cast<int>(Programmers_.size())
               ? Programmers_[static_cast<std::size_t>(ProgrammerIndex_)]
               : std::string();
}

std::string TProgrammerSearch::ChosenInterface() const {
    return InterfaceIndex_ >= 0 && InterfaceIndex_ < static_cast<int>(Interfaces_.size())
               ? Interfaces_[static_cast<std::size_t>(InterfaceIndex_)]
               : std::string();
}

void TProgrammerSearch::AddProgrammer(const std::string& model) {
    if (std::find(Programmers_.begin(), Programmers_.end(), model) != Programmers_.end()) return;
    const std::string chosen = ChosenProgrammer();
    Programmers_.insert(std::upper_bound(Programmers_.begin(), Programmers_.end(), model), model);
    if (!chosen.empty()) {
        ProgrammerIndex_ =
            static_cast<int>(std::find(Programmers_.begin(), Programmers_.end(), chosen) - Programmers_.begin());
    }
}

void TProgrammerSearch::AddInterface(const std::string& interface) {
    if (std::find(Interfaces_.begin(), Interfaces_.end(), interface) == Interfaces_.end()) {
        Interfaces_.push_back(interface);
    }
}

std::string TProgrammerSearch::ExplanationText() const {
    if (NoLastProgrammer_) {
        return "The current session file does not contain an entry for the last known\ndevice programmer. If you "
               "wish to locate a programmer using the\nabove settings then press \"OK.\"  Otherwise, press "
               "\"Demo\" to run\nthe software in demo mode using the currently selected programmer.";
    }
    return "The last known device programmer was not found.  If you wish to\nlocate a programmer using the above "
           "settings then press \"OK.\"\nOtherwise, press \"Demo\" to run the software in demo mode using\nthe "
           "currently selected programmer.";
}

void TProgrammerSearch::FormShow() {
    for (const TProgrammerEntry& entry : Entries_) AddProgrammer(entry.model);
    ProgrammersEnabled_ = true;
    if (ProgrammerIndex_ < 0 && !Programmers_.empty()) ProgrammerIndex_ = 0;
    ProgrammerComboBoxChange();
}

void TProgrammerSearch::ProgrammerComboBoxChange() {
    const std::string remembered = ChosenInterface();
    const std::string model = ChosenProgrammer();
    Interfaces_.clear();
    for (const TProgrammerEntry& entry : Entries_) {
        if (entry.model == model) AddInterface(entry.interface);
    }
    InterfacesEnabled_ = true;
    const auto kept = std::find(Interfaces_.begin(), Interfaces_.end(), remembered);
    if (kept != Interfaces_.end()) {
        InterfaceIndex_ = static_cast<int>(kept - Interfaces_.begin());
    } else {
        InterfaceIndex_ = Interfaces_.empty() ? -1 : 0;
    }
    InterfaceComboBoxChange();
}

void TProgrammerSearch::InterfaceComboBoxChange() {
    const std::string interface = ChosenInterface();
    if (interface == "USB") {
        PortText_ = AutoSearch;
        PortEnabled_ = false;
    } else if (interface == "ParallelPort") {
        PortEnabled_ = true;
        if (PortText_.empty()) PortText_ = AutoSearch;
    }
}

void TProgrammerSearch::ChooseProgrammer(int index) {
    if (index < 0 || index >= static_cast<int>(Programmers_.size())) return;
    ProgrammerIndex_ = index;
    ProgrammerComboBoxChange();
}

void TProgrammerSearch::ChooseInterface(int index) {
    if (index < 0 || index >= static_cast<int>(Interfaces_.size())) return;
    InterfaceIndex_ = index;
    InterfaceComboBoxChange();
}

void TProgrammerSearch::SetPortText(const std::string& text) {
    // Typed text is cut to the field's length; the offered items ("Auto Search") stay whole.
    const auto& items = PortItems();
    PortText_ = std::find(items.begin(), items.end(), text) != items.end() ? text : text.substr(0, PortTextLimit);
}

bool TProgrammerSearch::ProgrammerSearchButtonClick() {
    int address = 0;
    if (ChosenInterface() == "USB" || PortText_ == AutoSearch || ParsePortAddress(PortText_, address)) return true;
    Dialogs().MessageBox("An error occurred while processing the portbase address", "Portbase range check error",
                         MB_OK | MB_ICONWARNING);
    return false;
}

std::string TProgrammerSearch::InterfaceText() const {
    return ProgrammerInterfaceText(ChosenInterface(), PortText_);
}

std::string ProgrammerInterfaceText(const std::string& interface, const std::string& portText) {
    const std::string upper = Upper(interface);
    int address = 0;
    if (Contains(upper, "PARALLELPORT") && !Contains(Upper(portText), "AUTO SEARCH")) {
        if (!ParsePortAddress(portText, address)) return {};
        char hex[8];
        std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(address));
        return interface + ":" + hex;
    }
    if (Contains(upper, "USB")) return interface;
    return {};
}
