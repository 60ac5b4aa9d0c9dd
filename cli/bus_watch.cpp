#include "bus_watch.h"

#include "interrupt.h"

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

Return waitForReturn(const RestartWatch &watch, std::chrono::milliseconds leaveGrace, double returnSeconds)
{
    Return result;
    const Clock::time_point leaveBy = Clock::now() + leaveGrace;
    std::optional<Clock::time_point> left;
    for (;;) {
        const std::optional<SurfaceInfo> seen = find(watch);
        const Clock::time_point now = Clock::now();
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
