// The closed traverse driven through the real program in script mode.
// Each case names the behaviour it guards; MARULA_KEEP_OUT=1 keeps the
// screen dumps and report transcripts of a failing case.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "traverse_script.h"

namespace marula {
namespace {

using namespace test;

// Station 0 at (1000, 1000) looking back along 180° at the last station;
// four exterior angles of 270°00′02″ and legs of 100, 100, 100 and 100.004.
const Lines kStart = {"type BS", "type 180", "type P0", "type 1000", "type 1000"};
const Lines kLegs = {
    "type P1", "type 270.0002", "type 100",  //
    "type P2", "type 270.0002", "type 100",  //
    "type P3", "type 270.0002", "type 100",  //
    "type P0", "type 270.0002", "type 100.004",
};
const Lines kWholeRun = kStart + kLegs + Lines{"type *"};

const std::string kWholeRunSummary =
    "    精度１： 100001  距離計 400.004  角誤差   8秒 Ｘ誤差 0.004  Ｙ誤差 0.000";

struct StationRow {
    int row;
    std::string azimuth, x, y;
};

const std::vector<StationRow> kWholeRunRows = {
    {0, " 180- 0- 0", "    1000.000", "    1000.000"},
    {1, "  90- 0- 0", "     999.999", "    1100.000"},
    {2, " 180- 0- 0", "     899.998", "    1100.000"},
    {3, " 270- 0- 0", "     899.997", "    1000.000"},
    {4, "   0- 0- 0", "    1000.000", "    1000.000"},
};

std::string azimuth(const ScriptResult& r, std::string_view snap, int row) {
    return r.cells(snap, 3 + row, 40, 10);
}
std::string x_of(const ScriptResult& r, std::string_view snap, int row) { return r.cells(snap, 3 + row, 53, 12); }
std::string y_of(const ScriptResult& r, std::string_view snap, int row) { return r.cells(snap, 3 + row, 65, 12); }

void expect_rows(const ScriptResult& r, std::string_view snap, const std::vector<StationRow>& rows) {
    for (const StationRow& s : rows) {
        EXPECT_EQ(azimuth(r, snap, s.row), s.azimuth) << "row " << s.row;
        EXPECT_EQ(x_of(r, snap, s.row), s.x) << "row " << s.row;
        EXPECT_EQ(y_of(r, snap, s.row), s.y) << "row " << s.row;
    }
}

// The report's station lines follow the rule of "－"; row i is i lines
// below the line of station 0. Its correction in seconds is at 33–35.
std::vector<std::string> report_corrections(const std::vector<std::string>& page, int legs) {
    std::vector<std::string> out;
    std::size_t rule = 0;
    while (rule < page.size() && page[rule].rfind("   －", 0) != 0) ++rule;
    for (int i = 1; i <= legs && rule + 1 + i < page.size(); ++i) out.push_back(page[rule + 1 + i].substr(33, 3));
    return out;
}

TEST(Looptrav, WholeRunClosesTheSquare) {
    auto r = run_script("looptrav", kWholeRun + Lines{"snap result", "key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    expect_rows(r, "result", kWholeRunRows);
    EXPECT_EQ(r.row("result", 21), kWholeRunSummary);
    // Each angle lost 2″ and each leg 1 mm of X.
    auto page = transcript(r, 1);
    EXPECT_EQ(report_corrections(page, 4), (std::vector<std::string>{" -2", " -2", " -2", " -2"}));
    ASSERT_GE(page.size(), 3u);
    EXPECT_EQ(page[page.size() - 2],
              "                                    角の閉合差   8秒　　Ｘ座標の閉合差    0.004　Ｙ座標の閉合差    "
              "0.000　配付点数  4");
    EXPECT_EQ(page[page.size() - 3],
              "　　　                実測精度１： 100001 （ 水平距離の和　  400.004  座標の閉合差　  0.004）");
    EXPECT_EQ(page.back(), "\f");
}

TEST(Looptrav, ReportRowsCarryEveryLegQuantity) {
    auto r = run_script("looptrav", kWholeRun + Lines{"key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    auto page = transcript(r, 1);
    // Station 0 (two statements on one line) and leg 1: names, angle,
    // correction, azimuth, distance, cos, sin, ΔX, ΔY, εX, εY, X, Y, name.
    const std::string row0 = "      P0      BS      　               180  0  0" + std::string(61, ' ') +
                             "    1000.000     1000.000  P0    ";
    const std::string row1 =
        "      P0      P1      270  0  2   -2    90  0  0   100.000   0.000000   1.000000     0.000   100.000  -1   0 "
        "     999.999     1100.000  P1    ";
    EXPECT_NE(std::find(page.begin(), page.end(), row0), page.end());
    EXPECT_NE(std::find(page.begin(), page.end(), row1), page.end());
    EXPECT_EQ(page[4].rfind("                            多角測量座標計算書", 0), 0u) << page[4];
}

TEST(Looptrav, AnglesWithSixtyMinutesOrSecondsAreRefused) {
    struct Case {
        const char* what;
        Lines script;
    } const cases[] = {
        {"starting azimuth with 60 minutes",
         Lines{"type BS", "type 180.6000"} + Lines(kStart.begin() + 1, kStart.end()) + kLegs + Lines{"type *"}},
        {"included angle with 75 seconds",
         kStart + Lines{"type P1", "type 270.0075"} + Lines(kLegs.begin() + 1, kLegs.end()) + Lines{"type *"}},
    };
    for (const Case& c : cases) {
        auto r = run_script("looptrav", c.script + Lines{"snap result"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        SCOPED_TRACE(c.what);
        EXPECT_EQ(r.times_logged("beep"), 1);
        expect_rows(r, "result", kWholeRunRows);
        EXPECT_EQ(r.row("result", 21), kWholeRunSummary);
    }
}

TEST(Looptrav, LegsOfNoLengthShowNoBrokenNumbers) {
    // Every distance 0: the total is 0, the misclosure nothing; the ratio is
    // unbounded and no correction is made, and the plot still draws.
    Lines script = kStart;
    for (const char* name : {"P1", "P2", "P3", "P0"}) script = script + Lines{std::string("type ") + name, "type 90", "type 0"};
    auto r = run_script("looptrav", script + Lines{"type *", "snap result", "key F2", "snap plot"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("result", 21), "    精度１：     ∞  距離計   0.000  角誤差   0秒 Ｘ誤差 0.000  Ｙ誤差 0.000");
    for (int row = 1; row <= 4; ++row) {
        EXPECT_EQ(x_of(r, "result", row), "    1000.000") << row;
        EXPECT_EQ(y_of(r, "result", row), "    1000.000") << row;
    }
    EXPECT_NE(r.row("plot", 23).find("F1 訂 正"), std::string::npos);
}

TEST(Looptrav, AngleSumsAreTestedAgainstThePolygon) {
    struct Case {
        const char* what;
        std::vector<const char*> angles;
        std::string shown;  // 角誤差 on the summary line
        std::vector<std::string> corrections;
    } const cases[] = {
        {"interior square", {"90", "90", "90", "90"}, "   0", {"  0", "  0", "  0", "  0"}},
        {"exterior square, lowered by 720", {"270", "270", "270", "270"}, "   0", {"  0", "  0", "  0", "  0"}},
        {"8″ too much", {"90.0002", "90.0002", "90.0002", "90.0002"}, "   8", {" -2", " -2", " -2", " -2"}},
        {"5″ short over 4", {"90", "90", "90", "89.5955"}, "  -5", {"  1", "  2", "  1", "  1"}},
        {"7″ short over 5", {"108", "108", "108", "108", "107.5953"}, "  -7", {"  1", "  2", "  1", "  2", "  1"}},
    };
    for (const Case& c : cases) {
        Lines script = kStart;
        for (std::size_t i = 0; i < c.angles.size(); ++i)
            script = script + Lines{"type S" + std::to_string(i + 1), std::string("type ") + c.angles[i], "type 100"};
        auto r = run_script("looptrav", script + Lines{"type *", "snap result", "key F4"});
        ASSERT_EQ(r.exit_status, 0) << c.what << r.stderr_text;
        // "角誤差" then the seconds in a four-digit field.
        std::string summary = r.row("result", 21);
        auto at = summary.find("角誤差");
        ASSERT_NE(at, std::string::npos) << c.what;
        EXPECT_EQ(summary.substr(at + std::string("角誤差").size(), 4), c.shown) << c.what;
        EXPECT_EQ(report_corrections(transcript(r, 1), int(c.angles.size())), c.corrections) << c.what;
    }
}

TEST(Looptrav, EndMarkNeedsThreeLegs) {
    // "*" typed before the fourth station entry is refused with a notice and
    // the name is asked again; the traverse then goes on as if never typed.
    for (std::size_t before : {0u, 1u, 2u}) {
        Lines script = kStart;
        for (std::size_t leg = 0; leg < 4; ++leg) {
            if (leg == before) script = script + Lines{"type *"};
            script = script + Lines(kLegs.begin() + 3 * leg, kLegs.begin() + 3 * leg + 3);
        }
        auto r = run_script("looptrav", script + Lines{"type *", "snap result"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.times_logged("beep"), 1) << "end mark before leg " << before + 1;
        expect_rows(r, "result", kWholeRunRows);
        EXPECT_EQ(r.row("result", 21), kWholeRunSummary);
    }
}

TEST(Looptrav, FullWidthStarIsAStationName) {
    Lines script = kStart + Lines{"type ＊", "type 270.0002", "type 100"} +
                   Lines(kLegs.begin() + 3, kLegs.end()) + Lines{"type *", "snap result"};
    auto r = run_script("looptrav", script);
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("result", 4, 12, 6), "＊    ");
    EXPECT_EQ(r.cells("result", 5, 5, 6), "＊    ");
    EXPECT_EQ(r.row("result", 21), kWholeRunSummary);
}

TEST(Looptrav, CorrectionsRecomputeWhatDependsOnThem) {
    struct Case {
        const char* what;
        Lines edit;
        std::vector<StationRow> rows;
        std::string summary;
    } const cases[] = {
        {"station 0 X + 10 m moves the polygon, not its misclosure",
         {"type 6", "type 1010"},
         {{0, " 180- 0- 0", "    1010.000", "    1000.000"},
          {1, "  90- 0- 0", "    1009.999", "    1100.000"},
          {2, " 180- 0- 0", "     909.998", "    1100.000"},
          {3, " 270- 0- 0", "     909.997", "    1000.000"},
          {4, "   0- 0- 0", "    1010.000", "    1000.000"}},
         kWholeRunSummary},
        {"station 0 Y − 10 m likewise",
         {"type 7", "type 990"},
         {{1, "  90- 0- 0", "     999.999", "    1090.000"},
          {2, " 180- 0- 0", "     899.998", "    1090.000"},
          {3, " 270- 0- 0", "     899.997", "     990.000"},
          {4, "   0- 0- 0", "    1000.000", "     990.000"}},
         kWholeRunSummary},
        {"starting azimuth turns every leg; the corrections stay",
         {"type 5", "type 90"},
         {{0, "  90- 0- 0", "    1000.000", "    1000.000"},
          {1, "   0- 0- 0", "    1100.000", "    1000.001"},
          {2, "  90- 0- 0", "    1100.000", "    1100.002"},
          {3, " 180- 0- 0", "    1000.000", "    1100.003"},
          {4, " 270- 0- 0", "    1000.000", "    1000.000"}},
         "    精度１： 100001  距離計 400.004  角誤差   8秒 Ｘ誤差 0.000  Ｙ誤差-0.004"},
        {"a distance that closes the loop leaves no misclosure",
         {"type 4", "type 4", "type 100"},
         {{1, "  90- 0- 0", "    1000.000", "    1100.000"},
          {2, " 180- 0- 0", "     900.000", "    1100.000"},
          {3, " 270- 0- 0", "     900.000", "    1000.000"},
          {4, "   0- 0- 0", "    1000.000", "    1000.000"}},
         "    精度１：     ∞  距離計 400.000  角誤差   8秒 Ｘ誤差 0.000  Ｙ誤差 0.000"},
    };
    for (const Case& c : cases) {
        auto r = run_script("looptrav", kWholeRun + Lines{"key F1"} + c.edit + Lines{"snap result"});
        ASSERT_EQ(r.exit_status, 0) << c.what << r.stderr_text;
        SCOPED_TRACE(c.what);
        expect_rows(r, "result", c.rows);
        EXPECT_EQ(r.row("result", 21), c.summary);
    }
}

TEST(Looptrav, AngleCorrectionRedistributesTheMisclosure) {
    // Angle 1 becomes 270°00′00″: 6″ over four angles, −2, −1, −2, −1.
    auto r = run_script("looptrav", kWholeRun + Lines{"key F1", "type 3", "type 1", "type 270", "snap result",
                                                      "key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("result", 4, 18, 10), " 270- 0- 0");
    std::string summary = r.row("result", 21);
    EXPECT_NE(summary.find("角誤差   6秒"), std::string::npos) << summary;
    EXPECT_EQ(report_corrections(transcript(r, 1), 4), (std::vector<std::string>{" -2", " -1", " -2", " -1"}));
}

TEST(Looptrav, NamesOfStationZeroAreOnePoint) {
    // Column 2 of row n is the return to station 0: both change together.
    auto r = run_script("looptrav", kWholeRun + Lines{"key F1", "type 2", "type 4", "type K0", "snap result"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("result", 3, 5, 6), "K0    ");
    EXPECT_EQ(r.cells("result", 4, 5, 6), "K0    ");
    EXPECT_EQ(r.cells("result", 7, 12, 6), "K0    ");
    // Another station's name stands in two rows.
    auto s = run_script("looptrav", kWholeRun + Lines{"key F1", "type 1", "type 3", "type Q2", "snap result"});
    EXPECT_EQ(s.cells("result", 5, 12, 6), "Q2    ");
    EXPECT_EQ(s.cells("result", 6, 5, 6), "Q2    ");
}

TEST(Looptrav, RefusedCorrectionNumbersAskAgain) {
    struct Case {
        Lines typed;
        std::string asked;  // the question on row 23 afterwards
    } const cases[] = {
        {{"type 0"}, "　　横の訂正番号"},
        {{"type 8"}, "　　横の訂正番号"},
        {{"type 3", "type 0"}, "   縦の訂正番号"},
        {{"type 4", "type 5"}, "   縦の訂正番号"},
        // Columns 5–7 go straight to their value.
        {{"type 5"}, "  方向角は（既知点から後視点へ"},
        {{"type 6"}, "  正しいＸ座標は"},
    };
    for (const Case& c : cases) {
        auto r = run_script("looptrav", kWholeRun + Lines{"key F1"} + c.typed);
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.row("final", 23).rfind(c.asked, 0), 0u) << c.typed.back() << ": " << r.row("final", 23);
    }
}

TEST(Looptrav, SeventeenthEntryIsRefusedBeforeItsName) {
    // Sixteen stations of a regular 16-gon (157°30′ each); the seventeenth
    // entry is refused and the sixteen legs are computed.
    Lines script = kStart;
    for (int k = 1; k <= 16; ++k) script = script + Lines{"type S" + std::to_string(k), "type 157.30", "type 10"};
    auto r = run_script("looptrav", script + Lines{"snap result", "key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("beep"));
    EXPECT_EQ(r.cells("result", 19, 1, 2), "16");
    EXPECT_EQ(r.cells("result", 19, 31, 8), "  10.000");
    EXPECT_EQ(r.row("result", 21).rfind("    精度１：", 0), 0u);
    EXPECT_EQ(r.row("result", 23).rfind("F1 訂 正", 0), 0u);
    auto page = transcript(r, 1);
    ASSERT_GE(page.size(), 2u);
    EXPECT_NE(page[page.size() - 2].find("配付点数 16"), std::string::npos);
}

TEST(Looptrav, PlotAndRedisplay) {
    auto r = run_script("looptrav", kWholeRun + Lines{"snap table", "key F2", "snap plot", "key F5", "snap again"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    // The plot replaces the table and names every station.
    EXPECT_EQ(r.row("plot", 2).find("測角点"), std::string::npos);
    std::string plot;
    for (const std::string& row : r.screen("plot")) plot += row + "\n";
    for (const char* name : {"P1", "P2", "P3", "P0"}) EXPECT_NE(plot.find(name), std::string::npos) << name;
    // Redisplay brings back every row and the summary, without the title.
    EXPECT_EQ(r.row("again", 0), "");
    for (int row = 1; row <= 21; ++row) EXPECT_EQ(r.row("again", row), r.row("table", row)) << row;
}

TEST(Looptrav, KeysThatLeaveTheProgram) {
    struct Case {
        const char* key;
        const char* logged;
    } const cases[] = {{"key F6", "run looptrav"}, {"key F7", "run marula"}};
    for (const Case& c : cases) {
        auto r = run_script("looptrav", kWholeRun + Lines{c.key});
        EXPECT_TRUE(r.logged(c.logged)) << c.key;
    }
}

}  // namespace
}  // namespace marula
