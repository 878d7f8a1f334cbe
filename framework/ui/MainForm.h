#pragma once
#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "core/Statusstack.h"
#include "main/DeviceOperations.h"

class QAction;
class QActionGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QVBoxLayout;
class TDeviceSelection;
class THexEdit;
class TLogView;
class TProgDLL;

// What the main window asks of the buffer editor window.
class TBufferEditorLink {
public:
    virtual ~TBufferEditorLink() = default;
    virtual bool IsShown() const = 0;
    virtual void ShowEditor(bool show) = 0;
    // Repaints the views (after the buffer changed).
    virtual void Refresh() = 0;
    // The buffer end moved: a view beyond it moves to it.
    virtual void FollowBufferEnd(std::uint32_t bufferEnd) = 0;
    // Locked and unlocked with the main window.
    virtual void SetLocked(bool locked) = 0;
};

// The main window: the log view with its menus, the status bar, and the frame the device
// commands, file commands and panels live in.
class TMainForm : public QMainWindow, public TStatusListener, public TOperationHost {
    Q_OBJECT
public:
    TMainForm();
    ~TMainForm() override;

    // The device operations behind the commands (also the owner of the programmer library host).
    TDeviceOperations Operations;

    // The status bar shows the top line of the status stack while the window is shown.
    void StatusChanged(int code, const std::string& text, const void* caller) override;

    // Window caption and application title.
    void UpdateCaption();

    // The log menu and the log view's pop-up menu share these commands.
    void LogLevel1Click(QAction* item);
    void SendLogFile1Click();
    void CloseLogFile1Click();
    void CopyLogtoClipboard1Click();
    void ClearLog1Click();
    // The libraries at the first showing: the programmer (the search dialog when the remembered one
    // does not answer), then the device. False when no programmer was found: the program ends.
    bool StartLibraries();
    // The device selection: the remembered device, else the selection dialog; then the window
    // shows the new device, or falls back to the no-device state when the old one was dropped.
    bool RunDeviceSelection();
    // "Select" / the "Device" button: the selection, then the splits counts go to the session.
    void SelectDeviceBtnClick();
    // Selects the remembered device again without the dialog.
    void Reselect1Click();
    // Caption, pointers, command availability, extra functions, module names.
    void RefreshDeviceDisplay();
    void UpdateOperationButtons();
    void RemoveMiscFunctions();
    void BuildMiscFunctions();
    void RunMiscFunction(int tag, const QString& caption);
    void ByteSwapButtonClick();

    // The device commands; each ends with the focus on its own button.
    void ReadButtonClick();
    void BlankCheckButtonClick();
    void VerifyButtonClick();
    void ProgramButtonClick();
    void EraseButtonClick();
    void DeviceChecksumButtonClick();
    void BufferChecksumButtonClick();
    void SplitsButtonClick();

    // Lock (false) or unlock (true) the window around a long action.
    void SetEnable(bool enabled) override;
    void SetPointersEnable(bool enabled);
    void ApplySplitsToGeometry();
    void UpdateSplitsCaption();
    // Hands the four pointer fields' values to the geometry as if the user had left each of them.
    void ReapplyDevicePointers();
    void ShowPointers();
    bool CloseEnabled() const { return closeEnabled_; }

    // The buffer editor window, once there is one (not owned).
    TBufferEditorLink* BufferEditor = nullptr;
    // Writes the serial number into the buffer; true when that changed the buffer.
    std::function<bool()> OnWriteSerialNumber;
    // Menu items that need a selected device ("Reselect"; the file commands add theirs).
    std::vector<QAction*> DeviceDependentItems;
    // The programmer library's auxiliary commands in the "Programmer" menu (debug mode).
    void ShowAuxMenu(TProgDLL& host);
    bool Started() const { return started_; }
    // Whether the first showing starts the libraries. Form tests that are about other things show
    // the window without them.
    bool StartLibrariesOnShow = true;
    // The programmer library host, from start-up until the window closes (held by Operations).
    std::unique_ptr<TProgDLL>& ProgLib = Operations.ProgLib;

    // Ticks the item of the logger's level; shows the library-debug levels in debug mode only.
    void UpdateLogLevelItems();
    // Caption and state of "Close log file" follow the logger's open log file.
    void UpdateLogFileItem();

    QWidget* ControlArea = nullptr;   // the command and pointer panels, above the log view
    // Left: the function panel.
    QWidget* DeviceSelectPanel = nullptr;
    QPushButton* DevSelectBtn = nullptr;
    QWidget* OperationPanel = nullptr;
    QPushButton* EraseButton = nullptr;
    QPushButton* BlankCheckButton = nullptr;
    QPushButton* ProgramButton = nullptr;
    QPushButton* VerifyButton = nullptr;
    QPushButton* ReadButton = nullptr;
    QWidget* MiscFunctionPanel = nullptr;
    std::vector<QPushButton*> MiscButtons;   // the byte-swap button (tag 0) first when offered
    // Right: the pointer panel.
    QWidget* PointerPanel = nullptr;
    THexEdit* DevOffsetStart = nullptr;
    THexEdit* DevOffsetEnd = nullptr;
    THexEdit* BuffOffsetStart = nullptr;
    THexEdit* BuffOffsetEnd = nullptr;
    std::array<QLabel*, 4> PointerLabels{};
    QWidget* ChecksumPanel = nullptr;
    THexEdit* BufferChecksum = nullptr;
    QPushButton* BufferChecksumButton = nullptr;
    THexEdit* DeviceChecksum = nullptr;
    QPushButton* DeviceChecksumButton = nullptr;
    QWidget* SplitsPanel = nullptr;
    QPushButton* SplitsButton = nullptr;
    QLineEdit* SocketModule = nullptr;
    QLineEdit* FamilyModule = nullptr;
    TLogView* LogBox = nullptr;
    QLabel* FileStatusPanel = nullptr;
    QLabel* MainStatusBar = nullptr;

    QMenu* FileMenu = nullptr;
    QMenu* DeviceMenu = nullptr;
    QMenu* ProgrammerMenu = nullptr;   // hidden until a programmer library offers one
    QMenu* LogMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QMenu* LogPopupMenu = nullptr;

    // Level items by level 0 ("Severe") to 7 ("Framework Debug"); each item's data is its tag
    // (level + 1).
    std::array<QAction*, 8> LogLevelItems{};
    QAction* CopyLogItem = nullptr;
    QAction* SendLogItem = nullptr;
    QAction* CloseLogItem = nullptr;
    QAction* ClearLogItem = nullptr;

    // "&Device" menu.
    QAction* SelectItem = nullptr;
    QAction* ReselectItem = nullptr;
    QAction* ChecksumItem = nullptr;
    QAction* EraseItem = nullptr;
    QAction* BlankCheckItem = nullptr;
    QAction* ProgramItem = nullptr;
    QAction* VerifyItem = nullptr;
    QAction* ReadItem = nullptr;
    std::vector<QAction*> MiscItems;

    // Showing the window for the first time starts the libraries once the window is on the screen.
    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

    // TOperationHost
    void SetCloseEnabled(bool enabled) override;
    void ShowDeviceChecksum(std::uint32_t value) override;
    void RefreshBufferEditor() override;
    void BufferEndChanged(std::uint32_t bufferEnd) override;
    bool WriteSerialNumber() override;
    void SplitsEnabled(bool valid) override;

private:
    void BuildPanels();
    void BuildDeviceMenu();
    QPushButton* CommandButton(const char* name, const char* caption, QWidget* parent);
    void RunCommand(TDeviceCommand command, QPushButton* button);
    void PointerLeft(TPointerField field, std::uint32_t value);
    void ShowPointerValues(const TPointerValues& values);
    void ShowModuleNames();
    void NoDeviceState();
    void ApplySessionSplits();
    TDeviceSelection* Selection();
    void BuildMenus();
    void FormShow();
    void FormHide();
    void WaitUntilOnScreen();
    bool FormClose();
    void RestorePosition();
    void StorePosition();
    void DetachLogView();

    void EndApplication();
    void ReleaseLibraries();

    QActionGroup* levelGroup_ = nullptr;
    bool listening_ = false;
    bool started_ = false;
    bool ending_ = false;
    bool startingUp_ = false;
    bool startupPending_ = false;
    bool closeRequested_ = false;
    bool closeEnabled_ = true;
};
