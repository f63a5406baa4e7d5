#include "mainwindow/toolbar_icons.h"

#include "widgets/skin_style.h"

#include <QPainterPath>
#include <QtMath>

using namespace skin;

namespace {

// A sheet of paper with a folded corner.
void Sheet(QPainter& p, const QRectF& s, const QColor& edge)
{
    QPainterPath sheet;
    const QRectF r = s.adjusted(s.width() * 0.18, s.height() * 0.06, -s.width() * 0.22,
                                -s.height() * 0.06);
    const qreal fold = r.width() * 0.32;
    sheet.moveTo(r.topLeft());
    sheet.lineTo(r.right() - fold, r.top());
    sheet.lineTo(r.right(), r.top() + fold);
    sheet.lineTo(r.bottomRight());
    sheet.lineTo(r.bottomLeft());
    sheet.closeSubpath();
    p.setPen(QPen(edge, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.drawLine(QPointF(r.right() - fold, r.top()), QPointF(r.right() - fold, r.top() + fold));
    p.drawLine(QPointF(r.right() - fold, r.top() + fold), QPointF(r.right(), r.top() + fold));
    // Two notes on the sheet.
    p.setPen(Qt::NoPen);
    p.setBrush(edge);
    p.drawEllipse(QPointF(r.left() + r.width() * 0.35, r.top() + r.height() * 0.7), 2.2, 1.8);
    p.drawRect(QRectF(r.left() + r.width() * 0.35 + 1.2, r.top() + r.height() * 0.36, 1.2,
                      r.height() * 0.34));
}

// A round badge with a plus or a minus in the lower right corner.
void Badge(QPainter& p, const QRectF& s, const QColor& fill, bool plus)
{
    const QRectF b(s.right() - s.width() * 0.45, s.bottom() - s.height() * 0.45, s.width() * 0.45,
                   s.height() * 0.45);
    p.setPen(QPen(Qt::white, 1.2));
    p.setBrush(fill);
    p.drawEllipse(b);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    const QPointF c = b.center();
    const qreal h = b.width() * 0.26;
    p.drawLine(QPointF(c.x() - h, c.y()), QPointF(c.x() + h, c.y()));
    if (plus)
        p.drawLine(QPointF(c.x(), c.y() - h), QPointF(c.x(), c.y() + h));
}

void Folder(QPainter& p, const QRectF& s, bool lit)
{
    const QRectF r = s.adjusted(1, s.height() * 0.18, -2, -s.height() * 0.1);
    QPainterPath back;
    back.moveTo(r.left(), r.bottom());
    back.lineTo(r.left(), r.top());
    back.lineTo(r.left() + r.width() * 0.38, r.top());
    back.lineTo(r.left() + r.width() * 0.48, r.top() + r.height() * 0.16);
    back.lineTo(r.right(), r.top() + r.height() * 0.16);
    back.lineTo(r.right(), r.bottom());
    back.closeSubpath();
    const QColor body = lit ? QColor(255, 204, 84) : QColor(236, 178, 58);
    p.setPen(QPen(body.darker(140), 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(body.darker(112));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(r.left(), r.bottom());
    front.lineTo(r.left() + r.width() * 0.12, r.top() + r.height() * 0.34);
    front.lineTo(r.right() + 1, r.top() + r.height() * 0.34);
    front.lineTo(r.right(), r.bottom());
    front.closeSubpath();
    p.setBrush(body);
    p.drawPath(front);
}

void Gear(QPainter& p, const QRectF& s, const QColor& colour)
{
    const QPointF c = s.center();
    const qreal outer = s.width() * 0.46;
    const qreal inner = s.width() * 0.34;
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const qreal angle = i * M_PI * 2 / (teeth * 4);
        const qreal radius = (i % 4 == 1 || i % 4 == 2) ? outer : inner;
        const QPointF point(c.x() + radius * std::cos(angle), c.y() + radius * std::sin(angle));
        if (i == 0)
            gear.moveTo(point);
        else
            gear.lineTo(point);
    }
    gear.closeSubpath();
    gear.addEllipse(c, s.width() * 0.14, s.width() * 0.14);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(colour.darker(130), 1));
    p.setBrush(colour);
    p.drawPath(gear);
}

void HelpDisc(QPainter& p, const QRectF& s, const QColor& colour)
{
    const QRectF d = s.adjusted(2, 2, -2, -2);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(d);
    p.setPen(Qt::white);
    p.setFont(Font(static_cast<int>(d.height() * 0.7), true));
    p.drawText(d, Qt::AlignCenter, QStringLiteral("?"));
}

void Power(QPainter& p, const QRectF& s, const QColor& colour)
{
    const QRectF d = s.adjusted(4, 4, -4, -4);
    p.setPen(QPen(colour, 3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(d, (90 + 35) * 16, (360 - 70) * 16);
    p.drawLine(QPointF(d.center().x(), s.top() + 1), QPointF(d.center().x(), d.center().y()));
}

} // namespace

void PaintToolbarIcon(QPainter& painter, const QRectF& square, int toolbarIndex, bool lit)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor teal = lit ? QColor(30, 176, 156) : colour::Accent;
    switch (toolbarIndex) {
    case 0:
        Sheet(painter, square, colour::AccentDark);
        Badge(painter, square, lit ? colour::Go.lighter(115) : colour::Go, true);
        break;
    case 6:
        Folder(painter, square, lit);
        Badge(painter, square, lit ? colour::Go.lighter(115) : colour::Go, true);
        break;
    case 1:
        Sheet(painter, square, colour::Muted);
        Badge(painter, square, lit ? colour::Danger.lighter(115) : colour::Danger, false);
        break;
    case 2:
        Gear(painter, square, teal);
        break;
    case 3:
        HelpDisc(painter, square, lit ? QColor(64, 140, 230) : QColor(44, 112, 200));
        break;
    case 4:
        Power(painter, square, lit ? colour::Danger.lighter(115) : colour::Danger);
        break;
    default:
        break;
    }
    painter.restore();
}
