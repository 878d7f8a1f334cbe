#include "core/Globals.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "branding/Edition.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/KovError.h"
#include "core/Logger.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"

namespace fs = std::filesystem;

TKOVConfig* GlobalConfig = nullptr;
TLog* GlobalLog = nullptr;
TVirtBuffer* GlobalBuffer = nullptr;
TStatusStack* GlobalStatusStack = nullptr;
TGlyph* EnabledGlyph = nullptr;
TGlyph* DisabledGlyph = nullptr;
TDevDLL* GlobalDevDLL = nullptr;

bool DebugMode = false;
bool ShowAllExceptions = false;
bool LibraryMessagesEnabled = true;

// Until the configuration store fixes it from the program's location.
std::string InstallFolder = "/opt/kov";

namespace {

constexpr std::int32_t InitialBufferSize = 1048576;

// 16x16 lamps: lit green for a switched-on state, grey for a switched-off one.
const std::uint8_t EnabledGlyphPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0xf3, 0xff,
    0x61, 0x00, 0x00, 0x00, 0x43, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x60, 0xa0, 0x05, 0x10,
    0x49, 0x91, 0xfb, 0x8f, 0x0d, 0x53, 0xa4, 0x99, 0x28, 0x43, 0x60, 0x8a, 0x34, 0xf6, 0xd9, 0x60,
    0xc5, 0x78, 0x0d, 0x21, 0xa4, 0x19, 0xaf, 0x21, 0xe8, 0x9a, 0x9b, 0xfe, 0x4f, 0x03, 0x63, 0xa2,
    0x0d, 0xa1, 0xba, 0x01, 0x24, 0x7b, 0x63, 0x18, 0x18, 0x40, 0x71, 0x34, 0x52, 0x25, 0x21, 0x51,
    0x25, 0x29, 0x53, 0x25, 0x33, 0x91, 0x0a, 0x00, 0x63, 0x08, 0x2a, 0xd0, 0x2b, 0x16, 0x9a, 0x9f,
    0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};
const std::uint8_t DisabledGlyphPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
    0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x10, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1f, 0xf3, 0xff,
    0x61, 0x00, 0x00, 0x00, 0x44, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x60, 0xa0, 0x05, 0x88,
    0x8a, 0x8a, 0xfa, 0x8f, 0x0d, 0x53, 0xa4, 0x99, 0x28, 0x43, 0x60, 0x8a, 0xa6, 0x4d, 0x9b, 0x86,
    0x15, 0xe3, 0x35, 0x84, 0x90, 0x66, 0xbc, 0x86, 0xa0, 0x6b, 0xfe, 0xf0, 0xe1, 0x03, 0x18, 0x13,
    0x6d, 0x08, 0xd5, 0x0d, 0x20, 0xd9, 0x1b, 0xc3, 0xc0, 0x00, 0x8a, 0xa3, 0x91, 0x2a, 0x09, 0x89,
    0x2a, 0x49, 0x99, 0x2a, 0x99, 0x89, 0x54, 0x00, 0x00, 0x1a, 0xa8, 0x82, 0x14, 0x69, 0xec, 0xae,
    0x9a, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

TGlyph* MakeGlyph(const std::uint8_t* bytes, std::size_t size) {
    return new TGlyph{std::vector<std::uint8_t>(bytes, bytes + size)};
}

template <class T>
void Destroy(T*& global) {
    T* object = global;
    global = nullptr;
    delete object;
}

struct SystemError {
    int code = 0;
    std::string text;
};
thread_local SystemError lastLoaderError;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Folders

std::string RunningProgramPath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.string();
}

std::string InstallFolderFromProgram(const std::string& programFile) {
    std::error_code ec;
    fs::path program(programFile);
    if (program.is_relative()) {
        const fs::path absolute = fs::absolute(program, ec);
        if (!ec) program = absolute;
    }
    std::string folder = program.parent_path().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    std::string upper = folder;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (upper.find("FRAMEWORK") != std::string::npos) folder += (folder == "/" ? ".." : "/..");
    return folder;
}

std::string HelpFilePath() {
    return (fs::path(InstallFolder) / "help" / HelpFileName).string();
}

// ---------------------------------------------------------------------------------------------
// Start and stop

void InitializeGlobals(const StartupArgs& args) {
    try {
        GlobalConfig = new TKOVConfig(args.programPath, args.params);
    } catch (...) {
        throw KovError("Unable to allocate memory for Global Configuration object!");
    }

    Guarded(__FILE__, __LINE__, [] { EnabledGlyph = MakeGlyph(EnabledGlyphPng, sizeof EnabledGlyphPng); });
    Guarded(__FILE__, __LINE__, [] { DisabledGlyph = MakeGlyph(DisabledGlyphPng, sizeof DisabledGlyphPng); });

    if (!DebugMode) DebugMode = GlobalConfig->GetBool("Global", "Debug");
    if (!ShowAllExceptions) ShowAllExceptions = GlobalConfig->GetBool("Global", "ShowAllExceptions");

    GlobalLog = new TLog();
    GlobalLog->WriteHeader();
    if (!GlobalConfig->LoadProblem().empty())
        GlobalLog->Log(GlobalConfig->LoadProblem() + ". It will not be overwritten at exit.", 1);

    GlobalBuffer = new TVirtBuffer(InitialBufferSize);
    GlobalStatusStack = new TStatusStack();
}

void FinalizeGlobals() {
    Destroy(EnabledGlyph);
    Destroy(DisabledGlyph);
    Destroy(GlobalStatusStack);
    Destroy(GlobalBuffer);
    Destroy(GlobalLog);
    Destroy(GlobalConfig);
}

// ---------------------------------------------------------------------------------------------
// Shared helpers

void LogMessage(const std::string& text, int level) {
    if (GlobalLog) GlobalLog->Log(text, level);
}

extern "C" void LogMessageC(const char* text, int level) {
    try {
        if (text) LogMessage(text, level);
    } catch (...) {
        // A library's log line is never worth an exception across the C interface.
    }
}

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Hex pairs and quoted text, scanned from the end so that an odd digit count leaves the single
// digit at the front.
bool ParseDataBytes(const std::string& text, std::vector<std::uint8_t>& bytes) {
    const auto n = static_cast<long>(text.size());
    bool inQuotes = false;
    bool pending = false;
    std::vector<std::uint8_t> reversed;
    for (long p = n - 1; p >= 0; --p) {
        const auto c = static_cast<signed char>(text[static_cast<std::size_t>(p)]);
        if (c < '!' && !inQuotes) continue;
        if (c == '\'') {
            if (pending) {
                const int digit = HexValue(text[static_cast<std::size_t>(p + 1)]);
                if (digit < 0) return false;
                reversed.push_back(static_cast<std::uint8_t>(digit));
                pending = false;
            }
            inQuotes = !inQuotes;
        } else if (inQuotes) {
            reversed.push_back(static_cast<std::uint8_t>(c));
        } else if (pending) {
            const int high = HexValue(text[static_cast<std::size_t>(p)]);
            const int low = HexValue(text[static_cast<std::size_t>(p + 1)]);
            if (high < 0 || low < 0) return false;
            reversed.push_back(static_cast<std::uint8_t>(high * 16 + low));
            pending = false;
        } else {
            pending = true;
        }
    }
    if (inQuotes) return false;
    if (pending) {
        const int digit = HexValue(text[0]);
        if (digit < 0) return false;
        reversed.push_back(static_cast<std::uint8_t>(digit));
    }
    bytes.assign(reversed.rbegin(), reversed.rend());
    return !bytes.empty();
}

}  // namespace

bool ParseDataString(const std::string& text, int* capacity, std::uint8_t* output) {
    std::vector<std::uint8_t> bytes;
    const bool ok = capacity && output && !text.empty() && *capacity >= 0 &&
                    static_cast<std::size_t>(*capacity) >= text.size() && ParseDataBytes(text, bytes);
    if (!ok) {
        Dialogs().MessageBox("An error occurred while processing the data string", "Data entry error",
                             MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    std::memcpy(output, bytes.data(), bytes.size());
    *capacity = static_cast<int>(bytes.size());
    return true;
}

void ReportException(const char* file, int line) {
    if (!ShowAllExceptions) return;
    std::string_view name = file ? file : "";
    const auto slash = name.find_last_of('/');
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    Dialogs().MessageBox("File:" + std::string(name) + " Line:" + std::to_string(line), "Exception", MB_OK);
}

extern "C" int LibraryMessageBox(const char* message, const char* caption, int flags) {
    if (!LibraryMessagesEnabled) return IDOK;
    try {
        return Dialogs().MessageBox(message ? message : "", caption ? caption : "", flags);
    } catch (...) {
        return IDCANCEL;
    }
}

void SetLibraryMessagesEnabled(bool enabled) {
    LibraryMessagesEnabled = enabled;
}

void SetLastSystemError(int code, const std::string& text) {
    lastLoaderError.code = code;
    lastLoaderError.text = text;
}

std::string LastSystemErrorText() {
    if (lastLoaderError.code != 0 || !lastLoaderError.text.empty()) return lastLoaderError.text;
    return std::strerror(errno);
}

int LastSystemErrorCode() {
    if (lastLoaderError.code != 0 || !lastLoaderError.text.empty()) return lastLoaderError.code;
    return errno;
}
