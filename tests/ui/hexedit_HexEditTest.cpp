#include <QApplication>
#include <QFocusEvent>
#include <QSignalSpy>
#include <QTest>

#include "FormsFixture.h"
#include "ui/HexEdit.h"

namespace {

void Leave(THexEdit& edit, Qt::FocusReason reason = Qt::TabFocusReason) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QApplication::sendEvent(&edit, &out);
}

TEST(HexEdit, TakesOnlyHexadecimalDigitsAsCapitalsUpToEight) {
    THexEdit edit;
    EXPECT_EQ(edit.text(), "00000000");
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("a5g-Z1 ;f"));
    EXPECT_EQ(edit.text(), "A51F");
    EXPECT_EQ(edit.GetValue(), 0xA51Fu);
    QTest::keyClicks(&edit, QStringLiteral("0123456789"));
    EXPECT_EQ(edit.text(), "A51F0123");
    QTest::keyClick(&edit, Qt::Key_Backspace);   // control keys pass
    EXPECT_EQ(edit.text(), "A51F012");
    // Pasted text that is not hexadecimal does not get in.
    edit.insert(QStringLiteral("xy"));
    EXPECT_EQ(edit.text(), "A51F012");
}

TEST(HexEdit, LeavingShowsEightDigitsAndTellsTheValue) {
    THexEdit edit;
    QSignalSpy left(&edit, &THexEdit::Left);
    edit.setText(QStringLiteral("a51"));
    Leave(edit);
    EXPECT_EQ(edit.text(), "00000A51");
    ASSERT_EQ(left.count(), 1);
    EXPECT_EQ(left.at(0).at(0).value<std::uint32_t>(), 0xA51u);

    edit.clear();
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(edit.text(), "00000000");
    EXPECT_EQ(left.count(), 2);

    // Another window coming up is not leaving the field; a read-only field never tells.
    Leave(edit, Qt::ActiveWindowFocusReason);
    EXPECT_EQ(left.count(), 2);
    edit.setReadOnly(true);
    edit.setText(QStringLiteral("7"));
    Leave(edit);
    EXPECT_EQ(edit.text(), "7");
    EXPECT_EQ(left.count(), 2);

    edit.SetValue(0xDEADBEEF);
    EXPECT_EQ(edit.text(), "DEADBEEF");
    EXPECT_EQ(edit.GetValue(), 0xDEADBEEFu);
}

}  // namespace
