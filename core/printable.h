// Texts from outside (paths, a device's strings, hidapi's texts) made safe
// to write where one line is one entry: the log, a terminal, a tooltip.
#ifndef VIREON_CORE_PRINTABLE_H
#define VIREON_CORE_PRINTABLE_H

#include <QString>

namespace vireon::core {

// A USB string descriptor holds at most 126 characters; a device that
// reports a longer text is cut to this many.
constexpr int kMaxDeviceTextLength = 126;

// `text` with every control character written out: a line feed as "\n", a
// carriage return as "\r", a tab as "\t", any other as "\xHH" (C0, DEL and
// C1), and the Unicode line and paragraph separators and the bidirectional
// controls (U+202A-U+202E, U+2066-U+2069, U+200E, U+200F, U+061C) as
// "\uHHHH" ("\u2028", "\u202e").
QString escapeControls(const QString &text);

// A text a device reported, as a wide string (null: none): controls
// escaped, anything that is not a character replaced by U+FFFD, and cut to
// kMaxDeviceTextLength characters with "..." appended when longer.
QString deviceText(const wchar_t *text);

// The same for a text already read into a QString.
QString deviceText(const QString &text);

} // namespace vireon::core

#endif
