#include "grading/batch/batch.h"

#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace scrivane {

namespace {

constexpr std::chrono::milliseconds kLook{50};

struct Job {
    QString file;
    int page = 1;
    QString error;  // the file could not be opened
    int filePages = 0;
};

// Which page of the pile a read page is.
void Place(BatchPage& page, const std::vector<Job>& jobs, std::size_t index) {
    const Job& job = jobs[index];
    page.file = job.file;
    page.page = job.page;
    page.index = int(index);
    page.total = int(jobs.size());
    page.filePages = job.filePages;
}

PageRead UnreadablePage(const QString& why) {
    PageRead read;
    read.status = PageRead::Status::Unreadable;
    read.reasons << why;
    return read;
}

// A page that throws (out of memory on a huge image, say) is one bad page.
PageRead ReadJob(PageSource& source, const Job& job,
                 const std::optional<SheetCode>& printedWith = std::nullopt) {
    if (!job.error.isEmpty()) return UnreadablePage(job.error);
    try {
        return source.Read(job.file, job.page, printedWith);
    } catch (const std::bad_alloc&) {
        return UnreadablePage(QStringLiteral("the page is too large to read"));
    } catch (const std::exception& error) {
        return UnreadablePage(QStringLiteral("the page could not be read: %1")
                                  .arg(QString::fromLocal8Bit(error.what())));
    }
}

// What names the same file whatever path leads to it.
QString SameFileKey(const QString& file) {
    const QFileInfo info(file);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

}  // namespace

GradingBatch::GradingBatch(PageSourceFactory sources, int threads)
    : sources_(std::move(sources)), threads_(std::max(1, threads)) {}

void GradingBatch::Cancel() {
    cancelled_ = true;
}

bool GradingBatch::Run(const QStringList& files, const std::function<void(BatchPage&)>& onPage) {
    std::vector<Job> jobs;
    {
        const std::unique_ptr<PageSource> counter = sources_();
        std::set<QString> seen;
        for (const QString& file : files) {
            if (cancelled_) return false;
            // A file given twice (by two names, or a link and its target) is
            // one pile: read again, every page would be its own duplicate.
            if (!seen.insert(SameFileKey(file)).second) continue;
            QString error;
            const int pages = counter->PageCount(file, &error);
            if (pages <= 0)
                jobs.push_back(
                    {file, 1, error.isEmpty() ? QStringLiteral("the file has no pages") : error});
            for (int page = 1; page <= pages; ++page)
                if (!skip_ || !skip_(file, page)) jobs.push_back({file, page, {}, pages});
        }
    }

    // Workers read at most this many pages ahead of the one handed on next,
    // so that the pages in memory stay few however long the scan.
    const std::size_t ahead = std::size_t(2 * threads_);
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0, handedOn = 0;
    std::map<std::size_t, PageRead> done;
    bool stop = false;

    const auto work = [&] {
        const std::unique_ptr<PageSource> source = sources_();
        for (;;) {
            std::size_t index;
            {
                std::unique_lock lock(mutex);
                // Cancel() does not wake the waits: they look at it now and then.
                while (!(stop || cancelled_ || next >= jobs.size() || next < handedOn + ahead))
                    changed.wait_for(lock, kLook);
                if (stop || cancelled_ || next >= jobs.size()) return;
                index = next++;
            }
            PageRead read = ReadJob(*source, jobs[index]);
            std::lock_guard lock(mutex);
            done.emplace(index, std::move(read));
            changed.notify_all();
        }
    };
    std::vector<std::thread> workers;
    const std::size_t threads = std::min<std::size_t>(std::size_t(threads_), jobs.size());
    for (std::size_t i = 0; i < threads; ++i) workers.emplace_back(work);

    // The print settings of the sheets read, and the sheets that wait for them.
    std::optional<SheetCode> printedWith;
    bool settingsAgree = true;
    std::vector<std::pair<std::size_t, PageRead>> waiting;
    for (; handedOn < jobs.size() && !cancelled_;) {
        BatchPage page;
        {
            std::unique_lock lock(mutex);
            while (!cancelled_ && done.count(handedOn) == 0) changed.wait_for(lock, kLook);
            if (cancelled_) break;
            const auto found = done.find(handedOn);
            page.read = std::move(found->second);
            done.erase(found);
        }
        Place(page, jobs, handedOn);
        {
            std::lock_guard lock(mutex);
            ++handedOn;
            changed.notify_all();
        }
        if (page.read.codeMissing) {
            // Few pages: kept until every code has been seen.
            waiting.emplace_back(std::size_t(page.index), std::move(page.read));
            continue;
        }
        if (const std::optional<SheetCode>& code = page.read.code;
            code && page.read.status == PageRead::Status::Read) {
            SheetCode settings = *code;
            settings.version.clear();
            settings.sheetPage = 1;
            if (!printedWith)
                printedWith = settings;
            else if (settings.Encode() != printedWith->Encode())
                settingsAgree = false;
        }
        onPage(page);
    }
    {
        std::lock_guard lock(mutex);
        stop = true;
        changed.notify_all();
    }
    for (std::thread& worker : workers) worker.join();
    if (!waiting.empty() && !cancelled_) {
        const std::unique_ptr<PageSource> source =
            printedWith && settingsAgree ? sources_() : nullptr;
        for (auto& [index, read] : waiting) {
            if (cancelled_) break;
            BatchPage page;
            Place(page, jobs, index);
            page.read = source ? ReadJob(*source, jobs[index], printedWith) : std::move(read);
            onPage(page);
        }
    }
    return !cancelled_;
}

}  // namespace scrivane
