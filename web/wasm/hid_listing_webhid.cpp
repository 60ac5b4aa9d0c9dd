// The page's listing of surfaces: the devices the user granted the page that
// are on the bus now, as the page's bus (web/webhid_bus.js) keeps them from
// WebHID's connect and disconnect events. WebHID gives no USB device number
// and no serial number: each device carries the count of the bus's
// enumerations at its latest appearance, so one that came back has another.
#include "hid_listing.h"

#include <emscripten.h>

#include <cstdlib>
#include <string>

namespace {

// "path\tenumeration\n" per device, into a buffer of the caller's; the
// length the whole listing needs.
EM_JS(int, bus_list, (int vendorId, int productId, char *buffer, int size), {
    const text = Module.bus.list(vendorId, productId).map(d => d.path + "\t" + d.enumeration + "\n").join("");
    stringToUTF8(text, buffer, size);
    return lengthBytesUTF8(text) + 1;
});

} // namespace

namespace vireon::core::hid {

std::vector<ListedDevice> listDevices(unsigned short vendorId, unsigned short productId)
{
    std::string text(256, '\0');
    const int needed = bus_list(vendorId, productId, text.data(), static_cast<int>(text.size()));
    if (needed > static_cast<int>(text.size())) {
        text.assign(static_cast<size_t>(needed), '\0');
        bus_list(vendorId, productId, text.data(), static_cast<int>(text.size()));
    }
    text.resize(text.find('\0'));
    std::vector<ListedDevice> devices;
    for (size_t at = 0; at < text.size();) {
        const size_t tab = text.find('\t', at);
        const size_t end = text.find('\n', at);
        if (tab == std::string::npos || end == std::string::npos || tab > end)
            break;
        ListedDevice device;
        device.path = text.substr(at, tab - at);
        device.enumeration = std::strtoull(text.c_str() + tab + 1, nullptr, 10);
        devices.push_back(device);
        at = end + 1;
    }
    return devices;
}

} // namespace vireon::core::hid
