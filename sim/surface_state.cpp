// The simulated surface's flash in a text file, checked line by line on the
// way in and written whole or not at all on the way out.
#include "surface_state.h"

#include "app_metadata.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace vireon::sim {
namespace {

constexpr char kFormat[] = "vireon-sim-state 1";
constexpr char kChecksumTag[] = "crc32 ";
constexpr char kOffBusTag[] = "off-bus-until"; // milliseconds since 1970
constexpr std::uintmax_t kLargestFile = 64u << 20; // far beyond any chain of chips

using RowKey = std::pair<uint8_t, uint16_t>;

std::string hex(const std::vector<uint8_t> &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool unhex(const std::string &text, std::vector<uint8_t> *bytes)
{
    if (text.size() % 2 != 0)
        return false;
    bytes->clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        const int high = hexDigit(text[i]), low = hexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes->push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

uint32_t crcOf(const std::string &text)
{
    return applicationChecksum(0, reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

std::string crcText(uint32_t crc)
{
    char buffer[9];
    std::snprintf(buffer, sizeof buffer, "%08x", crc);
    return buffer;
}

// One chip's part of a file being read, checked against the chip's arrays.
struct ChipReader {
    const TargetConfig &chip;
    Bootloader::Flash rows;
    std::set<RowKey> failed;
    std::set<uint8_t> active;

    const ArrayConfig *array(unsigned id, unsigned row) const
    {
        for (const ArrayConfig &a : chip.arrays)
            if (a.id == id && row >= a.firstRow && row <= a.lastRow)
                return &a;
        return nullptr;
    }

    // Returns what is wrong with the line, or an empty text.
    std::string take(const std::string &kind, std::istringstream &fields)
    {
        unsigned id = 0, row = 0;
        if (kind == "active") {
            unsigned app = 0;
            if (!(fields >> app) || app >= static_cast<unsigned>(std::max(chip.applications, 1)))
                return "an application this chip does not have";
            active.insert(static_cast<uint8_t>(app));
            return {};
        }
        if (!(fields >> id >> row))
            return "no array and row";
        const ArrayConfig *a = array(id, row);
        if (a == nullptr)
            return "array " + std::to_string(id) + " row " + std::to_string(row) + " is not in this chip's flash";
        const RowKey key{static_cast<uint8_t>(id), static_cast<uint16_t>(row)};
        if (kind == "failed") {
            failed.insert(key);
            return {};
        }
        std::string data;
        std::vector<uint8_t> bytes;
        if (!(fields >> data) || !unhex(data, &bytes) || bytes.size() != a->rowSize)
            return "row data is not " + std::to_string(a->rowSize) + " bytes in lower-case hex";
        if (!rows.emplace(key, std::move(bytes)).second)
            return "the row is given twice";
        return {};
    }
};

std::string readFile(const std::string &path, std::string *text, bool *missing)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    *missing = status.type() == std::filesystem::file_type::not_found;
    if (*missing)
        return {};
    if (status.type() != std::filesystem::file_type::regular)
        return "not a regular file";
    if (std::filesystem::file_size(path, error) > kLargestFile)
        return "larger than any surface's flash";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::string("cannot be read: ") + std::strerror(errno);
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad())
        return std::string("cannot be read: ") + std::strerror(errno);
    return {};
}

bool isErased(const Bootloader &device, size_t powerUp)
{
    for (size_t chip = 0; chip < device.targetCount(); ++chip)
        if (!device.flash(chip).empty() || !device.failedRows(chip).empty() ||
            !device.activeApplications(chip).empty())
            return false;
    return powerUp == 0;
}

} // namespace

std::string stateFileName(const std::wstring &serialNumber)
{
    std::string name;
    for (wchar_t c : serialNumber) {
        const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                           c == L'.' || c == L'-' || c == L'_';
        name += plain ? static_cast<char>(c) : '_';
    }
    if (name.empty() || name == "." || name == "..")
        name = "surface";
    return name + ".state";
}

std::string loadSurfaceState(const std::string &path, Bootloader &device, OffBusUntil *offBusUntil)
{
    std::string text;
    bool missing = false;
    const std::string unreadable = readFile(path, &text, &missing);
    if (missing)
        return {};
    const std::string where = "the simulated surface's state " + path;
    if (!unreadable.empty())
        return where + " is refused: " + unreadable;

    // The checksum line closes the file; without it the file was cut short.
    const size_t tail = text.rfind(kChecksumTag);
    const bool closed = tail != std::string::npos && (tail == 0 || text[tail - 1] == '\n') &&
                        text.compare(tail + std::strlen(kChecksumTag), std::string::npos,
                                     crcText(crcOf(text.substr(0, tail))) + "\n") == 0;
    if (!closed)
        return where + " is damaged: its checksum line is missing or does not match (a file cut short or "
                       "changed); delete it to start from an erased surface";

    std::istringstream lines(text.substr(0, tail));
    std::string line;
    std::getline(lines, line);
    std::istringstream head(line);
    std::string format, version, chipsTag, powerTag, offTag;
    size_t chips = 0, powerUp = 0;
    long long offUntilMs = 0;
    if (line.rfind(kFormat, 0) != 0 || !(head >> format >> version >> chipsTag >> chips >> powerTag >> powerUp) ||
        chipsTag != "chips" || powerTag != "power-up" ||
        ((head >> offTag) && (offTag != kOffBusTag || !(head >> offUntilMs))))
        return where + " is refused: line 1 does not begin a simulated surface's state";
    if (chips != device.targetCount() || powerUp >= chips)
        return where + " is refused: it is for a chain of " + std::to_string(chips) + " chips, this surface has " +
               std::to_string(device.targetCount());

    std::vector<ChipReader> readers;
    for (int number = 2; std::getline(lines, line); ++number) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        std::string problem;
        size_t chip = 0;
        if (kind == "chip") {
            if (!(fields >> chip) || chip != readers.size() || chip >= chips)
                problem = "chips out of order";
            else
                readers.push_back(ChipReader{device.target(chip), {}, {}, {}});
        } else if (readers.empty() || (kind != "row" && kind != "failed" && kind != "active")) {
            problem = "'" + kind + "' is not a line of a simulated surface's state";
        } else {
            problem = readers.back().take(kind, fields);
        }
        if (!problem.empty())
            return where + " is refused: line " + std::to_string(number) + ": " + problem;
    }
    if (readers.size() != chips)
        return where + " is refused: it holds " + std::to_string(readers.size()) + " of its " +
               std::to_string(chips) + " chips";

    for (size_t chip = 0; chip < chips; ++chip)
        device.restoreFlash(chip, std::move(readers[chip].rows), std::move(readers[chip].failed),
                            std::move(readers[chip].active));
    device.powerUpAs(powerUp);
    if (offBusUntil != nullptr && !offTag.empty())
        *offBusUntil = std::chrono::system_clock::time_point(std::chrono::milliseconds(offUntilMs));
    return {};
}

std::string saveSurfaceState(const std::string &path, const Bootloader &device, OffBusUntil offBusUntil)
{
    // A surface told to restart comes up as the next chip of its chain.
    const size_t powerUp = (device.currentTarget() + (device.restartRequested() ? 1 : 0)) % device.targetCount();
    std::string text = std::string(kFormat) + " chips " + std::to_string(device.targetCount()) + " power-up " +
                       std::to_string(powerUp);
    if (offBusUntil)
        text += std::string(" ") + kOffBusTag + " " +
                std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(offBusUntil->time_since_epoch())
                                   .count());
    text += "\n";
    for (size_t chip = 0; chip < device.targetCount(); ++chip) {
        text += "chip " + std::to_string(chip) + "\n";
        for (const auto &[key, bytes] : device.flash(chip))
            text += "row " + std::to_string(key.first) + " " + std::to_string(key.second) + " " + hex(bytes) + "\n";
        for (const RowKey &key : device.failedRows(chip))
            text += "failed " + std::to_string(key.first) + " " + std::to_string(key.second) + "\n";
        for (uint8_t app : device.activeApplications(chip))
            text += "active " + std::to_string(app) + "\n";
    }
    text += kChecksumTag + crcText(crcOf(text)) + "\n";

    // A check that changed nothing leaves the file as it was, and an
    // untouched surface without a file (an erased one) leaves none.
    std::string before;
    bool missing = false;
    if (readFile(path, &before, &missing).empty() &&
        (missing ? isErased(device, powerUp) && !offBusUntil : before == text))
        return {};

    const std::filesystem::path target(path);
    std::error_code error;
    if (target.has_parent_path())
        std::filesystem::create_directories(target.parent_path(), error);
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return "cannot write beside " + path + ": " + std::strerror(errno);
    const char *at = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t written = write(fd, at, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        at += written;
        left -= static_cast<size_t>(written);
    }
    const int saved = errno;
    const bool whole = left == 0 && fsync(fd) == 0;
    close(fd);
    if (!whole || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(whole ? errno : saved);
        unlink(temporary.c_str());
        return "cannot write " + path + ": " + reason;
    }
    return {};
}

void copySurfaceState(const Bootloader &from, Bootloader &to)
{
    for (size_t chip = 0; chip < from.targetCount() && chip < to.targetCount(); ++chip)
        to.restoreFlash(chip, from.flash(chip), from.failedRows(chip), from.activeApplications(chip));
    to.powerUpAs(from.currentTarget());
}

} // namespace vireon::sim
