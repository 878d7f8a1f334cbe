#include <cstring>
#include <memory>

#include "PluginTestSupport.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/KovError.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "plugins/DevDLL.h"
#include "plugins/Framestruct.h"

namespace {

// What each slot of a version holds: E entry point, 0 zero or null, I inert entry.
// Indexed by version, slot by slot, from slot 2 on (0 and 1 are version and size).
const char* const Layout[8] = {
    nullptr,
    "EEE0",                              // 1
    "EEEE0",                             // 2: ReservedZeroP
    "EEEEEEE00",                         // 3: null at slot 9
    "EEEEEEE0II0",                       // 4
    "EEEEEEII" "EEEEEEEEEEEEEEEE" "0",   // 5
    "EEEEEEEEEEEEEEEEEEEEEEEE0",         // 6
    "EEEEEEEEEEEEEEEEEEEEEEEEEEE0",      // 7
};
const int ByteSizes32[8] = {0, 24, 28, 44, 52, 108, 108, 120};

TEST(FrameStructLayout, EachVersionHasItsSlots) {
    std::unique_ptr<FrameStruct> v7 = BuildFrameStruct(7);
    std::unique_ptr<FrameStruct> v4 = BuildFrameStruct(4);
    const KovInertFn* inert = v4->Slots[KOV_FS4_Inert1].Entry;
    for (int version = 1; version <= 7; ++version) {
        SCOPED_TRACE(version);
        std::unique_ptr<FrameStruct> fs = BuildFrameStruct(version);
        ASSERT_TRUE(fs);
        EXPECT_EQ(fs->Head.StructVersion, version);
        // The published sizes are those of 4-byte slots; each slot is pointer-sized here.
        EXPECT_EQ(fs->Head.StructSize, ByteSizes32[version] / 4 * static_cast<intptr_t>(sizeof(void*)));
        const std::string layout = Layout[version];
        ASSERT_EQ(static_cast<std::size_t>(fs->Head.StructSize / sizeof(KovFrameSlot)), layout.size() + 2);
        for (std::size_t i = 0; i < layout.size(); ++i) {
            const KovFrameSlot& slot = fs->Slots[i + 2];
            SCOPED_TRACE(i + 2);
            if (layout[i] == '0') {
                EXPECT_EQ(slot.Value, 0);
            } else if (layout[i] == 'E') {
                EXPECT_NE(slot.Entry, nullptr);
                EXPECT_NE(slot.Entry, inert);
            } else {
                EXPECT_EQ(slot.Entry, inert);
            }
        }
        for (int i = static_cast<int>(layout.size()) + 2; i < KOV_FRAME_MAX_SLOTS; ++i) EXPECT_EQ(fs->Slots[i].Value, 0);
    }
    EXPECT_NE(inert, nullptr);

    // The same entry keeps its function wherever a version puts it.
    std::unique_ptr<FrameStruct> v5 = BuildFrameStruct(5);
    std::unique_ptr<FrameStruct> v6 = BuildFrameStruct(6);
    EXPECT_EQ(v5->V5.WriteStringP, v6->V6.WriteStringP);
    EXPECT_EQ(v5->Slots[10].Entry, v6->Slots[8].Entry);
    EXPECT_EQ(v5->V5.ReadFloat3P, v7->V7.ReadFloat3P);
    EXPECT_EQ(v4->V4.ReadStringP, v7->V7.ReadStringP);
    EXPECT_NE(v6->V6.PushStatusP, nullptr);
    EXPECT_EQ(v5->V5.Inert1, v5->V5.Inert2);
    v5->V5.Inert1();   // does nothing, harmlessly
}

class FrameStructTest : public HostTest {};

TEST_F(FrameStructTest, VersionsOutsideOneTo64AreRefused) {
    for (int version : {-1, 0, 65, 1000}) {
        EXPECT_EQ(BuildFrameStruct(version), nullptr) << version;
    }
    EXPECT_TRUE(Logged("Error: Framework Structure possibly corrupted.  "));
}

TEST_F(FrameStructTest, VersionsEightTo64GetVersionSeven) {
    for (int version : {8, 9, 64}) {
        SCOPED_TRACE(version);
        std::unique_ptr<FrameStruct> fs = BuildFrameStruct(version);
        ASSERT_TRUE(fs);
        EXPECT_EQ(fs->Head.StructVersion, 7);
        EXPECT_EQ(fs->Head.StructSize, KOV_FRAME_SIZE(KOV_FS7_SLOTS));
        EXPECT_NE(fs->V7.ProgressStepP, nullptr);
        EXPECT_TRUE(Logged("Warning: Framework Structure version #" + std::to_string(version) + " not supported. "));
    }
    EXPECT_TRUE(Logged("Passing framework structure version #7 instead."));
}

// Each contract-test library asks for one version and, inside ReadDevice, calls every entry point
// its version has, with proper arguments and with null strings.
struct VersionCase {
    const char* library;
    int asked;
    int received;   // 0: refused
};

class FrameStructVersions : public HostTest, public ::testing::WithParamInterface<VersionCase> {};

struct ListenerLog {
    std::vector<std::string> events;
    static void Tell(void* context, TDevGeometry*, bool valid, std::uint32_t splitNumber, std::uint32_t splits,
                     std::uint32_t setNumber, std::uint32_t sets) {
        static_cast<ListenerLog*>(context)->events.push_back(
            std::string(valid ? "valid " : "invalid ") + std::to_string(splitNumber) + "/" + std::to_string(splits) +
            " " + std::to_string(setNumber) + "/" + std::to_string(sets));
    }
};

struct StatusLog : TStatusListener {
    std::vector<std::string> texts;
    void StatusChanged(int, const std::string& text, const void*) override { texts.push_back(text); }
};

TEST_P(FrameStructVersions, LibraryGetsItsVersionAndEveryEntryWorks) {
    const VersionCase& c = GetParam();
    KtDevice lib(c.library);
    const std::string file = std::string(c.library) + ".so";

    if (c.received == 0) {
        try {
            TDevDLL host(lib.path, nullptr);
            FAIL() << "a library asking for version " << c.asked << " was accepted";
        } catch (const KovError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to initialize device library (" + lib.path + ") with framework struct");
        }
        EXPECT_EQ(lib.control->frame.calls, 0);
        EXPECT_TRUE(Logged("Error: Framework Structure possibly corrupted.  "));
        EXPECT_TRUE(Logged("TDevDLL:" + file + " expects framework structure version #" + std::to_string(c.asked)));
        return;
    }

    auto host = std::make_unique<TDevDLL>(lib.path, nullptr);
    EXPECT_TRUE(Logged("TDevDLL:" + file + " expects framework structure version #" + std::to_string(c.asked)));
    ASSERT_EQ(lib.control->frame.calls, 1);
    EXPECT_EQ(lib.control->frame.version, c.received);

    ListenerLog listener;
    StatusLog status;
    GlobalStatusStack->AddStatusListener(&status);
    host->SetGeometryListener(&ListenerLog::Tell, &listener);
    lib.control->wordSize = 16;
    lib.control->readResult = 0;   // keep what the entries wrote into the buffer
    dialogs.answers = {IDNO};
    GlobalDevDLL = host.get();
    ASSERT_TRUE(host->SelectDevice("KT93C46", "KtMicro", "SOIC", 8, 16));
    listener.events.clear();
    EXPECT_EQ(host->Read(GlobalBuffer), 0);
    GlobalStatusStack->RemoveStatusListener(&status);

    const KtCallbackResults& r = lib.control->callback;
    ASSERT_EQ(r.ran, 1);
    EXPECT_TRUE(Logged("kt callback log"));
    EXPECT_EQ(r.wordRead, 0x1234u);
    EXPECT_EQ(GlobalBuffer->Data[6], 0x34);
    EXPECT_EQ(GlobalBuffer->Data[7], 0x12);
    const int v = c.received;
    EXPECT_EQ(r.reservedZero, 0);
    if (v >= 3) {
        EXPECT_EQ(r.byteRead, 0xAB);
        EXPECT_EQ(r.byteReadNegative, 0);
        EXPECT_EQ(GlobalBuffer->Data[0x10], 0xAB);
        EXPECT_STREQ(r.stringRead, "value");
        EXPECT_EQ(r.stringReadNullIsEmpty, 1);
        EXPECT_EQ(GlobalConfig->GetString("KtSection", "Key"), "value");
    }
    if (v >= 5) {
        EXPECT_EQ(listener.events, (std::vector<std::string>{"valid 1/1 1/3", "valid 1/2 1/3", "invalid 1/2 1/1",
                                                             "invalid 1/1 1/1"}));
        EXPECT_EQ(host->Geometry()->Splits(), 1u);
        EXPECT_EQ(host->Geometry()->Sets(), 1u);
        EXPECT_EQ(r.boolRead, 1);
        EXPECT_EQ(r.intRead, 42);
        EXPECT_DOUBLE_EQ(r.floatRead, 2.5);
        EXPECT_STREQ(r.string3Read, "three");
        EXPECT_EQ(r.bool3Read, 1);
        EXPECT_EQ(r.int3Read, -7);
        EXPECT_DOUBLE_EQ(r.float3Read, 0.125);
        EXPECT_EQ(GlobalConfig->GetInt("Hidden", "Kt", "Number"), -7);
    } else {
        EXPECT_TRUE(listener.events.empty());
    }
    if (v >= 6) {
        // Told at once when added, then of both pushes and both pops.
        EXPECT_EQ(status.texts, (std::vector<std::string>{"Idle", "kt status", "", "kt status", "Idle"}));
        EXPECT_EQ(GlobalStatusStack->Items().size(), 1u);
    }
    if (v >= 7) {
        EXPECT_EQ(r.messageBoxResult, IDNO);
        EXPECT_EQ(r.messageBoxNullResult, IDOK);
        ASSERT_EQ(dialogs.shown.size(), 2u);
        EXPECT_EQ(dialogs.shown[0].text, "kt box");
        EXPECT_EQ(dialogs.shown[0].caption, "kt caption");
        EXPECT_EQ(dialogs.shown[0].flags, MB_YESNO | MB_ICONQUESTION);
        EXPECT_EQ(dialogs.shown[1].text, "");
        EXPECT_EQ(r.progressBoxResult, 0);
        EXPECT_EQ(r.progressStep, KOV_PROGRESS_GO_ON);
        EXPECT_EQ(r.progressStepNullText, KOV_PROGRESS_GO_ON);
        EXPECT_FALSE(ProgressBox().State().visible);
    } else {
        EXPECT_TRUE(dialogs.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, FrameStructVersions,
                         ::testing::Values(VersionCase{"kt_dev_vm1", -1, 0}, VersionCase{"kt_dev_v0", 0, 0},
                                           VersionCase{"kt_dev_v1", 1, 1}, VersionCase{"kt_dev_v2", 2, 2},
                                           VersionCase{"kt_dev_v3", 3, 3}, VersionCase{"kt_dev_v4", 4, 4},
                                           VersionCase{"kt_dev_v5", 5, 5}, VersionCase{"kt_dev_v6", 6, 6},
                                           VersionCase{"kt_dev_v7", 7, 7}, VersionCase{"kt_dev_v8", 8, 7},
                                           VersionCase{"kt_dev_v9", 9, 7}, VersionCase{"kt_dev_v64", 64, 7},
                                           VersionCase{"kt_dev_v65", 65, 0}),
                         [](const auto& info) { return std::string(info.param.library).substr(7); });

TEST_F(FrameStructTest, EntriesGiveNeutralResultsWhenObjectsAreMissing) {
    std::unique_ptr<FrameStruct> fs = BuildFrameStruct(7);
    const FrameStructV7& e = fs->V7;
    // No device selected: word access and splits do nothing.
    e.PutBufferWordP(0, 0x99);
    EXPECT_EQ(e.GetBufferWordP(0), 0u);
    EXPECT_EQ(GlobalBuffer->Data[0], 0);
    e.SetSplitsSetsP(2, 2);

    StopGlobals();
    e.LogMessageP("no logger", 2);
    e.PutBufferByteP(1, 2);
    EXPECT_EQ(e.GetBufferByteP(1), 0);
    e.WriteStringP("A", "B", "C");
    ASSERT_NE(e.ReadStringP("A", "B"), nullptr);
    EXPECT_STREQ(e.ReadStringP("A", "B"), "");
    EXPECT_STREQ(e.ReadString3P("A", "B", "C"), "");
    EXPECT_EQ(e.ReadIntP("A", "B"), 0);
    EXPECT_EQ(e.ReadBoolP("A", "B"), 0);
    EXPECT_DOUBLE_EQ(e.ReadFloatP("A", "B"), 0.0);
    EXPECT_DOUBLE_EQ(e.ReadFloat3P("A", "B", "C"), 0.0);
    e.PushStatusP("nobody listens", &e);
    e.PopStatusP(&e);
}

TEST_F(FrameStructTest, ConfigurationEntriesFollowTheStoreRules) {
    std::unique_ptr<FrameStruct> fs = BuildFrameStruct(7);
    const FrameStructV7& e = fs->V7;
    e.WriteStringP("Lib", "Name", "first");
    e.WriteStringP("Lib", "Name", "");   // an empty value is never stored
    EXPECT_STREQ(e.ReadStringP("lib", "NAME"), "first");
    EXPECT_STREQ(e.ReadStringP("Lib", "Absent"), "");
    const std::string longValue(300, 'x');
    e.WriteString3P("Hidden", "Lib", "Long", longValue.c_str());
    EXPECT_EQ(std::string(e.ReadString3P("Hidden", "Lib", "Long")), std::string(254, 'x'));
    e.WriteBoolP("Lib", "Flag", 256);   // only the low 8 bits count
    EXPECT_EQ(e.ReadBoolP("Lib", "Flag"), 0);
    e.WriteBoolP("Lib", "Flag", 1);
    EXPECT_EQ(GlobalConfig->GetString("Lib", "Flag"), "TRUE");
    e.WriteFloatP("Lib", "Ratio", -0.5);
    EXPECT_DOUBLE_EQ(e.ReadFloatP("Lib", "Ratio"), -0.5);
    e.WriteStringP("", "Key", "v");
    EXPECT_FALSE(GlobalConfig->HasValue("", "Key"));
}

TEST_F(FrameStructTest, ProgressStepStopsAfterAbortUntilTheNextProgressBox) {
    std::unique_ptr<FrameStruct> fs = BuildFrameStruct(7);
    const FrameStructV7& e = fs->V7;
    EXPECT_EQ(e.ProgressBoxP("Reading", "Device", 0, "Elapsed time", 0, 1), 0);
    EXPECT_EQ(e.ProgressStepP(10, "ten"), KOV_PROGRESS_GO_ON);
    ProgressBox().Abort();
    EXPECT_EQ(e.ProgressStepP(20, nullptr), KOV_PROGRESS_STOP);
    EXPECT_EQ(e.ProgressStepP(30, "thirty"), KOV_PROGRESS_STOP);
    e.ProgressBoxP("Reading", "Device", 0, "Elapsed time", 0, 1);
    EXPECT_EQ(e.ProgressStepP(40, nullptr), KOV_PROGRESS_GO_ON);
    e.ProgressBoxP(nullptr, nullptr, 0, nullptr, 0, 0);
    EXPECT_FALSE(ProgressBox().State().visible);
}

TEST_F(FrameStructTest, MessageBoxIsSilentWhileLibraryMessagesAreOff) {
    std::unique_ptr<FrameStruct> fs = BuildFrameStruct(7);
    SetLibraryMessagesEnabled(false);
    EXPECT_EQ(fs->V7.MessageBoxP("quiet", "Lib", MB_YESNO), IDOK);
    EXPECT_TRUE(dialogs.shown.empty());
    SetLibraryMessagesEnabled(true);
}

TEST_F(FrameStructTest, WordAccessFollowsWidthAndSplits) {
    KtDevice lib("kt_dev_full");
    auto host = std::make_unique<TDevDLL>(lib.path, nullptr);
    lib.control->wordSize = 16;
    ASSERT_TRUE(host->SelectDevice("KT93C46", "KtMicro", "SOIC", 8, 16));
    std::unique_ptr<FrameStruct> fs = BuildFrameStruct(7);
    const FrameStructV7& e = fs->V7;
    EXPECT_EQ(e.GetBufferWordP(3), 0u);   // not the selected device yet
    GlobalDevDLL = host.get();

    GlobalBuffer->ChecksumHold = false;
    e.PutBufferWordP(3, 0x1234);
    EXPECT_EQ(GlobalBuffer->Data[6], 0x34);
    EXPECT_EQ(GlobalBuffer->Data[7], 0x12);
    EXPECT_EQ(GlobalBuffer->Data[8], 0x00);
    EXPECT_FALSE(GlobalBuffer->ChecksumHold);   // restored after the write
    EXPECT_EQ(e.GetBufferWordP(3), 0x1234u);

    TDevGeometry& g = *host->Geometry();
    g.SetWordWidth(64);
    e.PutBufferWordP(1, 0x0102030405060708ull);
    EXPECT_EQ(GlobalBuffer->Data[8], 0x08);
    EXPECT_EQ(GlobalBuffer->Data[15], 0x01);
    EXPECT_EQ(e.GetBufferWordP(1), 0x0102030405060708ull);
    g.SetWordWidth(72);   // a word that no 64-bit value holds
    e.PutBufferWordP(0, 0xFF);
    EXPECT_EQ(GlobalBuffer->Data[0], 0x00);
    EXPECT_EQ(e.GetBufferWordP(1), 0u);

    g.SetWordWidth(8);
    g.SetSplits(2);
    g.SetSplitNumber(2);
    g.SetBufferStart(0x100);
    e.PutBufferWordP(2, 0xAB);
    EXPECT_EQ(GlobalBuffer->Data[g.WordAddress(2)], 0xAB);
    EXPECT_EQ(g.WordAddress(2), 0x100u + 2 * 2 + 1);
    e.PutBufferWordP(-1, 0xCD);
    EXPECT_EQ(e.GetBufferWordP(-1), 0u);
    GlobalDevDLL = nullptr;
}

}  // namespace
