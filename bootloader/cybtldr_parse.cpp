// Firmware file reader: one image in the .cyacd text format, a header line
// followed by one ':' line per flash row.
#include "cybtldr_command.h"

#include <stdio.h>
#include <string.h>

namespace {

// Bytes a header must hold, and the bytes needed for the checksum kind.
const uint32_t LENGTH_ID = 5;
const uint32_t LENGTH_CHKSUM = LENGTH_ID + 1;
// A row line: array id, row number, data length, data, checksum.
const uint32_t MIN_SIZE = 6;
const uint32_t DATA_OFFSET = 5;

} // namespace

extern "C" {

FILE *dataFile = nullptr;

uint8_t CyBtldr_FromHex(char value)
{
    if (value >= '0' && value <= '9')
        return static_cast<uint8_t>(value - '0');
    if (value >= 'a' && value <= 'f')
        return static_cast<uint8_t>(10 + value - 'a');
    if (value >= 'A' && value <= 'F')
        return static_cast<uint8_t>(10 + value - 'A');
    return 0;
}

int CyBtldr_FromAscii(uint32_t bufSize, uint8_t *buffer, uint16_t *rowSize, uint8_t *rowData)
{
    if (bufSize & 1)
        return BL_LENGTH_OUT_OF_RANGE;
    for (uint32_t i = 0; i < bufSize / 2; ++i)
        rowData[i] = static_cast<uint8_t>((CyBtldr_FromHex(static_cast<char>(buffer[2 * i])) << 4) |
                                          CyBtldr_FromHex(static_cast<char>(buffer[2 * i + 1])));
    *rowSize = static_cast<uint16_t>(bufSize / 2);
    return BL_SUCCESS;
}

int CyBtldr_OpenDataFile(const char *file)
{
    if (file == nullptr)
        return BL_FILE_NOT_ACCESSIBLE;
    FILE *f = fopen(file, "r");
    if (f == nullptr)
        return BL_FILE_NOT_ACCESSIBLE;
    dataFile = f;
    return BL_SUCCESS;
}

int CyBtldr_ReadLine(uint32_t *size, char *buffer)
{
    if (dataFile == nullptr) {
        *size = 0;
        return BL_FILE_NOT_ACCESSIBLE;
    }
    // A file whose last line has no line end has its end-of-file indicator
    // set by the read that returned that line; the next read still reports
    // the end of the file like for any other file.
    if (fgets(buffer, LINE_BUFFER_SIZE, dataFile) == nullptr) {
        *size = 0;
        // A failing read is not the end of the file.
        return ferror(dataFile) ? BL_FILE_NOT_ACCESSIBLE : BL_END_OF_FILE;
    }
    size_t len = strlen(buffer);
    while (len > 0 && (buffer[len - 1] == '\n' || buffer[len - 1] == '\r'))
        --len;
    *size = static_cast<uint32_t>(len);
    return BL_SUCCESS;
}

int CyBtldr_ParseHeader(uint32_t bufSize, uint8_t *buffer, uint32_t *siliconId, uint8_t *siliconRev, uint8_t *chksum)
{
    // One read never gives more than LINE_BUFFER_SIZE - 1 characters.
    if (bufSize >= LINE_BUFFER_SIZE)
        return BL_LENGTH_OUT_OF_RANGE;
    uint8_t rowData[LINE_BUFFER_SIZE];
    uint16_t rowSize = 0;
    const int err = CyBtldr_FromAscii(bufSize, buffer, &rowSize, rowData);
    if (err != BL_SUCCESS)
        return err;
    if (rowSize >= LENGTH_CHKSUM)
        *chksum = rowData[5];
    if (rowSize < LENGTH_ID)
        return BL_LENGTH_OUT_OF_RANGE;
    *siliconId = (static_cast<uint32_t>(rowData[0]) << 24) | (static_cast<uint32_t>(rowData[1]) << 16) |
                 (static_cast<uint32_t>(rowData[2]) << 8) | rowData[3];
    *siliconRev = rowData[4];
    return BL_SUCCESS;
}

int CyBtldr_ParseRowData(uint32_t bufSize, uint8_t *buffer, uint8_t *arrayId, uint16_t *rowNum, uint8_t *rowData,
                         uint16_t *size, uint8_t *checksum)
{
    if (bufSize <= MIN_SIZE || bufSize >= LINE_BUFFER_SIZE)
        return BL_LENGTH_OUT_OF_RANGE;
    if (buffer[0] != ':')
        return BL_COMMAND_NOT_RECOGNIZED;
    uint8_t bytes[LINE_BUFFER_SIZE];
    uint16_t count = 0;
    const int err = CyBtldr_FromAscii(bufSize - 1, buffer + 1, &count, bytes);
    if (err != BL_SUCCESS)
        return err;
    // Too few bytes for the fields: nothing is taken from the line.
    if (count < MIN_SIZE)
        return BL_LENGTH_OUT_OF_RANGE;
    *arrayId = bytes[0];
    *rowNum = static_cast<uint16_t>((bytes[1] << 8) | bytes[2]);
    *size = static_cast<uint16_t>((bytes[3] << 8) | bytes[4]);
    *checksum = bytes[count - 1];
    if (static_cast<uint32_t>(*size) + MIN_SIZE != count)
        return BL_BAD_FORM;
    memcpy(rowData, bytes + DATA_OFFSET, *size);
    return BL_SUCCESS;
}

int CyBtldr_CloseDataFile(void)
{
    int err = BL_SUCCESS;
    if (dataFile != nullptr) {
        if (fclose(dataFile) != 0)
            err = BL_FILE_NOT_ACCESSIBLE;
        dataFile = nullptr;
    }
    return err;
}

} // extern "C"
