// Bootload actions: program, erase or verify one firmware image file.
//
// Process-wide state: the abort request, `g_abort`, which any thread may
// set and each action clears when it starts. One action runs at a time in
// the process: the packet layer, file reader and operations keep their own
// process-wide state for it.
#ifndef VIREON_CYBTLDR_API2_H
#define VIREON_CYBTLDR_API2_H

#include "cybtldr_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum CyBtldr_Action { PROGRAM = 0, ERASE = 1, VERIFY = 2 } CyBtldr_Action;

/* Called after each row that succeeded; may be null. */
typedef void CyBtldr_ProgressUpdate(uint8_t arrayId, uint16_t rowNum);

#define BL_VER_SUPPORT_VERIFY 0x010214
#define INVALID_APP 0xFF

/* Runs one action over every row of the image file and ends the bootload
   operation whatever happened: BL_SUCCESS; the first failing step's code
   (file, exchange, device status or check); BL_ABORTED when CyBtldr_Abort
   stopped it. Blocks its thread until the action is over. */
int CyBtldr_RunAction(CyBtldr_Action action, const char *file, CyBtldr_CommunicationsData *comm,
                      CyBtldr_ProgressUpdate *update);
/* CyBtldr_RunAction with PROGRAM, ERASE or VERIFY. */
CYBTLDR_EXPORT int CyBtldr_Program(const char *file, CyBtldr_CommunicationsData *comm,
                                   CyBtldr_ProgressUpdate *update);
CYBTLDR_EXPORT int CyBtldr_Erase(const char *file, CyBtldr_CommunicationsData *comm, CyBtldr_ProgressUpdate *update);
CYBTLDR_EXPORT int CyBtldr_Verify(const char *file, CyBtldr_CommunicationsData *comm,
                                  CyBtldr_ProgressUpdate *update);
/* Asks the running action to stop before its next row; may be called from
   any thread. Returns BL_SUCCESS. */
CYBTLDR_EXPORT int CyBtldr_Abort(void);

#ifdef __cplusplus
}
#endif

#endif
