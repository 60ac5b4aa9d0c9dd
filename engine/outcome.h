// How an update ends, in the words every front end shows: what happened,
// what to do about it, the command line's exit code and the log's last
// line. The engine decides it; the window shows it in a box, vireon-flash
// prints it and exits with its code, the browser page shows it on the page.
#ifndef VIREON_ENGINE_OUTCOME_H
#define VIREON_ENGINE_OUTCOME_H

#include "causes.h"

#include <string>

namespace vireon::engine {

// vireon-flash's exit codes, one per way an update ends. Scripts rely on
// them, and its manual page documents each: never renumber.
enum class Exit : int {
    Success = 0,
    SetupProblem = 1,      // doctor: a check did not hold; no temporary folder for the images
    Usage = 2,             // bad options or arguments, or several surfaces and none chosen
    FileRefused = 3,       // the firmware file fails its check (image, line, reason) or its signature
    NoSurface = 4,         // no surface attached (or none with the chosen path or serial)
    PermissionDenied = 5,  // the surface is there but this user may not open it
    DeviceMismatch = 6,    // the chip's silicon id is not the image's
    BootloaderRefused = 7, // the bootloader refused a command, or a checksum is wrong
    TransferFailed = 8,    // a report could not be written or read (unplugged, silent)
    NoReturn = 9,          // the surface did not come back after its restart
    NotRestarted = 10,     // the surface did not restart into its second chip after image 1
    SurfaceBusy = 11,      // another updater is updating the same surface
    Interrupted = 130,     // Ctrl-C (or SIGTERM), or the updater was closed
};

// A short stable name for scripts: "transfer-failed", ...
const char *exitName(Exit code);

// Which end a run came to, for a front end that words each end its own way
// (the window's box texts).
enum class Ending {
    Programmed,        // both images programmed (with a note when the surface did not restart)
    Verified,          // both images compared and found equal
    FileRefused,       // the file or its signature was refused; nothing reached the surface
    NoSurface,         // no surface to update (none attached, or several and none chosen)
    Busy,              // another updater is updating the surface
    NoLock,            // the surface's lock cannot be made here: a problem of the set-up
    NotOpened,         // the surface could not be opened for image 1
    FirstImageFailed,  // image 1 failed
    NotRestarted,      // image 1 is in, but the surface did not restart into its second chip
    NotBack,           // the surface left the bus and did not come back
    SecondImageFailed, // image 1 is in, image 2 failed
    Stopped,           // interrupted, or the updater was closed
};

const char *endingName(Ending ending);

// What a verify compared and found equal: every row's checksum, and the
// surface's own check of each image where its bootloader makes one.
struct Checks {
    bool rows = false;
    bool application[2] = {false, false};
};

struct Outcome {
    Ending ending = Ending::Programmed;
    Exit code = Exit::Success;
    Cause cause = Cause::None; // the stage's cause, where a stage's account decided the end
    int stage = 0;             // the stage whose account `message` is (1 or 2); 0: the run's own words
    std::string message;       // what happened, one or two sentences
    std::string fix;           // what to do about it, begun in lower case; empty for a plain success
    std::string result;        // the log's last line of the run: "Result: ..."
    Checks checks;             // a verify that found no difference: what matched

    bool success() const { return code == Exit::Success; }
};

} // namespace vireon::engine

#endif
