// Device-level bootload operations over a caller-supplied transport record.
// Each is one or more request/answer exchanges and returns BL_SUCCESS, a
// parser's code, a device status (BL_DEVICE_STATUS_FLAG + s) or a transport
// failure (the transport's value ORed with BL_COMM_ERROR_FLAG).
//
// Process-wide state: the transport record of the running operation,
// `g_comm` (installed by the start operation, null outside one), and the
// valid row range of each flash array, `g_validRows` (fetched once per
// operation, cleared by start).
#ifndef VIREON_CYBTLDR_API_H
#define VIREON_CYBTLDR_API_H

#include "cybtldr_command.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The transport the host talks through. The caller fills and owns it;
   every function returns 0 on success. Every packet the host builds is
   shorter than MaxTransferSize, which must be greater than 11. */
typedef struct CyBtldr_CommunicationsData {
    int (*OpenConnection)(void);
    int (*CloseConnection)(void);
    int (*ReadData)(unsigned char *buffer, int size);
    int (*WriteData)(unsigned char *buffer, int size);
    uint32_t MaxTransferSize;
} CyBtldr_CommunicationsData;

#define SUPPORTED_BOOTLOADER 0x010000
#define BOOTLOADER_VERSION_MASK 0xFF0000
#define TRANSFER_HEADER_SIZE 11
#define RESET 0x00

/* One exchange: sends inSize bytes and reads outSize bytes back into
   outBuf. BL_SUCCESS, or the transport's failure ORed with
   BL_COMM_ERROR_FLAG. */
int CyBtldr_TransferData(uint8_t *inBuf, int inSize, uint8_t *outBuf, int outSize);
/* Installs comm, opens the connection and enters the bootloader; the
   bootloader's version goes to *blVer. BL_SUCCESS; BL_DEVICE_MISMATCH when
   the chip is not the file's; BL_VERSION_NOT_SUPPORTED; or the exchange's
   failure. */
CYBTLDR_EXPORT int CyBtldr_StartBootloadOperation(CyBtldr_CommunicationsData *comm, uint32_t expSiId,
                                                  uint8_t expSiRev, uint32_t *blVer);
/* Checks a row against its array's valid range, asking the device for the
   range once: BL_SUCCESS, BL_ARRAY_INVALID, BL_ROW_INVALID or the
   exchange's failure. */
int CyBtldr_ValidateRow(uint8_t arrayId, uint16_t rowNum);
/* Sends a row's data (in pieces that fit MaxTransferSize) and programs it:
   BL_SUCCESS, or the first failing step's code. */
CYBTLDR_EXPORT int CyBtldr_ProgramRow(uint8_t arrayID, uint16_t rowNum, uint8_t *buf, uint16_t size);
/* Erases one row: BL_SUCCESS, or the first failing step's code. */
CYBTLDR_EXPORT int CyBtldr_EraseRow(uint8_t arrayID, uint16_t rowNum);
/* Asks the device for a row's checksum: BL_SUCCESS when it equals checksum,
   BL_CHECKSUM_MISMATCH when not, or the first failing step's code. */
CYBTLDR_EXPORT int CyBtldr_VerifyRow(uint8_t arrayID, uint16_t rowNum, uint8_t checksum);
/* Asks the device to check the whole application: BL_SUCCESS when it
   reports it valid, BL_CHECKSUM_MISMATCH when not, or the exchange's
   failure. */
CYBTLDR_EXPORT int CyBtldr_VerifyApplication(void);
/* Reads an application's valid and active bytes: BL_SUCCESS, or the
   exchange's failure (a device with one application answers status 5). */
CYBTLDR_EXPORT int CyBtldr_GetApplicationStatus(uint8_t appID, uint8_t *isValid, uint8_t *isActive);
/* Marks an application active: BL_SUCCESS, or the exchange's failure. */
CYBTLDR_EXPORT int CyBtldr_SetApplicationStatus(uint8_t appID);
/* Sends the exit command (the device restarts; its answer is not read),
   closes the connection and uninstalls the record: BL_SUCCESS, or the
   exchange's failure. */
CYBTLDR_EXPORT int CyBtldr_EndBootloadOperation(void);

#ifdef __cplusplus
}
#endif

#endif
