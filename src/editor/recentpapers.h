// The papers opened or saved last, newest first, kept in the user's settings
// file so they outlive the run.
#pragma once

#include <QString>
#include <QStringList>

namespace scrivane {

class RecentPapers {
public:
    static constexpr int kLimit = 8;

    // settingsFile: where the list is kept; empty keeps it for this run only.
    explicit RecentPapers(QString settingsFile) : file_(std::move(settingsFile)) {}

    QStringList List() const;
    // Puts path first; an older entry for the same file goes, and the list
    // keeps kLimit entries.
    void Add(const QString& path);
    void Remove(const QString& path);

private:
    void Write(QStringList paths);

    QString file_;
    QStringList memory_;  // the list when there is no settings file
};

}  // namespace scrivane
