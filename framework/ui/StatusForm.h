#pragma once
#include <QWidget>

#include "core/Statusstack.h"

class QLabel;
class QProgressBar;
class QPushButton;

// The progress box: shows the progress box model while a library or the framework runs a long
// operation, and reports "Abort" to it.
class TStatusForm : public QWidget, public TProgressView {
    Q_OBJECT
public:
    explicit TStatusForm(TProgressBox& model = ProgressBox());
    ~TStatusForm() override;

    void ProgressChanged(const TProgressState& state) override;

    QLabel* FunctionLabel = nullptr;
    QLabel* ProgressLabel = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QPushButton* AbortButton = nullptr;
    // Takes the keyboard focus so that "Abort" never holds it; lies outside the visible area.
    QWidget* FocusHolder = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void AbortButtonPress();
    void FormShow();
    void FormHide();

    TProgressBox& model_;
    bool applying_ = false;
};
