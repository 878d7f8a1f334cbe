#include "ui/Forms.h"

#include <QGuiApplication>
#include <QScreen>

#include "core/Globals.h"
#include "files/FileTypeSettings.h"
#include "ui/DevSelectForm.h"
#include "ui/MainForm.h"
#include "ui/ProgScanForm.h"
#include "ui/SplitsForm.h"
#include "ui/StatusForm.h"

TMainForm* MainForm = nullptr;
TStatusForm* StatusForm = nullptr;
TDevSelectForm* DevSelectForm = nullptr;
TProgScanForm* ProgScanForm = nullptr;
TSplitsForm* SplitsForm = nullptr;

// The creation order is fixed: MainForm (the first window is the application's main window),
// SplashScreen, BufferEditForm, DevSelectForm, StatusForm, SplitsForm, ProgScanForm,
// PreferenceForm, FileForm.
void CreateForms() {
    // Every file type setting is in the store before the first load or save, as the preferences
    // dialog's table has them.
    if (GlobalConfig) kovfiles::LoadFileTypeSettings(*GlobalConfig);
    MainForm = new TMainForm();
    DevSelectForm = new TDevSelectForm();
    StatusForm = new TStatusForm();
    SplitsForm = new TSplitsForm(MainForm->Operations.Splits);
    ProgScanForm = new TProgScanForm();
}

void DestroyForms() {
    delete ProgScanForm;
    ProgScanForm = nullptr;
    delete SplitsForm;
    SplitsForm = nullptr;
    delete StatusForm;
    StatusForm = nullptr;
    delete DevSelectForm;
    DevSelectForm = nullptr;
    delete MainForm;
    MainForm = nullptr;
}

QSize DesktopSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->virtualSize() : QSize(0, 0);
}
