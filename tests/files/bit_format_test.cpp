#include <string>
#include <vector>

#include "files/formats/Bit.h"
#include "jedec_test_support.h"

using namespace kovfiles;
using namespace jedectest;

namespace {

const std::string BitMagic("\x00\x09\x0F\xF0\x0F\xF0\x0F\xF0\x0F\xF0\x00", 11);

std::string Be(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = bytes - 1; i >= 0; --i) text += static_cast<char>(value >> (8 * i));
    return text;
}

std::string Section(char key, const std::string& data) { return key + Be(static_cast<std::uint32_t>(data.size()), 2) + data; }
std::string Stream(const std::string& data, std::uint32_t claimed = 0) {
    return "e" + Be(claimed ? claimed : static_cast<std::uint32_t>(data.size()), 4) + data;
}

std::string BitFile(const std::string& sections) {
    return BitMagic + std::string("\x00\x01", 2) + sections;
}

const std::string Sections = Section('a', std::string("top.ncd\0", 8)) + Section('b', std::string("xc3s50\0", 7)) +
                             Section('c', "2024/01/02") + Section('d', "03:04:05");

class BitFormatTest : public FormatFixture {
protected:
    TLoadResult Load(const std::string& file, std::size_t length = 8) { return LoadBytes(temp, ftBit, file, length); }
};

TEST_F(BitFormatTest, BitstreamLoadsWithItsBitsReversedByDefault) {
    TLoadResult r = Load(BitFile(Sections + Stream("\x01\x80\x0F\xAA")));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 4u);
    // "FillValue" is "Disabled" by default: the rest of the range keeps its bytes.
    EXPECT_EQ(r.bytes(0, 6), (std::vector<std::uint8_t>{0x80, 0x01, 0xF0, 0x55, 0x77, 0x77}));
    EXPECT_TRUE(r.GuardsIntact());

    Set("BIT", "ReverseBits", "FALSE");
    Set("BIT", "FillValue", "0x00");
    r = Load(BitFile(Sections + Stream("\x01\x80")));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes(0, 3), (std::vector<std::uint8_t>{0x01, 0x80, 0x00}));

    Set("BIT", "FillValue", "0xff");
    r = Load(BitFile(Stream("\x01")));
    EXPECT_EQ(r.bytes(0, 2), (std::vector<std::uint8_t>{0x01, 0xFF}));
}

TEST_F(BitFormatTest, BitstreamLargerThanTheRangeLoadsNothingButSucceeds) {
    TLoadResult r = Load(BitFile(Sections + Stream(std::string(9, '\x01'))), 8);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 0u);
    EXPECT_TRUE(LogContains("Packet size is too large to load into buffer"));
    EXPECT_EQ(r.at(0), 0x77);
}

TEST_F(BitFormatTest, DamagedFilesAreInvalidAndStayInsideTheRange) {
    const std::vector<std::string> damaged = {
        BitMagic,                                                // header cut short
        "\x01" + BitMagic.substr(1) + std::string(2, '\0') + Stream("\x01"),   // wrong magic
        BitFile(Sections),                                       // no bitstream
        BitFile(Section('a', "abc").substr(0, 4)),               // section runs past the end
        BitFile("a\x01"),                                        // length cut short
        BitFile(Sections + std::string("e\x00\x00", 3)),                       // stream length cut short
        BitFile(Sections + Stream("\x01\x02\x03", 6)),           // stream past the end of the file
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        LogMessage("case " + std::to_string(i), 0);   // keeps equal messages from being folded into one
        TLoadResult r = Load(damaged[i]);
        EXPECT_FALSE(r.ok) << i;
        EXPECT_TRUE(r.GuardsIntact()) << i;
    }
    EXPECT_EQ(LogCount("Invalid BIT file"), 7);

    // A key after "e" in the alphabet ends the read without a message of its own.
    LogMessage("last case", 0);
    TLoadResult r = Load(BitFile(Section('a', "x") + Section('z', "y") + Stream("\x01")));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(LogCount("Invalid BIT file"), 7);
}

TEST_F(BitFormatTest, SavingIsRefusedAndDetectionNeedsTheMagic) {
    const auto path = temp / "out.bit";
    TFileOut out;
    ASSERT_TRUE(out.Open(path.string()));
    const std::uint8_t data[2] = {1, 2};
    EXPECT_FALSE(WriteFileOfType(ftBit, out, TDataSource::Window(data, 2, 0)));
    EXPECT_TRUE(LogContains("BIT file save is not availible"));

    std::string start = BitMagic + std::string("\x00\x01", 2) + "a";
    EXPECT_TRUE(ProbeBit(reinterpret_cast<const std::uint8_t*>(start.data()), 14));
    EXPECT_FALSE(ProbeBit(reinterpret_cast<const std::uint8_t*>(start.data()), 13));
    start[3] = 0x0F;
    EXPECT_FALSE(ProbeBit(reinterpret_cast<const std::uint8_t*>(start.data()), 14));
}

}  // namespace
