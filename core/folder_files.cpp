#include "folder_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vireon::core {

FileHandle::~FileHandle()
{
    if (fd_ >= 0)
        ::close(fd_);
}

FileHandle &FileHandle::operator=(FileHandle &&other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int FileHandle::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

QString fileKind(mode_t mode)
{
    switch (mode & S_IFMT) {
    case S_IFLNK:
        return QStringLiteral("a symbolic link");
    case S_IFIFO:
        return QStringLiteral("a named pipe (FIFO)");
    case S_IFSOCK:
        return QStringLiteral("a socket");
    case S_IFCHR:
        return QStringLiteral("a character device");
    case S_IFBLK:
        return QStringLiteral("a block device");
    case S_IFDIR:
        return QStringLiteral("a folder");
    case S_IFREG:
        return QStringLiteral("a regular file");
    default:
        return QStringLiteral("not a regular file");
    }
}

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString notRegular(const QString &path, mode_t mode)
{
    return QStringLiteral("%1 is %2, not a regular file.").arg(shown(path), fileKind(mode));
}

// The descriptor of a regular file, its non-blocking flag cleared; else the
// reason.
OpenedFile keepRegular(const QString &path, int fd)
{
    OpenedFile opened;
    FileHandle file(fd);
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        opened.error = errno;
        opened.problem = QStringLiteral("%1 cannot be examined: %2.").arg(shown(path), systemText(opened.error));
        return opened;
    }
    if (!S_ISREG(status.st_mode)) {
        opened.problem = notRegular(path, status.st_mode);
        opened.notRegular = true;
        opened.found = fileKind(status.st_mode);
        return opened;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    opened.file = std::move(file);
    return opened;
}

} // namespace

OpenedFile openRegularFile(const QString &path)
{
    OpenedFile opened;
    const QByteArray name = QFile::encodeName(path);
    struct stat status {};
    // A look first: opening a device node can act on the device.
    if (stat(name.constData(), &status) != 0) {
        opened.error = errno;
        opened.problem = systemText(opened.error);
        return opened;
    }
    if (!S_ISREG(status.st_mode)) {
        opened.problem = notRegular(path, status.st_mode);
        opened.notRegular = true;
        opened.found = fileKind(status.st_mode);
        return opened;
    }
    // Whatever the name holds by now, the open does not wait for a writer.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        opened.error = errno;
        opened.problem = systemText(opened.error);
        return opened;
    }
    return keepRegular(path, fd);
}

OpenedFile openForAppend(const QString &path)
{
    static const QString kNotWritten = QStringLiteral(" The updater does not write to it.");
    OpenedFile opened;
    const QByteArray name = QFile::encodeName(path);
    const int flags = O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    const int fd = ::open(name.constData(), flags, 0666);
    if (fd < 0) {
        const int error = errno;
        struct stat status {};
        if ((error == ELOOP || error == ENXIO || error == EISDIR) && lstat(name.constData(), &status) == 0 &&
            !S_ISREG(status.st_mode))
            opened.problem = notRegular(path, status.st_mode) + kNotWritten, opened.notRegular = true;
        else
            opened.problem = QStringLiteral("%1 cannot be written: %2.").arg(shown(path), systemText(error));
        return opened;
    }
    opened = keepRegular(path, fd);
    if (!opened.ok()) {
        opened.problem += kNotWritten;
        return opened;
    }
    // A second name for the file (a hard link someone made to a file of
    // theirs, or of the user's own elsewhere), or a file another user owns,
    // is not ours to append to.
    struct stat status {};
    if (fstat(opened.file.fd(), &status) == 0 && (status.st_nlink != 1 || status.st_uid != geteuid())) {
        opened.problem = status.st_nlink != 1
                             ? QStringLiteral("%1 has %2 names (hard links): it may be another file under this name.")
                                   .arg(shown(path))
                                   .arg(status.st_nlink)
                             : QStringLiteral("%1 belongs to the user %2, not to you.").arg(shown(path), userName(status.st_uid));
        opened.problem += kNotWritten;
        opened.file = FileHandle();
    }
    return opened;
}

QString appendProblem(const QString &path)
{
    return openForAppend(path).problem;
}

ReplacedFile replaceFile(const QString &path, const QByteArray &bytes)
{
    ReplacedFile replaced;
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    if (lstat(name.constData(), &before) == 0) {
        if (S_ISDIR(before.st_mode)) {
            replaced.problem = QStringLiteral("%1 is a folder, not a file.").arg(shown(path));
            return replaced;
        }
        if (!S_ISREG(before.st_mode))
            replaced.found = fileKind(before.st_mode);
    }
    // mkstemp creates the file anew (O_EXCL: never through a link), for this
    // user alone.
    const QFileInfo info(path);
    QByteArray temporary = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()) + ".XXXXXX";
    FileHandle file(mkostemp(temporary.data(), O_CLOEXEC));
    if (!file.isOpen()) {
        replaced.problem = QStringLiteral("%1 cannot be written: %2.").arg(shown(path), systemText(errno));
        return replaced;
    }
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t written = ::write(file.fd(), bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            replaced.problem = QStringLiteral("%1 cannot be written: %2.").arg(shown(path), systemText(errno));
            ::unlink(temporary.constData());
            return replaced;
        }
        done += written;
    }
    // rename() replaces the name itself, whatever it held.
    if (::rename(temporary.constData(), name.constData()) != 0) {
        replaced.problem = QStringLiteral("%1 cannot be written: %2.").arg(shown(path), systemText(errno));
        ::unlink(temporary.constData());
        return replaced;
    }
    replaced.file = std::move(file);
    return replaced;
}

void removeIfSame(const QString &path, const FileHandle &file)
{
    if (!file.isOpen())
        return;
    const QByteArray name = QFile::encodeName(path);
    struct stat ours {}, there {};
    if (fstat(file.fd(), &ours) == 0 && lstat(name.constData(), &there) == 0 && ours.st_dev == there.st_dev &&
        ours.st_ino == there.st_ino)
        ::unlink(name.constData());
}

QString userName(uid_t uid)
{
    struct passwd entry {};
    struct passwd *found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return QStringLiteral("%1 (uid %2)").arg(QString::fromLocal8Bit(found->pw_name)).arg(uid);
    return QStringLiteral("uid %1").arg(uid);
}

QString foreignLockProblem(const QString &path, uid_t me)
{
    struct stat status {};
    if (lstat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    if (!S_ISREG(status.st_mode))
        return notRegular(path, status.st_mode);
    if (status.st_uid != me)
        return QStringLiteral("%1 belongs to the user %2, not to you.").arg(shown(path), userName(status.st_uid));
    return {};
}

bool readWhole(int fd, QByteArray *bytes, qint64 limit)
{
    bytes->clear();
    char piece[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, piece, sizeof piece, at);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        bytes->append(piece, static_cast<int>(got));
        at += got;
        if (bytes->size() > limit)
            return false;
    }
}

} // namespace vireon::core
