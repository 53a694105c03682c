// Text that came from outside (a file, a file name, the database) made safe
// to print: a control character could move the cursor, retitle a terminal
// or start a forged line, so each one is shown as \xNN and one record is
// always one line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace marula {

// The text with every C0 control (U+0000–U+001F), DEL (U+007F) and C1
// control (U+0080–U+009F) written as "\xNN", NN its code point in two
// upper-case hex digits, and every byte that is no part of valid UTF-8 as
// "\xNN" of that byte. Everything else, the backslash included, as it is.
std::string printable(std::string_view text);

// At most the first `max_bytes` bytes of the text, cut before a character
// that would not fit whole, made printable as above, with "…" after it when
// something was left out: the offending field quoted in a message, which
// stays one short line whatever the field held.
inline constexpr std::size_t kQuotedBytes = 40;
std::string printable_quote(std::string_view text, std::size_t max_bytes = kQuotedBytes);

// Whether the text is shown as it is: it holds no control character and
// no stray byte (printable(text) == text).
bool is_printable(std::string_view text);

// The text without its control characters (as above); everything else,
// stray bytes included, as it is. What a line entry keeps of typing.
std::string without_control_characters(std::string_view text);

}  // namespace marula
