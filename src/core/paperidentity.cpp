#include "core/paperidentity.h"

#include <QRandomGenerator>
#include <algorithm>

namespace scrivane {

bool IsPaperIdentity(const QString& text) {
    return text.size() == 16 &&
           std::all_of(
               text.begin(), text.end(),
               [](QChar c) { return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'); }) &&
           text != QString(16, u'0');
}

QString NewPaperIdentity() {
    QString id;
    while (!IsPaperIdentity(id))
        id = QStringLiteral("%1")
                 .arg(QRandomGenerator::system()->generate64(), 16, 16, QChar(u'0'))
                 .toUpper();
    return id;
}

}  // namespace scrivane
