// Where the program remembers things between runs (the recent papers, the
// last print settings, the grades window's place): the settings file, opened
// for each read or write. Capabilities keep their settings through it
// without knowing which file it is or how a damaged one is refused.
#pragma once

#include <QSettings>
#include <memory>

namespace scrivane {

class SettingsFile {
public:
    virtual ~SettingsFile() = default;
    // The settings to read and write, or null when there is no file or it
    // is refused; the caller then keeps its values for this run.
    virtual std::unique_ptr<QSettings> Open() = 0;
};

}  // namespace scrivane
