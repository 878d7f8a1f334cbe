#include "plugins/DeviceSelect.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <exception>
#include <new>

#include "branding/Edition.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/KovError.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "plugins/DevDLL.h"
#include "plugins/LibraryModule.h"
#include "plugins/ProgDLL.h"

namespace {

constexpr const char* SelectFailedText =
    "SelectDevice returned an error.  This may indicate a problem\ncommunicating with your programmer, or a "
    "missing ALG or DLL file.\n";

TDeviceLevel LevelOf(TDeviceSelection::ListId id) {
    return static_cast<TDeviceLevel>(dlDeviceType - static_cast<int>(id));
}

int ParseNumber(const std::string& text) {
    std::int32_t value = 0;
    return ParseConfigInt(text, value) ? value : 0;
}

bool SameIgnoringCase(const std::string& a, const std::string& b, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// A stored selection that is damaged or names a file outside the devices folder (one with fewer
// than six fields is simply not a selection).
bool Unusable(const std::string& stored) {
    bool wellFormed = true;
    const std::size_t fields = SplitCommaList(stored, &wellFormed).size();
    TAutoSelectEntry entry;
    return !wellFormed || (fields >= 6 && !ParseAutoSelect(stored, entry));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Comma lists and the remembered selection

std::vector<std::string> SplitCommaList(const std::string& text, bool* wellFormed) {
    std::vector<std::string> fields;
    if (wellFormed) *wellFormed = true;
    auto damaged = [&] {
        if (wellFormed) *wellFormed = false;
        return std::vector<std::string>{};
    };
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (text.find_first_not_of(" \t") == std::string::npos) return fields;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (true) {
        while (i < n && blank(text[i])) ++i;
        std::string field;
        if (i < n && text[i] == '"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                field += text[i++];
            }
            if (!closed) return damaged();
            while (i < n && blank(text[i])) ++i;
            if (i < n && text[i] != ',') return damaged();
        } else {
            const std::size_t end = text.find(',', i);
            field = text.substr(i, end == std::string::npos ? std::string::npos : end - i);
            while (!field.empty() && blank(field.back())) field.pop_back();
            if (field.find('"') != std::string::npos) return damaged();
            i = end == std::string::npos ? n : end;
        }
        fields.push_back(std::move(field));
        if (i >= n) break;
        ++i;   // the comma
    }
    return fields;
}

std::string QuotedCommaList(const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) text += ',';
        text += '"';
        for (char c : fields[i]) {
            if (c == '"') text += '"';
            text += c;
        }
        text += '"';
    }
    return text;
}

bool ParseAutoSelect(const std::string& text, TAutoSelectEntry& entry) {
    const std::vector<std::string> fields = SplitCommaList(text);
    if (fields.size() < 6) return false;
    // Only a file of the devices folder may be named; a folder part would load any file anywhere.
    const std::string& file = fields[0];
    if (file.empty() || file == "." || file == ".." || file.find('/') != std::string::npos) return false;
    entry.libraryFile = file;
    entry.manufacturer = fields[1];
    entry.device = fields[2];
    entry.package = fields[3];
    entry.pinCount = ParseNumber(fields[4]);
    entry.dataWidth = ParseNumber(fields[5]);
    return true;
}

std::string FormatAutoSelect(const TAutoSelectEntry& entry) {
    return QuotedCommaList({entry.libraryFile, entry.manufacturer, entry.device, entry.package,
                            std::to_string(entry.pinCount), std::to_string(entry.dataWidth)});
}

std::string FormatMinutesSeconds(long seconds) {
    if (seconds < 0) seconds = 0;
    const long s = seconds % 60;
    return std::to_string(seconds / 60) + ":" + (s < 10 ? "0" : "") + std::to_string(s);
}

// ---------------------------------------------------------------------------------------------
// Selection

TDeviceSelection::TDeviceSelection() = default;

TDeviceSelection::~TDeviceSelection() {
    if (GlobalStatusStack) GlobalStatusStack->RemoveStatus(this);
}

void TDeviceSelection::SetGeometryListener(TGeometryListener listener, void* context) {
    GeometryListener_ = listener;
    GeometryContext_ = context;
}

bool TDeviceSelection::DeviceLoaded() {
    return GlobalDevDLL != nullptr;
}

int TDeviceSelection::ProgrammerId() const {
    return Programmer_ ? Programmer_->ProgrammerId() : KOV_DEFAULT_PROGRAMMER_ID;
}

void TDeviceSelection::ResetByteSwap() {
    if (!GlobalConfig) return;
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", false);
    GlobalConfig->SetBool("Hidden", "Suppress", "ByteSwap", false);
}

bool TDeviceSelection::ChooseDevice() {
    DeviceDropped_ = false;
    if (!DeviceSelected_ && GlobalConfig) {
        const std::string stored = GlobalConfig->GetString("Device", "AutoSelect");
        TAutoSelectEntry entry;
        if (ParseAutoSelect(stored, entry)) {
            DeviceDropped_ = true;
            bool selected = false;
            try {
                selected = LoadAndSelectDevice(JoinFolderPath(GlobalConfig->DevicesFolder(), entry.libraryFile),
                                               entry.manufacturer, entry.dataWidth, entry.pinCount, entry.package,
                                               entry.device);
            } catch (const std::exception& error) {
                LogMessage(std::string("Automatic device selection failed: ") + error.what(), 1);
                ReportException(__FILE__, __LINE__);
            }
            if (selected) return true;
            GlobalConfig->SetString("Device", "AutoSelect", "");
        } else if (Unusable(stored)) {
            LogMessage("The remembered device selection cannot be used: " + stored, 1);
            GlobalConfig->SetString("Device", "AutoSelect", "");
        }
    }
    const bool result = ShowDeviceDialog();
    if (!DeviceSelected_) DeviceDropped_ = true;
    return result;
}

bool TDeviceSelection::ShowDeviceDialog() {
    if (!GlobalConfig) {
        LogMessage("Config object not found!", 1);
        return false;
    }
    if (!ListBuilt_) SetupDevList(GlobalConfig->DevicesFolder());
    TypingCompletes_ = true;
    List& types = L(DeviceTypes);
    types.selected = DeviceTypeIndex_ < static_cast<int>(types.items.size()) ? DeviceTypeIndex_ : -1;
    const bool ok = RunDialog ? RunDialog() : false;
    if (!ok || !List_) return false;
    return !List_->SelectedManufacturer().empty() && !List_->SelectedDevice().empty() &&
           !List_->SelectedPackage().empty() && !List_->SelectedPinCount().empty() &&
           !List_->SelectedWidth().empty();
}

bool TDeviceSelection::LoadAndSelectDevice(const std::string& path, const std::string& manufacturer, int width,
                                           int pinCount, const std::string& package, const std::string& device) {
    if (path.empty() || manufacturer.empty() || device.empty()) return false;
    ResetByteSwap();
    delete GlobalDevDLL;
    GlobalDevDLL = nullptr;

    auto host = std::make_unique<TDevDLL>(path, Programmer_);
    if (PrepareDeviceHost) {
        PrepareDeviceHost(*host);
    } else {
        host->SetProgrammerId(ProgrammerId());
        host->SetGeometryListener(GeometryListener_, GeometryContext_);
    }
    GlobalDevDLL = host.release();

    bool selected = false;
    try {
        selected = GlobalDevDLL->SelectDevice(device, manufacturer, package, pinCount, width);
    } catch (...) {
        // No host stays current without a selected device.
        delete GlobalDevDLL;
        GlobalDevDLL = nullptr;
        throw;
    }
    if (!selected) {
        Dialogs().MessageBox(SelectFailedText, "SelectDevice failed", MB_OK | MB_ICONWARNING);
        delete GlobalDevDLL;
        GlobalDevDLL = nullptr;
        return false;
    }
    Selected_ = {path, manufacturer, device, package, pinCount, width};
    DeviceSelected_ = true;
    if (GlobalConfig) {
        GlobalConfig->SetString("Device", "AutoSelect",
                                FormatAutoSelect({LibraryFileName(path), manufacturer, device, package, pinCount, width}));
    }
    return true;
}

void TDeviceSelection::SetupDevList(const std::string& devicesFolder) {
    Manufacturer_ = {};
    Device_ = {};
    for (List& list : Lists_) list = {};
    DeviceTypeIndex_ = 0;

    List_.reset();
    try {
        List_ = std::make_unique<TDeviceList>();
    } catch (const std::bad_alloc&) {
        Dialogs().MessageBox("Unable to create device list object!", "Internal Error", MB_OK | MB_ICONWARNING);
        return;
    }

    LogMessage("Building list of devices from DLLs in " + devicesFolder, 3);
    const auto started = std::chrono::steady_clock::now();
    if (GlobalStatusStack) GlobalStatusStack->PushStatus("Building Device List", this);
    List_->Build(devicesFolder, ProgrammerId());
    List_->AddAllBranch();
    if (GlobalStatusStack) GlobalStatusStack->PopStatus(this);
    if (!List_->Empty()) List_->Sort();
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started).count();
    LogMessage("Done building device list. Time: " + FormatMinutesSeconds(static_cast<long>(seconds)), 3);

    if (List_->Empty()) return;
    for (int id = DeviceTypes; id < ListCount; ++id) {
        List_->SetTarget(LevelOf(static_cast<ListId>(id)), &L(static_cast<ListId>(id)).items);
    }
    for (int id = DeviceTypes; id < ListCount; ++id) {
        const List& list = L(static_cast<ListId>(id));
        if (!list.items.empty()) List_->Select(LevelOf(static_cast<ListId>(id)), list.items.front());
    }
    if (GlobalConfig) {
        TAutoSelectEntry entry;
        if (ParseAutoSelect(GlobalConfig->GetString("Device", "AutoSelect"), entry)) ApplyAutoSelect(entry);
    }
    ListBuilt_ = true;
    if (!Selected_.manufacturer.empty()) ShowManufacturer(Selected_.manufacturer);
    if (!Selected_.device.empty()) ShowDevice(Selected_.device);
}

void TDeviceSelection::ApplyAutoSelect(const TAutoSelectEntry& entry) {
    const std::string pins = std::to_string(entry.pinCount);
    const std::string width = std::to_string(entry.dataWidth);
    List_->SelectManufacturer(entry.manufacturer);
    List_->SelectDevice(entry.device);
    List_->SelectPackage(entry.package);
    List_->SelectPinCount(pins);
    List_->SelectWidth(width);
    ShowManufacturer(entry.manufacturer);
    ShowDevice(entry.device);
    // The lists show what the fields show, so that OK takes the remembered device at once.
    L(ManuListBox).selected = IndexOf(L(ManuListBox), entry.manufacturer);
    L(DeviceListBox).selected = IndexOf(L(DeviceListBox), entry.device);
    L(Packages).selected = IndexOf(L(Packages), entry.package);
    L(Pincounts).selected = IndexOf(L(Pincounts), pins);
    L(Widths).selected = IndexOf(L(Widths), width);
}

// ---------------------------------------------------------------------------------------------
// Dialog handlers

int TDeviceSelection::IndexOf(const List& list, const std::string& text) {
    for (std::size_t i = 0; i < list.items.size(); ++i) {
        if (list.items[i] == text) return static_cast<int>(i);
    }
    return -1;
}

void TDeviceSelection::SelectFirst(List& list) {
    list.selected = list.items.empty() ? -1 : 0;
}

void TDeviceSelection::ShowManufacturer(const std::string& text) {
    if (Manufacturer_.text == text) return;
    Manufacturer_ = {text, 0, 0};
}

void TDeviceSelection::ShowDevice(const std::string& text) {
    if (Device_.text == text) return;
    Device_ = {text, 0, 0};
}

void TDeviceSelection::FormShow() {
    if (GlobalStatusStack) GlobalStatusStack->PushStatus("Selecting device", this);
    List& makers = L(ManuListBox);
    if (makers.selected < 0 && !makers.items.empty()) {
        makers.selected = 0;
        ShowManufacturer(makers.items.front());
    }
}

void TDeviceSelection::FormHide() {
    if (GlobalStatusStack) GlobalStatusStack->PopStatus(this);
}

void TDeviceSelection::SelectManufacturerAt(int index, bool showInField) {
    List& makers = L(ManuListBox);
    makers.selected = index;
    const std::string* item = makers.SelectedItem();
    if (!item || !List_) return;
    List_->SelectManufacturer(*item);
    L(DeviceListBox).selected = -1;
    SelectFirst(L(DeviceListBox));
    DeviceListBoxClick();
    if (showInField) ShowManufacturer(*item);
}

void TDeviceSelection::ManuListBoxClick() {
    if (!L(ManuListBox).SelectedItem()) return;
    SelectManufacturerAt(L(ManuListBox).selected, true);
}

void TDeviceSelection::SelectDeviceAt(int index, bool showInField) {
    List& devices = L(DeviceListBox);
    devices.selected = index;
    const std::string* item = devices.SelectedItem();
    if (!item || !List_) return;
    if (showInField) ShowDevice(*item);
    List_->SelectDevice(*item);
    L(Packages).selected = -1;
    SelectFirst(L(Packages));
    PackagesClick();
}

void TDeviceSelection::DeviceListBoxClick() {
    if (!L(DeviceListBox).SelectedItem()) return;
    SelectDeviceAt(L(DeviceListBox).selected, true);
}

void TDeviceSelection::PackagesClick() {
    const std::string* item = L(Packages).SelectedItem();
    if (!item || !List_) return;
    List_->SelectPackage(*item);
    L(Pincounts).selected = -1;
    SelectFirst(L(Pincounts));
    PincountsClick();
}

void TDeviceSelection::PincountsClick() {
    const std::string* item = L(Pincounts).SelectedItem();
    if (!item || !List_) return;
    List_->SelectPinCount(*item);
    L(Widths).selected = -1;
    SelectFirst(L(Widths));
    WidthsClick();
}

void TDeviceSelection::WidthsClick() {
    const std::string* item = L(Widths).SelectedItem();
    if (item && List_) List_->SelectWidth(*item);
}

void TDeviceSelection::DeviceTypesClick(int index) {
    DeviceTypeIndex_ = index;
    List& types = L(DeviceTypes);
    types.selected = index;
    const std::string* type = types.SelectedItem();
    if (!type || !List_) return;
    List_->SelectDeviceType(*type);
    List& makers = L(ManuListBox);
    const int kept = IndexOf(makers, Manufacturer_.text);
    if (kept >= 0) {
        makers.selected = kept;
    } else if (!makers.items.empty()) {
        makers.selected = 0;
        ShowManufacturer(makers.items.front());
    } else {
        makers.selected = -1;
        ShowManufacturer("");
    }
    ManuListBoxClick();
}

int TDeviceSelection::CompletionMatch(const List& list, const std::string& text) const {
    for (std::size_t i = 0; i < list.items.size(); ++i) {
        const std::string& item = list.items[i];
        if (item.size() >= text.size() && SameIgnoringCase(item, text, text.size())) return static_cast<int>(i);
    }
    return -1;
}

int TDeviceSelection::TypedInto(Field& field, List& list, const std::string& text) {
    field = {text, static_cast<int>(text.size()), 0};
    if (text.empty()) {
        list.selected = -1;
        return -1;
    }
    const int match = CompletionMatch(list, text);
    if (match < 0 || !TypingCompletes_) return match;
    const std::string& item = list.items[static_cast<std::size_t>(match)];
    field = {item, static_cast<int>(text.size()), static_cast<int>(item.size() - text.size())};
    return match;
}

void TDeviceSelection::ManufacturerChange(const std::string& text) {
    // Without completion (after a deletion) the field keeps what the user left in it.
    const int match = TypedInto(Manufacturer_, L(ManuListBox), text);
    if (match >= 0) {
        SelectManufacturerAt(match, false);
    } else {
        // A name that is in no list must not leave OK to take the one chosen before it.
        L(ManuListBox).selected = -1;
    }
}

void TDeviceSelection::DeviceChange(const std::string& text) {
    const int match = TypedInto(Device_, L(DeviceListBox), text);
    if (match >= 0) {
        SelectDeviceAt(match, false);
    } else {
        L(DeviceListBox).selected = -1;
    }
}

void TDeviceSelection::KeyPressed(const std::string& character) {
    TypingCompletes_ = character.size() == 1 && std::isalnum(static_cast<unsigned char>(character[0])) != 0;
}

void TDeviceSelection::ArrowKey(ListId id, Key key) {
    if (key == KeyOther || (id != ManuListBox && id != DeviceListBox)) return;
    const List& list = L(id);
    if (list.items.empty()) return;
    int index = list.selected < 0 ? 0 : list.selected + (key == KeyDown ? 1 : -1);
    if (index < 0) index = 0;
    if (index >= static_cast<int>(list.items.size())) index = static_cast<int>(list.items.size()) - 1;
    ChooseItem(id, index);
}

void TDeviceSelection::ChooseItem(ListId id, int index) {
    List& list = L(id);
    if (index < 0 || index >= static_cast<int>(list.items.size())) return;
    if (id == DeviceTypes) {
        DeviceTypesClick(index);
        return;
    }
    list.selected = index;
    switch (id) {
    case ManuListBox:
        ManuListBoxClick();
        break;
    case DeviceListBox:
        DeviceListBoxClick();
        break;
    case Packages:
        PackagesClick();
        break;
    case Pincounts:
        PincountsClick();
        break;
    default:
        WidthsClick();
        break;
    }
}

bool TDeviceSelection::Action1Execute() {
    if (!List_) return false;
    const std::string* maker = L(ManuListBox).SelectedItem();
    const std::string* device = L(DeviceListBox).SelectedItem();
    const std::string* package = L(Packages).SelectedItem();
    const std::string* pins = L(Pincounts).SelectedItem();
    const std::string* width = L(Widths).SelectedItem();
    if (!maker || !device || !package || !pins || !width) return false;

    const int widthValue = ParseNumber(*width);
    const int pinValue = ParseNumber(*pins);
    // The lists, not the fields: a field may still hold what the user typed without a match.
    const std::string library = List_->LibraryFor(*device, *maker, *package, pinValue, widthValue);
    LogMessage("Using device library " + library + ".", 7);

    // The device record the filters lead to must be the one the lists show.
    if (List_->SelectedManufacturer() != *maker || List_->SelectedDevice() != *device ||
        List_->SelectedPackage() != *package || List_->SelectedPinCount() != *pins || List_->SelectedWidth() != *width) {
        return false;
    }

    DeviceDropped_ = true;
    bool selected = false;
    try {
        selected = LoadAndSelectDevice(library, *maker, widthValue, pinValue, *package, *device);
    } catch (const std::exception& error) {
        Dialogs().MessageBox(error.what(), ProductName, MB_OK | MB_ICONERROR);
    }
    if (!selected) return false;
    ShowManufacturer(Selected_.manufacturer);
    ShowDevice(Selected_.device);
    if (OnDeviceSelected) OnDeviceSelected();
    return true;
}
