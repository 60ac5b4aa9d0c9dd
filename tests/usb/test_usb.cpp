// The HID transport and the simulated surface as hidapi shows it: report
// layout and failures of the transport; enumeration and open across attach,
// detach and the restart after the exit command, and the watch of that
// restart; scripted faults; whole programming runs through the transport, a
// clean bus for each test.
#include "cyacd_gen.h"
#include "cybtldr_api2.h"
#include "hid_transport.h"
#include "hid_listing.h"
#include "hidapi_lock.h"
#include "hidsim.h"
#include "restart_watch.h"
#include "surface_access.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <numeric>
#include <optional>
#include <regex>
#include <thread>
#include <utility>

using namespace vireon;
using namespace std::chrono_literals;
using namespace testing::internal; // CaptureStderr, GetCapturedStderr
using Bytes = std::vector<uint8_t>;

namespace {

hid_device *handle = nullptr;

const uint32_t kFirstChip = tools::ImageSpec().siliconId;
const uint32_t kSecondChip = 0x56530002;
// Requests as hid_write takes them: report id 0, the packet, zeros.
const uint8_t kEnter[65] = {0, 0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17};

// Images, field by field: silicon id and revision, checksum kind (written),
// array, first row, rows, row size, seed. Two rows of 64 bytes: few
// exchanges, for the loops.
tools::ImageSpec smallImage(uint32_t seed = 1, uint32_t id = kFirstChip) { return {id, 0, 0, true, 0, 0, 2, 64, seed}; }

std::vector<sim::TargetConfig> twoChips() { return tools::targetsFor({smallImage(1), smallImage(2, kSecondChip)}); }

std::vector<std::string> listed()
{
    std::vector<std::string> paths;
    for (const core::hid::ListedDevice &device : core::hid::listDevices(sim::kVendorId, sim::kProductId))
        paths.push_back(device.path);
    return paths;
}

hid_device *openFirst() { return core::openSurface().device; }

// One raw exchange: the silicon id the surface answers, or -1.
long enterBootloader(hid_device *dev)
{
    uint8_t in[65] = {};
    if (hid_write(dev, kEnter, 65) != 65 || hid_read_timeout(dev, in, sizeof in, 1000) != 64 || in[0] != 0x01 || in[1] != 0)
        return -1;
    return in[4] | in[5] << 8 | in[6] << 16 | static_cast<long>(in[7]) << 24;
}

class Sim : public ::testing::Test {
protected:
    void TearDown() override
    {
        fresh();
        std::remove(file_.c_str());
    }
    void fresh() // closes `handle` and empties the bus
    {
        if (handle)
            hid_close(std::exchange(handle, nullptr));
        sim::Bus::instance().reset();
    }
    std::shared_ptr<sim::Surface> attach(std::vector<sim::TargetConfig> chain,
                                         std::chrono::milliseconds offBusAfterExit = 30ms)
    {
        sim::SurfaceOptions options;
        options.targets = std::move(chain);
        options.offBusAfterExit = offBusAfterExit;
        return sim::Bus::instance().attach(options);
    }
    // Writes the image to a file, opens the surface into `handle` and
    // programs the file through the transport.
    int program(const tools::ImageSpec &layout)
    {
        EXPECT_TRUE(tools::writeFile(file_, {layout}));
        if (handle)
            hid_close(handle);
        if (!(handle = openFirst()))
            return -100;
        CyBtldr_CommunicationsData record = core::hidTransport<&handle>();
        return CyBtldr_Program(file_.c_str(), &record, core::ignoreProgress);
    }

    const std::string file_ = testing::TempDir() + "usb_test_" + std::to_string(getpid()) + ".cyacd";
};
using Transport = Sim;

TEST_F(Transport, PacketsLeaveAsOneZeroPaddedReport)
{
    auto surface = attach({tools::targetFor(smallImage())});
    ASSERT_NE(handle = openFirst(), nullptr);
    uint8_t buf[COMMAND_BUFFER_SIZE], row[53];
    uint32_t cmdSize = 0, resSize = 0;
    std::memset(buf, 0xAA, sizeof buf); // stale bytes after the packet: none of them may travel
    CyBtldr_CreateEnterBootLoaderCmd(buf, &cmdSize, &resSize);
    ASSERT_EQ(core::writePacket(handle, buf, static_cast<int>(cmdSize)), 0);
    EXPECT_EQ(surface->outputReports().back(), Bytes(kEnter + 1, kEnter + 65));

    // The answer arrives from the first byte on; bytes past the 65 are untouched.
    std::memset(buf, 0xCC, sizeof buf);
    ASSERT_EQ(core::readPacket(handle, buf, 15), 0);
    EXPECT_EQ(Bytes(buf, buf + 4), (Bytes{0x01, 0x00, 0x08, 0x00}));
    EXPECT_EQ(buf[14], 0x17);
    EXPECT_EQ(buf[64], 0x00);
    EXPECT_EQ(buf[65], 0xCC);

    // A 63-byte program-row packet (53 data bytes) fills the report but one byte.
    std::memset(buf, 0xAA, sizeof buf);
    std::iota(row, row + 53, 1);
    CyBtldr_CreateProgramRowCmd(0, 1, row, 53, buf, &cmdSize, &resSize);
    ASSERT_EQ(core::writePacket(handle, buf, static_cast<int>(cmdSize)), 0);
    Bytes expected(buf, buf + 63);
    expected.push_back(0);
    EXPECT_EQ(surface->outputReports().back(), expected);

    CaptureStderr(); // longer than a report: refused, nothing sent
    EXPECT_EQ(core::writePacket(handle, buf, 65), -1);
    EXPECT_EQ(core::writePacket(handle, buf, -1), -1);
    const std::string text = GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(text, std::regex("(USB HID Write Failure: [^\n]+\n){2}"))) << text;
    EXPECT_EQ(surface->exchanges(), 2);
}

TEST_F(Transport, FailuresArePrintedOnceAndGiveMinusOne)
{
    // One line each, with hidapi's text for the failure. Only a silent device
    // holds the host, for the whole read time limit: a read after a failed
    // write would wait as long and print a second line. (The limit shortened:
    // the surface counts the reads that ran out, whatever their length.)
    const std::pair<sim::Fault::Kind, const char *> cases[] = {
        {sim::Fault::WriteFails, "USB HID Write Failure: Connection timed out\n"},
        {sim::Fault::ReadFails, "USB HID Read Failure: Input/output error\n"},
        {sim::Fault::NoAnswer, "USB HID Read Failure: [^\n]+\n"},
    };
    core::setReadLimit(200ms);
    auto surface = attach({tools::targetFor(smallImage())});
    ASSERT_NE(handle = openFirst(), nullptr);
    CyBtldr_CommunicationsData record = core::hidTransport<&handle>();
    uint32_t version = 0;
    for (const auto &[kind, pattern] : cases) {
        SCOPED_TRACE(kind);
        surface->addFault({kind, surface->exchanges() + 1});
        const int runOut = surface->readsRunOut();
        CaptureStderr();
        EXPECT_EQ(CyBtldr_StartBootloadOperation(&record, kFirstChip, 0, &version), -1);
        EXPECT_EQ(surface->readsRunOut() - runOut, kind == sim::Fault::NoAnswer ? 1 : 0);
        const std::string text = GetCapturedStderr();
        EXPECT_TRUE(std::regex_match(text, std::regex(pattern))) << text;
    }
    core::setReadLimit(core::kReadTimeout);
    EXPECT_EQ(enterBootloader(handle), kFirstChip) << "no fault left behind";
}

// Each failure is recorded where it happens, with hidapi's text as the call
// left it, the exchange and its command; an answer that fails its own
// checks is a failed read. A silent surface is given up on after the read
// limit, and hidapi has nothing to say then.
TEST_F(Transport, EachFailureIsRecordedAsItHappens)
{
    static core::TransferRecord transfers;
    const struct Case {
        sim::Fault fault;
        core::TransferFault recorded;
        const char *hidText;
    } cases[] = {
        {{sim::Fault::WriteFails, 1}, core::TransferFault::WriteFailed, "Connection timed out"},
        {{sim::Fault::ReadFails, 1}, core::TransferFault::ReadFailed, "Input/output error"},
        {{sim::Fault::NoAnswer, 1}, core::TransferFault::NoAnswer, "no answer from the device within 200 ms"},
        {{sim::Fault::Dropped, 1}, core::TransferFault::NoAnswer, "no answer from the device within 200 ms"},
        {{sim::Fault::Truncated, 1, 1, 0, 0, 3}, core::TransferFault::ShortAnswer,
         "an answer of 3 bytes where its packet needs 7"},
        {{sim::Fault::Garbled, 1, 1, 1, 0x01}, core::TransferFault::BadChecksum, "an answer with a wrong checksum"},
        {{sim::Fault::Garbled, 1, 1, 0, 0x01}, core::TransferFault::BadFrame, "an answer that is not a packet"},
        {{sim::Fault::UnplugAt, 1}, core::TransferFault::Unplugged, "No such device"},
    };
    core::setReadLimit(200ms);
    for (const Case &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.recorded));
        sim::Bus::instance().reset();
        auto surface = attach({tools::targetFor(smallImage())});
        surface->addFault(c.fault);
        if (handle)
            hid_close(handle);
        ASSERT_NE(handle = openFirst(), nullptr);
        transfers.reset();
        transfers.printFailures = false;
        CyBtldr_CommunicationsData record = core::hidTransport<&handle, &transfers>();
        uint32_t version = 0;
        CaptureStderr();
        EXPECT_EQ(CyBtldr_StartBootloadOperation(&record, kFirstChip, 0, &version), -1);
        EXPECT_EQ(GetCapturedStderr(), "") << "the record's owner tells it";
        EXPECT_EQ(transfers.fault, c.recorded);
        EXPECT_EQ(transfers.hidText, c.hidText);
        EXPECT_EQ(transfers.faultExchange, 1);
        EXPECT_EQ(transfers.faultCommand, CMD_ENTER_BOOTLOADER);
        EXPECT_FALSE(transfers.identified);
    }
    core::setReadLimit(core::kReadTimeout);
    // A good answer is taken, with the identity it gives.
    sim::Bus::instance().reset();
    attach({tools::targetFor(smallImage())});
    hid_close(handle);
    ASSERT_NE(handle = openFirst(), nullptr);
    transfers.reset();
    CyBtldr_CommunicationsData record = core::hidTransport<&handle, &transfers>();
    uint32_t version = 0;
    EXPECT_EQ(CyBtldr_StartBootloadOperation(&record, kFirstChip, 0, &version), BL_SUCCESS);
    EXPECT_FALSE(transfers.failed());
    EXPECT_TRUE(transfers.identified);
    EXPECT_EQ(transfers.siliconId, kFirstChip);
    EXPECT_EQ(transfers.lastAnswered, CMD_ENTER_BOOTLOADER);
}

// A failed exchange keeps the flash row its request named (array id, then
// the row number low byte first); a request that names no row keeps none.
TEST_F(Transport, AFailedRowRequestRecordsItsRow)
{
    uint8_t data[3] = {0xAA, 0xBB, 0xCC}, buf[COMMAND_BUFFER_SIZE];
    uint32_t cmdSize = 0, resSize = 0;
    const auto packet = [&](int built) { return built == 0 ? Bytes(buf, buf + cmdSize) : Bytes(); };
    const struct Case {
        const char *name;
        Bytes request;
        int row, array; // what the record keeps
    } cases[] = {
        {"program row", packet(CyBtldr_CreateProgramRowCmd(1, 0x0123, data, 3, buf, &cmdSize, &resSize)), 0x0123, 1},
        {"verify row", packet(CyBtldr_CreateVerifyRowCmd(0, 0x01FF, buf, &cmdSize, &resSize)), 0x01FF, 0},
        {"erase row", packet(CyBtldr_CreateEraseRowCmd(2, 7, buf, &cmdSize, &resSize)), 7, 2},
        {"send data", packet(CyBtldr_CreateSendDataCmd(data, 3, buf, &cmdSize, &resSize)), -1, 0},
    };
    auto surface = attach({tools::targetFor(smallImage())});
    ASSERT_NE(handle = openFirst(), nullptr);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        core::TransferRecord record;
        record.printFailures = false;
        surface->addFault({sim::Fault::WriteFails, surface->exchanges() + 1});
        EXPECT_EQ(core::writePacket(handle, c.request.data(), int(c.request.size()), &record), -1);
        EXPECT_EQ(record.fault, core::TransferFault::WriteFailed);
        EXPECT_EQ(record.faultRow, c.row);
        EXPECT_EQ(record.faultArray, c.array);
    }
}

TEST_F(Sim, EnumerationAndOpenFollowAttachAndDetach)
{
    EXPECT_TRUE(listed().empty());
    const core::SurfaceOpen none = core::openSurface();
    EXPECT_EQ(none.device, nullptr);
    EXPECT_EQ(none.error, "No HID devices with requested VID/PID found in the system.");

    auto first = attach(twoChips()), second = attach(twoChips());
    EXPECT_EQ(listed(), (std::vector<std::string>{first->path(), second->path()}));
    EXPECT_TRUE(core::hid::listDevices(0x1502, 0x0102).empty());

    ASSERT_NE(handle = openFirst(), nullptr);
    EXPECT_EQ(hid_get_device_info(handle)->path, first->path());
    EXPECT_STREQ(hid_get_device_info(handle)->product_string, L"Vireon Surface");
    EXPECT_EQ(enterBootloader(handle), kFirstChip);
    EXPECT_STREQ(hid_error(handle), L"Success");
    uint8_t in[65];

    // Unplugged while a blocking read waits: the read fails, and the handle
    // stays dead once the surface is back.
    std::thread unplug([&] {
        std::this_thread::sleep_for(20ms);
        sim::Bus::instance().detach(first);
    });
    EXPECT_EQ(hid_read(handle, in, sizeof in), -1);
    unplug.join();
    EXPECT_EQ(listed(), std::vector<std::string>{second->path()});
    // Listed a moment before it went: its open fails as a gone node's does.
    EXPECT_EQ(core::openSurface(QByteArray::fromStdString(first->path())).error,
              "Failed to open a device with path '/dev/hidraw0': No such file or directory");
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

TEST_F(Sim, FaultsFireWhereTheyAreScripted)
{
    auto surface = attach(twoChips());
    surface->addFault({sim::Fault::OpenRefused, 0, 2});
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(openFirst(), nullptr);
        EXPECT_EQ(core::hid::lastError(), L"Failed to open a device with path '/dev/hidraw0': Permission denied");
    }
    EXPECT_EQ(listed().size(), 1u);
    EXPECT_NE(handle = openFirst(), nullptr);

    // The fault; hid_write's and hid_read_timeout's results at exchange 3;
    // byte 1 of the answer, when there is one.
    const std::tuple<sim::Fault, int, int, uint8_t> cases[] = {
        {{sim::Fault::WriteFails, 3}, -1, 0, 0},
        {{sim::Fault::ReadFails, 3}, 65, -1, 0},
        {{sim::Fault::NoAnswer, 3}, 65, 0, 0},
        {{sim::Fault::Garbled, 3, 1, 1, 0x40}, 65, 64, 0x40},
        {{sim::Fault::Truncated, 3, 1, 0, 0, 5}, 65, 5, 0},
    };
    for (const auto &[fault, written, got, status] : cases) {
        SCOPED_TRACE(fault.kind);
        fresh();
        attach(twoChips())->addFault(fault);
        handle = openFirst();
        EXPECT_EQ(enterBootloader(handle), kFirstChip);
        EXPECT_EQ(enterBootloader(handle), kFirstChip);
        EXPECT_EQ(hid_write(handle, kEnter, 65), written);
        uint8_t in[65] = {};
        EXPECT_EQ(hid_read_timeout(handle, in, sizeof in, 50), got);
        if (got > 0) {
            EXPECT_EQ(in[1], status);
        }
        EXPECT_EQ(enterBootloader(handle), kFirstChip) << "exchange 4 is clean";
    }
}

TEST_F(Sim, TwoImagesProgrammedInTurnThroughTheRestart)
{
    // Rows in several send-data chunks; the second chip takes the CRC packet
    // checksum, and array 1, from its image.
    const tools::ImageSpec a{kFirstChip, 0, 0, true, 0, 0, 3, 256, 7}, b{kSecondChip, 0, 1, true, 1, 16, 2, 128, 8};
    // Off the bus long enough that a busy machine still finds it gone.
    auto surface = attach({tools::targetFor(a), tools::targetFor(b)}, 1s);
    // The window keeps enumerating on its thread while the worker programs.
    std::atomic<bool> done{false};
    std::thread window([&] {
        while (!done)
            core::attachedSurfaces();
    });
    EXPECT_EQ(program(a), 0);
    // The exit command took the surface off the bus; the handle from before
    // the restart stays dead once it is back.
    EXPECT_TRUE(listed().empty());
    EXPECT_EQ(openFirst(), nullptr);
    ASSERT_TRUE(sim::Bus::instance().waitOnBus(surface, true, 10s));
    EXPECT_EQ(enterBootloader(handle), -1);
    EXPECT_EQ(program(b), 0);
    done = true;
    window.join();
    auto lock = surface->lock();
    EXPECT_EQ(surface->device().flash(0), tools::imageRows(a));
    EXPECT_EQ(surface->device().flash(1), tools::imageRows(b));
    EXPECT_EQ(surface->restarts(), 2);
}

// After the exit command the engine's watch, fed real looks at the bus,
// tells a surface that left and came back from one that never left or never
// came back; a surface gone and back between two looks is told by the
// enumeration it came back with.
TEST_F(Sim, TheRestartWatchTellsBackStayedOnAndGone)
{
    using Verdict = engine::RestartWatch::Verdict;
    const struct Case {
        const char *name;
        std::optional<sim::Fault::Kind> fault;
        std::chrono::milliseconds offBus, firstLookAfter;
        Verdict told;
    } cases[] = {
        {"restarts", std::nullopt, 300ms, 0ms, Verdict::Back},
        {"gone and back before the first look", std::nullopt, 1ms, 200ms, Verdict::Back},
        {"never leaves", sim::Fault::NeverLeaves, 300ms, 0ms, Verdict::StayedOn},
        {"never comes back", sim::Fault::NeverReturns, 300ms, 0ms, Verdict::Gone},
    };
    const auto look = [] {
        engine::Surfaces seen;
        for (const core::SurfaceInfo &surface : core::attachedSurfaces())
            seen.push_back({surface.path.toStdString(), surface.serial.toStdString(), surface.enumeration});
        return seen;
    };
    const auto now = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        auto surface = attach({tools::targetFor(smallImage())}, c.offBus);
        if (c.fault)
            surface->addFault({*c.fault});
        const engine::Surfaces before = look();
        ASSERT_EQ(before.size(), 1u);
        ASSERT_EQ(program(smallImage()), BL_SUCCESS);
        hid_close(std::exchange(handle, nullptr));
        std::this_thread::sleep_for(c.firstLookAfter);
        engine::RestartWatch watch({before.front(), true}, now(), 500ms, 1s);
        Verdict told = Verdict::Waiting;
        while ((told = watch.look(now(), look())) == Verdict::Waiting)
            std::this_thread::sleep_for(core::kBusPollInterval);
        EXPECT_EQ(told, c.told);
    }
}

// A demo's surface keeps no record of its exchanges, or a window that
// updates it all day would keep every one; it answers all the same.
TEST_F(Sim, ASurfaceThatKeepsNoRecordStillAnswersEveryRequest)
{
    sim::SurfaceOptions options;
    options.targets = {tools::targetFor(smallImage())};
    options.keepRecord = false;
    auto surface = sim::Bus::instance().attach(options);
    ASSERT_EQ(program(smallImage()), BL_SUCCESS);
    auto lock = surface->lock();
    EXPECT_TRUE(surface->device().flash(0) == tools::imageRows(smallImage()));
    EXPECT_TRUE(surface->device().received().empty());
    EXPECT_TRUE(surface->outputReports().empty());
    EXPECT_GT(surface->exchanges(), 0);
}

TEST_F(Sim, UnplugBeforeTheExitFailsTheAction)
{
    // Exchanges: 1 enter, 2 flash size, then per row send-data, program-row and
    // verify-row (3 to 5 and 6 to 8), 9 the application check, 10 exit.
    const tools::ImageSpec layout = smallImage(3);
    attach({tools::targetFor(layout)});
    ASSERT_EQ(program(layout), 0);
    ASSERT_EQ(sim::Bus::instance().surfaces()[0]->exchanges(), 10);
    const tools::Rows rows = tools::imageRows(layout);
    for (int k = 1; k <= 10; ++k) {
        SCOPED_TRACE(k);
        fresh();
        auto surface = attach({tools::targetFor(layout)});
        // Odd: plugged back in at once, and the open handle, of the old
        // connection, stays dead. Even: gone for good.
        surface->addFault({sim::Fault::UnplugAt, k, 1, 0, 0xFF, 0, k % 2 ? 0ms : -1ms});
        CaptureStderr();
        // Losing only the exit command does not: a bootloader that restarts
        // as soon as it arrives can make that write fail on real USB, after
        // every row was programmed and verified. A chip that really missed it
        // is met again by the next stage, which fails on its silicon id.
        EXPECT_EQ(program(layout), k < 10 ? -1 : 0);
        EXPECT_NE(GetCapturedStderr().find("USB HID Write Failure: No such device\n"), std::string::npos);
        EXPECT_EQ(surface->onBus(), k % 2 == 1);
        auto lock = surface->lock();
        const auto &flash = surface->device().flash(0);
        EXPECT_EQ(flash.size(), size_t(k > 4) + size_t(k > 7)) << "the rows programmed before the unplug stay";
        for (const auto &[key, data] : flash)
            EXPECT_EQ(data, rows.at(key));
    }
}

TEST_F(Sim, GarbledOrShortAnswerGivesAResultCode)
{
    const tools::ImageSpec layout = smallImage(4);
    auto run = [&](const sim::Fault &fault) {
        fresh();
        attach({tools::targetFor(layout)})->addFault(fault);
        CaptureStderr();
        const int result = program(layout);
        GetCapturedStderr();
        return result;
    };
    // Exchange 1 answers enter-bootloader (15 bytes), exchange 5 verify-row
    // (8 bytes). The transport checks each answer's checksum: any changed
    // byte of the packet fails the action, only the padding after it may
    // change without consequence.
    for (const int exchange : {1, 5}) {
        const size_t size = exchange == 1 ? 15 : 8;
        for (size_t at = 0; at < 64; ++at) {
            SCOPED_TRACE(testing::Message() << "exchange " << exchange << " byte " << at);
            EXPECT_EQ(run({sim::Fault::Garbled, exchange, 1, at, 0xFF}) != 0, at < size);
        }
        for (size_t length = 0; length < size; ++length)
            EXPECT_NE(run({sim::Fault::Truncated, exchange, 1, 0, 0, length}), 0) << "cut to " << length;
    }
}

// hidapi's process-wide calls are not thread-safe: the simulated bus ends
// the process, naming both calls, when two threads are inside them at once.
TEST(SimStrictness, ProcessWideCallsFromTwoThreadsEndTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            std::thread window([] {
                for (;;)
                    hid_free_enumeration(hid_enumerate(sim::kVendorId, sim::kProductId));
            });
            for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;)
                hid_open(sim::kVendorId, sim::kProductId, nullptr);
            std::_Exit(0); // they never met: not strict enough
        },
        "simulated hidapi: hid_[a-z_]+ called while hid_[a-z_]+ runs on another thread");
}

// hidapi's error text is one for the whole process, not one per thread.
TEST(SimStrictness, TheErrorTextIsOneForTheProcess)
{
    sim::Bus::instance().reset();
    ASSERT_EQ(core::hid::init(), 0);
    EXPECT_EQ(core::hid::lastError(), L"Success");
    std::thread([] { EXPECT_EQ(core::hid::openPath("/dev/hidraw9"), nullptr); }).join();
    EXPECT_EQ(core::hid::lastError(), L"Failed to open a device with path '/dev/hidraw9': No such file or directory");
}

} // namespace
