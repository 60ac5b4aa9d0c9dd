// The second-stage programming worker: the first worker's twin for the
// second image, on its own thread, handle and transport record. When the
// surface cannot be opened (it may still be coming back from its restart)
// the worker tries again on its own:
//  - busyFlag stays set across a restart, so a waiting reader never sees
//    the attempt's errorFlag 1 as the stage's outcome;
//  - attempts are paced, kRestartPause apart at least, the pause spent on
//    the worker's thread (an abort cuts it short);
//  - every attempt is a run of its own on a freshly started thread, logs
//    "Work Requested.", "Work Started.", "Errorflag==1. No handle: " and
//    hidapi's reason, and emits finished(); the next one is started only once the previous
//    run's thread has ended;
//  - after openLimit without an open the stage ends with errorFlag 1,
//    busyFlag false and finished();
//  - abort() ends a pending restart, and an attempt running when abort()
//    arrives requests no other.
#ifndef VIREON_WORKERS_WORKER2_H
#define VIREON_WORKERS_WORKER2_H

#include <QMutex>
#include <QObject>
#include <QString>

#include <hidapi/hidapi.h>

#include <atomic>
#include <chrono>

#include "restart_retry.h"
#include "stage_run.h"

class Worker2 : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds kRestartPause{100};
    static constexpr std::chrono::milliseconds kOpenLimit{20000};

    explicit Worker2(QObject *parent = nullptr, std::chrono::milliseconds openLimit = kOpenLimit);

    // As in Worker.
    std::atomic<int> errorFlag{0};
    std::atomic<bool> busyFlag{false};

    void requestWork();
    void abort();
    void threadwritetolog(QString message, hid_device *device = nullptr);
    // As in Worker.
    void setup(const vireon::workers::StageSetup &setup);
    void setImageFile(const QByteArray &path);
    QString lastResultText();
    vireon::core::StageResult lastStage();
    int rowsDone() const { return rows; }
    // The stage ended because the surface could not be opened within the
    // whole open limit; cleared by requestWork.
    bool openLimitSpent();

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

    // The restart of a run that could not open the surface; under mutex.
    vireon::workers::RestartRetry restart;
};

#endif
