// GLib names a member "signals", which Qt defines as a word of its own:
// libgsf comes first.
#include <gsf/gsf.h>
#include <xlsxwriter.h>

#include "interchange/workbooks.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <mutex>

#include "core/answercode.h"
#include "core/numbers.h"
#include "spreadsheet/questionsheet.h"

namespace scrivane::interchange {

namespace {

// Widths in characters of columns 1 to 10, as the export sets them.
constexpr int kWidths[kSheetColumns] = {6, 6, 6, 30, 13, 13, 13, 13, 13, 13};

// The cells of question k (1-based) as they are written: the number and
// mark as numbers, the rest as texts.
struct RowCells {
    double number, mark;
    std::array<QString, 8> texts;  // answer, title, options A to F
};

RowCells CellsOf(int number, const QuestionRecord& question) {
    RowCells cells{double(number), ShortestSingle(question.Score).toDouble(), {}};
    cells.texts[0] = AnswerMaskToText(question.Answer);
    cells.texts[1] = question.Title;
    for (std::size_t i = 0; i < 6; ++i) cells.texts[i + 2] = question.Items[i];
    return cells;
}

// --- .xlsx ---

struct WorkbookClose {
    void operator()(lxw_workbook* book) const { workbook_close(book); }
};

QString XlsxReason(lxw_error error) {
    return QStringLiteral("the workbook cannot be written (%1)")
        .arg(QString::fromUtf8(lxw_strerror(error)));
}

// --- .ods ---

QByteArray Escaped(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

// A text as the paragraphs of a cell: one <text:p> a line; a run of blanks
// is one blank and <text:s/> for the rest, all of it at a paragraph's start.
QByteArray Paragraphs(const QString& text) {
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    QByteArray out;
    for (const QString& line : normal.split(u'\n')) {
        out += "<text:p>";
        qsizetype i = 0;
        while (i < line.size()) {
            if (line[i] == u' ') {
                qsizetype end = i;
                while (end < line.size() && line[end] == u' ') ++end;
                qsizetype run = end - i;
                if (i > 0) {
                    out += ' ';
                    --run;
                }
                if (run == 1) out += "<text:s/>";
                if (run > 1) out += "<text:s text:c=\"" + QByteArray::number(run) + "\"/>";
                i = end;
            } else if (line[i] == u'\t') {
                out += "<text:tab/>";
                ++i;
            } else {
                qsizetype end = i;
                while (end < line.size() && line[end] != u' ' && line[end] != u'\t') ++end;
                out += Escaped(line.mid(i, end - i));
                i = end;
            }
        }
        out += "</text:p>";
    }
    return out;
}

// Width in inches of a column of n characters (7 pixels each and 5 of
// margin at 96 pixels an inch).
QByteArray Inches(int characters) {
    return QByteArray::number((7.0 * characters + 5) / 96, 'f', 4) + "in";
}

QByteArray OdsContent(const std::vector<QuestionRecord>& questions) {
    QByteArray out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
        "office:version=\"1.2\"><office:automatic-styles>";
    for (const int width : {6, 13, 30})
        out += "<style:style style:name=\"co" + QByteArray::number(width) +
               "\" style:family=\"table-column\"><style:table-column-properties "
               "style:column-width=\"" +
               Inches(width) + "\"/></style:style>";
    out +=
        "<style:style style:name=\"wrap\" style:family=\"table-cell\">"
        "<style:table-cell-properties fo:wrap-option=\"wrap\"/></style:style>"
        "</office:automatic-styles><office:body><office:spreadsheet>"
        "<table:table table:name=\"Sheet1\">";
    for (const int width : kWidths)
        out += "<table:table-column table:style-name=\"co" + QByteArray::number(width) +
               "\" table:default-cell-style-name=\"wrap\"/>";
    const auto textCell = [&out](const QString& text) {
        if (text.isEmpty())
            out += "<table:table-cell/>";
        else
            out += "<table:table-cell office:value-type=\"string\">" + Paragraphs(text) +
                   "</table:table-cell>";
    };
    const auto numberCell = [&out](double value) {
        const QByteArray shown = QByteArray::number(value, 'g', 9);
        out += "<table:table-cell office:value-type=\"float\" office:value=\"" + shown +
               "\"><text:p>" + shown + "</text:p></table:table-cell>";
    };
    out += "<table:table-row>";
    for (const QString& header : QuestionSheetHeaders()) textCell(header);
    out += "</table:table-row>";
    int number = 0;
    for (const QuestionRecord& question : questions) {
        const RowCells cells = CellsOf(++number, question);
        out += "<table:table-row>";
        numberCell(cells.number);
        numberCell(cells.mark);
        for (const QString& text : cells.texts) textCell(text);
        out += "</table:table-row>";
    }
    out += "</table:table></office:spreadsheet></office:body></office:document-content>\n";
    return out;
}

const char kOdsManifest[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
    "manifest:version=\"1.2\">"
    "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" "
    "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
    "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
    "</manifest:manifest>\n";

struct Unref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};

// Adds one member to the zip, stored or deflated.
bool AddMember(GsfOutfile* folder, const char* name, const QByteArray& data, bool stored) {
    std::unique_ptr<GsfOutput, Unref> child(
        stored ? gsf_outfile_new_child_full(folder, name, FALSE, "compression-level",
                                            GSF_ZIP_STORED, nullptr)
               : gsf_outfile_new_child(folder, name, FALSE));
    if (!child) return false;
    const bool written = gsf_output_write(child.get(), std::size_t(data.size()),
                                          reinterpret_cast<const guint8*>(data.constData()));
    return gsf_output_close(child.get()) && written;
}

}  // namespace

WrittenBytes WriteXlsx(const std::vector<QuestionRecord>& questions) {
    // libxlsxwriter writes to a file: a private folder holds it until it is read.
    QTemporaryDir folder;
    if (!folder.isValid())
        return {{}, QStringLiteral("no temporary folder: %1").arg(folder.errorString())};
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("paper.xlsx")));
    {
        std::unique_ptr<lxw_workbook, WorkbookClose> book(workbook_new(path.constData()));
        if (!book) return {{}, QStringLiteral("the workbook cannot be created")};
        lxw_worksheet* sheet = workbook_add_worksheet(book.get(), nullptr);
        lxw_format* wrap = workbook_add_format(book.get());
        if (!sheet || !wrap) return {{}, QStringLiteral("the workbook cannot be created")};
        format_set_text_wrap(wrap);
        lxw_error error = LXW_NO_ERROR;
        const auto check = [&error](lxw_error result) {
            if (error == LXW_NO_ERROR) error = result;
        };
        for (int c = 0; c < kSheetColumns; ++c)
            check(worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), kWidths[c], wrap));
        const auto text = [&](int row, int column, const QString& value) {
            if (!value.isEmpty())
                check(worksheet_write_string(sheet, lxw_row_t(row), lxw_col_t(column),
                                             value.toUtf8().constData(), nullptr));
        };
        for (int c = 0; c < kSheetColumns; ++c) text(0, c, QuestionSheetHeaders()[c]);
        int number = 0;
        for (const QuestionRecord& question : questions) {
            const RowCells cells = CellsOf(++number, question);
            check(worksheet_write_number(sheet, lxw_row_t(number), 0, cells.number, nullptr));
            check(worksheet_write_number(sheet, lxw_row_t(number), 1, cells.mark, nullptr));
            for (int i = 0; i < 8; ++i) text(number, 2 + i, cells.texts[std::size_t(i)]);
        }
        if (error != LXW_NO_ERROR) return {{}, XlsxReason(error)};
        const lxw_error closed = workbook_close(book.release());
        if (closed != LXW_NO_ERROR) return {{}, XlsxReason(closed)};
    }
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) return {{}, file.errorString()};
    return {file.readAll(), {}};
}

WrittenBytes ZipPackage(const std::vector<std::pair<QByteArray, QByteArray>>& members) {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
    const WrittenBytes failed{{}, QStringLiteral("the package cannot be written")};
    std::unique_ptr<GsfOutput, Unref> sink(gsf_output_memory_new());
    if (!sink) return failed;
    {
        GError* error = nullptr;
        std::unique_ptr<GsfOutfile, Unref> zip(gsf_outfile_zip_new(sink.get(), &error));
        if (error) g_error_free(error);
        if (!zip) return failed;
        bool written = true;
        QByteArray folderName;
        std::unique_ptr<GsfOutput, Unref> folder;
        const auto closeFolder = [&] {
            if (folder) written = gsf_output_close(folder.get()) && written;
            folder.reset();
        };
        for (std::size_t i = 0; i < members.size() && written; ++i) {
            const QByteArray& name = members[i].first;
            const qsizetype slash = name.indexOf('/');
            GsfOutfile* parent = zip.get();
            if (slash > 0) {
                if (!folder || folderName != name.left(slash)) {
                    closeFolder();
                    folderName = name.left(slash);
                    folder.reset(gsf_outfile_new_child(zip.get(), folderName.constData(), TRUE));
                    if (!folder) return failed;
                }
                parent = GSF_OUTFILE(folder.get());
            }
            written = AddMember(parent, name.mid(slash + 1).constData(), members[i].second, i == 0);
        }
        closeFolder();
        if (!gsf_output_close(GSF_OUTPUT(zip.get())) || !written) return failed;
    }
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    const gsf_off_t size = gsf_output_size(sink.get());
    if (!data || size <= 0) return failed;
    return {QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), {}};
}

WrittenBytes WriteOds(const std::vector<QuestionRecord>& questions) {
    return ZipPackage({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                       {"content.xml", OdsContent(questions)},
                       {"META-INF/manifest.xml", kOdsManifest}});
}

}  // namespace scrivane::interchange
