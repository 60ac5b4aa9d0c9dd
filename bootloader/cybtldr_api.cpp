// Device-level bootload operations: each is one or more request/response
// exchanges through the transport record installed by the start operation.
#include "cybtldr_api.h"

namespace {

// The number of flash arrays a row range is kept for.
const uint8_t MAX_FLASH_ARRAYS = 4;

} // namespace

extern "C" {

// The transport of the running bootload operation; null outside one.
CyBtldr_CommunicationsData *g_comm = nullptr;
// Per flash array: (first valid row << 16) + last valid row, 0 until fetched.
uint32_t g_validRows[MAX_FLASH_ARRAYS] = {0, 0, 0, 0};

int CyBtldr_TransferData(uint8_t *inBuf, int inSize, uint8_t *outBuf, int outSize)
{
    if (g_comm == nullptr)
        return BL_NOT_READY;
    int err = g_comm->WriteData(inBuf, inSize);
    if (err == BL_SUCCESS)
        err = g_comm->ReadData(outBuf, outSize);
    if (err != BL_SUCCESS)
        err |= BL_COMM_ERROR_FLAG;
    return err;
}

int CyBtldr_ValidateRow(uint8_t arrayId, uint16_t rowNum)
{
    if (arrayId >= MAX_FLASH_ARRAYS)
        return BL_ARRAY_INVALID;

    if (g_validRows[arrayId] == 0) {
        uint8_t inBuf[COMMAND_BUFFER_SIZE];
        uint8_t outBuf[COMMAND_BUFFER_SIZE];
        uint32_t inSize = 0;
        uint32_t outSize = 0;
        uint16_t minRow = 0;
        uint16_t maxRow = 0;
        uint8_t status = 0;
        int err = CyBtldr_CreateGetFlashSizeCmd(arrayId, inBuf, &inSize, &outSize);
        if (err == BL_SUCCESS)
            err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
        if (err == BL_SUCCESS)
            err = CyBtldr_ParseGetFlashSizeCmdResult(outBuf, outSize, &minRow, &maxRow, &status);
        if (err != BL_SUCCESS)
            return err;
        g_validRows[arrayId] = (static_cast<uint32_t>(minRow) << 16) + maxRow;
    }

    const uint16_t minRow = static_cast<uint16_t>(g_validRows[arrayId] >> 16);
    const uint16_t maxRow = static_cast<uint16_t>(g_validRows[arrayId]);
    if (rowNum < minRow || rowNum > maxRow)
        return BL_ROW_INVALID;
    return BL_SUCCESS;
}

int CyBtldr_StartBootloadOperation(CyBtldr_CommunicationsData *comm, uint32_t expSiId, uint8_t expSiRev,
                                   uint32_t *blVer)
{
    g_comm = comm;
    for (uint8_t i = 0; i < MAX_FLASH_ARRAYS; ++i)
        g_validRows[i] = 0;
    if (comm == nullptr)
        return BL_NOT_READY;

    int err = g_comm->OpenConnection();
    if (err != BL_SUCCESS)
        return err | BL_COMM_ERROR_FLAG;

    uint8_t inBuf[COMMAND_BUFFER_SIZE];
    uint8_t outBuf[COMMAND_BUFFER_SIZE];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    uint32_t siliconId = 0;
    uint8_t siliconRev = 0;
    uint8_t status = 0;
    err = CyBtldr_CreateEnterBootLoaderCmd(inBuf, &inSize, &outSize);
    if (err == BL_SUCCESS)
        err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
    if (err == BL_SUCCESS)
        err = CyBtldr_ParseEnterBootLoaderCmdResult(outBuf, outSize, &siliconId, &siliconRev, blVer, &status);
    if (err != BL_SUCCESS)
        return err;
    if (siliconId != expSiId || siliconRev != expSiRev)
        return BL_DEVICE_MISMATCH;
    if ((*blVer & BOOTLOADER_VERSION_MASK) != SUPPORTED_BOOTLOADER)
        return BL_VERSION_NOT_SUPPORTED;
    return BL_SUCCESS;
}

int CyBtldr_ProgramRow(uint8_t arrayID, uint16_t rowNum, uint8_t *buf, uint16_t size)
{
    if (g_comm == nullptr)
        return BL_NOT_READY;
    // A transport this small cannot carry a packet with any row data.
    if (g_comm->MaxTransferSize <= TRANSFER_HEADER_SIZE)
        return BL_LENGTH_OUT_OF_RANGE;

    int err = CyBtldr_ValidateRow(arrayID, rowNum);
    if (err != BL_SUCCESS)
        return err;

    uint8_t inBuf[COMMAND_BUFFER_SIZE];
    uint8_t outBuf[COMMAND_BUFFER_SIZE];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    uint8_t status = 0;

    // No packet may outgrow the request buffer, whatever the transport takes.
    uint32_t maxTransfer = g_comm->MaxTransferSize;
    if (maxTransfer > COMMAND_BUFFER_SIZE)
        maxTransfer = COMMAND_BUFFER_SIZE;
    const uint16_t chunk = static_cast<uint16_t>(maxTransfer - TRANSFER_HEADER_SIZE);

    uint16_t offset = 0;
    while (static_cast<uint32_t>(size - offset) + TRANSFER_HEADER_SIZE > maxTransfer) {
        err = CyBtldr_CreateSendDataCmd(buf + offset, chunk, inBuf, &inSize, &outSize);
        if (err == BL_SUCCESS)
            err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
        if (err == BL_SUCCESS)
            err = CyBtldr_ParseSendDataCmdResult(outBuf, outSize, &status);
        if (err != BL_SUCCESS)
            return err;
        offset = static_cast<uint16_t>(offset + chunk);
    }

    err = CyBtldr_CreateProgramRowCmd(arrayID, rowNum, buf + offset, static_cast<uint16_t>(size - offset), inBuf,
                                      &inSize, &outSize);
    if (err == BL_SUCCESS)
        err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
    if (err == BL_SUCCESS)
        err = CyBtldr_ParseProgramRowCmdResult(outBuf, outSize, &status);
    return err;
}

int CyBtldr_EraseRow(uint8_t arrayID, uint16_t rowNum)
{
    int err = CyBtldr_ValidateRow(arrayID, rowNum);
    if (err != BL_SUCCESS)
        return err;

    uint8_t inBuf[COMMAND_BUFFER_SIZE];
    uint8_t outBuf[COMMAND_BUFFER_SIZE];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    uint8_t status = 0;
    err = CyBtldr_CreateEraseRowCmd(arrayID, rowNum, inBuf, &inSize, &outSize);
    if (err == BL_SUCCESS)
        err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
    if (err == BL_SUCCESS)
        err = CyBtldr_ParseEraseRowCmdResult(outBuf, outSize, &status);
    return err;
}

int CyBtldr_VerifyRow(uint8_t arrayID, uint16_t rowNum, uint8_t checksum)
{
    int err = CyBtldr_ValidateRow(arrayID, rowNum);
    if (err != BL_SUCCESS)
        return err;

    uint8_t inBuf[COMMAND_BUFFER_SIZE];
    uint8_t outBuf[COMMAND_BUFFER_SIZE];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    uint8_t rowChecksum = 0;
    uint8_t status = 0;
    err = CyBtldr_CreateVerifyRowCmd(arrayID, rowNum, inBuf, &inSize, &outSize);
    if (err == BL_SUCCESS)
        err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
    if (err == BL_SUCCESS)
        err = CyBtldr_ParseVerifyRowCmdResult(outBuf, outSize, &rowChecksum, &status);
    if (err == BL_SUCCESS && rowChecksum != checksum)
        err = BL_CHECKSUM_MISMATCH;
    return err;
}

int CyBtldr_VerifyApplication(void)
{
    uint8_t inBuf[COMMAND_BUFFER_SIZE];
    uint8_t outBuf[COMMAND_BUFFER_SIZE];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    uint8_t checksumValid = 0;
    uint8_t status = 0;
    int err = CyBtldr_CreateVerifyChecksumCmd(inBuf, &inSize, &outSize);
    if (err == BL_SUCCESS)
        err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
    if (err == BL_SUCCESS)
        err = CyBtldr_ParseVerifyChecksumCmdResult(outBuf, outSize, &checksumValid, &status);
    if (err == BL_SUCCESS && checksumValid == 0)
        err = BL_CHECKSUM_MISMATCH;
    return err;
}

int CyBtldr_GetApplicationStatus(uint8_t appID, uint8_t *isValid, uint8_t *isActive)
{
    uint8_t inBuf[COMMAND_BUFFER_SIZE];
    uint8_t outBuf[COMMAND_BUFFER_SIZE];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    uint8_t status = 0;
    int err = CyBtldr_CreateGetAppStatusCmd(appID, inBuf, &inSize, &outSize);
    if (err == BL_SUCCESS)
        err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
    if (err == BL_SUCCESS)
        err = CyBtldr_ParseGetAppStatusCmdResult(outBuf, outSize, isValid, isActive, &status);
    return err;
}

int CyBtldr_SetApplicationStatus(uint8_t appID)
{
    uint8_t inBuf[COMMAND_BUFFER_SIZE];
    uint8_t outBuf[COMMAND_BUFFER_SIZE];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    uint8_t status = 0;
    int err = CyBtldr_CreateSetActiveAppCmd(appID, inBuf, &inSize, &outSize);
    if (err == BL_SUCCESS)
        err = CyBtldr_TransferData(inBuf, static_cast<int>(inSize), outBuf, static_cast<int>(outSize));
    if (err == BL_SUCCESS)
        err = CyBtldr_ParseSetActiveAppCmdResult(outBuf, outSize, &status);
    return err;
}

int CyBtldr_EndBootloadOperation(void)
{
    if (g_comm == nullptr)
        return BL_NOT_READY;

    uint8_t inBuf[COMMAND_BUFFER_SIZE];
    uint32_t inSize = 0;
    uint32_t outSize = 0;
    int err = CyBtldr_CreateExitBootLoaderCmd(RESET, inBuf, &inSize, &outSize);
    if (err == BL_SUCCESS) {
        // The device restarts on this command and sends no answer.
        err = g_comm->WriteData(inBuf, static_cast<int>(inSize));
        if (err == BL_SUCCESS)
            err = g_comm->CloseConnection();
        if (err != BL_SUCCESS)
            err |= BL_COMM_ERROR_FLAG;
    }
    g_comm = nullptr;
    return err;
}

} // extern "C"
