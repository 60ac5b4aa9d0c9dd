#include "bus_watch.h"

#include <hidapi/hidapi.h>

#include <thread>

namespace vireon::core {
namespace {

using Clock = std::chrono::steady_clock;

std::optional<SurfaceInfo> find(const RestartWatch &watch)
{
    for (const SurfaceInfo &candidate : attachedSurfaces())
        if (watch.isIt(candidate))
            return candidate;
    return std::nullopt;
}

// Whether the handle has failed since the surface left the bus. The
// surface sends nothing after the exit command, so a read finds nothing.
bool handleGone(hid_device *handle)
{
    unsigned char report[65];
    return handle != nullptr && hid_read_timeout(handle, report, sizeof report, 0) < 0;
}

double secondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

} // namespace

SurfaceWait waitForSurface(const std::function<bool(const SurfaceInfo &)> &wanted, Clock::duration limit,
                           const std::function<bool()> &stop)
{
    const Clock::time_point deadline = Clock::now() + limit;
    SurfaceWait wait;
    for (;;) {
        wait.surfaces.clear();
        for (const SurfaceInfo &surface : attachedSurfaces())
            if (wanted(surface))
                wait.surfaces.push_back(surface);
        if (!wait.surfaces.empty()) {
            wait.kind = SurfaceWait::Found;
            return wait;
        }
        if (stop()) {
            wait.kind = SurfaceWait::Interrupted;
            return wait;
        }
        if (Clock::now() >= deadline)
            return wait;
        std::this_thread::sleep_for(kBusPollInterval);
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

std::optional<RestartWatch> watchFirstSurface(hid_device *handle)
{
    const std::vector<SurfaceInfo> attached = attachedSurfaces();
    RestartWatch watch{attached.empty() ? SurfaceInfo() : attached.front(), attached.size() == 1, handle};
    if (attached.empty()) {
        watch.close();
        return std::nullopt;
    }
    return watch;
}

ReturnWatch::ReturnWatch(RestartWatch &watch, Clock::duration leaveGrace, Clock::duration returnLimit)
    : watch_(watch), leaveBy_(Clock::now() + leaveGrace), returnLimit_(returnLimit)
{
}

ReturnWatch::~ReturnWatch() { watch_.close(); }

const Return &ReturnWatch::look()
{
    if (result_.kind != Return::Waiting)
        return result_;
    // The handle first: a surface gone and back between two looks has left
    // all the same.
    const bool handleFailed = !left_ && handleGone(watch_.handle);
    const std::optional<SurfaceInfo> seen = find(watch_);
    const Clock::time_point now = Clock::now();
    if (handleFailed)
        left_ = now;
    if (seen && left_) {
        result_.kind = Return::Back;
        result_.surface = *seen;
        result_.secondsAway = secondsBetween(*left_, now);
    } else if (seen && now >= leaveBy_) {
        result_.kind = Return::StayedOn;
        result_.surface = *seen;
    } else {
        if (!seen && !left_)
            left_ = now;
        if (left_ && now - *left_ > returnLimit_) {
            result_.kind = Return::Gone;
            result_.secondsAway = secondsBetween(*left_, now);
        }
    }
    if (result_.kind != Return::Waiting)
        watch_.close();
    return result_;
}

Return waitForReturn(RestartWatch &watch, Clock::duration leaveGrace, Clock::duration returnLimit,
                     const std::function<bool()> &stop)
{
    ReturnWatch looking(watch, leaveGrace, returnLimit);
    for (;;) {
        Return seen = looking.look();
        if (seen.kind != Return::Waiting)
            return seen;
        if (stop()) {
            seen.kind = Return::Interrupted;
            return seen;
        }
        std::this_thread::sleep_for(kBusPollInterval);
    }
}

} // namespace vireon::core
