// The run both programming workers share, written once.
//
// A worker lives on a QThread of its own. The owner wires it so that
// workRequested() starts the thread, the thread's started() runs doWork()
// and finished() quits the thread (directly, before its event loop starts);
// every requestWork() then gives one run on the worker's thread, which ends
// with that run. A run opens the surface by its USB ids, programs one
// temporary image file with the bootloader host, stores its outcome in
// errorFlag, logs every step to "log.txt" and emits finished().
//
// Worker and Worker2 keep their own flags, lock and signals; each binds them,
// with its stage's texts and handle, to a StageRun for every call.
#ifndef VIREON_WORKERS_STAGE_RUN_H
#define VIREON_WORKERS_STAGE_RUN_H

#include <QMutex>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <hidapi/hidapi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

#include "cybtldr_api2.h"
#include "failure_cause.h"
#include "surface_access.h"
#include "transfer_record.h"

class QObject;

// One handle per worker; each run's open sets its worker's handle, and that
// worker's transport record reads it.
extern hid_device *handle;  // first worker
extern hid_device *handle2; // second worker

namespace vireon::workers {

// errorFlag values.
constexpr int kProgrammed = 0;
constexpr int kNotOpened = 1;
constexpr int kActionFailed = 2;

// What tells the two stages apart: their texts, handle and transport.
struct Stage {
    int number;                 // 1 or 2, for the debug traces
    const char *imageName;      // appended to the current directory's path
    const char *tag;            // log tag, " Thread 1: "
    const char *noHandle;       // logged when the surface cannot be opened
    const char *complete;       // logged after a successful action, %1 the result
    const char *failed;         // logged after a failed action, %1 the result
    const char *printComplete;  // standard-output line after a successful action
    const char *printFailed;    // standard-output line after a failed action
    hid_device **handle;        // the stage's process-wide handle
    CyBtldr_CommunicationsData (*transport)(); // hidTransport<handle, record>
    core::TransferRecord *record; // what the transport saw during the run
    const char *otherImageName;   // the other stage's image, to tell its chip
};

// The second stage's own tries at opening a surface that is still restarting
// (see worker2.h); all under the worker's mutex.
struct RestartState {
    std::chrono::milliseconds openLimit;
    std::chrono::milliseconds pause;
    std::chrono::steady_clock::time_point openDeadline;
    uint64_t request = 0;        // counts requestWork calls from the owner
    bool restartPending = false; // a restart is queued to the thread's owner
    QWaitCondition abortRequested;
    bool limitSpent = false; // the stage ended because openLimit passed without an open
};

// A worker's members, bound for one call.
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
    RestartState *restart; // null: the stage does not try again on its own
};

// The lines logged after a failed open: "HID error: <hidapi's text>", and
// when the device node refused this user, the fix.
QStringList openFailureLines(const QString &hidError, bool permissionDenied);

class StageRun {
public:
    StageRun(const Stage &stage, StageMembers members) : stage(stage), m(std::move(members)) {}

    void requestWork();
    void abort();
    void writeLog(const QString &message, hid_device *device);
    void setImageFile(const QByteArray &path);
    void doWork();
    // The last line the latest run logged on the worker's thread: after a
    // failure, why it failed. Empty until a run requested by the owner
    // logs one.
    QString lastResultText();
    // The latest run's account of its action: its cause and the sentence
    // that tells it (a success may carry a note).
    core::CauseAccount lastCause();
    // The second stage gave up after its whole open limit.
    bool openLimitSpent();

private:
    void endRun();
    void couldNotOpen(const core::SurfaceOpen &open);
    void tryAgain();

    const Stage &stage;
    StageMembers m;
};

} // namespace vireon::workers

#endif
