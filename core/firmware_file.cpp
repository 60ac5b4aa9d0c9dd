#include "firmware_file.h"

#include "folder_files.h"
#include "firmware_rules.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vireon::core {

namespace {

QByteArray digestOf(const QString &image)
{
    // The images go on disk in the locale's encoding.
    return QCryptographicHash::hash(image.toLocal8Bit(), QCryptographicHash::Sha256);
}

} // namespace

SplitImages splitFirmwareFile(const QString &path)
{
    SplitImages split;
    split.size = QFileInfo(path).size();
    if (split.size > kMaxFirmwareFileSize)
        return split; // refused by its size alone, unread
    const OpenedFile source = openRegularFile(path);
    split.readError = source.problem; // a file that cannot be opened reads as empty
    split.notRegular = source.notRegular;
    // The file may grow after its size was taken: no more than the limit is read.
    QByteArray bytes;
    if (source.ok() && !readWhole(source.file.fd(), &bytes, kMaxFirmwareFileSize) &&
        bytes.size() <= kMaxFirmwareFileSize)
        split.readError = QStringLiteral("%1 could not be read to its end.").arg(QDir::toNativeSeparators(path));
    if (bytes.size() > kMaxFirmwareFileSize) {
        split.size = -1; // larger than the limit, by how much unknown
        return split;
    }
    split.bytes = bytes;
    // The rules share the lines out; the images keep the file's text.
    const engine::FirmwareSplit lines = engine::splitFirmware(std::string_view(bytes.constData(), size_t(bytes.size())));
    split.image1 = QString::fromUtf8(lines.images[0].data(), int(lines.images[0].size()));
    split.image2 = QString::fromUtf8(lines.images[1].data(), int(lines.images[1].size()));
    split.firstLine1 = lines.firstLines[0];
    split.firstLine2 = lines.firstLines[1];
    split.rows1 = lines.rows[0];
    split.rows2 = lines.rows[1];
    split.chip1 = lines.chips[0];
    split.chip2 = lines.chips[1];
    split.lines = lines.lines;
    split.rowLines = lines.rowLines;
    split.headers = lines.headers;
    split.firstHeaders = QVector<int>(lines.firstHeaders.begin(), lines.firstHeaders.end());
    split.strayLine = lines.strayLine;
    split.strayStart = QString::fromStdString(lines.strayStart);
    split.digest1 = digestOf(split.image1);
    split.digest2 = digestOf(split.image2);
    return split;
}

uint32_t imageSiliconId(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray header = file.readLine(64);
    return engine::splitFirmware(std::string_view(header.constData(), size_t(header.size()))).chips[0];
}

bool fileWasRead(const SplitImages &split)
{
    return split.readError.isEmpty() && split.size >= 0 && split.size <= kMaxFirmwareFileSize;
}

SplitImages withoutTexts(const SplitImages &split)
{
    SplitImages facts = split;
    facts.image1.clear();
    facts.image2.clear();
    return facts;
}

QString temporaryImagePath(int image)
{
    return QDir::currentPath() + QStringLiteral("/vireonTemp%1.txt").arg(image);
}

WriteProblem writeImageFiles(const SplitImages &split, const QString &path1, const QString &path2)
{
    const QString *texts[2] = {&split.image1, &split.image2};
    const QString paths[2] = {path1, path2};
    for (int i = 0; i < 2; ++i) {
        const ReplacedFile written = replaceFile(paths[i], texts[i]->toLocal8Bit());
        if (!written.ok())
            return {paths[i], written.problem};
    }
    return {};
}

FileProblem checkImageFile(const QString &path)
{
    QFile file(path);
    const QString name = QFileInfo(path).fileName();
    if (!file.open(QIODevice::ReadOnly))
        return {0, 0, QStringLiteral("%1 cannot be read (%2).").arg(name, file.errorString())};
    const QByteArray bytes = file.readAll();
    const engine::ImageFault fault = engine::checkImage(std::string_view(bytes.constData(), size_t(bytes.size())));
    const QString what = QString::fromStdString(fault.what);
    if (what.isEmpty())
        return {};
    if (fault.line > 0)
        return {0, fault.line, QStringLiteral("Line %1 of %2 %3.").arg(QString::number(fault.line), name, what)};
    return {0, 0, QStringLiteral("%1 %2.").arg(name, what)};
}

namespace {

// What only a read of the file can tell: its size, its kind, that it could
// be read; then the rules on its content.
QString wholeFileProblem(const SplitImages &split)
{
    if (split.size < 0)
        return QStringLiteral("This file is larger than %1 MiB; a firmware file for the surface is at most %1 MiB.")
            .arg(kMaxFirmwareFileSize / (1024 * 1024));
    if (split.size > kMaxFirmwareFileSize)
        return QStringLiteral("This file is %1 MiB (%2 bytes); a firmware file for the surface is at most %3 MiB.")
            .arg(static_cast<double>(split.size) / (1024 * 1024), 0, 'f', 1)
            .arg(split.size)
            .arg(kMaxFirmwareFileSize / (1024 * 1024));
    if (split.notRegular)
        return QStringLiteral("%1 Only a regular file is read as firmware.").arg(split.readError);
    if (!split.readError.isEmpty())
        return QStringLiteral("The chosen file can no longer be read (%1).").arg(split.readError);
    return {};
}

// The rules' view of the split, for their check.
engine::FirmwareSplit linesOf(const SplitImages &split)
{
    engine::FirmwareSplit lines;
    lines.firstLines[0] = split.firstLine1;
    lines.firstLines[1] = split.firstLine2;
    lines.lines = split.lines;
    lines.rowLines = split.rowLines;
    lines.headers = split.headers;
    lines.firstHeaders.assign(split.firstHeaders.begin(), split.firstHeaders.end());
    lines.strayLine = split.strayLine;
    lines.strayStart = split.strayStart.toStdString();
    return lines;
}

} // namespace

FileProblem checkImageFiles(const SplitImages &split, const QString &path1, const QString &path2)
{
    if (const QString whole = wholeFileProblem(split); !whole.isEmpty())
        return {0, split.strayLine, whole};
    const QString paths[2] = {path1, path2};
    QByteArray bytes[2];
    for (int i = 0; i < 2; ++i) {
        QFile file(paths[i]);
        if (!file.open(QIODevice::ReadOnly))
            return {i + 1, 0,
                    QStringLiteral("Image %1 cannot be read back from %2 (%3).")
                        .arg(QString::number(i + 1), QDir::toNativeSeparators(paths[i]), file.errorString())};
        bytes[i] = file.readAll();
    }
    return checkImageBytes(split, bytes[0], bytes[1], path1, path2);
}

FileProblem checkImageBytes(const SplitImages &split, const QByteArray &bytes1, const QByteArray &bytes2,
                            const QString &path1, const QString &path2)
{
    if (const QString whole = wholeFileProblem(split); !whole.isEmpty())
        return {0, split.strayLine, whole};
    const QString paths[2] = {path1, path2};
    const QByteArray *contents[2] = {&bytes1, &bytes2};
    const QByteArray *digests[2] = {&split.digest1, &split.digest2};
    const engine::FirmwareSplit lines = linesOf(split);
    // The images as written must be the ones split, or the rules would judge
    // other bytes than those programmed.
    for (int i = 0; lines.rowLines > 0 && lines.strayLine == 0 && lines.headers == 2 && i < 2; ++i)
        if (QCryptographicHash::hash(*contents[i], QCryptographicHash::Sha256) != *digests[i])
            return {i + 1, 0,
                    QStringLiteral("Image %1 in %2 has changed since the file was chosen.")
                        .arg(QString::number(i + 1), QDir::toNativeSeparators(paths[i]))};
    const engine::FileVerdict verdict =
        engine::checkImages(lines, std::string_view(bytes1.constData(), size_t(bytes1.size())),
                            std::string_view(bytes2.constData(), size_t(bytes2.size())));
    return {verdict.image, verdict.line, QString::fromStdString(verdict.reason)};
}

} // namespace vireon::core
