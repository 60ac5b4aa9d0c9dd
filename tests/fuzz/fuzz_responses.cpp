// Fuzzes the response side of the host: the input as a response buffer for
// every parser, and as the stream of answers a device gives the operations.
#include "cybtldr_api.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const uint8_t *g_input = nullptr;
size_t g_left = 0;
const uint32_t kMaxTransfer = 64;

int openConnection() { return 0; }
int closeConnection() { return 0; }
int writeData(unsigned char *, int size)
{
    if (size <= 0 || static_cast<uint32_t>(size) >= kMaxTransfer)
        std::abort(); // every packet must fit one transfer
    return 0;
}
int readData(unsigned char *buffer, int size)
{
    if (g_left == 0)
        return -1;
    const size_t n = g_left < static_cast<size_t>(size) ? g_left : static_cast<size_t>(size);
    std::memset(buffer, 0, static_cast<size_t>(size));
    std::memcpy(buffer, g_input, n);
    g_input += n;
    g_left -= n;
    return 0;
}

// A failed parse leaves the fields alone and writes the status only for a
// nonzero device status.
void checkOutcome(int result, uint8_t status, bool fieldsUntouched)
{
    if (result == 0 && status != 0)
        std::abort();
    if (result != 0 && !fieldsUntouched)
        std::abort();
    if (result > BL_DEVICE_STATUS_FLAG && status != result - BL_DEVICE_STATUS_FLAG)
        std::abort();
    if ((result == 3 || result == 4) && status != 0xEE)
        std::abort();
}

void parseAll(uint8_t *buf, uint32_t cmdSize)
{
    using Plain = int (*)(uint8_t *, uint32_t, uint8_t *);
    for (Plain parse : {CyBtldr_ParseProgramRowCmdResult, CyBtldr_ParseEraseRowCmdResult,
                        CyBtldr_ParseSendDataCmdResult, CyBtldr_ParseSetActiveAppCmdResult}) {
        uint8_t status = 0xEE;
        checkOutcome(parse(buf, cmdSize, &status), status, true);
    }
    uint8_t status = 0xEE;
    uint32_t id = 0xEEEEEEEE, version = 0xEEEEEEEE;
    uint8_t rev = 0xEE;
    int r = CyBtldr_ParseEnterBootLoaderCmdResult(buf, cmdSize, &id, &rev, &version, &status);
    checkOutcome(r, status, id == 0xEEEEEEEE && rev == 0xEE && version == 0xEEEEEEEE);
    if (r == 0 && version > 0xFFFFFF)
        std::abort();

    status = 0xEE;
    uint8_t one = 0xEE;
    r = CyBtldr_ParseVerifyRowCmdResult(buf, cmdSize, &one, &status);
    checkOutcome(r, status, one == 0xEE);
    status = 0xEE;
    r = CyBtldr_ParseVerifyChecksumCmdResult(buf, cmdSize, &one, &status);
    checkOutcome(r, status, one == 0xEE);

    status = 0xEE;
    uint16_t first = 0xEEEE, last = 0xEEEE;
    r = CyBtldr_ParseGetFlashSizeCmdResult(buf, cmdSize, &first, &last, &status);
    checkOutcome(r, status, first == 0xEEEE && last == 0xEEEE);

    status = 0xEE;
    uint8_t valid = 0xEE, active = 0xEE;
    r = CyBtldr_ParseGetAppStatusCmdResult(buf, cmdSize, &valid, &active, &status);
    checkOutcome(r, status, valid == 0xEE && active == 0xEE);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly the input's bytes, so any read past them is caught.
    std::vector<uint8_t> buf(data, data + size);
    parseAll(buf.data(), static_cast<uint32_t>(size));
    for (uint32_t cmdSize : {7u, 8u, 9u, 11u, 15u})
        if (cmdSize <= size)
            parseAll(buf.data(), cmdSize);

    // The same bytes as a device's answers to a whole bootload operation.
    g_input = data;
    g_left = size;
    CyBtldr_CommunicationsData comm{openConnection, closeConnection, readData, writeData, kMaxTransfer};
    uint32_t version = 0;
    CyBtldr_StartBootloadOperation(&comm, 0, 0, &version);
    uint8_t row[300];
    for (size_t i = 0; i < sizeof row; ++i)
        row[i] = static_cast<uint8_t>(i);
    uint8_t valid = 0, active = 0;
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
