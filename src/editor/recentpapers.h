// The papers opened or saved last, newest first, kept in the user's
// configuration folder so they outlive the run.
#pragma once

#include <QString>
#include <QStringList>

namespace scrivane {

class RecentPapers {
public:
    static constexpr int kLimit = 8;

    QStringList List() const;
    // Puts path first; an older entry for the same file goes, and the list
    // keeps kLimit entries.
    void Add(const QString& path);
    void Remove(const QString& path);
};

}  // namespace scrivane
