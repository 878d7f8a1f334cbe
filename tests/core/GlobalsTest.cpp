#include <cerrno>
#include <cstring>
#include <filesystem>

#include "KovTest.h"
#include "branding/Edition.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/KovError.h"
#include "core/Logger.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"

namespace fs = std::filesystem;

TEST(InstallFolderTest, FrameworkFolderInAnyCaseMeansTheParent) {
    EXPECT_EQ(InstallFolderFromProgram("/opt/kov/framework/kov"), "/opt/kov/framework/..");
    EXPECT_EQ(InstallFolderFromProgram("/Tools/Framework/prog"), "/Tools/Framework/..");
    EXPECT_EQ(InstallFolderFromProgram("/home/FrameWorkS/x/kov"), "/home/FrameWorkS/x/..");
    EXPECT_EQ(InstallFolderFromProgram("/usr/local/bin/kov"), "/usr/local/bin");
    EXPECT_EQ(InstallFolderFromProgram("/kov"), "/");
    // A relative program path is taken from the current folder.
    EXPECT_EQ(InstallFolderFromProgram("kov"), fs::current_path().string());
    EXPECT_FALSE(RunningProgramPath().empty());
}

TEST(EditionTest, EachEditionHasItsRowAndEveryOtherIdentifierTheDefault) {
    const EditionInfo kestra = EditionFor("KESTRA");
    EXPECT_EQ(kestra.productName, "Kestra");
    EXPECT_EQ(kestra.helpFileName, "TOLQ.hlp");
    EXPECT_EQ(kestra.frameworkVersion, "2.2");
    EXPECT_EQ(EditionFor("BOLVANE").productName, "Bolvane");
    EXPECT_EQ(EditionFor("BOLVANE").frameworkVersion, "1.4");
    EXPECT_EQ(EditionFor("TORMEX").productName, "TORMEX");
    EXPECT_EQ(EditionFor("TORMEX").frameworkVersion, "1.4");
    // Identifiers are compared exactly: another spelling is another edition.
    for (const char* other : {"tormex", "KESTRA ", "", "ACME"}) {
        EXPECT_EQ(EditionFor(other).productName, "kov") << other;
        EXPECT_EQ(EditionFor(other).helpFileName, "kov.hlp") << other;
        EXPECT_EQ(EditionFor(other).frameworkVersion, "1.4") << other;
    }
    // The build's own values are its edition's row.
    EXPECT_EQ(ProductName, EditionFor(EditionId).productName);
    EXPECT_EQ(FrameworkVersion, EditionFor(EditionId).frameworkVersion);

    EXPECT_EQ(BuildYearOf("Jul 18 2003"), "2003");
    EXPECT_EQ(BuildYearOf("Jul  8 2003"), "2003");
    EXPECT_EQ(BuildYearOf("2003"), "");
    EXPECT_EQ(BuildYearOf(""), "");
    EXPECT_EQ(BuildYear, BuildYearOf(BuildDate));
}

class GlobalsTest : public GlobalsFixture {
protected:
    bool AutoStart() const override { return false; }
};

TEST_F(GlobalsTest, StartCreatesEverythingAndStopWritesTheSessionLast) {
    sessionLines = {"Log.MaxLogEntries=45", "MainForm.Left=3"};
    StartGlobals();
    ASSERT_NE(GlobalConfig, nullptr);
    ASSERT_NE(GlobalLog, nullptr);
    ASSERT_NE(GlobalBuffer, nullptr);
    ASSERT_NE(GlobalStatusStack, nullptr);
    ASSERT_NE(EnabledGlyph, nullptr);
    ASSERT_NE(DisabledGlyph, nullptr);
    EXPECT_EQ(GlobalBuffer->Size, 1048576);
    EXPECT_TRUE(GlobalBuffer->Untouched);
    EXPECT_EQ(GlobalStatusStack->TopStatus()->text, "Idle");
    EXPECT_EQ(InstallFolder, (temp / "framework").string() + "/..");
    EXPECT_EQ(HelpFilePath(), InstallFolder + "/help/" + HelpFileName);

    // Both glyphs are PNG pictures, and different ones.
    const std::uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    ASSERT_GT(EnabledGlyph->bytes.size(), sizeof signature);
    EXPECT_EQ(std::memcmp(EnabledGlyph->bytes.data(), signature, sizeof signature), 0);
    EXPECT_EQ(std::memcmp(DisabledGlyph->bytes.data(), signature, sizeof signature), 0);
    EXPECT_NE(EnabledGlyph->bytes, DisabledGlyph->bytes);

    TLog::SetMaxEntries(640);
    GlobalConfig->SetInt("Log", "MaxLogEntries", TLog::GetMaxEntries());
    StopGlobals();
    EXPECT_EQ(GlobalConfig, nullptr);
    EXPECT_EQ(GlobalLog, nullptr);
    EXPECT_EQ(GlobalBuffer, nullptr);
    EXPECT_EQ(GlobalStatusStack, nullptr);
    EXPECT_EQ(EnabledGlyph, nullptr);
    EXPECT_EQ(ReadFile(SessionFile()), "Log.MaxLogEntries=640\r\nMainForm.Left=3\r\n");
    StopGlobals();   // twice is harmless
}

TEST_F(GlobalsTest, TheLoggerWritesItsLimitIntoTheSessionAtStart) {
    sessionLines = {"Log.MaxLogEntries=5000"};
    StartGlobals();
    StopGlobals();
    EXPECT_EQ(ReadFile(SessionFile()), "Log.MaxLogEntries=300\r\n");
}

TEST_F(GlobalsTest, SwitchesAreReadOnlyWhileStillOff) {
    sessionLines = {"Global.Debug=on", "Global.ShowAllExceptions=Yes"};
    StartGlobals();
    EXPECT_TRUE(DebugMode);
    EXPECT_TRUE(ShowAllExceptions);
    StopGlobals();

    // A switch already on stays on whatever the session says.
    sessionLines = {"Global.Debug=FALSE"};
    debugMode = true;
    ShowAllExceptions = false;
    StartGlobals();
    EXPECT_TRUE(DebugMode);
    EXPECT_FALSE(ShowAllExceptions);
}

TEST_F(GlobalsTest, SessionNamedOnTheCommandLine) {
    params = {"job7.kvs"};
    sessionLines = {"Log.Level=1"};
    StartGlobals();
    EXPECT_EQ(GlobalConfig->SessionPath(), InstallFolder + "/sessions/job7.kvs");
    EXPECT_EQ(GlobalLog->Level(), 1);
}

TEST_F(GlobalsTest, AMissingSessionsFolderIsCreatedAtExit) {
    fs::remove_all(temp / "sessions");
    StartGlobals();
    GlobalConfig->SetString("A", "B", "c");
    StopGlobals();
    EXPECT_NE(ReadFile(SessionFile()).find("A.B=c\r\n"), std::string::npos);
}

TEST_F(GlobalsTest, AFailedSessionWriteIsLoggedWhileTheLoggerLives) {
    StartGlobals();
    fs::remove_all(temp / "sessions");
    WriteFile(temp / "sessions", "a file where the folder should be");
    EXPECT_FALSE(GlobalConfig->SaveSession(GlobalConfig->SessionPath()));
    EXPECT_TRUE(LogContains("(2) - Unable to save the session file " + GlobalConfig->SessionPath()));

    testing::internal::CaptureStderr();
    StopGlobals();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Unable to save the session file"), std::string::npos);
}

TEST_F(GlobalsTest, AnUnreadableSessionIsNamedInTheLog) {
    fs::create_directories(SessionFile());   // a folder cannot be read as a file
    StartGlobals();
    EXPECT_TRUE(LogContains("Unable to read the session file " + GlobalConfig->SessionPath()));
    testing::internal::CaptureStderr();
    StopGlobals();
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fs::is_directory(SessionFile()));
}

// ---------------------------------------------------------------------------------------------
// Shared helpers

class HelperTest : public GlobalsFixture {};

namespace {

struct Parsed {
    bool ok;
    std::vector<std::uint8_t> bytes;
};

Parsed Parse(const std::string& text, int capacity = 64) {
    std::uint8_t out[64] = {};
    int n = capacity;
    const bool ok = ParseDataString(text, &n, out);
    return {ok, ok ? std::vector<std::uint8_t>(out, out + n) : std::vector<std::uint8_t>{}};
}

using Bytes = std::vector<std::uint8_t>;

}  // namespace

TEST_F(HelperTest, DataStringsGiveTheirBytes) {
    EXPECT_EQ(Parse("01 02 'AB' FF").bytes, (Bytes{0x01, 0x02, 0x41, 0x42, 0xFF}));
    EXPECT_EQ(Parse("123").bytes, (Bytes{0x01, 0x23}));
    EXPECT_EQ(Parse("'A'B").bytes, (Bytes{0x41, 0x0B}));
    EXPECT_EQ(Parse("aBcD").bytes, (Bytes{0xAB, 0xCD}));
    EXPECT_EQ(Parse("'a b'").bytes, (Bytes{'a', ' ', 'b'}));
    EXPECT_EQ(Parse("\t00\xA0" "11 ").bytes, (Bytes{0x00, 0x11}));   // tab and 0xA0 separate
    EXPECT_EQ(Parse("'\xE9'").bytes, (Bytes{0xE9}));                 // inside quotes every byte is data
    EXPECT_EQ(Parse("F'x'").bytes, (Bytes{0x0F, 'x'}));
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(HelperTest, BadDataStringsShowTheMessage) {
    const std::vector<std::pair<std::string, int>> bad = {
        {"'", 64}, {"GG", 64}, {"1 2", 64}, {"", 64}, {"''", 64}, {"0G", 64}, {"   ", 64},
        {"01 02", 4},   // longer than the capacity although two bytes would fit
    };
    for (const auto& [text, capacity] : bad) EXPECT_FALSE(Parse(text, capacity).ok) << '"' << text << '"';
    ASSERT_EQ(dialogs.shown.size(), bad.size());
    EXPECT_EQ(dialogs.shown[0].text, "An error occurred while processing the data string");
    EXPECT_EQ(dialogs.shown[0].caption, "Data entry error");
    EXPECT_EQ(dialogs.shown[0].flags, MB_OK | MB_ICONEXCLAMATION);

    std::uint8_t out[4];
    EXPECT_FALSE(ParseDataString("01", nullptr, out));
    int n = 4;
    EXPECT_FALSE(ParseDataString("01", &n, nullptr));
    n = -1;
    EXPECT_FALSE(ParseDataString("01", &n, out));
}

TEST_F(HelperTest, ReportExceptionShowsThePlaceOnlyWhenAsked) {
    ReportException("/src/framework/files/File.cpp", 120);
    EXPECT_TRUE(dialogs.shown.empty());
    ShowAllExceptions = true;
    ReportException("/src/framework/files/File.cpp", 120);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "File:File.cpp Line:120");
    EXPECT_EQ(dialogs.shown[0].caption, "Exception");
    EXPECT_EQ(dialogs.shown[0].flags, MB_OK);

    EXPECT_FALSE(Guarded(__FILE__, __LINE__, [] { throw KovError("boom"); }));
    EXPECT_TRUE(Guarded(__FILE__, __LINE__, [] {}));
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text.rfind("File:GlobalsTest.cpp Line:", 0), 0u);
}

TEST_F(HelperTest, LibraryMessageBoxesCanBeSwitchedOff) {
    dialogs.answers = {IDNO};
    EXPECT_EQ(LibraryMessageBox("Continue?", "Library", MB_YESNO), IDNO);
    SetLibraryMessagesEnabled(false);
    EXPECT_EQ(LibraryMessageBox("Continue?", "Library", MB_YESNO), IDOK);
    EXPECT_EQ(dialogs.shown.size(), 1u);
    SetLibraryMessagesEnabled(true);
    EXPECT_EQ(LibraryMessageBox(nullptr, nullptr, MB_OK), IDOK);
    EXPECT_EQ(dialogs.shown.back().text, "");
}

TEST_F(HelperTest, LogMessageReachesTheLoggerAndNothingWithoutOne) {
    LogMessageC("from a library", 2);
    LogMessageC(nullptr, 2);
    EXPECT_EQ(LogLines().back(), "(2) - from a library");
    StopGlobals();
    LogMessage("nobody listens", 2);
    LogMessageC("nobody listens", 2);
}

TEST_F(HelperTest, LastSystemErrorPrefersTheLoaderError) {
    errno = ENOENT;
    EXPECT_EQ(LastSystemErrorText(), std::strerror(ENOENT));
    EXPECT_EQ(LastSystemErrorCode(), ENOENT);
    SetLastSystemError(1, "libx.so: cannot open shared object file");
    EXPECT_EQ(LastSystemErrorText(), "libx.so: cannot open shared object file");
    EXPECT_EQ(LastSystemErrorCode(), 1);
    SetLastSystemError(0, "");
    errno = EACCES;
    EXPECT_EQ(LastSystemErrorText(), std::strerror(EACCES));
}
