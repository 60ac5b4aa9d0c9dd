// hidapi's texts are wide strings; everything else of ours is UTF-8.
#ifndef VIREON_CORE_WIDE_TEXT_H
#define VIREON_CORE_WIDE_TEXT_H

#include <string>

namespace vireon::core {

// `text` in UTF-8; null reads as empty.
std::string utf8(const wchar_t *text);
inline std::string utf8(const std::wstring &text) { return utf8(text.c_str()); }

} // namespace vireon::core

#endif
