#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TProgDLL;

// One usable programmer library found in the programmer folder.
struct TProgrammerEntry {
    std::string model;       // programmer name without the product name (at most 16 characters)
    std::string interface;   // "USB" or "ParallelPort"
    std::string path;        // full path of the library
    int id = 0;              // the library's programmer id
    std::string name;        // the full programmer name
};

// The interface a library's file name stands for: "USB" for the KOV12, KOV22 and KOV31 families,
// "ParallelPort" for every other.
std::string InterfaceForLibrary(const std::string& fileName);
// The entry for a programmer library of this product, or false when its programmer name does not
// begin with the product name followed by a separator and a model of two characters or more.
bool ProgrammerEntryFor(const std::string& path, const std::string& programmerName, int programmerId,
                        TProgrammerEntry& entry);
// The programmer library files of a folder ("*.so" in any letter case, by name), demo libraries
// (a name containing "DEMO") left out.
std::vector<std::string> ProgrammerLibraryFiles(const std::string& folder);
// Loads every programmer library of the folder once and lists the usable ones. Libraries that
// cannot be loaded are reported and skipped.
std::vector<TProgrammerEntry> ListProgrammerLibraries(const std::string& folder);

// The library that a stored "LastProgrammer" / "DLLName" names: a full path as it stands; a file
// name without a folder, or any other relative path, in the programmer folder, never in the
// working folder or the loader's search path.
std::string StoredProgrammerPath(const std::string& stored, const std::string& programmerFolder);

// A port address for the parallel port: decimal, or hexadecimal after "0x"; 0 to FFFF.
bool ParsePortAddress(const std::string& text, int& address);
// The interface text handed to a programmer library for an interface and a port field:
// "ParallelPort:0378" for a port address, "USB", or "" (let the library search) for the parallel
// port's "Auto Search" and for anything else. A port text that is no address also gives "".
std::string ProgrammerInterfaceText(const std::string& interface, const std::string& portText);

// Finding the programmer at start-up: the last programmer from the session, else the search
// dialog over the programmer folder's libraries, repeated until a programmer answers, the user
// chooses the demo programmer, or the user cancels. Also the state and handlers of the search
// dialog, which the dialog window shows and forwards the user's actions to.
class TProgrammerSearch {
public:
    enum Choice { ChoiceOk, ChoiceCancel, ChoiceDemo };

    static constexpr const char* AutoSearch = "Auto Search";
    static constexpr int PortTextLimit = 6;
    static const std::vector<std::string>& PortItems();

    TProgrammerSearch();
    ~TProgrammerSearch();
    TProgrammerSearch(const TProgrammerSearch&) = delete;
    TProgrammerSearch& operator=(const TProgrammerSearch&) = delete;

    // --- What the search needs from its surroundings.
    // Shows the search dialog modally and tells how it was closed; unset means Cancel.
    std::function<Choice()> RunDialog;
    // In debug mode: offers the programmer's auxiliary commands (the main window's "Programmer" menu).
    std::function<void(TProgDLL&)> ShowAuxMenu;
    // The owner of the status lines of the start-up (the main window).
    const void* StatusOwner = nullptr;

    // --- Operations. The programmer found stays here until it is taken.
    bool StartProgrammer();
    bool ScanProgrammerLibraries(const std::string& lastPath, const std::string& lastInterface);
    // Loads the library and looks for the programmer on that interface; on success the host becomes
    // the selected programmer. `demo` keeps it out of the session.
    TProgDLL* LoadProgrammer(const std::string& path, const std::string& interface, bool demo = false);
    // Starts the demo library of the programmer folder in place of a programmer with that id, so
    // that it offers that programmer's devices; kept out of the session. Null (after telling the
    // user) when there is no demo library or it does not start.
    TProgDLL* LoadDemo(int programmerId);
    void ProgrammerSelected(std::unique_ptr<TProgDLL> host, const std::string& interface, bool demo);
    TProgDLL* Programmer() const { return Programmer_.get(); }
    std::unique_ptr<TProgDLL> TakeProgrammer();

    // --- Dialog handlers.
    void FormShow();
    void ProgrammerComboBoxChange();
    void InterfaceComboBoxChange();
    // "OK": false (with the range check box) when the port address cannot be used.
    bool ProgrammerSearchButtonClick();
    void ChooseProgrammer(int index);
    void ChooseInterface(int index);
    void SetPortText(const std::string& text);

    // --- State.
    const std::vector<TProgrammerEntry>& Entries() const { return Entries_; }
    const std::vector<std::string>& Programmers() const { return Programmers_; }
    int ProgrammerIndex() const { return ProgrammerIndex_; }
    std::string ChosenProgrammer() const;
    const std::vector<std::string>& Interfaces() const { return Interfaces_; }
    int InterfaceIndex() const { return InterfaceIndex_; }
    std::string ChosenInterface() const;
    const std::string& PortText() const { return PortText_; }
    bool PortEnabled() const { return PortEnabled_; }
    bool ProgrammersEnabled() const { return ProgrammersEnabled_; }
    bool InterfacesEnabled() const { return InterfacesEnabled_; }
    bool NoLastProgrammer() const { return NoLastProgrammer_; }
    std::string ExplanationText() const;
    // The interface text handed to the chosen library: "ParallelPort:0378", "USB" or "" (search).
    std::string InterfaceText() const;

private:
    void AddProgrammer(const std::string& model);
    void AddInterface(const std::string& interface);
    void PushStatus(const std::string& text);
    void PopStatus();
    bool TryChosen();
    bool TryDemo();

    std::unique_ptr<TProgDLL> Programmer_;
    std::vector<TProgrammerEntry> Entries_;
    std::vector<std::string> Programmers_;
    int ProgrammerIndex_ = -1;
    std::vector<std::string> Interfaces_;
    int InterfaceIndex_ = -1;
    std::string PortText_ = AutoSearch;
    bool PortEnabled_ = true;
    bool ProgrammersEnabled_ = false;
    bool InterfacesEnabled_ = false;
    bool NoLastProgrammer_ = false;
};
