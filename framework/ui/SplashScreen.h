#pragma once
#include <QWidget>
#include <array>

#include "core/Statusstack.h"

class QLabel;
class QProgressBar;

// The window shown while the programmer is looked for at start-up: the edition's picture, the
// start-up step of the status stack and a bar for its position. It stays on top of other windows
// unless the program runs in debug mode.
class TSplashScreen : public QWidget, public TStatusListener {
    Q_OBJECT
public:
    static constexpr int FormWidth = 547;
    static constexpr int FormHeight = 191;

    TSplashScreen();
    ~TSplashScreen() override;

    // A start-up step: the text in the status line, the code (0 to 100) as the bar's position.
    void StatusChanged(int code, const std::string& text, const void* caller) override;

    QLabel* Background = nullptr;
    QLabel* StatusLine = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QWidget* LogoPanel = nullptr;
    QLabel* KestraSplashImage = nullptr;
    QLabel* BolvaneSplashImage = nullptr;
    QLabel* TormexSplashImage = nullptr;
    QLabel* OrlanSplashImage = nullptr;

    // The picture of the running edition among the four.
    QLabel* EditionImage() const;

    // The splash window while it is on the screen, else null. The dialogs of the start-up belong
    // to it: a window manager keeps a window that stays on top above every other window but its
    // own dialogs.
    static TSplashScreen* Shown();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void StopListening();
    bool listening_ = false;
    static TSplashScreen* shown_;
};

// The pictures, drawn for each edition ("KESTRA", "BOLVANE", "TORMEX", anything else).
QPixmap SplashBackground();
QPixmap SplashPicture(const QString& editionId, const QSize& size);
