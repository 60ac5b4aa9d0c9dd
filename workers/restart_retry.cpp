#include "restart_retry.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QObject>
#include <QPointer>
#include <QThread>

#include "stage_run.h"
#include "workers_log.h"

namespace vireon::workers {

void RestartRetry::requested()
{
    spent = false;
    // A new request voids any restart still queued from the last one.
    restartPending = false;
    ++request;
    openDeadline = std::chrono::steady_clock::now() + openLimit;
}

bool RestartRetry::aborted()
{
    // A restart queued but not started yet is dropped: no run is going on
    // any more. A run pausing before its restart wakes up and ends.
    const bool dropped = restartPending;
    restartPending = false;
    abortRequested.wakeAll();
    return dropped;
}

void RestartRetry::couldNotOpen(StageRun &run)
{
    using Clock = std::chrono::steady_clock;
    StageMembers &m = run.members();
    enum { Stop, GiveUp, Restart } next;
    uint64_t requestNow = 0;
    {
        QMutexLocker lock(&m.mutex);
        if (m.abortFlag) {
            next = Stop;
        } else if (Clock::now() >= openDeadline) {
            next = GiveUp;
            spent = true;
        } else {
            // Pause on this thread; abort() wakes it.
            const Clock::time_point resume = Clock::now() + pause;
            for (Clock::time_point now = Clock::now(); !m.abortFlag && now < resume; now = Clock::now()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(resume - now);
                abortRequested.wait(&m.mutex, static_cast<unsigned long>(left.count()));
            }
            if (m.abortFlag) {
                next = Stop;
            } else {
                // busyFlag stays set: the stage is not over.
                m.workingFlag = true;
                restartPending = true;
                requestNow = request;
                next = Restart;
            }
        }
    }
    if (next == Stop) {
        run.endRun();
        return;
    }
    if (next == GiveUp) {
        const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(openLimit).count();
        run.writeLog(QStringLiteral("No handle within %1 s. Giving up.").arg(seconds), nullptr);
        run.endRun();
        return;
    }

    qCDebug(lcWorkers) << "Request worker" << run.stageNumber() << "restart in Thread" << QThread::currentThreadId();
    run.writeLog(QStringLiteral("Work Requested."), nullptr);
    // This run is over: its thread quits when the run returns.
    m.emitFinished();
    // The thread is started again from the thread its object lives on, once
    // it has ended (starting a thread that is still finishing does nothing).
    // The restart is dropped if the owner aborted or asked for a new run in
    // between. The restart state belongs to the worker: good while it lives.
    QThread *thread = QThread::currentThread();
    QPointer<QObject> self(&m.worker);
    QMutex *mutex = &m.mutex;
    QMetaObject::invokeMethod(
        thread,
        [self, thread, mutex, state = this, requestNow] {
            if (!self)
                return;
            {
                QMutexLocker lock(mutex);
                if (!state->restartPending || state->request != requestNow)
                    return;
                state->restartPending = false;
            }
            thread->wait();
            thread->start();
        },
        Qt::QueuedConnection);
}

} // namespace vireon::workers
