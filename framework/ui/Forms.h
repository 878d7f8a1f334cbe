#pragma once
#include <QSize>

class TDevSelectForm;
class TMainForm;
class TProgScanForm;
class TSplitsForm;
class TStatusForm;

// The permanent windows: one instance each from start to exit, reached through these references.
extern TMainForm* MainForm;
extern TStatusForm* StatusForm;
extern TSplitsForm* SplitsForm;
extern TDevSelectForm* DevSelectForm;
extern TProgScanForm* ProgScanForm;

// Creates the permanent windows in their fixed order, the main window first.
void CreateForms();
// Destroys them in the reverse order; runs after the global objects are gone.
void DestroyForms();

// The size of the desktop that stored window positions must lie on.
QSize DesktopSize();
