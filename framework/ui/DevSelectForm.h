#pragma once
#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "plugins/DeviceSelect.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// The device selection dialog: the device type drop-down, the manufacturer and device fields with
// completion while typing, and the lists of manufacturers, devices, packages, pin counts and
// widths, each narrowed by the choices to its left. The selection itself, and the state the
// dialog shows, is Selection.
class TDevSelectForm : public QDialog {
    Q_OBJECT
public:
    TDevSelectForm();
    ~TDevSelectForm() override;

    void Action1Execute();

    TDeviceSelection Selection;

    QWidget* Panel = nullptr;
    QComboBox* DeviceTypes = nullptr;
    QLineEdit* Manufacturer = nullptr;
    QLineEdit* Device = nullptr;
    QListWidget* ManuListBox = nullptr;
    QListWidget* DeviceListBox = nullptr;
    QListWidget* Packages = nullptr;
    QListWidget* Pincounts = nullptr;
    QListWidget* Widths = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* MakeList(const char* name, TDeviceSelection::ListId id);
    // Brings every control up to the selection's state (only lists whose items changed are refilled).
    void ShowState();
    void ShowList(TDeviceSelection::ListId id);
    void ShowField(QLineEdit* edit, const TDeviceSelection::Field& field);

    std::array<QWidget*, TDeviceSelection::ListCount> controls_{};
    std::array<std::vector<std::string>, TDeviceSelection::ListCount> shown_{};
};
