#include "imagecheck.h"

#include "cybtldr_command.h"

#include <QFile>

#include <cstring>

namespace {

ImageCheck bad(int line, const char *problem)
{
    ImageCheck check;
    check.line = line;
    check.problem = QString::fromUtf8(problem);
    return check;
}

} // namespace

ImageCheck checkImageFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (CyBtldr_OpenDataFile(name.constData()) != BL_SUCCESS)
        return bad(0, "The temporary file cannot be read.");

    char buffer[LINE_BUFFER_SIZE];
    uint8_t rowData[LINE_BUFFER_SIZE];
    uint32_t size = 0;
    // The reader hands a line longer than its buffer over in pieces; only a
    // piece that ends in a line end finishes a line of the file.
    int line = 0;
    bool lineEnded = true;
    bool tooLong = false;
    auto read = [&]() {
        if (lineEnded)
            ++line;
        const int result = CyBtldr_ReadLine(&size, buffer);
        lineEnded = result != BL_SUCCESS || std::strchr(buffer, '\n') != nullptr;
        tooLong = !lineEnded && std::strlen(buffer) == LINE_BUFFER_SIZE - 1;
        return result;
    };
    ImageCheck result;

    if (read() != BL_SUCCESS) {
        result = bad(0, "The image is missing: the file holds fewer than two images.");
    } else if (tooLong) {
        result = bad(line, "The header line is longer than the reader takes (767 characters).");
    } else {
        uint32_t siliconId = 0;
        uint8_t siliconRev = 0;
        uint8_t checksumKind = 0;
        if (CyBtldr_ParseHeader(size, reinterpret_cast<uint8_t *>(buffer), &siliconId, &siliconRev, &checksumKind) !=
            BL_SUCCESS) {
            result = bad(line, size == 0 ? "The header line is empty."
                                         : "The header line is too short or has an odd number of digits.");
        } else {
            int rows = 0;
            result.ok = true;
            while (result.ok) {
                const int readResult = read();
                if (readResult == BL_END_OF_FILE)
                    break;
                if (readResult != BL_SUCCESS) {
                    result = bad(line, "The file ends in the middle of a line.");
                    break;
                }
                if (tooLong) {
                    result = bad(line, "The line is longer than the reader takes (767 characters).");
                    break;
                }
                uint8_t arrayId = 0;
                uint16_t rowNum = 0;
                uint16_t length = 0;
                uint8_t checksum = 0;
                const int parsed = CyBtldr_ParseRowData(size, reinterpret_cast<uint8_t *>(buffer), &arrayId, &rowNum,
                                                        rowData, &length, &checksum);
                if (parsed == BL_SUCCESS) {
                    // The row's bytes, its checksum byte included, add up to
                    // zero (mod 256) when the row is intact.
                    unsigned sum = arrayId + (rowNum >> 8) + (rowNum & 0xFF) + (length >> 8) + (length & 0xFF) +
                                   checksum;
                    for (uint16_t i = 0; i < length; ++i)
                        sum += rowData[i];
                    if ((sum & 0xFF) != 0)
                        result = bad(line, "The row's checksum does not match its data.");
                    ++rows;
                } else if (size == 0) {
                    result = bad(line, "The line is empty.");
                } else if (parsed == BL_COMMAND_NOT_RECOGNIZED) {
                    result = bad(line, "The line is not a row line (row lines begin with ':').");
                } else if (parsed == BL_BAD_FORM) {
                    result = bad(line, "The row's length field does not match the line.");
                } else {
                    result = bad(line, "The row line is too short or has an odd number of digits.");
                }
            }
            if (result.ok && rows == 0)
                result = bad(0, "The image holds no rows.");
        }
    }
    CyBtldr_CloseDataFile();
    return result;
}
