#pragma once
// Standard error without windows: the progress box as a progress line, the messages and log lines
// around it, and Ctrl+C as the progress box's Abort.
#include <chrono>
#include <string>

#include "core/Statusstack.h"

// Prints one line on standard error. On a terminal a progress line drawn there goes first, so
// that the text stands on a line of its own; the next progress step draws it again.
void PrintError(const std::string& text);

// The progress box as one line on standard error: percent (or the box's second text line), the
// operation and the elapsed time. On a terminal the line is redrawn in place and removed when
// the box closes; otherwise a line is written when the box opens, at every tenth of the way,
// when its text changes and when it closes.
class TCliProgressLine : public TProgressView {
public:
    TCliProgressLine();
    ~TCliProgressLine() override;
    TCliProgressLine(const TCliProgressLine&) = delete;
    TCliProgressLine& operator=(const TCliProgressLine&) = delete;

    void ProgressChanged(const TProgressState& state) override;

    // The line for a state after `seconds`, without line end.
    static std::string Format(const TProgressState& state, long seconds);

private:
    void Write(const std::string& line);

    bool visible_ = false;
    std::chrono::steady_clock::time_point shownAt_{};
    std::string lastLine_;
    int lastStep_ = -1;
    std::string lastText_;
};

// Ctrl+C (and SIGTERM) while a command runs: the first one is kept and, whenever the progress box
// lets events run, pressed as its Abort, so the library stops as it would in the window; the
// command then ends with the operation failed and the session stored. A second one ends the
// program at once. A closed standard output no longer ends the program.
void InstallInterruptHandler();
bool Interrupted();
// Ctrl+C, SIGTERM and SIGHUP end the program at once, without the half-written temporary file of
// a save under way (for commands that have no operation to abort).
void InstallEndOnSignal();
// Presses the progress box's Abort while an interrupt is pending.
void ForwardInterrupt();
