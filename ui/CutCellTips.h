#pragma once

#include <QStyledItemDelegate>

namespace rekkon::ui {

// Draws the results list's cells as usual, and gives a cell whose text is cut off its whole text
// as tooltip (followed by the cell's own tooltip, where it has one).
class CutCellTips : public QStyledItemDelegate {
    Q_OBJECT

  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Whether the text of `index` does not fit its cell drawn with `option`.
    bool isCut(const QStyleOptionViewItem& option, const QModelIndex& index) const;
    // The tooltip of `index` drawn with `option`: empty where it has none.
    QString tipFor(const QStyleOptionViewItem& option, const QModelIndex& index) const;

    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

}  // namespace rekkon::ui
