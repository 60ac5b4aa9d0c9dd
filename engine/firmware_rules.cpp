#include "firmware_rules.h"

#include "wording.h"

#include <cstdio>

namespace vireon::engine {
namespace {

// The host reads at most this many characters of a line in one piece, its
// line end included; the rest of a longer line would come as a line of its
// own.
constexpr size_t kReadLimit = 767;
constexpr size_t kHeaderDigits = 10; // silicon id and revision
constexpr size_t kRowBytes = 6;      // array id, row number, length, checksum
constexpr int kLastArray = 3;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string n(long long value) { return std::to_string(value); }

// `count` hex digits as bytes; `count` is even and all are hex.
std::vector<uint8_t> pairs(std::string_view digits)
{
    std::vector<uint8_t> bytes(digits.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(hexValue(digits[2 * i]) * 16 + hexValue(digits[2 * i + 1]));
    return bytes;
}

// A row's bytes hold a whole row: its length field matches.
bool wholeRow(const std::vector<uint8_t> &bytes)
{
    return bytes.size() >= kRowBytes && (size_t(bytes[3]) << 8 | bytes[4]) + kRowBytes == bytes.size();
}

// The digits of a line (after a row's ':'): hex pairs, nothing else.
std::string digitProblem(std::string_view digits, bool header)
{
    for (size_t i = 0; i < digits.size(); ++i) {
        if (hexValue(digits[i]) >= 0)
            continue;
        const std::string what = describeByte(static_cast<unsigned char>(digits[i]));
        // What comes before it would be a whole line on its own: it is
        // something after the line's last pair.
        const bool whole = i % 2 == 0 && (header ? i >= kHeaderDigits : wholeRow(pairs(digits.substr(0, i))));
        return whole ? "has " + what + " after its last hex pair" : "has " + what + " where a hex digit belongs";
    }
    if (digits.size() % 2 != 0)
        return "has an odd number of hex digits (" + n(static_cast<long long>(digits.size())) + ")";
    return {};
}

std::string headerProblem(std::string_view text)
{
    if (text.empty())
        return "is empty where the image's header belongs";
    std::string bad = digitProblem(text, true);
    if (bad.empty() && text.size() < kHeaderDigits)
        bad = "is too short for a header: it has " + n(static_cast<long long>(text.size())) +
              " hex digits where at least " + n(kHeaderDigits) + " belong";
    return bad;
}

std::string rowProblem(std::string_view text)
{
    if (text.empty())
        return "is empty";
    if (text[0] != ':')
        return "begins with " + describeByte(static_cast<unsigned char>(text[0])) + " where ':' belongs";
    const std::string bad = digitProblem(text.substr(1), false);
    if (!bad.empty())
        return bad;
    const std::vector<uint8_t> row = pairs(text.substr(1));
    if (row.size() < kRowBytes)
        return "is too short for a row: it has " + n(static_cast<long long>(text.size() - 1)) +
               " hex digits where at least " + n(2 * kRowBytes) + " belong";
    if (row[0] > kLastArray)
        return "names flash array " + n(row[0]) + "; the surface's arrays are 0 to " + n(kLastArray);
    if (!wholeRow(row))
        return "says its row holds " + n(row[3] << 8 | row[4]) + " bytes but holds " +
               n(static_cast<long long>(row.size() - kRowBytes));
    // The row's bytes, its checksum byte included, add up to zero (mod 256)
    // when the row is intact.
    unsigned sum = 0;
    for (uint8_t b : row)
        sum += b;
    if ((sum & 0xFF) != 0)
        return "has a checksum that does not match its data";
    return {};
}

// A line that begins with a visible character other than ':' begins an
// image; empty lines, and lines begun by a blank or a control character,
// begin one too, but no firmware file holds them.
bool straysFrom(std::string_view line)
{
    if (line.empty())
        return true;
    const auto first = static_cast<unsigned char>(line[0]);
    return first <= ' ' || first >= 0x7F;
}

// How a stray line begins: its first character, a whole UTF-8 sequence
// where it is one.
std::string howItBegins(std::string_view line)
{
    const auto first = static_cast<unsigned char>(line[0]);
    if (first < 0x80)
        return describeByte(first);
    const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    bool valid = length > 1 && length <= line.size();
    for (size_t i = 1; valid && i < length; ++i)
        valid = (static_cast<unsigned char>(line[i]) & 0xC0) == 0x80;
    return "'" + (valid ? std::string(line.substr(0, length)) : std::string("\xEF\xBF\xBD")) + "'";
}

// The silicon id a header line names in its first eight hex digits; 0 when
// it names none.
uint32_t siliconIdOf(std::string_view header)
{
    if (header.size() < 8)
        return 0;
    uint32_t id = 0;
    for (size_t i = 0; i < 8; ++i) {
        const int digit = hexValue(header[i]);
        if (digit < 0)
            return 0;
        id = id * 16 + static_cast<uint32_t>(digit);
    }
    return id;
}

std::string count(int images)
{
    static const char *const words[] = {"no image", "one image", "two images", "three images", "four images"};
    return images < 5 ? words[images] : n(images) + " images";
}

} // namespace

std::string describeByte(unsigned char byte)
{
    switch (byte) {
    case 0: return "a NUL byte";
    case ' ': return "a blank";
    case '\t': return "a tab";
    case '\r': return "a carriage return";
    default: break;
    }
    if (byte > ' ' && byte < 0x7F)
        return std::string("'") + static_cast<char>(byte) + "'";
    std::string digits = hex(byte, 2);
    for (char &c : digits)
        c = static_cast<char>(c >= 'a' ? c - 'a' + 'A' : c);
    return "byte 0x" + digits;
}

FirmwareSplit splitFirmware(std::string_view bytes)
{
    FirmwareSplit split;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    int image = 0; // the image the lines now go to: 0 none, 1 or 2
    for (size_t start = 0; start < bytes.size();) {
        size_t end = bytes.find('\n', start);
        const size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view text = bytes.substr(start, end - start);
        if (!text.empty() && text.back() == '\r' && end < bytes.size())
            text.remove_suffix(1);
        start = next;
        const int number = ++split.lines;
        if (!text.empty() && text[0] == ':') {
            ++split.rowLines;
            if (image > 0)
                ++split.rows[image - 1];
        } else {
            image = image == 0 ? 1 : 2;
            if (split.firstLines[image - 1] == 0) {
                split.firstLines[image - 1] = number;
                split.chips[image - 1] = siliconIdOf(text);
            }
            if (!straysFrom(text)) {
                if (++split.headers <= 4)
                    split.firstHeaders.push_back(number);
            } else if (split.strayLine == 0) {
                split.strayLine = number;
                split.strayStart = text.empty() ? std::string() : howItBegins(text);
            }
        }
        if (image > 0)
            split.images[image - 1].append(text).append("\n");
    }
    return split;
}

std::string sizeProblem(long long size)
{
    const std::string limit = n(kMaxFirmwareFileSize / (1024 * 1024)) + " MiB";
    if (size < 0)
        return "This file is larger than " + limit + "; a firmware file for the surface is at most " + limit + ".";
    if (size <= kMaxFirmwareFileSize)
        return {};
    char mib[32];
    std::snprintf(mib, sizeof mib, "%.1f", static_cast<double>(size) / (1024 * 1024));
    return "This file is " + std::string(mib) + " MiB (" + n(size) + " bytes); a firmware file for the surface is at "
           "most " + limit + ".";
}

std::string wholeFileProblem(const FirmwareSplit &split)
{
    if (split.lines == 0)
        return "This file is empty.";
    if (split.rowLines == 0)
        return "This is not a firmware file: none of its lines is a row of firmware data (a line beginning with ':').";
    if (split.strayLine > 0)
        return split.strayStart.empty() ? "Line " + n(split.strayLine) + " of the file is empty."
                                        : "Line " + n(split.strayLine) + " of the file begins with " +
                                              split.strayStart + ", not with ':' (a row) or a hex digit (a header).";
    if (split.headers != 2) {
        std::vector<std::string> lines;
        for (int line : split.firstHeaders)
            lines.push_back(n(line));
        if (split.headers > static_cast<int>(lines.size()))
            lines.push_back("more");
        std::string where;
        if (lines.size() == 1) {
            where = " (its header is line " + lines.front() + ")";
        } else if (lines.size() > 1) {
            where = " (their headers are lines ";
            for (size_t i = 0; i + 1 < lines.size(); ++i)
                where += (i > 0 ? ", " : "") + lines[i];
            where += " and " + lines.back() + ")";
        }
        return "This file holds " + count(split.headers) + where + "; the surface takes two.";
    }
    return {};
}

ImageFault checkImage(std::string_view bytes)
{
    if (bytes.empty())
        return {0, "is empty"};
    int rows = 0, number = 0;
    for (size_t start = 0; start < bytes.size();) {
        ++number;
        size_t end = bytes.find('\n', start);
        const bool ended = end != std::string_view::npos;
        if (!ended)
            end = bytes.size();
        // The reader drops any carriage returns before the line end.
        size_t size = end - start;
        if (size + (ended ? 1 : 0) > kReadLimit)
            return {number, "is longer than the " + n(kReadLimit - 1) + " characters the updater reads in a line"};
        while (size > 0 && bytes[start + size - 1] == '\r')
            --size;
        const std::string_view text = bytes.substr(start, size);
        const std::string bad = number == 1 ? headerProblem(text) : rowProblem(text);
        if (!bad.empty())
            return {number, bad};
        rows += number == 1 ? 0 : 1;
        start = end + 1;
    }
    if (rows == 0)
        return {0, "holds a header but no rows"};
    return {};
}

FileVerdict checkImages(const FirmwareSplit &split, std::string_view image1, std::string_view image2)
{
    if (std::string whole = wholeFileProblem(split); !whole.empty())
        return {0, split.strayLine, std::move(whole)};
    const std::string_view contents[2] = {image1, image2};
    for (int i = 0; i < 2; ++i) {
        const int image = i + 1;
        const ImageFault fault = checkImage(contents[i]);
        if (fault.reason.empty())
            continue;
        if (fault.line == 0)
            return {image, 0, "Image " + n(image) + " of the file " + fault.reason + "."};
        const int line = split.firstLines[i] + fault.line - 1;
        return {image, line, "Line " + n(line) + " of the file (image " + n(image) + ") " + fault.reason + "."};
    }
    return {};
}

FileVerdict checkFirmware(std::string_view bytes, FirmwareSplit *split)
{
    FirmwareSplit own = splitFirmware(bytes);
    FileVerdict verdict = checkImages(own, own.images[0], own.images[1]);
    if (split != nullptr)
        *split = std::move(own);
    return verdict;
}

} // namespace vireon::engine
