#include "firmware_file.h"

#include "folder_files.h"
#include "image_lines.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace vireon::core {

namespace {

QByteArray digestOf(const QString &image)
{
    // The images go on disk in the locale's encoding.
    return QCryptographicHash::hash(image.toLocal8Bit(), QCryptographicHash::Sha256);
}

// A line that begins with a visible character other than ':' begins an
// image; empty lines, and lines begun by a blank or a control character,
// begin one too, but no firmware file holds them.
bool straysFrom(const QString &line)
{
    if (line.isEmpty())
        return true;
    const ushort first = line.at(0).unicode();
    return first <= ' ' || first >= 0x7F;
}

// The silicon id a header line names in its first eight hex digits; 0 when
// it names none.
uint32_t siliconIdOf(const QString &header)
{
    bool ok = false;
    const uint32_t id = header.left(8).toUInt(&ok, 16);
    return ok && header.size() >= 8 ? id : 0;
}

QString howItBegins(const QString &line)
{
    const QChar first = line.at(0);
    return first.unicode() < 0x80 ? detail::describeByte(static_cast<unsigned char>(first.unicode()))
                                  : QStringLiteral("'%1'").arg(first);
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
    QTextStream in(&bytes, QIODevice::ReadOnly);
    in.setCodec("UTF-8");
    bool first = false, second = false; // the image the lines now go to
    for (int number = 1; !in.atEnd(); ++number) {
        const QString text = in.readLine();
        split.lines = number;
        if (text.startsWith(QLatin1Char(':'))) {
            ++split.rowLines;
            split.rows1 += first ? 1 : 0;
            split.rows2 += second ? 1 : 0;
        } else {
            second = first || second;
            first = !second;
            int &begins = second ? split.firstLine2 : split.firstLine1;
            if (begins == 0) {
                begins = number;
                (second ? split.chip2 : split.chip1) = siliconIdOf(text);
            }
            if (!straysFrom(text)) {
                if (++split.headers <= 4)
                    split.firstHeaders << number;
            } else if (split.strayLine == 0) {
                split.strayLine = number;
                split.strayStart = text.isEmpty() ? QString() : howItBegins(text);
            }
        }
        const QString line = text + QStringLiteral("\n");
        if (first)
            split.image1 += line;
        if (second)
            split.image2 += line;
    }
    split.digest1 = digestOf(split.image1);
    split.digest2 = digestOf(split.image2);
    return split;
}

uint32_t imageSiliconId(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? siliconIdOf(QString::fromLatin1(file.readLine(64))) : 0;
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
    const detail::ImageFault fault = detail::checkImageBytes(file.readAll());
    if (fault.what.isEmpty())
        return {};
    if (fault.line > 0)
        return {0, fault.line, QStringLiteral("Line %1 of %2 %3.").arg(QString::number(fault.line), name, fault.what)};
    return {0, 0, QStringLiteral("%1 %2.").arg(name, fault.what)};
}

namespace {

QString count(int images)
{
    static const char *const words[] = {"no image", "one image", "two images", "three images", "four images"};
    return images < 5 ? QString::fromLatin1(words[images]) : QStringLiteral("%1 images").arg(images);
}

// The file as a whole, before its images are looked at.
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
    if (split.lines == 0)
        return QStringLiteral("This file is empty.");
    if (split.rowLines == 0)
        return QStringLiteral("This is not a firmware file: none of its lines is a row of firmware data "
                              "(a line beginning with ':').");
    if (split.strayLine > 0)
        return split.strayStart.isEmpty()
                   ? QStringLiteral("Line %1 of the file is empty.").arg(split.strayLine)
                   : QStringLiteral("Line %1 of the file begins with %2, not with ':' (a row) or a hex digit (a header).")
                         .arg(QString::number(split.strayLine), split.strayStart);
    if (split.headers != 2) {
        QStringList lines;
        for (int line : split.firstHeaders)
            lines << QString::number(line);
        if (split.headers > lines.size())
            lines << QStringLiteral("more");
        const QString where = lines.size() == 1 ? QStringLiteral(" (its header is line %1)").arg(lines.front())
                              : lines.size() > 1
                                  ? QStringLiteral(" (their headers are lines %1 and %2)")
                                        .arg(QStringList(lines.mid(0, lines.size() - 1)).join(QStringLiteral(", ")), lines.back())
                                  : QString();
        return QStringLiteral("This file holds %1%2; the surface takes two.").arg(count(split.headers), where);
    }
    return {};
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
    const int firstLines[2] = {split.firstLine1, split.firstLine2};
    const QByteArray *digests[2] = {&split.digest1, &split.digest2};
    for (int i = 0; i < 2; ++i) {
        const int image = i + 1;
        const QByteArray &bytes = *contents[i];
        if (QCryptographicHash::hash(bytes, QCryptographicHash::Sha256) != *digests[i])
            return {image, 0,
                    QStringLiteral("Image %1 in %2 has changed since the file was chosen.")
                        .arg(QString::number(image), QDir::toNativeSeparators(paths[i]))};
        const detail::ImageFault fault = detail::checkImageBytes(bytes);
        if (fault.what.isEmpty())
            continue;
        if (fault.line == 0)
            return {image, 0, QStringLiteral("Image %1 of the file %2.").arg(QString::number(image), fault.what)};
        const int line = firstLines[i] + fault.line - 1;
        return {image, line, QStringLiteral("Line %1 of the file (image %2) %3.")
                                         .arg(QString::number(line), QString::number(image), fault.what)};
    }
    return {};
}

} // namespace vireon::core
