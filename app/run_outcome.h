// How an update run ended, in one sentence: the log's last line of the run
// and the stage line's last words are this same text, so what the user
// read on the window is what the log keeps.
#ifndef VIREON_APP_RUN_OUTCOME_H
#define VIREON_APP_RUN_OUTCOME_H

#include "failure_cause.h"

#include <QString>

namespace vireon::app::outcome {

// "Result: both images programmed." A surface that missed its exit command
// (Cause::NotRestarted in `note`) adds why, as it still runs its bootloader.
QString bothProgrammed(const core::CauseAccount &note);
// The surface could not be opened on any try.
QString notOpened();
// The first image failed; `cause` tells whether anything was written.
QString firstImageFailed(const core::CauseAccount &cause);
// Image 1 went in; the surface did not come back for image 2.
QString notBack();
// Image 1 went in; image 2 failed.
QString secondImageFailed();
// The updater was closed before image 1, or between the images.
QString closed(bool afterFirstImage);

} // namespace vireon::app::outcome

#endif
