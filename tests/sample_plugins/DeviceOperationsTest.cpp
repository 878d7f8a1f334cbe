// Every family's device operations, end to end: kov's hosts, the device library, the USB
// programmer's socket and its state files.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "LabFixture.h"

namespace {

std::uint32_t Sum(const std::vector<std::uint16_t>& words, std::uint32_t mask = 0xFFFFFFFFu) {
    std::uint32_t sum = 0;
    for (std::uint16_t w : words)
        sum += w;
    return sum & mask;
}

struct FamilyCase {
    DeviceChoice device;
    std::uint32_t checksumMask;
};

class FamilyCycle : public LabTest, public ::testing::WithParamInterface<FamilyCase> {};

} // namespace

// Blank check, program, verify, read, checksums, blank check again, erase (or the UV lamp), and
// the data still there after the programmer was shut down and started again.
TEST_P(FamilyCycle, ProgramVerifyReadEraseAndKeep) {
    const FamilyCase& c = GetParam();
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(c.device));
    const std::uint32_t words = device->Geometry()->DeviceSize();
    const unsigned width = device->Geometry()->WordWidth();
    EXPECT_EQ(width, unsigned(c.device.width));

    EXPECT_EQ(device->BlankCheck(), 1);
    EXPECT_TRUE(LogContains(") - Blank checked the "));
    std::vector<std::uint16_t> data = FillWords(words, width);
    ASSERT_EQ(device->Program(GlobalBuffer), 1) << testing::PrintToString(TakeBoxes());
    EXPECT_FALSE(ProgressBox().State().visible);
    EXPECT_EQ(device->LastChecksum(), Sum(data, c.checksumMask));
    EXPECT_EQ(device->Verify(GlobalBuffer), 1);
    EXPECT_EQ(device->LastChecksum(), Sum(data, c.checksumMask));
    EXPECT_TRUE(LogContains(") - Verified the "));

    for (std::uint32_t i = 0; i < words * (width > 8 ? 2 : 1); ++i)
        GlobalBuffer->SetByte(static_cast<std::int32_t>(i), 0);
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferWords(words, width), data);
    std::uint32_t checksum = 0;
    ASSERT_TRUE(device->DeviceChecksum(&checksum));
    EXPECT_EQ(checksum, Sum(data, c.checksumMask));
    EXPECT_TRUE(TakeBoxes().empty());

    EXPECT_NE(device->BlankCheck(), 1);
    EXPECT_TRUE(AnyContains(TakeBoxes(), "is not blank"));

    // Every extra function is offered with its picture; the ones that only show something do so.
    std::vector<int> showing;
    for (int i = 0; i < device->MiscFunctionCount(); ++i) {
        const TDeviceFunction* f = device->MiscFunction(i);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->GlyphCount(), 2) << f->Name();
        EXPECT_NE(f->Glyph(), nullptr) << f->Name();
        if (f->GlyphName() == "INFO" || f->GlyphName() == "CHIPID") showing.push_back(f->Identifier());
    }
    for (int identifier : showing) {
        device->DispatchMiscFunction(identifier);
        EXPECT_EQ(TakeBoxes().size(), 1u) << identifier;
    }

    StopLab();
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(c.device));
    for (std::uint32_t i = 0; i < words * (width > 8 ? 2 : 1); ++i)
        GlobalBuffer->SetByte(static_cast<std::int32_t>(i), 0);
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferWords(words, width), data) << "the chip was kept between runs";

    if (device->HasErase()) {
        ASSERT_EQ(device->Erase(), 1) << testing::PrintToString(TakeBoxes());
    } else {
        std::vector<TAuxMenuItem> menu;
        ASSERT_TRUE(programmer->BuildAuxMenu(&menu));
        programmer->AuxCommand(4); // the ultraviolet lamp
    }
    EXPECT_EQ(device->BlankCheck(), 1);
    std::uint32_t blank = 0;
    ASSERT_TRUE(device->DeviceChecksum(&blank));
    EXPECT_EQ(blank, std::uint32_t(std::uint64_t(words) * ((1u << width) - 1)) & c.checksumMask);
}

INSTANTIATE_TEST_SUITE_P(
    Families, FamilyCycle,
    ::testing::Values(FamilyCase{{"eprom8", "AT27C256R", "Atmel", "DIP28", 28, 8}, 0xFFFFFFFFu},
                      FamilyCase{{"eprom16", "AT27C1024", "Atmel", "PLCC44", 44, 16}, 0xFFFFFFFFu},
                      FamilyCase{{"flash", "AM29F040B", "AMD", "PLCC32", 32, 8}, 0xFFFFFFFFu},
                      FamilyCase{{"flash", "AM29F400BT", "AMD", "TSOP48", 48, 16}, 0xFFFFFFFFu},
                      FamilyCase{{"flash", "SST39SF010A", "SST", "DIP32", 32, 8}, 0xFFFFFFFFu},
                      FamilyCase{{"flash", "AT49F002", "Atmel", "DIP32", 32, 8}, 0xFFFFFFFFu},
                      FamilyCase{{"serialee", "AT24C02", "Atmel", "DIP8", 8, 8}, 0xFFFFFFFFu},
                      FamilyCase{{"serialee", "93LC46C", "Microchip", "SOIC8", 8, 16}, 0xFFFFFFFFu},
                      FamilyCase{{"pld", "GAL16V8D", "Lattice", "DIP20", 20, 1}, 0xFFFFFFFFu},
                      FamilyCase{{"pld", "ATF22V10C", "Atmel", "PLCC28", 28, 1}, 0xFFFFFFFFu},
                      FamilyCase{{"mcu", "PIC16F84A", "Microchip", "DIP18", 18, 14}, 0xFFFFu},
                      FamilyCase{{"mcu", "PIC12F508", "Microchip", "DIP8", 8, 12}, 0xFFFFu}));

namespace {
const DeviceChoice kEprom{"eprom8", "AT27C256R", "Atmel", "DIP28", 28, 8};
const DeviceChoice kWideEprom{"eprom16", "AT27C1024", "Atmel", "DIP40", 40, 16};
} // namespace

TEST_F(LabTest, IdChecksStopTheWrongChipUnlessSuppressed) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    Session("Simulator", "Faults", "WrongId");
    FillWords(0x8000, 8);
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Wrong device: The device in the socket is not a Atmel AT27C256R.\n"
                            "Expected manufacturer code 1E, device code 8C;\n"
                            "the device answers with manufacturer code 1E, device code AD."),
              std::string::npos)
        << boxes[0];
    EXPECT_EQ(device->BlankCheck(), 0) << "the chip was not touched";

    Session("Device", "SuppressManufacturerID", "TRUE");
    EXPECT_EQ(device->BlankCheck(), 0) << "the device code still differs";
    Session("Device", "SuppressDeviceID", "TRUE");
    EXPECT_EQ(device->BlankCheck(), 1);
    TakeBoxes();

    // A chip without identifier codes is never refused for them.
    ASSERT_TRUE(Select({"serialee", "AT24C02", "Atmel", "DIP8", 8, 8}));
    Session("Device", "SuppressDeviceID", "FALSE");
    EXPECT_EQ(device->BlankCheck(), 1);
}

TEST_F(LabTest, ReadDeviceIdShowsWhatTheChipAnswers) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select({"flash", "AM29F400BT", "AMD", "TSOP48", 48, 8}));
    ASSERT_GE(device->MiscFunctionCount(), 1);
    const TDeviceFunction* readId = device->MiscFunction(0);
    EXPECT_EQ(readId->Name(), "Read Device ID");
    EXPECT_EQ(readId->Tooltip(), "") << "a type 1 record";
    device->DispatchMiscFunction(readId->Identifier());
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(
        boxes[0].find("Manufacturer code: 01 (a AM29F400BT has 01)\nDevice code: 23 (a AM29F400BT has 23)"),
        std::string::npos)
        << boxes[0] << " (byte mode shows the low byte of the word-mode code)";
}

TEST_F(LabTest, ANoChipFaultIsAnEmptySocket) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    Session("Simulator", "Faults", "NoChip");
    EXPECT_EQ(device->Read(GlobalBuffer), 0);
    EXPECT_EQ(device->Verify(GlobalBuffer), 0);
    EXPECT_EQ(device->BlankCheck(), 0);
    std::uint32_t sum = 0;
    EXPECT_FALSE(device->DeviceChecksum(&sum));
    for (const std::string& box : TakeBoxes())
        EXPECT_EQ(box, "Device not found: There is no AT27C256R in the socket of the KOV22.\nInsert the "
                       "device and try again.");
    Session("Simulator", "Faults", "");
    EXPECT_EQ(device->BlankCheck(), 1);
}

TEST_F(LabTest, VerifyNamesTheFirstMismatchesInTheLogAndABox) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    FillWords(0x8000, 8);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    for (std::int32_t a : {0x10, 0x11, 0x7FFF})
        GlobalBuffer->SetByte(a, static_cast<std::uint8_t>(GlobalBuffer->GetByte(a) ^ 0x80));
    EXPECT_EQ(device->Verify(GlobalBuffer), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].find("Verify failed: The AT27C256R does not match the buffer.\n3 addresses "
                            "differ:\n\n00000010:  device "),
              0u)
        << boxes[0];
    EXPECT_NE(boxes[0].find("\n00007FFF:  device "), std::string::npos);
    std::string device10 = boxes[0].substr(boxes[0].find("00000010:  device ") + 18, 2);
    EXPECT_TRUE(LogContains("Verify: address 00000010: device " + device10 + ", expected "));
    EXPECT_TRUE(LogContains("Verify: address 00000011: device "));
    EXPECT_TRUE(LogContains("The AT27C256R does not match the buffer. (3 addresses, the first at 00000010)"));
    EXPECT_EQ(device->LastChecksum(), 0u) << "no checksum from a failed verify";
}

TEST_F(LabTest, AStuckBitIsFoundWhereTheSeedPutsIt) {
    auto firstMismatch = [&](const std::string& seed) {
        Session("Simulator", "Faults", "StuckBit");
        Session("Simulator", "Seed", seed);
        StartProgrammer("kov22");
        EXPECT_TRUE(Select(kEprom));
        // The blank chip shows the bit stuck at 0; one stuck at 1 shows once the word is programmed.
        ClearBuffer(0x8000, 0x00);
        device->BlankCheck();
        device->Program(GlobalBuffer);
        std::string where;
        for (const std::string& box : TakeBoxes()) {
            std::size_t at = box.find("failed at address ");
            if (at != std::string::npos && where.empty()) where = box.substr(at + 18, 8);
            at = box.find(":\n\n");
            if (at != std::string::npos && where.empty()) where = box.substr(at + 3, 8);
        }
        StopLab();
        std::filesystem::remove_all(StateFolder());
        return where;
    };
    std::string a = firstMismatch("5"), b = firstMismatch("5"), c = firstMismatch("6");
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b) << "the same seed, the same bit";
    EXPECT_NE(a, c);
}

TEST_F(LabTest, AFailingAddressStopsProgrammingThere) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    Session("Simulator", "Faults", "ProgramFail@1234");
    ClearBuffer(0x8000, 0x00);
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Program failed: Programming the AT27C256R failed at address 00001234:\n"
                        "the device reads FF, the buffer holds 00.");
    EXPECT_TRUE(LogContains("Programming the AT27C256R failed at address 00001234"));
    Session("Simulator", "Faults", "");
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(GlobalBuffer->GetByte(0x1233), 0x00) << "programmed up to the failing address";
    EXPECT_EQ(GlobalBuffer->GetByte(0x1234), 0xFF);
    EXPECT_EQ(GlobalBuffer->GetByte(0x1235), 0xFF);
}

TEST_F(LabTest, ProgrammingNeedsABlankChipUnlessTheSessionSaysOtherwise) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    ClearBuffer(0x8000, 0xF0);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);

    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].find("Blank check failed: The AT27C256R is not blank, so it cannot be programmed. "
                            "Erase it with ultraviolet light first.\n32768 addresses differ:"),
              0u)
        << boxes[0];

    Session("UserAbort", "AllowSkipBlankChk", "TRUE");
    dialogs.answers = {IDNO};
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    EXPECT_TRUE(LogContains("Programming the AT27C256R was cancelled: the device is not blank"));
    TakeBoxes();
    // Programming over data works as long as it only clears bits.
    ClearBuffer(0x8000, 0x30);
    dialogs.answers = {IDYES};
    EXPECT_EQ(device->Program(GlobalBuffer), 1);
    TakeBoxes();
    ClearBuffer(0x8000, 0x0F);
    dialogs.answers = {IDYES};
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1], "Program failed: Programming the AT27C256R failed at address 00000000:\n"
                        "the device reads 30, the buffer holds 0F.\n"
                        "A bit that is 0 in the device is 1 in the buffer, and programming cannot set bits. "
                        "Erase it with ultraviolet light first.");

    Session("UserAbort", "AllowSkipBlankChk", "FALSE");
    Session("Device", "SuppressBlankcheck", "TRUE");
    ClearBuffer(0x8000, 0x30);
    EXPECT_EQ(device->Program(GlobalBuffer), 1) << "the same data again needs no change";
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(LabTest, VerifyAfterProgramCatchesWhatProgrammingSkippedUnlessSuppressed) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    // The erased value needs no programming pulse, so only the verify sees the stuck bit.
    Session("Simulator", "Faults", "StuckBit@40:0=0");
    ClearBuffer(0x8000, 0xFF);
    GlobalBuffer->SetByte(0, 0x00);
    Session("Device", "SuppressBlankcheck", "TRUE");
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].find(
                  "Verify failed: Verifying the AT27C256R after programming failed.\n1 address differs:\n\n"
                  "00000040:  device FE,  expected FF"),
              0u)
        << boxes[0];
    Session("Device", "SuppressVerify", "TRUE");
    EXPECT_EQ(device->Program(GlobalBuffer), 1);
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(LabTest, AbortStopsAReadAndTheSessionDecidesAboutThePartialData) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    std::vector<std::uint16_t> data = FillWords(0x8000, 8);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);

    ClearBuffer(0x8000, 0x5A);
    {
        AbortAfter abort(10);
        EXPECT_EQ(device->Read(GlobalBuffer), 2);
    }
    EXPECT_EQ(BufferBytes(0, 4), (std::vector<std::uint8_t>{0x5A, 0x5A, 0x5A, 0x5A}))
        << "a failed read changes nothing";
    EXPECT_TRUE(LogContains("Reading the AT27C256R was aborted by the user before address 00000"));

    Session("UserAbort", "AllowUpdateBuffer", "TRUE");
    {
        AbortAfter abort(10);
        EXPECT_EQ(device->Read(GlobalBuffer), 2);
    }
    std::vector<std::uint16_t> got = BufferWords(0x8000, 8);
    EXPECT_EQ(std::vector<std::uint16_t>(got.begin(), got.begin() + 100),
              std::vector<std::uint16_t>(data.begin(), data.begin() + 100))
        << "what was read before Abort";
    EXPECT_EQ(got[0x7FFF], 0xFF) << "the rest is the erased value kov prefilled";

    // An aborted program leaves the chip partly programmed, and says so.
    ASSERT_TRUE(Select({"eprom8", "AT27C256R", "Atmel", "PLCC32", 32, 8}));
    FillWords(0x8000, 8);
    Session("Device", "SuppressBlankcheck", "TRUE");
    {
        AbortAfter abort(30);
        EXPECT_EQ(device->Program(GlobalBuffer), 2);
    }
    EXPECT_TRUE(LogContains("Programming the AT27C256R was aborted by the user before address "));
    EXPECT_EQ(device->BlankCheck(), 0);
}

TEST_F(LabTest, ByteSwappingReachesTheChipSwapped) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kWideEprom));
    ClearBuffer(0x20000, 0xFF);
    GlobalBuffer->SetByte(0, 0x12);
    GlobalBuffer->SetByte(1, 0x34);
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", true);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    EXPECT_EQ(device->Verify(GlobalBuffer), 1);
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", false);
    EXPECT_EQ(device->Verify(GlobalBuffer), 0);
    TakeBoxes();
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 4), (std::vector<std::uint8_t>{0x34, 0x12, 0xFF, 0xFF}));
}

// The device's data may start at an odd buffer address; swapping still exchanges the two bytes
// of each word there, takes nothing from outside the buffer range and writes nothing outside it.
TEST_F(LabTest, ByteSwappingAtAnOddBufferStartStaysWithinEachWord) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kWideEprom));
    ClearBuffer(0x20004, 0xFF);
    const std::vector<std::uint8_t> data{0x12, 0x34, 0x56, 0x78};
    GlobalBuffer->SetByte(0, 0xEE);   // before the range
    for (std::uint32_t i = 0; i < data.size(); ++i) GlobalBuffer->SetByte(static_cast<std::int32_t>(1 + i), data[i]);
    auto range = [](std::uint32_t start) {
        GlobalDevDLL->Geometry()->SetBufferStart(start);
        GlobalBuffer->SetWriteWindow(static_cast<std::int32_t>(start), static_cast<std::int32_t>(start + 0x1FFFF));
    };
    range(1);
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", true);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    EXPECT_EQ(device->Verify(GlobalBuffer), 1);

    // Unswapped at an even start: the chip holds each word's bytes exchanged.
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", false);
    range(0x40000);
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0x40000, 6), (std::vector<std::uint8_t>{0x34, 0x12, 0x78, 0x56, 0xFF, 0xFF}));

    // Read back swapped at the odd start: the range holds the data again, the byte before it is
    // left alone.
    GlobalBuffer->WindowEnabled = false;
    ClearBuffer(0x20004, 0x5A);
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", true);
    range(1);
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 7), (std::vector<std::uint8_t>{0x5A, 0x12, 0x34, 0x56, 0x78, 0xFF, 0xFF}));
    EXPECT_EQ(device->Verify(GlobalBuffer), 1);
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(LabTest, SplitsProgramEachChipWithItsShareOfTheBuffer) {
    StartProgrammer("kov22");
    const DeviceChoice even{"eprom8", "M27C64A", "STMicroelectronics", "DIP28", 28, 8};
    const DeviceChoice odd{"eprom8", "M27C64A", "STMicroelectronics", "PLCC32", 32, 8};
    std::vector<std::uint8_t> image = FillBuffer(2 * 0x2000);
    for (int split = 1; split <= 2; ++split) {
        ASSERT_TRUE(Select(split == 1 ? even : odd));
        device->Geometry()->SetSplits(2);
        device->Geometry()->SetSplitNumber(static_cast<std::uint32_t>(split));
        ASSERT_EQ(device->Program(GlobalBuffer), 1) << "split " << split;
        EXPECT_EQ(device->Verify(GlobalBuffer), 1);
    }
    for (int split = 1; split <= 2; ++split) {
        ASSERT_TRUE(Select(split == 1 ? even : odd));
        ClearBuffer(0x2000, 0);
        ASSERT_EQ(device->Read(GlobalBuffer), 1);
        std::vector<std::uint8_t> got = BufferBytes(0, 0x2000);
        for (std::uint32_t i = 0; i < 0x2000; i += 0x3FF)
            EXPECT_EQ(got[i], image[2 * i + static_cast<std::uint32_t>(split - 1)])
                << "split " << split << " word " << i;
    }
}

TEST_F(LabTest, TheTwoOrganisationsOfASerialEepromShareOneChip) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select({"serialee", "AT93C46", "Atmel", "DIP8", 8, 16}));
    EXPECT_EQ(device->Geometry()->DeviceSize(), 64u);
    ClearBuffer(128, 0xFF);
    GlobalBuffer->SetByte(0, 0x34);
    GlobalBuffer->SetByte(1, 0x12);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    ASSERT_TRUE(Select({"serialee", "AT93C46", "Atmel", "DIP8", 8, 8}));
    EXPECT_EQ(device->Geometry()->DeviceSize(), 128u);
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 3), (std::vector<std::uint8_t>{0x12, 0x34, 0xFF}))
        << "x8 reads the high byte first";
    // An EEPROM is rewritten without erasing, and Erase clears only the device range.
    GlobalBuffer->SetByte(0, 0x00);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    device->Geometry()->SetDeviceStart(64);
    ASSERT_EQ(device->Erase(), 1);
    device->Geometry()->SetDeviceStart(0);
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 2), (std::vector<std::uint8_t>{0x00, 0x34}));
}

TEST_F(LabTest, ADamagedSocketFileIsReportedAndKept) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    FillWords(0x8000, 8);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    StopLab();
    const std::filesystem::path file =
        std::filesystem::path(StateFolder()) / "KOV22" / "Atmel_AT27C256R_DIP28.chip";
    ASSERT_TRUE(std::filesystem::exists(file));
    std::filesystem::resize_file(file, 1000);

    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "KOV22 socket: The socket state file " + file.string() +
                            " is damaged: it is truncated.\n"
                            "It was kept as " +
                            file.string() + ".corrupt.\nThe socket now holds a blank AT27C256R.");
    EXPECT_EQ(device->BlankCheck(), 1);
    EXPECT_EQ(std::filesystem::file_size(file.string() + ".corrupt"), 1000u);
}

TEST_F(LabTest, AStateFolderThatCannotBeWrittenIsToldOnce) {
    WriteFile(temp / "blocked", "not a folder");
    Session("Simulator", "StateFolder", (temp / "blocked").string());
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    FillWords(0x8000, 8);
    EXPECT_EQ(device->Program(GlobalBuffer), 1) << "the chip is programmed; only keeping it failed";
    ClearBuffer(0x8000, 0x00);
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    std::vector<std::string> boxes = TakeBoxes();
    EXPECT_EQ(
        std::count_if(boxes.begin(), boxes.end(),
                      [](const std::string& b) { return b.find("could not be saved") != std::string::npos; }),
        1);
    EXPECT_TRUE(LogContains("KOV22: The AT27C256R in the socket could not be saved to "));
}

TEST_F(LabTest, APartOfTheDeviceIsProgrammedAlone) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    device->Geometry()->SetDeviceStart(0x100);
    device->Geometry()->SetDeviceEnd(0x1FF);
    FillWords(0x100, 8);
    EXPECT_EQ(device->Program(GlobalBuffer), 1);
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(device->LastChecksum(), Sum(BufferWords(0x100, 8)));
    // Each success leaves its line in the log, for runs without success boxes.
    char sum[9];
    std::snprintf(sum, sizeof sum, "%08X", device->LastChecksum());
    EXPECT_TRUE(LogContains(") - Programmed the AT27C256R from 00000100 to 000001FF, checksum " + std::string(sum)));
    EXPECT_TRUE(LogContains(") - Read the AT27C256R from 00000100 to 000001FF, checksum " + std::string(sum)));
    device->Geometry()->SetDeviceStart(0);
    device->Geometry()->SetDeviceEnd(0x7FFF);
    EXPECT_EQ(device->BlankCheck(), 0);
    TakeBoxes();
}

TEST_F(LabTest, RealTimingWaitsWithTheProgressBoxAliveAndAbortEndsTheWait) {
    Session("Simulator", "TimeScale", "1");
    StartProgrammer("kov22");
    ASSERT_TRUE(Select({"flash", "AM29F040B", "AMD", "DIP32", 32, 8}));
    {
        // A chip erase of this part takes eight seconds; Abort must end it at once.
        AbortAfter abort(5);
        EXPECT_EQ(device->Erase(), 2);
        EXPECT_LE(abort.updates, 8);
    }
    EXPECT_FALSE(ProgressBox().State().visible);
    EXPECT_TRUE(LogContains("Erasing AM29F040B was aborted by the user"));
    EXPECT_EQ(device->LastChecksum(), 0u);
}
