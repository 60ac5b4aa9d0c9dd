// A worker's members, bound by reference for one call into the shared run.
#ifndef VIREON_WORKERS_STAGE_MEMBERS_H
#define VIREON_WORKERS_STAGE_MEMBERS_H

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <atomic>
#include <functional>

#include "failure_cause.h"
#include "open_retry.h"

class QObject;
typedef struct hid_device_ hid_device;

namespace vireon::workers {

struct StageMembers {
    QObject &worker;
    std::atomic<int> &errorFlag;
    std::atomic<bool> &busyFlag;
    bool &abortFlag;
    bool &workingFlag;
    QMutex &mutex;
    QString &lastResult; // the last line the run logged on its thread; under mutex
    QByteArray &imageFile; // what the run programs; empty: the stage's image by name; under mutex
    core::CauseAccount &cause; // the latest run's account; under mutex
    std::function<void()> emitWorkRequested;
    std::function<void()> emitFinished;
    OpenRetry &retry; // what follows a run that could not open the surface
    // Where a run that programmed its image leaves its handle open, for the
    // owner's watch of the surface's restart; null: every run closes it.
    // Under mutex.
    hid_device **keptHandle;
};

} // namespace vireon::workers

#endif
