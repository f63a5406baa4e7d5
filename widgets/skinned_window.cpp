#include "widgets/skinned_window.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <cmath>

namespace layout {

int ScaleTwips(int twips, int twipsPerPixel)
{
    return static_cast<int>(static_cast<long long>(twips) * twipsPerPixel / DesignTwipsPerPixel);
}

double ScaleFontSize(double size, int twipsPerPixel)
{
    return size * twipsPerPixel / DesignTwipsPerPixel;
}

int TwipsToPixels(int twips, int twipsPerPixel)
{
    return twipsPerPixel > 0 ? RoundHalfEven(static_cast<double>(twips) / twipsPerPixel) : 0;
}

int TwipsPerPixelForDpi(double dotsPerInch)
{
    if (dotsPerInch <= 0)
        return DesignTwipsPerPixel;
    return std::max(1, static_cast<int>(std::lround(1440.0 / dotsPerInch)));
}

QPoint OffScreenPosition(QSize windowSize)
{
    return {-windowSize.width() - 100, -windowSize.height() - 100};
}

int RoundHalfEven(double value)
{
    return static_cast<int>(std::nearbyint(value)); // the default rounding mode is to even
}

QPoint CentredPosition(const QRect& area, QSize windowSize)
{
    return {area.left() + RoundHalfEven((area.width() - windowSize.width()) / 2.0),
            area.top() + RoundHalfEven((area.height() - windowSize.height()) / 2.0)};
}

} // namespace layout

QRegion SkinMask(const QImage& skin)
{
    const QImage image = skin.convertToFormat(QImage::Format_RGB32);
    QRegion region;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int x = 0;
        while (x < image.width()) {
            while (x < image.width() && (line[x] | 0xFF000000) == SkinColourKey)
                ++x;
            const int start = x;
            while (x < image.width() && (line[x] | 0xFF000000) != SkinColourKey)
                ++x;
            if (x > start)
                region += QRect(start, y, x - start, 1);
        }
    }
    return region;
}

SkinnedWindow::SkinnedWindow(QWidget* parent) : QWidget(parent)
{
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::Window);
    setMouseTracking(true);
    m_revealTimer.setSingleShot(true);
    m_revealTimer.setInterval(RevealIntervalMs);
    connect(&m_revealTimer, &QTimer::timeout, this, &SkinnedWindow::reveal);
}

void SkinnedWindow::setSkin(const QPixmap& skin)
{
    m_skin = skin;
    setFixedSize(skin.deviceIndependentSize().toSize());
    update();
}

void SkinnedWindow::placeOffScreen()
{
    move(layout::OffScreenPosition(size()));
}

void SkinnedWindow::armReveal()
{
    m_revealTimer.start();
}

void SkinnedWindow::reveal()
{
    m_revealTimer.stop();
    if (!m_skin.isNull())
        setMask(SkinMask(m_skin.toImage()));
    QScreen* target = screen() ? screen() : QGuiApplication::primaryScreen();
    if (target)
        move(layout::CentredPosition(target->geometry(), size()));
    m_revealed = true;
    ++m_revealCount;
    emit revealedNow();
}

void SkinnedWindow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_skin);
}

void SkinnedWindow::mousePressEvent(QMouseEvent* event)
{
    // The window has no title bar: its bare surface is the handle the user drags it by.
    if (event->button() == Qt::LeftButton && windowHandle())
        windowHandle()->startSystemMove();
    QWidget::mousePressEvent(event);
}

void SkinnedWindow::mouseMoveEvent(QMouseEvent* event)
{
    surfaceMouseMove();
    QWidget::mouseMoveEvent(event);
}
