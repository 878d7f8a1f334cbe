#pragma once
#include <QDialog>

#include "plugins/ProgrammerSearch.h"

class QComboBox;
class QLabel;
class QPushButton;

// The search dialog ("Device programmer search"): programmer model, interface and parallel port
// address, with OK (look for the programmer), Demo, Cancel and Help. The search itself, and the
// state the dialog shows, is Search.
class TProgScanForm : public QDialog {
    Q_OBJECT
public:
    TProgScanForm();
    ~TProgScanForm() override;

    // The start-up search with the splash window: the last programmer, else the dialog until a
    // programmer answers, the demo is chosen or the user cancels. `statusOwner` owns the start-up
    // status lines (the main window).
    bool StartProgrammer(const void* statusOwner);

    void ProgrammerComboBoxChange(int index);
    void InterfaceComboBoxChange(int index);
    void ProgrammerSearchButtonClick();
    void DemoButtonClick();
    void HelpButtonClick();

    TProgrammerSearch Search;

    QLabel* Explanation = nullptr;
    QComboBox* ProgrammerComboBox = nullptr;
    QComboBox* InterfaceComboBox = nullptr;
    QComboBox* PortAddressComboBox = nullptr;
    QPushButton* ProgrammerSearchButton = nullptr;
    QPushButton* DemoButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* HelpButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    TProgrammerSearch::Choice RunDialog();
    void FormShow();
    void ShowState();

    TProgrammerSearch::Choice choice_ = TProgrammerSearch::ChoiceCancel;
};
