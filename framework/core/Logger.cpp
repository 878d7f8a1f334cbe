#include "core/Logger.h"

#include <cerrno>
#include <cstring>

#include "branding/Edition.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/MessageCodes.h"

int TLog::MaxLogEntries_ = 300;

namespace {

constexpr int DefaultMaxEntries = 300;
constexpr int LowestMaxEntries = 20;
constexpr int HighestMaxEntries = 1000;
constexpr int DefaultLevel = 2;

const char* const LevelNames[] = {"Always",  "Severe",       "Warning",          "General",        "Verbose",
                                  "Debug",   "Device Debug", "Programmer Debug", "Framework Debug"};

const char* const DayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const MonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                  "July",    "August",   "September", "October", "November", "December"};

std::string TwoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

// Brackets one change of a line list so that a view redraws once.
class UpdateBracket {
public:
    explicit UpdateBracket(TLogLines& lines) : lines_(lines) { lines_.BeginUpdate(); }
    ~UpdateBracket() { lines_.EndUpdate(); }
    UpdateBracket(const UpdateBracket&) = delete;
    UpdateBracket& operator=(const UpdateBracket&) = delete;

private:
    TLogLines& lines_;
};

}  // namespace

void TStringLines::RemoveFirst(int count) {
    const auto n = std::min<std::size_t>(lines_.size(), count > 0 ? static_cast<std::size_t>(count) : 0);
    lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(n));
}

const char* LogLevelName(int level) {
    if (level < -1 || level > 7) return "Unknown";
    return LevelNames[level + 1];
}

std::string FormatLogStartTime(const std::tm& when) {
    const int day = (when.tm_wday >= 0 && when.tm_wday < 7) ? when.tm_wday : 0;
    const int month = (when.tm_mon >= 0 && when.tm_mon < 12) ? when.tm_mon : 0;
    return std::string(DayNames[day]) + ", " + MonthNames[month] + " " + std::to_string(when.tm_mday) + ", " +
           std::to_string(when.tm_year + 1900) + " - " + TwoDigits(when.tm_hour) + ":" + TwoDigits(when.tm_min);
}

TLog::TLog() {
    if (GlobalConfig && !GlobalConfig->GetString("Log", "MaxLogEntries").empty()) {
        int count = GlobalConfig->GetInt("Log", "MaxLogEntries");
        if (count > HighestMaxEntries || count < LowestMaxEntries) count = DefaultMaxEntries;
        MaxLogEntries_ = count;
    }
    if (GlobalConfig) GlobalConfig->SetInt("Log", "MaxLogEntries", MaxLogEntries_);

    if (GlobalConfig) {
        const std::string stored = GlobalConfig->GetString("Log", "Level");
        if (!stored.empty()) {
            std::int32_t level = DefaultLevel;
            if (!ParseConfigInt(stored, level)) level = DefaultLevel;
            SetLevel(level);
            LevelAppliedAtStart_ = true;
        }
    }
}

TLog::~TLog() {
    if (LogFile_) std::fclose(LogFile_);
}

void TLog::SetMaxEntries(int count) {
    MaxLogEntries_ = count < 1 ? 1 : count;
}

int TLog::GetMaxEntries() {
    return MaxLogEntries_;
}

TLogLines& TLog::Lines() {
    return Display_ ? *Display_ : static_cast<TLogLines&>(OwnLines_);
}

void TLog::Log(const std::string& text, int level) {
    const int threshold = Level_;
    if (DebugMode && level > 4 && threshold != 4 && level != threshold) return;
    if (!(level <= threshold || (level > 4 && threshold == 4))) return;

    if (text == LastMessage_) {
        ++RepeatCount_;
        RepeatPending_ = true;
        return;
    }
    if (RepeatPending_) {
        Output("Last message repeated " + std::to_string(RepeatCount_) + " time" + (RepeatCount_ == 1 ? "" : "s"),
               level);
    }
    Output(text, level);
    RepeatCount_ = 0;
    RepeatPending_ = false;
    LastMessage_ = text;
}

void TLog::Output(const std::string& text, int level) {
    const std::string line =
        (DebugMode ? std::string("(") + LogLevelName(level) : "(" + std::to_string(EntryNumber_)) + ") - " + text;

    TLogLines& lines = Lines();
    {
        UpdateBracket bracket(lines);
        const int excess = lines.Count() - MaxLogEntries_ + 1;
        if (excess > 0) lines.RemoveFirst(excess);
        lines.Append(line);
    }

    if (LogFile_) {
        const std::string record = line + "\r\n";
        if (std::fwrite(record.data(), 1, record.size(), LogFile_) != record.size() || std::fflush(LogFile_) != 0) {
            const std::string reason = std::strerror(errno);
            const std::string path = LogFileName_;
            std::fclose(LogFile_);
            LogFile_ = nullptr;
            LogFileName_.clear();
            UpdateBracket bracket(lines);
            lines.Append("Unable to write to log file " + path + " (" + reason +
                         "). Log messages will not be saved to disk.");
        }
    }

    const int before = EntryNumber_++;
    if (before > 9999) EntryNumber_ = 0;
}

void TLog::SetLevel(int level) {
    if (level < 0 || level > 7) return;
    Level_ = level;
    Log(std::string("Logging Level = ") + LogLevelName(level), -1);
    if (GlobalConfig) GlobalConfig->SetInt("Log", "Level", level);
}

void TLog::AttachDisplay(TLogLines* lines) {
    Display_ = lines;
    if (!lines || OwnLines_.Count() == 0) return;
    UpdateBracket bracket(*lines);
    for (int i = 0; i < OwnLines_.Count(); ++i) lines->Append(OwnLines_.Line(i));
    OwnLines_.Clear();
}

bool TLog::OpenLogFile(const std::string& path) {
    if (LogFile_) {
        std::fclose(LogFile_);
        LogFile_ = nullptr;
    }
    LogFileName_.clear();
    if (path.empty()) return true;

    // The file starts with what the user can see in the list.
    const TLogLines& lines = Lines();
    std::string text;
    for (int i = 0; i < lines.Count(); ++i) text += lines.Line(i) + "\r\n";

    LogFile_ = std::fopen(path.c_str(), "wb");
    if (LogFile_ && (std::fwrite(text.data(), 1, text.size(), LogFile_) != text.size() || std::fflush(LogFile_) != 0)) {
        std::fclose(LogFile_);
        LogFile_ = nullptr;
    }
    if (!LogFile_) {
        Dialogs().MessageBox("Unable to Open/Create file " + path + ". Log messages will not be saved to disk.",
                             "Error opening log file", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    LogFileName_ = path;
    return true;
}

void TLog::WriteHeader() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    Log("Log Started - " + FormatLogStartTime(local), -1);
    Log(EditionNoticeLine(), -1);
}
