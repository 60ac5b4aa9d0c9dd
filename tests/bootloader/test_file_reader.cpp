// Firmware file reader: header and row lines, line reading from real files.
#include "cybtldr_command.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Row {
    uint8_t array = 0xEE;
    uint16_t row = 0xEEEE;
    uint16_t size = 0xEEEE;
    uint8_t checksum = 0xEE;
    uint8_t data[LINE_BUFFER_SIZE] = {};
    int parse(std::string line)
    {
        return CyBtldr_ParseRowData(static_cast<uint32_t>(line.size()), reinterpret_cast<uint8_t *>(line.data()), &array,
                                    &row, data, &size, &checksum);
    }
    bool untouched() const { return array == 0xEE && row == 0xEEEE && size == 0xEEEE && checksum == 0xEE; }
};

int parseHeader(std::string line, uint32_t &id, uint8_t &rev, uint8_t &kind)
{
    return CyBtldr_ParseHeader(static_cast<uint32_t>(line.size()), reinterpret_cast<uint8_t *>(line.data()), &id, &rev,
                               &kind);
}

// Every read of the file: (result, reported length), up to the first nonzero result.
std::vector<std::pair<int, uint32_t>> readAll(const std::string &path, std::vector<std::string> *lines = nullptr)
{
    std::vector<std::pair<int, uint32_t>> reads;
    if (CyBtldr_OpenDataFile(path.c_str()) != 0)
        return reads;
    char buffer[LINE_BUFFER_SIZE];
    for (;;) {
        uint32_t size = 0xFFFF;
        const int err = CyBtldr_ReadLine(&size, buffer);
        reads.emplace_back(err, size);
        if (err != 0)
            break;
        if (lines != nullptr)
            lines->emplace_back(buffer, size);
    }
    EXPECT_EQ(0, CyBtldr_CloseDataFile());
    return reads;
}

using Reads = std::vector<std::pair<int, uint32_t>>;

} // namespace

TEST(FileHeader, FieldsChecksumKindAndShortLines)
{
    uint32_t id = 0;
    uint8_t rev = 0, kind = 0x77;
    ASSERT_EQ(0, parseHeader("1234567802", id, rev, kind));
    EXPECT_EQ(0x12345678u, id);
    EXPECT_EQ(2, rev);
    EXPECT_EQ(0x77, kind); // no checksum byte: the caller's value stays
    ASSERT_EQ(0, parseHeader("123456780201", id, rev, kind));
    EXPECT_EQ(1, kind);
    ASSERT_EQ(0, parseHeader("12g4567803FFABCD", id, rev, kind)); // a non-hex digit counts as 0
    EXPECT_EQ(0x12045678u, id);
    EXPECT_EQ(3, rev);
    EXPECT_EQ(0xFF, kind);
    id = 0;
    EXPECT_EQ(3, parseHeader("123456780", id, rev, kind));
    EXPECT_EQ(3, parseHeader("12345678", id, rev, kind));
    EXPECT_EQ(3, parseHeader("", id, rev, kind));
    EXPECT_EQ(0u, id);
}

TEST(FileRow, FieldsOfAWellFormedLine)
{
    Row r;
    ASSERT_EQ(0, r.parse(":00001000040102030405"));
    EXPECT_EQ(4, r.size);
    EXPECT_EQ(0, r.array);
    EXPECT_EQ(0x0010, r.row);
    EXPECT_EQ(0x05, r.checksum);
    EXPECT_EQ(0, std::memcmp(r.data, "\x01\x02\x03\x04", 4));
    Row lower;
    ASSERT_EQ(0, lower.parse(":0A00FF0004A1B2C3D4E5"));
    Row upper;
    ASSERT_EQ(0, upper.parse(":0a00ff0004a1b2c3d4e5"));
    EXPECT_EQ(0x0A, lower.array);
    EXPECT_EQ(0x00FF, lower.row);
    EXPECT_EQ(0xE5, lower.checksum);
    EXPECT_EQ(0, std::memcmp(lower.data, upper.data, 4));
    EXPECT_EQ(lower.checksum, upper.checksum);
}

TEST(FileRow, MalformedLines)
{
    struct Case {
        const char *line;
        int result;
        bool fieldsWritten;
    };
    const Case cases[] = {
        {"", 3, false},
        {":0000", 3, false},
        {":00010", 3, false},
        {":000100", 3, false},         // 3 bytes: too few for the fields
        {":0001000000", 3, false},     // 5 bytes
        {":000010000401020304050", 3, false}, // odd digit count after ':'
        {"1234567802", 5, false},      // a second header line
        {"x00001000040102030405", 5, false},
        {":00001000050102030405", 4, true}, // length field one too large
        {":00001000030102030405", 4, true}, // length field one too small
    };
    for (const Case &c : cases) {
        Row r;
        EXPECT_EQ(c.result, r.parse(c.line)) << c.line;
        EXPECT_EQ(!c.fieldsWritten, r.untouched()) << c.line;
    }
    Row empty;
    EXPECT_EQ(0, empty.parse(":00001000000F")); // a row without data bytes is well formed
    EXPECT_EQ(0, empty.size);
}

TEST(FileLines, LineEndsAndTheEndOfTheFile)
{
    vireon::test::TempDir dir;
    const std::string row = ":00001000040102030405";
    const Reads expected{{0, 10}, {0, 21}, {2, 0}};
    EXPECT_EQ(expected, readAll(dir.write("lf", "1234567802\n" + row + "\n")));
    EXPECT_EQ(expected, readAll(dir.write("crlf", "1234567802\r\n" + row + "\r\n")));
    EXPECT_EQ(expected, readAll(dir.write("crcrlf", "1234567802\r\r\n" + row + "\r\r\n")));
    // Without a line end after the last line the file still ends with 2.
    EXPECT_EQ(expected, readAll(dir.write("noeol", "1234567802\n" + row)));
    EXPECT_EQ((Reads{{2, 0}}), readAll(dir.write("empty", "")));
    EXPECT_EQ((Reads{{0, 10}, {0, 0}, {0, 21}, {2, 0}}), readAll(dir.write("blank", "1234567802\n\n" + row + "\n")));
    // Binary data: a NUL ends the reported line, nothing is read past the buffer.
    EXPECT_EQ((Reads{{0, 2}, {0, 3}, {2, 0}}), readAll(dir.write("nul", std::string("ab\0cd\n\xff\xfe\x01\n", 10))));

    std::vector<std::string> lines;
    EXPECT_EQ((Reads{{0, 767}, {0, 33}, {2, 0}}), readAll(dir.write("long", std::string(800, 'A') + "\n"), &lines));
    EXPECT_EQ(std::string(767, 'A'), lines.at(0));

    EXPECT_EQ(1, CyBtldr_OpenDataFile((dir.path() + "/missing").c_str()));
    EXPECT_EQ(1, CyBtldr_OpenDataFile(nullptr));
    char buffer[LINE_BUFFER_SIZE];
    uint32_t size = 99;
    EXPECT_EQ(1, CyBtldr_ReadLine(&size, buffer)); // nothing open
    EXPECT_EQ(0u, size);
    EXPECT_EQ(0, CyBtldr_CloseDataFile());
}

TEST(FileLines, ReadErrorInTheMiddleIsNotTheEnd)
{
    vireon::test::TempDir dir;
    std::string text = "1234567802\n";
    while (text.size() < 64 * 1024) // far more than the stream buffers at once
        text += ":00001000040102030405\n";
    const std::string path = dir.write("big", text);
    ASSERT_EQ(0, CyBtldr_OpenDataFile(path.c_str()));
    char buffer[LINE_BUFFER_SIZE];
    uint32_t size = 0;
    ASSERT_EQ(0, CyBtldr_ReadLine(&size, buffer));

    // Swap the stream's descriptor for a directory: its next refill fails.
    int streamFd = -1;
    char link[4096];
    for (int fd = 3; fd < 1024 && streamFd < 0; ++fd) {
        const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
        if (n > 0 && std::string(link, static_cast<size_t>(n)) == path)
            streamFd = fd;
    }
    ASSERT_GE(streamFd, 0);
    const int dirFd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dirFd, 0);
    ASSERT_EQ(streamFd, dup2(dirFd, streamFd));
    close(dirFd);

    int err = 0;
    int lines = 0;
    while ((err = CyBtldr_ReadLine(&size, buffer)) == 0)
        ++lines;
    EXPECT_EQ(1, err);
    EXPECT_LT(lines, 3000);
    EXPECT_EQ(0, CyBtldr_CloseDataFile());
}
