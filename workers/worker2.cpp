#include "worker2.h"

#include "hid_transport.h"


hid_device *handle2 = nullptr;

namespace {

vireon::engine::TransferRecord record2;

const vireon::workers::StageTexts kStage2 = {
    2,
    "/vireonTemp2.txt",
    " Thread 2: ",
    "Errorflag==1. No handle: ",
    "Firmware update 2 complete. Result: %1. errorFlag==0",
    "Firmware update 2 failed. Result: %1. errorFlag==2",
    "Firmware update 2 complete",
    "Firmware update 2 failed.",
    &handle2,
    vireon::core::hidTransport<&handle2, &record2>,
    &record2,
    "/vireonTemp1.txt",
};

} // namespace

Worker2::Worker2(QObject *parent, std::chrono::milliseconds openLimit)
    : QObject(parent), restart(openLimit, kRestartPause)
{
}

vireon::workers::StageRun Worker2::run()
{
    return {kStage2,
            {*this, errorFlag, busyFlag, abortFlag, workingFlag, mutex, lastResult, stageSetup, result, rows,
             [this] { emit workRequested(); }, [this] { emit finished(); }, restart}};
}

void Worker2::requestWork() { run().requestWork(); }

void Worker2::abort() { run().abort(); }

void Worker2::threadwritetolog(QString message, hid_device *device) { run().writeLog(message, device); }

void Worker2::setup(const vireon::workers::StageSetup &setup) { run().setup(setup); }

void Worker2::setImageFile(const QByteArray &path) { run().setImageFile(path); }

void Worker2::doWork() { run().doWork(); }

QString Worker2::lastResultText() { return run().lastResultText(); }

vireon::core::StageResult Worker2::lastStage() { return run().lastStage(); }

bool Worker2::openLimitSpent() { return run().openLimitSpent(); }
