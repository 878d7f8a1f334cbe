#include "CliProgress.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <initializer_list>

#include "files/FileLoadSave.h"
#include "plugins/DeviceSelect.h"

namespace {

// Whether a progress line stands unfinished on the terminal.
bool lineOpen = false;

bool StderrIsTerminal() {
    static const bool terminal = ::isatty(STDERR_FILENO) == 1;
    return terminal;
}

void CloseLine() {
    if (!lineOpen) return;
    std::fputs("\r\x1b[K", stderr);
    lineOpen = false;
}

volatile std::sig_atomic_t interrupted = 0;

extern "C" void EndOnSignal(int signal) {
    kovfiles::RemovePendingReplacement();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

extern "C" void OnInterrupt(int signal) {
    if (interrupted) {
        // The second one ends kov-cli at once, without a half-written output file.
        EndOnSignal(signal);
        return;
    }
    interrupted = 1;
    static const char text[] = "\nkov-cli: interrupted: the running operation is aborted and the run stops "
                               "(again to quit at once)\n";
    // Only async-signal-safe calls here.
    const ssize_t written = ::write(STDERR_FILENO, text, sizeof text - 1);
    (void)written;
}

void Handle(void (*handler)(int), std::initializer_list<int> signals) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    for (int signal : signals)
        sigaction(signal, &action, nullptr);
}

} // namespace

void PrintError(const std::string& text) {
    CloseLine();
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

TCliProgressLine::TCliProgressLine() {
    ProgressBox().SetView(this);
}

TCliProgressLine::~TCliProgressLine() {
    ProgressBox().SetView(nullptr);
    CloseLine();
}

std::string TCliProgressLine::Format(const TProgressState& state, long seconds) {
    std::string line;
    if (state.barVisible) {
        char percent[8];
        std::snprintf(percent, sizeof percent, "%3d%%", state.position);
        line = percent;
    }
    const std::string& what = state.functionText.empty() ? state.title : state.functionText;
    if (!what.empty()) line += (line.empty() ? "" : "  ") + what;
    if (!state.barVisible && !state.progressText.empty())
        line += (line.empty() ? "" : "  ") + state.progressText;
    return line + (line.empty() ? "" : "  ") + FormatMinutesSeconds(seconds);
}

void TCliProgressLine::Write(const std::string& line) {
    if (StderrIsTerminal()) {
        std::fprintf(stderr, "\r%s\x1b[K", line.c_str());
        lineOpen = true;
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
    lastLine_ = line;
}

void TCliProgressLine::ProgressChanged(const TProgressState& state) {
    const auto now = std::chrono::steady_clock::now();
    if (!state.visible) {
        if (!visible_) return;
        visible_ = false;
        if (StderrIsTerminal()) {
            CloseLine();
        } else {
            const long seconds = std::chrono::duration_cast<std::chrono::seconds>(now - shownAt_).count();
            const std::string line = Format(state, seconds);
            if (line != lastLine_) Write(line);
        }
        return;
    }
    if (!visible_) {
        visible_ = true;
        shownAt_ = now;
        lastStep_ = -1;
        lastText_.clear();
        lastLine_.clear();
    }
    const long seconds = std::chrono::duration_cast<std::chrono::seconds>(now - shownAt_).count();
    const std::string line = Format(state, seconds);
    if (StderrIsTerminal()) {
        if (line != lastLine_) Write(line);
        return;
    }
    const int step = state.barVisible ? state.position / 10 : 0;
    const std::string text = state.functionText + '\n' + state.progressText;
    if (step != lastStep_ || text != lastText_) {
        lastStep_ = step;
        lastText_ = text;
        Write(line);
    }
}

void InstallInterruptHandler() {
    Handle(OnInterrupt, {SIGINT, SIGTERM});
    // A reader of the results that goes away (| head) must not end a run between two operations,
    // with the programmer left on and the session unwritten.
    std::signal(SIGPIPE, SIG_IGN);
}

void InstallEndOnSignal() {
    Handle(EndOnSignal, {SIGINT, SIGTERM, SIGHUP});
}

bool Interrupted() {
    return interrupted != 0;
}

void ForwardInterrupt() {
    if (interrupted) ProgressBox().Abort();
}
