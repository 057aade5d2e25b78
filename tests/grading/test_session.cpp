// The grading of a paper on scans of its own printing: a small pile read in
// the background, its doubts corrected and undone, the marks following a
// changed answer and a flawed question's adjustments, the grading file kept
// exactly and a damaged one set aside, and the grades exported and read back.
#include <sys/wait.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <random>

#include "grading/scores/gradesreport.h"
#include "grading/read/scanfiles.h"
#include "grading/session/gradingmodels.h"
#include "grading/session/gradingsession.h"
#include "interchange/csv.h"
#include "scangen/scangen.h"
#include "spreadsheet/codec/reader.h"

using namespace scrivane;
using namespace scrivane::scangen;

namespace {

const PrintRun& Run() {
    static const PrintRun run = Print(SamplePaper(8, 5), QStringLiteral("ABCDE"), 2, 5, 4);
    return run;
}

AnswerMask Bit(QChar letter) {
    return AnswerMask(1 << (letter.unicode() - u'A'));
}

// The paper's first letter that the question offers and is not its answer.
AnswerMask WrongLetter(const QuestionRecord& question) {
    for (int i = 0; i < 6; ++i)
        if (!question.Items[std::size_t(i)].isEmpty() && !(question.Answer & (1 << i)))
            return AnswerMask(1 << i);
    return 0;
}

// The letter in the paper of a bubble printed on version v.
QChar SourceLetter(int v, const SheetBubble& bubble) {
    for (const PrintedQuestion& question : Run().versions[std::size_t(v)].questions)
        if (question.source == bubble.source)
            for (const PrintedOption& option : question.options)
                if (option.letter == bubble.option) return option.sourceLetter;
    return bubble.option;
}

// A clean scan of version v with the student's digits ('?' for a column
// left empty) and marks[q] the paper's letters marked for question q + 1.
QByteArray Scan(int v, const QString& student, const std::vector<AnswerMask>& marks,
                std::uint32_t seed) {
    const SheetPageLayout& layout = Run().layouts[std::size_t(v)];
    Filling filling;
    filling.student = student;
    for (const SheetBubble& b : layout.bubbles) {
        bool on = false;
        if (b.kind == SheetBubble::Kind::Student)
            on = student[b.position] == QChar(u'0' + b.digit);
        else
            on = marks[std::size_t(b.source - 1)] & Bit(SourceLetter(v, b));
        filling.marks.push_back(on ? Mark::Pencil : Mark::None);
    }
    std::mt19937 random(seed);
    const QImage page = DrawMarks(
        RenderBlankSheet(layout, Run().versions[std::size_t(v)], Run().codes[std::size_t(v)], 200),
        200, layout, filling, random);
    return Encode(Distort(page, 200, RandomDistortion(random, 0), random), 0, 200);
}

std::vector<AnswerMask> Answers(const std::vector<QuestionRecord>& paper) {
    std::vector<AnswerMask> answers;
    for (const QuestionRecord& q : paper) answers.push_back(q.Answer);
    return answers;
}

void Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int IdOf(const GradingSession& session, const QString& fileName) {
    for (const GradingSheet& sheet : session.Sheets())
        if (QFileInfo(sheet.file).fileName() == fileName) return sheet.id;
    return -1;
}

// The index of the bubble of question `source` and the paper's `letter`.
int BubbleOf(const GradingSheet& sheet, int source, AnswerMask letter) {
    const int v = sheet.version == "A" ? 0 : 1;
    for (std::size_t i = 0; i < sheet.bubbles.size(); ++i) {
        const SheetBubble& b = sheet.bubbles[i].bubble;
        if (b.kind == SheetBubble::Kind::Answer && b.source == source &&
            Bit(SourceLetter(v, b)) == letter)
            return int(i);
    }
    return -1;
}

}  // namespace

class TestSession : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void readsAndCorrects();
    void modelsFollowByRowsAndDoubtsAreTheSessions();
    void followsThePaperAndAdjustments();
    void keepsTheGradingFileExactly();
    void setsADamagedFileAside();
    void keepsItInTheDataFolderWhenThePapersFolderCannotBeWritten();
    void cancelledReadingKeepsWhatWasRead();
    void exportsAndReadsBack();
    void flags_data();
    void flags();
    void oneWindowAtATime();
    void aCutOffReadingIsContinued();
    void theNewerFileIsTheGrading();
    void classListsKeepTheirNames();
    void entersByHandAsPrintedAndChangesVersions();
    void paperChangedSinceReading_data();
    void paperChangedSinceReading();
    void anAcceptedSheetNeverScoresAnUnclearAnswer();

private:
    // A session on the pile, read afresh from the grading file kept after
    // the first reading.
    std::unique_ptr<GradingSession> Session();

    QTemporaryDir dir_;
    QString paper_, data_;
    QByteArray gradingFile_;
};

void TestSession::initTestCase() {
    QVERIFY(dir_.isValid());
    paper_ = dir_.filePath("endofterm.tpf");
    data_ = dir_.filePath("data");
    const std::vector<QuestionRecord>& paper = Run().paper;
    std::vector<AnswerMask> twice = Answers(paper), wrong;
    twice[0] |= WrongLetter(paper[0]);
    for (const QuestionRecord& q : paper) wrong.push_back(WrongLetter(q));
    Write(dir_.filePath("a.png"), Scan(0, "0123", Answers(paper), 1));
    Write(dir_.filePath("b.png"), Scan(1, "5678", twice, 2));
    Write(dir_.filePath("c.png"), Scan(0, "12?4", wrong, 3));
    Write(dir_.filePath("notes.png"), "not a picture");

    GradingSession session(paper_, data_, paper, Run().modeLetters);
    QSignalSpy finished(&session, &GradingSession::ScansFinished);
    QSignalSpy added(&session, &GradingSession::SheetAdded);
    QVERIFY(session.AddScans(ScanFilesIn(dir_.path())));
    QVERIFY(!session.AddScans({dir_.filePath("a.png")}));  // one reading at a time
    QVERIFY(finished.wait(120000));
    QCOMPARE(finished.first().first().toBool(), true);
    QCOMPARE(added.size(), 4);
    QCOMPARE(session.GradingFile(), paper_ + ".grades.json");
    gradingFile_ = ReadAll(session.GradingFile());
    QVERIFY(!gradingFile_.isEmpty());
}

std::unique_ptr<GradingSession> TestSession::Session() {
    QFile::remove(paper_ + ".grades.json");
    Write(paper_ + ".grades.json", gradingFile_);
    auto session = std::make_unique<GradingSession>(paper_, data_, Run().paper, Run().modeLetters);
    const GradingLoad load = session->Load();
    if (!load.damaged.isEmpty()) qWarning() << load.damaged;
    return session;
}

// The sheets' table follows corrections by moving, removing and inserting
// rows, never by laying itself out anew; each bubble's doubt is the session's.
void TestSession::modelsFollowByRowsAndDoubtsAreTheSessions() {
    auto session = Session();
    const int a = IdOf(*session, "a.png"), b = IdOf(*session, "b.png"), c = IdOf(*session, "c.png"),
              notes = IdOf(*session, "notes.png");
    SheetsModel model(*session);
    const auto rows = [&model] {
        std::vector<int> ids;
        for (int row = 0; row < model.rowCount(); ++row) ids.push_back(model.SheetAt(row));
        return ids;
    };
    const auto follow = [&] {
        model.Update();
        QCOMPARE(rows(), session->ReviewOrder());
    };
    QCOMPARE(rows(), (std::vector<int>{b, c, notes, a}));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    QSignalSpy moved(&model, &QAbstractItemModel::rowsMoved);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    // Question 1 marked twice: both marks in doubt, the other bubbles not.
    const AnswerMask key = Answers(Run().paper)[0], wrong = WrongLetter(Run().paper[0]);
    const int keyBubble = BubbleOf(*session->Sheet(b), 1, key);
    const int wrongBubble = BubbleOf(*session->Sheet(b), 1, wrong);
    const std::vector<bool>& doubts = session->Result(b)->bubbleDoubts;
    QCOMPARE(doubts.size(), session->Sheet(b)->bubbles.size());
    QCOMPARE(std::count(doubts.begin(), doubts.end(), true), 2);
    QVERIFY(doubts[std::size_t(keyBubble)] && doubts[std::size_t(wrongBubble)]);

    // Corrected, b goes below the sheets to review: one row moved.
    QVERIFY(session->ToggleBubble(b, wrongBubble));
    follow();
    QCOMPARE(moved.size(), 1);
    QVERIFY(std::none_of(session->Result(b)->bubbleDoubts.begin(),
                         session->Result(b)->bubbleDoubts.end(), [](bool d) { return d; }));
    QCOMPARE(model.index(model.RowOf(b), SheetsModel::Status).data().toString(),
             QStringLiteral("corrected"));

    // A second digit in a place of the student number: both digits in doubt.
    QVERIFY(session->ChooseDigit(c, 2, 3));
    int other = -1, chosen = -1;
    const std::vector<SheetBubbleState>& bubbles = session->Sheet(c)->bubbles;
    for (std::size_t i = 0; i < bubbles.size(); ++i)
        if (bubbles[i].bubble.kind == SheetBubble::Kind::Student && bubbles[i].bubble.position == 2)
            (bubbles[i].bubble.digit == 3 ? chosen : other) = int(i);
    QVERIFY(session->SetBubble(c, other, true));
    QVERIFY(session->Result(c)->bubbleDoubts[std::size_t(chosen)]);
    QVERIFY(session->Result(c)->bubbleDoubts[std::size_t(other)]);
    follow();

    // The unreadable page taken out with its scan, as one step; undone, back.
    QVERIFY(session->RemoveSheets({notes}));
    QVERIFY(!session->Scans().contains(dir_.filePath("notes.png")));
    follow();
    QCOMPARE(removed.size(), 1);
    QCOMPARE(session->UndoStack()->undoText(), QStringLiteral("Remove sheets"));
    session->UndoStack()->undo();
    QVERIFY(session->Scans().contains(dir_.filePath("notes.png")));
    follow();
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(reset.size(), 0);
    QCOMPARE(layout.size(), 0);
}

void TestSession::readsAndCorrects() {
    auto session = Session();
    const int a = IdOf(*session, "a.png"), b = IdOf(*session, "b.png"), c = IdOf(*session, "c.png"),
              notes = IdOf(*session, "notes.png");
    const double max = session->Key().Maximum();
    QCOMPARE(session->CountsText(), QStringLiteral("4 sheets, 3 to review"));
    QCOMPARE(session->ReviewOrder(), (std::vector<int>{b, c, notes, a}));
    QCOMPARE(session->Status(a), ReviewStatus::Ok);
    QCOMPARE(*session->Result(a)->student, QStringLiteral("0123"));
    QCOMPARE(session->Result(a)->score, max);
    QCOMPARE(session->Status(notes), ReviewStatus::Unreadable);
    QCOMPARE(session->NextToReview(b), c);
    QCOMPARE(session->NextToReview(c), b);

    // Two marks on question 1: the wrong one taken off.
    const SheetResult* result = session->Result(b);
    QCOMPARE(session->Status(b), ReviewStatus::Review);
    QVERIFY2(result->reasons.join(";").contains("several marks"),
             qPrintable(result->reasons.join(";")));
    QSignalSpy changed(session.get(), &GradingSession::Changed);
    const int wrongBubble = BubbleOf(*session->Sheet(b), 1, WrongLetter(Run().paper[0]));
    QVERIFY(session->ToggleBubble(b, wrongBubble));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(session->Status(b), ReviewStatus::Corrected);
    QCOMPARE(session->Result(b)->score, max);
    QCOMPARE(session->CountsText(), QStringLiteral("4 sheets, 2 to review"));
    session->UndoStack()->undo();
    QCOMPARE(session->Status(b), ReviewStatus::Review);
    QCOMPARE(session->Result(b)->score, max - session->Key().Mark(0));
    session->UndoStack()->redo();
    QCOMPARE(session->Status(b), ReviewStatus::Corrected);

    // The empty digit chosen; the number then read twice, then typed.
    QCOMPARE(*session->Result(c)->student, QStringLiteral("12?4"));
    QVERIFY(session->ChooseDigit(c, 2, 3));
    QCOMPARE(*session->Result(c)->student, QStringLiteral("1234"));
    QCOMPARE(session->Status(c), ReviewStatus::Corrected);
    QCOMPARE(session->Result(c)->score, 0.0);
    QVERIFY(!session->TypeStudent(c, "12a4"));
    QVERIFY(session->TypeStudent(c, "0123"));
    QCOMPARE(session->Status(c), ReviewStatus::Review);  // the same number as a.png
    QVERIFY(session->Accept(c));
    QCOMPARE(session->Status(c), ReviewStatus::Corrected);

    // An unreadable page is taken out, not accepted; a damaged sheet typed in.
    QVERIFY(!session->Accept(notes));
    QVERIFY(session->RemoveScan(dir_.filePath("notes.png")));
    QCOMPARE(session->Status(a), ReviewStatus::Review);  // its number is on c.png too
    QCOMPARE(session->CountsText(), QStringLiteral("3 sheets, 1 to review"));
    QVERIFY(!session->Scans().contains(dir_.filePath("notes.png")));
    QCOMPARE(session->AddByHand("12x", "A", Answers(Run().paper)), -1);
    const int hand = session->AddByHand("4321", "A", Answers(Run().paper));
    QCOMPARE(session->Result(hand)->score, max);
    QCOMPARE(session->Status(hand), ReviewStatus::Ok);

    // Every step back to the sheets as read.
    while (session->UndoStack()->canUndo()) session->UndoStack()->undo();
    QCOMPARE(session->CountsText(), QStringLiteral("4 sheets, 3 to review"));
    QCOMPARE(session->ReviewOrder(), (std::vector<int>{b, c, notes, a}));
    QCOMPARE(ReadAll(session->GradingFile()), gradingFile_);
}

void TestSession::followsThePaperAndAdjustments() {
    auto session = Session();
    const int a = IdOf(*session, "a.png"), c = IdOf(*session, "c.png");
    const double max = session->Key().Maximum(), mark1 = session->Key().Mark(0);
    std::vector<QuestionRecord> paper = Run().paper;
    const AnswerMask key1 = paper[0].Answer;
    paper[0].Answer = WrongLetter(paper[0]);  // what c.png marked
    session->SetPaper(paper, Run().modeLetters);
    QCOMPARE(session->Result(a)->score, max - mark1);
    QCOMPARE(session->Result(c)->score, mark1);
    QCOMPARE(*session->Statistics().questions[0].answer, MarkedLetters(paper[0].Answer));
    QVERIFY(!session->UndoStack()->canUndo());  // the paper keeps its own history

    QVERIFY(session->SetAlsoAccepted(1, {key1}));
    QCOMPARE(session->Result(a)->score, max);
    QCOMPARE(session->Result(c)->score, mark1);
    // b.png marked both: still wrong.
    QCOMPARE(*session->Statistics().questions[0].p, 2.0 / 3);

    QVERIFY(session->SetGiveAll(2, true));
    QCOMPARE(session->Result(c)->score, mark1 + session->Key().Mark(1));
    QCOMPARE(*session->Statistics().questions[1].p, 1.0);
    QCOMPARE(session->AdjustmentTexts(), (QStringList{"Q1: also accepted " + MarkedLetters(key1),
                                                      "Q2: everyone given the mark"}));

    // Accepting the second mark of b.png's question 1 clears its doubt.
    const int b = IdOf(*session, "b.png");
    QCOMPARE(session->Status(b), ReviewStatus::Review);
    QVERIFY(session->SetAlsoAccepted(1, {key1, AnswerMask(key1 | paper[0].Answer)}));
    QCOMPARE(session->Status(b), ReviewStatus::Ok);

    session->UndoStack()->undo();
    session->UndoStack()->undo();
    session->UndoStack()->undo();
    QCOMPARE(session->Result(a)->score, max - mark1);
    QCOMPARE(session->Result(c)->score, mark1);
    QVERIFY(session->AdjustmentTexts().isEmpty());
}

void TestSession::keepsTheGradingFileExactly() {
    auto session = Session();
    const int b = IdOf(*session, "b.png"), c = IdOf(*session, "c.png");
    QVERIFY(session->ToggleBubble(b, BubbleOf(*session->Sheet(b), 1, WrongLetter(Run().paper[0]))));
    QVERIFY(session->TypeStudent(c, "5679"));
    QVERIFY(session->SetClassList("number,name\n0123,Ada\n5678,Bob\n5679,Cy\n9999,Dee\n", nullptr));
    QVERIFY(session->SetAlsoAccepted(3, {WrongLetter(Run().paper[2])}));
    QVERIFY(session->SetGiveAll(4, true));
    session->AddByHand("0042", "B", Answers(Run().paper));
    QCOMPARE(session->Absent(), QStringList{"9999"});
    QCOMPARE(*session->Result(c)->name, QStringLiteral("Cy"));
    const QByteArray kept = ReadAll(session->GradingFile());

    GradingSession again(paper_, data_, Run().paper, Run().modeLetters);
    const GradingLoad load = again.Load();
    QVERIFY(load.damaged.isEmpty());
    QVERIFY(load.missingScans.isEmpty());
    QCOMPARE(again.CountsText(), session->CountsText());
    QCOMPARE(again.ReviewOrder(), session->ReviewOrder());
    QCOMPARE(again.Absent(), session->Absent());
    for (const GradingSheet& sheet : session->Sheets()) {
        QCOMPARE(again.Status(sheet.id), session->Status(sheet.id));
        QCOMPARE(again.Result(sheet.id)->score, session->Result(sheet.id)->score);
        QCOMPARE(again.Result(sheet.id)->student, session->Result(sheet.id)->student);
        QCOMPARE(again.Result(sheet.id)->reasons, session->Result(sheet.id)->reasons);
    }
    // Held by the first window: the second shows it and writes nothing
    // until it holds the grading itself.
    QVERIFY(again.ReadOnly());
    QVERIFY(!again.Save().isEmpty());
    session.reset();
    again.Load();
    QVERIFY(!again.ReadOnly());
    QCOMPARE(again.Save(), QString());
    QCOMPARE(ReadAll(again.GradingFile()), kept);

    // A scan moved: named, and found again.
    const QString moved = dir_.filePath("moved-a.png");
    QVERIFY(QFile::rename(dir_.filePath("a.png"), moved));
    GradingSession third(paper_, data_, Run().paper, Run().modeLetters);
    QCOMPARE(third.Load().missingScans, QStringList{dir_.filePath("a.png")});
    QVERIFY(third.RelocateScan(dir_.filePath("a.png"), moved));
    QVERIFY(third.MissingScans().isEmpty());
    QCOMPARE(third.Sheet(IdOf(third, "moved-a.png"))->file, moved);
    QCOMPARE(third.ReadPage(IdOf(third, "moved-a.png")).status, PageRead::Status::Read);
    QVERIFY(QFile::rename(moved, dir_.filePath("a.png")));
}

void TestSession::setsADamagedFileAside() {
    const QString file = paper_ + ".grades.json";
    for (const QByteArray& damage :
         {QByteArray("{\"format\": 1, \"scans\": [], \"sheets\": [{\"id\""),
          QByteArray(gradingFile_).replace("\"format\":1", "\"format\":7"),
          QByteArray("{\"format\": 1, \"scans\": [], \"sheets\": [{\"id\": 1, \"file\": 3}]}")}) {
        QFile::remove(file);
        QFile::remove(file + ".damaged");
        Write(file, damage);
        GradingSession session(paper_, data_, Run().paper, Run().modeLetters);
        const GradingLoad load = session.Load();
        QVERIFY(load.damaged.contains("damaged"));
        QCOMPARE(load.setAsideAs, file + ".damaged");
        QCOMPARE(ReadAll(file + ".damaged"), damage);
        QCOMPARE(session.SheetCount(), 0);
        // Grading starts again and never writes over the damaged file.
        session.AddByHand("1", "A", Answers(Run().paper));
        QCOMPARE(ReadAll(file + ".damaged"), damage);
        QVERIFY(ReadAll(file).contains("\"by_hand\":true"));
    }
}

void TestSession::keepsItInTheDataFolderWhenThePapersFolderCannotBeWritten() {
    // Folders that do not exist cannot be written to, even by root.
    const QString first = dir_.filePath("gone/endofterm.tpf");
    const QString second = dir_.filePath("away/endofterm.tpf");
    QStringList files;
    for (const QString& paper : {first, second}) {
        GradingSession session(paper, data_, Run().paper, Run().modeLetters);
        QVERIFY(session.Load().damaged.isEmpty());
        QVERIFY(session.GradingFile().startsWith(data_ + "/"));
        session.AddByHand(paper == first ? "1" : "2", "A", Answers(Run().paper));
        QCOMPARE(session.SaveError(), QString());
        files << session.GradingFile();
    }
    QVERIFY(files[0] != files[1]);
    GradingSession again(first, data_, Run().paper, Run().modeLetters);
    again.Load();
    QCOMPARE(again.SheetCount(), 1);
    QCOMPARE(*again.Results()[0].student, QStringLiteral("1"));
}

void TestSession::cancelledReadingKeepsWhatWasRead() {
    const QString paper = dir_.filePath("cancelled.tpf");
    qsizetype read = 0;
    {
        GradingSession session(paper, data_, Run().paper, Run().modeLetters);
        QSignalSpy finished(&session, &GradingSession::ScansFinished);
        QVERIFY(session.AddScans({dir_.filePath("a.png"), dir_.filePath("b.png")}));
        QVERIFY(session.Reading());
        session.CancelScans();
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().first().toBool(), false);
        QVERIFY(!session.Reading());
        read = session.SheetCount();
        QVERIFY(read < 2);
        QCOMPARE(session.Scans().size(), read);
        // What was not read can be added again.
        QVERIFY(session.AddScans(
            {dir_.filePath("a.png"), dir_.filePath("b.png"), dir_.filePath("c.png")}));
        QVERIFY(finished.wait(60000));
        QCOMPARE(session.SheetCount(), 3);
    }
    GradingSession again(paper, data_, Run().paper, Run().modeLetters);
    again.Load();
    QCOMPARE(again.SheetCount(), 3);
}

void TestSession::exportsAndReadsBack() {
    auto session = Session();
    session->SetAlsoAccepted(3, {WrongLetter(Run().paper[2])});
    const QStringList header = {"Student number",
                                "Name",
                                "Version",
                                "Mark",
                                "Maximum",
                                "Percentage",
                                "Status",
                                "Q1",
                                "Q2",
                                "Q3",
                                "Q4",
                                "Q5",
                                "Q6",
                                "Q7",
                                "Q8"};

    QCOMPARE(session->ExportGrades(dir_.filePath("grades.csv")), QString());
    const auto rows = interchange::ReadCsvRows(ReadAll(dir_.filePath("grades.csv")));
    QVERIFY(rows);
    QCOMPARE(rows->size(), std::size_t(5));  // the unreadable page too, without a mark
    QCOMPARE((*rows)[0], header);
    QCOMPARE((*rows)[1][0], QStringLiteral("0123"));
    QCOMPARE((*rows)[1][5], QStringLiteral("100"));
    QCOMPARE((*rows)[1][6], QStringLiteral("ok"));
    QCOMPARE((*rows)[1][7], MarkedLetters(Run().paper[0].Answer));
    QCOMPARE((*rows)[2][6], QStringLiteral("review"));
    QCOMPARE((*rows)[4][3], QString());
    QCOMPARE((*rows)[4][6], QStringLiteral("unreadable"));

    for (const QString name : {"grades.xlsx", "grades.ods"}) {
        QCOMPARE(session->ExportGrades(dir_.filePath(name)), QString());
        const codec::Workbook book = codec::ReadWorkbookFile(dir_.filePath(name).toStdString());
        QCOMPARE(book.sheets.size(), std::size_t(2));
        const codec::Worksheet& grades = book.sheets[0];
        QCOMPARE(grades.name, std::string("Grades"));
        for (int c = 0; c < header.size(); ++c)
            QCOMPARE(QString::fromStdString(grades.At(1, c + 1).text), header[c]);
        QCOMPARE(grades.At(2, 1).text, std::string("0123"));
        QCOMPARE(grades.At(2, 4).kind, codec::Cell::Kind::Number);
        QCOMPARE(grades.At(2, 4).number, session->Key().Maximum());
        const codec::Worksheet& questions = book.sheets[1];
        QCOMPARE(questions.name, std::string("Questions"));
        QCOMPARE(questions.At(1, 4).text, std::string("p"));
        QCOMPARE(questions.At(2, 1).number, 1.0);
        QCOMPARE(questions.At(4, 15).text,
                 "also accepted " + MarkedLetters(WrongLetter(Run().paper[2])).toStdString());
    }
    QVERIFY(!session->ExportGrades(dir_.filePath("grades.txt")).isEmpty());
    QVERIFY(QDir().mkdir(dir_.filePath("folder.csv")));
    QVERIFY(!session->ExportGrades(dir_.filePath("folder.csv")).isEmpty());
}

// A class of 25 on a paper of five one-mark questions, question 1 keyed B
// and the others A. "16xC4" is 16 sheets that marked C on question 1 ('-'
// for nothing) and got 4 of the other questions right.
std::vector<SheetResult> HandClass(const QString& spec, const AnswerKey& key) {
    std::vector<SheetRead> reads;
    int student = 0;
    for (const QString& group : spec.split(u' ', Qt::SkipEmptyParts)) {
        const int times = group.section(u'x', 0, 0).toInt();
        const QString what = group.section(u'x', 1);
        const int rest = what.mid(1).toInt();
        for (int i = 0; i < times; ++i) {
            SheetRead read;
            read.file = QStringLiteral("class.pdf");
            read.page = ++student;
            read.version = QStringLiteral("A");
            for (QChar digit : QStringLiteral("%1").arg(student, 3, 10, QChar(u'0'))) {
                DigitRead d;
                d.marked = (unsigned short)(1 << digit.digitValue());
                read.student.push_back(d);
            }
            for (int q = 1; q <= 5; ++q) {
                AnswerRead answer;
                answer.question = answer.sheetQuestion = q;
                if (q == 1)
                    answer.marked = what[0] == u'-' ? 0 : Bit(what[0]);
                else
                    answer.marked = q - 1 <= rest ? Bit(u'A') : Bit(u'C');
                read.answers.push_back(answer);
            }
            reads.push_back(read);
        }
    }
    return GradeSheets(reads, key);
}

void TestSession::flags_data() {
    QTest::addColumn<QString>("spec");
    QTest::addColumn<bool>("givenToAll");
    QTest::addColumn<QString>("flag");
    // The miskeyed question: the best students chose C, the key B only 3.
    QTest::newRow("top group prefers a distractor")
        << "16xC4 3xB0 6xD2" << false << "Check the answer";
    // The key goes against the total while C goes with it, though the top
    // group still chose B (4) over C (3): key -0.13, C +0.50 by hand.
    QTest::newRow("key against the total, distractor with it")
        << "4xB0 3xC4 4xB4 14x-2" << false << "Check the answer";
    // Only the best three knew it: hard, not miskeyed (top group B 3, C 2, D 2).
    QTest::newRow("hard but right") << "3xB4 2xC3 2xD3 10xC1 8xD0" << false << "Too hard";
    QTest::newRow("given to everyone") << "3xB4 2xC3 2xD3 10xC1 8xD0" << true << "";
    QTest::newRow("sound") << "10xB4 5xC2 5xD1 5xB1" << false << "";
    QTest::newRow("too easy") << "24xB2 1xC2" << false << "Too easy";
    // The key against the total, but no distractor is chosen at all.
    QTest::newRow("weak, nothing to blame") << "5xB0 20x-3" << false << "Weak";
}

void TestSession::flags() {
    QFETCH(QString, spec);
    QFETCH(bool, givenToAll);
    QFETCH(QString, flag);
    std::vector<QuestionRecord> paper(5);
    for (QuestionRecord& q : paper) {
        q.Score = 1;
        q.Answer = Bit(u'A');
        q.Items = {"a", "b", "c", "d", "", ""};
    }
    paper[0].Answer = Bit(u'B');
    AnswerKey key(paper, QStringLiteral("ABCDE"));
    if (givenToAll) key.GiveAll(0, true);
    const std::vector<SheetResult> sheets = HandClass(spec, key);
    QCOMPARE(sheets.size(), std::size_t(25));
    const QuestionStatistics q1 = ComputeStatistics(sheets, key).questions[0];
    QCOMPARE(QuestionFlag(q1), flag);
    // The groups behind it, counted by hand for the miskeyed question.
    if (spec.startsWith(QStringLiteral("16xC4"))) {
        QCOMPARE(q1.upper, (std::vector<int>{0, 0, 7, 0}));
        QCOMPARE(q1.lower, (std::vector<int>{0, 3, 0, 4}));
        QCOMPARE(q1.upperCorrect, 0);
    }
}

void TestSession::oneWindowAtATime() {
    const QString paper = dir_.filePath("held.tpf");
    const QString file = paper + ".grades.json";
    auto first = std::make_unique<GradingSession>(paper, data_, Run().paper, Run().modeLetters);
    first->Load();
    QVERIFY(!first->ReadOnly());
    first->AddByHand("1", "A", Answers(Run().paper));
    const QByteArray kept = ReadAll(file);

    // A second window shows the grading, says who holds it, and writes nothing.
    {
        GradingSession second(paper, data_, Run().paper, Run().modeLetters);
        second.Load();
        QVERIFY(second.ReadOnly());
        QVERIFY2(second.HeldBy().contains(QString::number(::getpid())),
                 qPrintable(second.HeldBy()));
        QCOMPARE(second.SheetCount(), 1);
        second.AddByHand("2", "A", Answers(Run().paper));
        QVERIFY(second.SaveError().contains("open in another window"));
        QCOMPARE(ReadAll(file), kept);
    }

    // Changed by someone else since it was read: never written over blindly.
    QSignalSpy changed(first.get(), &GradingSession::ChangedOnDisk);
    Write(file, gradingFile_);
    first->AddByHand("3", "A", Answers(Run().paper));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(ReadAll(file), gradingFile_);
    QCOMPARE(first->Overwrite(), QString());
    QCOMPARE(first->Load().damaged, QString());
    QCOMPARE(first->SheetCount(), 2);  // this window's two sheets, as it wrote them
    first.reset();

    // The lock of an editor that died is taken over.
    const pid_t dead = ::fork();
    if (dead == 0) ::_exit(0);
    ::waitpid(dead, nullptr, 0);
    Write(file + ".lock",
          QStringLiteral("%1\nscrivane\n%2\n").arg(dead).arg(QSysInfo::machineHostName()).toUtf8());
    GradingSession after(paper, data_, Run().paper, Run().modeLetters);
    after.Load();
    QVERIFY(!after.ReadOnly());
    QCOMPARE(after.SheetCount(), 2);
}

void TestSession::aCutOffReadingIsContinued() {
    // A pile of three sheets scanned to one PDF.
    const QString pile = dir_.filePath("pile.pdf");
    {
        QPdfWriter writer(pile);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(200);
        QPainter painter(&writer);
        for (int i = 0; i < 3; ++i) {
            if (i > 0) writer.newPage();
            const QImage page = QImage::fromData(
                Scan(i % 2, QStringLiteral("000%1").arg(i), Answers(Run().paper), 10 + i));
            painter.drawImage(QRect(QPoint(0, 0), page.size().scaled(painter.viewport().size(),
                                                                     Qt::KeepAspectRatio)),
                              page);
        }
    }
    const QString paper = dir_.filePath("pile.tpf");
    const QString file = paper + ".grades.json";
    {
        GradingSession session(paper, data_, Run().paper, Run().modeLetters);
        session.Load();
        QSignalSpy finished(&session, &GradingSession::ScansFinished);
        QVERIFY(session.AddScans({pile}));
        QVERIFY(finished.wait(120000));
        QCOMPARE(session.SheetCount(), 3);
        QVERIFY(session.UnfinishedTexts().isEmpty());
        // Added again: nothing to read, and said so.
        QCOMPARE(session.AlreadyRead({pile}), QStringList{pile});
        QVERIFY(!session.AddScans({pile}));
    }

    // The file as an editor killed after the first page leaves it: whole,
    // with the pages it had read.
    QJsonObject root = QJsonDocument::fromJson(ReadAll(file)).object();
    QJsonArray sheets = root["sheets"].toArray();
    while (sheets.size() > 1) sheets.removeLast();
    root["sheets"] = sheets;
    QJsonArray pages = root["scan_pages"].toArray();
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages[0].toObject()["read"].toString(), QStringLiteral("1-3"));
    pages[0] = QJsonObject{{"file", pile}, {"pages", 3}, {"read", "1"}};
    root["scan_pages"] = pages;
    Write(file, QJsonDocument(root).toJson());

    GradingSession resumed(paper, data_, Run().paper, Run().modeLetters);
    QCOMPARE(resumed.Load().damaged, QString());
    QCOMPARE(resumed.UnfinishedTexts(), QStringList{"1 of 3 pages of pile.pdf read"});
    QVERIFY(resumed.AlreadyRead({pile}).isEmpty());
    QSignalSpy finished(&resumed, &GradingSession::ScansFinished);
    QVERIFY(resumed.ContinueReading());
    QVERIFY(finished.wait(120000));
    QStringList read;
    for (const SheetResult& result : resumed.Results())
        read << QStringLiteral("%1 p%2").arg(*result.student).arg(result.page);
    read.sort();
    QCOMPARE(read, (QStringList{"0000 p1", "0001 p2", "0002 p3"}));
    QVERIFY(resumed.UnfinishedTexts().isEmpty());
}

void TestSession::theNewerFileIsTheGrading() {
    const QString paper = dir_.filePath("newer.tpf");
    const QString local = paper + ".grades.json";
    // Where the grading goes while the paper's folder is read-only.
    const QString data =
        data_ + "/grades/newer.tpf-" +
        QCryptographicHash::hash(paper.toUtf8(), QCryptographicHash::Sha256).toHex().left(16) +
        ".grades.json";
    Write(local, gradingFile_);  // four sheets
    QDir().mkpath(data_ + "/grades");
    {
        GradingSession elsewhere(dir_.filePath("other.tpf"), data_, Run().paper, Run().modeLetters);
        elsewhere.Load();
        elsewhere.AddByHand("7", "A", Answers(Run().paper));
        Write(data, ReadAll(elsewhere.GradingFile()));  // one sheet, kept later
    }
    QFile(local).setFileTime(QDateTime::currentDateTime().addDays(-1),
                             QFileDevice::FileModificationTime);
    {
        GradingSession session(paper, data_, Run().paper, Run().modeLetters);
        session.Load();
        QCOMPARE(session.SheetCount(), 1);
        QCOMPARE(session.FileText(),
                 QStringLiteral("Kept in %1 (read from the newer %2)").arg(local, data));
        // Kept beside the paper from now on, which is then the newer.
        session.AddByHand("8", "A", Answers(Run().paper));
        QCOMPARE(session.SaveError(), QString());
    }
    GradingSession again(paper, data_, Run().paper, Run().modeLetters);
    again.Load();
    QCOMPARE(again.SheetCount(), 2);
    QCOMPARE(again.FileText(), QStringLiteral("Kept in %1").arg(local));
}

void TestSession::classListsKeepTheirNames() {
    const QString name = QStringLiteral("Zoë O’Brien");
    const QString unicodeText = "Number\tName\r\n0123\t" + name + "\r\n";
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(unicodeText.utf16()), unicodeText.size() * 2);
    const QByteArray lists[] = {QByteArray("0123,Zo\xEB O\x92"
                                           "Brien\r\n"),
                                utf16, ("0123;" + name + "\n").toUtf8()};
    const QString paper = dir_.filePath("classes.tpf");
    for (const QByteArray& list : lists) {
        {
            GradingSession session(paper, data_, Run().paper, Run().modeLetters);
            session.Load();
            QString error;
            QVERIFY2(session.SetClassList(list, &error), qPrintable(error));
            QCOMPARE(session.Classes()->Name("0123"), name);
        }
        GradingSession reopened(paper, data_, Run().paper, Run().modeLetters);
        QCOMPARE(reopened.Load().damaged, QString());
        QVERIFY(reopened.Classes());
        QCOMPARE(reopened.Classes()->Name("0123"), name);
    }
    GradingSession session(paper, data_, Run().paper, Run().modeLetters);
    session.Load();
    QString error;
    QVERIFY(!session.SetClassList("0123,Ada\n0123,Bob\n", &error));
    QCOMPARE(error, QStringLiteral("student number 0123 is listed twice"));
}

void TestSession::entersByHandAsPrintedAndChangesVersions() {
    auto session = Session();
    const std::vector<PaperVersion> versions = session->Versions();
    QCOMPARE(versions.size(), std::size_t(2));
    const PaperVersion& b = versions[1];
    // The key as printed on version B's sheet, question by question.
    QStringList printed;
    for (const PrintedQuestion& question : b.questions) {
        QString letters;
        for (const PrintedOption& option : question.options)
            if (Run().paper[std::size_t(question.source - 1)].Answer & Bit(option.sourceLetter))
                letters += option.letter;
        printed << letters.toLower();
    }
    const double max = session->Key().Maximum();
    const std::size_t sheets = session->Sheets().size();

    // A wrong count and a letter not offered are refused, naming the question.
    QString error;
    QCOMPARE(session->AddByHandPrinted("77", "B", printed.mid(1), &error), -1);
    QVERIFY2(error.startsWith("question 8:"), qPrintable(error));
    QCOMPARE(session->AddByHandPrinted("77", "B", printed + QStringList{"A"}, &error), -1);
    QVERIFY2(error.startsWith("question 9:"), qPrintable(error));
    QStringList foreign = printed;
    foreign[2] = "Z";
    QCOMPARE(session->AddByHandPrinted("77", "B", foreign, &error), -1);
    QVERIFY2(error.startsWith("question 3 offers ") && error.contains("Z is not one of them"),
             qPrintable(error));
    QCOMPARE(session->AddByHandPrinted("77", "C", printed, &error), -1);
    QCOMPARE(session->Sheets().size(), sheets);

    const int hand = session->AddByHandPrinted("77", "B", printed, &error);
    QVERIFY(hand > 0);
    QCOMPARE(session->Result(hand)->score, max);
    // Read as version A's sheet, the same letters are other answers.
    QVERIFY(session->SetVersion(hand, "A"));
    QVERIFY(session->Result(hand)->score < max);
    session->UndoStack()->undo();
    QCOMPARE(session->Result(hand)->score, max);

    // A scanned sheet of version A answered on... version B's questions.
    const int a = IdOf(*session, "a.png");
    QCOMPARE(session->Result(a)->score, max);
    QVERIFY(!session->SetVersion(a, "Q"));
    QVERIFY(session->SetVersion(a, "B"));
    QCOMPARE(session->Result(a)->version, QStringLiteral("B"));
    const double asB = session->Result(a)->score;
    QVERIFY(asB < max);
    // Kept in the grading file.
    GradingSession again(paper_, data_, Run().paper, Run().modeLetters);
    QVERIFY(again.Load().damaged.isEmpty());
    QCOMPARE(again.Result(a)->score, asB);
    QCOMPARE(again.Result(hand)->score, max);
    QVERIFY(session->SetVersion(a, "A"));
    QCOMPARE(session->Result(a)->score, max);
    QVERIFY(session->Sheet(a)->printedVersion.isEmpty());

    // The reasons follow the sheet's printed order, each naming its question.
    const int twice = IdOf(*session, "b.png");
    const auto reasons = session->ReviewReasons(twice);
    QCOMPARE(reasons.size(), std::size_t(1));
    QCOMPARE(reasons[0].question, 1);
    int printedFirst = 0;
    for (std::size_t k = 0; k < b.questions.size(); ++k)
        if (b.questions[k].source == 1) printedFirst = int(k + 1);
    QCOMPARE(reasons[0].sheetQuestion, printedFirst);
}

void TestSession::paperChangedSinceReading_data() {
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("what");
    QTest::newRow("a question deleted") << 0 << "question 3 removed";
    QTest::newRow("a question added") << 1 << "question 9 added";
    QTest::newRow("two questions swapped") << 2 << "questions 1 and 2 swapped";
    QTest::newRow("an option changed") << 3 << "the options of question 4 changed";
}

// Every sheet read goes to review with what changed, an accepted one too,
// until the paper is as its sheets were printed again.
void TestSession::paperChangedSinceReading() {
    QFETCH(int, change);
    QFETCH(QString, what);
    auto session = Session();
    const int a = IdOf(*session, "a.png"), b = IdOf(*session, "b.png");
    QVERIFY(session->Accept(b));
    QCOMPARE(session->Status(a), ReviewStatus::Ok);
    QCOMPARE(session->PaperChange(), QString());
    std::vector<QuestionRecord> paper = Run().paper;
    switch (change) {
        case 0:
            paper.erase(paper.begin() + 2);
            break;
        case 1:
            paper.push_back(paper.back());
            break;
        case 2:
            std::swap(paper[0], paper[1]);
            break;
        default:
            paper[3].Items[1] += QStringLiteral(" cm");
            break;
    }
    session->SetPaper(paper, Run().modeLetters);
    for (int id : {a, b}) {
        QCOMPARE(session->Status(id), ReviewStatus::Review);
        QVERIFY2(session->Result(id)->reasons.contains(
                     "the paper changed since this sheet was read: " + what),
                 qPrintable(session->Result(id)->reasons.join("; ")));
    }
    QCOMPARE(session->PaperChange(), "The paper no longer matches the sheets read: " + what +
                                         ". Those sheets are to review.");
    session->SetPaper(Run().paper, Run().modeLetters);
    QCOMPARE(session->Status(a), ReviewStatus::Ok);
    QCOMPARE(session->Status(b), ReviewStatus::Corrected);
    QCOMPARE(session->PaperChange(), QString());
}

void TestSession::anAcceptedSheetNeverScoresAnUnclearAnswer() {
    // An older grading file kept a sheet accepted with a bubble in doubt.
    QJsonObject root = QJsonDocument::fromJson(gradingFile_).object();
    QJsonArray sheets = root["sheets"].toArray();
    int changed = -1, question = 0;
    for (qsizetype i = 0; i < sheets.size(); ++i) {
        QJsonObject sheet = sheets[i].toObject();
        if (!sheet["file"].toString().endsWith("a.png")) continue;
        QString marks = sheet["marks"].toString();
        const QJsonArray layout =
            root["layouts"].toArray()[sheet["layout"].toInt()].toObject()["bubbles"].toArray();
        qsizetype marked = -1;  // an answer bubble a.png marked
        for (qsizetype b = 0; b < marks.size() && marked < 0; ++b)
            if (marks[b] == u'x' && layout[b].toArray()[0].toInt() == 0) marked = b;
        QVERIFY(marked >= 0);
        question = layout[marked].toArray()[2].toInt();
        marks[marked] = u'?';
        sheet["marks"] = marks;
        sheet["accepted"] = true;
        sheets[i] = sheet;
        changed = sheet["id"].toInt();
    }
    root["sheets"] = sheets;
    QFile::remove(paper_ + ".grades.json");
    Write(paper_ + ".grades.json", QJsonDocument(root).toJson());
    GradingSession session(paper_, data_, Run().paper, Run().modeLetters);
    QVERIFY(session.Load().damaged.isEmpty());
    const SheetResult* result = session.Result(changed);
    QVERIFY(result);
    for (const AnswerResult& answer : result->answers)
        QVERIFY(answer.status != AnswerStatus::Unclear);
    // The doubt counts as empty: that question's mark is lost.
    QCOMPARE(result->score, session.Key().Maximum() - session.Key().Mark(question - 1));
    QVERIFY(session.Status(changed) != ReviewStatus::Review);
}

QTEST_MAIN(TestSession)
#include "test_session.moc"
