// GLib names a member "signals", which Qt defines as a word of its own:
// libgsf comes first wherever the two meet.
#include <gsf/gsf.h>
#include <xlsxwriter.h>

#include "spreadsheet/codec/package_writer.h"

#include "spreadsheet/codec/biff8_layout.h"
#include "spreadsheet/codec/officeart.h"
#include "spreadsheet/codec/read_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>

namespace scrivane::codec {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr const char* kTooLarge =
    "the pictures would make the file larger than the 64 MiB a workbook may have";

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

// The sheet's pictures laid out under the texts of their cells, as the
// paper file lays them out: rows grow to show them.
detail::SheetLayout LayOut(const Worksheet& sheet) {
    if (sheet.pictures.empty()) return {};
    const auto chars = [&sheet](int column) {
        const auto it = sheet.columnWidths.find(column);
        return it == sheet.columnWidths.end() ? double(LXW_DEF_COL_WIDTH) : it->second;
    };
    return detail::LayOutPictures(
        sheet,
        [&sheet, &chars](int row) {
            int lines = 1;
            for (auto it = sheet.cells.lower_bound({row, 0});
                 it != sheet.cells.end() && it->first.first == row; ++it)
                if (it->second.kind == Cell::Kind::Text &&
                    sheet.wrapColumns.count(it->first.second))
                    lines = std::max(lines, WrappedLineCount(Utf8ToUtf16(it->second.text),
                                                             chars(it->first.second)));
            return RowHeightTwips(lines);
        },
        chars);
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

// A length in pixels (96 an inch) as inches.
std::string PixelInches(int pixels) {
    return Number("%.4f", pixels / 96.0) + "in";
}

// A picture of the .ods package: its member and media type.
struct OdsPicture {
    std::string member;
    std::string mediaType;
    const std::vector<std::uint8_t>* bytes = nullptr;
};

std::string OdsContent(const Workbook& book, std::vector<OdsPicture>& pictures) {
    std::vector<detail::SheetLayout> layouts;
    for (const Worksheet& sheet : book.sheets) layouts.push_back(LayOut(sheet));
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document-content "
        "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
        "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
        "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
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
    // Rows made taller to show their pictures.
    std::set<int> heights;
    for (const detail::SheetLayout& layout : layouts)
        for (const auto& [row, twips] : layout.rowTwips) heights.insert(twips);
    for (const int twips : heights)
        out += "<style:style style:name=\"ro" + std::to_string(twips) +
               "\" style:family=\"table-row\"><style:table-row-properties style:row-height=\"" +
               Number("%.4f", twips / 1440.0) +
               "in\" style:use-optimal-row-height=\"false\"/></style:style>";
    out +=
        "<style:style style:name=\"wrap\" style:family=\"table-cell\">"
        "<style:table-cell-properties fo:wrap-option=\"wrap\"/></style:style>"
        "</office:automatic-styles><office:body><office:spreadsheet>";
    for (std::size_t s = 0; s < book.sheets.size(); ++s) {
        const Worksheet& sheet = book.sheets[s];
        const detail::SheetLayout& layout = layouts[s];
        // Each cell's pictures as frames in the cell, in their order.
        std::map<std::pair<int, int>, std::string> frames;
        int lastPictureRow = 0, lastPictureColumn = 0;
        for (const detail::PlacedPicture& placed : layout.placed) {
            const SheetPicture& picture = *placed.picture;
            const bool svg = picture.format == "svg";
            const std::string extension = svg ? ".svg" : picture.format == "jpeg" ? ".jpg" : ".png";
            const std::string member =
                "Pictures/" + std::to_string(pictures.size() + 1) + extension;
            pictures.push_back({member,
                                svg                        ? "image/svg+xml"
                                : picture.format == "jpeg" ? "image/jpeg"
                                                           : "image/png",
                                &picture.data});
            std::string& frame = frames[{placed.row1 + 1, placed.column1 + 1}];
            frame += "<draw:frame draw:z-index=\"" + std::to_string(pictures.size() - 1) +
                     "\" svg:width=\"" + PixelInches(placed.width) + "\" svg:height=\"" +
                     PixelInches(placed.height) + "\" svg:x=\"" + PixelInches(placed.x) +
                     "\" svg:y=\"" + PixelInches(placed.y) + "\"><draw:image xlink:href=\"" +
                     member +
                     "\" xlink:type=\"simple\" xlink:show=\"embed\" xlink:actuate=\"onLoad\"/>";
            if (!picture.name.empty())
                frame += "<svg:title>" + Escaped(picture.name) + "</svg:title>";
            frame += "</draw:frame>";
            lastPictureRow = std::max(lastPictureRow, placed.row1 + 1);
            lastPictureColumn = std::max(lastPictureColumn, placed.column1 + 1);
        }
        out += "<table:table table:name=\"" + Escaped(sheet.name) + "\">";
        const int lastColumn = std::max(LastColumn(sheet), lastPictureColumn);
        for (int column = 1; column <= lastColumn; ++column) {
            out += "<table:table-column";
            if (const auto width = sheet.columnWidths.find(column);
                width != sheet.columnWidths.end())
                out += " table:style-name=\"" + StyleName(width->second) + "\"";
            if (sheet.wrapColumns.count(column)) out += " table:default-cell-style-name=\"wrap\"";
            out += "/>";
        }
        const int lastRow = std::max(LastRow(sheet), lastPictureRow);
        for (int row = 1; row <= lastRow; ++row) {
            const auto taller = layout.rowTwips.find(row);
            out += taller == layout.rowTwips.end() ? "<table:table-row>"
                                                   : "<table:table-row table:style-name=\"ro" +
                                                         std::to_string(taller->second) + "\">";
            for (int column = 1; column <= lastColumn; ++column) {
                const Cell& cell = sheet.At(row, column);
                if (const auto frame = frames.find({row, column}); frame != frames.end()) {
                    // A cell with pictures: its frames, then its text.
                    std::string value = "<text:p/>";
                    std::string type;
                    if (cell.kind == Cell::Kind::Number) {
                        const std::string shown = Number("%.15g", cell.number);
                        type = " office:value-type=\"float\" office:value=\"" + shown + "\"";
                        value = "<text:p>" + shown + "</text:p>";
                    } else if (cell.kind == Cell::Kind::Text && !cell.text.empty()) {
                        type = " office:value-type=\"string\"";
                        value = Paragraphs(cell.text);
                    }
                    out += "<table:table-cell" + type + ">" + frame->second +
                           (type.empty() ? std::string() : value) + "</table:table-cell>";
                    continue;
                }
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

std::string OdsManifest(const std::vector<OdsPicture>& pictures) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
        "manifest:version=\"1.2\">"
        "<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" "
        "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
        "<manifest:file-entry manifest:full-path=\"content.xml\" "
        "manifest:media-type=\"text/xml\"/>";
    for (const OdsPicture& picture : pictures)
        out += "<manifest:file-entry manifest:full-path=\"" + picture.member +
               "\" manifest:media-type=\"" + picture.mediaType + "\"/>";
    return out + "</manifest:manifest>\n";
}

// What a read takes is the most a written package may be.
void CheckPicturesFit(const Workbook& book) {
    std::size_t bytes = 0;
    for (const Worksheet& sheet : book.sheets)
        for (const SheetPicture& picture : sheet.pictures)
            bytes += picture.data.size() + picture.standIn.size();
    if (bytes > detail::kMaxFileBytes) throw WorkbookError(kTooLarge);
}

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
    CheckPicturesFit(book);
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
            // Each picture in its cell under the text; .xlsx shows an SVG by
            // its PNG stand-in.
            const detail::SheetLayout layout = LayOut(sheet);
            for (const auto& [row, twips] : layout.rowTwips)
                check(worksheet_set_row(target, lxw_row_t(row - 1), twips / 20.0, nullptr));
            for (const detail::PlacedPicture& placed : layout.placed) {
                const std::vector<std::uint8_t>& shown = detail::ShownBytes(*placed.picture);
                if (detail::RasterFormatOf(shown).empty())
                    throw WorkbookError("a picture is neither PNG nor JPEG, nor shown by one");
                const auto natural = detail::ImagePixelSize(shown).value_or(std::pair(64, 64));
                lxw_image_options options = {};
                options.x_offset = placed.x;
                options.y_offset = placed.y;
                options.x_scale = double(placed.width) / natural.first;
                options.y_scale = double(placed.height) / natural.second;
                options.object_position = LXW_OBJECT_MOVE_DONT_SIZE;
                std::string description = placed.picture->name;
                options.description = description.data();
                check(worksheet_insert_image_buffer_opt(target, lxw_row_t(placed.row1),
                                                        lxw_col_t(placed.column1), shown.data(),
                                                        shown.size(), &options));
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
    Bytes bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>{});
    if (bytes.size() > detail::kMaxFileBytes) throw WorkbookError(kTooLarge);
    return bytes;
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
    CheckPicturesFit(book);
    std::vector<OdsPicture> pictures;
    std::vector<std::pair<std::string, std::string>> members = {
        {"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
        {"content.xml", OdsContent(book, pictures)}};
    for (const OdsPicture& picture : pictures)
        members.emplace_back(picture.member,
                             std::string(picture.bytes->begin(), picture.bytes->end()));
    members.emplace_back("META-INF/manifest.xml", OdsManifest(pictures));
    Bytes bytes = WriteZipBytes(members);
    if (bytes.size() > detail::kMaxFileBytes) throw WorkbookError(kTooLarge);
    return bytes;
}

}  // namespace scrivane::codec
