// The last print settings of the papers printed most recently, by full path,
// kept in the settings file beside the recent papers so that a paper printed
// again next week gives the same versions as the keys handed out.
#pragma once

#include <QSettings>
#include <QString>
#include <QVariantMap>
#include <vector>

#include "print/versions/printsettings.h"

namespace scrivane {

class SettingsFile;

// The entries of an array in a group of the settings, each a map of its keys
// and values. Reading gives the first `limit` entries; writing replaces the
// array and returns false when the file could not be written.
std::vector<QVariantMap> ReadSettingsArray(QSettings& settings, const QString& group,
                                           const QString& array, int limit);
bool WriteSettingsArray(QSettings& settings, const QString& group, const QString& array,
                        const std::vector<QVariantMap>& entries);

class PrintMemory {
public:
    static constexpr int kLimit = 8;

    // settings: the editor's settings file; none (or a refused file) keeps
    // them for this run only.
    explicit PrintMemory(SettingsFile* settings = nullptr) : settings_(settings) {}
    void SetSettings(SettingsFile* settings) { settings_ = settings; }

    // Puts the settings kept for paperFile into settings (all but the answer
    // mode's letters); false, and settings untouched, when none are kept.
    bool Recall(const QString& paperFile, PrintSettings& settings) const;
    // Keeps settings for paperFile, newest first; the oldest beyond kLimit go.
    void Keep(const QString& paperFile, const PrintSettings& settings);

private:
    std::vector<QVariantMap> Entries() const;

    SettingsFile* settings_;
    std::vector<QVariantMap> memory_;  // the entries when there is no settings file
};

}  // namespace scrivane
