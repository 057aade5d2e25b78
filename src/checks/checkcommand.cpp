#include "checks/checkcommand.h"


#include "checks/answerbalance.h"
#include "checks/paperchecks.h"
#include "checks/rebalance.h"
#include "core/typeinfo.h"
#include "interchange/questionfile.h"
#include "spreadsheet/workbookcommand.h"
#include "spreadsheet/paperio.h"

namespace scrivane {

namespace {

QByteArray LetterName(int letter) {
    return QByteArray(1, char('A' + letter));
}

QByteArray BalanceLine(const AnswerBalance& balance) {
    QByteArray line = "balance: ";
    for (int i = 0; i < balance.letters; ++i) {
        if (i > 0) line += ", ";
        line += LetterName(i) + ' ' + QByteArray::number(balance.counts[std::size_t(i)]);
    }
    const LetterRun& run = balance.longestRun;
    if (run.length > 0)
        line += "; longest run " + LetterName(run.letter) + " x" + QByteArray::number(run.length) +
                " from question " + QByteArray::number(run.first);
    const QStringList findings = balance.Findings();
    line += "; " + (findings.isEmpty() ? QByteArray("balanced")
                                       : findings.join(QStringLiteral(". ")).toUtf8());
    return line + '\n';
}

QByteArray CheckJson(const std::vector<PaperProblem>& problems, const AnswerBalance& balance) {
    QByteArray out = "{\"problems\": [";
    for (std::size_t i = 0; i < problems.size(); ++i) {
        if (i > 0) out += ", ";
        out += "{\"question\": " + QByteArray::number(problems[i].question) + ", \"kind\": ";
        AppendJsonString(out, ProblemId(problems[i].kind));
        out += ", \"text\": ";
        AppendJsonString(out, problems[i].text);
        out += '}';
    }
    out += "], \"balance\": {\"counts\": {";
    for (int i = 0; i < balance.letters; ++i) {
        if (i > 0) out += ", ";
        out += '"' + LetterName(i) + "\": " + QByteArray::number(balance.counts[std::size_t(i)]);
    }
    const LetterRun& run = balance.longestRun;
    out += "}, \"longestRun\": ";
    if (run.length > 0)
        out += "{\"letter\": \"" + LetterName(run.letter) +
               "\", \"length\": " + QByteArray::number(run.length) +
               ", \"first\": " + QByteArray::number(run.first) + '}';
    else
        out += "{\"letter\": null, \"length\": 0, \"first\": null}";
    out += QByteArray(", \"balanced\": ") + (balance.Balanced() ? "true" : "false") + "}}\n";
    return out;
}

// OUT in the format its extension names, as the other modes write theirs:
// .tpf, .xls and any unknown name the Excel 97-2003 workbook. Nothing when
// written, else the run that says why not.
std::optional<ConverterRun> WriteRebalanced(const QString& out,
                                            const std::vector<QuestionRecord>& rows) {
    const interchange::Format format =
        interchange::FormatOfExtension(out).value_or(interchange::Format::Xls);
    QString reason;
    if (format == interchange::Format::Xls) {
        const ExportResult written = WritePaperFile(out, rows);
        if (written.WasWritten()) return std::nullopt;
        reason = written.reason;
    } else {
        const interchange::WriteOutcome written = interchange::WriteQuestionFile(out, rows, format);
        if (written.Written()) return std::nullopt;
        if (written.status == interchange::WriteOutcome::Status::Unfit) {
            QByteArray err =
                ConverterLine(QStringLiteral("scrivane-convert: %1 cannot be written as %2:")
                                  .arg(out, interchange::InfoOf(format).description));
            for (const QString& line : written.unfit) err += ConverterLine(line);
            return ConverterRun{1, {}, err};
        }
        reason = written.reason;
    }
    return ConverterRun{
        2,
        {},
        ConverterLine(QStringLiteral("scrivane-convert: cannot write %1: %2").arg(out, reason))};
}

}  // namespace

ConverterRun RunCheckCommand(const CheckJob& job, const std::filesystem::path& programFolder) {
    const bool json = job.json, rebalance = job.rebalance;
    const QString& paper = job.paper;
    std::vector<QuestionRecord> rows;
    if (auto failed = ReadConverterPaper(paper, json, rows)) return *failed;

    const std::int16_t answerType =
        job.answerType ? *job.answerType : ReadAnswerType(programFolder);
    ConverterRun run;
    if (rebalance) {
        const RebalanceResult result = Rebalance(rows, answerType);
        if (auto failed = WriteRebalanced(job.out, result.rows)) return *failed;
        QStringList numbers;
        for (int number : result.changed) numbers << QString::number(number);
        run.out = ConverterLine(result.changed.empty()
                                    ? QStringLiteral("the answer key needs no change")
                                    : QStringLiteral("options reordered in questions %1")
                                          .arg(numbers.join(QStringLiteral(", "))));
        return run;
    }

    const std::vector<PaperProblem> problems = CheckPaper(rows, answerType);
    const AnswerBalance balance = MeasureBalance(rows, answerType);
    if (json) {
        run.out = CheckJson(problems, balance);
    } else {
        for (const PaperProblem& problem : problems)
            run.out += ConverterLine(QStringLiteral("question %1: %2: %3")
                                         .arg(problem.question)
                                         .arg(ProblemId(problem.kind), problem.text));
        run.out += BalanceLine(balance);
    }
    // Information is listed but is no problem.
    run.exitCode = ProblemsOnly(problems).empty() ? 0 : 4;
    return run;
}

}  // namespace scrivane
