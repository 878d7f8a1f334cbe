#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "FormsFixture.h"
#include "branding/Edition.h"
#include "core/Globals.h"
#include "core/Logger.h"
#include "ui/Forms.h"
#include "ui/LogView.h"
#include "ui/MainForm.h"

namespace {

std::vector<std::string> Lines(const TLogLines& lines) {
    std::vector<std::string> out;
    for (int i = 0; i < lines.Count(); ++i) out.push_back(lines.Line(i));
    return out;
}

TEST(LogView, KeepsOneEntryPerLineThroughAppendRemoveAndClear) {
    TLogView view;
    EXPECT_EQ(view.Count(), 0);
    view.Append("");   // an empty entry is still an entry
    view.Append("first\nsecond part");
    view.Append("three\r\nparts\rhere");
    view.Append("last");
    ASSERT_EQ(view.Count(), 4);
    EXPECT_EQ(view.document()->blockCount(), 4);
    EXPECT_EQ(Lines(view), (std::vector<std::string>{"", "first\nsecond part", "three\nparts\nhere", "last"}));

    view.RemoveFirst(2);
    EXPECT_EQ(Lines(view), (std::vector<std::string>{"three\nparts\nhere", "last"}));
    EXPECT_EQ(view.AllText(), "three\nparts\nhere\nlast");
    view.RemoveFirst(0);
    EXPECT_EQ(view.Count(), 2);
    EXPECT_EQ(view.Line(5), "");
    EXPECT_EQ(view.Line(-1), "");

    view.RemoveFirst(7);
    EXPECT_EQ(view.Count(), 0);
    EXPECT_EQ(view.AllText(), "");
    view.Append("again");
    EXPECT_EQ(Lines(view), (std::vector<std::string>{"again"}));
    view.Clear();
    EXPECT_EQ(view.Count(), 0);
    EXPECT_TRUE(view.document()->isEmpty());
}

TEST(LogView, TextsInAnEightBitCodePageAreShownNotReplaced) {
    TLogView view;
    view.Append("25\xB0" "C");          // Latin-1 degree sign from a plug-in
    view.Append("25\xC2\xB0" "C");      // the same in UTF-8
    EXPECT_EQ(view.document()->findBlockByNumber(0).text(), QString::fromUtf8("25\xC2\xB0" "C"));
    EXPECT_EQ(view.document()->findBlockByNumber(1).text(), QString::fromUtf8("25\xC2\xB0" "C"));
}

TEST(LogView, ViewIsReadOnly) {
    TLogView view;
    view.Append("kept");
    view.show();
    QTest::keyClicks(&view, "typed");
    QTest::keyClick(&view, Qt::Key_Backspace);
    EXPECT_EQ(view.AllText(), "kept");
    EXPECT_EQ(view.Count(), 1);
}

class LogViewLoggerTest : public FormsFixture {
protected:
    void TearDown() override {
        TLog::SetMaxEntries(300);
        FormsFixture::TearDown();
    }
};

TEST_F(LogViewLoggerTest, LoggerTrimsTheViewToTheLimitInOneUpdatePerEntry) {
    TLog::SetMaxEntries(300);
    for (int i = 0; i < 300; ++i) GlobalLog->Log("entry " + std::to_string(i), 2);
    ASSERT_EQ(MainForm->LogBox->Count(), 300);

    TLog::SetMaxEntries(20);
    QSignalSpy changes(MainForm->LogBox->document(), &QTextDocument::contentsChanged);
    GlobalLog->Log("the newest", 2);
    EXPECT_EQ(changes.count(), 1);
    ASSERT_EQ(MainForm->LogBox->Count(), 20);
    EXPECT_NE(MainForm->LogBox->Line(19).find("the newest"), std::string::npos);
    EXPECT_NE(MainForm->LogBox->Line(18).find("entry 299"), std::string::npos);
}

TEST_F(LogViewLoggerTest, NewestEntryStaysVisible) {
    MainForm->show();
    QScrollBar* bar = MainForm->LogBox->verticalScrollBar();
    for (int i = 0; i < 200; ++i) {
        GlobalLog->Log("line " + std::to_string(i), 2);
        QApplication::processEvents();
    }
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(0);   // the user scrolled back; the next entry brings the view down again
    GlobalLog->Log("one more", 2);
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum());

    // The wheel anywhere on the window moves the log by one line.
    const int before = bar->value();
    QWheelEvent up(QPointF(5, 5), MainForm->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(MainForm, &up);
    EXPECT_EQ(bar->value(), before - 1);
}

TEST_F(LogViewLoggerTest, EntriesBeforeTheWindowExistedAreInTheViewAndViewIsReleasedAtClose) {
    const std::vector<std::string> log = Lines(*MainForm->LogBox);
    ASSERT_GE(log.size(), 3u);
    EXPECT_NE(log[0].find("Log Started - "), std::string::npos);
    EXPECT_NE(log.back().find(ProductName + " - v"), std::string::npos);

    MainForm->show();
    MainForm->close();
    const int shown = MainForm->LogBox->Count();
    GlobalLog->Log("after close", 2);
    EXPECT_EQ(MainForm->LogBox->Count(), shown);
    EXPECT_TRUE(LogContains("after close"));
}

}  // namespace
