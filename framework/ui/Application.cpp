#include "ui/Application.h"

#include <exception>

#include "core/DialogPort.h"
#include "core/MessageCodes.h"
#include "ui/QtText.h"

TKovApplication::TKovApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TKovApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowExceptionMessage(error.what());
    } catch (...) {
        ShowExceptionMessage("Unknown exception");
    }
    return false;
}

void ShowExceptionMessage(const std::string& message) {
    const std::string caption = qApp ? FromQString(QCoreApplication::applicationName()) : std::string("kov");
    Dialogs().MessageBox(message, caption, MB_OK | MB_ICONERROR);
}
