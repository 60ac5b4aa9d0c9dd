#include "temporary_images.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vireon::core {

namespace {

// A file in memory holding `bytes`, sealed: from here on no descriptor,
// ours included, can write, grow or shrink it, nor lift the seals. An
// invalid handle when the system cannot make one (errno says why).
FileHandle sealedCopy(const QByteArray &bytes, int image)
{
    FileHandle file(memfd_create(image == 1 ? "vireon-image-1" : "vireon-image-2", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!file.isOpen())
        return file;
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t written = ::write(file.fd(), bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return FileHandle();
        done += written;
    }
    if (fcntl(file.fd(), F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) != 0)
        return FileHandle();
    return file;
}

bool sameFile(const FileHandle &file, const QString &path)
{
    struct stat ours {}, there {};
    return fstat(file.fd(), &ours) == 0 && lstat(QFile::encodeName(path).constData(), &there) == 0 &&
           ours.st_dev == there.st_dev && ours.st_ino == there.st_ino;
}

// A failure about image `image` at `path`.
Failure aboutImage(Failure::Kind kind, int image, const QString &path, const QString &reason)
{
    Failure out = failure(kind, reason, path);
    out.image = image;
    return out;
}

} // namespace

Failure TemporaryImages::write(const SplitImages &split, const QString &path1, const QString &path2)
{
    remove();
    const QString *texts[2] = {&split.image1, &split.image2};
    const QString paths[2] = {path1, path2};
    for (int i = 0; i < 2; ++i) {
        const QByteArray bytes = texts[i]->toLocal8Bit();
        ReplacedFile written = replaceFile(paths[i], bytes);
        if (!written.ok()) {
            remove();
            return written.failure;
        }
        if (!written.found.isEmpty())
            oddFiles_ << QStringLiteral("%1 was %2; it was replaced by the image, and what it pointed to was left "
                                        "alone.")
                             .arg(QDir::toNativeSeparators(paths[i]), written.found);
        FileHandle sealed = sealedCopy(bytes, i + 1);
        if (!sealed.isOpen()) {
            const int error = errno;
            remove();
            Failure unkept = aboutImage(Failure::Kind::Setup, i + 1, paths[i],
                                        QStringLiteral("image %1 cannot be kept in memory: %2.")
                                            .arg(i + 1)
                                            .arg(QString::fromLocal8Bit(std::strerror(error))));
            unkept.error = error;
            return unkept;
        }
        files_[i] = std::move(written.file);
        sealed_[i] = std::move(sealed);
        paths_[i] = paths[i];
        digests_[i] = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    }
    return {};
}

Failure TemporaryImages::read(int image, QByteArray *bytes) const
{
    const int i = image - 1;
    const QString name = QDir::toNativeSeparators(paths_[i]);
    if (!files_[i].isOpen())
        return aboutImage(Failure::Kind::Missing, image, paths_[i], QStringLiteral("Image %1 was not written.").arg(image));
    if (!sameFile(files_[i], paths_[i]))
        return aboutImage(Failure::Kind::Changed, image, paths_[i],
                          QStringLiteral("%1 was replaced or removed after the file was checked: image %2 is not the "
                                         "one checked.")
                              .arg(name)
                              .arg(image));
    if (!readWhole(files_[i].fd(), bytes, engine::kMaxFirmwareFileSize))
        return aboutImage(Failure::Kind::Unreadable, image, paths_[i],
                          QStringLiteral("Image %1 cannot be read back from %2.").arg(QString::number(image), name));
    return {};
}

Failure TemporaryImages::check(const SplitImages &split) const
{
    QByteArray bytes[2];
    for (int image = 1; image <= 2; ++image)
        if (const Failure problem = read(image, &bytes[image - 1]); !problem.ok())
            return problem;
    return checkImageBytes(split, bytes[0], bytes[1], paths_[0], paths_[1]);
}

Failure TemporaryImages::unchanged(int image) const
{
    QByteArray bytes;
    if (const Failure problem = read(image, &bytes); !problem.ok())
        return problem;
    if (QCryptographicHash::hash(bytes, QCryptographicHash::Sha256) != digests_[image - 1])
        return aboutImage(Failure::Kind::Changed, image, paths_[image - 1],
                          QStringLiteral("Image %1 in %2 has changed since the file was chosen.")
                              .arg(QString::number(image), QDir::toNativeSeparators(paths_[image - 1])));
    return {};
}

QByteArray TemporaryImages::hostPath(int image) const
{
    return QByteArray("/proc/self/fd/") + QByteArray::number(sealed_[image - 1].fd());
}

void TemporaryImages::remove()
{
    for (int i = 0; i < 2; ++i) {
        removeIfSame(paths_[i], files_[i]);
        files_[i] = FileHandle();
        sealed_[i] = FileHandle();
        paths_[i].clear();
        digests_[i].clear();
    }
    oddFiles_.clear();
}

namespace {

const QString kRunMark = QStringLiteral(".vireon-flash-process");

// The process's start time in clock ticks since boot (field 22 of its
// stat), which tells it from a later process given the same id; empty when
// there is no such process.
QByteArray processStart(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    // The name in parentheses may hold spaces: fields are counted after it.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 19 ? fields[19] : QByteArray();
}

} // namespace

void markAndSweepRunFolders(const QString &runFolder)
{
    if (runFolder.isEmpty())
        return; // no folder was made: nothing to mark beside
    const qint64 me = QCoreApplication::applicationPid();
    QFile mark(QDir(runFolder).filePath(kRunMark));
    if (mark.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        mark.write(QByteArray::number(me) + ' ' + processStart(me) + '\n');
    mark.close();
    QDir parent = QFileInfo(runFolder).dir();
    const QStringList names = parent.entryList({QStringLiteral("vireon-flash-??????")}, QDir::Dirs | QDir::Hidden);
    for (const QString &name : names) {
        const QString folder = parent.filePath(name);
        struct stat status {};
        if (folder == runFolder || lstat(QFile::encodeName(folder).constData(), &status) != 0 ||
            !S_ISDIR(status.st_mode) || status.st_uid != geteuid())
            continue;
        QFile other(QDir(folder).filePath(kRunMark));
        if (!other.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> marked = other.readAll().trimmed().split(' ');
        bool number = false;
        const qint64 pid = marked.value(0).toLongLong(&number);
        if (!number || marked.size() != 2 || (pid > 0 && processStart(pid) == marked[1]))
            continue;
        QDir(folder).removeRecursively();
    }
}

} // namespace vireon::core
