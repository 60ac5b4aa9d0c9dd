#include "surfaces.h"

#include "surface.h"

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

core::SurfaceOpen openSurface(const SurfaceInfo &surface) { return core::openSurface(surface.path.toLocal8Bit()); }

QString permissionFix()
{
    return core::permissionFix() + QStringLiteral(" ('vireon-flash doctor' checks the set-up).");
}

QString describe(const SurfaceInfo &surface)
{
    return QString::fromStdString(engine::describe(engine::Surface{surface.path.toStdString(), surface.serial.toStdString()}));
}

} // namespace vireon::flash
