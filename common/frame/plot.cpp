#include "plot.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "base/format.h"
#include "screen.h"

namespace marula {

namespace {

// The half-width factor 0.6 × 1.6 and the height factor 1.2 are single
// literals widened to double, like every fractional constant of the suite.
constexpr double kHalf1 = double(0.6f);
constexpr double kHalf2 = double(1.6f);
constexpr double kTall = double(1.2f);
constexpr double kViewHeight = 370;

// The reference span that makes the window exactly one metre (1000 mm)
// wide when all points coincide.
constexpr double kOneMetreSpan = 1000.0 / (2 * kHalf1 * kHalf2);

}  // namespace

PlotWindow fit_plot_window(std::span<const double> xs, std::span<const double> ys, PlotPrecision precision) {
    std::vector<double> px, py;
    for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
        if (std::isfinite(xs[i]) && std::isfinite(ys[i])) {
            px.push_back(xs[i]);
            py.push_back(ys[i]);
        }
    }
    if (px.empty()) {
        px.push_back(0);
        py.push_back(0);
    }
    // Copies sorted in descending order: the first is the largest.
    std::sort(px.begin(), px.end(), std::greater<>());
    std::sort(py.begin(), py.end(), std::greater<>());
    double x_max = px.front(), x_min = px.back();
    double y_max = py.front(), y_min = py.back();

    double dx = (x_max - x_min) * 1000;
    double dy = (y_max - y_min) * 1000;
    double span = dx;
    if (dx < dy) span = dy;
    // All points on one spot (or spans beyond double range): a window of
    // no extent would divide by zero in the mapping.
    if (!(span > 0) || !std::isfinite(span)) {
        span = kOneMetreSpan;
        if (!std::isfinite(dx) || !std::isfinite(dy)) {
            x_max = x_min = y_max = y_min = 0;
            dy = 0;
        }
    }

    PlotWindow w;
    if (precision == PlotPrecision::Double) {
        double xc = (x_max + x_min) * 1000 / 2;
        double half = kHalf1 * kHalf2 * span;
        w.x1 = xc - half;
        w.x2 = xc + half;
        w.y1 = y_min * 1000 - (kTall * span - dy) / 2;
        w.y2 = y_max * 1000 + (kTall * span - dy) / 2;
        w.unit = (w.y2 - w.y1) * kTall / kViewHeight;
    } else {
        // The small plot keeps its scaling values as singles.
        float xc = static_cast<float>((x_max + x_min) * 1000 / 2);
        float half = static_cast<float>(kHalf1 * span * kHalf2);
        float y1 = static_cast<float>(y_min * 1000 - (span * kTall - dy) / 2);
        float y2 = static_cast<float>(y_max * 1000 + (span * kTall - dy) / 2);
        w.x1 = static_cast<float>(xc - half);
        w.x2 = static_cast<float>(xc + half);
        w.y1 = y1;
        w.y2 = y2;
        w.unit = static_cast<float>((double(y2) - double(y1)) * kTall / kViewHeight);
    }
    return w;
}

Plot Plot::table(Runtime& rt, std::span<const double> xs, std::span<const double> ys, PlotPrecision precision) {
    rt.cls(0);
    PlotWindow w = fit_plot_window(xs, ys, precision);
    rt.window(w.x1, w.y1, w.x2, w.y2);
    rt.view(0, 0, 639, 370);
    return Plot(rt, w, false);
}

Plot Plot::form(Runtime& rt, std::span<const double> xs, std::span<const double> ys) {
    PlotWindow w = fit_plot_window(xs, ys, PlotPrecision::Single);
    rt.window(w.x1, w.y1, w.x2, w.y2);
    rt.view(0, 200, 320, 385);
    return Plot(rt, w, true);
}

static double world(double metres, bool single) {
    double v = metres * 1000;
    return single ? static_cast<float>(v) : v;
}

void Plot::line(double x1, double y1, double x2, double y2, int color, bool dashed) const {
    double a = world(x1, form_), b = world(y1, form_), c = world(x2, form_), d = world(y2, form_);
    if (dashed) {
        rt_->dashed_line(a, b, c, d, color);
    } else {
        rt_->line(a, b, c, d, color);
    }
}

void Plot::circle(double x, double y, double units, int color, bool filled) const {
    // The radius is a length in world units, as the window measures it.
    double radius = units * window_.unit;
    if (!std::isfinite(radius)) return;
    rt_->circle(world(x, form_), world(y, form_), form_ ? static_cast<float>(radius) : radius, color, filled);
}

void Plot::name(double x, double y, std::string_view text, int color) const {
    double column = std::fabs(rt_->map(world(x, form_), 0)) / 8;
    double row = std::fabs(rt_->map(world(y, form_), 1)) / 16;
    if (!std::isfinite(column) || !std::isfinite(row)) return;
    int c = static_cast<int>(std::min(column, double(kColumns - 1)));
    int r = form_ ? static_cast<int>(std::min(row + 10, 22.0)) : static_cast<int>(std::min(row, 23.0)) - 1;
    r = std::clamp(r, 0, kPromptRow - 1);
    print_at(*rt_, c, r, text, color, kStyleNormal);
}

void Plot::direction_mark() const {
    rt_->window(0, 0, 639, 399);
    rt_->view(0, 0, 639, 399);
    int dx = form_ ? -340 : 0;
    int dy = form_ ? 170 : 0;
    rt_->circle(400 + dx, 20 + dy, 2, 10, true);
    rt_->circle(400 + dx, 20 + dy, 3, 2);
    rt_->line(400 + dx, 12 + dy, 400 + dx, 28 + dy, 0);
    rt_->line(380 + dx, 20 + dy, 445 + dx, 20 + dy, 0);
    rt_->line(445 + dx, 20 + dy, 432 + dx, 17 + dy, 0);
    rt_->line(432 + dx, 17 + dy, 432 + dx, 22 + dy, 0);
    rt_->color(0, kStyleNormal);
}

}  // namespace marula
