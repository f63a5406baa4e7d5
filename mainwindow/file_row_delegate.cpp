#include "mainwindow/file_row_delegate.h"

#include "intake/file_list_model.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

// The list's selection colour, lightened: the bar must not read as a selected row.
const QColor BarColour(178, 226, 219);

} // namespace

FileRowDelegate::FileRowDelegate(QAbstractItemView& view)
    : QStyledItemDelegate(&view), m_view(view)
{
}

void FileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const
{
    const QVariant share = index.data(FileListModel::ProgressRole);
    if (share.isValid()) {
        // One bar across the whole row: each cell paints the part of it that falls inside it.
        const int barEnd = static_cast<int>(std::clamp(share.toDouble(), 0.0, 1.0) *
                                            m_view.viewport()->width());
        QRect bar = option.rect;
        bar.setRight(std::min(option.rect.right(), barEnd - 1));
        if (bar.width() > 0)
            painter->fillRect(bar, BarColour);
    }
    QStyledItemDelegate::paint(painter, option, index);
}

bool FileRowDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                                const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (event && event->type() == QEvent::ToolTip && index.isValid()) {
        // The path as the list shows it, whole, whichever cell of the row the pointer is over.
        const QModelIndex fileName = index.siblingAtColumn(FileListModel::FileNameColumn);
        QToolTip::showText(event->globalPos(), fileName.data(Qt::DisplayRole).toString(), view,
                           view->visualRect(index));
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
