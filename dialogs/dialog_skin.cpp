#include "dialogs/dialog_skin.h"

#include "widgets/skinned_window.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace dialogskin {
namespace {

// The palette of the small dialogs: a blue title bar over a dark slate body, white texts.
const QColor Frame(0x16, 0x22, 0x30);
const QColor TitleTop(0x4a, 0x7f, 0xb8);
const QColor TitleBottom(0x2a, 0x4f, 0x7c);
const QColor BodyTop(0x2c, 0x3a, 0x4b);
const QColor BodyBottom(0x1f, 0x29, 0x36);
const QColor Text(0xff, 0xff, 0xff);
const QColor DimText(0xb8, 0xc7, 0xd6);
const QColor Separator(0x3e, 0x50, 0x66);
constexpr int TitleHeight = 28;
constexpr int CornerRadius = 7;

QFont SkinFont(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void PaintIcon(QPainter& painter, TitleIcon icon, const QRect& box)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x1b, 0x3a, 0x5c), 1.0));
    painter.setBrush(QColor(0xf2, 0xb1, 0x34));
    painter.drawEllipse(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setPen(QPen(Text, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const QPointF origin = box.topLeft();
    if (icon == TitleIcon::CheckMark) {
        QPainterPath tick;
        tick.moveTo(origin + QPointF(3.5, 7.5));
        tick.lineTo(origin + QPointF(6.0, 10.5));
        tick.lineTo(origin + QPointF(11.0, 4.0));
        painter.drawPath(tick);
    } else {
        // A quaver: the product's note.
        painter.setBrush(Text);
        painter.drawEllipse(QRectF(origin + QPointF(3.5, 8.5), QSizeF(3.5, 2.8)));
        painter.drawLine(origin + QPointF(7.0, 9.5), origin + QPointF(7.0, 3.0));
        painter.drawLine(origin + QPointF(7.0, 3.0), origin + QPointF(10.5, 5.0));
    }
    painter.restore();
}

void PaintButtonFace(QPainter& painter, const QRect& box, const QString& caption, bool lit)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0.0, lit ? QColor(0x86, 0xb9, 0xee) : QColor(0x55, 0x8b, 0xc6));
    fill.setColorAt(1.0, lit ? QColor(0x4f, 0x8b, 0xcc) : QColor(0x2c, 0x5a, 0x8c));
    painter.setPen(QPen(lit ? QColor(0xd5, 0xe8, 0xfb) : QColor(0x12, 0x2c, 0x48), 1.0));
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    painter.setPen(Text);
    painter.setFont(SkinFont(11, true));
    painter.drawText(box, Qt::AlignCenter, caption);
    painter.restore();
}

void PaintCloseFace(QPainter& painter, const QRect& box, bool lit)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (lit) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xd9, 0x4f, 0x4a));
        painter.drawRoundedRect(QRectF(box), 3, 3);
    }
    painter.setPen(QPen(lit ? Text : QColor(0xdd, 0xe6, 0xf0), 1.8, Qt::SolidLine, Qt::RoundCap));
    const QRectF cross = QRectF(box).adjusted(4, 4, -4, -4);
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.topRight(), cross.bottomLeft());
    painter.restore();
}

void PaintDropFace(QPainter& painter, const QRect& box, bool lit)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0.0, lit ? QColor(0x86, 0xb9, 0xee) : QColor(0x55, 0x8b, 0xc6));
    fill.setColorAt(1.0, lit ? QColor(0x4f, 0x8b, 0xcc) : QColor(0x2c, 0x5a, 0x8c));
    painter.setPen(QPen(QColor(0x12, 0x2c, 0x48), 1.0));
    painter.setBrush(fill);
    painter.drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
    const QPointF centre = QRectF(box).center();
    QPainterPath arrow;
    arrow.moveTo(centre + QPointF(-4.0, -2.0));
    arrow.lineTo(centre + QPointF(4.0, -2.0));
    arrow.lineTo(centre + QPointF(0.0, 3.0));
    arrow.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Text);
    painter.drawPath(arrow);
    painter.restore();
}

QPixmap PaintAlone(QSize size, const auto& paint)
{
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    paint(painter, QRect(QPoint(0, 0), size));
    return picture;
}

} // namespace

QPixmap PaintBackground(const Layout& layout)
{
    const int height = layout.height;
    QImage image(Width, height, QImage::Format_RGB32);
    image.fill(QColor::fromRgb(SkinColourKey));
    QPainter painter(&image);

    // The window outline: corners left magenta become transparent once the window is revealed.
    // Drawn without antialiasing so no blended, almost-magenta pixel survives at the corners.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, Width, height), CornerRadius, CornerRadius);
    QLinearGradient body(0, TitleHeight, 0, height);
    body.setColorAt(0.0, BodyTop);
    body.setColorAt(1.0, BodyBottom);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Frame);
    painter.drawPath(outline);
    painter.setClipPath(outline);
    painter.fillRect(QRect(1, TitleHeight, Width - 2, height - TitleHeight - 1), body);
    QLinearGradient title(0, 1, 0, TitleHeight);
    title.setColorAt(0.0, TitleTop);
    title.setColorAt(1.0, TitleBottom);
    painter.fillRect(QRect(1, 1, Width - 2, TitleHeight - 1), title);
    painter.setClipping(false);
    painter.setPen(Separator);
    painter.drawLine(1, TitleHeight, Width - 2, TitleHeight);

    PaintIcon(painter, layout.icon, QRect(9, 7, 14, 14));
    painter.setPen(Text);
    painter.setFont(SkinFont(12, true));
    painter.drawText(QRect(29, 1, 200, TitleHeight - 1), Qt::AlignLeft | Qt::AlignVCenter,
                     layout.title);
    PaintCloseFace(painter, layout.closeMark, false);

    for (const Caption& caption : layout.captions) {
        painter.setPen(caption.dim ? DimText : Text);
        painter.setFont(SkinFont(11, false));
        painter.drawText(caption.box, Qt::AlignLeft | Qt::AlignVCenter, caption.text);
    }
    PaintButtonFace(painter, LeftButton, layout.leftButton, false);
    PaintButtonFace(painter, RightButton, layout.rightButton, false);
    painter.end();
    return QPixmap::fromImage(image);
}

QPixmap PaintButton(const QString& caption, QSize size, bool lit)
{
    return PaintAlone(size, [&](QPainter& painter, const QRect& box) {
        PaintButtonFace(painter, box, caption, lit);
    });
}

QPixmap PaintCloseMark(QSize size, bool lit)
{
    return PaintAlone(size, [&](QPainter& painter, const QRect& box) {
        PaintCloseFace(painter, box, lit);
    });
}

QPixmap PaintDropButton(QSize size, bool lit)
{
    return PaintAlone(size, [&](QPainter& painter, const QRect& box) {
        PaintDropFace(painter, box, lit);
    });
}

} // namespace dialogskin
