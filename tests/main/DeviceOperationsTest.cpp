#include <algorithm>
#include <memory>
#include <stdexcept>

#include "../plugins/PluginTestSupport.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "main/DeviceOperations.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"
#include "plugins/ProgDLL.h"

namespace {

const char* const ProgramQuestion = "This operation will change data in the device.\nAre you sure you want to do this?\n";
const char* const EraseQuestion = "This operation will erase data in the device.\nAre you sure you want to do this?\n";
const char* const NoDataQuestion =
    "You have not loaded any data into the buffer.  Are you absolutely\nsure you want to program this device with no data?";

// Records what the operations ask of the window.
class RecordingHost : public TOperationHost {
public:
    void SetEnable(bool enabled) override { events.push_back(enabled ? "unlock" : "lock"); }
    void SetCloseEnabled(bool enabled) override {
        events.push_back(enabled ? "close on" : "close off");
        if (!enabled && GlobalStatusStack) statusWhileRunning = GlobalStatusStack->TopStatus()->text;
    }
    void ShowDeviceChecksum(std::uint32_t value) override {
        shownChecksum = value;
        events.push_back("device checksum");
    }
    void RefreshBufferEditor() override {
        ++refreshes;
        if (failRefresh) throw std::runtime_error("the view failed");
    }
    void BufferEndChanged(std::uint32_t end) override { bufferEnds.push_back(end); }
    bool WriteSerialNumber() override {
        events.push_back("serial number");
        return false;
    }
    void SplitsEnabled(bool valid) override { splitsTold.push_back(valid); }

    std::vector<std::string> events;
    std::string statusWhileRunning;
    std::uint32_t shownChecksum = 0xDEADBEEF;
    int refreshes = 0;
    bool failRefresh = false;
    std::vector<std::uint32_t> bufferEnds;
    std::vector<bool> splitsTold;
};

class DeviceOperationsTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        ops = std::make_unique<TDeviceOperations>(host, &host);
    }
    void TearDown() override {
        ops.reset();   // releases the device library before the test lets go of the file
        device.reset();
        HostTest::TearDown();
    }

    void Select(const char* library, int width = 8, std::uint32_t words = 16) {
        device = std::make_unique<KtDevice>(library);
        device->control->wordSize = width;
        device->control->deviceSize = words;
        GlobalDevDLL = new TDevDLL(device->path, nullptr);
        ops->PrepareDeviceHost(*GlobalDevDLL);
        ASSERT_TRUE(GlobalDevDLL->SelectDevice("KT27C256", "KtSemi", "DIP", 28, width));
    }
    KtDeviceControl& Lib() { return *device->control; }
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (const auto& box : dialogs.shown) captions.push_back(box.caption);
        return captions;
    }
    int Count(const std::string& text) const {
        const auto texts = LogTexts();
        return static_cast<int>(std::count(texts.begin(), texts.end(), text));
    }

    RecordingHost host;
    std::unique_ptr<TDeviceOperations> ops;
    std::unique_ptr<KtDevice> device;
};

TEST_F(DeviceOperationsTest, ProgramAsksBothQuestionsRunsTheFrameAndShowsTheLastChecksum) {
    Select("kt_dev_full");
    Lib().lastChecksumValue = 0x1234ABCD;

    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Program), 1);
    ASSERT_EQ(dialogs.shown.size(), 3u);
    EXPECT_EQ(dialogs.shown[0].text, ProgramQuestion);
    EXPECT_EQ(dialogs.shown[0].caption, "Confirm");
    EXPECT_EQ(dialogs.shown[0].flags & MB_TYPEMASK, MB_YESNO);
    EXPECT_EQ(dialogs.shown[1].text, NoDataQuestion);
    EXPECT_EQ(dialogs.shown[1].caption, "Warning: No file loaded");
    EXPECT_EQ(dialogs.shown[1].flags, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(dialogs.shown[2].text, "Program operation successful.");
    EXPECT_EQ(dialogs.shown[2].caption, "Status");
    EXPECT_EQ(dialogs.shown[2].flags, MB_OK);

    EXPECT_EQ(Lib().operationCalls, 1);
    EXPECT_EQ(host.statusWhileRunning, "Performing device function: Program");
    EXPECT_EQ(GlobalStatusStack->TopStatus()->text, "Idle");
    EXPECT_TRUE(Logged("TMainForm: Program started"));
    EXPECT_TRUE(Logged("TMainForm: Program ended"));
    EXPECT_EQ(ops->DeviceChecksum(), 0x1234ABCDu);
    EXPECT_EQ(host.shownChecksum, 0x1234ABCDu);
    EXPECT_EQ(host.events,
              (std::vector<std::string>{"lock", "close off", "close on", "device checksum", "unlock"}));
}

TEST_F(DeviceOperationsTest, DeclinedProgramAndEraseRunNothing) {
    Select("kt_dev_full");
    ops->RunCommand(TDeviceCommand::BlankCheck);
    Lib().lastChecksumValue = 77;
    GlobalBuffer->SetByte(0, 0x12);   // data loaded: no "no data" question
    ops->RunCommand(TDeviceCommand::Verify);
    ASSERT_EQ(ops->DeviceChecksum(), 77u);
    const int callsBefore = Lib().operationCalls;
    const int logBefore = GlobalLog->EntryNumber();

    dialogs.answers = {IDNO};
    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Program), 0);
    EXPECT_EQ(ops->DeviceChecksum(), 77u) << "a declined Program leaves the device checksum";

    dialogs.answers = {IDCANCEL};
    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Erase), 0);
    EXPECT_EQ(dialogs.shown.back().text, EraseQuestion);
    EXPECT_EQ(ops->DeviceChecksum(), 0u) << "a declined Erase clears the device checksum";

    EXPECT_EQ(Lib().operationCalls, callsBefore);
    EXPECT_EQ(GlobalLog->EntryNumber(), logBefore) << "nothing is logged for a declined command";
    EXPECT_EQ(host.events.back(), "unlock");
}

TEST_F(DeviceOperationsTest, NoDataQuestionIsAskedEvenWhenConfirmationsAreSuppressed) {
    Select("kt_dev_full");
    GlobalConfig->SetBool("Device", "SuppressConfirm", true);
    Lib().lastChecksumValue = 5;
    ops->RunCommand(TDeviceCommand::Verify);
    dialogs.shown.clear();

    dialogs.answers = {IDNO};
    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Program), 0);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{NoDataQuestion});
    EXPECT_EQ(ops->DeviceChecksum(), 5u);
    EXPECT_EQ(Lib().operationCalls, 1);

    // Erase asks nothing at all now.
    dialogs.shown.clear();
    GlobalConfig->SetBool("Device", "SuppressSuccessfulMessage", true);
    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Erase), 1);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(Logged("TMainForm: Erase started"));
    EXPECT_TRUE(Logged("TMainForm: Erase ended"));
}

TEST_F(DeviceOperationsTest, FailedReadShowsNoSuccessButStillFinishesTheBufferSteps) {
    Select("kt_dev_min");   // no buffer checksum of its own: the internal sum runs
    Lib().readResult = 2;
    std::vector<std::int32_t> checksums;
    GlobalBuffer->OnChecksumChange = [&](std::int32_t v) { checksums.push_back(v); };

    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Read), 2);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(ops->DeviceChecksum(), 0u);
    EXPECT_TRUE(GlobalBuffer->Untouched) << "a failed read copies nothing into the buffer";
    EXPECT_EQ(checksums, std::vector<std::int32_t>{0});
    EXPECT_TRUE(Logged("Performing internal buffer checksum"));
    EXPECT_NE(std::find(host.events.begin(), host.events.end(), "serial number"), host.events.end());

    // A good read fills the buffer and the sum follows it.
    Lib().readResult = 1;
    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Read), 1);
    std::int32_t sum = 0;
    for (int i = 0; i < 16; ++i) sum += 0x40 + i;
    EXPECT_EQ(checksums.back(), sum);
    EXPECT_EQ(dialogs.Texts().back(), "Read operation successful.");
    GlobalBuffer->OnChecksumChange = nullptr;
}

TEST_F(DeviceOperationsTest, ReadOfADeviceWithoutAChecksumWidthReportsItAndUnlocks) {
    Select("kt_dev_min", 0, 4);
    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Read), 1);
    EXPECT_EQ(dialogs.Texts().back(), "TVirtBuffer: Unknown checksum type!");
    EXPECT_EQ(host.events.back(), "unlock");
}

TEST_F(DeviceOperationsTest, ExceptionInsideTheFrameStillUnlocksAndClearsTheStatus) {
    Select("kt_dev_full");
    host.failRefresh = true;
    EXPECT_THROW(ops->RunCommand(TDeviceCommand::BlankCheck), std::runtime_error);
    EXPECT_EQ(host.events.back(), "unlock");
    EXPECT_EQ(host.events[host.events.size() - 2], "close on");
    EXPECT_EQ(GlobalStatusStack->TopStatus()->text, "Idle");
}

TEST_F(DeviceOperationsTest, DeviceChecksumCommand) {
    EXPECT_FALSE(ops->DeviceChecksumCommand()) << "without a device nothing runs";
    EXPECT_TRUE(host.events.empty());

    Select("kt_dev_full");
    Lib().checksumValue = 0xCAFE;
    EXPECT_TRUE(ops->DeviceChecksumCommand());
    EXPECT_EQ(ops->DeviceChecksum(), 0xCAFEu);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Checksum operation successful."});
    EXPECT_TRUE(Logged("TMainForm: Checksum started"));

    Lib().checksumResult = 0;
    Lib().checksumValue = 1;
    EXPECT_FALSE(ops->DeviceChecksumCommand());
    EXPECT_EQ(ops->DeviceChecksum(), 0xCAFEu);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(Count("TMainForm: Checksum ended"), 2);
}

TEST_F(DeviceOperationsTest, OperationsWithoutADeviceCallNothingAndShowZero) {
    host.shownChecksum = 9;
    GlobalBuffer->SetByte(0, 1);
    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Program), 0);
    EXPECT_EQ(ops->RunCommand(TDeviceCommand::Read), 0);
    EXPECT_EQ(host.shownChecksum, 0u);
    EXPECT_FALSE(ops->Availability().deviceLoaded);
    EXPECT_TRUE(ops->MiscCommands().empty());
    EXPECT_FALSE(ops->ByteSwapButton().offered);
    EXPECT_EQ(ops->Pointers(), TPointerValues{});
    EXPECT_EQ(ops->LeavePointerField(TPointerField::BufferStart, 0x100), TPointerValues{});
    EXPECT_FALSE(ops->ApplySplitsToGeometry());
    EXPECT_EQ(ops->SplitsCaption(), "");
}

TEST_F(DeviceOperationsTest, AvailabilityFollowsTheLibrarysExports) {
    Select("kt_dev_min");
    TCommandAvailability a = ops->Availability();
    EXPECT_TRUE(a.deviceLoaded);
    EXPECT_TRUE(a.read);
    EXPECT_FALSE(a.program || a.erase || a.verify || a.blankCheck);

    ops->ReleaseLibraries();
    Select("kt_dev_full");
    a = ops->Availability();
    for (auto c : {TDeviceCommand::Erase, TDeviceCommand::BlankCheck, TDeviceCommand::Program, TDeviceCommand::Verify,
                   TDeviceCommand::Read}) {
        EXPECT_TRUE(a.Enabled(c)) << DeviceCommandName(c);
    }
}

TEST_F(DeviceOperationsTest, ExtraFunctionsBecomeCommandsWithShortcutsAndDispatchWithoutASuccessBox) {
    Select("kt_dev_full");
    auto commands = ops->MiscCommands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].caption, "Lock");
    EXPECT_EQ(commands[0].tag, 1);
    EXPECT_EQ(commands[0].hint, "");
    EXPECT_EQ(commands[0].glyph, nullptr);
    EXPECT_EQ(commands[0].menuName, "MiscCommand0");
    EXPECT_EQ(commands[0].shortcut, "Ctrl+1");
    EXPECT_EQ(commands[1].caption, "Unlock");
    EXPECT_EQ(commands[1].hint, "Remove the lock");
    EXPECT_NE(commands[1].glyph, nullptr);
    EXPECT_EQ(commands[1].glyphCount, 2);
    EXPECT_EQ(commands[1].shortcut, "Ctrl+2");

    ops->RunMiscFunction(2, "Unlock");
    EXPECT_EQ(Lib().dispatchCount, 1);
    EXPECT_EQ(Lib().dispatched[0], 2);
    EXPECT_TRUE(Logged("TMainForm: Unlock started"));
    EXPECT_TRUE(Logged("TMainForm: Unlock ended"));
    EXPECT_TRUE(dialogs.shown.empty());

    ops->RunMiscFunction(0, "Byte Swap");
    EXPECT_EQ(Lib().dispatchCount, 1) << "tag 0 is the byte-swap button, not a library function";

    // Twelve functions: only the first nine get a Ctrl+digit key.
    static KovMiscFunctRecord many[12];
    for (int i = 0; i < 12; ++i) {
        many[i] = KovMiscFunctRecord{};
        many[i].RecordType = 1;
        std::snprintf(many[i].Name, sizeof many[i].Name, "F%d", i + 1);
        many[i].Identifier = i + 10;
        Lib().misc[i] = &many[i];
    }
    Lib().miscCount = 12;
    ops->RunMiscFunction(1, "Lock");   // the host rebuilds its list after a dispatch
    commands = ops->MiscCommands();
    ASSERT_EQ(commands.size(), 12u);
    EXPECT_EQ(commands[8].shortcut, "Ctrl+9");
    EXPECT_EQ(commands[9].shortcut, "");
    EXPECT_EQ(commands[11].menuName, "MiscCommand11");
}

TEST_F(DeviceOperationsTest, ByteSwapIsOfferedFor16BitDevicesAndChangesWhatTheLibraryGets) {
    Select("kt_dev_full", 8, 4);
    EXPECT_FALSE(ops->ByteSwapButton().offered);

    ops->ReleaseLibraries();
    Select("kt_dev_full", 16, 4);
    TByteSwapButton b = ops->ByteSwapButton();
    EXPECT_TRUE(b.offered);
    EXPECT_FALSE(b.on);
    EXPECT_EQ(b.hint, "Click here to Enable byte swapping");

    for (int i = 0; i < 8; ++i) GlobalBuffer->SetByte(i, static_cast<std::uint8_t>(i + 1));
    ops->ToggleByteSwap();
    b = ops->ByteSwapButton();
    EXPECT_TRUE(b.on);
    EXPECT_EQ(b.hint, "Click here to Disable byte swapping");
    EXPECT_TRUE(GlobalConfig->GetBool("Hidden", "Device", "ByteSwap"));
    GlobalConfig->SetBool("Device", "SuppressConfirm", true);
    ASSERT_EQ(ops->RunCommand(TDeviceCommand::Program), 1);
    const std::vector<unsigned char> sent(Lib().image, Lib().image + 8);
    EXPECT_EQ(sent, (std::vector<unsigned char>{2, 1, 4, 3, 6, 5, 8, 7}));

    ops->ToggleByteSwap();
    EXPECT_FALSE(ops->ByteSwapButton().on);
    GlobalConfig->SetBool("Hidden", "Suppress", "ByteSwap", true);
    EXPECT_FALSE(ops->ByteSwapButton().offered);
}

TEST_F(DeviceOperationsTest, PointerFieldsFollowTheGeometryRules) {
    Select("kt_dev_full", 8, 256);
    EXPECT_EQ(ops->Pointers(), (TPointerValues{0, 255, 0, 255}));

    EXPECT_EQ(ops->LeavePointerField(TPointerField::DeviceStart, 300).deviceStart, 0u);
    EXPECT_EQ(ops->LeavePointerField(TPointerField::DeviceStart, 20), (TPointerValues{20, 255, 0, 255}));
    EXPECT_EQ(ops->LeavePointerField(TPointerField::DeviceEnd, 10).deviceEnd, 20u);
    EXPECT_EQ(ops->LeavePointerField(TPointerField::DeviceEnd, 30), (TPointerValues{20, 30, 0, 255}));

    // The buffer end moves with the start; the buffer grows to hold it and the write window covers it.
    const std::int32_t sizeBefore = GlobalBuffer->Size;
    EXPECT_EQ(ops->LeavePointerField(TPointerField::BufferStart, static_cast<std::uint32_t>(sizeBefore) + 0x100),
              (TPointerValues{20, 30, static_cast<std::uint32_t>(sizeBefore) + 0x100,
                              static_cast<std::uint32_t>(sizeBefore) + 0x1FF}));
    EXPECT_GT(GlobalBuffer->Size, sizeBefore + 0x1FF);
    EXPECT_TRUE(GlobalBuffer->WindowEnabled);
    EXPECT_EQ(GlobalBuffer->WindowLow, sizeBefore + 0x100);
    EXPECT_EQ(GlobalBuffer->WindowHigh, sizeBefore + 0x1FF);
    EXPECT_EQ(host.bufferEnds.back(), static_cast<std::uint32_t>(sizeBefore) + 0x1FF);

    // The buffer end sets the start below it; one that would put the start below 0 is refused.
    EXPECT_EQ(ops->LeavePointerField(TPointerField::BufferEnd, 0x4FF).bufferStart, 0x400u);
    EXPECT_EQ(ops->LeavePointerField(TPointerField::BufferEnd, 0x80).bufferStart, 0x400u);
    EXPECT_TRUE(dialogs.shown.empty());

    // An image beyond the largest buffer address is refused with a message; nothing is allocated.
    const std::int32_t sizeNow = GlobalBuffer->Size;
    EXPECT_EQ(ops->LeavePointerField(TPointerField::BufferStart, 0x7FFFFF80).bufferStart, 0x400u);
    EXPECT_EQ(ops->LeavePointerField(TPointerField::BufferEnd, 0xFFFFFFFF).bufferStart, 0x400u);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_NE(dialogs.shown[0].text.find("8000007F"), std::string::npos) << dialogs.shown[0].text;
    EXPECT_EQ(GlobalBuffer->Size, sizeNow);
    EXPECT_EQ(GlobalBuffer->WindowLow, 0x400);
}

TEST_F(DeviceOperationsTest, SplitsFromTheSessionReachTheGeometryAndTheCaption) {
    Select("kt_dev_full", 16, 4);
    ASSERT_FALSE(host.splitsTold.empty());
    EXPECT_TRUE(host.splitsTold.back());

    GlobalConfig->SetInt("SplitsSets", "SplitsCols", 9);
    GlobalConfig->SetInt("SplitsSets", "SplitsRows", 0);
    ops->SplitsFromSession();
    EXPECT_EQ(ops->Splits.Values(), (TSplitsSets{1, 1, 1, 1}));

    GlobalConfig->SetInt("SplitsSets", "SplitsCols", 2);
    GlobalConfig->SetInt("SplitsSets", "SplitsRows", 2);
    ops->SplitsFromSession();
    ops->Splits.SelectDevice(2, 2);
    EXPECT_TRUE(ops->ApplySplitsToGeometry());
    EXPECT_EQ(ops->SplitsCaption(), "Splits(2:2) and Sets(2:2)");
    // 16-bit words, 2 splits, 2 sets of 4 words: the image is bytes 0 to 31.
    EXPECT_EQ(ops->Pointers(), (TPointerValues{0, 3, 0, 31}));
    EXPECT_EQ(GlobalDevDLL->Geometry()->RangeStart(), 18u);

    // What the device gets: its words from the second lane of the second set.
    for (int i = 0; i < 32; ++i) GlobalBuffer->SetByte(i, static_cast<std::uint8_t>(i));
    GlobalConfig->SetBool("Device", "SuppressConfirm", true);
    ASSERT_EQ(ops->RunCommand(TDeviceCommand::Program), 1);
    EXPECT_EQ(std::vector<unsigned char>(Lib().image, Lib().image + 8),
              (std::vector<unsigned char>{18, 19, 22, 23, 26, 27, 30, 31}));

    ops->Splits.SetSplits(1);
    ops->StoreSplitsInSession();
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsCols"), 1);
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsRows"), 2);

    // A library switching splits off is passed on to the window.
    GlobalDevDLL->Geometry()->SetSplits(9);
    EXPECT_FALSE(host.splitsTold.back());
}

TEST_F(DeviceOperationsTest, SplitsThatWouldLeaveTheBufferRangeAreRefused) {
    Select("kt_dev_full", 32, 0x1000000);   // 64 MiB per device, 4 GiB for all of them
    ops->Splits.SetSplits(8);
    ops->Splits.SetSets(8);
    ops->Splits.SelectDevice(3, 2);
    EXPECT_FALSE(ops->ApplySplitsToGeometry());
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(ops->SplitsCaption(), "Splits(1:1) and Sets(1:1)");
    EXPECT_EQ(ops->Splits.Values(), (TSplitsSets{1, 1, 1, 1})) << "the dialog shows what is in force";
}

TEST_F(DeviceOperationsTest, SelectionRestoresThePointerLockOnlyWhenItFails) {
    GlobalConfig->SetBool("Hidden", "Suppress", "DevicePointers", true);
    ops->BeginDeviceSelection();
    EXPECT_FALSE(ops->PointersLocked());
    ops->EndDeviceSelection(false);
    EXPECT_TRUE(ops->PointersLocked());

    GlobalConfig->SetBool("Hidden", "Device", "AutoSecure", true);
    ops->BeginDeviceSelection();
    Select("kt_dev_full");
    ops->EndDeviceSelection(true);
    EXPECT_FALSE(ops->PointersLocked());
    EXPECT_FALSE(GlobalConfig->GetBool("Hidden", "Device", "AutoSecure"));
    EXPECT_TRUE(Logged("Calling Device DLL to perform buffer checksum"));
}

TEST_F(DeviceOperationsTest, ReleaseDestroysTheDeviceHostAndTurnsTheProgrammerOff) {
    KtProgrammer programmer("kt_prog_full");
    ops->ProgLib = std::make_unique<TProgDLL>(programmer.path, "TORMEX");
    ASSERT_TRUE(ops->ProgLib->IsLoaded());
    Select("kt_dev_full");
    ops->ReleaseLibraries();
    EXPECT_EQ(GlobalDevDLL, nullptr);
    EXPECT_EQ(ops->ProgLib, nullptr);
    EXPECT_EQ(programmer.control->turnOffCalls, 1);
}

}  // namespace
