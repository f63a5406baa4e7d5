#pragma once

#include <QColor>
#include <QPainter>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QString>

// The one palette and the drawing primitives every skin of Trevalon is painted with, so the main
// window and its dialogs look like one product. Skins are painted by code at start-up.
namespace skin {

// How a painted button looks: at rest (the background), lit (hover) or pressed.
enum class Face { Rest, Lit, Pressed };

namespace colour {
inline const QColor TitleTop{28, 102, 96};
inline const QColor TitleBottom{16, 66, 62};
inline const QColor TitleText{255, 255, 255};
inline const QColor Body{231, 240, 238};
inline const QColor BodyEdge{16, 66, 62};
inline const QColor Band{215, 230, 227};
inline const QColor Panel{250, 252, 252};
inline const QColor PanelBorder{182, 204, 200};
inline const QColor Heading{20, 76, 72};
inline const QColor Text{38, 52, 50};
inline const QColor Muted{98, 122, 118};
inline const QColor Accent{26, 150, 134};
inline const QColor AccentLight{196, 236, 228};
inline const QColor VersionText{180, 235, 225}; // the version label on the title band
inline const QColor AccentDark{14, 96, 86};
inline const QColor Go{46, 170, 72};
inline const QColor Danger{210, 64, 56};
inline const QColor FieldBorder{160, 190, 185};
inline const QColor RowShade{244, 249, 248};
} // namespace colour

// A font of the skins, sized in pixels so the artwork is the same at every screen resolution.
QFont Font(int pixelSize, bool bold = false);

// The small picture at the left of a title bar.
enum class TitleIcon { Emblem, CheckMark };

// A transparent-cornered window face: magenta outside a rounded rectangle, the body colour inside,
// a title bar of titleHeight with the icon and the title text.
QPixmap WindowBase(QSize size, int titleHeight, const QString& title,
                   TitleIcon icon = TitleIcon::Emblem);

// The program's emblem: a teal disc with a sound wave, drawn in the given square.
void PaintEmblem(QPainter& painter, const QRectF& square);
// The feedback mark: a white tick on a green disc.
void PaintCheckIcon(QPainter& painter, const QRectF& box);

// Title-bar marks, drawn in their hotspot's rectangle: "?", minimise, close.
void PaintHelpMark(QPainter& painter, const QRectF& box, Face face);
void PaintMinimiseMark(QPainter& painter, const QRectF& box, Face face);
void PaintCloseMark(QPainter& painter, const QRectF& box, Face face);

// A rounded push button with a caption, the look of every text button of the skins (OK, Back,
// Send, "..."): a raised teal-edged face, brighter when lit, darker when pressed.
void PaintTextButton(QPainter& painter, const QRectF& box, const QString& caption, Face face,
                     int fontPixelSize = 12);

// The small box that stands over a drop-down list's arrow.
void PaintDropButton(QPainter& painter, const QRectF& box, Face face);

// A white panel with a thin border, as behind the file list and the settings.
void PaintPanel(QPainter& painter, const QRectF& box);

// Style sheets of the standard controls laid over the skins, in the same palette.
// Drop-down lists whose arrow is covered by a drop button of the skin.
QString PickerStyleSheet();
// Single-line text boxes; horizontalPadding is the room between border and text.
QString TextBoxStyleSheet(int horizontalPadding);
// "color: rgb(r,g,b);" for a label's text.
QString TextColourStyle(const QColor& colour);

// A picture store: the given painter function applied to a transparent pixmap of the hotspot's
// size, with the hotspot's top-left corner at (0, 0).
template <typename Paint>
QPixmap Store(QSize size, Paint paint)
{
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    paint(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return picture;
}

} // namespace skin
