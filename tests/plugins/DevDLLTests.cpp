#include <memory>

#include "PluginTestSupport.h"
#include "branding/Edition.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/KovError.h"
#include "core/MessageCodes.h"
#include "plugins/DevDLL.h"
#include "plugins/ProgDLL.h"

namespace {

std::string ConstructionError(const std::string& path, TProgDLL* prog = nullptr) {
    try {
        TDevDLL host(path, prog);
    } catch (const KovError& e) {
        return e.what();
    }
    return {};
}

std::string Bytes(const unsigned char* data, std::size_t n) {
    std::string text;
    char hex[4];
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(hex, sizeof hex, "%02X ", data[i]);
        text += hex;
    }
    if (!text.empty()) text.pop_back();
    return text;
}

// A selected device of the contract-test library: `words` words of `width` bits.
class DevDLLTest : public HostTest {
protected:
    std::unique_ptr<TDevDLL> Select(KtDevice& lib, int width, std::uint32_t words) {
        lib.control->wordSize = width;
        lib.control->deviceSize = words;
        auto host = std::make_unique<TDevDLL>(lib.path, nullptr);
        EXPECT_TRUE(host->SelectDevice("KT93C46", "KtMicro", "SOIC", 8, width));
        return host;
    }
    void FillBuffer(int count) {
        for (int i = 0; i < count; ++i) GlobalBuffer->SetByte(i, static_cast<std::uint8_t>(i));
    }
    std::string BufferBytes(int first, int count) { return Bytes(GlobalBuffer->Data + first, count); }
    std::string Marker(const KtDeviceControl& c, std::size_t at) {
        return std::string(reinterpret_cast<const char*>(c.image) + at, TDevDLL::FencepostSize);
    }
};

class DevDLLDebugTest : public DevDLLTest {
protected:
    bool StartInDebugMode() const override { return true; }
};

TEST_F(DevDLLTest, ConstructionFailuresRaiseTheirMessages) {
    EXPECT_EQ(ConstructionError(""), "TDevDLL called with blank 'Lib' parameter");

    const std::string missing = (temp / "devs" / "absent.so").string();
    const std::string loadError = ConstructionError(missing);
    const std::string head = "Unable to load library " + missing + "\nLoadLibrary call did not return a valid value.\n" +
                             "The error was: '";
    ASSERT_EQ(loadError.substr(0, head.size()), head);
    EXPECT_NE(loadError.find("absent.so"), std::string::npos);
    EXPECT_EQ(loadError.back(), '\'');

    KtDevice noSize("kt_dev_no_size");
    EXPECT_EQ(ConstructionError(noSize.path), "Unable to initialize device library (" + noSize.path + ")");
    EXPECT_EQ(noSize.control->frame.calls, 0);

    KtProgrammer prog("kt_prog_full");
    TProgDLL programmer(prog.path, EditionId);
    KtDevice refusesProg("kt_dev_refuse_prog");
    EXPECT_EQ(ConstructionError(refusesProg.path, &programmer),
              "Unable to initialize device library (" + refusesProg.path + ") with programmer library");
    EXPECT_EQ(refusesProg.control->frame.calls, 0);
    // Without a programmer library there is nothing to refuse.
    EXPECT_EQ(ConstructionError(refusesProg.path), "");

    KtDevice refusesFrame("kt_dev_refuse_frame");
    EXPECT_EQ(ConstructionError(refusesFrame.path),
              "Unable to initialize device library (" + refusesFrame.path + ") with framework struct");
    EXPECT_TRUE(dialogs.shown.empty());   // reports only in debug mode
}

TEST_F(DevDLLDebugTest, RefusedFrameworkStructureIsReportedInDebugMode) {
    KtDevice refusesFrame("kt_dev_refuse_frame");
    EXPECT_EQ(ConstructionError(refusesFrame.path),
              "Unable to initialize device library (" + refusesFrame.path + ") with framework struct");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    const auto& box = dialogs.shown[0];
    EXPECT_EQ(box.text.rfind("TDevDLL: SetupFrameStructP failed (DevDLL.cpp:", 0), 0u) << box.text;
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.flags, MB_ICONEXCLAMATION);
    EXPECT_TRUE(Logged(box.text));
}

TEST_F(DevDLLTest, BindsToTheProgrammerLibraryBeforeTheFrameworkStructure) {
    KtProgrammer prog("kt_prog_full");
    TProgDLL programmer(prog.path, EditionId);
    KtDevice lib("kt_dev_full");
    TDevDLL host(lib.path, &programmer);
    EXPECT_EQ(host.ProgLib(), &programmer);
    EXPECT_EQ(lib.control->setupProgCalls, 1);
    EXPECT_EQ(std::string(lib.control->progPath), prog.path);
    EXPECT_EQ(lib.control->frameworkBeforeProg, 0);
    EXPECT_EQ(lib.control->frame.calls, 1);
    EXPECT_TRUE(Logged("TDevDLL:kt_dev_full.so expects framework structure version #7"));

    TDevDLL unbound(lib.path, nullptr);
    EXPECT_EQ(lib.control->setupProgCalls, 1);
}

TEST_F(DevDLLTest, UnderscoreExportsAreFound) {
    KtDevice lib("kt_dev_underscore");
    auto host = Select(lib, 8, 4);
    EXPECT_TRUE(host->HasProgram());
    EXPECT_TRUE(host->HasBufferChecksum());
    EXPECT_EQ(host->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 5), "40 41 42 43 00");
    EXPECT_EQ(host->MiscFunctionCount(), 2);
}

TEST_F(DevDLLTest, EnumerationOffersRecordsThatSuitTheProgrammer) {
    KtDevice lib("kt_dev_full");
    TDevDLL host(lib.path, nullptr);
    auto names = [&](int id) {
        host.SetProgrammerId(id);
        std::vector<TLibraryDeviceRecord> list;
        host.EnumerateDevices(list);
        std::string text;
        for (const auto& r : list) text += (text.empty() ? "" : " ") + r.deviceName;
        return text;
    };
    EXPECT_EQ(names(4), "KT27C256 KT29F010 KT24C02");
    EXPECT_EQ(names(2), "KT29F010 KT24C02");
    EXPECT_EQ(names(6), "KT29F010 KT24C02");
    EXPECT_EQ(names(1), "KT93C46 KT24C02");
    EXPECT_EQ(names(8), "KT24C02");
    EXPECT_EQ(lib.control->resetDeviceCalls, 5);

    host.SetProgrammerId(2);
    std::vector<TLibraryDeviceRecord> list{TLibraryDeviceRecord{}};
    EXPECT_EQ(host.EnumerateDevices(list), 1) << "KTFUTURE, of record type 3, is counted, not listed";
    ASSERT_EQ(list.size(), 3u);   // appended
    const TLibraryDeviceRecord& flash = list[1];
    EXPECT_EQ(flash.recordType, 2);
    EXPECT_EQ(flash.manufacturer, "KtSemi");
    EXPECT_EQ(flash.deviceType, "FLASH");
    EXPECT_EQ(flash.dataWidth, 8);
    EXPECT_EQ(flash.package, "PLCC");
    EXPECT_EQ(flash.pinCount, 32);
    EXPECT_EQ(flash.programmerMask, 0x06u);
    EXPECT_EQ(flash.library, lib.path);
}

TEST_F(DevDLLTest, RecordsAreReadWithinTheirFields) {
    KtDevice lib("kt_dev_full");
    TDevDLL host(lib.path, nullptr);

    KovDeviceRecord full;
    std::memset(&full, 'x', sizeof full);
    full.RecordType = 1;
    std::memset(full.DeviceName, 'N', sizeof full.DeviceName);
    std::memset(full.Manufacturer, 'M', sizeof full.Manufacturer);
    std::memset(full.DeviceType, 'T', sizeof full.DeviceType);
    std::memset(full.Package, 'P', sizeof full.Package);
    full.DataWidth = 16;
    full.PinCount = 40;
    GuardedRecord type1;
    GuardedRecord type2;
    GuardedRecord type9;
    KovDeviceRecord second = full;
    second.RecordType = 2;
    second.ProgrammerMask = 0x0F;
    KovDeviceRecord unknown = full;
    unknown.RecordType = 9;
    lib.control->records[0] = type1.At(full, KOV_DEVICE_RECORD_TYPE1_SIZE);   // a type 1 record has no mask
    lib.control->records[1] = type2.At(second, KOV_DEVICE_RECORD_TYPE2_SIZE);
    lib.control->records[2] = type9.At(unknown, sizeof(std::int32_t));
    lib.control->recordCount = 3;

    std::vector<TLibraryDeviceRecord> list;
    host.SetProgrammerId(4);
    EXPECT_EQ(host.EnumerateDevices(list), 1) << "the record of type 9 is counted, not listed";
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].deviceName, std::string(64, 'N'));
    EXPECT_EQ(list[0].manufacturer, std::string(64, 'M'));
    EXPECT_EQ(list[0].deviceType, std::string(16, 'T'));
    EXPECT_EQ(list[0].package, std::string(16, 'P'));
    EXPECT_EQ(list[0].dataWidth, 16);
    EXPECT_EQ(list[0].pinCount, 40);
    EXPECT_EQ(list[0].programmerMask, 4u);
    EXPECT_EQ(list[1].programmerMask, 0x0Fu);
}

TEST_F(DevDLLTest, SelectionPassesCutStringsAndSetsUpTheGeometry) {
    KtDevice lib("kt_dev_full");
    TDevDLL host(lib.path, nullptr);
    std::vector<bool> told;
    host.SetGeometryListener(
        [](void* context, TDevGeometry*, bool valid, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {
            static_cast<std::vector<bool>*>(context)->push_back(valid);
        },
        &told);
    lib.control->wordSize = 12;
    lib.control->deviceSize = 256;
    lib.control->selectResult = 0x101;
    ASSERT_TRUE(host.SelectDevice(std::string(60, 'd'), std::string(55, 'm'), std::string(20, 'p'), 28, 12));
    EXPECT_TRUE(Logged("TDevDLL: Calling SelectDevice with: " + std::string(55, 'm') + " " + std::string(60, 'd') +
                       " " + std::string(20, 'p') + " 28 12"));
    EXPECT_EQ(std::string(lib.control->selName), std::string(49, 'd'));
    EXPECT_EQ(std::string(lib.control->selMaker), std::string(49, 'm'));
    EXPECT_EQ(std::string(lib.control->selPackage), std::string(14, 'p'));
    EXPECT_EQ(lib.control->selPins, 28);
    EXPECT_EQ(lib.control->selWidth, 12);
    EXPECT_EQ(host.SelectedDeviceName(), std::string(49, 'd'));
    EXPECT_EQ(host.SelectedPackage(), std::string(14, 'p'));
    EXPECT_EQ(host.SelectedPinCount(), "28");
    EXPECT_EQ(told, std::vector<bool>{true});
    ASSERT_NE(host.Geometry(), nullptr);
    EXPECT_EQ(host.Geometry()->WordWidth(), 12u);
    EXPECT_EQ(host.Geometry()->BytesPerWord(), 2u);
    EXPECT_EQ(host.Geometry()->DeviceEnd(), 255u);
    EXPECT_EQ(host.MiscFunctionCount(), 2);

    // A new selection starts from a reset geometry.
    host.Geometry()->SetSplits(2);
    host.Geometry()->SetDeviceStart(10);
    lib.control->selectResult = 2;
    EXPECT_FALSE(host.SelectDevice("KT27C256", "KtSemi", "DIP", 28, 8));
    EXPECT_EQ(host.Geometry()->Splits(), 1u);
    EXPECT_EQ(host.Geometry()->DeviceStart(), 0u);
}

TEST_F(DevDLLTest, ReadHandsOverAnErasedImageWithTheMarker) {
    KtDevice minimal("kt_dev_min");
    auto host = Select(minimal, 8, 4);
    EXPECT_FALSE(host->HasProgram());
    EXPECT_EQ(host->Read(GlobalBuffer), 1);
    EXPECT_TRUE(Logged("TDevDLL: Calling into Device DLL"));
    EXPECT_EQ(Bytes(minimal.control->readImage, 4), "FF FF FF FF");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(minimal.control->readImage) + 4, 18),
              std::string("ZEBRAQUILTMARROW.\0", 18));
    EXPECT_EQ(host->EraseValue(), -1);

    KtDevice lib("kt_dev_full");
    struct Case {
        int width;
        std::uint32_t erase;
        const char* word;
    };
    for (const Case& c : {Case{16, 0xFFFF, "FF FF"}, Case{16, 0, "00 00"}, Case{24, 0x12345678, "78 56 34"},
                          Case{40, 0x12345678, "78 56 34 12 78"}}) {
        SCOPED_TRACE(c.width);
        lib.control->eraseValue = c.erase;
        auto device = Select(lib, c.width, 2);
        lib.control->eraseValueCalls = 0;
        ASSERT_EQ(device->Read(GlobalBuffer), 1);
        device->Read(GlobalBuffer);
        EXPECT_EQ(lib.control->eraseValueCalls, 1);   // asked once per host
        const std::size_t bytes = (c.width + 7) / 8;
        EXPECT_EQ(Bytes(lib.control->readImage, bytes), c.word);
        EXPECT_EQ(Bytes(lib.control->readImage + bytes, bytes), c.word);
    }
}

TEST_F(DevDLLTest, FailedReadLeavesTheBufferUnlessPartialDataIsAllowed) {
    KtDevice lib("kt_dev_full");
    auto host = Select(lib, 8, 8);
    FillBuffer(8);
    lib.control->readResult = 3;
    lib.control->readBytes = 2;
    EXPECT_EQ(host->Read(GlobalBuffer), 3);
    EXPECT_EQ(BufferBytes(0, 8), "00 01 02 03 04 05 06 07");

    GlobalConfig->SetBool("UserAbort", "AllowUpdateBuffer", true);
    EXPECT_EQ(host->Read(GlobalBuffer), 3);
    EXPECT_EQ(BufferBytes(0, 8), "40 41 FF FF FF FF FF FF");
}

TEST_F(DevDLLTest, WritingPastTheImageStillDeliversTheData) {
    KtDevice lib("kt_dev_overrun");
    auto host = Select(lib, 8, 4);
    EXPECT_EQ(host->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 5), "40 41 42 43 00");
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(DevDLLDebugTest, WritingPastTheImageIsReportedInDebugMode) {
    KtDevice lib("kt_dev_overrun");
    auto host = Select(lib, 8, 4);
    EXPECT_EQ(host->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 5), "40 41 42 43 00");
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text.rfind("TDevDLL: Memory fencepost overwritten in " + lib.path + " (DevDLL.cpp:", 0),
              0u)
        << dialogs.shown[0].text;
    EXPECT_TRUE(Logged(dialogs.shown[0].text));

    // Program and Verify do not look at the marker.
    dialogs.shown.clear();
    KtDevice full("kt_dev_full");
    auto other = Select(full, 8, 4);
    EXPECT_EQ(other->Program(GlobalBuffer), 1);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(DevDLLTest, ProgramAndVerifyTakeTheDeviceWordsFromTheBuffer) {
    KtDevice lib("kt_dev_full");
    auto host = Select(lib, 16, 4);
    FillBuffer(32);
    ASSERT_EQ(host->Program(GlobalBuffer), 1);
    EXPECT_EQ(lib.control->imageLength, 8 + 18);
    EXPECT_EQ(Bytes(lib.control->image, 8), "00 01 02 03 04 05 06 07");
    EXPECT_EQ(Marker(*lib.control, 8), std::string("ZEBRAQUILTMARROW.\0", 18));
    EXPECT_EQ(lib.control->lastStart, 0u);
    EXPECT_EQ(lib.control->lastEnd, 3u);

    // Byte swapping exchanges the bytes of each pair of buffer addresses.
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", true);
    lib.control->verifyResult = 0;
    EXPECT_EQ(host->Verify(GlobalBuffer), 0);
    EXPECT_EQ(Bytes(lib.control->image, 8), "01 00 03 02 05 04 07 06");
    GlobalConfig->SetBool("Hidden", "Suppress", "ByteSwap", true);
    host->Program(GlobalBuffer);
    EXPECT_EQ(Bytes(lib.control->image, 8), "00 01 02 03 04 05 06 07");
    GlobalConfig->SetBool("Hidden", "Suppress", "ByteSwap", false);

    // Read with swapping puts device byte 0 at buffer address 1.
    EXPECT_EQ(host->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 9), "41 40 43 42 45 44 47 46 08");

    // The device pointers choose the words.
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", false);
    host->Geometry()->SetDeviceStart(1);
    host->Geometry()->SetDeviceEnd(2);
    host->Program(GlobalBuffer);
    EXPECT_EQ(lib.control->lastStart, 1u);
    EXPECT_EQ(lib.control->lastEnd, 2u);
    EXPECT_EQ(lib.control->imageLength, 4 + 18);
}

TEST_F(DevDLLTest, SplitsGatherAndScatterEveryOtherWord) {
    KtDevice lib("kt_dev_full");
    auto host = Select(lib, 16, 4);
    FillBuffer(32);
    host->Geometry()->SetSplits(2);
    host->Geometry()->SetSplitNumber(2);
    ASSERT_EQ(host->Program(GlobalBuffer), 1);
    EXPECT_EQ(Bytes(lib.control->image, 8), "02 03 06 07 0A 0B 0E 0F");

    ASSERT_EQ(host->Read(GlobalBuffer), 1);
    EXPECT_EQ(BufferBytes(0, 17), "00 01 40 41 04 05 42 43 08 09 44 45 0C 0D 46 47 10");

    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", true);
    host->Verify(GlobalBuffer);
    EXPECT_EQ(Bytes(lib.control->image, 8), "41 40 43 42 45 44 47 46");
}

TEST_F(DevDLLTest, DeviceRangeBeyondTheStorageGrowsTheBufferFirst) {
    KtDevice lib("kt_dev_full");
    auto host = Select(lib, 8, 16);
    const std::int32_t size = GlobalBuffer->Size;
    GlobalBuffer->SetByte(size - 2, 0xAA);
    GlobalBuffer->SetByte(size - 1, 0xBB);
    host->Geometry()->SetBufferStart(static_cast<std::uint32_t>(size - 2));
    ASSERT_EQ(host->Program(GlobalBuffer), 1);
    EXPECT_EQ(Bytes(lib.control->image, 4), "AA BB 00 00");
    EXPECT_GT(GlobalBuffer->Size, size);

    // The same range through the word-by-word path gives the same image.
    GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", true);
    host->Geometry()->SetBufferStart(static_cast<std::uint32_t>(size - 2));
    host->Program(GlobalBuffer);
    EXPECT_EQ(Bytes(lib.control->image, 4), "BB AA 00 00");
}

TEST_F(DevDLLDebugTest, DeviceRangeThatNoBufferAddressReachesIsRefused) {
    KtDevice lib("kt_dev_full");
    auto host = Select(lib, 8, 16);
    host->Geometry()->SetBufferStart(0x7FFFFFF8u);
    EXPECT_EQ(host->Program(GlobalBuffer), 0);
    EXPECT_EQ(host->Read(GlobalBuffer), 0);
    EXPECT_EQ(host->BufferChecksum(GlobalBuffer), 0u);
    EXPECT_EQ(lib.control->operationCalls, 0);
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown[0].text.rfind("TDevDLL: Device range lies beyond the buffer", 0), 0u);
}

// Inside a running Read, the library's message box lets the user start another operation.
class NestingPort : public ScriptedDialogPort {
public:
    int MessageBox(const std::string& text, const std::string& caption, int flags) override {
        const int answer = ScriptedDialogPort::MessageBox(text, caption, flags);
        if (text == "kt box" && GlobalDevDLL) nestedResult = GlobalDevDLL->Verify(GlobalBuffer);
        return answer;
    }
    int nestedResult = -1;
};

TEST_F(DevDLLDebugTest, OperationStartedDuringAnotherIsRefusedAndTheFirstCompletes) {
    NestingPort port;
    SetDialogPort(&port);
    KtDevice lib("kt_dev_full");
    auto host = Select(lib, 8, 4);
    lib.control->callbacks = 1;
    GlobalDevDLL = host.get();
    EXPECT_EQ(host->Read(GlobalBuffer), 1);
    EXPECT_EQ(port.nestedResult, 0);
    EXPECT_EQ(lib.control->operationCalls, 1);
    bool reported = false;
    for (const auto& text : port.Texts()) reported |= text.rfind("TDevDLL: Buffer requested, but buffer already exists", 0) == 0;
    EXPECT_TRUE(reported);
    EXPECT_EQ(BufferBytes(0, 4), "40 41 42 43");
    SetDialogPort(&dialogs);
    host.reset();
    EXPECT_EQ(GlobalDevDLL, nullptr);   // the host clears the global reference to itself
}

TEST_F(DevDLLTest, ChecksumsComeFromTheLibrary) {
    KtDevice lib("kt_dev_full");
    auto host = Select(lib, 8, 4);
    FillBuffer(4);
    lib.control->checksumValue = 5;
    std::uint32_t value = 0xDEAD;
    EXPECT_TRUE(host->DeviceChecksum(&value));
    EXPECT_EQ(value, 5u);   // zeroed before the call
    lib.control->checksumResult = 0;
    EXPECT_FALSE(host->DeviceChecksum(&value));
    EXPECT_FALSE(host->DeviceChecksum(nullptr));

    lib.control->lastChecksumValue = 0xCAFE;
    EXPECT_EQ(host->LastChecksum(), 0xCAFEu);
    lib.control->lastChecksumResult = 0;
    EXPECT_EQ(host->LastChecksum(), 0u);

    EXPECT_EQ(host->BufferChecksum(GlobalBuffer), 0u + 1 + 2 + 3);
    lib.control->bufferChecksumResult = 0;
    EXPECT_EQ(host->BufferChecksum(GlobalBuffer), 0u);

    KtDevice minimal("kt_dev_min");
    auto bare = Select(minimal, 8, 4);
    EXPECT_FALSE(bare->HasBufferChecksum());
    EXPECT_FALSE(bare->DeviceChecksum(&value));
    EXPECT_EQ(bare->LastChecksum(), 0u);
    EXPECT_EQ(bare->BufferChecksum(GlobalBuffer), 0u);
}

TEST_F(DevDLLTest, OperationsWithoutExportsOrSelectionReturnZero) {
    KtDevice lib("kt_dev_full");
    TDevDLL unselected(lib.path, nullptr);
    EXPECT_EQ(unselected.Read(GlobalBuffer), 0);
    EXPECT_EQ(unselected.Program(GlobalBuffer), 0);
    EXPECT_EQ(unselected.Erase(), 0);
    EXPECT_EQ(unselected.BlankCheck(), 0);
    EXPECT_EQ(lib.control->operationCalls, 0);

    auto host = Select(lib, 8, 4);
    lib.control->eraseResult = 7;
    EXPECT_EQ(host->Erase(), 7);
    lib.control->blankResult = 0;
    EXPECT_EQ(host->BlankCheck(), 0);
    EXPECT_EQ(host->Read(nullptr), 0);

    KtDevice minimal("kt_dev_min");
    auto bare = Select(minimal, 8, 4);
    EXPECT_FALSE(bare->HasErase() || bare->HasVerify() || bare->HasBlankCheck() || bare->HasProgram());
    EXPECT_TRUE(bare->HasRead());
    EXPECT_EQ(bare->Erase(), 0);
    EXPECT_EQ(bare->BlankCheck(), 0);
    EXPECT_EQ(bare->Program(GlobalBuffer), 0);
    EXPECT_EQ(bare->Verify(GlobalBuffer), 0);
    EXPECT_EQ(bare->MiscFunctionCount(), 0);
}

TEST_F(DevDLLTest, DispatchRebuildsTheExtraFunctions) {
    KtDevice lib("kt_dev_full");
    auto host = Select(lib, 8, 4);
    ASSERT_EQ(host->MiscFunctionCount(), 2);
    EXPECT_EQ(host->MiscFunction(0)->Name(), "Lock");
    EXPECT_EQ(host->MiscFunction(2), nullptr);
    EXPECT_EQ(host->MiscFunction(-1), nullptr);

    lib.control->miscCount = 0;   // the function takes itself away
    host->DispatchMiscFunction(host->MiscFunction(0)->Identifier());
    EXPECT_EQ(lib.control->dispatchCount, 1);
    EXPECT_EQ(lib.control->dispatched[0], 1);
    EXPECT_EQ(host->MiscFunctionCount(), 0);

    // A list that never ends is cut off instead of hanging the selection.
    lib.control->miscEndless = 1;
    host->DispatchMiscFunction(1);
    EXPECT_EQ(host->MiscFunctionCount(), TDevDLL::MaxMiscFunctionRecords);
    EXPECT_TRUE(Logged("Device library " + lib.path + " lists more than 1024 extra functions; the rest is not offered."));
}

}  // namespace
