#include "editor/recentpapers.h"

#include <QFileInfo>

namespace scrivane {

namespace {

const QString kKey = QStringLiteral("recentPapers");

// One file under two spellings is one entry.
QString Canonical(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

}  // namespace

QStringList RecentPapers::List() const {
    const auto settings = settings_.Open();
    QStringList paths = settings ? settings->value(kKey).toStringList() : memory_;
    paths.removeAll(QString());
    if (paths.size() > kLimit) paths.resize(kLimit);
    return paths;
}

void RecentPapers::Write(QStringList paths) {
    if (paths.size() > kLimit) paths.resize(kLimit);
    memory_ = paths;
    if (const auto settings = settings_.Open()) settings->setValue(kKey, paths);
}

void RecentPapers::Add(const QString& path) {
    const QString entry = Canonical(path);
    QStringList paths = List();
    paths.removeAll(entry);
    paths.prepend(entry);
    Write(paths);
}

void RecentPapers::Remove(const QString& path) {
    QStringList paths = List();
    if (paths.removeAll(path) > 0) Write(paths);
}

}  // namespace scrivane
