// The surface as the system sees it: its sysfs tree, with the uevent
// properties and attributes hidapi and libudev read.
#include "hidraw_testbed_state.h"

#include <cstdio>
#include <string>
#include <vector>
#include <sys/sysmacros.h>

namespace vireon::testbed {

std::vector<std::string> devicePaths(unsigned index)
{
    const std::string port = "1-" + std::to_string(index + 1);
    char hid[32];
    std::snprintf(hid, sizeof hid, "/0003:1502:0101.%04X", index + 1);
    const std::string usb = "/sys/devices/usb1/" + port, interface = usb + "/" + port + ":1.0";
    return {usb, interface, interface + hid, interface + hid + "/hidraw/hidraw" + std::to_string(index)};
}

std::string sysfsText(dev_t node, unsigned index, const std::string &serial, int enumeration)
{
    const std::vector<std::string> devices = devicePaths(index);
    std::string descriptor;
    char hex[3];
    for (uint8_t byte : kDescriptor) {
        std::snprintf(hex, sizeof hex, "%02X", byte);
        descriptor += hex;
    }
    const std::string numbers = std::to_string(major(node)) + ":" + std::to_string(minor(node));
    // Device numbers run from 2 (1 is the root hub) to 127, then wrap.
    const std::string devnum = std::to_string(2 + (index * 16 + static_cast<unsigned>(enumeration)) % 126);
    return std::string("P: ") + devices[0].substr(4) +
           "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: PRODUCT=1502/101/100\nE: BUSNUM=001\nE: DEVNUM=" +
           devnum + "\nA: busnum=1\nA: devnum=" + devnum + "\n"
           "A: idVendor=1502\nA: idProduct=0101\nA: bcdDevice=0100\nA: manufacturer=Vireon\n"
           "A: product=Vireon Surface\nA: serial=" + serial + "\n\n"
           "P: " + devices[1].substr(4) + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=00\n\n"
           "P: " + devices[2].substr(4) + "\nE: SUBSYSTEM=hid\nE: HID_ID=0003:00001502:00000101\n"
           "E: HID_NAME=Vireon Vireon Surface\nE: HID_UNIQ=" + serial + "\nH: report_descriptor=" + descriptor + "\n\n"
           "P: " + devices[3].substr(4) + "\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw" + std::to_string(index) + "\nE: MAJOR=" +
           std::to_string(major(node)) + "\nE: MINOR=" + std::to_string(minor(node)) + "\nA: dev=" + numbers +
           "\nL: device=../..\n";
}

} // namespace vireon::testbed
