#include "FilesTestSupport.h"
#include "files/formats/IntelHex.h"

using namespace kovfiles;

class HexFormatsTest : public FilesTest {};

// ---------------------------------------------------------------------------------------------
// Intel Hex

TEST_F(HexFormatsTest, IntelHexWriterSplitsAtPageBoundariesAndWritesFixedLines) {
    Set("Intel Hex", "DefaultRecordLength", "16");
    UnixEol(true);
    EXPECT_EQ(Save(ftIntelHex, Counting(16), 0xFFF8),
              ":020000040000FA\n"
              ":08FFF8000001020304050607E5\n"
              ":020000040001F9\n"
              ":0800000008090A0B0C0D0E0F9C\n"
              ":00000001FF\n");
    UnixEol(false);
    EXPECT_EQ(Save(ftIntelHex, Bytes({0x55}), 0), ":020000040000FA\r\n:0100000055AA\r\n:00000001FF\r\n");
}

TEST_F(HexFormatsTest, IntelHexReaderAppliesSegmentAndLinearBasesAndReadsPastTheEndRecord) {
    auto r = Load(ftIntelHex, ":020000021000EC\n:0100000055AA\n", 0x10001);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest[0x10000], 0x55);
    EXPECT_EQ(r.loaded, 1u);

    r = Load(ftIntelHex, ":020000040001F9\n:0100000055AA\n:00000001FF\n:0100010066 98\n", 4, 0x10000, 0x1FFFF);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest, Bytes({0x55, 0x66, 0xEE, 0xEE}));
    EXPECT_EQ(r.loaded, 2u);
}

TEST_F(HexFormatsTest, IntelHexBlankLineAndBadChecksumFailOnlyWithoutIgnoreInvalidRecord) {
    const std::string text = ":0100000055AA\r\n:0100010066FF\r\n:0100020077 86\r\n\r\n";
    Set("Intel Hex", "IgnoreInvalidRecord", "FALSE");
    auto r = Load(ftIntelHex, text);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.dest[0], 0x55);   // stored before the bad line stays
    EXPECT_EQ(r.dest[1], 0xEE);
    EXPECT_EQ(r.dest[2], 0xEE);   // reading stopped at line 2
    EXPECT_TRUE(LogContains("Intel Hex format error on line: 2"));

    Set("Intel Hex", "IgnoreInvalidRecord", "TRUE");
    r = Load(ftIntelHex, text);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.dest[2], 0x77);
    EXPECT_TRUE(LogContains("Intel Hex format error on line: 4"));
}

TEST_F(HexFormatsTest, ErrorCountingStopsNamingLinesAfterOneHundred) {
    std::string text = ":0100000055AA\n";
    for (int i = 0; i < 150; ++i) text += ":01000000FF01\n";
    auto r = Load(ftIntelHex, text);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(CountLog("Intel Hex format error on line: "), 100);
    EXPECT_TRUE(LogContains("Intel Hex format error on line: 101"));
    EXPECT_FALSE(LogContains("Intel Hex format error on line: 102"));
    EXPECT_TRUE(LogContains("Max Error Count Reached"));
}

TEST_F(HexFormatsTest, IntelHexRecordShapes) {
    TRecordState state;
    TRecord rec;
    auto check = [&](const std::string& line) {
        CheckRecordText(CheckIHexLine, line.data(), line.size(), state, rec);
        return rec.count;
    };
    EXPECT_EQ(check(":0100000055AA"), 1);
    EXPECT_EQ(check(":0100000055aa"), 1);            // lower-case digits
    EXPECT_EQ(check(" :01 0000 00 55 AA\r"), 1);     // spaces and CR are dropped
    EXPECT_EQ(check(":0100000055AB"), TRecord::Invalid);   // checksum
    EXPECT_EQ(check(":0200000055AA"), TRecord::Invalid);   // length does not match the count
    EXPECT_EQ(check(":01000000G5AA"), TRecord::Invalid);   // not a digit
    EXPECT_EQ(check("; a comment"), 0);
    EXPECT_EQ(check("* another"), 0);
    EXPECT_EQ(check(""), TRecord::Invalid);
    EXPECT_EQ(check(":00000001FF"), 0);
    EXPECT_EQ(check(":0400000300003800C1"), 0);      // start address: accepted, no data
    EXPECT_EQ(check(":03000004000100F8"), 0);        // type 4 with three bytes changes nothing
    EXPECT_EQ(state.linearBase, 0u);
}

TEST_F(HexFormatsTest, RecordsRunningPastTheLastAddressAreRejectedNotWrapped) {
    // Linear base 0xFFFF0000, record at 0xFFF8 with 16 bytes: it would run to 0x1_0000_0007.
    std::string rec = ":10FFF800";
    unsigned sum = 0x10 + 0xFF + 0xF8;
    for (int i = 0; i < 16; ++i) {
        rec += "AB";
        sum += 0xAB;
    }
    rec += Hex(static_cast<std::uint8_t>(-sum), 2);
    auto r = Load(ftIntelHex, ":02000004FFFFFC\n" + rec + "\n", 64);
    EXPECT_TRUE(r.ok);   // ignored under the default IgnoreInvalidRecord, and logged
    EXPECT_EQ(r.loaded, 0u);
    EXPECT_EQ(r.dest, std::vector<std::uint8_t>(64, 0xEE));
    EXPECT_TRUE(LogContains("Intel Hex format error on line: 2"));

    // Motorola S3 at 0xFFFFFFFF with two bytes, ASCII Hex data after $AFFFFFFFF,.
    r = Load(ftMotorolaS, "S307FFFFFFFF0102F9\n", 16);
    EXPECT_EQ(r.loaded, 0u);
    r = Load(ftAsciiHex, "$AFFFFFFFF,\n01 02\n", 16);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(LogContains("ASCII Hex format error on line: 2"));
}

// ---------------------------------------------------------------------------------------------
// Motorola S

TEST_F(HexFormatsTest, MotorolaWriterWritesHeaderS3RecordsAndEndRecord) {
    Set("Motorola S", "DefaultRecordLength", "2");
    UnixEol(true);
    EXPECT_EQ(Save(ftMotorolaS, Bytes({0x01, 0x02, 0x03}), 0x12345678),
              "S00600004844521B\n"
              "S307123456780102E1\n"
              "S3061234567A03E0\n"
              "S70500000000FA\n");
    EXPECT_EQ(Save(ftMotorolaS, {}, 0), "S00600004844521B\nS70500000000FA\n");
}

TEST_F(HexFormatsTest, MotorolaReaderTakesS1S2S3AndIgnoresOtherValidTypes) {
    auto r = Load(ftMotorolaS,
                  "S00600004844521B\n"
                  "S1050000AABB95\n"
                  "S206000002CCDD4E\n"
                  "S30700000004EEFF07\n"
                  "S5030003F9\n"
                  "S9030000FC\n",
                  8);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest, Bytes({0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0xEE, 0xEE}));
    EXPECT_EQ(r.loaded, 6u);

    Set("Motorola S", "IgnoreInvalidRecord", "FALSE");
    r = Load(ftMotorolaS, "S1050000AABB95\nS4050000AABB95\n");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(LogContains("Motorola S format error on line: 2"));
    r = Load(ftMotorolaS, "S1050000AABB96\n");   // checksum
    EXPECT_FALSE(r.ok);
}

// ---------------------------------------------------------------------------------------------
// Tektronix Hex

TEST_F(HexFormatsTest, TektronixWriterWritesExtendedRecordsWithTheirTrueBlockLength) {
    UnixEol(true);
    EXPECT_EQ(Save(ftTekHex, Bytes({0x00, 0x01, 0x02, 0x03}), 0x40), "%1661F80000004000010203\n%0E81E800000000\n");
    // Record lengths above what a two-digit block length holds are cut to 120 bytes a line.
    Set("Tektronix Hex", "DefaultRecordLength", "200");
    std::string text = Save(ftTekHex, Counting(130));
    EXPECT_EQ(text.substr(0, 4), "%FE6");
    EXPECT_EQ(text.find('\n'), 15u + 240u);
}

TEST_F(HexFormatsTest, TektronixReaderTakesStandardAndExtendedRecords) {
    auto r = Load(ftTekHex,
                  "%1661F80000004000010203\n"      // eight-digit address
                  "%0E81E800000000\n",
                  0x48);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest[0x40], 0x00);
    EXPECT_EQ(r.dest[0x43], 0x03);
    EXPECT_EQ(r.loaded, 4u);

    // Four- and six-digit addresses as other tools write them for small addresses, and a
    // block length of "data digits + 9" as older files have.
    r = Load(ftTekHex, "%0E61B400001011\n%1061B60000303233\n%0D6308000000060708\n", 0x48);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest[0x00], 0x10);
    EXPECT_EQ(r.dest[0x01], 0x11);
    EXPECT_EQ(r.dest[0x30], 0x32);
    EXPECT_EQ(r.dest[0x06], 0x07);

    // Standard record: address 0010, two bytes, header checksum 1+2=3, data checksum.
    r = Load(ftTekHex, "/0010020312340A\n/00000000\n", 0x20);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest[0x10], 0x12);
    EXPECT_EQ(r.dest[0x11], 0x34);
}

TEST_F(HexFormatsTest, TektronixRejectsBadRecords) {
    Set("Tektronix Hex", "IgnoreInvalidRecord", "FALSE");
    EXPECT_FALSE(Load(ftTekHex, "%1661F90000004000010203\n").ok);   // checksum
    EXPECT_FALSE(Load(ftTekHex, "%1561F8000000400001020\n").ok);    // odd number of data digits
    EXPECT_FALSE(Load(ftTekHex, "%1631F80000004000010203\n").ok);   // type 3
    EXPECT_FALSE(Load(ftTekHex, "%1661F80000004000010203\nX\n").ok);
    EXPECT_TRUE(LogContains("Tektronix Hex format error on line: 2"));
    EXPECT_FALSE(Load(ftTekHex, "/0010020412340A\n").ok);         // header checksum
    EXPECT_FALSE(Load(ftTekHex, "/001002031234\n").ok);           // data checksum missing
}

// ---------------------------------------------------------------------------------------------
// ASCII Hex

TEST_F(HexFormatsTest, AsciiHexWriterFramesDataWithStxAddressAndEtx) {
    Set("ASCII Hex", "DefaultRecordLength", "4");
    EXPECT_EQ(Save(ftAsciiHex, Counting(6, 0x10), 0x100),
              "\x02 $A00000100,\r\n10 11 12 13\r\n14 15\r\n\x03");
    EXPECT_EQ(Save(ftAsciiHex, {}, 0x20), "\x02 $A00000020,\r\n\x03");
}

TEST_F(HexFormatsTest, AsciiHexReaderFollowsAddressRecordsAndFailsOnAnyBadLine) {
    auto r = Load(ftAsciiHex, "\x02 $A0080,\r\n01 02\r\n03\r\n04 05 X\r\n$a0000,\n06\n\x03", 0x100);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest[0x80], 0x01);
    EXPECT_EQ(r.dest[0x81], 0x02);
    EXPECT_EQ(r.dest[0x82], 0x03);
    EXPECT_EQ(r.dest[0x83], 0xEE);   // "04 05 X" has an odd count: passed over
    EXPECT_EQ(r.dest[0x00], 0x06);

    r = Load(ftAsciiHex, "$A0000,\n01 02\n0G 03\n04\n", 16);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.dest[1], 0x02);
    EXPECT_EQ(r.dest[2], 0xEE);
    EXPECT_TRUE(LogContains("ASCII Hex format error on line: 3"));
}

// ---------------------------------------------------------------------------------------------
// Shared rules

TEST_F(HexFormatsTest, ReaderWindowSkipsBelowStartAndEndsARecordAtTheDestinationEnd) {
    // Bytes 0x0E..0x15 in one record; window S=0x10, E=0x13, L=3.
    std::vector<std::uint8_t> data = Counting(8, 0xA0);
    Set("Intel Hex", "DefaultRecordLength", "32");
    std::string text = Save(ftIntelHex, data, 0x0E);
    text += ":01001200FFEE\n";   // a later record is still read
    auto r = Load(ftIntelHex, text, 3, 0x10, 0x13);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest, Bytes({0xA2, 0xA3, 0xFF}));
    EXPECT_EQ(r.loaded, 4u);
}

TEST_F(HexFormatsTest, WritersHonourTheFileEndExceptAsciiHex) {
    std::vector<std::uint8_t> data = Counting(64);
    for (int type : {ftIntelHex, ftMotorolaS, ftTekHex, ftAsciiHex}) {
        std::string text = Save(type, data, 0x100, 0x10F);
        auto r = Load(type, text, 0x200);
        ASSERT_TRUE(r.ok) << FileTypeName(type);
        EXPECT_EQ(r.loaded, type == ftAsciiHex ? 64u : 16u) << FileTypeName(type);
        EXPECT_EQ(r.dest[0x10F], 0x0F);
    }
}

TEST_F(HexFormatsTest, RecordLengthOutsideItsRangeRefusesTheSave) {
    struct Case {
        int type;
        const char* name;
        int max;
    } cases[] = {{ftIntelHex, "Intel Hex", 255}, {ftMotorolaS, "Motorola S", 250},
                 {ftTekHex, "Tektronix Hex", 246}, {ftAsciiHex, "ASCII Hex", 256}};
    for (const Case& c : cases) {
        const std::string message = "Invalid Record Length, valid range is 1 to " + std::to_string(c.max);
        for (const std::string& value : {std::to_string(c.max + 1), std::string("0"), std::string("-3")}) {
            Set(c.name, "DefaultRecordLength", value);
            bool ok = true;
            EXPECT_EQ(Save(c.type, Counting(4), 0, 0xFFFFFFFF, &ok), "") << c.name << " " << value;
            EXPECT_FALSE(ok);
            EXPECT_TRUE(LogContains(message)) << message;
        }
        Set(c.name, "DefaultRecordLength", std::to_string(c.max));
        bool ok = false;
        std::string text = Save(c.type, Counting(300), 0, 0xFFFFFFFF, &ok);
        EXPECT_TRUE(ok);
        auto r = Load(c.type, text, 300);
        EXPECT_TRUE(r.ok) << c.name;
        EXPECT_EQ(r.dest, Counting(300)) << c.name;
    }
}

TEST_F(HexFormatsTest, WrittenFilesReadBackUnderBothLineEnds) {
    std::vector<std::uint8_t> data(3000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
    for (bool unix : {false, true}) {
        UnixEol(unix);
        for (int type : {ftIntelHex, ftMotorolaS, ftTekHex, ftAsciiHex, ftBinary}) {
            std::string text = Save(type, data, 0x1FF80);
            if (type != ftBinary) {
                EXPECT_EQ(text.find("\r\n") == std::string::npos, unix) << FileTypeName(type);
            }
            auto r = Load(type, text, data.size(), type == ftBinary ? 0 : 0x1FF80);
            ASSERT_TRUE(r.ok) << FileTypeName(type);
            EXPECT_EQ(r.dest, data) << FileTypeName(type);
        }
    }
}

TEST_F(HexFormatsTest, OverlongLinesAreJudgedInPiecesWithoutCrashing) {
    // 3 MiB of digits without a line end, then a good record.
    std::string text(3 << 20, 'A');
    text += "\n:0100000055AA\n";
    auto r = Load(ftIntelHex, text);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.dest[0], 0x55);
    EXPECT_EQ(CountLog("Intel Hex format error on line: "), 100);
    // Every piece is a line: the good record's line number follows all pieces.
    Set("Intel Hex", "IgnoreInvalidRecord", "FALSE");
    r = Load(ftIntelHex, std::string(2000, '0') + "\n");
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(LogContains("Intel Hex format error on line: 1"));
    // An ASCII Hex line of 256 bytes, as the writer writes it at its longest, is one record.
    Set("ASCII Hex", "DefaultRecordLength", "256");
    auto data = Counting(512);
    r = Load(ftAsciiHex, Save(ftAsciiHex, data), 512);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.dest, data);
}

TEST_F(HexFormatsTest, SignificantCharactersOnlyAndNulEndsTheLine) {
    EXPECT_EQ(ExtractSignificant("\x02 :01\t00 00\r\n:99", 17), ":010000");
    EXPECT_EQ(ExtractSignificant("AB\0CD", 5), "AB");
    EXPECT_EQ(ExtractSignificant("\x80\xFF\x7F!", 4), "\x7F!");
    EXPECT_EQ(ExtractSignificant(std::string(800, 'A').c_str(), 800), "");
    // In a file a NUL drops the rest of its line only.
    auto r = Load(ftIntelHex, std::string(":0100000055AA\0garbage\n:0100010066 98\n", 37));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.dest[0], 0x55);
    EXPECT_EQ(r.dest[1], 0x66);
}

TEST_F(HexFormatsTest, MemorySinkOfZeroBytesStoresNothing) {
    // A zero-length window over real memory must not turn into an unbounded one.
    std::uint8_t guard[4] = {0xA5, 0xA5, 0xA5, 0xA5};
    TMemorySink sink(guard, 0);
    const std::uint8_t data[] = {1, 2, 3};
    sink.Put(0, data, sizeof data);
    sink.PutAt(0, data, sizeof data);
    EXPECT_EQ(sink.Length(), 0u);
    EXPECT_EQ(sink.Loaded(), 0u);
    EXPECT_EQ(guard[0], 0xA5);
}
