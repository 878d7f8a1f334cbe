#include "ui/SplashScreen.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>

#include "branding/Edition.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "ui/QtText.h"

namespace {

constexpr int Margin = 12;
constexpr int LogoHeight = 118;
constexpr int StatusHeight = 20;

struct EditionLook {
    const char* id;
    QColor from;
    QColor to;
    QColor ink;
    const char* title;
    const char* line;
};

const EditionLook Looks[] = {
    {"KESTRA", QColor(0x0B, 0x2E, 0x59), QColor(0x3A, 0x7C, 0xC4), QColor(0xF2, 0xF6, 0xFB), "TOLQ",
     "Flash Memory Tools"},
    {"BOLVANE", QColor(0x4A, 0x12, 0x12), QColor(0xB3, 0x3B, 0x2A), QColor(0xFF, 0xF1, 0xE0), "Bolvane",
     "Device Programming Equipment"},
    {"TORMEX", QColor(0x10, 0x3B, 0x2B), QColor(0x2E, 0x8B, 0x57), QColor(0xEE, 0xFF, 0xF4), "TORMEX",
     "Electronica - Universal Programmers"},
    {"", QColor(0x2B, 0x2B, 0x36), QColor(0x7A, 0x5C, 0xA8), QColor(0xF5, 0xF0, 0xFF), "kov",
     "Universal Device Programmer"},
};

const EditionLook& LookFor(const QString& editionId) {
    for (const EditionLook& look : Looks) {
        if (editionId == QLatin1String(look.id)) return look;
    }
    return Looks[3];
}

}  // namespace

QPixmap SplashBackground() {
    QPixmap picture(TSplashScreen::FormWidth, TSplashScreen::FormHeight);
    QPainter painter(&picture);
    QLinearGradient shade(0, 0, 0, TSplashScreen::FormHeight);
    shade.setColorAt(0, QColor(0xE8, 0xEC, 0xF1));
    shade.setColorAt(1, QColor(0xC4, 0xCC, 0xD6));
    painter.fillRect(picture.rect(), shade);
    painter.setPen(QColor(0x9A, 0xA4, 0xB0));
    painter.drawRect(picture.rect().adjusted(0, 0, -1, -1));
    return picture;
}

QPixmap SplashPicture(const QString& editionId, const QSize& size) {
    const EditionLook& look = LookFor(editionId);
    QPixmap picture(size);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient shade(0, 0, size.width(), size.height());
    shade.setColorAt(0, look.from);
    shade.setColorAt(1, look.to);
    painter.fillRect(picture.rect(), shade);

    // A chip in its socket: the product's mark.
    const int chipHeight = size.height() * 2 / 3;
    const QRect chip(size.height() / 6, (size.height() - chipHeight) / 2, chipHeight * 2 / 3, chipHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.ink);
    for (int pin = 0; pin < 6; ++pin) {
        const int y = chip.top() + 6 + pin * (chip.height() - 12) / 5 - 2;
        painter.drawRect(chip.left() - 6, y, 6, 4);
        painter.drawRect(chip.right() + 1, y, 6, 4);
    }
    painter.setBrush(look.from.darker(140));
    painter.setPen(QPen(look.ink, 2));
    painter.drawRoundedRect(chip, 4, 4);
    painter.drawEllipse(QPoint(chip.center().x(), chip.top() + 8), 3, 3);

    QFont title = painter.font();
    title.setPixelSize(size.height() * 2 / 5);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(look.ink);
    const int textLeft = chip.right() + size.height() / 4;
    painter.drawText(QRect(textLeft, 0, size.width() - textLeft, size.height() * 3 / 5),
                     Qt::AlignLeft | Qt::AlignBottom, QLatin1String(look.title));
    QFont line = title;
    line.setPixelSize(std::max(10, size.height() / 8));
    line.setBold(false);
    painter.setFont(line);
    painter.drawText(QRect(textLeft, size.height() * 3 / 5, size.width() - textLeft, size.height() * 2 / 5),
                     Qt::AlignLeft | Qt::AlignTop, QLatin1String(look.line));
    return picture;
}

TSplashScreen::TSplashScreen() {
    setObjectName(QStringLiteral("SplashScreen"));
    Qt::WindowFlags flags = Qt::SplashScreen | Qt::FramelessWindowHint;
    if (!DebugMode) flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFixedSize(FormWidth, FormHeight);
    setCursor(Qt::WaitCursor);

    Background = new QLabel(this);
    Background->setObjectName(QStringLiteral("Background"));
    Background->setGeometry(0, 0, FormWidth, FormHeight);
    Background->setPixmap(SplashBackground());

    LogoPanel = new QWidget(this);
    LogoPanel->setObjectName(QStringLiteral("LogoPanel"));
    LogoPanel->setGeometry(Margin, Margin, FormWidth - 2 * Margin, LogoHeight);
    const QSize logo = LogoPanel->size();
    auto picture = [&](const char* name, const char* edition) {
        auto* label = new QLabel(LogoPanel);
        label->setObjectName(QLatin1String(name));
        label->setGeometry(QRect(QPoint(0, 0), logo));
        label->setPixmap(SplashPicture(QLatin1String(edition), logo));
        label->hide();
        return label;
    };
    KestraSplashImage = picture("KestraSplashImage", "KESTRA");
    BolvaneSplashImage = picture("BolvaneSplashImage", "BOLVANE");
    TormexSplashImage = picture("TormexSplashImage", "TORMEX");
    OrlanSplashImage = picture("OrlanSplashImage", "");

    StatusLine = new QLabel(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setGeometry(Margin, Margin + LogoHeight + 6, FormWidth - 2 * Margin, StatusHeight);
    ProgressBar = new QProgressBar(this);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setRange(0, 100);
    ProgressBar->setTextVisible(false);
    ProgressBar->setGeometry(Margin, FormHeight - Margin - 14, FormWidth - 2 * Margin, 14);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    if (GlobalStatusStack) {
        listening_ = true;
        GlobalStatusStack->AddStatusListener(this);
    }
}

TSplashScreen* TSplashScreen::shown_ = nullptr;

TSplashScreen* TSplashScreen::Shown() {
    return shown_;
}

TSplashScreen::~TSplashScreen() {
    if (shown_ == this) shown_ = nullptr;
    StopListening();
}

QLabel* TSplashScreen::EditionImage() const {
    if (EditionId == "KESTRA") return KestraSplashImage;
    if (EditionId == "BOLVANE") return BolvaneSplashImage;
    if (EditionId == "TORMEX") return TormexSplashImage;
    return OrlanSplashImage;
}

void TSplashScreen::StatusChanged(int code, const std::string& text, const void* /*caller*/) {
    StatusLine->setText(ToQString(text));
    ProgressBar->setValue(std::clamp(code, 0, 100));
    StatusLine->repaint();
    // Keeps the splash painted while start-up work runs on this thread.
    Dialogs().ProcessEvents();
}

void TSplashScreen::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    shown_ = this;
    for (QLabel* image : {KestraSplashImage, BolvaneSplashImage, TormexSplashImage, OrlanSplashImage}) image->hide();
    EditionImage()->show();
    QPalette palette = StatusLine->palette();
    palette.setColor(QPalette::Window, Background->pixmap().toImage().pixelColor(50, 50));
    StatusLine->setAutoFillBackground(true);
    StatusLine->setPalette(palette);
    Dialogs().ProcessEvents();
}

void TSplashScreen::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (shown_ == this) shown_ = nullptr;
    StopListening();
}

void TSplashScreen::StopListening() {
    if (listening_ && GlobalStatusStack) GlobalStatusStack->RemoveStatusListener(this);
    listening_ = false;
}
