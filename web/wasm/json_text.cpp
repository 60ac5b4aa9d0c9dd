#include "json_text.h"

#include <cstdio>

namespace vireon::web {

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

void JsonObject::name(const char *name)
{
    if (body_.size() > 1)
        body_ += ',';
    body_ += quoted(name) + ':';
}

JsonObject &JsonObject::add(const char *field, const std::string &value)
{
    name(field);
    body_ += quoted(value);
    return *this;
}

JsonObject &JsonObject::add(const char *field, long long value)
{
    name(field);
    body_ += std::to_string(value);
    return *this;
}

JsonObject &JsonObject::add(const char *field, bool value)
{
    name(field);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject &JsonObject::raw(const char *field, const std::string &json)
{
    name(field);
    body_ += json;
    return *this;
}

} // namespace vireon::web
