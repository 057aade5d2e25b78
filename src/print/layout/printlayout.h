// Lays the versions of a paper out on pages and paints them on a printer or
// a PDF writer by part: every version's question paper, then every version's
// answer sheet, then the answer keys (each with its seed line), with a footer
// on every page.
#pragma once

#include <QByteArray>
#include <QLocale>
#include <QPageSize>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include "print/layout/answersheet.h"
#include "print/versions/printsettings.h"
#include "print/versions/versions.h"
#include "spreadsheet/paperio.h"

class QPagedPaintDevice;

namespace scrivane {

enum class PrintPart { Paper, Key, AnswerSheet };

// Where a block landed: pages count from 0 over the whole print. question is
// the index in the version's order, -1 for the part's heading or the whole
// key and answer sheet.
struct PlacedBlock {
    int version = 0;
    PrintPart part = PrintPart::Paper;
    int question = -1;
    int firstPage = 0;
    int lastPage = 0;
};

class PrintLayout {
public:
    PrintLayout(std::vector<PaperVersion> versions, PrintSettings settings,
                QLocale locale = QLocale());
    ~PrintLayout();

    // Sets the margins, lays every page out for the device's page and
    // resolution and paints them; false when painting could not start. With
    // copies, each version's paper and sheet are painted that many times
    // over (the device itself should print one copy); each key once.
    bool Render(QPagedPaintDevice& device, int copies = 1);

    // The page map of the last Render, with the pages of the first copy.
    const std::vector<PlacedBlock>& PageMap() const { return pageMap_; }
    int PageCount() const { return pageCount_; }
    // The answer sheets of the last Render, each with its page, from 1.
    const std::vector<std::pair<int, SheetPageLayout>>& SheetPages() const { return sheetPages_; }

private:
    struct Pages;
    std::vector<PaperVersion> versions_;
    PrintSettings settings_;
    QLocale locale_;
    std::vector<PlacedBlock> pageMap_;
    int pageCount_ = 0;
    std::vector<std::pair<int, SheetPageLayout>> sheetPages_;
};

// The paper size of a PDF: Letter where the locale measures in inches, A4
// everywhere else.
QPageSize LocalePageSize(const QLocale& locale = QLocale());

// Writes the print as a PDF file through WriteBytesSafely. Returns why it
// failed, or an empty text.
QString WritePdf(const QString& path, PrintLayout& layout, const QLocale& locale = QLocale());


}  // namespace scrivane
