// The emulated surface as the system's hidapi and the product's listing see
// it: what the workers and the presence check rely on, each answered by the
// real library and sysfs over the node.
#include <gtest/gtest.h>

#include <hidapi/hidapi.h>

#include <string>

#include "cyacd_gen.h"
#include "file_override.h"
#include "hid_listing.h"
#include "hidraw_testbed.h"
#include "surface_access.h"

namespace {

using namespace std::chrono_literals;
using vireon::testbed::HidrawTestbed;
namespace sim = vireon::sim;

struct Report {
    unsigned char bytes[65] = {};
};
// The enter-bootloader request as the transport sends it.
Report enterRequest()
{
    Report r;
    const auto packet = sim::buildPacket(sim::PacketChecksum::Sum, sim::command::Enter, {});
    std::copy(packet.begin(), packet.end(), r.bytes + 1);
    return r;
}

std::vector<vireon::core::hid::ListedDevice> listed() { return vireon::core::hid::listDevices(0x1502, 0x0101); }

class HidrawTest : public ::testing::Test {
protected:
    HidrawTestbed bed{vireon::tools::targetsFor({vireon::tools::ImageSpec{}})};
};

TEST_F(HidrawTest, OpensAndExchangesOneReportEachWay)
{
    hid_device *device = hid_open_path("/dev/hidraw0");
    ASSERT_NE(device, nullptr) << hid_error(nullptr);
    Report out = enterRequest(), in;
    EXPECT_EQ(hid_read_timeout(device, in.bytes, 65, 20), 0); // nothing waits: poll() says so
    EXPECT_EQ(hid_write(device, out.bytes, 65), 65);
    EXPECT_EQ(hid_read_timeout(device, in.bytes, 65, 5000), 64);
    EXPECT_EQ(in.bytes[0], sim::kPacketStart);
    EXPECT_EQ(in.bytes[1], sim::status::Success);
    EXPECT_EQ(hid_read_timeout(device, in.bytes, 65, 20), 0); // exactly one report per answer
    // Only report id 0 and 64 bytes reach the device.
    EXPECT_EQ(hid_write(device, out.bytes, 64), -1);
    out.bytes[0] = 1;
    EXPECT_EQ(hid_write(device, out.bytes, 65), -1);
    EXPECT_EQ(bed.exchanges(), 1);
    hid_close(device);
}

TEST_F(HidrawTest, UnplugFailsTheOpenHandleForGoodAndReplugGivesANewOne)
{
    hid_device *old = hid_open_path("/dev/hidraw0");
    ASSERT_NE(old, nullptr);
    Report out = enterRequest(), in;
    bed.unplug();
    EXPECT_EQ(hid_read_timeout(old, in.bytes, 65, 5000), -1);
    EXPECT_EQ(hid_write(old, out.bytes, 65), -1);
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(vireon::core::openSurface().failure.reason, "No HID devices with requested VID/PID found in the system.");

    bed.plug();
    EXPECT_EQ(hid_write(old, out.bytes, 65), -1); // a handle of the last plug-in stays dead
    hid_close(old);
    hid_device *device = hid_open_path("/dev/hidraw0");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(hid_write(device, out.bytes, 65), 65);
    EXPECT_EQ(hid_read_timeout(device, in.bytes, 65, 5000), 64);
    hid_close(device);

    // Without the right to open the node, the listing still finds it.
    bed.denyAccess(true);
    vireon::testbed::WithoutFileOverride user;
    EXPECT_EQ(listed().size(), 1u);
    EXPECT_EQ(hid_open_path("/dev/hidraw0"), nullptr);
    EXPECT_NE(std::wstring(hid_error(nullptr)).find(L"Permission denied"), std::wstring::npos) << hid_error(nullptr);
}

} // namespace
