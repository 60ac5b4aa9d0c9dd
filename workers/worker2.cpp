#include "worker2.h"

#include "hid_transport.h"

// The second stage's transport functions, on `handle2`.
VIREON_HID_TRANSPORT(handle2)

namespace {

const vireon::workers::Stage kStage2 = {
    2,
    "/vireonTemp2.txt",
    " Thread 2: ",
    " Thread 2: Handle: ",
    "Errorflag==1. No handle: ",
    "Firmware update 2 complete. Result: %1. errorFlag==0",
    "Firmware update 2 failed. Result: %1. errorFlag==2",
    "Firmware update 2 complete",
    "Firmware update 2 failed.",
    &handle2,
    transportRecord,
    ProgressUpdate,
};

using Run = vireon::workers::StageRun<Worker2>;

} // namespace

Worker2::Worker2(QObject *parent, std::chrono::milliseconds openLimit) : QObject(parent), openLimit(openLimit) {}

void Worker2::requestWork() { Run::requestWork(*this, kStage2); }

void Worker2::abort() { Run::abort(*this, kStage2); }

void Worker2::threadwritetolog(QString message, hid_device *device) { Run::writeLog(*this, kStage2, message, device); }

void Worker2::doWork() { Run::doWork(*this, kStage2); }
