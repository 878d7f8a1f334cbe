#include "core/Config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <new>

#include "core/Globals.h"
#include "core/KovError.h"
#include "core/Logger.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* HiddenPrefix = "Hidden.";

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, std::size_t aLength, const std::string& b) {
    if (aLength != b.size()) return false;
    for (std::size_t i = 0; i < aLength; ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

// A name part must not be empty; "=", CR and LF would make the line unreadable.
bool ValidPart(const std::string& part) {
    return !part.empty() && part.find_first_of("=\r\n") == std::string::npos;
}

std::string TrimBlanks(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string JoinFolder(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

std::string SystemErrorText(int code) {
    return std::strerror(code);
}

// Failed writes must never go unnoticed: the log while it exists, standard error after it is gone.
void ReportSaveFailure(const std::string& path, const std::string& reason) {
    const std::string text = "Unable to save the session file " + path + ": " + reason;
    if (GlobalLog)
        GlobalLog->Log(text, 1);
    else
        std::fprintf(stderr, "kov: %s\n", text.c_str());
}

bool WriteAll(int fd, const std::string& bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Splits on CR, LF or CR LF; a last line without a line end is kept.
std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(bytes, start, i - start);
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < bytes.size()) lines.emplace_back(bytes, start, bytes.size() - start);
    return lines;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Typed value conversions

std::string TKOVConfig::EncodeValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\\': out += "\\\\"; break;
        default: out += c;
        }
    }
    return out;
}

std::string TKOVConfig::DecodeValue(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            const char next = value[i + 1];
            if (next == 'n') { out += '\n'; ++i; continue; }
            if (next == 'r') { out += '\r'; ++i; continue; }
            if (next == '\\') { out += '\\'; ++i; continue; }
        }
        // Any other backslash (hand-edited files) is kept as it stands.
        out += c;
    }
    return out;
}

bool ParseConfigInt(const std::string& text, std::int32_t& value) {
    std::string t = TrimBlanks(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty() || t[0] == '+') return false;
    std::int32_t result = 0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), result, 10);
    if (ec != std::errc() || end != t.data() + t.size()) return false;
    value = result;
    return true;
}

bool ParseConfigFloat(const std::string& text, double& value) {
    std::string t = TrimBlanks(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty() || t[0] == '+') return false;
    double result = 0.0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), result, std::chars_format::general);
    if (ec != std::errc() || end != t.data() + t.size()) return false;
    value = result;
    return true;
}

std::string FormatConfigFloat(double value) {
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
    if (ec != std::errc()) return "0";
    return std::string(text, end);
}

// ---------------------------------------------------------------------------------------------
// Construction and session files

TKOVConfig::TKOVConfig(const std::string& programPath, const std::vector<std::string>& params) {
    try {
        InstallFolder = InstallFolderFromProgram(programPath.empty() ? RunningProgramPath() : programPath);

        if (!params.empty() && !params[0].empty()) {
            const fs::path session(params[0]);
            SessionFileName_ = session.filename().string();
            std::string folder = session.parent_path().string();
            while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
            SessionFolder_ = folder;
        }
        if (SessionFileName_.empty()) SessionFileName_ = "default.kvs";
        if (SessionFolder_.empty()) SessionFolder_ = JoinFolder(InstallFolder, "sessions");
        DevicesFolder_ = JoinFolder(InstallFolder, "devs");
        ProgrammersFolder_ = JoinFolder(InstallFolder, "prog");
        SessionPath_ = JoinFolder(SessionFolder_, SessionFileName_);
        LoadSession(SessionPath_);
    } catch (const std::bad_alloc&) {
        throw KovError("Insufficient memory available to continue.");
    }
}

TKOVConfig::~TKOVConfig() {
    try {
        SaveAtExit();
    } catch (...) {
        std::fprintf(stderr, "kov: the session file %s could not be written\n", SessionPath_.c_str());
    }
}

void TKOVConfig::SaveAtExit() {
    if (!LoadProblem_.empty()) {
        // The file exists but could not be read: writing our (empty) list would destroy it.
        ReportSaveFailure(SessionPath_, "it could not be read at start and is left as it was");
        return;
    }
    SaveSession(SessionPath_);
}

void TKOVConfig::SaveIfDebugging() {
    if (DebugMode) SaveAtExit();
}

void TKOVConfig::LoadSession(const std::string& path) {
    Entries_.clear();
    LoadProblem_.clear();

    std::string bytes;
    int error = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
    } else {
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                error = errno;
                break;
            }
            bytes.append(chunk, static_cast<std::size_t>(n));
        }
        ::close(fd);
    }
    if (error != 0) {
        // A missing file is the normal first start; anything else is remembered so that the
        // unreadable file is not replaced at exit.
        if (error != ENOENT && error != ENOTDIR)
            LoadProblem_ = "Unable to read the session file " + path + ": " + SystemErrorText(error);
        ReportException(__FILE__, __LINE__);
        return;
    }
    // Another file named as the session by mistake (a firmware image, a hex file) must not be
    // rewritten at exit as if it were one. A file is taken for a session when a line names a
    // setting ("Name=", in printable characters), and one with binary data only when a line
    // names one with its section ("Section.Key="); otherwise it is left alone as an unreadable
    // session is.
    std::vector<std::string> lines = SplitLines(bytes);
    bool text = false;
    bool named = false;
    bool sectioned = false;
    for (const std::string& line : lines) {
        text = text || !TrimBlanks(line).empty();
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0) continue;
        if (!std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(eq),
                         [](char c) { return c >= 0x20 && c <= 0x7E; })) {
            continue;
        }
        named = true;
        sectioned = sectioned || line.find('.') < eq;
    }
    const bool binary = bytes.find('\0') != std::string::npos;
    if ((text && !named) || (binary && !sectioned)) {
        LoadProblem_ = "Unable to read the session file " + path + ": it holds no settings";
        ReportException(__FILE__, __LINE__);
        return;
    }
    Entries_ = std::move(lines);
}

bool TKOVConfig::SaveSession(const std::string& path) {
    std::string text;
    for (const auto& line : Entries_) {
        if (line.compare(0, 7, HiddenPrefix) == 0) continue;
        text += line;
        text += "\r\n";
    }

    // Follow a link so that the file it points at is replaced, not the link.
    // A link whose file is missing (on a drive that is not mounted) is written through as well,
    // never replaced by a file of its own, and no folder is made for it.
    std::error_code ec;
    fs::path target(path);
    const bool link = fs::is_symlink(target, ec);
    if (link) {
        fs::path resolved = fs::canonical(target, ec);
        if (ec) {
            resolved = fs::read_symlink(target, ec);
            if (!ec && resolved.is_relative()) resolved = target.parent_path() / resolved;
        }
        if (!ec) target = resolved.lexically_normal();
    }
    const fs::path folder = target.parent_path();
    if (!link && !folder.empty() && !fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) {
            ReportSaveFailure(path, "the folder " + folder.string() + " could not be created (" + ec.message() + ")");
            ReportException(__FILE__, __LINE__);
            return false;
        }
    }

    // The rename below would go around a write-protected session (one kept fixed for a
    // production line, or another user's): it is left as it is.
    struct stat current {};
    const bool existing = ::stat(target.c_str(), &current) == 0;
    if (existing && S_ISREG(current.st_mode) &&
        ((current.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        ReportSaveFailure(path, SystemErrorText(EACCES));
        ReportException(__FILE__, __LINE__);
        return false;
    }

    // Write a temporary file in the same folder and rename it over the old one, so that a crash
    // or a full disk never leaves a truncated session behind.
    std::string tempPath;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempPath = target.string() + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        ReportSaveFailure(path, SystemErrorText(errno));
        ReportException(__FILE__, __LINE__);
        return false;
    }
    if (existing) {
        // Owner first: changing it may clear mode bits that fchmod then sets again.
        if (::fchown(fd, current.st_uid, current.st_gid) != 0) {
            // Only root may give a file away; anyone else keeps the owner they are.
        }
        ::fchmod(fd, current.st_mode & 07777);
    }

    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(tempPath.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(tempPath.c_str());
        ReportSaveFailure(path, SystemErrorText(error));
        ReportException(__FILE__, __LINE__);
        return false;
    }
    const int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Named values

int TKOVConfig::Find(const std::string& name) const {
    for (std::size_t i = 0; i < Entries_.size(); ++i) {
        const std::string& line = Entries_[i];
        const auto eq = line.find('=');
        if (eq != std::string::npos && SameName(line, eq, name)) return static_cast<int>(i);
    }
    return -1;
}

bool TKOVConfig::ReadValue(const std::string& name, std::string& value) const {
    const int index = Find(name);
    if (index < 0) return false;
    const std::string& line = Entries_[static_cast<std::size_t>(index)];
    value = DecodeValue(line.substr(line.find('=') + 1));
    return true;
}

void TKOVConfig::WriteValue(const std::string& name, const std::string& value) {
    const int index = Find(name);
    if (index < 0) {
        Entries_.push_back(name + "=" + EncodeValue(value));
        return;
    }
    auto& line = Entries_[static_cast<std::size_t>(index)];
    if (value.empty()) {
        Entries_.erase(Entries_.begin() + index);
    } else {
        // The stored spelling of the name is kept so the file does not flip between spellings.
        line = line.substr(0, line.find('=') + 1) + EncodeValue(value);
    }
}

std::string TKOVConfig::GetString(const std::string& section, const std::string& key) const {
    std::string value;
    if (!ValidPart(section) || !ValidPart(key)) return {};
    ReadValue(section + "." + key, value);
    return value;
}

std::string TKOVConfig::GetString(const std::string& section, const std::string& sub, const std::string& key) const {
    std::string value;
    if (!ValidPart(section) || !ValidPart(sub) || !ValidPart(key)) return {};
    ReadValue(section + "." + sub + "." + key, value);
    return value;
}

void TKOVConfig::SetString(const std::string& section, const std::string& key, const std::string& value) {
    if (!ValidPart(section) || !ValidPart(key)) return;
    WriteValue(section + "." + key, value);
    SaveIfDebugging();
}

void TKOVConfig::SetString(const std::string& section, const std::string& sub, const std::string& key,
                           const std::string& value) {
    if (!ValidPart(section) || !ValidPart(sub) || !ValidPart(key)) return;
    WriteValue(section + "." + sub + "." + key, value);
}

bool TKOVConfig::HasValue(const std::string& section, const std::string& key) const {
    return ValidPart(section) && ValidPart(key) && Find(section + "." + key) >= 0;
}

bool TKOVConfig::HasValue(const std::string& section, const std::string& sub, const std::string& key) const {
    return ValidPart(section) && ValidPart(sub) && ValidPart(key) && Find(section + "." + sub + "." + key) >= 0;
}

namespace {

bool ToBool(const std::string& text) {
    std::string upper = text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return upper == "1" || upper == "TRUE" || upper == "YES" || upper == "ON";
}

std::int32_t ToInt(const std::string& text) {
    std::int32_t value = 0;
    return ParseConfigInt(text, value) ? value : 0;
}

double ToFloat(const std::string& text) {
    double value = 0.0;
    return ParseConfigFloat(text, value) ? value : 0.0;
}

const char* BoolText(bool value) {
    return value ? "TRUE" : "FALSE";
}

}  // namespace

bool TKOVConfig::GetBool(const std::string& section, const std::string& key) const {
    return ToBool(GetString(section, key));
}
bool TKOVConfig::GetBool(const std::string& section, const std::string& sub, const std::string& key) const {
    return ToBool(GetString(section, sub, key));
}
void TKOVConfig::SetBool(const std::string& section, const std::string& key, bool value) {
    SetString(section, key, BoolText(value));
}
void TKOVConfig::SetBool(const std::string& section, const std::string& sub, const std::string& key, bool value) {
    SetString(section, sub, key, BoolText(value));
}

std::int32_t TKOVConfig::GetInt(const std::string& section, const std::string& key) const {
    return ToInt(GetString(section, key));
}
std::int32_t TKOVConfig::GetInt(const std::string& section, const std::string& sub, const std::string& key) const {
    return ToInt(GetString(section, sub, key));
}
void TKOVConfig::SetInt(const std::string& section, const std::string& key, std::int32_t value) {
    SetString(section, key, std::to_string(value));
}
void TKOVConfig::SetInt(const std::string& section, const std::string& sub, const std::string& key,
                        std::int32_t value) {
    SetString(section, sub, key, std::to_string(value));
}

double TKOVConfig::GetFloat(const std::string& section, const std::string& key) const {
    return ToFloat(GetString(section, key));
}
double TKOVConfig::GetFloat(const std::string& section, const std::string& sub, const std::string& key) const {
    return ToFloat(GetString(section, sub, key));
}
void TKOVConfig::SetFloat(const std::string& section, const std::string& key, double value) {
    SetString(section, key, FormatConfigFloat(value));
}
void TKOVConfig::SetFloat(const std::string& section, const std::string& sub, const std::string& key,
                          double value) {
    SetString(section, sub, key, FormatConfigFloat(value));
}

// ---------------------------------------------------------------------------------------------
// Window placement

void TKOVConfig::SaveFormPosition(const FormPlacement& form) {
    SetInt(form.name, "Top", form.top);
    SetInt(form.name, "Left", form.left);
    if (form.resizable) {
        SetInt(form.name, "Width", form.width);
        SetInt(form.name, "Height", form.height);
    }
}

FormPlacement TKOVConfig::RestoreFormPosition(const FormPlacement& current, int screenWidth,
                                              int screenHeight) const {
    const int defaultLeft = screenWidth / 2 - current.width / 2;
    const int defaultTop = screenHeight / 2 - current.height / 2;

    auto stored = [&](const char* key, int fallback) {
        std::int32_t value = 0;
        return ParseConfigInt(GetString(current.name, key), value) ? value : fallback;
    };

    FormPlacement placed = current;
    placed.left = stored("Left", defaultLeft);
    placed.top = stored("Top", defaultTop);
    if (current.resizable) {
        placed.width = stored("Width", current.width);
        placed.height = stored("Height", current.height);
    }

    const long long top = placed.top, left = placed.left;
    const bool onScreen = top >= 0 && top + placed.height < screenHeight && left >= 0 &&
                          left + placed.width < screenWidth;
    if (!onScreen) {
        placed.top = defaultTop;
        placed.left = defaultLeft;
        placed.width = current.width;
        placed.height = current.height;
    }
    return placed;
}

// ---------------------------------------------------------------------------------------------
// Accessors handed to libraries. Nothing may escape into the library.

namespace {

char StringBuffer2[255];
char StringBuffer3[255];

bool Given(const char* text) {
    return text && *text;
}

const char* FillBuffer(char* buffer, const std::string& value) {
    std::memset(buffer, 0, 255);
    const std::size_t n = std::min<std::size_t>(value.size(), 254);
    std::memcpy(buffer, value.data(), n);
    return buffer;
}

// Runs `body` with the store when every name is given; otherwise, or when anything is thrown,
// the neutral answer. Nothing may escape into the library.
template <class T, class F>
T WithNames(std::initializer_list<const char*> names, T neutral, F&& body) noexcept {
    try {
        if (!GlobalConfig) return neutral;
        for (const char* name : names)
            if (!Given(name)) return neutral;
        return body(*GlobalConfig);
    } catch (...) {
        return neutral;
    }
}

// The flag is a byte on the library side; only its low eight bits count.
bool ByteFlag(int value) {
    return (value & 0xFF) != 0;
}

}  // namespace

extern "C" {

void KovCfgWriteString(const char* section, const char* key, const char* value) {
    WithNames({section, key, value}, 0, [&](TKOVConfig& c) { return c.SetString(section, key, value), 0; });
}

const char* KovCfgReadString(const char* section, const char* key) {
    FillBuffer(StringBuffer2, {});
    return WithNames<const char*>({section, key}, StringBuffer2,
                     [&](TKOVConfig& c) { return FillBuffer(StringBuffer2, c.GetString(section, key)); });
}

void KovCfgWriteBool(const char* section, const char* key, int value) {
    WithNames({section, key}, 0, [&](TKOVConfig& c) { return c.SetBool(section, key, ByteFlag(value)), 0; });
}

int KovCfgReadBool(const char* section, const char* key) {
    return WithNames({section, key}, 0, [&](TKOVConfig& c) { return c.GetBool(section, key) ? 1 : 0; });
}

void KovCfgWriteInt(const char* section, const char* key, int value) {
    WithNames({section, key}, 0, [&](TKOVConfig& c) { return c.SetInt(section, key, value), 0; });
}

int KovCfgReadInt(const char* section, const char* key) {
    return WithNames({section, key}, 0, [&](TKOVConfig& c) { return c.GetInt(section, key); });
}

void KovCfgWriteFloat(const char* section, const char* key, double value) {
    WithNames({section, key}, 0, [&](TKOVConfig& c) { return c.SetFloat(section, key, value), 0; });
}

double KovCfgReadFloat(const char* section, const char* key) {
    return WithNames({section, key}, 0.0, [&](TKOVConfig& c) { return c.GetFloat(section, key); });
}

void KovCfgWriteString3(const char* section, const char* sub, const char* key, const char* value) {
    WithNames({section, sub, key, value}, 0, [&](TKOVConfig& c) { return c.SetString(section, sub, key, value), 0; });
}

const char* KovCfgReadString3(const char* section, const char* sub, const char* key) {
    FillBuffer(StringBuffer3, {});
    return WithNames<const char*>({section, sub, key}, StringBuffer3,
                     [&](TKOVConfig& c) { return FillBuffer(StringBuffer3, c.GetString(section, sub, key)); });
}

void KovCfgWriteBool3(const char* section, const char* sub, const char* key, int value) {
    WithNames({section, sub, key}, 0, [&](TKOVConfig& c) { return c.SetBool(section, sub, key, ByteFlag(value)), 0; });
}

int KovCfgReadBool3(const char* section, const char* sub, const char* key) {
    return WithNames({section, sub, key}, 0, [&](TKOVConfig& c) { return c.GetBool(section, sub, key) ? 1 : 0; });
}

void KovCfgWriteInt3(const char* section, const char* sub, const char* key, int value) {
    WithNames({section, sub, key}, 0, [&](TKOVConfig& c) { return c.SetInt(section, sub, key, value), 0; });
}

int KovCfgReadInt3(const char* section, const char* sub, const char* key) {
    return WithNames({section, sub, key}, 0, [&](TKOVConfig& c) { return c.GetInt(section, sub, key); });
}

void KovCfgWriteFloat3(const char* section, const char* sub, const char* key, double value) {
    WithNames({section, sub, key}, 0, [&](TKOVConfig& c) { return c.SetFloat(section, sub, key, value), 0; });
}

double KovCfgReadFloat3(const char* section, const char* sub, const char* key) {
    return WithNames({section, sub, key}, 0.0, [&](TKOVConfig& c) { return c.GetFloat(section, sub, key); });
}

}  // extern "C"
