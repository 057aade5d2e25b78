#include "grading/session/gradingsession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSet>
#include <QUndoCommand>
#include <algorithm>
#include <cmath>
#include <set>

#include <pwd.h>
#include <sys/stat.h>

#include "grading/batchrunner.h"
#include "grading/gradesreport.h"
#include "grading/sheettranslator.h"
#include "grading/scanpages.h"
#include "grading/session/gradeworkbook.h"
#include "interchange/csv.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

constexpr int kFormat = 1;
// Scans without a resolution of their own are taken as a scanner's usual one.
constexpr double kFallbackDpi = 200;
// A grading file is a few megabytes at most; anything far larger is not one.
constexpr qint64 kMaxGradingFile = qint64(256) << 20;
// While a pile is read, the file is written every so many pages and at the end.
constexpr int kPagesPerSave = 20;

AnswerMask MaskOf(const QString& letters, bool* ok) {
    AnswerMask mask = 0;
    *ok = true;
    for (const QChar c : letters) {
        const int bit = c.unicode() - u'A';
        if (bit < 0 || bit >= 6)
            *ok = false;
        else
            mask |= AnswerMask(1 << bit);
    }
    return mask;
}

bool AllDigits(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

std::vector<DigitRead> DigitsOf(const QString& number) {
    std::vector<DigitRead> digits(std::size_t(number.size()));
    for (qsizetype i = 0; i < number.size(); ++i)
        digits[std::size_t(i)].marked = (unsigned short)(1 << (number[i].unicode() - u'0'));
    return digits;
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

}  // namespace

bool AnswerLooksWrong(const QuestionStatistics& question) {
    if (!question.answer) return false;
    bool chosenOverKey = false, goesWithTotal = false;
    for (std::size_t o = 0; o < question.options.size(); ++o) {
        if (question.answer->contains(question.options[o].first)) continue;
        // A distractor the best students prefer to the key.
        if (o < question.upper.size() && question.upper[o] > question.upperCorrect)
            chosenOverKey = true;
        if (o < question.optionPointBiserial.size() && question.optionPointBiserial[o] &&
            *question.optionPointBiserial[o] > 0.2)
            goesWithTotal = true;
    }
    return chosenOverKey ||
           (question.pointBiserial && *question.pointBiserial < 0 && goesWithTotal);
}

QString QuestionFlag(const QuestionStatistics& question) {
    if (AnswerLooksWrong(question)) return QStringLiteral("Check the answer");
    // A question given to everyone was already judged by the teacher.
    const bool judged = question.givenToAll;
    if (!judged && question.p && *question.p < 0.2) return QStringLiteral("Too hard");
    if (!judged && question.p && *question.p > 0.95) return QStringLiteral("Too easy");
    if (question.pointBiserial && *question.pointBiserial < 0.2) return QStringLiteral("Weak");
    return {};
}

const QStringList& ScanSuffixes() {
    static const QStringList suffixes{QStringLiteral("pdf"), QStringLiteral("png"),
                                      QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                      QStringLiteral("tif"), QStringLiteral("tiff")};
    return suffixes;
}

bool IsScanFile(const QString& path) {
    return ScanSuffixes().contains(QFileInfo(path).suffix().toLower());
}

QStringList ScanPatterns() {
    QStringList patterns;
    for (const QString& suffix : ScanSuffixes()) patterns << QStringLiteral("*.") + suffix;
    return patterns;
}

QStringList ScanFilesIn(const QString& folder) {
    QStringList files;
    const QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(ScanPatterns(), QDir::Files | QDir::Readable,
                                                   QDir::Name | QDir::IgnoreCase))
        files << info.filePath();
    return files;
}

// A correction of sheets: each one as it was and as it becomes (none when
// it is not there), with the list of scans before and after.
class SheetsCommand : public QUndoCommand {
public:
    struct Change {
        int id = 0;
        int index = 0;  // where the sheet stands, or comes back
        std::optional<GradingSheet> before, after;
    };
    SheetsCommand(GradingSession* session, const QString& text, std::vector<Change> changes,
                  QStringList scansBefore, QStringList scansAfter)
        : QUndoCommand(text),
          session_(session),
          changes_(std::move(changes)),
          scansBefore_(std::move(scansBefore)),
          scansAfter_(std::move(scansAfter)) {}

    void redo() override { Apply(false); }
    void undo() override { Apply(true); }

private:
    void Apply(bool back) {
        // Removed first, then put back or in place in their order, so that
        // every index is that of the list as it was.
        for (const Change& c : changes_)
            if (!(back ? c.before : c.after)) session_->PutSheet(c.index, std::nullopt, c.id);
        for (const Change& c : changes_)
            if (const auto& sheet = back ? c.before : c.after)
                session_->PutSheet(c.index, sheet, c.id);
        session_->scans_ = back ? scansBefore_ : scansAfter_;
        session_->Touched();
    }

    GradingSession* session_;
    std::vector<Change> changes_;
    QStringList scansBefore_, scansAfter_;
};

class AdjustCommand : public QUndoCommand {
public:
    AdjustCommand(GradingSession* session, const QString& text, GradingSession::Adjustments before,
                  GradingSession::Adjustments after)
        : QUndoCommand(text),
          session_(session),
          before_(std::move(before)),
          after_(std::move(after)) {}
    void redo() override { session_->SetAdjustments(after_); }
    void undo() override { session_->SetAdjustments(before_); }

private:
    GradingSession* session_;
    GradingSession::Adjustments before_, after_;
};

GradingSession::GradingSession(QString paperPath, QString dataFolder,
                               std::vector<QuestionRecord> paper, QString modeLetters,
                               QObject* parent)
    : QObject(parent), paperPath_(std::move(paperPath)), dataFolder_(std::move(dataFolder)) {
    SetPaper(std::move(paper), std::move(modeLetters));
}

GradingSession::~GradingSession() {
    // The reading's thread must end before what it reads with goes.
    delete runner_;
    runner_ = nullptr;
    // The pages read since the last write are not lost with the window.
    if (unsavedPages_ > 0) Save();
}

// --- The paper ---------------------------------------------------------------

void GradingSession::SetPaper(std::vector<QuestionRecord> paper, QString modeLetters) {
    key_ = std::make_unique<AnswerKey>(paper, modeLetters);
    translator_ = std::make_unique<SheetTranslator>(paper);
    modeLetters_ = modeLetters;
    paperDigest_ = PaperDigest(paper, modeLetters);
    legacyDigest_ = PaperDigest(paper, modeLetters, KeptOptionsRule::Phrases);
    textDigest_ = TextDigest(paper);
    paperId_ = ReadPaperIdentity(paperPath_);
    {
        const std::lock_guard lock(readerMutex_);
        reader_ =
            std::make_shared<const SheetReader>(std::move(paper), std::move(modeLetters), paperId_);
    }
    reads_.clear();
    Recompute();
    emit Changed();
}

const std::vector<QuestionRecord>& GradingSession::Paper() const {
    return key_->Paper();
}

std::shared_ptr<const SheetReader> GradingSession::Reader() const {
    const std::lock_guard lock(readerMutex_);
    return reader_;
}

// --- Scores ------------------------------------------------------------------

const SheetRead& GradingSession::ToRead(const GradingSheet& sheet) {
    auto found = reads_.find(sheet.id);
    if (found != reads_.end()) return found->second;
    SheetRead read;
    if (sheet.byHand) {
        read.version = sheet.version;
        read.answers.resize(std::size_t(key_->QuestionCount()));
        for (std::size_t i = 0; i < read.answers.size(); ++i) {
            read.answers[i].question = int(i + 1);
            if (i < sheet.handAnswers.size()) read.answers[i].marked = sheet.handAnswers[i];
        }
    } else if (sheet.unreadable) {
        read.file = sheet.file;
        read.page = sheet.page;
        read.unreadable = true;
        read.reasons = sheet.readReasons;
    } else {
        PageRead page;
        page.status = PageRead::Status::Read;
        page.reasons = sheet.readReasons;
        page.code = SheetCode::Decode(sheet.code);
        page.version = sheet.version;
        page.layout.size = sheet.pageSize;
        page.layout.bubbles.reserve(sheet.bubbles.size());
        page.bubbles.reserve(sheet.bubbles.size());
        for (const SheetBubbleState& bubble : sheet.bubbles) {
            page.layout.bubbles.push_back(bubble.bubble);
            BubbleRead read;
            read.bubble = bubble.bubble;
            read.mark = bubble.mark;
            page.bubbles.push_back(read);
        }
        if (!sheet.printedVersion.isEmpty()) ScoreAsVersion(page, sheet.version);
        read = translator_->FromPage(page, sheet.file, sheet.page);
        CheckPaperOf(read, page.code);
    }
    read.file = sheet.file;
    read.page = sheet.page;
    // An accepted sheet never scores an answer as unclear, also one kept so
    // by an older grading file.
    if (sheet.accepted)
        for (AnswerRead& answer : read.answers) answer.unclear = 0;
    if (!read.unreadable && !sheet.typedStudent.isEmpty())
        read.student = DigitsOf(sheet.typedStudent);
    return reads_.emplace(sheet.id, std::move(read)).first->second;
}

void GradingSession::Recompute() {
    std::vector<SheetRead> reads;
    reads.reserve(sheets_.size());
    for (const GradingSheet& sheet : sheets_) reads.push_back(ToRead(sheet));
    key_->ClearAdjustments();
    for (const auto& [question, answers] : adjustments_.alsoAccept)
        key_->AlsoAccept(question - 1, answers);
    for (const auto& [question, given] : adjustments_.giveAll) key_->GiveAll(question - 1, true);
    results_ = GradeSheets(reads, *key_, classList_ ? &*classList_ : nullptr);

    states_.assign(sheets_.size(), SheetState::Ok);
    for (std::size_t s = 0; s < results_.size(); ++s) {
        SheetResult& result = results_[s];
        const GradingSheet& sheet = sheets_[s];
        if (result.status == SheetStatus::Unreadable) {
            states_[s] = SheetState::Unreadable;
            continue;
        }
        const bool corrected = sheet.accepted || (!sheet.byHand && !sheet.typedStudent.isEmpty()) ||
                               std::any_of(sheet.bubbles.begin(), sheet.bubbles.end(),
                                           [](const SheetBubbleState& b) { return b.corrected; });
        if (sheet.accepted || result.reasons.isEmpty()) {
            result.status = SheetStatus::Ok;
            states_[s] = corrected ? SheetState::Corrected : SheetState::Ok;
        } else {
            result.status = SheetStatus::Review;
            states_[s] = SheetState::Review;
        }
    }
    ReviewChangedPaper();
    statistics_ = ComputeStatistics(results_, *key_);
}

void GradingSession::Touched() {
    Recompute();
    if (!loading_) {
        Save();
        unsavedPages_ = 0;
    }
    emit Changed();
}

void GradingSession::PutSheet(int index, std::optional<GradingSheet> sheet, int id) {
    reads_.erase(id);
    const int at = IndexOf(id);
    if (!sheet) {
        if (at >= 0) sheets_.erase(sheets_.begin() + at);
        return;
    }
    if (at >= 0) {
        sheets_[std::size_t(at)] = std::move(*sheet);
        return;
    }
    index = std::clamp(index, 0, int(sheets_.size()));
    sheets_.insert(sheets_.begin() + index, std::move(*sheet));
}

void GradingSession::SetAdjustments(const Adjustments& adjustments) {
    adjustments_ = adjustments;
    classList_.reset();
    if (!adjustments_.classCsv.isEmpty()) classList_ = ClassList::FromStored(adjustments_.classCsv);
    Touched();
}

// --- Reading -----------------------------------------------------------------

bool GradingSession::AddScans(const QStringList& files) {
    if (runner_) return false;
    QStringList added, resumed;
    const QStringList unfinished = UnfinishedScans();
    for (const QString& file : files)
        if (!file.isEmpty() && !scans_.contains(file) && !added.contains(file))
            added << file;
        else if (unfinished.contains(file) && !resumed.contains(file))
            resumed << file;
    if (added.isEmpty() && resumed.isEmpty()) return false;
    // A scan added anew is read whole, whatever an earlier reading of it left.
    for (const QString& file : added) scanPages_.erase(file);
    scans_ << added;
    runnerReader_ = Reader();
    runner_ = new BatchRunner(ScanPageSources(runnerReader_, kFallbackDpi), 2, this);
    if (!resumed.isEmpty()) {
        std::map<QString, std::set<int>> done;
        for (const QString& file : resumed) done[file] = scanPages_[file].read;
        runner_->SkipPages([done = std::move(done)](const QString& file, int page) {
            const auto found = done.find(file);
            return found != done.end() && found->second.count(page) > 0;
        });
    }
    connect(runner_, &BatchRunner::pageRead, this, [this](const BatchPage& page) {
        NotePageRead(page.file, page.page, page.filePages);
        AddPage(page.file, page.page, page.read);
        emit scanProgress(++pagesRead_, page.total);
    });
    connect(runner_, &BatchRunner::finished, this, [this, added](bool completed) {
        // A scan of which nothing was read before a cancel can be added again.
        for (const QString& file : added)
            if (std::none_of(sheets_.begin(), sheets_.end(),
                             [&file](const GradingSheet& s) { return s.file == file; }))
                scans_.removeAll(file);
        runner_->deleteLater();
        runner_ = nullptr;
        runnerReader_.reset();
        pagesRead_ = 0;
        Save();
        unsavedPages_ = 0;
        emit scansFinished(completed);
    });
    runner_->Start(added + resumed);
    return true;
}

void GradingSession::CancelScans() {
    if (runner_) runner_->Cancel();
}

int GradingSession::AddPage(const QString& file, int page, const PageRead& read) {
    GradingSheet sheet;
    sheet.id = nextId_++;
    sheet.file = file;
    sheet.page = page;
    sheet.readReasons = read.reasons;
    if (read.status == PageRead::Status::Unreadable || !read.code) {
        sheet.unreadable = true;
        if (sheet.readReasons.isEmpty())
            sheet.readReasons << QStringLiteral("the page could not be read");
    } else {
        sheet.code = read.code->Encode();
        sheet.version = read.version;
        sheet.pageSize = read.layout.size;
        sheet.bubbles.reserve(read.bubbles.size());
        for (const BubbleRead& bubble : read.bubbles)
            sheet.bubbles.push_back({bubble.bubble, bubble.mark, false});
    }
    if (!scans_.contains(file)) scans_ << file;
    const int id = sheet.id;
    sheets_.push_back(std::move(sheet));
    Recompute();
    // A pile is written now and then while it is read, and whole at the end.
    if (!loading_ && (!runner_ || ++unsavedPages_ >= kPagesPerSave)) {
        Save();
        unsavedPages_ = 0;
    }
    emit sheetAdded(id);
    emit Changed();
    return id;
}

PageRead GradingSession::ReadPage(const QString& file, int page) const {
    return ReadPageWith(file, page, std::nullopt);
}

PageRead GradingSession::ReadPage(int id) const {
    const GradingSheet* sheet = Sheet(id);
    if (!sheet || sheet->byHand) return {};
    return ReadPageWith(sheet->file, sheet->page, SheetCode::Decode(sheet->code));
}

PageRead GradingSession::ReadPageWith(const QString& file, int page,
                                      const std::optional<SheetCode>& printedWith) const {
    const std::shared_ptr<const SheetReader> reader = Reader();
    ScanFileReader files(kFallbackDpi);
    const ScanImage image = files.Page(file, page);
    if (!image.error.isEmpty() || image.image.isNull()) {
        PageRead read;
        read.reasons << (image.error.isEmpty() ? QStringLiteral("the page could not be decoded")
                                               : image.error);
        return read;
    }
    PageRead read = reader->Read(image);
    // A sheet whose code could not be read was read with its print's settings.
    if (read.status == PageRead::Status::Unreadable && read.codeMissing && printedWith)
        read = reader->Read(image, printedWith);
    return read;
}

// --- Sheets ------------------------------------------------------------------

int GradingSession::IndexOf(int id) const {
    for (std::size_t i = 0; i < sheets_.size(); ++i)
        if (sheets_[i].id == id) return int(i);
    return -1;
}

const GradingSheet* GradingSession::Sheet(int id) const {
    const int i = IndexOf(id);
    return i < 0 ? nullptr : &sheets_[std::size_t(i)];
}

const SheetResult* GradingSession::Result(int id) const {
    const int i = IndexOf(id);
    return i < 0 ? nullptr : &results_[std::size_t(i)];
}

SheetState GradingSession::State(int id) const {
    const int i = IndexOf(id);
    return i < 0 ? SheetState::Unreadable : states_[std::size_t(i)];
}

std::vector<int> GradingSession::ReviewOrder() const {
    std::vector<int> ids;
    for (const SheetState wanted : {SheetState::Review, SheetState::Unreadable})
        for (std::size_t i = 0; i < sheets_.size(); ++i)
            if (states_[i] == wanted) ids.push_back(sheets_[i].id);
    for (std::size_t i = 0; i < sheets_.size(); ++i)
        if (states_[i] != SheetState::Review && states_[i] != SheetState::Unreadable)
            ids.push_back(sheets_[i].id);
    return ids;
}

int GradingSession::NextToReview(int id) const {
    const int n = int(sheets_.size());
    const int from = IndexOf(id);
    for (int k = 1; k <= n; ++k) {
        const int i = ((from < 0 ? -1 : from) + k) % n;
        if (states_[std::size_t(i)] == SheetState::Review) return sheets_[std::size_t(i)].id;
    }
    return -1;
}

int GradingSession::ToReviewCount() const {
    return int(std::count_if(states_.begin(), states_.end(), [](SheetState s) {
        return s == SheetState::Review || s == SheetState::Unreadable;
    }));
}

QString GradingSession::CountsText() const {
    return (SheetCount() == 1 ? QStringLiteral("1 sheet")
                              : QStringLiteral("%1 sheets").arg(SheetCount())) +
           QStringLiteral(", %1 to review").arg(ToReviewCount());
}

// --- Corrections -------------------------------------------------------------

namespace {

std::unique_ptr<SheetsCommand> OneSheet(GradingSession* session, const QString& text, int index,
                                        const GradingSheet& before, const GradingSheet& after,
                                        const QStringList& scans) {
    return std::make_unique<SheetsCommand>(
        session, text, std::vector<SheetsCommand::Change>{{before.id, index, before, after}}, scans,
        scans);
}

}  // namespace

// A correction of one sheet as one step: change edits a copy of the sheet
// (at index in the list) and refuses by returning false.
bool GradingSession::ChangeSheet(int id, const QString& step,
                                 const std::function<bool(GradingSheet&, std::size_t)>& change) {
    const int i = IndexOf(id);
    if (i < 0) return false;
    const GradingSheet& sheet = sheets_[std::size_t(i)];
    GradingSheet after = sheet;
    if (!change(after, std::size_t(i))) return false;
    undo_.push(OneSheet(this, step, i, sheet, after, scans_).release());
    return true;
}

bool GradingSession::ToggleBubble(int id, int bubble) {
    return ChangeSheet(id, tr("Mark a Bubble"), [bubble](GradingSheet& sheet, std::size_t) {
        if (bubble < 0 || std::size_t(bubble) >= sheet.bubbles.size()) return false;
        SheetBubbleState& state = sheet.bubbles[std::size_t(bubble)];
        state.mark = state.mark == BubbleRead::Mark::Marked ? BubbleRead::Mark::Empty
                                                            : BubbleRead::Mark::Marked;
        state.corrected = true;
        return true;
    });
}

bool GradingSession::ChooseDigit(int id, int position, int digit) {
    if (digit < 0 || digit > 9) return false;
    return ChangeSheet(
        id, tr("Choose a Digit"), [position, digit](GradingSheet& sheet, std::size_t) {
            bool found = false;
            for (SheetBubbleState& state : sheet.bubbles) {
                if (state.bubble.kind != SheetBubble::Kind::Student ||
                    state.bubble.position != position)
                    continue;
                const auto mark = state.bubble.digit == digit ? BubbleRead::Mark::Marked
                                                              : BubbleRead::Mark::Empty;
                found = found || state.bubble.digit == digit;
                if (state.mark != mark) {
                    state.mark = mark;
                    state.corrected = true;
                }
            }
            return found;
        });
}

bool GradingSession::TypeStudent(int id, const QString& number) {
    const QString typed = number.trimmed();
    if (!AllDigits(typed) || typed.size() > 20) return false;
    return ChangeSheet(id, tr("Type a Student Number"), [&typed](GradingSheet& sheet, std::size_t) {
        if (sheet.typedStudent == typed || sheet.unreadable) return false;
        sheet.typedStudent = typed;
        return true;
    });
}

bool GradingSession::Accept(int id) {
    if (StudentUnread(id)) return false;
    return ChangeSheet(id, tr("Accept a Sheet"), [this](GradingSheet& sheet, std::size_t i) {
        if (sheet.accepted || sheet.unreadable || states_[i] != SheetState::Review) return false;
        sheet.accepted = true;
        // What the teacher accepted is what the picture shows: no doubt left.
        for (SheetBubbleState& state : sheet.bubbles)
            if (state.mark == BubbleRead::Mark::Unclear) {
                state.mark = BubbleRead::Mark::Empty;
                state.corrected = true;
            }
        return true;
    });
}

bool GradingSession::RemoveSheet(int id) {
    const int i = IndexOf(id);
    if (i < 0) return false;
    undo_.push(new SheetsCommand(this, tr("Remove a Sheet"),
                                 {{id, i, sheets_[std::size_t(i)], std::nullopt}}, scans_, scans_));
    return true;
}

bool GradingSession::RemoveScan(const QString& file) {
    if (file.isEmpty() || !scans_.contains(file) || runner_) return false;
    std::vector<SheetsCommand::Change> changes;
    for (std::size_t i = 0; i < sheets_.size(); ++i)
        if (!sheets_[i].byHand && sheets_[i].file == file)
            changes.push_back({sheets_[i].id, int(i), sheets_[i], std::nullopt});
    QStringList after = scans_;
    after.removeAll(file);
    undo_.push(new SheetsCommand(this, tr("Remove a Scan"), std::move(changes), scans_, after));
    return true;
}

int GradingSession::AddByHand(const QString& student, const QString& version,
                              const std::vector<AnswerMask>& answers) {
    const QString number = student.trimmed();
    if (!AllDigits(number) || number.size() > 20 ||
        answers.size() != std::size_t(key_->QuestionCount()))
        return -1;
    GradingSheet sheet;
    sheet.id = nextId_++;
    sheet.byHand = true;
    sheet.page = 0;
    sheet.version = version.trimmed();
    sheet.typedStudent = number;
    sheet.handAnswers = answers;
    undo_.push(new SheetsCommand(this, tr("Enter a Sheet by Hand"),
                                 {{sheet.id, int(sheets_.size()), std::nullopt, sheet}}, scans_,
                                 scans_));
    return sheet.id;
}

// --- Class list and flawed questions ------------------------------------------

bool GradingSession::SetClassList(const QByteArray& csv, QString* error) {
    // The decoded text is kept, so a list in Windows-1252 or UTF-16 reads
    // the same when the grading is opened again.
    const std::optional<QString> text = ClassList::Decode(csv, error);
    if (!text || !ClassList::FromText(*text, error)) return false;
    Adjustments after = adjustments_;
    after.classCsv = text->toUtf8();
    if (after == adjustments_) return true;
    undo_.push(new AdjustCommand(this, tr("Load a Class List"), adjustments_, after));
    return true;
}

void GradingSession::ClearClassList() {
    if (adjustments_.classCsv.isEmpty()) return;
    Adjustments after = adjustments_;
    after.classCsv.clear();
    undo_.push(new AdjustCommand(this, tr("Remove the Class List"), adjustments_, after));
}

QStringList GradingSession::Absent() const {
    if (!classList_) return {};
    return AbsentStudents(results_, *classList_);
}

bool GradingSession::SetAlsoAccepted(int question, const std::vector<AnswerMask>& answers) {
    if (question < 1 || question > key_->QuestionCount()) return false;
    std::vector<AnswerMask> kept;
    for (const AnswerMask mask : answers)
        if (mask && std::find(kept.begin(), kept.end(), mask) == kept.end()) kept.push_back(mask);
    std::sort(kept.begin(), kept.end());
    Adjustments after = adjustments_;
    if (kept.empty())
        after.alsoAccept.erase(question);
    else
        after.alsoAccept[question] = kept;
    if (after == adjustments_) return false;
    undo_.push(new AdjustCommand(this, tr("Also Accept"), adjustments_, after));
    return true;
}

std::vector<AnswerMask> GradingSession::AlsoAccepted(int question) const {
    const auto found = adjustments_.alsoAccept.find(question);
    return found == adjustments_.alsoAccept.end() ? std::vector<AnswerMask>{} : found->second;
}

bool GradingSession::SetGiveAll(int question, bool give) {
    if (question < 1 || question > key_->QuestionCount()) return false;
    Adjustments after = adjustments_;
    if (give)
        after.giveAll[question] = true;
    else
        after.giveAll.erase(question);
    if (after == adjustments_) return false;
    undo_.push(new AdjustCommand(this, tr("Give Everyone the Mark"), adjustments_, after));
    return true;
}

bool GradingSession::GiveAll(int question) const {
    return adjustments_.giveAll.count(question) > 0;
}

QStringList GradingSession::AdjustmentsOf(int question) const {
    QStringList texts;
    const std::vector<AnswerMask> also = AlsoAccepted(question);
    if (!also.empty()) {
        QStringList letters;
        for (const AnswerMask mask : also) letters << MarkedLetters(mask);
        texts << QStringLiteral("also accepted %1").arg(letters.join(", "));
    }
    if (GiveAll(question)) texts << QStringLiteral("everyone given the mark");
    return texts;
}

QStringList GradingSession::AdjustmentTexts() const {
    QStringList texts;
    for (int q = 1; q <= key_->QuestionCount(); ++q)
        for (const QString& text : AdjustmentsOf(q))
            texts << QStringLiteral("Q%1: %2").arg(q).arg(text);
    return texts;
}

// --- The grading file ----------------------------------------------------------

QString GradingSession::LocalFile() const {
    return QFileInfo(paperPath_).absoluteFilePath() + QStringLiteral(".grades.json");
}

QString GradingSession::DataFile() const {
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

QString GradingSession::GradingFile() const {
    const QString local = LocalFile();
    const QFileInfo info(local);
    const bool writable = info.exists()
                              ? info.isWritable() && QFileInfo(info.absolutePath()).isWritable()
                              : QFileInfo(info.absolutePath()).isWritable();
    return writable || dataFolder_.isEmpty() ? local : DataFile();
}

QStringList GradingSession::MissingScans() const {
    QStringList missing;
    for (const QString& scan : scans_)
        if (!QFileInfo(scan).isFile()) missing << scan;
    return missing;
}

bool GradingSession::RelocateScan(const QString& oldPath, const QString& newPath) {
    const qsizetype at = scans_.indexOf(oldPath);
    if (at < 0 || newPath.isEmpty() || (newPath != oldPath && scans_.contains(newPath)))
        return false;
    scans_[at] = newPath;
    if (const auto found = scanPages_.find(oldPath); found != scanPages_.end()) {
        ScanPages pages = found->second;
        scanPages_.erase(found);
        scanPages_[newPath] = pages;
    }
    for (GradingSheet& sheet : sheets_)
        if (!sheet.byHand && sheet.file == oldPath) {
            sheet.file = newPath;
            reads_.erase(sheet.id);
        }
    // The undo steps name sheets by their ids and keep their old file: a
    // relocation is not a correction, so they are let go.
    undo_.clear();
    Touched();
    return true;
}

QString GradingSession::Save() {
    // Another window holds the grading: it alone writes it.
    if (readOnly_)
        return saveError_ = tr("the grading is open in another window (%1)").arg(heldBy_);
    // Changed by someone else since it was read here: never written over blindly.
    if (!saveBlocked_ && ChangedOnDisk(GradingFile())) {
        saveError_ = tr("the grading file was changed by another program since it was read");
        emit changedOnDisk(GradingFile());
        return saveError_;
    }
    if (saveBlocked_) {
        saveError_ = tr("the damaged grading file could not be set aside");
    } else {
        const QString path = GradingFile();
        QDir().mkpath(QFileInfo(path).absolutePath());
        saveError_ = WriteBytesSafely(path, ToJson());
        NoteOnDisk();
    }
    if (!saveError_.isEmpty()) emit saveFailed(saveError_);
    return saveError_;
}

// Nothing graded: no scans, sheets, adjustments or class list.
void GradingSession::ClearGrading() {
    sheets_.clear();
    scans_.clear();
    reads_.clear();
    adjustments_ = {};
    classList_.reset();
    nextId_ = 1;
    gradedShape_.clear();
    scanPages_.clear();
}

GradingLoad GradingSession::Load() {
    GradingLoad load;
    if (runner_) return load;
    // Of the file beside the paper and the one in the data folder, the newer
    // is the grading: corrections kept in the data folder while the paper's
    // folder was read-only are never hidden behind an older file.
    QString path = NewerGradingFile();
    TakeLock();
    readFrom_ = QFileInfo::exists(path) ? path : QString();
    undo_.clear();
    ClearGrading();
    saveBlocked_ = false;
    if (QFileInfo::exists(path)) {
        QFile file(path);
        bool read = false;
        if (QFileInfo(path).isFile() && file.size() <= kMaxGradingFile &&
            file.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = file.readAll();
            file.close();
            read = FromJson(bytes);
        }
        if (!read) {
            ClearGrading();
            QString aside = path + QStringLiteral(".damaged");
            for (int n = 2; QFileInfo::exists(aside); ++n)
                aside = path + QStringLiteral(".damaged-%1").arg(n);
            if (QFile::rename(path, aside)) {
                load.setAsideAs = aside;
                load.damaged =
                    tr("The grading file %1 is damaged. It was set aside as %2, "
                       "and grading starts empty.")
                        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(aside));
            } else {
                saveBlocked_ = true;
                load.damaged = tr("The grading file %1 is damaged and cannot be set aside: "
                                  "grading starts empty and is not kept.")
                                   .arg(QDir::toNativeSeparators(path));
            }
        }
    }
    loading_ = true;
    Recompute();
    loading_ = false;
    // As it stands once read (or set aside): what a later change on disk is told from.
    NoteOnDisk();
    load.missingScans = MissingScans();
    emit Changed();
    return load;
}

QByteArray GradingSession::ToJson() const {
    QJsonObject root;
    root["format"] = kFormat;
    root["paper"] = QFileInfo(paperPath_).absoluteFilePath();
    root["scans"] = QJsonArray::fromStringList(scans_);
    if (!adjustments_.classCsv.isEmpty())
        root["class_list"] = QString::fromUtf8(adjustments_.classCsv);
    QJsonArray also;
    for (const auto& [question, masks] : adjustments_.alsoAccept) {
        QJsonArray letters;
        for (const AnswerMask mask : masks) letters.append(MarkedLetters(mask));
        also.append(QJsonObject{{"question", question}, {"answers", letters}});
    }
    root["also_accept"] = also;
    QJsonArray giveAll;
    for (const auto& [question, given] : adjustments_.giveAll) giveAll.append(question);
    root["give_all"] = giveAll;
    if (!gradedShape_.isEmpty()) root["paper_shape"] = QJsonArray::fromStringList(gradedShape_);

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
    for (const GradingSheet& sheet : sheets_) {
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
    ScanPagesToJson(root);
    // Compact: a pile of a few hundred sheets holds a few hundred thousand bubbles.
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

bool GradingSession::FromJson(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return false;
    const QJsonObject root = document.object();
    if (root["format"].toInt() != kFormat) return false;
    if (!root["scans"].isArray() || !root["sheets"].isArray()) return false;
    bool ok = true;
    const auto text = [&ok](const QJsonValue& v) {
        if (!v.isString()) ok = false;
        return v.toString();
    };
    const auto number = [&ok](const QJsonValue& v) {
        if (!v.isDouble()) ok = false;
        return v.toDouble();
    };

    for (const QJsonValue& scan : root["scans"].toArray()) scans_ << text(scan);
    for (const QJsonValue& key : root["paper_shape"].toArray()) gradedShape_ << text(key);
    if (root.contains("class_list")) {
        adjustments_.classCsv = text(root["class_list"]).toUtf8();
        classList_ = ClassList::FromStored(adjustments_.classCsv);
        if (!classList_) return false;
    }
    for (const QJsonValue& v : root["also_accept"].toArray()) {
        const int question = int(number(v["question"]));
        for (const QJsonValue& letters : v["answers"].toArray()) {
            bool valid = false;
            const AnswerMask mask = MaskOf(text(letters), &valid);
            ok = ok && valid && mask;
            adjustments_.alsoAccept[question].push_back(mask);
        }
    }
    for (const QJsonValue& v : root["give_all"].toArray())
        adjustments_.giveAll[int(number(v))] = true;

    std::vector<GradingSheet> layouts;  // only their page size and bubbles
    for (const QJsonValue& value : root["layouts"].toArray()) {
        GradingSheet layout;
        layout.pageSize = QSizeF(number(value["width"]), number(value["height"]));
        for (const QJsonValue& b : value["bubbles"].toArray()) {
            const QJsonArray a = b.toArray();
            if (a.size() != 7) return false;
            SheetBubbleState state;
            SheetBubble& bubble = state.bubble;
            const bool answer = number(a[0]) == 0;
            bubble.kind = answer ? SheetBubble::Kind::Answer : SheetBubble::Kind::Student;
            (answer ? bubble.question : bubble.position) = int(number(a[1]));
            (answer ? bubble.source : bubble.digit) = int(number(a[2]));
            const QString letter = text(a[3]);
            if (answer) {
                if (letter.size() != 1) return false;
                bubble.option = letter[0];
            }
            bubble.centre = QPointF(number(a[4]), number(a[5]));
            bubble.r = number(a[6]);
            layout.bubbles.push_back(state);
        }
        if (!ok) return false;
        layouts.push_back(std::move(layout));
    }

    int highest = 0;
    std::set<int> ids;
    for (const QJsonValue& value : root["sheets"].toArray()) {
        if (!value.isObject()) return false;
        const QJsonObject o = value.toObject();
        GradingSheet sheet;
        sheet.id = int(number(o["id"]));
        if (sheet.id < 1 || !ids.insert(sheet.id).second) return false;
        highest = std::max(highest, sheet.id);
        sheet.byHand = o["by_hand"].toBool();
        sheet.unreadable = o["unreadable"].toBool();
        sheet.accepted = o["accepted"].toBool();
        if (o.contains("student")) {
            sheet.typedStudent = text(o["student"]);
            if (!AllDigits(sheet.typedStudent)) return false;
        }
        if (sheet.byHand) {
            sheet.page = 0;
            sheet.version = text(o["version"]);
            for (const QJsonValue& letters : o["answers"].toArray()) {
                bool valid = false;
                sheet.handAnswers.push_back(MaskOf(text(letters), &valid));
                ok = ok && valid;
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
            if (!SheetCode::Decode(sheet.code)) return false;
            sheet.version = text(o["version"]);
            if (o.contains("printed_version")) sheet.printedVersion = text(o["printed_version"]);
            const int at = int(number(o["layout"]));
            const QString marks = text(o["marks"]);
            if (at < 0 || std::size_t(at) >= layouts.size() ||
                std::size_t(marks.size()) != layouts[std::size_t(at)].bubbles.size())
                return false;
            const GradingSheet& layout = layouts[std::size_t(at)];
            sheet.pageSize = layout.pageSize;
            sheet.bubbles = layout.bubbles;
            for (std::size_t i = 0; i < sheet.bubbles.size(); ++i)
                if (!FromMarkLetter(marks[qsizetype(i)], &sheet.bubbles[i])) return false;
        }
        if (!ok) return false;
        sheets_.push_back(std::move(sheet));
    }
    nextId_ = highest + 1;
    return ok && ScanPagesFromJson(root);
}

// --- Export ------------------------------------------------------------------

QString GradingSession::ExportGrades(const QString& path) const {
    const QString suffix = QFileInfo(path).suffix().toLower();
    const std::vector<QStringList> table =
        GradesTable(results_, *key_, classList_ ? &*classList_ : nullptr, ExportStatuses());
    if (suffix == QStringLiteral("csv"))
        return WriteBytesSafely(path, interchange::WriteCsvRows(table));
    if (suffix != QStringLiteral("xlsx") && suffix != QStringLiteral("ods"))
        return tr("grades are exported as .csv, .xlsx or .ods");

    ExportSheet grades{QStringLiteral("Grades"), {}};
    for (std::size_t r = 0; r < table.size(); ++r) {
        std::vector<ExportCell> row;
        for (qsizetype c = 0; c < table[r].size(); ++c) {
            // Mark, maximum and percentage as numbers; the student number
            // stays text, or its leading zeros would go.
            bool isNumber = false;
            const double value = table[r][c].toDouble(&isNumber);
            if (r > 0 && c >= 3 && c <= 5 && isNumber)
                row.emplace_back(value);
            else
                row.emplace_back(table[r][c]);
        }
        grades.rows.push_back(std::move(row));
    }

    ExportSheet questions{QStringLiteral("Questions"), {}};
    const QString letters = key_->ModeLetters();
    std::vector<ExportCell> header = {
        QStringLiteral("Question"),       QStringLiteral("Answer"),
        QStringLiteral("Mark"),           QStringLiteral("p"),
        QStringLiteral("Discrimination"), QStringLiteral("Point-biserial")};
    for (const QChar letter : letters) header.emplace_back(QString(letter));
    for (const char* name : {"Blank", "Multiple", "Flag", "Adjustment"})
        header.emplace_back(QString::fromLatin1(name));
    questions.rows.push_back(header);
    const auto figure = [](const std::optional<double>& value) -> ExportCell {
        if (value) return *value;
        return QString();
    };
    for (const QuestionStatistics& q : statistics_.questions) {
        std::vector<ExportCell> row = {
            double(q.question), q.answer.value_or(QString()), q.mark,
            figure(q.p),        figure(q.discrimination),     figure(q.pointBiserial)};
        for (const QChar letter : letters) {
            ExportCell count = QString();
            for (const auto& [option, n] : q.options)
                if (option == letter) count = double(n);
            row.push_back(count);
        }
        row.emplace_back(double(q.blank));
        row.emplace_back(double(q.multiple));
        row.emplace_back(QuestionFlag(q));
        row.emplace_back(AdjustmentsOf(q.question).join("; "));
        questions.rows.push_back(std::move(row));
    }

    const WorkbookBytes book = suffix == QStringLiteral("xlsx")
                                   ? WriteGradesXlsx({grades, questions})
                                   : WriteGradesOds({grades, questions});
    if (!book.error.isEmpty()) return book.error;
    return WriteBytesSafely(path, book.bytes);
}

// --- Review rules ------------------------------------------------------------

QStringList GradingSession::ExportStatuses() const {
    QStringList statuses;
    for (const SheetState state : states_) {
        switch (state) {
            case SheetState::Ok:
                statuses << QStringLiteral("ok");
                break;
            case SheetState::Review:
                statuses << QStringLiteral("review");
                break;
            case SheetState::Unreadable:
                statuses << QStringLiteral("unreadable");
                break;
            case SheetState::Corrected:
                statuses << QStringLiteral("corrected");
                break;
        }
    }
    return statuses;
}

int GradingSession::UnclearBubbles(int id) const {
    const GradingSheet* sheet = Sheet(id);
    if (!sheet) return 0;
    return int(
        std::count_if(sheet->bubbles.begin(), sheet->bubbles.end(), [](const SheetBubbleState& b) {
            return b.bubble.kind == SheetBubble::Kind::Answer &&
                   b.mark == BubbleRead::Mark::Unclear;
        }));
}

bool GradingSession::StudentUnread(int id) const {
    const SheetResult* result = Result(id);
    return result && result->status != SheetStatus::Unreadable && result->student &&
           result->student->contains(u'?');
}

bool GradingSession::SetBubble(int id, int bubble, bool marked) {
    return ChangeSheet(id, tr("Mark a Bubble"), [bubble, marked](GradingSheet& sheet, std::size_t) {
        if (bubble < 0 || std::size_t(bubble) >= sheet.bubbles.size()) return false;
        SheetBubbleState& state = sheet.bubbles[std::size_t(bubble)];
        const auto mark = marked ? BubbleRead::Mark::Marked : BubbleRead::Mark::Empty;
        if (state.mark == mark) return false;
        state.mark = mark;
        state.corrected = true;
        return true;
    });
}

std::vector<GradingSession::ReviewReason> GradingSession::ReviewReasons(int id) const {
    const SheetResult* result = Result(id);
    if (!result) return {};
    // A question's doubt reads "question N: ..." with N as printed.
    std::vector<ReviewReason> reasons;
    for (const QString& text : result->reasons) {
        ReviewReason reason{text, 0, 0};
        for (const AnswerResult& answer : result->answers) {
            const int printed = answer.sheetQuestion ? answer.sheetQuestion : answer.question;
            if (text.startsWith(QStringLiteral("question %1:").arg(printed))) {
                reason.question = answer.question;
                reason.sheetQuestion = printed;
                break;
            }
        }
        reasons.push_back(reason);
    }
    std::stable_sort(reasons.begin(), reasons.end(),
                     [](const ReviewReason& a, const ReviewReason& b) {
                         return a.sheetQuestion < b.sheetQuestion;
                     });
    return reasons;
}

std::vector<PaperVersion> GradingSession::Versions() const {
    for (const GradingSheet& sheet : sheets_)
        if (const std::optional<SheetCode> code = SheetCode::Decode(sheet.code))
            return BuildVersions(Paper(), code->versions);
    VersionSettings own;
    own.blankOptionLetters = int(key_->ModeLetters().size());
    return BuildVersions(Paper(), own);
}

std::optional<std::vector<AnswerMask>> GradingSession::PrintedToPaper(const QString& version,
                                                                      const QStringList& printed,
                                                                      QString* error) const {
    const std::vector<PaperVersion> versions = Versions();
    const auto found = std::find_if(versions.begin(), versions.end(),
                                    [&](const PaperVersion& v) { return v.name == version; });
    const auto Fail = [error](const QString& why) {
        if (error) *error = why;
        return std::nullopt;
    };
    if (found == versions.end()) return Fail(tr("there is no version %1").arg(version));
    const int count = int(found->questions.size());
    if (printed.size() < count)
        return Fail(tr("question %1: no letters were given; version %2 has %3 questions")
                        .arg(printed.size() + 1)
                        .arg(version)
                        .arg(count));
    if (printed.size() > count)
        return Fail(tr("question %1: letters were given, but version %2 has only %3 questions")
                        .arg(count + 1)
                        .arg(version)
                        .arg(count));
    std::vector<AnswerMask> answers(Paper().size(), 0);
    for (int k = 0; k < count; ++k) {
        const PrintedQuestion& question = found->questions[std::size_t(k)];
        QString offered;
        for (const PrintedOption& option : question.options) offered += option.letter;
        AnswerMask mask = 0;
        for (const QChar c : printed[k].toUpper()) {
            if (c.isSpace()) continue;
            const auto option = std::find_if(question.options.begin(), question.options.end(),
                                             [c](const PrintedOption& o) { return o.letter == c; });
            if (option == question.options.end())
                return Fail(tr("question %1 offers %2: %3 is not one of them")
                                .arg(k + 1)
                                .arg(offered, QString(c)));
            mask |= AnswerMask(1 << (option->sourceLetter.unicode() - u'A'));
        }
        if (question.source >= 1 && std::size_t(question.source) <= answers.size())
            answers[std::size_t(question.source - 1)] = mask;
    }
    return answers;
}

int GradingSession::AddByHandPrinted(const QString& student, const QString& version,
                                     const QStringList& printed, QString* error) {
    const QString number = student.trimmed();
    if (!AllDigits(number) || number.size() > 20) {
        if (error) *error = tr("a student number is digits only");
        return -1;
    }
    const std::optional<std::vector<AnswerMask>> answers = PrintedToPaper(version, printed, error);
    if (!answers) return -1;
    GradingSheet sheet;
    sheet.id = nextId_++;
    sheet.byHand = true;
    sheet.page = 0;
    sheet.version = version;
    sheet.typedStudent = number;
    sheet.handAnswers = *answers;
    sheet.handPrinted = printed;
    undo_.push(new SheetsCommand(this, tr("Enter a Sheet by Hand"),
                                 {{sheet.id, int(sheets_.size()), std::nullopt, sheet}}, scans_,
                                 scans_));
    return sheet.id;
}

bool GradingSession::SetVersion(int id, const QString& version) {
    const std::vector<PaperVersion> versions = Versions();
    if (std::none_of(versions.begin(), versions.end(),
                     [&](const PaperVersion& v) { return v.name == version; }))
        return false;
    return ChangeSheet(id, tr("Change the Version"), [&](GradingSheet& sheet, std::size_t) {
        if (sheet.unreadable || sheet.version == version) return false;
        if (sheet.byHand) {
            // The letters typed are those printed: they mean other answers now.
            if (!sheet.handPrinted.isEmpty()) {
                const auto answers = PrintedToPaper(version, sheet.handPrinted, nullptr);
                if (!answers) return false;
                sheet.handAnswers = *answers;
            }
        } else {
            if (sheet.printedVersion.isEmpty()) sheet.printedVersion = sheet.version;
            if (sheet.printedVersion == version) sheet.printedVersion.clear();
        }
        sheet.version = version;
        return true;
    });
}

// A sheet printed as one version but answered as another: each printed
// question number means the other version's question.
void GradingSession::ScoreAsVersion(PageRead& page, const QString& version) const {
    const std::vector<PaperVersion> versions = Versions();
    const auto found = std::find_if(versions.begin(), versions.end(),
                                    [&](const PaperVersion& v) { return v.name == version; });
    if (found == versions.end()) return;
    const auto Remap = [&](SheetBubble& bubble) {
        if (bubble.kind == SheetBubble::Kind::Answer && bubble.question >= 1 &&
            std::size_t(bubble.question) <= found->questions.size())
            bubble.source = found->questions[std::size_t(bubble.question - 1)].source;
    };
    for (SheetBubble& bubble : page.layout.bubbles) Remap(bubble);
    for (BubbleRead& read : page.bubbles) Remap(read.bubble);
}

}  // namespace scrivane

// --- The paper the sheets were printed from ----------------------------------

namespace scrivane {

namespace {

const QString kTextsChangedReason = QStringLiteral("the paper's texts changed since printing");

QString ShortHash(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).left(4).toHex());
}

// A question's title and its options, each as printed (blanks at the ends are
// not), so that a question's place and options can be followed.
QString ShapeKey(const QuestionRecord& question) {
    QString options;
    for (const QString& item : question.Items) options += item.trimmed() + u'\x1f';
    return ShortHash(question.Title.trimmed()) + u'/' + ShortHash(options);
}

QString Numbers(const std::vector<int>& numbers) {
    QStringList texts;
    for (int n : numbers) texts << QString::number(n);
    if (texts.size() <= 1) return texts.join(QString());
    const QString last = texts.takeLast();
    return texts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// What changed from one paper's question keys to another's, in the words
// the window shows. *moved: a question went, came or moved, or its options
// changed, so that a sheet's marks no longer stand for the questions and
// letters they were read as; only titles changed leaves it false.
QStringList DescribeChange(const QStringList& before, const QStringList& after,
                           bool* moved = nullptr) {
    QStringList what;
    if (moved) *moved = false;
    const std::size_t n = std::size_t(before.size()), m = std::size_t(after.size());
    if (n == m) {
        QStringList a = before, b = after;
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        std::vector<int> movedQuestions, options, changed;
        for (std::size_t i = 0; i < n; ++i) {
            if (before[qsizetype(i)] == after[qsizetype(i)]) continue;
            if (a == b)
                movedQuestions.push_back(int(i + 1));
            else if (before[qsizetype(i)].section(u'/', 0, 0) ==
                     after[qsizetype(i)].section(u'/', 0, 0))
                options.push_back(int(i + 1));
            else
                changed.push_back(int(i + 1));
        }
        if (moved && !(movedQuestions.empty() && options.empty())) *moved = true;
        if (movedQuestions.size() == 2)
            what << QStringLiteral("questions %1 swapped").arg(Numbers(movedQuestions));
        else if (!movedQuestions.empty())
            what << QStringLiteral("questions %1 reordered").arg(Numbers(movedQuestions));
        if (!options.empty())
            what << QStringLiteral("the options of question%1 %2 changed")
                        .arg(options.size() > 1 ? QStringLiteral("s") : QString(),
                             Numbers(options));
        if (!changed.empty())
            what << QStringLiteral("question%1 %2 changed")
                        .arg(changed.size() > 1 ? QStringLiteral("s") : QString(),
                             Numbers(changed));
        return what;
    }
    // The longest run of questions kept in order tells which went and came.
    std::vector<std::vector<int>> common(n + 1, std::vector<int>(m + 1, 0));
    for (std::size_t i = n; i-- > 0;)
        for (std::size_t j = m; j-- > 0;)
            common[i][j] = before[qsizetype(i)] == after[qsizetype(j)]
                               ? common[i + 1][j + 1] + 1
                               : std::max(common[i + 1][j], common[i][j + 1]);
    std::vector<int> removed, added;
    std::size_t i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && before[qsizetype(i)] == after[qsizetype(j)]) {
            ++i, ++j;
        } else if (j == m || (i < n && common[i + 1][j] >= common[i][j + 1])) {
            removed.push_back(int(++i));
        } else {
            added.push_back(int(++j));
        }
    }
    const auto count = [](const std::vector<int>& list, const QString& verb) {
        // Among questions alike (a paper made by NEW) which one went is not
        // told: only how many.
        return list.size() > 4 ? QStringLiteral("%1 questions %2").arg(list.size()).arg(verb)
                               : QStringLiteral("question%1 %2 %3")
                                     .arg(list.size() > 1 ? QStringLiteral("s") : QString(),
                                          Numbers(list), verb);
    };
    if (moved) *moved = true;
    if (!removed.empty()) what << count(removed, QStringLiteral("removed"));
    if (!added.empty()) what << count(added, QStringLiteral("added"));
    return what;
}

}  // namespace

QStringList GradingSession::CurrentShape() const {
    QStringList keys;
    for (const QuestionRecord& question : key_->Paper()) keys << ShapeKey(question);
    return keys;
}

const QString& GradingSession::DigestFor(const SheetCode& code) const {
    return code.versions.keptOptions == kCurrentKeptOptionsRule ? paperDigest_ : legacyDigest_;
}

bool GradingSession::PaperChangedSince(const SheetCode& code) const {
    if (!code.paperId.isEmpty() && !paperId_.isEmpty() && code.paperId != paperId_) return true;
    return code.paperDigest != DigestFor(code);
}

void GradingSession::CheckPaperOf(SheetRead& read, const std::optional<SheetCode>& code) {
    if (!code || read.unreadable) return;
    if (!code->paperId.isEmpty() && !paperId_.isEmpty() && code->paperId != paperId_) {
        read.reasons << QStringLiteral("this sheet belongs to another paper");
        return;
    }
    const bool questions = code->paperDigest != DigestFor(*code);
    if (!questions && code->textDigest == textDigest_) {
        // The paper as its sheets are read, to tell later what changed.
        if (gradedShape_.isEmpty()) gradedShape_ = CurrentShape();
        return;
    }
    const QStringList what =
        gradedShape_.isEmpty() ? QStringList() : DescribeChange(gradedShape_, CurrentShape());
    QString reason =
        what.isEmpty()
            ? questions ? QStringLiteral("the paper's questions changed since this sheet was read")
                        : kTextsChangedReason
            : QStringLiteral("the paper changed since this sheet was read: %1")
                  .arg(what.join(QStringLiteral("; ")));
    if (!read.reasons.contains(reason)) read.reasons << reason;
}

void GradingSession::ReviewChangedPaper() {
    // A change of titles alone leaves a sheet's marks where they were read.
    bool moved = false;
    if (!gradedShape_.isEmpty()) DescribeChange(gradedShape_, CurrentShape(), &moved);
    for (std::size_t s = 0; s < sheets_.size() && s < results_.size(); ++s) {
        const GradingSheet& sheet = sheets_[s];
        if (sheet.byHand || sheet.unreadable || results_[s].status == SheetStatus::Unreadable)
            continue;
        const std::optional<SheetCode> code = SheetCode::Decode(sheet.code);
        if (!code) continue;
        if (!PaperChangedSince(*code) && (code->textDigest == textDigest_ || !moved)) continue;
        results_[s].status = SheetStatus::Review;
        states_[s] = SheetState::Review;
    }
}

QString GradingSession::PaperChange() const {
    bool other = false, changed = false;
    for (const GradingSheet& sheet : sheets_) {
        if (sheet.byHand || sheet.unreadable) continue;
        const std::optional<SheetCode> code = SheetCode::Decode(sheet.code);
        if (!code) continue;
        if (!code->paperId.isEmpty() && !paperId_.isEmpty() && code->paperId != paperId_)
            other = true;
        else if (code->paperDigest != DigestFor(*code) ||
                 (!gradedShape_.isEmpty() && code->textDigest != textDigest_))
            changed = true;
    }
    QStringList what;
    if (changed) {
        if (!gradedShape_.isEmpty()) what = DescribeChange(gradedShape_, CurrentShape());
        if (what.isEmpty()) what << QStringLiteral("its questions changed");
    }
    if (other) what << QStringLiteral("some sheets belong to another paper");
    if (what.isEmpty()) return {};
    return QStringLiteral(
               "The paper no longer matches the sheets read: %1. Those sheets are to review.")
        .arg(what.join(QStringLiteral("; ")));
}

}  // namespace scrivane

// --- A pile cut off --------------------------------------------------------------

namespace scrivane {

namespace {

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

// What identifies a file's content on disk: a safe write renames a new file
// over it, so its inode changes with every write, and its time and size too.
QString DiskStamp(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return QStringLiteral("%1:%2:%3.%4")
        .arg(qulonglong(st.st_ino))
        .arg(qlonglong(st.st_size))
        .arg(qlonglong(st.st_mtim.tv_sec))
        .arg(qlonglong(st.st_mtim.tv_nsec));
}

qint64 ModifiedNs(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
}

}  // namespace

void GradingSession::NotePageRead(const QString& file, int page, int pages) {
    ScanPages& scan = scanPages_[file];
    scan.pages = std::max({scan.pages, pages, page});
    scan.read.insert(page);
}

QStringList GradingSession::UnfinishedScans() const {
    QStringList unfinished;
    for (const QString& scan : scans_)
        if (const auto found = scanPages_.find(scan);
            found != scanPages_.end() && int(found->second.read.size()) < found->second.pages)
            unfinished << scan;
    return unfinished;
}

QStringList GradingSession::UnfinishedTexts() const {
    QStringList texts;
    for (const QString& scan : UnfinishedScans()) {
        const ScanPages& pages = scanPages_.at(scan);
        texts << tr("%1 of %2 pages of %3 read")
                     .arg(pages.read.size())
                     .arg(pages.pages)
                     .arg(QFileInfo(scan).fileName());
    }
    return texts;
}

bool GradingSession::ContinueReading() {
    const QStringList unfinished = UnfinishedScans();
    return !unfinished.isEmpty() && AddScans(unfinished);
}

QStringList GradingSession::AlreadyRead(const QStringList& files) const {
    const QStringList unfinished = UnfinishedScans();
    QStringList read;
    for (const QString& file : files)
        if (scans_.contains(file) && !unfinished.contains(file) && !read.contains(file))
            read << file;
    return read;
}

void GradingSession::ScanPagesToJson(QJsonObject& root) const {
    QJsonArray scans;
    for (const QString& scan : scans_)
        if (const auto found = scanPages_.find(scan); found != scanPages_.end())
            scans.append(QJsonObject{{"file", scan},
                                     {"pages", found->second.pages},
                                     {"read", PageRanges(found->second.read)}});
    root["scan_pages"] = scans;
}

// A file written before the pages were kept has none: its scans count as read.
bool GradingSession::ScanPagesFromJson(const QJsonObject& root) {
    if (!root.contains("scan_pages")) return true;
    if (!root["scan_pages"].isArray()) return false;
    for (const QJsonValue& value : root["scan_pages"].toArray()) {
        const QJsonObject o = value.toObject();
        if (!o["file"].isString() || !o["pages"].isDouble() || !o["read"].isString()) return false;
        ScanPages pages;
        pages.pages = o["pages"].toInt();
        if (pages.pages < 0 || !FromPageRanges(o["read"].toString(), pages.pages, &pages.read))
            return false;
        scanPages_[o["file"].toString()] = std::move(pages);
    }
    return true;
}

// --- One window at a time ------------------------------------------------------

QString GradingSession::NewerGradingFile() const {
    const QString local = LocalFile(), data = dataFolder_.isEmpty() ? QString() : DataFile();
    const qint64 localTime = ModifiedNs(local), dataTime = data.isEmpty() ? -1 : ModifiedNs(data);
    if (localTime < 0 && dataTime < 0) return GradingFile();
    return dataTime > localTime ? data : local;
}

void GradingSession::TakeLock() {
    const QString path = GradingFile() + QStringLiteral(".lock");
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
    struct stat st {};
    QString user;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        if (const passwd* owner = ::getpwuid(st.st_uid))
            user = QString::fromLocal8Bit(owner->pw_name);
    heldBy_ = tr("%1 (process %2)").arg(program.isEmpty() ? tr("a program") : program).arg(pid);
    if (!user.isEmpty()) heldBy_ += tr(" of %1").arg(user);
    if (!host.isEmpty()) heldBy_ += tr(" on %1").arg(host);
}

bool GradingSession::ChangedOnDisk(const QString& path) const {
    const auto known = onDisk_.find(path);
    const QString now = DiskStamp(path);
    // A file that appeared since, or changed since it was last seen here.
    return known == onDisk_.end() ? !now.isEmpty() : now != known->second;
}

void GradingSession::NoteOnDisk() {
    onDisk_.clear();
    for (const QString& path : {LocalFile(), dataFolder_.isEmpty() ? QString() : DataFile()})
        if (!path.isEmpty()) onDisk_[path] = DiskStamp(path);
}

QString GradingSession::FileText() const {
    const QString kept = QDir::toNativeSeparators(GradingFile());
    if (!readFrom_.isEmpty() && readFrom_ != GradingFile())
        return tr("Kept in %1 (read from the newer %2)")
            .arg(kept, QDir::toNativeSeparators(readFrom_));
    return tr("Kept in %1").arg(kept);
}

QString GradingSession::Overwrite() {
    if (readOnly_) return Save();
    onDisk_[GradingFile()] = DiskStamp(GradingFile());
    return Save();
}

}  // namespace scrivane
