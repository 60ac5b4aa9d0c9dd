// Small pieces of wording the engine's sentences share: numbers as the user
// reads them, and a sentence begun or continued.
#ifndef VIREON_ENGINE_WORDING_H
#define VIREON_ENGINE_WORDING_H

#include <cstdint>
#include <string>

namespace vireon::engine {

// `value` in lower-case hex, at least `digits` digits: hex(11, 2) is "0b".
std::string hex(uint64_t value, int digits);
// Seconds from milliseconds as the user reads them: 5000 is "5", 300 is
// "0.3", 1250 is "1.25".
std::string seconds(long long milliseconds);
// The same with one decimal always: 300 is "0.3", 2000 is "2.0".
std::string secondsTenths(long long milliseconds);
// "The surface ..." as "the surface ...", to continue a sentence.
std::string lowerFirst(std::string text);
// "install the rule" as "Install the rule.", a sentence of its own.
std::string asSentence(std::string text);

} // namespace vireon::engine

#endif
