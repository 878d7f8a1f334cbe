#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

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

Texts Items(const QComboBox* box) {
    Texts items;
    for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
    return items;
}

// The first showing over the sample plug-ins that ship with the product, copied from the staged tree.
class SamplePluginsTest : public FormsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        FormsFixture::SetUp();
        if (!PlaceSamplePlugins({"prog/kov22.so", "prog/kovp4.so", "devs/eprom8.so"})) {
            GTEST_SKIP() << "the sample plug-ins are not built";
        }
        sessionLines.push_back("Simulator.StateFolder=" + (temp / "state").string());
    }
    ModalScript script;
};

TEST_F(SamplePluginsTest, SearchListsTheSamplesAndTheChosenOnesAreUsedAgain) {
    const std::string usb = EditionId == "KESTRA" ? "TOLQ" : "KOV22";
    std::string chosenDevice;
    script.steps.push_back([&](QWidget* dialog) {
        auto* form = static_cast<TProgScanForm*>(dialog);
        const Texts models = Items(form->ProgrammerComboBox);
        EXPECT_NE(std::find(models.begin(), models.end(), usb), models.end());
        EXPECT_NE(std::find(models.begin(), models.end(), "KOVP4"), models.end());
        EXPECT_EQ(std::find(models.begin(), models.end(), "Demo"), models.end());
        QTest::keyClick(form->ProgrammerComboBox, Qt::Key_Home);
        while (form->ProgrammerComboBox->currentText().toStdString() != usb) {
            QTest::keyClick(form->ProgrammerComboBox, Qt::Key_Down);
        }
        EXPECT_EQ(Items(form->InterfaceComboBox), Texts{"USB"});
        QTest::mouseClick(form->ProgrammerSearchButton, Qt::LeftButton);
    });
    script.steps.push_back([&](QWidget* dialog) {
        auto* form = static_cast<TDevSelectForm*>(dialog);
        EXPECT_GT(form->ManuListBox->count(), 0);
        ASSERT_GT(form->DeviceListBox->count(), 0);
        form->DeviceListBox->setCurrentRow(0);
        chosenDevice = form->DeviceListBox->item(0)->text().toStdString();
        QTest::mouseClick(form->OkButton, Qt::LeftButton);
    });
    StartForms();
    MainForm->StartLibrariesOnShow = true;
    MainForm->show();
    ASSERT_NE(MainForm->ProgLib, nullptr);
    EXPECT_EQ(MainForm->ProgLib->ProgrammerName(), ProductName + " KOV22");
    EXPECT_EQ(GlobalConfig->GetString("LastProgrammer", "Interface"), "USB");
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->SelectedDeviceName(), chosenDevice);

    MainForm->close();
    StopGlobals();
    DestroyForms();
    formsCreated = false;
    sessionLines.clear();
    StartForms();
    MainForm->StartLibrariesOnShow = true;
    MainForm->show();
    EXPECT_EQ(script.seen.size(), 2u);
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->SelectedDeviceName(), chosenDevice);
}

}  // namespace
