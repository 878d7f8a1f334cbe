#pragma once
#include <string>
#include <vector>

// Everything the framework needs from a person goes through this port: message boxes, file
// choosers, letting pending window events run, the busy cursor. The forms implement it with Qt,
// kov-cli with command-line answers, the tests with scripted answers that record every box.
struct FileDialogRequest {
    std::string title;
    std::string initialPath;                 // folder or file to start in
    std::vector<std::string> filters;        // "Intel Hex (*.hex)" style, first is the default
    int filterIndex = 0;                     // in/out: selected filter
};

class DialogPort {
public:
    virtual ~DialogPort() = default;

    // Standard message box; flags and result use the numeric codes of MessageCodes.h.
    virtual int MessageBox(const std::string& text, const std::string& caption, int flags) = 0;

    // Let pending window events run (paint, the progress box's Abort, ...).
    virtual void ProcessEvents() {}

    virtual void SetBusyCursor(bool /*busy*/) {}

    // File choosers: the chosen path, or "" when the user cancelled.
    virtual std::string OpenFileName(FileDialogRequest& /*request*/) { return {}; }
    virtual std::string SaveFileName(FileDialogRequest& /*request*/) { return {}; }
};

// The port in force. Never null: without an installed port a non-interactive one answers every
// box with its safe button (OK for MB_OK, Cancel or No otherwise) and prints it on standard error.
DialogPort& Dialogs();
// Installs a port (not owned); nullptr restores the non-interactive default. Returns the previous one.
DialogPort* SetDialogPort(DialogPort* port);

// Shows the busy cursor for its lifetime.
class BusyCursor {
public:
    BusyCursor() { Dialogs().SetBusyCursor(true); }
    ~BusyCursor() { Dialogs().SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
