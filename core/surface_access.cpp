#include "surface_access.h"

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
    std::wstring whyNot;
    if (path.isEmpty()) {
        // The first listed, as hid_open by the ids would take, with its text
        // when there is none.
        const std::vector<hid::ListedDevice> listed = hid::listDevices(kVendorId, kProductId);
        if (listed.empty())
            whyNot = L"No HID devices with requested VID/PID found in the system.";
        else
            result.device = hid::openPath(listed.front().path.c_str(), whyNot);
    } else {
        result.device = hid::openPath(path.constData(), whyNot);
    }
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
