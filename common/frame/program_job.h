// The job a calculation program works in, and the points that flow between
// it and the program: known points offered from the job by name, points
// typed under a new name added to it, computed points stored in it,
// azimuths worked out from stored coordinates.
//
//     open_program_job(rt);                     // once, as the program starts
//     KnownPoint p = ask_known_point(rt, {5, "既知点名は", "既知点Ｘ座標は ",
//                                         "既知点Ｙ座標は "}, echoes);
//     ...
//     store_computed_points(rt, {{"T2", x2, y2}, …});   // after each calculation
//
// Without a job (script mode without MARULA_JOB, or a job that could not be
// opened) every function here asks and shows exactly what the program
// asked and showed before jobs existed, and stores nothing.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "entry.h"
#include "job/job.h"
#include "runtime/runtime.h"
#include "survey/survey.h"

namespace marula {

// Opens the program's job on the first call and holds it until the program
// ends: in script mode only MARULA_JOB names one, in a window the current
// job (see job::choose_job_folder). A job that cannot be opened is said
// once on the prompt row and the program goes on without one; a read-only
// job says so once and is used for its points only. Its sheets are filed
// in its reports/ from then on. Later calls return the same job (or
// nothing).
job::Job* open_program_job(Runtime& rt);

// The job held by open_program_job, or nothing (never opens one).
const job::Job* program_job();

// The line a sheet printed in the job carries under its title: the job's
// display name and its zone when set ("現場：神南一丁目（第9系）"); empty
// without a job.
std::string job_sheet_line();

// ---- known points ------------------------------------------------------

// A point as entered: its name as typed and the X and Y the program uses.
struct KnownPoint : NamedPoint {
    bool from_preset = false;  // X or Y is a demonstration preset taken by an empty answer
};

// The questions of one known point, asked at `column` of the prompt row.
struct KnownPointQuestions {
    int column = 5;
    std::string name_prompt = {};  // unused by ask_known_coordinates
    std::string x_prompt = {};
    std::string y_prompt = {};
    // Values the form offers as an empty answer today (demonstration
    // presets, or nothing). A point the job holds replaces them.
    std::optional<double> x_preset = std::nullopt;
    std::optional<double> y_preset = std::nullopt;
};

// What the program shows as each answer comes (each may be empty).
struct KnownPointEchoes {
    std::function<void(const std::string&)> name = {};
    std::function<void(double)> x = {};
    std::function<void(double)> y = {};
};

// Asks X, then Y of the point `name` (already asked and shown by the
// caller). When the job holds `name`, its stored X and Y stand after each
// prompt ("既知点Ｘ座標は 〔-36012.345〕"): an empty answer takes it, a
// typed number wins; a typed value 1 mm or more away from the stored one
// gets a notice naming both, and the job keeps its own. A name the job
// does not hold gets the hint of a stored name that differs only by width
// or case; when both X and Y were typed (not taken from a preset) and the
// job can hold the name, the point is added to the job (source "入力").
KnownPoint ask_known_coordinates(Runtime& rt, std::string name, const KnownPointQuestions& questions,
                                 const KnownPointEchoes& echoes = {});

// The name (ask_text at the column, with `name_prompt`), then as
// ask_known_coordinates.
KnownPoint ask_known_point(Runtime& rt, const KnownPointQuestions& questions, const KnownPointEchoes& echoes = {});

// The stored point of this name, when there is a job and it holds one.
std::optional<job::Point> stored_point(std::string_view name);

// ---- azimuths from coordinates -------------------------------------------

// The azimuth from one point to another as a surveyor would type it,
// packed DDD.MMSS ("237.0712"): atan2 of ΔY, ΔX in degrees 0 … 360,
// rounded to the whole second (see azimuth_seconds_between). Nothing when
// the two points stand in one place.
std::optional<std::string> packed_azimuth_text(double from_x, double from_y, double to_x, double to_y);

// The notice when a station and its backsight stand in one place and the
// azimuth has to be typed.
inline constexpr std::string_view kNoDirection = "２点が同じ位置なので方向角を計算できません。入力して下さい。";

// The starting azimuth of a traverse, asked before its station is named.
// When the job holds the backsight point, "〔座標から〕" stands after the
// prompt and an empty answer gives nothing: the caller works the azimuth
// out with azimuth_to_backsight once the station has its coordinates.
// Otherwise, and for a typed answer, as ask_angle_entry.
std::optional<AngleEntry> ask_starting_azimuth(Runtime& rt, int column, std::string_view prompt,
                                               std::string_view backsight, AngleKind kind, double nudge_in,
                                               double nudge_out);

// The azimuth from the station at (x, y) to the stored backsight, read as
// if its packed value had been typed at `prompt` (through
// take_offered_value). When the two stand in one place, kNoDirection is
// shown and the azimuth is asked at `prompt` as ask_angle_entry asks it.
AngleEntry azimuth_to_backsight(Runtime& rt, int column, std::string_view prompt, std::string_view backsight,
                                double x, double y, AngleKind kind, double nudge_in, double nudge_out);

// An azimuth between two points asked at `prompt`: when the job holds
// `to` and it stands apart from (from_x, from_y), the azimuth from its
// coordinates is offered like a stored coordinate; otherwise as
// ask_angle_entry.
AngleEntry ask_azimuth_offering(Runtime& rt, int column, std::string_view prompt, double from_x, double from_y,
                                std::string_view to, AngleKind kind, double nudge_in, double nudge_out);

// ---- computed points ------------------------------------------------------

struct ComputedPoint {
    std::string name;
    double x = 0;
    double y = 0;
};

// Stores what one calculation computed under the points' names. Names this
// run created are updated quietly; stored points that would move are
// listed with their stored coordinates and one question asks whether to
// replace them (N, the default, keeps them; the answer holds for those
// names until the program ends). Names the job cannot hold (the rules of
// job::check_name, and one name given to two different points here) are
// left out, and named once in a notice. Nothing without a writable job.
void store_computed_points(Runtime& rt, std::span<const ComputedPoint> points);

}  // namespace marula
