#include "dialogs/markkeyfilter.h"

#include <QInputMethodEvent>
#include <QKeyEvent>

namespace scrivane {

bool MarkKeyFilter::Passes(QChar c, Decimals decimals) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || u == 8 || u == u'%' || u == u'\'' ||
           (decimals == AllowPoint && u == u'.');
}

bool MarkKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        const bool chord =
            mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier);
        if (!chord) {
            for (const QChar c : key->text()) {
                const bool typed = c.isPrint() || c.category() == QChar::Other_Format;
                if (typed && !Passes(c, decimals_)) return true;
            }
        }
    } else if (event->type() == QEvent::InputMethod) {
        // Characters composed by an input method are typed too.
        auto* input = static_cast<QInputMethodEvent*>(event);
        QString kept;
        for (const QChar c : input->commitString())
            if (Passes(c, decimals_)) kept += c;
        if (kept != input->commitString())
            input->setCommitString(kept, input->replacementStart(), input->replacementLength());
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace scrivane
