#include "widgets/hotspot.h"
#include "widgets/skinned_window.h"

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace layout;

TEST(WindowScaling, DesignDpiLeavesEverySizeUnchanged)
{
    EXPECT_EQ(TwipsPerPixelForDpi(96), 15);
    EXPECT_EQ(ScaleTwips(7320, 15), 7320);
    EXPECT_EQ(ScaleTwips(285, 15), 285);
    EXPECT_DOUBLE_EQ(ScaleFontSize(9.0, 15), 9.0);
    EXPECT_EQ(TwipsToPixels(7320, 15), 488);
}

TEST(WindowScaling, HigherDpiShrinksTwipsButKeepsPixels)
{
    EXPECT_EQ(TwipsPerPixelForDpi(120), 12);
    EXPECT_EQ(ScaleTwips(10500, 12), 8400);
    // The product is formed before the division: 7 × 12 / 15 = 5, not 7 × 0 = 0.
    EXPECT_EQ(ScaleTwips(7, 12), 5);
    EXPECT_EQ(TwipsToPixels(ScaleTwips(10500, 12), 12), 700);
    // The folder box's font is scaled twice at load: 0.8 × 0.8.
    EXPECT_NEAR(ScaleFontSize(ScaleFontSize(10.0, 12), 12), 6.4, 1e-9);
}

TEST(WindowScaling, OffScreenAndCentredPositions)
{
    EXPECT_EQ(OffScreenPosition({700, 500}), QPoint(-800, -600));
    EXPECT_EQ(CentredPosition({0, 0, 1024, 768}, {700, 500}), QPoint(162, 134));
    // Exact halves go to the even neighbour: 1.5 -> 2, 2.5 -> 2.
    EXPECT_EQ(CentredPosition({0, 0, 703, 505}, {700, 500}), QPoint(2, 2));
    EXPECT_EQ(CentredPosition({100, 50, 1000, 600}, {700, 500}), QPoint(250, 100));
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
}

TEST(SkinMaskTest, MagentaPixelsAreHolesAndNothingElse)
{
    QImage skin(10, 4, QImage::Format_RGB32);
    skin.fill(QColor(20, 76, 72));
    skin.setPixelColor(0, 0, QColor(255, 0, 255));
    skin.setPixelColor(9, 3, QColor(255, 0, 255));
    skin.setPixelColor(5, 1, QColor(254, 0, 255)); // near magenta stays drawn
    const QRegion mask = SkinMask(skin);
    EXPECT_FALSE(mask.contains(QPoint(0, 0)));
    EXPECT_FALSE(mask.contains(QPoint(9, 3)));
    EXPECT_TRUE(mask.contains(QPoint(5, 1)));
    EXPECT_TRUE(mask.contains(QPoint(1, 0)));
    EXPECT_EQ(mask.boundingRect(), QRect(0, 0, 10, 4));
}

TEST(SkinnedWindowTest, RevealCentresAndMasksOnlyAfterTheTick)
{
    QPixmap skin(200, 100);
    skin.fill(QColor(30, 30, 30));
    {
        QPainter painter(&skin);
        painter.fillRect(0, 0, 10, 10, QColor(255, 0, 255));
    }
    SkinnedWindow window;
    window.setSkin(skin);
    window.placeOffScreen();
    EXPECT_EQ(window.pos(), QPoint(-300, -200));
    window.show();
    window.armReveal();
    EXPECT_TRUE(window.mask().isEmpty());
    QSignalSpy spy(&window, &SkinnedWindow::revealedNow);
    ASSERT_TRUE(spy.wait(1000));
    EXPECT_FALSE(window.revealTimer().isActive());
    EXPECT_FALSE(window.mask().contains(QPoint(3, 3)));
    EXPECT_TRUE(window.mask().contains(QPoint(50, 50)));
    const QRect screen = window.screen()->geometry();
    EXPECT_EQ(window.pos(), CentredPosition(screen, window.size()));

    // A window moved elsewhere returns to the centre at the next arming.
    window.move(5, 5);
    window.armReveal();
    ASSERT_TRUE(spy.wait(1000));
    EXPECT_EQ(window.pos(), CentredPosition(screen, window.size()));
    EXPECT_EQ(window.revealCount(), 2);
}

TEST(HandCursorTest, HotSpotAtTheFingertip)
{
    const QCursor cursor = HandCursor();
    EXPECT_EQ(cursor.hotSpot(), QPoint(6, 0));
    ASSERT_FALSE(cursor.bitmap().isNull());
    EXPECT_EQ(cursor.bitmap().size(), QSize(32, 32));
    const QImage mask = cursor.mask().toImage();
    EXPECT_NE(mask.pixelIndex(6, 1), mask.pixelIndex(30, 1)); // fingertip drawn, corner not
}
