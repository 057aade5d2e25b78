// Editors of the grid cells: the mark cell takes what the mark box takes,
// the texts are limited like their boxes in the panel.
#pragma once

#include <QStyledItemDelegate>

namespace scrivane {

class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
};

}  // namespace scrivane
