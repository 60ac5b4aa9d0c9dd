#include "surface_access.h"

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
    hid_device_info *list = hid::enumerate(kVendorId, kProductId);
    for (const hid_device_info *info = list; info != nullptr; info = info->next) {
        SurfaceInfo surface;
        surface.path = QString::fromLocal8Bit(info->path);
        // As printable as the log and a terminal need it, and as the user
        // sees and types it: a device's own text may hold anything.
        surface.serial = deviceText(info->serial_number);
        found.push_back(surface);
    }
    hid::freeEnumeration(list);
    return found;
}

bool surfaceAttached() { return !attachedSurfaces().empty(); }

SurfaceOpen openSurface(const QByteArray &path)
{
    SurfaceOpen result;
    std::wstring whyNot;
    result.device = path.isEmpty() ? hid::open(kVendorId, kProductId, nullptr, whyNot)
                                   : hid::openPath(path.constData(), whyNot);
    if (result.device != nullptr)
        return result;
    result.error = QString::fromStdWString(whyNot);
    // hidapi puts the system's text for the failed open(2) into its message
    // (in the process's locale); the node's own access tells the same where
    // there is a node.
    result.permissionDenied =
        result.error.contains(QString::fromLocal8Bit(std::strerror(EACCES))) ||
        result.error.contains(QString::fromLocal8Bit(std::strerror(EPERM))) ||
        (!path.isEmpty() && QFile::exists(QFile::decodeName(path)) && access(path.constData(), R_OK | W_OK) != 0 &&
         (errno == EACCES || errno == EPERM));
    return result;
}

QString permissionFix()
{
    return QStringLiteral("install the udev rule %1, then unplug the surface and plug it in again")
        .arg(QLatin1String(kUdevRulePath));
}

} // namespace vireon::core
