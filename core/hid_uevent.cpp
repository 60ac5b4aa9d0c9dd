#include "hid_uevent.h"

#include <charconv>

namespace vireon::core::hid {
namespace {

// One to eight hex digits, nothing else (no sign, no "0x").
std::optional<unsigned long> hexField(std::string_view field)
{
    unsigned long value = 0;
    const char *end = field.data() + field.size();
    if (field.empty() || field.size() > 8 || std::from_chars(field.data(), end, value, 16).ptr != end)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<std::string> ueventValue(std::string_view uevent, std::string_view key)
{
    while (!uevent.empty()) {
        const size_t end = uevent.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::string_view line = uevent.substr(0, end);
        uevent.remove_prefix(end + 1);
        if (line.size() > key.size() && line.compare(0, key.size(), key) == 0 && line[key.size()] == '=')
            return std::string(line.substr(key.size() + 1));
    }
    return std::nullopt;
}

std::optional<HidId> parseHidId(std::string_view value)
{
    const size_t first = value.find(':');
    const size_t second = first == std::string_view::npos ? first : value.find(':', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const auto bus = hexField(value.substr(0, first));
    const auto vendor = hexField(value.substr(first + 1, second - first - 1));
    const auto product = hexField(value.substr(second + 1));
    if (!bus || !vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF)
        return std::nullopt;
    return HidId{unsigned(*bus), static_cast<unsigned short>(*vendor), static_cast<unsigned short>(*product)};
}

} // namespace vireon::core::hid
