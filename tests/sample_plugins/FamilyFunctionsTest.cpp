// What one family does that the others do not: fuse maps and security fuses, sector protection
// and boot block lockout, code protection and the microcontroller checksum.
#include "LabFixture.h"

namespace {

const DeviceChoice kGal{"pld", "GAL16V8D", "Lattice", "DIP20", 20, 1};
const DeviceChoice kAmdFlash{"flash", "AM29F002T", "AMD", "DIP32", 32, 8};
const DeviceChoice kAtmelFlash{"flash", "AT49F002", "Atmel", "DIP32", 32, 8};
const DeviceChoice kPic{"mcu", "PIC16F628A", "Microchip", "DIP18", 18, 14};

int FunctionId(const TDevDLL& device, const std::string& name) {
    for (int i = 0; i < device.MiscFunctionCount(); ++i)
        if (device.MiscFunction(i)->Name() == name) return device.MiscFunction(i)->Identifier();
    ADD_FAILURE() << "no extra function " << name;
    return 0;
}

std::vector<std::string> FunctionNames(const TDevDLL& device) {
    std::vector<std::string> names;
    for (int i = 0; i < device.MiscFunctionCount(); ++i)
        names.push_back(device.MiscFunction(i)->Name());
    return names;
}

} // namespace

TEST_F(LabTest, APldRefusesSplitsAndLocksTheDevicePointers) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kGal));
    EXPECT_FALSE(splitsValid) << "splits and sets switched off";
    EXPECT_EQ(device->Geometry()->Splits(), 1u);
    EXPECT_EQ(device->Geometry()->Sets(), 1u);
    EXPECT_TRUE(GlobalConfig->GetBool("Hidden", "Suppress", "DevicePointers"));
    EXPECT_EQ(device->Geometry()->DeviceSize(), 2194u);
    EXPECT_EQ(device->EraseValue() & 0xFF, 0x01) << "an erased fuse reads 1";
    EXPECT_EQ(FunctionNames(*device),
              (std::vector<std::string>{"Program Security Fuse", "Security Fuse Status"}));

    ASSERT_TRUE(Select({"eprom8", "AT27C256R", "Atmel", "DIP28", 28, 8}));
    EXPECT_TRUE(splitsValid);
}

TEST_F(LabTest, APldProgramsOnlyAFuseMapOfItsOwnSize) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kGal));
    FillBuffer(2194, 0x01);
    GlobalBuffer->SetByte(17, '0');
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    EXPECT_EQ(TakeBoxes(),
              (std::vector<std::string>{"Not a fuse map: The buffer holds 30 for fuse 17, but a fuse map "
                                        "holds only 0 and 1.\nLoad the JEDEC file of the GAL16V8D."}));
    EXPECT_EQ(device->Verify(GlobalBuffer), 0) << "nor compares anything else";
    TakeBoxes();
    GlobalBuffer->SetByte(17, 0);

    GlobalConfig->SetInt("Hidden", "JEDEC", "FuseCount", 5892);
    dialogs.answers = {IDNO};
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(
        boxes[0].find("The loaded JEDEC file is for a device with 5892 fuses, but the GAL16V8D has 2194.\n"
                      "Program it anyway?"),
        std::string::npos);
    EXPECT_TRUE(LogContains("Programming the GAL16V8D was cancelled: wrong fuse count"));
    EXPECT_EQ(device->BlankCheck(), 1);
    dialogs.answers = {IDYES};
    EXPECT_EQ(device->Program(GlobalBuffer), 1);
    GlobalConfig->SetInt("Hidden", "JEDEC", "FuseCount", 2194);
    TakeBoxes();
    FillBuffer(2194, 0x01, 9);
    EXPECT_EQ(device->Program(GlobalBuffer), 1) << "a programmed GAL is bulk-erased by Program";
    EXPECT_TRUE(TakeBoxes().empty());
}

TEST_F(LabTest, TheSecurityFuseFollowsAutoSecureAndHidesTheFuseMap) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kGal));
    FillBuffer(2194, 0x01);
    GlobalConfig->SetBool("Hidden", "Device", "AutoSecure", true);
    ASSERT_EQ(device->Program(GlobalBuffer), 1) << "verified before the fuse is set";
    EXPECT_TRUE(LogContains("Security fuse of the GAL16V8D programmed"));
    EXPECT_EQ(device->Read(GlobalBuffer), 0);
    EXPECT_EQ(device->Verify(GlobalBuffer), 0);
    EXPECT_EQ(device->BlankCheck(), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(
        boxes[0],
        "Device secured: The security fuse of the GAL16V8D is programmed: its fuse map cannot be read.");
    EXPECT_NE(boxes[2].find("A secured device is not blank."), std::string::npos);
    device->DispatchMiscFunction(FunctionId(*device, "Security Fuse Status"));
    EXPECT_NE(TakeBoxes().at(0).find("is programmed: its fuse map cannot be read."), std::string::npos);

    ASSERT_EQ(device->Erase(), 1);
    EXPECT_EQ(device->BlankCheck(), 1);
    GlobalConfig->SetBool("Hidden", "Device", "AutoSecure", false);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    EXPECT_EQ(device->Read(GlobalBuffer), 1);

    dialogs.answers = {IDNO};
    device->DispatchMiscFunction(FunctionId(*device, "Program Security Fuse"));
    EXPECT_EQ(device->Verify(GlobalBuffer), 1) << "declined";
    device->DispatchMiscFunction(FunctionId(*device, "Program Security Fuse"));
    EXPECT_EQ(device->Verify(GlobalBuffer), 0);
}

TEST_F(LabTest, ProtectedSectorsIgnoreProgramAndErase) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kAmdFlash));
    EXPECT_EQ(FunctionNames(*device),
              (std::vector<std::string>{"Read Device ID", "Protect All Sectors", "Unprotect All Sectors",
                                        "Sector Protection"}));
    EXPECT_EQ(device->MiscFunction(1)->Tooltip(), "Protect every sector against programming and erasing");
    device->DispatchMiscFunction(FunctionId(*device, "Protect All Sectors"));
    device->DispatchMiscFunction(FunctionId(*device, "Sector Protection"));
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("7 of 7 sectors of the AM29F002T are protected:\nSector 0: 00000000 to 0000FFFF"),
              std::string::npos)
        << boxes[0];
    EXPECT_NE(boxes[0].find("Sector 6: 0003C000 to 0003FFFF"), std::string::npos) << "the top boot block";

    FillWords(0x40000, 8);
    EXPECT_EQ(device->Program(GlobalBuffer), 0);
    boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("failed at address 00000000"), std::string::npos) << boxes[0];
    EXPECT_NE(
        boxes[0].find("Sector 0 (00000000 to 0000FFFF) is protected: the chip ignores program and erase "
                      "commands there."),
        std::string::npos)
        << boxes[0];

    device->DispatchMiscFunction(FunctionId(*device, "Unprotect All Sectors"));
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    device->DispatchMiscFunction(FunctionId(*device, "Protect All Sectors"));
    EXPECT_EQ(device->Erase(), 0);
    boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].find("Erase failed: The AM29F002T is not blank after erasing."), 0u) << boxes[0];
    Session("Device", "SuppressEraseBlankcheck", "TRUE");
    EXPECT_EQ(device->Erase(), 1) << "without the blank check the erase is not checked";
    EXPECT_EQ(device->Verify(GlobalBuffer), 1) << "and the protected data is still there";
    device->DispatchMiscFunction(FunctionId(*device, "Unprotect All Sectors"));
    EXPECT_EQ(device->Erase(), 1);
    EXPECT_EQ(device->BlankCheck(), 1);
    TakeBoxes();

    // Protection belongs to the chip: it stays when the programmer is started again.
    device->DispatchMiscFunction(FunctionId(*device, "Protect All Sectors"));
    StopLab();
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kAmdFlash));
    device->DispatchMiscFunction(FunctionId(*device, "Sector Protection"));
    EXPECT_NE(TakeBoxes().at(0).find("7 of 7 sectors"), std::string::npos);
}

TEST_F(LabTest, ALockedBootBlockIsForGood) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kAtmelFlash));
    EXPECT_EQ(FunctionNames(*device),
              (std::vector<std::string>{"Read Device ID", "Lock Boot Block", "Boot Block Status"}));
    dialogs.answers = {IDNO};
    device->DispatchMiscFunction(FunctionId(*device, "Lock Boot Block"));
    device->DispatchMiscFunction(FunctionId(*device, "Boot Block Status"));
    EXPECT_NE(TakeBoxes().back().find("is not locked."), std::string::npos);

    FillWords(0x40000, 8);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    device->DispatchMiscFunction(FunctionId(*device, "Lock Boot Block"));
    TakeBoxes();
    EXPECT_EQ(device->Erase(), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("\n00000000:  device "), std::string::npos)
        << "the 16 KiB boot block at the bottom";
    EXPECT_EQ(boxes[0].find("\n00004000:"), std::string::npos);
    ASSERT_EQ(device->Read(GlobalBuffer), 1);
    EXPECT_EQ(GlobalBuffer->GetByte(0x4000), 0xFF);
}

TEST_F(LabTest, CodeProtectionHidesTheProgramMemoryUntilErased) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kPic));
    EXPECT_EQ(device->EraseValue(), 0x3FFF3FFF);
    std::vector<std::uint16_t> words = FillWords(2048, 14);
    ASSERT_EQ(device->Program(GlobalBuffer), 1);
    device->DispatchMiscFunction(FunctionId(*device, "Code Protect"));
    device->DispatchMiscFunction(FunctionId(*device, "Read Configuration"));
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 2u) << "the confirmation and the configuration";
    EXPECT_NE(boxes[1].find("Configuration word of the PIC16F628A: 0FCF\nCode protection: on"),
              std::string::npos)
        << boxes[1];
    EXPECT_EQ(device->Read(GlobalBuffer), 0);
    EXPECT_NE(TakeBoxes().at(0).find("is code protected: its program memory cannot be read."),
              std::string::npos);
    ASSERT_EQ(device->Erase(), 1);
    EXPECT_EQ(device->BlankCheck(), 1);
    device->DispatchMiscFunction(FunctionId(*device, "Read Configuration"));
    EXPECT_NE(TakeBoxes().at(0).find("3FFF\nCode protection: off"), std::string::npos);

    // The buffer checksum is the 16-bit word sum of the maker's tools, over the device range only.
    std::uint32_t sum = 0;
    for (std::uint16_t w : words)
        sum += w;
    EXPECT_TRUE(device->HasBufferChecksum());
    EXPECT_EQ(device->BufferChecksum(GlobalBuffer), sum & 0xFFFF);
    device->Geometry()->SetDeviceEnd(0);
    EXPECT_EQ(device->BufferChecksum(GlobalBuffer), words[0]);
    GlobalBuffer->SetByte(1, 0xFF);
    EXPECT_EQ(device->BufferChecksum(GlobalBuffer), 0x3F00u | (words[0] & 0xFF))
        << "bits beyond the word are not data";
}

TEST_F(LabTest, TheMicrocontrollerChecksOnlyTheIdBitsOfItsDeviceCode) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kPic));
    Session("Simulator", "Faults", "WrongId");
    EXPECT_EQ(device->BlankCheck(), 0);
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(
        boxes[0].find(
            "Expected device code 1060;\nthe device answers with manufacturer code FF, device code 1040."),
        std::string::npos)
        << boxes[0];
}
