// Holds what the user types into a box to the box's length: a box at its
// limit takes no more typing, pasted or dropped text is cut to what fits at
// the cursor, and nothing that already stands in the box is removed, not
// even a longer text that came from the paper.
#pragma once

#include <QObject>
#include <QString>

class QLineEdit;
class QPlainTextEdit;

namespace scrivane {

// The text after one edit, held to limit: of the characters the edit put in
// only those that fit are kept, and the cursor stands after them.
struct FittedEdit {
    QString text;
    int cursor = 0;
    int cutFrom = 0, cutTo = 0;  // where the cut characters stood in `after`
    bool Cut() const { return cutTo > cutFrom; }
};
FittedEdit FitEdit(const QString& before, const QString& after, int cursor, int limit);

class TypingLimit : public QObject {
    Q_OBJECT
public:
    // The limit lives as long as its box.
    TypingLimit(QLineEdit& box, int limit);
    TypingLimit(QPlainTextEdit& box, int limit);

    // Shows a text from the paper, whole even when it is longer than the limit.
    void Show(const QString& text);

signals:
    // The user changed the text; it is already held to the limit.
    void Edited(const QString& text);

private:
    void OnUserEdit();

    QLineEdit* line_ = nullptr;
    QPlainTextEdit* plain_ = nullptr;
    int limit_;
    QString before_;      // the text before the edit being handled
    bool quiet_ = false;  // the program is changing the text
};

}  // namespace scrivane
