// The radial traverse driven through the real program in script mode.
// Each case names the behaviour it guards; MARULA_KEEP_OUT=1 keeps the
// screen dumps and report transcripts of a failing case.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "traverse_script.h"

namespace marula {
namespace {

using namespace test;

// Three points round the instrument point: +Y, −X and +X.
const Lines kFan = start_at("0") + point("P2", "90", "100") + point("P3", "180", "50") +
                   point("P4", "0", "100") + Lines{"type *"};

struct PointRow {
    int row;
    std::string azimuth, x, y;
};

const std::vector<PointRow> kFanRows = {
    {2, "  90° 0′ 0″", "    1000.000", "    1100.000"},
    {3, " 180° 0′ 0″", "     950.000", "    1000.000"},
    {4, "   0° 0′ 0″", "    1100.000", "    1000.000"},
};

// Table row j stands on text row j + 3.
void expect_rows(const ScriptResult& r, std::string_view snap, const std::vector<PointRow>& rows) {
    for (const PointRow& p : rows) {
        EXPECT_EQ(r.cells(snap, p.row + 3, 39, 14), p.azimuth) << "row " << p.row;
        EXPECT_EQ(r.cells(snap, p.row + 3, 53, 12), p.x) << "row " << p.row;
        EXPECT_EQ(r.cells(snap, p.row + 3, 65, 12), p.y) << "row " << p.row;
    }
}

TEST(Radtrav, EveryPointFromTheInstrumentPoint) {
    struct Case {
        const char* what;
        Lines script;
        std::vector<PointRow> rows;
    } const cases[] = {
        {"backsight 0, angle 90°", start_at("0") + point("P2", "90", "100"),
         {{2, "  90° 0′ 0″", "    1000.000", "    1100.000"}}},
        {"backsight 300°, angle 100°: one turn off", start_at("300") + point("P2", "100", "100"),
         {{2, "  40° 0′ 0″", "    1076.604", "    1064.279"}}},
        {"a sum past two turns is brought into range", start_at("300") + point("P2", "500", "100"),
         {{2, "  80° 0′ 0″", "    1017.365", "    1098.481"}}},
        {"a negative angle below zero is brought into range", start_at("30") + point("P2", "-50", "100"),
         {{2, " 340° 0′ 0″", "    1093.969", "     965.798"}}},
        {"a backsight of 360 stays as typed", start_at("360") + point("P2", "0", "100"),
         {{0, " 360° 0′ 0″", "            ", "            "}, {2, "   0° 0′ 0″", "    1100.000", "    1000.000"}}},
    };
    for (const Case& c : cases) {
        auto r = run_script("radtrav", c.script + Lines{"type *", "snap result"});
        ASSERT_EQ(r.exit_status, 0) << c.what << r.stderr_text;
        SCOPED_TRACE(c.what);
        expect_rows(r, "result", c.rows);
    }
}

TEST(Radtrav, CorrectionsMoveOnlyWhatHangsOnThem) {
    struct Case {
        const char* what;
        Lines edit;
        std::vector<PointRow> rows;
    } const cases[] = {
        {"one point's distance moves that point alone",
         {"type 3", "type 3", "type 100"},
         {kFanRows[0], {3, " 180° 0′ 0″", "     900.000", "    1000.000"}, kFanRows[2]}},
        {"one point's angle moves that point alone",
         {"type 2", "type 3", "type 270"},
         {kFanRows[0], {3, " 270° 0′ 0″", "    1000.000", "     950.000"}, kFanRows[2]}},
        {"the backsight azimuth turns every point about the instrument point",
         {"type 4", "type 0", "type 90"},
         {{0, "  90° 0′ 0″", "            ", "            "},
          {2, " 180° 0′ 0″", "     900.000", "    1000.000"},
          {3, " 270° 0′ 0″", "    1000.000", "     950.000"},
          {4, "  90° 0′ 0″", "    1000.000", "    1100.000"}}},
        {"instrument X shifts every X",
         {"type 5", "type 1", "type 1010"},
         {{2, "  90° 0′ 0″", "    1010.000", "    1100.000"},
          {3, " 180° 0′ 0″", "     960.000", "    1000.000"},
          {4, "   0° 0′ 0″", "    1110.000", "    1000.000"}}},
        {"instrument Y shifts every Y",
         {"type 6", "type 1", "type 990"},
         {{2, "  90° 0′ 0″", "    1000.000", "    1090.000"},
          {4, "   0° 0′ 0″", "    1100.000", "     990.000"}}},
    };
    for (const Case& c : cases) {
        auto r = run_script("radtrav", kFan + Lines{"key F1"} + c.edit + Lines{"snap result"});
        ASSERT_EQ(r.exit_status, 0) << c.what << r.stderr_text;
        SCOPED_TRACE(c.what);
        expect_rows(r, "result", c.rows);
    }
}

TEST(Radtrav, CorrectionNumbersThatDoNotFitAreRefused) {
    const Lines none = start_at("0") + Lines{"type *"};
    struct Case {
        Lines script;
        Lines typed;
        std::string asked;  // the question on row 23 afterwards
    } const cases[] = {
        {kFan, {"type 0"}, "　　横の訂正番号"},
        {kFan, {"type 7"}, "　　横の訂正番号"},
        {kFan, {"type 2", "type 1"}, "   縦の訂正番号"},
        {kFan, {"type 3", "type 0"}, "   縦の訂正番号"},
        {kFan, {"type 4", "type 1"}, "   縦の訂正番号"},
        {kFan, {"type 5", "type 0"}, "   縦の訂正番号"},
        {kFan, {"type 1", "type 5"}, "   縦の訂正番号"},
        {kFan, {"type 4", "type 0"}, "正しい方向角は（機械点から後視点へ)"},
        // With no observed point, angle and distance columns have no row.
        {none, {"type 2"}, "　　横の訂正番号"},
        {none, {"type 3"}, "　　横の訂正番号"},
    };
    for (const Case& c : cases) {
        auto r = run_script("radtrav", c.script + Lines{"key F1"} + c.typed);
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.row("final", 23).rfind(c.asked, 0), 0u) << c.typed.front() << ": " << r.row("final", 23);
    }
}

// Scripts with one entry refused and typed again, ended at the key bar:
// the refusal beeps once and point 2 stands where the second
// answer puts it.
struct RefusedEntry {
    const char* what;
    Lines script;
};
void expect_asked_again(std::span<const RefusedEntry> cases) {
    for (const RefusedEntry& c : cases) {
        auto r = run_script("radtrav", c.script + Lines{"type *", "snap result"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        SCOPED_TRACE(c.what);
        EXPECT_EQ(r.times_logged("beep"), 1);
        expect_rows(r, "result", {{2, "  40° 0′ 0″", "    1076.604", "    1064.279"}});
    }
}

TEST(Radtrav, AnglesWithSixtyMinutesOrSecondsAreRefused) {
    // The refused entry is asked again; the answer after it is the one used.
    const RefusedEntry cases[] = {
        {"backsight azimuth with 60 minutes",
         Lines{"type BS", "type 300.6000", "type 300", "type A", "type 1000", "type 1000"} +
             point("P2", "100", "100")},
        {"included angle with 99 seconds", start_at("300") + Lines{"type P2", "type 100.0099", "type 100", "type 100"}},
    };
    expect_asked_again(cases);
}

TEST(Radtrav, EighteenPointsBringTheLimitThenThePlot) {
    Lines script = start_at("0");
    for (int j = 2; j <= 19; ++j) script = script + point("P" + std::to_string(j), std::to_string(20 * (j - 2)), "100");
    auto r = run_script("radtrav", script + Lines{"snap result", "key F5", "snap again", "key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("beep"));
    // Before any key: the plot (no heading) under the key bar.
    EXPECT_EQ(r.row("result", 2).find("番号"), std::string::npos);
    EXPECT_EQ(r.row("result", 23).rfind("F1 訂 正", 0), 0u);
    std::string plot;
    for (const std::string& row : r.screen("result")) plot += row + "\n";
    for (const char* name : {"P2", "P10", "P19"}) EXPECT_NE(plot.find(name), std::string::npos) << name;
    // Redisplay and report list all eighteen.
    EXPECT_EQ(r.cells("again", 22, 7, 7), "P19    ");
    EXPECT_EQ(r.cells("again", 22, 39, 14), " 340° 0′ 0″");
    EXPECT_EQ(r.cells("again", 22, 53, 12), "    1093.969");
    auto page = transcript(r, 1);
    ASSERT_GE(page.size(), 2u);
    EXPECT_EQ(page[page.size() - 2], "                        P19             1093.969          965.798");
    int coordinate_lines = 0;
    for (const std::string& line : page) coordinate_lines += line.rfind("                        P", 0) == 0;
    EXPECT_EQ(coordinate_lines, 18);
}

TEST(Radtrav, NoObservedPointShowsOnlyWhatWasEntered) {
    auto r = run_script("radtrav", start_at("0") + Lines{"type *", "key F2", "snap plot", "key F4", "key F5",
                                                          "snap again"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("again", 3, 0, 13), "   0   BS    ");
    EXPECT_EQ(r.cells("again", 4, 53, 24), "    1000.000    1000.000");
    for (int row = 5; row <= 22; ++row) EXPECT_EQ(r.row("again", row), "") << row;
    auto page = transcript(r, 1);
    ASSERT_GE(page.size(), 6u);
    EXPECT_EQ(page[page.size() - 1], "\f");
    EXPECT_EQ(page[page.size() - 2], "                        A               1000.000         1000.000");
    EXPECT_NE(page[page.size() - 3].find("点　名"), std::string::npos);
    EXPECT_EQ(page[page.size() - 6], "    　 　 BS                         0° 0′ 0″");
}

TEST(Radtrav, ReportListsShotsAndCoordinates) {
    auto r = run_script("radtrav", kFan + Lines{"key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    auto page = transcript(r, 1);
    const std::vector<std::string> body = {
        "　 　 　  点　名　 　夾　角　　  機械点からの方向角   距離　  　 DX　   　 DY",
        "    　 　 BS                         0° 0′ 0″",
        "          P2       90° 0′ 0″     90° 0′ 0″    100.000      0.000   100.000",
        "          P3      180° 0′ 0″    180° 0′ 0″     50.000    -50.000     0.000",
        "          P4        0° 0′ 0″      0° 0′ 0″    100.000    100.000     0.000",
        "",
        "",
        "     　　　　　　　　　 点　名　　　　　Ｘ座標　　 　　　Ｙ座標",
        "                        A               1000.000         1000.000",
        "                        P2              1000.000         1100.000",
        "                        P3               950.000         1000.000",
        "                        P4              1100.000         1000.000",
        "\f",
    };
    ASSERT_GE(page.size(), body.size() + 7);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(page[i], "") << i;
    EXPECT_EQ(page[4].rfind("                   放射トラバ－ス          By MARULA   ", 0), 0u) << page[4];
    EXPECT_EQ(page[5], "");
    EXPECT_EQ(page[6], "");
    EXPECT_EQ(std::vector<std::string>(page.begin() + 7, page.end()), body);
}

TEST(Radtrav, KeysThatLeaveTheProgram) {
    struct Case {
        const char* key;
        const char* logged;
    } const cases[] = {{"key F6", "run radtrav"}, {"key F7", "run marula"}};
    for (const Case& c : cases) {
        auto r = run_script("radtrav", kFan + Lines{c.key});
        EXPECT_TRUE(r.logged(c.logged)) << c.key;
    }
}

}  // namespace
}  // namespace marula
