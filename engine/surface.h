// A surface as one look at the bus saw it, and the choice of one among
// several. Plain values: the front end lists the bus, the engine compares.
#ifndef VIREON_ENGINE_SURFACE_H
#define VIREON_ENGINE_SURFACE_H

#include <cstdint>
#include <string>
#include <vector>

namespace vireon::engine {

struct Surface {
    std::string path;   // its device node, which an open takes (/dev/hidrawN)
    std::string serial; // empty when the surface reports none; printable
    // A number that changes every time the surface is enumerated (the USB
    // device number): a surface that restarted between two looks has
    // another one, though no look saw it away. 0 when the bus gives none.
    uint64_t enumeration = 0;

    bool operator==(const Surface &other) const
    {
        return path == other.path && serial == other.serial && enumeration == other.enumeration;
    }
};

using Surfaces = std::vector<Surface>;

// "/dev/hidraw3 (serial 0042)" or "/dev/hidraw3 (no serial number)".
std::string describe(const Surface &surface);
// "/dev/hidraw3 (serial 0042), /dev/hidraw4 (no serial number)".
std::string describe(const Surfaces &surfaces);

// The surface a user picked by its path or its serial number; both empty:
// any surface.
struct Selector {
    std::string path;
    std::string serial;

    bool any() const { return path.empty() && serial.empty(); }
    bool matches(const Surface &surface) const;
};

// Which surface is the one being updated, across its restarts. Its node may
// change as it comes back, so a serial number identifies it when it has
// one; with none, its path does, or any surface when it was the only one
// attached.
struct SurfaceIdentity {
    Surface surface;
    bool onlySurface = false;

    bool isIt(const Surface &candidate) const;
    // The first surface of `seen` that is it; null when none is.
    const Surface *find(const Surfaces &seen) const;
};

} // namespace vireon::engine

#endif
