#include "CliFramework.h"

#include <cstdio>
#include <filesystem>

#include "core/Config.h"
#include "core/Globals.h"
#include "core/KovError.h"
#include "core/Logger.h"
#include "core/MessageCodes.h"
#include "files/FileTypeSettings.h"

#include "CliProgress.h"

struct CliFramework::Lines : TLogLines {
    bool echo = false;
    std::vector<std::string> kept;
    int Count() const override { return static_cast<int>(kept.size()); }
    std::string Line(int index) const override { return kept.at(static_cast<std::size_t>(index)); }
    void RemoveFirst(int count) override {
        kept.erase(kept.begin(), kept.begin() + std::min<std::ptrdiff_t>(count, static_cast<std::ptrdiff_t>(kept.size())));
    }
    void Append(const std::string& line) override {
        if (echo) PrintError(line);
        kept.push_back(line);
    }
    void Clear() override { kept.clear(); }
};

int CliDialogPort::MessageBox(const std::string& text, const std::string& caption, int flags) {
    int answer = IDCANCEL;
    const int type = flags & MB_TYPEMASK;
    switch (type) {
    case MB_OK: answer = IDOK; break;
    case MB_OKCANCEL: answer = yes_ ? IDOK : IDCANCEL; break;
    case MB_YESNO:
    case MB_YESNOCANCEL: answer = yes_ ? IDYES : type == MB_YESNO ? IDNO : IDCANCEL; break;
    case MB_ABORTRETRYIGNORE: answer = yes_ ? IDIGNORE : IDABORT; break;
    case MB_RETRYCANCEL: answer = IDCANCEL; break;
    default: break;
    }
    const int icon = flags & MB_ICONMASK;
    if (icon == MB_ICONWARNING || icon == MB_ICONERROR) ++problems_;
    if (type != MB_OK && !yes_) declined_.push_back(text);
    static const char* names[] = {"", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};
    PrintError("[" + caption + "] " + text + (type == MB_OK ? "" : std::string("\n  -> ") + names[answer]));
    return answer;
}

void CliDialogPort::ProcessEvents() {
    ForwardInterrupt();
}

std::vector<std::string> CliDialogPort::TakeDeclined() {
    std::vector<std::string> declined;
    declined.swap(declined_);
    return declined;
}

namespace {

// A session named with a folder, or found in the current folder, is taken from there; a bare
// name that is not found is looked up in the sessions folder as the window application does.
std::string SessionParameter(const std::string& session) {
    namespace fs = std::filesystem;
    if (session.empty()) return session;
    std::error_code ec;
    if (session.find('/') != std::string::npos || fs::exists(session, ec)) return fs::absolute(session, ec).string();
    return session;
}

}  // namespace

CliFramework::CliFramework(const CliOptions& options) : port_(options.yes) {
    previousPort_ = SetDialogPort(&port_);
    StartupArgs args;
    if (!options.session.empty()) args.params.push_back(SessionParameter(options.session));
    try {
        InitializeGlobals(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kov-cli: %s\n", e.what());
        return;
    }
    lines_ = new Lines;
    if (GlobalLog) {
        // The start-up header lines are of no interest on a command line.
        TStringLines discard;
        GlobalLog->AttachDisplay(&discard);
        lines_->echo = options.verbose;
        GlobalLog->AttachDisplay(lines_);
    }
    if (GlobalConfig) kovfiles::LoadFileTypeSettings(*GlobalConfig);
    if (options.logLevel >= 0 && GlobalLog && GlobalConfig) {
        // A level for this command only: the session keeps its own.
        const bool stored = GlobalConfig->HasValue("Log", "Level");
        const std::string previous = GlobalConfig->GetString("Log", "Level");
        const int level = GlobalLog->Level();
        GlobalLog->SetLevel(options.logLevel);
        if (stored) {
            GlobalConfig->SetString("Log", "Level", previous);
        } else {
            GlobalConfig->SetInt("Log", "Level", level);
        }
    }
    started_ = true;
}

CliFramework::~CliFramework() {
    if (GlobalLog) GlobalLog->AttachDisplay(nullptr);
    try {
        FinalizeGlobals();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kov-cli: %s\n", e.what());
    }
    delete lines_;
    SetDialogPort(previousPort_);
}

void CliFramework::PrintLog() {
    if (!lines_ || lines_->echo) return;
    for (const std::string& line : lines_->kept) PrintError(line);
    lines_->kept.clear();
}

int CliFramework::Fail(const std::string& message) {
    PrintLog();
    PrintError("kov-cli: " + message);
    return 1;
}

std::optional<std::uint32_t> ParseAddress(const std::string& text) {
    std::string digits = text;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits = digits.substr(2);
        base = 16;
    }
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 99;
        if (d >= base) return std::nullopt;
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::string AddressError(const std::string& text) {
    return ParseAddress(text) ? std::string() : "not an address (decimal or 0x hexadecimal, at most 0xFFFFFFFF): " + text;
}
