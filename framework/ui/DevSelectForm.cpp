#include "ui/DevSelectForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/Application.h"
#include "ui/QtText.h"

using Sel = TDeviceSelection;

TDevSelectForm::TDevSelectForm() {
    setObjectName(QStringLiteral("DevSelectForm"));
    setWindowTitle(QStringLiteral("Select Device"));
    setModal(true);

    Panel = new QWidget(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    DeviceTypes = new QComboBox(Panel);
    DeviceTypes->setObjectName(QStringLiteral("DeviceTypes"));
    controls_[Sel::DeviceTypes] = DeviceTypes;
    Manufacturer = new QLineEdit(Panel);
    Manufacturer->setObjectName(QStringLiteral("Manufacturer"));
    Device = new QLineEdit(Panel);
    Device->setObjectName(QStringLiteral("Device"));
    ManuListBox = MakeList("ManuListBox", Sel::ManuListBox);
    DeviceListBox = MakeList("DeviceListBox", Sel::DeviceListBox);
    Packages = MakeList("Packages", Sel::Packages);
    Pincounts = MakeList("Pincounts", Sel::Pincounts);
    Widths = MakeList("Widths", Sel::Widths);
    OkButton = new QPushButton(QStringLiteral("OK"), Panel);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), Panel);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Device Types"), Panel), 0, 0);
    grid->addWidget(DeviceTypes, 0, 1, 1, 4);
    grid->addWidget(new QLabel(QStringLiteral("Manufacturer"), Panel), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Device"), Panel), 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Package"), Panel), 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Pins"), Panel), 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Width"), Panel), 1, 4);
    grid->addWidget(Manufacturer, 2, 0);
    grid->addWidget(Device, 2, 1);
    grid->addWidget(ManuListBox, 3, 0);
    grid->addWidget(DeviceListBox, 3, 1);
    grid->addWidget(Packages, 2, 2, 2, 1);
    grid->addWidget(Pincounts, 2, 3, 2, 1);
    grid->addWidget(Widths, 2, 4, 2, 1);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 3);
    grid->setColumnStretch(2, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnStretch(4, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);
    auto* panelLayout = new QVBoxLayout(Panel);
    panelLayout->addLayout(grid, 1);
    panelLayout->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Panel);
    resize(720, 420);

    connect(DeviceTypes, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        Selection.ChooseItem(Sel::DeviceTypes, index);
        ShowState();
    });
    connect(Manufacturer, &QLineEdit::textEdited, this, [this](const QString& text) {
        Selection.ManufacturerChange(FromQString(text));
        ShowState();
    });
    connect(Device, &QLineEdit::textEdited, this, [this](const QString& text) {
        Selection.DeviceChange(FromQString(text));
        ShowState();
    });
    Manufacturer->installEventFilter(this);
    Device->installEventFilter(this);
    connect(OkButton, &QPushButton::clicked, this, [this] { Action1Execute(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);

    Selection.RunDialog = [this] { return !TerminationRequested() && exec() == QDialog::Accepted; };
}

TDevSelectForm::~TDevSelectForm() = default;

QListWidget* TDevSelectForm::MakeList(const char* name, TDeviceSelection::ListId id) {
    auto* list = new QListWidget(Panel);
    list->setObjectName(QLatin1String(name));
    list->setUniformItemSizes(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    controls_[static_cast<std::size_t>(id)] = list;
    connect(list, &QListWidget::currentRowChanged, this, [this, id](int row) {
        Selection.ChooseItem(id, row);
        ShowState();
    });
    if (id != Sel::ManuListBox) {
        connect(list, &QListWidget::itemDoubleClicked, this, [this] { Action1Execute(); });
    }
    return list;
}

void TDevSelectForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return;
    Selection.FormShow();
    ShowState();
    Manufacturer->setFocus();
}

void TDevSelectForm::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (!event->spontaneous()) Selection.FormHide();
}

bool TDevSelectForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == Manufacturer || watched == Device)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        Selection.KeyPressed(FromQString(key->text()));
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            Selection.ArrowKey(watched == Manufacturer ? Sel::ManuListBox : Sel::DeviceListBox,
                               key->key() == Qt::Key_Up ? Sel::KeyUp : Sel::KeyDown);
            ShowState();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TDevSelectForm::Action1Execute() {
    Panel->setEnabled(false);
    const bool selected = Selection.Action1Execute();
    Panel->setEnabled(true);
    ShowState();
    if (selected) accept();
}

void TDevSelectForm::ShowState() {
    for (int id = 0; id < Sel::ListCount; ++id) ShowList(static_cast<Sel::ListId>(id));
    ShowField(Manufacturer, Selection.Manufacturer());
    ShowField(Device, Selection.Device());
}

void TDevSelectForm::ShowList(TDeviceSelection::ListId id) {
    const auto index = static_cast<std::size_t>(id);
    const TDeviceSelection::List& list = Selection.GetList(id);
    QWidget* control = controls_[index];
    const QSignalBlocker block(control);
    const bool refill = shown_[index] != list.items;
    if (refill) shown_[index] = list.items;
    if (auto* box = qobject_cast<QComboBox*>(control)) {
        if (refill) {
            box->clear();
            for (const auto& item : list.items) box->addItem(ToQString(item));
        }
        box->setCurrentIndex(list.selected);
        return;
    }
    auto* widget = static_cast<QListWidget*>(control);
    if (refill) {
        widget->clear();
        QStringList items;
        items.reserve(static_cast<qsizetype>(list.items.size()));
        for (const auto& item : list.items) items << ToQString(item);
        widget->addItems(items);
    }
    if (list.selected < 0) {
        widget->setCurrentItem(nullptr);
        widget->clearSelection();
    } else if (widget->currentRow() != list.selected) {
        widget->setCurrentRow(list.selected);
        widget->scrollToItem(widget->item(list.selected));
    }
}

void TDevSelectForm::ShowField(QLineEdit* edit, const TDeviceSelection::Field& field) {
    const QString text = ToQString(field.text);
    const QSignalBlocker block(edit);
    if (edit->text() != text) edit->setText(text);
    if (field.selectionLength > 0) edit->setSelection(field.selectionStart, field.selectionLength);
}
