#pragma once
#include <QWidget>
#include <QPointer>

#include "core/DialogPort.h"

class QMessageBox;

// The dialog port of the window application: standard message boxes, the toolkit's file
// choosers, pending events and the busy cursor.
class TQtDialogPort : public DialogPort {
public:
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    void ProcessEvents() override;
    void SetBusyCursor(bool busy) override;
    std::string OpenFileName(FileDialogRequest& request) override;
    std::string SaveFileName(FileDialogRequest& request) override;

    // Builds the box that MessageBox shows, so that its buttons, icon and default can be checked.
    static void Configure(QMessageBox& box, const std::string& text, const std::string& caption, int flags);
    // The result code of the button the user pressed in a box made by Configure; the code of the
    // escape button when the box was closed without one.
    static int ResultOf(const QMessageBox& box);

private:
    std::string ChooseFile(FileDialogRequest& request, bool save);
    int busyDepth_ = 0;
};

// The window that owns dialogs: the active modal dialog, else the splash window while it is shown,
// else the active window, else the main window.
QWidget* DialogOwner();
