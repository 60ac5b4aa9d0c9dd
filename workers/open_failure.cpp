#include "open_failure.h"

#include <QLatin1String>

#include "surface_access.h"

namespace vireon::workers {

QStringList openFailureLines(const QString &hidError, bool permissionDenied)
{
    QStringList lines{QStringLiteral("HID error: %1").arg(hidError)};
    if (permissionDenied)
        lines << QStringLiteral("The surface's device node is not open to this user. Install the udev rule %1, "
                                "then unplug and re-plug the surface.")
                     .arg(QLatin1String(core::kUdevRulePath));
    return lines;
}

} // namespace vireon::workers
