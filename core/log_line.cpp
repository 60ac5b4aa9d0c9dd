#include "log_line.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <QTime>

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

bool appendLogEntry(const QString &tag, const QString &text, const QString &path)
{
    QFile log(path);
    if (!log.open(QIODevice::Append | QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QTextStream out(&log);
    out << logTimeStamp(QTime::currentTime()) << tag << text;
    out.flush();
    return out.status() == QTextStream::Ok;
}

} // namespace vireon::core
