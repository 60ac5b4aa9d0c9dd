// The surface as the system sees it: its sysfs tree, with the uevent
// properties and attributes hidapi and libudev read.
#include "hidraw_testbed_state.h"

#include <cstdio>
#include <string>
#include <sys/sysmacros.h>

namespace vireon::testbed {

std::string sysfsText(dev_t node)
{
    std::string descriptor;
    char hex[3];
    for (uint8_t byte : kDescriptor) {
        std::snprintf(hex, sizeof hex, "%02X", byte);
        descriptor += hex;
    }
    const std::string numbers = std::to_string(major(node)) + ":" + std::to_string(minor(node));
    return std::string("P: ") + (kDevices[0] + 4) +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: PRODUCT=1502/101/100\n"
           "A: idVendor=1502\nA: idProduct=0101\nA: bcdDevice=0100\nA: manufacturer=Vireon\n"
           "A: product=Vireon Surface\nA: serial=\n\n"
           "P: " + (kDevices[1] + 4) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=00\n\n"
           "P: " + (kDevices[2] + 4) + "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:00001502:00000101\n"
           "E: HID_NAME=Vireon Vireon Surface\nE: HID_UNIQ=\nH: report_descriptor=" + descriptor + "\n\n"
           "P: " + (kDevices[3] + 4) + "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw0\nE: MAJOR=" +
           std::to_string(major(node)) + "\nE: MINOR=" + std::to_string(minor(node)) + "\nA: dev=" + numbers +
           "\nL: device=../..\n";
}

} // namespace vireon::testbed
