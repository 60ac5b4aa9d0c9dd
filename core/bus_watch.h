// Watching the bus between the steps of an update, for the window and the
// command line alike: waiting for a surface to be attached, and, after a
// stage, for the surface to leave the bus as it restarts and to come back.
// Each watch is a series of looks at the bus: the command line looks every
// kBusPollInterval on its own thread, the window looks between events so
// that its event loop goes on.
#ifndef VIREON_CORE_BUS_WATCH_H
#define VIREON_CORE_BUS_WATCH_H

#include "surface_access.h"
#include "timing.h"

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace vireon::core {

struct SurfaceWait {
    enum Kind { Found, TimedOut, Interrupted } kind = TimedOut;
    std::vector<SurfaceInfo> surfaces; // for Found: every wanted surface
};

// Until a surface that `wanted` accepts is attached, at most `limit` (0:
// look once); `stop` ends the wait early (Interrupted).
SurfaceWait waitForSurface(const std::function<bool(const SurfaceInfo &)> &wanted,
                           std::chrono::steady_clock::duration limit, const std::function<bool()> &stop);

// Which surface to watch across its restart. Its hidraw path may change as
// it comes back, so a serial number identifies it when it has one; with
// none, its path does, or any surface when it was the only one attached.
//
// The stage's handle, kept open across the restart, fails for good once
// the surface has left the bus, so an absence shorter than the time
// between two looks is not missed.
struct RestartWatch {
    SurfaceInfo surface;
    bool onlySurface = false;
    hid_device *handle = nullptr; // the stage's handle, or null

    bool isIt(const SurfaceInfo &candidate) const;
    // Closes the stage's handle that no watch took.
    void close();
};

// The surface a stage opened by the USB ids (the first attached), with the
// stage's `handle` (taken over, may be null); none when no surface is
// attached any more (then the handle is closed).
std::optional<RestartWatch> watchFirstSurface(hid_device *handle);

struct Return {
    enum Kind { Waiting, Back, StayedOn, Gone, Interrupted } kind = Waiting;
    SurfaceInfo surface;    // for Back and StayedOn: the surface as it is now
    double secondsAway = 0; // from leaving the bus to coming back
};

// One watch of a restart, a look at a time. The surface is back when it has
// not left within `leaveGrace` (StayedOn); it is Gone when it stayed away
// longer than `returnLimit` after leaving. The watch's handle is closed
// (and set to null) once the outcome is known, and at the latest when this
// object ends.
class ReturnWatch {
public:
    ReturnWatch(RestartWatch &watch, std::chrono::steady_clock::duration leaveGrace,
                std::chrono::steady_clock::duration returnLimit);
    ~ReturnWatch();
    ReturnWatch(const ReturnWatch &) = delete;
    ReturnWatch &operator=(const ReturnWatch &) = delete;

    // Looks at the bus once; Waiting until the outcome is known, then that
    // outcome at every look.
    const Return &look();

private:
    using Clock = std::chrono::steady_clock;
    RestartWatch &watch_;
    Clock::time_point leaveBy_;
    Clock::duration returnLimit_;
    std::optional<Clock::time_point> left_;
    Return result_;
};

// A whole watch, looking every kBusPollInterval; `stop` ends it early
// (Interrupted).
Return waitForReturn(RestartWatch &watch, std::chrono::steady_clock::duration leaveGrace,
                     std::chrono::steady_clock::duration returnLimit, const std::function<bool()> &stop);

} // namespace vireon::core

#endif
