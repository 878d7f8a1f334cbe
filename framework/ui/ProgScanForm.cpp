#include "ui/ProgScanForm.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QUrl>
#include <QValidator>
#include <QVBoxLayout>
#include <filesystem>
#include <memory>

#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/MessageCodes.h"
#include "ui/Application.h"
#include "ui/QtText.h"
#include "ui/SplashScreen.h"

namespace {

// The port address takes at most six typed characters; the offered items ("Auto Search") are
// longer and stay whole.
class PortValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& /*pos*/) const override {
        for (const auto& item : TProgrammerSearch::PortItems()) {
            if (input == ToQString(item)) return Acceptable;
        }
        return input.size() <= TProgrammerSearch::PortTextLimit ? Acceptable : Invalid;
    }
};

// Typing over "Auto Search" replaces it.
class SelectAllOnFocus : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            auto* edit = static_cast<QLineEdit*>(watched);
            if (edit->text().size() > TProgrammerSearch::PortTextLimit) {
                QMetaObject::invokeMethod(edit, &QLineEdit::selectAll, Qt::QueuedConnection);
            }
        }
        return false;
    }
};

void ShowItems(QComboBox* box, const std::vector<std::string>& items, int current) {
    const QSignalBlocker block(box);
    QStringList texts;
    for (const auto& item : items) texts << ToQString(item);
    QStringList shown;
    for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
    if (shown != texts) {
        box->clear();
        box->addItems(texts);
    }
    box->setCurrentIndex(current);
}

}  // namespace

TProgScanForm::TProgScanForm() {
    setObjectName(QStringLiteral("ProgScanForm"));
    setWindowTitle(QStringLiteral("Device programmer search"));
    setModal(true);

    ProgrammerComboBox = new QComboBox(this);
    ProgrammerComboBox->setObjectName(QStringLiteral("ProgrammerComboBox"));
    InterfaceComboBox = new QComboBox(this);
    InterfaceComboBox->setObjectName(QStringLiteral("InterfaceComboBox"));
    PortAddressComboBox = new QComboBox(this);
    PortAddressComboBox->setObjectName(QStringLiteral("PortAddressComboBox"));
    PortAddressComboBox->setEditable(true);
    PortAddressComboBox->setInsertPolicy(QComboBox::NoInsert);
    PortAddressComboBox->setValidator(new PortValidator(PortAddressComboBox));
    PortAddressComboBox->lineEdit()->installEventFilter(new SelectAllOnFocus(PortAddressComboBox));
    for (const auto& item : TProgrammerSearch::PortItems()) PortAddressComboBox->addItem(ToQString(item));

    Explanation = new QLabel(this);
    Explanation->setObjectName(QStringLiteral("Explanation"));
    ProgrammerSearchButton = new QPushButton(QStringLiteral("OK"), this);
    ProgrammerSearchButton->setObjectName(QStringLiteral("ProgrammerSearchButton"));
    ProgrammerSearchButton->setDefault(true);
    DemoButton = new QPushButton(QStringLiteral("Demo"), this);
    DemoButton->setObjectName(QStringLiteral("DemoButton"));
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    HelpButton = new QPushButton(QStringLiteral("Help"), this);
    HelpButton->setObjectName(QStringLiteral("HelpButton"));

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Programmer"), ProgrammerComboBox);
    fields->addRow(QStringLiteral("Interface"), InterfaceComboBox);
    fields->addRow(QStringLiteral("Port address"), PortAddressComboBox);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {ProgrammerSearchButton, DemoButton, CancelButton, HelpButton}) buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(Explanation);
    layout->addLayout(buttons);

    connect(ProgrammerComboBox, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { ProgrammerComboBoxChange(index); });
    connect(InterfaceComboBox, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { InterfaceComboBoxChange(index); });
    connect(PortAddressComboBox, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { Search.SetPortText(FromQString(text)); });
    connect(ProgrammerSearchButton, &QPushButton::clicked, this, [this] { ProgrammerSearchButtonClick(); });
    connect(DemoButton, &QPushButton::clicked, this, [this] { DemoButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpButton, &QPushButton::clicked, this, [this] { HelpButtonClick(); });

    Search.RunDialog = [this] { return RunDialog(); };
}

TProgScanForm::~TProgScanForm() = default;

bool TProgScanForm::StartProgrammer(const void* statusOwner) {
    Search.StatusOwner = statusOwner;
    auto splash = std::make_unique<TSplashScreen>();
    splash->show();
    const bool found = Search.StartProgrammer();
    splash.reset();
    return found;
}

TProgrammerSearch::Choice TProgScanForm::RunDialog() {
    choice_ = TProgrammerSearch::ChoiceCancel;
    if (TerminationRequested()) return choice_;
    // In front of the splash window, which stays on top of the others.
    const bool overSplash = TSplashScreen::Shown() != nullptr;
    if (overSplash) setWindowFlag(Qt::WindowStaysOnTopHint, true);
    exec();
    if (overSplash) setWindowFlag(Qt::WindowStaysOnTopHint, false);
    return choice_;
}

void TProgScanForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TProgScanForm::FormShow() {
    Search.FormShow();
    ShowState();
}

void TProgScanForm::ShowState() {
    Explanation->setText(ToQString(Search.ExplanationText()));
    ShowItems(ProgrammerComboBox, Search.Programmers(), Search.ProgrammerIndex());
    ProgrammerComboBox->setEnabled(Search.ProgrammersEnabled());
    ShowItems(InterfaceComboBox, Search.Interfaces(), Search.InterfaceIndex());
    InterfaceComboBox->setEnabled(Search.InterfacesEnabled());
    const QSignalBlocker block(PortAddressComboBox);
    PortAddressComboBox->setEditText(ToQString(Search.PortText()));
    PortAddressComboBox->setEnabled(Search.PortEnabled());
}

void TProgScanForm::ProgrammerComboBoxChange(int index) {
    Search.ChooseProgrammer(index);
    ShowState();
}

void TProgScanForm::InterfaceComboBoxChange(int index) {
    Search.ChooseInterface(index);
    ShowState();
}

void TProgScanForm::ProgrammerSearchButtonClick() {
    Search.SetPortText(FromQString(PortAddressComboBox->currentText()));
    if (!Search.ProgrammerSearchButtonClick()) return;
    choice_ = TProgrammerSearch::ChoiceOk;
    accept();
}

void TProgScanForm::DemoButtonClick() {
    choice_ = TProgrammerSearch::ChoiceDemo;
    accept();
}

void TProgScanForm::HelpButtonClick() {
    const std::string help = HelpFilePath();
    std::error_code error;
    if (!std::filesystem::exists(help, error)) {
        Dialogs().MessageBox("The help file " + help + " was not found.", "Help", MB_OK | MB_ICONWARNING);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(ToQString(help)));
}
