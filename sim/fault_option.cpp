#include "fault_option.h"

#include <cerrno>
#include <cstdlib>

namespace vireon::sim {

const char kFaultHelp[] =
    "--fault KIND:STAGE:N (repeatable) injects one fault at exchange N (1, 2, ...)\n"
    "of stage 1 or 2 on the simulated surface; N 'last' is the stage's exit command.\n"
    "  write-fails    the write of the request fails\n"
    "  read-fails     the read of the answer fails\n"
    "  no-answer      the surface takes the request and sends no answer\n"
    "  drop           the request is lost on its way: the surface never sees it\n"
    "  cut            the answer arrives cut to its first 3 bytes\n"
    "  garble-status  the answer's status byte arrives changed\n"
    "  unplug         the surface leaves the bus as the request is written, back 1 s later\n"
    "  forge-identity the answer to an enter-bootloader request names the other chip, well formed\n";

namespace {

std::optional<Fault> kindNamed(const std::string &name)
{
    using namespace std::chrono_literals;
    if (name == "write-fails")
        return Fault{Fault::WriteFails};
    if (name == "read-fails")
        return Fault{Fault::ReadFails};
    if (name == "no-answer")
        return Fault{Fault::NoAnswer};
    if (name == "drop")
        return Fault{Fault::Dropped};
    if (name == "cut") {
        Fault cut{Fault::Truncated};
        cut.length = 3;
        return cut;
    }
    if (name == "garble-status") {
        Fault garble{Fault::Garbled};
        garble.byteIndex = 1;
        garble.xorMask = 0x01;
        return garble;
    }
    if (name == "forge-identity")
        return Fault{Fault::ForgedIdentity};
    if (name == "unplug") {
        Fault unplug{Fault::UnplugAt};
        unplug.backAfter = 1000ms;
        return unplug;
    }
    return std::nullopt;
}

} // namespace

std::optional<Fault> parseFaultOption(const std::string &text, std::string *why)
{
    const size_t first = text.find(':');
    const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) {
        *why = "'" + text + "' is not KIND:STAGE:N";
        return std::nullopt;
    }
    std::optional<Fault> fault = kindNamed(text.substr(0, first));
    if (!fault) {
        *why = "unknown fault kind '" + text.substr(0, first) + "'";
        return std::nullopt;
    }
    const std::string stage = text.substr(first + 1, second - first - 1);
    if (stage != "1" && stage != "2") {
        *why = "the stage of '" + text + "' is not 1 or 2";
        return std::nullopt;
    }
    fault->chip = stage == "1" ? 0 : 1;
    const std::string where = text.substr(second + 1);
    if (where == "last") {
        fault->atExit = true;
        return fault;
    }
    errno = 0;
    char *end = nullptr;
    const long n = std::strtol(where.c_str(), &end, 10);
    if (where.empty() || *end != '\0' || errno != 0 || n < 1 || n > 1000000) {
        *why = "the exchange of '" + text + "' is not a number from 1 or 'last'";
        return std::nullopt;
    }
    fault->exchange = static_cast<int>(n);
    return fault;
}

} // namespace vireon::sim
