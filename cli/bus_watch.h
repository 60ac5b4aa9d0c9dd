// Watching the bus between the steps of an update: waiting for a surface
// to be attached, and, after a stage, for the surface to leave the bus as
// it restarts and to come back. The bus is listed every kPollInterval; an
// interrupt ends any wait within one interval.
#ifndef VIREON_CLI_BUS_WATCH_H
#define VIREON_CLI_BUS_WATCH_H

#include "surfaces.h"
#include "timing.h"

#include <chrono>
#include <vector>

namespace vireon::flash {

constexpr std::chrono::milliseconds kPollInterval{50};
// A surface still on the bus this long after its stage is taken as back,
// as the window takes it after its pause: it restarted in place.
constexpr std::chrono::milliseconds kLeaveGrace = core::kRestartAllowance;

struct SurfaceWait {
    enum Kind { Found, TimedOut, Interrupted } kind = TimedOut;
    std::vector<SurfaceInfo> surfaces; // for Found: every matching surface
};

// Until a surface matching `selector` is attached, at most `seconds` (0:
// look once).
SurfaceWait waitForSurface(const Selector &selector, double seconds);

// Which surface to watch across its restart. Its hidraw path may change as
// it comes back, so a serial number identifies it when it has one; with
// none, its path does, or any surface when it was the only one attached.
//
// The stage's handle, kept open across the restart, fails for good once
// the surface has left the bus, so an absence shorter than the time
// between two listings is not missed.
struct RestartWatch {
    SurfaceInfo surface;
    bool onlySurface = false;
    hid_device *handle = nullptr; // the stage's handle, or null

    bool isIt(const SurfaceInfo &candidate) const;
    // Closes the stage's handle that no wait took.
    void close();
};

struct Return {
    enum Kind { Back, StayedOn, Gone, Interrupted } kind = Gone;
    SurfaceInfo surface;     // for Back and StayedOn: the surface as it is now
    double secondsAway = 0;  // from leaving the bus to coming back
};

// Waits until the surface has left the bus and come back. It is back when
// it has not left within `leaveGrace` (StayedOn); it is Gone when it stayed
// away longer than `returnSeconds` after leaving.
// Closes the watch's handle (and sets it to null) before it returns.
Return waitForReturn(RestartWatch &watch, std::chrono::milliseconds leaveGrace, double returnSeconds);

} // namespace vireon::flash

#endif
