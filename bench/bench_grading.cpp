// Reading scanned answer sheets: generated 200 dpi sheets of 100 questions,
// read back from PNG files and from a scanned PDF, one reader per thread; the
// peak memory of reading 300 pages; and how well the generated sheets of every
// kind (crooked, upside down, copied, photographed) read back against their
// truth, and the evaluation over 300 sheets of every kind at 150 to 300 dpi.
#include <benchmark/benchmark.h>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>

#include "grading/read/sheetreader.h"
#include "scangen/hugepicture.h"
#include "scangen/evaluate.h"
#include "scangen/scangen.h"

using namespace scrivane;
using namespace scrivane::scangen;

namespace {

const PrintRun& Run() {
    static const PrintRun run = Print(SamplePaper(100, 5), QStringLiteral("ABCDE"), 3, 5);
    return run;
}

const SheetReader& Reader() {
    static const SheetReader reader(Run().paper, Run().modeLetters);
    return reader;
}

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

// Ten sheets as a scanner writes them: crooked, JPEG-compressed or not.
const QStringList& PngFiles() {
    static const QStringList files = [] {
        QStringList out;
        std::mt19937 random(77);
        for (int i = 0; i < 10; ++i) {
            const Sheet sheet =
                MakeSheet(Run(), i % 3, RandomDistortion(random, i % 2), 200, random);
            const QString path = Dir().filePath(QStringLiteral("sheet-%1.png").arg(i));
            QFile f(path);
            if (f.open(QIODevice::WriteOnly)) f.write(Encode(sheet.image, 0, 200));
            out << path;
        }
        return out;
    }();
    return files;
}

// A copier's scan-to-PDF of `pages` pages, each a JPEG image filling an A4 page.
QString ScannedPdf(int pages) {
    const QString path = Dir().filePath(QStringLiteral("pile-%1.pdf").arg(pages));
    if (QFile::exists(path)) return path;
    std::vector<QImage> sheets;
    std::mt19937 random(99);
    for (int i = 0; i < 10; ++i) {
        Distortion d = RandomDistortion(random, 1);
        d.jpegQuality = 0;
        QImage image;
        image.loadFromData(Encode(MakeSheet(Run(), i % 3, d, 200, random).image, 80, 200), "JPEG");
        sheets.push_back(image);
    }
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(200);
    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) writer.newPage();
        const QImage& image = sheets[std::size_t(i) % sheets.size()];
        const QRect page = painter.viewport();
        const QSize fitted = image.size().scaled(page.size(), Qt::KeepAspectRatio);
        painter.drawImage(QRect(QPoint(0, 0), fitted), image);
    }
    return path;
}

void CountPages(benchmark::State& state, int pages, int unread) {
    state.SetItemsProcessed(pages);
    state.counters["unreadable"] = unread;
}

void BM_ReadPng(benchmark::State& state) {
    const QStringList& files = PngFiles();
    (void)Reader();
    ScanFileReader scans;
    int pages = 0, unread = 0;
    std::size_t next = std::size_t(state.thread_index());
    for (auto _ : state) {
        const QString& file = files[int(next++ % std::size_t(files.size()))];
        const PageRead read = Reader().Read(scans.Page(file, 1));
        unread += read.status != PageRead::Status::Read;
        ++pages;
    }
    CountPages(state, pages, unread);
}

void BM_ReadScannedPdf(benchmark::State& state) {
    static const QString pdf = ScannedPdf(20);
    (void)Reader();
    ScanFileReader scans;
    int pages = 0, unread = 0;
    int next = state.thread_index();
    for (auto _ : state) {
        const PageRead read = Reader().Read(scans.Page(pdf, 1 + next++ % 20));
        unread += read.status != PageRead::Status::Read;
        ++pages;
    }
    CountPages(state, pages, unread);
}

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// 300 pages of a scanned PDF read one after another: what reading adds to the
// process at its peak (the generated pile itself is made first).
void BM_MemoryFor300Pages(benchmark::State& state) {
    const QString pdf = ScannedPdf(300);
    (void)Reader();
    for (auto _ : state) {
        const long before = PeakKiB();
        {
            // Lets the peak start again from what the process holds now.
            std::ofstream clear("/proc/self/clear_refs");
            clear << "5";
        }
        ScanFileReader scans;
        QString error;
        const int pages = scans.PageCount(pdf, &error);
        int unread = 0;
        for (int p = 1; p <= pages; ++p)
            unread += Reader().Read(scans.Page(pdf, p)).status != PageRead::Status::Read;
        state.counters["pages"] = pages;
        state.counters["unreadable"] = unread;
        state.counters["peak_MiB"] = PeakKiB() / 1024.0;
        state.counters["before_MiB"] = before / 1024.0;
    }
}

// Generated sheets of every kind read back against their truth: a bubble read
// the wrong way without being flagged unclear is a fault; the share of
// questions with an unclear bubble is what goes to review.
void BM_GeneratedSheetsAccuracy(benchmark::State& state) {
    const int sheets = int(state.range(0));
    for (auto _ : state) {
        std::mt19937 random(2024);
        long bubbles = 0, wrong = 0, unclear = 0, questions = 0, reviewed = 0, unregistered = 0,
             versionsWrong = 0, studentsWrong = 0;
        std::map<QString, long> wrongByMark;
        // The margins: the faintest fill of each kind of mark that counts, the
        // darkest of each kind that does not.
        std::map<QString, double> faintest, darkest;
        for (int i = 0; i < sheets; ++i) {
            const Sheet sheet =
                MakeSheet(Run(), i % 3, RandomDistortion(random, i % 5), 200, random);
            const PageRead read = Reader().Read({sheet.image, 200, {}});
            if (read.status != PageRead::Status::Read) {
                ++unregistered;
                continue;
            }
            versionsWrong += read.version != sheet.truth["version"].toString();
            QString student(sheet.filling.student.size(), QChar(u'?'));
            std::map<int, bool> questionUnclear;
            for (std::size_t b = 0; b < read.bubbles.size() && b < sheet.filling.marks.size();
                 ++b) {
                const BubbleRead& r = read.bubbles[b];
                const Mark truth = sheet.filling.marks[b];
                ++bubbles;
                const bool isAnswer = r.bubble.kind == SheetBubble::Kind::Answer;
                if (isAnswer) questionUnclear.emplace(r.bubble.question, false);
                const QString name = MarkName(truth);
                if (Counts(truth))
                    faintest[name] = std::min(faintest.count(name) ? faintest[name] : 1.0, r.fill);
                else
                    darkest[name] = std::max(darkest.count(name) ? darkest[name] : 0.0, r.fill);
                if (r.mark == BubbleRead::Mark::Unclear) {
                    ++unclear;
                    if (isAnswer) questionUnclear[r.bubble.question] = true;
                } else if ((r.mark == BubbleRead::Mark::Marked) != Counts(truth)) {
                    ++wrong;
                    ++wrongByMark[MarkName(truth)];
                }
                if (!isAnswer && r.mark == BubbleRead::Mark::Marked)
                    student[r.bubble.position] = QChar(u'0' + r.bubble.digit);
            }
            studentsWrong += student != sheet.filling.student;
            for (const auto& [q, u] : questionUnclear) {
                ++questions;
                reviewed += u;
            }
        }
        state.counters["sheets"] = sheets;
        state.counters["bubbles"] = double(bubbles);
        state.counters["wrong_unflagged"] = double(wrong);
        state.counters["unclear_bubbles"] = double(unclear);
        state.counters["review_pct"] = questions ? 100.0 * double(reviewed) / double(questions) : 0;
        state.counters["unregistered"] = double(unregistered);
        state.counters["version_wrong"] = double(versionsWrong);
        state.counters["student_not_exact"] = double(studentsWrong);
        for (const auto& [mark, n] : wrongByMark)
            state.counters["wrong_" + mark.toStdString()] = double(n);
        for (const auto& [mark, fill] : faintest)
            state.counters["min_fill_" + mark.toStdString()] = fill;
        for (const auto& [mark, fill] : darkest)
            state.counters["max_fill_" + mark.toStdString()] = fill;
    }
}

// The evaluation: sheets of every kind at 150, 200 and 300 dpi, phone photos
// in perspective up to 15 degrees among them, some with a corner or a side
// out of the picture, light pencil, a torn corner with a doodle beside it. No
// answer may be read wrong without a flag, every page is registered or told
// unreadable with its reason, and at most 2 % of the answers are left unclear
// or multiple by the reading.
void BM_Evaluation(benchmark::State& state) {
    const int sheets = int(state.range(0));
    for (auto _ : state) {
        std::mt19937 random(2026);
        Evaluation evaluation;
        for (int i = 0; i < sheets; ++i) {
            double dpi = 200;
            const Sheet sheet = EvaluationSheet(Run(), i, random, &dpi);
            evaluation.Add(Reader().Read({sheet.image, dpi, {}}), sheet,
                           QStringLiteral("sheet %1").arg(i));
        }
        state.counters["sheets"] = evaluation.sheets;
        state.counters["registered"] = evaluation.registered;
        state.counters["unreadable"] = evaluation.unreadable;
        state.counters["unreadable_no_reason"] = evaluation.unreadableWithoutReason;
        state.counters["placed_unsurely"] = evaluation.placedUnsurely;
        state.counters["answers"] = double(evaluation.answers);
        state.counters["wrong_unflagged"] = double(evaluation.wrong);
        state.counters["students_wrong"] = double(evaluation.studentsWrong);
        state.counters["versions_wrong"] = evaluation.versionsWrong;
        state.counters["unclear"] = double(evaluation.unclear);
        state.counters["multiple"] = double(evaluation.multiple);
        state.counters["multiple_marked"] = double(evaluation.multipleMarked);
        state.counters["doubtful_pct"] = evaluation.DoubtfulPercent();
        for (const QString& fault : evaluation.faults)
            std::fprintf(stderr, "%s\n", qPrintable(fault));
    }
}

}  // namespace

BENCHMARK(BM_ReadPng)->Unit(benchmark::kMillisecond)->Threads(1)->Threads(2);
BENCHMARK(BM_ReadScannedPdf)->Unit(benchmark::kMillisecond)->Threads(1)->Threads(2);
BENCHMARK(BM_MemoryFor300Pages)->Unit(benchmark::kMillisecond)->Iterations(1);
// A PDF of two pages that each draw a 20,000² picture (a few megabytes):
// what reading both adds to the process at its peak, against the 256 MiB
// that 300 pages of scans stay within.
void BM_MemoryForHugePdfPictures(benchmark::State& state) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath("huge.pdf");
    {
        QFile file(pdf);
        if (!file.open(QIODevice::WriteOnly)) return state.SkipWithError("cannot write the PDF");
        file.write(scangen::HugePicturePdf({{20000, false}, {20000, true}}));
    }
    for (auto _ : state) {
        {
            std::ofstream clear("/proc/self/clear_refs");
            clear << "5";
        }
        const long before = PeakKiB();
        ScanFileReader scans;
        QString error;
        const int pages = scans.PageCount(pdf, &error);
        int refused = 0;
        for (int p = 1; p <= pages; ++p) refused += !scans.Page(pdf, p).error.isEmpty();
        state.counters["pages"] = pages;
        state.counters["refused"] = refused;
        state.counters["peak_MiB"] = PeakKiB() / 1024.0;
        state.counters["before_MiB"] = before / 1024.0;
    }
}

BENCHMARK(BM_MemoryForHugePdfPictures)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_GeneratedSheetsAccuracy)->Arg(120)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Evaluation)->Arg(300)->Unit(benchmark::kMillisecond)->Iterations(1);
