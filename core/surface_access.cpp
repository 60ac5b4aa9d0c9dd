#include "surface_access.h"

#include "hidapi_lock.h"
#include "usb_ids.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace vireon::core {

bool surfaceAttached()
{
    hid_device_info *devices = hid::enumerate(kVendorId, kProductId);
    const bool present = devices != nullptr;
    hid::freeEnumeration(devices);
    return present;
}

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
