#include "surface.h"

namespace vireon::engine {

std::string describe(const Surface &surface)
{
    return surface.path + (surface.serial.empty() ? " (no serial number)" : " (serial " + surface.serial + ")");
}

std::string describe(const Surfaces &surfaces)
{
    std::string names;
    for (const Surface &surface : surfaces)
        names += (names.empty() ? "" : ", ") + describe(surface);
    return names;
}

bool Selector::matches(const Surface &surface) const
{
    return (path.empty() || surface.path == path) && (serial.empty() || surface.serial == serial);
}

bool SurfaceIdentity::isIt(const Surface &candidate) const
{
    if (!surface.serial.empty())
        return candidate.serial == surface.serial;
    return onlySurface || candidate.path == surface.path;
}

const Surface *SurfaceIdentity::find(const Surfaces &seen) const
{
    for (const Surface &candidate : seen)
        if (isIt(candidate))
            return &candidate;
    return nullptr;
}

} // namespace vireon::engine
