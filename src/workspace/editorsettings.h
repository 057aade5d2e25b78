// The editor's own settings file (scrivane.conf: the recent papers and
// whatever else the editor remembers between runs). Every reader and writer
// of it opens it through EditorSettings::Open, so the file is read or
// written only while it is a regular file of at most kMaxSize bytes: a pipe
// in its place would block the window, and a huge one cost seconds and
// memory at every use. A refused file is left exactly as it is, the user is
// told once, and the settings hold for this run only.
#pragma once

#include <QString>

#include "core/settingsfile.h"

namespace scrivane {

class Prompts;

class EditorSettings : public SettingsFile {
public:
    static constexpr qint64 kMaxSize = 64 * 1024;

    // file: the settings file, empty for none (nothing is kept beyond the
    // run); prompts: where a refused file is told, none for silence.
    explicit EditorSettings(QString file, Prompts* prompts = nullptr)
        : file_(std::move(file)), prompts_(prompts) {}

    std::unique_ptr<QSettings> Open() override;

private:
    QString file_;
    Prompts* prompts_;
    bool told_ = false;
};

}  // namespace scrivane
