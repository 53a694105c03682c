#include "survey/survey.h"

#include <cmath>

namespace marula {
namespace {

// Seconds in a full turn.
constexpr double kTurnSeconds = 360.0 * 3600.0;

// FIX, with a negative zero returned as +0 so that no display shows "-0".
// Adding +0.0 changes nothing else.
double fix(double v) { return std::trunc(v) + 0.0; }

// The digit split of a packed value that already carries its nudge.
// Products before the subtractions, exactly as written: v·100 and D·100
// are each rounded once, and their difference is then exact, so the
// minutes come out as the typed digits; the same holds for the seconds.
Dms split_packed(double v) {
    Dms r;
    r.degrees = fix(v);
    r.minutes = fix(v * 100 - r.degrees * 100);
    r.seconds = fix(v * 10000 - r.degrees * 10000 - r.minutes * 100);
    return r;
}

double decimal_degrees(const Dms& a) { return a.degrees + a.minutes / 60 + a.seconds / 3600; }

// A negative azimuth entry: the direction |v| anticlockwise of +X, counted
// in whole seconds so that 360° minus it is exact, and reduced into
// [0, 360) (a magnitude of a whole number of turns gives 0, not 360).
PackedAngle negative_azimuth(double v, double nudge_in, double nudge_out) {
    const Dms magnitude = split_packed(-v + nudge_in);
    const double seconds_back =
        std::fmod(magnitude.degrees * 3600 + magnitude.minutes * 60 + magnitude.seconds, kTurnSeconds);
    const double seconds = seconds_back == 0 ? 0.0 : kTurnSeconds - seconds_back;
    PackedAngle r;
    r.typed.degrees = fix(seconds / 3600);
    r.typed.minutes = fix((seconds - r.typed.degrees * 3600) / 60);
    r.typed.seconds = seconds - r.typed.degrees * 3600 - r.typed.minutes * 60;
    // An integer below 2^53 divided once by 10000: the same double as the
    // packed text DDD.MMSS would parse to.
    r.packed = (r.typed.degrees * 10000 + r.typed.minutes * 100 + r.typed.seconds) / 10000 + nudge_in;
    r.degrees = decimal_degrees(r.typed) + nudge_out;
    return r;
}

// A negative included angle: the split of its magnitude, every part negated.
PackedAngle negative_angle(double v, double nudge_in, double nudge_out) {
    const Dms magnitude = split_packed(-v + nudge_in);
    PackedAngle r;
    r.packed = -(-v + nudge_in);
    r.typed = {-magnitude.degrees + 0.0, -magnitude.minutes + 0.0, -magnitude.seconds + 0.0};
    r.degrees = -decimal_degrees(magnitude) + nudge_out;
    return r;
}

}  // namespace

double radians_pi_first(double degrees) { return degrees * kPi / 180; }

double radians(double degrees) { return degrees * (kPi / 180); }

PackedAngle dms_to_degrees(double v, double nudge_in, double nudge_out, AngleKind kind) {
    if (v < 0) {
        return kind == AngleKind::azimuth ? negative_azimuth(v, nudge_in, nudge_out)
                                           : negative_angle(v, nudge_in, nudge_out);
    }
    PackedAngle r;
    r.packed = v + nudge_in;
    r.typed = split_packed(r.packed);
    r.degrees = decimal_degrees(r.typed) + nudge_out;
    return r;
}

bool packed_angle_is_valid(double v, double nudge_in) {
    const Dms split = split_packed(std::fabs(v) + nudge_in);
    // Written so that a NaN from a non-finite entry counts as invalid.
    return split.minutes < 60 && split.seconds < 60;
}

Dms degrees_to_dms_a(double a) {
    Dms r;
    r.degrees = fix(a);
    r.minutes = fix((a - r.degrees) * 60);
    r.seconds = fix(((a - r.degrees) * 60 - r.minutes) * 60);
    return r;
}

Dms degrees_to_dms_b(double a) {
    Dms r;
    r.degrees = fix(a);
    r.minutes = fix((a - r.degrees) * 60);
    r.seconds = fix((a - r.degrees - r.minutes / 60) * 3600);
    return r;
}

double wrap_azimuth(double a) {
    if (a >= 360) a = a - 360;
    if (a < 0) a = a + 360;
    return a;
}

double wrap_azimuth_upper(double a) { return a >= 360 ? a - 360 : a; }

double azimuth_in_turn(double a) {
    if (a >= 0 && a < 360) return a;
    a = std::fmod(a, 360.0);
    if (a < 0) a += 360;
    // −1e-20 + 360 rounds to 360 itself: one more step keeps it a turn short.
    if (a >= 360) a -= 360;
    return a;
}

double reduce_half_turn(double w) {
    if (w > 180) return w - 360;
    if (w < -180) return w + 360;
    return w;
}

double next_azimuth(double a_prev, double turn_angle, bool first_leg) {
    double a = a_prev + turn_angle - 180;
    if (first_leg) a = a - 180;
    return wrap_azimuth(a);
}

double azimuth_from_nudged_deltas(double delta_x, double delta_y, const AzimuthNudges& nudges) {
    // Both differences exactly zero (possible only when a program keeps no
    // nudge on ΔY and ΔX lands on zero) would make 0/0; the direction is
    // then taken along the X axis rather than letting a NaN reach a display.
    const double ratio = (delta_x == 0 && delta_y == 0) ? 0.0 : delta_y / delta_x;
    double t = std::atan(ratio) / (kPi / 180);
    t = std::fabs(t) + nudges.step;
    if (delta_x <= 0 && delta_y >= 0) return 180 - t + nudges.quadrant;
    if (delta_x < 0 && delta_y < 0) return 180 + t;
    if (delta_x > 0 && delta_y < 0) return 360 - t + nudges.quadrant;
    return t;
}

Bearing azimuth_from_deltas(double dx, double dy, const AzimuthNudges& nudges) {
    Bearing r;
    r.delta_x = dx + nudges.delta_x;
    r.delta_y = dy + nudges.delta_y;
    r.azimuth = azimuth_from_nudged_deltas(r.delta_x, r.delta_y, nudges);
    return r;
}

std::optional<double> azimuth_degrees_between(double x1, double y1, double x2, double y2) {
    const double dx = x2 - x1, dy = y2 - y1;
    if (!std::isfinite(dx) || !std::isfinite(dy)) return std::nullopt;
    // Millimetre coordinates: a difference under half a millimetre both
    // ways is one place, whatever the binary fractions left over.
    if (std::fabs(dx) < 0.0005 && std::fabs(dy) < 0.0005) return std::nullopt;
    return azimuth_in_turn(std::atan2(dy, dx) * (180 / kPi));
}

long seconds_in_turn(double degrees) {
    const long seconds = std::lround(azimuth_in_turn(degrees) * 3600);
    return seconds >= 360L * 3600 ? 0 : seconds;
}

Dms dms_of_seconds(long seconds) {
    // Whole numbers below 2^53 throughout: every step is exact.
    const double all = static_cast<double>(seconds);
    Dms r;
    r.degrees = fix(all / 3600);
    r.minutes = fix((all - r.degrees * 3600) / 60);
    r.seconds = all - r.degrees * 3600 - r.minutes * 60 + 0.0;
    return r;
}

std::optional<long> azimuth_seconds_between(double x1, double y1, double x2, double y2) {
    const std::optional<double> degrees = azimuth_degrees_between(x1, y1, x2, y2);
    if (!degrees) return std::nullopt;
    return seconds_in_turn(*degrees);
}

double leg_distance(double delta_x, double delta_y) { return std::sqrt(delta_x * delta_x + delta_y * delta_y); }

double whole_mm(double v) {
    const double h = v < 0 ? -0.5 : 0.5;
    return fix(v * 1000 + h);
}

double round_mm(double v) { return whole_mm(v) / 1000; }

double round_mm_corner_cut(double v) {
    const double h = v < 0 ? -0.5 : 0.5;
    return fix(v * 1000 + h + kNudge1e7) / 1000;
}

double round_total_mm(double v) { return fix(v * 1000 + kHalfUp) / 1000; }

}  // namespace marula
