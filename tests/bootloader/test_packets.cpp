// Packet layer: checksums, request bytes and response decoding.
#include "cybtldr_command.h"
#include "recording_transport.h"

#include <gtest/gtest.h>

using vireon::test::Bytes;
using vireon::test::response;

namespace {

struct ChecksumKind {
    explicit ChecksumKind(uint8_t kind) { CyBtldr_SetCheckSumType(static_cast<CyBtldr_ChecksumType>(kind)); }
    ~ChecksumKind() { CyBtldr_SetCheckSumType(SUM_CHECKSUM); }
};

Bytes enterRequest()
{
    uint8_t buf[COMMAND_BUFFER_SIZE];
    uint32_t cmdSize = 0, resSize = 0;
    EXPECT_EQ(0, CyBtldr_CreateEnterBootLoaderCmd(buf, &cmdSize, &resSize));
    EXPECT_EQ(15u, resSize);
    return Bytes(buf, buf + cmdSize);
}

} // namespace

TEST(PacketChecksum, WorkedValuesOfBothKinds)
{
    uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    {
        ChecksumKind crc(CRC_CHECKSUM);
        EXPECT_EQ(0x6E90, CyBtldr_ComputeChecksum(check, 9));
        EXPECT_EQ(0, CyBtldr_ComputeChecksum(check, 0));
        EXPECT_EQ((Bytes{0x01, 0x38, 0x00, 0x00, 0xA0, 0x09, 0x17}), enterRequest());
    }
    EXPECT_EQ((Bytes{0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17}), enterRequest());
    // Every kind other than 1 is the sum, including values outside the enum.
    for (int kind : {2, 0x7F, 0xFF}) {
        ChecksumKind other(static_cast<uint8_t>(kind));
        EXPECT_EQ((Bytes{0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17}), enterRequest()) << kind;
    }
    uint8_t zeros[4] = {0, 0, 0, 0};
    EXPECT_EQ(0, CyBtldr_ComputeChecksum(zeros, 4)); // the sum's complement wraps to 0
}

TEST(PacketBuilders, RequestBytesAndLengths)
{
    uint8_t buf[COMMAND_BUFFER_SIZE];
    uint32_t cmdSize = 0, resSize = 0;
    uint8_t row[] = {0xAA, 0xBB, 0xCC};
    CyBtldr_CreateProgramRowCmd(0, 0x0123, row, 3, buf, &cmdSize, &resSize);
    ASSERT_EQ(13u, cmdSize);
    EXPECT_EQ(7u, resSize);
    EXPECT_EQ((Bytes{0x01, 0x39, 0x06, 0x00, 0x00, 0x23, 0x01, 0xAA, 0xBB, 0xCC}), Bytes(buf, buf + 10));
    const uint16_t sum = CyBtldr_ComputeChecksum(buf, 10);
    EXPECT_EQ((Bytes{static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8), 0x17}), Bytes(buf + 10, buf + 13));

    CyBtldr_CreateExitBootLoaderCmd(0, buf, &cmdSize, &resSize);
    EXPECT_EQ((Bytes{0x01, 0x3B, 0x01, 0x00, 0x00, 0xC3, 0xFF, 0x17}), Bytes(buf, buf + cmdSize));

    uint8_t data[300] = {};
    CyBtldr_CreateSendDataCmd(data, 300, buf, &cmdSize, &resSize);
    EXPECT_EQ(307u, cmdSize);
    EXPECT_EQ((Bytes{0x01, 0x37, 0x2C, 0x01}), Bytes(buf, buf + 4));
    EXPECT_EQ(0x17, buf[306]);

    // Code, request length and response length of the fixed-size commands.
    struct Fixed {
        int (*build)(uint8_t *, uint32_t *, uint32_t *);
        uint8_t code;
        uint32_t cmd, res;
    };
    const Fixed fixed[] = {
        {[](uint8_t *b, uint32_t *c, uint32_t *r) { return CyBtldr_CreateVerifyChecksumCmd(b, c, r); }, 0x31, 7, 8},
        {[](uint8_t *b, uint32_t *c, uint32_t *r) { return CyBtldr_CreateGetFlashSizeCmd(2, b, c, r); }, 0x32, 8, 11},
        {[](uint8_t *b, uint32_t *c, uint32_t *r) { return CyBtldr_CreateGetAppStatusCmd(1, b, c, r); }, 0x33, 8, 9},
        {[](uint8_t *b, uint32_t *c, uint32_t *r) { return CyBtldr_CreateEraseRowCmd(1, 0x0203, b, c, r); }, 0x34, 10,
         7},
        {[](uint8_t *b, uint32_t *c, uint32_t *r) { return CyBtldr_CreateSyncBootLoaderCmd(b, c, r); }, 0x35, 7, 7},
        {[](uint8_t *b, uint32_t *c, uint32_t *r) { return CyBtldr_CreateSetActiveAppCmd(1, b, c, r); }, 0x36, 8, 7},
        {[](uint8_t *b, uint32_t *c, uint32_t *r) { return CyBtldr_CreateVerifyRowCmd(1, 0x0203, b, c, r); }, 0x3A, 10,
         8},
    };
    for (const Fixed &f : fixed) {
        ASSERT_EQ(0, f.build(buf, &cmdSize, &resSize));
        EXPECT_EQ(f.code, buf[1]);
        EXPECT_EQ(f.cmd, cmdSize) << int(f.code);
        EXPECT_EQ(f.res, resSize) << int(f.code);
        EXPECT_EQ(cmdSize - 7, buf[2] | (buf[3] << 8u));
        if (cmdSize == 10) // array id, then the row number low byte first
            EXPECT_EQ((Bytes{1, 0x03, 0x02}), Bytes(buf + 4, buf + 7));
    }
}

TEST(PacketParsers, DecodeFieldsAndIgnoreResponseChecksum)
{
    uint8_t status = 0xEE;
    Bytes enter{0x01, 0x00, 0x08, 0x00, 0x78, 0x56, 0x34, 0x12, 0x02, 0x1E, 0x01, 0x01, 0x99, 0x42, 0x17};
    uint32_t siliconId = 0, version = 0;
    uint8_t revision = 0;
    ASSERT_EQ(0, CyBtldr_ParseEnterBootLoaderCmdResult(enter.data(), 15, &siliconId, &revision, &version, &status));
    EXPECT_EQ(0x12345678u, siliconId);
    EXPECT_EQ(2, revision);
    EXPECT_EQ(0x01011Eu, version);
    EXPECT_EQ(0, status);

    Bytes flash{0x01, 0x00, 0x04, 0x00, 0x10, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x17};
    uint16_t first = 0, last = 0;
    ASSERT_EQ(0, CyBtldr_ParseGetFlashSizeCmdResult(flash.data(), 11, &first, &last, &status));
    EXPECT_EQ(0x0010, first);
    EXPECT_EQ(0x01FF, last);

    Bytes app = response(0, {0x00, 0x01});
    uint8_t valid = 9, active = 9;
    ASSERT_EQ(0, CyBtldr_ParseGetAppStatusCmdResult(app.data(), 9, &valid, &active, &status));
    EXPECT_EQ(0, valid);
    EXPECT_EQ(1, active);

    Bytes row = response(0, {0x5A});
    uint8_t value = 0;
    ASSERT_EQ(0, CyBtldr_ParseVerifyRowCmdResult(row.data(), 8, &value, &status));
    EXPECT_EQ(0x5A, value);
    ASSERT_EQ(0, CyBtldr_ParseVerifyChecksumCmdResult(row.data(), 8, &value, &status));
}

TEST(PacketParsers, RejectMalformedResponsesWithoutWritingFields)
{
    using Parser = int (*)(uint8_t *, uint32_t, uint8_t *);
    const Parser defaults[] = {CyBtldr_ParseDefaultCmdResult, CyBtldr_ParseProgramRowCmdResult,
                               CyBtldr_ParseEraseRowCmdResult, CyBtldr_ParseSendDataCmdResult,
                               CyBtldr_ParseSetActiveAppCmdResult};
    for (Parser parse : defaults) {
        uint8_t status = 0xEE;
        Bytes bad{0x02, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}; // nonzero status wins over the frame
        EXPECT_EQ(0x4005, parse(bad.data(), 7, &status));
        EXPECT_EQ(5, status);
        status = 0xEE;
        Bytes ok = response(0);
        EXPECT_EQ(3, parse(ok.data(), 8, &status));
        EXPECT_EQ(3, parse(ok.data(), 6, &status));
        for (size_t i : {0u, 2u, 3u, 6u}) {
            Bytes broken = ok;
            broken[i] ^= 0x40;
            EXPECT_EQ(4, parse(broken.data(), 7, &status)) << i;
        }
        EXPECT_EQ(0xEE, status);
        ok[4] ^= 0xFF; // checksum bytes are never examined
        EXPECT_EQ(0, parse(ok.data(), 7, &status));
        EXPECT_EQ(0, status);
    }

    uint8_t status = 0xEE;
    uint16_t first = 0xAAAA, last = 0xAAAA;
    Bytes flash = response(0x0B, {1, 2, 3, 4});
    EXPECT_EQ(0x400B, CyBtldr_ParseGetFlashSizeCmdResult(flash.data(), 11, &first, &last, &status));
    EXPECT_EQ(0x0B, status);
    status = 0xEE;
    flash = response(0, {1, 2, 3}); // a frame one byte short of the command's
    flash.resize(11);
    EXPECT_EQ(4, CyBtldr_ParseGetFlashSizeCmdResult(flash.data(), 11, &first, &last, &status));
    EXPECT_EQ(0xAAAA, first);
    EXPECT_EQ(0xAAAA, last);
    uint32_t id = 7, version = 7;
    uint8_t revision = 7;
    Bytes enter = response(0, Bytes(8, 0x11));
    EXPECT_EQ(3, CyBtldr_ParseEnterBootLoaderCmdResult(enter.data(), 14, &id, &revision, &version, &status));
    enter[14] = 0x00;
    EXPECT_EQ(4, CyBtldr_ParseEnterBootLoaderCmdResult(enter.data(), 15, &id, &revision, &version, &status));
    EXPECT_EQ(7u, id);
    EXPECT_EQ(7, revision);
    EXPECT_EQ(7u, version);
    EXPECT_EQ(0xEE, status);
}
