#include "log_line.h"

#include "folder_files.h"
#include "printable.h"

#include <QDateTime>
#include <QTime>

#include <cerrno>

#include <unistd.h>

namespace vireon::core {

const QString kLogFileName = QStringLiteral("log.txt");

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
    for (;;) {
        const ssize_t written = ::write(log.file.fd(), bytes.constData(), static_cast<size_t>(bytes.size()));
        if (written < 0 && errno == EINTR)
            continue;
        return written == bytes.size();
    }
}

} // namespace vireon::core
