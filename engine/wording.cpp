#include "wording.h"

#include <cctype>
#include <cstdio>

namespace vireon::engine {

std::string hex(uint64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*llx", digits, static_cast<unsigned long long>(value));
    return text;
}

std::string seconds(long long milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(milliseconds) / 1000.0);
    std::string out = text;
    // As few decimals as the value needs.
    while (!out.empty() && out.back() == '0')
        out.pop_back();
    if (!out.empty() && out.back() == '.')
        out.pop_back();
    return out;
}

std::string secondsTenths(long long milliseconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(milliseconds) / 1000.0);
    return text;
}

std::string lowerFirst(std::string text)
{
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

std::string asSentence(std::string text)
{
    if (text.empty())
        return text;
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (text.back() != '.')
        text += '.';
    return text;
}

} // namespace vireon::engine
