#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

// Draws the file list's rows. An entry being converted together with others gets a light bar
// behind its row, from the left edge of the list to its share of the list's width. Every row,
// shortened to fit its column or not, gives the whole path of its file as its tooltip.
class FileRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit FileRowDelegate(QAbstractItemView& view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    QAbstractItemView& m_view;
};
