// The first-stage programming worker, and the run both workers share.
//
// A worker lives on a QThread of its own. The owner wires it so that
// workRequested() starts the thread, the thread's started() runs doWork()
// and finished() quits the thread (directly, before its event loop starts);
// every requestWork() then gives one run on the worker's thread, which ends
// with that run. A run opens the surface by its USB ids, programs one
// temporary image file with the bootloader host, stores its outcome in
// errorFlag, logs every step to "log.txt" and emits finished().
//
// errorFlag and busyFlag are atomics so that the window can read them from
// the GUI thread while the run writes them: they read like the int and bool
// they stand for (`if (worker->busyFlag)`, `worker->errorFlag == 2`). A run
// stores errorFlag before it clears busyFlag, so a reader that sees busyFlag
// false reads that run's outcome. The other flags are guarded by `mutex`.
#ifndef VIREON_WORKERS_WORKER_H
#define VIREON_WORKERS_WORKER_H

#include <QMutex>
#include <QObject>
#include <QString>

#include <hidapi/hidapi.h>

#include <atomic>

#include "cybtldr_api2.h"

namespace vireon::workers {

// errorFlag values.
constexpr int kProgrammed = 0;
constexpr int kNotOpened = 1;
constexpr int kActionFailed = 2;

// The surface's USB ids.
constexpr unsigned short kVendorId = 0x1502;
constexpr unsigned short kProductId = 0x0101;

// Everything that tells the two stages apart.
struct Stage {
    int number;                 // 1 or 2, for the debug traces
    const char *imageName;      // appended to the current directory's path
    const char *tag;            // log tag, " Thread 1: "
    const char *handleTag;      // log tag of a device line, " Thread 1: Handle: "
    const char *noHandle;       // logged when the surface cannot be opened
    const char *complete;       // logged after a successful action, %1 the result
    const char *failed;         // logged after a failed action, %1 the result
    const char *printComplete;  // standard-output line after a successful action
    const char *printFailed;    // standard-output line after a failed action
    hid_device **handle;        // the stage's process-wide handle
    CyBtldr_CommunicationsData (*transport)(); // the stage's transport record
    CyBtldr_ProgressUpdate *progress;          // the stage's progress callback
};

// The log line the worker writes after a failed action with this result, or
// null when the result has none (transport failures, device statuses).
const char *resultMessage(int result);

// The run shared by Worker and Worker2 (defined in worker.cpp for both).
template <class W> struct StageRun {
    static void requestWork(W &worker, const Stage &stage);
    static void abort(W &worker, const Stage &stage);
    static void writeLog(W &worker, const Stage &stage, const QString &message, hid_device *device);
    static void doWork(W &worker, const Stage &stage);

private:
    static void endRun(W &worker);
    static void couldNotOpen(W &worker, const Stage &stage);
};

} // namespace vireon::workers

class Worker : public QObject
{
    Q_OBJECT

public:
    explicit Worker(QObject *parent = nullptr);

    // Outcome of the last run: 0 programmed, 1 not opened, 2 action failed.
    // requestWork leaves it alone until the run stores its own.
    std::atomic<int> errorFlag{0};
    // Set from requestWork until the run ends or abort clears it.
    std::atomic<bool> busyFlag{false};

    // Arms the flags, logs "Work Requested." and emits workRequested().
    // Called on the thread the worker's QThread object lives on.
    void requestWork();
    // Clears busyFlag and marks a requested or running run as aborted (a run
    // that has passed its start check goes on to its end); logs "Abort.".
    void abort();
    // One log line: with a device, its pointer instead of the message.
    void threadwritetolog(QString message, hid_device *device = nullptr);

signals:
    void workRequested();
    void finished();

public slots:
    void doWork();

private:
    template <class> friend struct vireon::workers::StageRun;

    bool abortFlag = false;
    bool workingFlag = false;
    QMutex mutex;
};

#endif
