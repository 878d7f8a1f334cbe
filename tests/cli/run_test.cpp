// kov-cli run end to end: the staged programmer and device libraries with simulated chips that
// persist in the test's folder between processes.
#include <regex>

#include "files/FileFormat.h"
#include "run_support.h"

namespace {

const std::string Eprom = "Atmel/AT27C256R/DIP28"; // 32768 8-bit words, UV-erasable only
constexpr std::size_t EpromSize = 32768;

std::string Hex8(std::uint32_t value) {
    return kovfiles::Hex(value, 8);
}

class RunTest : public CliProcessTest {
protected:
    void SetUp() override {
        CliProcessTest::SetUp();
        for (std::size_t i = 0; i < 3000; ++i)
            image.push_back(static_cast<char>(i * 7 + 3));
        WriteFile(temp / "fw.bin", image);
    }
    // The sum of the chip's words after `image` was programmed into a blank chip.
    std::uint32_t ProgrammedSum() const {
        std::uint32_t sum = static_cast<std::uint32_t>(0xFF * (EpromSize - image.size()));
        for (char c : image)
            sum += static_cast<unsigned char>(c);
        return sum;
    }

    std::string image;
};

TEST_F(RunTest, ProgramsAFileThatLaterProcessesVerifyAndReadBackFromTheSession) {
    CliResult r = Run({"--yes", "--programmer", "kov22", "--device", Eprom, "--load", "fw.bin", "--program"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string sum = Hex8(ProgrammedSum());
    EXPECT_EQ(Lines(r.out),
              (std::vector<std::string>{"Loaded fw.bin (Binary): 3000 bytes, buffer checksum " + sum,
                                        "Program: passed, device checksum " + sum}));
    // The detected type was confirmed, the operation confirmed and reported as in the window.
    EXPECT_TRUE(Has(r.err, "[Confirm file type] " + Path("fw.bin") + " file type is Binary\n  -> Yes"))
        << r.err;
    EXPECT_TRUE(Has(r.err, "[Status] Program operation successful.")) << r.err;
    // Standard error is no terminal here: the progress box is a line per tenth of the way, each
    // with the percentage, the operation and the elapsed time.
    const std::regex step(R"( *(\d+)%  Programming AT27C256R  \d+:\d\d)");
    int steps = 0;
    bool full = false;
    std::smatch m;
    for (const std::string& line : Lines(r.err)) {
        if (!std::regex_match(line, m, step)) continue;
        ++steps;
        full = full || m[1] == "100";
    }
    EXPECT_GE(steps, 10) << r.err;
    EXPECT_TRUE(full) << r.err;
    EXPECT_FALSE(Has(r.err, "\r")) << "no redrawing without a terminal";
    const std::string session = SessionText();
    EXPECT_TRUE(Has(session, "LastProgrammer.Interface=USB")) << session;
    EXPECT_TRUE(
        Has(session, "Device.AutoSelect=\"eprom8.so\",\"Atmel\",\"AT27C256R\",\"DIP28\",\"28\",\"8\""));
    EXPECT_TRUE(Has(session, "MRU.LoadFileName=\"" + Path("fw.bin") + "\",\"Binary\",TRUE,-1,-1,-1,-1"));

    // A second process: programmer and device come from the session.
    r = Run({"--yes", "--load", "fw.bin@binary", "--verify", "--read", "back.bin", "--checksum",
             "--buffer-checksum"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out),
              (std::vector<std::string>{"Loaded fw.bin (Binary): 3000 bytes, buffer checksum " + sum,
                                        "Verify: passed, device checksum " + sum,
                                        "Read: passed, device checksum " + sum,
                                        "Saved " + Path("back.bin") + " (Binary)", "Device checksum: " + sum,
                                        "Buffer checksum: " + sum}));
    const std::string back = ReadFile(temp / "back.bin");
    ASSERT_EQ(back.size(), EpromSize);
    EXPECT_EQ(back.substr(0, image.size()), image);
    EXPECT_EQ(back.substr(image.size()), std::string(EpromSize - image.size(), '\xFF'));

    // Another file does not verify; the status is the failing operation's position.
    std::string other = image;
    other[1234] = static_cast<char>(~other[1234]);
    WriteFile(temp / "other.bin", other);
    r = Run({"--yes", "--load", "other.bin@binary", "--verify", "--checksum"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "kov-cli: Verify failed (the device library returned 0)")) << r.err;
    EXPECT_TRUE(Has(r.err, "kov-cli: operation 2 (--verify) failed")) << r.err;
    EXPECT_FALSE(Has(r.out, "Device checksum")) << "no operation after the failing one";
}

TEST_F(RunTest, OnATerminalTheProgressLineIsRedrawnInPlace) {
    // script(1) gives kov-cli a terminal as standard error; the results still go to a file.
    const std::string program = std::string(KOV_TEST_STAGE_DIR) + "/framework/kov-cli";
    const std::string inner = "cd '" + temp.path().string() + "' && exec '" + program + "' --session '" + Session() +
                              "' run --yes --programmer kov22 --device " + Eprom + " --blank-check >stdout.txt";
    const std::string command =
        "script -qec \"" + inner + "\" /dev/null >'" + Path("tty.txt") + "' 2>&1 </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(temp / "tty.txt");
    const std::string tty = ReadFile(temp / "tty.txt");
    EXPECT_EQ(ReadFile(temp / "stdout.txt"), "Blank Check: passed, device checksum " + Hex8(0xFF * EpromSize) + "\n");
    // Each step overwrites the line: carriage return, the line, erase to its end.
    const std::size_t half = tty.find("\r 50%  Blank checking AT27C256R  ");
    ASSERT_NE(half, std::string::npos) << tty;
    const std::size_t erase = tty.find("\x1b[K", half);
    EXPECT_LT(erase, tty.find_first_of("\r\n", half + 1)) << tty;
    EXPECT_FALSE(Has(tty, "\n 50%  Blank checking")) << tty;
    // The line goes when the box closes, before the next message.
    const std::size_t last = tty.rfind("100%  Blank checking AT27C256R");
    ASSERT_NE(last, std::string::npos) << tty;
    EXPECT_NE(tty.find("\r\x1b[K", last), std::string::npos) << tty;
}

TEST_F(RunTest, AWrongIdFailsWithTheChipsAnswerAndLeavesTheChipBlank) {
    WriteSession({"Simulator.Faults=WrongId"});
    CliResult r =
        Run({"--yes", "--programmer", "kov22", "--device", Eprom, "--load", "fw.bin@binary", "--program"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "The device in the socket is not a Atmel AT27C256R.")) << r.err;
    EXPECT_TRUE(Has(r.err, "kov-cli: Program failed (the device library returned 0)")) << r.err;
    EXPECT_FALSE(Has(r.out, "Program:")) << r.out;

    WriteSession({});
    r = Run({"--programmer", "kov22", "--device", Eprom, "--blank-check"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Blank Check: passed, device checksum " + Hex8(0xFF * EpromSize) + "\n");
}

TEST_F(RunTest, QuestionsAreAnsweredOnlyByYes) {
    WriteSession({"File.SuppressLoadSaveConfirm=TRUE"});
    CliResult r = Run({"--programmer", "kov22", "--device", Eprom, "--load", "fw.bin@binary", "--program"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err,
                    "[Confirm] This operation will change data in the device.\nAre you sure you want to do "
                    "this?\n\n  -> No"))
        << r.err;
    EXPECT_TRUE(
        Has(r.err, "kov-cli: Program needs an answer to \"This operation will change data in the device."))
        << r.err;
    // Nothing was programmed, and the selection was remembered all the same.
    r = Run({"--blank-check"});
    EXPECT_EQ(r.status, 0) << r.err;

    // No setting silences the question about an empty buffer.
    WriteSession({"Device.SuppressConfirm=TRUE"});
    r = Run({"--programmer", "kov22", "--device", Eprom, "--program"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "needs an answer to \"You have not loaded any data into the buffer.")) << r.err;
    // A detected type is a question as well.
    r = Run({"--programmer", "kov22", "--device", Eprom, "--load", "fw.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        Has(r.err, "loading fw.bin needs an answer to \"" + Path("fw.bin") + " file type is Binary\""))
        << r.err;
}

TEST_F(RunTest, SetupProblemsHaveTheirOwnStatusesAndStopBeforeAnyOperation) {
    const std::vector<std::string> device{"--programmer", "kov22", "--device", Eprom};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = device;
        args.insert(args.end(), extra.begin(), extra.end());
        return Run(args);
    };

    CliResult r = Run({"--blank-check"});
    EXPECT_EQ(r.status, 201);
    EXPECT_TRUE(Has(r.err, "no programmer: the session names none")) << r.err;
    r = Run({"--programmer", "kovp4:ParallelPort:278", "--blank-check"});
    EXPECT_EQ(r.status, 201);
    EXPECT_TRUE(Has(r.err, "the programmer KOVP4 did not answer on ParallelPort:0278")) << r.err;

    r = Run({"--programmer", "kov22", "--blank-check"});
    EXPECT_EQ(r.status, 202);
    EXPECT_TRUE(Has(r.err, "no device: the session remembers none")) << r.err;
    r = Run({"--programmer", "kov22", "--device", "Atmel/AT27C256", "--blank-check"});
    EXPECT_EQ(r.status, 202);
    EXPECT_TRUE(Has(r.err, "no device Atmel/AT27C256 is offered to TORMEX KOV22")) << r.err;
    r = Run({"--programmer", "kov22", "--device", "atmel/at27c256r", "--blank-check"});
    EXPECT_EQ(r.status, 202);
    EXPECT_TRUE(
        Has(r.err, "names several devices:\n  Atmel/AT27C256R/DIP28/28/8\n  Atmel/AT27C256R/PLCC32/32/8"))
        << r.err;

    r = with({"--byte-swap", "--blank-check"});
    EXPECT_EQ(r.status, 203);
    EXPECT_TRUE(Has(r.err, "byte swapping is offered for 16-bit devices only")) << r.err;
    r = with({"--splits", "2:1", "--current", "3:1", "--blank-check"});
    EXPECT_EQ(r.status, 203);
    EXPECT_TRUE(Has(r.err, "--current 3:1 lies outside 2 splits and 1 sets")) << r.err;
    // A PLD switches splits and sets off.
    r = Run(
        {"--programmer", "kov22", "--device", "Lattice/GAL16V8B/DIP20", "--splits", "2:1", "--blank-check"});
    EXPECT_EQ(r.status, 203);
    EXPECT_TRUE(Has(r.err, "the device library does not offer splits and sets")) << r.err;

    // What the command line can tell is checked before the programmer starts.
    r = with({"--blank-check", "--read", "x.pof@pof"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "--read: POF files cannot be saved")) << r.err;
    EXPECT_EQ(r.out, "");
    r = with({"--read", "x.dat"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "cannot tell the type to save x.dat in from its name; give FILE@TYPE")) << r.err;
    r = with({"--load", "missing.hex", "--program"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "--load: cannot open missing.hex")) << r.err;

    // A UV EPROM has no Erase.
    r = with({"--blank-check", "--erase"});
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(Has(r.err, "--erase: the device library offers no Erase for AT27C256R")) << r.err;

    // Option values the parser refuses.
    r = with({"--splits", "9:1", "--blank-check"});
    EXPECT_GE(r.status, 100);
    EXPECT_TRUE(Has(r.err, "two numbers from 1 to 8")) << r.err;
    r = Run({});
    EXPECT_GE(r.status, 100);
    EXPECT_TRUE(Has(r.err, "no operation given")) << r.err;
}

TEST_F(RunTest, SplitsAndByteSwappingLayTheBufferOverTheChips) {
    WriteSession({"Device.SuppressConfirm=TRUE", "File.SuppressLoadSaveConfirm=TRUE"});
    WriteFile(temp / "ab.bin", "ABCDEFGH");
    // Two 8-bit chips side by side; the second one takes the odd bytes.
    CliResult r = Run({"--programmer", "kov22", "--device", Eprom, "--splits", "2:1", "--current", "2:1",
                       "--load", "ab.bin@binary", "--program"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Splits(2:2) and Sets(1:1)")) << r.err;
    r = Run({"--read", "chip.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(temp / "chip.bin").substr(0, 6), "BDFH\xFF\xFF");

    // A 16-bit EPROM with byte swapping gets each pair of buffer bytes the other way round.
    WriteFile(temp / "w.bin", "\x01\x02\x03\x04");
    r = Run({"--device", "Atmel/AT27C1024/DIP40", "--byte-swap", "--load", "w.bin@binary", "--program"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run({"--read", "words.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(temp / "words.bin").substr(0, 6), "\x02\x01\x04\x03\xFF\xFF");
}

TEST_F(RunTest, TheDemoProgrammerIsNeverRemembered) {
    CliResult r = Run(
        {"--yes", "--demo", "KOV22", "--device", Eprom, "--load", "fw.bin@binary", "--program", "--verify"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "Programmer: TORMEX Demo (demo)")) << r.err;
    EXPECT_FALSE(Has(SessionText(), "LastProgrammer")) << SessionText();
    // Its chips live in memory only.
    r = Run({"--demo", "KOV22", "--blank-check"});
    EXPECT_EQ(r.status, 0) << r.err;
}

} // namespace
