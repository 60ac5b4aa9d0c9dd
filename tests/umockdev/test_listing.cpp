// The product's own device listing on the real USB path: sysfs as the
// testbed serves it under the preload. A surface that goes while it is
// listed takes its files away one by one; whichever is gone when the listing
// reaches it, the surface is left out whole and the others are listed. One
// that goes as it is opened fails the open with a reason.
#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <thread>
#include <unistd.h>

#include "cyacd_gen.h"
#include "hid_listing.h"
#include "hidraw_testbed.h"
#include "surface_access.h"
#include "usb_ids.h"

namespace {

using vireon::testbed::HidrawTestbed;
namespace hid = vireon::core::hid;

std::vector<std::pair<std::string, std::wstring>> listed()
{
    std::vector<std::pair<std::string, std::wstring>> out;
    for (const hid::ListedDevice &device : hid::listDevices(vireon::core::kVendorId, vireon::core::kProductId))
        out.emplace_back(device.path, device.serial);
    return out;
}

HidrawTestbed surface(unsigned index, const char *serial)
{
    return HidrawTestbed(vireon::tools::targetsFor({vireon::tools::ImageSpec{}}), std::chrono::milliseconds(200),
                         index, serial);
}

struct Vanished {
    const char *what;
    std::string (*file)(const HidrawTestbed &); // in the testbed's directory
    const char *leftText;                        // null: the file is removed; else what is left of it
};

const Vanished kVanished[] = {
    {"the node's class entry", [](const HidrawTestbed &s) { return s.root() + "/sys/class/hidraw/hidraw0"; }, nullptr},
    {"the node's uevent", [](const HidrawTestbed &s) { return s.hidDevicePath() + "/hidraw/hidraw0/uevent"; }, nullptr},
    {"the node's link to its HID device",
     [](const HidrawTestbed &s) { return s.hidDevicePath() + "/hidraw/hidraw0/device"; }, nullptr},
    {"the HID device's uevent", [](const HidrawTestbed &s) { return s.hidDevicePath() + "/uevent"; }, nullptr},
    {"the HID device's uevent, cut in its ids", [](const HidrawTestbed &s) { return s.hidDevicePath() + "/uevent"; },
     "SUBSYSTEM=hid\nHID_ID=0003:00001502:0000"},
    {"the HID device's uevent, cut before its serial",
     [](const HidrawTestbed &s) { return s.hidDevicePath() + "/uevent"; },
     "SUBSYSTEM=hid\nHID_ID=0003:00001502:00000101\nHID_NAME=Vireon Vireon Surface\nHID_UN"},
};

void PrintTo(const Vanished &vanished, std::ostream *out) { *out << vanished.what; }

class ListingTest : public ::testing::TestWithParam<Vanished> {};

TEST_P(ListingTest, ASurfaceWithAFileGoneIsLeftOutAndTheOthersAreListed)
{
    HidrawTestbed first = surface(0, "A0"), second = surface(1, "B1");
    ASSERT_EQ(listed(), (std::vector<std::pair<std::string, std::wstring>>{{"/dev/hidraw0", L"A0"}, {"/dev/hidraw1", L"B1"}}));

    const std::string file = GetParam().file(first);
    if (GetParam().leftText == nullptr)
        ASSERT_EQ(std::remove(file.c_str()), 0) << file;
    else
        std::ofstream(file, std::ios::trunc) << GetParam().leftText;
    EXPECT_EQ(listed(), (std::vector<std::pair<std::string, std::wstring>>{{"/dev/hidraw1", L"B1"}}));
}

INSTANTIATE_TEST_SUITE_P(Vanished, ListingTest, ::testing::ValuesIn(kVanished),
                         [](const auto &info) {
                             std::string name;
                             for (const char *c = info.param.what; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c)))
                                     name += *c;
                             return name;
                         });

// The testbed takes the surface's files away and puts them back while the
// listing runs, as a restart does on a real bus.
TEST(Listing, ASurfaceThatComesAndGoesIsListedWholeOrNotAtAll)
{
    HidrawTestbed bed = surface(0, "A0");
    std::atomic<bool> done{false};
    std::thread restarts([&] {
        for (int cycle = 0; cycle < 150; ++cycle) {
            bed.unplug();
            bed.plug();
        }
        done = true;
    });
    const std::vector<std::pair<std::string, std::wstring>> whole{{"/dev/hidraw0", L"A0"}};
    int listings = 0, partial = 0;
    for (; !done; ++listings) {
        const auto seen = listed();
        partial += !seen.empty() && seen != whole;
    }
    restarts.join();
    EXPECT_EQ(partial, 0) << "of " << listings << " listings";
    EXPECT_EQ(listed(), whole);
}

// hidapi's hid_open_path gives no reason of its own when the node it opened
// fails its first request.
TEST(Opening, ANodeThatHangsUpAsItIsOpenedFailsWithAReason)
{
    HidrawTestbed bed = surface(0, "A0");
    bed.hangUpAtNextOpen();
    const vireon::core::SurfaceOpen gone = vireon::core::openSurface();
    EXPECT_EQ(gone.device, nullptr);
    EXPECT_EQ(gone.failure.reason, "Failed to open a device with path '/dev/hidraw0': it went away as it was opened (it did "
                                   "not answer as a hidraw node)");
    EXPECT_NE(gone.failure.kind, vireon::core::Failure::Kind::Denied);
    const vireon::core::SurfaceOpen next = vireon::core::openSurface();
    ASSERT_NE(next.device, nullptr) << next.failure.reason.toStdString();
    hid_close(next.device);
}

} // namespace
