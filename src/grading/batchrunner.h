// A batch on a thread of its own that hands each page on as a signal, so a
// window stays responsive and shows each sheet as it is read.
#pragma once

#include <QMetaType>
#include <QObject>
#include <thread>

#include "grading/batch.h"

Q_DECLARE_METATYPE(scrivane::BatchPage)

namespace scrivane {

class BatchRunner : public QObject {
    Q_OBJECT
public:
    explicit BatchRunner(PageSourceFactory sources, int threads = 2, QObject* parent = nullptr);
    // Cancels a batch still running and waits for its threads.
    ~BatchRunner() override;

    // Once; the pages follow as pageRead, in order, then finished.
    void Start(const QStringList& files);
    void Cancel();

signals:
    void pageRead(const scrivane::BatchPage& page);
    // completed is false when cancelled.
    void finished(bool completed);

private:
    GradingBatch batch_;
    std::thread thread_;
};

}  // namespace scrivane
