// Several kov-cli processes at once over one state folder of the simulated programmers, as
// parallel jobs of a script or of CI share the default one.
#include "run_support.h"

namespace {

class SharedStateTest : public CliProcessTest {
protected:
    // Starts kov-cli with its own session and output files, named after `tag`.
    pid_t StartJob(const std::string& tag, std::vector<std::string> args) {
        const std::string session = Path(tag + ".kvs");
        WriteFile(session, ReadFile(Session()));
        args.insert(args.begin(), {"--yes", "--session", session, "run"});
        return Start(args, tag + ".out", tag + ".err");
    }
    static int Wait(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// Every Erase and Program of a serial EEPROM writes the chip file. Two processes writing the same
// chip at the same moment must each keep what it wrote whole: neither save may fail or leave a
// damaged file behind.
TEST_F(SharedStateTest, TwoJobsOnTheSameChipNeverSpoilEachOthersSaves) {
    std::string data;
    for (int i = 0; i < 128; ++i) data.push_back(static_cast<char>(i * 5 + 1));
    WriteFile(temp / "e.bin", data);
    std::vector<std::string> args{"--programmer", "KOV22", "--device", "Atmel/AT24C01A/DIP8", "--load",
                                  Path("e.bin") + "@binary"};
    for (int i = 0; i < 49; ++i) {
        args.push_back("--erase");
        args.push_back("--program");
    }
    for (int round = 0; round < 3; ++round) {
        const pid_t a = StartJob("a", args);
        const pid_t b = StartJob("b", args);
        ASSERT_GT(a, 0);
        ASSERT_GT(b, 0);
        const int statusA = Wait(a);
        const int statusB = Wait(b);
        for (const auto& [tag, status] : {std::pair<std::string, int>{"a", statusA}, {"b", statusB}}) {
            const std::string err = ReadFile(temp / (tag + ".err"));
            EXPECT_EQ(status, 0) << tag << ": " << err;
            for (const std::string& line : Lines(err))
                EXPECT_FALSE(Has(line, "could not be saved")) << tag << " in round " << round << ": " << line;
        }
    }
    // The chip file that is left is whole and holds what both wrote.
    const CliResult check = Run({"--programmer", "KOV22", "--device", "Atmel/AT24C01A/DIP8", "--load",
                                 Path("e.bin") + "@binary", "--verify", "--yes"});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_FALSE(Has(check.err, "damaged")) << check.err;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(temp / "state" / "KOV22", error))
        EXPECT_EQ(entry.path().extension(), ".chip") << "left behind: " << entry.path();
}

}  // namespace
