#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "KovTest.h"
#include "branding/Edition.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Logger.h"

namespace fs = std::filesystem;

namespace {

// The last n lines of the log list.
std::vector<std::string> Tail(const std::vector<std::string>& lines, std::size_t n) {
    return {lines.end() - static_cast<std::ptrdiff_t>(std::min(n, lines.size())), lines.end()};
}

// A view that records its update brackets, as the main window's list would.
class CountingLines : public TStringLines {
public:
    void BeginUpdate() override { ++depth; ++brackets; }
    void EndUpdate() override { --depth; }
    void RemoveFirst(int count) override {
        EXPECT_EQ(depth, 1) << "trimming outside the update bracket";
        TStringLines::RemoveFirst(count);
    }
    void Append(const std::string& line) override {
        EXPECT_EQ(depth, 1) << "appending outside the update bracket";
        TStringLines::Append(line);
    }
    int depth = 0;
    int brackets = 0;
};

}  // namespace

class LoggerTest : public GlobalsFixture {};

TEST_F(LoggerTest, StartWritesTheHeaderLinesNumberedFromZero) {
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("(0) - Log Started - ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "(1) - " + EditionNoticeLine());
    EXPECT_NE(lines[1].find(BuildYear), std::string::npos);
    EXPECT_EQ(GlobalLog->Level(), 2);
    EXPECT_EQ(GlobalLog->EntryNumber(), 2);
}

TEST_F(LoggerTest, StartTimeUsesEnglishNames) {
    std::tm when{};
    when.tm_year = 103;
    when.tm_mon = 6;
    when.tm_mday = 18;
    when.tm_wday = 5;
    when.tm_hour = 14;
    when.tm_min = 5;
    EXPECT_EQ(FormatLogStartTime(when), "Friday, July 18, 2003 - 14:05");
    when.tm_mday = 1;
    when.tm_mon = 0;
    when.tm_wday = 0;
    when.tm_hour = 0;
    when.tm_min = 0;
    EXPECT_EQ(FormatLogStartTime(when), "Sunday, January 1, 2003 - 00:00");
}

TEST_F(LoggerTest, RepetitionsAreFoldedIntoOneLine) {
    for (int i = 0; i < 5; ++i) LogMessage("Reading", 2);
    LogMessage("Done", 2);
    EXPECT_EQ(Tail(LogLines(), 3),
              (std::vector<std::string>{"(2) - Reading", "(3) - Last message repeated 4 times", "(4) - Done"}));
    LogMessage("Done", 2);
    LogMessage("Other", 2);
    EXPECT_EQ(Tail(LogLines(), 2),
              (std::vector<std::string>{"(5) - Last message repeated 1 time", "(6) - Other"}));
    // A repetition never followed by another message is never reported.
    LogMessage("Other", 2);
    EXPECT_EQ(LogLines().back(), "(6) - Other");
}

TEST_F(LoggerTest, FilterWithAndWithoutDebugMode) {
    auto shows = [](int level) {
        const std::string text = "message at " + std::to_string(level) + " " + std::to_string(GlobalLog->EntryNumber());
        const int before = GlobalLog->EntryNumber();
        GlobalLog->Log(text, level);
        return GlobalLog->EntryNumber() != before;
    };
    GlobalLog->SetLevel(2);
    EXPECT_TRUE(shows(-1));
    EXPECT_TRUE(shows(2));
    EXPECT_FALSE(shows(3));

    GlobalLog->SetLevel(7);
    for (int m = 0; m <= 7; ++m) EXPECT_TRUE(shows(m)) << m;
    EXPECT_FALSE(shows(8));
    GlobalLog->SetLevel(4);
    EXPECT_TRUE(shows(8));
    EXPECT_TRUE(shows(5));

    DebugMode = true;
    GlobalLog->SetLevel(7);
    EXPECT_FALSE(shows(5));
    EXPECT_FALSE(shows(6));
    EXPECT_TRUE(shows(7));
    EXPECT_TRUE(shows(3));
    GlobalLog->SetLevel(6);
    EXPECT_FALSE(shows(5));
    EXPECT_TRUE(shows(6));
    GlobalLog->SetLevel(4);
    EXPECT_TRUE(shows(5));
    EXPECT_TRUE(shows(6));
    DebugMode = false;
    GlobalLog->SetLevel(6);
    EXPECT_TRUE(shows(5));
}

TEST_F(LoggerTest, DebugModeShowsLevelNames) {
    DebugMode = true;
    GlobalLog->SetLevel(4);
    LogMessage("a", 0);
    LogMessage("b", 9);
    LogMessage("c", -1);
    EXPECT_EQ(Tail(LogLines(), 4), (std::vector<std::string>{"(Always) - Logging Level = Debug", "(Severe) - a",
                                                              "(Unknown) - b", "(Always) - c"}));
}

TEST_F(LoggerTest, SetLevelAnnouncesStoresAndIgnoresBadLevels) {
    GlobalLog->SetLevel(3);
    EXPECT_EQ(LogLines().back(), "(2) - Logging Level = Verbose");
    EXPECT_EQ(GlobalConfig->GetString("Log", "Level"), "3");
    GlobalLog->SetLevel(3);
    GlobalLog->SetLevel(8);
    GlobalLog->SetLevel(-1);
    EXPECT_EQ(GlobalLog->Level(), 3);
    LogMessage("next", 2);
    EXPECT_EQ(Tail(LogLines(), 2),
              (std::vector<std::string>{"(3) - Last message repeated 1 time", "(4) - next"}));
}

TEST_F(LoggerTest, TheListIsTrimmedInsideOneUpdate) {
    CountingLines view;
    GlobalLog->AttachDisplay(&view);
    EXPECT_EQ(view.Count(), 2);   // the header lines moved over without trimming
    for (int i = 0; i < 300; ++i) LogMessage("line " + std::to_string(i), 2);
    EXPECT_EQ(view.Count(), 300);
    TLog::SetMaxEntries(20);
    const int bracketsBefore = view.brackets;
    LogMessage("after", 2);
    EXPECT_EQ(view.brackets, bracketsBefore + 1);
    EXPECT_EQ(view.Count(), 20);
    EXPECT_EQ(view.Line(0), "(283) - line 281");
    EXPECT_EQ(view.Line(19), "(302) - after");
    LogMessage("more", 2);
    EXPECT_EQ(view.Count(), 20);
    EXPECT_EQ(view.Line(0), "(284) - line 282");
    GlobalLog->AttachDisplay(nullptr);
}

TEST_F(LoggerTest, MaxEntriesBelowOneIsTakenAsOne) {
    TLog::SetMaxEntries(0);
    EXPECT_EQ(TLog::GetMaxEntries(), 1);
    TLog::SetMaxEntries(-50);
    EXPECT_EQ(TLog::GetMaxEntries(), 1);
    LogMessage("only", 2);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"(2) - only"}));
}

TEST_F(LoggerTest, EntryNumbersWrapAfterTenThousand) {
    for (int i = 2; i <= 10000; ++i) LogMessage("entry " + std::to_string(i), 2);
    EXPECT_EQ(LogLines().back(), "(10000) - entry 10000");
    LogMessage("wrapped", 2);
    EXPECT_EQ(LogLines().back(), "(0) - wrapped");
}

TEST_F(LoggerTest, LogFileStartsWithTheListAndGetsEveryEntry) {
    LogMessage("before", 2);
    const fs::path file = temp / "kov.log";
    ASSERT_TRUE(GlobalLog->OpenLogFile(file.string()));
    EXPECT_EQ(GlobalLog->LogFileName(), file.string());
    LogMessage("after", 2);
    LogMessage("hidden", 5);   // filtered: not in the file either
    ASSERT_TRUE(GlobalLog->OpenLogFile(""));
    EXPECT_EQ(GlobalLog->LogFileName(), "");
    LogMessage("closed", 2);

    const auto lines = LogLines();
    std::string expected;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) expected += lines[i] + "\r\n";
    EXPECT_EQ(ReadFile(file), expected);
    EXPECT_NE(expected.find("(3) - after\r\n"), std::string::npos);

    // Opening again replaces the file with the list as it is now.
    ASSERT_TRUE(GlobalLog->OpenLogFile(file.string()));
    GlobalLog->OpenLogFile("");
    std::string now;
    for (const auto& line : LogLines()) now += line + "\r\n";
    EXPECT_EQ(ReadFile(file), now);
}

TEST_F(LoggerTest, AnUncreatableLogFileIsReportedAndLoggingGoesOn) {
    const std::string path = (temp / "no such folder" / "kov.log").string();
    EXPECT_FALSE(GlobalLog->OpenLogFile(path));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              "Unable to Open/Create file " + path + ". Log messages will not be saved to disk.");
    EXPECT_EQ(dialogs.shown[0].caption, "Error opening log file");
    EXPECT_EQ(GlobalLog->LogFileName(), "");
    LogMessage("still logging", 2);
    EXPECT_EQ(LogLines().back(), "(2) - still logging");
}

TEST_F(LoggerTest, AFullDiskClosesTheLogFileWithANote) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // The lines on screen cannot be written: the open fails with the message.
    EXPECT_FALSE(GlobalLog->OpenLogFile("/dev/full"));
    EXPECT_EQ(dialogs.shown.size(), 1u);

    // With an empty list the open succeeds and the first entry fails.
    TStringLines view;
    GlobalLog->AttachDisplay(&view);
    view.Clear();
    ASSERT_TRUE(GlobalLog->OpenLogFile("/dev/full"));
    LogMessage("lost", 2);
    EXPECT_EQ(GlobalLog->LogFileName(), "");
    EXPECT_EQ(view.Count(), 2);
    EXPECT_EQ(view.Line(1).rfind("Unable to write to log file /dev/full", 0), 0u) << view.Line(1);
    LogMessage("kept", 2);
    EXPECT_EQ(view.Line(2), "(3) - kept");
    GlobalLog->AttachDisplay(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Settings read at construction.

class LoggerSettingsTest : public GlobalsFixture {
protected:
    bool AutoStart() const override { return false; }
};

TEST_F(LoggerSettingsTest, StoredLevelIsAnnouncedBeforeTheHeader) {
    sessionLines = {"Log.Level=3", "Log.MaxLogEntries=50"};
    StartGlobals();
    const auto lines = LogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "(0) - Logging Level = Verbose");
    EXPECT_EQ(lines[1].rfind("(1) - Log Started - ", 0), 0u);
    EXPECT_EQ(GlobalLog->Level(), 3);
    EXPECT_EQ(TLog::GetMaxEntries(), 50);
}

TEST_F(LoggerSettingsTest, NonNumericLevelMeansGeneral) {
    sessionLines = {"Log.Level=verbose please"};
    StartGlobals();
    EXPECT_EQ(LogLines()[0], "(0) - Logging Level = General");
    EXPECT_EQ(GlobalConfig->GetString("Log", "Level"), "2");
}

TEST_F(LoggerSettingsTest, OutOfRangeLimitsBecomeThreeHundredAndAreWrittenBack) {
    for (const char* stored : {"abc", "19", "1001", "99999999999"}) {
        sessionLines = {std::string("Log.MaxLogEntries=") + stored};
        TLog::SetMaxEntries(77);
        StartGlobals();
        EXPECT_EQ(TLog::GetMaxEntries(), 300) << stored;
        StopGlobals();
        EXPECT_NE(ReadFile(SessionFile()).find("Log.MaxLogEntries=300\r\n"), std::string::npos) << stored;
    }
}

TEST_F(LoggerSettingsTest, WithoutAStoredLimitTheCurrentOneIsKeptAndStored) {
    TLog::SetMaxEntries(120);
    StartGlobals();
    EXPECT_EQ(TLog::GetMaxEntries(), 120);
    EXPECT_EQ(GlobalConfig->GetInt("Log", "MaxLogEntries"), 120);
    EXPECT_FALSE(GlobalConfig->HasValue("Log", "Level"));
}
