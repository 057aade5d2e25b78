#include <xlsxwriter.h>

#include "grading/session/gradeworkbook.h"

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "interchange/workbooks.h"

namespace scrivane {

namespace {

struct WorkbookClose {
    void operator()(lxw_workbook* book) const { workbook_close(book); }
};

QString XlsxReason(lxw_error error) {
    return QStringLiteral("the workbook cannot be written (%1)")
        .arg(QString::fromUtf8(lxw_strerror(error)));
}

QByteArray Escaped(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

}  // namespace

WorkbookBytes WriteGradesXlsx(const std::vector<ExportSheet>& sheets) {
    // libxlsxwriter writes to a file: a private folder holds it until it is read.
    QTemporaryDir folder;
    if (!folder.isValid())
        return {{}, QStringLiteral("no temporary folder: %1").arg(folder.errorString())};
    const QByteArray path = QFile::encodeName(folder.filePath(QStringLiteral("grades.xlsx")));
    {
        std::unique_ptr<lxw_workbook, WorkbookClose> book(workbook_new(path.constData()));
        if (!book) return {{}, QStringLiteral("the workbook cannot be created")};
        lxw_error error = LXW_NO_ERROR;
        const auto check = [&error](lxw_error result) {
            if (error == LXW_NO_ERROR) error = result;
        };
        for (const ExportSheet& sheet : sheets) {
            lxw_worksheet* out =
                workbook_add_worksheet(book.get(), sheet.name.toUtf8().constData());
            if (!out) return {{}, QStringLiteral("the workbook cannot be created")};
            for (std::size_t r = 0; r < sheet.rows.size(); ++r)
                for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
                    const ExportCell& cell = sheet.rows[r][c];
                    if (const double* number = std::get_if<double>(&cell))
                        check(worksheet_write_number(out, lxw_row_t(r), lxw_col_t(c), *number,
                                                     nullptr));
                    else if (const QString& text = std::get<QString>(cell); !text.isEmpty())
                        check(worksheet_write_string(out, lxw_row_t(r), lxw_col_t(c),
                                                     text.toUtf8().constData(), nullptr));
                }
        }
        if (error != LXW_NO_ERROR) return {{}, XlsxReason(error)};
        const lxw_error closed = workbook_close(book.release());
        if (closed != LXW_NO_ERROR) return {{}, XlsxReason(closed)};
    }
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) return {{}, file.errorString()};
    return {file.readAll(), {}};
}

WorkbookBytes WriteGradesOds(const std::vector<ExportSheet>& sheets) {
    QByteArray content =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "office:version=\"1.2\"><office:body><office:spreadsheet>";
    for (const ExportSheet& sheet : sheets) {
        content += "<table:table table:name=\"" + Escaped(sheet.name) + "\">";
        for (const auto& row : sheet.rows) {
            content += "<table:table-row>";
            for (const ExportCell& cell : row) {
                if (const double* number = std::get_if<double>(&cell)) {
                    const QByteArray shown = QByteArray::number(*number, 'g', 15);
                    content += "<table:table-cell office:value-type=\"float\" office:value=\"" +
                               shown + "\"><text:p>" + shown + "</text:p></table:table-cell>";
                } else if (const QString& text = std::get<QString>(cell); !text.isEmpty()) {
                    content += "<table:table-cell office:value-type=\"string\"><text:p>" +
                               Escaped(text) + "</text:p></table:table-cell>";
                } else {
                    content += "<table:table-cell/>";
                }
            }
            content += "</table:table-row>";
        }
        content += "</table:table>";
    }
    content += "</office:spreadsheet></office:body></office:document-content>\n";
    static const QByteArray manifest =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
        "manifest:version=\"1.2\">"
        "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" "
        "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
        "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
        "</manifest:manifest>\n";
    const interchange::WrittenBytes written =
        interchange::ZipPackage({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                                 {"content.xml", content},
                                 {"META-INF/manifest.xml", manifest}});
    return {written.bytes, written.error};
}

}  // namespace scrivane
