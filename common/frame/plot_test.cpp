#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "frame/correction.h"
#include "frame/plot.h"

namespace marula {
namespace {

struct WindowCase {
    const char* what;
    std::vector<double> xs, ys;
    double x1, y1, x2, y2;  // expected, millimetres
};

TEST(PlotWindow, FitsTheWiderSpanAndCentresTheOther) {
    const double k = double(0.6f) * double(1.6f);
    const double t = double(1.2f);
    const WindowCase cases[] = {
        // X span 100 m wider than Y span 50 m: T = 100000 mm.
        {"x wider", {1000, 1100}, {2000, 2050}, 1050000 - k * 100000, 2000000 - (t * 100000 - 50000) / 2,
         1050000 + k * 100000, 2050000 + (t * 100000 - 50000) / 2},
        // Y span wider: T is the Y span, Y covers 1.2 T.
        {"y wider", {0, 10}, {0, 200}, 5000 - k * 200000, 0 - (t * 200000 - 200000) / 2, 5000 + k * 200000,
         200000 + (t * 200000 - 200000) / 2},
        // Negative coordinates sort like any others.
        {"negative", {-50, -150}, {-20, -20}, -100000 - k * 100000, -20000 - (t * 100000) / 2,
         -100000 + k * 100000, -20000 + (t * 100000) / 2},
    };
    for (const auto& c : cases) {
        PlotWindow w = fit_plot_window(c.xs, c.ys);
        EXPECT_DOUBLE_EQ(w.x1, c.x1) << c.what;
        EXPECT_DOUBLE_EQ(w.y1, c.y1) << c.what;
        EXPECT_DOUBLE_EQ(w.x2, c.x2) << c.what;
        EXPECT_DOUBLE_EQ(w.y2, c.y2) << c.what;
        EXPECT_DOUBLE_EQ(w.unit, (w.y2 - w.y1) * t / 370) << c.what;
    }
}

TEST(PlotWindow, CoincidentPointsGetAOneMetreWindowCentredOnThem) {
    const std::vector<std::vector<double>> spots = {{1000.0}, {1000.0, 1000.0, 1000.0}};
    for (const auto& xs : spots) {
        std::vector<double> ys(xs.size(), -250.5);
        for (PlotPrecision p : {PlotPrecision::Double, PlotPrecision::Single}) {
            PlotWindow w = fit_plot_window(xs, ys, p);
            EXPECT_NEAR(w.x2 - w.x1, 1000.0, 1e-6);
            EXPECT_NEAR((w.x1 + w.x2) / 2, 1000000.0, 1e-6);
            EXPECT_NEAR((w.y1 + w.y2) / 2, -250500.0, 1e-6);
            EXPECT_GT(w.y2 - w.y1, 0.0);
            EXPECT_GT(w.unit, 0.0);
            EXPECT_TRUE(std::isfinite(w.unit));
        }
    }
}

TEST(PlotWindow, NonFinitePointsAreLeftOutAndAnEmptySetStillHasExtent) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    PlotWindow with_nan = fit_plot_window(std::vector<double>{0, nan, 100}, std::vector<double>{0, 5, 0});
    PlotWindow without = fit_plot_window(std::vector<double>{0, 100}, std::vector<double>{0, 0});
    EXPECT_EQ(with_nan.x1, without.x1);
    EXPECT_EQ(with_nan.y2, without.y2);
    PlotWindow empty = fit_plot_window({}, {});
    EXPECT_GT(empty.x2 - empty.x1, 0.0);
    EXPECT_GT(empty.unit, 0.0);
}

TEST(PlotWindow, SinglePrecisionScalingIsRoundedToFloat) {
    PlotWindow w = fit_plot_window(std::vector<double>{-146774.089, -146735.997},
                                   std::vector<double>{-3353.248, -3274.645}, PlotPrecision::Single);
    EXPECT_EQ(w.x1, double(float(w.x1)));
    EXPECT_EQ(w.y1, double(float(w.y1)));
    EXPECT_EQ(w.unit, double(float(w.unit)));
    PlotWindow d = fit_plot_window(std::vector<double>{-146774.089, -146735.997},
                                   std::vector<double>{-3353.248, -3274.645});
    EXPECT_NEAR(w.x1, d.x1, 64.0);  // the same window, to float resolution
}

TEST(CorrectionNumber, OnlyWholeNumbersInRangeChoose) {
    struct Case {
        double typed;
        std::optional<int> chosen;
    } const cases[] = {
        {1, 1}, {7, 7}, {0, std::nullopt}, {8, std::nullopt}, {2.5, std::nullopt}, {-1, std::nullopt},
        {1e300, std::nullopt}, {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(whole_number_in(c.typed, 1, 7), c.chosen) << c.typed;
}

}  // namespace
}  // namespace marula
