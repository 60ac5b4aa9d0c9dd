// The HID transport over hidapi, served by the simulated surface.
#include "usb_fixture.h"

#include <cstring>

using namespace usbtest;
using vireon::transport::readPacket;
using vireon::transport::writePacket;

namespace {

class Transport : public UsbTest {
protected:
    void SetUp() override
    {
        UsbTest::SetUp();
        surface = attach({tools::targetFor(smallImage())});
        ASSERT_NE(handle = hid_open(sim::kVendorId, sim::kProductId, nullptr), nullptr);
    }
    // The enter-bootloader request in a 512-byte buffer of stale bytes.
    int sendEnter()
    {
        std::memset(buf, 0xAA, sizeof buf);
        uint32_t cmdSize = 0, resSize = 0;
        CyBtldr_CreateEnterBootLoaderCmd(buf, &cmdSize, &resSize);
        return writePacket(handle, buf, static_cast<int>(cmdSize));
    }
    std::shared_ptr<sim::Surface> surface;
    uint8_t buf[COMMAND_BUFFER_SIZE];
};

TEST_F(Transport, PacketsLeaveAsOneZeroPaddedReport)
{
    ASSERT_EQ(sendEnter(), 0);
    std::vector<uint8_t> expected = {0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17};
    expected.resize(64, 0); // none of the stale bytes travel
    EXPECT_EQ(surface->outputReports().back(), expected);

    // The answer arrives from the first byte on; bytes past the 65 are untouched.
    std::memset(buf, 0xCC, sizeof buf);
    ASSERT_EQ(readPacket(handle, buf, 15), 0);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 4), (std::vector<uint8_t>{0x01, 0x00, 0x08, 0x00}));
    EXPECT_EQ(buf[14], 0x17);
    EXPECT_EQ(buf[64], 0x00);
    EXPECT_EQ(buf[65], 0xCC);

    // A 63-byte program-row packet (53 data bytes) fills the report but one byte.
    std::memset(buf, 0xAA, sizeof buf);
    uint8_t row[53];
    for (int i = 0; i < 53; ++i)
        row[i] = static_cast<uint8_t>(i + 1);
    uint32_t cmdSize = 0, resSize = 0;
    CyBtldr_CreateProgramRowCmd(0, 1, row, 53, buf, &cmdSize, &resSize);
    ASSERT_EQ(writePacket(handle, buf, static_cast<int>(cmdSize)), 0);
    expected.assign(buf, buf + 63);
    expected.push_back(0);
    EXPECT_EQ(surface->outputReports().back(), expected);

    StderrCapture err; // longer than a report: refused, nothing sent
    EXPECT_EQ(writePacket(handle, buf, 65), -1);
    EXPECT_EQ(writePacket(handle, buf, -1), -1);
    EXPECT_EQ(err.count("USB HID Write Failure: "), 2);
    EXPECT_EQ(surface->exchanges(), 2);
}

TEST_F(Transport, WriteFailureIsPrintedOnceAndNothingIsRead)
{
    // Leave one answer waiting: a read after the failed write would take it.
    ASSERT_EQ(sendEnter(), 0);
    surface->addFault({sim::Fault::WriteFails, 2});
    StderrCapture err;
    CyBtldr_CommunicationsData record = transportRecord();
    uint32_t version = 0;
    EXPECT_EQ(CyBtldr_StartBootloadOperation(&record, smallImage().siliconId, 0, &version), -1);
    EXPECT_EQ(err.text(), "USB HID Write Failure: Connection timed out\n");
    EXPECT_EQ(hid_read_timeout(handle, buf, 65, 0), 64) << "the waiting answer was read";
    CyBtldr_EndBootloadOperation();
}

TEST_F(Transport, FailedOrSilentReadGivesTheMessageAndMinusOne)
{
    surface->addFault({sim::Fault::ReadFails, 1});
    surface->addFault({sim::Fault::NoAnswer, 2});
    ASSERT_EQ(sendEnter(), 0);
    std::memset(buf, 0xEE, sizeof buf);
    StderrCapture err;
    EXPECT_EQ(readPacket(handle, buf, 15), -1);
    EXPECT_EQ(err.text(), "USB HID Read Failure: Input/output error\n");
    EXPECT_EQ(buf[0], 0) << "the cleared buffer is copied out after a failure too";
    EXPECT_EQ(buf[65], 0xEE);

    ASSERT_EQ(sendEnter(), 0);
    StderrCapture silent;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(readPacket(handle, buf, 15), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 4900ms);
    EXPECT_EQ(silent.count("USB HID Read Failure: "), 1);
}

TEST_F(Transport, UnplugMidImageFailsTheAction)
{
    tools::ImageSpec layout = smallImage();
    layout.rowCount = 4, layout.rowSize = 128; // four exchanges a row: send-data twice, program, verify
    fresh();
    surface = attach({tools::targetFor(layout)});
    // Unplugged during the third row and plugged back in at once: the open
    // handle belongs to the old connection and stays dead.
    surface->addFault({sim::Fault::UnplugAt, 12, 1, 0, 0xFF, 0, 0ms});
    StderrCapture err;
    EXPECT_EQ(program(imageFile(layout, "image.cyacd")), -1);
    EXPECT_EQ(err.count("USB HID Write Failure: No such device\n"), 2); // the row and the exit command
    EXPECT_TRUE(surface->onBus());
    auto lock = surface->lock();
    EXPECT_EQ(surface->device().flash(0).size(), 2u) << "two rows written before the unplug";
}

} // namespace
