#include "minisign_kit.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace vireon::tools {

bool MinisignKit::available() { return !QStandardPaths::findExecutable(QStringLiteral("minisign")).isEmpty(); }

bool MinisignKit::run(const QStringList &arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::SeparateChannels);
    tool.setStandardInputFile(QProcess::nullDevice()); // never waits for a password
    tool.start(QStringLiteral("minisign"), arguments);
    const bool done = tool.waitForFinished(30000);
    error_ = QString::fromLocal8Bit(tool.readAllStandardError());
    if (!done)
        error_ += tool.errorString();
    return done && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

QString MinisignKit::makeKey(const QString &name)
{
    const QString base = QDir(folder_).filePath(name);
    QFile::remove(base + QStringLiteral(".pub"));
    QFile::remove(base + QStringLiteral(".key"));
    if (!run({QStringLiteral("-G"), QStringLiteral("-W"), QStringLiteral("-p"), base + QStringLiteral(".pub"),
              QStringLiteral("-s"), base + QStringLiteral(".key")}))
        return {};
    return base + QStringLiteral(".pub");
}

bool MinisignKit::sign(const QString &name, const QString &file, Form form, const QString &trustedComment,
                       const QString &out)
{
    QStringList arguments{QStringLiteral("-S"), QStringLiteral("-s"),
                          QDir(folder_).filePath(name + QStringLiteral(".key")), QStringLiteral("-m"), file};
    if (form == Form::Legacy)
        arguments << QStringLiteral("-l");
    if (!trustedComment.isEmpty())
        arguments << QStringLiteral("-t") << trustedComment;
    arguments << QStringLiteral("-x") << (out.isEmpty() ? file + QStringLiteral(".minisig") : out);
    return run(arguments);
}

} // namespace vireon::tools
