#include "kept_surfaces.h"

#include "surface_identity.h"
#include "surface_state.h"

#include <QStringList>

namespace vireon::demo {

using SystemClock = std::chrono::system_clock;
using SteadyClock = std::chrono::steady_clock;

struct KeptSurfaces::Kept {
    sim::SurfaceOptions options;
    std::vector<sim::Fault> faults;
    std::string file;                     // empty: it forgets
    std::unique_ptr<sim::Bootloader> flash; // as loaded
    sim::OffBusUntil offBusUntil;         // still restarting from an earlier run
    std::shared_ptr<sim::Surface> surface; // once attached
};

KeptSurfaces::KeptSurfaces(std::string stateDir) : stateDir_(std::move(stateDir)) {}

KeptSurfaces::~KeptSurfaces() { stop(); }

QString KeptSurfaces::add(const sim::SurfaceOptions &options, std::vector<sim::Fault> faults,
                          std::chrono::milliseconds delay)
{
    Kept &surface = kept_.emplace_back();
    surface.options = options;
    surface.faults = std::move(faults);
    // A surface its scenario names no serial number for reports one of its
    // own, so that it shares its lock with no other process's surface; its
    // state file keeps the name it had before ("surface.state").
    if (options.serialNumber.empty())
        surface.options.serialNumber = sim::ownSerialNumber(stateDir_);
    if (!stateDir_.empty()) {
        surface.flash = std::make_unique<sim::Bootloader>(options.targets);
        surface.file = stateDir_ + '/' + sim::stateFileName(options.serialNumber);
        const std::string refused = sim::loadSurfaceState(surface.file, *surface.flash, &surface.offBusUntil);
        if (!refused.empty()) {
            surface.file.clear(); // its file stays as it is
            return QString::fromStdString(refused);
        }
    }
    SystemClock::time_point at = SystemClock::now() + delay;
    if (surface.offBusUntil && *surface.offBusUntil > at)
        at = *surface.offBusUntil;
    if (at <= SystemClock::now()) {
        plugIn(surface);
        return {};
    }
    waiting_.emplace_back([this, &surface, at]() {
        std::unique_lock<std::mutex> hold(mutex_);
        if (!wake_.wait_until(hold, at, [this]() { return stopping_; }))
            plugIn(surface);
    });
    return {};
}

void KeptSurfaces::plugIn(Kept &surface)
{
    surface.surface = sim::Bus::instance().attach(surface.options);
    if (surface.flash) {
        const auto hold = surface.surface->lock();
        sim::copySurfaceState(*surface.flash, surface.surface->device());
    }
    for (const sim::Fault &fault : surface.faults)
        surface.surface->addFault(fault);
    surface.offBusUntil.reset();
}

void KeptSurfaces::stop()
{
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread &thread : waiting_)
        thread.join();
    waiting_.clear();
}

QString KeptSurfaces::save()
{
    stop();
    QStringList failed;
    for (Kept &surface : kept_) {
        if (surface.file.empty())
            continue;
        std::string reason;
        if (!surface.surface) { // never came on the bus in this run
            reason = sim::saveSurfaceState(surface.file, *surface.flash, surface.offBusUntil);
        } else {
            const auto hold = surface.surface->lock();
            sim::OffBusUntil until;
            const auto back = surface.surface->returnsAt();
            if (!surface.surface->onBus() && back && *back > SteadyClock::now())
                until = SystemClock::now() +
                        std::chrono::duration_cast<SystemClock::duration>(*back - SteadyClock::now());
            reason = sim::saveSurfaceState(surface.file, surface.surface->device(), until);
        }
        if (!reason.empty())
            failed << QString::fromStdString(reason);
    }
    return failed.join(QLatin1Char('\n'));
}

} // namespace vireon::demo
