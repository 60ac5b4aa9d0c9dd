// The HID transport over hidapi, served by the simulated surface.
#include "usb_fixture.h"

#include <cstring>

using namespace usbtest;

namespace {

class Transport : public UsbTest {
protected:
    void SetUp() override
    {
        UsbTest::SetUp();
        surface = attach({tools::targetFor(smallImage())});
        handle = hid_open(sim::kVendorId, sim::kProductId, nullptr);
        ASSERT_NE(handle, nullptr);
    }
    std::shared_ptr<sim::Surface> surface;
};

TEST_F(Transport, PacketsLeaveAsOneZeroPaddedReport)
{
    // The caller's 512-byte buffer holds stale bytes past the packet: none may travel.
    uint8_t buf[COMMAND_BUFFER_SIZE];
    std::memset(buf, 0xAA, sizeof buf);
    uint32_t cmdSize = 0, resSize = 0;
    CyBtldr_CreateEnterBootLoaderCmd(buf, &cmdSize, &resSize);
    ASSERT_EQ(cmdSize, 7u);
    ASSERT_EQ(vireon::transport::writePacket(handle, buf, 7), 0);
    std::vector<uint8_t> expected(64, 0);
    const uint8_t enter[] = {0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17};
    std::copy(std::begin(enter), std::end(enter), expected.begin());
    EXPECT_EQ(surface->outputReports().back(), expected);

    // The answer arrives from the first byte of the buffer; bytes past the 65 are untouched.
    uint8_t answer[COMMAND_BUFFER_SIZE];
    std::memset(answer, 0xCC, sizeof answer);
    ASSERT_EQ(vireon::transport::readPacket(handle, answer, 15), 0);
    EXPECT_EQ(answer[0], 0x01);
    EXPECT_EQ(answer[1], 0x00);
    EXPECT_EQ(answer[2], 0x08);
    EXPECT_EQ(answer[14], 0x17);
    EXPECT_EQ(answer[64], 0x00);
    EXPECT_EQ(answer[65], 0xCC);

    // A 63-byte program-row packet (53 data bytes) fills the report but one byte.
    std::memset(buf, 0xAA, sizeof buf);
    uint8_t row[53];
    for (int i = 0; i < 53; ++i)
        row[i] = static_cast<uint8_t>(i + 1);
    CyBtldr_CreateProgramRowCmd(0, 1, row, 53, buf, &cmdSize, &resSize);
    ASSERT_EQ(cmdSize, 63u);
    ASSERT_EQ(vireon::transport::writePacket(handle, buf, 63), 0);
    expected.assign(buf, buf + 63);
    expected.push_back(0);
    EXPECT_EQ(surface->outputReports().back(), expected);
}

TEST_F(Transport, PacketLongerThanAReportIsRefusedAndNothingSent)
{
    uint8_t buf[COMMAND_BUFFER_SIZE] = {0x01};
    StderrCapture err;
    EXPECT_EQ(vireon::transport::writePacket(handle, buf, 65), -1);
    EXPECT_EQ(vireon::transport::writePacket(handle, buf, -1), -1);
    EXPECT_EQ(count(err.text(), "USB HID Write Failure: "), 2);
    EXPECT_EQ(surface->exchanges(), 0);
    EXPECT_TRUE(surface->outputReports().empty());
}

TEST_F(Transport, WriteFailureIsPrintedOnceAndNothingIsRead)
{
    // Leave one answer waiting: a read after the failed write would take it.
    uint8_t buf[COMMAND_BUFFER_SIZE];
    uint32_t cmdSize = 0, resSize = 0;
    CyBtldr_CreateEnterBootLoaderCmd(buf, &cmdSize, &resSize);
    ASSERT_EQ(vireon::transport::writePacket(handle, buf, 7), 0);
    surface->addFault({sim::Fault::WriteFails, 2});

    StderrCapture err;
    CyBtldr_CommunicationsData record = transportRecord();
    uint32_t version = 0;
    EXPECT_EQ(CyBtldr_StartBootloadOperation(&record, 0x56530001, 0, &version), -1);
    const std::string text = err.text();
    EXPECT_EQ(text, "USB HID Write Failure: Connection timed out\n");
    uint8_t report[65];
    EXPECT_EQ(hid_read_timeout(handle, report, sizeof report, 0), 64) << "the waiting answer was read";
    CyBtldr_EndBootloadOperation();
}

TEST_F(Transport, FailedReadGivesTheMessageAndMinusOne)
{
    surface->addFault({sim::Fault::ReadFails, 1});
    uint8_t buf[COMMAND_BUFFER_SIZE];
    uint32_t cmdSize = 0, resSize = 0;
    CyBtldr_CreateEnterBootLoaderCmd(buf, &cmdSize, &resSize);
    ASSERT_EQ(vireon::transport::writePacket(handle, buf, 7), 0);
    std::memset(buf, 0xEE, sizeof buf);
    StderrCapture err;
    EXPECT_EQ(vireon::transport::readPacket(handle, buf, 15), -1);
    EXPECT_EQ(err.text(), "USB HID Read Failure: Input/output error\n");
    EXPECT_EQ(buf[0], 0) << "the cleared buffer is copied out after a failure too";
    EXPECT_EQ(buf[65], 0xEE);
}

TEST_F(Transport, SilentDeviceIsGivenUpAfterTheTimeLimit)
{
    surface->addFault({sim::Fault::NoAnswer, 1});
    uint8_t buf[COMMAND_BUFFER_SIZE];
    uint32_t cmdSize = 0, resSize = 0;
    CyBtldr_CreateEnterBootLoaderCmd(buf, &cmdSize, &resSize);
    ASSERT_EQ(vireon::transport::writePacket(handle, buf, 7), 0);
    StderrCapture err;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(vireon::transport::readPacket(handle, buf, 15), -1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 4900ms);
    EXPECT_EQ(count(err.text(), "USB HID Read Failure: "), 1);
}

TEST_F(Transport, UnplugMidImageFailsTheAction)
{
    tools::ImageSpec spec = smallImage();
    spec.rowCount = 4;
    spec.rowSize = 128;
    const std::string file = imageFile(spec, "image.cyacd");
    closeHandle();
    sim::Bus::instance().reset();
    surface = attach({tools::targetFor(spec)});
    // Unplugged during the third row, plugged back in at once: the open
    // handle belongs to the old connection and stays dead.
    surface->addFault({sim::Fault::UnplugAt, 12, 1, 0, 0xFF, 0, 0ms});
    StderrCapture err;
    EXPECT_EQ(program(file), -1);
    EXPECT_EQ(count(err.text(), "USB HID Write Failure: No such device\n"), 2); // the row and the exit command
    EXPECT_TRUE(surface->onBus());
    auto lock = surface->lock();
    EXPECT_EQ(surface->device().flash(0).size(), 2u) << "two rows written before the unplug";
}

} // namespace
