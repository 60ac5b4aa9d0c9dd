// One stage of an update, run the same way by the window's workers and by
// vireon-flash: open the surface (trying again while it may still be
// settling), bind the HID transport to it, run the bootloader host's action
// on one image, and report what happened for the update engine, with the
// account of its cause.
//
// The host keeps its state process-wide: one stage at a time, on the
// calling thread, which it blocks for the whole action.
#ifndef VIREON_CORE_STAGE_RUNNER_H
#define VIREON_CORE_STAGE_RUNNER_H

#include "causes.h"
#include "cybtldr_api2.h"
#include "update_engine.h"

#include <hidapi/hidapi.h>

#include <chrono>
#include <functional>
#include <string>

namespace vireon::core {

struct StageJob {
    int image = 1;                   // 1 or 2
    CyBtldr_Action action = PROGRAM; // PROGRAM or VERIFY
    std::string imagePath;           // what the host reads, in the file system's encoding
    std::string devicePath;          // the surface's node; empty: the first listed
    // Until then an open that fails while the surface may be settling (its
    // node not listed yet, or not yet opened to this user) is tried again.
    std::chrono::steady_clock::time_point openUntil{};
    uint32_t imageIds[2] = {0, 0}; // the chip each image of the file is for
    bool verify = false;
    // Where the transport reads the stage's handle, and the transport record
    // bound to it (hidTransport<&slot, &record>()); the record keeps the
    // stage's transfers.
    hid_device **slot = nullptr;
    CyBtldr_CommunicationsData transport{};
    engine::TransferRecord *record = nullptr;
    // Called on the calling thread after each row the host has done.
    std::function<void(int rowsDone)> onRow;
    // Asked while the open is tried again and after each row: true stops
    // the stage (before the action, or through the host's abort).
    std::function<bool()> stop;
    // Called once the surface is open, before the action, with its handle.
    std::function<void(hid_device *)> onOpen;
};

struct StageResult {
    engine::StageReport report;
    engine::CauseAccount cause; // the account of the host's result with the record
    bool opened() const { return report.open == engine::StageReport::Open::Opened; }
};

StageResult runStage(const StageJob &job);

// Opens the surface at `devicePath` (empty: the first listed), or says why
// not in hidapi's words; a node not listed is not opened at all.
hid_device *openSurfaceNode(const std::string &devicePath, std::string *error);

// How the failed open of `devicePath` is told: the surface is not listed any
// more, this user may not open its node, or another failure.
engine::StageReport::Open openFailure(const std::string &devicePath, const std::string &error);

} // namespace vireon::core

#endif
