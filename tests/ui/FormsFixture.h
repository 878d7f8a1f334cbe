#pragma once
#include <QApplication>
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
