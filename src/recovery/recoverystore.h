// Crash recovery. While the paper is modified, or the edit panel shows typing
// not yet written, it is written, shortly after each change, to a recovery
// file of this editor in the user's data folder; saving, replacing the paper
// and a normal end remove it. A recovery file left by an editor that is no
// longer running is found at the next start, and kept until this editor's
// own copy of the recovered paper is written.
//
// Each editor keys its files by its process id and holds a lock file for as
// long as it runs, so two editors running at once keep their own files and
// never take each other's. The paper itself is a paper file written the way a
// save writes one (replaced whole or left as it was); beside it a small
// description holds its file name, answer mode and number of questions.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "core/paperdocument.h"
#include "core/questionrecord.h"

namespace scrivane {

// What a recovery file holds.
struct RecoveredPaper {
    std::vector<QuestionRecord> rows;
    QString fileName;
    int answerType = -1;  // -1: not recorded
    // The current question as the edit panel showed it, typing not yet
    // written included; editedPosition 0 when the panel held no such typing.
    int editedPosition = 0;
    QuestionRecord edited;

    bool operator==(const RecoveredPaper&) const = default;
};

class RecoveryStore : public QObject {
    Q_OBJECT
public:
    // A change is written at most this long after it was made.
    static constexpr int kWriteDelayMs = 1000;

    // The folder "recovery" in a data folder, by default the user's
    // application data folder.
    static QString FolderIn(const QString& dataFolder) {
        return dataFolder + QStringLiteral("/recovery");
    }
    static QString DefaultFolder();

    RecoveryStore(PaperDocument& document, int answerType, const QString& folder = DefaultFolder(),
                  QObject* parent = nullptr);
    // A normal end: this editor's recovery file goes.
    ~RecoveryStore() override;

    QString Folder() const { return folder_; }
    QString Id() const { return id_; }
    // Whether this editor's recovery file exists.
    bool HasOwnFile() const;

    // The recovery files left by editors that are no longer running, oldest
    // first. Each stays reserved for this editor until taken or discarded.
    QStringList LeftOver();
    // Reads a left-over recovery file. Its files stay, reserved for this
    // editor, until its own copy is next written, so a crash in between still
    // leaves the paper; they go then, or when the paper is saved or the
    // session ends. A damaged one is set aside in the folder "damaged" and
    // nothing is returned; why says what is wrong and where the files went.
    std::optional<RecoveredPaper> Take(const QString& id, QString* why);
    // Deletes a left-over recovery file.
    void Discard(const QString& id);

    // Writes the modified paper, or the typing not yet written, at once (the
    // delayed write is done); removes the file when there is neither. False
    // when the write failed.
    bool WriteNow();
    // The end of the session: the file is removed and nothing more is written.
    void EndSession();

    // The files of one recovery, by their common path without extension. A
    // damaged description with a paper file that reads gives the paper alone.
    static bool Write(const QString& base, const RecoveredPaper& paper, QString* why);
    static std::optional<RecoveredPaper> Read(const QString& base, QString* why);

signals:
    // A write failed after the previous one had succeeded.
    void WriteFailed(const QString& reason);
    // After a failure, the paper is protected again: a write succeeded, or
    // the paper is no longer modified and needs no copy.
    void WriteRecovered();

private:
    static void KeepIdentity(const QString& base, const RecoveredPaper& paper);
    QString Base(const QString& id) const;
    void Schedule();
    bool HasTyping() const;
    void RemoveOwn();
    void RemoveTaken();
    void Release(const QString& id);
    QString SetAside(const QString& id);

    PaperDocument& document_;
    int answerType_;
    QString folder_;
    QString id_;
    std::unique_ptr<QLockFile> ownLock_;
    std::map<QString, std::unique_ptr<QLockFile>> reserved_;
    QStringList taken_;  // recovered, kept until the own copy is written
    std::optional<std::vector<QuestionRecord>> ownRows_;  // the questions in the own copy
    QTimer timer_;
    bool ended_ = false;
    bool lastWriteFailed_ = false;
};

}  // namespace scrivane
