#include "dialogs/dialog_skin.h"

#include "widgets/skin_style.h"

#include <QPainter>

namespace dialogskin {
namespace {

constexpr int TitleHeight = 27;

skin::Face FaceFor(bool lit)
{
    return lit ? skin::Face::Lit : skin::Face::Rest;
}

} // namespace

QPixmap PaintBackground(const Layout& layout)
{
    // The same window face, palette and buttons as the main window, so the three windows read as
    // one program.
    const skin::TitleIcon icon =
        layout.icon == TitleIcon::CheckMark ? skin::TitleIcon::CheckMark : skin::TitleIcon::Emblem;
    QPixmap background = skin::WindowBase(QSize(Width, layout.height), TitleHeight, layout.title, icon);
    QPainter painter(&background);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The white panel behind the dialog's rows, as the main window has behind its list and
    // settings.
    skin::PaintPanel(painter, QRectF(8, RowsTop, Width - 16, RowsBottom(layout.height) - RowsTop));
    skin::PaintCloseMark(painter, layout.closeMark, skin::Face::Rest);
    for (const Caption& caption : layout.captions) {
        painter.setPen(caption.dim ? skin::colour::Muted : skin::colour::Text);
        painter.setFont(skin::Font(11));
        painter.drawText(caption.box, Qt::AlignLeft | Qt::AlignVCenter, caption.text);
    }
    skin::PaintTextButton(painter, LeftButtonAt(layout.height), layout.leftButton, skin::Face::Rest);
    skin::PaintTextButton(painter, RightButtonAt(layout.height), layout.rightButton,
                          skin::Face::Rest);
    return background;
}

QPixmap PaintButton(const QString& caption, QSize size, bool lit)
{
    return skin::Store(size, [&](QPainter& painter, const QRectF& box) {
        skin::PaintTextButton(painter, box, caption, FaceFor(lit));
    });
}

QPixmap PaintCloseMark(QSize size, bool lit)
{
    return skin::Store(size, [&](QPainter& painter, const QRectF& box) {
        skin::PaintCloseMark(painter, box, FaceFor(lit));
    });
}

QPixmap PaintDropButton(QSize size, bool lit)
{
    return skin::Store(size, [&](QPainter& painter, const QRectF& box) {
        skin::PaintDropButton(painter, box, FaceFor(lit));
    });
}

QString ControlsStyleSheet()
{
    // The time boxes are only 17 pixels wide: no padding inside their border.
    return skin::PickerStyleSheet() + skin::TextBoxStyleSheet(0);
}

} // namespace dialogskin
