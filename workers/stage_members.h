// A worker's members, bound by reference for one call into the shared run.
#ifndef VIREON_WORKERS_STAGE_MEMBERS_H
#define VIREON_WORKERS_STAGE_MEMBERS_H

#include <QByteArray>
#include <QMutex>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "open_retry.h"
#include "stage_runner.h"

class QObject;

namespace vireon::workers {

// What the owner tells a worker about its next runs.
struct StageSetup {
    QByteArray imageFile;   // what the runs program; empty: the stage's image by its name
    std::string devicePath; // the surface's node; empty: the first listed
    // A surface that has just come back may refuse opens until then.
    std::chrono::steady_clock::time_point openUntil{};
    uint32_t imageIds[2] = {0, 0}; // the chip each image is for; 0: read from the images
    // The surface restarted into its first chip after a failed try of image
    // 2: meeting that chip is expected, and no fault of this run.
    bool firstChipExpected = false;
};

struct StageMembers {
    QObject &worker;
    std::atomic<int> &errorFlag;
    std::atomic<bool> &busyFlag;
    bool &abortFlag;
    bool &workingFlag;
    QMutex &mutex;
    QString &lastResult;       // the last line the run logged on its thread; under mutex
    StageSetup &setup;         // under mutex
    core::StageResult &result; // the latest run's report and account; under mutex
    std::atomic<int> &rows;    // rows done in the latest run's action
    std::function<void()> emitWorkRequested;
    std::function<void()> emitFinished;
    OpenRetry &retry; // what follows a run that could not open the surface
};

} // namespace vireon::workers

#endif
