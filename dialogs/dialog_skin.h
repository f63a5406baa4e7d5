#pragma once

#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>

// The artwork of the two small skinned dialogs, painted by code in the main window's palette and
// with its buttons: a 330 × 180 background with a title bar, the dialog's texts and its buttons,
// or taller, magenta round the rounded corners; and the lit copies of each button that their hotspots show on
// hover.
namespace dialogskin {

inline constexpr int Width = 330;
inline constexpr int Height = 180;

// Where the painted buttons sit; the hotspots lie exactly over them.
inline constexpr QRect LeftButton{166, 136, 58, 18};
inline constexpr QRect RightButton{246, 136, 58, 18};

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
    int height = Height; // a dialog with rows below its buttons is taller
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
