// The chained inverse driven through the real program in script mode.
// MARULA_KEEP_OUT=1 keeps the dumps and transcripts of a failing case.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "inverse_script.h"

namespace marula {
namespace {

using namespace test::inverse;

// Table row r stands on text row r + 2.
std::string azimuth(const ScriptResult& r, std::string_view snap, int row) { return r.cells(snap, row + 2, 62, 9); }
std::string distance(const ScriptResult& r, std::string_view snap, int row) { return r.cells(snap, row + 2, 72, 8); }

TEST(Invchain, LegsShowTheirAzimuthAndDistance) {
    auto r = run_script("invchain", chain({{"S", "0", "0"},
                                           {"N1", "1", "0"},       // 1 m north
                                           {"E1", "1", "1"},       // 1 m east
                                           {"S1", "0", "1"},       // 1 m south
                                           {"W1", "0", "0"},       // 1 m west
                                           {"NE", "100", "100"},   // the 100 m diagonals
                                           {"SE", "0", "200"},
                                           {"SW", "-100", "100"},
                                           {"NW", "0", "0"},
                                           {"S5", "-0.5", "0"},    // 0.5 m south: the offsets outweigh the nudge
                                           {"E5", "-0.5", "0.5"},  // 0.5 m east
                                           {"N5", "0", "0.5"},     // 0.5 m north
                                           {"W5", "0", "0"},       // 0.5 m west
                                           {"EQ", "0", "0"}})      // the same point again
                                         + Lines{"snap table"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    struct Row {
        int row;
        const char *azimuth, *distance;
    } const rows[] = {
        {1, "  0- 0- 0", "   1.000"},  {2, " 90- 0- 0", "   1.000"},  {3, "180- 0- 0", "   1.000"},
        {4, "270- 0- 0", "   1.000"},  {5, " 45- 0- 0", " 141.421"}, {6, "135- 0- 0", " 141.421"},
        {7, "225- 0- 0", " 141.421"},  {8, "315- 0- 0", " 141.421"}, {9, "179-59-59", "   0.500"},
        {10, " 89-59-59", "   0.500"}, {11, "  0- 0- 0", "   0.500"}, {12, "270- 0- 0", "   0.500"},
        {13, " 45- 0- 0", "   0.000"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(azimuth(r, "table", row.row), row.azimuth) << "row " << row.row;
        EXPECT_EQ(distance(r, "table", row.row), row.distance) << "row " << row.row;
    }
    // Each row repeats the point it starts from and names the one it ends at.
    EXPECT_EQ(r.row("table", 4), " 2 N1          1.000      0.000 E1           1.000      1.000  90- 0- 0    1.000");
    EXPECT_EQ(r.row("table", 16), "");  // nothing after the last leg
}

TEST(Invchain, EighteenLegsEndTheInput) {
    std::vector<std::vector<std::string>> points{{"P0", "0", "0"}};
    for (int k = 1; k <= 18; ++k) points.push_back({"P" + std::to_string(k), std::to_string(k), "0"});
    auto r = run_script("invchain", chain(points, /*end=*/false) + Lines{"snap limit"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("limit", 20), "18 P17        17.000      0.000 P18         18.000      0.000   0- 0- 0    1.000");
    // The key bar follows at once: no name is asked for a twentieth point.
    EXPECT_EQ(r.cells("limit", 23, 0, 8), "F1 訂 正");
}

TEST(Invchain, CorrectingAMiddleXMovesBothLegsButNotTheirDeltaY) {
    const Lines entry = chain({{"A", "0", "0"}, {"B", "10", "0"}, {"C", "10", "10"}});
    // Column 5, row 1 is the X of B, where legs 1 and 2 meet.
    auto r = run_script("invchain", entry + Lines{"key F1", "type 5", "type 1", "type 20", "snap fixed", "key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("fixed", 3), " 1 A           0.000      0.000 B           20.000      0.000   0- 0- 0   20.000");
    EXPECT_EQ(r.row("fixed", 4), " 2 B          20.000      0.000 C           10.000     10.000 135- 0- 0   14.142");
    // The new X stands in red in both cells that show it, as do the legs.
    const auto colors = r.colors("fixed");
    EXPECT_EQ(colors[3].substr(39, 11), ".....444444");
    EXPECT_EQ(colors[4].substr(9, 11), ".....444444");
    EXPECT_EQ(colors[4][79], '4');
    // ΔX follows the new X; ΔY is the stored one.
    const auto legs = leg_lines(r);
    ASSERT_EQ(legs.size(), 2u);
    EXPECT_NE(legs[0].find("   20.000    0.000      0° 0′ 0″  20.000"), std::string::npos) << legs[0];
    EXPECT_NE(legs[1].find("  -10.000   10.000    135° 0′ 0″  14.142"), std::string::npos) << legs[1];
}

TEST(Invchain, CorrectingANameChangesOnlyItsCells) {
    const Lines entry = chain({{"A", "0", "0"}, {"B", "10", "0"}, {"C", "10", "10"}});
    auto r = run_script("invchain", entry + Lines{"key F1", "type 1", "type 2", "type BB", "snap fixed"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("fixed", 3, 32, 6), "BB    ");
    EXPECT_EQ(r.cells("fixed", 4, 3, 6), "BB    ");
    EXPECT_EQ(azimuth(r, "fixed", 1), "  0- 0- 0");
}

TEST(Invchain, WrongCorrectionNumbersAreAskedAgain) {
    const Lines entry = chain({{"A", "0", "0"}, {"B", "10", "0"}});
    // Column 7 and 0 are refused; row 2 does not exist with one leg.
    auto r = run_script("invchain", entry + Lines{"key F1", "type 7", "type 0", "type 2", "type 2", "snap row"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("row", 23), "   縦の訂正番号");
}

TEST(Invchain, NoLegShowsOnlyTheStartPoint) {
    const Lines entry = {"type S", "type 12.5", "type -7.25", "type *"};
    auto r = run_script("invchain", entry + Lines{"key F1", "type 1", "type 1", "snap after_f1", "key F4", "key F5",
                                                  "snap redisplay", "key F2", "snap plot"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    // Any row is refused, and the key bar comes back instead of the row question.
    EXPECT_EQ(r.cells("after_f1", 23, 0, 8), "F1 訂 正");
    EXPECT_EQ(r.row("after_f1", 3), " 1 S          12.500     -7.250");
    EXPECT_EQ(r.row("redisplay", 3), " 1 S          12.500     -7.250");
    EXPECT_EQ(r.row("redisplay", 4), "");
    const auto page = transcript(r);
    EXPECT_TRUE(leg_lines(r).empty());
    bool start_line = false;
    for (const std::string& line : page) start_line |= line == "        S            12.500     -7.250";
    EXPECT_TRUE(start_line);
    // The plot holds the one name and the key bar.
    std::string plotted;
    for (int row = 0; row < 23; ++row) plotted += r.row("plot", row);
    ASSERT_NE(plotted.find('S'), std::string::npos);
    EXPECT_EQ(plotted.find_first_not_of(' '), plotted.find('S'));
    EXPECT_EQ(plotted.find_last_not_of(' '), plotted.find('S'));
}

TEST(Invchain, ReportHoldsTheLegLines) {
    const Lines entry = {"type A", "type 100", "type 200"};
    auto r = run_script("invchain", entry + chain({{"B", "110", "210"}}) + Lines{"key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    ASSERT_TRUE(r.logged("print print-1.pdf"));
    const auto page = transcript(r);
    const std::string heading =
        "      　座標名　   　Ｘ１　　   Ｙ１ 　 座標名　  　  Ｘ２　　   Ｙ２　  　  △X　  　 △Y　　 　方向角　   　距 離";
    EXPECT_NE(std::find(page.begin(), page.end(), heading), page.end());
    const auto legs = leg_lines(r);
    ASSERT_EQ(legs.size(), 1u);
    EXPECT_EQ(legs[0],
              "        A           100.000    200.000  B           110.000    210.000     10.000   10.000     45° 0′ 0″  14.142");
}

TEST(Invchain, RestartAndMenuKeys) {
    struct Case {
        const char* key;
        const char* logged;
    } const cases[] = {{"key F6", "run invchain"}, {"key F7", "run marula"}};
    for (const Case& c : cases) {
        auto r = run_script("invchain", chain({{"A", "0", "0"}, {"B", "1", "1"}}) + Lines{c.key});
        EXPECT_TRUE(r.logged(c.logged)) << c.key;
    }
}

}  // namespace
}  // namespace marula
