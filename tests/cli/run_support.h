#pragma once
// The staged kov-cli as a real process over the staged sample plug-ins, with a session of its own
// whose simulated chips live in the test's temporary folder.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "KovTest.h"

struct CliResult {
    int status = -1; // exit status, or -1 when the program did not exit normally
    std::string out;
    std::string err;
};

class CliProcessTest : public ::testing::Test {
protected:
    void SetUp() override { WriteSession({}); }

    // The session every run uses: chips in the temporary folder and, unless `lines` say
    // otherwise, instant timing.
    void WriteSession(const std::vector<std::string>& lines) {
        std::string text = "Simulator.StateFolder=" + (temp / "state").string() + "\r\n";
        bool timed = false;
        for (const std::string& line : lines) {
            text += line + "\r\n";
            timed = timed || line.rfind("Simulator.TimeScale=", 0) == 0;
        }
        if (!timed) text += "Simulator.TimeScale=0\r\n";
        WriteFile(Session(), text);
    }
    std::string Session() const { return (temp / "s.kvs").string(); }
    std::string SessionText() const { return ReadFile(temp / "s.kvs"); }
    std::string Path(const std::string& name) const { return (temp / name).string(); }

    // Starts kov-cli with `args` in the temporary folder; output goes to the files `outName` and
    // `errName` there (Finish reads the default ones).
    pid_t Start(const std::vector<std::string>& args, const std::string& outName = "stdout.txt",
                const std::string& errName = "stderr.txt") {
        const std::string program = std::string(KOV_TEST_STAGE_DIR) + "/framework/kov-cli";
        std::vector<std::string> all{program};
        all.insert(all.end(), args.begin(), args.end());
        const std::string out = Path(outName), err = Path(errName), dir = temp.path().string();
        const pid_t pid = ::fork();
        if (pid == 0) {
            std::vector<char*> argv;
            for (std::string& a : all)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (o < 0 || e < 0 || ::chdir(dir.c_str()) != 0) ::_exit(127);
            ::dup2(o, STDOUT_FILENO);
            ::dup2(e, STDERR_FILENO);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        return pid;
    }

    // Waits for the process (killing it by its pid after `limit`) and collects its output.
    CliResult Finish(pid_t pid, std::chrono::seconds limit = std::chrono::seconds(120)) {
        CliResult r;
        int status = 0;
        const auto until = std::chrono::steady_clock::now() + limit;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > until) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                ADD_FAILURE() << "kov-cli did not end in time";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadFile(Path("stdout.txt"));
        r.err = ReadFile(Path("stderr.txt"));
        return r;
    }

    CliResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--session", Session()});
        return Finish(Start(args));
    }
    // `run` with the session and the given options.
    CliResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), "run");
        return Cli(args);
    }

    static bool Has(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    TempDir temp;
};

// Lines of a text without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = text.find('\n', from);
        lines.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
        if (end == std::string::npos) break;
        from = end + 1;
    }
    return lines;
}
