// The update engine: every decision of an update, made once for the window,
// vireon-flash and the browser page. It does no I/O and reads no clock: the
// front end tells it what happened (the file was checked, a look at the bus,
// a stage ended, time passed, the user wants to stop), each time with the
// time on its own monotonic clock, and does what the engine answers (look at
// the bus, take the surface's lock, run a stage, pause, finish with an
// outcome).
//
//   UpdateEngine engine(policy);
//   Step step = engine.start(now, run);
//   for (;;) {
//       show(step.notes);
//       switch (step.next.kind) {
//       case Next::Look:     step = engine.seen(now, listBus()); break;    // again and again
//       case Next::Claim:    step = engine.claimed(now, lock(step.next.surface)); break;
//       case Next::RunStage: step = engine.stageEnded(now, runStage(step.next.stage)); break;
//       case Next::Pause:    /* the window counts its ticks */ step = engine.pauseOver(now); break;
//       case Next::Finish:   return show(step.next.outcome);
//       }
//   }
//
// An update: the checked file, a surface (waited for, chosen, its lock
// taken), image 1, the surface's restart into its second chip (it leaves
// the bus and comes back), image 2, and its restart into the new firmware.
// What differs between front ends is the Policy they pass in, never the
// logic.
#ifndef VIREON_ENGINE_UPDATE_ENGINE_H
#define VIREON_ENGINE_UPDATE_ENGINE_H

#include "outcome.h"
#include "restart_watch.h"
#include "run_line.h"
#include "surface.h"
#include "transfer_record.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vireon::engine {

using Millis = std::chrono::milliseconds;

// The few phrases in which the front ends' fixes differ: how their user
// runs the update again, and what they offer where none is chosen.
struct Wording {
    std::string runAgain = "run the update again";     // "run 'vireon-flash update FILE' again"
    std::string commandAgain = "run the update again"; // "run the command again"
    std::string checkAgain = "run the check again";    // after a verify: "run verify again"
    std::string programIt = "run the update to program it";
    std::string plugIn = "plug the surface in and run the update again";
    std::string noSurface = "plug the surface in and run the update again";
    std::string checkSelector = "check which surface you chose";
    std::string chooseOne = "choose one surface";
    std::string permission = "allow this user to open the surface, then unplug it and plug it in again";
    std::string imageChanged = "leave the updater's temporary images alone while it runs, then run the update again";
    std::string untrustedKey; // added to the fix of a file signed with a key not trusted here
};

// What the front end passes in: the window's pause and attempt limits, the
// command line's bus watch and return limit, and their wording.
struct Policy {
    bool verify = false;        // compare each image with the surface instead of programming it
    bool firstOfSeveral = false; // several surfaces and none chosen: take the first (else refuse)
    Millis surfaceWait{0};      // at the start: how long a surface may take to be attached
    // After image 1: a pause the front end counts itself (the window's 20
    // presence ticks) before it waits for the surface; 0 for none.
    Millis pause{0};
    // A surface still on the bus this long after its exit command did not
    // restart.
    Millis restartAllowance{10000};
    // A surface that left the bus must be back within this.
    Millis returnLimit{60000};
    // A surface that has just appeared may refuse opens until the system has
    // given its new node this user's access: opens are tried this long.
    Millis openSettle{5000};
    // Tries of a stage beyond the first: image 1 after a failed open, image 1
    // after it met the second chip, image 2 after any failure but an open.
    int firstStageOpenRetries = 0;
    int otherChipRetries = 1;
    int secondStageRetries = 0;
    Wording wording;
};

// One image of the checked file.
struct ImageFacts {
    int rows = 0;           // its row lines
    uint32_t siliconId = 0; // the chip it is for; 0 unknown
};

// The checked file and the surface wanted, as the front end has them when
// the user starts an update.
struct RunRequest {
    std::string fileName;  // as the user named it, for the outcome
    std::string problem;   // why the file is refused; empty: it is usable
    std::string problemFix;
    Exit problemCode = Exit::FileRefused; // SetupProblem when the fault is ours (no temporary folder)
    std::string signature; // the signature's verdict for the log; empty: none to tell
    ImageFacts images[2];
    Selector selector; // the surface the user named; any: the only one (or the first)
};

// What the front end found when it took the surface's lock.
struct LockAnswer {
    bool taken = true;
    // Not taken because no lock can be made here at all (no private place
    // for it): a problem of the set-up, not another updater.
    bool setupProblem = false;
    std::string problem; // who holds it, or why none can be made: one sentence, when not taken
    std::string fix;     // for a set-up problem: what to do
};

// Run stage `image` on `surface`: open it (trying until `openUntil` while it
// may still be settling), run the bootloader action on the image, report.
struct StageOrder {
    int image = 1;
    Surface surface;
    int attempt = 1;         // 1 for the first try of this stage in the run
    Millis openUntil{0};     // keep trying to open a settling surface until then
    bool verify = false;     // compare instead of programming
    // The surface restarted into its first chip after a failed try of image
    // 2: meeting that chip is expected, and its exit command hands the bus
    // to the second chip.
    bool firstChipExpected = false;
};

// What a stage did, as the front end's run of it reports.
struct StageReport {
    enum class Open { Opened, PermissionDenied, Gone, Failed, Stopped };
    Open open = Open::Opened;
    std::string openError;   // the system's words for a failed open
    int result = 0;          // the bootloader host's result code, when opened
    TransferRecord transfer; // what the transport saw
    int rowsDone = 0;        // rows the host reported done
};

// The steps of a run a note belongs to (the command line's step names).
enum class Part { Check, Wait, Stage1, Restart, Stage2, Done };

struct Note {
    enum class Kind {
        Signature,    // the file's signature verdict
        FileSound,    // both images passed their check
        Waiting,      // waiting for a surface to be attached
        StageDone,    // a stage ended well
        RestartWatch, // watching the surface restart
        RestartSeen,  // the surface restarted
        Retry,        // a stage is tried again, and why
        StayedOn,     // the surface stayed on the bus after its exit command
    };
    Part part;
    Kind kind;
    std::string text;
};

struct Next {
    enum Kind { Nothing, Look, Claim, RunStage, Pause, Finish };
    Kind kind = Nothing;
    // Look: look at the bus (and tell seen()) until the engine answers
    // otherwise; it answers at `until` at the latest.
    Millis until{0};
    Surface surface;   // Claim: the surface whose lock to take
    StageOrder stage;  // RunStage
    Millis pause{0};   // Pause: its length; tell pauseOver() when it is over
    Outcome outcome;   // Finish
};

struct Step {
    std::vector<Note> notes; // to show or log, in order
    Next next;
};

// Where the run is, as the window names it ("updateStage").
enum class Phase { Idle, Starting, FirstStage, Pause, Wait, SecondStage, Ending };
const char *phaseName(Phase phase);

// What closing the window (or leaving the page) does now.
enum class CloseAnswer {
    Close,  // no run, or it has ended: close
    EndRun, // nothing is programmed yet: end the run (stop()), then close
    Ask,    // between the images: stopping leaves the surface with image 1 only
    Refuse, // a stage runs: stopping now would leave the surface half written
};

class UpdateEngine {
public:
    explicit UpdateEngine(Policy policy);

    const Policy &policy() const { return policy_; }
    Policy &policy() { return policy_; }

    // The user asked for an update of the checked file.
    Step start(Millis now, const RunRequest &request);
    // A look at the bus. Tell every look, also between runs: a surface that
    // has just appeared is given time to settle.
    Step seen(Millis now, const Surfaces &surfaces);
    // Time passed without a look (a front end that looks less often).
    Step timePassed(Millis now);
    Step claimed(Millis now, const LockAnswer &answer);
    // The front end begins the stage it was told to run (after whatever it
    // shows first): from now on stopping would cut the stage short.
    void stageStarted() { stageStarted_ = true; }
    Step stageEnded(Millis now, const StageReport &report);
    // The front end's pause after image 1: how much of it is left (for the
    // stage line), and its end.
    void pausing(Millis left) { pauseLeft_ = left; }
    Step pauseOver(Millis now);
    // The image about to be programmed (or just programmed) is not the one
    // that was checked: its name holds another file, or other bytes.
    Step imageChanged(Millis now, int image, const std::string &problem);
    // Ctrl-C, or the user chose to stop (the window closed between the
    // images). A running stage is not stopped here: the front end aborts its
    // action, and its report ends the run.
    Step interrupted(Millis now);
    Step closed(Millis now);

    Phase phase() const;
    bool running() const { return state_ != State::Idle; }
    CloseAnswer closeAnswer() const;
    // The line under the progress bar at `now`, with `rowsDone` rows of the
    // running stage done.
    StageLine line(Millis now, int rowsDone) const;
    // The last run ended as the surface left the bus to restart into its new
    // firmware, and no look has seen it back since: it is restarting.
    bool restarting() const { return restartingAway_; }
    // The last run's outcome (its result line stays on the stage line).
    const std::optional<Outcome> &lastOutcome() const { return last_; }
    // The surfaces of the latest look.
    const Surfaces &lastSeen() const { return seen_; }

private:
    enum class State {
        Idle,
        Looking,      // for a surface to update
        Claiming,     // its lock
        Stage1,       // image 1 runs
        Stage1Return, // image 1 met the second chip: its restart is watched before another try
        Pause,        // the front end's pause after image 1
        Return1,      // after image 1: the restart into the second chip is watched
        Stage2,       // image 2 runs
        Stage2Return, // image 2 failed: its restart is watched before another try
        Return2,      // after image 2: the restart into the firmware is watched
    };

    Step look(Millis now);
    Step decideWatch(Millis now);
    Step watchBack(Millis now);
    Step watchStayedOn(Millis now);
    Step watchGone(Millis now);
    Step runStage(Millis now, int image, const Surface &surface, bool firstChipExpected);
    Step stage1Ended(Millis now, const StageReport &report);
    Step stage2Ended(Millis now, const StageReport &report);
    Step afterImage1(Millis now);
    Step afterImage2(Millis now, bool exitLost);
    Step watchRestart(Millis now, State state);
    Step finish(Outcome outcome);
    Step stop(bool closing);
    // The answer standing, without notes (an event that changed nothing) or
    // with the notes made since the last answer (told).
    Step current() const;
    Step told();
    Millis settleUntil(const Surface &surface) const;
    void add(Note::Kind kind, std::string text);
    Part part() const;
    StageAccount account(int image, const StageReport &report) const;

    Policy policy_;
    State state_ = State::Idle;
    RunRequest request_;
    SurfaceIdentity target_;
    Surfaces seen_;
    bool everLooked_ = false;
    // When each enumeration of a surface was first seen; those present at
    // the first look are not settling.
    std::map<std::pair<std::string, uint64_t>, Millis> firstSeen_;
    std::optional<RestartWatch> watch_;
    Millis stateSince_{0};
    Millis lookUntil_{0};
    Millis pauseLeft_{0};
    Millis waitSince_{0};      // the wait for the surface's return after image 1 began
    Next next_;                // what the front end was last told to do
    std::vector<Note> notes_;  // the notes of the step being made
    int tries_[2] = {0, 0};     // tries of each stage in this run
    int openRetries_ = 0;
    int otherChipRetries_ = 0;
    bool stageStarted_ = false;      // the front end began the stage it was told to run
    bool firstChipExpected_ = false; // the running try of image 2 may meet the first chip
    bool bounceNext_ = false;        // the next try of image 2 will meet the first chip
    int rowsTotal_ = 0;                // of the running stage's image
    int rowsWritten_[2] = {0, 0};      // program-row requests that reached the surface, per image
    bool applicationChecked_[2] = {false, false};
    std::optional<CauseAccount> stage2Failure_; // the failure that decides a failed image 2
    std::optional<Outcome> last_;
    bool restartingAway_ = false;
};

} // namespace vireon::engine

#endif
