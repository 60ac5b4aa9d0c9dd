#include "stage_run.h"

#include "bus_watch.h"
#include "hid_transport.h"
#include "interrupt.h"
#include "result_text.h"

#include <hidapi/hidapi.h>

#include <thread>

namespace vireon::flash {
namespace {

using Clock = std::chrono::steady_clock;

// The stage's handle, bound to the transport; one stage at a time.
hid_device *g_stageHandle = nullptr;
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
        std::this_thread::sleep_for(kPollInterval);
    }
}

} // namespace

Outcome stageOutcome(int result, const StageJob &job)
{
    const bool program = job.action == PROGRAM;
    const QString again = QStringLiteral("run 'vireon-flash update FILE' again, which mends it.");
    if (result == BL_SUCCESS)
        return {};
    if (result == BL_ABORTED) {
        if (!program)
            return fail(Exit::Interrupted, QStringLiteral("Interrupted during the check of image %1.").arg(job.number),
                        QStringLiteral("nothing was changed on the surface."));
        return fail(Exit::Interrupted,
                    QStringLiteral("Interrupted while programming image %1: the surface may hold a partial image.")
                        .arg(job.number),
                    again);
    }
    const QString code = QStringLiteral("result %1").arg(result);
    if (result == -1 || (result & BL_COMM_ERROR_FLAG) != 0)
        return fail(Exit::TransferFailed,
                    QStringLiteral("Stage %1: the transfer to the surface failed (%2).").arg(job.number).arg(code),
                    QStringLiteral("keep the surface plugged in and check its cable; ") +
                        (program ? QStringLiteral("the surface may hold a partial image: ") + again
                                 : QStringLiteral("then run verify again.")));
    if (result == BL_DEVICE_MISMATCH)
        return fail(Exit::DeviceMismatch,
                    QStringLiteral("Stage %1: the surface's chip is not the one image %1 is for (silicon id or "
                                   "revision differ). Nothing was written.")
                        .arg(job.number),
                    QStringLiteral("use the firmware file made for this surface."));
    if (result >= BL_FILE_NOT_ACCESSIBLE && result <= BL_BAD_FORM)
        return fail(Exit::FileRefused,
                    QStringLiteral("Stage %1: image %1 could not be read: %2 (%3)")
                        .arg(job.number)
                        .arg(QLatin1String(core::resultMessage(result)), code),
                    QStringLiteral("check that the file is still readable, or choose another."));
    QString text;
    if ((result & BL_DEVICE_STATUS_FLAG) != 0)
        text = QStringLiteral("the bootloader answered status 0x%1").arg(result & 0xFF, 2, 16, QLatin1Char('0'));
    else if (const char *known = core::resultMessage(result))
        text = QLatin1String(known);
    else
        text = QStringLiteral("the bootloader refused");
    if (!program && result == BL_CHECKSUM_MISMATCH)
        return fail(Exit::BootloaderRefused,
                    QStringLiteral("Stage %1: the surface does not hold image %1 of the file: %2 (%3)")
                        .arg(job.number)
                        .arg(text, code),
                    QStringLiteral("run 'vireon-flash update FILE' to program it."));
    return fail(Exit::BootloaderRefused,
                QStringLiteral("Stage %1: %2 (%3)").arg(job.number).arg(text, code),
                program ? QStringLiteral("the surface may hold a partial image: ") + again
                        : QStringLiteral("run 'vireon-flash update FILE' to program it."));
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
    reporter.step(*job.stage, QStringLiteral("%1 image %2 on %3")
                                  .arg(job.action == PROGRAM ? QStringLiteral("programming") : QStringLiteral("checking"))
                                  .arg(job.number)
                                  .arg(describe(job.surface)),
                  {{QStringLiteral("device"), job.surface.path}, {QStringLiteral("serial"), job.surface.serial}});
    g_stageHandle = open.device;
    g_rowReporter = &reporter;
    CyBtldr_CommunicationsData record = core::hidTransport<&g_stageHandle>();
    reporter.startRows(*job.stage, verb, job.rows);
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
    return stageOutcome(result, job);
}

} // namespace vireon::flash
