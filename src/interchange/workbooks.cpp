#include "interchange/workbooks.h"

#include "core/answercode.h"
#include "core/numbers.h"
#include "spreadsheet/codec/package_writer.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::interchange {

namespace {

// The question sheet as the codec's worksheet: the headers, the widths and
// wrapped columns, and question k in row k + 1, its number and mark as
// numbers and the rest as texts.
codec::Workbook QuestionBook(const std::vector<QuestionRecord>& questions) {
    codec::Workbook book;
    codec::Worksheet& sheet = book.sheets.emplace_back();
    for (int column = 1; column <= kSheetColumns; ++column) {
        sheet.columnWidths[column] = kSheetColumnWidths[std::size_t(column - 1)];
        sheet.wrapColumns.insert(column);
        sheet.Set(1, column, codec::Cell::Text(QuestionSheetHeaders()[column - 1].toStdString()));
    }
    int row = 1;
    for (const QuestionRecord& question : questions) {
        ++row;
        sheet.Set(row, 1, codec::Cell::Number(row - 1));
        sheet.Set(row, 2, codec::Cell::Number(ShortestSingle(question.Score).toDouble()));
        const auto text = [&sheet, row](int column, const QString& value) {
            sheet.Set(row, column, codec::Cell::Text(value.toStdString()));
        };
        text(3, AnswerMaskToText(question.Answer));
        text(4, question.Title);
        for (std::size_t i = 0; i < 6; ++i) text(5 + int(i), question.Items[i]);
        for (codec::SheetPicture& picture : QuestionSheetPictures(row, question.Pictures))
            sheet.pictures.push_back(std::move(picture));
    }
    return book;
}

template <typename Write>
WrittenBytes Written(const Write& write) {
    try {
        const std::vector<std::uint8_t> bytes = write();
        return {QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())),
                {}};
    } catch (const codec::WorkbookError& e) {
        return {{}, QString::fromUtf8(e.what())};
    }
}

}  // namespace

WrittenBytes WriteXlsx(const codec::Workbook& book) {
    return Written([&] { return codec::WriteXlsxBytes(book); });
}

WrittenBytes WriteOds(const codec::Workbook& book) {
    return Written([&] { return codec::WriteOdsBytes(book); });
}

WrittenBytes WriteXlsx(const std::vector<QuestionRecord>& questions) {
    return WriteXlsx(QuestionBook(questions));
}

WrittenBytes WriteOds(const std::vector<QuestionRecord>& questions) {
    return WriteOds(QuestionBook(questions));
}

WrittenBytes ZipPackage(const std::vector<std::pair<QByteArray, QByteArray>>& members) {
    std::vector<std::pair<std::string, std::string>> plain;
    for (const auto& [name, data] : members)
        plain.emplace_back(name.toStdString(), data.toStdString());
    return Written([&] { return codec::WriteZipBytes(plain); });
}

}  // namespace scrivane::interchange
