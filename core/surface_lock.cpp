#include "surface_lock.h"

#include "folder_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QUrl>

#include <cerrno>

#include <pwd.h>
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

// Why `path` is not a folder of this user's alone (not a link to one): no
// one else can put a file in it. Empty when it is.
QString notPrivate(const QString &path)
{
    struct stat status {};
    if (lstat(QFile::encodeName(path).constData(), &status) != 0)
        return QStringLiteral("%1 cannot be examined (%2)").arg(path, qt_error_string(errno));
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("%1 is %2, not a folder").arg(path, fileKind(status.st_mode));
    if (status.st_uid != geteuid())
        return QStringLiteral("%1 belongs to the user %2, not to you").arg(path, userName(status.st_uid));
    if ((status.st_mode & 077) != 0)
        return QStringLiteral("others may use %1 (mode %2)").arg(path).arg(status.st_mode & 0777, 3, 8, QLatin1Char('0'));
    return {};
}

// `path` made a private folder when missing (mkdir never follows a link at
// the name); why it is not one when it is not.
QString privateFolderMade(const QString &path)
{
    if (mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("%1 cannot be made (%2)").arg(path, qt_error_string(errno));
    return notPrivate(path);
}

// The home folder's own cache folder for the locks, made when missing: the
// home and its .cache must be this user's and writable by nobody else.
QString homeFolder(const QString &home, QString *path)
{
    if (home.isEmpty())
        return QStringLiteral("you have no home folder");
    struct stat status {};
    if (stat(QFile::encodeName(home).constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != geteuid() || (status.st_mode & 022) != 0)
        return QStringLiteral("your home folder %1 is not yours alone").arg(home);
    const QString cache = home + QStringLiteral("/.cache");
    if (mkdir(QFile::encodeName(cache).constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("%1 cannot be made (%2)").arg(cache, qt_error_string(errno));
    if (lstat(QFile::encodeName(cache).constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != geteuid() || (status.st_mode & 022) != 0)
        return QStringLiteral("%1 is not a folder of yours alone").arg(cache);
    *path = cache + QStringLiteral("/vireon-control");
    return privateFolderMade(*path);
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

RuntimePlaces RuntimePlaces::system()
{
    struct passwd entry {};
    struct passwd *found = nullptr;
    char buffer[4096];
    const bool known = getpwuid_r(geteuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr;
    return {QFile::decodeName(qgetenv("XDG_RUNTIME_DIR")), QStringLiteral("/run/user"), QStringLiteral("/tmp"),
            known ? QFile::decodeName(found->pw_dir) : QString()};
}

RuntimeFolder runtimeFolder(const RuntimePlaces &places)
{
    if (!places.given.isEmpty() && notPrivate(places.given).isEmpty())
        return {places.given, {}};
    const QString uid = QString::number(geteuid());
    if (!places.userRun.isEmpty()) {
        const QString loginFolder = places.userRun + QLatin1Char('/') + uid;
        if (notPrivate(loginFolder).isEmpty())
            return {loginFolder, {}};
    }
    const QString shared = places.sharedTemp + QStringLiteral("/vireon-") + uid;
    const QString sharedProblem = privateFolderMade(shared);
    if (sharedProblem.isEmpty())
        return {shared, {}};
    // Another user made the shared name first: the home folder is a name
    // nobody else controls.
    QString inHome;
    const QString homeProblem = homeFolder(places.home, &inHome);
    if (homeProblem.isEmpty())
        return {inHome, {}};
    return {{}, QStringLiteral("No folder of yours alone holds the surface locks: %1, and %2.")
                    .arg(sharedProblem, homeProblem)};
}

QString surfaceLockPath(const QString &key, const RuntimePlaces &places)
{
    const QString folder = runtimeFolder(places).path;
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/vireon-surface-") + key + QStringLiteral(".lock");
}

SurfaceLock::SurfaceLock() = default;
SurfaceLock::SurfaceLock(RuntimePlaces places) : places_(std::move(places)) {}
SurfaceLock::~SurfaceLock() = default;

bool SurfaceLock::claim(const QString &serial, const QString &devicePath)
{
    release();
    const RuntimeFolder folder = runtimeFolder(places_ ? *places_ : RuntimePlaces::system());
    if (folder.path.isEmpty()) {
        setupProblem_ = true;
        problem_ = folder.problem + QStringLiteral(" The update does not start without its lock.");
        fix_ = QStringLiteral("set XDG_RUNTIME_DIR to a folder of your own that nobody else may use (mode 700), then "
                              "try again.");
        return false;
    }
    const QString path = folder.path + QStringLiteral("/vireon-surface-") + surfaceLockKey(serial, devicePath) +
                         QStringLiteral(".lock");
    auto lock = std::make_unique<QLockFile>(path);
    // An update keeps its lock however long it takes.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        lock_ = std::move(lock);
        return true;
    }
    if (lock->error() != QLockFile::LockFailedError) {
        setupProblem_ = true;
        problem_ = QStringLiteral("The surface's lock %1 cannot be made (%2). The update does not start without it.")
                       .arg(path, lock->error() == QLockFile::PermissionError ? QStringLiteral("permission denied")
                                                                               : QStringLiteral("the system refused it"));
        fix_ = QStringLiteral("make sure %1 is a folder you may write to, then try again.").arg(folder.path);
        return false;
    }
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
    setupProblem_ = false;
    fix_.clear();
}

} // namespace vireon::core
