#pragma once
// The framework without windows: start-up and shutdown of the global objects for one command, log
// lines on standard error, message boxes answered from the command line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/DialogPort.h"

// Options every command shares.
struct CliOptions {
    std::string session;     // session file; "" = the default session
    bool yes = false;        // answer questions with Yes / OK
    bool verbose = false;    // show every log line as it is written (and detection details)
    int logLevel = -1;       // log level for this command (0 to 7); -1 = the session's
};

// Prints each box on standard error and answers it: with --yes the first button (OK, Yes, ...),
// otherwise the button that changes nothing (Cancel, No). A pending Ctrl+C presses the progress
// box's Abort whenever the box lets events run.
class CliDialogPort : public DialogPort {
public:
    explicit CliDialogPort(bool yes) : yes_(yes) {}
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    void ProcessEvents() override;

    // The questions answered with No or Cancel for want of --yes since the last call.
    std::vector<std::string> TakeDeclined();
    // Boxes shown with the warning or error icon so far.
    int Problems() const { return problems_; }

private:
    bool yes_;
    std::vector<std::string> declined_;
    int problems_ = 0;
};

// Creates the global objects for one command and destroys them again (which writes the session
// back). Log lines are kept and printed on standard error when the command fails, or at once with
// --verbose.
class CliFramework {
public:
    explicit CliFramework(const CliOptions& options);
    ~CliFramework();
    CliFramework(const CliFramework&) = delete;
    CliFramework& operator=(const CliFramework&) = delete;

    bool Started() const { return started_; }
    CliDialogPort& Port() { return port_; }
    // Prints the log lines kept so far (after a failure).
    void PrintLog();
    // Prints an error message and the log lines that explain it; returns the exit status 1.
    int Fail(const std::string& message);

private:
    struct Lines;
    CliDialogPort port_;
    DialogPort* previousPort_ = nullptr;
    Lines* lines_ = nullptr;
    bool started_ = false;
};

// "0x" hexadecimal or decimal, at most 0xFFFFFFFF.
std::optional<std::uint32_t> ParseAddress(const std::string& text);
// A CLI11 validator name for addresses.
std::string AddressError(const std::string& text);
