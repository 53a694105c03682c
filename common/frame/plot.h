// The plot frame: a window fitted to the points, markers in units of the
// window, names beside the points and the direction mark.
//
// World x is X × 1000 and world y is Y × 1000 (millimetres): X, north, runs
// to the right and Y, east, downwards, so the plot shows the ground turned
// a quarter turn clockwise. The helpers take metres and do the × 1000.
//
// Table programs (the table key bar, F2) plot on the cleared screen:
//
//     Plot plot = Plot::table(rt, xs, ys);          // CLS 0, window, view
//     plot.circle(xs[0], ys[0], 2, 5, true);       // radius 2 marker units
//     plot.line(xs[0], ys[0], xs[1], ys[1], 0);
//     plot.name(xs[0], ys[0], names[0]);
//     plot.direction_mark();                       // then the key bar
//
// Form programs draw the small plot in the viewport (0,200)-(320,385)
// with Plot::form(), whose scaling is kept in single precision.
#pragma once

#include <span>
#include <string_view>

#include "runtime/runtime.h"

namespace marula {

// A fitted window in world millimetres and its marker unit.
struct PlotWindow {
    double x1 = 0, y1 = 0;  // to the viewport's top left
    double x2 = 0, y2 = 0;  // to its bottom right
    double unit = 0;        // the marker unit: (y2 − y1) × 1.2 / 370
};

// Table plots scale in double precision; the form programs' small plot
// keeps its scaling values in single precision.
enum class PlotPrecision { Double, Single };

// The window rule over points in metres. T is the larger of the X and Y
// spans (mm); X runs 0.6 × 1.6 × T either side of the X centre and Y over
// 1.2 × T centred on the Y span. When every point shares one X and one Y
// the window is 1 m wide, centred on them, instead of a window of no
// extent; points that are not finite are left out. No points: a 1 m
// window round the origin. Never divides by zero.
PlotWindow fit_plot_window(std::span<const double> xs, std::span<const double> ys,
                           PlotPrecision precision = PlotPrecision::Double);

class Plot {
public:
    // CLS 0, the fitted window in VIEW (0,0)-(639,370). The inverse
    // programs keep its scaling values in single precision.
    static Plot table(Runtime& rt, std::span<const double> xs, std::span<const double> ys,
                      PlotPrecision precision = PlotPrecision::Double);
    // The fitted window (single precision) in VIEW (0,200)-(320,385); the
    // screen is not cleared.
    static Plot form(Runtime& rt, std::span<const double> xs, std::span<const double> ys);

    const PlotWindow& window() const { return window_; }
    double unit() const { return window_.unit; }

    // A line between two points in metres; `dashed` is line style 2.
    void line(double x1, double y1, double x2, double y2, int color, bool dashed = false) const;
    // A circle of `units` marker units round a point in metres.
    void circle(double x, double y, double units, int color, bool filled = false) const;
    // A point's name, in colour 0 unless told: at column |MAP(X × 1000, 0)| / 8
    // and row |MAP(Y × 1000, 1)| / 16, one row above in a table plot and ten
    // rows down in a form plot; kept on the screen and cut at its edge.
    void name(double x, double y, std::string_view text, int color = 0) const;
    // WINDOW and VIEW (0,0)-(639,399) and the direction mark at (400,20)
    // (form plots: at (60,190)); colour 0, style 4 after.
    void direction_mark() const;

private:
    Plot(Runtime& rt, PlotWindow window, bool form) : rt_(&rt), window_(window), form_(form) {}
    Runtime* rt_;
    PlotWindow window_;
    bool form_;
};

}  // namespace marula
