// Whole runs of kov with the sample plug-ins: the main window as the user drives it, the simulated
// USB programmer, real chips kept on disk between runs.
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include "branding/Edition.h"
#include "ui/DevSelectForm.h"
#include "ui/ProgScanForm.h"

#include "buffer/Splits.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "mainform_SampleLab.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"
#include "ui/HexEdit.h"
#include "ui/SplitsForm.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 131 + seed) ^ (i >> 8));
    return bytes;
}

void Load(const Bytes& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) GlobalBuffer->SetByte(static_cast<int>(i), bytes[i]);
}

Bytes Contents(std::size_t size) {
    GlobalBuffer->GetByte(static_cast<int>(size - 1));
    return {GlobalBuffer->Data, GlobalBuffer->Data + size};
}

void Clear(std::size_t size) {
    GlobalBuffer->GetByte(static_cast<int>(size - 1));
    std::fill(GlobalBuffer->Data, GlobalBuffer->Data + size, 0);
}

class ProgrammingRunTest : public SampleLabTest {
protected:
    // Runs a command button and returns the boxes it showed.
    Texts Run(QPushButton* button) {
        const std::size_t before = dialogs.shown.size();
        Click(button);
        Texts texts;
        for (std::size_t i = before; i < dialogs.shown.size(); ++i) texts.push_back(dialogs.shown[i].text);
        return texts;
    }
    std::string DeviceChecksum() const { return MainForm->DeviceChecksum->text().toStdString(); }
    void Restart() {
        EndRun();
        Start();
    }
};

TEST_F(ProgrammingRunTest, FlashIsCopiedFromOneChipToABlankOneAndErased) {
    const std::size_t size = 128 * 1024;
    const Bytes image = Pattern(size, 1);
    std::uint32_t sum = 0;
    for (std::uint8_t b : image) sum += b;
    const std::string confirm = "This operation will change data in the device.\nAre you sure you want to do this?\n";

    // A fresh session: the user chooses the USB programmer in the search dialog and the flash part
    // in the device dialog.
    std::erase_if(sessionLines, [](const std::string& line) { return line.rfind("LastProgrammer.", 0) == 0; });
    const std::string usb = EditionId == "KESTRA" ? "TOLQ" : "KOV22";
    script.steps.push_back([&usb](QWidget* dialog) {
        ASSERT_EQ(dialog->objectName(), "ProgScanForm");
        auto* form = static_cast<TProgScanForm*>(dialog);
        QTest::keyClick(form->ProgrammerComboBox, Qt::Key_Home);
        for (int i = 0; i < 10 && form->ProgrammerComboBox->currentText().toStdString() != usb; ++i)
            QTest::keyClick(form->ProgrammerComboBox, Qt::Key_Down);
        Click(form->ProgrammerSearchButton);
    });
    script.steps.push_back([](QWidget* dialog) {
        ASSERT_EQ(dialog->objectName(), "DevSelectForm");
        auto* form = static_cast<TDevSelectForm*>(dialog);
        QTest::keyClick(form->DeviceTypes, Qt::Key_Home);   // "All" device types
        QTest::keyClicks(form->Manufacturer, QStringLiteral("amd"));
        form->Device->selectAll();
        QTest::keyClicks(form->Device, QStringLiteral("am29f010"));
        const auto dip = form->Packages->findItems(QStringLiteral("DIP32"), Qt::MatchExactly);
        if (!dip.isEmpty()) form->Packages->setCurrentItem(dip.front());
        Click(form->OkButton);
        if (dialog->isVisible()) {
            ADD_FAILURE() << "the device dialog did not take AMD AM29F010 in DIP32";
            static_cast<QDialog*>(dialog)->reject();
        }
    });
    // A chip that holds data: the DIP32 part programmed with the image.
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    ASSERT_EQ(GlobalDevDLL->SelectedDeviceName(), "AM29F010");
    ASSERT_EQ(GlobalDevDLL->SelectedPackage(), "DIP32");
    Load(image);
    EXPECT_EQ(Run(MainForm->ProgramButton), (Texts{confirm, "Program operation successful."}));
    EXPECT_EQ(DeviceChecksum(), Hex8(sum));
    Click(MainForm->BufferChecksumButton);
    EXPECT_EQ(MainForm->BufferChecksum->text().toStdString(), Hex8(sum));

    // Read it into an empty buffer.
    Clear(size);
    EXPECT_EQ(Run(MainForm->ReadButton), Texts{"Read operation successful."});
    EXPECT_EQ(Contents(size), image);
    EXPECT_EQ(MainForm->BufferChecksum->text().toStdString(), Hex8(sum)) << "a read recalculates the sum";

    // Program it into a blank chip: the same part in another package, selected again from the session.
    GlobalConfig->SetString("Device", "AutoSelect", AutoSelectValue("flash.so", "AMD", "AM29F010", "PLCC32", 32, 8));
    MainForm->Reselect1Click();
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->SelectedPackage(), "PLCC32");
    EXPECT_EQ(Run(MainForm->BlankCheckButton), Texts{"Blank Check operation successful."});
    EXPECT_EQ(Run(MainForm->ProgramButton), (Texts{confirm, "Program operation successful."}));
    EXPECT_EQ(Run(MainForm->VerifyButton), Texts{"Verify operation successful."});
    EXPECT_EQ(DeviceChecksum(), Hex8(sum));

    // The chip keeps its data from one run to the next.
    Restart();
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->SelectedPackage(), "PLCC32");
    Clear(size);
    EXPECT_EQ(Run(MainForm->ReadButton), Texts{"Read operation successful."});
    EXPECT_EQ(Contents(size), image);

    const std::string erase = "This operation will erase data in the device.\nAre you sure you want to do this?\n";
    EXPECT_EQ(Run(MainForm->EraseButton), (Texts{erase, "Erase operation successful."}));
    EXPECT_EQ(Run(MainForm->BlankCheckButton), Texts{"Blank Check operation successful."});
    // Verifying the image against an erased chip fails: the library says why, kov shows no success.
    for (const auto& text : Run(MainForm->VerifyButton))
        EXPECT_EQ(text.find("operation successful"), std::string::npos) << text;
    EXPECT_EQ(DeviceChecksum(), "00000000");
}

TEST_F(ProgrammingRunTest, SixteenBitEpromWithByteSwapping) {
    const std::size_t size = 128 * 1024;   // 64 Ki words
    const Bytes image = Pattern(size, 2);
    Remember("eprom16.so", "AMD", "AM27C1024", "DIP40", 40, 16);
    sessionLines.push_back("Device.SuppressConfirm=TRUE");
    sessionLines.push_back("Device.SuppressSuccessfulMessage=TRUE");
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    ASSERT_FALSE(MainForm->MiscButtons.empty());
    QPushButton* swap = MainForm->MiscButtons[0];
    ASSERT_EQ(swap->text(), "Byte Swap");

    Load(image);
    Click(swap);   // on
    EXPECT_EQ(Run(MainForm->ProgramButton), Texts{});
    EXPECT_NE(DeviceChecksum(), "00000000");

    // Read back without swapping: every word's two bytes come back exchanged.
    Click(swap);   // off
    Clear(size);
    Run(MainForm->ReadButton);
    const Bytes plain = Contents(size);
    for (std::size_t i = 0; i < size; i += 2) {
        ASSERT_EQ(plain[i], image[i + 1]) << "at " << i;
        ASSERT_EQ(plain[i + 1], image[i]) << "at " << i;
    }
    // And with swapping the buffer holds the image again; the device checks equal against it.
    Click(swap);
    Clear(size);
    Run(MainForm->ReadButton);
    EXPECT_EQ(Contents(size), image);
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text;
    Run(MainForm->VerifyButton);
    EXPECT_NE(DeviceChecksum(), "00000000");
}

TEST_F(ProgrammingRunTest, TwoSplitsAndTwoSetsPlaceTheSelectedDevicesWords) {
    const std::uint32_t words = 128 * 1024;
    Remember("flash.so", "AMD", "AM29F010", "DIP32", 32, 8);
    sessionLines.push_back("Device.SuppressConfirm=TRUE");
    sessionLines.push_back("Device.SuppressSuccessfulMessage=TRUE");
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);

    // The whole image of four devices: two side by side, two such pairs one after the other.
    RunSplitsDialog(2, 2, 2, 2);
    ASSERT_EQ(MainForm->SplitsButton->text(), "Splits(2:2) and Sets(2:2)");
    ASSERT_EQ(MainForm->BuffOffsetEnd->text().toStdString(), "0007FFFF");
    const Bytes image = Pattern(4 * words, 3);
    Load(image);
    Run(MainForm->ProgramButton);
    ASSERT_EQ(DeviceChecksum().size(), 8u);
    ASSERT_NE(DeviceChecksum(), "00000000");

    // Read the chip alone: it holds the second device's words of the second set.
    RunSplitsDialog(1, 1, 1, 1);
    Clear(4 * words);
    Run(MainForm->ReadButton);
    const Bytes chip = Contents(words);
    for (std::uint32_t w = 0; w < words; ++w) {
        const std::uint64_t at = SplitsWordAddress(0, 1, words, 0, 2, w, 2, 2);
        ASSERT_EQ(chip[w], image[at]) << "word " << w;
    }
    EXPECT_EQ(SplitsWordAddress(0, 1, words, 0, 2, 1, 2, 2), 2u * words + 3);

    // Read into the first device of the first set: its lane takes the chip, the others stay.
    RunSplitsDialog(2, 2, 1, 1);
    Load(image);
    Run(MainForm->ReadButton);
    const Bytes after = Contents(4 * words);
    for (std::uint32_t w = 0; w < words; ++w) {
        ASSERT_EQ(after[2 * w], chip[w]) << "word " << w;
        ASSERT_EQ(after[2 * w + 1], image[2 * w + 1]) << "word " << w;
    }
    EXPECT_TRUE(std::equal(after.begin() + 2 * words, after.end(), image.begin() + 2 * words));
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
