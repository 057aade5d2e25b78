// A pile of scans read page by page: every page of every file, on several
// threads, handed on in the order of the files and their pages as soon as it
// and every page before it are read, so that a long scan never sits in memory
// whole and a window can show each sheet as it comes. One bad page never
// stops the batch.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

#include "grading/read/sheetreader.h"

namespace scrivane {

// Reads the pages of scan files: one for each thread, never shared.
class PageSource {
public:
    virtual ~PageSource() = default;
    // The file's page count; 0 with *error set when it cannot be read.
    virtual int PageCount(const QString& file, QString* error) = 0;
    // page from 1; printedWith as SheetReader::Read takes it.
    virtual PageRead Read(const QString& file, int page,
                          const std::optional<SheetCode>& printedWith = std::nullopt) = 0;
};

using PageSourceFactory = std::function<std::unique_ptr<PageSource>()>;

struct BatchPage {
    QString file;   // as given
    int page = 1;   // in that file, from 1
    int index = 0;  // in the batch, from 0
    int total = 0;  // the pages of the whole batch
    PageRead read;  // a file that cannot be opened gives one unreadable page with the reason
    // The pages of this file; 0 when it could not be opened.
    int filePages = 0;
};

class GradingBatch {
public:
    explicit GradingBatch(PageSourceFactory sources, int threads = 2);

    // Reads every page (a batch runs once; a file given twice, once); calls onPage on the calling
    // thread for each, in order, but for the sheets whose code could not be read: those come at the
    // end, read again with the print settings of the batch's other sheets when they all agree (else
    // left unreadable), so that what a damaged code reads as never depends on the order the pages
    // were read in. False when cancelled before the end.
    bool Run(const QStringList& files, const std::function<void(BatchPage&)>& onPage);
    // From any thread, the callback's included: no page is handed on after it.
    void Cancel();
    // Before Run: pages for which skip(file, page) is true are not read (a
    // pile whose reading was cut off, continued).
    void SkipPages(std::function<bool(const QString&, int)> skip) { skip_ = std::move(skip); }

private:
    PageSourceFactory sources_;
    int threads_;
    std::atomic<bool> cancelled_{false};
    std::function<bool(const QString&, int)> skip_;
};

}  // namespace scrivane
