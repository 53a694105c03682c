// Known points offered from the job, points typed under a new name added
// to it, and azimuths worked out from stored coordinates.
#include <cstdio>
#include <cstdlib>

#include "bounded_entry.h"
#include "calculation.h"
#include "entry.h"
#include "point_sequence.h"
#include "screen.h"

namespace marula {

namespace {

std::string metres_text(job::Millimetres mm) { return job::format_metres(mm); }

// One coordinate of a known point: offered from the job when stored,
// checked against the stored value when typed.
struct Coordinate {
    double value = 0;
    bool typed = false;  // typed by the user (not a stored value or a preset)
};

Coordinate ask_coordinate(Calculation& calc, const KnownPointQuestions& q, bool is_x,
                          const std::optional<job::Point>& stored) {
    Runtime& rt = calc.rt();
    const std::string& prompt = is_x ? q.x_prompt : q.y_prompt;
    if (!stored) {
        const std::optional<double> preset = is_x ? q.x_preset : q.y_preset;
        if (!preset) return {ask_coordinate_entry(rt, q.column, prompt), true};
        // A demonstration preset taken by an empty answer is not the
        // surveyor's point: it is used, never added to the job.
        if (auto typed = ask_bounded_number_or_empty(rt, q.column, prompt, kCoordinateBounds)) return {*typed, true};
        return {*preset, false};
    }
    const job::Millimetres mm = is_x ? stored->x : stored->y;
    const std::string offer = metres_text(mm);
    const OfferedAnswer a = ask_offered_number(rt, q.column, prompt, kCoordinateBounds, offer);
    if (a.offer_taken) calc.took_from_job(*stored, rt.answer_mark());
    if (!a.offer_taken) {
        const auto typed_mm = job::to_millimetres(a.value);
        if (typed_mm && std::llabs(*typed_mm - mm) >= 1) {
            rt.say(std::string(is_x ? "Ｘ" : "Ｙ") + "は現場の" + stored->name + "と違います（現場 " + offer +
                   "、入力 " + metres_text(*typed_mm) + "）。現場の点はそのままです。");
        }
    }
    return {a.value, !a.offer_taken};
}

}  // namespace

KnownPoint ask_known_coordinates(Calculation& calc, std::string name, const KnownPointQuestions& q,
                                 const KnownPointEchoes& echoes) {
    Runtime& rt = calc.rt();
    KnownPoint point;
    point.name = std::move(name);
    if (const auto supplied = take_supplied_point(calc, point.name)) {
        // Both offers taken, as Enter would take them: read as typed, and
        // journaled as typed.
        for (const bool is_x : {true, false}) {
            const std::string offer = metres_text(is_x ? supplied->x : supplied->y);
            rt.answer_supplied(offer);
            calc.took_from_job(*supplied, rt.answer_mark());
            const double value = parse_number(offer).value_or(0.0);
            (is_x ? point.at.x : point.at.y) = value;
            const auto& echo = is_x ? echoes.x : echoes.y;
            if (echo) echo(value);
        }
        return point;
    }
    const std::optional<job::Point> stored = calc.stored_point(point.name);
    job::Job* job = calc.job();
    if (job && !stored) {
        const job::NameCheck check = job::check_name(point.name);
        if (check.ok())
            if (auto near = job->near_miss(check.name); near.ok() && near.value)
                rt.say("似た点名「" + *near.value + "」があります（全角・半角、大文字・小文字の違い）。");
    }
    const Coordinate x = ask_coordinate(calc, q, true, stored);
    point.at.x = x.value;
    if (echoes.x) echoes.x(point.at.x);
    const Coordinate y = ask_coordinate(calc, q, false, stored);
    point.at.y = y.value;
    if (echoes.y) echoes.y(point.at.y);
    point.from_preset = !stored && ((q.x_preset && !x.typed) || (q.y_preset && !y.typed));

    // A new point typed whole is the job's from now on.
    if (job && !stored && calc.session().writable() && !rt.replaying() && x.typed && y.typed) {
        const job::NameCheck check = job::check_name(point.name);
        const auto x_mm = job::to_millimetres(point.at.x), y_mm = job::to_millimetres(point.at.y);
        if (check.ok() && x_mm && y_mm) {
            const job::WriteResult r = job->add({0, check.name, *x_mm, *y_mm, std::nullopt},
                                                {rt.program(), "入力", calc.session().journal_run()});
            if (!r.ok() && r.status != job::WriteStatus::name_taken) calc.session().say(r.message);
        }
    }
    return point;
}

KnownPoint ask_known_point(Calculation& calc, const KnownPointQuestions& q, const KnownPointEchoes& echoes) {
    std::string name =
        q.in_sequence ? ask_sequence_name(calc, q.column, q.name_prompt) : ask_text(calc.rt(), q.column, q.name_prompt);
    if (echoes.name) echoes.name(name);
    return ask_known_coordinates(calc, std::move(name), q, echoes);
}

std::optional<std::string> packed_azimuth_text(double from_x, double from_y, double to_x, double to_y) {
    const auto seconds = azimuth_seconds_between(from_x, from_y, to_x, to_y);
    if (!seconds) return std::nullopt;
    char text[32];
    std::snprintf(text, sizeof text, "%ld.%02ld%02ld", *seconds / 3600, *seconds / 60 % 60, *seconds % 60);
    return std::string(text);
}

std::optional<AngleEntry> ask_starting_azimuth(Calculation& calc, int column, std::string_view prompt,
                                               std::string_view backsight, AngleKind kind, double nudge_in,
                                               double nudge_out) {
    Runtime& rt = calc.rt();
    if (!calc.stored_point(backsight)) return ask_angle_entry(rt, column, prompt, kind, nudge_in, nudge_out);
    // The typing example gives way to the offer, which says what Enter does.
    std::string shown(prompt);
    if (const auto example = shown.find("例えば"); example != std::string::npos)
        if (const auto close = shown.find("）", example); close != std::string::npos)
            shown.erase(example, close - example);
    auto answer = ask_angle_or_empty(rt, column, offering_prompt(shown, "座標から", column), kind, nudge_in, nudge_out);
    // Taken later, once the station has its coordinates: journaled there.
    calc.starting_azimuth_mark = answer ? -1 : rt.answer_mark();
    return answer;
}

AngleEntry azimuth_to_backsight(Calculation& calc, int column, std::string_view prompt, std::string_view backsight,
                                double x, double y, AngleKind kind, double nudge_in, double nudge_out) {
    Runtime& rt = calc.rt();
    if (const auto stored = calc.stored_point(backsight)) {
        if (const auto packed = packed_azimuth_text(x, y, job::to_metres(stored->x), job::to_metres(stored->y))) {
            const double taken = take_offered_value(rt, *packed, calc.starting_azimuth_mark);
            calc.took_azimuth_from_job(*stored, x, y, calc.starting_azimuth_mark);
            return *read_angle(taken, kind, nudge_in, nudge_out);
        }
    }
    rt.say(kNoDirection);
    return ask_angle_entry(rt, column, prompt, kind, nudge_in, nudge_out);
}

AngleEntry ask_azimuth_offering(Calculation& calc, int column, std::string_view prompt, double from_x, double from_y,
                                std::string_view to, AngleKind kind, double nudge_in, double nudge_out) {
    Runtime& rt = calc.rt();
    if (const auto stored = calc.stored_point(to)) {
        const auto packed = packed_azimuth_text(from_x, from_y, job::to_metres(stored->x), job::to_metres(stored->y));
        if (packed) {
            bool taken = false;
            const AngleEntry angle = ask_offered_angle(rt, column, prompt, kind, nudge_in, nudge_out, *packed, &taken);
            if (taken) calc.took_azimuth_from_job(*stored, from_x, from_y, rt.answer_mark());
            return angle;
        }
    }
    return ask_angle_entry(rt, column, prompt, kind, nudge_in, nudge_out);
}

}  // namespace marula
