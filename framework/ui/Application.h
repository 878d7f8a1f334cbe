#pragma once
#include <QApplication>
#include <string>

// The window application object. An exception that escapes an event handler is shown to the
// user and the event loop goes on, instead of ending the program.
class TKovApplication : public QApplication {
    Q_OBJECT
public:
    TKovApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Termination requests (SIGTERM, SIGINT, SIGHUP) close the window as its close command does, so
// that positions and the session are stored; a window busy with a command closes when the command
// has ended. An open
// modal dialog is closed first (as with Cancel), so that a dialog waiting for an answer, such as
// the programmer search at start-up, does not keep the program from ending.
void CloseOnTerminationSignals(QWidget* window);
// Whether a termination request has come; dialogs that would wait for the user answer Cancel.
bool TerminationRequested();

// The application's exception display: a message box with the application title as caption.
void ShowExceptionMessage(const std::string& message);
