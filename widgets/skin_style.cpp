#include "widgets/skin_style.h"

#include "widgets/skinned_window.h"

#include <QLinearGradient>
#include <QPainterPath>

namespace skin {

namespace {
constexpr qreal CornerRadius = 9;
}

QFont Font(int pixelSize, bool bold)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

QPixmap WindowBase(QSize size, int titleHeight, const QString& title, TitleIcon icon)
{
    QPixmap base(size);
    base.fill(QColor::fromRgb(SkinColourKey));
    QPainter painter(&base);
    // The outline is drawn without anti-aliasing: a blended edge pixel would be neither the key
    // colour (a hole) nor the body colour, and would show as a pink fringe.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(0, 0, size.width(), size.height()), CornerRadius, CornerRadius);
    painter.fillPath(outline, colour::BodyEdge);
    QPainterPath inner;
    inner.addRoundedRect(QRectF(1, 1, size.width() - 2, size.height() - 2), CornerRadius - 1,
                         CornerRadius - 1);
    painter.fillPath(inner, colour::Body);

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.save();
    painter.setClipPath(inner);
    QLinearGradient title_fill(0, 0, 0, titleHeight);
    title_fill.setColorAt(0, colour::TitleTop);
    title_fill.setColorAt(1, colour::TitleBottom);
    painter.fillRect(QRectF(0, 0, size.width(), titleHeight), title_fill);
    painter.fillRect(QRectF(0, titleHeight - 1, size.width(), 1), colour::Accent);
    painter.restore();

    const qreal emblem = titleHeight - 10;
    if (icon == TitleIcon::CheckMark)
        PaintCheckIcon(painter, QRectF(8, 5, emblem, emblem));
    else
        PaintEmblem(painter, QRectF(8, 5, emblem, emblem));
    painter.setPen(colour::TitleText);
    painter.setFont(Font(13, true));
    painter.drawText(QRectF(14 + emblem, 0, size.width() / 2.0, titleHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, title);
    return base;
}

void PaintEmblem(QPainter& painter, const QRectF& square)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient disc(square.center() - QPointF(square.width() / 5, square.height() / 5),
                         square.width());
    disc.setColorAt(0, QColor(120, 230, 205));
    disc.setColorAt(1, colour::Accent);
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1));
    painter.setBrush(disc);
    painter.drawEllipse(square);
    // Five bars of a level meter, the middle one highest.
    const qreal unit = square.width() / 11;
    const qreal heights[] = {0.30, 0.55, 0.80, 0.55, 0.30};
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    for (int i = 0; i < 5; ++i) {
        const qreal h = square.height() * heights[i];
        painter.drawRoundedRect(QRectF(square.left() + unit * (1.5 + i * 1.7),
                                       square.center().y() - h / 2, unit * 1.1, h),
                                unit * 0.5, unit * 0.5);
    }
    painter.restore();
}

void PaintCheckIcon(QPainter& painter, const QRectF& box)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour::Go);
    painter.drawEllipse(box);
    painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(box.left() + box.width() * 0.27, box.center().y());
    tick.lineTo(box.left() + box.width() * 0.44, box.top() + box.height() * 0.68);
    tick.lineTo(box.left() + box.width() * 0.74, box.top() + box.height() * 0.32);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tick);
    painter.restore();
}

namespace {

// The round backdrop of a lit title-bar mark.
void MarkBackdrop(QPainter& painter, const QRectF& box, Face face, const QColor& lit)
{
    if (face == Face::Rest)
        return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(face == Face::Pressed ? lit.darker(130) : lit);
    painter.drawEllipse(box.adjusted(-0.5, -0.5, 0.5, 0.5));
}

QColor MarkColour(Face face)
{
    return face == Face::Rest ? QColor(206, 236, 230) : QColor(255, 255, 255);
}

} // namespace

void PaintHelpMark(QPainter& painter, const QRectF& box, Face face)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    MarkBackdrop(painter, box, face, colour::Accent);
    painter.setPen(QPen(MarkColour(face), 1.3));
    painter.setBrush(Qt::NoBrush);
    if (face == Face::Rest)
        painter.drawEllipse(box.adjusted(1, 1, -1, -1));
    painter.setFont(Font(static_cast<int>(box.height() * 0.75), true));
    painter.drawText(box, Qt::AlignCenter, QStringLiteral("?"));
    painter.restore();
}

void PaintMinimiseMark(QPainter& painter, const QRectF& box, Face face)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    MarkBackdrop(painter, box, face, colour::Accent);
    painter.setPen(QPen(MarkColour(face), 2, Qt::SolidLine, Qt::RoundCap));
    const qreal y = box.top() + box.height() * 0.68;
    painter.drawLine(QPointF(box.left() + box.width() * 0.25, y),
                     QPointF(box.right() - box.width() * 0.25, y));
    painter.restore();
}

void PaintCloseMark(QPainter& painter, const QRectF& box, Face face)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    MarkBackdrop(painter, box, face, colour::Danger);
    painter.setPen(QPen(MarkColour(face), 1.8, Qt::SolidLine, Qt::RoundCap));
    const QRectF cross = box.adjusted(box.width() * 0.28, box.height() * 0.28,
                                      -box.width() * 0.28, -box.height() * 0.28);
    painter.drawLine(cross.topLeft(), cross.bottomRight());
    painter.drawLine(cross.topRight(), cross.bottomLeft());
    painter.restore();
}

void PaintTextButton(QPainter& painter, const QRectF& box, const QString& caption, Face face,
                     int fontPixelSize)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    switch (face) {
    case Face::Rest:
        fill.setColorAt(0, QColor(255, 255, 255));
        fill.setColorAt(1, QColor(214, 230, 227));
        break;
    case Face::Lit:
        fill.setColorAt(0, QColor(236, 255, 250));
        fill.setColorAt(1, QColor(150, 224, 208));
        break;
    case Face::Pressed:
        fill.setColorAt(0, QColor(96, 168, 156));
        fill.setColorAt(1, QColor(58, 136, 124));
        break;
    }
    painter.setPen(QPen(face == Face::Rest ? colour::PanelBorder.darker(115) : colour::Accent, 1));
    painter.setBrush(fill);
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    painter.setPen(face == Face::Pressed ? QColor(255, 255, 255) : colour::Heading);
    painter.setFont(Font(fontPixelSize, true));
    painter.drawText(box.translated(0, face == Face::Pressed ? 1 : 0), Qt::AlignCenter, caption);
    painter.restore();
}

void PaintDropButton(QPainter& painter, const QRectF& box, Face face)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, face == Face::Rest ? colour::Accent : QColor(90, 214, 192));
    fill.setColorAt(1, face == Face::Rest ? colour::AccentDark : colour::Accent);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(box, 3, 3);
    const QPointF c = box.center();
    const qreal w = box.width() * 0.22;
    QPainterPath chevron;
    chevron.moveTo(c.x() - w, c.y() - w * 0.45);
    chevron.lineTo(c.x(), c.y() + w * 0.6);
    chevron.lineTo(c.x() + w, c.y() - w * 0.45);
    painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(chevron);
    painter.restore();
}

void PaintPanel(QPainter& painter, const QRectF& box)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour::PanelBorder, 1));
    painter.setBrush(colour::Panel);
    painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.restore();
}

namespace {
QString Css(const QColor& colour)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(colour.red()).arg(colour.green()).arg(colour.blue());
}
} // namespace

QString PickerStyleSheet()
{
    return QStringLiteral("QComboBox { border: 1px solid %1; border-radius: 3px; padding-left: 6px;"
                          " background: white; color: %2; font-size: 12px; }"
                          "QComboBox:focus { border-color: %3; }"
                          "QComboBox::drop-down { width: 0px; border: none; }"
                          "QComboBox::down-arrow { image: none; width: 0px; }"
                          "QComboBox QAbstractItemView { selection-background-color: %3;"
                          " selection-color: white; }")
        .arg(Css(colour::FieldBorder), Css(colour::Text), Css(colour::Accent));
}

QString TextBoxStyleSheet(int horizontalPadding)
{
    return QStringLiteral("QLineEdit { border: 1px solid %1; border-radius: 3px; padding: 0 %2px;"
                          " background: white; color: %3; }"
                          "QLineEdit:focus { border-color: %4; }"
                          "QLineEdit:disabled { background: %5; color: %6; }")
        .arg(Css(colour::FieldBorder))
        .arg(horizontalPadding)
        .arg(Css(colour::Text), Css(colour::Accent), Css(colour::Band), Css(colour::Muted));
}

QString TextColourStyle(const QColor& colour)
{
    return QStringLiteral("color: %1;").arg(Css(colour));
}

} // namespace skin
