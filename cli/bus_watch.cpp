#include "bus_watch.h"

#include "interrupt.h"

#include <hidapi/hidapi.h>

#include <optional>
#include <thread>

namespace vireon::flash {
namespace {

using Clock = std::chrono::steady_clock;

Clock::duration seconds(double value)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(value));
}

std::optional<SurfaceInfo> find(const RestartWatch &watch)
{
    for (const SurfaceInfo &candidate : attachedSurfaces())
        if (watch.isIt(candidate))
            return candidate;
    return std::nullopt;
}

} // namespace

SurfaceWait waitForSurface(const Selector &selector, double waitSeconds)
{
    const Clock::time_point deadline = Clock::now() + seconds(waitSeconds);
    SurfaceWait wait;
    for (;;) {
        wait.surfaces = attachedSurfaces(selector);
        if (!wait.surfaces.empty()) {
            wait.kind = SurfaceWait::Found;
            return wait;
        }
        if (interrupted()) {
            wait.kind = SurfaceWait::Interrupted;
            return wait;
        }
        if (Clock::now() >= deadline)
            return wait;
        std::this_thread::sleep_for(kPollInterval);
    }
}

bool RestartWatch::isIt(const SurfaceInfo &candidate) const
{
    if (!surface.serial.isEmpty())
        return candidate.serial == surface.serial;
    return onlySurface || candidate.path == surface.path;
}

void RestartWatch::close()
{
    if (handle != nullptr)
        hid_close(handle);
    handle = nullptr;
}

// Whether the handle has failed since the surface left the bus. The
// surface sends nothing after the exit command, so a read finds nothing.
bool handleGone(hid_device *handle)
{
    unsigned char report[65];
    return handle != nullptr && hid_read_timeout(handle, report, sizeof report, 0) < 0;
}

Return waitForReturn(RestartWatch &watch, std::chrono::milliseconds leaveGrace, double returnSeconds)
{
    struct CloseHandle {
        hid_device *&handle;
        ~CloseHandle()
        {
            if (handle != nullptr)
                hid_close(handle);
            handle = nullptr;
        }
    } closeAtEnd{watch.handle};
    Return result;
    const Clock::time_point leaveBy = Clock::now() + leaveGrace;
    std::optional<Clock::time_point> left;
    for (;;) {
        // The handle first: a surface gone and back between two listings
        // has left all the same.
        const bool handleFailed = !left && handleGone(watch.handle);
        const std::optional<SurfaceInfo> seen = find(watch);
        const Clock::time_point now = Clock::now();
        if (handleFailed)
            left = now;
        if (seen && left) {
            result.kind = Return::Back;
            result.surface = *seen;
            result.secondsAway = std::chrono::duration<double>(now - *left).count();
            return result;
        }
        if (seen && now >= leaveBy) {
            result.kind = Return::StayedOn;
            result.surface = *seen;
            return result;
        }
        if (!seen && !left)
            left = now;
        if (interrupted()) {
            result.kind = Return::Interrupted;
            return result;
        }
        if (left && now - *left > seconds(returnSeconds)) {
            result.kind = Return::Gone;
            result.secondsAway = std::chrono::duration<double>(now - *left).count();
            return result;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
}

} // namespace vireon::flash
