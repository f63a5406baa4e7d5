#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

// Draws the file list's rows. An entry being converted together with others gets a light bar
// behind its row, from the left edge of the list to its share of the list's width. A row whose text
// does not fit its column, and so is shown shortened, gives the whole text as its tooltip; a row
// that fits keeps the model's tooltip.
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
    // True when the cell's text is wider than the room the view gives it.
    bool isElided(const QStyleOptionViewItem& option, const QModelIndex& index,
                  const QWidget* view) const;

    QAbstractItemView& m_view;
};
