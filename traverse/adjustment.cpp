#include "adjustment.h"

#include <cmath>

#include "survey/survey.h"

namespace marula {

double misclosure_seconds(double w) {
    // The single 0.1 lifts a positive misclosure that arithmetic left just
    // below a whole second back onto it.
    if (w > 0) return std::trunc(w * 3600 + double(0.1f));
    return std::trunc(w * 3600);
}

std::vector<AngleCorrection> distribute_angle_misclosure(double w_seconds, int count, double e) {
    std::vector<AngleCorrection> out;
    if (count < 1) return out;
    double t = w_seconds / count;
    double h = 0.5;
    if (t < 0) {
        e = -e;
        h = -0.5;
    }
    double previous = 0;  // the rounded cumulative share of index 0 stays 0
    for (int i = 1; i <= count; ++i) {
        double share = t * i + e;
        double rounded = std::trunc(share + e + h);
        // + 0.0 turns a truncated −0 into 0, so no "-0" is ever shown.
        double seconds = std::trunc(rounded - previous + e) + 0.0;
        out.push_back({seconds, seconds / 3600 + e});
        previous = rounded;
    }
    return out;
}

double linear_misclosure(float fx_mm, float fy_mm, double half) {
    double fx = fx_mm, fy = fy_mm;
    return std::trunc(std::sqrt(fx * fx + fy * fy) + half) / 1000;
}

double precision_denominator(float total_m, double linear_m) {
    // The single 1e-9 stands in for a zero misclosure so the division is
    // defined.
    if (linear_m == 0) linear_m = kNudge1e9;
    return std::trunc(double(total_m) / linear_m + kHalfUp);
}

std::vector<double> compass_corrections(std::span<const double> distances, float misclosure_mm, float total_m) {
    std::vector<double> out;
    std::size_t n = distances.size();
    if (n == 0) return out;
    double magnitude = std::fabs(double(misclosure_mm));
    // A zero total leaves nothing to proportion by: the rate is 0 and the
    // last leg takes the whole misclosure.
    double rate = total_m != 0 ? magnitude / double(total_m) : 0.0;
    float running = 0;
    double previous = 0;
    for (std::size_t i = 0; i + 1 < n; ++i) {
        running = static_cast<float>(double(running) + distances[i]);
        double cumulative = std::trunc(double(running) * rate + kNudge1e5 + 0.5);
        out.push_back(cumulative - previous + 0.0);
        previous = cumulative;
    }
    out.push_back(std::trunc(magnitude - previous + kNudge1e4));
    if (misclosure_mm > 0) {
        for (double& c : out) c = 0.0 - c;  // 0 − 0 is +0: no "-0" on paper
    }
    return out;
}

LegSums resolve_legs(std::span<const double> azimuths, std::span<const double> distances,
                     std::span<AdjustedLeg> legs, int n) {
    LegSums sums;
    for (int i = 1; i <= n; ++i) {
        AdjustedLeg& leg = legs[i];
        double rad = radians_pi_first(azimuths[i]);
        leg.cos = std::cos(rad);
        leg.sin = std::sin(rad);
        double dx = distances[i] * leg.cos;
        double dy = distances[i] * leg.sin;
        leg.dx = round_mm(dx);
        leg.dy = round_mm(dy);
        sums.x_mm = static_cast<float>(double(sums.x_mm) + whole_mm(dx));
        sums.y_mm = static_cast<float>(double(sums.y_mm) + whole_mm(dy));
    }
    return sums;
}

void spread_misclosure(std::span<const double> distances, std::span<AdjustedLeg> legs, int n, float fx_mm,
                       float fy_mm, float total_m) {
    std::vector<double> lengths(distances.begin() + 1, distances.begin() + 1 + n);
    auto cx = compass_corrections(lengths, fx_mm, total_m);
    auto cy = compass_corrections(lengths, fy_mm, total_m);
    for (int i = 1; i <= n; ++i) {
        legs[i].x_correction = cx[i - 1];
        legs[i].y_correction = cy[i - 1];
    }
}

void place_stations(std::span<double> x, std::span<double> y, std::span<const AdjustedLeg> legs, int last) {
    for (int i = 1; i <= last; ++i) {
        x[i] = x[i - 1] + legs[i].dx + legs[i].x_correction / 1000 + kNudge1e6;
        y[i] = y[i - 1] + legs[i].dy + legs[i].y_correction / 1000 + kNudge1e6;
    }
}

}  // namespace marula
