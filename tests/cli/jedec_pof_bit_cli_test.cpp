// kov-cli converting from and to JEDEC, and from POF and BIT, run as the real program.
#include <cstdlib>
#include <string>

#include "KovTest.h"
#include "files/formats/Jedec.h"

namespace {

class JedecCliTest : public ::testing::Test {
protected:
    // Runs kov-cli in the temporary folder; returns its exit status, standard error in `err`.
    int Run(const std::string& args) {
        const std::string command = "cd '" + temp.path().string() + "' && '" + KOV_TEST_STAGE_DIR +
                                    "/framework/kov-cli' --session s.kvs " + args + " >out.txt 2>err.txt";
        const int status = std::system(command.c_str());
        err = ReadFile(temp / "err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    void SetUp() override { WriteFile(temp / "s.kvs", "File.UnixEOL=TRUE\r\n"); }

    TempDir temp;
    std::string err;
};

std::string Transmission(const std::string& inside) {
    const std::string text = "\x02" + inside + "\x03";
    return text + kovfiles::Hex(kovfiles::JedecTransmissionSum(text), 4);
}

TEST_F(JedecCliTest, JedecConvertsToBinaryAndBackWithItsFuseCount) {
    WriteFile(temp / "in.jed", Transmission("hdr*QF20*F0*L0000 1101*L0018 11*C0017*"));
    ASSERT_EQ(Run("convert --from jedec --to binary in.jed fuses.bin"), 0) << err;
    std::string expected(20, '\0');
    expected[0] = expected[1] = expected[3] = expected[18] = expected[19] = '\x01';
    EXPECT_EQ(ReadFile(temp / "fuses.bin"), expected);

    ASSERT_EQ(Run("convert --to jedec fuses.bin out.jed"), 0) << err;
    const std::string text = ReadFile(temp / "out.jed");
    EXPECT_NE(text.find("\nQF20*\n"), std::string::npos);
    EXPECT_NE(text.find("\nL00000000 11010000000000000011*\nC0017*\n\x03"), std::string::npos);
    // The name's extension alone selects JEDEC through its "DefaultExtension".
    ASSERT_EQ(Run("convert out.jed again.jed"), 0) << err;
    // Equal from QF to ETX; the date, and with it the transmission checksum, may differ.
    const std::string again = ReadFile(temp / "again.jed");
    auto fields = [](const std::string& t) { return t.substr(t.find("QF"), t.find('\x03') - t.find("QF")); };
    EXPECT_EQ(fields(again), fields(text));
}

TEST_F(JedecCliTest, DataBeyondTheLargestFuseCountIsNotWrittenAsJedec) {
    // Fuse n is the byte at address n: data near the top of the address space would need a QF
    // count that no reader takes back.
    WriteFile(temp / "high.hex", ":0200000480007A\n:0100000001FE\n:00000001FF\n");
    EXPECT_EQ(Run("convert --from ihex --to jedec high.hex high.jed"), 1);
    EXPECT_NE(err.find("A JEDEC file holds at most 2147483647 fuses"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(temp / "high.jed"));
}

TEST_F(JedecCliTest, QuestionsAreAnsweredNoUnlessYesIsGiven) {
    WriteFile(temp / "bad.jed", "\x02hdr*QF4*L0000 1111*\x03" "0000");
    EXPECT_EQ(Run("convert --to binary bad.jed out.bin"), 1);
    EXPECT_NE(err.find("Transmission checksum does not match."), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(temp / "out.bin"));
    ASSERT_EQ(Run("--yes convert --to binary bad.jed out.bin"), 0) << err;
    EXPECT_EQ(ReadFile(temp / "out.bin"), std::string(4, '\x01'));
}

TEST_F(JedecCliTest, PofAndBitLoadButAreNeverWritten) {
    const std::string pofPacket = std::string("\x07\x00\x15\x00\x00\x00", 6) + std::string(12, '\0') + "\x80\x01\xFF";
    WriteFile(temp / "in.pof", std::string("POF\0\0\0\0\0\x02\0\0\0", 12) + pofPacket);
    ASSERT_EQ(Run("convert --from pof --to binary in.pof pof.bin"), 0) << err;
    EXPECT_EQ(ReadFile(temp / "pof.bin"), "\xFF\x01\x03\xFE");

    WriteFile(temp / "in.bit", std::string("\x00\x09\x0F\xF0\x0F\xF0\x0F\xF0\x0F\xF0\x00\x00\x01", 13) +
                                   std::string("a\x00\x02" "x\x00" "e\x00\x00\x00\x02\x01\x0F", 12));
    ASSERT_EQ(Run("convert --from bit --to binary in.bit bit.bin"), 0) << err;
    EXPECT_EQ(ReadFile(temp / "bit.bin"), "\x80\xF0");

    EXPECT_EQ(Run("convert --to pof in.bit out.pof"), 1);
    EXPECT_NE(err.find("POF file save is not availible"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(temp / "out.pof"));
}

}  // namespace
