#include <random>

#include "FilesTestSupport.h"
#include "core/Logger.h"
#include "files/Detect.h"
#include "files/FileTypeSettings.h"
#include "files/SparseImage.h"
#include "files/TextDump.h"

using namespace kovfiles;

class DetectTest : public FilesTest {
protected:
    int Detect(const std::string& content) {
        WriteFile(temp / "probe.dat", content);
        return DetectFileType((temp / "probe.dat").string());
    }
};

TEST_F(DetectTest, EachFormatIsRecognisedByItsFirstRecord) {
    EXPECT_EQ(Detect("\r\n  :0100000055AA\r\n"), ftIntelHex);
    EXPECT_EQ(Detect("S00600004844521B\n"), ftMotorolaS);
    EXPECT_EQ(Detect("%0E81E800000000\n"), ftTekHex);
    EXPECT_EQ(Detect("/00000000\n"), ftTekHex);
    EXPECT_EQ(Detect("\x02 $A0000,\r\n00 01\r\n\x03"), ftAsciiHex);
    EXPECT_EQ(Detect(std::string("POF\0abcdefgh", 12)), ftPof);
    EXPECT_EQ(Detect(std::string("\x00\x09\x0F\xF0\x0F\xF0\x0F\xF0\x0F\xF0\x00\x00\x01\x61", 14)), ftBit);
    EXPECT_EQ(Detect(std::string("\x00\x09\x0F\xF0\x0F\xF0\x0F\xF0\x0F\xF0\x00\x00\x01", 13)), ftBinary);
    EXPECT_EQ(Detect(std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10)), ftBinary);
    EXPECT_EQ(Detect(""), ftAutoDetect);
    EXPECT_EQ(DetectFileType((temp / "missing.hex").string()), ftAutoDetect);
}

TEST_F(DetectTest, CommentLinesAreSkippedButOnlyWithinTheWindow) {
    EXPECT_EQ(Detect("; made by hand\n* second comment\n:0100000055AA\n"), ftIntelHex);
    // A comment without a line end within 254 characters decides itself (as ASCII Hex, which fails).
    EXPECT_EQ(Detect(";" + std::string(300, 'x') + "\n:0100000055AA\n"), ftBinary);
    // The first record after 1024 bytes of comments is out of reach.
    std::string comments;
    while (comments.size() < 1100) comments += "; padding padding padding padding\n";
    EXPECT_EQ(Detect(comments + ":0100000055AA\n"), ftBinary);
}

TEST_F(DetectTest, OnlyTheFirst16KiBAreLookedAt) {
    // A JEDEC text is recognised by its QF field, which must lie within the bytes read.
    auto jedec = [](std::size_t header) { return "\x02" + std::string(header, 'h') + "*\nQF100*\nL0 1*\n\x03"; };
    EXPECT_EQ(Detect(jedec(16000)), ftJedec);
    EXPECT_EQ(Detect(jedec(16400)), ftBinary);
}

TEST_F(DetectTest, DetectionLogsWhatItChecked) {
    GlobalLog->SetLevel(3);
    EXPECT_EQ(Detect(":0100000055AB\n"), ftBinary);
    EXPECT_TRUE(LogContains("Checking " + (temp / "probe.dat").string() + " file type ..."));
    EXPECT_TRUE(LogContains("File type check for POF failed"));
    EXPECT_TRUE(LogContains("File type check for BIT failed"));
    EXPECT_TRUE(LogContains("File type check for Intel Hex failed"));
    EXPECT_TRUE(LogContains("File type check for JEDEC failed"));
    EXPECT_TRUE(LogContains("File type appears to be Binary"));
}

TEST_F(DetectTest, RandomBinaryIsRarelyTakenForText) {
    // Only a first line that is a real ASCII Hex record (two digits, say) may pass for text; a line
    // the format merely passes over must not.
    EXPECT_EQ(Detect(std::string("\x01\x9A\x02\n\xFFzz", 7)), ftBinary);
    EXPECT_EQ(Detect(std::string("\x01" "A3\n", 4)), ftAsciiHex);
    std::mt19937 rng(7);
    int binary = 0;
    for (int i = 0; i < 50; ++i) {
        std::string bytes(4096, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        binary += Detect(bytes) == ftBinary;
    }
    EXPECT_GE(binary, 45);
}

// ---------------------------------------------------------------------------------------------

class TextDumpTest : public FilesTest {
protected:
    std::string Dump(const std::vector<std::uint8_t>& bytes, std::int64_t length, std::uint32_t address) {
        TFileOut out;
        EXPECT_TRUE(out.Open((temp / "dump.txt").string()));
        EXPECT_TRUE(WriteTextDump(out, bytes.data(), length, address));
        EXPECT_TRUE(out.Finish());
        return ReadFile(temp / "dump.txt");
    }
};

TEST_F(TextDumpTest, LinesShowAddressBytesAndPrintableCharacters) {
    std::vector<std::uint8_t> bytes = Counting(20, 0x30);
    bytes[1] = 0x1F;
    bytes[2] = 0x7F;
    bytes[3] = 0x80;
    std::string text = Dump(bytes, 20, 0x10);
    EXPECT_EQ(text,
              "00000010  30 1F 7F 80 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F  0 \x7F 456789:;<=>?\r\n"
              "00000020  40 41 42 43                                      @ABC            \r\n");
    UnixEol(true);
    text = Dump(bytes, 20, 0xFFFFFFF0);
    EXPECT_EQ(text.size(), 2u * 76u);
    EXPECT_EQ(text.substr(76, 8), "00000000");
    EXPECT_EQ(Dump(bytes, 0, 0), "");
    EXPECT_EQ(Dump(bytes, -5, 0), "");
}

// ---------------------------------------------------------------------------------------------

class SettingsTest : public FilesTest {
protected:
    bool AutoStart() const override { return false; }
    void TearDown() override {
        ResetFileTypeProperties();
        FilesTest::TearDown();
    }
};

TEST_F(SettingsTest, FirstStartStoresEveryDefault) {
    StartGlobals();
    ResetFileTypeProperties();
    LoadFileTypeSettings(*GlobalConfig);
    EXPECT_EQ(GlobalConfig->GetString("FileType", "Intel Hex", "DefaultRecordLength"), "32");
    EXPECT_EQ(GlobalConfig->GetString("FileType", "JEDEC", "MaxFuseLineLength"), "64");
    EXPECT_EQ(GlobalConfig->GetString("FileType", "BIT", "ReverseBits"), "TRUE");
    EXPECT_EQ(GlobalConfig->GetString("FileType", "POF", "RecordTypes"), "0x07&0x11");
    EXPECT_EQ(FileTypeProperties().size(), 21u);
    EXPECT_EQ(PropertiesOfFormat(ftJedec).size(), 5u);
    EXPECT_EQ(PropertiesOfFormat(ftAsciiHex).size(), 2u);
    EXPECT_EQ(PropertiesOfFormat(ftPof).size(), 2u);
    EXPECT_TRUE(PropertiesOfFormat(ftAutoDetect).empty());
}

TEST_F(SettingsTest, StoredValuesReplaceDefaultsAndAreClipped) {
    sessionLines = {"FileType.Motorola S.DefaultExtension=mot", "FileType.JEDEC.Comment=" + std::string(80, 'c'),
                    "FileType.Intel Hex.DefaultRecordLength="};
    StartGlobals();
    ResetFileTypeProperties();
    LoadFileTypeSettings(*GlobalConfig);
    const auto& rows = FileTypeProperties();
    EXPECT_EQ(rows[PropertiesOfFormat(ftMotorolaS)[0]].value, "mot");
    EXPECT_EQ(rows[PropertiesOfFormat(ftJedec)[4]].value, std::string(63, 'c'));
    EXPECT_EQ(GlobalConfig->GetString("FileType", "Intel Hex", "DefaultRecordLength"), "32");   // empty = missing
    // OK writes the working values back.
    FileTypeProperties()[PropertiesOfFormat(ftIntelHex)[1]].value = "300";
    SaveFileTypeSettings(*GlobalConfig);
    EXPECT_EQ(GlobalConfig->GetInt("FileType", "Intel Hex", "DefaultRecordLength"), 300);
}

TEST_F(SettingsTest, ReadersUseTheStoreAndItsDefaultsBeforeTheTableIsLoaded) {
    StartGlobals();
    EXPECT_EQ(FormatInt("Intel Hex", "DefaultRecordLength"), 32);
    EXPECT_TRUE(FormatBool("Motorola S", "IgnoreInvalidRecord"));
    GlobalConfig->SetString("FileType", "Motorola S", "IgnoreInvalidRecord", "FALSE");
    EXPECT_FALSE(FormatBool("Motorola S", "IgnoreInvalidRecord"));
    EXPECT_EQ(FormatSetting("ASCII Hex", "DefaultExtension"), "asc");
}

TEST(FileTypeRegistry, NamesAliasesAndFilters) {
    EXPECT_EQ(FindFileType("intel hex"), ftIntelHex);
    EXPECT_EQ(FindFileType("nothing"), -1);
    EXPECT_EQ(FindFileTypeByNameOrAlias("SREC"), ftMotorolaS);
    EXPECT_EQ(FindFileTypeByNameOrAlias("ascii-hex"), ftAsciiHex);
    EXPECT_EQ(FileTypeName(ftBit), "BIT");
    EXPECT_EQ(FileTypeName(9), "");
    const auto save = SaveFilterNames();
    const auto open = OpenFilterNames();
    ASSERT_EQ(save.size(), 8u);
    ASSERT_EQ(open.size(), 9u);
    EXPECT_EQ(open[0], "AutoDetect");
    for (std::size_t k = 0; k < save.size(); ++k) {
        EXPECT_EQ(FindFileType(save[k]), static_cast<int>(k) + 1);
        EXPECT_EQ(open[k + 1], save[k]);
    }
}

// ---------------------------------------------------------------------------------------------

class BinaryAndImageTest : public FilesTest {};

TEST_F(BinaryAndImageTest, BinaryReadUsesFilePointersAsOffsets) {
    std::string content;
    for (int i = 0; i < 0x40; ++i) content += static_cast<char>(i);
    auto r = Load(ftBinary, content, 256, 0x10, 0x1F);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 16u);
    EXPECT_EQ(r.dest[0], 0x10);
    EXPECT_EQ(r.dest[15], 0x1F);
    EXPECT_EQ(r.dest[16], 0xEE);
    // A file shorter than the range fills part of it; a start beyond the end reads nothing.
    r = Load(ftBinary, content, 256);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 0x40u);
    EXPECT_FALSE(Load(ftBinary, content, 256, 0x41).ok);
    EXPECT_FALSE(Load(ftBinary, "", 256).ok);
}

TEST_F(BinaryAndImageTest, ImageKeepsAddressesAndLaterBytesWin) {
    TSparseImage image;
    {
        TImageSink sink(image);
        std::vector<std::uint8_t> a(4, 0xAA), b(4, 0xBB), c(2, 0xCC);
        sink.Put(0x08000004, b.data(), b.size());
        sink.Put(0x08000000, a.data(), a.size());   // touches b from below
        sink.Put(0x08000003, c.data(), c.size());   // overlaps both
        sink.Put(0x20000000, c.data(), c.size());
    }
    ASSERT_EQ(image.blocks.size(), 2u);
    EXPECT_EQ(image.blocks[0].address, 0x08000000u);
    EXPECT_EQ(image.blocks[0].bytes, Bytes({0xAA, 0xAA, 0xAA, 0xCC, 0xCC, 0xBB, 0xBB, 0xBB}));
    EXPECT_EQ(image.blocks[1].address, 0x20000000u);

    // Binary output starts at the lowest address and fills the gaps.
    TSparseImage two;
    {
        TImageSink sink(two);
        sink.Put(0x100, Bytes({1, 2}).data(), 2);
        sink.Put(0x104, Bytes({3}).data(), 1);
    }
    TFileOut out;
    ASSERT_TRUE(out.Open((temp / "gap.bin").string()));
    ASSERT_TRUE(WriteFileOfType(ftBinary, out, two.Source(0x5A)));
    EXPECT_EQ(ReadFile(temp / "gap.bin"), std::string("\x01\x02\x5A\x5A\x03", 5));
}

TEST_F(BinaryAndImageTest, FillMakesTheImageOneBlockFromTheFileStart) {
    TSparseImage image;
    {
        TImageSink sink(image, 0x10);
        sink.Put(0x14, Bytes({7}).data(), 1);
        sink.Fill(0xFF);                      // everything so far takes the value
        sink.PutAt(6, Bytes({9}).data(), 1);  // and a later store leaves no gap
    }
    ASSERT_EQ(image.blocks.size(), 1u);
    EXPECT_EQ(image.blocks[0].address, 0x10u);
    EXPECT_EQ(image.blocks[0].bytes, Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 9}));
}

TEST_F(BinaryAndImageTest, AFailingWriteIsReportedAsFailure) {
    TFileOut out;
    ASSERT_TRUE(out.Open("/dev/full"));
    std::vector<std::uint8_t> data(3 << 20, 0x11);
    EXPECT_FALSE(WriteFileOfType(ftIntelHex, out, TDataSource::Window(data.data(), data.size(), 0)));
    EXPECT_TRUE(LogContains("Unable to write the file completely"));
}
