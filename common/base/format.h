// Text and number formatting of the screen runtime: display widths of
// UTF-8 text on the 80-column grid, PRINT USING fields and number entry.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace marula {

// One value handed to a PRINT USING format: a number or a text.
using UsingArg = std::variant<double, std::string>;

// Columns a character takes on the text grid: 1 when it is one byte in
// Shift-JIS (CP932) - ASCII and half-width katakana - and 2 otherwise.
int char_width(char32_t cp);

// Columns of a UTF-8 text (sum of char_width over its characters).
// Invalid UTF-8 bytes count one column each (they show as '?').
int display_width(std::string_view utf8);

// The characters of a UTF-8 text, one string each; an invalid byte
// becomes "?".
std::vector<std::string> split_chars(std::string_view utf8);

// The longest start of a UTF-8 text that takes at most `columns` columns
// (see display_width), never splitting a character.
std::string cut_to_width(std::string_view utf8, int columns);
// The text whole when it fits `columns`, else "…" and as much of its end
// as fits with it (for a path, the end names it best).
std::string end_to_width(std::string_view utf8, int columns);

// A text laid out in rows at most `columns` wide: a row for each of its
// lines (ended by a line feed), each cut where it is full; every row but
// the first starts with `indent` blanks. Any other control character (C0,
// DEL, C1) becomes a blank, so no row holds one.
std::vector<std::string> wrap_to_rows(std::string_view utf8, int columns, int indent);

// Decodes one UTF-8 character; invalid input gives U+FFFD.
char32_t decode_char(std::string_view one_char);
// Appends the UTF-8 of a code point (U+FFFD for one that has none).
void append_char(std::string& out, char32_t cp);

// PRINT USING: '#' digit positions with at most one '.', numbers
// right-aligned, rounded half away from zero on the exact binary value; a
// negative number takes one '#' for its '-'. "&  &" is a text field as wide
// as from one ampersand to the other, padded with blanks or cut; a cut
// never splits a full-width character (a blank stands in its place).
// Other characters are copied. A number too wide for its field is written
// as '%' followed by all its digits (same decimals). Fields take the args
// in order; when args remain after the last field, the format is used
// again from its start. Numbers handed to a text field, or texts to a
// number field, are shown as "?".
std::string format_using(std::string_view format, std::span<const UsingArg> args);
std::string format_using(std::string_view format, std::initializer_list<UsingArg> args);

// A number typed at a line entry: blanks around it are ignored, full-width
// digits, point, plus, minus (U+FF0D, U+2212, U+30FC) and 'Ｅ' count as
// their ASCII twins. Returns nothing for empty text, for text that is not
// a whole decimal number (optional sign, digits, optional point, optional
// exponent) and for results that are not finite.
std::optional<double> parse_number(std::string_view text);

}  // namespace marula
