// The update engine's decisions, one script at a time: what a front end is
// told to do after each event, and how the run ends, under the command
// line's policy and the window's. No threads, no timers, no sleeping: the
// clock is the driver's own.
#include "engine_driver.h"

#include <gtest/gtest.h>

namespace enginetest {
namespace {

struct Front {
    const char *name;
    Policy (*policy)();
};
const Front kCommandLine{"command line", commandLine};
const Front kWindow{"window", window};

TEST(UpdateEngine, ASuccessRunsImage1ThenImage2OnTheSurfaceThatCameBack)
{
    for (const Front &front : {kCommandLine, kWindow}) {
        SCOPED_TRACE(front.name);
        Driver d(front.policy());
        const Outcome out = d.run();
        EXPECT_STREQ(endingName(out.ending), "Programmed");
        EXPECT_STREQ(exitName(out.code), "success");
        EXPECT_EQ(out.message, "Update complete: both images of fw.cyacd are programmed.");
        EXPECT_EQ(out.result, "Result: both images programmed.");
        ASSERT_EQ(d.images(), "1 2");
        EXPECT_EQ(d.orders[0].surface.enumeration, 1u);
        EXPECT_EQ(d.orders[1].surface.enumeration, 2u) << "image 2 goes to the surface as it came back";
        EXPECT_FALSE(d.orders[1].firstChipExpected);
    }
}

// One transport fault, at the first, a middle and the last exchange of
// each stage: the first exchange names no row and writes nothing; a middle
// one comes after rows went in; the last is the exit command, whose loss
// leaves the surface where it was.
struct FaultCell {
    int stage;
    const char *place;
    TransferFault fault;
    // What each front end ends with.
    const char *ending[2];
    const char *code[2];
    const char *result; // the command line's result line
};

StageReport faultAt(const FaultCell &cell)
{
    const std::string place = cell.place;
    if (place == "first")
        return failedTransfer(cell.fault, 1, CMD_ENTER_BOOTLOADER, -1, 0);
    if (place == "middle")
        return failedTransfer(cell.fault, 8, CMD_VERIFY_ROW, 1, 2);
    return exitLost(cell.fault);
}

TEST(UpdateEngine, EachFaultAtTheFirstMiddleAndLastExchangeEndsAsItMust)
{
    const std::string failed1Nothing = "Result: failed in image 1; nothing was written; run the update again.";
    const std::string failed1Part =
        "Result: failed in image 1; the surface may hold part of image 1 and not image 2; run the update again.";
    const std::string failed2 = "Result: failed in image 2; the surface holds image 1 only; run the update again.";
    const std::string notRestarted = "Result: image 1 programmed; the surface did not restart into its second chip; "
                                     "re-plug it and run the update again.";
    const std::string noted = "Result: both images programmed; the surface did not restart by itself: unplug and "
                              "re-plug it to start the new firmware.";
    for (TransferFault fault : {TransferFault::NoAnswer, TransferFault::WriteFailed, TransferFault::ReadFailed,
                                TransferFault::ShortAnswer, TransferFault::BadChecksum, TransferFault::Unplugged}) {
        const FaultCell cells[] = {
            {1, "first", fault, {"FirstImageFailed", "FirstImageFailed"}, {"transfer-failed", "transfer-failed"},
             failed1Nothing.c_str()},
            {1, "middle", fault, {"FirstImageFailed", "FirstImageFailed"}, {"transfer-failed", "transfer-failed"},
             failed1Part.c_str()},
            {1, "last", fault, {"NotRestarted", "NotRestarted"}, {"not-restarted", "not-restarted"},
             notRestarted.c_str()},
            // The window tries image 2 again; the command line does not.
            {2, "first", fault, {"SecondImageFailed", "Programmed"}, {"transfer-failed", "success"}, failed2.c_str()},
            {2, "middle", fault, {"SecondImageFailed", "Programmed"}, {"transfer-failed", "success"}, failed2.c_str()},
            {2, "last", fault, {"Programmed", "Programmed"}, {"success", "success"}, noted.c_str()},
        };
        for (const FaultCell &cell : cells) {
            for (int f = 0; f < 2; ++f) {
                const Front &front = f == 0 ? kCommandLine : kWindow;
                SCOPED_TRACE(std::string(front.name) + ", stage " + std::to_string(cell.stage) + ", " + cell.place +
                             ", fault " + std::to_string(static_cast<int>(fault)));
                Driver d(front.policy());
                if (cell.stage == 2)
                    d.reports.push_back(programmed());
                d.reports.push_back(faultAt(cell));
                // A retry after a failed try whose exit command went out meets
                // the first chip, whose own exit hands the bus on.
                if (cell.stage == 2 && std::string(cell.place) == "middle")
                    d.reports.push_back(met(kChip1));
                if (std::string(cell.place) == "last")
                    d.bus.afterExits = {AfterExit::Restarts, AfterExit::Stays};
                const Outcome out = d.run();
                EXPECT_STREQ(endingName(out.ending), cell.ending[f]);
                EXPECT_STREQ(exitName(out.code), cell.code[f]);
                if (f == 0)
                    EXPECT_EQ(out.result, cell.result);
                if (cell.stage == 1 && std::string(cell.place) == "last")
                    EXPECT_EQ(d.images(), "1") << "image 2 never goes to a surface that did not restart";
            }
        }
    }
}

TEST(UpdateEngine, AFailedImage2TriedAgainExpectsTheFirstChipAndIsNotFooledByIt)
{
    Driver d(window());
    d.reports = {programmed(), failedTransfer(TransferFault::ReadFailed, 8, CMD_VERIFY_ROW, 1, 2), met(kChip1),
                 programmed()};
    const Outcome out = d.run();
    EXPECT_STREQ(endingName(out.ending), "Programmed");
    ASSERT_EQ(d.images(), "1 2 2 2");
    EXPECT_FALSE(d.orders[1].firstChipExpected);
    EXPECT_TRUE(d.orders[2].firstChipExpected) << "the failed try's exit command restarted the surface";
    EXPECT_FALSE(d.orders[3].firstChipExpected) << "the first chip's exit command handed the bus on";
    // The try that met the first chip is told for what it was.
    std::string retries;
    for (const Note &note : d.notes)
        if (note.kind == Note::Kind::Retry)
            retries += note.text + "|";
    EXPECT_NE(retries.find("as it does after a failed try of image 2 restarted it"), std::string::npos) << retries;
    EXPECT_EQ(retries.find("did not restart"), std::string::npos) << retries;
}

TEST(UpdateEngine, AFailedImage2EndsWithTheFailureNotTheChipMetAfterIt)
{
    Policy policy = window();
    policy.secondStageRetries = 1;
    Driver d(policy);
    d.reports = {programmed(), failedTransfer(TransferFault::NoAnswer, 8, CMD_VERIFY_ROW, 1, 2), met(kChip1)};
    const Outcome out = d.run();
    EXPECT_STREQ(endingName(out.ending), "SecondImageFailed");
    EXPECT_STREQ(causeName(out.cause), "NoAnswer");
    EXPECT_EQ(out.message, "The surface did not answer within 5 s. It stopped at row 1 of image 2 (verify row), "
                           "exchange 8.");
}

TEST(UpdateEngine, ASurfaceInItsSecondChipIsUpdatedOnceItHasRestarted)
{
    for (const Front &front : {kCommandLine, kWindow}) {
        SCOPED_TRACE(front.name);
        Driver d(front.policy());
        d.reports = {met(kChip2)};
        const Outcome out = d.run();
        EXPECT_STREQ(endingName(out.ending), "Programmed");
        EXPECT_EQ(d.images(), "1 1 2");
        EXPECT_EQ(d.orders[1].surface.enumeration, 2u) << "tried again on the surface as it came back";
        EXPECT_TRUE(d.noted(Note::Kind::Retry));
    }
}

TEST(UpdateEngine, ASurfaceThatAnswersAsTheSecondChipTwiceIsNotForThisFile)
{
    Driver d(commandLine());
    d.reports = {met(kChip2), met(kChip2)};
    const Outcome out = d.run();
    EXPECT_STREQ(endingName(out.ending), "FirstImageFailed");
    EXPECT_STREQ(exitName(out.code), "device-mismatch");
    EXPECT_STREQ(causeName(out.cause), "OtherChip");
    EXPECT_EQ(out.result, "Result: failed in image 1; the surface still runs its second chip's bootloader; re-plug "
                          "it and run the update again.");
}

// After image 1's exit command the surface must leave the bus: one that
// stays was not restarted, whatever it answers afterwards.
TEST(UpdateEngine, ASurfaceThatNeverLeftAfterImage1StopsBeforeImage2)
{
    for (const Front &front : {kCommandLine, kWindow}) {
        SCOPED_TRACE(front.name);
        Driver d(front.policy());
        d.bus.afterExits = {AfterExit::Stays};
        // Were image 2 tried, the surface would answer as the second chip.
        d.reports = {programmed(), met(kChip2)};
        const Outcome out = d.run();
        EXPECT_STREQ(endingName(out.ending), "NotRestarted");
        EXPECT_STREQ(exitName(out.code), "not-restarted");
        EXPECT_EQ(out.message, "The surface stayed on the bus for 10 s after image 1: it did not restart into its "
                               "second chip.");
        EXPECT_EQ(d.images(), "1");
    }
}

TEST(UpdateEngine, ARestartNoLookSawIsToldByTheNewEnumeration)
{
    for (const Front &front : {kCommandLine, kWindow}) {
        SCOPED_TRACE(front.name);
        Driver d(front.policy());
        d.bus.afterExits = {AfterExit::Flickers, AfterExit::Flickers};
        const Outcome out = d.run();
        EXPECT_STREQ(endingName(out.ending), "Programmed");
        EXPECT_EQ(out.cause, Cause::None) << "the restart after image 2 was seen too";
        EXPECT_EQ(d.images(), "1 2");
    }
}

TEST(UpdateEngine, AfterImage2ASurfaceThatStaysOnIsToldToBeReplugged)
{
    Driver d(commandLine());
    d.bus.afterExits = {AfterExit::Restarts, AfterExit::Stays};
    const Outcome out = d.run();
    EXPECT_STREQ(endingName(out.ending), "Programmed");
    EXPECT_STREQ(causeName(out.cause), "NotRestarted");
    EXPECT_EQ(out.message, "Update complete: both images of fw.cyacd are programmed. The surface did not restart by "
                           "itself: unplug and re-plug it to start the new firmware.");
    EXPECT_TRUE(d.noted(Note::Kind::StayedOn));
}

TEST(UpdateEngine, ASurfaceThatDoesNotComeBackEndsAfterTheReturnLimit)
{
    for (const Front &front : {kCommandLine, kWindow}) {
        SCOPED_TRACE(front.name);
        Driver d(front.policy());
        d.bus.afterExits = {AfterExit::Vanishes};
        const Millis start = d.clock;
        const Outcome out = d.run();
        EXPECT_STREQ(endingName(out.ending), "NotBack");
        EXPECT_STREQ(exitName(out.code), "no-return");
        EXPECT_EQ(out.message, "The surface did not come back within 60 s of leaving the bus after image 1.");
        EXPECT_GE(d.clock - start, 62s) << "the stage, then the whole return limit";
    }
}

TEST(UpdateEngine, ASurfaceThatCannotBeOpenedIsTriedAsEachFrontEndSays)
{
    const struct {
        const Front &front;
        StageReport::Open how;
        const char *code;
        int tries;
        const char *fix;
    } cases[] = {
        {kCommandLine, StageReport::Open::PermissionDenied, "permission-denied", 1,
         "allow this user to open the surface, then unplug it and plug it in again."},
        {kCommandLine, StageReport::Open::Gone, "no-surface", 1, "plug the surface in and run the update again."},
        {kCommandLine, StageReport::Open::Failed, "transfer-failed", 1,
         "unplug the surface, plug it in again and run the update again."},
        {kWindow, StageReport::Open::PermissionDenied, "permission-denied", 6,
         "allow this user to open the surface, then unplug it and plug it in again."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.front.name) + " " + c.code);
        Driver d(c.front.policy());
        d.reports.assign(8, notOpened(c.how));
        const Outcome out = d.run();
        EXPECT_STREQ(endingName(out.ending), "NotOpened");
        EXPECT_STREQ(exitName(out.code), c.code);
        EXPECT_EQ(out.fix, c.fix);
        EXPECT_EQ(static_cast<int>(d.orders.size()), c.tries);
        EXPECT_EQ(out.result, "Result: not started: the surface could not be opened; nothing was written.");
    }
}

// A surface that has just appeared may refuse opens while the system gives
// its new node this user's access: a stage on it may try for the settle
// time; one that was there from the first look may not.
TEST(UpdateEngine, OnlyASurfaceThatHasJustAppearedIsGivenTimeToSettle)
{
    Driver d(commandLine());
    d.bus.offFor = 300ms;
    const Millis start = d.clock;
    d.run();
    ASSERT_EQ(d.images(), "1 2");
    EXPECT_EQ(d.orders[0].openUntil, 0ms) << "attached before the first look";
    // One look found the surface, image 1 took 2 s, then its exit command;
    // the surface was back 300 ms later, seen at the look then.
    EXPECT_EQ(d.orders[1].openUntil, start + 50ms + 2s + 300ms + 5s);
}

} // namespace
} // namespace enginetest
