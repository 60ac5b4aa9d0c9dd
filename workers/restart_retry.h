// The second stage's own tries at opening a surface that is still coming
// back from its restart (see worker2.h): after a failed open the run pauses,
// then the worker's thread is started again for another run, until the open
// limit passes. Its state is guarded by the worker's mutex.
#ifndef VIREON_WORKERS_RESTART_RETRY_H
#define VIREON_WORKERS_RESTART_RETRY_H

#include <QWaitCondition>

#include <chrono>
#include <cstdint>

#include "open_retry.h"

namespace vireon::workers {

class RestartRetry : public OpenRetry {
public:
    RestartRetry(std::chrono::milliseconds openLimit, std::chrono::milliseconds pause)
        : openLimit(openLimit), pause(pause)
    {
    }

    void requested() override;
    bool aborted() override;
    void couldNotOpen(StageRun &run) override;
    bool limitSpent() const override { return spent; }

private:
    const std::chrono::milliseconds openLimit;
    const std::chrono::milliseconds pause;
    std::chrono::steady_clock::time_point openDeadline;
    uint64_t request = 0;        // counts requestWork calls from the owner
    bool restartPending = false; // a restart is queued to the thread's owner
    QWaitCondition abortRequested;
    bool spent = false; // the stage ended because openLimit passed without an open
};

} // namespace vireon::workers

#endif
