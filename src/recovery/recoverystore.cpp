#include "recovery/recoverystore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>

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
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(info).toJson(QJsonDocument::Compact)) < 0 || !file.commit()) {
        if (why) *why = file.errorString();
        return false;
    }
    return true;
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

void RecoveryStore::Schedule() {
    if (ended_) return;
    if (!document_.Modified()) {
        timer_.stop();
        RemoveOwn();
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
    if (!document_.Modified()) {
        RemoveOwn();
        if (lastWriteFailed_) emit WriteRecovered();
        lastWriteFailed_ = false;
        return true;
    }
    QString why;
    const bool written =
        Write(Base(id_), {document_.Rows(), document_.FileName(), answerType_}, &why);
    if (!written && !lastWriteFailed_) emit WriteFailed(why);
    if (written && lastWriteFailed_) emit WriteRecovered();
    lastWriteFailed_ = !written;
    return written;
}

void RecoveryStore::RemoveOwn() {
    QFile::remove(Base(id_) + kPaperSuffix);
    QFile::remove(Base(id_) + kInfoSuffix);
}

void RecoveryStore::EndSession() {
    if (ended_) return;
    ended_ = true;
    timer_.stop();
    RemoveOwn();
    reserved_.clear();
    ownLock_.reset();
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
    return WriteInfo(base + kInfoSuffix, paper, why);
}

std::optional<RecoveredPaper> RecoveryStore::Read(const QString& base, QString* why) {
    auto fail = [why](const QString& reason) -> std::optional<RecoveredPaper> {
        if (why) *why = reason;
        return std::nullopt;
    };
    RecoveredPaper paper;
    int questions = -1;
    QFile infoFile(base + kInfoSuffix);
    if (infoFile.exists()) {
        if (!infoFile.open(QIODevice::ReadOnly) || infoFile.size() > 64 * 1024)
            return fail(QStringLiteral("The description of the paper cannot be read."));
        QJsonParseError error{};
        const QJsonDocument json = QJsonDocument::fromJson(infoFile.readAll(), &error);
        const QJsonObject info = json.object();
        if (error.error != QJsonParseError::NoError || !json.isObject() ||
            !info.value(QStringLiteral("fileName")).isString() ||
            !info.value(QStringLiteral("answerType")).isDouble() ||
            !info.value(QStringLiteral("questions")).isDouble())
            return fail(QStringLiteral("The description of the paper is damaged."));
        paper.fileName = info.value(QStringLiteral("fileName")).toString();
        paper.answerType = info.value(QStringLiteral("answerType")).toInt();
        questions = info.value(QStringLiteral("questions")).toInt(-1);
        if (questions < 0 || questions > kMaxQuestions)
            return fail(QStringLiteral("The description of the paper is damaged."));
    }
    // The paper file is written before its description, so when both are
    // there the paper file is the later word on the questions.
    if (QFile::exists(base + kPaperSuffix)) {
        const ImportReport report = ReadPaperFile(base + kPaperSuffix, paper.rows);
        if (report.outcome != ImportReport::Outcome::Imported)
            return fail(QStringLiteral("The questions cannot be read: %1").arg(report.reason));
    } else if (questions != 0) {
        return fail(QStringLiteral("The questions of the paper are missing."));
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
        if (id == id_ || ids.contains(id)) continue;
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
        QFile::remove(Base(id) + kPaperSuffix);
        QFile::remove(Base(id) + kInfoSuffix);
    } else {
        SetAside(id);
    }
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
// of the next start.
void RecoveryStore::SetAside(const QString& id) {
    const QString aside = folder_ + QStringLiteral("/damaged");
    QDir().mkpath(aside);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    for (const QString& suffix : {kPaperSuffix, kInfoSuffix}) {
        const QString from = Base(id) + suffix;
        if (!QFile::exists(from)) continue;
        const QString to = aside + u'/' + id + u'-' + stamp + suffix;
        if (!QFile::rename(from, to)) QFile::remove(from);
    }
}

}  // namespace scrivane
