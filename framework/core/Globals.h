#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TKOVConfig;
class TLog;
class TVirtBuffer;
class TStatusStack;
class TDevDLL;

// A button picture shared by the windows, kept as encoded image bytes (PNG); the forms
// turn it into a pixmap.
struct TGlyph {
    std::vector<std::uint8_t> bytes;
};

// The process-wide objects, created by InitializeGlobals and destroyed by FinalizeGlobals.
extern TKOVConfig* GlobalConfig;
extern TLog* GlobalLog;
extern TVirtBuffer* GlobalBuffer;
extern TStatusStack* GlobalStatusStack;
extern TGlyph* EnabledGlyph;
extern TGlyph* DisabledGlyph;
// The device library host of the selected device; null while no device is selected.
extern TDevDLL* GlobalDevDLL;

extern bool DebugMode;
extern bool ShowAllExceptions;
extern bool LibraryMessagesEnabled;

// Folder of the installation (the folder above "framework" when the program lives there).
extern std::string InstallFolder;

// What the entry point was started with.
struct StartupArgs {
    std::string programPath;            // "" means the running executable (/proc/self/exe)
    std::vector<std::string> params;    // command-line parameters after the program name
};

// Creates the global objects in start-up order: configuration (fixes InstallFolder, loads the
// session), glyphs, help file, switches, logger with its header lines, buffer, status stack.
// Throws KovError when the configuration cannot be created.
void InitializeGlobals(const StartupArgs& args);
// Destroys them in the order glyphs, status stack, buffer, logger, configuration (which writes
// the session file). Safe to call twice.
void FinalizeGlobals();

// The application's help file: InstallFolder/help/HelpFileName.
std::string HelpFilePath();

// Shared helpers.
void LogMessage(const std::string& text, int level);
extern "C" void LogMessageC(const char* text, int level);   // the logging entry handed to libraries
bool ParseDataString(const std::string& text, int* capacity, std::uint8_t* output);
void ReportException(const char* file, int line);
extern "C" int LibraryMessageBox(const char* message, const char* caption, int flags);
void SetLibraryMessagesEnabled(bool enabled);
std::string LastSystemErrorText();
// The numeric code that goes with LastSystemErrorText (errno, or 1 for a dynamic-loader error).
int LastSystemErrorCode();
// Remembers the dynamic loader's last error so that LastSystemErrorText can report it (until the
// next call; SetLastSystemError(0, "") forgets it and errno answers again).
void SetLastSystemError(int code, const std::string& text);

// The installation folder for a program file: its folder, with "/.." appended when that folder's
// path contains "FRAMEWORK" in any letter case.
std::string InstallFolderFromProgram(const std::string& programFile);
// The running executable (/proc/self/exe), or "" when it cannot be found.
std::string RunningProgramPath();

// Guards an operation: catches every exception, reports the place with ReportException and
// returns false. Use as: if (!Guarded(__FILE__, __LINE__, [&]{ ... })) { ... }
template <class F>
bool Guarded(const char* file, int line, F&& body) {
    try {
        body();
        return true;
    } catch (...) {
        ReportException(file, line);
        return false;
    }
}
