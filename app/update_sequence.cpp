#include "update_sequence.h"

#include "box_titles.h"
#include "debug_trace.h"
#include "failure_box.h"
#include "file_choice.h"
#include "mainwindow.h"
#include "run_outcome.h"
#include "stage_line.h"
#include "timing.h"
#include "update_offer.h"
#include "worker.h"
#include "worker2.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

namespace vireon::app {

UpdateSequence::UpdateSequence(const RunParts &parts) : r(parts), engine_(windowPolicy())
{
    showPhase();
}

void UpdateSequence::run()
{
    QCoreApplication::processEvents();
    r.window.writeToLog(QStringLiteral("Beginning update process...\n"));
    qCDebug(lcWindow) << "programAttempts at the start:" << r.programAttempts;
    if (r.programAttempts == 0 && !startFreshRun())
        return;

    r.progressBar->setEnabled(true);
    r.browseFileLabel->setEnabled(false);
    r.updating = true;
    r.writingFirstImage = false;
    r.writingSecondImage = false;

    if (!firstStage() || !pauseAndWaitForSurface())
        return;

    if (secondStage() != 0) {
        stopProgressTimer();
        r.offer.setRunFailed();
        ending_ = true;
        showPhase();
        announce(outcome_);
        warnWithReason(&r.window, QStringLiteral("Firmware update 2 failed"), boxReason(outcome_));
        // Without the surface the file cannot be tried again as it is.
        if (r.connectedFlag == 0)
            r.files.clear();
        runReset();
        r.files.deleteTemporaryFiles();
        r.window.writeToLog(QStringLiteral("Firmware update 2 failed. errorFlag==2\n"));
    } else {
        // The surface restarts into its new firmware: one that missed its
        // exit command still runs its bootloader.
        watchFinalRestart();
        ending_ = true;
        showPhase();
        progressCeiling_ = 100;
        r.progressCount = 100;
        showProgress();
        r.window.writeToLog(QStringLiteral("Firmware update 2 success. errorFlag==0\n"));
        announce(outcome_);
        // Which file went in: names that differ only in their middle look
        // alike in the panel.
        const QString programmed =
            QStringLiteral("Programmed: %1").arg(QDir::toNativeSeparators(r.files.chosenPath()));
        const bool note = outcome_.cause == engine::Cause::NotRestarted;
        informWithNote(&r.window, QStringLiteral("Firmware update complete."),
                       note ? programmed + QLatin1Char('\n') + QString::fromStdString(engine::notRestartedText())
                            : programmed);
        // No file is chosen now: UPDATE is not offered, and fades as the run ends.
        r.files.clear();
    }
    endOfRun();
}

bool UpdateSequence::startFreshRun()
{
    closeRequested_ = false;
    ending_ = waiting_ = false;
    // Second-stage tries are counted per run: a row of surfaces updated in
    // one window each get their retries.
    r.secondFileAttempts = 0;
    // A failed run deleted the temporary images while the file stayed
    // chosen: the file is split (and checked) again. Images still there are
    // checked again, as anything may have changed them since.
    if (!QFileInfo::exists(r.files.imagePath(1)) || !QFileInfo::exists(r.files.imagePath(2))) {
        r.window.writeToLog(QStringLiteral("Temporary files missing. Splitting the chosen file again.\n"));
        r.files.split();
    } else {
        r.files.checkTemporaryImages();
    }
    engine_.policy().restartAllowance = core::restartAllowance();
    take(engine_.start(now(), r.files.runRequest()));
    inRun_ = true;
    if (next() == engine::Next::Finish) {
        // The choice told the user why the file was refused.
        r.window.writeToLog(QStringLiteral("The chosen file is not usable any more. Update not started.\n"));
        r.files.deleteTemporaryFiles();
        leaveRun();
        return false;
    }
    showPhase();
    r.stageLine->showResult(QString());
    seen(core::attachedSurfaces());
    waitWhileLooking(0);
    if (next() == engine::Next::Claim) {
        const engine::Surface &surface = step_.next.surface;
        const bool taken =
            surfaceLock_.claim(QString::fromStdString(surface.serial), QString::fromStdString(surface.path));
        take(engine_.claimed(now(), {taken, surfaceLock_.setupProblem(), surfaceLock_.problem().toStdString(),
                                     surfaceLock_.fix().toStdString()}));
    }
    if (next() == engine::Next::Finish) {
        outcome_ = step_.next.outcome;
        r.window.writeToLog(QStringLiteral("%1 Update not started.\n").arg(QString::fromStdString(outcome_.message)));
        QMessageBox::warning(&r.window, kBoxTitle, notStartedBox(outcome_));
        surfaceLock_.release();
        r.files.deleteTemporaryFiles();
        leaveRun();
        return false;
    }
    delete progressTimer_;
    progressTimer_ = new QTimer(&r.window);
    QObject::connect(progressTimer_, &QTimer::timeout, &r.window, &MainWindow::update1s);
    QMessageBox::information(&r.window, kBoxTitle,
                             QStringLiteral("Do not manually disconnect Vireon Surface from USB during update "
                                            "process.\nYou may hear a disconnect system sound. Please leave it "
                                            "physically connected.\nTotal process will take approximately 90 "
                                            "seconds.\n"));
    if (closeRequested_) {
        endClosedRun();
        return false;
    }
    progressTimer_->start(1000);
    return true;
}

template <class W> void UpdateSequence::startWorker(W *worker, QThread *thread, const engine::StageOrder &order)
{
    worker->abort();
    thread->wait();
    workers::StageSetup setup;
    setup.imageFile = r.files.temporaryImages().hostPath(order.image);
    setup.devicePath = order.surface.path;
    setup.openUntil = std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(order.openUntil));
    setup.imageIds[0] = r.files.runRequest().images[0].siliconId;
    setup.imageIds[1] = r.files.runRequest().images[1].siliconId;
    setup.firstChipExpected = order.firstChipExpected;
    worker->setup(setup);
    engine_.stageStarted();
    showPhase();
    worker->requestWork();
}

bool UpdateSequence::firstStage()
{
    progressCeiling_ = 50;
    startWorker(r.worker, r.thread, step_.next.stage);
    waitWhileBusy(r.worker->busyFlag, QStringLiteral("Programming first file...\n"), 50);

    const int errorFlag = r.worker->errorFlag;
    if (errorFlag != workers::kProgrammed || imageStillChecked(1))
        take(engine_.stageEnded(now(), r.worker->lastStage().report));
    if (errorFlag == workers::kNotOpened)
        r.window.writeToLog(QStringLiteral("errorFlag==1 \n"));
    if (next() == engine::Next::RunStage) {
        // The surface could not be opened: the whole sequence again.
        ++r.programAttempts;
        // The retry dispatches events before it disables browsing again:
        // a queued click must not split the files in the middle of a run.
        runReset(false);
        r.window.writeToLog(QStringLiteral("Could not open device. Trying again... \n"));
        run();
        stopProgressTimer();
        qCDebug(lcWindow) << "programAttempts at the end:" << r.programAttempts;
        return false;
    }
    if (next() == engine::Next::Look) {
        // Image 1 met the second chip: its exit command restarts the surface
        // into the first; once it is back, the whole sequence again.
        ++r.programAttempts;
        waitWhileLooking(50);
        if (next() == engine::Next::RunStage) {
            runReset(false);
            run();
            stopProgressTimer();
            return false;
        }
    }
    if (next() == engine::Next::Finish) {
        endInFirstStage(errorFlag);
        return false;
    }
    r.waitCount = core::kPauseTicks;
    r.window.writeToLog(QStringLiteral("Firmware Update 1 success. errorFlag==0\n"));
    r.worker->abort();
    return true;
}

bool UpdateSequence::pauseAndWaitForSurface()
{
    // The surface restarts after its first stage and leaves the bus for a
    // while: the presence check counts the pause down, one per tick.
    showPhase();
    progressCeiling_ = 85;
    qCDebug(lcWindow) << "Pausing for the restart";
    while (r.waitCount > 0) {
        if (closeRequested_) {
            endClosedRun();
            return false;
        }
        waitForEvents();
    }
    r.window.writeToLog(QStringLiteral("Q_OS_WIN\n"));
    r.window.writeToLog(QStringLiteral("ConnectedFlag: %1\n").arg(r.connectedFlag));
    r.connectedFlag = 0;
    take(engine_.pauseOver(now()));
    waiting_ = true;
    showPhase();

    // Wait until a presence check sees the surface again, and the engine
    // has seen it restart.
    int passes = 0;
    for (;;) {
        if (++passes == 1) {
            r.window.writeToLog(QStringLiteral("Waiting for SPI...\n"));
            qCDebug(lcWindow) << "Waiting for the surface to come back";
        }
        if (!r.updating) {
            waiting_ = false;
            r.window.writeToLog(QStringLiteral("not connected and not updating\n"));
            if (closeRequested_)
                endClosedRun();
            return false;
        }
        if (next() == engine::Next::Finish) {
            waiting_ = false;
            endBeforeSecondStage();
            return false;
        }
        waitForEvents();
        holdProgressAt(85);
        if (next() == engine::Next::RunStage && r.connectedFlag != 0)
            break;
    }
    // The user is being asked whether to stop: nothing is programmed until
    // they answer.
    while (closeQuestionOpen_ && !closeRequested_)
        waitForEvents();
    if (closeRequested_) {
        endClosedRun();
        return false;
    }
    waiting_ = false;
    r.window.writeToLog(QStringLiteral("ConnectedFlag: %1\n").arg(r.connectedFlag));
    r.window.writeToLog(QStringLiteral("Number of times through waiting while loop: %1\n").arg(passes));
    return true;
}

int UpdateSequence::secondStage()
{
    r.window.writeToLog(QStringLiteral("Number of Second File programming attempts at top of programfile2: %1\n")
                            .arg(r.secondFileAttempts));
    // Every try programs the image checked at UPDATE, and only while its
    // name still holds it.
    if (!imageStillChecked(2))
        return 1;
    startWorker(r.worker2, r.thread2, step_.next.stage);
    // The worker keeps its busy flag set while it retries an open on its
    // own, and clears it only when the stage is over.
    waitWhileBusy(r.worker2->busyFlag, QStringLiteral("Programming second file...\n"), 95);

    const int errorFlag = r.worker2->errorFlag;
    if (errorFlag != workers::kProgrammed || imageStillChecked(2))
        take(engine_.stageEnded(now(), r.worker2->lastStage().report));
    const QString atEnd = QStringLiteral("Number of Second File programming attempts at end of programfile2: %1\n");
    if (errorFlag == workers::kNotOpened) {
        r.window.writeToLog(QStringLiteral("worker2 errorFlag==1 \n"));
        r.window.writeToLog(QStringLiteral("Firmware update 2 failed. Could not open device. errorFlag==1\n"));
        outcome_ = step_.next.outcome;
        r.worker2->abort();
        r.thread2->wait();
        return 1;
    }
    if (next() == engine::Next::Finish && errorFlag == workers::kProgrammed && !step_.next.outcome.success()) {
        // The image changed under its name after it was programmed.
        outcome_ = step_.next.outcome;
        r.worker2->abort();
        return 1;
    }
    if (errorFlag == workers::kProgrammed) {
        r.worker2->abort();
        ++r.secondFileAttempts;
        r.window.writeToLog(atEnd.arg(r.secondFileAttempts));
        return 0;
    }
    // A failed try: the engine watches the surface restart before the next,
    // or ends the run.
    int result = 1;
    waitWhileLooking(95);
    if (next() == engine::Next::RunStage) {
        ++r.secondFileAttempts;
        result = secondStage();
    } else {
        outcome_ = step_.next.outcome;
    }
    r.window.writeToLog(atEnd.arg(r.secondFileAttempts));
    r.worker2->abort();
    return result;
}

void UpdateSequence::seen(const std::vector<core::SurfaceInfo> &surfaces)
{
    engine::Surfaces bus;
    for (const core::SurfaceInfo &surface : surfaces)
        bus.push_back({surface.path.toStdString(), surface.serial.toStdString(), surface.enumeration});
    // Told between runs too: a surface that has just appeared is given
    // time to settle.
    const engine::Step step = engine_.seen(now(), bus);
    if (engine_.running() || step.next.kind == engine::Next::Finish)
        take(step);
}

engine::CloseAnswer UpdateSequence::closeAnswer() const
{
    return ending_ ? engine::CloseAnswer::Close : engine_.closeAnswer();
}

bool UpdateSequence::imageStillChecked(int image)
{
    const core::FileProblem problem = r.files.temporaryImages().unchanged(image);
    if (problem.ok())
        return true;
    r.window.writeToLog(QStringLiteral("Firmware file check failed: %1\n").arg(problem.reason));
    take(engine_.imageChanged(now(), image, problem.reason.toStdString()));
    outcome_ = step_.next.outcome;
    return false;
}

} // namespace vireon::app
