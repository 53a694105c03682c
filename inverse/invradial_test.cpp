// The radial inverse driven through the real program in script mode.
// MARULA_KEEP_OUT=1 keeps the dumps and transcripts of a failing case.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "inverse_script.h"

namespace marula {
namespace {

using namespace test::inverse;

// Instrument I at the origin; targets north, east and south of it.
const Lines kThreeTargets = chain({{"I", "0", "0"}, {"T1", "10", "0"}, {"T2", "0", "10"}, {"T3", "-10", "0"}});

// Azimuth and distance of table row r (text row r + 2).
std::string leg(const ScriptResult& r, std::string_view snap, int row) { return r.cells(snap, row + 2, 62, 18); }

// ΔY of a report line: the field just before the azimuth's degrees.
std::string delta_y(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> fields;
    for (std::string f; in >> f;) fields.push_back(f);
    for (std::size_t i = 1; i < fields.size(); ++i)
        if (fields[i].find("°") != std::string::npos) return fields[i - 1];
    return {};
}

TEST(Invradial, EveryTargetIsMeasuredFromTheInstrument) {
    auto r = run_script("invradial", kThreeTargets + Lines{"snap table"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("table", 3), " 1 I           0.000      0.000 T1          10.000      0.000   0- 0- 0   10.000");
    // Later rows leave the instrument columns blank.
    EXPECT_EQ(r.row("table", 4), " 2                              T2           0.000     10.000  90- 0- 0   10.000");
    EXPECT_EQ(leg(r, "table", 3), "180- 0- 0   10.000");
}

TEST(Invradial, CorrectionsRecomputeTheRowsTheyMove) {
    struct Case {
        const char* what;
        Lines keys;
        std::vector<std::string> legs;  // rows 1-3 after the correction
        std::vector<std::string> delta_y;  // ΔY of each report line
    } const cases[] = {
        {"instrument X moves every row", {"type 2", "type 10"},
         {" 45- 0- 0    0.000", "135- 0- 0   14.142", "180- 0- 0   20.000"}, {"0.000", "10.000", "0.000"}},
        {"instrument Y moves every row", {"type 3", "type -10"},
         {" 45- 0- 0   14.142", " 90- 0- 0   20.000", "135- 0- 0   14.142"}, {"10.000", "20.000", "10.000"}},
        {"one target's Y moves its row only", {"type 6", "type 2", "type 20"},
         {"  0- 0- 0   10.000", " 90- 0- 0   20.000", "180- 0- 0   10.000"}, {"0.000", "20.000", "0.000"}},
        {"one target's X moves its row only", {"type 5", "type 3", "type 0"},
         {"  0- 0- 0   10.000", " 90- 0- 0   10.000", " 45- 0- 0    0.000"}, {"0.000", "10.000", "0.000"}},
    };
    const auto before = run_script("invradial", kThreeTargets);
    for (const Case& c : cases) {
        auto r = run_script("invradial", kThreeTargets + Lines{"key F1"} + c.keys + Lines{"snap fixed", "key F4"});
        ASSERT_EQ(r.exit_status, 0) << c.what << r.stderr_text;
        const auto colors = r.colors("fixed");
        for (int row = 1; row <= 3; ++row) {
            EXPECT_EQ(leg(r, "fixed", row), c.legs[row - 1]) << c.what << ", row " << row;
            // A recomputed leg stands in red, an untouched one as it was.
            const bool moved = leg(r, "fixed", row) != leg(before, "final", row);
            EXPECT_EQ(colors[row + 2][79], moved ? '4' : '0') << c.what << ", row " << row;
        }
        const auto legs = leg_lines(r);
        ASSERT_EQ(legs.size(), 3u) << c.what;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(delta_y(legs[i]), c.delta_y[i]) << c.what << ": " << legs[i];
    }
}

TEST(Invradial, ReportLineForms) {
    auto one = run_script("invradial", chain({{"I", "100", "200"}, {"T1", "110", "210"}}) + Lines{"key F4"});
    ASSERT_EQ(one.exit_status, 0) << one.stderr_text;
    // A single target gives exactly one line, the first-target form with
    // the instrument point and ΔX to four decimals.
    const auto single = leg_lines(one);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0],
              "        I           100.000    200.000  T1          110.000    210.000     10.0000    10.000     45° 0′ 0″  "
              "14.142");

    auto two = run_script("invradial",
                          chain({{"I", "100", "200"}, {"T1", "110", "210"}, {"T2", "90", "200"}}) + Lines{"key F4"});
    const auto lines = leg_lines(two);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1],
              "                                        T2           90.000    200.000    -10.000　   0.000    180° 0′ 0″  "
              "10.000");
}

TEST(Invradial, NoTargetShowsOnlyTheInstrument) {
    const Lines entry = {"type I", "type 5", "type 6", "type *"};
    auto r = run_script("invradial", entry + Lines{"key F1", "type 5", "type 1", "snap refused", "key F1", "type 2",
                                                   "type 7", "snap moved", "key F4", "key F5", "snap redisplay"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    // No target row can be corrected: the key bar comes back.
    EXPECT_EQ(r.cells("refused", 23, 0, 8), "F1 訂 正");
    // The instrument point itself still can be.
    EXPECT_EQ(r.row("moved", 3), " 1 I           7.000      6.000");
    EXPECT_EQ(r.row("redisplay", 3), " 1 I           7.000      6.000");
    EXPECT_EQ(r.row("redisplay", 4), "");
    EXPECT_TRUE(leg_lines(r).empty());
}

TEST(Invradial, RestartAndMenuKeys) {
    struct Case {
        const char* key;
        const char* logged;
    } const cases[] = {{"key F6", "run invradial"}, {"key F7", "run marula"}};
    for (const Case& c : cases) {
        auto r = run_script("invradial", chain({{"I", "0", "0"}, {"T", "1", "1"}}) + Lines{c.key});
        EXPECT_TRUE(r.logged(c.logged)) << c.key;
    }
}

}  // namespace
}  // namespace marula
