// Bootload actions: program, erase or verify every row of one firmware image
// file, with the application checks before and after the rows.
#include "cybtldr_api2.h"

#include <atomic>
#include <string.h>

// Set by CyBtldr_Abort from any thread; the running action looks at it
// before each row.
std::atomic<uint8_t> g_abort{0};

namespace {

// The device answers status 5 to the application status query when it has
// a single application.
const int APP_STATUS_UNSUPPORTED = BL_DEVICE_STATUS_FLAG + 0x05;

// The application a file is for: a file named such as "image_2.cyacd" is
// for application 1 (the digit after the last '_', minus one). Any other
// name names no application. Only the file's own name counts: a folder such
// as "fw_1.0" on the way to it must not turn the final application checksum
// verify into an application status query.
uint8_t applicationId(const char *file)
{
    const char *slash = strrchr(file, '/');
    const char *name = slash != nullptr ? slash + 1 : file;
    const char *underscore = strrchr(name, '_');
    if (underscore != nullptr && underscore[1] != '\0' && underscore[2] == '.')
        return static_cast<uint8_t>(CyBtldr_FromHex(underscore[1]) - 1);
    return INVALID_APP;
}

} // namespace

extern "C" {

int CyBtldr_RunAction(CyBtldr_Action action, const char *file, CyBtldr_CommunicationsData *comm,
                      CyBtldr_ProgressUpdate *update)
{
    char line[LINE_BUFFER_SIZE];
    uint8_t rowData[LINE_BUFFER_SIZE];
    uint32_t lineLen = 0;
    uint32_t siliconId = 0;
    uint8_t siliconRev = 0;
    uint8_t chksumType = SUM_CHECKSUM;
    uint32_t blVer = 0;
    uint8_t arrayId = 0;
    uint16_t rowNum = 0;
    uint16_t rowSize = 0;
    uint8_t checksum = 0;
    uint8_t isValid = 0;
    uint8_t isActive = 0;
    bool started = false;

    g_abort.store(0);

    int err = CyBtldr_OpenDataFile(file);
    if (err != BL_SUCCESS)
        return err;

    err = CyBtldr_ReadLine(&lineLen, line);
    if (err == BL_SUCCESS)
        err = CyBtldr_ParseHeader(lineLen, reinterpret_cast<uint8_t *>(line), &siliconId, &siliconRev, &chksumType);
    if (err == BL_SUCCESS) {
        CyBtldr_SetCheckSumType(static_cast<CyBtldr_ChecksumType>(chksumType));
        err = CyBtldr_StartBootloadOperation(comm, siliconId, siliconRev, &blVer);
        started = true;
    }

    const uint8_t appId = applicationId(file);
    if (err == BL_SUCCESS && appId != INVALID_APP) {
        err = CyBtldr_GetApplicationStatus(appId, &isValid, &isActive);
        if (err == BL_SUCCESS) {
            if (action != VERIFY && isActive != 0)
                err = BL_APP_ACTIVE;
        } else if (err == APP_STATUS_UNSUPPORTED) {
            err = BL_SUCCESS;
        }
    }

    if (err != BL_SUCCESS) {
        // After a transport failure the device is not spoken to again.
        if (started && (err & BL_COMM_ERROR_FLAG) == 0)
            CyBtldr_EndBootloadOperation();
        CyBtldr_CloseDataFile();
        return err;
    }

    while (err == BL_SUCCESS) {
        if (g_abort.load() != 0) {
            err = BL_ABORTED;
            break;
        }

        err = CyBtldr_ReadLine(&lineLen, line);
        if (err == BL_SUCCESS)
            err = CyBtldr_ParseRowData(lineLen, reinterpret_cast<uint8_t *>(line), &arrayId, &rowNum, rowData,
                                       &rowSize, &checksum);
        if (err != BL_SUCCESS) {
            if (err == BL_END_OF_FILE)
                err = BL_SUCCESS;
            break;
        }

        // What the device reports for the row: the file's row checksum with
        // the line's address and length bytes folded back in.
        const uint8_t expected = static_cast<uint8_t>(checksum + arrayId + (rowNum & 0xFF) + (rowNum >> 8) +
                                                      (rowSize & 0xFF) + (rowSize >> 8));
        switch (action) {
        case ERASE:
            err = CyBtldr_EraseRow(arrayId, rowNum);
            break;
        case PROGRAM:
            err = CyBtldr_ProgramRow(arrayId, rowNum, rowData, rowSize);
            if (err == BL_SUCCESS)
                err = CyBtldr_VerifyRow(arrayId, rowNum, expected);
            break;
        case VERIFY:
            err = CyBtldr_VerifyRow(arrayId, rowNum, expected);
            break;
        }

        if (err == BL_SUCCESS && update != nullptr)
            update(arrayId, rowNum);
    }

    if (err == BL_SUCCESS) {
        if (action == PROGRAM && appId != INVALID_APP) {
            err = CyBtldr_GetApplicationStatus(appId, &isValid, &isActive);
            if (err == BL_SUCCESS)
                err = (isValid == 0) ? CyBtldr_SetApplicationStatus(appId) : BL_CHECKSUM_MISMATCH;
            else if (err == APP_STATUS_UNSUPPORTED)
                err = BL_SUCCESS;
        } else if (action != ERASE && blVer >= BL_VER_SUPPORT_VERIFY) {
            err = CyBtldr_VerifyApplication();
        }
    }

    // The end's result is ignored: a bootloader that restarts as soon as the
    // exit command arrives can make that very write fail, after every row
    // was programmed and verified. A chip that really missed its exit is met
    // again by the next stage, which fails on its silicon id.
    CyBtldr_EndBootloadOperation();
    CyBtldr_CloseDataFile();
    return err;
}

int CyBtldr_Program(const char *file, CyBtldr_CommunicationsData *comm, CyBtldr_ProgressUpdate *update)
{
    return CyBtldr_RunAction(PROGRAM, file, comm, update);
}

int CyBtldr_Erase(const char *file, CyBtldr_CommunicationsData *comm, CyBtldr_ProgressUpdate *update)
{
    return CyBtldr_RunAction(ERASE, file, comm, update);
}

int CyBtldr_Verify(const char *file, CyBtldr_CommunicationsData *comm, CyBtldr_ProgressUpdate *update)
{
    return CyBtldr_RunAction(VERIFY, file, comm, update);
}

int CyBtldr_Abort(void)
{
    g_abort.store(1);
    return BL_SUCCESS;
}

} // extern "C"
