// Rules about the names of the files a teacher chooses.
#pragma once

#include <QString>
#include <QStringView>
#include <algorithm>
#include <filesystem>

namespace scrivane {

// Whether a save would replace something at a path: a file, a folder, or a
// symbolic link, even one whose target is gone (writing through it would
// create that target), so the overwrite question is asked for all of them.
inline bool PathIsTaken(const QString& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path.toStdString(), ec));
}

// Whether the name ends in an extension: letters and digits after its last
// dot, up to five ("Ch.3 quiz" has none). A name without one gets the
// extension of the chosen type.
inline bool HasPlainExtension(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const QStringView name = QStringView(path).mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QStringView ending = dot < 0 ? QStringView() : name.mid(dot + 1);
    return !ending.isEmpty() && ending.size() <= 5 &&
           std::all_of(ending.begin(), ending.end(),
                       [](QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); });
}

}  // namespace scrivane
