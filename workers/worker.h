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
    // The file the next runs program, in the file system's encoding (the
    // owner's open image, "/proc/self/fd/N"); empty: the temporary image by
    // its name in the current directory.
    void setImageFile(const QByteArray &path);
    // The last line the latest run logged: after a failure, its reason
    // ("The expected device does not match the detected device."). Empty
    // until that run logs one.
    QString lastResultText();
    // The latest run's account: why it failed, or a note on its success.
    vireon::core::CauseAccount lastCause();

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
    QByteArray imageFile; // under mutex
    vireon::core::CauseAccount cause; // under mutex
    // The first stage does not try again on its own: a failed open ends the run.
    vireon::workers::OpenRetry retry;
};

#endif
