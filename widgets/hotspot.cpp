#include "widgets/hotspot.h"

#include <QBitmap>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

Hotspot::Hotspot(QWidget* parent, int index) : QWidget(parent), m_index(index)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
}

void Hotspot::setPicture(const QPixmap& picture)
{
    if (picture.cacheKey() == m_picture.cacheKey() && picture.isNull() == m_picture.isNull())
        return;
    m_picture = picture;
    update();
}

void Hotspot::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(rect(), m_picture);
}

void Hotspot::mouseMoveEvent(QMouseEvent* event)
{
    emit hovered(m_index);
    event->accept();
}

void Hotspot::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressInside = true;
    emit pressed(m_index);
    event->accept();
}

void Hotspot::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasPressed = m_pressInside;
    m_pressInside = false;
    if (event->button() == Qt::LeftButton && wasPressed && isEnabled() &&
        rect().contains(event->position().toPoint()))
        emit clicked(m_index);
    event->accept();
}

HotLabel::HotLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_NoMousePropagation);
}

void HotLabel::mouseMoveEvent(QMouseEvent* event)
{
    emit hovered();
    event->accept();
}

void HotLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressInside = event->button() == Qt::LeftButton;
    event->accept();
}

void HotLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool wasPressed = m_pressInside;
    m_pressInside = false;
    if (event->button() == Qt::LeftButton && wasPressed && isEnabled() &&
        rect().contains(event->position().toPoint()))
        emit clicked();
    event->accept();
}

namespace {

// The hand outline, drawn in a 32 × 32 cell: an upright index finger whose tip is at (6, 0),
// three folded fingers and the thumb to its right.
QPainterPath HandOutline()
{
    QPainterPath path;
    path.moveTo(4.5, 2.5);
    path.cubicTo(4.5, 0.5, 8.5, 0.5, 8.5, 2.5); // fingertip
    path.lineTo(8.5, 11.5);
    path.cubicTo(8.5, 9.5, 12.5, 9.5, 12.5, 11.5); // second finger
    path.cubicTo(12.5, 10.0, 16.5, 10.0, 16.5, 12.5); // third finger
    path.cubicTo(16.5, 11.0, 20.5, 11.0, 20.5, 13.5); // little finger
    path.lineTo(20.5, 21.5);
    path.cubicTo(20.5, 25.0, 18.5, 27.5, 17.5, 28.5);
    path.lineTo(7.5, 28.5);
    path.lineTo(1.5, 19.5);
    path.cubicTo(0.5, 17.5, 3.0, 15.5, 4.5, 17.5); // thumb
    path.closeSubpath();
    return path;
}

} // namespace

QCursor HandCursor()
{
    // Monochrome: the bitmap chooses black or white, the mask where the pointer is drawn at all.
    QBitmap shape(32, 32);
    QBitmap mask(32, 32);
    shape.fill(Qt::color0);
    mask.fill(Qt::color0);
    const QPainterPath outline = HandOutline();
    {
        QPainter painter(&mask);
        painter.setPen(QPen(Qt::color1, 2.0));
        painter.setBrush(Qt::color1);
        painter.drawPath(outline);
    }
    {
        QPainter painter(&shape);
        painter.setPen(QPen(Qt::color1, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(outline);
        painter.drawLine(QPointF(12.5, 12.5), QPointF(12.5, 17.5));
        painter.drawLine(QPointF(16.5, 13.5), QPointF(16.5, 17.5));
    }
    return QCursor(shape, mask, 6, 0);
}
