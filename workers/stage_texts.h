// What tells the two worker stages apart: their log and output texts, their
// temporary image, and the process-wide handle and transport each run uses.
#ifndef VIREON_WORKERS_STAGE_TEXTS_H
#define VIREON_WORKERS_STAGE_TEXTS_H

#include <hidapi/hidapi.h>

#include "cybtldr_api2.h"
#include "transfer_record.h"

// One handle per worker; each run's open sets its worker's handle, and that
// worker's transport record reads it.
extern hid_device *handle;  // first worker
extern hid_device *handle2; // second worker

namespace vireon::workers {

struct StageTexts {
    int number;                 // 1 or 2, for the debug traces
    const char *imageName;      // appended to the current directory's path
    const char *tag;            // log tag, " Thread 1: "
    const char *noHandle;       // logged when the surface cannot be opened
    const char *complete;       // logged after a successful action, %1 the result
    const char *failed;         // logged after a failed action, %1 the result
    const char *printComplete;  // standard-output line after a successful action
    const char *printFailed;    // standard-output line after a failed action
    hid_device **handle;        // the stage's process-wide handle
    CyBtldr_CommunicationsData (*transport)(); // hidTransport<handle, record>
    engine::TransferRecord *record; // what the transport saw during the run
    const char *otherImageName;   // the other stage's image, to tell its chip when the owner did not
};

} // namespace vireon::workers

#endif
