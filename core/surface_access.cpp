#include "surface_access.h"

#include "stage_runner.h"

#include "hid_listing.h"
#include "hidapi_lock.h"
#include "printable.h"
#include "usb_ids.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace vireon::core {

std::vector<SurfaceInfo> attachedSurfaces()
{
    std::vector<SurfaceInfo> found;
    for (const hid::ListedDevice &listed : hid::listDevices(kVendorId, kProductId)) {
        SurfaceInfo surface;
        surface.path = QString::fromLocal8Bit(listed.path.c_str());
        // As printable as the log and a terminal need it, and as the user
        // sees and types it: a device's own text may hold anything.
        surface.serial = deviceText(listed.serial.c_str());
        surface.enumeration = listed.enumeration;
        found.push_back(surface);
    }
    return found;
}

bool surfaceAttached() { return !attachedSurfaces().empty(); }

SurfaceOpen openSurface(const QByteArray &path)
{
    SurfaceOpen result;
    std::string error;
    const std::string node = path.toStdString();
    result.device = openSurfaceNode(node, &error);
    if (result.device != nullptr)
        return result;
    using Open = engine::StageReport::Open;
    const Open why = openFailure(node, error);
    result.failure = failure(why == Open::PermissionDenied ? Failure::Kind::Denied
                             : why == Open::Gone           ? Failure::Kind::Missing
                                                           : Failure::Kind::Unreadable,
                             QString::fromStdString(error), QString::fromStdString(node));
    return result;
}

QString permissionFix()
{
    return QStringLiteral("install the udev rule %1, then unplug the surface and plug it in again")
        .arg(QLatin1String(kUdevRulePath));
}

} // namespace vireon::core
