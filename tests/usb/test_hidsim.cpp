// The simulated surface as hidapi shows it: enumeration and open across
// attach, detach and the restart after the exit command, scripted faults,
// and whole programming runs through the HID transport.
#include "usb_fixture.h"

#include <algorithm>
#include <cwchar>
#include <thread>

using namespace usbtest;

namespace {

using Sim = UsbTest;
const long kFirstChip = smallImage().siliconId;
const long kSecondChip = 0x56530002;
const uint8_t kEnter[] = {0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17};
const uint8_t kExit[] = {0x01, 0x3B, 0x01, 0x00, 0x00, 0xC3, 0xFF, 0x17};

std::vector<std::string> listed()
{
    std::vector<std::string> paths;
    hid_device_info *devs = hid_enumerate(sim::kVendorId, sim::kProductId);
    for (hid_device_info *d = devs; d; d = d->next)
        paths.push_back(d->path);
    hid_free_enumeration(devs);
    return paths;
}

hid_device *openFirst() { return hid_open(sim::kVendorId, sim::kProductId, nullptr); }

// Writes one report: report id 0, then the packet.
template <size_t N> int send(hid_device *dev, const uint8_t (&packet)[N])
{
    uint8_t report[65] = {};
    std::copy(packet, packet + N, report + 1);
    return hid_write(dev, report, sizeof report);
}

// One raw exchange: the silicon id the surface answers, or -1.
long enterBootloader(hid_device *dev)
{
    uint8_t in[65] = {};
    if (send(dev, kEnter) != 65 || hid_read_timeout(dev, in, sizeof in, 1000) != 64 || in[0] != 0x01 || in[1] != 0)
        return -1;
    return in[4] | in[5] << 8 | in[6] << 16 | static_cast<long>(in[7]) << 24;
}

std::vector<sim::TargetConfig> twoChips()
{
    tools::ImageSpec b = smallImage(2);
    b.siliconId = kSecondChip;
    return {tools::targetFor(smallImage(1)), tools::targetFor(b)};
}

TEST_F(Sim, EnumerationAndOpenFollowAttachAndDetach)
{
    EXPECT_EQ(hid_enumerate(sim::kVendorId, sim::kProductId), nullptr);
    EXPECT_STRNE(hid_error(nullptr), L"Success");
    EXPECT_EQ(openFirst(), nullptr);

    auto first = attach(twoChips()), second = attach(twoChips());
    EXPECT_EQ(listed(), (std::vector<std::string>{first->path(), second->path()}));
    EXPECT_EQ(hid_enumerate(0x1502, 0x0102), nullptr);

    ASSERT_NE(handle = openFirst(), nullptr);
    EXPECT_EQ(hid_get_device_info(handle)->path, first->path());
    EXPECT_STREQ(hid_get_device_info(handle)->product_string, L"Vireon Surface");
    EXPECT_EQ(enterBootloader(handle), kFirstChip);
    EXPECT_STREQ(hid_error(handle), L"Success");
    uint8_t in[65];
    EXPECT_EQ(hid_read_timeout(handle, in, sizeof in, 20), 0);

    // Unplugged while a blocking read waits: the read fails, and the handle
    // stays dead once the surface is back.
    std::thread unplug([&] { std::this_thread::sleep_for(20ms), sim::Bus::instance().detach(first); });
    EXPECT_EQ(hid_read(handle, in, sizeof in), -1);
    unplug.join();
    EXPECT_EQ(listed(), std::vector<std::string>{second->path()});
    EXPECT_EQ(enterBootloader(handle), -1);
    EXPECT_STREQ(hid_error(handle), L"No such device");
    sim::Bus::instance().plugBackIn(first);
    EXPECT_EQ(listed().size(), 2u);
    EXPECT_EQ(enterBootloader(handle), -1);
    hid_device *again = hid_open_path(first->path().c_str());
    EXPECT_EQ(enterBootloader(again), kFirstChip);
    hid_close(again);
    EXPECT_EQ(first->opens(), 2);
    EXPECT_EQ(first->openHandles(), 1);
}

TEST_F(Sim, ExitRestartsAsTheNextChip)
{
    auto surface = attach(twoChips());
    handle = openFirst();
    EXPECT_EQ(enterBootloader(handle), kFirstChip);
    EXPECT_EQ(send(handle, kExit), 65);
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(enterBootloader(handle), -1);
    EXPECT_EQ(openFirst(), nullptr);
    ASSERT_TRUE(sim::Bus::instance().waitOnBus(surface, true, 2s));
    EXPECT_EQ(enterBootloader(handle), -1) << "a handle from before the restart";
    hid_close(handle);
    EXPECT_EQ(enterBootloader(handle = openFirst()), kSecondChip);
    EXPECT_EQ(surface->restarts(), 1);

    fresh();
    auto never = attach(twoChips());
    never->addFault({sim::Fault::NeverReturns});
    EXPECT_EQ(enterBootloader(handle = openFirst()), kFirstChip);
    EXPECT_EQ(send(handle, kExit), 65);
    EXPECT_FALSE(sim::Bus::instance().waitOnBus(never, true, 100ms));
    sim::Bus::instance().plugBackIn(never);
    EXPECT_TRUE(never->onBus());

    fresh();
    auto stays = attach(twoChips());
    stays->addFault({sim::Fault::NeverLeaves});
    EXPECT_EQ(enterBootloader(handle = openFirst()), kFirstChip);
    EXPECT_EQ(send(handle, kExit), 65);
    EXPECT_TRUE(stays->onBus());
    EXPECT_EQ(enterBootloader(handle), kSecondChip) << "restarted in place, handle still good";
}

TEST_F(Sim, FaultsFireWhereTheyAreScripted)
{
    auto surface = attach(twoChips());
    surface->addFault({sim::Fault::OpenRefused, 0, 2});
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(openFirst(), nullptr);
        EXPECT_NE(std::wcsstr(hid_error(nullptr), L"Permission denied"), nullptr);
    }
    EXPECT_EQ(listed().size(), 1u);
    EXPECT_NE(handle = openFirst(), nullptr);

    struct Case {
        sim::Fault fault;
        int write, read; // hid_write and hid_read_timeout at exchange 3
        uint8_t status;  // byte 1 of the answer, when there is one
    };
    const Case cases[] = {
        {{sim::Fault::WriteFails, 3}, -1, 0, 0},
        {{sim::Fault::ReadFails, 3}, 65, -1, 0},
        {{sim::Fault::NoAnswer, 3}, 65, 0, 0},
        {{sim::Fault::Garbled, 3, 1, 1, 0x40}, 65, 64, 0x40},
        {{sim::Fault::Truncated, 3, 1, 0, 0, 5}, 65, 5, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.fault.kind);
        fresh();
        attach(twoChips())->addFault(c.fault);
        handle = openFirst();
        EXPECT_EQ(enterBootloader(handle), kFirstChip);
        EXPECT_EQ(enterBootloader(handle), kFirstChip);
        EXPECT_EQ(send(handle, kEnter), c.write);
        uint8_t in[65] = {};
        EXPECT_EQ(hid_read_timeout(handle, in, sizeof in, 50), c.read);
        if (c.read > 0)
            EXPECT_EQ(in[1], c.status);
        EXPECT_EQ(enterBootloader(handle), kFirstChip) << "exchange 4 is clean";
    }
}

TEST_F(Sim, TwoImagesProgrammedInTurnThroughTheRestart)
{
    tools::ImageSpec a = smallImage(7), b = smallImage(8);
    a.rowCount = 3, a.rowSize = 256;
    b.siliconId = kSecondChip, b.firstRow = 16, b.rowSize = 128;
    auto surface = attach({tools::targetFor(a), tools::targetFor(b)});
    // The window keeps enumerating on its thread while the worker programs.
    std::atomic<bool> done{false};
    std::thread window([&] {
        while (!done)
            hid_free_enumeration(hid_enumerate(sim::kVendorId, sim::kProductId));
    });
    EXPECT_EQ(program(imageFile(a, "first.cyacd")), 0);
    ASSERT_TRUE(sim::Bus::instance().waitOnBus(surface, true, 2s));
    EXPECT_EQ(program(imageFile(b, "second.cyacd")), 0);
    done = true;
    window.join();
    auto lock = surface->lock();
    EXPECT_EQ(surface->device().flash(0), tools::imageRows(a));
    EXPECT_EQ(surface->device().flash(1), tools::imageRows(b));
    EXPECT_EQ(surface->restarts(), 2);
}

TEST_F(Sim, UnplugAtEveryExchangeFailsTheAction)
{
    const tools::ImageSpec layout = smallImage(3);
    const std::string file = imageFile(layout, "small.cyacd");
    attach({tools::targetFor(layout)});
    ASSERT_EQ(program(file), 0);
    const int exchanges = sim::Bus::instance().surfaces()[0]->exchanges();
    for (int k = 1; k <= exchanges; ++k) {
        SCOPED_TRACE(k);
        fresh();
        auto surface = attach({tools::targetFor(layout)});
        surface->addFault({sim::Fault::UnplugAt, k, 1, 0, 0xFF, 0, k % 2 ? 0ms : -1ms});
        StderrCapture err;
        // Losing only the exit command fails too: every row was programmed
        // and verified, but the device never restarted into the image.
        EXPECT_EQ(program(file), -1);
        if (k == exchanges) {
            auto lock = surface->lock();
            EXPECT_EQ(surface->device().flash(0), tools::imageRows(layout));
        }
    }
}

TEST_F(Sim, GarbledOrShortAnswerGivesAResultCode)
{
    const tools::ImageSpec layout = smallImage(4);
    const std::string file = imageFile(layout, "small.cyacd");
    auto run = [&](const sim::Fault &fault) {
        fresh();
        attach({tools::targetFor(layout)})->addFault(fault);
        StderrCapture err;
        return program(file);
    };
    // Exchange 1 answers enter-bootloader (15 bytes), exchange 5 verify-row
    // (8 bytes). Only the checksum bytes, the padding and the low bytes of the
    // bootloader version may change without consequence.
    const std::pair<int, std::vector<size_t>> answers[] = {{1, {9, 10, 12, 13}}, {5, {5, 6}}};
    for (const auto &[exchange, harmless] : answers) {
        const size_t size = exchange == 1 ? 15 : 8;
        for (size_t at = 0; at < 64; ++at) {
            SCOPED_TRACE(testing::Message() << "exchange " << exchange << " byte " << at);
            const bool matters = at < size && std::find(harmless.begin(), harmless.end(), at) == harmless.end();
            EXPECT_EQ(run({sim::Fault::Garbled, exchange, 1, at, 0xFF}) != 0, matters);
        }
        for (size_t length = 0; length < size; ++length)
            EXPECT_NE(run({sim::Fault::Truncated, exchange, 1, 0, 0, length}), 0) << "cut to " << length;
    }
}

} // namespace
