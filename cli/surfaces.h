// The surfaces on the bus, as the core lists them, and how one is chosen
// and opened. Every process-wide hidapi call goes through the shared lock.
#ifndef VIREON_CLI_SURFACES_H
#define VIREON_CLI_SURFACES_H

#include "surface_access.h"

#include <QString>

#include <vector>

namespace vireon::flash {

using core::SurfaceInfo;
using core::attachedSurfaces;

// --device or --serial; both empty: any surface.
struct Selector {
    QString device;
    QString serial;

    bool any() const { return device.isEmpty() && serial.isEmpty(); }
    bool matches(const SurfaceInfo &surface) const;
};

// The attached surfaces the selector matches, by node number.
std::vector<SurfaceInfo> attachedSurfaces(const Selector &selector);

// Opens the surface at its path.
core::SurfaceOpen openSurface(const SurfaceInfo &surface);

// What to do when this user may not open a surface.
QString permissionFix();

// "/dev/hidraw3 (serial 0042)" or "/dev/hidraw3 (no serial number)".
QString describe(const SurfaceInfo &surface);

} // namespace vireon::flash

#endif
