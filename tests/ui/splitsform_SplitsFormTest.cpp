#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "FormsFixture.h"
#include "core/Config.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"
#include "ui/SplitsForm.h"

namespace {

class SplitsFormTest : public FormsFixture {};

void Type(QSpinBox* box, const char* text) {
    box->selectAll();
    QTest::keyClicks(box, QString::fromLatin1(text));
}

TEST_F(SplitsFormTest, FieldsClampAsTheUserTypesAndTheDescriptionFollows) {
    SplitsForm->show();
    EXPECT_EQ(SplitsForm->Description->text(),
              "8-Bit Data path, written directly into one 8-Bit device, one set total, first device of first set "
              "selected.");
    Type(SplitsForm->SplitsBox, "3");
    Type(SplitsForm->SplitDevBox, "3");
    Type(SplitsForm->SplitsBox, "2");
    EXPECT_EQ(SplitsForm->SplitDevBox->value(), 2);
    EXPECT_EQ(SplitsForm->Description->text(),
              "16-Bit Data path, split across two 8-Bit devices, one set total, second device of first set selected.");
    Type(SplitsForm->SplitsBox, "9");
    EXPECT_EQ(SplitsForm->SplitsBox->value(), 8);
    Type(SplitsForm->SetDevBox, "5");
    EXPECT_EQ(SplitsForm->SetDevBox->value(), 1) << "only one set";
    EXPECT_EQ(MainForm->Operations.Splits.Values(), (TSplitsSets{8, 2, 1, 1}));
}

TEST_F(SplitsFormTest, ClickingADeviceInTheDiagramSelectsIt) {
    SplitsForm->show();
    Type(SplitsForm->SplitsBox, "4");
    Type(SplitsForm->SetsBox, "3");
    const TSplitsDiagram diagram = SplitsForm->Image1->Layout();
    const TDiagramBox& target = diagram.devices[2 * 4 + 2];   // third device of the third set
    QTest::mouseClick(SplitsForm->Image1, Qt::LeftButton, {}, QPoint(target.left + 1, target.top + 1));
    EXPECT_EQ(SplitsForm->SplitDevBox->value(), 3);
    EXPECT_EQ(SplitsForm->SetDevBox->value(), 3);
    QTest::mouseClick(SplitsForm->Image1, Qt::LeftButton, {}, QPoint(1, 1));   // nowhere near a device
    EXPECT_EQ(SplitsForm->SplitDevBox->value(), 3);
}

TEST_F(SplitsFormTest, OkStoresTheCountsCancelStoresNothing) {
    SplitsForm->show();
    Type(SplitsForm->SplitsBox, "2");
    Type(SplitsForm->SetsBox, "4");
    QTest::mouseClick(SplitsForm->CancelButton, Qt::LeftButton);
    EXPECT_FALSE(GlobalConfig->HasValue("SplitsSets", "SplitsCols"));
    EXPECT_EQ(SplitsForm->result(), QDialog::Rejected);

    SplitsForm->show();
    EXPECT_EQ(SplitsForm->SetsBox->value(), 4) << "the dialog keeps its values";
    QTest::mouseClick(SplitsForm->BitBtn1, Qt::LeftButton);
    EXPECT_EQ(SplitsForm->result(), QDialog::Accepted);
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsCols"), 2);
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsRows"), 4);
}

}  // namespace
