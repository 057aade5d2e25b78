#include "editor/griddelegate.h"

#include <QLineEdit>

#include "core/questiontable.h"
#include "dialogs/markkeyfilter.h"

namespace scrivane {

QWidget* GridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    auto* editor = new QLineEdit(parent);
    switch (index.column()) {
        case QuestionTable::Score:
            editor->setMaxLength(4);
            editor->installEventFilter(new MarkKeyFilter(MarkKeyFilter::AllowPoint, editor));
            break;
        case QuestionTable::Title:
            editor->setMaxLength(250);
            break;
        default:
            editor->setMaxLength(100);
            break;
    }
    editor->setFrame(false);
    Q_UNUSED(option);
    return editor;
}

}  // namespace scrivane
