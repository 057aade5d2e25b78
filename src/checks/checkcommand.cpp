#include "checks/checkcommand.h"

#include <QFile>
#include <QFileInfo>

#include "checks/answerbalance.h"
#include "checks/paperchecks.h"
#include "checks/rebalance.h"
#include "core/typeinfo.h"
#include "spreadsheet/convert.h"
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

}  // namespace

std::optional<std::int16_t> ParseAnswerMode(const QString& text) {
    if (text == QStringLiteral("single")) return std::int16_t(0);
    if (text == QStringLiteral("multiple")) return std::int16_t(3);
    return std::nullopt;
}

std::int16_t ReadAnswerType(const std::filesystem::path& folder) {
    const QString path = QString::fromStdString((folder / kTypeInfoFileName).string());
    // Only a plain file is read: a pipe in its place would block.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return 0;
    const QByteArray bytes = file.read(TypeInfoRecord::kSize);
    return TypeInfoRecord::FromBytes(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                     std::size_t(bytes.size()))
        .AnswerType;
}

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
        const ExportResult written = WritePaperFile(job.out, result.rows);
        if (!written.WasWritten())
            return ConverterRun{
                2,
                {},
                ConverterLine(QStringLiteral("scrivane-convert: cannot write %1: %2")
                                  .arg(job.out, written.reason))};
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
    run.exitCode = problems.empty() ? 0 : 4;
    return run;
}

}  // namespace scrivane
