// Packet layer: checksums, request bytes and response decoding.
#include "cybtldr_command.h"
#include "device_model.h"

#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

using Bytes = std::vector<uint8_t>;

// A packet framed by the device model (start byte, code, data length low
// byte first, data, sum checksum, end byte).
static Bytes packet(uint8_t code, const Bytes &data = {})
{
    return vireon::sim::buildPacket(vireon::sim::PacketChecksum::Sum, code, data);
}

// Runs a request builder with its leading arguments: (request, expected response length).
template <class Builder, class... Args> static std::pair<Bytes, uint32_t> build(Builder create, Args... args)
{
    uint8_t buf[COMMAND_BUFFER_SIZE];
    uint32_t cmdSize = 0, resSize = 0;
    EXPECT_EQ(BL_SUCCESS, create(args..., buf, &cmdSize, &resSize));
    return {Bytes(buf, buf + cmdSize), resSize};
}

TEST(PacketBuilders, ChecksumsRequestBytesAndLengths)
{
    uint8_t check[] = "123456789";
    // (header's checksum kind, checksum of "123456789", enter request): every
    // kind other than 1 is the sum, including values outside the enum.
    const Bytes sumEnter{0x01, 0x38, 0x00, 0x00, 0xC7, 0xFF, 0x17};
    const std::tuple<int, uint16_t, Bytes> kinds[] = {{1, 0x6E90, {0x01, 0x38, 0x00, 0x00, 0xA0, 0x09, 0x17}},
                                                      {0, 0xFE23, sumEnter}, {2, 0xFE23, sumEnter},
                                                      {0x7F, 0xFE23, sumEnter}, {0xFF, 0xFE23, sumEnter}};
    for (const auto &[kind, checksum, enter] : kinds) {
        CyBtldr_SetCheckSumType(static_cast<CyBtldr_ChecksumType>(kind));
        EXPECT_EQ(checksum, CyBtldr_ComputeChecksum(check, 9)) << kind;
        // No bytes: the CRC is 0, the sum's complement wraps to 0.
        EXPECT_EQ(0, CyBtldr_ComputeChecksum(check, 0)) << kind;
        EXPECT_EQ(enter, build(CyBtldr_CreateEnterBootLoaderCmd).first) << kind;
    }
    CyBtldr_SetCheckSumType(SUM_CHECKSUM);

    uint8_t row[] = {0xAA, 0xBB, 0xCC};
    Bytes payload(300);
    std::iota(payload.begin(), payload.end(), uint8_t{0});
    // (request, command code, request data, expected response length)
    const std::tuple<std::pair<Bytes, uint32_t>, uint8_t, Bytes, uint32_t> requests[] = {
        {build(CyBtldr_CreateEnterBootLoaderCmd), 0x38, {}, 15},
        {build(CyBtldr_CreateExitBootLoaderCmd, 0), 0x3B, {0x00}, 7},
        // array id, then the row number low byte first
        {build(CyBtldr_CreateProgramRowCmd, 0, 0x0123, row, 3), 0x39, {0x00, 0x23, 0x01, 0xAA, 0xBB, 0xCC}, 7},
        {build(CyBtldr_CreateSendDataCmd, payload.data(), 300), 0x37, payload, 7},
        {build(CyBtldr_CreateVerifyChecksumCmd), 0x31, {}, 8},
        {build(CyBtldr_CreateGetFlashSizeCmd, 2), 0x32, {0x02}, 11},
        {build(CyBtldr_CreateGetAppStatusCmd, 1), 0x33, {0x01}, 9},
        {build(CyBtldr_CreateEraseRowCmd, 1, 0x0203), 0x34, {0x01, 0x03, 0x02}, 7},
        {build(CyBtldr_CreateSyncBootLoaderCmd), 0x35, {}, 7},
        {build(CyBtldr_CreateSetActiveAppCmd, 1), 0x36, {0x01}, 7},
        {build(CyBtldr_CreateVerifyRowCmd, 1, 0x0203), 0x3A, {0x01, 0x03, 0x02}, 8},
    };
    for (const auto &[request, code, data, resSize] : requests) {
        EXPECT_EQ(packet(code, data), request.first) << int(code);
        EXPECT_EQ(resSize, request.second) << int(code);
    }
}

// Every parser checks the frame the same way, shown here on those without
// data; the others' fields are proved through the operations on the model,
// and the response fuzzer checks that no failed parse writes a field.
TEST(PacketParsers, StatusFrameAndLengthOfResponsesWithoutData)
{
    using Parser = int (*)(uint8_t *, uint32_t, uint8_t *);
    for (Parser parse : {CyBtldr_ParseDefaultCmdResult, CyBtldr_ParseProgramRowCmdResult,
                         CyBtldr_ParseEraseRowCmdResult, CyBtldr_ParseSendDataCmdResult,
                         CyBtldr_ParseSetActiveAppCmdResult}) {
        uint8_t status = 0xEE;
        Bytes bad{0x02, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}; // nonzero status wins over the frame
        EXPECT_EQ(BL_DEVICE_STATUS_FLAG + 0x05, parse(bad.data(), 7, &status));
        EXPECT_EQ(5, status);
        status = 0xEE;
        Bytes ok = packet(0);
        EXPECT_EQ(BL_LENGTH_OUT_OF_RANGE, parse(ok.data(), 8, &status));
        EXPECT_EQ(BL_LENGTH_OUT_OF_RANGE, parse(ok.data(), 6, &status));
        for (size_t i : {0u, 2u, 3u, 6u}) {
            Bytes broken = ok;
            broken[i] ^= 0x40;
            EXPECT_EQ(BL_BAD_FORM, parse(broken.data(), 7, &status)) << i;
        }
        EXPECT_EQ(0xEE, status);
        ok[4] ^= 0xFF; // checksum bytes are never examined
        EXPECT_EQ(BL_SUCCESS, parse(ok.data(), 7, &status));
        EXPECT_EQ(0, status);
    }
}
