// GLib names a member "signals", which Qt defines as a word of its own:
// libgsf comes first wherever the two meet.
#include <gsf/gsf.h>
#include <xlsxwriter.h>

#include "spreadsheet/codec/package_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>

namespace scrivane::codec {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The columns a sheet describes or fills, from 1; 0 for an empty sheet.
int LastColumn(const Worksheet& sheet) {
    int last = 0;
    if (!sheet.columnWidths.empty()) last = std::max(last, sheet.columnWidths.rbegin()->first);
    if (!sheet.wrapColumns.empty()) last = std::max(last, *sheet.wrapColumns.rbegin());
    for (const auto& [place, cell] : sheet.cells) last = std::max(last, place.second);
    return last;
}

int LastRow(const Worksheet& sheet) {
    return sheet.cells.empty() ? 0 : sheet.cells.rbegin()->first.first;
}

std::string Number(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// --- .xlsx ---

// A folder of its own under the temporary folder, removed with everything in it.
class PrivateFolder {
public:
    PrivateFolder() {
        std::error_code error;
        std::string pattern =
            (std::filesystem::temp_directory_path(error) / "scrivane-XXXXXX").string();
        if (error) pattern = "/tmp/scrivane-XXXXXX";
        if (mkdtemp(pattern.data()))
            path_ = pattern;
        else
            error_ = std::strerror(errno);
    }
    ~PrivateFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    const std::string& Error() const { return error_; }

private:
    std::filesystem::path path_;
    std::string error_;
};

struct WorkbookClose {
    void operator()(lxw_workbook* book) const { workbook_close(book); }
};

[[noreturn]] void XlsxFailed(lxw_error error) {
    throw WorkbookError(std::string("the workbook cannot be written (") + lxw_strerror(error) +
                        ")");
}

// --- .ods ---

std::string Escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// A text as the paragraphs of a cell: one <text:p> a line; a run of blanks
// is one blank and <text:s/> for the rest, all of it at a paragraph's start.
std::string Paragraphs(const std::string& text) {
    std::string normal;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            normal += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            normal += text[i];
        }
    }
    std::string out;
    std::size_t from = 0;
    while (true) {
        const std::size_t newline = normal.find('\n', from);
        const std::string line =
            normal.substr(from, newline == std::string::npos ? std::string::npos : newline - from);
        out += "<text:p>";
        std::size_t i = 0;
        while (i < line.size()) {
            if (line[i] == ' ') {
                std::size_t end = i;
                while (end < line.size() && line[end] == ' ') ++end;
                std::size_t run = end - i;
                if (i > 0) {
                    out += ' ';
                    --run;
                }
                if (run == 1) out += "<text:s/>";
                if (run > 1) out += "<text:s text:c=\"" + std::to_string(run) + "\"/>";
                i = end;
            } else if (line[i] == '\t') {
                out += "<text:tab/>";
                ++i;
            } else {
                std::size_t end = i;
                while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
                out += Escaped(line.substr(i, end - i));
                i = end;
            }
        }
        out += "</text:p>";
        if (newline == std::string::npos) break;
        from = newline + 1;
    }
    return out;
}

// Width in inches of a column of n characters (7 pixels each and 5 of
// margin at 96 pixels an inch).
std::string Inches(double characters) {
    return Number("%.4f", (7.0 * characters + 5) / 96) + "in";
}

std::string StyleName(double width) {
    return "co" + Number("%g", width);
}

std::string OdsContent(const Workbook& book) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
        "office:version=\"1.2\"><office:automatic-styles>";
    std::set<double> widths;
    for (const Worksheet& sheet : book.sheets)
        for (const auto& [column, width] : sheet.columnWidths) widths.insert(width);
    for (const double width : widths)
        out += "<style:style style:name=\"" + StyleName(width) +
               "\" style:family=\"table-column\"><style:table-column-properties "
               "style:column-width=\"" +
               Inches(width) + "\"/></style:style>";
    out +=
        "<style:style style:name=\"wrap\" style:family=\"table-cell\">"
        "<style:table-cell-properties fo:wrap-option=\"wrap\"/></style:style>"
        "</office:automatic-styles><office:body><office:spreadsheet>";
    for (const Worksheet& sheet : book.sheets) {
        out += "<table:table table:name=\"" + Escaped(sheet.name) + "\">";
        const int lastColumn = LastColumn(sheet);
        for (int column = 1; column <= lastColumn; ++column) {
            out += "<table:table-column";
            if (const auto width = sheet.columnWidths.find(column);
                width != sheet.columnWidths.end())
                out += " table:style-name=\"" + StyleName(width->second) + "\"";
            if (sheet.wrapColumns.count(column)) out += " table:default-cell-style-name=\"wrap\"";
            out += "/>";
        }
        const int lastRow = LastRow(sheet);
        for (int row = 1; row <= lastRow; ++row) {
            out += "<table:table-row>";
            for (int column = 1; column <= lastColumn; ++column) {
                const Cell& cell = sheet.At(row, column);
                switch (cell.kind) {
                    case Cell::Kind::Number: {
                        const std::string shown = Number("%.15g", cell.number);
                        out += "<table:table-cell office:value-type=\"float\" office:value=\"" +
                               shown + "\"><text:p>" + shown + "</text:p></table:table-cell>";
                        break;
                    }
                    case Cell::Kind::Boolean:
                        out += cell.boolean
                                   ? "<table:table-cell office:value-type=\"boolean\" "
                                     "office:boolean-value=\"true\"><text:p>TRUE</text:p>"
                                     "</table:table-cell>"
                                   : "<table:table-cell office:value-type=\"boolean\" "
                                     "office:boolean-value=\"false\"><text:p>FALSE</text:p>"
                                     "</table:table-cell>";
                        break;
                    case Cell::Kind::Text:
                        if (!cell.text.empty()) {
                            out += "<table:table-cell office:value-type=\"string\">" +
                                   Paragraphs(cell.text) + "</table:table-cell>";
                            break;
                        }
                        [[fallthrough]];
                    default:
                        out += "<table:table-cell/>";
                }
            }
            out += "</table:table-row>";
        }
        out += "</table:table>";
    }
    out += "</office:spreadsheet></office:body></office:document-content>\n";
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
bool AddMember(GsfOutfile* folder, const char* name, const std::string& data, bool stored) {
    std::unique_ptr<GsfOutput, Unref> child(
        stored ? gsf_outfile_new_child_full(folder, name, FALSE, "compression-level",
                                            GSF_ZIP_STORED, nullptr)
               : gsf_outfile_new_child(folder, name, FALSE));
    if (!child) return false;
    const bool written =
        gsf_output_write(child.get(), data.size(), reinterpret_cast<const guint8*>(data.data()));
    return gsf_output_close(child.get()) && written;
}

}  // namespace

Bytes WriteXlsxBytes(const Workbook& book) {
    if (book.sheets.empty()) throw WorkbookError("the workbook has no sheet");
    // libxlsxwriter writes to a file: a private folder holds it until it is read.
    const PrivateFolder folder;
    if (folder.Path().empty()) throw WorkbookError("no temporary folder: " + folder.Error());
    const std::string path = (folder.Path() / "book.xlsx").string();
    {
        std::unique_ptr<lxw_workbook, WorkbookClose> out(workbook_new(path.c_str()));
        if (!out) throw WorkbookError("the workbook cannot be created");
        std::vector<lxw_worksheet*> sheets;
        lxw_format* wrap = nullptr;
        for (const Worksheet& sheet : book.sheets) {
            sheets.push_back(workbook_add_worksheet(out.get(), sheet.name.c_str()));
            if (!wrap) wrap = workbook_add_format(out.get());
            if (!sheets.back() || !wrap) throw WorkbookError("the workbook cannot be created");
        }
        format_set_text_wrap(wrap);
        lxw_error error = LXW_NO_ERROR;
        const auto check = [&error](lxw_error result) {
            if (error == LXW_NO_ERROR) error = result;
        };
        for (std::size_t s = 0; s < book.sheets.size(); ++s) {
            const Worksheet& sheet = book.sheets[s];
            lxw_worksheet* target = sheets[s];
            const int lastColumn = LastColumn(sheet);
            for (int column = 1; column <= lastColumn; ++column) {
                const auto width = sheet.columnWidths.find(column);
                const bool wrapped = sheet.wrapColumns.count(column) > 0;
                if (width == sheet.columnWidths.end() && !wrapped) continue;
                const auto c = lxw_col_t(column - 1);
                check(worksheet_set_column(
                    target, c, c,
                    width == sheet.columnWidths.end() ? LXW_DEF_COL_WIDTH : width->second,
                    wrapped ? wrap : nullptr));
            }
            for (const auto& [place, cell] : sheet.cells) {
                const auto row = lxw_row_t(place.first - 1);
                const auto column = lxw_col_t(place.second - 1);
                if (cell.kind == Cell::Kind::Number)
                    check(worksheet_write_number(target, row, column, cell.number, nullptr));
                else if (cell.kind == Cell::Kind::Text && !cell.text.empty())
                    check(worksheet_write_string(target, row, column, cell.text.c_str(), nullptr));
                else if (cell.kind == Cell::Kind::Boolean)
                    check(worksheet_write_boolean(target, row, column, cell.boolean, nullptr));
            }
        }
        if (book.activeSheet > 0 && std::size_t(book.activeSheet) < sheets.size())
            worksheet_activate(sheets[std::size_t(book.activeSheet)]);
        if (error != LXW_NO_ERROR) XlsxFailed(error);
        const lxw_error closed = workbook_close(out.release());
        if (closed != LXW_NO_ERROR) XlsxFailed(closed);
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) throw WorkbookError("the written workbook cannot be read back");
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Bytes WriteZipBytes(const std::vector<std::pair<std::string, std::string>>& members) {
    static std::once_flag once;
    std::call_once(once, [] { gsf_init(); });
    const WorkbookError failed("the package cannot be written");
    std::unique_ptr<GsfOutput, Unref> sink(gsf_output_memory_new());
    if (!sink) throw failed;
    {
        GError* error = nullptr;
        std::unique_ptr<GsfOutfile, Unref> zip(gsf_outfile_zip_new(sink.get(), &error));
        if (error) g_error_free(error);
        if (!zip) throw failed;
        bool written = true;
        std::string folderName;
        std::unique_ptr<GsfOutput, Unref> folder;
        const auto closeFolder = [&] {
            if (folder) written = gsf_output_close(folder.get()) && written;
            folder.reset();
        };
        for (std::size_t i = 0; i < members.size() && written; ++i) {
            const std::string& name = members[i].first;
            const std::size_t slash = name.find('/');
            GsfOutfile* parent = zip.get();
            if (slash != std::string::npos && slash > 0) {
                if (!folder || folderName != name.substr(0, slash)) {
                    closeFolder();
                    folderName = name.substr(0, slash);
                    folder.reset(gsf_outfile_new_child(zip.get(), folderName.c_str(), TRUE));
                    if (!folder) throw failed;
                }
                parent = GSF_OUTFILE(folder.get());
            }
            const std::string leaf =
                slash != std::string::npos && slash > 0 ? name.substr(slash + 1) : name;
            written = AddMember(parent, leaf.c_str(), members[i].second, i == 0);
        }
        closeFolder();
        if (!gsf_output_close(GSF_OUTPUT(zip.get())) || !written) throw failed;
    }
    const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    const gsf_off_t size = gsf_output_size(sink.get());
    if (!data || size <= 0) throw failed;
    return Bytes(data, data + size);
}

Bytes WriteOdsBytes(const Workbook& book) {
    if (book.sheets.empty()) throw WorkbookError("the workbook has no sheet");
    return WriteZipBytes({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                          {"content.xml", OdsContent(book)},
                          {"META-INF/manifest.xml", kOdsManifest}});
}

}  // namespace scrivane::codec
