// The load and save flows between files and the buffer, with a real device library for the
// buffer end limit and the erase value.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "../plugins/PluginTestSupport.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "files/FileLoadSave.h"
#include "files/FileTypes.h"
#include "files/formats/Jedec.h"
#include "plugins/DevDLL.h"

using namespace kovfiles;
namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t D = DefaultPointer;

class FileFlowTest : public HostTest {
protected:
    void TearDown() override {
        delete GlobalDevDLL;
        GlobalDevDLL = nullptr;
        device.reset();
        HostTest::TearDown();
    }

    void Select(int width, std::uint32_t words, std::uint32_t erase) {
        device = std::make_unique<KtDevice>("kt_dev_full");
        device->control->wordSize = width;
        device->control->deviceSize = words;
        device->control->eraseValue = erase;
        GlobalDevDLL = new TDevDLL(device->path, nullptr);
        ASSERT_TRUE(GlobalDevDLL->SelectDevice("KT27C256", "KtSemi", "DIP", 28, width));
    }
    std::string File(const std::string& name, const std::string& bytes) {
        WriteFile(temp / name, bytes);
        return (temp / name).string();
    }
    std::string Bytes(int first, int count) const {
        return std::string(reinterpret_cast<const char*>(GlobalBuffer->Data) + first,
                           static_cast<std::size_t>(count));
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (const auto& box : dialogs.shown)
            captions.push_back(box.caption);
        return captions;
    }

    std::unique_ptr<KtDevice> device;
    TFileFlow flow;
};

TEST_F(FileFlowTest, DefaultRecordPreloadsTheDeviceRangeLoadsAndIsRemembered) {
    // 16-bit words of 14 bits: the erase value goes in word by word, lowest byte first.
    Select(14, 8, 0x3FFF3FFF);
    GlobalBuffer->Fill(0, 0x40, 0x55);
    // Two bytes at 2, and a record beyond the device's 16 bytes that must not be stored.
    const std::string hex = File("a.hex", ":02000200A1B2A9\n:0100200077 68\n:00000001FF\n");
    std::vector<std::string> status;
    flow.ShowFileStatus = [&](const std::string& text) { status.push_back(text); };

    ASSERT_TRUE(flow.LoadFile(hex, "Intel Hex", D, D, D, D, true));
    EXPECT_EQ(flow.LoadedCount(), 2u);
    EXPECT_EQ(Bytes(0, 17),
              std::string("\xFF\x3F\xA1\xB2\xFF\x3F\xFF\x3F\xFF\x3F\xFF\x3F\xFF\x3F\xFF\x3F\x55", 17));
    EXPECT_FALSE(GlobalBuffer->Untouched);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Confirm file load", "File load"}));
    EXPECT_EQ(dialogs.shown[0].text, "Are you sure you want to load\n" + hex + " ?");
    EXPECT_EQ(dialogs.shown[1].text, hex + " loaded successfully");
    EXPECT_EQ(status, (std::vector<std::string>{"None", hex}));
    EXPECT_TRUE(Logged("Total bytes loaded = 2"));
    EXPECT_EQ(GlobalConfig->GetString("MRU", "LoadFileName"),
              "\"" + hex + "\",\"Intel Hex\",TRUE,-1,-1,-1,-1");
    EXPECT_EQ(GlobalStatusStack->TopStatus()->text, "Idle");

    // Without preload the bytes around the record stay.
    GlobalConfig->SetBool("File", "SuppressLoadSaveConfirm", true);
    GlobalConfig->SetBool("File", "SuppressSuccessDialog", true);
    GlobalBuffer->Fill(0, 15, 0x11);
    dialogs.shown.clear();
    ASSERT_TRUE(flow.LoadFile(hex, "Intel Hex", D, D, D, D, false));
    EXPECT_EQ(Bytes(0, 5), std::string("\x11\x11\xA1\xB2\x11", 5));
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(GlobalConfig->GetString("MRU", "LoadFileName"),
              "\"" + hex + "\",\"Intel Hex\",FALSE,-1,-1,-1,-1");
}

TEST_F(FileFlowTest, RecordPointersAreUsedWhenConsistentElseThePointerDialogDecides) {
    Select(8, 256, 0xFF);
    GlobalConfig->SetBool("File", "SuppressLoadSaveConfirm", true);
    GlobalConfig->SetBool("File", "SuppressSuccessDialog", true);
    const std::string bin = File("a.bin", "0123456789");

    // File bytes 2 to 4 to buffer 0x10 on.
    ASSERT_TRUE(flow.LoadFile(bin, "Binary", 0x1F, 0x10, 4, 2, false));
    EXPECT_EQ(Bytes(0x10, 3), "234");
    EXPECT_EQ(GlobalConfig->GetString("MRU", "LoadFileName"), "\"" + bin + "\",\"Binary\",FALSE,2,4,16,31");

    // A buffer end beyond the device: the dialog is asked, with the defaults; cancelled, nothing loads.
    int asked = 0;
    TFilePointers offered;
    flow.PointerDialog = [&](const std::string& caption, bool offerPreload, TFilePointers& p, bool&) {
        ++asked;
        EXPECT_EQ(caption, "Load file options - Binary");
        EXPECT_TRUE(offerPreload);
        offered = p;
        return false;
    };
    GlobalBuffer->Fill(0, 0xFF, 0);
    EXPECT_FALSE(flow.LoadFile(bin, "Binary", 0x100, 0, D, 0, false));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(offered, (TFilePointers{0, 0xFFFFFFFF, 0, 255}));
    EXPECT_EQ(Bytes(0, 1), std::string(1, '\0'));

    // Values the dialog returns are checked; wrong ones bring the warning and the dialog again.
    asked = 0;
    flow.PointerDialog = [&](const std::string&, bool, TFilePointers& p, bool& preload) {
        p = ++asked == 1 ? TFilePointers{5, 4, 0, 255} : TFilePointers{8, 9, 0x20, 0x21};
        preload = false;
        return true;
    };
    ASSERT_TRUE(flow.LoadFile(bin, "Binary", D, 7, D, D, true));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(dialogs.Texts(),
              (std::vector<std::string>{"An error occurred while processing the data pointers"}));
    EXPECT_EQ(Bytes(0x20, 3), std::string("89\0", 3));

    // A file without the whole-range rule ignores the record's pointers: JEDEC asks nothing.
    asked = 0;
    std::string transmission = "\x02hdr*QF8*L0 10110011*\x03";
    transmission += Hex(JedecTransmissionSum(transmission), 4);
    const std::string jed = File("a.jed", transmission);
    ASSERT_TRUE(flow.LoadFile(jed, "JEDEC", 3, 2, 1, 0, false));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(Bytes(0, 8), std::string("\1\0\1\1\0\0\1\1", 8));
    EXPECT_EQ(GlobalConfig->GetString("MRU", "LoadFileName"), "\"" + jed + "\",\"JEDEC\",FALSE,-1,-1,-1,-1");
}

TEST_F(FileFlowTest, DeclinedAndFailedLoadsLeaveTheRememberedEntryAndTellWhy) {
    Select(8, 64, 0xFF);
    GlobalConfig->SetString("MRU", "LoadFileName", "kept");
    const std::string bin = File("a.bin", "abc");

    dialogs.answers = {IDNO};
    EXPECT_FALSE(flow.LoadFile(bin, "Binary", D, D, D, D, true));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Confirm file load"}));

    GlobalConfig->SetBool("File", "SuppressLoadSaveConfirm", true);
    // A missing file ends the load before anything happens.
    dialogs.shown.clear();
    EXPECT_FALSE(flow.LoadFile((temp / "missing.hex").string(), "Intel Hex", D, D, D, D, true));
    EXPECT_TRUE(dialogs.shown.empty());

    // An unknown type: the preload has happened, then both messages.
    GlobalBuffer->Fill(0, 63, 0);
    EXPECT_FALSE(flow.LoadFile(bin, "Hexadecimal", D, D, D, D, true));
    EXPECT_EQ(dialogs.Texts(),
              (std::vector<std::string>{"Can not load unknown file type",
                                        "An error occurred while processing the file:\n" + bin}));
    EXPECT_EQ(Bytes(0, 2), "\xFF\xFF");

    // A damaged record file.
    dialogs.shown.clear();
    GlobalConfig->SetString("FileType", "Intel Hex", "IgnoreInvalidRecord", "FALSE");
    const std::string bad = File("bad.hex", ":0100000055AB\n");
    EXPECT_FALSE(flow.LoadFile(bad, "Intel Hex", D, D, D, D, false));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"File load error"}));

    // Nothing within the device range: a warning, the result is true, the buffer stays untouched.
    dialogs.shown.clear();
    const std::string far = File("far.hex", ":020000040001F9\n:0100000077 88\n:00000001FF\n");
    EXPECT_TRUE(flow.LoadFile(far, "Intel Hex", D, D, D, D, false));
    EXPECT_EQ(flow.LoadedCount(), 0u);
    EXPECT_EQ(Captions(), (std::vector<std::string>{"File load warning"}));
    EXPECT_TRUE(GlobalBuffer->Untouched);
    EXPECT_EQ(GlobalConfig->GetString("MRU", "LoadFileName"), "kept");
}

TEST_F(FileFlowTest, DetectionIsConfirmedUnlessSuppressed) {
    const std::string hex = File("a.hex", ":0100000055AA\n:00000001FF\n");
    dialogs.answers = {IDYES, IDNO};
    EXPECT_EQ(flow.DetectConfirmed(hex), ftIntelHex);
    EXPECT_EQ(flow.DetectConfirmed(hex), ftAutoDetect);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[0].text, hex + " file type is Intel Hex");
    EXPECT_EQ(dialogs.shown[0].caption, "Confirm file type");
    GlobalConfig->SetBool("File", "SuppressAutoDetectConfirm", true);
    EXPECT_EQ(flow.DetectConfirmed(hex), ftIntelHex);
    EXPECT_EQ(flow.DetectConfirmed(File("empty", "")), ftAutoDetect);
    EXPECT_EQ(dialogs.shown.size(), 2u);
}

TEST_F(FileFlowTest, SaveWritesTheDeviceRangeAddsTheExtensionAndIsRemembered) {
    Select(8, 4, 0xFF);
    for (int i = 0; i < 4; ++i)
        GlobalBuffer->SetByte(i, static_cast<std::uint8_t>(0x10 + i));
    GlobalConfig->SetBool("File", "UnixEOL", true);
    const std::string base = (temp / "out").string();

    ASSERT_TRUE(flow.SaveFile(base, "Intel Hex", D, D, D, D));
    EXPECT_EQ(flow.SavedName(), base + ".hex");
    EXPECT_EQ(ReadFile(base + ".hex"), ":020000040000FA\n:0400000010111213B6\n:00000001FF\n");
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Confirm file save", "File save"}));
    EXPECT_EQ(dialogs.shown[0].text, "Are you sure you want to save\n" + base + " ?");
    EXPECT_EQ(dialogs.shown[1].text, base + ".hex saved successfully");
    EXPECT_EQ(GlobalConfig->GetString("MRU", "SaveFileName"),
              "\"" + base + ".hex\",\"Intel Hex\",,-1,-1,-1,-1");
    EXPECT_TRUE(Logged("File " + base + ".hex saved"));

    // Binary takes the buffer pointers only; a part of the range keeps its numbers.
    GlobalConfig->SetBool("File", "SuppressLoadSaveConfirm", true);
    ASSERT_TRUE(flow.SaveFile(base + ".bin", "Binary", 2, 1, 7, 5));
    EXPECT_EQ(ReadFile(base + ".bin"), "\x11\x12");
    EXPECT_EQ(GlobalConfig->GetString("MRU", "SaveFileName"),
              "\"" + base + ".bin\",\"Binary\",,0,4294967295,1,2");

    // A buffer end beyond the device is refused.
    dialogs.shown.clear();
    EXPECT_FALSE(flow.SaveFile(base + ".bin", "Binary", 4, 0, D, 0));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"Invalid data pointers"}));
}

TEST_F(FileFlowTest, AFailedSaveLeavesTheExistingFileAsItWas) {
    Select(8, 4, 0xFF);
    GlobalConfig->SetBool("File", "SuppressLoadSaveConfirm", true);
    const std::string pof = File("old.pof", "old contents");
    // POF cannot be written: the old file stays, no temporary file is left behind.
    EXPECT_FALSE(flow.SaveFile(pof, "POF", D, D, D, D));
    EXPECT_EQ(ReadFile(pof), "old contents");
    EXPECT_EQ(Captions(), (std::vector<std::string>{"File save error"}));
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(temp.path()))
        ++files;
    EXPECT_EQ(files, 6u) << "five install folders and old.pof";

    dialogs.shown.clear();
    const std::string nowhere = (temp / "no-such-folder" / "x.bin").string();
    EXPECT_FALSE(flow.SaveFile(nowhere, "Binary", D, D, D, D));
    EXPECT_EQ(dialogs.Texts(),
              (std::vector<std::string>{"An error occurred while opening the file:\n" + nowhere}));
}

TEST_F(FileFlowTest, AWriteProtectedFileIsNeverReplaced) {
    Select(8, 4, 0xFF);
    GlobalConfig->SetBool("File", "SuppressLoadSaveConfirm", true);
    const std::string kept = File("golden.bin", "the only copy");
    ::chmod(kept.c_str(), 0444);
    fs::create_symlink(kept, temp / "to-golden.bin");
    for (const std::string& name : {kept, (temp / "to-golden.bin").string()}) {
        dialogs.shown.clear();
        EXPECT_FALSE(flow.SaveFile(name, "Binary", D, D, D, D)) << name;
        EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"An error occurred while opening the file:\n" + name}));
    }
    EXPECT_EQ(ReadFile(kept), "the only copy");
    EXPECT_TRUE(GlobalConfig->GetString("MRU", "SaveFileName").empty());
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(temp.path()))
        ++files;
    EXPECT_EQ(files, 7u) << "five install folders, the file and the link";

    // Once writable again it is replaced as any other file.
    ::chmod(kept.c_str(), 0644);
    EXPECT_TRUE(flow.SaveFile(kept, "Binary", D, D, D, D));
    EXPECT_EQ(ReadFile(kept).size(), 4u);
}

TEST_F(FileFlowTest, ReplacingAFileKeepsItsModeFollowsLinksAndWritesDevicesInPlace) {
    const std::string target = File("t.bin", "old");
    ::chmod(target.c_str(), 0640);
    fs::create_symlink(target, temp / "link.bin");
    auto write = [](const char* text) {
        return [text](TFileOut& out) {
            out.Write(std::string_view(text));
            return true;
        };
    };

    EXPECT_EQ(ReplaceFile((temp / "link.bin").string(), write("new")), TReplaceResult::Written);
    EXPECT_TRUE(fs::is_symlink(temp / "link.bin"));
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, fs::perms(0640));

    EXPECT_EQ(ReplaceFile(target,
                          [](TFileOut& out) {
                              out.Write(std::string_view("half"));
                              return false;
                          }),
              TReplaceResult::WriteFailed);
    EXPECT_EQ(ReadFile(target), "new");

    EXPECT_EQ(ReplaceFile("/dev/null", write("x")), TReplaceResult::Written);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    // A link to a file not there yet is written through; the link stays.
    fs::create_symlink("later.bin", temp / "to-later.bin");
    EXPECT_EQ(ReplaceFile((temp / "to-later.bin").string(), write("first")), TReplaceResult::Written);
    EXPECT_TRUE(fs::is_symlink(temp / "to-later.bin"));
    EXPECT_EQ(ReadFile(temp / "later.bin"), "first");
    fs::create_symlink(temp / "unmounted" / "x.bin", temp / "to-nowhere.bin");
    EXPECT_EQ(ReplaceFile((temp / "to-nowhere.bin").string(), write("lost")), TReplaceResult::OpenFailed);
    EXPECT_TRUE(fs::is_symlink(temp / "to-nowhere.bin"));

    // A run as root (sudo for the programmer's port) leaves a user's file that user's.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
        EXPECT_EQ(ReplaceFile(target, write("mine")), TReplaceResult::Written);
        struct stat st {};
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(ReadFile(target), "mine");
    }
}

} // namespace
