// The update run's waits and ends: its phase and stage line, the waits that
// keep events flowing, the progress bar's holds, the restart wait, and each
// way a run ends with its log outcome line. The stages themselves are in
// update_sequence.cpp.
#include "update_sequence.h"

#include "box_titles.h"
#include "bus_watch.h"
#include "debug_trace.h"
#include "failure_box.h"
#include "file_choice.h"
#include "update_offer.h"
#include "hidapi_lock.h"
#include "mainwindow.h"
#include "row_progress.h"
#include "run_outcome.h"
#include "stage_line.h"
#include "printable.h"
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
#include <QProgressBar>
#include <QThread>
#include <QTimer>

namespace vireon::app {

void UpdateSequence::setPhase(UpdatePhase next)
{
    if (next != phase_ && stageBox_)
        stageBox_->close();
    phase_ = next;
    r.offer.setRunning(next != UpdatePhase::Idle);
    if (next == UpdatePhase::Wait)
        waitingSince_.start();
    // The line names the new stage before anyone who follows the stage sees it.
    if (next == UpdatePhase::FirstStage)
        r.stageLine->beginImage(1, r.files.imagePath(1));
    else if (next == UpdatePhase::SecondStage)
        r.stageLine->beginImage(2, r.files.imagePath(2));
    else
        showStage();
    r.window.setProperty("updateStage", QString::fromLatin1(phaseName(next)));
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
        r.stageLine->showRows(workers::rowsProgrammed(1));
        break;
    case UpdatePhase::SecondStage:
        if (restartSecondsLeft_ >= 0) // image 2 is in; the surface restarts
            r.stageLine->showRestarting(restartSecondsLeft_);
        else
            r.stageLine->showRows(workers::rowsProgrammed(2));
        break;
    case UpdatePhase::Pause:
        // Two presence ticks a second count the pause down.
        r.stageLine->showRestarting((r.waitCount + 1) / 2);
        break;
    case UpdatePhase::Wait:
        r.stageLine->showWaiting(static_cast<int>(waitingSince_.elapsed() / 1000));
        break;
    default:
        break;
    }
}

void UpdateSequence::waitWhileBusy(const std::atomic<bool> &busy, const QString &firstPass, int ceiling)
{
    for (bool first = true; busy; first = false) {
        if (first) {
            r.window.writeToLog(firstPass);
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
    if (r.progressCount > ceiling - 1) {
        r.progressCount = ceiling;
        showProgress();
    }
}

void UpdateSequence::showProgress()
{
    r.progressBar->setValue(r.progressCount);
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
    r.updating = false;
    r.writingFirstImage = false;
    r.writingSecondImage = false;
    progressCeiling_ = 0;
    r.progressCount = 0;
    showProgress();
    r.progressBar->setEnabled(false);
    if (browsing) {
        r.browseFileLabel->setEnabled(true);
        // The presence check showed the faded dot during the run.
        r.browseFileLabel->setPixmap(r.browseUp);
    }
}

void UpdateSequence::endOfRun()
{
    stopProgressTimer();
    runReset();
    r.files.deleteTemporaryFiles();
    ++r.programAttempts;
    r.window.writeToLog(QStringLiteral("Number of program attempts: %1\n").arg(r.programAttempts));
    r.programAttempts = 0;
    r.window.writeToLog(QStringLiteral("Firmware Update Complete.\n"));
    writeOutcome();
    qCDebug(lcWindow) << "programAttempts at the end:" << r.programAttempts;
    setPhase(UpdatePhase::Idle);
}

void UpdateSequence::giveUpWaitingForSurface()
{
    stopProgressTimer();
    r.window.writeToLog(QStringLiteral("The surface did not come back within %1 s after the first stage. Update stopped.\n")
                     .arg(static_cast<double>(deviceReturnLimit.count()) / 1000.0));
    r.offer.setRunFailed();
    setPhase(UpdatePhase::Ending);
    announce(outcome::notBack());
    QMessageBox::warning(&r.window, kBoxTitle,
                         QStringLiteral("The Vireon Surface did not come back after its first update stage.\n"
                                        "Unplug it, plug it back in and run the update again."));
    if (r.connectedFlag == 0)
        r.files.clear();
    endOfRun();
}

void UpdateSequence::endClosedRun()
{
    r.window.writeToLog(QStringLiteral("Update stopped: the updater was closed.\n"));
    announce(outcome::closed(phase_ != UpdatePhase::Starting));
    writeOutcome();
    // The presence ticks that come before the program exits stop counting
    // the pause down.
    r.waitCount = 0;
    stopProgressTimer();
    runReset();
    r.files.deleteTemporaryFiles();
    r.programAttempts = 0;
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
    const qint64 allowance = vireon::core::restartAllowance().count();
    while (waited.elapsed() < allowance + deviceReturnLimit.count()) {
        waitForEvents();
        holdProgressAt(50);
        if (closeRequested_) {
            endClosedRun();
            return false;
        }
        if (r.connectedFlag == 0)
            left = true;
        else if (left || waited.elapsed() >= allowance)
            return true;
    }
    return true; // the try that follows tells what became of it
}

vireon::core::CauseAccount UpdateSequence::restartNote()
{
    using vireon::core::Return;
    hid_device *handle = r.worker2->takeHandle();
    const vireon::core::CauseAccount recorded = r.worker2->lastCause();
    std::optional<vireon::core::RestartWatch> watch;
    if (recorded.cause == vireon::core::Cause::NotRestarted) // the transport saw the exit command fail
        vireon::core::RestartWatch{{}, false, handle}.close();
    else
        watch = vireon::core::watchFirstSurface(handle);
    if (!watch) // none to watch: the surface has left the bus already
        return recorded;
    vireon::core::ReturnWatch looking(*watch, vireon::core::restartAllowance(), std::chrono::milliseconds(0));
    QTimer poll; // wakes the event loop for each look
    poll.start(vireon::core::kBusPollInterval);
    // The exit command restarts the surface into its new firmware: the
    // stage line says so while the watch goes on.
    QElapsedTimer watched;
    watched.start();
    const qint64 allowance = vireon::core::restartAllowance().count();
    Return::Kind seen;
    while ((seen = looking.look().kind) == Return::Waiting) {
        restartSecondsLeft_ = static_cast<int>(qMax<qint64>(0, allowance - watched.elapsed() + 999) / 1000);
        showStage();
        waitForEvents();
        holdProgressAt(95);
    }
    restartSecondsLeft_ = -1;
    if (seen != Return::StayedOn)
        return recorded;
    r.window.writeToLog(QStringLiteral("The surface stayed on the bus for %1 s after image 2.\n")
                            .arg(static_cast<double>(vireon::core::restartAllowance().count()) / 1000.0));
    return {vireon::core::Cause::NotRestarted, vireon::core::notRestartedText()};
}

void UpdateSequence::announce(const QString &outcome)
{
    outcome_ = outcome;
    r.stageLine->showResult(outcome);
}

void UpdateSequence::writeOutcome()
{
    r.window.writeToLog(outcome_ + QLatin1Char('\n'));
}

} // namespace vireon::app
