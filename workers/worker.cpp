#include "worker.h"

#include "hid_transport.h"

hid_device *handle = nullptr;

namespace {

vireon::engine::TransferRecord record1;

const vireon::workers::StageTexts kStage1 = {
    1,
    "/vireonTemp1.txt",
    " Thread 1: ",
    "No Handle: ",
    "Firmware update 1 complete. Result = %1. errorFlag==0",
    "Firmware update 1 failed. Result = %1. errorFlag==2",
    "Firmware update 1 complete",
    "Firmware update 1 failed.",
    &handle,
    vireon::core::hidTransport<&handle, &record1>,
    &record1,
    "/vireonTemp2.txt",
};

} // namespace

Worker::Worker(QObject *parent) : QObject(parent) {}

vireon::workers::StageRun Worker::run()
{
    return {kStage1,
            {*this, errorFlag, busyFlag, abortFlag, workingFlag, mutex, lastResult, stageSetup, result, rows,
             [this] { emit workRequested(); }, [this] { emit finished(); }, retry}};
}

void Worker::requestWork() { run().requestWork(); }

void Worker::abort() { run().abort(); }

void Worker::threadwritetolog(QString message, hid_device *device) { run().writeLog(message, device); }

void Worker::setup(const vireon::workers::StageSetup &setup) { run().setup(setup); }

void Worker::setImageFile(const QByteArray &path) { run().setImageFile(path); }

void Worker::doWork() { run().doWork(); }

QString Worker::lastResultText() { return run().lastResultText(); }

vireon::core::StageResult Worker::lastStage() { return run().lastStage(); }
