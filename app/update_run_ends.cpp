// The update run's waits and ends: its phase and stage line, the waits that
// keep events flowing, the progress bar's holds, the restart wait, and each
// way a run ends with its log outcome line. The stages themselves are in
// update_sequence.cpp.
#include "update_sequence.h"

#include "box_titles.h"
#include "debug_trace.h"
#include "failure_box.h"
#include "file_choice.h"
#include "hidapi_lock.h"
#include "mainwindow.h"
#include "row_progress.h"
#include "stage_line.h"
#include "printable.h"
#include "ui_mainwindow.h"
#include "usb_ids.h"
#include "timing.h"
#include "worker.h"
#include "worker2.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

namespace vireon::app {

void UpdateSequence::setPhase(UpdatePhase next)
{
    if (next != phase_ && stageBox_)
        stageBox_->close();
    phase_ = next;
    w.offer.setRunning(next != UpdatePhase::Idle);
    if (next == UpdatePhase::Wait)
        waitingSince_.start();
    // The line names the new stage before anyone who follows the stage sees it.
    if (next == UpdatePhase::FirstStage)
        w.stageLine->beginImage(1, w.tempFile1.fileName());
    else if (next == UpdatePhase::SecondStage)
        w.stageLine->beginImage(2, w.tempFile2.fileName());
    else
        showStage();
    w.setProperty("updateStage", QString::fromLatin1(phaseName(next)));
}

void UpdateSequence::waitForEvents()
{
    // Asleep in the event loop: a tick, a repaint, a box, or a worker's
    // queued finished() wakes it.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    showStage();
}

void UpdateSequence::showStage()
{
    switch (phase_) {
    case UpdatePhase::FirstStage:
        w.stageLine->showRows(workers::rowsProgrammed(1));
        break;
    case UpdatePhase::SecondStage:
        w.stageLine->showRows(workers::rowsProgrammed(2));
        break;
    case UpdatePhase::Pause:
        // Two presence ticks a second count the pause down.
        w.stageLine->showRestarting((w.waitCount + 1) / 2);
        break;
    case UpdatePhase::Wait:
        w.stageLine->showWaiting(static_cast<int>(waitingSince_.elapsed() / 1000));
        break;
    default:
        break;
    }
}

void UpdateSequence::waitWhileBusy(const std::atomic<bool> &busy, const QString &firstPass, int ceiling)
{
    for (bool first = true; busy; first = false) {
        if (first) {
            w.writeToLog(firstPass);
            qCDebug(lcWindow) << "Waiting for the worker:" << firstPass.trimmed();
        }
        waitForEvents();
        holdProgressAt(ceiling);
    }
    showStage(); // the rows at the stage's end
}

void UpdateSequence::holdProgressAt(int ceiling)
{
    progressCeiling_ = ceiling;
    if (w.progressCount > ceiling - 1) {
        w.progressCount = ceiling;
        w.showProgress();
    }
}

void UpdateSequence::stopProgressTimer()
{
    if (progressTimer_ != nullptr)
        progressTimer_->stop();
}

void UpdateSequence::runReset(bool browsing)
{
    if (browsing) // the run ends here; a retry keeps the surface
        surfaceLock_.release();
    w.updating = false;
    w.writingFirstImage = false;
    w.writingSecondImage = false;
    progressCeiling_ = 0;
    w.progressCount = 0;
    w.showProgress();
    w.ui->progressBar->setEnabled(false);
    if (browsing) {
        w.ui->browseFileLabel->setEnabled(true);
        // The presence check showed the faded dot during the run.
        w.ui->browseFileLabel->setPixmap(w.browseUp);
    }
}

void UpdateSequence::endOfRun()
{
    surfaceLock_.release();
    w.updating = false;
    w.writingFirstImage = false;
    w.writingSecondImage = false;
    stopProgressTimer();
    progressCeiling_ = 0;
    w.progressCount = 0;
    w.showProgress();
    w.ui->progressBar->setEnabled(false);
    w.ui->browseFileLabel->setEnabled(true);
    w.ui->browseFileLabel->setPixmap(w.browseUp);
    w.deleteTemporaryFiles();
    ++w.programAttempts;
    w.writeToLog(QStringLiteral("Number of program attempts: %1\n").arg(w.programAttempts));
    w.programAttempts = 0;
    w.writeToLog(QStringLiteral("Firmware Update Complete.\n"));
    w.writeToLog(outcome_ + QLatin1Char('\n'));
    qCDebug(lcWindow) << "programAttempts at the end:" << w.programAttempts;
    setPhase(UpdatePhase::Idle);
}

void UpdateSequence::giveUpWaitingForSurface()
{
    stopProgressTimer();
    w.writeToLog(QStringLiteral("The surface did not come back within %1 s after the first stage. Update stopped.\n")
                     .arg(static_cast<double>(deviceReturnLimit.count()) / 1000.0));
    w.offer.setRunFailed();
    setPhase(UpdatePhase::Ending);
    w.stageLine->showResult(StageLine::tr("Update stopped: the surface did not come back."));
    outcome_ = QStringLiteral("Result: image 1 programmed; the surface did not come back for image 2; re-plug it "
                              "and run the update again.");
    QMessageBox::warning(&w, kBoxTitle,
                         QStringLiteral("The Vireon Surface did not come back after its first update stage.\n"
                                        "Unplug it, plug it back in and run the update again."));
    if (w.connectedFlag == 0)
        w.clearFileName();
    endOfRun();
}

void UpdateSequence::endClosedRun()
{
    w.writeToLog(QStringLiteral("Update stopped: the updater was closed.\n"));
    w.stageLine->showResult(StageLine::tr("Update stopped: the updater was closed."));
    w.writeToLog(phase_ == UpdatePhase::Starting
                     ? QStringLiteral("Result: stopped before image 1; nothing was written.\n")
                     : QStringLiteral("Result: stopped after image 1; the surface holds image 1 only; run the update "
                                      "again.\n"));
    // The presence ticks that come before the program exits stop counting
    // the pause down.
    w.waitCount = 0;
    stopProgressTimer();
    runReset();
    w.deleteTemporaryFiles();
    w.programAttempts = 0;
    setPhase(UpdatePhase::Idle);
}

bool UpdateSequence::waitForRestart()
{
    // The surface leaves the bus as it restarts and comes back; one that
    // restarts faster than a presence tick is taken as back after the
    // restart allowance.
    QElapsedTimer waited;
    waited.start();
    bool left = false;
    const qint64 allowance = vireon::core::kRestartAllowance.count();
    while (waited.elapsed() < allowance + deviceReturnLimit.count()) {
        waitForEvents();
        holdProgressAt(50);
        if (closeRequested_) {
            endClosedRun();
            return false;
        }
        if (w.connectedFlag == 0)
            left = true;
        else if (left || waited.elapsed() >= allowance)
            return true;
    }
    return true; // the try that follows tells what became of it
}

QString UpdateSequence::firstStageOutcome(const vireon::core::CauseAccount &cause)
{
    using vireon::core::Cause;
    switch (cause.cause) {
    case Cause::ApplicationCheck:
        return QStringLiteral("Result: failed in image 1; the file may be damaged or not for this surface.\n");
    case Cause::WrongChip:
        return QStringLiteral("Result: failed in image 1; nothing was written: the file is not for this surface.\n");
    case Cause::OtherChip:
        return QStringLiteral("Result: failed in image 1; the surface still runs its second chip's bootloader; "
                              "re-plug it and run the update again.\n");
    default:
        return QStringLiteral("Result: failed in image 1; the surface may hold part of image 1 and not image 2; "
                              "run the update again.\n");
    }
}

QString lowerFirst(const QString &text) { return text.isEmpty() ? text : text.left(1).toLower() + text.mid(1); }

} // namespace vireon::app
