#include "FormsFixture.h"

#include <QAction>
#include <QMenu>

#include "ui/Forms.h"
#include "ui/MainForm.h"

namespace {

// One application object for the whole test program, made before the first test and removed
// after the last.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "kov_ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] const auto* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void FormsFixture::SetUp() {
    GlobalsFixture::SetUp();
    if (AutoStart()) StartForms();
}

void FormsFixture::StartForms() {
    if (!started) StartGlobals();
    CreateForms();
    formsCreated = true;
}

void FormsFixture::TearDown() {
    if (formsCreated && MainForm) MainForm->close();
    GlobalsFixture::TearDown();
    if (formsCreated) DestroyForms();
    formsCreated = false;
}

QAction* FindAction(QMenu* menu, const QString& text) {
    for (QAction* action : menu->actions()) {
        if (QString(action->text()).remove(QLatin1Char('&')) == text) return action;
    }
    return nullptr;
}

std::vector<std::string> VisibleItems(QMenu* menu) {
    std::vector<std::string> items;
    for (QAction* action : menu->actions()) {
        if (action->isVisible() && !action->isSeparator()) items.push_back(action->text().toStdString());
    }
    return items;
}
