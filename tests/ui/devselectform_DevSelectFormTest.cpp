#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "../plugins/devlist_TableLibraries.h"
#include "FormsFixture.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Statusstack.h"
#include "plugins/DevDLL.h"
#include "progscanform_ModalScript.h"
#include "ui/DevSelectForm.h"
#include "ui/Forms.h"

namespace {

using Texts = std::vector<std::string>;
using tables::Device;

Texts Items(const QListWidget* list) {
    Texts items;
    for (int i = 0; i < list->count(); ++i) items.push_back(list->item(i)->text().toStdString());
    return items;
}

std::string Current(const QListWidget* list) {
    return list->currentItem() && list->currentItem()->isSelected() ? list->currentItem()->text().toStdString()
                                                                    : "<none>";
}

QPoint Center(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    EXPECT_EQ(found.size(), 1) << text.toStdString();
    return found.isEmpty() ? QPoint() : list->visualItemRect(found[0]).center();
}

void Click(QListWidget* list, const QString& text) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, Center(list, text));
}

void DoubleClick(QListWidget* list, const QString& text) {
    const QPoint at = Center(list, text);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

void PickType(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0);
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(box, Qt::Key_Down);
}

class DevSelectFormTest : public FormsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        FormsFixture::SetUp();
        tables::PlaceDevices(temp / "devs", "eprom.so",
                             {Device("EPROM", "Atmel", "AT27C256", "DIP", 28, 8),
                              Device("EPROM", "Atmel", "AT27C256", "PLCC", 32, 8),
                              Device("EPROM", "Atmel", "AT27C512", "DIP", 28, 8),
                              Device("EPROM", "AMD", "AM27C256", "DIP", 28, 8),
                              Device("EPROM", "ATI", "ATI27", "DIP", 28, 8)});
        tables::PlaceDevices(temp / "devs", "flash.so",
                             {Device("FLASH", "Atmel", "AT29C010", "PLCC", 32, 8),
                              Device("FLASH", "Intel", "28F016", "TSOP", 56, 16)});
    }
    bool Choose() {
        if (!formsCreated) StartForms();
        return DevSelectForm->Selection.ChooseDevice();
    }
    static TDevSelectForm* Form(QWidget* dialog) { return static_cast<TDevSelectForm*>(dialog); }

    ModalScript script;
};

TEST_F(DevSelectFormTest, ListsNarrowAndTypingCompletesTheManufacturer) {
    script.steps.push_back([](QWidget* dialog) {
        TDevSelectForm* form = Form(dialog);
        EXPECT_EQ(form->objectName(), "DevSelectForm");
        ASSERT_EQ(form->DeviceTypes->count(), 3);
        EXPECT_EQ(form->DeviceTypes->itemText(0), "All");
        EXPECT_EQ(Items(form->ManuListBox), (Texts{"AMD", "ATI", "Atmel", "Intel"}));
        EXPECT_EQ(form->Manufacturer->text(), "AMD");
        EXPECT_EQ(GlobalStatusStack->TopStatus()->text, "Selecting device");

        // "at" selects the first manufacturer beginning with AT, whatever the case.
        form->Manufacturer->clear();
        QTest::keyClicks(form->Manufacturer, "at");
        EXPECT_EQ(form->Manufacturer->text(), "ATI");
        EXPECT_EQ(form->Manufacturer->selectedText(), "I");
        EXPECT_EQ(Current(form->ManuListBox), "ATI");
        EXPECT_EQ(Items(form->DeviceListBox), Texts{"ATI27"});
        QTest::keyClick(form->Manufacturer, Qt::Key_M);
        EXPECT_EQ(form->Manufacturer->text(), "Atmel");
        EXPECT_EQ(Current(form->DeviceListBox), "AT27C256");
        EXPECT_EQ(form->Device->text(), "AT27C256");
        EXPECT_EQ(Current(form->Packages), "DIP");
        EXPECT_EQ(Current(form->Widths), "8");

        // A deletion is not undone by completing again.
        QTest::keyClick(form->Manufacturer, Qt::Key_Backspace);
        EXPECT_EQ(form->Manufacturer->text(), "Atm");
        QTest::keyClick(form->Manufacturer, Qt::Key_Up);
        EXPECT_EQ(form->Manufacturer->text(), "ATI");
        QTest::keyClick(form->Manufacturer, Qt::Key_Down);
        EXPECT_EQ(form->Manufacturer->text(), "Atmel");

        Click(form->DeviceListBox, "AT27C512");
        EXPECT_EQ(form->Device->text(), "AT27C512");
        // Another device type keeps the manufacturer and restarts the device at its first entry.
        PickType(form->DeviceTypes, "FLASH");
        EXPECT_EQ(Items(form->ManuListBox), (Texts{"Atmel", "Intel"}));
        EXPECT_EQ(form->Manufacturer->text(), "Atmel");
        EXPECT_EQ(Items(form->DeviceListBox), Texts{"AT29C010"});
        EXPECT_EQ(Current(form->DeviceListBox), "AT29C010");
        EXPECT_EQ(Current(form->Pincounts), "32");
        DoubleClick(form->Widths, "8");
    });
    ASSERT_TRUE(Choose());
    EXPECT_FALSE(DevSelectForm->isVisible());
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->SelectedDeviceName(), "AT29C010");
    EXPECT_EQ(GlobalConfig->GetString("Device", "AutoSelect"), R"("flash.so","Atmel","AT29C010","PLCC","32","8")");
    EXPECT_EQ(GlobalStatusStack->Items().size(), 1u);
}

TEST_F(DevSelectFormTest, OkNeedsAllFiveListsAndARefusedDeviceKeepsTheDialogOpen) {
    tables::PlaceDevices(temp / "devs", "flash.so", {"refuse", Device("FLASH", "Intel", "28F016", "TSOP", 56, 16)});
    script.steps.push_back([this](QWidget* dialog) {
        TDevSelectForm* form = Form(dialog);
        QTest::mouseClick(form->OkButton, Qt::LeftButton);   // only the manufacturer is chosen
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(GlobalDevDLL, nullptr);

        Click(form->ManuListBox, "Intel");
        EXPECT_EQ(Current(form->Widths), "16");
        QTest::mouseClick(form->OkButton, Qt::LeftButton);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(dialogs.Texts().size(), 1u);
        EXPECT_EQ(dialogs.shown.at(0).caption, "SelectDevice failed");
        EXPECT_TRUE(form->Panel->isEnabled());
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
    });
    EXPECT_FALSE(Choose());
    EXPECT_EQ(GlobalDevDLL, nullptr);
    EXPECT_TRUE(DevSelectForm->Selection.DeviceDropped());
}

TEST_F(DevSelectFormTest, RememberedDeviceIsUsedAgainAndShownWhenTheDialogOpens) {
    sessionLines.push_back(R"(Device.AutoSelect="eprom.so","Atmel","AT27C256","PLCC","32","8")");
    ASSERT_TRUE(Choose());   // no dialog: the script has no step
    EXPECT_EQ(GlobalDevDLL->SelectedPackage(), "PLCC");

    // The dialog, opened by the user, starts at the remembered device; Cancel keeps it.
    script.steps.push_back([](QWidget* dialog) {
        TDevSelectForm* form = Form(dialog);
        EXPECT_EQ(form->Manufacturer->text(), "Atmel");
        EXPECT_EQ(form->Device->text(), "AT27C256");
        EXPECT_EQ(Current(form->Packages), "PLCC");
        EXPECT_EQ(Current(form->Pincounts), "32");
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
    });
    TDevDLL* kept = GlobalDevDLL;
    EXPECT_FALSE(DevSelectForm->Selection.ChooseDevice());
    EXPECT_EQ(GlobalDevDLL, kept);
    EXPECT_FALSE(DevSelectForm->Selection.DeviceDropped());
}

TEST_F(DevSelectFormTest, BrokenRememberedEntryOpensTheDialog) {
    sessionLines.push_back(R"(Device.AutoSelect="eprom.so","Atmel","AT27C256","PLCC,"32","8")");
    script.steps.push_back([](QWidget* dialog) { QTest::mouseClick(Form(dialog)->CancelButton, Qt::LeftButton); });
    EXPECT_FALSE(Choose());
    EXPECT_EQ(GlobalConfig->GetString("Device", "AutoSelect"), "");
}

}  // namespace
