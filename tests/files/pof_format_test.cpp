#include <string>
#include <vector>

#include "files/formats/Pof.h"
#include "jedec_test_support.h"

using namespace kovfiles;
using namespace jedectest;

namespace {

std::string Le(std::uint32_t value, int bytes) {
    std::string text;
    for (int i = 0; i < bytes; ++i) text += static_cast<char>(value >> (8 * i));
    return text;
}

std::string PofFile(std::uint32_t count, const std::vector<std::string>& packets) {
    std::string file = std::string("POF\0", 4) + "\x01\x02\x03\x04" + Le(count, 4);
    for (const std::string& p : packets) file += p;
    return file;
}

std::string Packet(std::uint16_t type, const std::string& body, std::uint32_t claimedSize = 0) {
    return Le(type, 2) + Le(claimedSize ? claimedSize : static_cast<std::uint32_t>(body.size() + 6), 4) + body;
}

std::string Packet07(const std::string& data) { return Packet(0x07, std::string(12, '\x11') + data); }
std::string Packet11(const std::string& data) { return Packet(0x11, std::string(16, '\x22') + data); }

class PofFormatTest : public FormatFixture {
protected:
    TLoadResult Load(const std::string& file, std::size_t length = 16) {
        return LoadBytes(temp, ftPof, file, length);
    }
};

TEST_F(PofFormatTest, FirstDataPacketLoadsShiftedUpByOneBit) {
    TLoadResult r = Load(PofFile(3, {Packet07("\x80\x01\xFF")}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 4u);
    EXPECT_EQ(r.bytes(0, 6), (std::vector<std::uint8_t>{0xFF, 0x01, 0x03, 0xFE, 0xFF, 0xFF}));
    EXPECT_TRUE(r.GuardsIntact());

    // Packets of other types are stepped over; the first packet that loads ends the reading.
    r = Load(PofFile(5, {Packet(0x03, "abc"), Packet11(std::string("\x00\x40", 2)), Packet07("\x55")}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 3u);
    EXPECT_EQ(r.bytes(0, 4), (std::vector<std::uint8_t>{0xFF, 0x01, 0x80, 0xFF}));
}

TEST_F(PofFormatTest, PacketCountLeavesTheLastPacketUnexamined) {
    TLoadResult r = Load(PofFile(2, {Packet(0x01, "x"), Packet07("\x01")}));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(LogContains("No valid packet types found"));
    EXPECT_FALSE(Load(PofFile(1, {Packet07("\x01")})).ok);
    EXPECT_FALSE(Load(PofFile(0, {Packet07("\x01")})).ok);
    EXPECT_TRUE(Load(PofFile(2, {Packet07("\x01")})).ok);
}

TEST_F(PofFormatTest, RecordTypesRestrictWhichPacketsLoad) {
    Set("POF", "RecordTypes", "0x11");
    TLoadResult r = Load(PofFile(9, {Packet07("\x01"), Packet07("\x02")}));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(LogContains("No valid packet types found"));
    EXPECT_TRUE(Load(PofFile(9, {Packet07("\x01"), Packet11("\x02")})).ok);

    Set("POF", "RecordTypes", "0x07");
    r = Load(PofFile(9, {Packet11("\x02"), Packet07("\x04")}));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.at(1), 0x09);
}

TEST_F(PofFormatTest, TooLargePacketIsLoggedAndTheNextOneTried) {
    TLoadResult r = Load(PofFile(9, {Packet07("abc"), Packet07("\x10\x20")}), 3);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(LogContains("Packet size is too large to load into buffer"));
    EXPECT_EQ(r.bytes(0, 3), (std::vector<std::uint8_t>{0xFF, 0x21, 0x40}));
    EXPECT_TRUE(r.GuardsIntact());

    // A 0x11 packet is judged by its length less 14, not by what it delivers.
    r = Load(PofFile(9, {Packet11("abc")}), 10);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(LogContains("No valid packet types found"));
}

TEST_F(PofFormatTest, FillValueDecidesWhatTheRestOfTheRangeHolds) {
    Set("POF", "FillValue", "0x00");
    EXPECT_EQ(Load(PofFile(2, {Packet07("\x01")})).bytes(2, 2), (std::vector<std::uint8_t>{0x00, 0x00}));
    Set("POF", "FillValue", "Disabled");
    EXPECT_EQ(Load(PofFile(2, {Packet07("\x01")})).bytes(2, 2), (std::vector<std::uint8_t>{0x77, 0x77}));
    Set("POF", "FillValue", "something");
    EXPECT_EQ(Load(PofFile(2, {Packet07("\x01")})).bytes(2, 2), (std::vector<std::uint8_t>{0xFF, 0xFF}));
}

TEST_F(PofFormatTest, LyingOrDamagedFilesFailCleanly) {
    const std::vector<std::string> damaged = {
        std::string("POF\0", 4) + "1234",                              // short header
        std::string("POX\0", 4) + std::string(8, '\0'),                // wrong magic
        PofFile(9, {Packet(0x03, "", 2)}),                             // shorter than its header
        PofFile(9, {Packet(0x07, "0123", 10)}),                        // shorter than its fixed fields
        PofFile(9, {Packet(0x11, std::string(16, '\0'), 20)}),
        PofFile(9, {Packet(0x07, std::string(12, '\0') + "\x01\x02\x03", 18 + 5)}),   // data past the end
        PofFile(9, {Packet(0x07, std::string(5, '\0'), 20)}),          // fixed fields past the end
    };
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        LogMessage("case " + std::to_string(i), 0);   // keeps equal messages from being folded into one
        TLoadResult r = Load(damaged[i], 8);
        EXPECT_FALSE(r.ok) << i;
        EXPECT_TRUE(r.GuardsIntact()) << i;
        EXPECT_LE(r.loaded, 8u) << i;
    }
    EXPECT_EQ(LogCount("Invalid POF file"), 7);

    // A count far above the packets present ends with the file.
    TLoadResult r = Load(PofFile(0xFFFFFFFF, {Packet(0x05, "xyz", 0x7FFFFFFF)}), 8);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.GuardsIntact());
}

TEST_F(PofFormatTest, SavingIsRefusedAndDetectionNeedsTheMagic) {
    const auto path = temp / "out.pof";
    TFileOut out;
    ASSERT_TRUE(out.Open(path.string()));
    const std::uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_FALSE(WriteFileOfType(ftPof, out, TDataSource::Window(data, 4, 0)));
    EXPECT_TRUE(LogContains("POF file save is not availible"));
    EXPECT_EQ(ReadFile(path), "");

    const std::uint8_t magic[5] = {'P', 'O', 'F', 0, 9};
    EXPECT_TRUE(ProbePof(magic, 5));
    EXPECT_FALSE(ProbePof(magic, 4));
    const std::uint8_t other[5] = {'P', 'O', 'F', 1, 9};
    EXPECT_FALSE(ProbePof(other, 5));
}

}  // namespace
