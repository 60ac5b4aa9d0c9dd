#include "log_line.h"

#include "folder_files.h"
#include "printable.h"

#include <QDateTime>
#include <QTime>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace vireon::core {

const QString kLogFileName = QStringLiteral("log.txt");

namespace {

// A log that reached its size limit (ulimit -f) or a full disk takes part of
// an entry: the part is taken back, so that no cut line stays in the log,
// unless another writer has appended since.
void takeBackCutEntry(int fd, off_t before, ssize_t written)
{
    struct stat status {};
    if (before >= 0 && fstat(fd, &status) == 0 && status.st_size == before + written)
        (void)!ftruncate(fd, before);
}

} // namespace

QString logTimeStamp(const QTime &time)
{
    return time.toString(QStringLiteral("hh:mm:ssap"));
}

QString logCreationLine(const QDateTime &when)
{
    return QStringLiteral("Log Created: ") + when.toString(QStringLiteral("ddd MMMM d h:mm:ssap")) +
           QStringLiteral("\n");
}

QString logEntryText(const QString &text)
{
    const bool ended = text.endsWith(QLatin1Char('\n'));
    return escapeControls(ended ? text.chopped(1) : text) + (ended ? QStringLiteral("\n") : QString());
}

QString prepareLog(const QDateTime &when, const QString &path)
{
    OpenedFile log = openForAppend(path);
    if (!log.ok())
        return log.problem;
    if (lseek(log.file.fd(), 0, SEEK_END) == 0) {
        const QByteArray line = logCreationLine(when).toLocal8Bit();
        if (::write(log.file.fd(), line.constData(), static_cast<size_t>(line.size())) != line.size())
            return QStringLiteral("%1 cannot be written.").arg(path);
    }
    return {};
}

bool appendLogEntry(const QString &tag, const QString &text, const QString &path)
{
    const OpenedFile log = openForAppend(path);
    if (!log.ok())
        return false;
    const QByteArray bytes = (logTimeStamp(QTime::currentTime()) + tag + logEntryText(text)).toLocal8Bit();
    // One write: an entry is never split by another writer's.
    const off_t before = lseek(log.file.fd(), 0, SEEK_END);
    for (;;) {
        const ssize_t written = ::write(log.file.fd(), bytes.constData(), static_cast<size_t>(bytes.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written > 0 && written < bytes.size())
            takeBackCutEntry(log.file.fd(), before, written);
        return written == bytes.size();
    }
}

} // namespace vireon::core
