// The grading file of a paper: where it is kept (beside the paper, or in the
// data folder when the paper's folder is read-only), the lock that lets one
// window at a time write it, a damaged file set aside, changes made on disk
// by someone else, and the JSON it holds.
#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <memory>
#include <optional>

#include "grading/session/gradingsheet.h"

class QLockFile;

namespace scrivane {

// The grading as JSON; paperPath is kept in it for the teacher's sake.
QByteArray GradingToJson(const GradingContent& grading, const QString& paperPath);
// Nothing when the text is not a whole grading file of this program's format.
std::optional<GradingContent> GradingFromJson(const QByteArray& json);

class GradingFile {
public:
    // dataFolder: where the file goes when the paper's folder is read-only;
    // empty for nowhere else.
    GradingFile(QString paperPath, QString dataFolder);
    ~GradingFile();

    // <paper>.grades.json beside the paper, or in the data folder (named by
    // a digest of the paper's path) when the paper's folder is read-only.
    QString Path() const;
    // Of the file beside the paper and the one in the data folder, the newer
    // (Path() when there is neither).
    QString Newer() const;

    // What reading a file found.
    struct Read {
        std::optional<GradingContent> grading;  // none when there was no file or it is damaged
        // A damaged file: the message for the teacher, and its new name (empty
        // when it could not be set aside: then nothing may be written).
        QString damaged;
        QString setAsideAs;
        bool blocked = false;
    };
    // Reads path; a damaged file is renamed aside, never overwritten. It
    // becomes the file read from, and what is on disk now is noted.
    Read Load(const QString& path);
    // Writes the grading to Path() by the safe write; why it failed, or an
    // empty text.
    QString Write(const GradingContent& grading);

    // Takes the lock of Path() for as long as this object lives; when
    // another window holds it, ReadOnly() and who holds it.
    void TakeLock();
    bool ReadOnly() const { return readOnly_; }
    // "scrivane (process 1234) of ann on lab-3".
    const QString& HeldBy() const { return heldBy_; }

    // Whether Path() was changed by someone else since it was last read or
    // written here (or appeared since).
    bool ChangedOnDisk() const;
    // Path() as it is now is this window's to write over.
    void TakeOnDisk();

    // "Kept in FILE", with the newer file it was read from when that is the other one.
    QString Text() const;

private:
    QString LocalFile() const;
    QString DataFile() const;
    void NoteOnDisk();

    QString paperPath_, dataFolder_;
    std::unique_ptr<QLockFile> lock_;
    bool readOnly_ = false;
    QString heldBy_;
    QString readFrom_;                   // the file Load read, empty for none
    std::map<QString, QString> onDisk_;  // each grading file as last seen here
};

}  // namespace scrivane
