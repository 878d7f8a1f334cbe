#include "ui/StatusForm.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/Config.h"
#include "core/Globals.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"
#include "ui/QtText.h"

namespace {
const char* const FormName = "StatusForm";
}

TStatusForm::TStatusForm(TProgressBox& model)
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      model_(model) {
    setObjectName(QString::fromLatin1(FormName));
    // Only the main window ends the program when it closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    setCursor(Qt::BusyCursor);

    FunctionLabel = new QLabel(this);
    FunctionLabel->setObjectName(QStringLiteral("FunctionLabel"));
    ProgressLabel = new QLabel(this);
    ProgressLabel->setObjectName(QStringLiteral("ProgressLabel"));
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    AbortButton = new QPushButton(QStringLiteral("Abort"), this);
    AbortButton->setObjectName(QStringLiteral("AbortButton"));
    // Return must never abort an operation: the button is no default button.
    AbortButton->setAutoDefault(false);
    AbortButton->setDefault(false);
    AbortButton->setFocusPolicy(Qt::NoFocus);
    // The press already counts, so an abort is seen by the next progress update.
    connect(AbortButton, &QPushButton::pressed, this, [this] { AbortButtonPress(); });
    connect(AbortButton, &QPushButton::clicked, this, [this] { AbortButtonPress(); });

    FocusHolder = new QWidget(this);
    FocusHolder->setObjectName(QStringLiteral("FocusHolder"));
    FocusHolder->setFocusPolicy(Qt::StrongFocus);
    FocusHolder->setGeometry(-20, -20, 8, 8);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(AbortButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FunctionLabel);
    layout->addWidget(ProgressBar);
    layout->addWidget(ProgressLabel);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    ProgressChanged(model_.State());
    model_.SetView(this);
}

TStatusForm::~TStatusForm() {
    model_.SetView(nullptr);
}

void TStatusForm::ProgressChanged(const TProgressState& state) {
    if (applying_) return;
    applying_ = true;
    setWindowTitle(ToQString(state.title));
    FunctionLabel->setText(ToQString(state.functionText));
    ProgressLabel->setText(ToQString(state.progressText));
    ProgressBar->setValue(std::clamp(state.position, 0, 100));
    ProgressBar->setVisible(state.barVisible);
    ProgressLabel->setVisible(!state.barVisible);
    AbortButton->setEnabled(state.abortEnabled);
    if (state.visible != isVisible()) setVisible(state.visible);
    if (state.visible) FocusHolder->setFocus(Qt::OtherFocusReason);
    applying_ = false;
}

void TStatusForm::AbortButtonPress() {
    if (AbortButton->isEnabled()) model_.Abort();
}

void TStatusForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TStatusForm::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous()) FormHide();
}

void TStatusForm::FormShow() {
    model_.ClearCancelled();
    model_.ClearAbortRequested();
    move(200, 250);
    if (GlobalConfig) {
        const QSize screen = DesktopSize();
        const FormPlacement current{FormName, x(), y(), width(), height(), false};
        const FormPlacement placed = GlobalConfig->RestoreFormPosition(current, screen.width(), screen.height());
        move(placed.left, placed.top);
    }
}

void TStatusForm::FormHide() {
    if (MainForm && MainForm->isMinimized()) MainForm->showNormal();
    if (GlobalConfig) GlobalConfig->SaveFormPosition({FormName, x(), y(), width(), height(), false});
}

void TStatusForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        AbortButtonPress();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TStatusForm::closeEvent(QCloseEvent* event) {
    // The box has no close button; only the operation that opened it hides it.
    event->ignore();
}
