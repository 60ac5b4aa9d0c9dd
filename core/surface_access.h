// Finding and opening a surface, for the window, its workers and the
// command line alike: whether one is attached, opening one with the reason
// it could not be opened (hidapi's text, read under the same hold of the
// lock as the open, before another thread's call replaces it), and what to
// do when this user may not open it.
#ifndef VIREON_CORE_SURFACE_ACCESS_H
#define VIREON_CORE_SURFACE_ACCESS_H

#include <hidapi/hidapi.h>

#include "failure.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace vireon::core {

// Where the udev rule that opens the surface's node to its users is installed.
constexpr const char *kUdevRulePath = "/usr/lib/udev/rules.d/70-vireon-surface.rules";

struct SurfaceInfo {
    QString path;   // the device's node, which hid_open_path opens (/dev/hidrawN)
    QString serial; // empty when the surface reports none; controls escaped, cut when absurdly long
    uint64_t enumeration = 0; // changes at every enumeration (hid_listing.h); 0 unknown
};

// Every attached surface, by the number of its node (/dev/hidraw2 before
// /dev/hidraw10); the first is the one an open by the USB ids takes.
std::vector<SurfaceInfo> attachedSurfaces();

// True when a surface is on the bus.
bool surfaceAttached();

// The open device, or why there is none: the failure's reason is hidapi's
// text, its kind Denied when the node is there but not this user's,
// Missing when no such surface is on the bus.
struct SurfaceOpen {
    hid_device *device = nullptr;
    Failure failure;
    bool ok() const { return device != nullptr; }
};

// Opens the surface at `path`, or with an empty path the first attached
// surface. With none attached, the reason is hidapi's for an open by ids
// that finds none: "No HID devices with requested VID/PID found in the
// system."
SurfaceOpen openSurface(const QByteArray &path = QByteArray());

// "install the udev rule /usr/lib/udev/rules.d/70-vireon-surface.rules, then
// unplug the surface and plug it in again"
QString permissionFix();

} // namespace vireon::core

#endif
