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

/* Result codes: every operation of the bootloader host returns one of
   these, a transport failure or a device status (below). */
#define BL_SUCCESS 0                 /* the operation did what it was asked */
#define BL_FILE_NOT_ACCESSIBLE 1     /* the image file cannot be opened, read or closed */
#define BL_END_OF_FILE 2             /* no further line: the row loop's normal end */
#define BL_LENGTH_OUT_OF_RANGE 3     /* an answer of the wrong length, or a line too short or of odd length */
#define BL_BAD_FORM 4                /* a malformed answer frame, or a row whose length field is not its data's */
#define BL_COMMAND_NOT_RECOGNIZED 5  /* a row line that does not start with ':' */
#define BL_DEVICE_MISMATCH 6         /* the chip's silicon id or revision is not the file's */
#define BL_VERSION_NOT_SUPPORTED 7   /* the bootloader's major version is not 1 */
#define BL_CHECKSUM_MISMATCH 8       /* a row's or the application's check failed on the device */
#define BL_ARRAY_INVALID 9           /* a flash array id above 3 */
#define BL_ROW_INVALID 10            /* a row outside its array's valid range */
#define BL_NOT_READY 11              /* an operation called with no transport record installed */
#define BL_APP_ACTIVE 12             /* the target application is the active one */
#define BL_UNKNOWN_ERROR 15          /* named for completeness: no operation returns it */
#define BL_ABORTED 255               /* CyBtldr_Abort stopped the action before a row */

/* A transport failure is the transport's value ORed with this flag (the
   HID transport returns -1, which stays -1). */
#define BL_COMM_ERROR_FLAG 0x2000
/* A nonzero device status s is returned as this flag plus s, 0x4001 to
   0x40FF. */
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

/* Process-wide state of the packet layer: the checksum kind of the running
   action, set once per action from its file's header; starts as the sum. */
extern CyBtldr_ChecksumType CyBtldr_Checksum;

/* Returns the packet checksum of size bytes: the 16-bit two's complement of
   their sum, or CRC-16/X-25 with its bytes swapped when CyBtldr_Checksum is
   CRC_CHECKSUM (0 for no bytes). Cannot fail. */
uint16_t CyBtldr_ComputeChecksum(uint8_t *buf, uint32_t size);
/* Sets CyBtldr_Checksum; returns nothing. */
void CyBtldr_SetCheckSumType(CyBtldr_ChecksumType chksumType);

/* Builders: each fills cmdBuf (COMMAND_BUFFER_SIZE bytes) with one request
   packet, reports its length in cmdSize and the answer's expected length in
   resSize, and returns BL_SUCCESS; none can fail. */
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

/* Parsers: cmdSize is the number of answer bytes held in cmdBuf. Each
   returns BL_SUCCESS with the answer's fields and a zero *status; on
   failure BL_LENGTH_OUT_OF_RANGE (wrong length), BL_DEVICE_STATUS_FLAG + s
   (nonzero status s, written to *status) or BL_BAD_FORM (wrong start byte,
   length field or end byte), leaving the other fields unwritten. The
   answer's checksum bytes are not examined here. */
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

/* Firmware file reader (one image in the .cyacd text format). Its
   process-wide state is the open image file, `dataFile`, one at a time. */
#define LINE_BUFFER_SIZE 768

/* Opens the image file: BL_SUCCESS, or BL_FILE_NOT_ACCESSIBLE when it cannot
   be opened. */
CYBTLDR_EXPORT int CyBtldr_OpenDataFile(const char *file);
/* Closes the open image file, if any: BL_SUCCESS, or BL_FILE_NOT_ACCESSIBLE
   when closing fails. */
CYBTLDR_EXPORT int CyBtldr_CloseDataFile(void);
/* Reads the next line into buffer (LINE_BUFFER_SIZE bytes) without
   its line end, its length in *size: BL_SUCCESS; BL_END_OF_FILE when none is
   left; BL_FILE_NOT_ACCESSIBLE with no file open or on a read error. */
CYBTLDR_EXPORT int CyBtldr_ReadLine(uint32_t *size, char *buffer);
/* Decodes the header line's silicon id, revision and checksum kind:
   BL_SUCCESS, or BL_LENGTH_OUT_OF_RANGE for a line too long, odd or shorter than five
   bytes. */
CYBTLDR_EXPORT int CyBtldr_ParseHeader(uint32_t bufSize, uint8_t *buffer, uint32_t *siliconId, uint8_t *siliconRev,
                                       uint8_t *chksum);
/* Decodes one ':' row line: BL_SUCCESS; BL_COMMAND_NOT_RECOGNIZED without
   the ':'; BL_LENGTH_OUT_OF_RANGE for a short or odd-length line; BL_BAD_FORM
   when the length field is not the data's length. */
CYBTLDR_EXPORT int CyBtldr_ParseRowData(uint32_t bufSize, uint8_t *buffer, uint8_t *arrayId, uint16_t *rowNum,
                                        uint8_t *rowData, uint16_t *size, uint8_t *checksum);
/* Converts bufSize hex characters to bytes: BL_SUCCESS, or
   BL_LENGTH_OUT_OF_RANGE for an odd count. */
int CyBtldr_FromAscii(uint32_t bufSize, uint8_t *buffer, uint16_t *rowSize, uint8_t *rowData);
/* Returns one hex digit's value; any other character gives 0. */
uint8_t CyBtldr_FromHex(char value);

#ifdef __cplusplus
}
#endif

#endif
