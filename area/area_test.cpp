// The polygon area and the corner cut, as pure arithmetic.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "area/corner_cut.h"
#include "area/polygon_area.h"
#include "base/format.h"

namespace marula::area {
namespace {

std::string shown(std::string_view format, double v) { return format_using(format, {v}); }

TEST(PolygonArea, SignFollowsTheSenseOfTravel) {
    struct Case {
        const char* what;
        std::vector<NamedPoint> vertices;
        double double_area;
    } const cases[] = {
        // North up, east to the right: east, north, west runs counter-clockwise.
        {"square counter-clockwise", {{"A", 0, 0}, {"B", 0, 10}, {"C", 10, 10}, {"D", 10, 0}}, 200},
        {"square clockwise", {{"A", 0, 0}, {"D", 10, 0}, {"C", 10, 10}, {"B", 0, 10}}, -200},
        {"triangle uses the two other vertices", {{"A", 0, 0}, {"B", 0, 4}, {"C", 3, 0}}, 12},
        {"triangle clockwise", {{"A", 0, 0}, {"C", 3, 0}, {"B", 0, 4}}, -12},
        {"far from the origin", {{"A", -1000, 2000}, {"B", -1000, 2010}, {"C", -990, 2010}, {"D", -990, 2000}}, 200},
    };
    for (const Case& c : cases) {
        const PolygonArea a = polygon_area(c.vertices);
        EXPECT_EQ(a.double_area, c.double_area) << c.what;
        EXPECT_EQ(a.area, c.double_area / 2) << c.what;
        // The check sum of the other products runs the opposite way.
        EXPECT_EQ(a.second_double_area, -c.double_area) << c.what;
        EXPECT_EQ(a.terms.size(), c.vertices.size()) << c.what;
    }
}

TEST(PolygonArea, TermsTakeNeighboursCyclically) {
    const std::vector<NamedPoint> v{{"A", 1, 2}, {"B", 5, 3}, {"C", 4, 9}};
    const PolygonArea a = polygon_area(v);
    ASSERT_EQ(a.terms.size(), 3u);
    EXPECT_EQ(a.terms[0].a, 5 - 4);  // vertex 1: next 2, previous 3
    EXPECT_EQ(a.terms[0].b, 3 - 9);
    EXPECT_EQ(a.terms[2].a, 1 - 5);  // vertex 3: next 1, previous 2
    EXPECT_EQ(a.terms[1].p, 3 * (4 - 1));
    EXPECT_EQ(a.terms[1].q, 5 * (9 - 2));
}

TEST(PolygonArea, FewerThanThreeVerticesEncloseNothing) {
    const std::vector<NamedPoint> two{{"A", 0, 0}, {"B", 5, 5}};
    const PolygonArea a = polygon_area(two);
    EXPECT_TRUE(a.terms.empty());
    EXPECT_EQ(a.double_area, 0);
}

TEST(PolygonSide, CardinalDirectionsShowWholeDegrees) {
    struct Case {
        double dx, dy;
        int degrees;
        const char* length;
    } const cases[] = {
        {10, 0, 0, "  10.000"}, {0, 10, 90, "  10.000"}, {-10, 0, 180, "  10.000"}, {0, -10, 270, "  10.000"},
        {1, 0, 0, "   1.000"},  {0, 1, 90, "   1.000"},  {-1, 0, 180, "   1.000"},  {0, -1, 270, "   1.000"},
    };
    for (const Case& c : cases) {
        const Side s = polygon_side({"F", 100, 200}, {"T", 100 + c.dx, 200 + c.dy});
        EXPECT_EQ(s.dms.degrees, c.degrees) << c.dx << "," << c.dy;
        EXPECT_EQ(s.dms.minutes, 0) << c.dx << "," << c.dy;
        EXPECT_EQ(s.dms.seconds, 0) << c.dx << "," << c.dy;
        EXPECT_EQ(shown("####.###", s.length), c.length);
    }
    // Coincident points: a side of length 0 with a defined direction.
    const Side none = polygon_side({"F", 5, 5}, {"T", 5, 5});
    EXPECT_TRUE(std::isfinite(none.azimuth));
    EXPECT_EQ(shown("####.###", none.length), "   0.000");
}

TEST(CornerCut, RightAngleCornerBothWays) {
    const NamedPoint corner{"2", 0, 0}, north{"1", 10, 0}, east{"3", 0, 10};
    struct Case {
        const char* what;
        NamedPoint p1, p3;
        const char *px, *py, *qx, *qy, *area;
    } const cases[] = {
        {"1 north, 3 east", north, east, "3.536", "0.000", "0.000", "3.536", " 6.2516480"},
        {"1 and 3 exchanged", east, north, "0.000", "3.536", "3.536", "0.000", "-6.2516480"},
    };
    for (const Case& c : cases) {
        const CornerCut cut = corner_cut(c.p1, corner, c.p3, 5);
        ASSERT_EQ(cut.fault, CornerFault::None) << c.what;
        EXPECT_EQ(shown("#.###", cut.p_x), c.px) << c.what;
        EXPECT_EQ(shown("#.###", cut.p_y), c.py) << c.what;
        EXPECT_EQ(shown("#.###", cut.q_x), c.qx) << c.what;
        EXPECT_EQ(shown("#.###", cut.q_y), c.qy) << c.what;
        EXPECT_EQ(shown("##.#######", cut.area), c.area) << c.what;
        EXPECT_EQ(shown("###.###", cut.cut_length), "  3.536") << c.what;
        // The two azimuths carry different offsets, so G misses 90 by a hair.
        EXPECT_NEAR(cut.corner_angle, 90, 1e-5) << c.what;
    }
}

TEST(CornerCut, StraightBoundaryCutsHalfTheChordEachWay) {
    const CornerCut cut = corner_cut({"1", 10, 0}, {"2", 0, 0}, {"3", -10, 0}, 5);
    ASSERT_EQ(cut.fault, CornerFault::None);
    EXPECT_EQ(shown("###.###", cut.cut_length), "  2.500");
    EXPECT_EQ(cut.p_x, 2.5);
    EXPECT_EQ(cut.q_x, -2.5);
    EXPECT_EQ(cut.area, 0);
}

TEST(CornerCut, NoCornerToCut) {
    const NamedPoint corner{"2", 100, 100};
    struct Case {
        const char* what;
        NamedPoint p1, p3;
        CornerFault fault;
    } const cases[] = {
        {"3 beyond 1 on one line", {"1", 110, 100}, {"3", 120, 100}, CornerFault::SameDirection},
        {"1 beyond 3 due west", {"1", 100, 50}, {"3", 100, 90}, CornerFault::SameDirection},
        {"1 on the corner", {"1", 100, 100}, {"3", 100, 110}, CornerFault::Point1OnCorner},
        {"3 on the corner", {"1", 110, 100}, {"3", 100, 100}, CornerFault::Point3OnCorner},
        {"3 a hair off the corner", {"1", 110, 100}, {"3", 100.0002, 100.0002}, CornerFault::Point3OnCorner},
    };
    for (const Case& c : cases) {
        const CornerCut cut = corner_cut(c.p1, corner, c.p3, 5);
        EXPECT_EQ(cut.fault, c.fault) << c.what;
        EXPECT_EQ(cut.area, 0) << c.what;
    }
    // A narrow but real corner is still cut.
    const CornerCut narrow = corner_cut({"1", 200, 100}, corner, {"3", 200, 101}, 1);
    EXPECT_EQ(narrow.fault, CornerFault::None);
    EXPECT_TRUE(std::isfinite(narrow.cut_length));
}

TEST(CornerCut, HairsWestOrSouthOfZeroLoseTheirSign) {
    struct Case {
        double in, out;
    } const cases[] = {
        {-0.0003, 0.0003}, {-0.00048, 0.00048}, {-0.0005, -0.0005}, {-0.001, -0.001}, {0.0, 0.0}, {0.0003, 0.0003},
    };
    for (const Case& c : cases) EXPECT_EQ(drop_negative_hair(c.in), c.out) << c.in;
    // The bound itself keeps its sign: it is excluded.
    EXPECT_LT(drop_negative_hair(double(-0.00049f)), 0);
}

}  // namespace
}  // namespace marula::area
