#include "stage_job.h"

#include "hid_transport.h"
#include "interrupt.h"

#include <thread>

namespace vireon::flash {
namespace {

using Clock = std::chrono::steady_clock;

// The stage's handle and the record of its transfers, bound to the
// transport; one stage at a time.
hid_device *g_stageHandle = nullptr;
engine::TransferRecord g_transfers;

Clock::time_point onClock(engine::Millis when)
{
    return Clock::time_point(std::chrono::duration_cast<Clock::duration>(when));
}

} // namespace

core::StageResult runStage(const engine::StageOrder &order, const StageImages &images, Reporter &reporter,
                           const Step &step, int rowsBefore)
{
    const int index = order.image - 1;
    core::StageJob job;
    job.image = order.image;
    job.action = order.verify ? VERIFY : PROGRAM;
    job.verify = order.verify;
    job.imagePath = images.paths[index].toStdString();
    job.devicePath = order.surface.path;
    job.openUntil = onClock(order.openUntil);
    job.imageIds[0] = images.ids[0];
    job.imageIds[1] = images.ids[1];
    job.slot = &g_stageHandle;
    job.transport = core::hidTransport<&g_stageHandle, &g_transfers>();
    job.record = &g_transfers;
    // The reporter tells a transfer's failure, in its own channel.
    g_transfers.printFailures = false;
    job.stop = interrupted;
    job.onOpen = [&](hid_device *) {
        reporter.step(step, QStringLiteral("%1 image %2 on %3")
                                .arg(order.verify ? QStringLiteral("checking") : QStringLiteral("programming"))
                                .arg(order.image)
                                .arg(QString::fromStdString(engine::describe(order.surface))),
                      {{QStringLiteral("device"), QString::fromStdString(order.surface.path)},
                       {QStringLiteral("serial"), QString::fromStdString(order.surface.serial)}});
        reporter.startRows(step, order.verify ? "verify" : "program", images.rows[index], rowsBefore);
    };
    job.onRow = [&reporter](int) { reporter.row(); };
    core::StageResult result;
    std::thread action;
    {
        // The action's thread inherits the block; this thread takes the
        // interrupt while it waits.
        InterruptsBlocked blocked;
        action = std::thread([&]() { result = core::runStage(job); });
    }
    action.join();
    if (result.opened())
        reporter.endRows();
    return result;
}

} // namespace vireon::flash
