// The simulated chip and socket: the physics of writing, the state files that keep chips
// between runs (and what a damaged one does), and the faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "KovTest.h"
#include "kovsim/Chip.h"
#include "kovsim/Faults.h"
#include "kovsim/Socket.h"

using namespace kovsim;
namespace fs = std::filesystem;

namespace {

ChipSpec Spec(unsigned width = 8, std::uint32_t words = 256, bool eeprom = false) {
    ChipSpec s;
    s.maker = "Atmel";
    s.name = "AT27C256R";
    s.package = "DIP28";
    s.family = "EPROM";
    s.width = width;
    s.words = words;
    s.mfrId = 0x1E;
    s.devId = 0x8C;
    s.writeReplaces = eeprom;
    return s;
}

std::vector<std::uint16_t> ReadAll(const SimSocket& socket, std::uint32_t words) {
    std::vector<std::uint16_t> out(words);
    EXPECT_TRUE(socket.Read(0, words, out.data()));
    return out;
}

} // namespace

TEST(SimChip, ProgrammingClearsBitsAndOnlyEraseSetsThem) {
    SimChip chip(Spec());
    EXPECT_EQ(chip.Word(10), 0xFF);
    chip.Write(10, 0xF0);
    chip.Write(10, 0x3C);
    EXPECT_EQ(chip.Word(10), 0x30) << "a second pass can only clear more bits";
    EXPECT_TRUE(chip.Dirty());
    chip.Erase(8, 4);
    EXPECT_EQ(chip.Word(10), 0xFF);

    SimChip eeprom(Spec(8, 16, true));
    eeprom.Write(3, 0x00);
    eeprom.Write(3, 0xA5);
    EXPECT_EQ(eeprom.Word(3), 0xA5) << "an EEPROM write replaces the byte";

    SimChip pic(Spec(14, 16));
    EXPECT_EQ(pic.Word(0), 0x3FFF);
    pic.Write(0, 0xFFFF);
    pic.Write(1, 0x1234 | 0xC000);
    EXPECT_EQ(pic.Word(0), 0x3FFF);
    EXPECT_EQ(pic.Word(1), 0x1234) << "bits above the word width do not exist";
    pic.Write(99, 0); // past the end: ignored
    EXPECT_EQ(pic.Word(15), 0x3FFF);
}

TEST(SimSocket, AChipIsKeptBetweenRunsWithItsExtraCells) {
    TempDir temp;
    {
        SimSocket socket("KOV22", true);
        socket.SetStateFolder(temp.path());
        std::vector<std::string> notices;
        socket.Attach(Spec(16, 1024), notices);
        EXPECT_TRUE(notices.empty());
        ASSERT_TRUE(socket.Write(5, 0x1234));
        ASSERT_TRUE(socket.SetExtra(3, 0xDEADBEEFull));
        std::string error;
        ASSERT_TRUE(socket.Commit(error)) << error;
    }
    fs::path file = temp / "KOV22" / "Atmel_AT27C256R_DIP28.chip";
    ASSERT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(file.string() + ".tmp"));

    SimSocket again("KOV22", true);
    again.SetStateFolder(temp.path());
    std::vector<std::string> notices;
    again.Attach(Spec(16, 1024), notices);
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(ReadAll(again, 1024)[5], 0x1234);
    EXPECT_EQ(ReadAll(again, 1024)[6], 0xFFFF);
    EXPECT_EQ(again.Extra(3), 0xDEADBEEFull);

    // Another programmer keeps its own chips; a part name with odd characters stays inside the folder.
    ChipSpec odd = Spec();
    odd.name = "../x y/27C256";
    SimSocket other("KOVP4", true);
    other.SetStateFolder(temp.path());
    other.Attach(odd, notices);
    EXPECT_EQ(ReadAll(other, 256)[5], 0xFF);
    EXPECT_EQ(other.StateFile(odd).parent_path(), temp / "KOVP4");
}

TEST(SimSocket, ADamagedStateFileGivesAMessageABlankChipAndIsKept) {
    struct Damage {
        const char* name;
        std::function<void(std::string&)> apply;
        const char* problem;
    };
    const std::vector<Damage> damages{
        {"truncated", [](std::string& b) { b.resize(b.size() - 7); }, "truncated"},
        {"one flipped bit", [](std::string& b) { b[300] ^= 0x04; }, "checksum"},
        {"extra bytes", [](std::string& b) { b += "xyz"; }, "extra bytes"},
        {"empty", [](std::string& b) { b.clear(); }, "not a socket state file"},
        {"text", [](std::string& b) { b = "hello, this is not a chip\n"; }, "not a socket state file"},
        {"other size", [](std::string& b) { b[16] = 0x7F; }, "another size"},
        {"other part", [](std::string& b) { b[24 + 64] = 'Q'; }, "checksum"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        TempDir temp;
        fs::path file;
        {
            SimSocket socket("KOV22", true);
            socket.SetStateFolder(temp.path());
            std::vector<std::string> notices;
            socket.Attach(Spec(), notices);
            socket.Write(0, 0x00);
            std::string error;
            ASSERT_TRUE(socket.Commit(error));
            file = socket.StateFile(Spec());
        }
        std::string bytes = ReadFile(file);
        d.apply(bytes);
        WriteFile(file, bytes);

        SimSocket socket("KOV22", true);
        socket.SetStateFolder(temp.path());
        std::vector<std::string> notices;
        socket.Attach(Spec(), notices);
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_NE(notices[0].find("is damaged"), std::string::npos) << notices[0];
        EXPECT_NE(notices[0].find(d.problem), std::string::npos) << notices[0];
        EXPECT_NE(notices[0].find("blank AT27C256R"), std::string::npos);
        EXPECT_EQ(ReadAll(socket, 256)[0], 0xFF) << "a fresh blank chip";
        EXPECT_EQ(ReadFile(file.string() + ".corrupt"), bytes) << "the damaged file is kept as it was";

        socket.Write(1, 0x11);
        std::string error;
        ASSERT_TRUE(socket.Commit(error));
        SimSocket reread("KOV22", true);
        reread.SetStateFolder(temp.path());
        notices.clear();
        reread.Attach(Spec(), notices);
        EXPECT_TRUE(notices.empty());
        EXPECT_EQ(ReadAll(reread, 256)[1], 0x11);
    }
}

TEST(SimSocket, ASecondDamagedFileDoesNotReplaceTheFirstOneKept) {
    TempDir temp;
    SimSocket socket("KOV22", true);
    socket.SetStateFolder(temp.path());
    fs::path file = socket.StateFile(Spec());
    fs::create_directories(file.parent_path());
    WriteFile(file, "first");
    std::vector<std::string> notices;
    socket.Attach(Spec(), notices);
    SimSocket next("KOV22", true);
    next.SetStateFolder(temp.path());
    WriteFile(file, "second");
    next.Attach(Spec(), notices);
    EXPECT_EQ(ReadFile(file.string() + ".corrupt"), "first");
    EXPECT_EQ(ReadFile(file.string() + ".corrupt.1"), "second");
}

TEST(SimSocket, AStateFolderThatCannotBeWrittenIsReportedNotFatal) {
    TempDir temp;
    WriteFile(temp / "blocked", "a file where the folder should be");
    SimSocket socket("KOV22", true);
    socket.SetStateFolder(temp / "blocked");
    std::vector<std::string> notices;
    socket.Attach(Spec(), notices);
    EXPECT_TRUE(notices.empty());
    ASSERT_TRUE(socket.Write(0, 0x12));
    std::string error;
    EXPECT_FALSE(socket.Commit(error));
    EXPECT_NE(error.find("could not be saved"), std::string::npos) << error;
    EXPECT_EQ(ReadAll(socket, 256)[0], 0x12) << "the chip itself keeps its data";
}

TEST(SimSocket, SwitchingPartsSavesTheChipLeftBehind) {
    TempDir temp;
    SimSocket socket("KOVP4", true);
    socket.SetStateFolder(temp.path());
    std::vector<std::string> notices;
    socket.Attach(Spec(), notices);
    socket.Write(2, 0x22);
    ChipSpec other = Spec();
    other.name = "AT27C512R";
    socket.Attach(other, notices);
    EXPECT_EQ(ReadAll(socket, 256)[2], 0xFF);
    socket.Attach(Spec(), notices);
    EXPECT_EQ(ReadAll(socket, 256)[2], 0x22);
    EXPECT_TRUE(notices.empty());

    SimSocket demo("Demo", false);
    demo.Attach(Spec(), notices);
    demo.Write(2, 0x33);
    demo.Attach(other, notices);
    demo.Attach(Spec(), notices);
    EXPECT_EQ(ReadAll(demo, 256)[2], 0x33) << "the demo keeps its chips in memory for the run";
    EXPECT_TRUE(demo.StateFile(Spec()).empty());
    std::string error;
    EXPECT_TRUE(demo.Commit(error));
}

TEST(Faults, TheSessionTextIsParsedAndBadItemsNamed) {
    std::vector<std::string> problems;
    FaultSet f = ParseFaults(" nochip , WrongId,StuckBit@1f3:2=1, ProgramFail@0x100 ", problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(f.noChip && f.wrongId && f.stuckBit && f.programFail);
    EXPECT_EQ(f.stuckAddress, 0x1F3u);
    EXPECT_EQ(f.stuckBitIndex, 2u);
    EXPECT_EQ(f.stuckLevel, 1);
    EXPECT_EQ(f.failAddress, 0x100u);
    EXPECT_EQ(FormatFaults(f), "NoChip,WrongId,StuckBit@1F3:2=1,ProgramFail@100");
    EXPECT_EQ(ParseFaults(FormatFaults(f), problems), f);

    FaultSet bad = ParseFaults(
        "Smoke, StuckBit@, StuckBit@12:16, StuckBit@12=2, ProgramFail@xyz, NoChip@3, ,", problems);
    EXPECT_FALSE(bad.Any());
    EXPECT_EQ(problems, (std::vector<std::string>{"Smoke", "StuckBit@", "StuckBit@12:16", "StuckBit@12=2",
                                                  "ProgramFail@xyz", "NoChip@3"}));
    EXPECT_TRUE(ParseFaults("", problems) == FaultSet{});
}

TEST(Faults, PositionsNotGivenComeFromTheSeed) {
    std::vector<std::string> problems;
    FaultSet f = ParseFaults("StuckBit,ProgramFail", problems);
    FaultSpots a = ResolveFaults(f, 7, "chip", 4096, 8);
    FaultSpots b = ResolveFaults(f, 7, "chip", 4096, 8);
    EXPECT_EQ(a.stuckAddress, b.stuckAddress);
    EXPECT_EQ(a.failAddress, b.failAddress);
    EXPECT_EQ(a.stuckBit, b.stuckBit);
    EXPECT_LT(a.stuckAddress, 4096u);
    EXPECT_LT(a.stuckBit, 8u);
    int differ = 0;
    for (std::uint64_t seed = 1; seed < 20; ++seed)
        differ += ResolveFaults(f, seed, "chip", 4096, 8).stuckAddress != a.stuckAddress;
    EXPECT_GT(differ, 15) << "other seeds put the fault elsewhere";
}

TEST(Faults, TheSocketShowsEachFault) {
    SimSocket socket("KOV22", false);
    std::vector<std::string> notices;
    socket.Attach(Spec(), notices);
    std::vector<std::string> problems;

    // Addresses in the session text are hexadecimal.
    socket.SetFaults(ParseFaults("StuckBit@10:3=0", problems), 1);
    EXPECT_EQ(ReadAll(socket, 256)[0x10], 0xF7) << "a bit stuck at 0 is never erased";
    EXPECT_EQ(ReadAll(socket, 256)[10], 0xFF);
    socket.SetFaults(ParseFaults("StuckBit@10:3=1", problems), 1);
    socket.Write(0x10, 0x00);
    EXPECT_EQ(ReadAll(socket, 256)[0x10], 0x08) << "a bit stuck at 1 is never programmed";

    socket.SetFaults(ParseFaults("ProgramFail@20", problems), 1);
    EXPECT_TRUE(socket.Write(0x20, 0x00));
    EXPECT_TRUE(socket.Write(0x21, 0x00));
    EXPECT_EQ(ReadAll(socket, 256)[0x20], 0xFF);
    EXPECT_EQ(ReadAll(socket, 256)[0x21], 0x00);

    std::uint16_t mfr = 0, dev = 0;
    socket.SetFaults(ParseFaults("WrongId", problems), 1);
    ASSERT_TRUE(socket.ReadIds(mfr, dev));
    EXPECT_EQ(mfr, 0x1E);
    EXPECT_NE(dev, 0x8C);

    socket.SetFaults(ParseFaults("NoChip", problems), 1);
    std::uint16_t word = 0;
    EXPECT_FALSE(socket.Present());
    EXPECT_FALSE(socket.Read(0, 1, &word));
    EXPECT_FALSE(socket.Write(0, 0));
    EXPECT_FALSE(socket.ReadIds(mfr, dev));
    socket.SetFaults(FaultSet{}, 1);
    socket.Remove();
    EXPECT_FALSE(socket.Present());
    socket.Insert();
    EXPECT_TRUE(socket.Present());
    EXPECT_FALSE(socket.Read(250, 10, &word)) << "a range past the chip is refused";
}

TEST(SimSocket, AStartPressReadsAsTwoZeros) {
    SimSocket socket("KOV22", false);
    EXPECT_EQ(socket.ReadStartSignal(), 1);
    socket.PressStart();
    EXPECT_EQ(socket.ReadStartSignal(), 0);
    EXPECT_EQ(socket.ReadStartSignal(), 0);
    EXPECT_EQ(socket.ReadStartSignal(), 1);
}
