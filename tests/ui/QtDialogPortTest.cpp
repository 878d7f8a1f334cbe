#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <functional>

#include "FormsFixture.h"
#include "core/MessageCodes.h"
#include "ui/QtDialogPort.h"
#include "ui/SplashScreen.h"

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

// Runs `act` on the modal dialog once it runs its own event loop (a dialog closed while it is still
// being shown would never leave its loop), again and again until `act` reports it done.
void WhenModalUntil(std::function<bool(QWidget*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    const int outerLoops = QThread::currentThread()->loopLevel();
    QObject::connect(timer, &QTimer::timeout, [timer, act, outerLoops] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && QThread::currentThread()->loopLevel() > outerLoops && act(modal)) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

void WhenModal(std::function<void(QWidget*)> act) {
    WhenModalUntil([act](QWidget* modal) {
        act(modal);
        return true;
    });
}

// Types a file name into the chooser's name field and accepts it, as a person would. The chooser
// reads its folder in the background, so this repeats until the chooser has closed.
void ChooseInDialog(const QString& name) {
    WhenModalUntil([name](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog) {
            ADD_FAILURE() << "not a file chooser";
            qobject_cast<QDialog*>(modal)->reject();
            return true;
        }
        auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!field) {
            ADD_FAILURE() << "the chooser has no file name field";
            dialog->reject();
            return true;
        }
        field->setText(name);
        if (QFileInfo(dialog->selectedFiles().value(0)).isDir()) return false;
        static_cast<QDialog*>(dialog)->accept();   // runs the chooser's own accept
        return !dialog->isVisible();
    });
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

// The splash window stays on top of the other windows; a box of the start-up must stand in front
// of it and be on the screen, or the program waits for an answer nobody can give.
TEST(QtDialogPort, BoxesStandInFrontOfTheSplashWindowWhileItIsShown) {
    TQtDialogPort port;
    bool inFront = false;
    bool onScreen = false;
    const QWidget* owner = nullptr;
    int looks = 0;
    auto inspect = [&](QWidget* modal) {
        onScreen = modal->windowHandle() && modal->windowHandle()->isExposed();
        // A busy machine maps the box a moment after its event loop starts; give it two seconds.
        if (!onScreen && ++looks < 200) return false;
        owner = modal->parentWidget();
        inFront = modal->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
        return true;
    };
    {
        TSplashScreen splash;
        splash.show();
        ASSERT_EQ(TSplashScreen::Shown(), &splash);
        WhenModalUntil(inspect);
        port.MessageBox("The Programmer DLL \"x.so\" did not load. The error code is: 1.", "Error", MB_OK);
        EXPECT_TRUE(inFront);
        EXPECT_TRUE(onScreen);
        EXPECT_EQ(owner, &splash);
        splash.hide();
        EXPECT_EQ(TSplashScreen::Shown(), nullptr);
    }
    looks = 0;
    WhenModalUntil(inspect);
    port.MessageBox("later", "Status", MB_OK);
    EXPECT_FALSE(inFront);
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
    ChooseInDialog("session");
    EXPECT_EQ(port.SaveFileName(request), (dir.path() / "session.log").string());
    EXPECT_EQ(request.filterIndex, 0);

    request.filterIndex = 1;
    QString shownFilter;
    WhenModal([&shownFilter](QWidget* modal) { shownFilter = qobject_cast<QFileDialog*>(modal)->selectedNameFilter(); });
    ChooseInDialog("plain");
    EXPECT_EQ(port.SaveFileName(request), (dir.path() / "plain").string());
    EXPECT_EQ(shownFilter, "All Files (*)");
    EXPECT_EQ(request.filterIndex, 1);

    WhenModal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_EQ(port.OpenFileName(request), "");
}

}  // namespace
