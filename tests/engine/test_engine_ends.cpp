// How a run that does not get through ends: the file refused, no surface or
// several, another updater on it, an image changed under its name, and the
// user stopping it (Ctrl-C, or closing the window) at each point; and what
// closing answers in each phase.
#include "engine_driver.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace enginetest {
namespace {

TEST(EngineEnds, ARefusedFileEndsBeforeAnyLookAtTheBus)
{
    Driver d(commandLine());
    RunRequest request = fileOf();
    request.problem = "fw.cyacd is refused: Line 25 of the file (image 2) ...";
    request.problemFix = "use the surface's two-image firmware file (.cyacd) as it was delivered.";
    const Outcome out = d.run(request);
    EXPECT_STREQ(endingName(out.ending), "FileRefused");
    EXPECT_STREQ(exitName(out.code), "file-refused");
    EXPECT_EQ(out.message, request.problem);
    EXPECT_EQ(out.fix, request.problemFix);
    EXPECT_TRUE(d.orders.empty());
}

TEST(EngineEnds, WithoutTheWantedSurfaceNothingRuns)
{
    const struct {
        const char *name;
        bool present;
        Selector selector;
        std::vector<Surface> others;
        const char *code;
        const char *message;
    } cases[] = {
        {"none attached", false, {}, {}, "no-surface", "No Vireon Surface is attached."},
        {"another serial", true, {"", "B-2"}, {}, "no-surface",
         "No surface with serial number B-2 is attached (attached: /dev/hidraw0 (no serial number))."},
        {"several, none chosen", true, {}, {{"/dev/hidraw1", "A-1", 7}}, "usage",
         "2 surfaces are attached: /dev/hidraw0 (no serial number), /dev/hidraw1 (serial A-1)."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Driver d(commandLine());
        d.bus.present = c.present;
        d.bus.others = c.others;
        RunRequest request = fileOf();
        request.selector = c.selector;
        const Outcome out = d.run(request);
        EXPECT_STREQ(endingName(out.ending), "NoSurface");
        EXPECT_STREQ(exitName(out.code), c.code);
        EXPECT_EQ(out.message, c.message);
        EXPECT_TRUE(d.orders.empty());
    }
}

TEST(EngineEnds, TheWindowTakesTheFirstOfSeveralAndTheChosenOneIsTaken)
{
    Driver d(window());
    d.bus.others = {{"/dev/hidraw1", "A-1", 7}};
    EXPECT_STREQ(endingName(d.run().ending), "Programmed");
    EXPECT_EQ(d.orders[0].surface.path, "/dev/hidraw0");

    Driver chosen(commandLine());
    chosen.bus.others = {{"/dev/hidraw1", "A-1", 7}};
    RunRequest request = fileOf();
    request.selector.serial = "A-1";
    chosen.run(request);
    EXPECT_EQ(chosen.orders[0].surface.path, "/dev/hidraw1");
}

TEST(EngineEnds, ASurfaceAttachedWithinTheWaitIsUpdated)
{
    Policy policy = commandLine();
    policy.surfaceWait = 5s;
    Driver d(policy);
    d.bus.present = false;
    const Millis plugged = d.clock + 2s;
    d.bus.backAt = plugged;
    EXPECT_STREQ(endingName(d.run().ending), "Programmed");
    // Seen at the look at that moment, it may settle for five seconds.
    EXPECT_EQ(d.orders[0].openUntil, plugged + 5s);
    EXPECT_TRUE(d.noted(Note::Kind::Waiting));
}

TEST(EngineEnds, ASurfaceAnotherUpdaterHoldsIsLeftAlone)
{
    Driver d(commandLine());
    d.lock.taken = false;
    const Outcome out = d.run();
    EXPECT_STREQ(endingName(out.ending), "Busy");
    EXPECT_STREQ(exitName(out.code), "surface-busy");
    EXPECT_EQ(out.fix, "wait until that update has finished, then run the update again.");
    EXPECT_TRUE(d.orders.empty());
}

TEST(EngineEnds, NoPlaceForTheLockIsASetUpProblemNotAnotherUpdater)
{
    Driver d(commandLine());
    d.lock = {false, true, "No private folder for the surface's lock.", "set XDG_RUNTIME_DIR to a folder of yours alone."};
    const Outcome out = d.run();
    EXPECT_STREQ(endingName(out.ending), "NoLock");
    EXPECT_STREQ(exitName(out.code), "setup-problem");
    EXPECT_EQ(out.fix, "set XDG_RUNTIME_DIR to a folder of yours alone.");
}

TEST(EngineEnds, AnImageChangedInThePauseEndsTheRunBeforeImage2)
{
    Driver d(window());
    d.before = [](Driver &self) -> std::optional<Step> {
        if (self.engine.phase() == Phase::Pause)
            return self.engine.imageChanged(self.clock, 2, "vireonTemp2.txt holds another file than the one checked.");
        return std::nullopt;
    };
    const Outcome out = d.run();
    EXPECT_STREQ(endingName(out.ending), "SecondImageFailed");
    EXPECT_STREQ(exitName(out.code), "file-refused");
    EXPECT_EQ(out.stage, 2);
    EXPECT_EQ(d.images(), "1");
}

// Where the user stops, and what the run says it left on the surface.
TEST(EngineEnds, StoppingAtEachPointSaysWhatTheSurfaceHolds)
{
    const struct {
        const char *name;
        std::function<bool(Driver &)> when; // stop at the first step for which this holds
        const char *ending;
        const char *result;
    } cases[] = {
        {"while looking for the surface", [](Driver &d) { return d.engine.phase() == Phase::Starting; }, "Stopped",
         "Result: stopped before image 1; nothing was written."},
        {"told to run image 1, not begun",
         [](Driver &d) { return d.engine.phase() == Phase::FirstStage && d.orders.empty(); }, "Stopped",
         "Result: stopped before image 1; nothing was written."},
        {"during the pause", [](Driver &d) { return d.engine.phase() == Phase::Pause; }, "Stopped",
         "Result: stopped after image 1; the surface holds image 1 only; run the update again."},
        {"waiting for the return", [](Driver &d) { return d.engine.phase() == Phase::Wait; }, "Stopped",
         "Result: stopped after image 1; the surface holds image 1 only; run the update again."},
        {"watching the restart into the firmware",
         [](Driver &d) { return d.engine.phase() == Phase::SecondStage && d.orders.size() == 2; }, "Programmed",
         "Result: both images programmed."},
    };
    for (const auto &c : cases) {
        for (bool closing : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (closing ? ", closed" : ", interrupted"));
            Driver d(window());
            d.bus.offFor = 12s; // back after the pause: the window waits for it
            bool stopped = false;
            d.before = [&](Driver &self) -> std::optional<Step> {
                if (stopped || !c.when(self))
                    return std::nullopt;
                stopped = true;
                return closing ? self.engine.closed(self.clock) : self.engine.interrupted(self.clock);
            };
            const Outcome out = d.run();
            EXPECT_TRUE(stopped);
            EXPECT_STREQ(endingName(out.ending), c.ending);
            EXPECT_EQ(out.result, c.result);
            if (out.ending == Ending::Stopped)
                EXPECT_STREQ(exitName(out.code), "interrupted");
        }
    }
}

TEST(EngineEnds, AStageStoppedByItsFrontEndTellsWhatWasWritten)
{
    const struct {
        int rows;
        const char *message;
        const char *result;
    } cases[] = {
        {5, "Interrupted while programming image 1: the surface may hold a partial image.",
         "Result: stopped in image 1; the surface may hold part of image 1; run the update again."},
        {0, "Interrupted before any row of image 1 was written.",
         "Result: stopped before image 1; nothing was written."},
    };
    for (const auto &c : cases) {
        Driver d(commandLine());
        d.reports = {aborted(c.rows)};
        const Outcome out = d.run();
        EXPECT_STREQ(exitName(out.code), "interrupted");
        EXPECT_EQ(out.message, c.message);
        EXPECT_EQ(out.result, c.result);
    }
}

TEST(EngineEnds, ClosingAnswersAsThePhaseAllows)
{
    std::map<Phase, std::set<CloseAnswer>> answered;
    Driver d(window());
    d.bus.offFor = 12s; // back after the pause: the window waits for it
    const auto note = [&](Driver &self) { answered[self.engine.phase()].insert(self.engine.closeAnswer()); };
    d.before = [&](Driver &self) -> std::optional<Step> {
        note(self);
        return std::nullopt;
    };
    d.during = note;
    d.run();
    note(d);
    const std::map<Phase, std::set<CloseAnswer>> expected = {
        {Phase::Starting, {CloseAnswer::EndRun}},
        // Told to run image 1 but not begun yet, then running.
        {Phase::FirstStage, {CloseAnswer::EndRun, CloseAnswer::Refuse}},
        {Phase::Pause, {CloseAnswer::Ask}},
        {Phase::Wait, {CloseAnswer::Ask}},
        // Told to run image 2 but not begun yet, then running, then the
        // watch of the restart into the firmware.
        {Phase::SecondStage, {CloseAnswer::Ask, CloseAnswer::Refuse}},
        {Phase::Idle, {CloseAnswer::Close}},
    };
    EXPECT_EQ(answered, expected);
}

} // namespace
} // namespace enginetest
