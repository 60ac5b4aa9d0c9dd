// Device-level bootload operations over a caller-supplied transport record.
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

int CyBtldr_TransferData(uint8_t *inBuf, int inSize, uint8_t *outBuf, int outSize);
CYBTLDR_EXPORT int CyBtldr_StartBootloadOperation(CyBtldr_CommunicationsData *comm, uint32_t expSiId,
                                                  uint8_t expSiRev, uint32_t *blVer);
int CyBtldr_ValidateRow(uint8_t arrayId, uint16_t rowNum);
CYBTLDR_EXPORT int CyBtldr_ProgramRow(uint8_t arrayID, uint16_t rowNum, uint8_t *buf, uint16_t size);
CYBTLDR_EXPORT int CyBtldr_EraseRow(uint8_t arrayID, uint16_t rowNum);
CYBTLDR_EXPORT int CyBtldr_VerifyRow(uint8_t arrayID, uint16_t rowNum, uint8_t checksum);
CYBTLDR_EXPORT int CyBtldr_VerifyApplication(void);
CYBTLDR_EXPORT int CyBtldr_GetApplicationStatus(uint8_t appID, uint8_t *isValid, uint8_t *isActive);
CYBTLDR_EXPORT int CyBtldr_SetApplicationStatus(uint8_t appID);
CYBTLDR_EXPORT int CyBtldr_EndBootloadOperation(void);

#ifdef __cplusplus
}
#endif

#endif
