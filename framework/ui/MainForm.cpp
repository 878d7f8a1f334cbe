#include "ui/MainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "branding/Edition.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/Logger.h"
#include "buffer/VirtBuffer.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"
#include "plugins/ProgDLL.h"
#include "ui/Application.h"
#include "ui/DevSelectForm.h"
#include "ui/Forms.h"
#include "ui/HexEdit.h"
#include "ui/LogView.h"
#include "ui/ProgScanForm.h"
#include "ui/QtText.h"
#include "ui/SplitsForm.h"

namespace {

const char* const FormName = "MainForm";
constexpr int LibraryDebugLevel = 5;   // "Device Debug" and above: shown in debug mode only

std::string TempFolder() {
    std::error_code error;
    const auto folder = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : folder.string();
}

// The first of `count` pictures laid side by side in a glyph; the toolkit draws the disabled look.
QIcon GlyphIcon(const TGlyph* glyph, int count) {
    if (!glyph) return {};
    QPixmap strip;
    if (!strip.loadFromData(glyph->bytes.data(), static_cast<uint>(glyph->bytes.size()))) return {};
    if (count > 1 && strip.width() >= count) strip = strip.copy(0, 0, strip.width() / count, strip.height());
    return QIcon(strip);
}

void ShowByteSwap(QPushButton* button, const TByteSwapButton& swap) {
    button->setToolTip(ToQString(swap.hint));
    button->setIcon(GlyphIcon(swap.on ? EnabledGlyph : DisabledGlyph, 1));
}

// The buttons of the window share one least width; a longer caption, or a picture beside it,
// widens the button, so that the window cannot be made so small that a caption is cut off.
class TCommandButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    QSize minimumSizeHint() const override {
        QSize size = sizeHint();
        size.setWidth(std::max(size.width(), 110));
        return size;
    }
};

// A named panel whose controls stand one below the other.
QVBoxLayout* MakePanel(QWidget*& panel, const char* name, QWidget* parent) {
    panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(name));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

}  // namespace

TMainForm::TMainForm() : Operations(*this, this) {
    setObjectName(QString::fromLatin1(FormName));
    move(100, 100);
    resize(640, 480);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    ControlArea = new QWidget(central);
    ControlArea->setObjectName(QStringLiteral("ControlArea"));
    LogBox = new TLogView(central);
    layout->addWidget(ControlArea);
    layout->addWidget(LogBox, 1);
    setCentralWidget(central);

    FileStatusPanel = new QLabel(QStringLiteral("None"), this);
    FileStatusPanel->setObjectName(QStringLiteral("FileStatusPanel"));
    MainStatusBar = new QLabel(this);
    MainStatusBar->setObjectName(QStringLiteral("MainStatusBar"));
    statusBar()->addWidget(FileStatusPanel, 1);
    statusBar()->addWidget(MainStatusBar, 1);

    BuildMenus();
    BuildPanels();
    BuildDeviceMenu();
    NoDeviceState();

    UpdateCaption();
    if (GlobalLog) GlobalLog->AttachDisplay(LogBox);
    if (GlobalConfig) RestorePosition();
    UpdateLogLevelItems();
    UpdateLogFileItem();
    if (GlobalLog) GlobalLog->Log(ProductName + " - v" + FrameworkVersion, -1);
}

TMainForm::~TMainForm() {
    if (GlobalBuffer) GlobalBuffer->OnChecksumChange = nullptr;
    if (listening_ && GlobalStatusStack) GlobalStatusStack->RemoveStatusListener(this);
    DetachLogView();
    ReleaseLibraries();
}

void TMainForm::BuildMenus() {
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("FileMenu"));
    DeviceMenu = menuBar()->addMenu(QStringLiteral("&Device"));
    DeviceMenu->setObjectName(QStringLiteral("DeviceMenu"));
    ProgrammerMenu = menuBar()->addMenu(QStringLiteral("Programmer"));
    ProgrammerMenu->setObjectName(QStringLiteral("ProgrammerMenu"));
    ProgrammerMenu->menuAction()->setVisible(false);
    LogMenu = menuBar()->addMenu(QStringLiteral("&Log"));
    LogMenu->setObjectName(QStringLiteral("LogMenu"));
    HelpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    HelpMenu->setObjectName(QStringLiteral("HelpMenu"));

    levelGroup_ = new QActionGroup(this);
    levelGroup_->setExclusive(true);
    for (int level = 0; level < static_cast<int>(LogLevelItems.size()); ++level) {
        auto* item = new QAction(QString::fromLatin1(LogLevelName(level)), this);
        item->setCheckable(true);
        item->setData(level + 1);
        levelGroup_->addAction(item);
        connect(item, &QAction::triggered, this, [this, item] { LogLevel1Click(item); });
        LogLevelItems[static_cast<std::size_t>(level)] = item;
    }
    CopyLogItem = new QAction(QStringLiteral("Copy log to clipboard"), this);
    connect(CopyLogItem, &QAction::triggered, this, [this] { CopyLogtoClipboard1Click(); });
    SendLogItem = new QAction(QStringLiteral("Send log to file"), this);
    connect(SendLogItem, &QAction::triggered, this, [this] { SendLogFile1Click(); });
    CloseLogItem = new QAction(QStringLiteral("Close log file"), this);
    CloseLogItem->setEnabled(false);
    connect(CloseLogItem, &QAction::triggered, this, [this] { CloseLogFile1Click(); });
    ClearLogItem = new QAction(QStringLiteral("Clear log"), this);
    connect(ClearLogItem, &QAction::triggered, this, [this] { ClearLog1Click(); });

    // One set of actions in both menus, so both always show the same ticks and captions.
    LogPopupMenu = new QMenu(this);
    LogPopupMenu->setObjectName(QStringLiteral("LogPopupMenu"));
    for (QMenu* menu : {LogMenu, LogPopupMenu}) {
        for (QAction* item : LogLevelItems) menu->addAction(item);
        menu->addSeparator();
        menu->addAction(CopyLogItem);
        menu->addAction(SendLogItem);
        menu->addAction(CloseLogItem);
        menu->addAction(ClearLogItem);
        // The logger closes its file by itself when a write fails (disk full): the menu shows what
        // is true when it opens, not what was chosen last.
        connect(menu, &QMenu::aboutToShow, this, [this] {
            UpdateLogFileItem();
            UpdateLogLevelItems();
        });
    }
    LogBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LogBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { LogPopupMenu->popup(LogBox->viewport()->mapToGlobal(pos)); });
}

void TMainForm::StatusChanged(int /*code*/, const std::string& text, const void* /*caller*/) {
    MainStatusBar->setText(ToQString(text));
}

void TMainForm::UpdateCaption() {
    std::string title = ProductName;
    std::string caption = ProductName + " - v" + FrameworkVersion;
    const std::string programmer = ProgLib ? ProgLib->ProgrammerName() : std::string();
    if (!programmer.empty()) {
        title = programmer;
        QString shown = ToQString(programmer);
        if (EditionId == "TORMEX") shown = shown.toUpper();
        caption = FromQString(shown) + " - v" + FrameworkVersion;
    }
    if (GlobalDevDLL) caption += " - " + GlobalDevDLL->SelectedManufacturer() + " " + GlobalDevDLL->SelectedDeviceName();
    QCoreApplication::setApplicationName(ToQString(title));
    setWindowTitle(ToQString(caption));
}

void TMainForm::LogLevel1Click(QAction* item) {
    if (GlobalLog && item) GlobalLog->SetLevel(item->data().toInt() - 1);
    UpdateLogLevelItems();
}

void TMainForm::UpdateLogLevelItems() {
    const bool debug = DebugMode || (GlobalConfig && GlobalConfig->GetBool("Global", "Debug"));
    for (int level = LibraryDebugLevel; level < static_cast<int>(LogLevelItems.size()); ++level) {
        LogLevelItems[static_cast<std::size_t>(level)]->setVisible(debug);
    }
    if (!GlobalLog) return;
    const int current = GlobalLog->Level();
    for (int level = 0; level < static_cast<int>(LogLevelItems.size()); ++level) {
        LogLevelItems[static_cast<std::size_t>(level)]->setChecked(level == current);
    }
}

void TMainForm::SendLogFile1Click() {
    FileDialogRequest request;
    request.title = "Send log to file";
    request.initialPath = TempFolder();
    request.filters = {"Log Files (*.log)", "All Files (*)"};
    const std::string path = Dialogs().SaveFileName(request);
    if (path.empty() || !GlobalLog) return;
    GlobalLog->OpenLogFile(path);
    UpdateLogFileItem();
}

void TMainForm::CloseLogFile1Click() {
    if (GlobalLog) GlobalLog->OpenLogFile("");
    UpdateLogFileItem();
}

void TMainForm::UpdateLogFileItem() {
    const std::string open = GlobalLog ? GlobalLog->LogFileName() : std::string();
    if (open.empty()) {
        CloseLogItem->setText(QStringLiteral("Close log file"));
        CloseLogItem->setEnabled(false);
    } else {
        CloseLogItem->setText(QStringLiteral("Close log file - ") +
                              ToQString(std::filesystem::path(open).filename().string()));
        CloseLogItem->setEnabled(true);
    }
}

void TMainForm::CopyLogtoClipboard1Click() {
    QGuiApplication::clipboard()->setText(LogBox->AllText());
}

void TMainForm::ClearLog1Click() {
    LogBox->Clear();
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous()) return;
    // The show event comes before the window reaches the screen. The start-up waits in the splash
    // window and in dialogs, so it runs once the window is there (setVisible): they then stand
    // in front of a painted main window instead of an empty desktop.
    if (StartLibrariesOnShow && !started_ && !ending_) {
        startupPending_ = true;
        return;
    }
    FormShow();
}

void TMainForm::setVisible(bool visible) {
    QMainWindow::setVisible(visible);
    if (!visible || !startupPending_) return;
    WaitUntilOnScreen();
    startupPending_ = false;
    FormShow();
}

void TMainForm::WaitUntilOnScreen() {
    QWindow* window = windowHandle();
    if (!window) return;
    // The window system tells when the window can be seen; the window paints itself then. A
    // display that never tells must not keep the program from starting.
    QTimer patience;
    patience.setSingleShot(true);
    patience.start(2000);
    while (!window->isExposed() && patience.isActive() && isVisible()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::ExcludeUserInputEvents);
    }
}

void TMainForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && WriteSerialNumber()) RefreshBufferEditor();
}

void TMainForm::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    if (!event->spontaneous()) FormHide();
}

void TMainForm::FormShow() {
    if (StartLibrariesOnShow) StartLibraries();
    if (GlobalBuffer) {
        GlobalBuffer->OnChecksumChange = [this](std::int32_t value) {
            BufferChecksum->SetValue(static_cast<std::uint32_t>(value));
        };
    }
    if (GlobalDevDLL && BufferEditor && GlobalConfig)
        BufferEditor->ShowEditor(GlobalConfig->GetBool("BufferEditForm", "Visible"));
    if (GlobalConfig) RestorePosition();
    UpdateCaption();
    UpdateLogLevelItems();
    if (GlobalStatusStack && !listening_) {
        GlobalStatusStack->AddStatusListener(this);
        listening_ = true;
    }
    if (WriteSerialNumber()) RefreshBufferEditor();
}

void TMainForm::FormHide() {
    if (listening_ && GlobalStatusStack) GlobalStatusStack->RemoveStatusListener(this);
    listening_ = false;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Closing in the middle of the first showing would pull the window away under its own start-up;
    // it closes once the start-up is done.
    if (startingUp_ || startupPending_) {
        closeRequested_ = true;
        event->ignore();
        return;
    }
    // A device library is running: the window stays without a word. A termination request is
    // not forgotten, though: the window closes when the command has ended (SetEnable).
    if (!closeEnabled_) {
        if (TerminationRequested()) closeRequested_ = true;
        event->ignore();
        return;
    }
    if (FormClose()) {
        event->accept();
    } else {
        if (TerminationRequested()) closeRequested_ = true;
        event->ignore();
    }
}

bool TMainForm::FormClose() {
    // A running command disables the "&File" menu; the window must not close under it.
    if (!FileMenu->isEnabled()) return false;
    SetEnable(false);
    ReleaseLibraries();
    if (GlobalConfig) {
        StorePosition();
        GlobalConfig->SetBool("BufferEditForm", "Visible", BufferEditor && BufferEditor->IsShown());
    }
    DetachLogView();
    if (GlobalBuffer) GlobalBuffer->OnChecksumChange = nullptr;
    return true;
}

bool TMainForm::StartLibraries() {
    if (ending_ || startingUp_) return false;
    startingUp_ = true;
    if (!started_ && ProgScanForm) {
        // The window is on the screen behind the splash: nothing in it may start while the
        // programmer is looked for.
        TOperationLock lock(*this);
        ProgScanForm->Search.ShowAuxMenu = [this](TProgDLL& host) { ShowAuxMenu(host); };
        if (ProgScanForm->StartProgrammer(this)) {
            ProgLib = ProgScanForm->Search.TakeProgrammer();
            started_ = true;
        } else {
            EndApplication();
        }
    }
    if (started_ && DevSelectForm && !DevSelectForm->Selection.DeviceSelected()) {
        RunDeviceSelection();
        if (GlobalDevDLL) ApplySessionSplits();
    }
    startingUp_ = false;
    if (closeRequested_) EndApplication();
    return started_;
}

TDeviceSelection* TMainForm::Selection() {
    if (!DevSelectForm) return nullptr;
    TDeviceSelection& selection = DevSelectForm->Selection;
    selection.SetProgrammer(ProgLib.get());
    selection.PrepareDeviceHost = [this](TDevDLL& host) { Operations.PrepareDeviceHost(host); };
    selection.OnDeviceSelected = [this] { RefreshDeviceDisplay(); };
    return &selection;
}

bool TMainForm::RunDeviceSelection() {
    TDeviceSelection* selection = Selection();
    if (!selection) return false;
    Operations.BeginDeviceSelection();
    bool selected = false;
    {
        TOperationLock lock(*this);
        selected = selection->ChooseDevice();
        if (selected) {
            for (QWidget* w : {static_cast<QWidget*>(BufferChecksum), static_cast<QWidget*>(BufferChecksumButton),
                               static_cast<QWidget*>(DeviceChecksumButton), OperationPanel, MiscFunctionPanel})
                w->setEnabled(true);
            for (QAction* item : DeviceDependentItems) item->setEnabled(true);
            RefreshDeviceDisplay();
            SetPointersEnable(!Operations.PointersLocked());
            Operations.EndDeviceSelection(true);
        } else {
            Operations.EndDeviceSelection(false);
            if (selection->DeviceDropped()) NoDeviceState();
        }
        RefreshBufferEditor();
    }
    return selected;
}

void TMainForm::SelectDeviceBtnClick() {
    // A newly selected device takes the session's splits and sets, as at start-up and on
    // reselection; the session then keeps the layout that is in force. Storing the dialog's counts
    // without applying them would make the next start lay the image out differently from what the
    // user worked with, and a cancelled selection stores nothing (the dialog may hold counts the
    // user cancelled).
    if (RunDeviceSelection() && GlobalDevDLL) {
        ApplySessionSplits();
        Operations.StoreSplitsInSession();
    }
    DevSelectBtn->setFocus();
}

void TMainForm::Reselect1Click() {
    TDeviceSelection* selection = Selection();
    if (!selection) return;
    TOperationLock lock(*this);
    selection->ClearDeviceSelected();
    if (selection->ChooseDevice()) {
        RefreshDeviceDisplay();
        RefreshBufferEditor();
        ApplySessionSplits();
    } else if (selection->DeviceDropped() && !GlobalDevDLL) {
        // The old device is gone: showing it still would offer commands that do nothing.
        NoDeviceState();
    }
}

void TMainForm::ApplySessionSplits() {
    Operations.ApplySessionSplits();
    ShowPointerValues(Operations.Pointers());
    // The selection summed the device as if it stood alone; the field shows the selected device
    // of the layout now in force.
    Operations.BufferChecksumCommand();
}

void TMainForm::NoDeviceState() {
    SetPointersEnable(false);
    SplitsEnabled(false);
    BufferChecksum->setEnabled(false);
    BufferChecksumButton->setEnabled(false);
    if (BufferEditor) BufferEditor->ShowEditor(false);
    ShowPointerValues({});
    SocketModule->clear();
    FamilyModule->clear();
    for (QAction* item : DeviceDependentItems) item->setEnabled(false);
    RemoveMiscFunctions();
    UpdateOperationButtons();
    UpdateCaption();
}

void TMainForm::RefreshDeviceDisplay() {
    UpdateCaption();
    ShowPointers();
    UpdateOperationButtons();
    ShowModuleNames();
}

void TMainForm::ShowModuleNames() {
    if (const auto names = Operations.ModuleNames()) {
        SocketModule->setText(ToQString(names->first));
        FamilyModule->setText(ToQString(names->second));
    }
}

void TMainForm::UpdateOperationButtons() {
    const TCommandAvailability a = Operations.Availability();
    const std::pair<QPushButton*, QAction*> commands[] = {{EraseButton, EraseItem},
                                                          {BlankCheckButton, BlankCheckItem},
                                                          {ProgramButton, ProgramItem},
                                                          {VerifyButton, VerifyItem},
                                                          {ReadButton, ReadItem}};
    const bool enabled[] = {a.erase, a.blankCheck, a.program, a.verify, a.read};
    for (std::size_t i = 0; i < std::size(commands); ++i) {
        commands[i].first->setEnabled(enabled[i]);
        commands[i].second->setEnabled(enabled[i]);
    }
    for (QWidget* w : {static_cast<QWidget*>(DeviceChecksumButton), static_cast<QWidget*>(DeviceChecksum),
                       OperationPanel, MiscFunctionPanel})
        w->setEnabled(a.deviceLoaded);
    ChecksumItem->setEnabled(a.deviceLoaded);
    BuildMiscFunctions();
}

void TMainForm::RemoveMiscFunctions() {
    // A button may be removed from inside its own click: it goes once the click is done.
    for (QPushButton* button : MiscButtons) {
        button->hide();
        button->deleteLater();
    }
    MiscButtons.clear();
    for (QAction* item : MiscItems) {
        DeviceMenu->removeAction(item);
        item->deleteLater();
    }
    MiscItems.clear();
    MiscFunctionPanel->setEnabled(false);
    MiscFunctionPanel->hide();
}

void TMainForm::BuildMiscFunctions() {
    RemoveMiscFunctions();
    auto* layout = static_cast<QVBoxLayout*>(MiscFunctionPanel->layout());
    const TByteSwapButton swap = Operations.ByteSwapButton();
    if (GlobalDevDLL && swap.offered) {
        QPushButton* button = CommandButton("ByteSwapButton", "Byte Swap", MiscFunctionPanel);
        button->setProperty("tag", 0);
        ShowByteSwap(button, swap);
        connect(button, &QPushButton::clicked, this, [this] { ByteSwapButtonClick(); });
        layout->addWidget(button);
        MiscButtons.push_back(button);
    }
    for (const TMiscCommand& command : Operations.MiscCommands()) {
        const QString caption = ToQString(command.caption);
        const int tag = command.tag;
        QPushButton* button = CommandButton(command.menuName.c_str(), command.caption.c_str(), MiscFunctionPanel);
        button->setProperty("tag", tag);
        button->setToolTip(ToQString(command.hint));
        button->setIcon(GlyphIcon(command.glyph, command.glyphCount));
        connect(button, &QPushButton::clicked, this, [this, tag, caption] { RunMiscFunction(tag, caption); });
        layout->addWidget(button);
        MiscButtons.push_back(button);

        auto* item = new QAction(caption, this);
        item->setObjectName(ToQString(command.menuName));
        item->setData(tag);
        if (!command.shortcut.empty()) item->setShortcut(QKeySequence(ToQString(command.shortcut)));
        connect(item, &QAction::triggered, this, [this, tag, caption] { RunMiscFunction(tag, caption); });
        DeviceMenu->addAction(item);
        MiscItems.push_back(item);
    }
    if (!MiscButtons.empty()) {
        MiscFunctionPanel->setEnabled(GlobalDevDLL != nullptr);
        MiscFunctionPanel->show();
    }
}

void TMainForm::RunMiscFunction(int tag, const QString& caption) {
    if (tag <= 0 || !GlobalDevDLL) return;
    Operations.RunMiscFunction(tag, FromQString(caption));
    // A function may change what the library offers; the host has listed them anew.
    BuildMiscFunctions();
}

void TMainForm::ByteSwapButtonClick() {
    Operations.ToggleByteSwap();
    const TByteSwapButton swap = Operations.ByteSwapButton();
    for (QPushButton* button : MiscButtons) {
        if (button->property("tag").toInt() == 0) ShowByteSwap(button, swap);
    }
}

void TMainForm::RunCommand(TDeviceCommand command, QPushButton* button) {
    Operations.RunCommand(command);
    button->setFocus();
}

void TMainForm::ReadButtonClick() {
    RunCommand(TDeviceCommand::Read, ReadButton);
}

void TMainForm::BlankCheckButtonClick() {
    RunCommand(TDeviceCommand::BlankCheck, BlankCheckButton);
}

void TMainForm::VerifyButtonClick() {
    RunCommand(TDeviceCommand::Verify, VerifyButton);
}

void TMainForm::ProgramButtonClick() {
    RunCommand(TDeviceCommand::Program, ProgramButton);
}

void TMainForm::EraseButtonClick() {
    RunCommand(TDeviceCommand::Erase, EraseButton);
}

void TMainForm::DeviceChecksumButtonClick() {
    Operations.DeviceChecksumCommand();
    DeviceChecksumButton->setFocus();
}

void TMainForm::BufferChecksumButtonClick() {
    Operations.BufferChecksumCommand();
}

void TMainForm::SplitsButtonClick() {
    StatusLine status("Configuring Splits and Sets", this);
    if (!SplitsForm) return;
    if (SplitsForm->exec() == QDialog::Accepted) {
        ApplySplitsToGeometry();
        ReapplyDevicePointers();
        // The field would otherwise go on showing the device that was current before.
        Operations.BufferChecksumCommand();
    }
}

void TMainForm::ApplySplitsToGeometry() {
    Operations.ApplySplitsToGeometry();
    ShowPointerValues(Operations.Pointers());
}

void TMainForm::UpdateSplitsCaption() {
    const std::string caption = Operations.SplitsCaption();
    if (!caption.empty()) SplitsButton->setText(ToQString(caption));
}

void TMainForm::SplitsEnabled(bool valid) {
    SplitsButton->setEnabled(valid);
    if (valid) {
        UpdateSplitsCaption();
    } else {
        SplitsButton->setText(QStringLiteral("Splits/Sets disabled"));
    }
}

void TMainForm::ReapplyDevicePointers() {
    PointerLeft(TPointerField::DeviceStart, DevOffsetStart->GetValue());
    PointerLeft(TPointerField::DeviceEnd, DevOffsetEnd->GetValue());
}

void TMainForm::PointerLeft(TPointerField field, std::uint32_t value) {
    if (!GlobalDevDLL) return;
    const TPointerValues before = Operations.Pointers();
    const TPointerValues after = Operations.LeavePointerField(field, value);
    ShowPointerValues(after);
    // The buffer checksum sums the range the next command works on.
    if (after != before) Operations.BufferChecksumCommand();
}

void TMainForm::ShowPointers() {
    ShowPointerValues(Operations.ShowPointers());
}

void TMainForm::ShowPointerValues(const TPointerValues& values) {
    DevOffsetStart->SetValue(values.deviceStart);
    DevOffsetEnd->SetValue(values.deviceEnd);
    BuffOffsetStart->SetValue(values.bufferStart);
    BuffOffsetEnd->SetValue(values.bufferEnd);
}

void TMainForm::SetPointersEnable(bool enabled) {
    for (QWidget* w : {static_cast<QWidget*>(DevOffsetStart), static_cast<QWidget*>(DevOffsetEnd),
                       static_cast<QWidget*>(BuffOffsetStart), static_cast<QWidget*>(BuffOffsetEnd)})
        w->setEnabled(enabled);
    for (QLabel* label : PointerLabels) label->setEnabled(enabled);
}

void TMainForm::SetEnable(bool enabled) {
    for (QWidget* w : {centralWidget(), static_cast<QWidget*>(LogBox)}) {
        if (enabled) {
            w->unsetCursor();
        } else {
            w->setCursor(Qt::WaitCursor);
        }
    }
    // Disabling the panels' parent keeps what each panel itself is set to (which depends on the
    // selected device) for the moment the lock ends.
    ControlArea->setEnabled(enabled);
    LogBox->setEnabled(enabled);
    // The programmer's own commands too: they would call into the programmer library while a
    // device library is using it.
    for (QMenu* menu : {FileMenu, DeviceMenu, ProgrammerMenu, LogMenu, HelpMenu}) menu->setEnabled(enabled);
    if (BufferEditor) BufferEditor->SetLocked(!enabled);
    if (enabled && closeRequested_ && !startingUp_ && !startupPending_) EndApplication();
}

void TMainForm::SetCloseEnabled(bool enabled) {
    closeEnabled_ = enabled;
}

void TMainForm::ShowDeviceChecksum(std::uint32_t value) {
    DeviceChecksum->SetValue(value);
}

void TMainForm::RefreshBufferEditor() {
    if (BufferEditor && BufferEditor->IsShown()) BufferEditor->Refresh();
}

void TMainForm::BufferEndChanged(std::uint32_t bufferEnd) {
    if (BufferEditor && BufferEditor->IsShown()) BufferEditor->FollowBufferEnd(bufferEnd);
}

bool TMainForm::WriteSerialNumber() {
    return OnWriteSerialNumber && OnWriteSerialNumber();
}

QPushButton* TMainForm::CommandButton(const char* name, const char* caption, QWidget* parent) {
    auto* button = new TCommandButton(ToQString(caption), parent);
    button->setObjectName(ToQString(name));
    return button;
}

void TMainForm::BuildPanels() {
    auto* area = new QHBoxLayout(ControlArea);
    area->setContentsMargins(0, 0, 0, 0);

    QWidget* functionPanel = nullptr;
    QVBoxLayout* functions = MakePanel(functionPanel, "FunctionPanel", ControlArea);
    QVBoxLayout* selectLayout = MakePanel(DeviceSelectPanel, "DeviceSelectPanel", functionPanel);
    DevSelectBtn = CommandButton("DevSelectBtn", "Device", DeviceSelectPanel);
    selectLayout->addWidget(DevSelectBtn);
    connect(DevSelectBtn, &QPushButton::clicked, this, [this] { SelectDeviceBtnClick(); });

    QVBoxLayout* operations = MakePanel(OperationPanel, "OperationPanel", functionPanel);
    EraseButton = CommandButton("EraseButton", "Erase", OperationPanel);
    BlankCheckButton = CommandButton("BlankCheckButton", "Blank Check", OperationPanel);
    ProgramButton = CommandButton("ProgramButton", "Program", OperationPanel);
    VerifyButton = CommandButton("VerifyButton", "Verify", OperationPanel);
    ReadButton = CommandButton("ReadButton", "Read", OperationPanel);
    for (QPushButton* b : {EraseButton, BlankCheckButton, ProgramButton, VerifyButton, ReadButton})
        operations->addWidget(b);
    connect(EraseButton, &QPushButton::clicked, this, [this] { EraseButtonClick(); });
    connect(BlankCheckButton, &QPushButton::clicked, this, [this] { BlankCheckButtonClick(); });
    connect(ProgramButton, &QPushButton::clicked, this, [this] { ProgramButtonClick(); });
    connect(VerifyButton, &QPushButton::clicked, this, [this] { VerifyButtonClick(); });
    connect(ReadButton, &QPushButton::clicked, this, [this] { ReadButtonClick(); });

    MakePanel(MiscFunctionPanel, "MiscFunctionPanel", functionPanel);
    functions->addWidget(DeviceSelectPanel);
    functions->addWidget(OperationPanel);
    functions->addWidget(MiscFunctionPanel);
    functions->addStretch(1);

    QVBoxLayout* right = MakePanel(PointerPanel, "PointerPanel", ControlArea);
    auto* pointers = new QGridLayout;
    const char* const names[] = {"DevOffsetStart", "DevOffsetEnd", "BuffOffsetStart", "BuffOffsetEnd"};
    const char* const captions[] = {"Device Start", "Device End", "Buffer Start", "Buffer End"};
    const TPointerField fields[] = {TPointerField::DeviceStart, TPointerField::DeviceEnd, TPointerField::BufferStart,
                                    TPointerField::BufferEnd};
    THexEdit** edits[] = {&DevOffsetStart, &DevOffsetEnd, &BuffOffsetStart, &BuffOffsetEnd};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(QString::fromLatin1(captions[i]), PointerPanel);
        auto* edit = new THexEdit(PointerPanel);
        edit->setObjectName(QString::fromLatin1(names[i]));
        label->setBuddy(edit);
        PointerLabels[static_cast<std::size_t>(i)] = label;
        *edits[i] = edit;
        pointers->addWidget(label, i / 2 * 2, i % 2);
        pointers->addWidget(edit, i / 2 * 2 + 1, i % 2);
        const TPointerField field = fields[i];
        connect(edit, &THexEdit::Left, this, [this, field](std::uint32_t value) { PointerLeft(field, value); });
    }
    right->addLayout(pointers);

    ChecksumPanel = new QWidget(PointerPanel);
    ChecksumPanel->setObjectName(QStringLiteral("ChecksumPanel"));
    auto* checksums = new QGridLayout(ChecksumPanel);
    checksums->setContentsMargins(0, 0, 0, 0);
    BufferChecksum = new THexEdit(ChecksumPanel);
    BufferChecksum->setObjectName(QStringLiteral("BufferChecksum"));
    BufferChecksum->setReadOnly(true);
    BufferChecksumButton = CommandButton("BufferChecksumButton", "Buffer", ChecksumPanel);
    DeviceChecksum = new THexEdit(ChecksumPanel);
    DeviceChecksum->setObjectName(QStringLiteral("DeviceChecksum"));
    DeviceChecksum->setReadOnly(true);
    DeviceChecksumButton = CommandButton("DeviceChecksumButton", "Device", ChecksumPanel);
    checksums->addWidget(new QLabel(QStringLiteral("Checksum"), ChecksumPanel), 0, 0, 1, 2);
    checksums->addWidget(BufferChecksum, 1, 0);
    checksums->addWidget(BufferChecksumButton, 1, 1);
    checksums->addWidget(DeviceChecksum, 2, 0);
    checksums->addWidget(DeviceChecksumButton, 2, 1);
    connect(BufferChecksumButton, &QPushButton::clicked, this, [this] { BufferChecksumButtonClick(); });
    connect(DeviceChecksumButton, &QPushButton::clicked, this, [this] { DeviceChecksumButtonClick(); });
    right->addWidget(ChecksumPanel);

    QVBoxLayout* splits = MakePanel(SplitsPanel, "SplitsPanel", PointerPanel);
    SplitsButton = CommandButton("SplitsButton", "Splits and Sets", SplitsPanel);
    splits->addWidget(SplitsButton);
    connect(SplitsButton, &QPushButton::clicked, this, [this] { SplitsButtonClick(); });
    right->addWidget(SplitsPanel);

    auto* modules = new QGridLayout;
    SocketModule = new QLineEdit(PointerPanel);
    SocketModule->setObjectName(QStringLiteral("SocketModule"));
    FamilyModule = new QLineEdit(PointerPanel);
    FamilyModule->setObjectName(QStringLiteral("FamilyModule"));
    for (QLineEdit* module : {SocketModule, FamilyModule}) module->setReadOnly(true);
    modules->addWidget(new QLabel(QStringLiteral("Socket Module"), PointerPanel), 0, 0);
    modules->addWidget(SocketModule, 0, 1);
    modules->addWidget(new QLabel(QStringLiteral("Family Module"), PointerPanel), 1, 0);
    modules->addWidget(FamilyModule, 1, 1);
    right->addLayout(modules);
    right->addStretch(1);

    area->addWidget(functionPanel);
    area->addStretch(1);
    area->addWidget(PointerPanel);
}

void TMainForm::BuildDeviceMenu() {
    auto add = [this](const char* name, const char* caption, const char* shortcut, auto handler) {
        auto* item = new QAction(QString::fromLatin1(caption), this);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(QKeySequence(QString::fromLatin1(shortcut)));
        connect(item, &QAction::triggered, this, handler);
        DeviceMenu->addAction(item);
        return item;
    };
    SelectItem = add("Select1", "Select", "Ctrl+D", [this] { SelectDeviceBtnClick(); });
    ReselectItem = add("Reselect1", "Reselect", "Ctrl+A", [this] { Reselect1Click(); });
    DeviceMenu->addSeparator();
    ChecksumItem = add("Checksum1", "Checksum", "Ctrl+C", [this] { DeviceChecksumButtonClick(); });
    EraseItem = add("Erase1", "Erase", "Ctrl+E", [this] { EraseButtonClick(); });
    BlankCheckItem = add("BlankCheck1", "Blank Check", "Ctrl+B", [this] { BlankCheckButtonClick(); });
    ProgramItem = add("Program1", "Program", "Ctrl+P", [this] { ProgramButtonClick(); });
    VerifyItem = add("Verify1", "Verify", "Ctrl+V", [this] { VerifyButtonClick(); });
    ReadItem = add("Read1", "Read", "Ctrl+R", [this] { ReadButtonClick(); });
    DeviceMenu->addSeparator();
    DeviceDependentItems.push_back(ReselectItem);
}

void TMainForm::EndApplication() {
    // The window may still be on its way to the screen; it closes as soon as events run, which
    // ends the message loop and stores the session.
    ending_ = true;
    closeRequested_ = false;
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void TMainForm::ShowAuxMenu(TProgDLL& host) {
    std::vector<TAuxMenuItem> items;
    ProgrammerMenu->clear();
    if (!host.BuildAuxMenu(&items)) return;
    TProgDLL* library = &host;
    for (const TAuxMenuItem& item : items) {
        QAction* action = ProgrammerMenu->addAction(ToQString(item.caption));
        const int command = item.command;
        connect(action, &QAction::triggered, this, [library, command] {
            if (command > 0) library->AuxCommand(command);
        });
    }
    ProgrammerMenu->menuAction()->setVisible(true);
}

void TMainForm::ReleaseLibraries() {
    if (ProgLib) {
        ProgrammerMenu->clear();
        ProgrammerMenu->menuAction()->setVisible(false);
    }
    Operations.ReleaseLibraries();
}

void TMainForm::wheelEvent(QWheelEvent* event) {
    LogBox->ScrollLines(event->angleDelta().y() <= 0 ? 1 : -1);
    event->accept();
}

void TMainForm::RestorePosition() {
    const QSize size = DesktopSize();
    const FormPlacement current{FormName, x(), y(), width(), height(), true};
    const FormPlacement placed = GlobalConfig->RestoreFormPosition(current, size.width(), size.height());
    move(placed.left, placed.top);
    resize(placed.width, placed.height);
}

void TMainForm::StorePosition() {
    // A maximised or minimised window keeps the placement it will return to.
    const QRect normal = windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen)
                             ? normalGeometry()
                             : QRect(pos(), size());
    GlobalConfig->SaveFormPosition({FormName, normal.x(), normal.y(), normal.width(), normal.height(), true});
}

void TMainForm::DetachLogView() {
    if (GlobalLog && &GlobalLog->Lines() == static_cast<TLogLines*>(LogBox)) GlobalLog->AttachDisplay(nullptr);
}
