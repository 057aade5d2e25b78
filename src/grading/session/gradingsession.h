// The grading of one paper, behind the grades window: the scans added, what
// each of their pages read, the teacher's corrections, the class list and the
// adjustments of flawed questions; the scores and statistics recomputed after
// every change, kept in a grading file beside the paper and handed on as a
// spreadsheet. Qt Core and Gui only: the window draws it, nothing here does.
#pragma once

#include <QObject>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QUndoStack>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "grading/grades.h"
#include "grading/read/sheetreader.h"
#include "grading/statistics.h"
#include "print/versions.h"

class QJsonObject;
class QLockFile;

namespace scrivane {

class BatchRunner;
class SheetTranslator;
struct BatchPage;

// How a sheet stands in the table.
enum class SheetState {
    Ok,          // read with no doubt
    Review,      // a doubt remains: see its reasons
    Unreadable,  // not a sheet of this paper, or not readable at all
    Corrected,   // the teacher resolved it: by corrections or by accepting it as read
};

// One bubble of a read sheet, where the sheet's layout puts it, and how it
// stands now (as read, or as the teacher set it).
struct SheetBubbleState {
    SheetBubble bubble;  // kind, printed question and letter or digit place, centre and r in points
    BubbleRead::Mark mark = BubbleRead::Mark::Empty;
    bool corrected = false;  // the teacher set it
};

// One sheet: a page of a scan, or one typed in by hand.
struct GradingSheet {
    int id = 0;    // stable for the session and its file; never reused
    QString file;  // the scan's path; empty for a sheet typed in by hand
    int page = 1;  // in that file, from 1
    bool byHand = false;
    bool unreadable = false;
    // Unreadable: why. Otherwise the reading's own doubts ("the paper's texts
    // changed since printing", ...), which only Accept clears.
    QStringList readReasons;
    QByteArray code;  // the sheet's code as read (SheetCode::Encode), empty when none
    QString version;
    QSizeF pageSize;                        // the sheet's page, in points
    std::vector<SheetBubbleState> bubbles;  // in the layout's order
    // Typed by hand, in place of what the grid gave; empty for none.
    QString typedStudent;
    // A sheet typed in by hand: the paper's letters marked, one per question
    // in the paper's order.
    std::vector<AnswerMask> handAnswers;
    bool accepted = false;  // taken as read with Accept
    // Typed by hand as printed on the version's sheet: the letters of each
    // printed question, in that version's order (handAnswers follow from
    // them); empty for a sheet typed in the paper's order.
    QStringList handPrinted;
    // A scanned sheet scored as another version than the one printed on it
    // (a student who used another version's sheet): the version printed.
    QString printedVersion;
};

// What loading the grading file found.
struct GradingLoad {
    // Empty when the file was read or there was none. Else a message for the
    // teacher: the damaged file was renamed aside and grading starts empty.
    QString damaged;
    QString setAsideAs;        // the damaged file's new name
    QStringList missingScans;  // scans that are no longer where they were (see RelocateScan)
};

// The flag of a question's statistics, the first that applies: "Check the
// answer" (AnswerLooksWrong), then, unless the question was given to
// everyone, p below 0.2 "Too hard" and p above 0.95 "Too easy"; then
// point-biserial below 0.2 "Weak"; empty for none.
QString QuestionFlag(const QuestionStatistics& question);
// A key that looks wrong: the top group chose a distractor more often than
// the key, or the key's point-biserial is below 0 while a distractor's is
// above 0.2.
bool AnswerLooksWrong(const QuestionStatistics& question);

// The name endings of the scans read (PDF, PNG, JPEG, TIFF), in lower case.
const QStringList& ScanSuffixes();
// The same as file name patterns: "*.pdf", "*.png", ...
QStringList ScanPatterns();
// A file whose name ends as a scan's, in any case.
bool IsScanFile(const QString& path);
// The scan files in a folder, sorted by name, for a folder dropped on the window.
QStringList ScanFilesIn(const QString& folder);

class GradingSession : public QObject {
    Q_OBJECT
public:
    // paperPath: the paper on disk, whose grading this is. dataFolder: where
    // the grading file goes when the paper's folder is read-only (e.g.
    // Platform::DataFolder()). Nothing is read until Load().
    GradingSession(QString paperPath, QString dataFolder, std::vector<QuestionRecord> paper,
                   QString modeLetters, QObject* parent = nullptr);
    ~GradingSession() override;

    // --- The paper ---------------------------------------------------------
    const QString& PaperPath() const { return paperPath_; }
    // The paper's rows changed (an answer or a mark fixed in the editor):
    // every sheet is scored again at once. Not a correction: the paper keeps
    // its own history.
    void SetPaper(std::vector<QuestionRecord> paper, QString modeLetters);
    const std::vector<QuestionRecord>& Paper() const;
    const AnswerKey& Key() const { return *key_; }

    // --- The grading file --------------------------------------------------
    // <paper>.grades.json beside the paper, or in the data folder (named by
    // a digest of the paper's path) when the paper's folder is read-only.
    QString GradingFile() const;
    // Reads the grading file, if any, replacing everything; a damaged file
    // is renamed aside (never overwritten) and grading starts empty.
    GradingLoad Load();
    // Writes the grading file by the safe write; done after every change
    // already. Returns why it failed, or an empty text.
    QString Save();
    // The last save's failure, empty after a success.
    const QString& SaveError() const { return saveError_; }
    // The scans added that are not where they were.
    QStringList MissingScans() const;
    // A scan found elsewhere: every sheet of it now reads from newPath.
    // False when oldPath is not one of the scans.
    bool RelocateScan(const QString& oldPath, const QString& newPath);

    // --- Reading scans -----------------------------------------------------
    // Reads every page of the files in the background (files already added
    // are skipped): sheetAdded for each page as it is read, scanProgress,
    // then scansFinished. False when a reading is already running or no new
    // file is given. A scan of which nothing was read before a cancel is
    // taken off the list again.
    bool AddScans(const QStringList& files);
    void CancelScans();
    bool Reading() const { return runner_ != nullptr; }
    const QStringList& Scans() const { return scans_; }
    // One page read (by the background reading, or handed in): stored and
    // scored at once. Returns the sheet's id.
    int AddPage(const QString& file, int page, const PageRead& read);
    // Reads one page of a scan again, with its upright picture, for showing
    // it. Slow (a page's decoding and registration): call it off the GUI
    // thread; safe on several threads at once.
    PageRead ReadPage(const QString& file, int page) const;
    // The sheet's page read again (see ReadPage); an unread page for a sheet
    // typed in by hand.
    PageRead ReadPage(int id) const;

    // --- The sheets and their results -------------------------------------
    // In the order they were read (and typed in).
    const std::vector<GradingSheet>& Sheets() const { return sheets_; }
    // One per sheet, in the same order.
    const std::vector<SheetResult>& Results() const { return results_; }
    const GradeStatistics& Statistics() const { return statistics_; }
    // -1 when no sheet has that id.
    int IndexOf(int id) const;
    const GradingSheet* Sheet(int id) const;
    const SheetResult* Result(int id) const;
    SheetState State(int id) const;
    // Every sheet's id: those to review first, then the unreadable ones,
    // then the rest, each in reading order.
    std::vector<int> ReviewOrder() const;
    // The next sheet after `id` (in ReviewOrder's order of reading) still
    // to review, wrapping round; -1 when none is.
    int NextToReview(int id) const;
    int SheetCount() const { return int(sheets_.size()); }
    // Sheets in review or unreadable.
    int ToReviewCount() const;
    // "N sheets, R to review".
    QString CountsText() const;

    // --- Corrections (each one a step of UndoStack()) ---------------------
    // Turns a bubble's mark on or off (an unclear one becomes marked).
    // bubble: its index in the sheet's bubbles.
    bool ToggleBubble(int id, int bubble);
    // Chooses the digit of a student number place: that bubble marked, the
    // other bubbles of the place empty.
    bool ChooseDigit(int id, int position, int digit);
    // A student number typed by hand (digits only); empty takes it away.
    bool TypeStudent(int id, const QString& number);
    // Takes the sheet as read: its remaining doubts no longer count, and
    // its unclear bubbles count as empty. False for a sheet not in review or
    // whose student number still holds a '?' (the number comes first).
    bool Accept(int id);
    bool RemoveSheet(int id);
    // Takes every sheet of a scan out, and the scan from the list.
    bool RemoveScan(const QString& file);
    // A sheet typed in from a student's paper: the paper's letters marked,
    // one per question in the paper's order. Returns its id, -1 when the
    // number is not digits or the answers do not match the paper.
    int AddByHand(const QString& student, const QString& version,
                  const std::vector<AnswerMask>& answers);

    // --- Class list and flawed questions (steps of UndoStack() too) ------
    // A CSV of number and name (ClassList::FromCsv); false with *error set
    // when it is not one.
    bool SetClassList(const QByteArray& csv, QString* error);
    void ClearClassList();
    const ClassList* Classes() const { return classList_ ? &*classList_ : nullptr; }
    // Class list numbers with no sheet read, in the list's order.
    QStringList Absent() const;
    // question from 1. More answers taken as correct, each a set of the
    // paper's letters marked exactly; an empty list takes the adjustment away.
    bool SetAlsoAccepted(int question, const std::vector<AnswerMask>& answers);
    std::vector<AnswerMask> AlsoAccepted(int question) const;
    // Every sheet read gets the question's mark.
    bool SetGiveAll(int question, bool give);
    bool GiveAll(int question) const;
    // The adjustments as the export lists them: "Q3: also accepted B, AC",
    // "Q7: everyone given the mark".
    QStringList AdjustmentTexts() const;

    // The corrections' history, apart from the paper's own.
    QUndoStack* UndoStack() { return &undo_; }

    // --- Export ------------------------------------------------------------
    // CSV, .xlsx or .ods by the extension, by the safe write: sheet "Grades"
    // and, in a workbook, "Questions" with the statistics and adjustments.
    // Returns why it failed, or an empty text.
    QString ExportGrades(const QString& path) const;

    // --- A pile cut off -------------------------------------------------------
    // The scans of which some pages are not read yet (a reading cancelled,
    // or cut off by a crash), in the list's order. AddScans of such a scan
    // reads its missing pages only.
    QStringList UnfinishedScans() const;
    // "80 of 300 pages of pile.pdf read", one for each unfinished scan.
    QStringList UnfinishedTexts() const;
    // Reads the missing pages of every unfinished scan; false when none is.
    bool ContinueReading();
    // Of files, those listed already with every page read: adding them
    // reads nothing.
    QStringList AlreadyRead(const QStringList& files) const;

    // --- One window at a time ------------------------------------------------
    // Another window (of this program or another one) holds the grading:
    // this one shows it and writes nothing. Known after Load().
    bool ReadOnly() const { return readOnly_; }
    // Who holds it when ReadOnly: "scrivane (process 1234) of ann on lab-3".
    const QString& HeldBy() const { return heldBy_; }
    // Which file the grading is kept in, for the window: "Kept in FILE",
    // with the newer file it was read from when that is the other one.
    QString FileText() const;
    // After changedOnDisk: writes this session's grading over the file all the same.
    QString Overwrite();

    // --- Review rules ------------------------------------------------------
    // The answer bubbles of a scanned sheet still neither marked nor empty.
    int UnclearBubbles(int id) const;
    // Whether the sheet's student number still has a place not read ('?').
    bool StudentUnread(int id) const;
    // Sets a bubble marked or empty (M and E on the picture), one step;
    // false when it already is.
    bool SetBubble(int id, int bubble, bool marked);
    // A reason for review, and the question of the paper it is about (from
    // 1; 0 for one about the sheet as a whole or its student number).
    struct ReviewReason {
        QString text;
        int question = 0;
        int sheetQuestion = 0;  // as printed on the sheet
    };
    // The sheet's reasons in the order the sheet prints them: the reading's
    // own and those of the student number first, then the questions' by
    // their printed number.
    std::vector<ReviewReason> ReviewReasons(int id) const;
    // The status of each sheet as the export writes it: ok, review,
    // corrected or unreadable.
    QStringList ExportStatuses() const;

    // The versions the sheets were printed in, as the scanned sheets' codes
    // tell; the paper's own order as version "A" while no sheet tells.
    std::vector<PaperVersion> Versions() const;
    // Answers typed as printed on a version's sheet (the letters of each
    // printed question, in order) in the paper's questions and letters.
    // Nothing, with *error naming the question, for a letter the question
    // does not offer or a count of answers other than the questions'.
    std::optional<std::vector<AnswerMask>> PrintedToPaper(const QString& version,
                                                          const QStringList& printed,
                                                          QString* error) const;
    // A sheet typed in from a damaged sheet, as printed on its version; its
    // id, or -1 with *error set.
    int AddByHandPrinted(const QString& student, const QString& version, const QStringList& printed,
                         QString* error);
    // Scores the sheet as another version (one step); false when it is not
    // one of Versions() or already the sheet's.
    bool SetVersion(int id, const QString& version);

signals:
    // After every change of any sheet, result, statistic or adjustment.
    void Changed();
    void sheetAdded(int id);
    // done of total pages read.
    void scanProgress(int done, int total);
    // completed is false when cancelled.
    void scansFinished(bool completed);
    // The grading file could not be written; why.
    void saveFailed(const QString& error);
    // The grading file was changed by someone else since it was read or
    // written here, and was not written over: Load() takes it, Overwrite()
    // replaces it.
    void changedOnDisk(const QString& file);

private:
    friend class SheetsCommand;

    void ClearGrading();
    // What was changed for question (from 1): "also accepted ...", "everyone given the mark".
    QStringList AdjustmentsOf(int question) const;
    bool ChangeSheet(int id, const QString& step,
                     const std::function<bool(GradingSheet&, std::size_t)>& change);
    friend class AdjustCommand;

    struct Adjustments {
        std::map<int, std::vector<AnswerMask>> alsoAccept;  // by question from 1
        std::map<int, bool> giveAll;
        QByteArray classCsv;
        bool operator==(const Adjustments&) const = default;
    };

    void Recompute();
    void Touched();  // recompute, save, notify
    void PutSheet(int index, std::optional<GradingSheet> sheet, int id);
    void SetAdjustments(const Adjustments& adjustments);
    void OnPage(const BatchPage& page);
    void PushSheetChange(const QString& text, std::vector<std::optional<GradingSheet>> before,
                         std::vector<std::optional<GradingSheet>> after, std::vector<int> ids,
                         std::vector<int> indexes);
    const SheetRead& ToRead(const GradingSheet& sheet);
    std::shared_ptr<const SheetReader> Reader() const;
    PageRead ReadPageWith(const QString& file, int page,
                          const std::optional<SheetCode>& printedWith) const;
    QString LocalFile() const;
    QString DataFile() const;
    QByteArray ToJson() const;
    bool FromJson(const QByteArray& json);

    QString paperPath_, dataFolder_;
    std::unique_ptr<AnswerKey> key_;
    std::unique_ptr<SheetTranslator> translator_;
    mutable std::mutex readerMutex_;  // ReadPage runs on other threads
    std::shared_ptr<const SheetReader> reader_;
    std::shared_ptr<const SheetReader> runnerReader_;  // the reading's, kept while it runs
    std::map<int, SheetRead> reads_;  // by id: each sheet's reading in the paper's terms
    QStringList scans_;
    std::vector<GradingSheet> sheets_;
    std::vector<SheetResult> results_;
    std::vector<SheetState> states_;
    GradeStatistics statistics_;
    Adjustments adjustments_;
    std::optional<ClassList> classList_;
    int nextId_ = 1;
    QString saveError_;
    bool loading_ = false;
    bool saveBlocked_ = false;  // a damaged file could not be set aside
    int unsavedPages_ = 0;
    QUndoStack undo_;
    BatchRunner* runner_ = nullptr;
    int pagesRead_ = 0;

    // Of each scan, how many pages it has and which were read (kept in the
    // grading file, so a pile cut off can be continued).
    struct ScanPages {
        int pages = 0;
        std::set<int> read;
    };
    void NotePageRead(const QString& file, int page, int pages);
    bool StartReading(const QStringList& added, const QStringList& resumed);
    void ScanPagesToJson(QJsonObject& root) const;
    bool ScanPagesFromJson(const QJsonObject& root);
    // The grading file and its lock.
    QString NewerGradingFile() const;
    void TakeLock();
    bool ChangedOnDisk(const QString& path) const;
    void NoteOnDisk();
    std::map<QString, ScanPages> scanPages_;
    std::unique_ptr<QLockFile> lock_;
    bool readOnly_ = false;
    QString heldBy_;
    QString readFrom_;                   // the file Load read, empty for none
    std::map<QString, QString> onDisk_;  // each grading file as last seen here
    void ScoreAsVersion(PageRead& page, const QString& version) const;

public:
    // What changed in the paper since its sheets were printed and read
    // ("question 3 removed", "questions 4 and 7 swapped", "the options of
    // question 2 changed"), for the window to say; empty when every sheet
    // matches the paper.
    QString PaperChange() const;

private:
    // Each sheet's code is checked against the paper as it is now: a sheet of
    // a paper whose questions changed since (or of another paper) stays to
    // review with the reason, whatever was accepted.
    bool PaperChangedSince(const SheetCode& code) const;
    void CheckPaperOf(SheetRead& read, const std::optional<SheetCode>& code);
    void ReviewChangedPaper();
    QStringList CurrentShape() const;

    QString modeLetters_;
    QString paperDigest_, textDigest_, paperId_;
    QString legacyDigest_;  // by the first kept-options rule, for sheets printed under it
    const QString& DigestFor(const SheetCode& code) const;
    // The paper as its sheets were read: a key for each question (its title,
    // its options and those that keep their place), to tell what changed.
    QStringList gradedShape_;
};

}  // namespace scrivane
