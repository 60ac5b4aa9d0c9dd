// Fuzzes the firmware file reader: the input is written to a file, read
// line by line, the first line parsed as the header and the others as rows.
#include "cybtldr_command.h"
#include "temp_dir.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const vireon::test::TempDir dir;
    const std::string path = dir.write("image.cyacd", std::string(reinterpret_cast<const char *>(data), size));
    if (CyBtldr_OpenDataFile(path.c_str()) != 0)
        std::abort();
    // Buffers of exactly the sizes the reader promises, so any overrun is caught.
    std::vector<char> line(LINE_BUFFER_SIZE);
    std::vector<uint8_t> rowData(LINE_BUFFER_SIZE);
    uint32_t length = 0, id = 0;
    uint8_t rev = 0, kind = 0, arrayId = 0, checksum = 0;
    uint16_t row = 0, rowSize = 0;
    int err = 0;
    for (bool header = true; (err = CyBtldr_ReadLine(&length, line.data())) == 0; header = false) {
        uint8_t *bytes = reinterpret_cast<uint8_t *>(line.data());
        if (length >= LINE_BUFFER_SIZE)
            std::abort();
        if (header)
            CyBtldr_ParseHeader(length, bytes, &id, &rev, &kind);
        else if (CyBtldr_ParseRowData(length, bytes, &arrayId, &row, rowData.data(), &rowSize, &checksum) == 0 &&
                 (uint32_t(rowSize) + 6) * 2 + 1 != length)
            std::abort(); // a row accepted with a length that does not fit its line
    }
    if (err != BL_END_OF_FILE || CyBtldr_CloseDataFile() != 0)
        std::abort(); // a regular file always ends with the end of the file

    // The raw input as one line held in a buffer of exactly its size.
    if (size < LINE_BUFFER_SIZE) {
        std::vector<uint8_t> exact(data, data + size);
        CyBtldr_ParseHeader(uint32_t(size), exact.data(), &id, &rev, &kind);
        CyBtldr_ParseRowData(uint32_t(size), exact.data(), &arrayId, &row, rowData.data(), &rowSize, &checksum);
    }
    return 0;
}
