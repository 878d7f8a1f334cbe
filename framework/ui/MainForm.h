#pragma once
#include <QMainWindow>
#include <array>
#include <memory>

#include "core/Statusstack.h"

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class TLogView;
class TProgDLL;

// The main window: the log view with its menus, the status bar, and the frame the device
// commands, file commands and panels live in.
class TMainForm : public QMainWindow, public TStatusListener {
    Q_OBJECT
public:
    TMainForm();
    ~TMainForm() override;

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
    // The device selection: the remembered device, else the selection dialog.
    bool RunDeviceSelection();
    // The programmer library's auxiliary commands in the "Programmer" menu (debug mode).
    void ShowAuxMenu(TProgDLL& host);
    bool Started() const { return started_; }
    // Whether the first showing starts the libraries. Form tests that are about other things show
    // the window without them.
    bool StartLibrariesOnShow = true;
    // The programmer library host, from start-up until the window closes.
    std::unique_ptr<TProgDLL> ProgLib;

    // Ticks the item of the logger's level; shows the library-debug levels in debug mode only.
    void UpdateLogLevelItems();
    // Caption and state of "Close log file" follow the logger's open log file.
    void UpdateLogFileItem();

    QWidget* ControlArea = nullptr;   // the command and pointer panels, above the log view
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

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void BuildMenus();
    void FormShow();
    void FormHide();
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
    bool closeRequested_ = false;
};
