// The device listing of the tests and the demo: the simulated bus's surfaces,
// by node number as the system's listing gives them. A listing takes a
// moment, as reading sysfs does; a surface that leaves the bus after it was
// listed fails its open with the text hidapi gives for a node that is gone.
#include "hid_listing.h"
#include "hidsim_internal.h"

#include <thread>

namespace vireon::core::hid {

std::vector<ListedDevice> listDevices(unsigned short vendorId, unsigned short productId)
{
    sim::countEnumeration();
    std::vector<ListedDevice> found;
    // Surfaces are numbered in the order they were attached, which is the
    // order of the registry.
    for (const auto &surface : sim::presentSurfaces(vendorId, productId))
        found.push_back(ListedDevice{surface->path(), surface->options().serialNumber, surface->enumeration()});
    std::this_thread::sleep_for(std::chrono::microseconds(100));
    return found;
}

} // namespace vireon::core::hid
