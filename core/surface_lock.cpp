#include "surface_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QUrl>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace vireon::core {

namespace {

// A file name holds at most 255 bytes; a serial number that needs more is
// cut (a device's texts are cut at 126 characters before this).
constexpr int kMaxKey = 200;

// The USB device ("1-2.3", bus 1, port 2, then port 3 of its hub) above a
// hidraw node, from sysfs; empty when the path is not a hidraw node.
QString usbPortOf(const QString &devicePath)
{
    if (!devicePath.startsWith(QLatin1String("/dev/hidraw")))
        return {};
    const QString node = QFileInfo(devicePath).fileName();
    const QString device = QFileInfo(QStringLiteral("/sys/class/hidraw/%1/device").arg(node)).canonicalFilePath();
    static const QRegularExpression port(QStringLiteral("^\\d+-\\d+(\\.\\d+)*$"));
    for (QDir dir(device); !device.isEmpty() && !dir.isRoot(); dir.cdUp())
        if (port.match(dir.dirName()).hasMatch())
            return dir.dirName();
    return {};
}

// A folder of this user's alone (not a link to one): no one else can put a
// file in it.
bool privateFolder(const QByteArray &path)
{
    struct stat status {};
    return lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == geteuid() &&
           (status.st_mode & 077) == 0;
}

QString encoded(const QString &text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text, "-_.~").left(kMaxKey));
}

} // namespace

QString surfaceLockKey(const QString &serial, const QString &devicePath)
{
    if (!serial.isEmpty())
        return QStringLiteral("serial-") + encoded(serial);
    const QString port = usbPortOf(devicePath);
    return port.isEmpty() ? QStringLiteral("path-") + encoded(devicePath) : QStringLiteral("port-") + encoded(port);
}

QString runtimeFolder()
{
    const QByteArray given = qgetenv("XDG_RUNTIME_DIR");
    if (!given.isEmpty() && privateFolder(given))
        return QFile::decodeName(given);
    const QByteArray fallback = "/tmp/vireon-" + QByteArray::number(geteuid());
    if (mkdir(fallback.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    return privateFolder(fallback) ? QFile::decodeName(fallback) : QString();
}

QString surfaceLockPath(const QString &key)
{
    const QString folder = runtimeFolder();
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/vireon-surface-") + key + QStringLiteral(".lock");
}

SurfaceLock::SurfaceLock() = default;
SurfaceLock::~SurfaceLock() = default;

bool SurfaceLock::claim(const QString &serial, const QString &devicePath)
{
    release();
    const QString key = surfaceLockKey(serial, devicePath);
    const QString path = surfaceLockPath(key);
    if (path.isEmpty())
        return true;
    auto lock = std::make_unique<QLockFile>(path);
    // An update keeps its lock however long it takes.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        lock_ = std::move(lock);
        return true;
    }
    if (lock->error() != QLockFile::LockFailedError)
        return true;
    QString host, program;
    lock->getLockInfo(&holder_, &host, &program);
    const QString surface = serial.isEmpty() ? QStringLiteral("at %1").arg(devicePath)
                                             : QStringLiteral("with serial number %1").arg(serial);
    problem_ = QStringLiteral("Another updater (%1, process %2) is updating the surface %3.")
                   .arg(program.isEmpty() ? QStringLiteral("unknown program") : program)
                   .arg(holder_)
                   .arg(surface);
    return false;
}

void SurfaceLock::release()
{
    lock_.reset();
    holder_ = 0;
    problem_.clear();
}

} // namespace vireon::core
