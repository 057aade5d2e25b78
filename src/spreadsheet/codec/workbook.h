// The in-memory workbook that the codec reads from and writes to files.
// Plain C++ with no Qt: texts are UTF-8, rows and columns are 1-based.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace scrivane::codec {

struct Cell {
    enum class Kind { Empty, Number, Text, Boolean, Error };
    Kind kind = Kind::Empty;
    double number = 0;     // Number
    std::string text;      // Text, UTF-8; Number: what a date format shows, in ISO
                           // form ("2024-01-05 08:30"), else empty
    bool boolean = false;  // Boolean
    int errorCode = 0;     // Error: the BIFF error code (0x07 #DIV/0!, 0x2A #N/A, ...)

    static Cell Number(double v) {
        Cell c;
        c.kind = Kind::Number;
        c.number = v;
        return c;
    }
    static Cell Text(std::string v) {
        Cell c;
        c.kind = Kind::Text;
        c.text = std::move(v);
        return c;
    }
    static Cell Boolean(bool v) {
        Cell c;
        c.kind = Kind::Boolean;
        c.boolean = v;
        return c;
    }
    static Cell Error(int code) {
        Cell c;
        c.kind = Kind::Error;
        c.errorCode = code;
        return c;
    }
    bool operator==(const Cell&) const = default;
};

// A picture placed on a sheet, its top left corner in a cell: the bytes of
// its file as they are, so that it reads back byte for byte. Several
// pictures in one cell keep their order.
struct SheetPicture {
    int row = 1, column = 1;  // the cell it is anchored to, 1-based
    std::string format;       // "png", "jpeg" or "svg"
    std::string name;         // UTF-8, the file name it came with; may be empty
    std::vector<std::uint8_t> data;
    // What a format that cannot hold this picture's own format (an SVG in
    // BIFF8 or .xlsx) shows in its place: a PNG, or when empty a plain grey
    // frame. Written, never read.
    std::vector<std::uint8_t> standIn;

    bool operator==(const SheetPicture&) const = default;
};

struct Worksheet {
    std::string name = "Sheet1";
    std::map<std::pair<int, int>, Cell> cells;  // (row, column), both 1-based
    std::map<int, double> columnWidths;         // column -> width in characters
    std::set<int> wrapColumns;                  // columns whose cells wrap their text
    std::vector<SheetPicture> pictures;         // in the order they are drawn

    const Cell& At(int row, int column) const {
        static const Cell empty;
        auto it = cells.find({row, column});
        return it == cells.end() ? empty : it->second;
    }
    void Set(int row, int column, Cell cell) { cells[{row, column}] = std::move(cell); }
};

struct Workbook {
    std::vector<Worksheet> sheets;
    int activeSheet = 0;  // index into sheets: the sheet the workbook opens on
    // What a read left out of an otherwise readable workbook (damaged
    // pictures), each in words for people. Never written.
    std::vector<std::string> notes;
};

// Any failure to read or write a workbook; what() is a short reason for people.
class WorkbookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace scrivane::codec
