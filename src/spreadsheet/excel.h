// The spreadsheet application that import and export drive: the automation
// object model (application, workbooks, the active sheet, cells, columns)
// over workbooks held in memory and read and written by the codec. No other
// program is started. Every operation can fail with an AutomationError, and
// a fault hook lets tests make chosen operations fail.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/codec/reader.h"
#include "spreadsheet/codec/workbook.h"

namespace scrivane {

// A failed automation call; what() says why, in words for people.
class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The names of the operations, as a fault hook sees them.
namespace xlop {
inline constexpr std::string_view Open = "Workbooks.Open";
inline constexpr std::string_view Add = "Workbooks.Add";
inline constexpr std::string_view Version = "Application.Version";
inline constexpr std::string_view ActiveSheet = "ActiveSheet";
inline constexpr std::string_view CellRead = "cells.read";
inline constexpr std::string_view CellWrite = "cells.write";
inline constexpr std::string_view ColumnWidth = "Columns.ColumnWidth";
inline constexpr std::string_view WrapText = "Columns.WrapText";
inline constexpr std::string_view Pictures = "Shapes";
inline constexpr std::string_view AddPicture = "Shapes.AddPicture";
inline constexpr std::string_view Notes = "ActiveWorkbook.Notes";
inline constexpr std::string_view SaveAs = "ActiveWorkbook.SaveAs";
inline constexpr std::string_view Close = "ActiveWorkbook.Close";
inline constexpr std::string_view Quit = "Quit";
}  // namespace xlop

// Asked before each operation; returning true makes it fail. row and column
// are those of cells and Columns, 0 for other operations.
using FaultHook = std::function<bool(std::string_view operation, int row, int column)>;

// The text of a cell value, as reading a cell into a string gives it: a text
// as it is, a number in the user's number form (at most 15 significant
// digits, no grouping, the locale's decimal separator) or, when its format
// shows a date or a time, that in ISO form ("2024-01-05 08:30"), "True" or "False",
// the empty text for an empty cell. An error value has no text: throws
// AutomationError.
QString CellText(const codec::Cell& cell);

class ExcelApplication;
struct OpenWorkbook;
struct ExcelState;

class CellRef;
class ColumnRef;

// The object that cells addresses: either one worksheet (ActiveSheet) or the
// application itself, which reaches whatever sheet is active. A default
// Sheet is no object at all: every call on it fails.
class Sheet {
public:
    Sheet() = default;
    CellRef cells(int row, int column) const;
    ColumnRef Columns(int column) const;
    // The sheet's pictures in the order they are drawn, each anchored to
    // its cell; AddPicture places one more (rows 1 to 65536, columns 1 to 256).
    std::vector<codec::SheetPicture> Pictures() const;
    void AddPicture(codec::SheetPicture picture) const;
    bool IsObject() const { return !app_.expired(); }

private:
    friend class ExcelApplication;
    friend class CellRef;
    friend class ColumnRef;
    Sheet(std::weak_ptr<ExcelState> app, std::shared_ptr<OpenWorkbook> book)
        : app_(std::move(app)), book_(std::move(book)) {}
    // The worksheet reached now, after the call was let through; throws when
    // there is none.
    codec::Worksheet& Target(std::string_view operation, int row, int column) const;

    std::weak_ptr<ExcelState> app_;       // expired once the instance is gone
    std::shared_ptr<OpenWorkbook> book_;  // null: follow the active workbook
};

// One cell of a sheet (rows 1 to 65536, columns 1 to 256): read its value,
// or assign a number or a text. An empty text empties the cell, as in the
// spreadsheet.
class CellRef {
public:
    codec::Cell Value() const;
    QString Text() const { return CellText(Value()); }
    CellRef& operator=(double number);
    CellRef& operator=(const QString& text);
    void Clear();

private:
    friend class Sheet;
    CellRef(Sheet sheet, int row, int column)
        : sheet_(std::move(sheet)), row_(row), column_(column) {}
    void Write(codec::Cell cell);
    Sheet sheet_;
    int row_, column_;
};

// One column of a sheet (1 to 256).
class ColumnRef {
public:
    // Width in characters, 0 to 255.
    void ColumnWidth(int width);
    void WrapText(bool wrap);

private:
    friend class Sheet;
    ColumnRef(Sheet sheet, int column) : sheet_(std::move(sheet)), column_(column) {}
    Sheet sheet_;
    int column_;
};

inline CellRef Sheet::cells(int row, int column) const {
    return CellRef(*this, row, column);
}
inline ColumnRef Sheet::Columns(int column) const {
    return ColumnRef(*this, column);
}

class ExcelApplication {
public:
    class WorkbooksObject {
    public:
        // Opens a workbook file, which becomes the active workbook. Only the
        // cells within scope are read; the rest of the file is never held.
        void Open(const QString& FileName, const codec::ReadScope& scope = {});
        // A new workbook of one empty sheet becomes the active workbook.
        void Add();

    private:
        friend class ExcelApplication;
        explicit WorkbooksObject(ExcelApplication& app) : app_(app) {}
        ExcelApplication& app_;
    };
    class ApplicationObject {
    public:
        QString Version() const;

    private:
        friend class ExcelApplication;
        explicit ApplicationObject(ExcelApplication& app) : app_(app) {}
        ExcelApplication& app_;
    };
    class WorkbookObject {
    public:
        // Writes the workbook as an Excel 97-2003 file whatever the name's
        // extension; an existing file is replaced whole or left as it was.
        void SaveAs(const QString& FileName);
        // Closes the workbook; changes are never saved here.
        void Close(bool SaveChanges);
        // What opening the workbook left out of it (damaged pictures), in
        // words for people.
        std::vector<std::string> Notes() const;

    private:
        friend class ExcelApplication;
        explicit WorkbookObject(ExcelApplication& app) : app_(app) {}
        ExcelApplication& app_;
    };

    explicit ExcelApplication(FaultHook faults = {});
    ~ExcelApplication();
    ExcelApplication(const ExcelApplication&) = delete;
    ExcelApplication& operator=(const ExcelApplication&) = delete;

    WorkbooksObject Workbooks() { return WorkbooksObject(*this); }
    ApplicationObject Application() { return ApplicationObject(*this); }
    WorkbookObject ActiveWorkbook() { return WorkbookObject(*this); }
    Sheet ActiveSheet();
    // The application as the sheet object: its cells reach the active sheet.
    Sheet AsSheet() { return Sheet(state_, nullptr); }
    // Ends the instance: open workbooks are dropped unsaved, and every later
    // call fails.
    void Quit();


private:
    std::shared_ptr<ExcelState> state_;
};

// Creates application instances; import and export get theirs from here so
// that tests can hand in instances that fail.
class ExcelFactory {
public:
    virtual ~ExcelFactory() = default;
    // A new, private instance; throws AutomationError when none can be made.
    virtual std::unique_ptr<ExcelApplication> CreateApplication() = 0;
};

class NativeExcelFactory : public ExcelFactory {
public:
    std::unique_ptr<ExcelApplication> CreateApplication() override {
        return std::make_unique<ExcelApplication>();
    }
};

}  // namespace scrivane
