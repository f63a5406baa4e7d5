#pragma once

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <QSize>
#include <QTimer>
#include <QWidget>

// The three skinned windows share one look and three mechanisms, all here:
//
//   * the skin: one background picture painted under every control; pixels of exactly
//     SkinColourKey (magenta) become holes in the window once it is revealed;
//   * the off-screen start and the reveal tick: a window loads out of sight, and 50 ms after
//     armReveal() its mask is cut from the skin and it is centred on its screen;
//   * the surface drag: a left press on the bare surface (not on a child control) moves the
//     window with the pointer; every pointer movement over the bare surface then runs
//     surfaceMouseMove(), where a window resets its hover feedback.
//
// Use from a dialog:
//     class frmOptions : public SkinnedWindow {
//         frmOptions() { setSkin(PaintOptionsSkin()); /* controls */ placeOffScreen();
//                        armReveal(); }
//     protected:
//         void surfaceMouseMove() override { /* hotspots back to rest */ }
//     };
// SkinnedWindow is a frameless QWidget; a modal dialog gives it Qt::Dialog with
// setWindowFlag(Qt::Dialog) and setWindowModality(Qt::ApplicationModal), or runs a local loop.

// Colour of the transparent parts of a skin.
inline constexpr QRgb SkinColourKey = 0xFFFF00FF;

// Layout arithmetic of the twips-based designs: the windows are designed at 15 twips per pixel.
namespace layout {
inline constexpr int DesignTwipsPerPixel = 15;

// twips × twipsPerPixel / 15, the product formed first (integer division, as a position is whole).
int ScaleTwips(int twips, int twipsPerPixel);
// A font size scaled by the horizontal factor (sizes keep their fraction).
double ScaleFontSize(double size, int twipsPerPixel);
// Design twips to the pixels they cover at the given twips per pixel.
int TwipsToPixels(int twips, int twipsPerPixel);
// Twips per pixel for a screen of the given logical dots per inch (96 dpi gives 15).
int TwipsPerPixelForDpi(double dotsPerInch);
// Where a window waits before its reveal: wholly above and left of the screen.
QPoint OffScreenPosition(QSize windowSize);
// Round to the nearest whole number, an exact half to the even neighbour.
int RoundHalfEven(double value);
// Top-left corner that centres a window of windowSize in the area (rounded half to even).
QPoint CentredPosition(const QRect& area, QSize windowSize);
} // namespace layout

// The region of a skin that is drawn: every pixel that is not exactly the colour key.
QRegion SkinMask(const QImage& skin);

class SkinnedWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RevealIntervalMs = 50;

    explicit SkinnedWindow(QWidget* parent = nullptr);

    // The background picture; the window takes its size.
    void setSkin(const QPixmap& skin);
    const QPixmap& skin() const { return m_skin; }

    // First placement step of a load: out of sight until the reveal.
    void placeOffScreen();
    // (Re)arms the one-shot reveal tick; each tick re-applies the mask and centres the window.
    void armReveal();
    QTimer& revealTimer() { return m_revealTimer; }
    // Runs the reveal at once (what the timer's tick does).
    void reveal();
    bool isRevealed() const { return m_revealed; }
    int revealCount() const { return m_revealCount; }

signals:
    void revealedNow();

protected:
    // Pointer moved over the bare surface (after any drag has ended): reset hover feedback here.
    virtual void surfaceMouseMove() {}

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QPixmap m_skin;
    QTimer m_revealTimer;
    bool m_revealed = false;
    int m_revealCount = 0;
};
