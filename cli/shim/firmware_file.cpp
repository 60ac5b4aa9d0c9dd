#include "firmware_file.h"

#include "cybtldr_command.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <cstring>

namespace vireon::core {

SplitImages splitFirmwareFile(const QString &path)
{
    SplitImages split;
    QFile source(path);
    source.open(QIODevice::ReadOnly); // a file that cannot be opened reads as empty
    QTextStream in(&source);
    in.setCodec("UTF-8");
    bool first = false, second = false; // the image the lines now go to
    for (int number = 1; !in.atEnd(); ++number) {
        const QString line = in.readLine() + QStringLiteral("\n");
        if (!line.startsWith(QLatin1Char(':'))) {
            second = first || second;
            first = !second;
            int &begins = second ? split.firstLine2 : split.firstLine1;
            if (begins == 0)
                begins = number;
        }
        if (first)
            split.image1 += line;
        if (second)
            split.image2 += line;
    }
    return split;
}

QString temporaryImagePath(int image)
{
    return QDir::currentPath() + QStringLiteral("/vireonTemp%1.txt").arg(image);
}

bool writeImage(QFile &file, const QString &text)
{
    QTextStream out(&file);
    out << text;
    out.flush();
    return out.status() == QTextStream::Ok && file.flush();
}

WriteProblem writeImageFiles(const SplitImages &split, const QString &path1, const QString &path2)
{
    const QString *texts[2] = {&split.image1, &split.image2};
    const QString paths[2] = {path1, path2};
    for (int i = 0; i < 2; ++i) {
        QFile file(paths[i]);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Text | QIODevice::Truncate) || !writeImage(file, *texts[i]))
            return {paths[i], file.errorString()};
    }
    return {};
}

namespace {

// One line of an image as the bootloader host's reader hands it over.
struct ReadLine {
    int number = 0;        // within the image, from 1
    char text[LINE_BUFFER_SIZE];
    uint32_t size = 0;     // the reader's length of the line's content
    bool tooLong = false;  // longer than the reader takes
};

// What the image has shown so far.
struct ImageSoFar {
    int rows = 0;
};

// The one place that judges a line: the header (line 1) or a row. Null when
// the line is usable.
const char *lineProblem(ReadLine &line, ImageSoFar &image)
{
    auto *bytes = reinterpret_cast<uint8_t *>(line.text);
    if (line.number == 1) {
        if (line.tooLong)
            return "The header line is longer than the reader takes (767 characters).";
        uint32_t siliconId = 0;
        uint8_t siliconRev = 0, checksumKind = 0;
        if (CyBtldr_ParseHeader(line.size, bytes, &siliconId, &siliconRev, &checksumKind) == BL_SUCCESS)
            return nullptr;
        return line.size == 0 ? "The header line is empty." : "The header line is too short or has an odd number of digits.";
    }
    if (line.tooLong)
        return "The line is longer than the reader takes (767 characters).";
    uint8_t rowData[LINE_BUFFER_SIZE];
    uint8_t arrayId = 0, checksum = 0;
    uint16_t rowNum = 0, length = 0;
    const int parsed = CyBtldr_ParseRowData(line.size, bytes, &arrayId, &rowNum, rowData, &length, &checksum);
    if (parsed == BL_SUCCESS) {
        ++image.rows;
        // The row's bytes, its checksum byte included, add up to zero
        // (mod 256) when the row is intact.
        unsigned sum = arrayId + (rowNum >> 8) + (rowNum & 0xFF) + (length >> 8) + (length & 0xFF) + checksum;
        for (uint16_t i = 0; i < length; ++i)
            sum += rowData[i];
        return (sum & 0xFF) == 0 ? nullptr : "The row's checksum does not match its data.";
    }
    if (line.size == 0)
        return "The line is empty.";
    if (parsed == BL_COMMAND_NOT_RECOGNIZED)
        return "The line is not a row line (row lines begin with ':').";
    if (parsed == BL_BAD_FORM)
        return "The row's length field does not match the line.";
    return "The row line is too short or has an odd number of digits.";
}

FileProblem problem(int line, const char *reason)
{
    return {0, line, QString::fromUtf8(reason)};
}

} // namespace

FileProblem checkImageFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (CyBtldr_OpenDataFile(name.constData()) != BL_SUCCESS)
        return problem(0, "The temporary file cannot be read.");

    // The reader hands a line longer than its buffer over in pieces; only a
    // piece that ends in a line end finishes a line of the file.
    ReadLine line;
    bool lineEnded = true;
    auto read = [&]() {
        if (lineEnded)
            ++line.number;
        const int result = CyBtldr_ReadLine(&line.size, line.text);
        lineEnded = result != BL_SUCCESS || std::strchr(line.text, '\n') != nullptr;
        line.tooLong = !lineEnded && std::strlen(line.text) == LINE_BUFFER_SIZE - 1;
        return result;
    };

    FileProblem result;
    ImageSoFar image;
    if (read() != BL_SUCCESS) {
        result = problem(0, "The image is missing: the file holds fewer than two images.");
    } else if (const char *bad = lineProblem(line, image)) {
        result = problem(line.number, bad);
    } else {
        for (;;) {
            const int readResult = read();
            if (readResult == BL_END_OF_FILE)
                break;
            const char *bad = readResult != BL_SUCCESS ? "The file ends in the middle of a line." : lineProblem(line, image);
            if (bad != nullptr) {
                result = problem(line.number, bad);
                break;
            }
        }
        if (result.ok() && image.rows == 0)
            result = problem(0, "The image holds no rows.");
    }
    CyBtldr_CloseDataFile();
    return result;
}

FileProblem checkImageFiles(const SplitImages &split, const QString &path1, const QString &path2)
{
    const QString paths[2] = {path1, path2};
    const int firstLines[2] = {split.firstLine1, split.firstLine2};
    for (int i = 0; i < 2; ++i) {
        FileProblem found = checkImageFile(paths[i]);
        if (found.ok())
            continue;
        found.image = i + 1;
        found.line = found.line > 0 && firstLines[i] > 0 ? firstLines[i] + found.line - 1 : 0;
        return found;
    }
    return {};
}

} // namespace vireon::core
