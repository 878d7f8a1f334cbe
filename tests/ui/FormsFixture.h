#pragma once
#include <QApplication>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "KovTest.h"

class QAction;
class QMenu;

// The permanent windows made as the program makes them, on top of fresh global objects.
// Closing and destroying follow the program's order too: close, globals, windows.
class FormsFixture : public GlobalsFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the globals (if the test postponed them) and creates the windows.
    void StartForms();
    // Ends the run as the program does (close, globals, windows) and forgets the session lines,
    // so that the next start reads the session the run wrote.
    void EndRun();
    // Copies the sample plug-ins of the staged tree into the installation; false when one of
    // `needed` (paths in the installation) is missing because the samples are not built.
    bool PlaceSamplePlugins(std::initializer_list<const char*> needed);

    bool formsCreated = false;
};

// The item with this text in a menu (mnemonic ampersands ignored), or nullptr.
QAction* FindAction(QMenu* menu, const QString& text);
// Texts of a menu's visible items.
std::vector<std::string> VisibleItems(QMenu* menu);

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
