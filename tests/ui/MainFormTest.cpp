#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include "FormsFixture.h"
#include "branding/Edition.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Logger.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "ui/Forms.h"
#include "ui/LogView.h"
#include "ui/MainForm.h"

namespace {

using Items = std::vector<std::string>;

const Items LevelItems = {"Severe", "Warning", "General", "Verbose", "Debug"};
const Items DebugLevelItems = {"Severe",       "Warning",          "General",         "Verbose",
                               "Debug",        "Device Debug",     "Programmer Debug", "Framework Debug"};
const Items Commands = {"Copy log to clipboard", "Send log to file", "Close log file", "Clear log"};

Items Concat(Items a, const Items& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<QAction*> CheckedItems(QMenu* menu) {
    std::vector<QAction*> checked;
    for (QAction* action : menu->actions()) {
        if (action->isChecked()) checked.push_back(action);
    }
    return checked;
}

class MainFormTest : public FormsFixture {};

TEST_F(MainFormTest, CaptionIsTheProductWithoutAProgrammer) {
    EXPECT_EQ(MainForm->windowTitle().toStdString(), ProductName + " - v" + FrameworkVersion);
    EXPECT_EQ(QCoreApplication::applicationName().toStdString(), ProductName);
    EXPECT_EQ(MainForm->FileStatusPanel->text(), "None");
}

TEST_F(MainFormTest, MenuBarHasTheMainMenusAndHidesTheProgrammerMenu) {
    Items shown;
    for (QAction* action : MainForm->menuBar()->actions()) {
        if (action->isVisible()) shown.push_back(action->text().toStdString());
    }
    EXPECT_EQ(shown, (Items{"&File", "&Device", "&Log", "&Help"}));
    EXPECT_FALSE(MainForm->ProgrammerMenu->menuAction()->isVisible());
}

TEST_F(MainFormTest, StatusBarFollowsTheStatusStackOnlyWhileShown) {
    int owner = 0;
    GlobalStatusStack->PushStatus("before show", &owner);
    EXPECT_TRUE(MainForm->MainStatusBar->text().isEmpty());
    MainForm->show();
    EXPECT_EQ(MainForm->MainStatusBar->text(), "before show");
    GlobalStatusStack->PushStatus("50##Reading", &owner);
    EXPECT_EQ(MainForm->MainStatusBar->text(), "Reading");
    GlobalStatusStack->PopStatus(&owner);
    EXPECT_EQ(MainForm->MainStatusBar->text(), "before show");
    GlobalStatusStack->PopStatus(&owner);
    EXPECT_EQ(MainForm->MainStatusBar->text(), "Idle");

    MainForm->hide();
    GlobalStatusStack->PushStatus("while hidden", &owner);
    EXPECT_EQ(MainForm->MainStatusBar->text(), "Idle");
    MainForm->show();
    EXPECT_EQ(MainForm->MainStatusBar->text(), "while hidden");
    GlobalStatusStack->PopStatus(&owner);
}

TEST_F(MainFormTest, LogMenusOfferTheCommonLevelsWithTheCurrentOneTicked) {
    MainForm->show();
    for (QMenu* menu : {MainForm->LogMenu, MainForm->LogPopupMenu}) {
        EXPECT_EQ(VisibleItems(menu), Concat(LevelItems, Commands));
        const auto checked = CheckedItems(menu);
        ASSERT_EQ(checked.size(), 1u);
        EXPECT_EQ(checked[0]->text(), "General");
    }
    EXPECT_FALSE(FindAction(MainForm->LogMenu, "Close log file")->isEnabled());

    FindAction(MainForm->LogPopupMenu, "Verbose")->trigger();
    EXPECT_EQ(GlobalLog->Level(), 3);
    for (QMenu* menu : {MainForm->LogMenu, MainForm->LogPopupMenu}) {
        const auto checked = CheckedItems(menu);
        ASSERT_EQ(checked.size(), 1u);
        EXPECT_EQ(checked[0]->text(), "Verbose");
    }
    EXPECT_NE(MainForm->LogBox->AllText().indexOf("Logging Level = Verbose"), -1);

    FindAction(MainForm->LogMenu, "Severe")->trigger();
    EXPECT_EQ(GlobalLog->Level(), 0);
    EXPECT_EQ(GlobalConfig->GetString("Log", "Level"), "0");
    EXPECT_TRUE(FindAction(MainForm->LogPopupMenu, "Severe")->isChecked());
}

class MainFormSessionTest : public FormsFixture {
protected:
    bool AutoStart() const override { return false; }
};

TEST_F(MainFormSessionTest, DebugModeShowsTheLibraryDebugLevels) {
    sessionLines = {"Global.Debug=TRUE", "Log.Level=6"};
    StartForms();
    MainForm->show();
    for (QMenu* menu : {MainForm->LogMenu, MainForm->LogPopupMenu}) {
        EXPECT_EQ(VisibleItems(menu), Concat(DebugLevelItems, Commands));
        EXPECT_TRUE(FindAction(menu, "Programmer Debug")->isChecked());
    }
    FindAction(MainForm->LogMenu, "Framework Debug")->trigger();
    EXPECT_EQ(GlobalLog->Level(), 7);
    for (QMenu* menu : {MainForm->LogMenu, MainForm->LogPopupMenu}) {
        const auto checked = CheckedItems(menu);
        ASSERT_EQ(checked.size(), 1u);
        EXPECT_EQ(checked[0]->text(), "Framework Debug");
    }
}

TEST_F(MainFormSessionTest, WindowTakesItsStoredPlaceAndStoresItAtClose) {
    sessionLines = {"MainForm.Left=40", "MainForm.Top=30", "MainForm.Width=500", "MainForm.Height=400"};
    StartForms();
    MainForm->show();
    EXPECT_EQ(MainForm->pos(), QPoint(40, 30));
    EXPECT_EQ(MainForm->size(), QSize(500, 400));

    MainForm->move(60, 50);
    MainForm->resize(520, 410);
    ASSERT_TRUE(MainForm->close());
    EXPECT_EQ(GlobalConfig->GetInt("MainForm", "Left"), 60);
    EXPECT_EQ(GlobalConfig->GetInt("MainForm", "Top"), 50);
    EXPECT_EQ(GlobalConfig->GetInt("MainForm", "Width"), 520);
    EXPECT_EQ(GlobalConfig->GetInt("MainForm", "Height"), 410);

    StopGlobals();
    const std::string session = ReadFile(SessionFile());
    EXPECT_NE(session.find("MainForm.Left=60"), std::string::npos);
}

TEST_F(MainFormSessionTest, AStoredPlaceOffTheScreenIsNotUsed) {
    sessionLines = {"MainForm.Left=-3000", "MainForm.Top=30", "MainForm.Width=500", "MainForm.Height=400"};
    StartForms();
    MainForm->show();
    const QSize desktop = DesktopSize();
    EXPECT_GE(MainForm->x(), 0);
    EXPECT_LT(MainForm->x() + MainForm->width(), desktop.width());
    EXPECT_LT(MainForm->y() + MainForm->height(), desktop.height());
}

TEST_F(MainFormTest, CloseIsRefusedWhileACommandRuns) {
    MainForm->show();
    MainForm->FileMenu->setEnabled(false);
    EXPECT_FALSE(MainForm->close());
    EXPECT_TRUE(MainForm->isVisible());
    EXPECT_FALSE(GlobalConfig->HasValue("MainForm", "Left"));
    MainForm->FileMenu->setEnabled(true);
    EXPECT_TRUE(MainForm->close());
    EXPECT_TRUE(GlobalConfig->HasValue("MainForm", "Left"));
}

TEST_F(MainFormTest, SendLogToFileCopiesTheViewAndLaterEntriesUntilClosed) {
    GlobalLog->Log("on screen before", 2);
    const auto path = temp / "run 1.log";
    dialogs.fileAnswers.push_back(path.string());
    FindAction(MainForm->LogMenu, "Send log to file")->trigger();

    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].filters.front(), "Log Files (*.log)");
    QAction* close = FindAction(MainForm->LogPopupMenu, "Close log file - run 1.log");
    ASSERT_NE(close, nullptr);
    EXPECT_TRUE(close->isEnabled());

    GlobalLog->Log("while the file is open", 2);
    FindAction(MainForm->LogMenu, "Close log file - run 1.log")->trigger();
    GlobalLog->Log("after closing", 2);

    const std::string file = ReadFile(path);
    EXPECT_NE(file.find("on screen before\r\n"), std::string::npos);
    EXPECT_NE(file.find("while the file is open\r\n"), std::string::npos);
    EXPECT_EQ(file.find("after closing"), std::string::npos);
    QAction* reset = FindAction(MainForm->LogMenu, "Close log file");
    ASSERT_NE(reset, nullptr);
    EXPECT_FALSE(reset->isEnabled());
    EXPECT_TRUE(GlobalLog->LogFileName().empty());
}

TEST_F(MainFormTest, LogFileThatCannotBeCreatedIsNotShownAsOpen) {
    dialogs.fileAnswers.push_back((temp / "missing-folder" / "x.log").string());
    FindAction(MainForm->LogMenu, "Send log to file")->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].caption, "Error opening log file");
    QAction* close = FindAction(MainForm->LogMenu, "Close log file");
    ASSERT_NE(close, nullptr);
    EXPECT_FALSE(close->isEnabled());

    // Replacing an open log file by one that fails leaves none open, and the menu says so.
    dialogs.fileAnswers.push_back((temp / "good.log").string());
    FindAction(MainForm->LogMenu, "Send log to file")->trigger();
    ASSERT_NE(FindAction(MainForm->LogMenu, "Close log file - good.log"), nullptr);
    dialogs.fileAnswers.push_back((temp / "missing-folder" / "y.log").string());
    FindAction(MainForm->LogMenu, "Send log to file")->trigger();
    EXPECT_FALSE(FindAction(MainForm->LogMenu, "Close log file")->isEnabled());
}

TEST_F(MainFormTest, LogFileLostToAFullDiskIsNoLongerShownAsOpen) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    // An empty view lets the file open; the next entry cannot be written and the logger gives up.
    FindAction(MainForm->LogMenu, "Clear log")->trigger();
    dialogs.fileAnswers.push_back("/dev/full");
    FindAction(MainForm->LogMenu, "Send log to file")->trigger();
    ASSERT_NE(FindAction(MainForm->LogMenu, "Close log file - full"), nullptr);
    GlobalLog->Log("cannot be written", 2);
    ASSERT_EQ(GlobalLog->LogFileName(), "");

    for (QMenu* menu : {MainForm->LogPopupMenu, MainForm->LogMenu}) {
        menu->popup(QPoint(0, 0));
        QAction* close = FindAction(menu, "Close log file");
        ASSERT_NE(close, nullptr) << menu->objectName().toStdString();
        EXPECT_FALSE(close->isEnabled());
        menu->hide();
    }
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(MainFormTest, CancelledSaveDialogChangesNothing) {
    FindAction(MainForm->LogMenu, "Send log to file")->trigger();
    EXPECT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(GlobalLog->LogFileName().empty());
    EXPECT_FALSE(FindAction(MainForm->LogMenu, "Close log file")->isEnabled());
}

TEST_F(MainFormTest, CopyPutsEveryLineOnTheClipboardAndClearEmptiesOnlyTheView) {
    GlobalLog->Log("alpha", 2);
    GlobalLog->Log("beta\ncontinued", 2);
    const int shown = MainForm->LogBox->Count();
    FindAction(MainForm->LogMenu, "Copy log to clipboard")->trigger();
    const QStringList copied = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'));
    ASSERT_EQ(copied.size(), shown + 1);   // the multi-line entry adds one line
    EXPECT_TRUE(copied[shown - 1].endsWith("beta"));
    EXPECT_EQ(copied[shown], "continued");

    const int nextNumber = GlobalLog->EntryNumber();
    FindAction(MainForm->LogPopupMenu, "Clear log")->trigger();
    EXPECT_EQ(MainForm->LogBox->Count(), 0);
    GlobalLog->Log("gamma", 2);
    ASSERT_EQ(MainForm->LogBox->Count(), 1);
    EXPECT_EQ(MainForm->LogBox->Line(0), "(" + std::to_string(nextNumber) + ") - gamma");
}

}  // namespace
