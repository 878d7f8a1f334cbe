#include "ui/MainForm.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <filesystem>
#include <system_error>

#include "branding/Edition.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/Logger.h"
#include "plugins/DevDLL.h"
#include "plugins/ProgDLL.h"
#include "ui/DevSelectForm.h"
#include "ui/Forms.h"
#include "ui/LogView.h"
#include "ui/ProgScanForm.h"
#include "ui/QtText.h"

namespace {

const char* const FormName = "MainForm";
constexpr int LibraryDebugLevel = 5;   // "Device Debug" and above: shown in debug mode only

std::string TempFolder() {
    std::error_code error;
    const auto folder = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : folder.string();
}

}  // namespace

TMainForm::TMainForm() {
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

    UpdateCaption();
    if (GlobalLog) GlobalLog->AttachDisplay(LogBox);
    if (GlobalConfig) RestorePosition();
    UpdateLogLevelItems();
    UpdateLogFileItem();
    if (GlobalLog) GlobalLog->Log(ProductName + " - v" + FrameworkVersion, -1);
}

TMainForm::~TMainForm() {
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
    }
    LogBox->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LogBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { LogPopupMenu->popup(LogBox->viewport()->mapToGlobal(pos)); });
}

void TMainForm::StatusChanged(int /*code*/, const std::string& text, const void* /*caller*/) {
    MainStatusBar->setText(ToQString(text));
}

void TMainForm::UpdateCaption() {
    const std::string title = ProductName;
    const std::string caption = ProductName + " - v" + FrameworkVersion;
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
    if (!event->spontaneous()) FormShow();
}

void TMainForm::hideEvent(QHideEvent* event) {
    QMainWindow::hideEvent(event);
    if (!event->spontaneous()) FormHide();
}

void TMainForm::FormShow() {
    if (StartLibrariesOnShow) StartLibraries();
    if (GlobalConfig) RestorePosition();
    UpdateCaption();
    UpdateLogLevelItems();
    if (GlobalStatusStack && !listening_) {
        GlobalStatusStack->AddStatusListener(this);
        listening_ = true;
    }
}

void TMainForm::FormHide() {
    if (listening_ && GlobalStatusStack) GlobalStatusStack->RemoveStatusListener(this);
    listening_ = false;
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Closing in the middle of the first showing would pull the window away under its own start-up;
    // it closes once the start-up is done.
    if (startingUp_) {
        closeRequested_ = true;
        event->ignore();
        return;
    }
    if (FormClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool TMainForm::FormClose() {
    // A running command disables the "&File" menu; the window must not close under it.
    if (!FileMenu->isEnabled()) return false;
    if (GlobalConfig) StorePosition();
    DetachLogView();
    ReleaseLibraries();
    return true;
}

bool TMainForm::StartLibraries() {
    if (ending_ || startingUp_) return false;
    startingUp_ = true;
    if (!started_ && ProgScanForm) {
        ProgScanForm->Search.ShowAuxMenu = [this](TProgDLL& host) { ShowAuxMenu(host); };
        if (ProgScanForm->StartProgrammer(this)) {
            ProgLib = ProgScanForm->Search.TakeProgrammer();
            started_ = true;
        } else {
            EndApplication();
        }
    }
    if (started_ && DevSelectForm && !DevSelectForm->Selection.DeviceSelected()) RunDeviceSelection();
    startingUp_ = false;
    if (closeRequested_) EndApplication();
    return started_;
}

bool TMainForm::RunDeviceSelection() {
    if (!DevSelectForm) return false;
    TDeviceSelection& selection = DevSelectForm->Selection;
    selection.SetProgrammer(ProgLib.get());
    const bool selected = selection.ChooseDevice();
    UpdateCaption();
    return selected;
}

void TMainForm::EndApplication() {
    // The window may still be on its way to the screen; it closes as soon as events run, which
    // ends the message loop and stores the session.
    ending_ = true;
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
    delete GlobalDevDLL;
    GlobalDevDLL = nullptr;
    if (ProgLib) {
        ProgrammerMenu->clear();
        ProgrammerMenu->menuAction()->setVisible(false);
        ProgLib->TurnOff();
        ProgLib.reset();
    }
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
