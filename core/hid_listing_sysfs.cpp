// The shipped programs' HID listing: the hidraw nodes as sysfs shows them.
//
// Each node is /sys/class/hidraw/hidrawN; its HID device's uevent (behind
// the node's "device" link) gives the ids (HID_ID) and the serial number
// (HID_UNIQ), and for a device with our ids the node's own uevent names the
// node (DEVNAME). A device that leaves the bus while it is listed takes
// these files with it: a read then fails (ENOENT, ENODEV) or finds the text
// incomplete, and the device is skipped. Nothing read is trusted to be
// there.
#include "hid_listing.h"

#include "folder_files.h"
#include "hid_uevent.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace vireon::core::hid {
namespace {

constexpr const char *kClassDir = "/sys/class/hidraw";

// sysfs gives at most a page per attribute; a longer text is not a uevent.
constexpr size_t kMaxUevent = 8192;

// The whole file, or nothing when it cannot be opened or read whole.
std::optional<std::string> readWhole(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QByteArray text;
    const bool whole = core::readWhole(fd, &text, kMaxUevent);
    close(fd);
    return whole ? std::optional<std::string>(text.toStdString()) : std::nullopt;
}

// N of "hidrawN", or nothing for any other name.
std::optional<unsigned long> nodeNumber(const char *name)
{
    const std::string_view prefix = "hidraw";
    const std::string_view whole = name;
    if (whole.size() <= prefix.size() || whole.size() > prefix.size() + 9 || whole.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    const std::string_view digits = whole.substr(prefix.size());
    unsigned long number = 0;
    if (std::from_chars(digits.data(), digits.data() + digits.size(), number).ptr != digits.data() + digits.size())
        return std::nullopt;
    return number;
}

// The node names under the class folder, by number.
std::vector<std::pair<unsigned long, std::string>> nodes()
{
    std::vector<std::pair<unsigned long, std::string>> found;
    DIR *dir = opendir(kClassDir);
    if (dir == nullptr)
        return found;
    while (const dirent *entry = readdir(dir))
        if (const auto number = nodeNumber(entry->d_name))
            found.emplace_back(*number, entry->d_name);
    closedir(dir);
    std::sort(found.begin(), found.end());
    return found;
}

// The USB bus and device numbers of the device above the node, as one
// number; 0 when they cannot be read (the number is then only unknown: the
// device is listed all the same).
uint64_t enumerationOf(const std::string &node)
{
    const auto usb = readWhole(node + "/device/../../uevent");
    if (!usb)
        return 0;
    const auto busText = ueventValue(*usb, "BUSNUM");
    const auto deviceText = ueventValue(*usb, "DEVNUM");
    unsigned bus = 0, device = 0;
    const auto number = [](const std::optional<std::string> &text, unsigned *value) {
        return text && !text->empty() &&
               std::from_chars(text->data(), text->data() + text->size(), *value).ptr == text->data() + text->size();
    };
    if (!number(busText, &bus) || !number(deviceText, &device))
        return 0;
    return (static_cast<uint64_t>(bus) << 16) | device;
}

// The device behind node `name`, when it has these ids and every file it
// is known by could be read whole.
std::optional<ListedDevice> listedAs(const std::string &name, unsigned short vendorId, unsigned short productId)
{
    const std::string node = std::string(kClassDir) + "/" + name;
    const auto hid = readWhole(node + "/device/uevent");
    if (!hid)
        return std::nullopt;
    const auto id = ueventValue(*hid, "HID_ID");
    const auto ids = id ? parseHidId(*id) : std::nullopt;
    // The kernel writes HID_NAME and HID_UNIQ (empty without a serial
    // number) for every HID device; a text without them is not whole.
    const auto serial = ueventValue(*hid, "HID_UNIQ");
    if (!ids || !serial || !ueventValue(*hid, "HID_NAME") || ids->bus != kBusUsb || ids->vendorId != vendorId ||
        ids->productId != productId)
        return std::nullopt;
    const auto own = readWhole(node + "/uevent");
    const auto devName = own ? ueventValue(*own, "DEVNAME") : std::nullopt;
    if (!devName || devName->empty())
        return std::nullopt;
    ListedDevice device;
    device.enumeration = enumerationOf(node);
    // udev's rule: a relative DEVNAME is under /dev.
    device.path = devName->front() == '/' ? *devName : "/dev/" + *devName;
    device.serial = QString::fromUtf8(serial->data(), int(serial->size())).toStdWString();
    return device;
}

} // namespace

std::vector<ListedDevice> listDevices(unsigned short vendorId, unsigned short productId)
{
    std::vector<ListedDevice> found;
    for (const auto &[number, name] : nodes())
        if (auto device = listedAs(name, vendorId, productId))
            found.push_back(std::move(*device));
    return found;
}

} // namespace vireon::core::hid
