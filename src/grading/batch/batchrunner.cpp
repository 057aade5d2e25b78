#include "grading/batch/batchrunner.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace scrivane {

namespace {

// How long a closing window waits for a cancelled batch to end: its workers
// notice a cancel between pages, so only a read that hangs takes longer.
constexpr std::chrono::milliseconds kEndWait{500};

}  // namespace

struct BatchRunner::Shared {
    explicit Shared(PageSourceFactory sources, int threads) : batch(std::move(sources), threads) {}
    GradingBatch batch;
    std::mutex mutex;
    std::condition_variable ended;
    BatchRunner* owner = nullptr;  // null once the runner is gone
    bool done = false;
};

BatchRunner::BatchRunner(PageSourceFactory sources, int threads, QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>(std::move(sources), threads)) {
    qRegisterMetaType<BatchPage>();
    shared_->owner = this;
}

BatchRunner::~BatchRunner() {
    shared_->batch.Cancel();
    if (!thread_.joinable()) return;
    std::unique_lock lock(shared_->mutex);
    shared_->owner = nullptr;
    if (shared_->ended.wait_for(lock, kEndWait, [this] { return shared_->done; })) {
        lock.unlock();
        thread_.join();
    } else {
        thread_.detach();
    }
}

void BatchRunner::Start(const QStringList& files) {
    if (thread_.joinable()) return;
    // Emitted from the batch's thread: a receiver in another thread gets them
    // queued. The thread holds the shared state, never the runner itself.
    thread_ = std::thread([shared = shared_, files] {
        const bool completed = shared->batch.Run(files, [&shared](BatchPage& page) {
            const std::lock_guard lock(shared->mutex);
            if (shared->owner) emit shared->owner->PageRead(page);
        });
        const std::lock_guard lock(shared->mutex);
        if (shared->owner) emit shared->owner->Finished(completed);
        shared->done = true;
        shared->ended.notify_all();
    });
}

void BatchRunner::Cancel() {
    shared_->batch.Cancel();
}

void BatchRunner::SkipPages(std::function<bool(const QString&, int)> skip) {
    shared_->batch.SkipPages(std::move(skip));
}

}  // namespace scrivane
