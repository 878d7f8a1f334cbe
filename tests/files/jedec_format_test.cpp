#include <cctype>
#include <string>
#include <vector>

#include "core/MessageCodes.h"
#include "files/Detect.h"
#include "files/SparseImage.h"
#include "files/formats/Jedec.h"
#include "jedec_test_support.h"

using namespace kovfiles;
using namespace jedectest;

namespace {

const std::string STX = "\x02";
const std::string ETX = "\x03";

// A transmission with its correct checksum.
std::string Transmission(const std::string& inside) {
    const std::string text = STX + inside + ETX;
    return text + Hex(JedecTransmissionSum(text), 4);
}

class JedecFormatTest : public FormatFixture {
protected:
    TLoadResult Load(const std::string& file, std::size_t fuses = 100) {
        return LoadBytes(temp, ftJedec, file, fuses);
    }
    std::string Save(const std::vector<std::uint8_t>& fuses) {
        const auto path = temp / "out.jed";
        TFileOut out;
        EXPECT_TRUE(out.Open(path.string()));
        EXPECT_TRUE(WriteFileOfType(ftJedec, out, TDataSource::Window(fuses.data(), fuses.size(), 0)));
        return ReadFile(path);
    }
    std::string Hidden(const char* sub, const char* key) { return GlobalConfig->GetString("Hidden", sub, key); }
};

TEST_F(JedecFormatTest, WriterProducesTheExactTransmission) {
    const std::vector<std::uint8_t> source = {0x01, 0x00, 0xFF, 0xFE, 0x03, 0, 0, 1, 1, 1,
                                              0,    0,    0x80, 0x81, 0,    1, 1, 0, 1, 1};
    TJedecWriteOptions options;
    options.lineEnd = "\n";
    options.fusesPerLine = 12;
    options.createdOn = "2024-01-02 03:04:05";
    options.autoSecure = true;
    options.userFuseData = "ABC*";
    const auto path = temp / "golden.jed";
    TFileOut out;
    ASSERT_TRUE(out.Open(path.string()));
    ASSERT_TRUE(WriteJedecText(out, TDataSource::Window(source.data(), source.size(), 0), options));
    ASSERT_TRUE(out.Finish());
    const std::string dashes(54, '-');
    EXPECT_EQ(ReadFile(path), "\x02\n" + dashes + "\nnone\n" + dashes +
                                  "\nCreated on 2024-01-02 03:04:05*\nQF20*\nG1*\n"
                                  "N                   11*\nN         012345678901*\n"
                                  "L00000000 101010011100*\nL00000012 01011011*\nC0145*\nUABC*\n\x03" "3052");
}

TEST_F(JedecFormatTest, WriterTakesLineEndsLineLengthAndFlagsFromTheSession) {
    std::vector<std::uint8_t> fuses(70, 1);
    Set("JEDEC", "MaxFuseLineLength", "32");
    std::string text = Save(fuses);
    EXPECT_NE(text.find("\r\nL00000000 " + std::string(32, '1') + "*\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nL00000032 " + std::string(32, '1') + "*\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nL00000064 " + std::string(6, '1') + "*\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nG0*\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nQF70*\r\n"), std::string::npos);

    GlobalConfig->SetBool("File", "UnixEOL", true);
    GlobalConfig->SetBool("Hidden", "Device", "AutoSecure", true);
    Set("JEDEC", "MaxFuseLineLength", "300");
    fuses.assign(600, 0);
    text = Save(fuses);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.find("\nG1*\n"), std::string::npos);
    EXPECT_NE(text.find("\nL00000256 "), std::string::npos);
    EXPECT_EQ(text.find("\nL00000300 "), std::string::npos);

    // Below 1 fuse per line the writer keeps to the usual 64.
    Set("JEDEC", "MaxFuseLineLength", "0");
    text = Save(fuses);
    EXPECT_NE(text.find("\nL00000064 "), std::string::npos);
    EXPECT_EQ(text.find("\nL00000001 "), std::string::npos);
}

TEST_F(JedecFormatTest, SavedFileReadsBackWithBothChecksumsAndItsHiddenData) {
    std::vector<std::uint8_t> fuses(1000);
    for (std::size_t i = 0; i < fuses.size(); ++i) fuses[i] = static_cast<std::uint8_t>(i * 37 + i / 7);
    GlobalConfig->SetString("Hidden", "JEDEC", "UserFuseData", "0101*");
    GlobalConfig->SetString("Hidden", "JEDEC", "ElectricalFuseData", "1100*");
    // A comment with the field delimiter must not cut the header short.
    Set("JEDEC", "Comment", "rev*2 \xC3\xA9");
    const std::string text = Save(fuses);
    EXPECT_TRUE(CheckJedecText(text.data(), text.size()));

    GlobalConfig->SetString("Hidden", "JEDEC", "UserFuseData", "");
    GlobalConfig->SetString("Hidden", "JEDEC", "ElectricalFuseData", "");
    TLoadResult r = Load(text, fuses.size());
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.Texts().front();
    EXPECT_EQ(r.loaded, 1000u);
    for (std::size_t i = 0; i < fuses.size(); ++i) ASSERT_EQ(r.at(i), fuses[i] & 1) << "fuse " << i;
    EXPECT_TRUE(r.GuardsIntact());
    EXPECT_EQ(Hidden("JEDEC", "UserFuseData"), "0101*");
    EXPECT_EQ(Hidden("JEDEC", "ElectricalFuseData"), "1100*");
    EXPECT_EQ(GlobalConfig->GetInt("Hidden", "JEDEC", "FuseCount"), 1000);
}

TEST_F(JedecFormatTest, FusesWithoutChecksumFieldLoadOverTheDefaultState) {
    Set("JEDEC", "DefaultFuseState", "0");
    TLoadResult r = Load(Transmission("hdr*QF100*L0000 1111*"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 4u);
    EXPECT_EQ(r.bytes(0, 6), (std::vector<std::uint8_t>{1, 1, 1, 1, 0, 0}));
    EXPECT_EQ(r.at(99), 0);
    EXPECT_EQ(GlobalConfig->GetInt("Hidden", "JEDEC", "FuseCount"), 100);

    Set("JEDEC", "DefaultFuseState", "1");
    r = Load(Transmission("hdr*QF100*L0002\r\n 0 0*"));
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes(0, 5), (std::vector<std::uint8_t>{1, 1, 0, 0, 1}));
    EXPECT_EQ(r.at(99), 1);
}

TEST_F(JedecFormatTest, FuseChecksumIsCheckedAgainstTheFusesSoFar) {
    TLoadResult r = Load(Transmission("hdr*QF100*L0000 11*C0000*"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(LogContains("Fuse checksum error: Calculated=0x0003, File=0x0000"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "WARNING: Fuse checksum does not match fuse data.\nFuse checksums: Calculated=0x0003, File=0x0000\n");
    EXPECT_EQ(dialogs.shown[0].caption, "Checksum Error");

    // Fuse 9 is bit 1 of the second word; 8 + 8 fuses of 1 give 0xFF + 0xFF.
    EXPECT_TRUE(Load(Transmission("hdr*L0009 1*C0002*")).ok);
    EXPECT_TRUE(Load(Transmission("hdr*L0000 1111111111111111*c01fe*")).ok);
    // The check covers only the fuses before the C field.
    EXPECT_TRUE(Load(Transmission("hdr*L0000 1*C0001*L0001 1*")).ok);

    dialogs.shown.clear();
    r = Load(Transmission("hdr*L0000 1*Cxyz*"));
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(JedecFormatTest, TransmissionChecksumProblemsAreAskedAbout) {
    const std::string body = STX + "hdr*QF100*L0000 1*" + ETX;
    const std::string sum = Hex(JedecTransmissionSum(body), 4);
    ASSERT_NE(sum, "0000");

    dialogs.answers = {IDNO};
    TLoadResult r = Load(body + "0000");
    EXPECT_FALSE(r.ok);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "Transmission checksum does not match. Calculated=" + sum + ", Target=0000\n\nAttempt to load file anyway?");
    EXPECT_EQ(dialogs.shown[0].caption, "Checksum Error");
    EXPECT_EQ(dialogs.shown[0].flags & MB_TYPEMASK, MB_YESNO);
    EXPECT_EQ(r.loaded, 0u);

    dialogs.answers = {IDYES};
    EXPECT_TRUE(Load(body + "0000").ok);

    dialogs.shown.clear();
    dialogs.answers = {IDNO};
    EXPECT_FALSE(Load(body + "12").ok);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"File has no transmission checksum.\n\nAttempt to load file anyway?"});

    dialogs.shown.clear();
    dialogs.answers = {IDNO};
    EXPECT_FALSE(Load(STX + "hdr*QF100*L0000 1*").ok);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "No EOT found");

    // Lower-case digits are a checksum as well; the sum counts bytes from 0x80 as negative.
    dialogs.shown.clear();
    const std::string high = STX + "h\xE9*QF100*" + ETX;
    std::string lower = Hex(JedecTransmissionSum(high), 4);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(Load(high + lower).ok);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(JedecTransmissionSum(std::string("\x02\xE9\x03", 3)), static_cast<std::uint16_t>(2 - 23 + 3));
}

TEST_F(JedecFormatTest, MissingStartOfTextIsAskedAboutAndFieldsReadFromTheStart) {
    Set("JEDEC", "DefaultFuseState", "0");
    dialogs.answers = {IDCANCEL};
    EXPECT_FALSE(Load("hdr*L0000 11*\x03" "0000").ok);
    EXPECT_TRUE(LogContains("Start-Of-Text character missing"));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "SOT missing");

    dialogs.answers = {IDOK};
    TLoadResult r = Load("hdr*L0000 11*\x03" "0000");
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(dialogs.shown.size(), 2u);   // no transmission question without STX
    EXPECT_EQ(r.bytes(0, 3), (std::vector<std::uint8_t>{1, 1, 0}));
}

TEST_F(JedecFormatTest, SecurityFuseAndDeviceFactsGoToTheHiddenKeys) {
    ASSERT_TRUE(Load(Transmission("hdr*QF100*QP24*G1*UA1*E0110 11*QV0*")).ok);
    EXPECT_TRUE(GlobalConfig->GetBool("Hidden", "Device", "AutoSecure"));
    EXPECT_TRUE(LogContains("The G field equals 1 in the JEDEC file, automatic security programming is enabled"));
    EXPECT_EQ(GlobalConfig->GetInt("Hidden", "JEDEC", "PinCount"), 24);
    EXPECT_EQ(Hidden("JEDEC", "UserFuseData"), "A1*");
    EXPECT_EQ(Hidden("JEDEC", "ElectricalFuseData"), "0110 11*");

    // A later file without these fields must not inherit them.
    ASSERT_TRUE(Load(Transmission("hdr*QF50*")).ok);
    EXPECT_FALSE(GlobalConfig->GetBool("Hidden", "Device", "AutoSecure"));
    EXPECT_TRUE(LogContains("Automatic security programming is disabled"));
    EXPECT_EQ(GlobalConfig->GetInt("Hidden", "JEDEC", "FuseCount"), 50);
    EXPECT_EQ(Hidden("JEDEC", "PinCount"), "");
    EXPECT_EQ(Hidden("JEDEC", "UserFuseData"), "");
    EXPECT_EQ(Hidden("JEDEC", "ElectricalFuseData"), "");

    ASSERT_TRUE(Load(Transmission("hdr*G0*")).ok);
    EXPECT_TRUE(LogContains("The G field equals 0 in the JEDEC file, automatic security programming is disabled"));
}

TEST_F(JedecFormatTest, FieldsAreHandledByTheirLetter) {
    Set("JEDEC", "DefaultFuseState", "0");
    // F1 overrides the default and earlier fuses; later L fields still apply; F2 is ignored.
    TLoadResult r = Load(Transmission("hdr*l0000 00*F1*F2*L0003 0*X0*J1 2*D*"), 6);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.bytes(0, 6), (std::vector<std::uint8_t>{1, 1, 1, 0, 1, 1}));
    EXPECT_EQ(r.loaded, 3u);

    r = Load(Transmission("hdr*QF8*L0001*L01 1*"), 8);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(LogContains("WARNING! Malformed fuse field (Field #2). This field will be ignored."));
    EXPECT_EQ(r.loaded, 1u);

    for (const char* bad : {"QX5*", "QFabc*", "QF99999999999*", "Q*"}) {
        EXPECT_FALSE(Load(Transmission(std::string("hdr*") + bad)).ok) << bad;
    }

    // Ctrl-Z ends the fields like ETX.
    r = Load(Transmission("hdr*L0000 1*\x1A" "L0001 1*"), 4);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 1u);
}

TEST_F(JedecFormatTest, HeaderAndNotesAreLoggedInPiecesOf80) {
    const std::string long100(100, 'h');
    ASSERT_TRUE(Load(Transmission("\r\n" + long100 + "\r\n*N  a short note *")).ok);
    EXPECT_TRUE(LogContains("JEDEC File Header"));
    EXPECT_EQ(LogCount("  - " + std::string(80, 'h')), 1);
    EXPECT_EQ(LogCount("  - " + std::string(20, 'h')), 2);   // the second piece, and inside the first
    EXPECT_TRUE(LogContains("Inline note:"));
    EXPECT_TRUE(LogContains("  - a short note"));
}

TEST_F(JedecFormatTest, FusesBeyondTheDeviceAreNeverStored) {
    Set("JEDEC", "DefaultFuseState", "0");
    TLoadResult r = Load(Transmission("hdr*QF200*L0090 1111111111*L0150 1*L99999999999999999999999 1*"), 96);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.GuardsIntact());
    EXPECT_EQ(r.loaded, 6u);
    EXPECT_EQ(r.bytes(90, 6), std::vector<std::uint8_t>(6, 1));
    EXPECT_EQ(LogCount("beyond the 96 fuses of the device"), 3);
    // The checksum still covers the whole file.
    EXPECT_TRUE(Load(Transmission("hdr*L0094 1111*C00c3*"), 96).ok);
}

TEST_F(JedecFormatTest, DetectionAcceptsOnlyTheFieldGrammar) {
    auto check = [](const std::string& text) { return CheckJedecText(text.data(), text.size()); };
    EXPECT_TRUE(check("junk\x02 any header\r\n*\r\nN note*\r\nQF 1 0 0*"));
    EXPECT_TRUE(check("\x02h*L0 1*G0*QP24*"));
    EXPECT_TRUE(check("\x02h*QV12*QF12*"));
    EXPECT_FALSE(check("\x02h*QV12*"));              // ends before QF or QP
    EXPECT_FALSE(check("h*QF100*"));                 // no STX
    EXPECT_FALSE(check("\x02h*B0*QF100*"));          // unknown field letter
    EXPECT_FALSE(check("\x02h*qf100*"));             // lower case starts no field
    EXPECT_FALSE(check("\x02h*QF1x0*"));
    EXPECT_FALSE(check("\x02h*QF100"));
    EXPECT_FALSE(check(""));
    EXPECT_FALSE(CheckJedecText(nullptr, 10));
}

TEST_F(JedecFormatTest, HugeOrGarbageInputEndsCleanly) {
    // A 100 MiB line without a line end: only the first MiB is read.
    std::string huge = STX + "h*L0 ";
    huge.append(100u << 20, '1');
    dialogs.answers = {IDYES};
    TLoadResult r = Load(huge, 1000);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.loaded, 0u);   // the fuse field never ends within the first MiB
    EXPECT_TRUE(LogContains("only its first 1 MiB is read"));
    EXPECT_TRUE(r.GuardsIntact());

    std::string garbage;
    for (int i = 0; i < 70000; ++i) garbage += static_cast<char>((i * 7919) >> 3);
    dialogs.answers = {IDOK, IDYES, IDYES};
    r = Load(garbage, 64);
    EXPECT_TRUE(r.GuardsIntact());
}

TEST_F(JedecFormatTest, SparseImageTakesItsSizeFromTheDeclaredFuseCount) {
    // kov-cli converts through a sparse image: no device tells the fuse count, the file does.
    const auto path = temp / "in.jed";
    WriteFile(path, Transmission("hdr*QF100*F0*L0000 11*L0010 1*"));
    TSparseImage image;
    {
        TFileIn in;
        ASSERT_TRUE(in.Open(path.string()));
        TImageSink sink(image);
        ASSERT_TRUE(ReadFileOfType(ftJedec, in, sink));
        EXPECT_EQ(sink.Loaded(), 3u);
    }
    ASSERT_EQ(image.blocks.size(), 1u);
    ASSERT_EQ(image.blocks[0].bytes.size(), 100u);
    EXPECT_EQ(image.blocks[0].bytes[1], 1);
    EXPECT_EQ(image.blocks[0].bytes[2], 0);
    EXPECT_EQ(image.blocks[0].bytes[10], 1);
    EXPECT_EQ(image.blocks[0].bytes[99], 0);

    TFileOut out;
    ASSERT_TRUE(out.Open((temp / "out.jed").string()));
    ASSERT_TRUE(WriteFileOfType(ftJedec, out, image.Source()));
    const std::string text = ReadFile(temp / "out.jed");
    EXPECT_NE(text.find("QF100*"), std::string::npos);
    EXPECT_NE(text.find("L00000000 1100000000100000"), std::string::npos);
}

TEST_F(JedecFormatTest, SparseImageWithoutFuseCountEndsAtItsLastFuseAndStaysBounded) {
    // Without QF the L fields size the image; a fuse number past the largest buffer is dropped
    // instead of making an image of gigabytes.
    struct Case {
        std::string fields;
        std::size_t size;      // bytes of the single block, 0 for none
        std::uint64_t loaded;
    };
    const Case cases[] = {
        {"hdr*F1*L0004 0 1*", 6, 2},
        {"hdr*L0000 1*L0020 0\t1*", 22, 3},
        {"hdr*L4294967290 1111111111*", 0, 0},
        {"hdr*QF99999999999*L0 1*", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields);
        const auto path = temp / "in.jed";
        WriteFile(path, Transmission(c.fields));
        TSparseImage image;
        bool ok = false;
        std::uint64_t loaded = 0;
        {
            TFileIn in;
            ASSERT_TRUE(in.Open(path.string()));
            TImageSink sink(image);
            ok = ReadFileOfType(ftJedec, in, sink);
            loaded = sink.Loaded();
        }
        EXPECT_EQ(loaded, c.loaded);
        if (c.size == 0) {
            EXPECT_EQ(image.ByteCount(), 0u);
            continue;
        }
        EXPECT_TRUE(ok);
        ASSERT_EQ(image.blocks.size(), 1u);
        EXPECT_EQ(image.blocks[0].bytes.size(), c.size);
    }
}

TEST_F(JedecFormatTest, RegisteredFormatsAreDetectedAndNamed) {
    std::vector<std::uint8_t> fuses(40, 1);
    const std::string jed = Save(fuses);
    auto detect = [](const std::string& bytes) {
        return DetectFileTypeOfBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    };
    EXPECT_EQ(detect(jed), ftJedec);
    EXPECT_EQ(detect(std::string("POF\0\x01", 5)), ftPof);
    EXPECT_EQ(detect(std::string("\x00\x09\x0F\xF0\x0F\xF0\x0F\xF0\x0F\xF0\x00\x00\x01\x61", 14)), ftBit);
    // Without a QF or QP field a JEDEC text is not recognised and falls through to binary.
    EXPECT_EQ(detect(Transmission("hdr*L0 1*")), ftBinary);
    EXPECT_TRUE(LogContains("File type check for JEDEC failed"));
    for (const auto& [alias, type] : {std::pair{"jedec", ftJedec}, {"pof", ftPof}, {"bit", ftBit}}) {
        EXPECT_EQ(FindFileTypeByNameOrAlias(alias), type);
    }
}

}  // namespace
