// The rules of the firmware file on its bytes alone, as the window,
// vireon-flash and the browser page apply them: how its lines are shared
// out, and each refusal with its line, image and byte.
#include "firmware_rules.h"

#include "cyacd_gen.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

namespace {

using namespace vireon::engine;

std::string image(uint32_t seed)
{
    return vireon::tools::imageText({.rowCount = 3, .rowSize = 16, .seed = seed});
}

// Line `line` (from 0) of `text` with `edit` applied to it.
std::string editLine(const std::string &text, int line, const std::function<void(std::string &)> &edit)
{
    std::vector<std::string> lines;
    std::stringstream in(text);
    for (std::string each; std::getline(in, each);)
        lines.push_back(each);
    edit(lines[static_cast<size_t>(line)]);
    std::string out;
    for (const std::string &each : lines)
        out += each + "\n";
    return out;
}

TEST(FirmwareRules, HeadersShareTheLinesOutAndNumberWhereEachImageBegins)
{
    const FirmwareSplit split = splitFirmware(":00\nH1\n:01\n\nH3\r\n:02");
    EXPECT_EQ(split.images[0], "H1\n:01\n"); // the row before the first header goes nowhere
    EXPECT_EQ(split.images[1], "\nH3\n:02\n"); // an empty line is a header; later headers join image 2
    EXPECT_EQ(std::make_pair(split.firstLines[0], split.firstLines[1]), std::make_pair(2, 4));
    EXPECT_EQ(std::make_pair(split.rows[0], split.rows[1]), std::make_pair(1, 1));

    const FirmwareSplit marked = splitFirmware("\xEF\xBB\xBF" + image(1) + image(2));
    EXPECT_EQ(marked.images[0], image(1)) << "a byte order mark is not part of the first line";
    EXPECT_EQ(marked.chips[1], vireon::tools::ImageSpec{.seed = 2}.siliconId);
}

// Image 1 is lines 1-4 of the file (a header and three rows), image 2 lines 5-8.
TEST(FirmwareRules, RefusalsNameTheLineTheImageAndTheByte)
{
    const std::string good = image(1) + image(2);
    EXPECT_TRUE(checkFirmware(good).ok());
    // A header may hold more fields than the host reads, and CR LF ends lines.
    EXPECT_TRUE(checkFirmware(editLine(good, 4, [](std::string &l) { l += "0000"; })).ok());
    std::string crlf;
    for (char c : good)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(checkFirmware(crlf).ok());

    auto zeroTo = [](const char *by) { return [by](std::string &l) { l.replace(l.find('0'), 1, by); }; };
    const struct {
        const char *what;
        std::string text;
        int image, line;
        std::string reason;
    } cases[] = {
        {"Z for a 0", editLine(good, 6, zeroTo("Z")), 2, 7, "Line 7 of the file (image 2) has 'Z' where a hex digit belongs."},
        {"a blank for a 0", editLine(good, 1, zeroTo(" ")), 1, 2,
         "Line 2 of the file (image 1) has a blank where a hex digit belongs."},
        {"GG in a header", editLine(good, 4, [](std::string &l) { l.replace(2, 2, "GG"); }), 2, 5,
         "Line 5 of the file (image 2) has 'G' where a hex digit belongs."},
        {"a NUL and garbage after a row", editLine(good, 7, [](std::string &l) { l += std::string("\0junk", 5); }), 2, 8,
         "Line 8 of the file (image 2) has a NUL byte after its last hex pair."},
        {"a bell byte after a header", editLine(good, 0, [](std::string &l) { l += '\a'; }), 1, 1,
         "Line 1 of the file (image 1) has byte 0x07 after its last hex pair."},
        {"a header too short for the host", editLine(good, 0, [](std::string &l) { l.resize(8); }), 1, 1,
         "Line 1 of the file (image 1) is too short for a header: it has 8 hex digits where at least 10 belong."},
        {"flash array 4", editLine(good, 2, [](std::string &l) { l.replace(1, 2, "04"); }), 1, 3,
         "Line 3 of the file (image 1) names flash array 4; the surface's arrays are 0 to 3."},
        {"a row checksum", editLine(good, 6, [](std::string &l) { l.back() = l.back() == '0' ? '1' : '0'; }), 2, 7,
         "Line 7 of the file (image 2) has a checksum that does not match its data."},
        {"a header without rows", image(1) + image(2).substr(0, image(2).find('\n') + 1), 2, 0,
         "Image 2 of the file holds a header but no rows."},
        {"one image", image(1), 0, 0, "This file holds one image (its header is line 1); the surface takes two."},
        {"three images", good + image(3), 0, 0,
         "This file holds three images (their headers are lines 1, 5 and 9); the surface takes two."},
        {"base64 junk", "U0dWc2JHOGdkMjl5YkdRPQ==\nQUFBQUFBQUFBQUFB\n", 0, 0,
         "This is not a firmware file: none of its lines is a row of firmware data (a line beginning with ':')."},
        {"a NUL at the start of a row", editLine(good, 2, [](std::string &l) { l[0] = '\0'; }), 0, 3,
         "Line 3 of the file begins with a NUL byte, not with ':' (a row) or a hex digit (a header)."},
        {"a line begun by a letter beyond ASCII", editLine(good, 2, [](std::string &l) { l.insert(0, "\xC3\xA9"); }), 0, 3,
         "Line 3 of the file begins with '\xC3\xA9', not with ':' (a row) or a hex digit (a header)."},
        {"an empty line", editLine(good, 3, [](std::string &l) { l += '\n'; }), 0, 5, "Line 5 of the file is empty."},
        {"an empty line inside image 1", editLine(good, 1, [](std::string &l) { l += '\n'; }), 0, 3,
         "Line 3 of the file is empty."},
        {"a header that starts with a blank", editLine(good, 4, [](std::string &l) { l.insert(0, " "); }), 0, 5,
         "Line 5 of the file begins with a blank, not with ':' (a row) or a hex digit (a header)."},
        {"a line longer than the host reads", editLine(good, 2, [](std::string &l) { l.append(800, '0'); }), 1, 3,
         "Line 3 of the file (image 1) is longer than the 766 characters the updater reads in a line."},
        {"an empty file", "", 0, 0, "This file is empty."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const FileVerdict found = checkFirmware(c.text);
        EXPECT_EQ(std::make_tuple(found.image, found.line, found.reason), std::make_tuple(c.image, c.line, c.reason));
    }
}

} // namespace

namespace {

TEST(FirmwareRules, AFileOverSixteenMiBIsRefusedByItsSizeAndOneAtTheLimitIsRead)
{
    const long long limit = 16LL * 1024 * 1024;
    const struct {
        long long size;
        std::string problem;
    } cases[] = {
        {0, ""},
        {limit, ""},
        {limit + 1, "This file is 16.0 MiB (16777217 bytes); a firmware file for the surface is at most 16 MiB."},
        {50 * 1024 * 1024, "This file is 50.0 MiB (52428800 bytes); a firmware file for the surface is at most 16 MiB."},
        {-1, "This file is larger than 16 MiB; a firmware file for the surface is at most 16 MiB."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(sizeProblem(c.size), c.problem) << c.size;
}

} // namespace
