#include "mainwindow/main_controls.h"

#include "dialogs/help_links.h"
#include "intake/file_list_model.h"
#include "mainwindow/file_row_delegate.h"
#include "mainwindow/main_layout.h"
#include "settings/picker_lists.h"
#include "widgets/hotspot.h"
#include "widgets/skin_style.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace L = main_layout;
using namespace skin;

namespace {

QString ListStyleSheet()
{
    return QStringLiteral("QTreeView { border: none; background: white; color: %1;"
                          " font-size: 12px; alternate-background-color: %2; }"
                          "QTreeView::item:selected { background: %3; color: white; }")
        .arg(colour::Text.name(), colour::RowShade.name(), colour::Accent.name());
}

// The progress bar: a teal bar whose width the batch sets.
class ProgressImage : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (width() <= 0)
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient fill(0, 0, 0, height());
        fill.setColorAt(0, QColor(96, 214, 190));
        fill.setColorAt(1, colour::Accent);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()), 3, 3);
    }
};

Hotspot* MakeHotspot(QWidget& window, const QRect& place, int index = -1)
{
    auto* hotspot = new Hotspot(&window, index);
    hotspot->setGeometry(place);
    return hotspot;
}

QComboBox* MakePicker(QWidget& window, const QStringList& items, const QRect& place,
                      const QString& tooltip)
{
    auto* picker = new QComboBox(&window);
    picker->addItems(items);
    picker->setEditable(false);
    picker->setGeometry(place);
    picker->setToolTip(tooltip);
    picker->setStyleSheet(PickerStyleSheet());
    picker->setAttribute(Qt::WA_NoMousePropagation);
    return picker;
}

} // namespace

MainControls CreateMainControls(QWidget& window, FileListModel& files)
{
    MainControls c;

    c.LV = new QTreeView(&window);
    c.LV->setModel(&files);
    c.LV->setItemDelegate(new FileRowDelegate(*c.LV));
    c.LV->setGeometry(L::FileList);
    c.LV->setRootIsDecorated(false);
    c.LV->setHeaderHidden(true); // the skin paints the column headings
    // The columns always fill the list exactly, under the headings painted on the skin, so no
    // sideways scroll bar appears however the list was emptied. A long path loses its start, so
    // the file name stays whole; every row's tooltip shows the whole path.
    c.LV->header()->setStretchLastSection(false);
    c.LV->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    c.LV->header()->setSectionResizeMode(1, QHeaderView::Fixed);
    c.LV->header()->resizeSection(1, L::FileList.width() - L::FileNameColumnWidth);
    c.LV->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    c.LV->setTextElideMode(Qt::ElideLeft);
    c.LV->setAlternatingRowColors(true);
    c.LV->setSelectionMode(QAbstractItemView::SingleSelection);
    c.LV->setSelectionBehavior(QAbstractItemView::SelectRows);
    c.LV->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.LV->setAcceptDrops(true);
    c.LV->setStyleSheet(ListStyleSheet());
    c.LV->setAttribute(Qt::WA_NoMousePropagation);
    c.LV->viewport()->setAttribute(Qt::WA_NoMousePropagation);

    c.picText = new QWidget(&window);
    c.picText->setGeometry(L::FileList.adjusted(1, 1, -1, -1));
    c.picText->setAttribute(Qt::WA_NoMousePropagation);
    c.picText->setAcceptDrops(true);
    c.picText->setAutoFillBackground(true);
    QPalette white = c.picText->palette();
    white.setColor(QPalette::Window, Qt::white);
    c.picText->setPalette(white);
    c.lblText = new QLabel(QStringLiteral("Drag & Drop Files Here"), c.picText);
    c.lblText->setAlignment(Qt::AlignCenter);
    c.lblText->setFont(Font(15, true));
    c.lblText->setStyleSheet(TextColourStyle(colour::FieldBorder));
    (new QVBoxLayout(c.picText))->addWidget(c.lblText);

    c.picDrop = new QWidget(&window);
    c.picDrop->setAutoFillBackground(true);
    c.picDrop->setPalette(white); // the white overlay that takes drops
    c.picDrop->setAcceptDrops(true);
    c.picDrop->setAttribute(Qt::WA_NoMousePropagation);
    c.picDrop->hide();

    c.pickers[0] = MakePicker(window, FormatItems(), L::Picker[0], QStringLiteral("Output Format"));
    c.pickers[1] =
        MakePicker(window, BitrateItems(), L::Picker[1], QStringLiteral("MP3 Audio Bitrate"));
    c.pickers[2] = MakePicker(window, RateItems(), L::Picker[2], QStringLiteral("MP3 Audio Rate"));
    c.pickers[3] = MakePicker(window, ChannelItems(), L::Picker[3],
                              QStringLiteral("MP3 Audio Channel(Stereo or Mono)"));
    // The format picker's button carries the bitrate tooltip, as the buttons always have.
    const std::array<QString, 4> buttonTips{
        QStringLiteral("MP3 Audio Bitrate"), QStringLiteral("MP3 Audio Bitrate"),
        QStringLiteral("MP3 Audio Rate"), QStringLiteral("MP3 Audio Channel(Stereo or Mono)")};
    for (size_t i = 0; i < 4; ++i) {
        c.picButtons[i] = MakeHotspot(window, L::DropButton[i]);
        c.picButtons[i]->setToolTip(buttonTips[i]);
    }

    c.txtPath = new QLineEdit(&window);
    c.txtPath->setGeometry(L::FolderBox);
    c.txtPath->setToolTip(QStringLiteral("Select a Folder to Output"));
    c.txtPath->setStyleSheet(TextBoxStyleSheet(4));
    QFont pathFont = Font(12);
    pathFont.setPointSizeF(9);
    c.txtPath->setFont(pathFont);
    c.txtPath->setAttribute(Qt::WA_NoMousePropagation);
    QWidget::setTabOrder(c.pickers[0], c.pickers[1]);
    QWidget::setTabOrder(c.pickers[1], c.pickers[2]);
    QWidget::setTabOrder(c.pickers[2], c.pickers[3]);
    QWidget::setTabOrder(c.pickers[3], c.txtPath);

    c.txtAction = new QLineEdit(&window);
    c.txtAction->hide();

    for (int i = 0; i < L::ToolbarCount; ++i)
        if (!L::Toolbar[static_cast<size_t>(i)].isEmpty())
            c.toolbar[static_cast<size_t>(i)] =
                MakeHotspot(window, L::Toolbar[static_cast<size_t>(i)], i);
    for (int i = 0; i < 3; ++i)
        c.menuTitles[static_cast<size_t>(i)] =
            MakeHotspot(window, L::MenuTitle[static_cast<size_t>(i)], i);
    c.imgConvert = MakeHotspot(window, L::Convert);
    c.imgBrowse = MakeHotspot(window, L::Browse);
    c.imgBrowse->setToolTip(QStringLiteral("Select an Output Folder"));
    const QCursor hand = HandCursor();
    c.imgHelp = MakeHotspot(window, L::HelpMark);
    c.imgHelp->setToolTip(QStringLiteral("Help & Tutorial"));
    c.imgMin = MakeHotspot(window, L::MinimiseMark);
    c.imgMin->setToolTip(QStringLiteral("Minimize Window"));
    c.imgExit = MakeHotspot(window, L::CloseMark);
    c.imgExit->setToolTip(QStringLiteral("Exit"));
    for (Hotspot* mark : {c.imgHelp, c.imgMin, c.imgExit})
        mark->setCursor(hand);

    c.lblFeed = new HotLabel(QStringLiteral("Feedback"), &window);
    c.lblFeed->setFont(Font(11));
    // Wide enough for the bold caption it shows while lit, so no letter is cut off.
    const int boldWidth = QFontMetrics(Font(11, true)).horizontalAdvance(c.lblFeed->text());
    QRect feedPlace = L::Feedback.adjusted(0, -2, 0, 2);
    feedPlace.setWidth(std::max(feedPlace.width(), boldWidth + 2));
    c.lblFeed->setGeometry(feedPlace);
    c.lblFeed->setStyleSheet(QStringLiteral("color: black;"));
    c.lblFeed->setToolTip(QStringLiteral("Send us your suggestion or question"));
    c.lblFeed->setCursor(hand);

    c.lblVersion = new QLabel(&window);
    c.lblVersion->setGeometry(L::Version);
    c.lblVersion->setFont(Font(11));
    c.lblVersion->setStyleSheet(TextColourStyle(colour::VersionText));
    c.lblWeb = new HotLabel(QString(), &window);
    c.lblWeb->setGeometry(L::Web);
    c.lblWeb->setFont(Font(11, true));
    c.lblWeb->setStyleSheet(TextColourStyle(colour::Heading));
    c.lblWeb->setToolTip(ProductPageUrl().toString());
    c.lblWeb->setCursor(hand);

    c.imgPB = new ProgressImage(&window);
    c.imgPB->setGeometry(L::ProgressTrack);
    c.lblPB = new QLabel(QStringLiteral("0%"), &window);
    c.lblPB->setGeometry(L::ProgressCaption);
    c.lblPB->setAlignment(Qt::AlignCenter);
    c.lblPB->setFont(Font(10, true));
    c.lblPB->setStyleSheet(TextColourStyle(colour::Heading) +
                           QStringLiteral(" background: transparent;"));
    c.lblPB->setAttribute(Qt::WA_TransparentForMouseEvents);
    return c;
}
