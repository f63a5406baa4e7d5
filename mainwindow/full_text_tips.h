#pragma once

#include <QStyledItemDelegate>

// Draws the file list's rows as usual and, for a row whose text does not fit its column and so is
// shown shortened, gives the whole text as its tooltip. A row that fits keeps the model's tooltip.
class FullTextTips : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    // True when the cell's text is wider than the room the view gives it.
    bool isElided(const QStyleOptionViewItem& option, const QModelIndex& index,
                  const QWidget* view) const;
};
