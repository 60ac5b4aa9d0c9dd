// A few JSON values written by hand for the page: the engine's steps, lines
// and outcomes cross to JavaScript as JSON text.
#ifndef VIREON_WEB_JSON_TEXT_H
#define VIREON_WEB_JSON_TEXT_H

#include <string>

namespace vireon::web {

// `text` as a JSON string, quotes included; control characters escaped.
std::string quoted(const std::string &text);

// An object written field by field: JsonObject().add("a", 1).add("b", "x").text().
class JsonObject {
public:
    JsonObject &add(const char *name, const std::string &value);
    JsonObject &add(const char *name, const char *value) { return add(name, std::string(value)); }
    JsonObject &add(const char *name, long long value);
    JsonObject &add(const char *name, int value) { return add(name, static_cast<long long>(value)); }
    JsonObject &add(const char *name, bool value);
    // A value that is JSON text already (an object, an array).
    JsonObject &raw(const char *name, const std::string &json);
    std::string text() const { return body_ + "}"; }

private:
    void name(const char *name);
    std::string body_ = "{";
};

} // namespace vireon::web

#endif
