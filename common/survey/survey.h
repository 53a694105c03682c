// Survey arithmetic shared by every calculation program: packed angles,
// azimuths, leg lengths and millimetre rounding. Pure functions, no I/O.
//
// Units: coordinates and lengths in metres, angles in decimal degrees
// unless a name says radians. FIX in the comments below is truncation
// toward zero (std::trunc), giving a double. Every expression is written in
// the order the results depend on; the tree is built without contraction
// of multiply-adds, so the results are those of plain IEEE double
// evaluation.
//
// Small offsets ("nudges") are added before a split, a comparison, a
// division or a truncation so that decimal input comes out as typed and
// no denominator is ever zero. Most of them are single-precision literals
// widened to double: their exact binary values matter at the margins, so
// they are written as double(1e-7f) and never as a decimal expansion.
#pragma once

#include <optional>

#include <bit>
#include <cstdint>
#include <string>

namespace marula {

// ---------------------------------------------------------------------------
// Constants

// The suite's π: 3.141592653589792, three units in the last place below
// the double nearest to π. Every program uses this same value, so results
// agree with one another to the last bit.
inline constexpr double kPi = std::bit_cast<double>(std::uint64_t{0x400921FB54442D15});
static_assert(kPi == 3.141592653589792);

// Single-precision nudges, widened to double. Every small constant the
// programs add to a value is one of these ("nudge" throughout: the pairs
// laid on a point's X and Y are nudges too); kNudge11e8 is 11e-8.
inline constexpr double kNudge1e9 = double(1e-9f);  // 9.999999717180685e-10
inline constexpr double kNudge2e9 = double(2e-9f);  // 1.999999943436137e-09
inline constexpr double kNudge1e8 = double(1e-8f);  // 9.99999993922529e-09
inline constexpr double kNudge2e8 = double(2e-8f);
inline constexpr double kNudge5e8 = double(5e-8f);
inline constexpr double kNudge7e8 = double(7e-8f);
inline constexpr double kNudge1e7 = double(1e-7f);  // 1.0000000116860974e-07
inline constexpr double kNudge11e8 = double(1.1e-7f);
inline constexpr double kNudge15e8 = double(1.5e-7f);
inline constexpr double kNudge2e7 = double(2e-7f);
inline constexpr double kNudge25e8 = double(2.5e-7f);
inline constexpr double kNudge3e7 = double(3e-7f);
inline constexpr double kNudge35e8 = double(3.5e-7f);
inline constexpr double kNudge4e7 = double(4e-7f);
inline constexpr double kNudge45e8 = double(4.5e-7f);
inline constexpr double kNudge5e7 = double(5e-7f);
inline constexpr double kNudge1e6 = double(1e-6f);  // 9.999999974752427e-07
inline constexpr double kNudge1e5 = double(1e-5f);  // 9.999999747378752e-06
inline constexpr double kNudge2e5 = double(2e-5f);  // 1.9999999494757503e-05
inline constexpr double kNudge1e4 = double(1e-4f);  // 9.999999747378752e-05

// The single 0.50001 (0.500010013580322265625): the rounding offset of
// totals, so a thousandths fraction of 0.49999 or more rounds up.
inline constexpr double kHalfUp = double(0.50001f);

// ---------------------------------------------------------------------------
// Points

// A place on the plane: X the northing, Y the easting, in metres.
struct Point {
    double x = 0;
    double y = 0;
};

// A point as typed: its name and where it stands. Every program's points
// are these; records that carry more (a direction, say) hold one.
struct NamedPoint {
    std::string name;
    Point at;
};

// ---------------------------------------------------------------------------
// Degrees to radians. The two orders differ in the last bit for many
// angles; each program uses one of them throughout.

// a·π/180 with the product formed first: the connecting and closed
// traverse legs.
double radians_pi_first(double degrees);

// a·(π/180) with π/180 formed first: every other program.
double radians(double degrees);

// ---------------------------------------------------------------------------
// Packed angles (DDD.MMSS as typed: 20°25′12″ is typed 20.2512)

// Whole degrees, minutes and seconds, each a double holding an integer.
// They carry the sign of the angle they came from (a negative zero is
// returned as +0 so nothing shows "-0").
struct Dms {
    double degrees = 0;
    double minutes = 0;
    double seconds = 0;
};

// What the split of a packed entry gives.
struct PackedAngle {
    // The packed value as the program keeps it: the entry plus nudge_in
    // (for a negative azimuth, the packed form of the direction it was
    // read as, plus nudge_in). Reading it again gives the same split.
    double packed = 0;
    // The degrees, minutes and seconds read from the digits, shown as the
    // echo of the entry.
    Dms typed;
    // D + M/60 + S/3600 + nudge_out, the decimal angle the arithmetic uses.
    double degrees = 0;
};

// Whether a packed entry is an included angle or an azimuth (a direction),
// which reads a negative entry differently (see dms_to_degrees).
enum class AngleKind { included, azimuth };

// Reads a packed angle v (DDD.MMSS; digits after the fourth decimal are
// dropped, not rounded):
//   v += nudge_in; D = FIX(v); M = FIX(v·100 − D·100);
//   S = FIX(v·10000 − D·10000 − M·100); degrees = D + M/60 + S/3600 + nudge_out.
// The products are formed before the subtractions: with nudge_in of
// kNudge1e7 or kNudge1e6 every packed value 0.0000 … 359.5959 typed as
// decimal text splits back into exactly its typed D, M and S.
// A negative entry is split by its magnitude (the nudge then works toward
// the typed digits exactly as for a positive one):
//  - an azimuth of −DDD.MMSS is the direction DDD°MM′SS″ anticlockwise of
//    +X: it is read as 360° minus that angle, counted in whole seconds and
//    reduced into [0, 360), and behaves exactly as if its positive
//    equivalent had been typed (−20.2512 reads as 339-34-48; −0 as 0);
//  - an included angle of −DDD.MMSS gives −D, −M, −S and the degrees
//    −(D + M/60 + S/3600) + nudge_out.
// A non-negative entry is never wrapped: 360 stays 360. Minutes or seconds
// of 60 or more are converted as written (see packed_angle_is_valid).
PackedAngle dms_to_degrees(double v, double nudge_in, double nudge_out, AngleKind kind);

// False when the minutes or seconds of a packed entry, split exactly as
// dms_to_degrees splits it with the same nudge_in, are 60 or more
// (45.6512 and 20.7590 are typing errors); true otherwise, the sign of v
// not mattering.
bool packed_angle_is_valid(double v, double nudge_in);

// ---------------------------------------------------------------------------
// Decimal angles to whole degrees, minutes and seconds for display.
// Seconds are truncated, never rounded, so no carry arises and S < 60 for
// any a ≥ 0; a negative a gives non-positive D, M and S.

// Form A (traverse adjustment): D = FIX(a); M = FIX((a − D)·60);
// S = FIX(((a − D)·60 − M)·60).
Dms degrees_to_dms_a(double a);

// Form B (every other computed angle): D = FIX(a); M = FIX((a − D)·60);
// S = FIX((a − D − M/60)·3600). 89.99999 gives 89-59-59.
Dms degrees_to_dms_b(double a);

// ---------------------------------------------------------------------------
// Azimuth reducers
//
// Every reduction of an angle in degrees to its range is one of these four,
// and each stays as it is because figures already shown and printed depend
// on its exact steps (one step of 360 is exact in doubles; fmod is exact):
//
//   function             input                    output       steps
//   wrap_azimuth         within a turn of range   [0, 360)     −360 once if ≥ 360, then +360 once if < 0
//   wrap_azimuth_upper   any                      (−∞, 360)*   −360 once if ≥ 360; negatives stay
//   azimuth_in_turn      any finite               [0, 360)     whole turns off (fmod), never 360
//   reduce_half_turn     a difference of two      [−180, 180]  −360 once if > 180, +360 once if < −180
//                        azimuths in [0, 360]
//
//   * for input below 720; values further out stay out of range.
//
// A chain of legs reduces each azimuth with wrap_azimuth (the adjusted
// traverses) or with wrap_azimuth and then azimuth_in_turn (the open and
// closed traverses, where an unusual angle can leave the sum a turn out);
// a radial shot with wrap_azimuth_upper and then azimuth_in_turn; a
// misclosure with reduce_half_turn, so a closing azimuth of 359°59′50″
// against a chain that ends at 0°00′05″ is a misclosure of −15″ and not of
// almost a whole turn.

// Brings an azimuth within one turn of [0, 360) into [0, 360): one step
// down by 360 if a ≥ 360, then one step up by 360 if a < 0. No loop: a
// value further out stays out of range.
double wrap_azimuth(double a);

// Only the first step of wrap_azimuth: a ≥ 360 loses 360 once; negative
// values are left alone.
double wrap_azimuth_upper(double a);

// Any finite azimuth brought into [0, 360). Values already in range come
// back unchanged to the last bit; others lose or gain whole turns (fmod is
// exact, so the fraction of a degree is kept). A tiny negative value whose
// turn-up would round to 360 gives 0, never 360.
double azimuth_in_turn(double a);

// A difference of two azimuths brought into −180 … +180 degrees: one step
// each way, as the difference of two azimuths in [0, 360] is always within
// a turn.
double reduce_half_turn(double w);

// The azimuth of the next leg: a_prev + turn_angle − 180, less another 180
// for the first leg out of a known point (whose backsight azimuth points
// from that point to the backsight), then wrap_azimuth. No nudge is added.
double next_azimuth(double a_prev, double turn_angle, bool first_leg);

// The offsets one program uses in azimuth_from_deltas.
struct AzimuthNudges {
    double delta_x;   // added to X2 − X1
    double delta_y;   // added to Y2 − Y1
    double step;      // added to |atan| in degrees
    double quadrant;  // added in the second and fourth quadrant rules
};

// Inverse programs and the perpendicular foot: 1e-7 on both differences,
// 1e-5 and 2e-5.
inline constexpr AzimuthNudges kInverseNudges{kNudge1e7, kNudge1e7, kNudge1e5, kNudge2e5};
// Coordinate area: 1e-9 on ΔX, 2e-9 on ΔY, 1e-5 and 2e-5.
inline constexpr AzimuthNudges kAreaNudges{kNudge1e9, kNudge2e9, kNudge1e5, kNudge2e5};
// Corner cut, direction from point 2 to point 1: 1e-9 on ΔX only, 1e-6, 2e-9.
inline constexpr AzimuthNudges kCornerCutNudges21{kNudge1e9, 0.0, kNudge1e6, kNudge2e9};
// Corner cut, direction from point 2 to point 3: 1e-9 on ΔX only, 1e-7, 2e-9.
inline constexpr AzimuthNudges kCornerCutNudges23{kNudge1e9, 0.0, kNudge1e7, kNudge2e9};

// An azimuth with the nudged differences it was computed from; leg_distance
// takes the same differences.
struct Bearing {
    double azimuth = 0;  // degrees, see azimuth_from_deltas
    double delta_x = 0;  // X2 − X1 + nudges.delta_x
    double delta_y = 0;  // Y2 − Y1 + nudges.delta_y
};

// The azimuth from point 1 to point 2, given dx = X2 − X1 and dy = Y2 − Y1:
//   ΔX = dx + n.delta_x, ΔY = dy + n.delta_y;
//   t = |atan(ΔY/ΔX) / (π/180)| + n.step;
//   ΔX ≤ 0, ΔY ≥ 0: 180 − t + n.quadrant;   ΔX < 0, ΔY < 0: 180 + t;
//   ΔX > 0, ΔY < 0: 360 − t + n.quadrant;   otherwise t.
// The ΔX nudge keeps ΔX off zero for any pair of millimetre coordinates.
// ΔX of exactly 0 still gives ±90° from the arctangent and falls to the
// second-quadrant rule; ΔX and ΔY both exactly 0 (possible only with no ΔY
// nudge) are taken as direction 180 − step + quadrant instead of 0/0, so
// the result is always a number for finite input. The result
// carries a net offset of about n.step in every quadrant, which the
// truncation of degrees_to_dms_b then drops; there is no wrap, so a
// direction just west of +X can come out at or a hair above 360.
Bearing azimuth_from_deltas(double dx, double dy, const AzimuthNudges& nudges = kInverseNudges);

// The same for differences that already carry their nudges (kept by the
// caller): only nudges.step and nudges.quadrant are used.
double azimuth_from_nudged_deltas(double delta_x, double delta_y, const AzimuthNudges& nudges);

// The azimuth from (x1, y1) to (x2, y2) in degrees, [0, 360), not rounded:
// atan2(ΔY, ΔX) turned into degrees with the suite's π and brought into the
// turn by azimuth_in_turn. No nudges. Nothing when the two points stand in
// one place to the millimetre (both differences under 0.5 mm: no
// direction), or for input that is not finite.
std::optional<double> azimuth_degrees_between(double x1, double y1, double x2, double y2);

// Any finite angle in degrees as whole seconds of arc within the turn,
// 0 … 1 295 999: brought into [0, 360) by azimuth_in_turn (angles already
// there are untouched), then degrees·3600 rounded half up (half away from
// zero, the value being non-negative); an angle that rounds up to a whole
// turn gives 0, so 359°59′59.5″ shows as 0°00′00″.
long seconds_in_turn(double degrees);

// Whole seconds of arc split into degrees, minutes and seconds, each a
// whole number: 1 295 999 gives 359-59-59. A negative count gives
// non-positive parts.
Dms dms_of_seconds(long seconds);

// The azimuth from (x1, y1) to (x2, y2) in whole seconds of arc,
// 0 … 1 295 999: atan2(ΔY, ΔX) in degrees brought into [0, 360), then
// rounded to the nearest second (half away from zero); a direction that
// rounds up to a whole turn gives 0. No nudges: this is the value a
// surveyor would type from the coordinates. Nothing when the two points
// stand in one place to the millimetre (no direction), or for input that
// is not finite.
std::optional<long> azimuth_seconds_between(double x1, double y1, double x2, double y2);

// √(ΔX² + ΔY²) in metres, not rounded; 0 for (0, 0).
double leg_distance(double delta_x, double delta_y);

// ---------------------------------------------------------------------------
// Millimetre rounding

// FIX(v·1000 + h) with h = 0.5, or −0.5 when v < 0 (zero counts as
// positive): v in whole millimetres, rounded half away from zero. The
// traverse adjustment adds up exactly this integer.
double whole_mm(double v);

// whole_mm(v)/1000: v rounded to the millimetre, half away from zero
// (round_mm(−0.0005) = −0.001, round_mm(0.0004999) = 0). Never −0.
double round_mm(double v);

// The corner-cut form: FIX(v·1000 + h + 1e-7)/1000 with h as in whole_mm
// and 1e-7 the single kNudge1e7. Never −0.
double round_mm_corner_cut(double v);

// A non-negative total of lengths to the millimetre:
// FIX(v·1000 + 0.50001)/1000 with the single kHalfUp.
double round_total_mm(double v);

}  // namespace marula
