#include "worker.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QMutexLocker>
#include <QPointer>
#include <QTextStream>
#include <QThread>
#include <QTime>

#include <cstdio>
#include <type_traits>

#include "hid_transport.h"
#include "worker2.h"

Q_LOGGING_CATEGORY(lcWorkers, "vireon.workers")

namespace vireon::workers {

const char *resultMessage(int result)
{
    switch (result) {
    case BL_FILE_NOT_ACCESSIBLE: return "File is not accessable.";
    case BL_END_OF_FILE: return "Reached the end of the file.";
    case BL_LENGTH_OUT_OF_RANGE: return "The amount of data available is outside the expected range.";
    case BL_BAD_FORM: return "The data is not of the proper form.";
    case BL_COMMAND_NOT_RECOGNIZED: return "The command is not recognized.";
    case BL_DEVICE_MISMATCH: return "The expected device does not match the detected device.";
    case BL_VERSION_NOT_SUPPORTED: return "The bootloader version detected is not supported.";
    case BL_CHECKSUM_MISMATCH: return "The checksum does not match the expected value.";
    case BL_ARRAY_INVALID: return "The flash array is not valid.";
    case BL_ROW_INVALID: return "The flash row is not valid.";
    case BL_NOT_READY: return "The bootloader is not ready to process data.";
    case BL_APP_ACTIVE: return "The application is currently marked as active.";
    case BL_UNKNOWN_ERROR: return "An unknown error occured.";
    case BL_ABORTED: return "The operation was aborted.";
    default: return nullptr;
    }
}

namespace {

// Only the second stage restarts itself when the surface cannot be opened:
// it runs right after the surface's restart, which may still be under way.
template <class W> constexpr bool kRestartsOpen = std::is_same_v<W, Worker2>;

void print(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

template <class W> void StageRun<W>::requestWork(W &worker, const Stage &stage)
{
    {
        QMutexLocker lock(&worker.mutex);
        worker.workingFlag = true;
        worker.busyFlag = true;
        worker.abortFlag = false;
        if constexpr (kRestartsOpen<W>) {
            // A new request voids any restart still queued from the last one.
            worker.restartPending = false;
            ++worker.request;
            worker.openDeadline = std::chrono::steady_clock::now() + worker.openLimit;
        }
    }
    qCDebug(lcWorkers) << "Request worker" << stage.number << "start from Thread" << QThread::currentThreadId();
    writeLog(worker, stage, QStringLiteral("Work Requested."), nullptr);
    emit worker.workRequested();
}

template <class W> void StageRun<W>::abort(W &worker, const Stage &stage)
{
    {
        QMutexLocker lock(&worker.mutex);
        if (worker.workingFlag) {
            worker.abortFlag = true;
            worker.busyFlag = false;
            qCDebug(lcWorkers) << "Request worker" << stage.number << "aborting in Thread"
                               << QThread::currentThreadId();
            if constexpr (kRestartsOpen<W>) {
                // A restart queued but not started yet is dropped: no run
                // is going on any more. A run pausing before its restart
                // wakes up and ends.
                if (worker.restartPending) {
                    worker.restartPending = false;
                    worker.workingFlag = false;
                }
                worker.abortRequested.wakeAll();
            }
        }
    }
    writeLog(worker, stage, QStringLiteral("Abort."), nullptr);
}

template <class W>
void StageRun<W>::writeLog(W &worker, const Stage &stage, const QString &message, hid_device *device)
{
    QMutexLocker lock(&worker.mutex);
    QFile file(QStringLiteral("log.txt"));
    if (!file.open(QIODevice::Append | QIODevice::WriteOnly | QIODevice::Text)) {
        qCDebug(lcWorkers) << "log file error";
        return;
    }
    const QString time = QTime::currentTime().toString(QStringLiteral("hh:mm:ssap"));
    QTextStream out(&file);
    if (device)
        out << time << stage.handleTag << static_cast<const void *>(device) << Qt::endl;
    else
        out << time << stage.tag << message << Qt::endl;
}

template <class W> void StageRun<W>::endRun(W &worker)
{
    {
        QMutexLocker lock(&worker.mutex);
        worker.workingFlag = false;
        worker.busyFlag = false;
    }
    emit worker.finished();
}

template <class W> void StageRun<W>::doWork(W &worker, const Stage &stage)
{
    qCDebug(lcWorkers) << "Starting worker" << stage.number << "process in Thread" << QThread::currentThreadId();

    bool aborted;
    {
        QMutexLocker lock(&worker.mutex);
        aborted = worker.abortFlag;
    }
    if (aborted) {
        qCDebug(lcWorkers) << "Aborting worker" << stage.number << "process in Thread" << QThread::currentThreadId();
        endRun(worker);
        return;
    }

    writeLog(worker, stage, QStringLiteral("Work Started."), nullptr);
    qCDebug(lcWorkers) << "Starting firmware upload...";
    hid_device *const device = hid_open(kVendorId, kProductId, nullptr);
    *stage.handle = device;
    qCDebug(lcWorkers) << "Thread" << stage.number << "Handle:" << static_cast<const void *>(device);
    if (!device) {
        couldNotOpen(worker, stage);
        return;
    }

    writeLog(worker, stage, QStringLiteral("Handle: "), device);
    const wchar_t *error = hid_error(device);
    const QString errorText = error ? QString::fromWCharArray(error) : QString();
    qCDebug(lcWorkers) << "HID error:" << static_cast<const void *>(error) << "HID error string:" << errorText;
    writeLog(worker, stage, QStringLiteral("HID error (NULL if none): %1").arg(errorText), nullptr);

    CyBtldr_CommunicationsData record = stage.transport();
    // The file functions take the path in the file system's encoding.
    const QString path = QDir::currentPath() + QLatin1String(stage.imageName);
    const QByteArray encodedPath = QFile::encodeName(path);
    qCDebug(lcWorkers) << "Image path:" << path;
    writeLog(worker, stage, QStringLiteral("Temporary filepath: %1").arg(path), nullptr);
    writeLog(worker, stage, QStringLiteral("Programming..."), nullptr);

    const int result = CyBtldr_Program(encodedPath.constData(), &record, stage.progress);
    qCDebug(lcWorkers) << "Result:" << result;
    // Every action ends with the exit command, after which the surface
    // restarts: this handle is of no further use, whatever the result.
    hid_close(device);
    *stage.handle = nullptr;

    if (result == 0) {
        print(stage.printComplete);
        qCDebug(lcWorkers) << "Success - Worker" << stage.number << "process finished in Thread"
                           << QThread::currentThreadId();
        worker.errorFlag = kProgrammed;
        writeLog(worker, stage, QString::fromLatin1(stage.complete).arg(result), nullptr);
    } else {
        qCDebug(lcWorkers) << "Failed - Worker" << stage.number << "process finished in Thread"
                           << QThread::currentThreadId();
        print(stage.printFailed);
        worker.errorFlag = kActionFailed;
        writeLog(worker, stage, QString::fromLatin1(stage.failed).arg(result), nullptr);
        if (const char *message = resultMessage(result))
            writeLog(worker, stage, QString::fromLatin1(message), nullptr);
    }
    endRun(worker);
}

template <class W> void StageRun<W>::couldNotOpen(W &worker, const Stage &stage)
{
    qCDebug(lcWorkers) << "No Handle - Worker" << stage.number << "process finished in Thread"
                       << QThread::currentThreadId();
    worker.errorFlag = kNotOpened;
    writeLog(worker, stage, QString::fromLatin1(stage.noHandle), nullptr);
    if constexpr (!kRestartsOpen<W>) {
        endRun(worker);
    } else {
        using Clock = std::chrono::steady_clock;
        enum { Stop, GiveUp, Restart } next;
        uint64_t request = 0;
        {
            QMutexLocker lock(&worker.mutex);
            if (worker.abortFlag) {
                next = Stop;
            } else if (Clock::now() >= worker.openDeadline) {
                next = GiveUp;
            } else {
                // Pause on this thread; abort() wakes it.
                const Clock::time_point resume = Clock::now() + Worker2::kRestartPause;
                for (Clock::time_point now = Clock::now(); !worker.abortFlag && now < resume; now = Clock::now()) {
                    const auto left = std::chrono::ceil<std::chrono::milliseconds>(resume - now);
                    worker.abortRequested.wait(&worker.mutex, static_cast<unsigned long>(left.count()));
                }
                if (worker.abortFlag) {
                    next = Stop;
                } else {
                    // busyFlag stays set: the stage is not over.
                    worker.workingFlag = true;
                    worker.restartPending = true;
                    request = worker.request;
                    next = Restart;
                }
            }
        }
        if (next == Stop) {
            endRun(worker);
            return;
        }
        if (next == GiveUp) {
            const qint64 seconds = std::chrono::duration_cast<std::chrono::seconds>(worker.openLimit).count();
            writeLog(worker, stage, QStringLiteral("No handle within %1 s. Giving up.").arg(seconds), nullptr);
            endRun(worker);
            return;
        }

        qCDebug(lcWorkers) << "Request worker" << stage.number << "restart in Thread" << QThread::currentThreadId();
        writeLog(worker, stage, QStringLiteral("Work Requested."), nullptr);
        // This run is over: its thread quits when the run returns.
        emit worker.finished();
        // The thread is started again from the thread its object lives on,
        // once it has ended (starting a thread that is still finishing does
        // nothing). The restart is dropped if the owner aborted or asked for
        // a new run in between.
        QThread *thread = QThread::currentThread();
        QPointer<W> self(&worker);
        QMetaObject::invokeMethod(
            thread,
            [self, thread, request] {
                if (!self)
                    return;
                {
                    QMutexLocker lock(&self->mutex);
                    if (!self->restartPending || self->request != request)
                        return;
                    self->restartPending = false;
                }
                thread->wait();
                thread->start();
            },
            Qt::QueuedConnection);
    }
}

template struct StageRun<Worker>;
template struct StageRun<Worker2>;

} // namespace vireon::workers

// The first stage's transport functions, on `handle`.
VIREON_HID_TRANSPORT(handle)

namespace {

const vireon::workers::Stage kStage1 = {
    1,
    "/vireonTemp1.txt",
    " Thread 1: ",
    " Thread 1: Handle: ",
    "No Handle: ",
    "Firmware update 1 complete. Result = %1. errorFlag==0",
    "Firmware update 1 failed. Result = %1. errorFlag==2",
    "Firmware update 1 complete",
    "Firmware update 1 failed.",
    &handle,
    transportRecord,
    ProgressUpdate,
};

using Run = vireon::workers::StageRun<Worker>;

} // namespace

Worker::Worker(QObject *parent) : QObject(parent) {}

void Worker::requestWork() { Run::requestWork(*this, kStage1); }

void Worker::abort() { Run::abort(*this, kStage1); }

void Worker::threadwritetolog(QString message, hid_device *device) { Run::writeLog(*this, kStage1, message, device); }

void Worker::doWork() { Run::doWork(*this, kStage1); }
