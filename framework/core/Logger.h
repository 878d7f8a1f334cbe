#pragma once
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory>
#include <string>
#include <vector>

// A list of log lines the logger writes into: the main window's log view, or the logger's own
// list until a view is attached. Trimming and appending of one entry happen inside one
// BeginUpdate/EndUpdate bracket, so a view redraws once per entry.
class TLogLines {
public:
    virtual ~TLogLines() = default;
    virtual int Count() const = 0;
    virtual std::string Line(int index) const = 0;
    virtual void RemoveFirst(int count) = 0;
    virtual void Append(const std::string& line) = 0;
    virtual void Clear() = 0;
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
};

// The plain in-memory list.
class TStringLines : public TLogLines {
public:
    int Count() const override { return static_cast<int>(lines_.size()); }
    std::string Line(int index) const override { return lines_.at(static_cast<size_t>(index)); }
    void RemoveFirst(int count) override;
    void Append(const std::string& line) override { lines_.push_back(line); }
    void Clear() override { lines_.clear(); }

private:
    std::deque<std::string> lines_;
};

// Level names for -1 ("Always") to 7 ("Framework Debug"); "Unknown" outside.
const char* LogLevelName(int level);

// "Friday, July 18, 2003 - 14:05": English names, whatever the system's language.
std::string FormatLogStartTime(const std::tm& when);

class TLog {
public:
    TLog();     // reads "Log"/"MaxLogEntries" and "Log"/"Level" from GlobalConfig
    ~TLog();
    TLog(const TLog&) = delete;
    TLog& operator=(const TLog&) = delete;

    void Log(const std::string& text, int level);
    void SetLevel(int level);
    // Sets the class-wide limit. Values below 1 are taken as 1 (the trimming needs one line).
    static void SetMaxEntries(int count);
    static int GetMaxEntries();
    void AttachDisplay(TLogLines* lines);   // nullptr detaches (the view is going away)
    // Opens (or with "" closes) the log file. Returns false when the file could not be created
    // (after the message box).
    bool OpenLogFile(const std::string& path);
    void WriteHeader();

    int Level() const { return Level_; }
    int EntryNumber() const { return EntryNumber_; }
    const std::string& LogFileName() const { return LogFileName_; }
    TLogLines& Lines();     // the display if attached, else OwnLines

private:
    void Output(const std::string& text, int level);

    int Level_ = 2;
    int EntryNumber_ = 0;
    std::FILE* LogFile_ = nullptr;
    std::string LogFileName_;
    TLogLines* Display_ = nullptr;
    TStringLines OwnLines_;
    std::string LastMessage_;
    int RepeatCount_ = 0;
    bool RepeatPending_ = false;
    bool LevelAppliedAtStart_ = false;

    static int MaxLogEntries_;
};
