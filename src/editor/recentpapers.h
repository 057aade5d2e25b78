// The papers opened or saved last, newest first, kept in the user's settings
// file so they outlive the run.
#pragma once

#include <QString>
#include <QStringList>

#include "workspace/editorsettings.h"

namespace scrivane {

class RecentPapers {
public:
    static constexpr int kLimit = 8;

    // settings: where the list is kept; without a usable settings file it is
    // kept for this run only.
    explicit RecentPapers(EditorSettings& settings) : settings_(settings) {}

    QStringList List() const;
    // Puts path first; an older entry for the same file goes, and the list
    // keeps kLimit entries.
    void Add(const QString& path);
    void Remove(const QString& path);

private:
    void Write(QStringList paths);

    EditorSettings& settings_;
    QStringList memory_;  // the list when there is no usable settings file
};

}  // namespace scrivane
