#include "editor/markfilter.h"

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
        const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const QString text = key->text();
        if (!shortcut && text.size() == 1 && text[0].isPrint() && !Passes(text[0], decimals_))
            return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace scrivane
