#include "mainwindow/main_skin.h"

#include "mainwindow/main_layout.h"
#include "mainwindow/toolbar_icons.h"
#include "widgets/skin_style.h"

#include <QLinearGradient>
#include <QPainterPath>

using namespace skin;
namespace L = main_layout;

namespace {

const std::array<const char*, L::ToolbarCount> ToolbarCaption{
    {"Add File(s)", "Remove", "Options", "Help", "Exit", "", "Add Folder"}};
// Menu titles with the position of their underlined access letter.
struct MenuTitle
{
    const char* text;
    int accessLetter;
};
const std::array<MenuTitle, 3> MenuTitles{{{"File(F)", 5}, {"Options(O)", 8}, {"About(A)", 6}}};

void PaintToolbarButton(QPainter& painter, const QRectF& box, int index, Face face)
{
    painter.save();
    if (face != Face::Rest) {
        QLinearGradient fill(box.topLeft(), box.bottomLeft());
        fill.setColorAt(0, QColor(255, 255, 255));
        fill.setColorAt(1, colour::AccentLight);
        painter.setPen(QPen(colour::Accent, 1));
        painter.setBrush(fill);
        painter.drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
    }
    const QRectF icon(box.center().x() - 14, box.top() + 4, 28, 28);
    PaintToolbarIcon(painter, icon, index, face != Face::Rest);
    painter.setPen(face == Face::Rest ? colour::Text : colour::AccentDark);
    painter.setFont(Font(11, face != Face::Rest));
    painter.drawText(QRectF(box.left(), box.top() + 34, box.width(), 16), Qt::AlignCenter,
                     QString::fromLatin1(ToolbarCaption[static_cast<size_t>(index)]));
    painter.restore();
}

void PaintMenuTitle(QPainter& painter, const QRectF& box, int index, Face face)
{
    const MenuTitle& title = MenuTitles[static_cast<size_t>(index)];
    const QString text = QString::fromLatin1(title.text);
    painter.save();
    if (face != Face::Rest) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour::Accent);
        painter.drawRoundedRect(box, 3, 3);
    }
    const QFont font = Font(11);
    painter.setFont(font);
    painter.setPen(face == Face::Rest ? colour::Text : QColor(255, 255, 255));
    painter.drawText(box, Qt::AlignCenter, text);
    // Underline the access letter by hand: the text is centred, so find where the letter falls.
    const QFontMetricsF metrics(font);
    const qreal left = box.center().x() - metrics.horizontalAdvance(text) / 2;
    const qreal x0 = left + metrics.horizontalAdvance(text.left(title.accessLetter));
    const qreal x1 = x0 + metrics.horizontalAdvance(text.at(title.accessLetter));
    const qreal y = box.center().y() + metrics.ascent() / 2 + 1.5;
    painter.setPen(QPen(painter.pen().color(), 1));
    painter.drawLine(QPointF(x0, y), QPointF(x1, y));
    painter.restore();
}

void PaintConvertButton(QPainter& painter, const QRectF& box, Face face)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF face_box = box.adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient fill(face_box.topLeft(), face_box.bottomLeft());
    fill.setColorAt(0, face == Face::Rest ? QColor(34, 150, 134) : QColor(60, 196, 174));
    fill.setColorAt(1, face == Face::Rest ? QColor(16, 92, 84) : QColor(24, 130, 116));
    painter.setPen(QPen(face == Face::Rest ? colour::AccentDark : QColor(140, 240, 220), 1.5));
    painter.setBrush(fill);
    painter.drawRoundedRect(face_box, 10, 10);
    // The green arrow in a white disc.
    const QRectF disc(face_box.left() + 12, face_box.center().y() - 24, 48, 48);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255));
    painter.drawEllipse(disc);
    QPainterPath arrow;
    const QPointF c = disc.center();
    arrow.moveTo(c.x() - 13, c.y() - 6);
    arrow.lineTo(c.x() + 1, c.y() - 6);
    arrow.lineTo(c.x() + 1, c.y() - 14);
    arrow.lineTo(c.x() + 16, c.y());
    arrow.lineTo(c.x() + 1, c.y() + 14);
    arrow.lineTo(c.x() + 1, c.y() + 6);
    arrow.lineTo(c.x() - 13, c.y() + 6);
    arrow.closeSubpath();
    painter.setBrush(face == Face::Rest ? colour::Go : colour::Go.lighter(118));
    painter.drawPath(arrow);
    painter.setPen(QColor(255, 255, 255));
    painter.setFont(Font(15, true));
    painter.drawText(QRectF(disc.right() + 8, face_box.top(), face_box.right() - disc.right() - 12,
                            face_box.height()),
                     Qt::AlignVCenter | Qt::AlignLeft | Qt::TextWordWrap,
                     QStringLiteral("Start Converting Now"));
    painter.restore();
}

void PaintHeading(QPainter& painter, const QRectF& box, const QString& text)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour::Accent);
    painter.drawRoundedRect(QRectF(box.left(), box.top() + 3, 4, box.height() - 6), 2, 2);
    painter.setPen(colour::Heading);
    painter.setFont(Font(13, true));
    painter.drawText(box.adjusted(10, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    painter.restore();
}

void PaintBody(QPainter& painter)
{
    // The menu band and the toolbar band below the title bar.
    painter.fillRect(QRectF(1, L::TitleHeight, L::WindowSize.width() - 2, 22), colour::Band);
    QLinearGradient toolbar(0, 50, 0, 112);
    toolbar.setColorAt(0, QColor(250, 253, 252));
    toolbar.setColorAt(1, QColor(226, 237, 235));
    painter.fillRect(QRectF(1, 49, L::WindowSize.width() - 2, 63), toolbar);
    painter.fillRect(QRectF(1, 112, L::WindowSize.width() - 2, 1), colour::PanelBorder);

    PaintPanel(painter, L::ListPanel);
    PaintPanel(painter, L::SettingsPanel);
    PaintHeading(painter, QRectF(18, 121, 200, 18), QStringLiteral("File List"));
    PaintHeading(painter, QRectF(490, 121, 196, 18), QStringLiteral("Conversion Settings"));

    // Column headings above the list.
    const QRectF header(L::FileList.left(), 142, L::FileList.width(), 18);
    painter.fillRect(header, colour::Band);
    painter.fillRect(QRectF(header.left() + L::FileNameColumnWidth, header.top() + 3, 1, 12),
                     colour::PanelBorder.darker(110));
    painter.setPen(colour::Heading);
    painter.setFont(Font(11, true));
    painter.drawText(header.adjusted(6, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("FileName"));
    painter.drawText(header.adjusted(L::FileNameColumnWidth + 6, 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Format"));
    painter.setPen(QPen(colour::PanelBorder, 1));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(L::FileList).adjusted(-0.5, -0.5, 0.5, 0.5));

    painter.setPen(colour::Text);
    painter.setFont(Font(11));
    for (int i = 0; i < 4; ++i)
        painter.drawText(QRectF(490, L::Picker[static_cast<size_t>(i)].top() - 17, 180, 15),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QString::fromLatin1(L::PickerLabel[static_cast<size_t>(i)]));
    painter.drawText(QRectF(490, L::FolderBox.top() - 17, 180, 15),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Output Folder:"));

    // Progress row: caption and an empty track the progress bar fills.
    painter.drawText(QRectF(18, L::ProgressTrack.top() - 2, 80, 18),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Progress (%):"));
    painter.setPen(QPen(colour::PanelBorder, 1));
    painter.setBrush(QColor(238, 244, 243));
    painter.drawRoundedRect(QRectF(L::ProgressTrack).adjusted(-1.5, -1.5, 1.5, 1.5), 4, 4);

    // Footer.
    painter.fillRect(QRectF(1, 470, L::WindowSize.width() - 2, 1), colour::PanelBorder);
    PaintCheckIcon(painter, L::FeedbackIcon);
}

} // namespace

MainSkin PaintMainSkin()
{
    MainSkin skin;
    skin.background = WindowBase(L::WindowSize, L::TitleHeight, QStringLiteral("Trevalon"));
    {
        QPainter painter(&skin.background);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        PaintBody(painter);
        for (int i = 0; i < L::ToolbarCount; ++i)
            if (!L::Toolbar[static_cast<size_t>(i)].isEmpty())
                PaintToolbarButton(painter, L::Toolbar[static_cast<size_t>(i)], i, Face::Rest);
        for (int i = 0; i < 3; ++i)
            PaintMenuTitle(painter, L::MenuTitle[static_cast<size_t>(i)], i, Face::Rest);
        PaintConvertButton(painter, L::Convert, Face::Rest);
        PaintTextButton(painter, L::Browse, QStringLiteral("..."), Face::Rest);
        PaintHelpMark(painter, L::HelpMark, Face::Rest);
        PaintMinimiseMark(painter, L::MinimiseMark, Face::Rest);
        PaintCloseMark(painter, L::CloseMark, Face::Rest);
    }
    for (int i = 0; i < L::ToolbarCount; ++i) {
        const QRect box = L::Toolbar[static_cast<size_t>(i)];
        if (!box.isEmpty())
            skin.imgButtonData[static_cast<size_t>(i)] = Store(box.size(), [i](QPainter& p,
                                                                                const QRectF& r) {
                PaintToolbarButton(p, r, i, Face::Lit);
            });
    }
    for (int i = 0; i < 3; ++i)
        skin.imgMenuData[static_cast<size_t>(i)] = Store(
            L::MenuTitle[static_cast<size_t>(i)].size(),
            [i](QPainter& p, const QRectF& r) { PaintMenuTitle(p, r, i, Face::Lit); });
    skin.imgConvertData = Store(L::Convert.size(), [](QPainter& p, const QRectF& r) {
        PaintConvertButton(p, r, Face::Lit);
    });
    skin.imgBrowseLight = Store(L::Browse.size(), [](QPainter& p, const QRectF& r) {
        PaintTextButton(p, r, QStringLiteral("..."), Face::Lit);
    });
    skin.imgBrowseDark = Store(L::Browse.size(), [](QPainter& p, const QRectF& r) {
        PaintTextButton(p, r, QStringLiteral("..."), Face::Pressed);
    });
    // The title-bar marks sit on the title gradient; their stores carry that backdrop too.
    const auto mark = [&skin](QRect box, void (*paint)(QPainter&, const QRectF&, Face)) {
        return Store(box.size(), [&](QPainter& p, const QRectF& r) {
            p.drawPixmap(QPointF(0, 0), skin.background, QRectF(box));
            paint(p, r, Face::Lit);
        });
    };
    skin.imgHelpLight = mark(L::HelpMark, PaintHelpMark);
    skin.imgMinLight = mark(L::MinimiseMark, PaintMinimiseMark);
    skin.imgExitLight = mark(L::CloseMark, PaintCloseMark);
    skin.imgButton = Store(L::DropButton[0].size(), [](QPainter& p, const QRectF& r) {
        PaintDropButton(p, r, Face::Rest);
    });
    skin.imgButtonLight = Store(L::DropButton[0].size(), [](QPainter& p, const QRectF& r) {
        PaintDropButton(p, r, Face::Lit);
    });
    return skin;
}
