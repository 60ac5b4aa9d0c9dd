// Packet layer of the bootloader host: request builders, response parsers,
// the packet checksum and the result codes every host operation returns.
// Also declares the firmware file reader.
#ifndef VIREON_CYBTLDR_COMMAND_H
#define VIREON_CYBTLDR_COMMAND_H

#include <stdint.h>

#if defined(__GNUC__)
#define CYBTLDR_EXPORT __attribute__((visibility("default")))
#else
#define CYBTLDR_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define BL_SUCCESS 0
#define BL_FILE_NOT_ACCESSIBLE 1
#define BL_END_OF_FILE 2
#define BL_LENGTH_OUT_OF_RANGE 3
#define BL_BAD_FORM 4
#define BL_COMMAND_NOT_RECOGNIZED 5
#define BL_DEVICE_MISMATCH 6
#define BL_VERSION_NOT_SUPPORTED 7
#define BL_CHECKSUM_MISMATCH 8
#define BL_ARRAY_INVALID 9
#define BL_ROW_INVALID 10
#define BL_NOT_READY 11
#define BL_APP_ACTIVE 12
#define BL_UNKNOWN_ERROR 15
#define BL_ABORTED 255

/* A transport failure is the transport's value ORed with this flag. */
#define BL_COMM_ERROR_FLAG 0x2000
/* A nonzero device status s is returned as this flag plus s. */
#define BL_DEVICE_STATUS_FLAG 0x4000

/* Size of every request and response buffer. */
#define COMMAND_BUFFER_SIZE 512

#define PACKET_START 0x01
#define PACKET_END 0x17

/* Command codes. */
#define CMD_VERIFY_CHECKSUM 0x31
#define CMD_GET_FLASH_SIZE 0x32
#define CMD_GET_APP_STATUS 0x33
#define CMD_ERASE_ROW 0x34
#define CMD_SYNC 0x35
#define CMD_SET_ACTIVE_APP 0x36
#define CMD_SEND_DATA 0x37
#define CMD_ENTER_BOOTLOADER 0x38
#define CMD_PROGRAM_ROW 0x39
#define CMD_VERIFY_ROW 0x3A
#define CMD_EXIT_BOOTLOADER 0x3B

/* The packet checksum kind, chosen per firmware file. The underlying type
   is fixed so that any header byte (0 to 255) is a defined value; only 1
   selects the CRC. */
typedef enum CyBtldr_ChecksumType
#ifdef __cplusplus
    : uint8_t
#endif
{
    SUM_CHECKSUM = 0x00,
    CRC_CHECKSUM = 0x01
} CyBtldr_ChecksumType;

/* The process-wide checksum kind; starts as the sum. */
extern CyBtldr_ChecksumType CyBtldr_Checksum;

uint16_t CyBtldr_ComputeChecksum(uint8_t *buf, uint32_t size);
void CyBtldr_SetCheckSumType(CyBtldr_ChecksumType chksumType);

/* Builders: fill cmdBuf (COMMAND_BUFFER_SIZE bytes), report the request
   length in cmdSize and the expected response length in resSize. */
CYBTLDR_EXPORT int CyBtldr_CreateEnterBootLoaderCmd(uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateExitBootLoaderCmd(uint8_t resetType, uint8_t *cmdBuf, uint32_t *cmdSize,
                                                   uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateProgramRowCmd(uint8_t arrayId, uint16_t rowNum, uint8_t *buf, uint16_t size,
                                               uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateVerifyRowCmd(uint8_t arrayId, uint16_t rowNum, uint8_t *cmdBuf, uint32_t *cmdSize,
                                              uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateEraseRowCmd(uint8_t arrayId, uint16_t rowNum, uint8_t *cmdBuf, uint32_t *cmdSize,
                                             uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateVerifyChecksumCmd(uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateGetFlashSizeCmd(uint8_t arrayId, uint8_t *cmdBuf, uint32_t *cmdSize,
                                                 uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateSendDataCmd(uint8_t *buf, uint16_t size, uint8_t *cmdBuf, uint32_t *cmdSize,
                                             uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateSyncBootLoaderCmd(uint8_t *cmdBuf, uint32_t *cmdSize, uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateGetAppStatusCmd(uint8_t appId, uint8_t *cmdBuf, uint32_t *cmdSize,
                                                 uint32_t *resSize);
CYBTLDR_EXPORT int CyBtldr_CreateSetActiveAppCmd(uint8_t appId, uint8_t *cmdBuf, uint32_t *cmdSize,
                                                 uint32_t *resSize);

/* Parsers: cmdSize is the number of response bytes held in cmdBuf. */
int CyBtldr_ParseDefaultCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseEnterBootLoaderCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint32_t *siliconId,
                                                         uint8_t *siliconRev, uint32_t *blVersion, uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseProgramRowCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseVerifyRowCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *checksum,
                                                   uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseEraseRowCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseVerifyChecksumCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *checksumValid,
                                                        uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseGetFlashSizeCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint16_t *startRow,
                                                      uint16_t *endRow, uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseSendDataCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseGetAppStatusCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *isValid,
                                                      uint8_t *isActive, uint8_t *status);
CYBTLDR_EXPORT int CyBtldr_ParseSetActiveAppCmdResult(uint8_t *cmdBuf, uint32_t cmdSize, uint8_t *status);

/* Firmware file reader (one image in the .cyacd text format). */
#define LINE_BUFFER_SIZE 768

CYBTLDR_EXPORT int CyBtldr_OpenDataFile(const char *file);
CYBTLDR_EXPORT int CyBtldr_CloseDataFile(void);
CYBTLDR_EXPORT int CyBtldr_ReadLine(uint32_t *size, char *buffer);
CYBTLDR_EXPORT int CyBtldr_ParseHeader(uint32_t bufSize, uint8_t *buffer, uint32_t *siliconId, uint8_t *siliconRev,
                                       uint8_t *chksum);
CYBTLDR_EXPORT int CyBtldr_ParseRowData(uint32_t bufSize, uint8_t *buffer, uint8_t *arrayId, uint16_t *rowNum,
                                        uint8_t *rowData, uint16_t *size, uint8_t *checksum);
int CyBtldr_FromAscii(uint32_t bufSize, uint8_t *buffer, uint16_t *rowSize, uint8_t *rowData);
uint8_t CyBtldr_FromHex(char value);

#ifdef __cplusplus
}
#endif

#endif
