#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "KovTest.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Logger.h"

namespace fs = std::filesystem;

namespace {

// A store over a session file in a temporary installation, without the other globals.
class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(temp / "framework");
        fs::create_directories(temp / "sessions");
        previous = SetDialogPort(&dialogs);
        DebugMode = false;
        ShowAllExceptions = false;
    }
    void TearDown() override {
        SetDialogPort(previous);
        DebugMode = false;
    }
    std::string Program() const { return (temp / "framework" / "kov").string(); }
    fs::path Session() const { return temp / "sessions" / "default.kvs"; }

    TempDir temp;
    ScriptedDialogPort dialogs;
    DialogPort* previous = nullptr;
};

}  // namespace

TEST_F(ConfigTest, FoldersComeFromTheProgramAndTheFirstParameter) {
    {
        TKOVConfig config(Program(), {});
        EXPECT_EQ(InstallFolder, (temp / "framework").string() + "/..");
        EXPECT_EQ(config.SessionFileName(), "default.kvs");
        EXPECT_EQ(config.SessionFolder(), InstallFolder + "/sessions");
        EXPECT_EQ(config.SessionPath(), InstallFolder + "/sessions/default.kvs");
        EXPECT_EQ(config.DevicesFolder(), InstallFolder + "/devs");
        EXPECT_EQ(config.ProgrammersFolder(), InstallFolder + "/prog");
    }
    {
        TKOVConfig config(Program(), {"job7.kvs", "ignored"});
        EXPECT_EQ(config.SessionPath(), InstallFolder + "/sessions/job7.kvs");
    }
    {
        const std::string elsewhere = (temp / "sets" / "a.kvs").string();
        TKOVConfig config(Program(), {elsewhere});
        EXPECT_EQ(config.SessionFolder(), (temp / "sets").string());
        EXPECT_EQ(config.SessionPath(), elsewhere);
    }
    // The store wrote each session at exit, creating the missing "sets" folder.
    EXPECT_TRUE(fs::exists(temp / "sessions" / "job7.kvs"));
    EXPECT_TRUE(fs::exists(temp / "sets" / "a.kvs"));
}

TEST_F(ConfigTest, ValuesWithLineBreaksAndBackslashesSurviveTheFile) {
    const std::vector<std::string> values = {"\n",        "\r",           "\\",          "a\nb",    "\nstart",
                                             "end\r",     "\\n literal",  "C:\\temp\\",  "x\r\n\\", "\\\\n"};
    {
        TKOVConfig config(Program(), {});
        for (std::size_t i = 0; i < values.size(); ++i) config.SetString("Values", "V" + std::to_string(i), values[i]);
    }
    const std::string file = ReadFile(Session());
    // One line per value: every line break in the file is a record end.
    std::size_t breaks = 0;
    for (char c : file) breaks += (c == '\n');
    EXPECT_EQ(breaks, values.size());
    EXPECT_NE(file.find("Values.V3=a\\nb\r\n"), std::string::npos);
    EXPECT_NE(file.find("Values.V9=\\\\\\\\n\r\n"), std::string::npos);

    TKOVConfig config(Program(), {});
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(config.GetString("Values", "V" + std::to_string(i)), values[i]) << "value " << i;
}

TEST_F(ConfigTest, DecodeKeepsUnknownEscapesAndReadsPairsLeftToRight) {
    EXPECT_EQ(TKOVConfig::DecodeValue("\\\\n"), "\\n");
    EXPECT_EQ(TKOVConfig::DecodeValue("C:\\temp"), "C:\\temp");
    EXPECT_EQ(TKOVConfig::DecodeValue("trailing\\"), "trailing\\");
    EXPECT_EQ(TKOVConfig::EncodeValue("a\r\nb\\"), "a\\r\\nb\\\\");
}

TEST_F(ConfigTest, NamesIgnoreLetterCaseAndKeepTheirStoredSpelling) {
    WriteFile(Session(), "File.SuppressAutodetectConfirm=TRUE\r\n");
    TKOVConfig config(Program(), {});
    EXPECT_TRUE(config.GetBool("File", "SuppressAutoDetectConfirm"));
    EXPECT_TRUE(config.GetBool("FILE", "suppressautodetectconfirm"));
    config.SetBool("file", "SUPPRESSAUTODETECTCONFIRM", false);
    EXPECT_FALSE(config.GetBool("File", "SuppressAutodetectConfirm"));
    ASSERT_EQ(config.Entries().size(), 1u);
    EXPECT_EQ(config.Entries()[0], "File.SuppressAutodetectConfirm=FALSE");
}

TEST_F(ConfigTest, InvalidNamesNeitherReadNorWrite) {
    TKOVConfig config(Program(), {});
    config.SetString("", "Key", "x");
    config.SetString("Section", "", "x");
    config.SetString("Section", "", "Key", "x");
    config.SetString("Sec=tion", "Key", "x");   // would make the line unreadable
    config.SetString("Section", "Ke\ny", "x");
    EXPECT_TRUE(config.Entries().empty());
    EXPECT_EQ(config.GetString("", "Key"), "");
    EXPECT_FALSE(config.HasValue("Section", "Key"));
}

TEST_F(ConfigTest, EmptyValueAddsAnEmptyLineOrDeletesAnExistingOne) {
    TKOVConfig config(Program(), {});
    config.SetString("A", "New", "");
    EXPECT_TRUE(config.HasValue("A", "New"));
    EXPECT_EQ(config.Entries().back(), "A.New=");

    config.SetString("A", "Key", "value");
    config.SetString("A", "Key", "");
    EXPECT_FALSE(config.HasValue("A", "Key"));
    EXPECT_EQ(config.GetString("A", "Key"), "");
    config.SetString("A", "Sub", "Key", "v");
    config.SetString("A", "Sub", "Key", "");
    EXPECT_FALSE(config.HasValue("A", "Sub", "Key"));
}

TEST_F(ConfigTest, HiddenValuesLiveOnlyInMemoryWithExactCase) {
    {
        TKOVConfig config(Program(), {});
        config.SetBool("Hidden", "Device", "ByteSwap", true);
        config.SetString("hidden", "x", "1");
        config.SetString("Keep", "Me", "yes");
        EXPECT_TRUE(config.GetBool("Hidden", "Device", "ByteSwap"));
    }
    EXPECT_EQ(ReadFile(Session()), "hidden.x=1\r\nKeep.Me=yes\r\n");
}

TEST_F(ConfigTest, DuplicateNamesUseTheFirstLineAndKeepTheSecond) {
    WriteFile(Session(), "Log.Level=3\r\nOther=1\r\nlog.level=5\r\n");
    {
        TKOVConfig config(Program(), {});
        EXPECT_EQ(config.GetInt("Log", "Level"), 3);
        config.SetInt("Log", "Level", 4);
    }
    EXPECT_EQ(ReadFile(Session()), "Log.Level=4\r\nOther=1\r\nlog.level=5\r\n");
}

TEST_F(ConfigTest, TypedValuesAndWhatIsNotANumber) {
    WriteFile(Session(),
              "B.Yes=yes\r\nB.On=On\r\nB.One=1\r\nB.Two=2\r\nB.True=tRuE\r\n"
              "I.Plain=-42\r\nI.Blanks= 17 \r\nI.Trail=12abc\r\nI.Big=99999999999\r\nI.Hex=$1F\r\n"
              "I.Max=2147483647\r\nI.Min=-2147483648\r\nI.Over=2147483648\r\nI.Empty=\r\n"
              "F.Comma=1,5\r\nF.Sci=1.5E20\r\nF.Junk=1.5x\r\n");
    TKOVConfig config(Program(), {});
    EXPECT_TRUE(config.GetBool("B", "Yes"));
    EXPECT_TRUE(config.GetBool("B", "On"));
    EXPECT_TRUE(config.GetBool("B", "One"));
    EXPECT_FALSE(config.GetBool("B", "Two"));
    EXPECT_TRUE(config.GetBool("B", "True"));
    EXPECT_FALSE(config.GetBool("B", "Missing"));

    EXPECT_EQ(config.GetInt("I", "Plain"), -42);
    EXPECT_EQ(config.GetInt("I", "Blanks"), 17);
    EXPECT_EQ(config.GetInt("I", "Trail"), 0);
    EXPECT_EQ(config.GetInt("I", "Big"), 0);
    EXPECT_EQ(config.GetInt("I", "Hex"), 0);
    EXPECT_EQ(config.GetInt("I", "Max"), 2147483647);
    EXPECT_EQ(config.GetInt("I", "Min"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(config.GetInt("I", "Over"), 0);
    EXPECT_EQ(config.GetInt("I", "Empty"), 0);

    EXPECT_EQ(config.GetFloat("F", "Comma"), 0.0);
    EXPECT_EQ(config.GetFloat("F", "Sci"), 1.5e20);
    EXPECT_EQ(config.GetFloat("F", "Junk"), 0.0);
    EXPECT_EQ(config.GetFloat("F", "Missing"), 0.0);
}

TEST_F(ConfigTest, FloatsAreWrittenWithAPointAndFifteenDigits) {
    EXPECT_EQ(FormatConfigFloat(1.5), "1.5");
    EXPECT_EQ(FormatConfigFloat(0.1), "0.1");
    EXPECT_EQ(FormatConfigFloat(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(FormatConfigFloat(123456789012345.0), "123456789012345");
    EXPECT_EQ(FormatConfigFloat(1e20), "1e+20");
    EXPECT_EQ(FormatConfigFloat(-2.5e-7), "-2.5e-07");

    TKOVConfig config(Program(), {});
    for (double value : {3.14159265358979, -0.001, 1e-300, 6.02214076e23, 0.0}) {
        config.SetFloat("F", "V", value);
        EXPECT_DOUBLE_EQ(config.GetFloat("F", "V"), value);
        EXPECT_EQ(config.GetString("F", "V").find(','), std::string::npos);
    }
}

TEST_F(ConfigTest, GarbageSessionFilesLoadAndSaveBackUnchanged) {
    std::string garbage = "Global.Debug=FALSE\r\nno equals sign here\r\n\r\n";
    for (int i = 0; i < 256; ++i)
        if (i != '\r' && i != '\n') garbage += static_cast<char>(i);
    garbage += "\r\n";
    garbage += std::string(100000, 'x') + "=" + std::string(100000, 'y') + "\r\n";
    garbage += "=value without a name\r\n";
    garbage += "Bad.Escape=\\q\\\r\n";
    garbage += "Num.Int=12abc\r\n";
    garbage += std::string("nul\0inside=1", 12) + "\r\n";
    WriteFile(Session(), garbage);
    {
        TKOVConfig config(Program(), {});
        EXPECT_EQ(config.GetInt("Num", "Int"), 0);
        EXPECT_FALSE(config.GetBool("Global", "Debug"));
        EXPECT_EQ(config.GetString("Bad", "Escape"), "\\q\\");
    }
    EXPECT_EQ(ReadFile(Session()), garbage);
}

TEST_F(ConfigTest, AnyLineEndIsReadAndCrLfIsWritten) {
    WriteFile(Session(), "A.One=1\nA.Two=2\rA.Three=3\r\n\nA.Four=4");
    {
        TKOVConfig config(Program(), {});
        EXPECT_EQ(config.GetInt("A", "One"), 1);
        EXPECT_EQ(config.GetInt("A", "Two"), 2);
        EXPECT_EQ(config.GetInt("A", "Three"), 3);
        EXPECT_EQ(config.GetInt("A", "Four"), 4);
    }
    EXPECT_EQ(ReadFile(Session()), "A.One=1\r\nA.Two=2\r\nA.Three=3\r\n\r\nA.Four=4\r\n");
}

TEST_F(ConfigTest, DebugModeSavesAtOnceOnlyForTwoPartWrites) {
    DebugMode = true;
    TKOVConfig config(Program(), {});
    config.SetString("Global", "Sub", "Key", "three");
    EXPECT_FALSE(fs::exists(Session()));
    config.SetInt("Global", "Count", 5);
    EXPECT_EQ(ReadFile(Session()), "Global.Sub.Key=three\r\nGlobal.Count=5\r\n");
    config.SaveFormPosition({"MainForm", 10, 20, 300, 200, false});
    EXPECT_EQ(ReadFile(Session()), "Global.Sub.Key=three\r\nGlobal.Count=5\r\nMainForm.Top=20\r\nMainForm.Left=10\r\n");
}

TEST_F(ConfigTest, AFullDiskMidWriteLeavesTheOldFileIntact) {
    const std::string old = "Keep.This=1\r\n";
    WriteFile(Session(), old);
    TKOVConfig config(Program(), {});
    config.SetString("Big", "Value", std::string(20000, 'v'));

    // A file size limit makes the write fail part way, as a full disk would.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    ShowAllExceptions = true;
    testing::internal::CaptureStderr();
    const bool saved_ok = config.SaveSession(config.SessionPath());
    const std::string err = testing::internal::GetCapturedStderr();
    ShowAllExceptions = false;
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved_ok);
    EXPECT_NE(err.find("Unable to save the session file " + config.SessionPath()), std::string::npos) << err;
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Exception");
    EXPECT_EQ(ReadFile(Session()), old);
    // No temporary file is left behind.
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(temp / "sessions")) files += entry.is_regular_file();
    EXPECT_EQ(files, 1u);

    EXPECT_TRUE(config.SaveSession(config.SessionPath()));
    EXPECT_EQ(ReadFile(Session()).size(), old.size() + 10 + 20000 + 2);
}

TEST_F(ConfigTest, AnUnwritableFolderIsReported) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    WriteFile(Session(), "Keep.This=1\r\n");
    TKOVConfig config(Program(), {});
    config.SetString("New", "Value", "2");
    ::chmod((temp / "sessions").c_str(), 0555);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(config.SaveSession(config.SessionPath()));
    const std::string err = testing::internal::GetCapturedStderr();
    ::chmod((temp / "sessions").c_str(), 0755);
    EXPECT_NE(err.find("Permission denied"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(Session()), "Keep.This=1\r\n");
}

TEST_F(ConfigTest, AWriteProtectedSessionIsReadButNotReplaced) {
    WriteFile(temp / "line.kvs", "Device.SuppressConfirm=TRUE\r\n");
    ::chmod((temp / "line.kvs").c_str(), 0444);
    fs::create_symlink(temp / "line.kvs", Session());
    testing::internal::CaptureStderr();
    {
        TKOVConfig config(Program(), {});
        EXPECT_TRUE(config.LoadProblem().empty());
        EXPECT_TRUE(config.GetBool("Device", "SuppressConfirm"));
        config.SetString("LastProgrammer", "DLLName", "kov22.so");
        EXPECT_FALSE(config.SaveSession(config.SessionPath()));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFile(temp / "line.kvs"), "Device.SuppressConfirm=TRUE\r\n");
    EXPECT_NE(err.find("default.kvs: Permission denied"), std::string::npos) << err;
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(temp.path()))
        ++files;
    EXPECT_EQ(files, 3u) << "no temporary file beside the session";

    ::chmod((temp / "line.kvs").c_str(), 0644);
    {
        TKOVConfig config(Program(), {});
        config.SetString("LastProgrammer", "DLLName", "kov22.so");
    }
    EXPECT_EQ(ReadFile(temp / "line.kvs"), "Device.SuppressConfirm=TRUE\r\nLastProgrammer.DLLName=kov22.so\r\n");
}

TEST_F(ConfigTest, AFileThatHoldsNoSettingsIsNeverRewritten) {
    // Firmware named as the session by mistake: rewriting it would change its line ends and
    // append the settings.
    const std::string image("\x02\x0A\x00\xFF\x0D\x0A\x41=\x42\x0A=x\x0Ax.\x01=2", 18);
    const std::string hex = ":0400000001020304F2\n:00000001FF\n";
    for (const std::string& bytes : {image, hex}) {
        WriteFile(Session(), bytes);
        {
            TKOVConfig config(Program(), {});
            EXPECT_NE(config.LoadProblem().find("holds no settings"), std::string::npos) << config.LoadProblem();
            EXPECT_TRUE(config.Entries().empty());
            config.SetString("LastProgrammer", "DLLName", "kov22.so");
        }
        EXPECT_EQ(ReadFile(Session()), bytes);
    }
    // Empty, blank, commented and hand-laid-out sessions are sessions.
    for (const std::string& bytes :
         {std::string(), std::string("\r\n  \r\n"), std::string("; line 3\n[Device]\nDevice.X=1\n"), std::string("A=1\n"),
          std::string("\x00\xFF\nGlobal.Debug=FALSE\n", 21)}) {
        WriteFile(Session(), bytes);
        {
            TKOVConfig config(Program(), {});
            EXPECT_TRUE(config.LoadProblem().empty()) << config.LoadProblem();
            config.SetString("A", "B", "c");
        }
        EXPECT_NE(ReadFile(Session()).find("A.B=c\r\n"), std::string::npos);
    }
}

TEST_F(ConfigTest, SaveKeepsTheFileModeAndFollowsALink) {
    WriteFile(temp / "real.kvs", "A=1\r\n");
    ::chmod((temp / "real.kvs").c_str(), 0600);
    fs::create_symlink(temp / "real.kvs", Session());
    {
        TKOVConfig config(Program(), {});
        config.SetString("B", "C", "2");
    }
    EXPECT_TRUE(fs::is_symlink(Session()));
    EXPECT_EQ(ReadFile(temp / "real.kvs"), "A=1\r\nB.C=2\r\n");
    struct stat st {};
    ASSERT_EQ(::stat((temp / "real.kvs").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // A link to a session that is not there yet (a drive not mounted) stays a link: the file is
    // made where it points, or the save fails when that folder is missing.
    fs::remove(Session());
    fs::create_symlink("../later.kvs", Session());
    {
        TKOVConfig config(Program(), {});
        config.SetString("E", "F", "4");
    }
    EXPECT_TRUE(fs::is_symlink(Session()));
    EXPECT_EQ(ReadFile(temp / "later.kvs"), "E.F=4\r\n");
    fs::remove(Session());
    fs::create_symlink(temp / "unmounted" / "s.kvs", Session());
    testing::internal::CaptureStderr();
    {
        TKOVConfig config(Program(), {});
        config.SetString("E", "F", "4");
        EXPECT_FALSE(config.SaveSession(config.SessionPath()));
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("No such file or directory"), std::string::npos) << err;
    EXPECT_TRUE(fs::is_symlink(Session()));
    EXPECT_FALSE(fs::exists(temp / "unmounted"));
    fs::remove(Session());
    fs::create_symlink(temp / "real.kvs", Session());

    // A run as root (sudo for the programmer's port) leaves a user's session that user's.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown((temp / "real.kvs").c_str(), 65534, 65534), 0);
        {
            TKOVConfig config(Program(), {});
            config.SetString("B", "D", "3");
        }
        ASSERT_EQ(::stat((temp / "real.kvs").c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
        EXPECT_EQ(ReadFile(temp / "real.kvs"), "A=1\r\nB.C=2\r\nB.D=3\r\n");
    }
}

TEST_F(ConfigTest, AnUnreadableSessionIsNeverOverwritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    WriteFile(Session(), "Precious.Setting=1\r\n");
    ::chmod(Session().c_str(), 0200);
    testing::internal::CaptureStderr();
    {
        TKOVConfig config(Program(), {});
        EXPECT_NE(config.LoadProblem().find("Unable to read the session file"), std::string::npos);
        EXPECT_FALSE(config.HasValue("Precious", "Setting"));
        config.SetString("Other", "Value", "x");
    }
    const std::string err = testing::internal::GetCapturedStderr();
    ::chmod(Session().c_str(), 0600);
    EXPECT_EQ(ReadFile(Session()), "Precious.Setting=1\r\n");
    EXPECT_NE(err.find("left as it was"), std::string::npos) << err;
}

TEST_F(ConfigTest, MissingSessionIsSilentWithoutShowAllExceptions) {
    {
        TKOVConfig config(Program(), {"fresh.kvs"});
        EXPECT_TRUE(config.Entries().empty());
        EXPECT_TRUE(config.LoadProblem().empty());
    }
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(fs::exists(temp / "sessions" / "fresh.kvs"));
}

TEST_F(ConfigTest, FormPlacementStaysOnScreen) {
    WriteFile(Session(),
              "MainForm.Left=100\r\nMainForm.Top=50\r\nMainForm.Width=640\r\nMainForm.Height=480\r\n"
              "StatusForm.Left=-5\r\nStatusForm.Top=10\r\n"
              "BufferEditForm.Left=abc\r\nBufferEditForm.Top=20\r\nBufferEditForm.Width=x\r\n"
              "Wide.Left=0\r\nWide.Top=0\r\nWide.Width=1024\r\nWide.Height=100\r\n");
    TKOVConfig config(Program(), {});
    const int W = 1024, H = 768;

    FormPlacement main = config.RestoreFormPosition({"MainForm", 0, 0, 400, 300, true}, W, H);
    EXPECT_EQ(main.left, 100);
    EXPECT_EQ(main.top, 50);
    EXPECT_EQ(main.width, 640);
    EXPECT_EQ(main.height, 480);

    // Off screen: back to the centred default with the design size.
    FormPlacement status = config.RestoreFormPosition({"StatusForm", 1, 1, 301, 101, false}, W, H);
    EXPECT_EQ(status.left, 512 - 150);
    EXPECT_EQ(status.top, 384 - 50);
    EXPECT_EQ(status.width, 301);

    // Not numeric: the default left, the design width, the stored top.
    FormPlacement edit = config.RestoreFormPosition({"BufferEditForm", 0, 0, 200, 100, true}, W, H);
    EXPECT_EQ(edit.left, 412);
    EXPECT_EQ(edit.top, 20);
    EXPECT_EQ(edit.width, 200);
    EXPECT_EQ(edit.height, 100);

    // Exactly as wide as the screen is not wholly on it.
    FormPlacement wide = config.RestoreFormPosition({"Wide", 0, 0, 200, 100, true}, W, H);
    EXPECT_EQ(wide.left, 412);
    EXPECT_EQ(wide.width, 200);

    // Nothing stored: centred.
    FormPlacement none = config.RestoreFormPosition({"Nothing", 7, 7, 100, 50, false}, W, H);
    EXPECT_EQ(none.left, 462);
    EXPECT_EQ(none.top, 359);

    config.SaveFormPosition({"Fixed", 5, 6, 70, 80, false});
    EXPECT_EQ(config.GetInt("Fixed", "Left"), 5);
    EXPECT_EQ(config.GetInt("Fixed", "Top"), 6);
    EXPECT_FALSE(config.HasValue("Fixed", "Width"));
}

// ---------------------------------------------------------------------------------------------
// The accessors handed to libraries.

class ConfigAccessorTest : public GlobalsFixture {};

TEST_F(ConfigAccessorTest, TextAccessorsCheckNamesAndCutLongValues) {
    KovCfgWriteString("Lib", "Name", "first");
    EXPECT_STREQ(KovCfgReadString("Lib", "Name"), "first");
    // A missing key after a present one gives "", never the previous answer.
    EXPECT_STREQ(KovCfgReadString("Lib", "Missing"), "");

    KovCfgWriteString("Lib", "Name", "");        // an empty value cannot be stored
    EXPECT_STREQ(KovCfgReadString("Lib", "Name"), "first");
    KovCfgWriteString("", "Name", "x");
    KovCfgWriteString(nullptr, "Name", "x");
    KovCfgWriteString("Lib", nullptr, "x");
    KovCfgWriteString("Lib", "Null", nullptr);
    EXPECT_FALSE(GlobalConfig->HasValue("Lib", "Null"));
    EXPECT_STREQ(KovCfgReadString("", "Name"), "");
    EXPECT_STREQ(KovCfgReadString("Lib", nullptr), "");

    const std::string longValue(300, 'L');
    KovCfgWriteString3("Lib", "Sub", "Long", longValue.c_str());
    const char* three = KovCfgReadString3("Lib", "Sub", "Long");
    EXPECT_EQ(std::strlen(three), 254u);
    EXPECT_EQ(GlobalConfig->GetString("Lib", "Sub", "Long"), longValue);

    // The two getters have separate buffers.
    const char* two = KovCfgReadString("Lib", "Name");
    EXPECT_STREQ(two, "first");
    EXPECT_EQ(std::strlen(three), 254u);
    EXPECT_STREQ(KovCfgReadString3("Lib", "", "Long"), "");
}

TEST_F(ConfigAccessorTest, NumberAndFlagAccessors) {
    KovCfgWriteInt("Lib", "Count", -7);
    EXPECT_EQ(KovCfgReadInt("Lib", "Count"), -7);
    EXPECT_EQ(KovCfgReadInt("", "Count"), 0);
    KovCfgWriteFloat3("Lib", "Sub", "Ratio", 0.25);
    EXPECT_EQ(KovCfgReadFloat3("Lib", "Sub", "Ratio"), 0.25);
    EXPECT_EQ(KovCfgReadFloat3("Lib", "Sub", nullptr), 0.0);
    KovCfgWriteBool("Lib", "Flag", 0x100);   // a byte flag: only the low eight bits count
    EXPECT_EQ(KovCfgReadBool("Lib", "Flag"), 0);
    KovCfgWriteBool3("Lib", "Sub", "Flag", 1);
    EXPECT_EQ(KovCfgReadBool3("Lib", "Sub", "Flag"), 1);
    EXPECT_EQ(GlobalConfig->GetString("Lib", "Sub", "Flag"), "TRUE");
    KovCfgWriteInt3("Lib", "", "Count", 3);
    EXPECT_FALSE(GlobalConfig->HasValue("Lib", "", "Count"));
    KovCfgWriteFloat("Lib", "F", 2.5);
    EXPECT_EQ(KovCfgReadFloat("Lib", "F"), 2.5);
}

TEST_F(ConfigAccessorTest, AccessorsWithoutAStoreAreNeutral) {
    StopGlobals();
    KovCfgWriteString("Lib", "Name", "x");
    EXPECT_STREQ(KovCfgReadString("Lib", "Name"), "");
    EXPECT_EQ(KovCfgReadInt3("Lib", "Sub", "Count"), 0);
    EXPECT_EQ(KovCfgReadBool("Lib", "Flag"), 0);
}
