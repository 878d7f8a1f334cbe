#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "../plugins/devlist_TableLibraries.h"
#include "FormsFixture.h"
#include "branding/Edition.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "plugins/ProgDLL.h"
#include "progscanform_ModalScript.h"
#include "ui/Forms.h"
#include "ui/ProgScanForm.h"
#include "ui/SplashScreen.h"

namespace {

using Texts = std::vector<std::string>;

Texts Items(const QComboBox* box) {
    Texts items;
    for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
    return items;
}

// Chooses an item with the keyboard, as a user does on a closed drop-down.
void Pick(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(box, Qt::Key_Down);
    ASSERT_EQ(box->currentText(), text);
}

void TypePort(TProgScanForm* form, const QString& text) {
    QLineEdit* edit = form->PortAddressComboBox->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

class ProgScanFormTest : public FormsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        FormsFixture::SetUp();
        sessionLines.push_back("Log.Level=7");
        kov22 = Place("Kov22.so", "KOV22", {"id=2", "answer=USB>USB"});
        lpt = Place("kovp4.so", "KOVP4", {"id=4", "answer=ParallelPort:0278>="});
    }
    std::string Place(const std::string& file, const std::string& model, const Texts& more) {
        Texts table = {"name=" + ProductName + " " + model};
        table.insert(table.end(), more.begin(), more.end());
        return tables::PlaceProgrammer(temp / "prog", file, table);
    }
    std::string Usb() const { return EditionId == "KESTRA" ? "TOLQ" : "KOV22"; }
    Texts Inits(const std::string& path) const {
        Texts inits;
        for (const auto& line : tables::LibraryLog(path)) {
            if (line.rfind("init", 0) == 0) inits.push_back(line.size() > 5 ? line.substr(5) : "");
        }
        return inits;
    }
    bool Start() {
        if (!formsCreated) StartForms();
        return ProgScanForm->StartProgrammer(this);
    }

    std::string kov22;
    std::string lpt;
    ModalScript script;
};

TEST_F(ProgScanFormTest, ParallelPortAddressIsSentAsFourHexDigitsAndRemembered) {
    bool splashSeen = false;
    script.steps.push_back([&](QWidget* dialog) {
        auto* form = static_cast<TProgScanForm*>(dialog);
        EXPECT_EQ(form->windowTitle(), "Device programmer search");
        EXPECT_TRUE(form->Explanation->text().startsWith("The current session file does not contain an entry"));
        EXPECT_EQ(Items(form->ProgrammerComboBox), EditionId == "KESTRA" ? (Texts{"KOVP4", "TOLQ"}) : (Texts{"KOV22", "KOVP4"}));
        EXPECT_EQ(Items(form->PortAddressComboBox), (Texts{"Auto Search", "0x0378", "0x0278", "0x03BC"}));
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* splash = qobject_cast<TSplashScreen*>(w); splash && splash->isVisible()) {
                splashSeen = splash->StatusLine->text() == "Attempting to communicate with programmer";
            }
        }
        Pick(form->ProgrammerComboBox, "KOVP4");
        EXPECT_EQ(Items(form->InterfaceComboBox), Texts{"ParallelPort"});
        EXPECT_TRUE(form->PortAddressComboBox->isEnabled());
        TypePort(form, "0x0278");
        QTest::mouseClick(form->ProgrammerSearchButton, Qt::LeftButton);
    });
    ASSERT_TRUE(Start());
    EXPECT_TRUE(splashSeen);
    EXPECT_EQ(Inits(lpt), Texts{"ParallelPort:0278"});
    EXPECT_EQ(GlobalConfig->GetString("LastProgrammer", "Interface"), "ParallelPort:0278");
    EXPECT_EQ(GlobalConfig->GetString("LastProgrammer", "DLLName"), GlobalConfig->ProgrammersFolder() + "/kovp4.so");
    auto host = ProgScanForm->Search.TakeProgrammer();
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->ProgrammerName(), ProductName + " KOVP4");
}

TEST_F(ProgScanFormTest, UsbNeedsNoPortAndAutoSearchSendsAnEmptyText) {
    script.steps.push_back([&](QWidget* dialog) {   // parallel port, automatic search: not found
        auto* form = static_cast<TProgScanForm*>(dialog);
        Pick(form->ProgrammerComboBox, "KOVP4");
        EXPECT_EQ(form->PortAddressComboBox->currentText(), "Auto Search");
        QTest::mouseClick(form->ProgrammerSearchButton, Qt::LeftButton);
        EXPECT_FALSE(form->isVisible());
    });
    script.steps.push_back([&](QWidget* dialog) {   // shown again with the choices kept
        auto* form = static_cast<TProgScanForm*>(dialog);
        EXPECT_EQ(form->ProgrammerComboBox->currentText(), "KOVP4");
        EXPECT_TRUE(form->Explanation->text().startsWith("The current session file"));
        Pick(form->ProgrammerComboBox, QString::fromStdString(Usb()));
        EXPECT_EQ(Items(form->InterfaceComboBox), Texts{"USB"});
        EXPECT_FALSE(form->PortAddressComboBox->isEnabled());
        EXPECT_EQ(form->PortAddressComboBox->currentText(), "Auto Search");
        QTest::mouseClick(form->ProgrammerSearchButton, Qt::LeftButton);
        EXPECT_FALSE(form->isVisible());
    });
    ASSERT_TRUE(Start());
    EXPECT_EQ(Inits(lpt), Texts{""});
    EXPECT_EQ(Inits(kov22), Texts{"USB"});
    EXPECT_EQ(GlobalConfig->GetString("LastProgrammer", "Interface"), "USB");
}

TEST_F(ProgScanFormTest, UnreadablePortKeepsTheDialogOpenAndCancelEndsTheSearch) {
    script.steps.push_back([&](QWidget* dialog) {
        auto* form = static_cast<TProgScanForm*>(dialog);
        Pick(form->ProgrammerComboBox, "KOVP4");
        TypePort(form, "0x27g");
        QTest::mouseClick(form->ProgrammerSearchButton, Qt::LeftButton);
        EXPECT_TRUE(form->isVisible());
        TypePort(form, "0x123456789");   // the field takes six characters
        EXPECT_EQ(form->PortAddressComboBox->currentText(), "0x1234");
        TypePort(form, "");
        QTest::mouseClick(form->ProgrammerSearchButton, Qt::LeftButton);   // an empty text is no address
        EXPECT_TRUE(form->isVisible());
        QTest::mouseClick(form->CancelButton, Qt::LeftButton);
    });
    EXPECT_FALSE(Start());
    EXPECT_EQ(dialogs.Texts(), Texts(2, "An error occurred while processing the portbase address"));
    EXPECT_EQ(dialogs.shown[0].caption, "Portbase range check error");
    EXPECT_EQ(Inits(lpt), Texts{});
    EXPECT_EQ(GlobalConfig->GetString("LastProgrammer", "DLLName"), "");
}

TEST_F(ProgScanFormTest, StoredParallelPortIsShownWhenTheLastProgrammerDoesNotAnswer) {
    sessionLines.push_back("LastProgrammer.DLLName=" + lpt);
    sessionLines.push_back("LastProgrammer.Interface=ParallelPort:0378");
    script.steps.push_back([&](QWidget* dialog) {
        auto* form = static_cast<TProgScanForm*>(dialog);
        EXPECT_TRUE(form->Explanation->text().startsWith("The last known device programmer was not found."));
        EXPECT_EQ(form->ProgrammerComboBox->currentText(), "KOVP4");
        EXPECT_EQ(form->InterfaceComboBox->currentText(), "ParallelPort");
        EXPECT_EQ(form->PortAddressComboBox->currentText(), "0x0378");
        QTest::mouseClick(form->DemoButton, Qt::LeftButton);
    });
    script.steps.push_back([&](QWidget* dialog) {
        Place("demo.so", "Demo", {"answer=DEMO>DEMO"});
        QTest::mouseClick(static_cast<TProgScanForm*>(dialog)->DemoButton, Qt::LeftButton);
    });
    ASSERT_TRUE(Start());
    EXPECT_EQ(Inits(lpt), Texts{"ParallelPort:0378"});
    EXPECT_EQ(dialogs.Texts(), Texts{"No demo programmer library found"});
    EXPECT_EQ(ProgScanForm->Search.Programmer()->ProgrammerId(), 4);
    EXPECT_EQ(GlobalConfig->GetString("LastProgrammer", "Interface"), "ParallelPort:0378");
    EXPECT_EQ(GlobalConfig->GetString("LastProgrammer", "DLLName"), lpt);
}

}  // namespace
