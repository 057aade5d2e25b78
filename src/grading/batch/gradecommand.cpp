#include "grading/batch/gradecommand.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "core/answercode.h"
#include "core/typeinfo.h"
#include "grading/batch/batch.h"
#include "grading/scores/gradesreport.h"
#include "grading/batch/sheettranslator.h"
#include "grading/batch/scanpages.h"
#include "grading/scores/statistics.h"
#include "interchange/csv.h"
#include "spreadsheet/workbookcommand.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

ConverterRun RunGradeConversion(const GradeJob& job, const std::filesystem::path& programFolder,
                                const std::function<void(const QByteArray&)>& progress) {
    const bool json = job.json;
    const QString& csvPath = job.csvPath;
    const QString& classListPath = job.classListPath;
    const QStringList& files = job.scans;
    const QString& paperPath = job.paper;
    std::vector<QuestionRecord> paper;
    // The grades' JSON is not printed for a paper that cannot be read.
    if (auto failed = ReadConverterPaper(paperPath, false, paper)) return *failed;

    std::optional<ClassList> classList;
    if (!classListPath.isEmpty()) {
        QFile file(classListPath);
        if (!QFileInfo(classListPath).isFile())
            return ConverterCannotRead(classListPath, NotAFileReason(classListPath));
        // A class list is a few kilobytes; a huge file is not one.
        if (file.size() > 16 * 1024 * 1024)
            return ConverterCannotRead(classListPath,
                                       QStringLiteral("the file is too large for a class list"));
        if (!file.open(QIODevice::ReadOnly))
            return ConverterCannotRead(classListPath, file.errorString());
        QString error;
        classList = ClassList::FromCsv(file.readAll(), &error);
        if (!classList) return ConverterCannotRead(classListPath, error);
    }

    const std::int16_t answerType =
        job.answerType ? *job.answerType : ReadAnswerType(programFolder);
    const QString modeLetters = AnswerModeLetters(answerType);
    const AnswerKey key(paper, modeLetters, job.scoring);
    // Sheets printed with the paper's identity are told from another paper's
    // by it.
    const SheetReader sheets(paper, modeLetters, ReadPaperIdentity(paperPath));
    SheetTranslator translator(paper);
    std::vector<SheetRead> reads;
    std::vector<int> order;  // each read's place in the batch
    GradingBatch batch(ScanPageSources(sheets, job.dpi), 2);
    batch.Run(files, [&](BatchPage& page) {
        page.read.upright = QImage();  // the picture is for the grades window only
        reads.push_back(translator.FromPage(page.read, page.file, page.page));
        order.push_back(page.index);
        if (json && progress)
            progress(ConverterLine(
                QStringLiteral("read %1 page %2 (%3 of %4)%5")
                    .arg(page.file)
                    .arg(page.page)
                    .arg(page.index + 1)
                    .arg(page.total)
                    .arg(reads.back().unreadable ? QStringLiteral(": unreadable") : QString())));
    });

    // A sheet whose code had to wait for the others goes back to its place.
    std::vector<std::size_t> byPlace(reads.size());
    for (std::size_t i = 0; i < byPlace.size(); ++i) byPlace[i] = i;
    std::sort(byPlace.begin(), byPlace.end(),
              [&order](std::size_t a, std::size_t b) { return order[a] < order[b]; });
    std::vector<SheetRead> inPlace;
    inPlace.reserve(reads.size());
    for (std::size_t i : byPlace) inPlace.push_back(std::move(reads[i]));
    const std::vector<SheetResult> results =
        GradeSheets(inPlace, key, classList ? &*classList : nullptr);
    ConverterRun run;
    run.out = json ? GradesJson(results, ComputeStatistics(results, key), key,
                                classList ? &*classList : nullptr)
                   : GradesText(results, key);

    bool anyRead = false, anyDoubt = false;
    for (const SheetResult& sheet : results) {
        anyRead = anyRead || sheet.status != SheetStatus::Unreadable;
        anyDoubt = anyDoubt || sheet.status != SheetStatus::Ok;
    }
    run.exitCode = !anyRead ? 2 : anyDoubt ? 5 : 0;
    if (!anyRead)
        run.err += ConverterLine(
            QStringLiteral("scrivane-convert: no answer sheet of this paper could be read"));

    if (!csvPath.isEmpty()) {
        const QByteArray csv =
            interchange::WriteCsvRows(GradesTable(results, key, classList ? &*classList : nullptr));
        const QString error = WriteBytesSafely(csvPath, csv);
        if (!error.isEmpty()) {
            run.err += ConverterLine(
                QStringLiteral("scrivane-convert: cannot write %1: %2").arg(csvPath, error));
            run.exitCode = 2;
        }
    }
    return run;
}

}  // namespace scrivane
