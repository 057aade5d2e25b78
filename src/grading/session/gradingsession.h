// The grading of one paper, behind the grades window: the scans added, what
// each of their pages read, the teacher's corrections, the class list and the
// adjustments of flawed questions; the scores and statistics recomputed after
// every change, kept in a grading file beside the paper and handed on as a
// spreadsheet. Qt Core and Gui only: the window draws it, nothing here does.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUndoStack>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "grading/scores/grades.h"
#include "grading/read/sheetreader.h"
#include "grading/session/gradingfile.h"
#include "grading/session/gradingsheet.h"
#include "grading/session/gradingsteps.h"
#include "grading/scores/statistics.h"
#include "print/versions/versions.h"

namespace scrivane {

class BatchRunner;
class SheetTranslator;
struct BatchPage;

// How a sheet stands in the teacher's review (the scoring's own SheetStatus
// does not know what the teacher did).
enum class ReviewStatus {
    Ok,          // read with no doubt
    Review,      // a doubt remains: see its reasons
    Unreadable,  // not a sheet of this paper, or not readable at all
    Corrected,   // the teacher resolved it: by corrections or by accepting it as read
};
// As the window and the export write it: ok, review, unreadable or corrected.
QString ReviewStatusText(ReviewStatus status);

// What loading the grading file found.
struct GradingLoad {
    // Empty when the file was read or there was none. Else a message for the
    // teacher: the damaged file was renamed aside and grading starts empty.
    QString damaged;
    QString setAsideAs;        // the damaged file's new name
    QStringList missingScans;  // scans that are no longer where they were (see RelocateScan)
};

// A sheet typed in by hand as printed on its version, read before it is added.
struct HandSheet {
    QStringList printed;              // the letters of each printed question, as typed
    std::vector<AnswerMask> answers;  // in the paper's questions and letters
    double score = 0;                 // what it scores now
    QString shown;                    // "1 A, 2 –, 3 BC": what was read, for the teacher to check
};

class GradingSession : public QObject, public GradingEdits {
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
    // Where the grading is kept (see GradingFile::Path).
    QString GradingFile() const { return file_.Path(); }
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
    // are skipped): SheetAdded for each page as it is read, ScanProgress,
    // then ScansFinished. False when a reading is already running or no new
    // file is given. A scan of which nothing was read before a cancel is
    // taken off the list again.
    bool AddScans(const QStringList& files);
    void CancelScans();
    bool Reading() const { return runner_ != nullptr; }
    const QStringList& Scans() const { return grading_.scans; }
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
    const std::vector<GradingSheet>& Sheets() const { return grading_.sheets; }
    // One per sheet, in the same order; each with its bubbles' doubts.
    const std::vector<SheetResult>& Results() const { return results_; }
    const GradeStatistics& Statistics() const { return statistics_; }
    // -1 when no sheet has that id.
    int IndexOf(int id) const;
    const GradingSheet* Sheet(int id) const;
    const SheetResult* Result(int id) const;
    ReviewStatus Status(int id) const;
    // Every sheet's id: those to review first, then the unreadable ones,
    // then the rest, each in reading order.
    std::vector<int> ReviewOrder() const;
    // The next sheet after `id` (in ReviewOrder's order of reading) still
    // to review, wrapping round; -1 when none is.
    int NextToReview(int id) const;
    int SheetCount() const { return int(grading_.sheets.size()); }
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
    // Takes the sheets out as one step; a scan all of whose sheets go is
    // taken off the list too.
    bool RemoveSheets(const std::vector<int>& ids);
    // A sheet typed in from a student's paper: the paper's letters marked,
    // one per question in the paper's order. Returns its id, -1 when the
    // number is not digits or the answers do not match the paper.
    int AddByHand(const QString& student, const QString& version,
                  const std::vector<AnswerMask>& answers);
    // A student number as a sheet typed in by hand needs it: digits, at least one.
    static bool IsStudentNumber(const QString& number);

    // --- Class list and flawed questions (steps of UndoStack() too) ------
    // A CSV of number and name (ClassList::FromCsv); false with *error set
    // when it is not one.
    bool SetClassList(const QByteArray& csv, QString* error);
    const ClassList* Classes() const { return classList_ ? &*classList_ : nullptr; }
    // Class list numbers with no sheet read, in the list's order.
    QStringList Absent() const;
    // question from 1. More answers taken as correct, each a set of the
    // paper's letters marked exactly; an empty list takes the adjustment away.
    bool SetAlsoAccepted(int question, const std::vector<AnswerMask>& answers);
    // One more answer taken as correct, typed as letters ("bd"): those the
    // question offers, added to the answers already accepted. False when it
    // names none of them or is accepted already.
    bool AddAlsoAccepted(int question, const QString& letters);
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
    bool ReadOnly() const { return file_.ReadOnly(); }
    // Who holds it when ReadOnly: "scrivane (process 1234) of ann on lab-3".
    const QString& HeldBy() const { return file_.HeldBy(); }
    // Which file the grading is kept in, for the window: "Kept in FILE",
    // with the newer file it was read from when that is the other one.
    QString FileText() const { return file_.Text(); }
    // After ChangedOnDisk: writes this session's grading over the file all the same.
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
    // The letters typed for a sheet of a version, the questions' separated
    // by commas ("a, bc, , d"), read and scored; nothing with *error set
    // (see PrintedToPaper).
    std::optional<HandSheet> ReadHandSheet(const QString& version, const QString& typed,
                                           QString* error) const;
    // A sheet typed in from a damaged sheet, as printed on its version; its
    // id, or -1 with *error set.
    int AddByHandPrinted(const QString& student, const QString& version, const QStringList& printed,
                         QString* error);
    // Scores the sheet as another version (one step); false when it is not
    // one of Versions() or already the sheet's.
    bool SetVersion(int id, const QString& version);

    // What changed in the paper since its sheets were printed and read
    // ("question 3 removed", "questions 4 and 7 swapped", "the options of
    // question 2 changed"), for the window to say; empty when every sheet
    // matches the paper.
    QString PaperChange() const;

    // --- For the undo steps (GradingEdits) ------------------------------------
    void PutSheets(const std::vector<SheetChange>& changes, bool undone,
                   const QStringList& scans) override;
    void PutAdjustments(const GradingAdjustments& adjustments) override;

signals:
    // After every change of any sheet, result, statistic or adjustment.
    void Changed();
    void SheetAdded(int id);
    // done of total pages read.
    void ScanProgress(int done, int total);
    // completed is false when cancelled.
    void ScansFinished(bool completed);
    // The grading file could not be written; why.
    void SaveFailed(const QString& error);
    // The grading file was changed by someone else since it was read or
    // written here, and was not written over: Load() takes it, Overwrite()
    // replaces it.
    void ChangedOnDisk(const QString& file);

private:
    void ClearGrading();
    // What was changed for question (from 1): "also accepted ...", "everyone given the mark".
    QStringList AdjustmentsOf(int question) const;
    bool ChangeSheet(int id, const QString& step,
                     const std::function<bool(GradingSheet&, std::size_t)>& change);
    void PushSheets(const QString& step, std::vector<SheetChange> changes,
                    const QStringList& scansAfter);
    void PushAdjustments(const QString& step, const GradingAdjustments& after);
    int NewHandSheet(GradingSheet sheet);

    void Recompute();
    // Each bubble's doubt, into the sheet's result.
    static void FindDoubts(const GradingSheet& sheet, SheetResult& result);
    // After a change: recompute, save, notify.
    void AfterChange();
    void PutSheet(int index, std::optional<GradingSheet> sheet, int id);
    const SheetRead& ToRead(const GradingSheet& sheet);
    std::shared_ptr<const SheetReader> Reader() const;
    PageRead ReadPageWith(const QString& file, int page,
                          const std::optional<SheetCode>& printedWith) const;

    QString paperPath_;
    class GradingFile file_;
    std::unique_ptr<AnswerKey> key_;
    std::unique_ptr<SheetTranslator> translator_;
    mutable std::mutex readerMutex_;  // ReadPage runs on other threads
    std::shared_ptr<const SheetReader> reader_;
    std::shared_ptr<const SheetReader> runnerReader_;  // the reading's, kept while it runs
    std::map<int, SheetRead> reads_;  // by id: each sheet's reading in the paper's terms
    // Everything the grading file keeps.
    GradingContent grading_;
    std::vector<SheetResult> results_;
    std::vector<ReviewStatus> statuses_;
    GradeStatistics statistics_;
    std::optional<ClassList> classList_;
    int nextId_ = 1;
    QString saveError_;
    bool loading_ = false;
    bool saveBlocked_ = false;  // a damaged file could not be set aside
    int unsavedPages_ = 0;
    QUndoStack undo_;
    BatchRunner* runner_ = nullptr;
    int pagesRead_ = 0;

    void NotePageRead(const QString& file, int page, int pages);
    void ScoreAsVersion(PageRead& page, const QString& version) const;

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
};

}  // namespace scrivane
