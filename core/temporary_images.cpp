#include "temporary_images.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace vireon::core {

namespace {

bool sameFile(const FileHandle &file, const QString &path)
{
    struct stat ours {}, there {};
    return fstat(file.fd(), &ours) == 0 && lstat(QFile::encodeName(path).constData(), &there) == 0 &&
           ours.st_dev == there.st_dev && ours.st_ino == there.st_ino;
}

} // namespace

WriteProblem TemporaryImages::write(const SplitImages &split, const QString &path1, const QString &path2)
{
    remove();
    const QString *texts[2] = {&split.image1, &split.image2};
    const QString paths[2] = {path1, path2};
    for (int i = 0; i < 2; ++i) {
        const QByteArray bytes = texts[i]->toLocal8Bit();
        ReplacedFile written = replaceFile(paths[i], bytes);
        if (!written.ok()) {
            remove();
            return {paths[i], written.problem};
        }
        if (!written.found.isEmpty())
            oddFiles_ << QStringLiteral("%1 was %2; it was replaced by the image, and what it pointed to was left "
                                        "alone.")
                             .arg(QDir::toNativeSeparators(paths[i]), written.found);
        files_[i] = std::move(written.file);
        paths_[i] = paths[i];
        digests_[i] = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
    }
    return {};
}

FileProblem TemporaryImages::read(int image, QByteArray *bytes) const
{
    const int i = image - 1;
    const QString name = QDir::toNativeSeparators(paths_[i]);
    if (!files_[i].isOpen())
        return {image, 0, QStringLiteral("Image %1 was not written.").arg(image)};
    if (!sameFile(files_[i], paths_[i]))
        return {image, 0,
                QStringLiteral("%1 was replaced or removed after the file was checked: image %2 is not the one "
                               "checked.")
                    .arg(name)
                    .arg(image)};
    if (!readWhole(files_[i].fd(), bytes, kMaxFirmwareFileSize))
        return {image, 0, QStringLiteral("Image %1 cannot be read back from %2.").arg(QString::number(image), name)};
    return {};
}

FileProblem TemporaryImages::check(const SplitImages &split) const
{
    QByteArray bytes[2];
    for (int image = 1; image <= 2; ++image)
        if (const FileProblem problem = read(image, &bytes[image - 1]); !problem.ok())
            return problem;
    return checkImageBytes(split, bytes[0], bytes[1], paths_[0], paths_[1]);
}

FileProblem TemporaryImages::unchanged(int image) const
{
    QByteArray bytes;
    if (const FileProblem problem = read(image, &bytes); !problem.ok())
        return problem;
    if (QCryptographicHash::hash(bytes, QCryptographicHash::Sha256) != digests_[image - 1])
        return {image, 0,
                QStringLiteral("Image %1 in %2 has changed since the file was chosen.")
                    .arg(QString::number(image), QDir::toNativeSeparators(paths_[image - 1]))};
    return {};
}

QByteArray TemporaryImages::hostPath(int image) const
{
    return QByteArray("/proc/self/fd/") + QByteArray::number(files_[image - 1].fd());
}

void TemporaryImages::remove()
{
    for (int i = 0; i < 2; ++i) {
        removeIfSame(paths_[i], files_[i]);
        files_[i] = FileHandle();
        paths_[i].clear();
        digests_[i].clear();
    }
    oddFiles_.clear();
}

} // namespace vireon::core
