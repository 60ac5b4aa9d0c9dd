// Firmware file reader: header and row lines, line reading from real files.
// Line ends, and a last line without one, are proved by the actions, which
// program such files.
#include "cybtldr_command.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <tuple>

// The reader's open file, one of the host's process-wide variables.
extern "C" FILE *dataFile;

static uint8_t *bytes(std::string &text) { return reinterpret_cast<uint8_t *>(text.data()); }

TEST(FileHeader, FieldsChecksumKindAndShortLines)
{
    // (line, result, silicon id, revision, checksum kind)
    const std::tuple<std::string, int, uint32_t, uint8_t, uint8_t> cases[] = {
        {"1234567802", 0, 0x12345678, 2, 0x77}, // no checksum byte: the caller's value stays
        {"123456780201", 0, 0x12345678, 2, 1},
        {"12g4567803FFABCD", 0, 0x12045678, 3, 0xFF}, // a non-hex digit counts as 0
        {"123456780", 3, 0xEEEEEEEE, 0xEE, 0x77},
        {"12345678", 3, 0xEEEEEEEE, 0xEE, 0x77}, // 4 bytes, like any shorter line
    };
    for (auto [line, result, id, rev, kind] : cases) {
        uint32_t gotId = 0xEEEEEEEE;
        uint8_t gotRev = 0xEE, gotKind = 0x77;
        EXPECT_EQ(result, CyBtldr_ParseHeader(uint32_t(line.size()), bytes(line), &gotId, &gotRev, &gotKind)) << line;
        EXPECT_EQ((std::vector<uint32_t>{id, rev, kind}), (std::vector<uint32_t>{gotId, gotRev, gotKind})) << line;
    }
}

TEST(FileRow, FieldsOfWellFormedAndMalformedLines)
{
    const std::vector<int> untouched{0xEE, 0xEEEE, 0xEEEE, 0xEE};
    // (line, result, fields: array id, row, data length, checksum; data)
    const std::tuple<std::string, int, std::vector<int>, std::string> cases[] = {
        {":00001000040102030405", 0, {0, 0x0010, 4, 0x05}, "\x01\x02\x03\x04"},
        {":0A00FF0004A1B2C3D4E5", 0, {0x0A, 0x00FF, 4, 0xE5}, "\xA1\xB2\xC3\xD4"},
        {":0a00ff0004a1b2c3d4e5", 0, {0x0A, 0x00FF, 4, 0xE5}, "\xA1\xB2\xC3\xD4"},
        {":00001000000F", 0, {0, 0x0010, 0, 0x0F}, ""}, // a row without data bytes is well formed
        {":00001000050102030405", 4, {0, 0x0010, 5, 0x05}, ""}, // length field one too large
        {":00001000030102030405", 4, {0, 0x0010, 3, 0x05}, ""}, // length field one too small
        {":00010", 3, untouched, ""},                 // 6 characters, like any shorter line
        {":0001000000", 3, untouched, ""},            // 5 bytes: too few for the fields
        {":000010000401020304050", 3, untouched, ""}, // odd digit count after ':'
        {"x00001000040102030405", 5, untouched, ""},
    };
    for (auto [line, result, fields, data] : cases) {
        SCOPED_TRACE(line);
        uint8_t array = 0xEE, checksum = 0xEE, rowData[LINE_BUFFER_SIZE] = {};
        uint16_t row = 0xEEEE, size = 0xEEEE;
        const uint32_t length = uint32_t(line.size());
        EXPECT_EQ(result, CyBtldr_ParseRowData(length, bytes(line), &array, &row, rowData, &size, &checksum));
        EXPECT_EQ(fields, (std::vector<int>{array, row, size, checksum}));
        EXPECT_EQ(data, std::string(reinterpret_cast<char *>(rowData), data.size()));
    }
}

TEST(FileLines, BinaryLongLinesAndReadErrors)
{
    vireon::test::TempDir dir;
    char buffer[LINE_BUFFER_SIZE];
    uint32_t size = 99;
    EXPECT_EQ(BL_FILE_NOT_ACCESSIBLE, CyBtldr_OpenDataFile(nullptr));
    EXPECT_EQ(BL_FILE_NOT_ACCESSIBLE, CyBtldr_ReadLine(&size, buffer)); // nothing open
    EXPECT_EQ(0u, size);
    EXPECT_EQ(BL_SUCCESS, CyBtldr_CloseDataFile());

    // A NUL ends the reported line, nothing is read past the buffer; a line
    // over 767 characters comes in two reads.
    std::string text = std::string("ab\0cd\n\xff\xfe\x01\n", 10) + std::string(800, 'A') + "\n";
    ASSERT_EQ(BL_SUCCESS, CyBtldr_OpenDataFile(dir.write("lines", text).c_str()));
    for (const std::string &line : {std::string("ab"), std::string("\xff\xfe\x01"), std::string(767, 'A'),
                                    std::string(33, 'A')}) {
        ASSERT_EQ(BL_SUCCESS, CyBtldr_ReadLine(&size, buffer));
        EXPECT_EQ(line, std::string(buffer, size));
    }
    EXPECT_EQ(BL_END_OF_FILE, CyBtldr_ReadLine(&size, buffer));
    EXPECT_EQ(0u, size);
    EXPECT_EQ(BL_SUCCESS, CyBtldr_CloseDataFile());

    // A read error in the middle is not the end of the file.
    text = "1234567802\n";
    while (text.size() < 64 * 1024) // far more than the stream buffers at once
        text += ":00001000040102030405\n";
    ASSERT_EQ(BL_SUCCESS, CyBtldr_OpenDataFile(dir.write("big", text).c_str()));
    ASSERT_EQ(BL_SUCCESS, CyBtldr_ReadLine(&size, buffer));
    // Swap the stream's descriptor for a directory: its next refill fails.
    const int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirFd, 0);
    ASSERT_EQ(fileno(dataFile), dup2(dirFd, fileno(dataFile)));
    close(dirFd);
    int err = 0;
    while ((err = CyBtldr_ReadLine(&size, buffer)) == 0)
        continue;
    EXPECT_EQ(BL_FILE_NOT_ACCESSIBLE, err);
    EXPECT_EQ(BL_SUCCESS, CyBtldr_CloseDataFile());
}
