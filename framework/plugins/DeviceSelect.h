#pragma once
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugins/DevGeometry.h"
#include "plugins/DeviceList.h"

class TDevDLL;
class TProgDLL;

// Comma lists as the session stores them: fields separated by commas, a field may be enclosed in
// double quotes (a quote inside written twice). Blanks around unquoted fields are dropped. A
// quote that is never closed, or text after a closing quote, makes the list damaged: the result
// is then empty and *wellFormed false.
std::vector<std::string> SplitCommaList(const std::string& text, bool* wellFormed = nullptr);
// Every field enclosed in double quotes, separated by single commas.
std::string QuotedCommaList(const std::vector<std::string>& fields);

// The five values that name a device, and the library that handles it.
struct TChosenDevice {
    std::string library;   // full path
    std::string manufacturer;
    std::string device;
    std::string package;
    int pinCount = 0;
    int dataWidth = 0;
};

// The device "Device" / "AutoSelect" remembers, when the entry is usable.
struct TAutoSelectEntry {
    std::string libraryFile;   // file name without folder
    std::string manufacturer;
    std::string device;
    std::string package;
    int pinCount = 0;
    int dataWidth = 0;
};
// The entry read from the session text, or false when it has fewer than six fields, is damaged or
// names a library outside the devices folder. Pin count and width that do not parse count as 0.
bool ParseAutoSelect(const std::string& text, TAutoSelectEntry& entry);
std::string FormatAutoSelect(const TAutoSelectEntry& entry);

// "n:ss" for a duration in seconds.
std::string FormatMinutesSeconds(long seconds);

// The device selection: the state and handlers of the selection dialog, the automatic selection
// from the session, and loading the chosen device's library. The dialog window shows this state
// and forwards the user's actions; without a window (RunDialog unset) only the automatic
// selection and LoadAndSelectDevice are available.
class TDeviceSelection {
public:
    enum ListId { DeviceTypes, ManuListBox, DeviceListBox, Packages, Pincounts, Widths, ListCount };

    struct List {
        std::vector<std::string> items;
        int selected = -1;
        const std::string* SelectedItem() const {
            return selected >= 0 && selected < static_cast<int>(items.size()) ? &items[static_cast<std::size_t>(selected)]
                                                                               : nullptr;
        }
    };

    // A text field with the part that completion added selected.
    struct Field {
        std::string text;
        int selectionStart = 0;
        int selectionLength = 0;
    };

    enum Key { KeyOther, KeyUp, KeyDown };

    TDeviceSelection();
    ~TDeviceSelection();
    TDeviceSelection(const TDeviceSelection&) = delete;
    TDeviceSelection& operator=(const TDeviceSelection&) = delete;

    // --- What the selection needs from its surroundings.
    // Runs the dialog modally; true when it was closed with OK.
    std::function<bool()> RunDialog;
    // The main window refreshes its device display after a selection made in the dialog.
    std::function<void()> OnDeviceSelected;
    // Prepares a new device library host before it selects the device (programmer id, geometry
    // listener); unset, the programmer's id and the listener given here are handed over.
    std::function<void(TDevDLL&)> PrepareDeviceHost;
    void SetProgrammer(TProgDLL* programmer) { Programmer_ = programmer; }
    void SetGeometryListener(TGeometryListener listener, void* context);

    // --- Operations.
    bool ChooseDevice();
    bool ShowDeviceDialog();
    bool LoadAndSelectDevice(const std::string& path, const std::string& manufacturer, int width, int pinCount,
                             const std::string& package, const std::string& device);
    void SetupDevList(const std::string& devicesFolder);
    static void ResetByteSwap();

    // --- Dialog handlers.
    void FormShow();
    void FormHide();
    void ManuListBoxClick();
    void DeviceListBoxClick();
    void PackagesClick();
    void PincountsClick();
    void WidthsClick();
    void DeviceTypesClick(int index);
    void ManufacturerChange(const std::string& text);
    void DeviceChange(const std::string& text);
    // Any key pressed in the dialog; `character` is the key's text (empty for keys without one).
    void KeyPressed(const std::string& character);
    // Up or Down in the manufacturer or device field.
    void ArrowKey(ListId list, Key key);
    // A list item chosen by the user (click or keyboard), then the list's click handler.
    void ChooseItem(ListId list, int index);
    // "OK", or a double click on the device, package, pin count or width list. True when a device
    // was selected and the dialog closes.
    bool Action1Execute();

    // --- State.
    const List& GetList(ListId id) const { return Lists_[static_cast<std::size_t>(id)]; }
    const Field& Manufacturer() const { return Manufacturer_; }
    const Field& Device() const { return Device_; }
    bool DeviceSelected() const { return DeviceSelected_; }
    bool DeviceDropped() const { return DeviceDropped_; }
    void ClearDeviceSelected() { DeviceSelected_ = false; }
    bool ListBuilt() const { return ListBuilt_; }
    bool TypingCompletes() const { return TypingCompletes_; }
    int DeviceTypeIndex() const { return DeviceTypeIndex_; }
    const TDeviceList* DeviceList() const { return List_.get(); }
    // The device of the last successful selection (what the main window shows).
    const TChosenDevice& Selected() const { return Selected_; }
    // Whether a device library is loaded for the current selection.
    static bool DeviceLoaded();

private:
    List& L(ListId id) { return Lists_[static_cast<std::size_t>(id)]; }
    static void SelectFirst(List& list);
    static int IndexOf(const List& list, const std::string& text);
    void ShowManufacturer(const std::string& text);
    void ShowDevice(const std::string& text);
    void SelectManufacturerAt(int index, bool showInField);
    void SelectDeviceAt(int index, bool showInField);
    int CompletionMatch(const List& list, const std::string& text) const;
    // The field takes the typed text, completed to the first item it begins; the item's index or -1.
    int TypedInto(Field& field, List& list, const std::string& text);
    void ApplyAutoSelect(const TAutoSelectEntry& entry);
    int ProgrammerId() const;

    std::array<List, ListCount> Lists_;
    Field Manufacturer_;
    Field Device_;
    std::unique_ptr<TDeviceList> List_;
    TChosenDevice Selected_;
    TProgDLL* Programmer_ = nullptr;
    TGeometryListener GeometryListener_ = nullptr;
    void* GeometryContext_ = nullptr;
    bool ListBuilt_ = false;
    bool TypingCompletes_ = true;
    bool DeviceSelected_ = false;
    bool DeviceDropped_ = false;
    int DeviceTypeIndex_ = 0;
};
