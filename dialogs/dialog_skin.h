#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>

// The artwork of the small skinned dialogs, painted by code in the main window's palette and with
// its buttons: a 330 × 180 background (taller for a dialog with more rows) with a title bar, the
// dialog's texts and its two buttons at the bottom right, magenta round the rounded corners; and
// the lit copies of each button that their hotspots show on hover.
namespace dialogskin {

inline constexpr int Width = 330;
inline constexpr int Height = 180;

// Where the painted buttons sit in a dialog of the given height; the hotspots lie exactly over
// them.
constexpr QRect LeftButtonAt(int height)
{
    return {166, height - 44, 58, 18};
}
constexpr QRect RightButtonAt(int height)
{
    return {246, height - 44, 58, 18};
}
inline constexpr QRect LeftButton = LeftButtonAt(Height);
inline constexpr QRect RightButton = RightButtonAt(Height);
// Where a dialog's rows may lie: the white panel from below the title bar to the strip of the
// buttons.
inline constexpr int RowsTop = 31;
inline constexpr int ButtonStrip = 49;
constexpr int RowsBottom(int height)
{
    return height - ButtonStrip;
}

// One text painted on the background, vertically centred in its box.
struct Caption
{
    QString text;
    QRect box;
    bool dim = false; // column heads are a little dimmer than row labels
};

enum class TitleIcon { Note, CheckMark };

struct Layout
{
    QString title;
    TitleIcon icon = TitleIcon::Note;
    QRect closeMark;
    QString leftButton;
    QString rightButton;
    QList<Caption> captions;
    int height = Height; // a dialog with more rows is taller
};

QPixmap PaintBackground(const Layout& layout);
// A button as the background shows it (lit = false) or brightened for the hover.
QPixmap PaintButton(const QString& caption, QSize size, bool lit);
QPixmap PaintCloseMark(QSize size, bool lit);
// The drop button laid over the arrow end of a drop-down list.
QPixmap PaintDropButton(QSize size, bool lit);
// The look of the dialogs' lists and text boxes, the same as the main window's.
QString ControlsStyleSheet();

} // namespace dialogskin
