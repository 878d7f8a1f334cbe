#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "KovTest.h"
#include "branding/Edition.h"
#include "ui/DisplayCheck.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path Kov = fs::path(KOV_TEST_STAGE_DIR) / "framework" / "kov";

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The current environment with some variables replaced (a value of nullopt removes it).
std::vector<std::string> Environment(const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!changes.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
    }
    for (const auto& [name, value] : changes) {
        if (value) env.push_back(name + "=" + *value);
    }
    return env;
}

class Process {
public:
    Process(const std::vector<std::string>& args, const std::vector<std::string>& env, const TempDir& dir)
        : outPath_(dir / "stdout"), errPath_(dir / "stderr") {
        std::vector<std::string> argv = {Kov.string()};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> cargv;
        for (auto& a : argv) cargv.push_back(a.data());
        cargv.push_back(nullptr);
        std::vector<std::string> envCopy = env;
        std::vector<char*> cenv;
        for (auto& e : envCopy) cenv.push_back(e.data());
        cenv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawn(&pid_, Kov.c_str(), &actions, nullptr, cargv.data(), cenv.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Process() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    bool Started() const { return pid_ > 0; }

    // True once the program has installed its handler for termination requests.
    bool HandlesTermination() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("SigCgt:", 0) == 0) {
                const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
                return mask & (1ULL << (SIGTERM - 1));
            }
        }
        return false;
    }

    void Signal(int signal) const { kill(pid_, signal); }

    // Waits for the end; nullopt when the program is still running after the timeout.
    std::optional<Outcome> Wait(std::chrono::seconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) return std::nullopt;
            std::this_thread::sleep_for(20ms);
        }
        pid_ = -1;
        Outcome run;
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        run.out = ReadFile(outPath_);
        run.err = ReadFile(errPath_);
        return run;
    }

private:
    pid_t pid_ = -1;
    fs::path outPath_;
    fs::path errPath_;
};

Outcome RunKov(const std::vector<std::string>& args, const std::map<std::string, std::optional<std::string>>& env) {
    TempDir dir;
    Process process(args, Environment(env), dir);
    EXPECT_TRUE(process.Started());
    auto run = process.Wait(60s);
    EXPECT_TRUE(run.has_value()) << "kov did not end";
    return run.value_or(Outcome{});
}

const std::map<std::string, std::optional<std::string>> NoDisplay = {
    {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", std::nullopt}};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fs::exists(Kov)) << Kov << " is not built"; }
};

TEST_F(StartupTest, VersionAndHelpNeedNoDisplay) {
    const Outcome version = RunKov({"--version"}, NoDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_NE(version.out.find(ProductName + " - v" + FrameworkVersion), std::string::npos) << version.out;
    EXPECT_NE(version.out.find("edition " + EditionId), std::string::npos) << version.out;
    EXPECT_NE(version.out.find(BuildDate), std::string::npos) << version.out;

    const Outcome help = RunKov({"--help"}, NoDisplay);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: kov [SESSION-FILE]"), std::string::npos) << help.out;
}

TEST_F(StartupTest, WithoutADisplayItSaysWhatToDoInsteadOfAborting) {
    const Outcome run = RunKov({"job7.kvs"}, NoDisplay);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("xvfb-run -a"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("job7.kvs"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("kov-cli"), std::string::npos) << run.err;

    auto unreachable = NoDisplay;
    unreachable["DISPLAY"] = ":4711";
    const Outcome refused = RunKov({}, unreachable);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("cannot connect to the X display \":4711\""), std::string::npos) << refused.err;
}

TEST_F(StartupTest, UnknownOptionIsNotTakenAsASessionFile) {
    const Outcome run = RunKov({"--sesion=x"}, {{"QT_QPA_PLATFORM", "offscreen"}});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("unknown option --sesion=x"), std::string::npos) << run.err;
}

TEST_F(StartupTest, RunsUntilAskedToEndAndThenWritesTheSession) {
    TempDir dir;
    const fs::path session = dir / "job7.kvs";
    WriteFile(session, "MainForm.Left=70\r\nMainForm.Top=60\r\nKept.Value=yes\r\n");
    Process process({session.string()}, Environment({{"QT_QPA_PLATFORM", "offscreen"}}), dir);
    ASSERT_TRUE(process.Started());
    const auto until = std::chrono::steady_clock::now() + 60s;
    while (!process.HandlesTermination() && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(process.HandlesTermination()) << "kov did not come up";
    process.Signal(SIGTERM);
    const auto run = process.Wait(60s);
    ASSERT_TRUE(run.has_value()) << "kov did not end on SIGTERM";
    EXPECT_EQ(run->exitCode, 0) << run->err;

    const std::string written = ReadFile(session);
    EXPECT_NE(written.find("MainForm.Left=70\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("MainForm.Width="), std::string::npos) << written;
    EXPECT_NE(written.find("Kept.Value=yes\r\n"), std::string::npos) << written;
    EXPECT_NE(written.find("Log.MaxLogEntries=300"), std::string::npos) << written;
}

// Restores an environment variable when the test ends.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(DisplayCheck, NamesTheMissingOrUnreachableDisplay) {
    ScopedEnv platform("QT_QPA_PLATFORM", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    {
        ScopedEnv display("DISPLAY", nullptr);
        EXPECT_EQ(NoDisplayReason(""), "neither DISPLAY nor WAYLAND_DISPLAY is set");
        EXPECT_EQ(NoDisplayReason("xcb"), "DISPLAY is not set");
        EXPECT_EQ(NoDisplayReason("wayland"), "WAYLAND_DISPLAY is not set");
        EXPECT_EQ(NoDisplayReason("offscreen"), "");
        ScopedEnv offscreen("QT_QPA_PLATFORM", "offscreen");
        EXPECT_EQ(NoDisplayReason(""), "");
        EXPECT_EQ(NoDisplayReason("xcb"), "DISPLAY is not set");   // the command line wins
    }
    ScopedEnv display("DISPLAY", ":4711");
    EXPECT_EQ(NoDisplayReason(""), "cannot connect to the X display \":4711\"");
    EXPECT_EQ(NoDisplayReason("xcb:nograb"), "cannot connect to the X display \":4711\"");
}

}  // namespace
