// The first-stage programming worker (the run itself is in stage_run.h).
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

#include "stage_run.h"

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
    // What the next runs program and where (set by the owner before
    // requestWork): the image in the file system's encoding (the owner's
    // sealed copy, "/proc/self/fd/N"; empty: the temporary image by its name
    // in the current directory), the surface's node, how long it may settle.
    void setup(const vireon::workers::StageSetup &setup);
    void setImageFile(const QByteArray &path);
    // The last line the latest run logged: after a failure, its reason
    // ("The expected device does not match the detected device."). Empty
    // until that run logs one.
    QString lastResultText();
    // The latest run's report, for the update engine, and its account: why
    // it failed, or a note on its success.
    vireon::core::StageResult lastStage();
    // Rows the latest run's action has done so far (from any thread).
    int rowsDone() const { return rows; }

signals:
    void workRequested();
    void finished();

public slots:
    void doWork();

private:
    vireon::workers::StageRun run();

    bool abortFlag = false;
    bool workingFlag = false;
    QMutex mutex;
    QString lastResult; // under mutex
    vireon::workers::StageSetup stageSetup; // under mutex
    vireon::core::StageResult result; // under mutex
    std::atomic<int> rows{0};
    // The first stage does not try again on its own: a failed open ends the run.
    vireon::workers::OpenRetry retry;
};

#endif
