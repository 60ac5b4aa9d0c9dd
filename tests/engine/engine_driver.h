// A front end for the engine's tests: it answers every step as a front end
// would, on a clock of its own, against a surface whose look on the bus
// follows its exit commands (it leaves and comes back enumerated anew,
// stays on, or vanishes), and records the stages it was told to run.
#pragma once

#include "update_engine.h"

#include "cybtldr_command.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace enginetest {

using namespace vireon::engine;
using namespace std::chrono_literals;

constexpr uint32_t kChip1 = 0x56530001, kChip2 = 0x56530002;

// What the surface does after an exit command reached it.
enum class AfterExit {
    Restarts, // leaves the bus for `offFor`, comes back enumerated anew
    Flickers, // restarts between two looks: only its enumeration tells
    Stays,    // the command was lost on its way: it stays on the bus
    Vanishes, // leaves and never comes back
};

struct SimulatedBus {
    uint64_t enumeration = 1;
    bool present = true;
    Millis offFor = 300ms;
    std::optional<Millis> backAt;
    std::deque<AfterExit> afterExits; // one per exit command; Restarts once they run out
    std::string serial;
    std::vector<Surface> others; // more surfaces on the bus

    void exitCommand(Millis at)
    {
        const AfterExit after = afterExits.empty() ? AfterExit::Restarts : afterExits.front();
        if (!afterExits.empty())
            afterExits.pop_front();
        switch (after) {
        case AfterExit::Restarts:
            present = false;
            backAt = at + offFor;
            break;
        case AfterExit::Flickers:
            ++enumeration;
            break;
        case AfterExit::Stays:
            break;
        case AfterExit::Vanishes:
            present = false;
            backAt.reset();
            break;
        }
    }
    Surfaces look(Millis at)
    {
        if (!present && backAt && at >= *backAt) {
            present = true;
            ++enumeration;
            backAt.reset();
        }
        Surfaces seen;
        if (present)
            seen.push_back({"/dev/hidraw0", serial, enumeration});
        seen.insert(seen.end(), others.begin(), others.end());
        return seen;
    }
};

// Stage reports, as the stage runner gives them.
inline StageReport programmed(int rows = 20)
{
    StageReport report;
    report.result = BL_SUCCESS;
    report.rowsDone = rows;
    report.transfer.rowsWritten = rows;
    report.transfer.exitSent = true;
    report.transfer.lastAnswered = CMD_VERIFY_CHECKSUM;
    return report;
}

// A transport failure at `exchange` (its request `command`, naming `row`),
// with `rowsWritten` rows sent before it; the host sends its exit command
// after a failure among the rows, not after one while it starts.
inline StageReport failedTransfer(TransferFault fault, int exchange, uint8_t command, int row, int rowsWritten)
{
    StageReport report;
    report.result = -1;
    report.rowsDone = rowsWritten;
    TransferRecord &t = report.transfer;
    t.exchanges = exchange;
    t.fault = fault;
    t.faultExchange = exchange;
    t.faultCommand = command;
    t.faultRow = row;
    t.hidText = "Input/output error";
    t.readLimitMs = 5000;
    t.rowsWritten = rowsWritten;
    t.exitSent = command != CMD_ENTER_BOOTLOADER;
    return report;
}

// Every row went in, but the exit command's write failed.
inline StageReport exitLost(TransferFault fault)
{
    StageReport report = programmed();
    report.transfer.exitSent = false;
    report.transfer.fault = fault;
    report.transfer.faultCommand = CMD_EXIT_BOOTLOADER;
    report.transfer.faultExchange = 44;
    return report;
}

// The surface answered as `chip`, which is not the stage's: nothing written.
inline StageReport met(uint32_t chip)
{
    StageReport report;
    report.result = BL_DEVICE_MISMATCH;
    report.transfer.identified = true;
    report.transfer.siliconId = chip;
    report.transfer.lastAnswered = CMD_ENTER_BOOTLOADER;
    report.transfer.exitSent = true;
    return report;
}

inline StageReport notOpened(StageReport::Open how, std::string error = "Permission denied")
{
    StageReport report;
    report.open = how;
    report.openError = std::move(error);
    return report;
}

inline StageReport aborted(int rowsWritten)
{
    StageReport report;
    report.result = BL_ABORTED;
    report.transfer.rowsWritten = rowsWritten;
    report.transfer.exitSent = true;
    return report;
}

inline Policy commandLine()
{
    Policy policy;
    policy.wording.runAgain = "run 'vireon-flash update FILE' again";
    return policy;
}

inline Policy window()
{
    Policy policy;
    policy.firstOfSeveral = true;
    policy.surfaceWait = policy.openSettle;
    policy.pause = 10s;
    policy.firstStageOpenRetries = 5;
    policy.secondStageRetries = 5;
    return policy;
}

inline RunRequest fileOf(int rows1 = 20, int rows2 = 20)
{
    RunRequest request;
    request.fileName = "fw.cyacd";
    request.images[0] = {rows1, kChip1};
    request.images[1] = {rows2, kChip2};
    return request;
}

struct Driver {
    explicit Driver(Policy policy) : engine(std::move(policy)) {}

    UpdateEngine engine;
    SimulatedBus bus;
    std::deque<StageReport> reports; // what each stage the engine orders reports, in turn
    // What the lock answers when the engine asks for it.
    LockAnswer lock{true, false, "Another updater (vireon-flash, process 42) is updating the surface /dev/hidraw0 "
                                 "(no serial number).",
                    ""};
    Millis clock{1000000};
    Millis lookEvery = 50ms;
    Millis stageLasts = 2s;
    std::vector<StageOrder> orders; // the stages the engine told to run
    std::vector<Note> notes;
    std::vector<Phase> phases; // as each step left the engine
    // Asked before each step is answered; a test interrupts or closes there.
    std::function<std::optional<Step>(Driver &)> before;
    // Called while each stage runs.
    std::function<void(Driver &)> during;

    Outcome run(const RunRequest &request = fileOf())
    {
        engine.seen(clock, bus.look(clock)); // the look the front end had before
        Step step = engine.start(clock, request);
        for (int guard = 0; guard < 100000; ++guard) {
            notes.insert(notes.end(), step.notes.begin(), step.notes.end());
            phases.push_back(engine.phase());
            if (before)
                if (std::optional<Step> instead = before(*this)) {
                    step = *instead;
                    continue;
                }
            switch (step.next.kind) {
            case Next::Look:
                clock += lookEvery;
                step = engine.seen(clock, bus.look(clock));
                break;
            case Next::Claim:
                step = engine.claimed(clock, lock);
                break;
            case Next::RunStage: {
                orders.push_back(step.next.stage);
                engine.stageStarted();
                if (during)
                    during(*this);
                const StageReport report = reports.empty() ? programmed() : reports.front();
                if (!reports.empty())
                    reports.pop_front();
                clock += stageLasts;
                if (report.open == StageReport::Open::Opened && report.transfer.exitSent)
                    bus.exitCommand(clock);
                step = engine.stageEnded(clock, report);
                break;
            }
            case Next::Pause:
                // The window's ticks, each with its look at the bus.
                for (Millis left = step.next.pause; left > 0ms; left -= 500ms) {
                    clock += 500ms;
                    engine.pausing(left - 500ms);
                    engine.seen(clock, bus.look(clock));
                }
                step = engine.pauseOver(clock);
                break;
            case Next::Finish:
                return step.next.outcome;
            case Next::Nothing:
                return {};
            }
        }
        return {};
    }
    // The images of the stages told to run, "1 1 2".
    std::string images() const
    {
        std::string out;
        for (const StageOrder &order : orders)
            out += (out.empty() ? "" : " ") + std::to_string(order.image);
        return out;
    }
    bool noted(Note::Kind kind) const
    {
        for (const Note &note : notes)
            if (note.kind == kind)
                return true;
        return false;
    }
};

} // namespace enginetest
