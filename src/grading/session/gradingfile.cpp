#include "grading/session/gradingfile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <algorithm>
#include <cmath>

#include <pwd.h>
#include <sys/stat.h>

#include "grading/scores/grades.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

constexpr int kFormat = 1;
// A grading file is a few megabytes at most; anything far larger is not one.
constexpr qint64 kMaxGradingFile = qint64(256) << 20;

QString Tr(const char* text) {
    return QCoreApplication::translate("GradingFile", text);
}

// The letters of an answer as the file keeps them ("AC", "" for none); false
// for anything else.
bool FromLetters(const QString& letters, AnswerMask* mask) {
    *mask = letters.isEmpty() ? 0 : AnswerTextToMask(letters);
    return letters.isEmpty() || (*mask != 0 && letters == letters.toUpper());
}

bool AllDigits(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// A bubble's state in the grading file: '.' empty and 'x' marked as read,
// '?' unclear, 'o' and 'X' emptied and marked by the teacher.
QChar MarkLetter(const SheetBubbleState& state) {
    switch (state.mark) {
        case BubbleRead::Mark::Marked:
            return state.corrected ? u'X' : u'x';
        case BubbleRead::Mark::Unclear:
            return u'?';
        case BubbleRead::Mark::Empty:
            break;
    }
    return state.corrected ? u'o' : u'.';
}

bool FromMarkLetter(QChar letter, SheetBubbleState* state) {
    const char c = char(letter.unicode() < 128 ? letter.unicode() : 0);
    state->mark = (c == 'x' || c == 'X') ? BubbleRead::Mark::Marked
                  : c == '?'             ? BubbleRead::Mark::Unclear
                                         : BubbleRead::Mark::Empty;
    state->corrected = c == 'X' || c == 'o';
    return c == '.' || c == 'x' || c == 'X' || c == 'o' || c == '?';
}

double Rounded(double value) {
    return std::round(value * 100) / 100;
}

// Whether two sheets' bubbles stand in the same places, as the grading file
// keeps them.
bool SameLayout(const GradingSheet& a, const GradingSheet& b) {
    if (a.bubbles.size() != b.bubbles.size() ||
        Rounded(a.pageSize.width()) != Rounded(b.pageSize.width()) ||
        Rounded(a.pageSize.height()) != Rounded(b.pageSize.height()))
        return false;
    for (std::size_t i = 0; i < a.bubbles.size(); ++i) {
        const SheetBubble &x = a.bubbles[i].bubble, &y = b.bubbles[i].bubble;
        if (x.kind != y.kind || x.question != y.question || x.source != y.source ||
            x.option != y.option || x.position != y.position || x.digit != y.digit ||
            Rounded(x.centre.x()) != Rounded(y.centre.x()) ||
            Rounded(x.centre.y()) != Rounded(y.centre.y()) || Rounded(x.r) != Rounded(y.r))
            return false;
    }
    return true;
}

// Pages as the grading file keeps them: "1-80,82,90-91".
QString PageRanges(const std::set<int>& pages) {
    QStringList ranges;
    for (auto at = pages.begin(); at != pages.end();) {
        const int first = *at;
        int last = first;
        for (++at; at != pages.end() && *at == last + 1; ++at) last = *at;
        ranges << (first == last ? QString::number(first)
                                 : QStringLiteral("%1-%2").arg(first).arg(last));
    }
    return ranges.join(u',');
}

bool FromPageRanges(const QString& text, int pages, std::set<int>* read) {
    if (text.isEmpty()) return true;
    for (const QString& range : text.split(u',')) {
        const QStringList ends = range.split(u'-');
        bool ok1 = false, ok2 = false;
        const int first = ends.value(0).toInt(&ok1);
        const int last = ends.size() == 2 ? ends[1].toInt(&ok2) : first;
        if (!ok1 || (ends.size() == 2 && !ok2) || ends.size() > 2 || first < 1 || last < first ||
            last > pages)
            return false;
        for (int page = first; page <= last; ++page) read->insert(page);
    }
    return true;
}

void ScanPagesToJson(const GradingContent& grading, QJsonObject& root) {
    QJsonArray scans;
    for (const QString& scan : grading.scans)
        if (const auto found = grading.scanPages.find(scan); found != grading.scanPages.end())
            scans.append(QJsonObject{{"file", scan},
                                     {"pages", found->second.pages},
                                     {"read", PageRanges(found->second.read)}});
    root["scan_pages"] = scans;
}

// A file written before the pages were kept has none: its scans count as read.
bool ScanPagesFromJson(const QJsonObject& root, GradingContent& grading) {
    if (!root.contains("scan_pages")) return true;
    if (!root["scan_pages"].isArray()) return false;
    for (const QJsonValue& value : root["scan_pages"].toArray()) {
        const QJsonObject o = value.toObject();
        if (!o["file"].isString() || !o["pages"].isDouble() || !o["read"].isString()) return false;
        ScanPages pages;
        pages.pages = o["pages"].toInt();
        if (pages.pages < 0 || !FromPageRanges(o["read"].toString(), pages.pages, &pages.read))
            return false;
        grading.scanPages[o["file"].toString()] = std::move(pages);
    }
    return true;
}

// What a file's stat says, or nothing when there is no such file.
std::optional<struct stat> StatOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return st;
}

// What identifies a file's content on disk: a safe write renames a new file
// over it, so its inode changes with every write, and its time and size too.
QString DiskStamp(const QString& path) {
    const std::optional<struct stat> st = StatOf(path);
    if (!st) return {};
    return QStringLiteral("%1:%2:%3.%4")
        .arg(qulonglong(st->st_ino))
        .arg(qlonglong(st->st_size))
        .arg(qlonglong(st->st_mtim.tv_sec))
        .arg(qlonglong(st->st_mtim.tv_nsec));
}

qint64 ModifiedNs(const QString& path) {
    const std::optional<struct stat> st = StatOf(path);
    return st ? qint64(st->st_mtim.tv_sec) * 1'000'000'000 + st->st_mtim.tv_nsec : -1;
}

}  // namespace

// --- The JSON ------------------------------------------------------------------

QByteArray GradingToJson(const GradingContent& grading, const QString& paperPath) {
    QJsonObject root;
    root["format"] = kFormat;
    root["paper"] = QFileInfo(paperPath).absoluteFilePath();
    root["scans"] = QJsonArray::fromStringList(grading.scans);
    const GradingAdjustments& adjustments = grading.adjustments;
    if (!adjustments.classCsv.isEmpty())
        root["class_list"] = QString::fromUtf8(adjustments.classCsv);
    QJsonArray also;
    for (const auto& [question, masks] : adjustments.alsoAccept) {
        QJsonArray letters;
        for (const AnswerMask mask : masks) letters.append(MarkedLetters(mask));
        also.append(QJsonObject{{"question", question}, {"answers", letters}});
    }
    root["also_accept"] = also;
    QJsonArray giveAll;
    for (const auto& [question, given] : adjustments.giveAll) giveAll.append(question);
    root["give_all"] = giveAll;
    if (!grading.gradedShape.isEmpty())
        root["paper_shape"] = QJsonArray::fromStringList(grading.gradedShape);

    // The sheets of one version share where their bubbles are: each layout
    // is kept once, and a sheet keeps only its marks.
    QJsonArray layouts;
    std::vector<const GradingSheet*> shown;  // a sheet of each layout
    const auto LayoutIndex = [&](const GradingSheet& sheet) {
        for (std::size_t i = 0; i < shown.size(); ++i)
            if (SameLayout(*shown[i], sheet)) return int(i);
        shown.push_back(&sheet);
        // [kind (0 answer, 1 student), question or place, source or digit, letter, x, y, r]
        QJsonArray bubbles;
        for (const SheetBubbleState& state : sheet.bubbles) {
            const SheetBubble& b = state.bubble;
            const bool answer = b.kind == SheetBubble::Kind::Answer;
            bubbles.append(QJsonArray{answer ? 0 : 1, answer ? b.question : b.position,
                                      answer ? b.source : b.digit,
                                      answer ? QString(b.option) : QString(), Rounded(b.centre.x()),
                                      Rounded(b.centre.y()), Rounded(b.r)});
        }
        layouts.append(QJsonObject{{"width", Rounded(sheet.pageSize.width())},
                                   {"height", Rounded(sheet.pageSize.height())},
                                   {"bubbles", bubbles}});
        return int(shown.size() - 1);
    };

    QJsonArray sheets;
    for (const GradingSheet& sheet : grading.sheets) {
        QJsonObject o;
        o["id"] = sheet.id;
        if (sheet.byHand) {
            o["by_hand"] = true;
            o["version"] = sheet.version;
            QJsonArray answers;
            for (const AnswerMask mask : sheet.handAnswers) answers.append(MarkedLetters(mask));
            o["answers"] = answers;
            if (!sheet.handPrinted.isEmpty())
                o["printed"] = QJsonArray::fromStringList(sheet.handPrinted);
        } else {
            o["file"] = sheet.file;
            o["page"] = sheet.page;
            o["reasons"] = QJsonArray::fromStringList(sheet.readReasons);
        }
        if (sheet.unreadable) o["unreadable"] = true;
        if (!sheet.byHand && !sheet.unreadable) {
            o["code"] = QString::fromLatin1(sheet.code);
            o["version"] = sheet.version;
            if (!sheet.printedVersion.isEmpty()) o["printed_version"] = sheet.printedVersion;
            o["layout"] = LayoutIndex(sheet);
            QString marks(qsizetype(sheet.bubbles.size()), u'.');
            for (std::size_t i = 0; i < sheet.bubbles.size(); ++i)
                marks[qsizetype(i)] = MarkLetter(sheet.bubbles[i]);
            o["marks"] = marks;
        }
        if (!sheet.typedStudent.isEmpty()) o["student"] = sheet.typedStudent;
        if (sheet.accepted) o["accepted"] = true;
        sheets.append(o);
    }
    root["layouts"] = layouts;
    root["sheets"] = sheets;
    ScanPagesToJson(grading, root);
    // Compact: a pile of a few hundred sheets holds a few hundred thousand bubbles.
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

std::optional<GradingContent> GradingFromJson(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject root = document.object();
    if (root["format"].toInt() != kFormat) return std::nullopt;
    if (!root["scans"].isArray() || !root["sheets"].isArray()) return std::nullopt;
    GradingContent grading;
    GradingAdjustments& adjustments = grading.adjustments;
    bool ok = true;
    const auto text = [&ok](const QJsonValue& v) {
        if (!v.isString()) ok = false;
        return v.toString();
    };
    const auto number = [&ok](const QJsonValue& v) {
        if (!v.isDouble()) ok = false;
        return v.toDouble();
    };

    for (const QJsonValue& scan : root["scans"].toArray()) grading.scans << text(scan);
    for (const QJsonValue& key : root["paper_shape"].toArray()) grading.gradedShape << text(key);
    if (root.contains("class_list")) {
        adjustments.classCsv = text(root["class_list"]).toUtf8();
        if (!ClassList::FromStored(adjustments.classCsv)) return std::nullopt;
    }
    for (const QJsonValue& v : root["also_accept"].toArray()) {
        const int question = int(number(v["question"]));
        for (const QJsonValue& letters : v["answers"].toArray()) {
            AnswerMask mask = 0;
            const bool valid = FromLetters(text(letters), &mask);
            ok = ok && valid && mask;
            adjustments.alsoAccept[question].push_back(mask);
        }
    }
    for (const QJsonValue& v : root["give_all"].toArray())
        adjustments.giveAll[int(number(v))] = true;

    std::vector<GradingSheet> layouts;  // only their page size and bubbles
    for (const QJsonValue& value : root["layouts"].toArray()) {
        GradingSheet layout;
        layout.pageSize = QSizeF(number(value["width"]), number(value["height"]));
        for (const QJsonValue& b : value["bubbles"].toArray()) {
            const QJsonArray a = b.toArray();
            if (a.size() != 7) return std::nullopt;
            SheetBubbleState state;
            SheetBubble& bubble = state.bubble;
            const bool answer = number(a[0]) == 0;
            bubble.kind = answer ? SheetBubble::Kind::Answer : SheetBubble::Kind::Student;
            (answer ? bubble.question : bubble.position) = int(number(a[1]));
            (answer ? bubble.source : bubble.digit) = int(number(a[2]));
            const QString letter = text(a[3]);
            if (answer) {
                if (letter.size() != 1) return std::nullopt;
                bubble.option = letter[0];
            }
            bubble.centre = QPointF(number(a[4]), number(a[5]));
            bubble.r = number(a[6]);
            layout.bubbles.push_back(state);
        }
        if (!ok) return std::nullopt;
        layouts.push_back(std::move(layout));
    }

    std::set<int> ids;
    for (const QJsonValue& value : root["sheets"].toArray()) {
        if (!value.isObject()) return std::nullopt;
        const QJsonObject o = value.toObject();
        GradingSheet sheet;
        sheet.id = int(number(o["id"]));
        if (sheet.id < 1 || !ids.insert(sheet.id).second) return std::nullopt;
        sheet.byHand = o["by_hand"].toBool();
        sheet.unreadable = o["unreadable"].toBool();
        sheet.accepted = o["accepted"].toBool();
        if (o.contains("student")) {
            sheet.typedStudent = text(o["student"]);
            if (!AllDigits(sheet.typedStudent)) return std::nullopt;
        }
        if (sheet.byHand) {
            sheet.page = 0;
            sheet.version = text(o["version"]);
            for (const QJsonValue& letters : o["answers"].toArray()) {
                AnswerMask mask = 0;
                ok = FromLetters(text(letters), &mask) && ok;
                sheet.handAnswers.push_back(mask);
            }
            for (const QJsonValue& letters : o["printed"].toArray())
                sheet.handPrinted << text(letters);
        } else {
            sheet.file = text(o["file"]);
            sheet.page = int(number(o["page"]));
            for (const QJsonValue& reason : o["reasons"].toArray())
                sheet.readReasons << text(reason);
        }
        if (!sheet.byHand && !sheet.unreadable) {
            sheet.code = text(o["code"]).toLatin1();
            if (!SheetCode::Decode(sheet.code)) return std::nullopt;
            sheet.version = text(o["version"]);
            if (o.contains("printed_version")) sheet.printedVersion = text(o["printed_version"]);
            const int at = int(number(o["layout"]));
            const QString marks = text(o["marks"]);
            if (at < 0 || std::size_t(at) >= layouts.size() ||
                std::size_t(marks.size()) != layouts[std::size_t(at)].bubbles.size())
                return std::nullopt;
            const GradingSheet& layout = layouts[std::size_t(at)];
            sheet.pageSize = layout.pageSize;
            sheet.bubbles = layout.bubbles;
            for (std::size_t i = 0; i < sheet.bubbles.size(); ++i)
                if (!FromMarkLetter(marks[qsizetype(i)], &sheet.bubbles[i])) return std::nullopt;
        }
        if (!ok) return std::nullopt;
        grading.sheets.push_back(std::move(sheet));
    }
    if (!ok || !ScanPagesFromJson(root, grading)) return std::nullopt;
    return grading;
}

// --- Where the file is kept ------------------------------------------------------

GradingFile::GradingFile(QString paperPath, QString dataFolder)
    : paperPath_(std::move(paperPath)), dataFolder_(std::move(dataFolder)) {}

GradingFile::~GradingFile() = default;

QString GradingFile::LocalFile() const {
    return QFileInfo(paperPath_).absoluteFilePath() + QStringLiteral(".grades.json");
}

QString GradingFile::DataFile() const {
    const QFileInfo paper(paperPath_);
    // Two papers of the same name in different folders never share a file.
    const QByteArray digest =
        QCryptographicHash::hash(paper.absoluteFilePath().toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(16);
    return QDir(dataFolder_)
        .filePath(QStringLiteral("grades/") + paper.fileName() + u'-' +
                  QString::fromLatin1(digest) + QStringLiteral(".grades.json"));
}

QString GradingFile::Path() const {
    const QString local = LocalFile();
    const QFileInfo info(local);
    const bool writable = info.exists()
                              ? info.isWritable() && QFileInfo(info.absolutePath()).isWritable()
                              : QFileInfo(info.absolutePath()).isWritable();
    return writable || dataFolder_.isEmpty() ? local : DataFile();
}

QString GradingFile::Newer() const {
    const QString local = LocalFile(), data = dataFolder_.isEmpty() ? QString() : DataFile();
    const qint64 localTime = ModifiedNs(local), dataTime = data.isEmpty() ? -1 : ModifiedNs(data);
    if (localTime < 0 && dataTime < 0) return Path();
    return dataTime > localTime ? data : local;
}

GradingFile::Read GradingFile::Load(const QString& path) {
    Read result;
    readFrom_ = QFileInfo::exists(path) ? path : QString();
    if (!readFrom_.isEmpty()) {
        QFile file(path);
        if (QFileInfo(path).isFile() && file.size() <= kMaxGradingFile &&
            file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            file.close();
            result.grading = GradingFromJson(bytes);
        }
        if (!result.grading) {
            QString aside = path + QStringLiteral(".damaged");
            for (int n = 2; QFileInfo::exists(aside); ++n)
                aside = path + QStringLiteral(".damaged-%1").arg(n);
            if (QFile::rename(path, aside)) {
                result.setAsideAs = aside;
                result.damaged =
                    Tr("The grading file %1 is damaged. It was set aside as %2, "
                       "and grading starts empty.")
                        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(aside));
            } else {
                result.blocked = true;
                result.damaged = Tr("The grading file %1 is damaged and cannot be set aside: "
                                    "grading starts empty and is not kept.")
                                     .arg(QDir::toNativeSeparators(path));
            }
        }
    }
    // As it stands once read (or set aside): what a later change on disk is told from.
    NoteOnDisk();
    return result;
}

QString GradingFile::Write(const GradingContent& grading) {
    const QString path = Path();
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString error = WriteBytesSafely(path, GradingToJson(grading, paperPath_));
    NoteOnDisk();
    return error;
}

// --- One window at a time ---------------------------------------------------------

void GradingFile::TakeLock() {
    const QString path = Path() + QStringLiteral(".lock");
    if (lock_ && lock_->fileName() == path && lock_->isLocked()) return;
    lock_.reset();
    readOnly_ = false;
    heldBy_.clear();
    QDir().mkpath(QFileInfo(path).absolutePath());
    auto lock = std::make_unique<QLockFile>(path);
    // Held for as long as the window is open: only a dead owner's lock is
    // taken over, never one that is merely old.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        lock_ = std::move(lock);
        return;
    }
    if (lock->error() != QLockFile::LockFailedError) return;  // no lock can be kept here
    readOnly_ = true;
    qint64 pid = 0;
    QString host, program;
    lock->getLockInfo(&pid, &host, &program);
    QString user;
    if (const std::optional<struct stat> st = StatOf(path))
        if (const passwd* owner = ::getpwuid(st->st_uid))
            user = QString::fromLocal8Bit(owner->pw_name);
    heldBy_ = Tr("%1 (process %2)").arg(program.isEmpty() ? Tr("a program") : program).arg(pid);
    if (!user.isEmpty()) heldBy_ += Tr(" of %1").arg(user);
    if (!host.isEmpty()) heldBy_ += Tr(" on %1").arg(host);
}

bool GradingFile::ChangedOnDisk() const {
    const QString path = Path();
    const auto known = onDisk_.find(path);
    const QString now = DiskStamp(path);
    // A file that appeared since, or changed since it was last seen here.
    return known == onDisk_.end() ? !now.isEmpty() : now != known->second;
}

void GradingFile::TakeOnDisk() {
    onDisk_[Path()] = DiskStamp(Path());
}

void GradingFile::NoteOnDisk() {
    onDisk_.clear();
    for (const QString& path : {LocalFile(), dataFolder_.isEmpty() ? QString() : DataFile()})
        if (!path.isEmpty()) onDisk_[path] = DiskStamp(path);
}

QString GradingFile::Text() const {
    const QString kept = QDir::toNativeSeparators(Path());
    if (!readFrom_.isEmpty() && readFrom_ != Path())
        return Tr("Kept in %1 (read from the newer %2)")
            .arg(kept, QDir::toNativeSeparators(readFrom_));
    return Tr("Kept in %1").arg(kept);
}

}  // namespace scrivane
