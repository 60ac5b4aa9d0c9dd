// The surfaces on the bus, as hidapi lists them, and how one is chosen and
// opened. Every process-wide hidapi call goes through the shared lock.
#ifndef VIREON_CLI_SURFACES_H
#define VIREON_CLI_SURFACES_H

#include <QString>

#include <vector>

typedef struct hid_device_ hid_device;

namespace vireon::flash {

struct SurfaceInfo {
    QString path;   // hidapi's device path (/dev/hidrawN on Linux)
    QString serial; // empty when the surface reports none; controls escaped, cut when absurdly long
};

// --device or --serial; both empty: any surface.
struct Selector {
    QString device;
    QString serial;

    bool any() const { return device.isEmpty() && serial.isEmpty(); }
    bool matches(const SurfaceInfo &surface) const;
};

// Every attached surface, in hidapi's order.
std::vector<SurfaceInfo> attachedSurfaces();
std::vector<SurfaceInfo> attachedSurfaces(const Selector &selector);

struct OpenResult {
    hid_device *device = nullptr; // null when the open failed
    bool permissionDenied = false;
    QString error; // hidapi's text for a failed open
};

// Opens the surface at its path.
OpenResult openSurface(const SurfaceInfo &surface);

// What to do when this user may not open a surface.
QString permissionFix();

// "/dev/hidraw3 (serial 0042)" or "/dev/hidraw3 (no serial number)".
QString describe(const SurfaceInfo &surface);

} // namespace vireon::flash

#endif
