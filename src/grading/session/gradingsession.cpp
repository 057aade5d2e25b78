#include "grading/session/gradingsession.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <algorithm>
#include <set>

#include "grading/batch/batchrunner.h"
#include "grading/scores/gradesreport.h"
#include "grading/batch/sheettranslator.h"
#include "grading/batch/scanpages.h"
#include "grading/session/gradeworkbook.h"
#include "interchange/csv.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

// Scans without a resolution of their own are taken as a scanner's usual one.
constexpr double kFallbackDpi = 200;
// While a pile is read, the file is written every so many pages and at the end.
constexpr int kPagesPerSave = 20;

bool AllDigits(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

std::vector<DigitRead> DigitsOf(const QString& number) {
    std::vector<DigitRead> digits(std::size_t(number.size()));
    for (qsizetype i = 0; i < number.size(); ++i)
        digits[std::size_t(i)].marked = (unsigned short)(1 << (number[i].unicode() - u'0'));
    return digits;
}

}  // namespace

QString ReviewStatusText(ReviewStatus status) {
    switch (status) {
        case ReviewStatus::Review:
            return QStringLiteral("review");
        case ReviewStatus::Unreadable:
            return QStringLiteral("unreadable");
        case ReviewStatus::Corrected:
            return QStringLiteral("corrected");
        case ReviewStatus::Ok:
            break;
    }
    return QStringLiteral("ok");
}

GradingSession::GradingSession(QString paperPath, QString dataFolder,
                               std::vector<QuestionRecord> paper, QString modeLetters,
                               QObject* parent)
    : QObject(parent), paperPath_(paperPath), file_(std::move(paperPath), std::move(dataFolder)) {
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
    reads.reserve(grading_.sheets.size());
    for (const GradingSheet& sheet : grading_.sheets) reads.push_back(ToRead(sheet));
    key_->ClearAdjustments();
    for (const auto& [question, answers] : grading_.adjustments.alsoAccept)
        key_->AlsoAccept(question - 1, answers);
    for (const auto& [question, given] : grading_.adjustments.giveAll)
        key_->GiveAll(question - 1, true);
    results_ = GradeSheets(reads, *key_, classList_ ? &*classList_ : nullptr);

    statuses_.assign(grading_.sheets.size(), ReviewStatus::Ok);
    for (std::size_t s = 0; s < results_.size(); ++s) {
        SheetResult& result = results_[s];
        const GradingSheet& sheet = grading_.sheets[s];
        FindDoubts(sheet, result);
        if (result.status == SheetStatus::Unreadable) {
            statuses_[s] = ReviewStatus::Unreadable;
            continue;
        }
        const bool corrected = sheet.accepted || (!sheet.byHand && !sheet.typedStudent.isEmpty()) ||
                               std::any_of(sheet.bubbles.begin(), sheet.bubbles.end(),
                                           [](const SheetBubbleState& b) { return b.corrected; });
        if (sheet.accepted || result.reasons.isEmpty()) {
            result.status = SheetStatus::Ok;
            statuses_[s] = corrected ? ReviewStatus::Corrected : ReviewStatus::Ok;
        } else {
            result.status = SheetStatus::Review;
            statuses_[s] = ReviewStatus::Review;
        }
    }
    ReviewChangedPaper();
    statistics_ = ComputeStatistics(results_, *key_);
}

void GradingSession::FindDoubts(const GradingSheet& sheet, SheetResult& result) {
    result.bubbleDoubts.assign(sheet.bubbles.size(), false);
    for (std::size_t i = 0; i < sheet.bubbles.size(); ++i) {
        const SheetBubbleState& b = sheet.bubbles[i];
        bool doubt = b.mark == BubbleRead::Mark::Unclear;
        if (b.mark == BubbleRead::Mark::Marked) {
            // Two marks where one answer is asked are the doubt of the whole
            // question; two digits in one place of the student number too.
            if (b.bubble.kind == SheetBubble::Kind::Answer) {
                for (const AnswerResult& answer : result.answers)
                    if (answer.question == b.bubble.source &&
                        answer.status == AnswerStatus::Multiple)
                        doubt = true;
            } else {
                const auto marked = std::count_if(
                    sheet.bubbles.begin(), sheet.bubbles.end(), [&b](const SheetBubbleState& o) {
                        return o.bubble.kind == SheetBubble::Kind::Student &&
                               o.bubble.position == b.bubble.position &&
                               o.mark == BubbleRead::Mark::Marked;
                    });
                doubt = marked > 1;
            }
        }
        result.bubbleDoubts[i] = doubt;
    }
}

void GradingSession::AfterChange() {
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
        if (at >= 0) grading_.sheets.erase(grading_.sheets.begin() + at);
        return;
    }
    if (at >= 0) {
        grading_.sheets[std::size_t(at)] = std::move(*sheet);
        return;
    }
    index = std::clamp(index, 0, int(grading_.sheets.size()));
    grading_.sheets.insert(grading_.sheets.begin() + index, std::move(*sheet));
}

void GradingSession::PutSheets(const std::vector<SheetChange>& changes, bool undone,
                               const QStringList& scans) {
    // Removed first, then put back or in place in their order, so that
    // every index is that of the list as it was.
    for (const SheetChange& c : changes)
        if (!(undone ? c.before : c.after)) PutSheet(c.index, std::nullopt, c.id);
    for (const SheetChange& c : changes)
        if (const auto& sheet = undone ? c.before : c.after) PutSheet(c.index, sheet, c.id);
    grading_.scans = scans;
    AfterChange();
}

void GradingSession::PutAdjustments(const GradingAdjustments& adjustments) {
    grading_.adjustments = adjustments;
    classList_.reset();
    if (!grading_.adjustments.classCsv.isEmpty())
        classList_ = ClassList::FromStored(grading_.adjustments.classCsv);
    AfterChange();
}

// --- Reading -----------------------------------------------------------------

bool GradingSession::AddScans(const QStringList& files) {
    if (runner_) return false;
    QStringList added, resumed;
    const QStringList unfinished = UnfinishedScans();
    for (const QString& file : files)
        if (!file.isEmpty() && !grading_.scans.contains(file) && !added.contains(file))
            added << file;
        else if (unfinished.contains(file) && !resumed.contains(file))
            resumed << file;
    if (added.isEmpty() && resumed.isEmpty()) return false;
    // A scan added anew is read whole, whatever an earlier reading of it left.
    for (const QString& file : added) grading_.scanPages.erase(file);
    grading_.scans << added;
    runnerReader_ = Reader();
    runner_ = new BatchRunner(ScanPageSources(runnerReader_, kFallbackDpi), 2, this);
    if (!resumed.isEmpty()) {
        std::map<QString, std::set<int>> done;
        for (const QString& file : resumed) done[file] = grading_.scanPages[file].read;
        runner_->SkipPages([done = std::move(done)](const QString& file, int page) {
            const auto found = done.find(file);
            return found != done.end() && found->second.count(page) > 0;
        });
    }
    connect(runner_, &BatchRunner::PageRead, this, [this](const BatchPage& page) {
        NotePageRead(page.file, page.page, page.filePages);
        AddPage(page.file, page.page, page.read);
        emit ScanProgress(++pagesRead_, page.total);
    });
    connect(runner_, &BatchRunner::Finished, this, [this, added](bool completed) {
        // A scan of which nothing was read before a cancel can be added again.
        for (const QString& file : added)
            if (std::none_of(grading_.sheets.begin(), grading_.sheets.end(),
                             [&file](const GradingSheet& s) { return s.file == file; }))
                grading_.scans.removeAll(file);
        runner_->deleteLater();
        runner_ = nullptr;
        runnerReader_.reset();
        pagesRead_ = 0;
        Save();
        unsavedPages_ = 0;
        emit ScansFinished(completed);
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
    if (!grading_.scans.contains(file)) grading_.scans << file;
    const int id = sheet.id;
    grading_.sheets.push_back(std::move(sheet));
    Recompute();
    // A pile is written now and then while it is read, and whole at the end.
    if (!loading_ && (!runner_ || ++unsavedPages_ >= kPagesPerSave)) {
        Save();
        unsavedPages_ = 0;
    }
    emit SheetAdded(id);
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
    for (std::size_t i = 0; i < grading_.sheets.size(); ++i)
        if (grading_.sheets[i].id == id) return int(i);
    return -1;
}

const GradingSheet* GradingSession::Sheet(int id) const {
    const int i = IndexOf(id);
    return i < 0 ? nullptr : &grading_.sheets[std::size_t(i)];
}

const SheetResult* GradingSession::Result(int id) const {
    const int i = IndexOf(id);
    return i < 0 ? nullptr : &results_[std::size_t(i)];
}

ReviewStatus GradingSession::Status(int id) const {
    const int i = IndexOf(id);
    return i < 0 ? ReviewStatus::Unreadable : statuses_[std::size_t(i)];
}

std::vector<int> GradingSession::ReviewOrder() const {
    std::vector<int> ids;
    for (const ReviewStatus wanted : {ReviewStatus::Review, ReviewStatus::Unreadable})
        for (std::size_t i = 0; i < grading_.sheets.size(); ++i)
            if (statuses_[i] == wanted) ids.push_back(grading_.sheets[i].id);
    for (std::size_t i = 0; i < grading_.sheets.size(); ++i)
        if (statuses_[i] != ReviewStatus::Review && statuses_[i] != ReviewStatus::Unreadable)
            ids.push_back(grading_.sheets[i].id);
    return ids;
}

int GradingSession::NextToReview(int id) const {
    const int n = int(grading_.sheets.size());
    const int from = IndexOf(id);
    for (int k = 1; k <= n; ++k) {
        const int i = ((from < 0 ? -1 : from) + k) % n;
        if (statuses_[std::size_t(i)] == ReviewStatus::Review)
            return grading_.sheets[std::size_t(i)].id;
    }
    return -1;
}

int GradingSession::ToReviewCount() const {
    return int(std::count_if(statuses_.begin(), statuses_.end(), [](ReviewStatus s) {
        return s == ReviewStatus::Review || s == ReviewStatus::Unreadable;
    }));
}

QString GradingSession::CountsText() const {
    return (SheetCount() == 1 ? QStringLiteral("1 sheet")
                              : QStringLiteral("%1 sheets").arg(SheetCount())) +
           QStringLiteral(", %1 to review").arg(ToReviewCount());
}

// --- Corrections -------------------------------------------------------------

// A correction of one sheet as one step: change edits a copy of the sheet
// (at index in the list) and refuses by returning false.
bool GradingSession::ChangeSheet(int id, const QString& step,
                                 const std::function<bool(GradingSheet&, std::size_t)>& change) {
    const int i = IndexOf(id);
    if (i < 0) return false;
    const GradingSheet& sheet = grading_.sheets[std::size_t(i)];
    GradingSheet after = sheet;
    if (!change(after, std::size_t(i))) return false;
    PushSheets(step, {{sheet.id, i, sheet, after}}, grading_.scans);
    return true;
}

void GradingSession::PushSheets(const QString& step, std::vector<SheetChange> changes,
                                const QStringList& scansAfter) {
    undo_.push(new SheetsStep(*this, step, std::move(changes), grading_.scans, scansAfter));
}

void GradingSession::PushAdjustments(const QString& step, const GradingAdjustments& after) {
    undo_.push(new AdjustStep(*this, step, grading_.adjustments, after));
}

bool GradingSession::ToggleBubble(int id, int bubble) {
    return ChangeSheet(
        id, QStringLiteral("Mark a bubble"), [bubble](GradingSheet& sheet, std::size_t) {
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
        id, QStringLiteral("Choose a digit"), [position, digit](GradingSheet& sheet, std::size_t) {
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
    return ChangeSheet(id, QStringLiteral("Type a student number"),
                       [&typed](GradingSheet& sheet, std::size_t) {
                           if (sheet.typedStudent == typed || sheet.unreadable) return false;
                           sheet.typedStudent = typed;
                           return true;
                       });
}

bool GradingSession::Accept(int id) {
    if (StudentUnread(id)) return false;
    return ChangeSheet(
        id, QStringLiteral("Accept a sheet"), [this](GradingSheet& sheet, std::size_t i) {
            if (sheet.accepted || sheet.unreadable || statuses_[i] != ReviewStatus::Review)
                return false;
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
    PushSheets(QStringLiteral("Remove a sheet"),
               {{id, i, grading_.sheets[std::size_t(i)], std::nullopt}}, grading_.scans);
    return true;
}

bool GradingSession::RemoveScan(const QString& file) {
    if (file.isEmpty() || !grading_.scans.contains(file) || runner_) return false;
    std::vector<SheetChange> changes;
    for (std::size_t i = 0; i < grading_.sheets.size(); ++i)
        if (!grading_.sheets[i].byHand && grading_.sheets[i].file == file)
            changes.push_back({grading_.sheets[i].id, int(i), grading_.sheets[i], std::nullopt});
    QStringList after = grading_.scans;
    after.removeAll(file);
    PushSheets(QStringLiteral("Remove a scan"), std::move(changes), after);
    return true;
}

bool GradingSession::RemoveSheets(const std::vector<int>& ids) {
    if (ids.empty()) return false;
    const auto chosen = [&ids](int id) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    };
    // Every sheet of a scan chosen takes the scan out too.
    QStringList whole;
    for (const QString& scan : grading_.scans)
        if (std::all_of(grading_.sheets.begin(), grading_.sheets.end(),
                        [&](const GradingSheet& s) { return s.file != scan || chosen(s.id); }))
            whole << scan;
    undo_.beginMacro(QStringLiteral("Remove sheets"));
    for (const QString& scan : whole) RemoveScan(scan);
    for (int id : ids)
        if (Sheet(id)) RemoveSheet(id);
    undo_.endMacro();
    return true;
}

bool GradingSession::IsStudentNumber(const QString& number) {
    return !number.isEmpty() && AllDigits(number);
}

int GradingSession::NewHandSheet(GradingSheet sheet) {
    sheet.id = nextId_++;
    sheet.byHand = true;
    sheet.page = 0;
    const int id = sheet.id;
    PushSheets(QStringLiteral("Enter a sheet by hand"),
               {{id, int(grading_.sheets.size()), std::nullopt, std::move(sheet)}}, grading_.scans);
    return id;
}

int GradingSession::AddByHand(const QString& student, const QString& version,
                              const std::vector<AnswerMask>& answers) {
    const QString number = student.trimmed();
    if (!AllDigits(number) || number.size() > 20 ||
        answers.size() != std::size_t(key_->QuestionCount()))
        return -1;
    GradingSheet sheet;
    sheet.version = version.trimmed();
    sheet.typedStudent = number;
    sheet.handAnswers = answers;
    return NewHandSheet(std::move(sheet));
}

// --- Class list and flawed questions ------------------------------------------

bool GradingSession::SetClassList(const QByteArray& csv, QString* error) {
    // The decoded text is kept, so a list in Windows-1252 or UTF-16 reads
    // the same when the grading is opened again.
    const std::optional<QString> text = ClassList::Decode(csv, error);
    if (!text || !ClassList::FromText(*text, error)) return false;
    GradingAdjustments after = grading_.adjustments;
    after.classCsv = text->toUtf8();
    if (after == grading_.adjustments) return true;
    PushAdjustments(QStringLiteral("Load a class list"), after);
    return true;
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
    GradingAdjustments after = grading_.adjustments;
    if (kept.empty())
        after.alsoAccept.erase(question);
    else
        after.alsoAccept[question] = kept;
    if (after == grading_.adjustments) return false;
    PushAdjustments(QStringLiteral("Also accept"), after);
    return true;
}

bool GradingSession::AddAlsoAccepted(int question, const QString& letters) {
    if (question < 1 || question > key_->QuestionCount()) return false;
    const AnswerMask mask =
        AnswerTextToMask(letters.trimmed().toUpper()) & key_->Offered(question - 1);
    if (!mask) return false;
    std::vector<AnswerMask> accepted = AlsoAccepted(question);
    if (std::find(accepted.begin(), accepted.end(), mask) != accepted.end()) return false;
    accepted.push_back(mask);
    return SetAlsoAccepted(question, accepted);
}

std::vector<AnswerMask> GradingSession::AlsoAccepted(int question) const {
    const auto found = grading_.adjustments.alsoAccept.find(question);
    return found == grading_.adjustments.alsoAccept.end() ? std::vector<AnswerMask>{}
                                                          : found->second;
}

bool GradingSession::SetGiveAll(int question, bool give) {
    if (question < 1 || question > key_->QuestionCount()) return false;
    GradingAdjustments after = grading_.adjustments;
    if (give)
        after.giveAll[question] = true;
    else
        after.giveAll.erase(question);
    if (after == grading_.adjustments) return false;
    PushAdjustments(QStringLiteral("Give everyone the mark"), after);
    return true;
}

bool GradingSession::GiveAll(int question) const {
    return grading_.adjustments.giveAll.count(question) > 0;
}

QStringList GradingSession::AdjustmentsOf(int question) const {
    return AdjustmentPhrases(AlsoAccepted(question), GiveAll(question));
}

QStringList GradingSession::AdjustmentTexts() const {
    QStringList texts;
    for (int q = 1; q <= key_->QuestionCount(); ++q)
        for (const QString& text : AdjustmentsOf(q))
            texts << QStringLiteral("Q%1: %2").arg(q).arg(text);
    return texts;
}

// --- The grading file ----------------------------------------------------------

QStringList GradingSession::MissingScans() const {
    QStringList missing;
    for (const QString& scan : grading_.scans)
        if (!QFileInfo(scan).isFile()) missing << scan;
    return missing;
}

bool GradingSession::RelocateScan(const QString& oldPath, const QString& newPath) {
    const qsizetype at = grading_.scans.indexOf(oldPath);
    if (at < 0 || newPath.isEmpty() || (newPath != oldPath && grading_.scans.contains(newPath)))
        return false;
    grading_.scans[at] = newPath;
    if (const auto found = grading_.scanPages.find(oldPath); found != grading_.scanPages.end()) {
        ScanPages pages = found->second;
        grading_.scanPages.erase(found);
        grading_.scanPages[newPath] = pages;
    }
    for (GradingSheet& sheet : grading_.sheets)
        if (!sheet.byHand && sheet.file == oldPath) {
            sheet.file = newPath;
            reads_.erase(sheet.id);
        }
    // The undo steps name sheets by their ids and keep their old file: a
    // relocation is not a correction, so they are let go.
    undo_.clear();
    AfterChange();
    return true;
}

QString GradingSession::Save() {
    // Another window holds the grading: it alone writes it.
    if (ReadOnly())
        return saveError_ = tr("the grading is open in another window (%1)").arg(HeldBy());
    // Changed by someone else since it was read here: never written over blindly.
    if (!saveBlocked_ && file_.ChangedOnDisk()) {
        saveError_ = tr("the grading file was changed by another program since it was read");
        emit ChangedOnDisk(GradingFile());
        return saveError_;
    }
    if (saveBlocked_)
        saveError_ = tr("the damaged grading file could not be set aside");
    else
        saveError_ = file_.Write(grading_);
    if (!saveError_.isEmpty()) emit SaveFailed(saveError_);
    return saveError_;
}

// Nothing graded: no scans, sheets, adjustments or class list.
void GradingSession::ClearGrading() {
    grading_ = {};
    reads_.clear();
    classList_.reset();
    nextId_ = 1;
}

GradingLoad GradingSession::Load() {
    GradingLoad load;
    if (runner_) return load;
    // Of the file beside the paper and the one in the data folder, the newer
    // is the grading: corrections kept in the data folder while the paper's
    // folder was read-only are never hidden behind an older file.
    const QString path = file_.Newer();
    file_.TakeLock();
    undo_.clear();
    ClearGrading();
    scrivane::GradingFile::Read read = file_.Load(path);
    saveBlocked_ = read.blocked;
    load.damaged = read.damaged;
    load.setAsideAs = read.setAsideAs;
    if (read.grading) {
        grading_ = std::move(*read.grading);
        if (!grading_.adjustments.classCsv.isEmpty())
            classList_ = ClassList::FromStored(grading_.adjustments.classCsv);
        for (const GradingSheet& sheet : grading_.sheets) nextId_ = std::max(nextId_, sheet.id + 1);
    }
    loading_ = true;
    Recompute();
    loading_ = false;
    load.missingScans = MissingScans();
    emit Changed();
    return load;
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

    ExportSheet questions{QStringLiteral("Questions"),
                          QuestionsTable(statistics_, key_->ModeLetters(),
                                         [this](int question) { return AdjustmentsOf(question); })};

    const WorkbookBytes book = suffix == QStringLiteral("xlsx")
                                   ? WriteGradesXlsx({grades, questions})
                                   : WriteGradesOds({grades, questions});
    if (!book.error.isEmpty()) return book.error;
    return WriteBytesSafely(path, book.bytes);
}

// --- Review rules ------------------------------------------------------------

QStringList GradingSession::ExportStatuses() const {
    QStringList statuses;
    for (const ReviewStatus status : statuses_) statuses << ReviewStatusText(status);
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
    return ChangeSheet(
        id, QStringLiteral("Mark a bubble"), [bubble, marked](GradingSheet& sheet, std::size_t) {
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
    for (const GradingSheet& sheet : grading_.sheets)
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
            mask |= AnswerTextToMask(QString(option->sourceLetter));
        }
        if (question.source >= 1 && std::size_t(question.source) <= answers.size())
            answers[std::size_t(question.source - 1)] = mask;
    }
    return answers;
}

std::optional<HandSheet> GradingSession::ReadHandSheet(const QString& version, const QString& typed,
                                                       QString* error) const {
    HandSheet sheet;
    sheet.printed = typed.split(u',');
    std::optional<std::vector<AnswerMask>> answers = PrintedToPaper(version, sheet.printed, error);
    if (!answers) return std::nullopt;
    sheet.answers = std::move(*answers);
    for (int q = 0; q < key_->QuestionCount(); ++q) {
        AnswerRead read;
        read.question = q + 1;
        read.marked = sheet.answers[std::size_t(q)];
        sheet.score += key_->Score(q, read).score;
    }
    QStringList shown;
    for (qsizetype k = 0; k < sheet.printed.size(); ++k) {
        const QString marked = sheet.printed[k].simplified().remove(u' ').toUpper();
        shown << QStringLiteral("%1 %2").arg(k + 1).arg(marked.isEmpty() ? QStringLiteral("–")
                                                                         : marked);
    }
    sheet.shown = shown.join(QStringLiteral(", "));
    return sheet;
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
    sheet.version = version;
    sheet.typedStudent = number;
    sheet.handAnswers = *answers;
    sheet.handPrinted = printed;
    return NewHandSheet(std::move(sheet));
}

bool GradingSession::SetVersion(int id, const QString& version) {
    const std::vector<PaperVersion> versions = Versions();
    if (std::none_of(versions.begin(), versions.end(),
                     [&](const PaperVersion& v) { return v.name == version; }))
        return false;
    return ChangeSheet(
        id, QStringLiteral("Change the version"), [&](GradingSheet& sheet, std::size_t) {
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
        if (grading_.gradedShape.isEmpty()) grading_.gradedShape = CurrentShape();
        return;
    }
    const QStringList what = grading_.gradedShape.isEmpty()
                                 ? QStringList()
                                 : DescribeChange(grading_.gradedShape, CurrentShape());
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
    if (!grading_.gradedShape.isEmpty())
        DescribeChange(grading_.gradedShape, CurrentShape(), &moved);
    for (std::size_t s = 0; s < grading_.sheets.size() && s < results_.size(); ++s) {
        const GradingSheet& sheet = grading_.sheets[s];
        if (sheet.byHand || sheet.unreadable || results_[s].status == SheetStatus::Unreadable)
            continue;
        const std::optional<SheetCode> code = SheetCode::Decode(sheet.code);
        if (!code) continue;
        if (!PaperChangedSince(*code) && (code->textDigest == textDigest_ || !moved)) continue;
        results_[s].status = SheetStatus::Review;
        statuses_[s] = ReviewStatus::Review;
    }
}

QString GradingSession::PaperChange() const {
    bool other = false, changed = false;
    for (const GradingSheet& sheet : grading_.sheets) {
        if (sheet.byHand || sheet.unreadable) continue;
        const std::optional<SheetCode> code = SheetCode::Decode(sheet.code);
        if (!code) continue;
        if (!code->paperId.isEmpty() && !paperId_.isEmpty() && code->paperId != paperId_)
            other = true;
        else if (code->paperDigest != DigestFor(*code) ||
                 (!grading_.gradedShape.isEmpty() && code->textDigest != textDigest_))
            changed = true;
    }
    QStringList what;
    if (changed) {
        if (!grading_.gradedShape.isEmpty())
            what = DescribeChange(grading_.gradedShape, CurrentShape());
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

void GradingSession::NotePageRead(const QString& file, int page, int pages) {
    ScanPages& scan = grading_.scanPages[file];
    scan.pages = std::max({scan.pages, pages, page});
    scan.read.insert(page);
}

QStringList GradingSession::UnfinishedScans() const {
    QStringList unfinished;
    for (const QString& scan : grading_.scans)
        if (const auto found = grading_.scanPages.find(scan);
            found != grading_.scanPages.end() &&
            int(found->second.read.size()) < found->second.pages)
            unfinished << scan;
    return unfinished;
}

QStringList GradingSession::UnfinishedTexts() const {
    QStringList texts;
    for (const QString& scan : UnfinishedScans()) {
        const ScanPages& pages = grading_.scanPages.at(scan);
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
        if (grading_.scans.contains(file) && !unfinished.contains(file) && !read.contains(file))
            read << file;
    return read;
}

// --- One window at a time ------------------------------------------------------

QString GradingSession::Overwrite() {
    if (!ReadOnly()) file_.TakeOnDisk();
    return Save();
}

}  // namespace scrivane
