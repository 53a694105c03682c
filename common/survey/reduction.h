// Distances between the ground, the ellipsoid and the plane.
//
// A distance measured in the field is the horizontal ground distance D.
// Brought down to the ellipsoid it is S, and onto the plane of the zone s,
// the length the coordinates are computed with:
//   S = D × R / (R + H̄ + N̄)                        (height reduction)
//   s = S × m₀ × (1 + (y₁² + y₁y₂ + y₂²) / (6 R₀² m₀²))  (scale reduction)
// R is a round 6,370,000 m, H̄ the mean height of the site above the geoid,
// N̄ the geoid height there, y₁ and y₂ the plane Y of the leg's two ends,
// and R₀ the mean radius of curvature at the latitude of the zone's origin.
// Each formula is evaluated in the order written here.
#pragma once

#include <optional>
#include <string_view>

namespace marula {

// The radius of the height reduction, in metres.
inline constexpr double kHeightReductionRadius = 6'370'000.0;

// The ranges a job accepts for its mean height and geoid height, in
// metres; within them R + H̄ + N̄ stays far from zero.
inline constexpr double kMeanHeightMin = -1000, kMeanHeightMax = 9000;
inline constexpr double kGeoidHeightMin = -200, kGeoidHeightMax = 200;

// Which reduction a job applies to typed distances.
enum class ReductionMode {
    none,          // なし: distances are used as typed
    scale,         // 縮尺補正: S = D, then onto the plane
    height_scale,  // 標高・縮尺補正: D to the ellipsoid, then onto the plane
};

// The mode as the settings command prints and takes it: "none", "scale",
// "height-scale".
std::string_view reduction_mode_name(ReductionMode mode);
std::optional<ReductionMode> parse_reduction_mode(std::string_view name);

// The mode as screens and sheets name it: なし, 縮尺補正, 標高・縮尺補正.
std::string_view reduction_mode_label(ReductionMode mode);

// R₀ = √(M₀N₀) in metres at a latitude in degrees on GRS80: M₀ the radius
// of curvature in the meridian, a(1 − e²)/(1 − e² sin²φ)^(3/2), and N₀ in
// the prime vertical, a/√(1 − e² sin²φ), with e² = f(2 − f). About
// 6,370,000 m in Japan; defined for any finite latitude.
double mean_radius_of_curvature(double latitude);

// A job's reduction, ready to use: the mode, H̄ and N̄ in metres, and R₀
// of the job's zone (0 when the mode is none).
struct DistanceReduction {
    ReductionMode mode = ReductionMode::none;
    double mean_height = 0;
    double geoid_height = 0;
    double mean_radius = 0;
};

// The reduction of a job: nothing when the mode needs a zone and `zone` is
// not 1 … 19 (the job has none), or when H̄ or N̄ is not finite or outside
// its range above. With mode none the zone, H̄ and N̄ are not looked at.
std::optional<DistanceReduction> distance_reduction(ReductionMode mode, int zone, double mean_height,
                                                    double geoid_height);

// D × R / (R + H̄ + N̄): a ground distance in metres on the ellipsoid, not
// rounded. 250 m at H̄ 200, N̄ 30 gives 249.99097…; 0 gives 0.
double ellipsoid_distance(double ground, double mean_height, double geoid_height);

// The line scale factor of a leg whose ends have plane Y y1 and y2 (m),
// with R₀ in metres: m₀ × (1 + (y₁² + y₁y₂ + y₂²) / (6 R₀² m₀²)). m₀ = 0.9999
// on the central meridian, about 1.000023 for a leg 100 km east of it;
// symmetric in y1 and y2.
double line_scale_factor(double y1, double y2, double mean_radius);

// One reduced leg, every length in metres: the ground distance D as
// typed, S on the ellipsoid, the line scale factor and the plane distance
// s = S × factor rounded to the millimetre, half away from zero, which is
// then used exactly as a typed distance would be. With mode none S = s =
// D unrounded and the factor is 1; in scale mode S = D.
struct ReducedLeg {
    double ground = 0;
    double ellipsoid = 0;
    double line_factor = 1;
    double plane = 0;
};
ReducedLeg reduce_leg(double ground, const DistanceReduction& reduction, double y1, double y2);

// The inverse: the ground distance D in metres that gives the plane
// distance s between points of plane Y y1 and y2, not rounded (a sheet
// rounds it to the mm). Scale mode: s / line factor; height and scale:
// s / (line factor × R/(R + H̄ + N̄)); mode none: s itself.
double ground_distance(double plane, const DistanceReduction& reduction, double y1, double y2);

}  // namespace marula
