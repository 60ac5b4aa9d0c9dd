#include "exit_codes.h"

namespace vireon::flash {

const char *exitName(Exit code)
{
    switch (code) {
    case Exit::Success:
        return "success";
    case Exit::SetupProblem:
        return "setup-problem";
    case Exit::Usage:
        return "usage";
    case Exit::FileRefused:
        return "file-refused";
    case Exit::NoSurface:
        return "no-surface";
    case Exit::PermissionDenied:
        return "permission-denied";
    case Exit::DeviceMismatch:
        return "device-mismatch";
    case Exit::BootloaderRefused:
        return "bootloader-refused";
    case Exit::TransferFailed:
        return "transfer-failed";
    case Exit::NoReturn:
        return "no-return";
    case Exit::SurfaceBusy:
        return "surface-busy";
    case Exit::NotRestarted:
        return "not-restarted";
    case Exit::Interrupted:
        return "interrupted";
    }
    return "unknown";
}

} // namespace vireon::flash
