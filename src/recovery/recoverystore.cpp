#include "recovery/recoverystore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <utility>

#include "core/moddule1.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

const QString kPaperSuffix = QStringLiteral(".tpf");
const QString kInfoSuffix = QStringLiteral(".json");
const QString kLockSuffix = QStringLiteral(".lock");

// A lock that counts as held only while its process runs, however old.
std::unique_ptr<QLockFile> TryLock(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path);
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) return nullptr;
    return lock;
}

bool WriteInfo(const QString& path, const RecoveredPaper& paper, QString* why) {
    QJsonObject info;
    info[QStringLiteral("fileName")] = paper.fileName;
    info[QStringLiteral("answerType")] = paper.answerType;
    info[QStringLiteral("questions")] = int(paper.rows.size());
    if (paper.editedPosition > 0) {
        const QuestionRecord& q = paper.edited;
        QJsonArray options;
        for (const QString& option : q.Items) options.append(option);
        info[QStringLiteral("edit")] = QJsonObject{
            {QStringLiteral("question"), paper.editedPosition},
            {QStringLiteral("mark"), double(q.Score)},
            {QStringLiteral("answer"), int(q.Answer)},
            {QStringLiteral("title"), q.Title},
            {QStringLiteral("options"), options},
        };
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(info).toJson(QJsonDocument::Compact)) < 0 || !file.commit()) {
        if (why) *why = file.errorString();
        return false;
    }
    return true;
}

// The edit of a description into paper; false when it is there but damaged.
bool ReadEdit(const QJsonObject& info, RecoveredPaper& paper) {
    const QJsonValue value = info.value(QStringLiteral("edit"));
    if (value.isUndefined()) return true;
    const QJsonObject edit = value.toObject();
    const QJsonArray options = edit.value(QStringLiteral("options")).toArray();
    const int position = edit.value(QStringLiteral("question")).toInt(0);
    const int answer = edit.value(QStringLiteral("answer")).toInt(-1);
    if (!value.isObject() || position < 1 || position > kMaxQuestions || answer < 0 ||
        answer > 255 || !edit.value(QStringLiteral("mark")).isDouble() ||
        !edit.value(QStringLiteral("title")).isString() || options.size() != 6)
        return false;
    QuestionRecord& q = paper.edited;
    q.QuestionNo = std::int16_t(position);
    q.Score = float(edit.value(QStringLiteral("mark")).toDouble());
    q.Answer = AnswerMask(answer);
    q.Title = edit.value(QStringLiteral("title")).toString();
    for (int i = 0; i < 6; ++i) {
        if (!options[i].isString()) return false;
        q.Items[std::size_t(i)] = options[i].toString();
    }
    paper.editedPosition = position;
    return true;
}

// The current question as the edit panel shows it, and its position, when
// typing not yet written makes it differ from the question as written; 0
// otherwise.
int ShownTyping(const QuestionTable& table, QuestionRecord& shown) {
    if (!table.HasCurrentRow() || !table.HasBoundEdit()) return 0;
    const int row = table.CurrentRow();
    shown = table.RecordAt(row);
    const QuestionRecord written = shown;
    shown.Score = table.Field(QuestionTable::Score).toFloat();
    shown.Answer = AnswerTextToMask(table.Field(QuestionTable::Answer).toString());
    shown.Title = table.Field(QuestionTable::Title).toString();
    for (int i = 0; i < 6; ++i)
        shown.Items[std::size_t(i)] = table.Field(QuestionTable::ItemA + i).toString();
    return shown == written ? 0 : row + 1;
}

}  // namespace

QString RecoveryStore::DefaultFolder() {
    return FolderIn(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation));
}

RecoveryStore::RecoveryStore(PaperDocument& document, int answerType, const QString& folder,
                             QObject* parent)
    : QObject(parent),
      document_(document),
      answerType_(answerType),
      folder_(folder),
      id_(QString::number(QCoreApplication::applicationPid())) {
    QDir().mkpath(folder_);
    ownLock_ = TryLock(Base(id_) + kLockSuffix);
    // Files under this id belong to an earlier editor that had the same
    // process id: they move to an id of their own, to be offered like any other.
    for (const QString& suffix : {kPaperSuffix, kInfoSuffix}) {
        const QString mine = Base(id_) + suffix;
        if (QFile::exists(mine))
            QFile::rename(
                mine,
                Base(id_ + u'-' + QString::number(QDateTime::currentMSecsSinceEpoch())) + suffix);
    }

    timer_.setSingleShot(true);
    timer_.setInterval(kWriteDelayMs);
    connect(&timer_, &QTimer::timeout, this, &RecoveryStore::WriteNow);
    connect(&document_, &PaperDocument::Changed, this, &RecoveryStore::Schedule);
    connect(&document_, &PaperDocument::ModifiedChanged, this, &RecoveryStore::Schedule);
    connect(&document_, &PaperDocument::FileNameChanged, this, &RecoveryStore::Schedule);
    // Typing in the edit panel is held by the table until it is written.
    connect(&document_.Table(), &QAbstractItemModel::dataChanged, this, &RecoveryStore::Schedule);
    // The replaced paper lives on in the undo history, not here.
    connect(&document_, &PaperDocument::Replaced, this, [this] {
        RemoveOwn();
        Schedule();
    });
}

RecoveryStore::~RecoveryStore() {
    EndSession();
}

QString RecoveryStore::Base(const QString& id) const {
    return folder_ + u'/' + id;
}

bool RecoveryStore::HasOwnFile() const {
    return QFile::exists(Base(id_) + kInfoSuffix) || QFile::exists(Base(id_) + kPaperSuffix);
}

bool RecoveryStore::HasTyping() const {
    return document_.Table().HasBoundEdit();
}

void RecoveryStore::Schedule() {
    if (ended_) return;
    if (!document_.Modified() && !HasTyping()) {
        timer_.stop();
        RemoveOwn();
        RemoveTaken();
        if (lastWriteFailed_) emit WriteRecovered();
        lastWriteFailed_ = false;
    } else if (!timer_.isActive()) {
        // Not restarted by later changes, so a change waits no longer than this.
        timer_.start();
    }
}

bool RecoveryStore::WriteNow() {
    timer_.stop();
    if (ended_) return true;
    RecoveredPaper paper;
    paper.fileName = document_.FileName();
    paper.answerType = answerType_;
    paper.editedPosition = ShownTyping(document_.Table(), paper.edited);
    if (!document_.Modified() && paper.editedPosition == 0) {
        RemoveOwn();
        RemoveTaken();
        if (lastWriteFailed_) emit WriteRecovered();
        lastWriteFailed_ = false;
        return true;
    }
    paper.rows = document_.Rows();
    QString why;
    // Typing alone leaves the questions as they were: only the description
    // is written again.
    const bool rowsKept = ownRows_ && *ownRows_ == paper.rows && !paper.rows.empty() &&
                          QFile::exists(Base(id_) + kPaperSuffix);
    const bool written =
        rowsKept ? WriteInfo(Base(id_) + kInfoSuffix, paper, &why) : Write(Base(id_), paper, &why);
    if (written)
        ownRows_ = std::move(paper.rows);
    else
        ownRows_.reset();
    if (!written && !lastWriteFailed_) emit WriteFailed(why);
    if (written && lastWriteFailed_) emit WriteRecovered();
    lastWriteFailed_ = !written;
    // The recovered paper is safe in this editor's own copy now.
    if (written) RemoveTaken();
    return written;
}

void RecoveryStore::RemoveOwn() {
    ownRows_.reset();
    QFile::remove(Base(id_) + kPaperSuffix);
    QFile::remove(Base(id_) + kInfoSuffix);
}

void RecoveryStore::RemoveTaken() {
    for (const QString& id : std::exchange(taken_, {})) {
        QFile::remove(Base(id) + kPaperSuffix);
        QFile::remove(Base(id) + kInfoSuffix);
        Release(id);
    }
}

void RecoveryStore::EndSession() {
    if (ended_) return;
    ended_ = true;
    timer_.stop();
    RemoveOwn();
    RemoveTaken();
    reserved_.clear();
    ownLock_.reset();
}

// The copy keeps the identity the paper's file carries, so that the answer
// sheets printed from it still grade against what is recovered.
void RecoveryStore::KeepIdentity(const QString& base, const RecoveredPaper& paper) {
    if (paper.fileName.isEmpty()) return;
    const QString identity = ReadPaperIdentity(paper.fileName);
    if (!identity.isEmpty()) WritePaperIdentity(base + kPaperSuffix, identity);
}

bool RecoveryStore::Write(const QString& base, const RecoveredPaper& paper, QString* why) {
    if (paper.rows.empty()) {
        // A paper file holds at least one question: an empty paper is the
        // description alone.
        if (!WriteInfo(base + kInfoSuffix, paper, why)) return false;
        QFile::remove(base + kPaperSuffix);
        return true;
    }
    const ExportResult result = WritePaperFile(base + kPaperSuffix, paper.rows);
    if (!result.WasWritten()) {
        if (why) *why = result.reason;
        return false;
    }
    KeepIdentity(base, paper);
    return WriteInfo(base + kInfoSuffix, paper, why);
}

std::optional<RecoveredPaper> RecoveryStore::Read(const QString& base, QString* why) {
    auto fail = [why](const QString& reason) -> std::optional<RecoveredPaper> {
        if (why) *why = reason;
        return std::nullopt;
    };
    RecoveredPaper paper;
    int questions = -1;
    QString damaged;  // why the description cannot be used
    QFile infoFile(base + kInfoSuffix);
    if (infoFile.exists()) {
        if (!infoFile.open(QIODevice::ReadOnly) || infoFile.size() > 64 * 1024) {
            damaged = QStringLiteral("The description of the paper cannot be read.");
        } else {
            QJsonParseError error{};
            const QJsonDocument json = QJsonDocument::fromJson(infoFile.readAll(), &error);
            const QJsonObject info = json.object();
            questions = info.value(QStringLiteral("questions")).toInt(-1);
            if (error.error != QJsonParseError::NoError || !json.isObject() ||
                !info.value(QStringLiteral("fileName")).isString() ||
                !info.value(QStringLiteral("answerType")).isDouble() ||
                !info.value(QStringLiteral("questions")).isDouble() || questions < 0 ||
                questions > kMaxQuestions || !ReadEdit(info, paper)) {
                damaged = QStringLiteral("The description of the paper is damaged.");
            } else {
                paper.fileName = info.value(QStringLiteral("fileName")).toString();
                paper.answerType = info.value(QStringLiteral("answerType")).toInt();
            }
        }
        if (!damaged.isEmpty()) {
            // The questions may still be whole: they are recovered without
            // their name and typing.
            paper = {};
            questions = -1;
        }
    }
    // The paper file is written before its description, so when both are
    // there the paper file is the later word on the questions.
    if (QFile::exists(base + kPaperSuffix)) {
        const ImportReport report = ReadPaperFile(base + kPaperSuffix, paper.rows);
        if (report.outcome != ImportReport::Outcome::Imported) {
            if (!damaged.isEmpty()) return fail(damaged);
            return fail(QStringLiteral("The questions cannot be read: %1").arg(report.reason));
        }
    } else if (!damaged.isEmpty()) {
        return fail(damaged);
    } else if (questions != 0) {
        return fail(QStringLiteral("The questions of the paper are missing."));
    }
    // Typing on a question the paper no longer has belongs to another paper.
    if (paper.editedPosition > int(paper.rows.size())) {
        paper.editedPosition = 0;
        paper.edited = {};
    }
    return paper;
}

QStringList RecoveryStore::LeftOver() {
    QStringList ids;
    const QFileInfoList files = QDir(folder_).entryInfoList(
        {QStringLiteral("*") + kPaperSuffix, QStringLiteral("*") + kInfoSuffix}, QDir::Files,
        QDir::Time | QDir::Reversed);
    for (const QFileInfo& file : files) {
        const QString id = file.completeBaseName();
        if (id == id_ || ids.contains(id) || taken_.contains(id)) continue;
        if (!reserved_.count(id)) {
            auto lock = TryLock(Base(id) + kLockSuffix);
            if (!lock) continue;  // its editor is still running
            reserved_[id] = std::move(lock);
        }
        ids.push_back(id);
    }
    return ids;
}

void RecoveryStore::Release(const QString& id) {
    reserved_.erase(id);  // unlocking removes the lock file
}

std::optional<RecoveredPaper> RecoveryStore::Take(const QString& id, QString* why) {
    if (!reserved_.count(id) && !LeftOver().contains(id)) {
        if (why) *why = QStringLiteral("The paper belongs to an editor that is still running.");
        return std::nullopt;
    }
    auto paper = Read(Base(id), why);
    if (paper) {
        taken_.push_back(id);  // its lock stays with this editor
        return paper;
    }
    const QString aside = SetAside(id);
    if (why && !aside.isEmpty())
        *why += QStringLiteral("\nIts files were set aside in %1.")
                    .arg(QDir::toNativeSeparators(aside));
    Release(id);
    return paper;
}

void RecoveryStore::Discard(const QString& id) {
    if (!reserved_.count(id) && !LeftOver().contains(id)) return;
    QFile::remove(Base(id) + kPaperSuffix);
    QFile::remove(Base(id) + kInfoSuffix);
    Release(id);
}

// A damaged recovery is kept for whoever wants to look at it, out of the way
// of the next start. The folder it went to, empty when nothing was moved.
QString RecoveryStore::SetAside(const QString& id) {
    const QString aside = folder_ + QStringLiteral("/damaged");
    QDir().mkpath(aside);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    bool moved = false;
    for (const QString& suffix : {kPaperSuffix, kInfoSuffix}) {
        const QString from = Base(id) + suffix;
        if (!QFile::exists(from)) continue;
        const QString to = aside + u'/' + id + u'-' + stamp + suffix;
        if (QFile::rename(from, to))
            moved = true;
        else
            QFile::remove(from);
    }
    return moved ? aside : QString();
}

}  // namespace scrivane
