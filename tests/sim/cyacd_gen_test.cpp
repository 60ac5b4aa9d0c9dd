// The firmware file generator: its text read back field by field, its row
// checksums against the device model, the tool and the committed example.
#include "cyacd_gen.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace vireon;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes hexBytes(const std::string &hex)
{
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<std::string> splitLines(const std::string &text, const std::string &end)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find(end, start)) != std::string::npos; start = at + end.size())
        lines.push_back(text.substr(start, at - start));
    EXPECT_EQ(start, text.size()) << "the last line has no line end";
    return lines;
}

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

} // namespace

TEST(CyacdGenText, HeaderAndRowFields)
{
    tools::ImageSpec spec;
    spec.siliconId = 0x12345678;
    spec.siliconRev = 0x02;
    spec.checksumKind = 1;
    spec.arrayId = 1;
    spec.firstRow = 0x00FE;
    spec.rowCount = 3;
    spec.rowSize = 5;
    spec.lineEnd = "\r\n";
    const std::vector<std::string> lines = splitLines(tools::imageText(spec), "\r\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "12345678" "02" "01");

    const tools::Rows rows = tools::imageRows(spec);
    ASSERT_EQ(rows.size(), 3u);
    uint16_t expectRow = 0x00FE;
    for (size_t i = 1; i < lines.size(); ++i, ++expectRow) {
        ASSERT_EQ(lines[i][0], ':');
        ASSERT_EQ(lines[i].size(), tools::rowLineLength(spec));
        EXPECT_EQ(lines[i].find_first_of("abcdef"), std::string::npos);
        const Bytes b = hexBytes(lines[i].substr(1));
        EXPECT_EQ(b[0], 1);
        EXPECT_EQ(b[1] << 8 | b[2], expectRow); // big-endian row number
        EXPECT_EQ(b[3] << 8 | b[4], 5);         // big-endian length
        const Bytes data(b.begin() + 5, b.end() - 1);
        EXPECT_EQ(data, rows.at({1, expectRow}));
        uint8_t sum = 0;
        for (uint8_t x : b)
            sum = static_cast<uint8_t>(sum + x);
        EXPECT_EQ(sum, 0) << "row checksum byte completes the line's sum to zero";
    }

    spec.writeChecksumKind = false;
    spec.lineEnd = "\n";
    EXPECT_EQ(splitLines(tools::imageText(spec), "\n")[0], "1234567802");
    EXPECT_EQ(tools::targetFor(spec).checksum, sim::PacketChecksum::Sum);
}

TEST(CyacdGenText, WorkedRowLineAndSeeds)
{
    // Array 0, row 0x0010, length 4, data 01 02 03 04: the bytes sum to 0x1E.
    EXPECT_EQ(tools::fileRowChecksum(0, 0x0010, {1, 2, 3, 4}), 0xE2);
    // Both bytes of the row number and of the length count.
    EXPECT_EQ(tools::fileRowChecksum(0xFF, 0xFFFF, Bytes(0x101, 0)), 0x01);

    tools::ImageSpec a;
    tools::ImageSpec b = a;
    b.seed = 2;
    EXPECT_EQ(tools::imageText(a), tools::imageText(a));
    EXPECT_NE(tools::imageRows(a), tools::imageRows(b));
    a.firstRow = 0xFFFE; // rows stop at the last row number
    a.rowCount = 5;
    EXPECT_EQ(tools::imageRows(a).size(), 2u);
}

TEST(CyacdGenAgreement, HostExpectationEqualsDeviceVerifyRow)
{
    std::vector<tools::ImageSpec> specs(2);
    specs[0].rowSize = 256;
    specs[0].rowCount = 4;
    specs[0].firstRow = 0x0100;
    specs[1].siliconId = 0x56530002;
    specs[1].checksumKind = 1;
    specs[1].arrayId = 2;
    specs[1].rowSize = 53;
    specs[1].seed = 9;
    sim::Bootloader bl(tools::targetsFor(specs));
    ASSERT_EQ(bl.targetCount(), 2u);
    EXPECT_EQ(bl.target(1).checksum, sim::PacketChecksum::Crc);

    for (size_t t = 0; t < specs.size(); ++t) {
        const sim::PacketChecksum kind = bl.target(t).checksum;
        auto ask = [&](uint8_t cmd, const Bytes &data) {
            const Bytes req = sim::buildPacket(kind, cmd, data);
            return bl.handleRequest(req.data(), req.size());
        };
        ASSERT_EQ(ask(sim::command::Enter, {})[1], 0);
        for (const auto &[key, data] : tools::imageRows(specs[t])) {
            const auto [array, row] = key;
            size_t offset = 0;
            for (; data.size() - offset > 53; offset += 53)
                ASSERT_EQ(ask(sim::command::SendData, Bytes(data.begin() + long(offset), data.begin() + long(offset + 53)))[1], 0);
            Bytes last{array, uint8_t(row), uint8_t(row >> 8)};
            last.insert(last.end(), data.begin() + long(offset), data.end());
            ASSERT_EQ(ask(sim::command::ProgramRow, last)[1], 0);

            const size_t len = data.size();
            const uint8_t expected = static_cast<uint8_t>(tools::fileRowChecksum(array, row, data) + array + (row & 0xFF) +
                                                          (row >> 8) + (len & 0xFF) + (len >> 8));
            const Bytes answer = ask(sim::command::VerifyRow, {array, uint8_t(row), uint8_t(row >> 8)});
            ASSERT_EQ(answer.size(), 8u);
            EXPECT_EQ(answer[4], expected) << "row " << row;
        }
        EXPECT_EQ(ask(sim::command::VerifyChecksum, {})[4], 1);
        EXPECT_TRUE(ask(sim::command::Exit, {0}).empty());
        bl.restart();
    }
    EXPECT_EQ(bl.flash(0), tools::imageRows(specs[0]));
    EXPECT_EQ(bl.flash(1), tools::imageRows(specs[1]));
}

TEST(CyacdGenFiles, ToolWritesTheCommittedExample)
{
    const std::string out = ::testing::TempDir() + "vireon-demo-check.cyacd";
    const std::string cmd = std::string("\"") + VIREON_CYACD_GEN + "\" --out \"" + out +
                            "\" --images 2 --rows 32 --row-size 256 --silicon-id 56530001,56530002 --rev 01"
                            " --checksum sum --seed 7";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    const std::string written = readFile(out);
    EXPECT_EQ(written, readFile(std::string(VIREON_EXAMPLES_DIR) + "/vireon-surface-demo.cyacd"));

    std::vector<tools::ImageSpec> specs(2);
    for (size_t i = 0; i < 2; ++i) {
        specs[i].siliconId = 0x56530001 + static_cast<uint32_t>(i);
        specs[i].siliconRev = 0x01;
        specs[i].rowCount = 32;
        specs[i].rowSize = 256;
        specs[i].seed = 7 + static_cast<uint32_t>(i);
    }
    EXPECT_EQ(written, tools::fileText(specs));
    ASSERT_TRUE(tools::writeFile(out, specs));
    EXPECT_EQ(readFile(out), written);
    std::remove(out.c_str());

    EXPECT_FALSE(tools::writeFile(::testing::TempDir() + "no-such-dir/x.cyacd", specs));
    EXPECT_NE(std::system((std::string("\"") + VIREON_CYACD_GEN + "\" --rows 70000 --out x 2>/dev/null").c_str()), 0);
}
