#include "stage_job.h"

#include "hid_transport.h"
#include "timing.h"
#include "interrupt.h"

#include <hidapi/hidapi.h>

#include <thread>

namespace vireon::flash {
namespace {

using Clock = std::chrono::steady_clock;

// The stage's handle and the record of its transfers, bound to the
// transport; one stage at a time.
hid_device *g_stageHandle = nullptr;
core::TransferRecord g_transfers;
Reporter *g_rowReporter = nullptr;

void onRow(uint8_t, uint16_t)
{
    // The host clears its abort flag as its action starts: an interrupt
    // that came before that is asked for again here, before the next row.
    if (interrupted())
        CyBtldr_Abort();
    if (g_rowReporter != nullptr)
        g_rowReporter->row();
}

Outcome fail(Exit code, const QString &message, const QString &fix)
{
    return Outcome{code, message, fix};
}

// Opens the job's surface, trying again for the settle time while it is
// attached but refuses.
OpenResult openWithSettle(const StageJob &job, bool *stillAttached)
{
    const Clock::time_point giveUp = Clock::now() + job.openSettle;
    for (;;) {
        OpenResult open = openSurface(job.surface);
        *stillAttached = open.device != nullptr || !attachedSurfaces(Selector{job.surface.path, {}}).empty();
        if (open.device != nullptr || !*stillAttached || Clock::now() >= giveUp || interrupted())
            return open;
        std::this_thread::sleep_for(core::kBusPollInterval);
    }
}

} // namespace

Outcome stageOutcome(const core::StageAccount &account)
{
    using core::Cause;
    const core::CauseAccount told = core::accountFor(account);
    const bool program = !account.verify;
    const QString again = QStringLiteral("run 'vireon-flash update FILE' again, which mends it.");
    const QString partial = QStringLiteral("the surface may hold a partial image: ") + again;
    const QString stage = QStringLiteral("Stage %1: ").arg(account.image);
    Outcome out{Exit::Success, told.reason, QString(), told.cause};
    switch (told.cause) {
    case Cause::None:
    case Cause::NotRestarted: // a success, with its note
        return out;
    case Cause::Aborted:
        if (!program)
            return {Exit::Interrupted, QStringLiteral("Interrupted during the check of image %1.").arg(account.image),
                    QStringLiteral("nothing was changed on the surface."), told.cause};
        return {Exit::Interrupted,
                QStringLiteral("Interrupted while programming image %1: the surface may hold a partial image.")
                    .arg(account.image),
                again, told.cause};
    case Cause::NoAnswer:
    case Cause::TransferFailed:
    case Cause::Unplugged:
        out.code = Exit::TransferFailed;
        out.fix = QStringLiteral("keep the surface plugged in and check its cable; ") +
                  (program ? partial : QStringLiteral("then run verify again."));
        break;
    case Cause::OtherChip:
    case Cause::WrongChip:
        out.code = Exit::DeviceMismatch;
        out.fix = told.cause == Cause::OtherChip ? QStringLiteral("unplug the surface, plug it in again and run the "
                                                                  "command again.")
                                                 : QStringLiteral("use the firmware file made for this surface.");
        break;
    case Cause::StillFirstChip:
        out.code = Exit::NotRestarted;
        out.fix = QStringLiteral("unplug the surface, plug it in again and run the command again.");
        break;
    case Cause::ApplicationCheck:
        out.code = Exit::BootloaderRefused;
        out.fix = program ? QStringLiteral("use the firmware file as it was delivered for this surface: the same "
                                           "file again cannot help.")
                          : QStringLiteral("run 'vireon-flash update FILE' to program it.");
        break;
    case Cause::RowMismatch:
    case Cause::DeviceStatus:
    case Cause::Refused:
        out.code = Exit::BootloaderRefused;
        out.fix = program ? partial : QStringLiteral("run 'vireon-flash update FILE' to program it.");
        break;
    case Cause::FileUnreadable:
        out.code = Exit::FileRefused;
        out.fix = QStringLiteral("check that the file is still readable, or choose another.");
        break;
    }
    out.message = stage + out.message;
    return out;
}

Outcome runStage(const StageJob &job, Reporter &reporter, hid_device **stillOpen)
{
    const char *verb = job.action == PROGRAM ? "program" : "verify";
    bool stillAttached = false;
    const OpenResult open = openWithSettle(job, &stillAttached);
    if (open.device == nullptr) {
        if (interrupted())
            return fail(Exit::Interrupted, QStringLiteral("Interrupted before stage %1 began.").arg(job.number),
                        QStringLiteral("nothing was written to the surface in this stage."));
        if (open.permissionDenied)
            return fail(Exit::PermissionDenied,
                        QStringLiteral("Stage %1: this user may not open the surface %2: %3")
                            .arg(job.number)
                            .arg(describe(job.surface), open.error),
                        permissionFix());
        if (!stillAttached)
            return fail(Exit::NoSurface,
                        QStringLiteral("Stage %1: the surface %2 is no longer attached.")
                            .arg(job.number)
                            .arg(describe(job.surface)),
                        QStringLiteral("plug the surface in and run the command again."));
        return fail(Exit::TransferFailed,
                    QStringLiteral("Stage %1: the surface %2 could not be opened: %3")
                        .arg(job.number)
                        .arg(describe(job.surface), open.error),
                    QStringLiteral("unplug the surface, plug it in again and run the command again."));
    }

    if (interrupted()) {
        hid_close(open.device);
        return fail(Exit::Interrupted, QStringLiteral("Interrupted before stage %1 began.").arg(job.number),
                    QStringLiteral("nothing was written to the surface in this stage."));
    }
    reporter.step(*job.step, QStringLiteral("%1 image %2 on %3")
                                  .arg(job.action == PROGRAM ? QStringLiteral("programming") : QStringLiteral("checking"))
                                  .arg(job.number)
                                  .arg(describe(job.surface)),
                  {{QStringLiteral("device"), job.surface.path}, {QStringLiteral("serial"), job.surface.serial}});
    g_stageHandle = open.device;
    g_rowReporter = &reporter;
    CyBtldr_CommunicationsData record = core::hidTransport<&g_stageHandle, &g_transfers>();
    g_transfers.reset();
    // The reporter tells a transfer's failure, in its own channel.
    g_transfers.printFailures = false;
    reporter.startRows(*job.step, verb, job.rows, job.rowsBefore);
    int result = BL_ABORTED;
    std::thread action;
    {
        // The action's thread inherits the block; this thread takes the
        // interrupt while it waits.
        InterruptsBlocked blocked;
        action = std::thread([&]() {
            result = job.action == PROGRAM ? CyBtldr_Program(job.imagePath.constData(), &record, onRow)
                                           : CyBtldr_Verify(job.imagePath.constData(), &record, onRow);
        });
    }
    action.join();
    reporter.endRows();
    g_rowReporter = nullptr;
    g_stageHandle = nullptr;
    if ((result == BL_SUCCESS || result == BL_DEVICE_MISMATCH) && stillOpen != nullptr)
        *stillOpen = open.device;
    else
        hid_close(open.device);
    core::StageAccount account;
    account.image = job.number;
    account.verify = job.action == VERIFY;
    account.result = result;
    account.transfer = g_transfers;
    account.imageIds[0] = job.imageIds[0];
    account.imageIds[1] = job.imageIds[1];
    Outcome outcome = stageOutcome(account);
    outcome.applicationChecked = result == BL_SUCCESS && g_transfers.lastAnswered == CMD_VERIFY_CHECKSUM;
    return outcome;
}

} // namespace vireon::flash
