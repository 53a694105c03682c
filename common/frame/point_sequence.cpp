// Ranges of names and parcels at the prompts of a point sequence.
#include "point_sequence.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "base/text_codec.h"
#include "entry.h"
#include "job/parcels.h"

namespace marula {

namespace {

constexpr std::string_view kRangeForm = "範囲は「K1..K7」のように、同じ名前に続く番号で入力して下さい。";
constexpr std::string_view kParcelForm = "画地は「@画地名」で入力して下さい。";
constexpr int kMostDigits = 18;  // below 10^18: every number fits a long long

struct RangeEnd {
    std::string prefix;
    std::string digits;
};

std::optional<RangeEnd> split_end(std::string_view text) {
    const std::string end = trim_blanks(text);
    std::size_t digits_from = end.size();
    while (digits_from > 0 && end[digits_from - 1] >= '0' && end[digits_from - 1] <= '9') --digits_from;
    const std::size_t digit_count = end.size() - digits_from;
    if (digit_count == 0 || digit_count > kMostDigits) return std::nullopt;
    return RangeEnd{end.substr(0, digits_from), end.substr(digits_from)};
}

std::int64_t number_of(const std::string& digits) {
    std::int64_t n = 0;
    for (char c : digits) n = n * 10 + (c - '0');
    return n;
}

// The width an end written with a leading zero sets ("07" sets 2).
int padded_width(const std::string& digits) { return digits.size() > 1 && digits[0] == '0' ? int(digits.size()) : 0; }

// What an answer at a prompt of the sequence stands for.
struct Reading {
    enum class Kind { name, refused, points } kind = Kind::name;
    std::string refusal;                                  // Kind::refused: the notice
    std::function<std::optional<std::string>()> next;     // Kind::points: the names in turn
};

Reading refused(std::string message) { return {Reading::Kind::refused, std::move(message), {}}; }

Reading range_reading(const NameRange& range) {
    auto i = std::make_shared<std::int64_t>(0);
    return {Reading::Kind::points, {}, [range, i]() -> std::optional<std::string> {
                if (*i >= range.count()) return std::nullopt;
                return range.name((*i)++);
            }};
}

Reading parcel_reading(Calculation& calc, std::string_view typed) {
    const std::string name = trim_blanks(typed);
    if (name.empty()) return refused(std::string(kParcelForm));
    const job::Parcels parcels(calc.job()->database());
    const auto found = parcels.find(name);
    if (!found.ok()) return refused(*found.trouble);
    if (!found.value) return refused("画地「" + name + "」は現場にありません。");
    auto names = std::make_shared<std::vector<std::string>>();
    for (const job::Point& v : found.value->vertices)
        names->push_back(v.name.empty() ? "#" + std::to_string(v.number) : v.name);
    // A chain along the parcel comes back to where it started.
    if (calc.sequence().closes_parcels && !names->empty()) names->push_back(names->front());
    auto i = std::make_shared<std::size_t>(0);
    return {Reading::Kind::points, {}, [names, i]() -> std::optional<std::string> {
                if (*i >= names->size()) return std::nullopt;
                return (*names)[(*i)++];
            }};
}

// The stored point of a name, read without a word on the prompt row (the
// caller says a trouble once the journal holds what it must).
job::Read<std::optional<job::Point>> lookup(Calculation& calc, std::string_view name) {
    const job::NameCheck check = job::check_name(name);
    if (!check.ok()) return {};
    return calc.job()->find(check.name);
}

// A name the job holds is that point; otherwise "@…" is a parcel and text
// holding ".." a range.
Reading read_answer(Calculation& calc, const std::string& typed, bool stored) {
    if (stored) return {};
    const std::string text = trim_blanks(typed);
    if (text.starts_with("@")) return parcel_reading(calc, std::string_view(text).substr(1));
    if (text.find("..") == std::string::npos) return {};
    if (const auto range = read_name_range(text)) return range_reading(*range);
    return refused(std::string(kRangeForm));
}

std::string missing_notice(const std::string& name) { return "「" + name + "」は現場にありません。"; }

std::string next_name(Calculation& calc, const std::function<std::string()>& ask) {
    Runtime& rt = calc.rt();
    Calculation::Sequence& sequence = calc.sequence();
    sequence.supplied.reset();
    if (sequence.next) {
        if (const auto name = sequence.next()) {
            const auto stored = lookup(calc, *name);
            if (stored.value) {
                rt.answer_supplied(*name);
                sequence.supplied = *stored.value;
                return *name;
            }
            calc.session().say_trouble(stored.trouble);
            rt.say(missing_notice(*name) + "範囲の入力はここまでです。");
        }
        sequence.next = nullptr;
    }
    for (;;) {
        std::string typed = ask();
        if (!calc.job() || ends_point_list(typed)) return typed;
        const auto stored = lookup(calc, typed);
        Reading reading = read_answer(calc, typed, stored.value.has_value());
        if (reading.kind == Reading::Kind::name) {
            calc.session().say_trouble(stored.trouble);
            return typed;
        }
        // The first point stands for the answer; an answer that enters
        // nothing leaves no line in the journal.
        std::optional<std::string> first;
        job::Read<std::optional<job::Point>> first_stored;
        if (reading.kind == Reading::Kind::points && (first = reading.next())) first_stored = lookup(calc, *first);
        if (first && first_stored.value) {
            rt.answer_taken_as(*first);
            sequence.next = std::move(reading.next);
            sequence.supplied = *first_stored.value;
            return *first;
        }
        rt.answer_withdrawn();
        calc.session().say_trouble(first_stored.trouble);
        rt.say(reading.kind == Reading::Kind::refused ? reading.refusal
                                                       : missing_notice(first.value_or(trim_blanks(typed))));
    }
}

}  // namespace

std::string NameRange::name(std::int64_t i) const {
    const std::int64_t n = last >= first ? first + i : first - i;
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*lld", width, static_cast<long long>(n));
    return prefix + digits;
}

std::optional<NameRange> read_name_range(std::string_view text) {
    const std::size_t dots = text.find("..");
    if (dots == std::string_view::npos || text.find("..", dots + 2) != std::string_view::npos) return std::nullopt;
    const auto from = split_end(text.substr(0, dots));
    const auto to = split_end(text.substr(dots + 2));
    if (!from || !to || from->prefix != to->prefix) return std::nullopt;
    NameRange range{from->prefix, number_of(from->digits), number_of(to->digits),
                    std::max(padded_width(from->digits), padded_width(to->digits))};
    // Each end reads back as it was written.
    if (range.name(0) != from->prefix + from->digits || range.name(range.count() - 1) != to->prefix + to->digits)
        return std::nullopt;
    return range;
}

std::string ask_sequence_name(Calculation& calc, int column, std::string_view prompt) {
    return next_name(calc, [&] { return ask_text(calc.rt(), column, prompt); });
}

std::string ask_sequence_list_name(Calculation& calc, int column, std::string_view lead) {
    return next_name(calc, [&] { return ask_list_name(calc.rt(), column, lead); });
}

std::optional<job::Point> take_supplied_point(Calculation& calc, std::string_view name) {
    auto& supplied = calc.sequence().supplied;
    if (!supplied || supplied->name != name) return std::nullopt;
    return std::exchange(supplied, std::nullopt);
}

}  // namespace marula
