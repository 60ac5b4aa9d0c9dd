// Packet layer: request builders, response parsers and the packet checksum.
#include "cybtldr_command.h"

extern "C" {

CyBtldr_ChecksumType CyBtldr_Checksum = SUM_CHECKSUM;

uint16_t CyBtldr_ComputeChecksum(uint8_t *buf, uint32_t size)
{
    if (CyBtldr_Checksum == CRC_CHECKSUM) {
        if (size == 0)
            return 0;
        uint16_t crc = 0xFFFF;
        for (uint32_t i = 0; i < size; ++i) {
            uint8_t data = buf[i];
            for (int bit = 0; bit < 8; ++bit) {
                if ((crc ^ data) & 0x0001)
                    crc = static_cast<uint16_t>((crc >> 1) ^ 0x8408);
                else
                    crc = static_cast<uint16_t>(crc >> 1);
                data = static_cast<uint8_t>(data >> 1);
            }
        }
        crc = static_cast<uint16_t>(~crc);
        // Swapped so that the builders, which store low byte first, send the
        // CRC high byte first.
        return static_cast<uint16_t>((crc << 8) | (crc >> 8));
    }

    uint16_t sum = 0;
    for (uint32_t i = 0; i < size; ++i)
        sum = static_cast<uint16_t>(sum + buf[i]);
    return static_cast<uint16_t>(0x10000u - sum);
}

void CyBtldr_SetCheckSumType(CyBtldr_ChecksumType chksumType)
{
    CyBtldr_Checksum = chksumType;
}

} // extern "C"

namespace {

// Writes the frame around data already placed at offset 4: start byte,
// command code, length field, checksum and end byte.
void frame(uint8_t *cmdBuf, uint8_t command, uint16_t dataSize, uint32_t cmdSize)
{
    cmdBuf[0] = PACKET_START;
    cmdBuf[1] = command;
    cmdBuf[2] = static_cast<uint8_t>(dataSize);
    cmdBuf[3] = static_cast<uint8_t>(dataSize >> 8);
    const uint16_t checksum = CyBtldr_ComputeChecksum(cmdBuf, cmdSize - 3);
    cmdBuf[cmdSize - 3] = static_cast<uint8_t>(checksum);
    cmdBuf[cmdSize - 2] = static_cast<uint8_t>(checksum >> 8);
    cmdBuf[cmdSize - 1] = PACKET_END;
}

// Frame checks shared by every parser. Returns 0 when the response may be
// decoded; status is written only for a zero or nonzero status byte that
// decides the result.
int checkResponse(const uint8_t *cmdBuf, uint32_t cmdSize, uint32_t resultDataSize, uint8_t *status)
{
    const uint32_t resultSize = resultDataSize + 7;
    if (cmdSize != resultSize)
        return BL_LENGTH_OUT_OF_RANGE;
    if (cmdBuf[1] != 0) {
        *status = cmdBuf[1];
        return BL_DEVICE_STATUS_FLAG + cmdBuf[1];
    }
    if (cmdBuf[0] != PACKET_START || cmdBuf[2] != static_cast<uint8_t>(resultDataSize) ||
        cmdBuf[3] != static_cast<uint8_t>(resultDataSize >> 8) || cmdBuf[resultSize - 1] != PACKET_END)
        return BL_BAD_FORM;
    return BL_SUCCESS;
}

} // namespace

extern "C" {

int CyBtldr_CreateEnterBootLoaderCmd(uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 0;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 8;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    frame(cmdBuf, CMD_ENTER_BOOTLOADER, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateExitBootLoaderCmd(uint8_t resetType, uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 1;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 0;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    cmdBuf[4] = resetType;
    frame(cmdBuf, CMD_EXIT_BOOTLOADER, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateProgramRowCmd(uint8_t arrayId, uint16_t rowNum, uint8_t *buf, uint16_t size, uint8_t *cmdBuf,
                                uint32_t *cmdSize, uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 3;
    const uint32_t RESULT_DATA_SIZE = 0;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    const uint32_t COMMAND_SIZE = static_cast<uint32_t>(size) + COMMAND_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    cmdBuf[4] = arrayId;
    cmdBuf[5] = static_cast<uint8_t>(rowNum);
    cmdBuf[6] = static_cast<uint8_t>(rowNum >> 8);
    for (uint16_t i = 0; i < size; ++i)
        cmdBuf[7 + i] = buf[i];
    frame(cmdBuf, CMD_PROGRAM_ROW, static_cast<uint16_t>(size + COMMAND_DATA_SIZE), COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateVerifyRowCmd(uint8_t arrayId, uint16_t rowNum, uint8_t *cmdBuf, uint32_t *cmdSize,
                               uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 3;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 1;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    cmdBuf[4] = arrayId;
    cmdBuf[5] = static_cast<uint8_t>(rowNum);
    cmdBuf[6] = static_cast<uint8_t>(rowNum >> 8);
    frame(cmdBuf, CMD_VERIFY_ROW, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateEraseRowCmd(uint8_t arrayId, uint16_t rowNum, uint8_t *cmdBuf, uint32_t *cmdSize,
                              uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 3;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 0;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    cmdBuf[4] = arrayId;
    cmdBuf[5] = static_cast<uint8_t>(rowNum);
    cmdBuf[6] = static_cast<uint8_t>(rowNum >> 8);
    frame(cmdBuf, CMD_ERASE_ROW, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateVerifyChecksumCmd(uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 0;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 1;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    frame(cmdBuf, CMD_VERIFY_CHECKSUM, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateGetFlashSizeCmd(uint8_t arrayId, uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 1;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 4;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    cmdBuf[4] = arrayId;
    frame(cmdBuf, CMD_GET_FLASH_SIZE, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateSendDataCmd(uint8_t *buf, uint16_t size, uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize)
{
    const uint32_t RESULT_DATA_SIZE = 0;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    const uint16_t COMMAND_DATA_SIZE = size;
    const uint32_t COMMAND_SIZE = static_cast<uint32_t>(COMMAND_DATA_SIZE) + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    for (uint16_t i = 0; i < size; ++i)
        cmdBuf[4 + i] = buf[i];
    frame(cmdBuf, CMD_SEND_DATA, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateSyncBootLoaderCmd(uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 0;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 0;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    frame(cmdBuf, CMD_SYNC, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateGetAppStatusCmd(uint8_t appId, uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 1;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 2;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    cmdBuf[4] = appId;
    frame(cmdBuf, CMD_GET_APP_STATUS, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_CreateSetActiveAppCmd(uint8_t appId, uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize)
{
    const uint16_t COMMAND_DATA_SIZE = 1;
    const uint32_t COMMAND_SIZE = COMMAND_DATA_SIZE + 7;
    const uint32_t RESULT_DATA_SIZE = 0;
    const uint32_t RESULT_SIZE = RESULT_DATA_SIZE + 7;
    *resSize = RESULT_SIZE;
    *cmdSize = COMMAND_SIZE;
    cmdBuf[4] = appId;
    frame(cmdBuf, CMD_SET_ACTIVE_APP, COMMAND_DATA_SIZE, COMMAND_SIZE);
    return BL_SUCCESS;
}

int CyBtldr_ParseDefaultCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status)
{
    const uint32_t RESULT_DATA_SIZE = 0;
    const int err = checkResponse(cmdBuf, cmdSize, RESULT_DATA_SIZE, status);
    if (err == BL_SUCCESS)
        *status = cmdBuf[1];
    return err;
}

int CyBtldr_ParseEnterBootLoaderCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint32_t *siliconId,
                                          uint8_t *siliconRev, uint32_t *blVersion, uint8_t *status)
{
    const uint32_t RESULT_DATA_SIZE = 8;
    const int err = checkResponse(cmdBuf, cmdSize, RESULT_DATA_SIZE, status);
    if (err != BL_SUCCESS)
        return err;
    *siliconId = static_cast<uint32_t>(cmdBuf[4]) | (static_cast<uint32_t>(cmdBuf[5]) << 8) |
                 (static_cast<uint32_t>(cmdBuf[6]) << 16) | (static_cast<uint32_t>(cmdBuf[7]) << 24);
    *siliconRev = cmdBuf[8];
    *blVersion = static_cast<uint32_t>(cmdBuf[9]) | (static_cast<uint32_t>(cmdBuf[10]) << 8) |
                 (static_cast<uint32_t>(cmdBuf[11]) << 16);
    *status = cmdBuf[1];
    return BL_SUCCESS;
}

int CyBtldr_ParseProgramRowCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status)
{
    return CyBtldr_ParseDefaultCmdResult(cmdBuf, cmdSize, status);
}

int CyBtldr_ParseVerifyRowCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *checksum, uint8_t *status)
{
    const uint32_t RESULT_DATA_SIZE = 1;
    const int err = checkResponse(cmdBuf, cmdSize, RESULT_DATA_SIZE, status);
    if (err != BL_SUCCESS)
        return err;
    *checksum = cmdBuf[4];
    *status = cmdBuf[1];
    return BL_SUCCESS;
}

int CyBtldr_ParseEraseRowCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status)
{
    return CyBtldr_ParseDefaultCmdResult(cmdBuf, cmdSize, status);
}

int CyBtldr_ParseVerifyChecksumCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *checksumValid,
                                         uint8_t *status)
{
    const uint32_t RESULT_DATA_SIZE = 1;
    const int err = checkResponse(cmdBuf, cmdSize, RESULT_DATA_SIZE, status);
    if (err != BL_SUCCESS)
        return err;
    *checksumValid = cmdBuf[4];
    *status = cmdBuf[1];
    return BL_SUCCESS;
}

int CyBtldr_ParseGetFlashSizeCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint16_t *startRow, uint16_t *endRow,
                                       uint8_t *status)
{
    const uint32_t RESULT_DATA_SIZE = 4;
    const int err = checkResponse(cmdBuf, cmdSize, RESULT_DATA_SIZE, status);
    if (err != BL_SUCCESS)
        return err;
    *startRow = static_cast<uint16_t>(cmdBuf[4] | (cmdBuf[5] << 8));
    *endRow = static_cast<uint16_t>(cmdBuf[6] | (cmdBuf[7] << 8));
    *status = cmdBuf[1];
    return BL_SUCCESS;
}

int CyBtldr_ParseSendDataCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status)
{
    return CyBtldr_ParseDefaultCmdResult(cmdBuf, cmdSize, status);
}

int CyBtldr_ParseGetAppStatusCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *isValid, uint8_t *isActive,
                                       uint8_t *status)
{
    const uint32_t RESULT_DATA_SIZE = 2;
    const int err = checkResponse(cmdBuf, cmdSize, RESULT_DATA_SIZE, status);
    if (err != BL_SUCCESS)
        return err;
    *isValid = cmdBuf[4];
    *isActive = cmdBuf[5];
    *status = cmdBuf[1];
    return BL_SUCCESS;
}

int CyBtldr_ParseSetActiveAppCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status)
{
    return CyBtldr_ParseDefaultCmdResult(cmdBuf, cmdSize, status);
}

} // extern "C"
