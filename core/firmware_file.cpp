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
    if (split.size > engine::kMaxFirmwareFileSize)
        return split; // refused by its size alone, unread
    const OpenedFile source = openRegularFile(path);
    split.read = source.failure; // a file that cannot be opened reads as empty
    // The file may grow after its size was taken: no more than the limit is read.
    QByteArray bytes;
    if (source.ok() && !readWhole(source.file.fd(), &bytes, engine::kMaxFirmwareFileSize) &&
        bytes.size() <= engine::kMaxFirmwareFileSize)
        split.read = failure(Failure::Kind::Unreadable,
                             QStringLiteral("%1 could not be read to its end.").arg(QDir::toNativeSeparators(path)), path);
    if (bytes.size() > engine::kMaxFirmwareFileSize) {
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
    return split.read.ok() && split.size >= 0 && split.size <= engine::kMaxFirmwareFileSize;
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

Failure writeImageFiles(const SplitImages &split, const QString &path1, const QString &path2)
{
    const QString *texts[2] = {&split.image1, &split.image2};
    const QString paths[2] = {path1, path2};
    for (int i = 0; i < 2; ++i) {
        const ReplacedFile written = replaceFile(paths[i], texts[i]->toLocal8Bit());
        if (!written.ok())
            return written.failure;
    }
    return {};
}

namespace {

// What only a read of the file can tell: its size, its kind, that it could
// be read; then the rules on its content.
Failure wholeFileProblem(const SplitImages &split)
{
    if (const std::string tooLarge = engine::sizeProblem(split.size); !tooLarge.empty())
        return failure(Failure::Kind::TooLarge, QString::fromStdString(tooLarge));
    if (split.read.kind == Failure::Kind::NotRegular)
        return failure(Failure::Kind::NotRegular,
                       QStringLiteral("%1 Only a regular file is read as firmware.").arg(split.read.reason));
    if (!split.read.ok())
        return failure(split.read.kind, QStringLiteral("The chosen file can no longer be read (%1).").arg(split.read.reason));
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

Failure checkImageFiles(const SplitImages &split, const QString &path1, const QString &path2)
{
    if (const Failure whole = wholeFileProblem(split); !whole.ok())
        return whole;
    const QString paths[2] = {path1, path2};
    QByteArray bytes[2];
    for (int i = 0; i < 2; ++i) {
        QFile file(paths[i]);
        if (!file.open(QIODevice::ReadOnly)) {
            Failure unread = failure(Failure::Kind::Unreadable,
                                     QStringLiteral("Image %1 cannot be read back from %2 (%3).")
                                         .arg(QString::number(i + 1), QDir::toNativeSeparators(paths[i]), file.errorString()),
                                     paths[i]);
            unread.image = i + 1;
            return unread;
        }
        bytes[i] = file.readAll();
    }
    return checkImageBytes(split, bytes[0], bytes[1], path1, path2);
}

Failure checkImageBytes(const SplitImages &split, const QByteArray &bytes1, const QByteArray &bytes2,
                        const QString &path1, const QString &path2)
{
    if (const Failure whole = wholeFileProblem(split); !whole.ok())
        return whole;
    const QString paths[2] = {path1, path2};
    const QByteArray *contents[2] = {&bytes1, &bytes2};
    const QByteArray *digests[2] = {&split.digest1, &split.digest2};
    const engine::FirmwareSplit lines = linesOf(split);
    // The images as written must be the ones split, or the rules would judge
    // other bytes than those programmed.
    for (int i = 0; lines.rowLines > 0 && lines.strayLine == 0 && lines.headers == 2 && i < 2; ++i)
        if (QCryptographicHash::hash(*contents[i], QCryptographicHash::Sha256) != *digests[i]) {
            Failure changed = failure(Failure::Kind::Changed,
                                      QStringLiteral("Image %1 in %2 has changed since the file was chosen.")
                                          .arg(QString::number(i + 1), QDir::toNativeSeparators(paths[i])),
                                      paths[i]);
            changed.image = i + 1;
            return changed;
        }
    const engine::FileVerdict verdict =
        engine::checkImages(lines, std::string_view(bytes1.constData(), size_t(bytes1.size())),
                            std::string_view(bytes2.constData(), size_t(bytes2.size())));
    if (verdict.ok())
        return {};
    Failure refused = failure(Failure::Kind::Refused, QString::fromStdString(verdict.reason));
    refused.image = verdict.image;
    refused.line = verdict.line;
    return refused;
}

} // namespace vireon::core
