// The coordinate area driven through the real program in script mode.
// MARULA_KEEP_OUT=1 keeps the dumps and transcripts of a failing case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script_run.h"

namespace marula {
namespace {

using namespace test;

Lines vertices(const std::vector<std::vector<std::string>>& points, bool end = true) {
    Lines lines;
    for (const auto& p : points) lines.insert(lines.end(), {"type " + p[0], "type " + p[1], "type " + p[2]});
    if (end) lines.push_back("type *");
    return lines;
}

// Vertex i stands on text row i + 2; the side ending at it shows its
// azimuth from column 62, its length from column 71.
std::string side(const ScriptResult& r, std::string_view snap, int i) { return r.cells(snap, i + 2, 62, 17); }
std::string area_line(const ScriptResult& r, std::string_view snap, int n) { return r.cells(snap, n + 3, 30, 41); }

const std::vector<std::vector<std::string>> kCounterClockwise{
    {"A", "0", "0"}, {"B", "0", "10"}, {"C", "10", "10"}, {"D", "10", "0"}};

TEST(Coordarea, SquareSignAndSideDirections) {
    struct Case {
        const char* what;
        std::vector<std::vector<std::string>> points;
        std::string area;
        std::vector<std::string> sides;  // vertex 1 holds the closing side
    } const cases[] = {
        {"counter-clockwise", kCounterClockwise, "倍面積    200.000000 　面積    100.000000",
         {"180- 0- 0  10.000", " 90- 0- 0  10.000", "  0- 0- 0  10.000", "270- 0- 0  10.000"}},
        {"clockwise",
         {{"A", "0", "0"}, {"D", "10", "0"}, {"C", "10", "10"}, {"B", "0", "10"}},
         "倍面積   -200.000000 　面積   -100.000000",
         {"270- 0- 0  10.000", "  0- 0- 0  10.000", " 90- 0- 0  10.000", "180- 0- 0  10.000"}},
    };
    for (const Case& c : cases) {
        auto r = run_script("coordarea", vertices(c.points) + Lines{"snap result"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(area_line(r, "result", 4), c.area) << c.what;
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(side(r, "result", i), c.sides[i - 1]) << c.what << ", vertex " << i;
    }
}

TEST(Coordarea, ResultRowsCarryTheAreaTerms) {
    auto r = run_script("coordarea", vertices(kCounterClockwise) + Lines{"snap result"});
    EXPECT_EQ(r.row("result", 4), "  2  B            0.000     10.000   10.000       100.000000   90- 0- 0  10.000");
}

TEST(Coordarea, AnAsteriskBeforeTheFourthVertexIsRefused) {
    // A triangle: "*" after the first and second vertex asks for the name again.
    const Lines lines = {"type A", "type 0", "type 0", "type *", "type B", "type 0", "type 4",
                         "type *", "type C", "type 3", "type 0", "type *", "snap result"};
    auto r = run_script("coordarea", lines);
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(area_line(r, "result", 3), "倍面積     12.000000 　面積      6.000000");
    EXPECT_EQ(r.cells("result", 5, 0, 11), "  3  C     ");
}

TEST(Coordarea, CorrectionsRecomputeOrOnlyRename) {
    struct Case {
        const char* what;
        Lines keys;
        int row, column, width;
        std::string cell, area;
    } const cases[] = {
        {"X of vertex 3", {"type 2", "type 3", "type 20"}, 5, 12, 11, "     20.000",
         "倍面積    300.000000 　面積    150.000000"},
        {"Y of vertex 2", {"type 3", "type 2", "type 20"}, 4, 23, 11, "     20.000",
         "倍面積    300.000000 　面積    150.000000"},
        {"name of vertex 4", {"type 1", "type 4", "type DD"}, 6, 5, 6, "DD    ",
         "倍面積    200.000000 　面積    100.000000"},
    };
    for (const Case& c : cases) {
        auto r = run_script("coordarea", vertices(kCounterClockwise) + Lines{"key F1"} + c.keys + Lines{"snap fixed"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.cells("fixed", c.row, c.column, c.width), c.cell) << c.what;
        // The corrected value stands in light red.
        const int first_mark = c.column + static_cast<int>(c.cell.find_first_not_of(' '));
        EXPECT_EQ(r.colors("fixed")[c.row][first_mark], 'c') << c.what;
        EXPECT_EQ(area_line(r, "fixed", 4), c.area) << c.what;
    }
}

TEST(Coordarea, ReportHoldsBothDoubleAreasAndTheArea) {
    auto r = run_script("coordarea", vertices(kCounterClockwise) + Lines{"key F4"});
    ASSERT_TRUE(r.logged("print print-1.pdf"));
    const auto page = transcript(r);
    EXPECT_TRUE(has_line(page, "           B             0.000     10.000        10.000       100.000000       10.000　"
                               "        0.000000     90° 0′ 0″  10.000"));
    EXPECT_TRUE(has_line(page, "                                                  倍面積      200.000000  　　   倍面積"
                               "     -200.000000"));
    EXPECT_TRUE(has_line(page, "                                  面積    100.000000"));
}

TEST(Coordarea, NineteenVerticesGiveNoArea) {
    std::vector<std::vector<std::string>> points;
    for (int i = 1; i <= 19; ++i) points.push_back({"P" + std::to_string(i), std::to_string(i), std::to_string(i % 2)});
    const Lines entry = vertices(points, /*end=*/false);
    auto quiet = run_script("coordarea", entry + Lines{"snap limit"});
    auto keys = run_script("coordarea", entry + Lines{"key F1", "key F2", "key F4", "key F5", "snap redisplay"});
    ASSERT_EQ(keys.exit_status, 0) << keys.stderr_text;
    // Correction, plot and report have no area to work on: each beeps.
    EXPECT_EQ(keys.events_starting("beep").size(), quiet.events_starting("beep").size() + 3);
    EXPECT_TRUE(keys.events_starting("print").empty());
    // The vertices stay as entered, with no area line under them.
    EXPECT_EQ(keys.cells("redisplay", 21, 0, 11), " 19  P19   ");
    EXPECT_EQ(keys.row("redisplay", 22), "");
    EXPECT_EQ(quiet.cells("limit", 23, 0, 8), "F1 訂 正");
}

TEST(Coordarea, RestartAndMenuKeys) {
    struct Case {
        const char* key;
        const char* logged;
    } const cases[] = {{"key F6", "run coordarea"}, {"key F7", "run marula"}};
    for (const Case& c : cases) {
        auto r = run_script("coordarea", vertices(kCounterClockwise) + Lines{c.key});
        EXPECT_TRUE(r.logged(c.logged)) << c.key;
    }
}

}  // namespace
}  // namespace marula
