// One stage of an update or verify: open the chosen surface, run the
// bootloader host's action on one image through the HID transport, and
// turn its result code into an outcome with an exit code. The action runs
// on a thread of its own with interrupts blocked; its per-row callback
// feeds the reporter.
#ifndef VIREON_CLI_STAGE_JOB_H
#define VIREON_CLI_STAGE_JOB_H

#include "exit_codes.h"
#include "reporter.h"
#include "steps.h"
#include "surfaces.h"

#include "cybtldr_api2.h"

#include <QByteArray>

#include <chrono>

namespace vireon::flash {

struct StageJob {
    const Step *step = &step::Stage1; // what it reports under: stage 1 or stage 2
    int number = 1;                  // which image: 1 or 2
    CyBtldr_Action action = PROGRAM; // PROGRAM or VERIFY
    QByteArray imagePath;            // the image file, in the file system's encoding
    int rows = 0;                    // row lines in the image
    int rowsBefore = 0;              // rows of the images before this one, for the overall progress
    SurfaceInfo surface;
    // A surface that has just come back may refuse opens until udev has
    // given its new node this user's access: keep trying this long.
    std::chrono::milliseconds openSettle{0};
    uint32_t imageIds[2] = {0, 0}; // the silicon id each image of the file is for
};

// With `stillOpen`, a stage that ended with the surface's restart (success,
// or a chip that is not the image's) hands its device handle over instead of
// closing it, for the watch of that restart.
Outcome runStage(const StageJob &job, Reporter &reporter, hid_device **stillOpen = nullptr);

// The outcome of a stage from its account (the host's result code read with
// the transport's record): the exit code and fix for the account's cause.
Outcome stageOutcome(const core::StageAccount &account);

} // namespace vireon::flash

#endif
