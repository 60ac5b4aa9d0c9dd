// The simulated bus's registry: the surfaces attached to it, in the order
// they were attached, and the control API tests and the demo drive it with.
#include "hidsim_internal.h"

namespace vireon::sim {
namespace {

struct BusState {
    mutable std::mutex mutex;
    std::vector<std::shared_ptr<SurfaceImpl>> surfaces;
    int nextIndex = 0;
    std::atomic<int> enumerations{0};
};

BusState &busState()
{
    static BusState state;
    return state;
}

std::shared_ptr<SurfaceImpl> impl(const std::shared_ptr<Surface> &surface)
{
    return std::dynamic_pointer_cast<SurfaceImpl>(surface);
}

} // namespace

std::vector<std::shared_ptr<SurfaceImpl>> presentSurfaces(unsigned short vid, unsigned short pid)
{
    BusState &bus = busState();
    std::lock_guard<std::mutex> guard(bus.mutex);
    std::vector<std::shared_ptr<SurfaceImpl>> out;
    for (const auto &s : bus.surfaces)
        if ((vid == 0 || vid == kVendorId) && (pid == 0 || pid == kProductId) && s->onBus())
            out.push_back(s);
    return out;
}

void countEnumeration() { busState().enumerations.fetch_add(1); }

Bus &Bus::instance()
{
    static Bus bus;
    return bus;
}

std::shared_ptr<Surface> Bus::attach(SurfaceOptions options)
{
    BusState &bus = busState();
    std::shared_ptr<SurfaceImpl> s;
    {
        std::lock_guard<std::mutex> guard(bus.mutex);
        s = std::make_shared<SurfaceImpl>(std::move(options), "/dev/hidraw" + std::to_string(bus.nextIndex++));
        bus.surfaces.push_back(s);
    }
    SurfaceImpl::notifyBus();
    return s;
}

void Bus::detach(const std::shared_ptr<Surface> &surface)
{
    if (auto s = impl(surface))
        s->detach();
}

void Bus::plugBackIn(const std::shared_ptr<Surface> &surface)
{
    if (auto s = impl(surface))
        s->plugBackIn();
}

void Bus::reset()
{
    BusState &bus = busState();
    std::vector<std::shared_ptr<SurfaceImpl>> removed;
    {
        std::lock_guard<std::mutex> guard(bus.mutex);
        removed.swap(bus.surfaces);
        bus.nextIndex = 0;
        bus.enumerations.store(0);
    }
    for (const auto &s : removed)
        s->remove();
}

std::vector<std::shared_ptr<Surface>> Bus::surfaces() const
{
    BusState &bus = busState();
    std::lock_guard<std::mutex> guard(bus.mutex);
    return std::vector<std::shared_ptr<Surface>>(bus.surfaces.begin(), bus.surfaces.end());
}

bool Bus::waitOnBus(const std::shared_ptr<Surface> &surface, bool on, std::chrono::milliseconds timeout)
{
    auto s = impl(surface);
    if (!s)
        return false;
    const Clock::time_point deadline = Clock::now() + timeout;
    std::unique_lock<std::mutex> guard(SurfaceImpl::busWaitMutex());
    for (;;) {
        if (s->onBus() == on)
            return true;
        if (Clock::now() >= deadline)
            return false;
        Clock::time_point wake = deadline;
        if (auto back = s->returnsAt())
            wake = std::min(wake, *back);
        SurfaceImpl::busWaitCv().wait_until(guard, wake);
    }
}

int Bus::enumerations() const { return busState().enumerations.load(); }

} // namespace vireon::sim
