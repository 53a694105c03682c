// Text encodings: UTF-8 and CP932 (through glibc's
// iconv "CP932", which writes NEC and IBM extensions such as ① and 髙 that
// strict Shift_JIS refuses).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marula {

// Strict UTF-8 to code points; false on any invalid sequence.
bool decode_utf8(std::string_view utf8, std::u32string& out);
std::string encode_utf8(std::u32string_view chars);
bool is_valid_utf8(std::string_view bytes);

// Through iconv; nothing when a character has no form on the other side.
std::optional<std::string> utf8_to_cp932(std::string_view utf8);
std::optional<std::string> cp932_to_utf8(std::string_view cp932);

// Blanks, tabs and U+3000 taken off both ends.
std::string trim_blanks(std::string_view text);
// The same as a view into `text`, for a look that needs no copy.
std::string_view blanks_trimmed(std::string_view text);

// Whether an answer says yes: Y or y, half- or full-width, blanks around
// it ignored. Anything else (an empty answer too) is no.
bool is_yes(std::string_view answer);

}  // namespace marula
