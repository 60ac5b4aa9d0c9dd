#include "outcome.h"

namespace vireon::engine {

const char *exitName(Exit code)
{
    switch (code) {
    case Exit::Success: return "success";
    case Exit::SetupProblem: return "setup-problem";
    case Exit::Usage: return "usage";
    case Exit::FileRefused: return "file-refused";
    case Exit::NoSurface: return "no-surface";
    case Exit::PermissionDenied: return "permission-denied";
    case Exit::DeviceMismatch: return "device-mismatch";
    case Exit::BootloaderRefused: return "bootloader-refused";
    case Exit::TransferFailed: return "transfer-failed";
    case Exit::NoReturn: return "no-return";
    case Exit::NotRestarted: return "not-restarted";
    case Exit::SurfaceBusy: return "surface-busy";
    case Exit::Interrupted: return "interrupted";
    }
    return "unknown";
}

const char *endingName(Ending ending)
{
    switch (ending) {
    case Ending::Programmed: return "Programmed";
    case Ending::Verified: return "Verified";
    case Ending::FileRefused: return "FileRefused";
    case Ending::NoSurface: return "NoSurface";
    case Ending::Busy: return "Busy";
    case Ending::NoLock: return "NoLock";
    case Ending::NotOpened: return "NotOpened";
    case Ending::FirstImageFailed: return "FirstImageFailed";
    case Ending::NotRestarted: return "NotRestarted";
    case Ending::NotBack: return "NotBack";
    case Ending::SecondImageFailed: return "SecondImageFailed";
    case Ending::Stopped: return "Stopped";
    }
    return "?";
}

} // namespace vireon::engine
