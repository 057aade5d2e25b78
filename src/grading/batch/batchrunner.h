// A batch on a thread of its own that hands each page on as a signal, so a
// window stays responsive and shows each sheet as it is read.
#pragma once

#include <QMetaType>
#include <QObject>
#include <memory>
#include <thread>

#include "grading/batch/batch.h"

Q_DECLARE_METATYPE(scrivane::BatchPage)

namespace scrivane {

class BatchRunner : public QObject {
    Q_OBJECT
public:
    explicit BatchRunner(PageSourceFactory sources, int threads = 2, QObject* parent = nullptr);
    // Cancels a batch still running and waits a moment for its threads; a
    // thread held up by a read that does not return (a file system that
    // hangs) is let go, never waited on: it ends on its own and hands on
    // nothing more. The sources must own what they read with.
    ~BatchRunner() override;

    // Once; the pages follow as PageRead, in order, then Finished.
    void Start(const QStringList& files);
    void Cancel();
    // Before Start: pages not to read (see GradingBatch::SkipPages).
    void SkipPages(std::function<bool(const QString&, int)> skip);

signals:
    void PageRead(const scrivane::BatchPage& page);
    // completed is false when cancelled.
    void Finished(bool completed);

private:
    // What the batch's thread uses, kept alive by it when the runner goes first.
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace scrivane
