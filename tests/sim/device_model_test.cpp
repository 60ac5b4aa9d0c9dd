// The device model as the host sees it: request packets in, answer packets
// out, checked byte for byte.
#include "wire.h"

using namespace vireon::sim;
using namespace wire;

namespace {

TargetConfig chip(uint32_t id, PacketChecksum kind = PacketChecksum::Sum, int apps = 1)
{
    TargetConfig t;
    t.siliconId = id;
    t.siliconRev = 0x02;
    t.bootloaderVersion = 0x01011E;
    t.checksum = kind;
    t.arrays = {ArrayConfig{0, 0x0010, 0x01FF, 64}, ArrayConfig{1, 0, 3, 8}};
    t.applications = apps;
    return t;
}

} // namespace

TEST(DeviceModelPackets, WorkedChecksumsAndEnterAnswer)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(packetChecksum(PacketChecksum::Crc, check, sizeof check), 0x6E90);

    Bootloader sum({chip(0x12345678)});
    // The answer's bytes before the checksum sum to 0x13F: checksum 0xFEC1.
    const Bytes answer = send(sum, {0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17});
    EXPECT_EQ(answer, (Bytes{0x01, 0x00, 0x08, 0x00, 0x78, 0x56, 0x34, 0x12, 0x02, 0x1E, 0x01, 0x01, 0xC1, 0xFE, 0x17}));
    EXPECT_TRUE(sum.entered());

    Bootloader crc({chip(0x12345678, PacketChecksum::Crc)});
    const Bytes padded{0x01, 0x38, 0x00, 0x00, 0xA0, 0x09, 0x17, 0x55, 0x00, 0xFF}; // report padding
    EXPECT_EQ(send(crc, padded), buildPacket(PacketChecksum::Crc, 0, Bytes(answer.begin() + 4, answer.begin() + 12)));
    // An empty answer in the CRC kind: CRC-16/X-25 of 01 00 00 00 is 0xE065, sent high byte first.
    EXPECT_EQ(buildPacket(PacketChecksum::Crc, 0, {}), (Bytes{0x01, 0x00, 0x00, 0x00, 0xE0, 0x65, 0x17}));
}

TEST(DeviceModelPackets, BadFramesGetTheirOwnStatus)
{
    Bootloader bl({chip(1)});
    const std::pair<Bytes, uint8_t> cases[] = {
        {{0x02, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17}, status::BadData},     // start byte
        {{0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x16}, status::BadData},     // end byte
        {{0x01, 0x38, 0x00, 0x00, 0xC7}, status::BadData},                 // short
        {{0x01, 0x38, 0x05, 0x00, 0xC7, 0xFF, 0x17, 0x00}, status::BadLength}, // length past the bytes
        {{0x01, 0x38, 0x00, 0x00, 0xA0, 0x09, 0x17}, status::BadChecksum}, // CRC to a sum target
        {{0x01, 0x38, 0x00, 0x00, 0xC6, 0xFF, 0x17}, status::BadChecksum},
    };
    for (const auto &[packet, st] : cases)
        EXPECT_EQ(send(bl, packet), buildPacket(PacketChecksum::Sum, st, {}));
    EXPECT_FALSE(bl.entered());
    ASSERT_EQ(bl.received().size(), std::size(cases));
    EXPECT_EQ(bl.received().back().status, status::BadChecksum);

    // Well-framed but wrong for the command: unknown code, wrong length.
    EXPECT_EQ(statusOf(request(bl, 0x3C)), status::BadCommand);
    EXPECT_EQ(statusOf(request(bl, command::GetFlashSize, {0})), status::NotEntered);
    EXPECT_EQ(statusOf(request(bl, command::Enter, {0})), status::BadLength);
    EXPECT_EQ(statusOf(request(bl, command::Enter)), 0);
    EXPECT_EQ(statusOf(request(bl, command::GetFlashSize, {0, 0})), status::BadLength);
    EXPECT_EQ(statusOf(request(bl, command::VerifyRow, {0, 0x10})), status::BadLength);
    EXPECT_EQ(statusOf(request(bl, command::ProgramRow, {0, 0x10})), status::BadLength);
    EXPECT_EQ(statusOf(request(bl, command::VerifyChecksum, {1})), status::BadLength);
}

TEST(DeviceModelFlash, FlashSizeRowRangeAndArrays)
{
    Bootloader bl({chip(1)});
    request(bl, command::Enter);
    EXPECT_EQ(request(bl, command::GetFlashSize, {0}), buildPacket(PacketChecksum::Sum, 0, {0x10, 0x00, 0xFF, 0x01}));
    EXPECT_EQ(statusOf(request(bl, command::GetFlashSize, {2})), status::BadArray);

    const Bytes row = Bytes(64, 0x33);
    EXPECT_EQ(programRow(bl, 0, 0x0010, row), 0);
    EXPECT_EQ(programRow(bl, 0, 0x01FF, row), 0);
    EXPECT_EQ(programRow(bl, 0, 0x000F, row), status::BadRow);
    EXPECT_EQ(programRow(bl, 0, 0x0200, row), status::BadRow);
    EXPECT_EQ(programRow(bl, 4, 0x0010, row), status::BadArray);
    EXPECT_EQ(statusOf(request(bl, command::EraseRow, {0, 0x00, 0x02})), status::BadRow);
    EXPECT_EQ(statusOf(request(bl, command::VerifyRow, {3, 0x10, 0x00})), status::BadArray);
    EXPECT_EQ(bl.flash(0).size(), 2u);
}

TEST(DeviceModelFlash, RowStoredOnlyWhenComplete)
{
    Bootloader bl({chip(1)});
    request(bl, command::Enter);
    const Bytes row = Bytes(64, 0x99);

    // Send-data alone stores nothing.
    EXPECT_EQ(statusOf(request(bl, command::SendData, Bytes(row.begin(), row.begin() + 53))), 0);
    EXPECT_EQ(bl.bufferedBytes(), 53u);
    EXPECT_TRUE(bl.flash(0).empty());

    // One byte short: refused, nothing stored, buffer dropped, row marked failed.
    Bytes shortTail{0, 0x20, 0x00};
    shortTail.insert(shortTail.end(), row.begin() + 53, row.end() - 1);
    EXPECT_EQ(statusOf(request(bl, command::ProgramRow, shortTail)), status::ProgramFailed);
    EXPECT_EQ(bl.bufferedBytes(), 0u);
    EXPECT_TRUE(bl.flash(0).empty());
    EXPECT_EQ(bl.failedRows(0).count({0, 0x20}), 1u);
    EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{0});

    // A buffer overflowing every row is refused at once.
    EXPECT_EQ(statusOf(request(bl, command::SendData, Bytes(53, 1))), 0);
    EXPECT_EQ(statusOf(request(bl, command::SendData, Bytes(12, 1))), status::BadLength);
    EXPECT_EQ(bl.bufferedBytes(), 0u);

    // The whole row, then verify-row reports the device's checksum of it.
    EXPECT_EQ(programRow(bl, 0, 0x0020, row), 0);
    EXPECT_EQ(bl.flash(0).at({0, 0x20}), row);
    EXPECT_EQ(dataOf(request(bl, command::VerifyRow, {0, 0x20, 0x00})), Bytes{0xC0}); // 64 x 0x99 = 0x2640
    EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{1});

    // A short row that fits in one program-row packet.
    EXPECT_EQ(programRow(bl, 1, 3, Bytes(8, 0x11)), 0);
    EXPECT_EQ(programRow(bl, 1, 2, Bytes(9, 0x11)), status::ProgramFailed);

    // Erase removes the row; it reads back as zero bytes (checksum 0).
    EXPECT_EQ(statusOf(request(bl, command::EraseRow, {0, 0x20, 0x00})), 0);
    EXPECT_EQ(bl.flash(0).count({0, 0x20}), 0u);
    EXPECT_EQ(dataOf(request(bl, command::VerifyRow, {0, 0x20, 0x00})), Bytes{0});
    EXPECT_EQ(statusOf(request(bl, command::EraseRow, {1, 2, 0})), 0); // clears the failed mark
    EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{1});
}

TEST(DeviceModelApplications, StatusAndActiveApplication)
{
    Bootloader single({chip(1)});
    request(single, command::Enter);
    EXPECT_EQ(request(single, command::GetAppStatus, {0}), buildPacket(PacketChecksum::Sum, 0x05, {}));
    EXPECT_EQ(statusOf(request(single, command::SetActiveApp, {0})), status::Unsupported);

    Bootloader bl({chip(1, PacketChecksum::Crc, 2)});
    request(bl, command::Enter);
    // Array 0 rows 0x10..0x1FF: application 0 owns 0x10..0x107, 1 the rest.
    EXPECT_EQ(dataOf(request(bl, command::GetAppStatus, {0})), (Bytes{1, 0}));
    EXPECT_EQ(programRow(bl, 0, 0x0010, Bytes(64, 0x11)), 0);
    EXPECT_EQ(dataOf(request(bl, command::GetAppStatus, {0})), (Bytes{0, 0}));
    EXPECT_EQ(dataOf(request(bl, command::GetAppStatus, {1})), (Bytes{1, 0}));
    EXPECT_EQ(statusOf(request(bl, command::GetAppStatus, {2})), status::BadApplication);

    bl.setApplicationActive(0, 0, true);
    EXPECT_EQ(statusOf(request(bl, command::SetActiveApp, {1})), 0);
    EXPECT_EQ(bl.activeApplication(0), std::optional<uint8_t>(1));
    EXPECT_FALSE(bl.applicationActive(0, 0));
    EXPECT_EQ(dataOf(request(bl, command::GetAppStatus, {1})), (Bytes{1, 1}));

    bl.reportBadApplicationChecksum(true);
    EXPECT_EQ(dataOf(request(bl, command::GetAppStatus, {0})), (Bytes{1, 0}));
    EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{0});
}

TEST(DeviceModelChain, ExitRestartsIntoTheNextTarget)
{
    Bootloader bl({chip(0xA1), chip(0xB2, PacketChecksum::Crc)});
    request(bl, command::Enter);
    EXPECT_EQ(programRow(bl, 1, 0, Bytes(8, 0x55)), 0);
    EXPECT_EQ(statusOf(request(bl, command::SendData, {1, 2, 3})), 0);

    EXPECT_TRUE(request(bl, command::Exit, {0}).empty());
    EXPECT_TRUE(bl.restartRequested());
    EXPECT_TRUE(request(bl, command::Enter).empty()); // restarting: no answer
    EXPECT_EQ(bl.received().back().status, 0);

    bl.restart();
    EXPECT_FALSE(bl.restartRequested());
    EXPECT_EQ(bl.currentTarget(), 1u);
    EXPECT_FALSE(bl.entered());
    EXPECT_EQ(bl.bufferedBytes(), 0u);
    EXPECT_EQ(statusOf(request(bl, command::VerifyRow, {1, 0, 0})), status::NotEntered);
    EXPECT_EQ(dataOf(request(bl, command::Enter))[0], 0xB2);
    EXPECT_TRUE(bl.flash(1).empty());

    bl.restart(); // wraps to the first target, whose flash was kept
    EXPECT_EQ(bl.currentTarget(), 0u);
    EXPECT_EQ(bl.flash(0).size(), 1u);
    request(bl, command::Enter);
    EXPECT_EQ(dataOf(request(bl, command::VerifyRow, {1, 0, 0})), Bytes{0x58}); // 8 x 0x55 = 0x2A8
    EXPECT_EQ(bl.receivedCount(command::Enter), 4u);
    EXPECT_EQ(bl.received()[5].target, 1u);
}

TEST(DeviceModelFaults, ScriptedStatusesAndWrongChecksums)
{
    Bootloader bl({chip(1)});
    const Bytes eight{1, 2, 3, 4, 5, 6, 7, 8}; // sums to 0x24: the device reports 0xDC
    bl.answerStatus(command::ProgramRow, 0x0B, 2, 1);
    request(bl, command::Enter);
    EXPECT_EQ(programRow(bl, 1, 0, eight), 0);               // skipped
    EXPECT_EQ(programRow(bl, 1, 1, Bytes(8, 0x11)), 0x0B); // faulted, not acted on
    EXPECT_EQ(programRow(bl, 1, 2, Bytes(8, 0x11)), 0x0B);
    EXPECT_EQ(programRow(bl, 1, 3, Bytes(8, 0x11)), 0);    // used up
    EXPECT_EQ(bl.flash(0).count({1, 1}) + bl.flash(0).count({1, 2}), 0u);

    bl.answerStatus(command::Exit, 0x04);
    EXPECT_EQ(statusOf(request(bl, command::Exit, {0})), 0x04);
    EXPECT_FALSE(bl.restartRequested());

    bl.reportBadRowChecksum(true);
    EXPECT_NE(dataOf(request(bl, command::VerifyRow, {1, 0, 0})), Bytes{0xDC});
    bl.reportBadApplicationChecksum(true);
    EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{0});
    bl.clearFaults();
    EXPECT_EQ(dataOf(request(bl, command::VerifyRow, {1, 0, 0})), Bytes{0xDC});
    EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{1});

    // The enter answer follows the target's settings as changed by a test.
    bl.target(0).siliconId = 0xCAFE0001;
    bl.target(0).siliconRev = 0x07;
    bl.target(0).bootloaderVersion = 0x020000;
    EXPECT_EQ(dataOf(request(bl, command::Enter)), (Bytes{0x01, 0x00, 0xFE, 0xCA, 0x07, 0x00, 0x00, 0x02}));
}
