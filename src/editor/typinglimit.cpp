#include "editor/typinglimit.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <algorithm>

namespace scrivane {

FittedEdit FitEdit(const QString& before, const QString& after, int cursor, int limit) {
    FittedEdit fitted{after, cursor};
    const int oldSize = int(before.size());
    const int newSize = int(after.size());
    if (newSize <= limit || newSize <= oldSize) return fitted;

    // The edit replaced before[p, oldSize - s) by after[p, newSize - s). The
    // cursor ends after what was put in, which tells where that was when the
    // texts around it repeat.
    int s = std::clamp(newSize - cursor, 0, oldSize);
    if (QStringView(after).right(s) != QStringView(before).right(s)) {
        s = 0;
        while (s < oldSize && s < newSize && after[newSize - 1 - s] == before[oldSize - 1 - s]) ++s;
    }
    int p = 0;
    while (p < oldSize - s && p < newSize - s && after[p] == before[p]) ++p;
    const int inserted = newSize - s - p;
    const int removed = oldSize - s - p;
    int allowed = std::clamp(limit - (oldSize - removed), 0, inserted);
    // A character is never cut in half.
    if (allowed > 0 && allowed < inserted && after[p + allowed - 1].isHighSurrogate()) --allowed;

    fitted.text = after.left(p + allowed) + after.right(s);
    fitted.cursor = p + allowed;
    fitted.cutFrom = p + allowed;
    fitted.cutTo = p + inserted;
    return fitted;
}

TypingLimit::TypingLimit(QLineEdit& box, int limit) : QObject(&box), line_(&box), limit_(limit) {
    // The box itself cuts nothing, not even a text from the paper.
    box.setMaxLength(32767);
    before_ = box.text();
    connect(&box, &QLineEdit::textEdited, this, &TypingLimit::OnUserEdit);
    // Any change, the program's or the user's, is the base of the next edit.
    connect(&box, &QLineEdit::textChanged, this, [this] { before_ = line_->text(); });
}

TypingLimit::TypingLimit(QPlainTextEdit& box, int limit)
    : QObject(&box), plain_(&box), limit_(limit) {
    before_ = box.toPlainText();
    connect(&box, &QPlainTextEdit::textChanged, this, [this] {
        if (quiet_)
            before_ = plain_->toPlainText();
        else
            OnUserEdit();
    });
}

void TypingLimit::Show(const QString& text) {
    quiet_ = true;
    if (line_ && line_->text() != text) line_->setText(text);
    if (plain_ && plain_->toPlainText() != text) plain_->setPlainText(text);
    quiet_ = false;
    before_ = text;
}

void TypingLimit::OnUserEdit() {
    if (line_) {
        const FittedEdit fitted = FitEdit(before_, line_->text(), line_->cursorPosition(), limit_);
        if (fitted.Cut()) {
            line_->setText(fitted.text);
            line_->setCursorPosition(fitted.cursor);
            line_->setModified(true);
        }
        before_ = line_->text();
        emit Edited(before_);
        return;
    }
    const FittedEdit fitted =
        FitEdit(before_, plain_->toPlainText(), plain_->textCursor().position(), limit_);
    if (fitted.Cut()) {
        // Removing only what did not fit keeps the box's undo steps.
        quiet_ = true;
        QTextCursor cursor(plain_->document());
        cursor.setPosition(fitted.cutFrom);
        cursor.setPosition(fitted.cutTo, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        plain_->setTextCursor(cursor);
        quiet_ = false;
    }
    before_ = plain_->toPlainText();
    emit Edited(before_);
}

}  // namespace scrivane
