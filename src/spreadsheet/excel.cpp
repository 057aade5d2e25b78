#include "spreadsheet/excel.h"

#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <cmath>
#include <new>

#include "spreadsheet/codec/biff8_writer.h"
#include "spreadsheet/codec/reader.h"

namespace scrivane {

namespace {

constexpr int kMaxRow = 65536;
constexpr int kMaxColumn = 256;
constexpr int kMaxCellUnits = 32767;
constexpr int kMaxColumnWidth = 255;

std::filesystem::path ToPath(const QString& fileName) {
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
}

void CheckCell(int row, int column) {
    if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn)
        throw AutomationError("cell (" + std::to_string(row) + ", " + std::to_string(column) +
                              ") lies outside the sheet");
}

void CheckColumn(int column) {
    if (column < 1 || column > kMaxColumn)
        throw AutomationError("column " + std::to_string(column) + " lies outside the sheet");
}

}  // namespace

struct OpenWorkbook {
    codec::Workbook book;
    std::filesystem::path path;  // empty for a new workbook
    bool closed = false;

    codec::Worksheet& Sheet() {
        if (book.activeSheet < 0 || std::size_t(book.activeSheet) >= book.sheets.size())
            book.activeSheet = 0;
        return book.sheets.at(std::size_t(book.activeSheet));
    }
};

// The instance itself; sheets refer to it weakly, so a sheet kept after the
// instance is gone fails instead of reaching freed memory.
struct ExcelState {
    FaultHook faults;
    bool quit = false;
    std::vector<std::shared_ptr<OpenWorkbook>> books;

    // Throws when the instance has ended or the fault hook fails the call.
    void Enter(std::string_view operation, int row = 0, int column = 0) const {
        if (quit) throw AutomationError("the spreadsheet application has ended");
        if (faults && faults(operation, row, column))
            throw AutomationError(std::string(operation) + " failed");
    }
    const std::shared_ptr<OpenWorkbook>& Active(std::string_view operation) const {
        if (books.empty()) throw AutomationError(std::string(operation) + ": no workbook is open");
        return books.back();
    }
    void CloseAll() {
        for (auto& book : books) book->closed = true;
        books.clear();
    }
};

QString CellText(const codec::Cell& cell) {
    switch (cell.kind) {
        case codec::Cell::Kind::Empty:
            return {};
        case codec::Cell::Kind::Text: {
            // Qt's plain UTF-8 decoding drops a leading byte-order mark; the
            // cell's text keeps every character.
            QStringDecoder decoder(QStringConverter::Utf8,
                                   QStringConverter::Flag::ConvertInitialBom);
            return decoder(QByteArrayView(cell.text.data(), qsizetype(cell.text.size())));
        }
        case codec::Cell::Kind::Boolean:
            return cell.boolean ? QStringLiteral("True") : QStringLiteral("False");
        case codec::Cell::Kind::Number: {
            // A date format shows the date (the reader gives its ISO text).
            if (!cell.text.empty()) return QString::fromStdString(cell.text);
            const double value = cell.number == 0 ? 0.0 : cell.number;  // no "-0"
            QString text = QString::number(value, 'g', 15);
            text.replace(u'e', u'E');
            const QString point = QLocale().decimalPoint();
            if (point != QStringLiteral(".")) text.replace(u'.', point);
            return text;
        }
        case codec::Cell::Kind::Error:
            break;
    }
    throw AutomationError("the cell holds an error value, which has no text");
}

// --- Sheet, cells and columns ---

codec::Worksheet& Sheet::Target(std::string_view operation, int row, int column) const {
    const std::shared_ptr<ExcelState> app = app_.lock();
    if (!app) throw AutomationError("there is no sheet object");
    app->Enter(operation, row, column);
    const std::shared_ptr<OpenWorkbook> book = book_ ? book_ : app->Active(operation);
    if (book->closed) throw AutomationError("the sheet's workbook is closed");
    return book->Sheet();
}

codec::Cell CellRef::Value() const {
    codec::Worksheet& sheet = sheet_.Target(xlop::CellRead, row_, column_);
    CheckCell(row_, column_);
    return sheet.At(row_, column_);
}

void CellRef::Write(codec::Cell cell) {
    codec::Worksheet& sheet = sheet_.Target(xlop::CellWrite, row_, column_);
    CheckCell(row_, column_);
    if (cell.kind == codec::Cell::Kind::Empty)
        sheet.cells.erase({row_, column_});
    else
        sheet.Set(row_, column_, std::move(cell));
}

CellRef& CellRef::operator=(double number) {
    if (!std::isfinite(number))
        throw AutomationError("a cell cannot hold a number that is not finite");
    Write(codec::Cell::Number(number));
    return *this;
}

CellRef& CellRef::operator=(const QString& text) {
    if (text.size() > kMaxCellUnits)
        throw AutomationError("a cell holds at most 32767 characters, the text has " +
                              std::to_string(text.size()));
    Write(text.isEmpty() ? codec::Cell{} : codec::Cell::Text(text.toStdString()));
    return *this;
}

void CellRef::Clear() {
    Write(codec::Cell{});
}

std::vector<codec::SheetPicture> Sheet::Pictures() const {
    return Target(xlop::Pictures, 0, 0).pictures;
}

void Sheet::AddPicture(codec::SheetPicture picture) const {
    codec::Worksheet& sheet = Target(xlop::AddPicture, picture.row, picture.column);
    CheckCell(picture.row, picture.column);
    sheet.pictures.push_back(std::move(picture));
}

void ColumnRef::ColumnWidth(int width) {
    codec::Worksheet& sheet = sheet_.Target(xlop::ColumnWidth, 0, column_);
    CheckColumn(column_);
    if (width < 0 || width > kMaxColumnWidth)
        throw AutomationError("a column width lies between 0 and 255 characters");
    sheet.columnWidths[column_] = width;
}

void ColumnRef::WrapText(bool wrap) {
    codec::Worksheet& sheet = sheet_.Target(xlop::WrapText, 0, column_);
    CheckColumn(column_);
    if (wrap)
        sheet.wrapColumns.insert(column_);
    else
        sheet.wrapColumns.erase(column_);
}

// --- The application ---

ExcelApplication::ExcelApplication(FaultHook faults) : state_(std::make_shared<ExcelState>()) {
    state_->faults = std::move(faults);
}

ExcelApplication::~ExcelApplication() {
    state_->CloseAll();
}

void ExcelApplication::WorkbooksObject::Open(const QString& FileName,
                                             const codec::ReadScope& scope) {
    app_.state_->Enter(xlop::Open);
    if (FileName.isEmpty()) throw AutomationError("no file name was given");
    auto book = std::make_shared<OpenWorkbook>();
    book->path = ToPath(FileName);
    try {
        book->book = codec::ReadWorkbookFile(book->path, scope);
    } catch (const codec::WorkbookError& e) {
        throw AutomationError(e.what());
    } catch (const std::bad_alloc&) {
        throw AutomationError("the workbook is too large to be read");
    }
    if (book->book.sheets.empty()) throw AutomationError("the workbook has no sheet");
    app_.state_->books.push_back(std::move(book));
}

void ExcelApplication::WorkbooksObject::Add() {
    app_.state_->Enter(xlop::Add);
    auto book = std::make_shared<OpenWorkbook>();
    book->book.sheets.emplace_back();
    app_.state_->books.push_back(std::move(book));
}

QString ExcelApplication::ApplicationObject::Version() const {
    app_.state_->Enter(xlop::Version);
    return QStringLiteral("16.0");
}

Sheet ExcelApplication::ActiveSheet() {
    state_->Enter(xlop::ActiveSheet);
    return Sheet(state_, state_->Active(xlop::ActiveSheet));
}

void ExcelApplication::WorkbookObject::SaveAs(const QString& FileName) {
    app_.state_->Enter(xlop::SaveAs);
    const std::shared_ptr<OpenWorkbook>& book = app_.state_->Active(xlop::SaveAs);
    if (FileName.isEmpty()) throw AutomationError("no file name was given");
    const std::filesystem::path path = ToPath(FileName);
    try {
        codec::WriteBiff8File(book->book, path);
    } catch (const codec::WorkbookError& e) {
        throw AutomationError(e.what());
    } catch (const std::bad_alloc&) {
        throw AutomationError("not enough memory to write the workbook");
    }
    book->path = path;
}

void ExcelApplication::WorkbookObject::Close(bool SaveChanges) {
    app_.state_->Enter(xlop::Close);
    const std::shared_ptr<OpenWorkbook> book = app_.state_->Active(xlop::Close);
    if (SaveChanges) {
        if (book->path.empty()) throw AutomationError("a new workbook has no file to be saved to");
        try {
            codec::WriteBiff8File(book->book, book->path);
        } catch (const codec::WorkbookError& e) {
            throw AutomationError(e.what());
        }
    }
    book->closed = true;
    app_.state_->books.pop_back();
}

std::vector<std::string> ExcelApplication::WorkbookObject::Notes() const {
    app_.state_->Enter(xlop::Notes);
    return app_.state_->Active(xlop::Notes)->book.notes;
}

void ExcelApplication::Quit() {
    state_->Enter(xlop::Quit);
    state_->CloseAll();
    state_->quit = true;
}

}  // namespace scrivane
