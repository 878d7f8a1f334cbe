#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "core/DialogPort.h"

// Answers message boxes and file choosers from a script and records every box shown.
class ScriptedDialogPort : public DialogPort {
public:
    struct Box {
        std::string text;
        std::string caption;
        int flags = 0;
        int answer = 0;
    };

    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    void ProcessEvents() override { ++eventPumps; }
    void SetBusyCursor(bool busy) override { busy ? ++busyOn : ++busyOff; }
    std::string OpenFileName(FileDialogRequest& request) override;
    std::string SaveFileName(FileDialogRequest& request) override;

    // Answers for the next boxes, in order; when none is left the first button answers
    // (IDOK, IDYES, IDABORT, IDRETRY).
    std::deque<int> answers;
    // Paths for the next file choosers; "" cancels; none left cancels.
    std::deque<std::string> fileAnswers;

    std::vector<Box> shown;
    std::vector<FileDialogRequest> fileRequests;
    int eventPumps = 0;
    int busyOn = 0;
    int busyOff = 0;

    // The texts of all boxes shown so far, for readable assertions.
    std::vector<std::string> Texts() const;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Writes a file (binary) and reads one back, for tests.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);

// Each test gets its own installation folder (<tmp>/framework, devs, prog, sessions, help), a
// scripted dialog port, and the global objects made by InitializeGlobals as the program makes them.
// Set `sessionLines` / `params` / `debugMode` before calling StartGlobals() yourself by overriding
// AutoStart() to return false.
class GlobalsFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual bool AutoStart() const { return true; }

    // Writes the session file (default.kvs unless `params` name another) and runs InitializeGlobals.
    void StartGlobals();
    void StopGlobals();   // FinalizeGlobals (writes the session)

    std::filesystem::path Install() const { return temp.path(); }
    std::filesystem::path ProgramPath() const { return temp.path() / "framework" / "kov"; }
    std::filesystem::path SessionFile() const { return temp.path() / "sessions" / "default.kvs"; }
    // Log lines collected so far (the logger's own list).
    std::vector<std::string> LogLines() const;
    bool LogContains(const std::string& fragment) const;

    TempDir temp;
    ScriptedDialogPort dialogs;
    std::vector<std::string> sessionLines;
    std::vector<std::string> params;
    bool debugMode = false;   // DebugMode before InitializeGlobals (the session can still switch it on)
    bool started = false;

private:
    DialogPort* previousPort_ = nullptr;
};
