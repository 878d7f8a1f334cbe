#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "FormsFixture.h"
#include "core/MessageCodes.h"
#include "ui/QtDialogPort.h"

namespace {

struct Expected {
    int flags;
    std::vector<int> results;   // the buttons' result codes in their conventional order
    int defaultResult;
    int escapeResult;
};

std::vector<int> ResultsOf(QMessageBox& box) {
    std::vector<int> results;
    for (QAbstractButton* button : box.buttons()) {
        results.push_back(button->property("kovResult").toInt());
    }
    std::sort(results.begin(), results.end());
    return results;
}

int ResultOfButton(const QAbstractButton* button) {
    return button ? button->property("kovResult").toInt() : 0;
}

TEST(QtDialogPort, FlagsGiveTheButtonsDefaultAndEscapeOfEachBoxType) {
    const std::vector<Expected> cases = {
        {MB_OK, {IDOK}, IDOK, IDOK},
        {MB_OKCANCEL, {IDOK, IDCANCEL}, IDOK, IDCANCEL},
        {MB_OKCANCEL | MB_DEFBUTTON2, {IDOK, IDCANCEL}, IDCANCEL, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, {IDABORT, IDRETRY, IDIGNORE}, IDIGNORE, IDABORT},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, {IDYES, IDNO, IDCANCEL}, IDNO, IDCANCEL},
        {MB_YESNO, {IDYES, IDNO}, IDYES, IDNO},
        {MB_YESNO | MB_DEFBUTTON2, {IDYES, IDNO}, IDNO, IDNO},
        {MB_YESNO | MB_DEFBUTTON3, {IDYES, IDNO}, IDYES, IDNO},   // no third button: the first
        {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, IDRETRY, IDCANCEL},
        {0x0E, {IDOK}, IDOK, IDOK},                                // unknown type: a plain OK box
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.flags);
        QMessageBox box;
        TQtDialogPort::Configure(box, "text", "caption", c.flags);
        std::vector<int> sorted = c.results;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(ResultsOf(box), sorted);
        EXPECT_EQ(ResultOfButton(box.defaultButton()), c.defaultResult);
        EXPECT_EQ(ResultOfButton(box.escapeButton()), c.escapeResult);
        EXPECT_EQ(TQtDialogPort::ResultOf(box), c.escapeResult);   // closed without a button
    }
}

TEST(QtDialogPort, IconsFollowTheIconFlagsAndTextsStayPlain) {
    const std::vector<std::pair<int, QMessageBox::Icon>> icons = {
        {0, QMessageBox::NoIcon},
        {MB_ICONHAND, QMessageBox::Critical},
        {MB_ICONQUESTION, QMessageBox::Question},
        {MB_ICONEXCLAMATION, QMessageBox::Warning},
        {MB_ICONASTERISK, QMessageBox::Information},
    };
    for (const auto& [flags, icon] : icons) {
        QMessageBox box;
        TQtDialogPort::Configure(box, "<b>not bold</b>\nsecond line", "Error opening log file", flags | MB_OK);
        EXPECT_EQ(box.icon(), icon);
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        EXPECT_EQ(box.text(), "<b>not bold</b>\nsecond line");
        EXPECT_EQ(box.windowTitle(), "Error opening log file");
    }
}

// Runs `act` on the first modal dialog as soon as it is open.
void WhenModal(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start();
}

TEST(QtDialogPort, MessageBoxReturnsTheCodeOfThePressedButton) {
    TQtDialogPort port;
    WhenModal([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(port.MessageBox("Are you sure?", "Confirm", MB_YESNO | MB_ICONQUESTION), IDNO);

    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(port.MessageBox("Retry?", "Device", MB_RETRYCANCEL), IDCANCEL);

    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    EXPECT_EQ(port.MessageBox("Overwrite?", "Save", MB_YESNO | MB_DEFBUTTON2), IDNO);
}

TEST(QtDialogPort, BusyCursorIsBalancedAndUnmatchedEndsAreIgnored) {
    TQtDialogPort port;
    port.SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    port.SetBusyCursor(true);
    port.SetBusyCursor(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    port.SetBusyCursor(false);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    port.SetBusyCursor(false);
    port.SetBusyCursor(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtDialogPort, SaveChooserAddsTheSelectedFiltersExtensionAndReportsTheFilter) {
    TempDir dir;
    TQtDialogPort port;
    FileDialogRequest request;
    request.title = "Send log to file";
    request.initialPath = dir.path().string();
    request.filters = {"Log Files (*.log)", "All Files (*)"};
    WhenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->selectFile("session");
        dialog->accept();
    });
    EXPECT_EQ(port.SaveFileName(request), (dir.path() / "session.log").string());
    EXPECT_EQ(request.filterIndex, 0);

    request.filterIndex = 1;
    WhenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->selectedNameFilter(), "All Files (*)");
        dialog->selectFile("plain");
        dialog->accept();
    });
    EXPECT_EQ(port.SaveFileName(request), (dir.path() / "plain").string());
    EXPECT_EQ(request.filterIndex, 1);

    WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(port.OpenFileName(request), "");
}

}  // namespace
