#include "editor/recentpapers.h"

#include <QFileInfo>
#include <QSettings>

namespace scrivane {

namespace {

const QString kKey = QStringLiteral("recentPapers");

// ~/.config/scrivane/scrivane.conf
struct Store : QSettings {
    Store()
        : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("scrivane"),
                    QStringLiteral("scrivane")) {}
};

void Write(const QStringList& paths) {
    Store().setValue(kKey, paths);
}

// One file under two spellings is one entry.
QString Canonical(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

}  // namespace

QStringList RecentPapers::List() const {
    QStringList paths = Store().value(kKey).toStringList();
    paths.removeAll(QString());
    if (paths.size() > kLimit) paths.resize(kLimit);
    return paths;
}

void RecentPapers::Add(const QString& path) {
    const QString entry = Canonical(path);
    QStringList paths = List();
    paths.removeAll(entry);
    paths.prepend(entry);
    if (paths.size() > kLimit) paths.resize(kLimit);
    Write(paths);
}

void RecentPapers::Remove(const QString& path) {
    QStringList paths = List();
    if (paths.removeAll(path) > 0) Write(paths);
}

}  // namespace scrivane
