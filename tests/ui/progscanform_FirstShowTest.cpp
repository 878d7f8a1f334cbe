#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "../plugins/devlist_TableLibraries.h"
#include "FormsFixture.h"
#include "branding/Edition.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "plugins/DevDLL.h"
#include "plugins/ProgDLL.h"
#include "progscanform_ModalScript.h"
#include "ui/DevSelectForm.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"
#include "ui/ProgScanForm.h"

namespace {

using Texts = std::vector<std::string>;
using tables::Device;

// The main window's first showing, as the program starts: programmer, then device.
class FirstShowTest : public FormsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        FormsFixture::SetUp();
        usb = tables::PlaceProgrammer(temp / "prog", "kov22.so",
                                      {"name=" + ProductName + " KOV22", "id=2", "answer=USB>USB"});
        tables::PlaceDevices(temp / "devs", "flash.so",
                             {Device("FLASH", "Atmel", "AT29C010", "PLCC", 32, 8, 2, "0x06"),
                              Device("EPROM", "Atmel", "AT27C256", "DIP", 28, 8, 1)});
    }
    void Show() {
        if (!formsCreated) StartForms();
        MainForm->StartLibrariesOnShow = true;
        MainForm->show();
    }
    // Ends the run as the program does and starts it again on the session it wrote.
    void Restart() {
        EndRun();
        Show();
    }
    bool WindowCloses() {
        for (int i = 0; i < 50 && MainForm->isVisible(); ++i) QTest::qWait(10);
        return !MainForm->isVisible();
    }

    std::string usb;
    ModalScript script;
};

TEST_F(FirstShowTest, FreshSessionAsksForProgrammerThenDeviceAndTheNextStartAsksNothing) {
    script.steps.push_back([](QWidget* dialog) {
        ASSERT_EQ(dialog->objectName(), "ProgScanForm");
        QTest::mouseClick(static_cast<TProgScanForm*>(dialog)->ProgrammerSearchButton, Qt::LeftButton);
    });
    script.steps.push_back([](QWidget* dialog) {
        ASSERT_EQ(dialog->objectName(), "DevSelectForm");
        auto* form = static_cast<TDevSelectForm*>(dialog);
        // Only what the programmer (id 2) may handle is offered.
        ASSERT_EQ(form->DeviceListBox->count(), 1);
        EXPECT_EQ(form->DeviceListBox->item(0)->text(), "AT29C010");
        QTest::keyClick(form->Manufacturer, Qt::Key_Down);
        QTest::mouseClick(form->OkButton, Qt::LeftButton);
    });
    Show();
    EXPECT_EQ(script.seen, (Texts{"ProgScanForm", "DevSelectForm"}));
    EXPECT_TRUE(MainForm->Started());
    ASSERT_NE(MainForm->ProgLib, nullptr);
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->ProgLib(), MainForm->ProgLib.get());
    EXPECT_EQ(GlobalDevDLL->ProgrammerId(), 2);
    EXPECT_TRUE(MainForm->isVisible());

    Restart();
    EXPECT_EQ(script.seen.size(), 2u);   // no dialog this time
    ASSERT_NE(MainForm->ProgLib, nullptr);
    EXPECT_EQ(MainForm->ProgLib->Lib(), GlobalConfig->ProgrammersFolder() + "/kov22.so");
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->SelectedDeviceName(), "AT29C010");

    // Showing the window again starts nothing again.
    MainForm->hide();
    MainForm->show();
    const Texts log = tables::LibraryLog(usb);
    EXPECT_EQ(std::count(log.begin(), log.end(), "init USB"), 2);
}

// The splash window and the start-up dialogs stand in front of the main window, which is already
// on the screen; nothing in it can be started before the programmer is there.
TEST_F(FirstShowTest, StartUpDialogsComeWhenTheWindowIsOnTheScreenAndLocked) {
    auto onScreenAndLocked = [] {
        ASSERT_NE(MainForm->windowHandle(), nullptr);
        EXPECT_TRUE(MainForm->windowHandle()->isExposed());
        EXPECT_FALSE(MainForm->DevSelectBtn->isEnabled());
        EXPECT_FALSE(MainForm->FileMenu->isEnabled());
    };
    script.steps.push_back([&](QWidget* dialog) {
        ASSERT_EQ(dialog->objectName(), "ProgScanForm");
        onScreenAndLocked();
        EXPECT_TRUE(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint)) << "in front of the splash window";
        QTest::mouseClick(static_cast<TProgScanForm*>(dialog)->ProgrammerSearchButton, Qt::LeftButton);
    });
    script.steps.push_back([&](QWidget* dialog) {
        ASSERT_EQ(dialog->objectName(), "DevSelectForm");
        onScreenAndLocked();
        QTest::mouseClick(static_cast<TDevSelectForm*>(dialog)->CancelButton, Qt::LeftButton);
    });
    Show();
    EXPECT_TRUE(MainForm->Started());
    EXPECT_FALSE(ProgScanForm->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(MainForm->DevSelectBtn->isEnabled());
    EXPECT_TRUE(MainForm->FileMenu->isEnabled());
}

TEST_F(FirstShowTest, CancelledSearchEndsTheProgram) {
    script.steps.push_back([](QWidget* dialog) {
        QTest::mouseClick(static_cast<TProgScanForm*>(dialog)->CancelButton, Qt::LeftButton);
    });
    Show();
    EXPECT_FALSE(MainForm->Started());
    EXPECT_EQ(MainForm->ProgLib, nullptr);
    EXPECT_EQ(GlobalDevDLL, nullptr);
    EXPECT_TRUE(WindowCloses());
}

TEST_F(FirstShowTest, NoProgrammerLibraryEndsTheProgramWithAMessage) {
    std::filesystem::remove(usb);
    Show();
    EXPECT_EQ(dialogs.Texts(), Texts{"No vaild programmer librarys found"});
    EXPECT_TRUE(WindowCloses());
}

TEST_F(FirstShowTest, DebugModeOffersTheProgrammersAuxiliaryCommands) {
    sessionLines = {"Global.Debug=TRUE", "LastProgrammer.DLLName=" + usb, "LastProgrammer.Interface=USB",
                    R"(Device.AutoSelect="flash.so","Atmel","AT29C010","PLCC","32","8")"};
    Show();
    EXPECT_TRUE(script.seen.empty());
    EXPECT_TRUE(MainForm->ProgrammerMenu->menuAction()->isVisible());
    EXPECT_EQ(VisibleItems(MainForm->ProgrammerMenu), (Texts{"Self test", "Calibrate"}));
    FindAction(MainForm->ProgrammerMenu, "Calibrate")->trigger();
    EXPECT_EQ(tables::LibraryLog(usb).back(), "aux 2");
    // While a command runs in the device library, the programmer is not called from the menu.
    MainForm->SetEnable(false);
    EXPECT_FALSE(MainForm->ProgrammerMenu->isEnabled());
    MainForm->SetEnable(true);
    EXPECT_TRUE(MainForm->ProgrammerMenu->isEnabled());

    MainForm->close();   // the programmer is turned off and released with the window
    EXPECT_EQ(MainForm->ProgLib, nullptr);
    EXPECT_EQ(GlobalDevDLL, nullptr);
    EXPECT_EQ(tables::LibraryLog(usb).back(), "off ");
}

}  // namespace
