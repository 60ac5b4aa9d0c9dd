#include "stage_run.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QObject>
#include <QThread>

#include <cstdio>

#include "firmware_file.h"
#include "log_line.h"
#include "open_failure.h"
#include "result_text.h"
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
    m.rows = 0;
    {
        QMutexLocker lock(&m.mutex);
        m.workingFlag = true;
        m.busyFlag = true;
        m.abortFlag = false;
        m.lastResult.clear();
        m.result = {};
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

void StageRun::setup(const StageSetup &setup)
{
    QMutexLocker lock(&m.mutex);
    m.setup = setup;
}

void StageRun::setImageFile(const QByteArray &path)
{
    QMutexLocker lock(&m.mutex);
    m.setup.imageFile = path;
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
    StageSetup setup;
    {
        QMutexLocker lock(&m.mutex);
        aborted = m.abortFlag;
        setup = m.setup;
    }
    if (aborted) {
        qCDebug(lcWorkers) << "Aborting worker" << stage.number << "process in Thread" << QThread::currentThreadId();
        endRun();
        return;
    }

    writeLog(QStringLiteral("Work Started."), nullptr);
    qCDebug(lcWorkers) << "Starting firmware upload...";
    // The file functions take the path in the file system's encoding. The
    // owner hands over the image it checked, open, so that the bytes
    // programmed are the bytes checked whatever is put at the name since.
    const QString path = QDir::currentPath() + QLatin1String(stage.imageName);
    const QByteArray encodedPath = setup.imageFile.isEmpty() ? QFile::encodeName(path) : setup.imageFile;

    core::StageJob job;
    job.image = stage.number;
    job.imagePath = encodedPath.toStdString();
    job.devicePath = setup.devicePath;
    job.openUntil = setup.openUntil;
    // The chips the images are for, as the owner read them from the file, or
    // else from the images on disk.
    const QString images[2] = {QDir::currentPath() + QLatin1String(stage.number == 1 ? stage.imageName : stage.otherImageName),
                               QDir::currentPath() + QLatin1String(stage.number == 2 ? stage.imageName : stage.otherImageName)};
    for (int i = 0; i < 2; ++i)
        job.imageIds[i] = setup.imageIds[i] != 0
                              ? setup.imageIds[i]
                              : core::imageSiliconId(i == stage.number - 1 ? QFile::decodeName(encodedPath) : images[i]);
    job.slot = stage.handle;
    job.transport = stage.transport();
    job.record = stage.record;
    job.onRow = [this](int rows) { m.rows = rows; };
    job.onOpen = [&](hid_device *device) {
        qCDebug(lcWorkers) << "Thread" << stage.number << "Handle:" << static_cast<const void *>(device);
        writeLog(QStringLiteral("Handle: "), device);
        const wchar_t *error = hid_error(device);
        const QString errorText = error ? QString::fromWCharArray(error) : QString();
        qCDebug(lcWorkers) << "HID error:" << static_cast<const void *>(error) << "HID error string:" << errorText;
        writeLog(QStringLiteral("HID error (NULL if none): %1").arg(errorText), nullptr);
        qCDebug(lcWorkers) << "Image path:" << path;
        writeLog(QStringLiteral("Temporary filepath: %1").arg(path), nullptr);
        writeLog(QStringLiteral("Programming..."), nullptr);
    };
    const core::StageResult result = core::runStage(job);
    {
        QMutexLocker lock(&m.mutex);
        m.result = result;
    }
    if (!result.opened()) {
        couldNotOpen(result.report);
        return;
    }
    qCDebug(lcWorkers) << "Result:" << result.report.result;
    logOutcome(result, setup.firstChipExpected);
    endRun();
}

void StageRun::logOutcome(const core::StageResult &result, bool firstChipExpected)
{
    const int code = result.report.result;
    const QString reason = QString::fromStdString(result.cause.reason);
    if (code == 0) {
        print(stage.printComplete);
        qCDebug(lcWorkers) << "Success - Worker" << stage.number << "process finished in Thread"
                           << QThread::currentThreadId();
        m.errorFlag = kProgrammed;
        writeLog(QString::fromLatin1(stage.complete).arg(code), nullptr);
        if (!reason.isEmpty())
            writeLog(reason, nullptr);
        return;
    }
    qCDebug(lcWorkers) << "Failed - Worker" << stage.number << "process finished in Thread"
                       << QThread::currentThreadId();
    print(stage.printFailed);
    m.errorFlag = kActionFailed;
    writeLog(QString::fromLatin1(stage.failed).arg(code), nullptr);
    // A try that met the first chip because the failed try before it
    // restarted the surface found what it expected: its exit command hands
    // the bus to the second chip. Its result's words would tell a mismatch
    // that is none; the owner logs what happened.
    if (firstChipExpected && result.cause.cause == engine::Cause::StillFirstChip)
        return;
    const char *message = engine::resultMessage(code);
    if (message)
        writeLog(QString::fromLatin1(message), nullptr);
    // Last, so that it is what the window shows: the cause.
    if (!message || result.cause.reason != message)
        writeLog(reason, nullptr);
}

QString StageRun::lastResultText()
{
    QMutexLocker lock(&m.mutex);
    return m.lastResult;
}

core::StageResult StageRun::lastStage()
{
    QMutexLocker lock(&m.mutex);
    return m.result;
}

bool StageRun::openLimitSpent()
{
    QMutexLocker lock(&m.mutex);
    return m.retry.limitSpent();
}

void StageRun::couldNotOpen(const engine::StageReport &report)
{
    qCDebug(lcWorkers) << "No Handle - Worker" << stage.number << "process finished in Thread"
                       << QThread::currentThreadId();
    m.errorFlag = kNotOpened;
    writeLog(QString::fromLatin1(stage.noHandle), nullptr);
    for (const QString &line : openFailureLines(QString::fromStdString(report.openError),
                                                report.open == engine::StageReport::Open::PermissionDenied))
        writeLog(line, nullptr);
    m.retry.couldNotOpen(*this);
}

void OpenRetry::couldNotOpen(StageRun &run) { run.endRun(); }

} // namespace vireon::workers
