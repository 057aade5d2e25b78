#include "grading/batchrunner.h"

namespace scrivane {

BatchRunner::BatchRunner(PageSourceFactory sources, int threads, QObject* parent)
    : QObject(parent), batch_(std::move(sources), threads) {
    qRegisterMetaType<BatchPage>();
}

BatchRunner::~BatchRunner() {
    batch_.Cancel();
    if (thread_.joinable()) thread_.join();
}

void BatchRunner::Start(const QStringList& files) {
    if (thread_.joinable()) return;
    // Emitted from the batch's thread: a receiver in another thread gets them queued.
    thread_ = std::thread([this, files] {
        const bool completed = batch_.Run(files, [this](BatchPage& page) { emit pageRead(page); });
        emit finished(completed);
    });
}

void BatchRunner::Cancel() {
    batch_.Cancel();
}

}  // namespace scrivane
