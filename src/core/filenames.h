// Whether a save would replace something at a path: a file, a folder, or a
// symbolic link, even one whose target is gone (writing through it would
// create that target), so the overwrite question is asked for all of them.
#pragma once

#include <QString>
#include <filesystem>

namespace scrivane {

inline bool PathIsTaken(const QString& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path.toStdString(), ec));
}

}  // namespace scrivane
