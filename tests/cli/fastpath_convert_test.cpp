// kov-cli uses binary input where it lies instead of loading it into an image first: the result
// must be the same as for the same data loaded from a record file.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <random>

#include "KovTest.h"

namespace fs = std::filesystem;

namespace {

class CliInPlaceTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(temp / "s.kvs", "File.UnixEOL=TRUE\r\nFileType.Intel Hex.DefaultRecordLength=16\r\n"); }

    // Runs kov-cli in the work folder; returns its exit status and keeps its standard error.
    int Cli(const std::string& args) {
        const std::string cmd = "cd " + temp.path().string() + " && " + KOV_TEST_STAGE_DIR +
                                "/framework/kov-cli --session s.kvs " + args + " 2>" + (temp / "err.txt").string();
        const int status = std::system(cmd.c_str());
        err = ReadFile(temp / "err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempDir temp;
    std::string err;
};

}  // namespace

TEST_F(CliInPlaceTest, BinaryInputConvertsAsTheSameDataFromARecordFile) {
    std::mt19937 rng(9);
    std::string data(300000, '\0');
    for (char& c : data) c = static_cast<char>(rng());
    WriteFile(temp / "in.bin", data);

    // The record file of the same data goes through the image.
    ASSERT_EQ(Cli("convert --from binary --to srec in.bin in.s"), 0) << err;
    ASSERT_EQ(Cli("convert --from srec --to ihex in.s via-image.hex"), 0) << err;
    ASSERT_EQ(Cli("convert --from binary --to ihex in.bin in-place.hex"), 0) << err;
    EXPECT_EQ(ReadFile(temp / "in-place.hex"), ReadFile(temp / "via-image.hex"));
    ASSERT_EQ(Cli("convert --from binary --to binary in.bin copy.bin"), 0) << err;
    EXPECT_EQ(ReadFile(temp / "copy.bin"), data);

    // File pointers cut the same part either way.
    const std::string part = "--file-start 0x1234 --file-end 0x2233 ";
    ASSERT_EQ(Cli("convert --from binary --to srec " + part + "in.bin part.s"), 0) << err;
    ASSERT_EQ(Cli("convert --from srec --to binary part.s part.bin"), 0) << err;
    EXPECT_EQ(ReadFile(temp / "part.bin"), data.substr(0x1234, 0x1000));
    ASSERT_EQ(Cli("dump --from binary " + part + "--start 0x1234 --end 0x1243 in.bin dump.txt"), 0) << err;
    EXPECT_EQ(ReadFile(temp / "dump.txt").substr(0, 10), "00001234  ");
}

TEST_F(CliInPlaceTest, BinaryInputWithNothingInRangeFailsAndWritesNothing) {
    WriteFile(temp / "in.bin", "0123456789");
    WriteFile(temp / "empty.bin", "");
    for (const std::string args : {"--file-start 0x0A in.bin out.hex", "--file-start 0x100 in.bin out.hex",
                                   "empty.bin out.hex"}) {
        EXPECT_EQ(Cli("convert --from binary --to ihex " + args), 1) << args;
        EXPECT_NE(err.find("An error occurred while processing the file:"), std::string::npos) << err;
        EXPECT_FALSE(fs::exists(temp / "out.hex"));
    }
    ASSERT_EQ(Cli("convert --from binary --to ihex --file-start 9 in.bin out.hex"), 0) << err;
    EXPECT_EQ(ReadFile(temp / "out.hex"), ":020000040000FA\n:0100090039BD\n:00000001FF\n");
}
