#include "hid_uevent.h"

namespace vireon::core::hid {
namespace {

std::optional<unsigned long> hexField(std::string_view field)
{
    if (field.empty() || field.size() > 8)
        return std::nullopt;
    unsigned long value = 0;
    for (const char c : field) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + unsigned(digit);
    }
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
