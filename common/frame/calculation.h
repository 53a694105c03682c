// The shape of every calculation program, and the points that flow between
// it and its job: known points offered from the job by name, points typed
// under a new name added to it, azimuths worked out from stored
// coordinates, and what the calculation computes stored in it.
//
//     int main(int argc, char** argv) {
//         return marula::run_calculation_program("linktrav", argc, argv,
//                                                [](marula::Calculation& calc) { LinkTraverse(calc).run(); });
//     }
//
//     void LinkTraverse::run() {
//         … title and heading …
//         run_calculation(calc_, {.bar = KeyBar::Table,
//                                 .enter = [this] { enter(); },           // questions, result, display
//                                 .computed = [this] { return points(); },  // what the result would store
//                                 .keys = keys});
//     }
//
// run_calculation journals the run (replaying or restoring an earlier one),
// runs the entry, then the key loop; it stores the computed points after
// the entry and after every key that changed them, and once a replay ends.
// No program stores by hand. Without a job (script mode without
// MARULA_JOB, or a job that could not be opened) every function here asks
// and shows exactly what the program asked and showed before jobs existed,
// and stores nothing.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "entry.h"
#include "job_settings.h"
#include "job/job.h"
#include "key_bar.h"
#include "runtime/runtime.h"
#include "session/session.h"
#include "survey/survey.h"

namespace marula {

// One run of a calculation program: its runtime, its session (the job), and
// what the run has decided about storing its points.
class Calculation {
public:
    Calculation(Runtime& rt, Session& session);
    Runtime& rt() { return rt_; }
    Session& session() { return session_; }
    // The job, when one is open (read-only or writable).
    job::Job* job() { return session_.job(); }

    // The job's settings as this run uses them: read at the first call
    // (defaults without a job) and kept for the rest of the run.
    const CalculationSettings& settings();

    // The stored point of this name, when there is a job and it holds one;
    // a trouble reading it is said on the prompt row.
    std::optional<job::Point> stored_point(std::string_view name);
    // The run took `point`'s value from the job by Enter, at the journal's
    // event `event` (Runtime::answer_mark): kept with the run, so that what
    // it computes can be found stale once the point moves.
    void took_from_job(const job::Point& point, long event);
    // The run took an azimuth worked out from the stored point `to` and the
    // station at (from_x, from_y) by Enter: kept with `to`, and with the
    // stored point the run took the station's coordinates from when it did
    // (so that moving either end makes the azimuth stale).
    void took_azimuth_from_job(const job::Point& to, double from_x, double from_y, long event);

    // What the run decided about storing (see run_calculation).
    struct Storing {
        std::map<std::string, job::Point> may_replace;  // stored points this run may move, as they stood
        std::set<std::string> kept;                     // names the user chose to keep as stored
        std::set<std::string> noted_unstorable;         // names already said to be unstorable
        std::vector<NamedPoint> last;                   // the points last stored (or found stored)
        bool stored_once = false;
    };
    Storing& storing() { return storing_; }
    // The journal's place of an empty starting azimuth, taken later.
    long starting_azimuth_mark = -1;

    // The points a range or a parcel typed at a prompt of the point
    // sequence still holds (see point_sequence.h).
    struct Sequence {
        std::function<std::optional<std::string>()> next;  // the next name; nothing once all are given
        std::optional<job::Point> supplied;                 // the point just given by name: its X and Y follow
        bool closes_parcels = false;                        // a parcel ends on its first vertex again
    };
    Sequence& sequence() { return sequence_; }

private:
    Runtime& rt_;
    Session& session_;
    Storing storing_;
    std::optional<CalculationSettings> settings_;
    Sequence sequence_;
};

// Program start for a calculation: the runtime, the session and the run.
// (Inline: only a program's main, linked with the program start, calls it.)
inline int run_calculation_program(const char* program, int argc, char** argv,
                                   const std::function<void(Calculation&)>& body) {
    return run_program(ProgramKind::calculation, program, argc, argv, [&](Runtime& rt, Session& session) {
        Calculation calc(rt, session);
        body(calc);
    });
}

// The parts of a calculation program that run_calculation runs.
struct CalculationSteps {
    KeyBar bar = KeyBar::Table;
    std::function<void()> enter = {};                        // the questions, the result and its display
    std::function<std::vector<NamedPoint>()> computed = {};  // the points the result holds now, to store
    std::function<void()> opening = {};                      // once, after the first store (a plot at once)
    KeyActions keys = {};
};

// The calculation: its journal begun (a reopened run replayed, or the
// previous one offered for restore, over the title the program has drawn),
// the entry, then the key loop. The computed points are stored after the
// entry, after every key that changed them, and when a replay ends; never
// while replayed input remains.
[[noreturn]] void run_calculation(Calculation& calc, const CalculationSteps& steps);

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
    // The name is the first of a sequence of points until '*': a range or
    // a parcel may be typed (ask_known_point; see point_sequence.h).
    bool in_sequence = false;
};

// What the program shows as each answer comes (each may be empty).
struct KnownPointEchoes {
    std::function<void(const std::string&)> name = {};
    std::function<void(double)> x = {};
    std::function<void(double)> y = {};
};

// Asks X, then Y of the point `name` (already asked and shown by the
// caller). A point a range or a parcel has just given by name takes its
// stored X and Y without asking, as Enter at both offers would. When the
// job holds `name`, its stored X and Y stand after each
// prompt ("既知点Ｘ座標は 〔-36012.345〕"): an empty answer takes it, a
// typed number wins; a typed value 1 mm or more away from the stored one
// gets a notice naming both, and the job keeps its own. A name the job
// does not hold gets the hint of a stored name that differs only by width
// or case; when both X and Y were typed (not taken from a preset) and the
// job can hold the name, the point is added to the job (source "入力").
KnownPoint ask_known_coordinates(Calculation& calc, std::string name, const KnownPointQuestions& questions,
                                 const KnownPointEchoes& echoes = {});

// The name (ask_text at the column, with `name_prompt`), then as
// ask_known_coordinates.
KnownPoint ask_known_point(Calculation& calc, const KnownPointQuestions& questions,
                           const KnownPointEchoes& echoes = {});

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
std::optional<AngleEntry> ask_starting_azimuth(Calculation& calc, int column, std::string_view prompt,
                                               std::string_view backsight, AngleKind kind, double nudge_in,
                                               double nudge_out);

// The azimuth from the station at (x, y) to the stored backsight, read as
// if its packed value had been typed at `prompt` (through
// take_offered_value). When the two stand in one place, kNoDirection is
// shown and the azimuth is asked at `prompt` as ask_angle_entry asks it.
AngleEntry azimuth_to_backsight(Calculation& calc, int column, std::string_view prompt, std::string_view backsight,
                                double x, double y, AngleKind kind, double nudge_in, double nudge_out);

// An azimuth between two points asked at `prompt`: when the job holds
// `to` and it stands apart from (from_x, from_y), the azimuth from its
// coordinates is offered like a stored coordinate; otherwise as
// ask_angle_entry.
AngleEntry ask_azimuth_offering(Calculation& calc, int column, std::string_view prompt, double from_x, double from_y,
                                std::string_view to, AngleKind kind, double nudge_in, double nudge_out);

}  // namespace marula
