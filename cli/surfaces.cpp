#include "surfaces.h"

namespace vireon::flash {

bool Selector::matches(const SurfaceInfo &surface) const
{
    if (!device.isEmpty() && surface.path != device)
        return false;
    return serial.isEmpty() || surface.serial == serial;
}

std::vector<SurfaceInfo> attachedSurfaces(const Selector &selector)
{
    std::vector<SurfaceInfo> chosen;
    for (const SurfaceInfo &surface : attachedSurfaces())
        if (selector.matches(surface))
            chosen.push_back(surface);
    return chosen;
}

OpenResult openSurface(const SurfaceInfo &surface)
{
    const core::SurfaceOpen open = core::openSurface(surface.path.toLocal8Bit());
    return {open.device, open.permissionDenied, open.error};
}

QString permissionFix()
{
    return core::permissionFix() + QStringLiteral(" ('vireon-flash doctor' checks the set-up).");
}

QString describe(const SurfaceInfo &surface)
{
    return surface.serial.isEmpty() ? QStringLiteral("%1 (no serial number)").arg(surface.path)
                                    : QStringLiteral("%1 (serial %2)").arg(surface.path, surface.serial);
}

} // namespace vireon::flash
