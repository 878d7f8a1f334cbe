#include <QLabel>
#include <QProgressBar>

#include "FormsFixture.h"
#include "branding/Edition.h"
#include "core/Globals.h"
#include "core/Statusstack.h"
#include "ui/SplashScreen.h"

namespace {

class SplashScreenTest : public FormsFixture {};

TEST_F(SplashScreenTest, ShowsTheStartUpStepsOfTheStatusStackWhileShown) {
    TSplashScreen splash;
    EXPECT_EQ(splash.size(), QSize(547, 191));
    EXPECT_EQ(splash.cursor().shape(), Qt::WaitCursor);
    EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(splash.StatusLine->text(), "Idle");   // told the top line when it starts listening

    splash.show();
    int visible = 0;
    for (QLabel* image : {splash.KestraSplashImage, splash.BolvaneSplashImage, splash.TormexSplashImage,
                          splash.OrlanSplashImage}) {
        visible += image->isVisible() ? 1 : 0;
        EXPECT_FALSE(image->pixmap().isNull());
    }
    EXPECT_EQ(visible, 1);
    EXPECT_TRUE(splash.EditionImage()->isVisible());
    EXPECT_EQ(splash.StatusLine->palette().color(QPalette::Window),
              splash.Background->pixmap().toImage().pixelColor(50, 50));

    int owner = 0;
    GlobalStatusStack->PushStatus("40##Scanning programmer libraries", &owner);
    EXPECT_EQ(splash.StatusLine->text(), "Scanning programmer libraries");
    EXPECT_EQ(splash.ProgressBar->value(), 40);
    GlobalStatusStack->PushStatus("250##Almost", &owner);
    EXPECT_EQ(splash.ProgressBar->value(), 100);

    splash.hide();
    GlobalStatusStack->PushStatus("after hiding", &owner);
    EXPECT_EQ(splash.StatusLine->text(), "Almost");
    GlobalStatusStack->PopStatus(&owner);
}

TEST_F(SplashScreenTest, EachEditionHasItsOwnPicture) {
    const QSize size(200, 80);
    const QImage kestra = SplashPicture("KESTRA", size).toImage();
    const QImage bolvane = SplashPicture("BOLVANE", size).toImage();
    const QImage tormex = SplashPicture("TORMEX", size).toImage();
    const QImage other = SplashPicture("ACME", size).toImage();
    EXPECT_EQ(kestra.size(), size);
    EXPECT_NE(kestra, bolvane);
    EXPECT_NE(bolvane, tormex);
    EXPECT_NE(tormex, other);
    EXPECT_EQ(other, SplashPicture("", size).toImage());
}

class SplashDebugTest : public FormsFixture {
protected:
    bool AutoStart() const override { return false; }
};

TEST_F(SplashDebugTest, InDebugModeOtherWindowsMayCoverIt) {
    sessionLines.push_back("Global.Debug=TRUE");
    StartForms();
    TSplashScreen splash;
    EXPECT_FALSE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
}

}  // namespace
