#include "stage_runner.h"

#include "hid_listing.h"
#include "hidapi_lock.h"
#include "timing.h"
#include "usb_ids.h"
#include "wide_text.h"

#include <cerrno>
#include <cstring>
#include <thread>

#include <unistd.h>

namespace vireon::core {
namespace {

using Clock = std::chrono::steady_clock;

// The host's row callback carries no context: the stage binds itself to its
// thread for the length of its action.
thread_local const StageJob *t_job = nullptr;
thread_local int t_rows = 0;

void onHostRow(uint8_t, uint16_t)
{
    if (t_job == nullptr)
        return;
    ++t_rows;
    if (t_job->onRow)
        t_job->onRow(t_rows);
    // The host clears its abort flag as its action starts: a stop asked for
    // before that is asked for again here, before the next row.
    if (t_job->stop && t_job->stop())
        CyBtldr_Abort();
}


bool listed(const std::string &path)
{
    for (const hid::ListedDevice &device : hid::listDevices(kVendorId, kProductId))
        if (path.empty() || device.path == path)
            return true;
    return false;
}

} // namespace

hid_device *openSurfaceNode(const std::string &path, std::string *error)
{
    std::wstring whyNot;
    hid_device *device = nullptr;
    if (!path.empty() && !listed(path)) {
        // Not on the bus (yet, or any more): not opened at all, as the
        // system's hidapi would fail it.
        *error = "Failed to open a device with path '" + path + "': " + std::strerror(ENOENT);
        return nullptr;
    }
    if (path.empty()) {
        // The first listed, as an open by the USB ids would take, with its
        // words when there is none.
        const std::vector<hid::ListedDevice> all = hid::listDevices(kVendorId, kProductId);
        if (all.empty())
            whyNot = L"No HID devices with requested VID/PID found in the system.";
        else
            device = hid::openPath(all.front().path.c_str(), whyNot);
    } else {
        device = hid::openPath(path.c_str(), whyNot);
    }
    *error = utf8(whyNot);
    return device;
}

engine::StageReport::Open openFailure(const std::string &devicePath, const std::string &error)
{
    using Open = engine::StageReport::Open;
    if (!listed(devicePath))
        return Open::Gone;
    // hidapi puts the system's words for the failed open(2) into its
    // message; the node's own access tells the same where there is a node.
    const bool denied = error.find(std::strerror(EACCES)) != std::string::npos ||
                        error.find(std::strerror(EPERM)) != std::string::npos ||
                        (!devicePath.empty() && ::access(devicePath.c_str(), F_OK) == 0 &&
                         ::access(devicePath.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM));
    return denied ? Open::PermissionDenied : Open::Failed;
}

StageResult runStage(const StageJob &job)
{
    StageResult out;
    engine::StageReport &report = out.report;
    hid_device *device = nullptr;
    for (;;) {
        if (job.stop && job.stop()) {
            report.open = engine::StageReport::Open::Stopped;
            return out;
        }
        device = openSurfaceNode(job.devicePath, &report.openError);
        if (device != nullptr)
            break;
        report.open = openFailure(job.devicePath, report.openError);
        // A node in transition: not listed yet, or not yet this user's.
        const bool settling = report.open != engine::StageReport::Open::Failed;
        if (!settling || Clock::now() >= job.openUntil)
            return out;
        std::this_thread::sleep_for(kBusPollInterval);
    }
    report.open = engine::StageReport::Open::Opened;
    report.openError.clear();
    if (job.onOpen)
        job.onOpen(device);

    *job.slot = device;
    job.record->reset();
    CyBtldr_CommunicationsData transport = job.transport;
    t_job = &job;
    t_rows = 0;
    report.result = job.action == PROGRAM ? CyBtldr_Program(job.imagePath.c_str(), &transport, onHostRow)
                                          : CyBtldr_Verify(job.imagePath.c_str(), &transport, onHostRow);
    report.rowsDone = t_rows;
    t_job = nullptr;
    // Every action ends with the exit command, after which the surface
    // restarts: the handle is of no further use.
    *job.slot = nullptr;
    hid_close(device);
    report.transfer = *job.record;

    engine::StageAccount account;
    account.image = job.image;
    account.verify = job.verify;
    account.result = report.result;
    account.transfer = report.transfer;
    account.imageIds[0] = job.imageIds[0];
    account.imageIds[1] = job.imageIds[1];
    out.cause = engine::accountFor(account);
    return out;
}

} // namespace vireon::core
