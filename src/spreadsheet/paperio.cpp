#include "spreadsheet/paperio.h"

#include <QFile>
#include <filesystem>
#include <span>
#include <utility>

#include "spreadsheet/codec/biff8_writer.h"

#include "core/numbers.h"
#include "core/paperidentity.h"
#include "core/questiontable.h"
#include "spreadsheet/codec/reader.h"
#include "spreadsheet/excel.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane {

ImportReport ReadPaperFile(const QString& path, std::vector<QuestionRecord>& rows) {
    ImportReport report;
    codec::Workbook book;
    try {
        book = codec::ReadWorkbookFile(std::filesystem::path(QFile::encodeName(path).toStdString()),
                                       QuestionSheetScope());
        if (book.sheets.empty()) throw codec::WorkbookError("the workbook has no sheet");
    } catch (const codec::WorkbookError& e) {
        report = {ImportReport::Outcome::Unreadable, QString::fromUtf8(e.what())};
        return report;
    } catch (const std::bad_alloc&) {
        report = {ImportReport::Outcome::Unreadable,
                  QStringLiteral("the workbook is too large to be read")};
        return report;
    } catch (const std::exception& e) {
        report = {ImportReport::Outcome::Unreadable, QString::fromUtf8(e.what())};
        return report;
    }
    const std::size_t active =
        book.activeSheet >= 0 && std::size_t(book.activeSheet) < book.sheets.size()
            ? std::size_t(book.activeSheet)
            : 0;
    StagedSheet staged = ReadQuestionSheet(book.sheets[active]);
    if (!staged.Valid()) {
        report.reason = staged.rejection;
        return report;
    }
    std::optional<QString> rejection = MarkRejection(staged.questions);
    if (!rejection) rejection = TextRejection(staged.questions);
    if (rejection) {
        report.reason = *rejection;
        return report;
    }
    for (const std::string& note : book.notes) report.notes << QString::fromStdString(note);
    report.notes += staged.notes;
    // Numbered by their position, as the question table numbers them.
    for (std::size_t k = 0; k < staged.questions.size(); ++k)
        staged.questions[k].QuestionNo = std::int16_t(k + 1);
    rows = std::move(staged.questions);
    report.outcome = ImportReport::Outcome::Imported;
    return report;
}

void FillTable(QuestionTable& table, const std::vector<QuestionRecord>& rows) {
    for (const QuestionRecord& row : rows) {
        table.AddNew();
        table.SetField(QuestionTable::QuestionNo, table.AbsolutePosition());
        table.SetField(QuestionTable::Score, row.Score);
        table.SetField(QuestionTable::Answer, AnswerMaskToText(row.Answer));
        table.SetField(QuestionTable::Title, row.Title);
        for (int i = 0; i < 6; ++i)
            table.SetField(QuestionTable::ItemA + i, row.Items[std::size_t(i)]);
        for (int box = 0; box < kPictureBoxes; ++box)
            if (!row.Pictures[std::size_t(box)].isEmpty())
                table.SetBoundPictures(box, row.Pictures[std::size_t(box)]);
        table.Update();
    }
}

ExportResult WritePaperFile(const QString& path, const std::vector<QuestionRecord>& rows) {
    NativeExcelFactory excel;
    return WriteQuestionSheet(excel, path, rows);
}

QString WriteBytesSafely(const QString& path, const QByteArray& bytes) {
    try {
        codec::WriteFileSafely(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                         std::size_t(bytes.size())),
                               std::filesystem::path(QFile::encodeName(path).toStdString()));
    } catch (const codec::WorkbookError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

QString ReadPaperIdentity(const QString& path) {
    const QString identity = QString::fromLatin1(
        codec::ReadPaperIdentity(std::filesystem::path(QFile::encodeName(path).toStdString())));
    return IsPaperIdentity(identity) ? identity : QString();
}

QString WritePaperIdentity(const QString& path, const QString& identity) {
    if (!IsPaperIdentity(identity)) return QStringLiteral("the paper's identity is not valid");
    try {
        codec::WritePaperIdentity(std::filesystem::path(QFile::encodeName(path).toStdString()),
                                  identity.toStdString());
    } catch (const codec::WorkbookError& e) {
        return QString::fromUtf8(e.what());
    } catch (const std::bad_alloc&) {
        return QStringLiteral("the paper file is too large");
    }
    return {};
}

}  // namespace scrivane
