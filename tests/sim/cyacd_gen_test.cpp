// The firmware file generator: its text read back field by field, its row
// checksums against the device model, the tool and the committed example.
#include "cyacd_gen.h"
#include "wire.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

using namespace vireon;
using wire::Bytes;

namespace {

Bytes hexBytes(const std::string &hex)
{
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Lines ended by `end`, the last one included.
std::vector<std::string> splitLines(const std::string &text, const std::string &end)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
        lines.push_back(text.substr(start, at - start));
    EXPECT_EQ(start, text.size());
    return lines;
}

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

} // namespace

TEST(CyacdGenText, HeaderAndRowFields)
{
    tools::ImageSpec layout;
    layout.siliconId = 0x12345678;
    layout.siliconRev = 0x02;
    layout.checksumKind = 1;
    layout.arrayId = 1;
    layout.firstRow = 0x00FE;
    layout.rowCount = 3;
    layout.rowSize = 5;
    layout.lineEnd = "\r\n";
    const std::vector<std::string> lines = splitLines(tools::imageText(layout), "\r\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "12345678" "02" "01");

    const tools::Rows rows = tools::imageRows(layout);
    ASSERT_EQ(rows.size(), 3u);
    uint16_t expectRow = 0x00FE;
    for (size_t i = 1; i < lines.size(); ++i, ++expectRow) {
        ASSERT_EQ(lines[i][0], ':');
        ASSERT_EQ(lines[i].size(), tools::rowLineLength(layout));
        const Bytes b = hexBytes(lines[i].substr(1));
        EXPECT_EQ(b[0], 1);
        EXPECT_EQ(b[1] << 8 | b[2], expectRow); // big-endian row number
        EXPECT_EQ(b[3] << 8 | b[4], 5);         // big-endian length
        EXPECT_EQ(Bytes(b.begin() + 5, b.end() - 1), rows.at({1, expectRow}));
        uint8_t sum = 0;
        for (uint8_t x : b)
            sum = static_cast<uint8_t>(sum + x);
        EXPECT_EQ(sum, 0) << "row checksum byte completes the line's sum to zero";
    }

    layout.writeChecksumKind = false;
    layout.lineEnd = "\n";
    EXPECT_EQ(splitLines(tools::imageText(layout), "\n")[0], "1234567802");
    EXPECT_EQ(tools::targetFor(layout).checksum, sim::PacketChecksum::Sum);
    layout.firstRow = 0xFFFE; // rows stop at the last row number
    EXPECT_EQ(tools::imageRows(layout).size(), 2u);

    // Array 0, row 0x0010, length 4, data 01 02 03 04: the bytes sum to 0x1E.
    EXPECT_EQ(tools::fileRowChecksum(0, 0x0010, {1, 2, 3, 4}), 0xE2);
    // Both bytes of the row number and of the length count.
    EXPECT_EQ(tools::fileRowChecksum(0xFF, 0xFFFF, Bytes(0x101, 0)), 0x01);
}

TEST(CyacdGenAgreement, HostExpectationEqualsDeviceVerifyRow)
{
    std::vector<tools::ImageSpec> layouts(2);
    layouts[0].rowSize = 256;
    layouts[0].rowCount = 4;
    layouts[0].firstRow = 0x0100;
    layouts[1].siliconId = 0x56530002;
    layouts[1].checksumKind = 1;
    layouts[1].arrayId = 2;
    layouts[1].rowSize = 53;
    layouts[1].seed = 9;
    sim::Bootloader bl(tools::targetsFor(layouts)); // the second target expects the CRC

    for (size_t t = 0; t < layouts.size(); ++t) {
        ASSERT_EQ(wire::statusOf(wire::request(bl, sim::command::Enter)), 0);
        for (const auto &[key, data] : tools::imageRows(layouts[t])) {
            const auto [array, row] = key;
            ASSERT_EQ(wire::programRow(bl, array, row, data), 0);
            // What the host expects: the file's byte plus array, row and length bytes.
            const size_t len = data.size();
            const uint8_t expected = static_cast<uint8_t>(tools::fileRowChecksum(array, row, data) + array + (row & 0xFF) +
                                                          (row >> 8) + (len & 0xFF) + (len >> 8));
            EXPECT_EQ(wire::dataOf(wire::request(bl, sim::command::VerifyRow, {array, uint8_t(row), uint8_t(row >> 8)})),
                      wire::Bytes{expected});
        }
        EXPECT_EQ(wire::dataOf(wire::request(bl, sim::command::VerifyChecksum)), wire::Bytes{1});
        EXPECT_TRUE(wire::request(bl, sim::command::Exit, {0}).empty());
        bl.restart();
    }
    EXPECT_EQ(bl.flash(0), tools::imageRows(layouts[0]));
    EXPECT_EQ(bl.flash(1), tools::imageRows(layouts[1]));
}

TEST(CyacdGenFiles, ToolWritesTheCommittedExample)
{
    const std::string out = ::testing::TempDir() + "vireon-demo-check.cyacd";
    const std::string cmd = std::string("\"") + VIREON_CYACD_GEN + "\" --out \"" + out +
                            "\" --images 2 --rows 32 --row-size 256 --silicon-id 56530001,56530002 --rev 01"
                            " --checksum sum --seed 7";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_EQ(readFile(out), readFile(std::string(VIREON_EXAMPLES_DIR) + "/vireon-surface-demo.cyacd"));
    std::remove(out.c_str());

    EXPECT_FALSE(tools::writeFile(::testing::TempDir() + "no-such-dir/x.cyacd", {tools::ImageSpec{}}));
    EXPECT_NE(std::system((std::string("\"") + VIREON_CYACD_GEN + "\" --rows 70000 --out x 2>/dev/null").c_str()), 0);
}
