// Display widths, PRINT USING and number entry.
#include "base/format.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace marula {
namespace {

// ---- UTF-8 ------------------------------------------------------------

// Length of the well-formed UTF-8 sequence at the start of `s` and its
// code point, or 0 when the first byte does not start one (stray
// continuation byte, overlong form, surrogate, beyond U+10FFFF, cut short).
std::size_t utf8_sequence(std::string_view s, char32_t& cp) {
    if (s.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < len) return 0;
    for (std::size_t i = 1; i < len; ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

// ---- widths through the Shift-JIS byte count ----------------------------

bool is_control(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp < 0xA0); }

// ---- PRINT USING ----------------------------------------------------------

struct Field {
    enum class Kind { Number, Text } kind;
    std::size_t begin;  // byte offsets in the format
    std::size_t end;
    int int_places = 0;  // '#' before the point
    int decimals = -1;   // '#' after the point; -1: no point
};

// A text field is '&', blanks, '&'.
std::optional<Field> text_field_at(std::string_view f, std::size_t i) {
    if (f[i] != '&') return std::nullopt;
    std::size_t j = i + 1;
    while (j < f.size() && f[j] == ' ') ++j;
    if (j >= f.size() || f[j] != '&') return std::nullopt;
    return Field{Field::Kind::Text, i, j + 1};
}

// A number field is a run of '#' with at most one '.' among or before them.
std::optional<Field> number_field_at(std::string_view f, std::size_t i) {
    const bool starts_with_point = f[i] == '.' && i + 1 < f.size() && f[i + 1] == '#';
    if (f[i] != '#' && !starts_with_point) return std::nullopt;
    Field field{Field::Kind::Number, i, i};
    std::size_t j = i;
    while (j < f.size()) {
        if (f[j] == '#') {
            if (field.decimals < 0)
                ++field.int_places;
            else
                ++field.decimals;
        } else if (f[j] == '.' && field.decimals < 0 && j + 1 < f.size() && f[j + 1] == '#') {
            field.decimals = 0;
        } else {
            break;
        }
        ++j;
    }
    field.end = j;
    return field;
}

std::optional<Field> field_at(std::string_view f, std::size_t i) {
    if (auto t = text_field_at(f, i)) return t;
    return number_field_at(f, i);
}

// The digits of |value| rounded to `decimals` places, half away from zero
// on the exact binary value: glibc writes the exact decimal expansion of a
// double when asked for enough places, so the first dropped digit and
// those after it tell the rounding exactly (an exact tie is a 5 followed
// by zeros and goes up, where printf itself would round to even).
std::string rounded_digits(double magnitude, int decimals) {
    // magnitude = f * 2^e with a 53-bit f, so its fraction ends at most
    // 53 - e binary places, and as many decimal places, after the point
    // (never more than 1074); one more place than asked is the least.
    int e = 0;
    std::frexp(magnitude, &e);
    const int places = std::max(decimals + 1, std::min(53 - e, 1074));
    std::vector<char> buf(static_cast<std::size_t>(places) + 320);
    std::snprintf(buf.data(), buf.size(), "%.*f", places, magnitude);
    std::string s(buf.data());
    const std::size_t point = s.find('.');
    std::string digits = s.substr(0, point) + s.substr(point + 1, decimals);
    const bool round_up = s[point + 1 + decimals] >= '5';
    if (round_up) {
        int k = static_cast<int>(digits.size()) - 1;
        while (k >= 0 && digits[k] == '9') digits[k--] = '0';
        if (k < 0)
            digits.insert(digits.begin(), '1');
        else
            ++digits[k];
    }
    // Back to "int.frac" with the integer part free of leading zeros
    // (a lone 0 stays).
    std::string int_part = digits.substr(0, digits.size() - decimals);
    const std::size_t nz = int_part.find_first_not_of('0');
    int_part = nz == std::string::npos ? "0" : int_part.substr(nz);
    if (decimals == 0) return int_part;
    return int_part + "." + digits.substr(digits.size() - decimals);
}

std::string format_number(const Field& field, double value) {
    const int width = static_cast<int>(field.end - field.begin);
    if (!std::isfinite(value)) return std::string(width, '*');
    const int decimals = field.decimals < 0 ? 0 : field.decimals;
    std::string text = rounded_digits(std::fabs(value), decimals);
    // A value that rounds to nothing carries no sign: -0.0003 shows 0.000.
    const bool zero = text.find_first_not_of("0.") == std::string::npos;
    if (std::signbit(value) && !zero) text.insert(text.begin(), '-');
    if (static_cast<int>(text.size()) <= width) return std::string(width - text.size(), ' ') + text;
    // A leading "0." gives way before the field overflows.
    const std::size_t zero_at = text[0] == '-' ? 1 : 0;
    if (field.decimals >= 0 && text.compare(zero_at, 2, "0.") == 0 && static_cast<int>(text.size()) - 1 == width)
        return text.erase(zero_at, 1);
    return "%" + text;
}

// Left-aligned in `width` columns; a full-width character that would
// stand across the edge is replaced by a blank.
std::string format_text(const std::string& value, int width) {
    std::string out;
    int used = 0;
    for (const std::string& ch : split_chars(value)) {
        const int w = display_width(ch);
        if (used + w > width) break;
        out += ch;
        used += w;
    }
    return out + std::string(width - used, ' ');
}

std::string format_field(const Field& field, const UsingArg& arg) {
    const int width = static_cast<int>(field.end - field.begin);
    if (field.kind == Field::Kind::Number) {
        if (const double* v = std::get_if<double>(&arg)) return format_number(field, *v);
        return std::string(width - 1, ' ') + "?";
    }
    if (const std::string* s = std::get_if<std::string>(&arg)) return format_text(*s, width);
    return format_text("?", width);
}

// ---- number entry -------------------------------------------------------

// The ASCII twin of a character a number may be typed with, or 0.
char number_char(char32_t cp) {
    if (cp < 0x80) return static_cast<char>(cp);
    if (cp >= 0xFF10 && cp <= 0xFF19) return static_cast<char>('0' + (cp - 0xFF10));
    switch (cp) {
        case 0xFF0E: return '.';
        case 0xFF0B: return '+';
        case 0xFF0D:
        case 0x2212:
        case 0x30FC: return '-';
        case 0xFF25: return 'E';
        case 0xFF45: return 'e';
        case 0x3000: return ' ';
        default: return 0;
    }
}

// Sign, digits with at most one point (at least one digit), optional
// exponent with its own sign and digits.
bool is_decimal_number(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    int digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        int exp_digits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exp_digits;
        if (exp_digits == 0) return false;
    }
    return i == s.size();
}

}  // namespace

// A character is as wide as its Shift-JIS (CP932) code is long: one byte
// for ASCII, the yen sign and overline that share ASCII's codes, and the
// half-width katakana; two for every other character, including those
// CP932 cannot write.
int char_width(char32_t cp) {
    if (cp < 0x80 || is_control(cp)) return 1;
    if (cp == 0x00A5 || cp == 0x203E) return 1;
    if (cp >= 0xFF61 && cp <= 0xFF9F) return 1;
    return 2;
}

int display_width(std::string_view utf8) {
    int width = 0;
    while (!utf8.empty()) {
        char32_t cp;
        std::size_t len = utf8_sequence(utf8, cp);
        if (len == 0) {
            width += 1;
            len = 1;
        } else {
            width += char_width(cp);
        }
        utf8.remove_prefix(len);
    }
    return width;
}

std::vector<std::string> split_chars(std::string_view utf8) {
    std::vector<std::string> chars;
    while (!utf8.empty()) {
        char32_t cp;
        const std::size_t len = utf8_sequence(utf8, cp);
        if (len == 0) {
            chars.emplace_back("?");
            utf8.remove_prefix(1);
        } else {
            chars.emplace_back(utf8.substr(0, len));
            utf8.remove_prefix(len);
        }
    }
    return chars;
}

std::string cut_to_width(std::string_view utf8, int columns) {
    std::string fitted;
    int width = 0;
    for (const std::string& ch : split_chars(utf8)) {
        const int w = char_width(decode_char(ch));
        if (width + w > columns) break;
        fitted += ch;
        width += w;
    }
    return fitted;
}

std::string end_to_width(std::string_view utf8, int columns) {
    if (display_width(utf8) <= columns) return std::string(utf8);
    const std::vector<std::string> chars = split_chars(utf8);
    std::string tail;
    int width = display_width("…");
    for (auto ch = chars.rbegin(); ch != chars.rend(); ++ch) {
        const int w = char_width(decode_char(*ch));
        if (width + w > columns) break;
        tail.insert(0, *ch);
        width += w;
    }
    return "…" + tail;
}

std::vector<std::string> wrap_to_rows(std::string_view utf8, int columns, int indent) {
    const std::string margin(std::size_t(indent), ' ');
    std::vector<std::string> rows{std::string()};
    int width = 0;
    bool line_ended = false;
    for (const std::string& ch : split_chars(utf8)) {
        const char32_t cp = decode_char(ch);
        if (cp == U'\n') {
            if (line_ended) rows.push_back(margin);  // an empty line keeps its row
            line_ended = true;
            continue;
        }
        const bool control = is_control(cp);
        const int w = control ? 1 : char_width(cp);
        if (line_ended || width + w > columns) {
            rows.push_back(margin);
            width = indent;
            line_ended = false;
        }
        rows.back() += control ? std::string(" ") : ch;
        width += w;
    }
    return rows;
}

char32_t decode_char(std::string_view one_char) {
    char32_t cp;
    if (utf8_sequence(one_char, cp) == 0) return 0xFFFD;
    return cp;
}

void append_char(std::string& out, char32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string format_using(std::string_view format, std::span<const UsingArg> args) {
    std::string out;
    std::size_t next_arg = 0;
    bool format_has_field = false;
    do {
        std::size_t i = 0;
        while (i < format.size()) {
            const std::optional<Field> field = field_at(format, i);
            if (!field) {
                out += format[i++];
                continue;
            }
            format_has_field = true;
            // Output stops at the first field no value is left for.
            if (next_arg >= args.size()) return out;
            out += format_field(*field, args[next_arg++]);
            i = field->end;
        }
    } while (format_has_field && next_arg < args.size());
    return out;
}

std::string format_using(std::string_view format, std::initializer_list<UsingArg> args) {
    return format_using(format, std::span<const UsingArg>(args.begin(), args.size()));
}

std::optional<double> parse_number(std::string_view text) {
    std::string ascii;
    while (!text.empty()) {
        char32_t cp;
        const std::size_t len = utf8_sequence(text, cp);
        if (len == 0) return std::nullopt;
        const char c = number_char(cp);
        if (c == 0) return std::nullopt;
        ascii += c;
        text.remove_prefix(len);
    }
    const std::size_t first = ascii.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const std::size_t last = ascii.find_last_not_of(" \t");
    std::string_view number = std::string_view(ascii).substr(first, last - first + 1);
    if (!is_decimal_number(number)) return std::nullopt;
    // from_chars takes no '+' and reads independently of the locale.
    if (number[0] == '+') number.remove_prefix(1);
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || end != number.data() + number.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace marula
