#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

// Paints the progress of an entry being converted together with others as a light bar behind
// its row, from the left edge of the list to its share of the list's width; other rows are
// painted as usual.
class ProgressDelegate : public QStyledItemDelegate
{
public:
    explicit ProgressDelegate(QAbstractItemView& view);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    QAbstractItemView& m_view;
};
