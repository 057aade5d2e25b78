// Editors of the grid cells: the mark cell takes what the mark box takes,
// the texts are limited like their boxes in the panel. An edit reaches the
// table only after the window's check of the current row has let it pass.
#pragma once

#include <QStyledItemDelegate>
#include <functional>

namespace scrivane {

class GridDelegate : public QStyledItemDelegate {
public:
    // checkCurrentRow: writes the current row, false when it was refused.
    GridDelegate(std::function<bool()> checkCurrentRow, QObject* parent);
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    // Writes what an open cell editor holds and closes it.
    void Finish(QWidget* editor);
    // The text a cell shows: a mark in the form the mark box shows it, so
    // the grid and the box never disagree, whatever the locale.
    static QString ShownText(const QModelIndex& index);

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    std::function<bool()> checkCurrentRow_;
};

}  // namespace scrivane
