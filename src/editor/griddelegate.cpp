#include "editor/griddelegate.h"

#include <QLineEdit>

#include "core/paperrules.h"
#include "core/questiontable.h"
#include "dialogs/markkeyfilter.h"
#include "editor/typinglimit.h"

namespace scrivane {

GridDelegate::GridDelegate(std::function<bool()> checkCurrentRow, QObject* parent)
    : QStyledItemDelegate(parent), checkCurrentRow_(std::move(checkCurrentRow)) {}

QString GridDelegate::ShownText(const QModelIndex& index) {
    const int role = index.column() == QuestionTable::Score ? Qt::EditRole : Qt::DisplayRole;
    return index.data(role).toString();
}

void GridDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.column() == QuestionTable::Score &&
        option->features & QStyleOptionViewItem::HasDisplay)
        option->text = ShownText(index);
}

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    auto* editor = new QLineEdit(parent);
    switch (index.column()) {
        case QuestionTable::Score:
            new TypingLimit(*editor, kMarkTypedLength);
            editor->installEventFilter(new MarkKeyFilter(MarkKeyFilter::AllowPoint, editor));
            break;
        case QuestionTable::Title:
            new TypingLimit(*editor, kTitleTypedLength);
            break;
        default:
            new TypingLimit(*editor, kOptionTypedLength);
            break;
    }
    editor->setFrame(false);
    Q_UNUSED(option);
    return editor;
}

void GridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                const QModelIndex& index) const {
    // The row being edited in the panel is written first, as leaving it does.
    if (checkCurrentRow_ && !checkCurrentRow_()) return;
    QStyledItemDelegate::setModelData(editor, model, index);
}

void GridDelegate::Finish(QWidget* editor) {
    emit commitData(editor);
    emit closeEditor(editor, QAbstractItemDelegate::NoHint);
}

}  // namespace scrivane
