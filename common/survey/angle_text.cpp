#include "survey/angle_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/text_codec.h"

namespace marula {
namespace {

constexpr const char* kMinusSign = "\u2212";

// ---- writing ----------------------------------------------------------

std::string dms_text(double degrees, int second_decimals, bool always_signed) {
    if (!std::isfinite(degrees) || std::fabs(degrees) >= 1e6) return "*";
    const int decimals = std::clamp(second_decimals, 0, kMaxSecondDecimals);
    long long per_second = 1;
    for (int i = 0; i < decimals; ++i) per_second *= 10;
    // One rounding, on the angle in the smallest unit shown; everything
    // after is whole-number arithmetic, so the carries into the minute and
    // the degree happen by themselves. 3600·10^d is exact in a double, and
    // under a million degrees the count stays below 2^53.
    const long long units = std::llround(std::fabs(degrees) * (3600.0 * static_cast<double>(per_second)));
    const long long whole_seconds = units / per_second;
    const long long fraction = units % per_second;
    const bool negative = degrees < 0 && units != 0;

    std::string text = negative ? kMinusSign : (always_signed ? "+" : "");
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lld\u00B0%02lld\u2032%02lld", whole_seconds / 3600, whole_seconds / 60 % 60,
                  whole_seconds % 60);
    text += buf;
    if (decimals > 0) {
        std::snprintf(buf, sizeof buf, ".%0*lld", decimals, fraction);
        text += buf;
    }
    return text + "\u2033";
}

// ---- reading ----------------------------------------------------------

// What each character of an angle's text stands for, after full-width
// forms and the marks are brought to one spelling: digits, '.', '+', '-',
// ' ', and 'd', 'm', 's' for the degree, minute and second marks. Zero
// for anything else.
char angle_char(char32_t cp) {
    if (cp >= '0' && cp <= '9') return static_cast<char>(cp);
    if (cp >= 0xFF10 && cp <= 0xFF19) return static_cast<char>('0' + (cp - 0xFF10));
    switch (cp) {
        case '.': case 0xFF0E: return '.';
        case '+': case 0xFF0B: return '+';
        case '-': case 0x2212: case 0xFF0D: return '-';
        case ' ': case '\t': case 0x3000: return ' ';
        case 0x00B0: case 0x5EA6: return 'd';                          // ° 度
        // ’ and ” are what a word processor makes of ' and ".
        case '\'': case 0x2019: case 0x2032: case 0xFF07: case 0x5206: return 'm';  // ' ’ ′ ＇ 分
        case '"': case 0x201D: case 0x2033: case 0xFF02: case 0x79D2: return 's';    // " ” ″ ＂ 秒
        default: return 0;
    }
}

// The text in angle_char's spelling, "''" (two minute marks) read as the
// second mark; nothing when a character has no meaning in an angle.
std::optional<std::string> normalised(std::string_view text) {
    std::u32string chars;
    if (!decode_utf8(text, chars)) return std::nullopt;
    std::string out;
    for (char32_t cp : chars) {
        const char c = angle_char(cp);
        if (c == 0) return std::nullopt;
        if (c == 'm' && !out.empty() && out.back() == 'm') {
            out.back() = 's';
            continue;
        }
        out += c;
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return std::nullopt;
    return out.substr(first, out.find_last_not_of(' ') + 1 - first);
}

// One number of the text and the unit it counts: 0 degrees, 1 minutes,
// 2 seconds.
struct Part {
    double value = 0;
    bool has_fraction = false;
    int unit = 0;
    bool marked = false;
};

// Digits with at most one point between digits, from `at`; advances `at`.
std::optional<Part> read_number(const std::string& s, std::size_t& at) {
    const std::size_t begin = at;
    auto digits = [&] {
        const std::size_t from = at;
        while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
        return at > from;
    };
    if (!digits()) return std::nullopt;
    Part p;
    if (at < s.size() && s[at] == '.') {
        ++at;
        if (!digits()) return std::nullopt;
        p.has_fraction = true;
    }
    // Digits and one point only: from_chars cannot meet "inf" or "nan" here,
    // and it refuses digits too many for a double ("1" and 400 zeros).
    const auto [end, error] = std::from_chars(s.data() + begin, s.data() + at, p.value);
    if (error != std::errc() || end != s.data() + at) return std::nullopt;
    return p;
}

// The numbers of the text in order, each with the unit its mark gives
// (or nothing yet); nothing when the text is not numbers, marks and
// blanks.
std::optional<std::vector<Part>> read_parts(const std::string& s) {
    std::vector<Part> parts;
    std::size_t at = 0;
    while (at < s.size()) {
        if (s[at] == ' ') {
            ++at;
            continue;
        }
        std::optional<Part> part = read_number(s, at);
        if (!part) return std::nullopt;
        while (at < s.size() && s[at] == ' ') ++at;
        if (at < s.size() && (s[at] == 'd' || s[at] == 'm' || s[at] == 's')) {
            part->unit = s[at] == 'd' ? 0 : s[at] == 'm' ? 1 : 2;
            part->marked = true;
            ++at;
        }
        parts.push_back(*part);
    }
    return parts;
}

// Gives every part its unit and checks the order: degrees first, then
// minutes, then seconds, none skipped or repeated; an unmarked part after
// a marked one counts the next unit. Text with no marks at all is one
// number (degrees) or three (D M S): two bare numbers say nothing sure.
bool assign_units(std::vector<Part>& parts) {
    const bool any_mark = std::any_of(parts.begin(), parts.end(), [](const Part& p) { return p.marked; });
    if (parts.empty() || parts.size() > 3) return false;
    if (!any_mark && parts.size() == 2) return false;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const int expected = static_cast<int>(i);
        if (parts[i].marked && parts[i].unit != expected) return false;
        parts[i].unit = expected;
        if (parts[i].has_fraction && i + 1 != parts.size()) return false;
        if (expected > 0 && !(parts[i].value < 60)) return false;
    }
    return true;
}

}  // namespace

std::string format_dms(double degrees, int second_decimals) { return dms_text(degrees, second_decimals, false); }

std::string format_signed_dms(double degrees, int second_decimals) {
    return dms_text(degrees, second_decimals, true);
}

std::optional<double> parse_unlimited_degrees(std::string_view text) {
    std::optional<std::string> s = normalised(text);
    if (!s) return std::nullopt;
    bool negative = false;
    if ((*s)[0] == '+' || (*s)[0] == '-') {
        negative = (*s)[0] == '-';
        s->erase(0, 1);
    }
    std::optional<std::vector<Part>> parts = read_parts(*s);
    if (!parts || !assign_units(*parts)) return std::nullopt;
    double value = 0;
    for (const Part& p : *parts) value = value + (p.unit == 0 ? p.value : p.unit == 1 ? p.value / 60 : p.value / 3600);
    // +0 keeps "-0" from giving a negative zero.
    return (negative ? -value : value) + 0.0;
}

std::optional<double> parse_degrees(std::string_view text) {
    const std::optional<double> value = parse_unlimited_degrees(text);
    if (!value || !(std::fabs(*value) <= 360)) return std::nullopt;
    return value;
}

}  // namespace marula
