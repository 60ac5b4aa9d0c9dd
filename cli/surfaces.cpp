#include "surfaces.h"

#include "hidapi_lock.h"
#include "printable.h"
#include "surface_access.h"
#include "usb_ids.h"

namespace vireon::flash {

bool Selector::matches(const SurfaceInfo &surface) const
{
    if (!device.isEmpty() && surface.path != device)
        return false;
    return serial.isEmpty() || surface.serial == serial;
}

std::vector<SurfaceInfo> attachedSurfaces()
{
    std::vector<SurfaceInfo> found;
    hid_device_info *list = core::hid::enumerate(core::kVendorId, core::kProductId);
    for (const hid_device_info *info = list; info != nullptr; info = info->next) {
        SurfaceInfo surface;
        surface.path = QString::fromLocal8Bit(info->path);
        // As printable as the log and a terminal need it, and as the user
        // sees and types it: a device's own text may hold anything.
        surface.serial = core::deviceText(info->serial_number);
        found.push_back(surface);
    }
    core::hid::freeEnumeration(list);
    return found;
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
