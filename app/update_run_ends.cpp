// The update run's waits and ends: what the engine said and the window's
// phase, the waits that keep events flowing, the progress bar's holds, the
// watch of the final restart, and each way a run ends with its box and log
// lines. The stages themselves are in update_sequence.cpp.
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
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

namespace vireon::app {

engine::Millis UpdateSequence::now() const
{
    return std::chrono::duration_cast<engine::Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void UpdateSequence::take(engine::Step step)
{
    for (const engine::Note &note : step.notes)
        if (loggedByWindow(note))
            r.window.writeToLog(QString::fromStdString(note.text) + QLatin1Char('\n'));
    step_ = std::move(step);
}

engine::Phase UpdateSequence::phase() const
{
    if (ending_)
        return engine::Phase::Ending;
    if (!inRun_)
        return engine::Phase::Idle;
    // Once the engine has decided the end, the run stays where it was until
    // the window begins to show that end.
    if (!engine_.running())
        return shownPhase_;
    return waiting_ ? engine::Phase::Wait : engine_.phase();
}

void UpdateSequence::leaveRun()
{
    ending_ = false;
    inRun_ = false;
    waiting_ = false;
    showPhase();
}

void UpdateSequence::showPhase()
{
    const engine::Phase next = phase();
    if (next != shownPhase_ && stageBox_)
        stageBox_->close();
    shownPhase_ = next;
    r.offer.setRunning(next != engine::Phase::Idle);
    showStage();
    r.window.setProperty("updateStage", QString::fromLatin1(engine::phaseName(next)));
}

void UpdateSequence::waitForEvents()
{
    // Asleep in the event loop: a tick, a repaint, a box, or a worker's
    // queued finished() wakes it.
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    showStage();
}

void UpdateSequence::waitWhileLooking(int ceiling)
{
    // Between the presence ticks the bus is looked at more often, so that a
    // short absence is not missed and a run goes on as soon as it may.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [this] { seen(core::attachedSurfaces()); });
    poll.start(core::kBusPollInterval);
    while (next() == engine::Next::Look) {
        if (shownPhase_ != phase())
            showPhase();
        waitForEvents();
        if (ceiling > 0)
            holdProgressAt(ceiling);
    }
    showPhase();
}

void UpdateSequence::showStage()
{
    int rows = 0;
    const engine::Phase now = phase();
    if (now == engine::Phase::FirstStage)
        rows = r.worker->rowsDone();
    else if (now == engine::Phase::SecondStage)
        rows = r.worker2->rowsDone();
    else if (now == engine::Phase::Pause)
        // Two presence ticks a second count the pause down.
        engine_.pausing(engine::Millis(r.waitCount * core::kPresenceInterval.count()));
    const engine::StageLine line = engine_.line(this->now(), rows);
    if (line.kind != engine::StageLine::Kind::Idle && line.kind != engine::StageLine::Kind::Result)
        r.stageLine->showLine(QString::fromStdString(line.text));
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

void UpdateSequence::showProgress() { r.progressBar->setValue(r.progressCount); }

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
    leaveRun();
}

void UpdateSequence::endWithBox(const QString &text)
{
    stopProgressTimer();
    r.offer.setRunFailed();
    ending_ = true;
    showPhase();
    announce(outcome_);
    warnWithReason(&r.window, text, boxReason(outcome_));
}

void UpdateSequence::endInFirstStage(int errorFlag)
{
    outcome_ = step_.next.outcome;
    if (outcome_.ending == engine::Ending::Stopped) {
        endClosedRun();
        return;
    }
    if (outcome_.ending == engine::Ending::NotOpened) {
        qCDebug(lcWindow) << "The first stage gives up after" << r.programAttempts << "retries";
        endWithBox(QStringLiteral("Could not open device. Check permissions.\nPlease try again.\n"));
        runReset();
        r.files.deleteTemporaryFiles();
        r.window.writeToLog(QStringLiteral("Could not open device. Tried %1 times. Check Permissions. errorFlag==1.\n")
                                .arg(r.programAttempts));
        writeOutcome();
        r.programAttempts = 0;
        r.worker->abort();
    } else {
        if (errorFlag == workers::kActionFailed)
            r.window.writeToLog(QStringLiteral("Firmware Update 1 Failed. errorFlag==2\n"));
        else
            r.window.writeToLog(QStringLiteral("Update stopped after the first stage: %1\n")
                                    .arg(QString::fromStdString(outcome_.message)));
        endWithBox(firstStageBox(outcome_));
        runReset();
        r.files.deleteTemporaryFiles();
        writeOutcome();
        r.programAttempts = 0;
    }
    leaveRun();
}

void UpdateSequence::endBeforeSecondStage()
{
    outcome_ = step_.next.outcome;
    if (outcome_.ending == engine::Ending::Stopped) {
        endClosedRun();
        return;
    }
    if (outcome_.ending == engine::Ending::NotBack)
        r.window.writeToLog(QStringLiteral("The surface did not come back within %1 s after the first stage. Update "
                                           "stopped.\n")
                                .arg(static_cast<double>(deviceReturnLimit().count()) / 1000.0));
    else
        r.window.writeToLog(QStringLiteral("The surface did not restart after the first stage. Update stopped.\n"));
    endWithBox(betweenStagesBox(outcome_));
    // Without the surface the file cannot be tried again as it is.
    if (r.connectedFlag == 0)
        r.files.clear();
    endOfRun();
}

void UpdateSequence::watchFinalRestart()
{
    waitWhileLooking(95);
    outcome_ = step_.next.outcome;
}

void UpdateSequence::endClosedRun()
{
    if (engine_.running())
        take(engine_.closed(now()));
    if (next() == engine::Next::Finish)
        outcome_ = step_.next.outcome;
    r.window.writeToLog(QStringLiteral("Update stopped: the updater was closed.\n"));
    announce(outcome_);
    writeOutcome();
    // The presence ticks that come before the program exits stop counting
    // the pause down.
    r.waitCount = 0;
    stopProgressTimer();
    runReset();
    r.files.deleteTemporaryFiles();
    r.programAttempts = 0;
    leaveRun();
}

void UpdateSequence::announce(const engine::Outcome &outcome)
{
    r.stageLine->showResult(QString::fromStdString(outcome.result));
}

void UpdateSequence::writeOutcome()
{
    r.window.writeToLog(QString::fromStdString(outcome_.result) + QLatin1Char('\n'));
}

} // namespace vireon::app
