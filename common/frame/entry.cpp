#include "entry.h"

#include <utility>

#include "entry_detail.h"
#include "survey/survey.h"

namespace marula {

namespace {

void place_prompt(Runtime& rt, int column, int color = kPromptColor) {
    clear_prompt_row(rt);
    rt.locate(column, kPromptRow);
    rt.color(color, kStyleNormal);
}

// Columns always left for the answer after the prompt.
constexpr int kAnswerRoom = 12;

}  // namespace

// A prompt that carries a typed name can be as long as the name: it is cut
// so that the answer still has room on the prompt row instead of wrapping
// over the question's own start.
std::string detail::fit_prompt(std::string_view prompt, int column) {
    int room = kColumns - kAnswerRoom - column;
    std::string fitted;
    int width = 0;
    for (const std::string& ch : split_chars(prompt)) {
        int w = char_width(decode_char(ch));
        if (width + w > room) break;
        fitted += ch;
        width += w;
    }
    return fitted;
}

std::string ask_text(Runtime& rt, int column, std::string_view prompt) {
    place_prompt(rt, column);
    std::string text = rt.input_text(detail::fit_prompt(prompt, column));
    clear_prompt_row(rt);
    return text;
}

void ask_text_keeping(Runtime& rt, int column, std::string_view prompt, std::string& text) {
    std::string typed = ask_text(rt, column, prompt);
    if (!typed.empty()) text = std::move(typed);
}

double detail::ask_number(Runtime& rt, int column, std::string_view prompt, std::optional<double> preset,
                          int color) {
    place_prompt(rt, column, color);
    double value = rt.input_number(detail::fit_prompt(prompt, column), preset);
    // The answer is wiped from the prompt row once it is taken.
    rt.color(kPromptColor, kStyleNormal);
    clear_prompt_row(rt);
    return value;
}

std::optional<AngleEntry> read_angle(double packed, AngleKind kind, double nudge_in, double nudge_out) {
    if (!packed_angle_is_valid(packed, nudge_in)) return std::nullopt;
    PackedAngle split = dms_to_degrees(packed, nudge_in, nudge_out, kind);
    AngleEntry entry;
    entry.packed = packed;
    entry.degrees = split.degrees;
    entry.d = static_cast<int>(split.typed.degrees);
    entry.m = static_cast<int>(split.typed.minutes);
    entry.s = static_cast<int>(split.typed.seconds);
    return entry;
}

void echo_name(Runtime& rt, int column, int row, std::string_view name, int color, int style,
               std::string_view field) {
    rt.color(color, style);
    rt.locate(column, row);
    rt.print_using(field, {std::string(name)});
    rt.color(kPromptColor, kStyleNormal);
}

void echo_number(Runtime& rt, int column, int row, std::string_view format, double value, int color,
                 int style) {
    rt.color(color, style);
    rt.locate(column, row);
    rt.print_using(format, {value});
    rt.color(kPromptColor, kStyleNormal);
}

void echo_dms(Runtime& rt, int column, int row, int d, int m, int s, int color, int style,
              std::string_view degree_format) {
    int w = static_cast<int>(degree_format.size());
    rt.color(color, style);
    rt.locate(column, row);
    rt.print_using(degree_format, {double(d)});
    rt.locate(column + w, row);
    rt.print("-");
    rt.print_using("##", {double(m)});
    rt.print("-");
    rt.print_using("##", {double(s)});
    rt.color(kPromptColor, kStyleNormal);
}

}  // namespace marula
