// Points, names and millimetres.
#include "job/point.h"

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <limits>

#include "base/text_codec.h"
#include "base/format.h"

namespace marula::job {

// The product of a double and 1000 needs at most 53 + 10 bits: exact in a
// long double of 64 or more bits (x86's extended, or quad precision), so
// rounding it is rounding the exact binary value, as PRINT USING does.
static_assert(std::numeric_limits<long double>::digits >= 63, "metres * 1000 must be exact in long double");

namespace {

bool is_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::optional<Millimetres> to_millimetres(double metres) {
    if (!std::isfinite(metres) || std::fabs(metres) >= 1e8) return std::nullopt;
    // roundl rounds half away from zero; the product has no rounding error.
    const long double rounded = std::roundl(static_cast<long double>(metres) * 1000.0L);
    const auto mm = static_cast<Millimetres>(rounded);
    if (mm >= kCoordinateLimit || mm <= -kCoordinateLimit) return std::nullopt;  // 99999999.9996 rounds to 1e8 m
    return mm;
}

double to_metres(Millimetres mm) {
    // The division by an exact 1000 is correctly rounded: the double nearest
    // mm/1000, which is what reading the "%.3f" text back gives.
    return double(mm) / 1000.0;
}

std::string format_metres(Millimetres mm) {
    const bool negative = mm < 0;
    const unsigned long long magnitude = negative ? 0ULL - static_cast<unsigned long long>(mm)
                                                  : static_cast<unsigned long long>(mm);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%s%llu.%03llu", negative ? "-" : "", magnitude / 1000, magnitude % 1000);
    return buf;
}

std::optional<Millimetres> parse_millimetres(std::string_view text) {
    const auto value = parse_number(text);
    if (!value) return std::nullopt;
    return to_millimetres(*value);
}

bool same_place(const Point& a, const Point& b) {
    return a.x == b.x && a.y == b.y && (!a.h || !b.h || *a.h == *b.h);
}

NameCheck check_name(std::string_view typed) {
    NameCheck check{trim_blanks(typed), NameProblem::none};
    const std::string& name = check.name;
    if (name.empty()) {
        check.problem = NameProblem::empty;
        return check;
    }
    if (name == "*") {
        check.problem = NameProblem::lone_asterisk;
        return check;
    }
    auto character_problem = [](char32_t cp) {
        if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) return NameProblem::control_character;
        if (cp == U',' || cp == U'"') return NameProblem::comma_or_quote;
        return NameProblem::none;
    };
    // A byte of plain ASCII is its own character: no decoding needed.
    std::u32string decoded;
    const bool ascii = is_ascii(name);
    if (!ascii && !decode_utf8(name, decoded)) {
        check.problem = NameProblem::not_cp932;
        return check;
    }
    if (ascii) {
        for (const char c : name)
            if ((check.problem = character_problem(static_cast<unsigned char>(c))) != NameProblem::none) return check;
    } else {
        for (const char32_t cp : decoded)
            if ((check.problem = character_problem(cp)) != NameProblem::none) return check;
    }
    // A spreadsheet opening an export would run "=…", "+…", "-…" and "@…" as
    // formulas; "@" and ".." are also how parcels and ranges are typed.
    if (name.find_first_of("=+-@") == 0) {
        check.problem = NameProblem::formula_start;
        return check;
    }
    if (name.find("..") != std::string::npos) {
        check.problem = NameProblem::double_dot;
        return check;
    }
    const auto length = cp932_length(name);
    if (!length) check.problem = NameProblem::not_cp932;
    else if (*length > 20) check.problem = NameProblem::too_long;
    return check;
}

std::string describe(NameProblem problem) {
    switch (problem) {
    case NameProblem::none: return "";
    case NameProblem::empty: return "点名がありません";
    case NameProblem::too_long: return "点名が長すぎます（全角10字・半角20字まで）";
    case NameProblem::not_cp932: return "点名に使えない文字があります";
    case NameProblem::control_character: return "点名に制御文字があります";
    case NameProblem::comma_or_quote: return "点名に「,」「\"」は使えません";
    case NameProblem::lone_asterisk: return "「*」だけの点名は使えません";
    case NameProblem::formula_start: return "点名の先頭に「=」「+」「-」「@」は使えません";
    case NameProblem::double_dot: return "点名に「..」は使えません";
    }
    return "";
}

namespace {

// The length of the UTF-8 character at the start of `text`, or 1 for a
// byte that starts none (counted as a character of its own).
std::size_t character_length(std::string_view text) {
    const unsigned char lead = static_cast<unsigned char>(text[0]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length > text.size()) return 1;
    std::u32string ignored;
    return decode_utf8(text.substr(0, length), ignored) ? length : 1;
}

}  // namespace

JobNameCheck check_job_name(std::string_view typed) {
    JobNameCheck check{trim_blanks(typed), JobNameProblem::none};
    std::u32string chars;
    if (!decode_utf8(check.name, chars)) {
        check.problem = JobNameProblem::not_cp932;
        return check;
    }
    for (const char32_t cp : chars) {
        if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0)) {
            check.problem = JobNameProblem::control_character;
            return check;
        }
        if (cp == U',' || cp == U'"') {
            check.problem = JobNameProblem::comma_or_quote;
            return check;
        }
    }
    if (chars.size() > std::size_t(kJobNameCharacters)) check.problem = JobNameProblem::too_long;
    else if (!cp932_length(check.name)) check.problem = JobNameProblem::not_cp932;
    return check;
}

std::string describe(JobNameProblem problem) {
    switch (problem) {
    case JobNameProblem::none: return "";
    case JobNameProblem::too_long: return "現場名が長すぎます（40字まで）";
    case JobNameProblem::not_cp932: return "現場名に使えない文字があります";
    case JobNameProblem::control_character: return "現場名に制御文字があります";
    case JobNameProblem::comma_or_quote: return "現場名に「,」「\"」は使えません";
    }
    return "";
}

std::string cut_job_name(std::string_view name) {
    std::size_t end = 0;
    for (int count = 0; count < kJobNameCharacters && end < name.size(); ++count)
        end += character_length(name.substr(end));
    return std::string(name.substr(0, end));
}

namespace {

// Half-width katakana U+FF61…U+FF9F and their full-width forms.
constexpr char16_t kFullKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,
};

bool takes_voiced_mark(char32_t kana) {
    // カ…ト (the even code points of that run are the plain ones) and ハ…ホ.
    return (kana >= 0x30AB && kana <= 0x30C8) || (kana >= 0x30CF && kana <= 0x30DB) || kana == 0x30A6;
}

}  // namespace

std::string fold_width_and_case(std::string_view name) {
    // Plain ASCII, the usual name, folds byte by byte: only a-z change.
    if (is_ascii(name)) {
        std::string folded(name);
        for (char& c : folded)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return folded;
    }
    std::u32string chars;
    if (!decode_utf8(name, chars)) return std::string(name);
    std::u32string folded;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        char32_t cp = chars[i];
        if (cp >= 0xFF01 && cp <= 0xFF5E) cp = cp - 0xFF01 + 0x21;  // full-width ASCII
        if (cp == 0x3000) cp = U' ';
        if (cp >= U'a' && cp <= U'z') cp = cp - U'a' + U'A';
        if (cp >= 0xFF61 && cp <= 0xFF9F) {
            cp = kFullKana[cp - 0xFF61];
            // A following half-width voiced or semi-voiced mark joins the kana.
            if (i + 1 < chars.size() && takes_voiced_mark(cp)) {
                if (chars[i + 1] == 0xFF9E) {
                    cp = cp == 0x30A6 ? 0x30F4 : cp + 1;
                    ++i;
                } else if (chars[i + 1] == 0xFF9F && cp >= 0x30CF && cp <= 0x30DB) {
                    cp = cp + 2;
                    ++i;
                }
            }
        }
        folded += cp;
    }
    return encode_utf8(folded);
}

std::optional<int> cp932_length(std::string_view utf8) {
    const auto bytes = utf8_to_cp932(utf8);
    if (!bytes) return std::nullopt;
    return static_cast<int>(bytes->size());
}

}  // namespace marula::job
