// The two-stage update, run inside the UPDATE button's release slot. The
// update engine decides every step (which stage next, what failed, what the
// user should do); this side does what it says in the window's own way: the
// first worker programs image 1, the pause of 20 presence ticks lets the
// surface restart and leave the bus, the run waits until it is back, the
// second worker programs image 2, and each end is told in a box and the log.
// Every wait sleeps in the event loop and polls the worker's flags, so the
// ticks, repaints and boxes go on while it waits.
#ifndef VIREON_APP_UPDATE_SEQUENCE_H
#define VIREON_APP_UPDATE_SEQUENCE_H

#include "surface_access.h"
#include "surface_lock.h"
#include "update_engine.h"

#include <QPointer>
#include <QString>

#include <atomic>
#include <chrono>
#include <vector>

class MainWindow;
class QLabel;
class QPixmap;
class QProgressBar;
class QThread;
class QTimer;
class QWidget;
class Worker;
class Worker2;

namespace vireon::app {

class FileChoice;
class StageLine;
class UpdateOffer;

// What a run works on: the window (parent of the boxes and the progress
// timer; its log, its progress tick and its "updateStage" property), the
// widgets the run drives, UPDATE's offer, the chosen file and its images,
// the workers, and the window's members a run keeps, by their own names.
struct RunParts {
    MainWindow &window;
    QProgressBar *progressBar;
    QLabel *browseFileLabel;
    const QPixmap &browseUp;
    StageLine *stageLine;
    UpdateOffer &offer;
    FileChoice &files;
    // The window's own (a test may put another second worker in place).
    QThread *&thread;
    Worker *&worker;
    QThread *&thread2;
    Worker2 *&worker2;
    bool &updating;
    bool &writingFirstImage;
    bool &writingSecondImage;
    int &connectedFlag;
    int &progressCount;
    int &programAttempts;
    int &secondFileAttempts;
    int &waitCount;
};

class UpdateSequence
{
public:
    explicit UpdateSequence(const RunParts &parts);

    // One invocation of the sequence (a first-stage retry is a nested one).
    void run();
    // One invocation of the second stage: 0 programmed, 1 failed.
    int secondStage();

    // Each presence tick's look at the bus.
    void seen(const std::vector<core::SurfaceInfo> &surfaces);

    // Where the run is, as the window's "updateStage" property names it.
    engine::Phase phase() const;
    // The surface left the bus as the last run ended and is not back yet.
    bool surfaceRestarting() const { return engine_.restarting(); }
    // What closing the window does now.
    engine::CloseAnswer closeAnswer() const;
    // The ceiling of the stage the run is in; 0 outside a run. A progress
    // tick that comes while the run waits behind a box is held at it too.
    int progressCeiling() const { return progressCeiling_; }
    // Closing was asked for while nothing was being programmed: the run
    // ends at its next step.
    void endOnClose() { closeRequested_ = true; }
    bool endingOnClose() const { return closeRequested_; }
    // While the user is asked whether to stop between the stages, the run
    // does not begin its second stage.
    void setCloseQuestionOpen(bool open) { closeQuestionOpen_ = open; }
    bool closeQuestionOpen() const { return closeQuestionOpen_; }
    // A box that speaks of the stage the run is in ("An update is
    // running."): closed as the run leaves that stage.
    void closeWhenStageEnds(QWidget *box) { stageBox_ = box; }

    // How long the surface may stay off the bus after leaving it.
    std::chrono::milliseconds &deviceReturnLimit() { return engine_.policy().returnLimit; }

private:
    engine::Millis now() const;
    // What the engine said last; its notes go to the log as they come.
    void take(engine::Step step);
    engine::Next::Kind next() const { return step_.next.kind; }
    void showPhase();
    // Before and after each stage: the temporary image's name still holds
    // the file checked at UPDATE, with the bytes checked. When not, the
    // engine is told and the reason is logged.
    bool imageStillChecked(int image);
    // Sleeps in the event loop until at least one event has been handled.
    void waitForEvents();
    // Until the engine says more than "look": the bus is looked at between
    // events, every bus poll interval.
    void waitWhileLooking(int ceiling);
    // The stage line for the stage the run is in.
    void showStage();
    // Waits while a worker's run goes on, holding the progress at `ceiling`;
    // the first pass logs `firstPass`.
    void waitWhileBusy(const std::atomic<bool> &busy, const QString &firstPass, int ceiling);
    void holdProgressAt(int ceiling);
    void showProgress();
    void stopProgressTimer();
    // The reset at retries and failure ends: not updating, bar at 0 and
    // off, and (but at a retry) browsing on again.
    void runReset(bool browsing = true);
    bool startFreshRun();
    // The engine's order for a stage, to the worker that runs it.
    template <class W> void startWorker(W *worker, QThread *thread, const engine::StageOrder &order);
    // False when the run ended in its first stage.
    bool firstStage();
    // False when the run ended before the surface was back.
    bool pauseAndWaitForSurface();
    // The end of every run that got past its first stage.
    void endOfRun();
    // The ends the engine decided, in the window's boxes and log.
    void endInFirstStage(int errorFlag);
    void endBeforeSecondStage();
    void endWithBox(const QString &text);
    // The run's outcome: the stage line's last words now, and the log's last
    // line of the run (writeOutcome).
    void announce(const engine::Outcome &outcome);
    void writeOutcome();
    // After a second stage that programmed its image: until the engine has
    // watched the surface restart into its firmware.
    void watchFinalRestart();
    // The window was closed before the first stage, during the pause or
    // during the wait: nothing is being programmed, the run just ends.
    void endClosedRun();
    // The window is idle again.
    void leaveRun();

    RunParts r;
    engine::UpdateEngine engine_;
    engine::Step step_;
    engine::Outcome outcome_;   // the run's end, once the engine decided it
    QTimer *progressTimer_ = nullptr; // the run's 1 s tick, made by its first attempt
    int progressCeiling_ = 0;
    bool inRun_ = false;   // from the run's start to the end of its showing
    bool ending_ = false;  // the run's end is being shown
    bool waiting_ = false; // the window waits for its presence check to see the surface back
    QPointer<QWidget> stageBox_;
    engine::Phase shownPhase_ = engine::Phase::Idle;
    bool closeRequested_ = false;
    bool closeQuestionOpen_ = false;
    core::SurfaceLock surfaceLock_; // held from the run's start to its end
};

} // namespace vireon::app

#endif
