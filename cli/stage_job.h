// One stage of an update or verify on the command line: the core's stage
// runner on a thread of its own with interrupts blocked (so that no USB call
// is cut short by them), its rows fed to the reporter, an interrupt turned
// into the host's abort.
#ifndef VIREON_CLI_STAGE_JOB_H
#define VIREON_CLI_STAGE_JOB_H

#include "reporter.h"
#include "steps.h"

#include "stage_runner.h"
#include "update_engine.h"

#include <QByteArray>

namespace vireon::flash {

struct StageImages {
    QByteArray paths[2];     // what the host reads for each image, in the file system's encoding
    int rows[2] = {0, 0};    // each image's row lines
    uint32_t ids[2] = {0, 0}; // the chip each image is for
};

// Runs the engine's order: the stage's rows go to `reporter` under `step`,
// `rowsBefore` rows of the command done before it.
core::StageResult runStage(const engine::StageOrder &order, const StageImages &images, Reporter &reporter,
                           const Step &step, int rowsBefore);

} // namespace vireon::flash

#endif
