// Reading the kernel's uevent texts (KEY=VALUE, one a line) of a hidraw
// node and its HID device, as the system's HID listing finds them in sysfs.
#ifndef VIREON_CORE_HID_UEVENT_H
#define VIREON_CORE_HID_UEVENT_H

#include <optional>
#include <string>
#include <string_view>

namespace vireon::core::hid {

// The value of `key` in a uevent text, or nothing when no line sets it. A
// line cut short (no line feed after it) is not taken: the text may have
// been read while the device went.
std::optional<std::string> ueventValue(std::string_view uevent, std::string_view key);

// The bus type 0x0003 in a HID device's HID_ID.
constexpr unsigned kBusUsb = 0x0003;

struct HidId {
    unsigned bus = 0;
    unsigned short vendorId = 0;
    unsigned short productId = 0;
};

// A HID device's HID_ID value, "0003:00001502:00000101" (bus, vendor,
// product, each in hex); nothing when it is not three hex fields of at most
// eight digits or an id does not fit 16 bits.
std::optional<HidId> parseHidId(std::string_view value);

} // namespace vireon::core::hid

#endif
