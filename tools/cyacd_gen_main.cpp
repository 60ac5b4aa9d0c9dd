// cyacd-gen: writes a firmware file of one or more generated images.
#include "cyacd_gen.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: cyacd-gen --out FILE [options]\n"
    "  --images N            images in the file (default 2)\n"
    "  --rows N              rows per image (default 16); the last is the\n"
    "                        application's metadata row (its checksum and\n"
    "                        length) when there are two or more\n"
    "  --row-size N          bytes per row (default 128)\n"
    "  --first-row N         first row number (default 0)\n"
    "  --array N             flash array id (default 0)\n"
    "  --silicon-id HEX[,HEX...]  silicon id per image (default 56530001,56530002);\n"
    "                        images past the list count up from its last id\n"
    "  --rev HEX[,HEX...]    silicon revision per image (default 00)\n"
    "  --checksum KIND[,KIND...]  packet checksum kind per image: sum, crc, or\n"
    "                        none to leave the header byte out (the host then\n"
    "                        uses the sum); default sum\n"
    "  --seed N              seed of the row data (image i uses N + i)\n"
    "  --crlf                CR LF line ends instead of LF\n"
    "  --example             the layout of examples/vireon-surface-demo.cyacd\n"
    "                        (the other layout options are ignored)\n";

bool parseNumber(const char *text, int base, unsigned long max, unsigned long &value)
{
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long v = std::strtoul(text, &end, base);
    if (errno != 0 || *end != '\0' || v > max || text[0] == '-')
        return false;
    value = v;
    return true;
}

bool parseHexList(const char *text, unsigned long max, std::vector<unsigned long> &out)
{
    out.clear();
    std::string s = text ? text : "";
    size_t start = 0;
    while (true) {
        const size_t comma = s.find(',', start);
        const std::string item = s.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        unsigned long v = 0;
        if (!parseNumber(item.c_str(), 16, max, v))
            return false;
        out.push_back(v);
        if (comma == std::string::npos)
            return true;
        start = comma + 1;
    }
}

int fail(const std::string &message)
{
    std::fprintf(stderr, "cyacd-gen: %s\n%s", message.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    using vireon::tools::ImageSpec;
    std::string out;
    unsigned long images = 2, rows = 16, rowSize = 128, firstRow = 0, array = 0, seed = 1;
    std::vector<unsigned long> ids{0x56530001, 0x56530002};
    std::vector<unsigned long> revs{0x00};
    std::vector<std::string> checksums{"sum"};
    bool crlf = false;
    bool example = false;

    for (int i = 1; i < argc; ++i) {
        const std::string opt = argv[i];
        const char *arg = i + 1 < argc ? argv[i + 1] : nullptr;
        auto number = [&](unsigned long max, unsigned long &v) {
            ++i;
            return parseNumber(arg, 10, max, v);
        };
        if (opt == "--help" || opt == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (opt == "--example") {
            example = true;
        } else if (opt == "--out" && arg) {
            out = arg;
            ++i;
        } else if (opt == "--images") {
            if (!number(64, images) || images == 0)
                return fail("--images wants 1 to 64");
        } else if (opt == "--rows") {
            if (!number(0xFFFF, rows))
                return fail("--rows wants 0 to 65535");
        } else if (opt == "--row-size") {
            if (!number(0xFFFF, rowSize))
                return fail("--row-size wants 0 to 65535");
        } else if (opt == "--first-row") {
            if (!number(0xFFFF, firstRow))
                return fail("--first-row wants 0 to 65535");
        } else if (opt == "--array") {
            if (!number(0xFF, array))
                return fail("--array wants 0 to 255");
        } else if (opt == "--seed") {
            if (!number(0xFFFFFFFFul, seed))
                return fail("--seed wants 0 to 4294967295");
        } else if (opt == "--silicon-id") {
            ++i;
            if (!parseHexList(arg, 0xFFFFFFFFul, ids))
                return fail("--silicon-id wants hex ids separated by commas");
        } else if (opt == "--rev") {
            ++i;
            if (!parseHexList(arg, 0xFF, revs))
                return fail("--rev wants hex revisions separated by commas");
        } else if (opt == "--checksum" && arg) {
            ++i;
            checksums.clear();
            std::string list = arg;
            size_t start = 0;
            while (true) {
                const size_t comma = list.find(',', start);
                const std::string kind = list.substr(start, comma == std::string::npos ? comma : comma - start);
                if (kind != "sum" && kind != "crc" && kind != "none")
                    return fail("--checksum wants sum, crc or none, separated by commas");
                checksums.push_back(kind);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        } else if (opt == "--crlf") {
            crlf = true;
        } else {
            return fail("unknown or incomplete option " + opt);
        }
    }
    if (out.empty())
        return fail("--out FILE is required");
    if (firstRow + rows > 0x10000)
        return fail("the rows run past row 65535");

    std::vector<ImageSpec> layouts;
    if (example)
        layouts = vireon::tools::exampleImages();
    for (unsigned long k = 0; !example && k < images; ++k) {
        ImageSpec layout;
        layout.siliconId = static_cast<uint32_t>(k < ids.size() ? ids[k] : ids.back() + (k - ids.size() + 1));
        layout.siliconRev = static_cast<uint8_t>(k < revs.size() ? revs[k] : revs.back());
        const std::string &kind = k < checksums.size() ? checksums[k] : checksums.back();
        layout.checksumKind = kind == "crc" ? 1 : 0;
        layout.writeChecksumKind = kind != "none";
        layout.arrayId = static_cast<uint8_t>(array);
        layout.firstRow = static_cast<uint16_t>(firstRow);
        layout.rowCount = static_cast<uint16_t>(rows);
        layout.rowSize = static_cast<uint16_t>(rowSize);
        layout.seed = static_cast<uint32_t>(seed + k);
        layout.lineEnd = crlf ? "\r\n" : "\n";
        layouts.push_back(layout);
    }
    const size_t lineLength = vireon::tools::rowLineLength(layouts.front()) + layouts.front().lineEnd.size();
    if (lineLength > vireon::tools::kMaxLineLength)
        std::fprintf(stderr,
                     "cyacd-gen: warning: rows of %lu bytes make lines of %zu characters with their line end; "
                     "the host reads at most %zu\n",
                     rowSize, lineLength, vireon::tools::kMaxLineLength);
    if (!vireon::tools::writeFile(out, layouts)) {
        std::fprintf(stderr, "cyacd-gen: cannot write %s: %s\n", out.c_str(), std::strerror(errno));
        return 1;
    }
    return 0;
}
