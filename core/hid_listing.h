// Listing the HID devices with given USB ids, without hidapi's enumeration.
//
// hidapi 0.13's hid_enumerate (and hid_open by ids, which enumerates the same
// way) crashes when a device leaves the bus in the middle of its listing: it
// hands the null it gets for a vanished device's attribute to strdup. A
// surface leaves the bus at every restart while the window and the command
// line keep looking for it, so the product lists devices itself and opens
// the one it picked with hid_open_path.
//
// The function is the program's HID back end's, chosen at link time like
// hidapi's own functions: the shipped programs link the system's one
// (vireon_system_hid, read from sysfs), the tests and the demo link the
// simulated bus's (vireon_hidsim). It is safe to call from any thread at any
// time, and needs none of hidapi's process-wide lock.
#ifndef VIREON_CORE_HID_LISTING_H
#define VIREON_CORE_HID_LISTING_H

#include <cstdint>
#include <string>
#include <vector>

namespace vireon::core::hid {

struct ListedDevice {
    std::string path;    // what hid_open_path opens: /dev/hidrawN
    std::wstring serial; // empty when the device reports none
    // Changes every time the device is enumerated (its USB bus and device
    // number): a device that restarted between two listings has another.
    // 0 when it cannot be read.
    uint64_t enumeration = 0;
};

// Every attached USB HID device with these ids, one entry per node, in the
// order of the nodes' numbers (/dev/hidraw2 before /dev/hidraw10). A device
// that leaves the bus while it is listed is either listed whole or not at
// all; its later open then fails as for any device that is gone. A bus that
// cannot be read lists nothing.
std::vector<ListedDevice> listDevices(unsigned short vendorId, unsigned short productId);

} // namespace vireon::core::hid

#endif
