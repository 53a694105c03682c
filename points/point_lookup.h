// A point asked for by name or by number, the way both the point list and
// marula-points take it: a stored name first (a name may be all digits),
// otherwise text of digits alone is the point's number.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/text_codec.h"
#include "job/job.h"

namespace marula::points {

// The number that text of ASCII or full-width digits alone stands for;
// nothing for any other text or for more digits than a number can have.
inline std::optional<std::int64_t> digits_number(std::string_view text) {
    std::u32string chars;
    if (!decode_utf8(text, chars) || chars.empty() || chars.size() > 18) return std::nullopt;
    std::int64_t number = 0;
    for (char32_t c : chars) {
        const char32_t digit = c >= U'０' && c <= U'９' ? c - U'０' : c - U'0';
        if (digit > 9) return std::nullopt;
        number = number * 10 + std::int64_t(digit);
    }
    return number;
}

inline job::Read<std::optional<job::Point>> find_by_name_or_number(const job::Job& job, std::string_view typed) {
    const std::string text = trim_blanks(typed);
    auto by_name = job.find(text);
    if (!by_name.ok() || by_name.value) return by_name;
    if (const auto number = digits_number(text)) return job.find_number(*number);
    return by_name;
}

}  // namespace marula::points
