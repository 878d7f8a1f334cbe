#include "ui/QtDialogPort.h"

#include "ui/Application.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <filesystem>
#include <vector>

#include "core/MessageCodes.h"
#include "ui/Application.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"
#include "ui/QtText.h"
#include "ui/SplashScreen.h"

namespace {

const char* const ResultProperty = "kovResult";

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int result;
};

// The buttons of each box type in their conventional order (the order the default-button flags count in).
std::vector<ButtonSpec> ButtonsFor(int type) {
    switch (type) {
    case MB_OKCANCEL: return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO: return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL: return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default: return {{QMessageBox::Ok, IDOK}};
    }
}

// The answer that changes nothing, given when the box is dismissed without a button.
int SafeResult(int type) {
    switch (type) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL: return IDCANCEL;
    case MB_YESNO: return IDNO;
    case MB_ABORTRETRYIGNORE: return IDABORT;
    default: return IDOK;
    }
}

QMessageBox::Icon IconFor(int flags) {
    switch (flags & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

QString JoinFilters(const std::vector<std::string>& filters) {
    QStringList list;
    for (const auto& f : filters) list << ToQString(f);
    if (list.isEmpty()) list << QStringLiteral("All Files (*)");
    return list.join(QStringLiteral(";;"));
}

// "Log Files (*.log)" -> "log"; "" when the filter has no single concrete extension.
QString SuffixOfFilter(const QString& filter) {
    static const QRegularExpression pattern(QStringLiteral("\\(\\s*\\*\\.([A-Za-z0-9_]+)[\\s;)]"));
    const auto match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

}  // namespace

QWidget* DialogOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* splash = TSplashScreen::Shown()) return splash;
    if (QWidget* active = QApplication::activeWindow()) return active;
    if (MainForm && MainForm->isVisible()) return MainForm;
    return nullptr;
}

void TQtDialogPort::Configure(QMessageBox& box, const std::string& text, const std::string& caption, int flags) {
    const int type = flags & MB_TYPEMASK;
    // Library and file texts are shown as they are, never interpreted as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQString(text));
    box.setWindowTitle(ToQString(caption));
    box.setIcon(IconFor(flags));

    std::vector<QAbstractButton*> buttons;
    for (const auto& spec : ButtonsFor(type)) {
        QAbstractButton* button = box.addButton(spec.button);
        button->setProperty(ResultProperty, spec.result);
        buttons.push_back(button);
    }
    const std::size_t defIndex = static_cast<std::size_t>((flags & MB_DEFMASK) >> 8);
    auto* def = qobject_cast<QPushButton*>(buttons[defIndex < buttons.size() ? defIndex : 0]);
    box.setDefaultButton(def);

    const int safe = SafeResult(type);
    for (QAbstractButton* button : buttons) {
        if (button->property(ResultProperty).toInt() == safe) box.setEscapeButton(button);
    }
}

int TQtDialogPort::ResultOf(const QMessageBox& box) {
    const QAbstractButton* pressed = box.clickedButton();
    if (!pressed) pressed = box.escapeButton();
    if (pressed) {
        bool ok = false;
        const int result = pressed->property(ResultProperty).toInt(&ok);
        if (ok) return result;
    }
    return IDCANCEL;
}

int TQtDialogPort::MessageBox(const std::string& text, const std::string& caption, int flags) {
    if (!qApp) return SafeResult(flags & MB_TYPEMASK);
    // The program is ending: nobody is left to answer.
    if (TerminationRequested()) return SafeResult(flags & MB_TYPEMASK);
    QMessageBox box(DialogOwner());
    Configure(box, text, caption, flags);
    // The splash window stays on top of the others; a box of the start-up stands in front of it.
    if (TSplashScreen::Shown()) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // A busy cursor from a running operation must not hide that the box waits for an answer.
    const bool busy = busyDepth_ > 0;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (busy) QApplication::restoreOverrideCursor();
    return ResultOf(box);
}

void TQtDialogPort::ProcessEvents() {
    if (qApp) QApplication::processEvents();
}

void TQtDialogPort::SetBusyCursor(bool busy) {
    if (!qApp) return;
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth_;
    } else if (busyDepth_ > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth_;
    }
}

std::string TQtDialogPort::OpenFileName(FileDialogRequest& request) {
    return ChooseFile(request, false);
}

std::string TQtDialogPort::SaveFileName(FileDialogRequest& request) {
    return ChooseFile(request, true);
}

std::string TQtDialogPort::ChooseFile(FileDialogRequest& request, bool save) {
    if (!qApp) return {};
    QFileDialog dialog(DialogOwner(), ToQString(request.title), ToQString(request.initialPath),
                       JoinFilters(request.filters));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = dialog.nameFilters();
    if (request.filterIndex >= 0 && request.filterIndex < filters.size()) {
        dialog.selectNameFilter(filters[request.filterIndex]);
    }
    if (save) {
        dialog.setDefaultSuffix(SuffixOfFilter(dialog.selectedNameFilter()));
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog](const QString& filter) { dialog.setDefaultSuffix(SuffixOfFilter(filter)); });
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    const auto index = filters.indexOf(dialog.selectedNameFilter());
    if (index >= 0) request.filterIndex = static_cast<int>(index);
    return FromQString(chosen.front());
}
