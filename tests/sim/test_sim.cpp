// The device model as the host sees it, request packets in and answer
// packets out, checked byte for byte; and the firmware file generator: its
// text, its worked row checksums, the tool and the committed example. That
// the generator's row checksums agree with the model's verify-row answers is
// proved by every programming run in tests/usb.
#include "cyacd_gen.h"
#include "device_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <numeric>

using namespace vireon;
using namespace vireon::sim;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes send(Bootloader &bl, const Bytes &packet) { return bl.handleRequest(packet.data(), packet.size()); }

// A request in the checksum kind of the target on the bus.
Bytes request(Bootloader &bl, uint8_t cmd, const Bytes &data = {})
{
    return send(bl, buildPacket(bl.target(bl.currentTarget()).checksum, cmd, data));
}

uint8_t statusOf(const Bytes &answer) { return answer.size() > 1 ? answer[1] : 0xFF; }

Bytes dataOf(const Bytes &answer)
{
    const size_t n = answer.size() < 7 ? 0 : size_t(answer[2] | (answer[3] << 8));
    EXPECT_EQ(answer.size(), n + 7);
    return answer.size() == n + 7 ? Bytes(answer.begin() + 4, answer.end() - 3) : Bytes{};
}

// A row split as the host splits it for 64-byte transfers: 53-byte
// send-data chunks, then a program-row with the rest. Returns the first
// nonzero status.
uint8_t programRow(Bootloader &bl, uint8_t array, uint16_t row, const Bytes &data)
{
    size_t at = 0;
    for (; data.size() - at > 53; at += 53)
        if (uint8_t st = statusOf(request(bl, command::SendData, Bytes(&data[at], &data[at] + 53))))
            return st;
    Bytes last{array, uint8_t(row), uint8_t(row >> 8)};
    last.insert(last.end(), data.begin() + long(at), data.end());
    return statusOf(request(bl, command::ProgramRow, last));
}

// Array 0 has rows 0x10 to 0x1FF of 64 bytes, array 1 rows 0 to 3 of 8.
TargetConfig chip(uint32_t id, PacketChecksum kind = PacketChecksum::Sum, int apps = 1)
{
    return {id, 0x02, 0x01011E, kind, {{0, 0x0010, 0x01FF, 64}, {1, 0, 3, 8}}, apps};
}

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
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

    Bootloader crc({chip(0x12345678, PacketChecksum::Crc)});
    const Bytes padded{0x01, 0x38, 0x00, 0x00, 0xA0, 0x09, 0x17, 0x55, 0x00, 0xFF}; // report padding
    EXPECT_EQ(send(crc, padded), buildPacket(PacketChecksum::Crc, 0, Bytes(answer.begin() + 4, answer.begin() + 12)));
    // An empty answer in the CRC kind: CRC-16/X-25 of 01 00 00 00 is 0xE065, sent high byte first.
    EXPECT_EQ(buildPacket(PacketChecksum::Crc, 0, {}), (Bytes{0x01, 0x00, 0x00, 0x00, 0xE0, 0x65, 0x17}));
}

TEST(DeviceModelPackets, BadRequestsGetTheirOwnStatus)
{
    Bootloader bl({chip(1)});
    const std::pair<Bytes, uint8_t> frames[] = {
        {{0x02, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17}, status::BadData},         // start byte
        {{0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x16}, status::BadData},         // end byte
        {{0x01, 0x38, 0x00, 0x00, 0xC7}, status::BadData},                     // short
        {{0x01, 0x38, 0x05, 0x00, 0xC7, 0xFF, 0x17, 0x00}, status::BadLength}, // length past the bytes
        {{0x01, 0x38, 0x00, 0x00, 0xA0, 0x09, 0x17}, status::BadChecksum},     // CRC to a sum target
        {{0x01, 0x38, 0x00, 0x00, 0xC6, 0xFF, 0x17}, status::BadChecksum},
    };
    for (const auto &[packet, st] : frames)
        EXPECT_EQ(send(bl, packet), buildPacket(PacketChecksum::Sum, st, {}));
    ASSERT_EQ(bl.received().size(), std::size(frames));
    EXPECT_EQ(bl.received().back().status, status::BadChecksum);

    // Well-framed but wrong for the command, in this order: unknown code,
    // not entered (none of the bad frames entered), wrong data length, no
    // such array or row.
    const std::tuple<uint8_t, Bytes, uint8_t> commands[] = {
        {0x3C, {}, status::BadCommand},
        {command::GetFlashSize, {0}, status::NotEntered},
        {command::Enter, {0}, status::BadLength},
        {command::Enter, {}, 0},
        {command::GetFlashSize, {0, 0}, status::BadLength},
        {command::VerifyRow, {0, 0x10}, status::BadLength},
        {command::ProgramRow, {0, 0x10}, status::BadLength},
        {command::VerifyChecksum, {1}, status::BadLength},
        {command::GetFlashSize, {2}, status::BadArray},
        {command::VerifyRow, {3, 0x10, 0x00}, status::BadArray},
        {command::EraseRow, {0, 0x00, 0x02}, status::BadRow},
    };
    for (const auto &[cmd, data, st] : commands)
        EXPECT_EQ(statusOf(request(bl, cmd, data)), st) << int(cmd) << " " << testing::PrintToString(data);
    EXPECT_EQ(request(bl, command::GetFlashSize, {0}), buildPacket(PacketChecksum::Sum, 0, {0x10, 0x00, 0xFF, 0x01}));
    const std::pair<uint16_t, uint8_t> rows[] = {{0x0010, 0}, {0x01FF, 0}, {0x000F, status::BadRow}, {0x0200, status::BadRow}};
    for (const auto &[row, st] : rows)
        EXPECT_EQ(programRow(bl, 0, row, Bytes(64, 0x33)), st) << row;
    EXPECT_EQ(programRow(bl, 4, 0x0010, Bytes(64, 0x33)), status::BadArray);
    EXPECT_EQ(bl.flash(0).size(), 2u);
}

TEST(DeviceModelFlash, RowStoredOnlyWhenComplete)
{
    Bootloader bl({chip(1)});
    request(bl, command::Enter);
    // One byte short: refused, nothing stored, the row marked failed, the
    // buffer dropped (else the next send-data would overflow).
    EXPECT_EQ(programRow(bl, 0, 0x0020, Bytes(63, 0x99)), status::ProgramFailed);
    EXPECT_TRUE(bl.flash(0).empty());
    EXPECT_EQ(bl.failedRows(0).count({0, 0x20}), 1u);

    // Send-data alone stores nothing. A buffer overflowing every row is
    // refused at once, and dropped (else the next row would not fit).
    EXPECT_EQ(statusOf(request(bl, command::SendData, Bytes(53, 1))), 0);
    EXPECT_TRUE(bl.flash(0).empty());
    EXPECT_EQ(statusOf(request(bl, command::SendData, Bytes(12, 1))), status::BadLength);

    // The whole row, then verify-row reports the device's checksum of it.
    EXPECT_EQ(programRow(bl, 0, 0x0020, Bytes(64, 0x99)), 0);
    EXPECT_EQ(bl.flash(0).at({0, 0x20}), Bytes(64, 0x99));
    EXPECT_EQ(dataOf(request(bl, command::VerifyRow, {0, 0x20, 0x00})), Bytes{0xC0}); // 64 x 0x99 = 0x2640

    // A short row that fits in one program-row packet; one byte more does not fit.
    EXPECT_EQ(programRow(bl, 1, 3, Bytes(8, 0x11)), 0);
    EXPECT_EQ(programRow(bl, 1, 2, Bytes(9, 0x11)), status::ProgramFailed);

    // Erase removes the row; it reads back as zero bytes (checksum 0).
    EXPECT_EQ(statusOf(request(bl, command::EraseRow, {0, 0x20, 0x00})), 0);
    EXPECT_EQ(bl.flash(0).count({0, 0x20}), 0u);
    EXPECT_EQ(dataOf(request(bl, command::VerifyRow, {0, 0x20, 0x00})), Bytes{0});
    EXPECT_EQ(statusOf(request(bl, command::EraseRow, {1, 2, 0})), 0); // clears the failed mark
    EXPECT_TRUE(bl.failedRows(0).empty());
}

TEST(DeviceModelFlash, VerifyChecksumComparesTheFlashWithTheMetadataRow)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(applicationChecksum(applicationChecksum(0, check, 4), check + 4, 5), 0xCBF43926u); // in two parts
    // Rows 0x10 to 0x13 of 64 bytes: three of the application, then its
    // metadata row, which holds its CRC-32 and its length, 192 = 0xC0.
    tools::ImageSpec layout{0x56530001, 0, 0, true, 0, 0x10, 4, 64, 5}, another = layout;
    another.seed = 6;
    const tools::Rows rows = tools::imageRows(layout), other = tools::imageRows(another);
    Bytes lengthAndZeros(60, 0);
    lengthAndZeros[0] = 0xC0;
    EXPECT_EQ(Bytes(rows.at({0, 0x13}).begin() + 4, rows.at({0, 0x13}).end()), lengthAndZeros);
    const auto without = [](tools::Rows r, uint16_t row) { return r.erase({0, row}), r; };
    const auto with = [](tools::Rows r, uint16_t row, const Bytes &data) { return r[{0, row}] = data, r; };
    // (rows programmed, whether the application verifies)
    const std::pair<tools::Rows, bool> cases[] = {
        {rows, true},
        {without(rows, 0x12), false},                     // truncated
        {without(rows, 0x13), false},                     // no metadata row
        {with(rows, 0x11, other.at({0, 0x11})), false},   // a row from another image
        {with(rows, 0x13, other.at({0, 0x13})), false},   // another image's metadata
        // Nothing but a metadata row for an empty application (whose CRC-32 is 0).
        {with(without(without(without(rows, 0x10), 0x11), 0x12), 0x13, metadataRow(0, 0, 64)), false},
    };
    for (const auto &[stored, valid] : cases) {
        Bootloader bl({tools::targetFor(layout)});
        request(bl, command::Enter);
        for (const auto &[key, data] : stored)
            ASSERT_EQ(programRow(bl, key.first, key.second, data), 0);
        EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{valid});
        if (valid) {
            bl.reportBadApplicationChecksum(true);
            EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{0});
            bl.clearFaults();
            EXPECT_EQ(programRow(bl, 0, 0x11, Bytes(63, 0)), status::ProgramFailed); // half-programmed
            EXPECT_EQ(dataOf(request(bl, command::VerifyChecksum)), Bytes{0});
        }
    }
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
    EXPECT_EQ(dataOf(request(bl, command::GetAppStatus, {1})), (Bytes{1, 1}));

    bl.reportBadApplicationChecksum(true); // application 0 reported invalid; set-active 1 left it inactive
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

    // The next target, answering again, not entered, its buffer empty.
    bl.restart();
    EXPECT_EQ(bl.currentTarget(), 1u);
    EXPECT_EQ(bl.bufferedBytes(), 0u);
    EXPECT_EQ(statusOf(request(bl, command::VerifyRow, {1, 0, 0})), status::NotEntered);
    EXPECT_EQ(dataOf(request(bl, command::Enter)), (Bytes{0xB2, 0x00, 0x00, 0x00, 0x02, 0x1E, 0x01, 0x01}));
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
    bl.answerStatus(command::ProgramRow, 0x0B, 2, 1);
    request(bl, command::Enter);
    EXPECT_EQ(programRow(bl, 1, 0, {1, 2, 3, 4, 5, 6, 7, 8}), 0); // skipped; sums to 0x24, the device reports 0xDC
    EXPECT_EQ(programRow(bl, 1, 1, Bytes(8, 0x11)), 0x0B);      // faulted, not acted on
    EXPECT_EQ(programRow(bl, 1, 2, Bytes(8, 0x11)), 0x0B);
    EXPECT_EQ(programRow(bl, 1, 3, Bytes(8, 0x11)), 0); // used up
    EXPECT_EQ(bl.flash(0).count({1, 1}) + bl.flash(0).count({1, 2}), 0u);

    bl.reportBadRowChecksum(true);
    EXPECT_NE(dataOf(request(bl, command::VerifyRow, {1, 0, 0})), Bytes{0xDC});
    bl.clearFaults();
    EXPECT_EQ(dataOf(request(bl, command::VerifyRow, {1, 0, 0})), Bytes{0xDC});
}

TEST(CyacdGenText, HeaderAndRowFields)
{
    // Silicon id and revision, checksum kind (written), array, first row, rows, row size, seed, line end.
    tools::ImageSpec layout{0x12345678, 0x02, 1, true, 1, 0x00FE, 3, 5, 1, "\r\n"};
    std::string expected = "12345678" "02" "01\r\n";
    const tools::Rows rows = tools::imageRows(layout);
    ASSERT_EQ(rows.size(), 3u);
    for (const auto &[key, data] : rows) {
        const auto [array, row] = key;
        Bytes line{array, uint8_t(row >> 8), uint8_t(row), 0, 5}; // big-endian row number and length
        line.insert(line.end(), data.begin(), data.end());
        line.push_back(tools::fileRowChecksum(array, row, data));
        char hex[3];
        expected += ":";
        for (uint8_t b : line) {
            std::snprintf(hex, sizeof hex, "%02X", b);
            expected += hex;
        }
        expected += "\r\n";
        EXPECT_EQ(std::accumulate(line.begin(), line.end(), 0) % 256, 0) << "the checksum byte completes the sum to zero";
    }
    EXPECT_EQ(tools::imageText(layout), expected);
    EXPECT_EQ(tools::rowLineLength(layout), 23u);
    EXPECT_EQ(tools::targetFor(layout).checksum, PacketChecksum::Crc);

    layout.writeChecksumKind = false;
    layout.lineEnd = "\n";
    EXPECT_EQ(tools::imageText(layout).substr(0, 11), "1234567802\n");
    EXPECT_EQ(tools::targetFor(layout).checksum, PacketChecksum::Sum);
    layout.firstRow = 0xFFFE; // rows stop at the last row number
    EXPECT_EQ(tools::imageRows(layout).size(), 2u);

    // Array 0, row 0x0010, length 4, data 01 02 03 04: the bytes sum to 0x1E.
    EXPECT_EQ(tools::fileRowChecksum(0, 0x0010, {1, 2, 3, 4}), 0xE2);
    // Both bytes of the row number and of the length count.
    EXPECT_EQ(tools::fileRowChecksum(0xFF, 0xFFFF, Bytes(0x101, 0)), 0x01);
}

TEST(CyacdGenFiles, ToolWritesTheCommittedExample)
{
    const std::string out = ::testing::TempDir() + "vireon-demo-check.cyacd";
    const std::string example = readFile(std::string(VIREON_EXAMPLES_DIR) + "/vireon-surface-demo.cyacd");
    EXPECT_EQ(tools::fileText(tools::exampleImages()), example);
    const std::string cmd = std::string("\"") + VIREON_CYACD_GEN + "\" --example --out \"" + out + "\"";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(readFile(out), example);
    std::remove(out.c_str());

    EXPECT_FALSE(tools::writeFile(::testing::TempDir() + "no-such-dir/x.cyacd", {tools::ImageSpec{}}));
    EXPECT_NE(std::system((std::string("\"") + VIREON_CYACD_GEN + "\" --rows 70000 --out x 2>/dev/null").c_str()), 0);
}
