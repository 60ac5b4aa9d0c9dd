// The lock around hidapi's process-wide functions, against the system's real
// hidapi (hidraw) with no surface attached. Without the lock, one thread
// enumerating while another opens frees hidapi's process-wide error text
// twice within a second.
#include "hidapi_lock.h"
#include "usb_ids.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace hid = vireon::core::hid;
using vireon::core::kProductId;
using vireon::core::kVendorId;

TEST(HidapiLock, EnumerateAndOpenFromTwoThreads)
{
    ASSERT_EQ(hid::init(), 0);
    std::atomic<bool> stop{false};
    std::atomic<int> opened{0};
    std::thread window([&] {
        while (!stop)
            hid::freeEnumeration(hid::enumerate(kVendorId, kProductId));
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    int attempts = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (hid_device *device = hid::open(kVendorId, kProductId)) {
            ++opened;
            hid_close(device);
        } else {
            EXPECT_EQ(hid::lastError(), L"No HID devices with requested VID/PID found in the system.");
        }
        ++attempts;
    }
    stop = true;
    window.join();
    EXPECT_GT(attempts, 10);
    EXPECT_EQ(hid::openPath("/dev/vireon-no-such-node"), nullptr);
    EXPECT_NE(hid::lastError().find(L"No such file or directory"), std::wstring::npos);
    EXPECT_EQ(hid::exit(), 0);
}
