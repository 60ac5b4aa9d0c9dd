// The command's exit codes, one per way an update ends. Scripts rely on
// them; vireon-flash.1 documents each. Never renumber.
#ifndef VIREON_CLI_EXIT_CODES_H
#define VIREON_CLI_EXIT_CODES_H

#include <QString>

#include "failure_cause.h"

namespace vireon::flash {

enum class Exit : int {
    Success = 0,
    SetupProblem = 1,      // doctor: at least one check did not hold; no temporary folder for the images
    Usage = 2,             // bad options or arguments, or several surfaces and none chosen
    FileRefused = 3,       // the firmware file fails its check (image, line, reason)
    NoSurface = 4,         // no surface attached (or none with the chosen path or serial)
    PermissionDenied = 5,  // the surface is there but this user may not open it
    DeviceMismatch = 6,    // the chip's silicon id or revision is not the image's
    BootloaderRefused = 7, // the bootloader refused a command, or a checksum is wrong
    TransferFailed = 8,    // a report could not be written or read (unplugged, silent)
    NoReturn = 9,          // the surface did not come back after its restart
    NotRestarted = 10,     // the surface did not restart into its second chip after image 1
    SurfaceBusy = 11,      // another updater (window or command line) is updating the same surface
    Interrupted = 130,     // Ctrl-C (or SIGTERM)
};

// A short stable name for scripts: "transfer-failed", ...
const char *exitName(Exit code);

// How a command ended: the exit code, a sentence for the user and, for a
// failure, what to do about it.
struct Outcome {
    Exit code = Exit::Success;
    QString message;
    QString fix;
    // For a stage: the cause its account names (a success may carry one,
    // with a note in `message`).
    core::Cause cause = core::Cause::None;
    // For a stage that ended well: the surface's application check was made
    // and matched (its bootloader may be too old for one).
    bool applicationChecked = false;

    bool ok() const { return code == Exit::Success; }
};

} // namespace vireon::flash

#endif
