#include "ui/Forms.h"

#include <QGuiApplication>
#include <QScreen>

#include "ui/MainForm.h"
#include "ui/StatusForm.h"

TMainForm* MainForm = nullptr;
TStatusForm* StatusForm = nullptr;

// The creation order is fixed: MainForm (the first window is the application's main window),
// SplashScreen, BufferEditForm, DevSelectForm, StatusForm, SplitsForm, ProgScanForm,
// PreferenceForm, FileForm.
void CreateForms() {
    MainForm = new TMainForm();
    StatusForm = new TStatusForm();
}

void DestroyForms() {
    delete StatusForm;
    StatusForm = nullptr;
    delete MainForm;
    MainForm = nullptr;
}

QSize DesktopSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualSize() : QSize(0, 0);
}
