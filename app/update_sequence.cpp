#include "update_sequence.h"

#include "box_titles.h"
#include "debug_trace.h"
#include "failure_box.h"
#include "file_choice.h"
#include "update_offer.h"
#include "surface_access.h"
#include "mainwindow.h"
#include "row_progress.h"
#include "run_outcome.h"
#include "stage_line.h"
#include "timing.h"
#include "worker.h"
#include "worker2.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

namespace vireon::app {

UpdateSequence::UpdateSequence(const RunParts &parts)
    : deviceReturnLimit(MainWindow::kDeviceReturnLimit), r(parts)
{
    setPhase(UpdatePhase::Idle);
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

    setPhase(UpdatePhase::SecondStage);
    if (secondStage() != 0) {
        stopProgressTimer();
        r.offer.setRunFailed();
        setPhase(UpdatePhase::Ending);
        announce(outcome::secondImageFailed());
        warnWithReason(&r.window, QStringLiteral("Firmware update 2 failed"),
                       !imageProblem_.isEmpty()        ? imageProblem_
                       : !secondStageReason_.isEmpty() ? secondStageReason_
                                                       : r.worker2->lastResultText());
        // Without the surface the file cannot be tried again as it is.
        if (r.connectedFlag == 0)
            r.files.clear();
        runReset();
        r.files.deleteTemporaryFiles();
        r.window.writeToLog(QStringLiteral("Firmware update 2 failed. errorFlag==2\n"));
    } else {
        // A surface that missed its exit command still runs its bootloader.
        const vireon::core::CauseAccount note = restartNote();
        setPhase(UpdatePhase::Ending);
        progressCeiling_ = 100;
        r.progressCount = 100;
        showProgress();
        r.window.writeToLog(QStringLiteral("Firmware update 2 success. errorFlag==0\n"));
        announce(outcome::bothProgrammed(note));
        // Which file went in: names that differ only in their middle look
        // alike in the panel.
        const QString file = r.files.chosenPath();
        const QString programmed = QStringLiteral("Programmed: %1").arg(QDir::toNativeSeparators(file));
        informWithNote(&r.window, QStringLiteral("Firmware update complete."),
                       note.reason.isEmpty() ? programmed : programmed + QLatin1Char('\n') + note.reason);
        // No file is chosen now: UPDATE is not offered, and fades as the run ends.
        r.files.clear();
    }
    endOfRun();
}

bool UpdateSequence::startFreshRun()
{
    closeRequested_ = false;
    imageProblem_.clear();
    secondStageReason_.clear();
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
    if (!r.files.chosen()) {
        r.window.writeToLog(QStringLiteral("The chosen file is not usable any more. Update not started.\n"));
        r.files.deleteTemporaryFiles();
        return false;
    }
    if (!claimSurface())
        return false;
    setPhase(UpdatePhase::Starting);
    r.stageLine->showResult(QString());
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

bool UpdateSequence::firstStage()
{
    setPhase(UpdatePhase::FirstStage);
    progressCeiling_ = 50;
    r.worker->abort();
    r.thread->wait();
    r.worker->setImageFile(r.files.temporaryImages().hostPath(1));
    r.worker->requestWork();
    waitWhileBusy(r.worker->busyFlag, QStringLiteral("Programming first file...\n"), 50);

    int firstResult = r.worker->errorFlag;
    if (firstResult == vireon::workers::kProgrammed && !imageStillChecked(1))
        firstResult = vireon::workers::kActionFailed;
    if (firstResult == vireon::workers::kNotOpened) {
        r.window.writeToLog(QStringLiteral("errorFlag==1 \n"));
        if (r.programAttempts <= vireon::core::kLastRetry) {
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
        qCDebug(lcWindow) << "The first stage gives up after" << r.programAttempts << "retries";
        stopProgressTimer();
        r.offer.setRunFailed();
        setPhase(UpdatePhase::Ending);
        announce(outcome::notOpened());
        warnWithReason(&r.window, QStringLiteral("Could not open device. Check permissions.\nPlease try again.\n"),
                       r.worker->lastResultText());
        runReset();
        r.files.deleteTemporaryFiles();
        r.window.writeToLog(QStringLiteral("Could not open device. Tried %1 times. Check Permissions. errorFlag==1.\n")
                         .arg(r.programAttempts));
        writeOutcome();
        r.programAttempts = 0;
        r.worker->abort();
        setPhase(UpdatePhase::Idle);
        return false;
    }
    const vireon::core::CauseAccount cause = r.worker->lastCause();
    if (firstResult != vireon::workers::kProgrammed && cause.cause == vireon::core::Cause::OtherChip &&
        r.programAttempts <= vireon::core::kLastRetry) {
        // An update stopped between its images left the surface in its
        // second chip's bootloader; the exit command that ended this try
        // hands the bus to the first chip. Once it is back, try again.
        r.window.writeToLog(QStringLiteral("%1 Waiting for it to restart and trying again.\n").arg(cause.reason));
        ++r.programAttempts;
        if (!waitForRestart())
            return false;
        runReset(false);
        run();
        stopProgressTimer();
        return false;
    }
    if (firstResult != vireon::workers::kProgrammed) {
        stopProgressTimer();
        r.window.writeToLog(QStringLiteral("Firmware Update 1 Failed. errorFlag==2\n"));
        r.offer.setRunFailed();
        setPhase(UpdatePhase::Ending);
        announce(outcome::firstImageFailed(cause));
        warnWithReason(&r.window, QStringLiteral("Firmware update 1 failed.\nPlease restart the application and try again."),
                       imageProblem_.isEmpty() ? r.worker->lastResultText() : imageProblem_);
        runReset();
        r.files.deleteTemporaryFiles();
        writeOutcome();
        r.programAttempts = 0;
        setPhase(UpdatePhase::Idle);
        return false;
    }
    r.waitCount = vireon::core::kPauseTicks;
    r.window.writeToLog(QStringLiteral("Firmware Update 1 success. errorFlag==0\n"));
    r.worker->abort();
    return true;
}

bool UpdateSequence::pauseAndWaitForSurface()
{
    // The surface restarts after its first stage and leaves the bus for a
    // while: the presence check counts the pause down, one per tick.
    setPhase(UpdatePhase::Pause);
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

    // Wait until a presence check sees the surface again.
    setPhase(UpdatePhase::Wait);
    QElapsedTimer waited;
    waited.start();
    int passes = 0;
    for (;;) {
        if (++passes == 1) {
            r.window.writeToLog(QStringLiteral("Waiting for SPI...\n"));
            qCDebug(lcWindow) << "Waiting for the surface to come back";
        }
        if (!r.updating) {
            r.window.writeToLog(QStringLiteral("not connected and not updating\n"));
            if (closeRequested_)
                endClosedRun();
            return false;
        }
        waitForEvents();
        holdProgressAt(85);
        if (r.connectedFlag != 0)
            break;
        if (waited.elapsed() >= deviceReturnLimit.count()) {
            giveUpWaitingForSurface();
            return false;
        }
    }
    // The user is being asked whether to stop: nothing is programmed until
    // they answer.
    while (closeQuestionOpen_ && !closeRequested_)
        waitForEvents();
    if (closeRequested_) {
        endClosedRun();
        return false;
    }
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
    r.worker2->abort();
    r.thread2->wait();
    r.worker2->setImageFile(r.files.temporaryImages().hostPath(2));
    r.worker2->requestWork();
    // The worker keeps its busy flag set while it retries an open on its
    // own, and clears it only when the stage is over.
    waitWhileBusy(r.worker2->busyFlag, QStringLiteral("Programming second file...\n"), 95);

    const QString atEnd = QStringLiteral("Number of Second File programming attempts at end of programfile2: %1\n");
    if (r.worker2->errorFlag == vireon::workers::kActionFailed) {
        // A failed try sends the exit command, which hands the bus to the
        // first chip: a retry that meets it only echoes that. The reason
        // that stopped the run is the one before the echo.
        const vireon::core::CauseAccount cause = r.worker2->lastCause();
        if (cause.cause != vireon::core::Cause::StillFirstChip || secondStageReason_.isEmpty())
            secondStageReason_ = r.worker2->lastResultText();
    }
    switch (r.worker2->errorFlag) {
    case vireon::workers::kProgrammed:
        r.worker2->abort();
        if (!imageStillChecked(2))
            return 1;
        ++r.secondFileAttempts;
        r.window.writeToLog(atEnd.arg(r.secondFileAttempts));
        return 0;
    case vireon::workers::kActionFailed: {
        int result = 1;
        if (r.secondFileAttempts <= vireon::core::kLastRetry) {
            ++r.secondFileAttempts;
            result = secondStage();
        }
        r.window.writeToLog(atEnd.arg(r.secondFileAttempts));
        r.worker2->abort();
        return result;
    }
    default:
        r.window.writeToLog(QStringLiteral("worker2 errorFlag==1 \n"));
        // The worker already tried for its whole open limit: trying again
        // would only multiply the wait.
        secondStageReason_ = r.worker2->lastResultText();
        if (!r.worker2->openLimitSpent() && r.secondFileAttempts <= vireon::core::kLastRetry) {
            ++r.secondFileAttempts;
            return secondStage();
        }
        r.window.writeToLog(QStringLiteral("Firmware update 2 failed. Could not open device. errorFlag==1\n"));
        r.worker2->abort();
        r.thread2->wait();
        return 1;
    }
}

bool UpdateSequence::claimSurface()
{
    // The first stage opens the first surface listed with the USB ids.
    const std::vector<core::SurfaceInfo> attached = core::attachedSurfaces();
    if (attached.empty() || surfaceLock_.claim(attached.front().serial, attached.front().path))
        return true; // without a surface the first stage says so
    r.window.writeToLog(QStringLiteral("%1 Update not started.\n").arg(surfaceLock_.problem()));
    QMessageBox::warning(&r.window, kBoxTitle,
                         QStringLiteral("%1\nOnly one updater can update a surface at a time. Wait until that update "
                                        "has finished, then press UPDATE again.")
                             .arg(surfaceLock_.problem()));
    surfaceLock_.release();
    return false;
}

bool UpdateSequence::imageStillChecked(int image)
{
    const core::FileProblem problem = r.files.temporaryImages().unchanged(image);
    if (problem.ok())
        return true;
    imageProblem_ = problem.reason;
    r.window.writeToLog(QStringLiteral("Firmware file check failed: %1\n").arg(problem.reason));
    return false;
}

} // namespace vireon::app
