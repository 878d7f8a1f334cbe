#include "FormsFixture.h"

#include <QAction>
#include <QMenu>
#include <filesystem>

#include "ui/Forms.h"
#include "ui/MainForm.h"

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform reports on every window that it has no window manager to pass size
// hints to; that says nothing about the forms.
void QuietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("propagateSizeHints"))) return;
    if (previousHandler) previousHandler(type, context, message);
}

// One application object for the whole test program, made before the first test and removed
// after the last.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "kov_ui_tests";
        static char* argv[] = {name, nullptr};
        previousHandler = qInstallMessageHandler(QuietMessages);
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
    // The libraries' start-up at the first showing has tests of its own (StartLibraries).
    MainForm->StartLibrariesOnShow = false;
    formsCreated = true;
}

void FormsFixture::EndRun() {
    MainForm->close();
    StopGlobals();
    DestroyForms();
    formsCreated = false;
    sessionLines.clear();
}

bool FormsFixture::PlaceSamplePlugins(std::initializer_list<const char*> needed) {
    namespace fs = std::filesystem;
    const fs::path stage(KOV_TEST_STAGE_DIR);
    for (const char* folder : {"prog", "devs"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(stage / folder, error)) {
            fs::copy_file(entry.path(), temp / folder / entry.path().filename(), fs::copy_options::overwrite_existing);
        }
    }
    for (const char* file : needed) {
        if (!fs::exists(temp / file)) return false;
    }
    return true;
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
