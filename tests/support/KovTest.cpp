#include "KovTest.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/Globals.h"
#include "core/Logger.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// ScriptedDialogPort

int ScriptedDialogPort::MessageBox(const std::string& text, const std::string& caption, int flags) {
    int answer = 0;
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
    } else {
        switch (flags & MB_TYPEMASK) {
        case MB_ABORTRETRYIGNORE: answer = IDABORT; break;
        case MB_YESNOCANCEL:
        case MB_YESNO: answer = IDYES; break;
        case MB_RETRYCANCEL: answer = IDRETRY; break;
        default: answer = IDOK;
        }
    }
    shown.push_back({text, caption, flags, answer});
    return answer;
}

namespace {

std::string NextFile(std::deque<std::string>& answers) {
    if (answers.empty()) return {};
    std::string path = answers.front();
    answers.pop_front();
    return path;
}

}  // namespace

std::string ScriptedDialogPort::OpenFileName(FileDialogRequest& request) {
    fileRequests.push_back(request);
    return NextFile(fileAnswers);
}

std::string ScriptedDialogPort::SaveFileName(FileDialogRequest& request) {
    fileRequests.push_back(request);
    return NextFile(fileAnswers);
}

std::vector<std::string> ScriptedDialogPort::Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : shown) texts.push_back(box.text);
    return texts;
}

// ---------------------------------------------------------------------------------------------
// Files

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "kov-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may take permissions away; give them back so that everything can be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---------------------------------------------------------------------------------------------
// GlobalsFixture

void GlobalsFixture::SetUp() {
    for (const char* folder : {"framework", "devs", "prog", "sessions", "help"}) fs::create_directories(temp / folder);
    previousPort_ = SetDialogPort(&dialogs);
    // What a fresh process starts with.
    DebugMode = false;
    ShowAllExceptions = false;
    LibraryMessagesEnabled = true;
    TLog::SetMaxEntries(300);
    SetLastSystemError(0, "");
    ProgressBox() = TProgressBox();
    if (AutoStart()) StartGlobals();
}

void GlobalsFixture::TearDown() {
    FinalizeGlobals();
    started = false;
    SetDialogPort(previousPort_);
    DebugMode = false;
    ShowAllExceptions = false;
    LibraryMessagesEnabled = true;
    ProgressBox() = TProgressBox();
}

void GlobalsFixture::StartGlobals() {
    if (!sessionLines.empty()) {
        fs::path file = SessionFile();
        if (!params.empty() && !params[0].empty()) {
            const fs::path named(params[0]);
            file = named.has_parent_path() ? named : temp / "sessions" / named;
        }
        std::string text;
        for (const auto& line : sessionLines) text += line + "\r\n";
        WriteFile(file, text);
    }
    DebugMode = debugMode;
    InitializeGlobals({ProgramPath().string(), params});
    started = true;
}

void GlobalsFixture::StopGlobals() {
    FinalizeGlobals();
    started = false;
}

std::vector<std::string> GlobalsFixture::LogLines() const {
    std::vector<std::string> lines;
    if (!GlobalLog) return lines;
    const TLogLines& list = GlobalLog->Lines();
    for (int i = 0; i < list.Count(); ++i) lines.push_back(list.Line(i));
    return lines;
}

bool GlobalsFixture::LogContains(const std::string& fragment) const {
    for (const auto& line : LogLines())
        if (line.find(fragment) != std::string::npos) return true;
    return false;
}
