#include "surfaces.h"

#include "hidapi_lock.h"
#include "printable.h"
#include "usb_ids.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstring>

#include <unistd.h>

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
    OpenResult result;
    const QByteArray path = surface.path.toLocal8Bit();
    result.device = core::hid::openPath(path.constData());
    if (result.device != nullptr)
        return result;
    result.error = QString::fromStdWString(core::hid::lastError());
    // hidapi puts the system's text for the failed open into its message;
    // the node's own access tells the same where there is a node.
    const QString denied = QString::fromLocal8Bit(std::strerror(EACCES));
    const QString notPermitted = QString::fromLocal8Bit(std::strerror(EPERM));
    result.permissionDenied = result.error.contains(denied) || result.error.contains(notPermitted) ||
                              (QFile::exists(surface.path) && access(path.constData(), R_OK | W_OK) != 0 &&
                               (errno == EACCES || errno == EPERM));
    return result;
}

QString permissionFix()
{
    return QStringLiteral("install the udev rule /usr/lib/udev/rules.d/70-vireon-surface.rules (the package does; "
                          "'vireon-flash doctor' checks it), then unplug the surface and plug it in again.");
}

QString describe(const SurfaceInfo &surface)
{
    return surface.serial.isEmpty() ? QStringLiteral("%1 (no serial number)").arg(surface.path)
                                    : QStringLiteral("%1 (serial %2)").arg(surface.path, surface.serial);
}

} // namespace vireon::flash
