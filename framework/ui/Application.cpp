#include "ui/Application.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
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

namespace {

int signalPipe[2] = {-1, -1};
bool terminationRequested = false;

void CloseModalDialogs() {
    for (int tries = 0; tries < 16; ++tries) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        modal->close();
        if (QApplication::activeModalWidget() == modal) return;   // it refused
    }
}

void OnTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

}  // namespace

void CloseOnTerminationSignals(QWidget* window) {
    if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, window);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
        char bytes[16];
        while (read(signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        terminationRequested = true;
        CloseModalDialogs();
        window->close();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool TerminationRequested() {
    return terminationRequested;
}

void ShowExceptionMessage(const std::string& message) {
    const std::string caption = qApp ? FromQString(QCoreApplication::applicationName()) : std::string("kov");
    Dialogs().MessageBox(message, caption, MB_OK | MB_ICONERROR);
}
