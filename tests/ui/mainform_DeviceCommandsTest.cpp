#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <csignal>
#include <unistd.h>

#include "branding/Edition.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/Logger.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "mainform_SampleLab.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"
#include "plugins/ProgDLL.h"
#include "ui/Application.h"
#include "ui/DevSelectForm.h"
#include "ui/HexEdit.h"
#include "ui/StatusForm.h"
#include "ui/SplitsForm.h"

namespace {

using Texts = std::vector<std::string>;

const char* const NoDataQuestion =
    "You have not loaded any data into the buffer.  Are you absolutely\nsure you want to program this device with no data?";

std::string Text(const QLineEdit* field) {
    return field->text().toStdString();
}

// Types into a pointer field and leaves it with Return.
void Enter(THexEdit* field, const char* digits) {
    field->selectAll();
    QTest::keyClicks(field, QString::fromLatin1(digits));
    QTest::keyClick(field, Qt::Key_Return);
}

class MainFormDeviceTest : public SampleLabTest {
protected:
    void SetUp() override {
        SampleLabTest::SetUp();
        if (IsSkipped()) return;
        Remember("flash.so", "AMD", "AM29F010", "DIP32", 32, 8);
    }
    bool Logged(const std::string& text) const { return LogContains(") - " + text); }
    // Blank checks from the button with `port` serving the library while it runs.
    void BlankCheckThrough(DialogPort& port) {
        DialogPort* previous = SetDialogPort(&port);
        Click(MainForm->BlankCheckButton);
        SetDialogPort(previous);
    }
};

TEST_F(MainFormDeviceTest, FirstShowingShowsTheRememberedDeviceWithItsCommands) {
    sessionLines.push_back("SplitsSets.SplitsCols=9");
    sessionLines.push_back("SplitsSets.SplitsRows=0");
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);

    const std::string programmer = MainForm->ProgLib->ProgrammerName();
    std::string expected = (EditionId == "TORMEX" ? QString::fromStdString(programmer).toUpper().toStdString()
                                                  : programmer) +
                           " - v" + FrameworkVersion;
    EXPECT_EQ(MainForm->windowTitle().toStdString().rfind(expected, 0), 0u) << MainForm->windowTitle().toStdString();
    EXPECT_TRUE(MainForm->windowTitle().endsWith(QStringLiteral(" - AMD AM29F010")));

    // 128 Ki words of 8 bits from buffer address 0; the buffer writes stay inside them.
    EXPECT_EQ(Text(MainForm->DevOffsetStart), "00000000");
    EXPECT_EQ(Text(MainForm->DevOffsetEnd), "0001FFFF");
    EXPECT_EQ(Text(MainForm->BuffOffsetStart), "00000000");
    EXPECT_EQ(Text(MainForm->BuffOffsetEnd), "0001FFFF");
    EXPECT_TRUE(GlobalBuffer->WindowEnabled);
    EXPECT_EQ(GlobalBuffer->WindowHigh, 0x1FFFF);
    EXPECT_TRUE(MainForm->DevOffsetStart->isEnabled());

    // Counts stored as 9 and 0 are taken as 1.
    EXPECT_EQ(MainForm->SplitsButton->text(), "Splits(1:1) and Sets(1:1)");
    EXPECT_TRUE(MainForm->SplitsButton->isEnabled());
    EXPECT_EQ(MainForm->Operations.Splits.Values(), (TSplitsSets{1, 1, 1, 1}));

    for (QPushButton* b : {MainForm->EraseButton, MainForm->BlankCheckButton, MainForm->ProgramButton,
                           MainForm->VerifyButton, MainForm->ReadButton, MainForm->DeviceChecksumButton}) {
        EXPECT_TRUE(b->isEnabled()) << b->text().toStdString();
    }
    EXPECT_TRUE(MainForm->ReselectItem->isEnabled());
    EXPECT_FALSE(MainForm->SocketModule->text().isEmpty());

    // The flash library's extra functions, as buttons and as Ctrl+digit menu items; 8-bit parts
    // have no byte-swap button.
    Texts buttons;
    for (QPushButton* b : MainForm->MiscButtons) buttons.push_back(b->text().toStdString());
    EXPECT_EQ(buttons, (Texts{"Read Device ID", "Protect All Sectors", "Unprotect All Sectors", "Sector Protection"}));
    ASSERT_EQ(MainForm->MiscItems.size(), 4u);
    EXPECT_EQ(MainForm->MiscItems[0]->objectName(), "MiscCommand0");
    EXPECT_EQ(MainForm->MiscItems[3]->text(), "Sector Protection");
    EXPECT_EQ(MainForm->MiscItems[3]->shortcut(), QKeySequence(QStringLiteral("Ctrl+4")));
    EXPECT_FALSE(MainForm->MiscButtons[0]->icon().isNull());
    EXPECT_TRUE(MainForm->MiscFunctionPanel->isVisible());

    // The buffer checksum field follows the buffer.
    GlobalBuffer->SetChecksum(0x0ABCDEF1);
    EXPECT_EQ(Text(MainForm->BufferChecksum), "0ABCDEF1");
}

TEST_F(MainFormDeviceTest, PointerFieldsKeepWhatTheGeometryRefuses) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    Enter(MainForm->DevOffsetStart, "30000");   // beyond the last word
    EXPECT_EQ(Text(MainForm->DevOffsetStart), "00000000");
    Enter(MainForm->DevOffsetStart, "100");
    EXPECT_EQ(Text(MainForm->DevOffsetStart), "00000100");
    Enter(MainForm->DevOffsetEnd, "ff");
    EXPECT_EQ(Text(MainForm->DevOffsetEnd), "00000100") << "the end is raised to the start";

    Enter(MainForm->BuffOffsetStart, "1000");
    EXPECT_EQ(Text(MainForm->BuffOffsetEnd), "00020FFF");
    EXPECT_EQ(GlobalBuffer->WindowLow, 0x1000);
    Enter(MainForm->BuffOffsetEnd, "10");   // would put the start below 0
    EXPECT_EQ(Text(MainForm->BuffOffsetStart), "00001000");
    EXPECT_EQ(Text(MainForm->BuffOffsetEnd), "00020FFF");
    EXPECT_TRUE(dialogs.shown.empty());
}

// A pointer typed but not yet left is what the command works on, whether the command comes from
// its key, its menu item or its button: the field never shows one range while another is used.
TEST_F(MainFormDeviceTest, ACommandWorksOnThePointerBeingTyped) {
    sessionLines.push_back("Device.SuppressConfirm=TRUE");
    sessionLines.push_back("Device.SuppressSuccessfulMessage=TRUE");
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    QApplication::setActiveWindow(MainForm);
    auto type = [](THexEdit* field, const char* digits) {
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(digits));
    };
    type(MainForm->DevOffsetEnd, "ff");
    QTest::keySequence(MainForm, QKeySequence(QStringLiteral("Ctrl+R")));
    EXPECT_TRUE(Logged("Read the AM29F010 from 00000000 to 000000FF, checksum"));
    EXPECT_EQ(Text(MainForm->DevOffsetEnd), "000000FF");

    type(MainForm->DevOffsetStart, "10");
    MainForm->VerifyItem->trigger();
    EXPECT_TRUE(Logged("Verified the AM29F010 from 00000010 to 000000FF, checksum"));

    type(MainForm->DevOffsetStart, "20");
    Click(MainForm->BlankCheckButton);
    EXPECT_TRUE(Logged("Blank checked the AM29F010 from 00000020 to 000000FF, checksum"));
    EXPECT_EQ(GlobalDevDLL->Geometry()->DeviceStart(), 0x20u);
}

TEST_F(MainFormDeviceTest, ProgramOfAnUntouchedBufferAsksEvenWithConfirmationsOff) {
    sessionLines.push_back("Device.SuppressConfirm=TRUE");
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    MainForm->DeviceChecksum->SetValue(0x1234);
    dialogs.answers = {IDNO};
    Click(MainForm->ProgramButton);
    EXPECT_EQ(BoxTexts(), Texts{NoDataQuestion});
    EXPECT_EQ(dialogs.shown[0].caption, "Warning: No file loaded");
    EXPECT_EQ(Text(MainForm->DeviceChecksum), "00001234");
    EXPECT_FALSE(Logged("TMainForm: Program started"));
    EXPECT_TRUE(MainForm->ProgramButton->isEnabled()) << "the window is unlocked again";
    EXPECT_TRUE(MainForm->FileMenu->isEnabled());

    // A declined Erase clears the device checksum.
    GlobalConfig->SetBool("Device", "SuppressConfirm", false);
    dialogs.answers = {IDNO};
    Click(MainForm->EraseButton);
    EXPECT_EQ(Text(MainForm->DeviceChecksum), "00000000");
    EXPECT_FALSE(Logged("TMainForm: Erase started"));
}

// Tries to close the main window whenever the running library lets window events run.
class ClosingPort : public ScriptedDialogPort {
public:
    void ProcessEvents() override {
        ScriptedDialogPort::ProcessEvents();
        if (MainForm && attempts == 0) {
            ++attempts;
            closedWhileRunning = MainForm->close();
            statusWhileRunning = MainForm->MainStatusBar->text().toStdString();
        }
    }
    int attempts = 0;
    bool closedWhileRunning = true;
    std::string statusWhileRunning;
};

TEST_F(MainFormDeviceTest, CloseIsRefusedWhileTheLibraryRunsAndWorksAfterwards) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    ClosingPort port;
    BlankCheckThrough(port);
    ASSERT_GT(port.attempts, 0) << "the library never let events run";
    EXPECT_FALSE(port.closedWhileRunning);
    EXPECT_EQ(port.statusWhileRunning.rfind("Performing device function: Blank Check", 0), 0u)
        << port.statusWhileRunning;
    EXPECT_EQ(port.Texts(), Texts{"Blank Check operation successful."});
    EXPECT_TRUE(MainForm->isVisible());

    GlobalConfig->SetBool("BufferEditForm", "Visible", true);
    EXPECT_TRUE(MainForm->close());
    EXPECT_FALSE(GlobalConfig->GetBool("BufferEditForm", "Visible"));
    EXPECT_EQ(GlobalDevDLL, nullptr);
    EXPECT_EQ(MainForm->ProgLib, nullptr);
}

// While the library runs, the user presses the keys and buttons of other commands: nothing may
// start a second command inside the running one.
class ImpatientPort : public ScriptedDialogPort {
public:
    void ProcessEvents() override {
        ScriptedDialogPort::ProcessEvents();
        if (!MainForm || tried) return;
        tried = true;
        QApplication::setActiveWindow(MainForm);
        for (const auto& key : {QKeySequence(QStringLiteral("Ctrl+R")), QKeySequence(QStringLiteral("Ctrl+P")),
                                QKeySequence(QStringLiteral("Ctrl+1")), QKeySequence(QStringLiteral("Ctrl+D")),
                                QKeySequence(QStringLiteral("Ctrl+A")), QKeySequence(QStringLiteral("Ctrl+C"))}) {
            QTest::keySequence(MainForm, key);
        }
        QTest::mouseClick(MainForm->ReadButton, Qt::LeftButton);
        QApplication::processEvents();
    }
    bool tried = false;
};

TEST_F(MainFormDeviceTest, NoOtherCommandStartsWhileTheLibraryRuns) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    ImpatientPort port;
    BlankCheckThrough(port);
    ASSERT_TRUE(port.tried) << "the library never let events run";
    EXPECT_EQ(port.Texts(), Texts{"Blank Check operation successful."});
    for (const char* name : {"Read", "Program", "Read Device ID", "Checksum"})
        EXPECT_FALSE(Logged(std::string("TMainForm: ") + name + " started")) << name;
    EXPECT_FALSE(LogContains("Selecting device"));

    // Afterwards the keys work again.
    QApplication::setActiveWindow(MainForm);
    QTest::keySequence(MainForm, QKeySequence(QStringLiteral("Ctrl+R")));
    EXPECT_TRUE(Logged("TMainForm: Read started"));
}

// Sends the program a termination request while the library runs, and lets the window system
// deliver it as the progress box's event pumping does in the program.
class TerminatingPort : public ScriptedDialogPort {
public:
    void ProcessEvents() override {
        ScriptedDialogPort::ProcessEvents();
        if (!raised) {
            raised = true;
            raise(SIGTERM);
        }
        QApplication::processEvents();
        if (MainForm && !MainForm->isVisible()) closedWhileRunning = true;
    }
    bool raised = false;
    bool closedWhileRunning = false;
};

// Ctrl+C or a shutdown while a command runs: the window cannot close then, but it must close
// once the command has ended instead of forgetting the request. Run in a child process, as the
// request stays with the process.
TEST_F(MainFormDeviceTest, TerminationRequestDuringACommandClosesTheWindowAfterIt) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child ends without its destructors: it removes its installation folder itself.
    auto end = [this](int code) {
        std::error_code error;
        std::filesystem::remove_all(temp.path(), error);
        _exit(code);
    };
    EXPECT_EXIT(
        {
            Start();
            if (!GlobalDevDLL) end(2);
            CloseOnTerminationSignals(MainForm);
            TerminatingPort port;
            SetDialogPort(&port);
            Click(MainForm->BlankCheckButton);
            if (!port.raised || port.closedWhileRunning) end(3);
            for (int i = 0; i < 200 && MainForm->isVisible(); ++i) QTest::qWait(5);
            end(MainForm->isVisible() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

// However small the user makes the window, every caption and every number stays whole.
TEST_F(MainFormDeviceTest, TheSmallestWindowCutsNoCaptionAndNoNumber) {
    sessionLines.push_back("SplitsSets.SplitsCols=8");
    sessionLines.push_back("SplitsSets.SplitsRows=8");
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    ASSERT_GT(MainForm->MiscButtons.size(), 2u);
    MainForm->resize(1, 1);
    QApplication::processEvents();
    for (QPushButton* button : MainForm->ControlArea->findChildren<QPushButton*>()) {
        if (!button->isVisible()) continue;
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
    }
    const int frame = MainForm->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    for (THexEdit* field : MainForm->ControlArea->findChildren<THexEdit*>()) {
        const int room = field->width() - 2 * frame - 4;
        EXPECT_GE(room, field->fontMetrics().horizontalAdvance(field->text())) << field->objectName().toStdString();
    }
}

TEST_F(MainFormDeviceTest, ExtraFunctionsRunWithoutASuccessBox) {
    Start();
    ASSERT_EQ(MainForm->MiscButtons.size(), 4u);
    ASSERT_EQ(MainForm->MiscButtons[3]->text(), "Sector Protection");
    Click(MainForm->MiscButtons[3]);   // it reports in a box of the library's own
    EXPECT_TRUE(Logged("TMainForm: Sector Protection started"));
    EXPECT_TRUE(Logged("TMainForm: Sector Protection ended"));
    for (const auto& text : BoxTexts()) EXPECT_EQ(text.find("operation successful"), std::string::npos) << text;
    // The buttons are rebuilt from the library's new list.
    QApplication::processEvents();
    ASSERT_EQ(MainForm->MiscButtons.size(), 4u);
    MainForm->MiscItems[1]->trigger();
    EXPECT_TRUE(Logged("TMainForm: Protect All Sectors ended"));
}

TEST_F(MainFormDeviceTest, SplitsDialogOkAppliesTheLayoutCancelKeepsTheSession) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    RunSplitsDialog(2, 2, 2, 2);
    EXPECT_EQ(MainForm->SplitsButton->text(), "Splits(2:2) and Sets(2:2)");
    EXPECT_EQ(Text(MainForm->BuffOffsetEnd), "0007FFFF");
    EXPECT_EQ(GlobalDevDLL->Geometry()->RangeStart(), 0x40001u);
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsCols"), 2);
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsRows"), 2);

    script.steps.push_back([](QWidget* dialog) {
        auto* form = static_cast<TSplitsForm*>(dialog);
        form->SplitsBox->setValue(4);
        Click(form->CancelButton);
    });
    Click(MainForm->SplitsButton);
    EXPECT_EQ(MainForm->SplitsButton->text(), "Splits(2:2) and Sets(2:2)");
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsCols"), 2);
    EXPECT_EQ(SplitsForm->SplitsBox->value(), 4) << "the dialog keeps what the user typed";
    EXPECT_EQ(GlobalStatusStack->TopStatus()->text, "Idle");
}

// The layout in force, the splits dialog and the session agree after the Device button, so that
// the next start lays the image out as the user last worked with it.
// The sum of the 16-bit words of the selected device, read from the buffer by the layout rules.
std::uint32_t SelectedDeviceSum16() {
    const TDevGeometry& g = *GlobalDevDLL->Geometry();
    const std::uint64_t step = 2ull * g.Splits();
    std::uint32_t sum = 0;
    for (std::uint64_t w = 0; w <= g.DeviceEnd() - g.DeviceStart(); ++w) {
        const auto at = static_cast<int>(g.RangeStart() + w * step);
        sum += static_cast<std::uint32_t>(GlobalBuffer->GetByte(at) | GlobalBuffer->GetByte(at + 1) << 8);
    }
    return sum;
}

// The sum of the 8-bit words of the selected device, read from the buffer by the layout rules.
std::uint32_t SelectedDeviceSum8() {
    const TDevGeometry& g = *GlobalDevDLL->Geometry();
    std::uint32_t sum = 0;
    for (std::uint64_t w = 0; w <= g.DeviceEnd() - g.DeviceStart(); ++w)
        sum += GlobalBuffer->GetByte(static_cast<int>(g.RangeStart() + w * g.Splits()));
    return sum;
}

// The buffer checksum field refers to the current device of the layout: after the splits dialog's
// OK it is that of the device the next command works on, not of the one selected before.
TEST_F(MainFormDeviceTest, TheBufferChecksumFollowsTheSplitsDialog) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    // Every other byte differs, so that the two split devices have different sums.
    for (int i = 0; i < 0x80000; ++i) GlobalBuffer->Data[i] = static_cast<std::uint8_t>(i % 2 ? i * 7 : 0x11);
    Click(MainForm->BufferChecksumButton);
    ASSERT_EQ(Text(MainForm->BufferChecksum), Hex8(SelectedDeviceSum8()));
    const std::string alone = Text(MainForm->BufferChecksum);
    RunSplitsDialog(2, 1, 2, 1);
    ASSERT_EQ(MainForm->SplitsButton->text(), "Splits(2:2) and Sets(1:1)");
    EXPECT_EQ(Text(MainForm->BufferChecksum), Hex8(SelectedDeviceSum8()));
    EXPECT_NE(Text(MainForm->BufferChecksum), alone);

    RunSplitsDialog(2, 2, 1, 2);
    ASSERT_EQ(MainForm->SplitsButton->text(), "Splits(1:2) and Sets(2:2)");
    EXPECT_EQ(Text(MainForm->BufferChecksum), Hex8(SelectedDeviceSum8()));

    // Cancel changes neither the layout nor the field.
    const std::string kept = Text(MainForm->BufferChecksum);
    RunSplitsDialog(4, 1, 3, 1, false);
    EXPECT_EQ(Text(MainForm->BufferChecksum), kept);
}

// The same for the pointers: the field sums the range the next command works on.
TEST_F(MainFormDeviceTest, TheBufferChecksumFollowsThePointers) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    for (int i = 0; i < 0x40000; ++i) GlobalBuffer->Data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    Click(MainForm->BufferChecksumButton);
    const std::string whole = Text(MainForm->BufferChecksum);
    ASSERT_EQ(whole, Hex8(SelectedDeviceSum8()));

    Enter(MainForm->DevOffsetEnd, "ff");
    EXPECT_EQ(Text(MainForm->BufferChecksum), Hex8(SelectedDeviceSum8()));
    EXPECT_NE(Text(MainForm->BufferChecksum), whole);
    Enter(MainForm->DevOffsetStart, "10");
    EXPECT_EQ(Text(MainForm->BufferChecksum), Hex8(SelectedDeviceSum8()));
    Enter(MainForm->BuffOffsetStart, "1001");
    EXPECT_EQ(Text(MainForm->BufferChecksum), Hex8(SelectedDeviceSum8()));

    // A value the geometry refuses changes nothing, and no box is shown for any of this.
    const std::string kept = Text(MainForm->BufferChecksum);
    Enter(MainForm->DevOffsetStart, "30000");
    EXPECT_EQ(Text(MainForm->BufferChecksum), kept);
    EXPECT_TRUE(dialogs.shown.empty());

    // What Program reports for the device is what the field showed for the buffer.
    GlobalConfig->SetBool("Device", "SuppressConfirm", true);
    GlobalConfig->SetBool("Device", "SuppressSuccessfulMessage", true);
    Click(MainForm->ProgramButton);
    EXPECT_EQ(Text(MainForm->DeviceChecksum), Text(MainForm->BufferChecksum));
}

TEST_F(MainFormDeviceTest, TheDeviceButtonKeepsTheLayoutTheSessionHolds) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    // Data in the whole image of four 16-bit devices (past the write window of the flash part).
    GlobalBuffer->GetByte(0x7FFFF);
    std::uint32_t random = 1;
    for (int i = 0; i < 0x80000; ++i) {
        random = random * 1103515245u + 12345u;
        GlobalBuffer->Data[i] = static_cast<std::uint8_t>(random >> 16);
    }
    auto splitsDialog = [this](int splits, int sets, int set, bool ok) {
        script.steps.push_back([=](QWidget* dialog) {
            auto* form = static_cast<TSplitsForm*>(dialog);
            form->SplitsBox->setValue(splits);
            form->SetsBox->setValue(sets);
            form->SetDevBox->setValue(set);
            Click(ok ? static_cast<QWidget*>(form->BitBtn1) : static_cast<QWidget*>(form->CancelButton));
        });
        Click(MainForm->SplitsButton);
    };
    splitsDialog(2, 2, 2, true);
    ASSERT_EQ(MainForm->SplitsButton->text(), "Splits(1:2) and Sets(2:2)");
    splitsDialog(4, 3, 3, false);   // changed and cancelled: the dialog keeps 4 and 3

    // A cancelled device dialog keeps the device and stores nothing.
    script.steps.push_back([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    Click(MainForm->DevSelectBtn);
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsCols"), 2);
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsRows"), 2);
    EXPECT_EQ(GlobalDevDLL->Geometry()->Splits(), 2u);

    // Another device: it takes the session's two splits and two sets.
    script.steps.push_back([](QWidget* dialog) {
        auto* form = static_cast<TDevSelectForm*>(dialog);
        QTest::keyClicks(form->Manufacturer, QStringLiteral("amd"));
        form->Device->selectAll();
        QTest::keyClicks(form->Device, QStringLiteral("am27c1024"));
        Click(form->OkButton);
        if (dialog->isVisible()) static_cast<QDialog*>(dialog)->reject();
    });
    Click(MainForm->DevSelectBtn);
    ASSERT_NE(GlobalDevDLL, nullptr);
    ASSERT_EQ(GlobalDevDLL->SelectedDeviceName(), "AM27C1024");
    const TDevGeometry& g = *GlobalDevDLL->Geometry();
    EXPECT_EQ(g.Splits(), 2u);
    EXPECT_EQ(g.Sets(), 2u);
    EXPECT_EQ(MainForm->Operations.Splits.Values(),
              (TSplitsSets{2, static_cast<int>(g.SplitNumber()), 2, static_cast<int>(g.SetNumber())}));
    EXPECT_EQ(MainForm->SplitsButton->text().toStdString(),
              "Splits(" + std::to_string(g.SplitNumber()) + ":2) and Sets(" + std::to_string(g.SetNumber()) + ":2)");
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsCols"), 2);
    EXPECT_EQ(GlobalConfig->GetInt("SplitsSets", "SplitsRows"), 2);
    // 64 Ki words of 16 bits, four devices.
    EXPECT_EQ(Text(MainForm->BuffOffsetEnd), "0007FFFF");
    // The buffer checksum shown is that of the selected device in the layout now in force.
    EXPECT_EQ(Text(MainForm->BufferChecksum), Hex8(SelectedDeviceSum16()));

    // The same for a reselection.
    MainForm->Reselect1Click();
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->Geometry()->Splits(), 2u);
    EXPECT_EQ(Text(MainForm->BufferChecksum), Hex8(SelectedDeviceSum16()));
}

TEST_F(MainFormDeviceTest, ALibrarySwitchingSplitsOffDisablesTheButton) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    GlobalDevDLL->Geometry()->SetSets(0);
    EXPECT_EQ(MainForm->SplitsButton->text(), "Splits/Sets disabled");
    EXPECT_FALSE(MainForm->SplitsButton->isEnabled());
    GlobalDevDLL->Geometry()->SetSets(1);
    EXPECT_EQ(MainForm->SplitsButton->text(), "Splits(1:1) and Sets(1:1)");
}

TEST_F(MainFormDeviceTest, AFailedSelectionThatDroppedTheDeviceLeavesNoDeviceBehind) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    // The remembered device is gone and the dialog is cancelled.
    GlobalConfig->SetString("Device", "AutoSelect", "\"nosuch.so\",\"AMD\",\"AM29F010\",\"DIP32\",\"32\",\"8\"");
    script.steps.push_back([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    MainForm->Reselect1Click();
    EXPECT_EQ(GlobalDevDLL, nullptr);
    EXPECT_FALSE(MainForm->ProgramButton->isEnabled());
    EXPECT_FALSE(MainForm->DeviceChecksumButton->isEnabled());
    EXPECT_FALSE(MainForm->DevOffsetStart->isEnabled());
    EXPECT_EQ(Text(MainForm->DevOffsetEnd), "00000000");
    EXPECT_EQ(MainForm->SplitsButton->text(), "Splits/Sets disabled");
    EXPECT_TRUE(MainForm->MiscButtons.empty());
    EXPECT_FALSE(MainForm->windowTitle().contains(QStringLiteral("AM29F010")));
    EXPECT_TRUE(MainForm->DevSelectBtn->isEnabled());
}

// Stands in for the buffer editor window, which is not part of the main window: records what the
// main window asks of it.
class EditorRecord : public TBufferEditorLink {
public:
    bool IsShown() const override { return shown; }
    void ShowEditor(bool show) override { shown = show; }
    void Refresh() override {
        ++refreshes;
        lockedDuringRefresh = lockedDuringRefresh || locked;
    }
    void FollowBufferEnd(std::uint32_t end) override { ends.push_back(end); }
    void SetLocked(bool isLocked) override { locked = isLocked; }
    bool shown = false;
    bool locked = false;
    int refreshes = 0;
    std::vector<std::uint32_t> ends;
    bool lockedDuringRefresh = false;
};

TEST_F(MainFormDeviceTest, BufferEditorAndSerialNumberAreAskedAtTheirSteps) {
    sessionLines.push_back("BufferEditForm.Visible=TRUE");
    StartForms();
    EditorRecord editor;
    int serials = 0;
    MainForm->BufferEditor = &editor;
    MainForm->OnWriteSerialNumber = [&serials] { return ++serials > 0; };
    MainForm->StartLibrariesOnShow = true;
    MainForm->show();
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_TRUE(editor.shown) << "shown as the session remembers";
    EXPECT_GE(serials, 1);

    const int refreshes = editor.refreshes;
    const int serialsBefore = serials;
    Click(MainForm->ReadButton);
    EXPECT_GT(editor.refreshes, refreshes);
    EXPECT_TRUE(editor.lockedDuringRefresh);
    EXPECT_EQ(serials, serialsBefore + 1) << "a read writes the serial number";

    Enter(MainForm->BuffOffsetStart, "100");
    ASSERT_FALSE(editor.ends.empty());
    EXPECT_EQ(editor.ends.back(), 0x200FFu);

    editor.shown = false;
    EXPECT_TRUE(MainForm->close());
    EXPECT_FALSE(GlobalConfig->GetBool("BufferEditForm", "Visible"));
    MainForm->BufferEditor = nullptr;
}

class MainFormWideDeviceTest : public SampleLabTest {
protected:
    void SetUp() override {
        SampleLabTest::SetUp();
        if (IsSkipped()) return;
        Remember("eprom16.so", "AMD", "AM27C1024", "DIP40", 40, 16);
    }
};

TEST_F(MainFormWideDeviceTest, ByteSwapButtonTogglesTheHiddenSwitch) {
    Start();
    ASSERT_NE(GlobalDevDLL, nullptr);
    ASSERT_FALSE(MainForm->MiscButtons.empty());
    QPushButton* swap = MainForm->MiscButtons[0];
    EXPECT_EQ(swap->text(), "Byte Swap");
    EXPECT_EQ(swap->toolTip(), "Click here to Enable byte swapping");
    const qint64 offKey = swap->icon().cacheKey();
    Click(swap);
    EXPECT_TRUE(GlobalConfig->GetBool("Hidden", "Device", "ByteSwap"));
    EXPECT_EQ(swap->toolTip(), "Click here to Disable byte swapping");
    EXPECT_NE(swap->icon().cacheKey(), offKey);
    EXPECT_FALSE(LogContains("TMainForm: Byte Swap")) << "not an operation";
    Click(swap);
    EXPECT_FALSE(GlobalConfig->GetBool("Hidden", "Device", "ByteSwap"));
}

}  // namespace
