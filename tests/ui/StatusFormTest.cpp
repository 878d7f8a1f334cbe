#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "FormsFixture.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Statusstack.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"
#include "ui/StatusForm.h"

namespace {

class StatusFormTest : public FormsFixture {
protected:
    void TearDown() override {
        ShowProgressBox("", "", 0, "", 0, 0);
        FormsFixture::TearDown();
    }
    static void Show(unsigned type, const char* progressText = "Elapsed") {
        ShowProgressBox("Programming", "Program device", type, progressText, 0, 1);
    }
};

TEST_F(StatusFormTest, EachTypeShowsBarOrTextAndEnablesAbortAsSpecified) {
    struct Case {
        unsigned type;
        bool bar;
        bool abort;
    };
    for (const Case c : {Case{0, true, true}, Case{1, true, false}, Case{2, false, true}, Case{3, false, false}}) {
        SCOPED_TRACE(c.type);
        Show(c.type, "12 s");
        EXPECT_TRUE(StatusForm->isVisible());
        EXPECT_EQ(StatusForm->windowTitle(), "Program device");
        EXPECT_EQ(StatusForm->FunctionLabel->text(), "Programming");
        EXPECT_EQ(StatusForm->ProgressBar->isVisible(), c.bar);
        EXPECT_EQ(StatusForm->ProgressLabel->isVisible(), !c.bar);
        if (!c.bar) {
            EXPECT_EQ(StatusForm->ProgressLabel->text(), "12 s");
        }
        EXPECT_EQ(StatusForm->AbortButton->isEnabled(), c.abort);
    }
    ASSERT_EQ(UpdateProgress(40, "Block 3"), 1);
    EXPECT_EQ(StatusForm->ProgressLabel->text(), "Block 3");
    EXPECT_EQ(StatusForm->ProgressBar->value(), 40);

    ShowProgressBox("", "", 0, "", 0, 0);
    EXPECT_FALSE(StatusForm->isVisible());
    EXPECT_EQ(UpdateProgress(50, "x"), 2);
}

TEST_F(StatusFormTest, WindowStaysOnTopWithoutSystemButtonsAndAbortNeverHoldsFocus) {
    const Qt::WindowFlags flags = StatusForm->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);

    Show(0);
    StatusForm->activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(StatusForm->focusWidget(), StatusForm->FocusHolder);
    EXPECT_FALSE(StatusForm->AbortButton->hasFocus());
    EXPECT_FALSE(StatusForm->rect().intersects(StatusForm->FocusHolder->geometry()));

    // Neither the window manager's close request nor Return ends the operation.
    StatusForm->close();
    EXPECT_TRUE(StatusForm->isVisible());
    QTest::keyClick(StatusForm, Qt::Key_Return);
    QTest::keyClick(StatusForm, Qt::Key_Space);
    EXPECT_FALSE(ProgressBox().Cancelled());
    EXPECT_EQ(UpdateProgress(10, nullptr), 1);
}

TEST_F(StatusFormTest, AbortActsOnThePressAlreadyAndOnEscape) {
    Show(0);
    QTest::mousePress(StatusForm->AbortButton, Qt::LeftButton);
    EXPECT_TRUE(ProgressBox().Cancelled());
    EXPECT_TRUE(ProgressBox().AbortRequested());
    EXPECT_EQ(UpdateProgress(30, nullptr), 2);
    QTest::mouseRelease(StatusForm->AbortButton, Qt::LeftButton);
    EXPECT_TRUE(StatusForm->isVisible());

    // Reconfiguring clears cancelled; the abort request stays until the box is shown again.
    Show(2);
    EXPECT_FALSE(ProgressBox().Cancelled());
    EXPECT_TRUE(ProgressBox().AbortRequested());
    EXPECT_EQ(UpdateProgress(31, nullptr), 1);

    QTest::keyClick(StatusForm, Qt::Key_Escape);
    EXPECT_TRUE(ProgressBox().Cancelled());
    EXPECT_TRUE(StatusForm->isVisible());
    EXPECT_EQ(UpdateProgress(32, nullptr), 2);

    ShowProgressBox("", "", 0, "", 0, 0);
    Show(0);
    EXPECT_FALSE(ProgressBox().Cancelled());
    EXPECT_FALSE(ProgressBox().AbortRequested());
}

TEST_F(StatusFormTest, DisabledAbortIgnoresPressAndEscape) {
    for (unsigned type : {1u, 3u}) {
        SCOPED_TRACE(type);
        Show(type);
        QTest::mouseClick(StatusForm->AbortButton, Qt::LeftButton);
        QTest::keyClick(StatusForm, Qt::Key_Escape);
        EXPECT_FALSE(ProgressBox().Cancelled());
        EXPECT_FALSE(ProgressBox().AbortRequested());
        EXPECT_EQ(UpdateProgress(5, nullptr), 1);
    }
}

TEST_F(StatusFormTest, PositionIsStoredWhenHiddenAndUsedWhenShownAgain) {
    Show(0);
    StatusForm->move(310, 140);
    ShowProgressBox("", "", 0, "", 0, 0);
    EXPECT_EQ(GlobalConfig->GetInt("StatusForm", "Left"), 310);
    EXPECT_EQ(GlobalConfig->GetInt("StatusForm", "Top"), 140);

    StatusForm->move(0, 0);
    Show(1);
    EXPECT_EQ(StatusForm->pos(), QPoint(310, 140));
}

class StatusFormSessionTest : public StatusFormTest {
protected:
    bool AutoStart() const override { return false; }
};

TEST_F(StatusFormSessionTest, StoredPositionComesFromTheSessionAndOffScreenOnesAreNotUsed) {
    sessionLines = {"StatusForm.Left=222", "StatusForm.Top=111"};
    StartForms();
    Show(0);
    EXPECT_EQ(StatusForm->pos(), QPoint(222, 111));
    ShowProgressBox("", "", 0, "", 0, 0);

    GlobalConfig->SetInt("StatusForm", "Left", 100000);
    Show(0);
    const QSize desktop = DesktopSize();
    EXPECT_GE(StatusForm->x(), 0);
    EXPECT_LT(StatusForm->x() + StatusForm->width(), desktop.width());
}

TEST_F(StatusFormTest, HidingTheBoxRestoresAMinimisedMainWindow) {
    MainForm->show();
    Show(0);
    MainForm->showMinimized();
    ASSERT_TRUE(MainForm->isMinimized());
    ShowProgressBox("", "", 0, "", 0, 0);
    EXPECT_FALSE(MainForm->isMinimized());
}

TEST_F(StatusFormTest, BoxOutlivesTheGlobalObjects) {
    Show(0);
    StopGlobals();
    // Hiding now must not reach the destroyed configuration store.
    ShowProgressBox("", "", 0, "", 0, 0);
    EXPECT_FALSE(StatusForm->isVisible());
}

}  // namespace
