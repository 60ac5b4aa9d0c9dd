// The run both programming workers share, written once.
//
// A worker lives on a QThread of its own. The owner wires it so that
// workRequested() starts the thread, the thread's started() runs doWork()
// and finished() quits the thread (directly, before its event loop starts);
// every requestWork() then gives one run on the worker's thread, which ends
// with that run. A run programs one temporary image with the core's stage
// runner (which opens the surface and binds the HID transport to it), stores
// its outcome in errorFlag, logs every step to "log.txt" and emits
// finished().
//
// Worker and Worker2 keep their own flags, lock, signals and open retry;
// each binds them, with its stage's texts and handle, to a StageRun for
// every call.
#ifndef VIREON_WORKERS_STAGE_RUN_H
#define VIREON_WORKERS_STAGE_RUN_H

#include <QByteArray>
#include <QString>

#include <hidapi/hidapi.h>

#include "error_flag.h"
#include "stage_members.h"
#include "stage_texts.h"

namespace vireon::workers {

class StageRun {
public:
    StageRun(const StageTexts &stage, StageMembers members) : stage(stage), m(std::move(members)) {}

    void requestWork();
    void abort();
    void writeLog(const QString &message, hid_device *device);
    void setup(const StageSetup &setup);
    void setImageFile(const QByteArray &path);
    void doWork();
    // The last line the latest run logged on the worker's thread: after a
    // failure, why it failed. Empty until a run requested by the owner
    // logs one.
    QString lastResultText();
    // The latest run's report (for the update engine) and account.
    core::StageResult lastStage();
    // The stage gave up opening the surface (only a stage that tries again
    // on its own does).
    bool openLimitSpent();

    // For the open retry: the run's end (flags cleared, finished() emitted),
    // the worker's members and the stage's number.
    void endRun();
    StageMembers &members() { return m; }
    int stageNumber() const { return stage.number; }

private:
    void couldNotOpen(const engine::StageReport &report);
    void logOutcome(const core::StageResult &result, bool firstChipExpected);

    const StageTexts &stage;
    StageMembers m;
};

} // namespace vireon::workers

#endif
