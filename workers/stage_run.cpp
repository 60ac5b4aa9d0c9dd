#include "stage_run.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QObject>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <utility>

#include "hid_transport.h"
#include "log_line.h"
#include "open_failure.h"
#include "result_text.h"
#include "row_progress.h"
#include "surface_access.h"
#include "workers_log.h"

Q_LOGGING_CATEGORY(lcWorkers, "vireon.workers", QtWarningMsg)

namespace vireon::workers {

namespace {

void print(const char *line)
{
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

void StageRun::requestWork()
{
    resetRows(stage.number);
    {
        QMutexLocker lock(&m.mutex);
        m.workingFlag = true;
        m.busyFlag = true;
        m.abortFlag = false;
        m.lastResult.clear();
        m.cause = {};
        m.retry.requested();
    }
    qCDebug(lcWorkers) << "Request worker" << stage.number << "start from Thread" << QThread::currentThreadId();
    writeLog(QStringLiteral("Work Requested."), nullptr);
    m.emitWorkRequested();
}

void StageRun::abort()
{
    {
        QMutexLocker lock(&m.mutex);
        if (m.workingFlag) {
            m.abortFlag = true;
            m.busyFlag = false;
            qCDebug(lcWorkers) << "Request worker" << stage.number << "aborting in Thread" << QThread::currentThreadId();
            if (m.retry.aborted())
                m.workingFlag = false;
        }
    }
    writeLog(QStringLiteral("Abort."), nullptr);
}

void StageRun::writeLog(const QString &message, hid_device *device)
{
    QMutexLocker lock(&m.mutex);
    if (!device && QThread::currentThread() == m.worker.thread())
        m.lastResult = message;
    // With a device, its pointer as a text stream writes one.
    const bool written =
        device ? core::appendLogEntry(QLatin1String(stage.tag),
                                      QStringLiteral("Handle: 0x%1\n").arg(reinterpret_cast<quintptr>(device), 0, 16))
               : core::appendLogEntry(QLatin1String(stage.tag), message + QLatin1Char('\n'));
    if (!written)
        qCDebug(lcWorkers) << "log file error";
}

void StageRun::setImageFile(const QByteArray &path)
{
    QMutexLocker lock(&m.mutex);
    m.imageFile = path;
}

void StageRun::endRun()
{
    {
        QMutexLocker lock(&m.mutex);
        m.workingFlag = false;
        m.busyFlag = false;
    }
    m.emitFinished();
}

void StageRun::doWork()
{
    qCDebug(lcWorkers) << "Starting worker" << stage.number << "process in Thread" << QThread::currentThreadId();

    bool aborted;
    {
        QMutexLocker lock(&m.mutex);
        aborted = m.abortFlag;
    }
    if (aborted) {
        qCDebug(lcWorkers) << "Aborting worker" << stage.number << "process in Thread" << QThread::currentThreadId();
        endRun();
        return;
    }

    writeLog(QStringLiteral("Work Started."), nullptr);
    qCDebug(lcWorkers) << "Starting firmware upload...";
    const core::SurfaceOpen open = core::openSurface();
    hid_device *const device = open.device;
    *stage.handle = device;
    qCDebug(lcWorkers) << "Thread" << stage.number << "Handle:" << static_cast<const void *>(device);
    if (!device) {
        couldNotOpen(open);
        return;
    }

    writeLog(QStringLiteral("Handle: "), device);
    const wchar_t *error = hid_error(device);
    const QString errorText = error ? QString::fromWCharArray(error) : QString();
    qCDebug(lcWorkers) << "HID error:" << static_cast<const void *>(error) << "HID error string:" << errorText;
    writeLog(QStringLiteral("HID error (NULL if none): %1").arg(errorText), nullptr);

    CyBtldr_CommunicationsData record = stage.transport();
    // The file functions take the path in the file system's encoding. The
    // owner hands over the image it checked, open, so that the bytes
    // programmed are the bytes checked whatever is put at the name since.
    const QString path = QDir::currentPath() + QLatin1String(stage.imageName);
    QByteArray encodedPath;
    {
        QMutexLocker lock(&m.mutex);
        encodedPath = m.imageFile;
    }
    if (encodedPath.isEmpty())
        encodedPath = QFile::encodeName(path);
    qCDebug(lcWorkers) << "Image path:" << path;
    writeLog(QStringLiteral("Temporary filepath: %1").arg(path), nullptr);
    writeLog(QStringLiteral("Programming..."), nullptr);

    const RowCounting counting(stage.number);
    stage.record->reset();
    const int result = CyBtldr_Program(encodedPath.constData(), &record, countRow);
    qCDebug(lcWorkers) << "Result:" << result;
    core::StageAccount account;
    account.image = stage.number;
    account.result = result;
    account.transfer = *stage.record;
    const QString otherPath = QDir::currentPath() + QLatin1String(stage.otherImageName);
    account.imageIds[stage.number - 1] = core::imageSiliconId(QFile::decodeName(encodedPath));
    account.imageIds[stage.number == 1 ? 1 : 0] = core::imageSiliconId(otherPath);
    const core::CauseAccount cause = core::accountFor(account);
    {
        QMutexLocker lock(&m.mutex);
        m.cause = cause;
    }
    // Every action ends with the exit command, after which the surface
    // restarts: this handle is of no further use to the run. After a
    // success it may tell its owner whether the surface left the bus.
    {
        QMutexLocker lock(&m.mutex);
        if (m.keptHandle != nullptr && *m.keptHandle != nullptr)
            hid_close(std::exchange(*m.keptHandle, nullptr)); // an earlier run's, never taken
        if (m.keptHandle != nullptr && result == BL_SUCCESS)
            *m.keptHandle = device;
        else
            hid_close(device);
    }
    *stage.handle = nullptr;

    if (result == 0) {
        print(stage.printComplete);
        qCDebug(lcWorkers) << "Success - Worker" << stage.number << "process finished in Thread"
                           << QThread::currentThreadId();
        m.errorFlag = kProgrammed;
        writeLog(QString::fromLatin1(stage.complete).arg(result), nullptr);
        if (!cause.reason.isEmpty())
            writeLog(cause.reason, nullptr);
    } else {
        qCDebug(lcWorkers) << "Failed - Worker" << stage.number << "process finished in Thread"
                           << QThread::currentThreadId();
        print(stage.printFailed);
        m.errorFlag = kActionFailed;
        writeLog(QString::fromLatin1(stage.failed).arg(result), nullptr);
        const char *message = core::resultMessage(result);
        if (message)
            writeLog(QString::fromLatin1(message), nullptr);
        // Last, so that it is what the window shows: the cause.
        if (cause.reason != QLatin1String(message))
            writeLog(cause.reason, nullptr);
    }
    endRun();
}

QString StageRun::lastResultText()
{
    QMutexLocker lock(&m.mutex);
    return m.lastResult;
}

core::CauseAccount StageRun::lastCause()
{
    QMutexLocker lock(&m.mutex);
    return m.cause;
}

bool StageRun::openLimitSpent()
{
    QMutexLocker lock(&m.mutex);
    return m.retry.limitSpent();
}

void StageRun::couldNotOpen(const core::SurfaceOpen &open)
{
    qCDebug(lcWorkers) << "No Handle - Worker" << stage.number << "process finished in Thread"
                       << QThread::currentThreadId();
    m.errorFlag = kNotOpened;
    writeLog(QString::fromLatin1(stage.noHandle), nullptr);
    for (const QString &line : openFailureLines(open.error, open.permissionDenied))
        writeLog(line, nullptr);
    m.retry.couldNotOpen(*this);
}

void OpenRetry::couldNotOpen(StageRun &run) { run.endRun(); }

} // namespace vireon::workers
