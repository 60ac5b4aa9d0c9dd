// The two-stage update, run inside the UPDATE button's release slot: the
// first worker programs image 1, the surface restarts and leaves the bus,
// the run waits until it is back, and the second worker programs image 2.
// Every wait sleeps in the event loop and polls the worker's flags, so the
// ticks, repaints and boxes go on while it waits.
#ifndef VIREON_APP_UPDATE_SEQUENCE_H
#define VIREON_APP_UPDATE_SEQUENCE_H

#include "failure_cause.h"
#include "update_phase.h"
#include "surface_lock.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <atomic>
#include <chrono>

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

    UpdatePhase phase() const { return phase_; }
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

    // How long the run waits for the surface after its first stage.
    std::chrono::milliseconds deviceReturnLimit;

private:
    void setPhase(UpdatePhase next);
    // Before and after each stage: the temporary image's name still holds
    // the file checked at UPDATE, with the bytes checked. When not, the
    // reason is logged and kept for the failure box.
    bool imageStillChecked(int image);
    // Takes the surface's lock for the run; when another updater holds it
    // the user is told which one, and the run does not start.
    bool claimSurface();
    // Sleeps in the event loop until at least one event has been handled.
    void waitForEvents();
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
    // False when the run ended in its first stage.
    bool firstStage();
    // False when the run ended before the surface was back.
    bool pauseAndWaitForSurface();
    // The end of every run that got past its first stage.
    void endOfRun();
    void giveUpWaitingForSurface();
    // After a first stage that met the second chip: waits until the surface
    // has left the bus and come back (false: the run ended meanwhile).
    bool waitForRestart();
    // How the run ended (a sentence from run_outcome.h): shown on the stage
    // line now, and the log's last line of the run (writeOutcome).
    void announce(const QString &outcome);
    void writeOutcome();
    // After a second stage that programmed its image: the note that the
    // surface did not restart, when the transport saw its exit command fail
    // or the surface stayed on the bus for the restart allowance (watched
    // between events); an empty account when it restarted.
    vireon::core::CauseAccount restartNote();
    // The window was closed before the first stage, during the pause or
    // during the wait: nothing is being programmed, the run just ends.
    void endClosedRun();

    RunParts r;
    QTimer *progressTimer_ = nullptr; // the run's 1 s tick, made by its first attempt
    int progressCeiling_ = 0;
    UpdatePhase phase_ = UpdatePhase::Idle;
    QElapsedTimer waitingSince_; // the wait for the surface's return began
    QPointer<QWidget> stageBox_;
    bool closeRequested_ = false;
    bool closeQuestionOpen_ = false;
    QString imageProblem_;          // why a stage's image was refused; empty: it was not
    core::SurfaceLock surfaceLock_; // held from the run's start to its end
    // The reason that stopped the second stage, kept across its retries.
    QString secondStageReason_;
    // The run's outcome: the stage line's last words and the log's last line
    // of the run, after "Firmware Update Complete.".
    QString outcome_;
    // While the run watches the surface restart after image 2: the seconds
    // of the allowance left; -1 otherwise.
    int restartSecondsLeft_ = -1;
};

} // namespace vireon::app

#endif
