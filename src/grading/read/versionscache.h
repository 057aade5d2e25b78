// A paper's versions by the print settings a sheet's code gives: built once
// per settings and kept, as a pile of sheets holds a print or two. Header
// only, for the reader and for what turns its pages into sheets.
#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "core/questionrecord.h"
#include "print/versions/versions.h"

namespace scrivane {

// May be used from several threads at once.
class VersionsCache {
public:
    explicit VersionsCache(std::vector<QuestionRecord> paper) : paper_(std::move(paper)) {}

    const std::vector<QuestionRecord>& Paper() const { return paper_; }

    // The version of that name among those the settings print, or nothing
    // when they print none of that name. It stays while the cache lives.
    const PaperVersion* Find(const VersionSettings& settings, const QString& name) const {
        const QByteArray key = QByteArray::number(settings.count) + ':' +
                               QByteArray::number(settings.seed) + ':' +
                               QByteArray::number(int(settings.shuffleQuestions)) +
                               QByteArray::number(int(settings.shuffleOptions)) + ':' +
                               QByteArray::number(settings.blankOptionLetters) + ':' +
                               QByteArray::number(int(settings.keptOptions));
        std::shared_ptr<const std::vector<PaperVersion>> built;
        {
            std::lock_guard lock(mutex_);
            if (auto it = versions_.find(key); it != versions_.end()) built = it->second;
        }
        if (!built) {
            // Built outside the lock, so that other threads read on; the
            // first one built is kept.
            auto made =
                std::make_shared<const std::vector<PaperVersion>>(BuildVersions(paper_, settings));
            std::lock_guard lock(mutex_);
            built = versions_.emplace(key, std::move(made)).first->second;
        }
        const auto it = std::find_if(built->begin(), built->end(),
                                     [&](const PaperVersion& v) { return v.name == name; });
        return it == built->end() ? nullptr : &*it;
    }

private:
    std::vector<QuestionRecord> paper_;
    mutable std::mutex mutex_;
    mutable std::map<QByteArray, std::shared_ptr<const std::vector<PaperVersion>>> versions_;
};

}  // namespace scrivane
