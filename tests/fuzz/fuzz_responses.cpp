// Fuzzes the response side of the host: the input as a response buffer for
// every parser, and as the stream of answers a device gives the operations.
#include "cybtldr_api.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <vector>

static const uint8_t *g_input = nullptr;
static size_t g_left = 0;

static int success() { return 0; }
static int writeData(unsigned char *, int size)
{
    if (size <= 0 || size >= 64)
        std::abort(); // every packet must fit one transfer
    return 0;
}
static int readData(unsigned char *buffer, int size)
{
    if (g_left == 0)
        return -1;
    const size_t n = std::min(g_left, size_t(size));
    std::memset(buffer, 0, size_t(size));
    std::memcpy(buffer, g_input, n);
    g_input += n;
    g_left -= n;
    return 0;
}

// Runs a parser on fields holding the given values. A success writes status
// 0; a failure writes no field, and the status only when it is the device's
// nonzero status the result reports.
template <class Parser, class... Fields>
static std::tuple<int, Fields...> parse(Parser parser, uint8_t *buf, uint32_t size, Fields... fields)
{
    const auto before = std::make_tuple(fields...);
    uint8_t status = 0xEE;
    const int result = parser(buf, size, &fields..., &status);
    const int expected = result == 0 ? 0 : result > BL_DEVICE_STATUS_FLAG ? result - BL_DEVICE_STATUS_FLAG : 0xEE;
    if (status != expected || (result != 0 && std::make_tuple(fields...) != before))
        std::abort();
    return {result, fields...};
}

static void parseAll(uint8_t *buf, uint32_t size)
{
    for (auto parser : {CyBtldr_ParseProgramRowCmdResult, CyBtldr_ParseEraseRowCmdResult,
                        CyBtldr_ParseSendDataCmdResult, CyBtldr_ParseSetActiveAppCmdResult})
        parse(parser, buf, size);
    for (auto parser : {CyBtldr_ParseVerifyRowCmdResult, CyBtldr_ParseVerifyChecksumCmdResult})
        parse(parser, buf, size, uint8_t{0xEE});
    parse(CyBtldr_ParseGetAppStatusCmdResult, buf, size, uint8_t{0xEE}, uint8_t{0xEE});
    parse(CyBtldr_ParseGetFlashSizeCmdResult, buf, size, uint16_t{0xEEEE}, uint16_t{0xEEEE});
    const auto [result, id, rev, version] =
        parse(CyBtldr_ParseEnterBootLoaderCmdResult, buf, size, 0xEEEEEEEEu, uint8_t{0xEE}, 0xEEEEEEEEu);
    if (result == 0 && version > 0xFFFFFF)
        std::abort(); // the version has 24 bits
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The whole input and its prefixes of each response length, each in a
    // buffer of exactly its size, so any read past them is caught.
    for (size_t length : {size, size_t(7), size_t(8), size_t(9), size_t(11), size_t(15)}) {
        std::vector<uint8_t> exact(data, data + std::min(length, size));
        parseAll(exact.data(), uint32_t(exact.size()));
    }

    // The same bytes as a device's answers to a whole bootload operation.
    g_input = data;
    g_left = size;
    CyBtldr_CommunicationsData comm{success, success, readData, writeData, 64};
    uint32_t version = 0;
    uint8_t row[300] = {}, valid = 0, active = 0;
    CyBtldr_StartBootloadOperation(&comm, 0, 0, &version);
    CyBtldr_ProgramRow(0, 1, row, sizeof row);
    CyBtldr_VerifyRow(1, 2, 0x5A);
    CyBtldr_EraseRow(3, 0xFFFF);
    CyBtldr_EraseRow(4, 0);
    CyBtldr_VerifyApplication();
    CyBtldr_GetApplicationStatus(1, &valid, &active);
    CyBtldr_SetApplicationStatus(1);
    CyBtldr_EndBootloadOperation();
    return 0;
}
