// The stake-out driven through the real program in script mode.
// MARULA_KEEP_OUT=1 keeps the dumps and transcripts of a failing case.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "inverse_script.h"
#include "points_command.h"
#include "temp_folder.h"

namespace marula {
namespace {

using namespace test::inverse;

struct Offset {
    const char* name;
    double dx, dy;  // metres from the station, to the millimetre
};

const double kStationX = 1000, kStationY = 2000;
// Its azimuth, 120°04′15.31″, is shown as 120-04-15.
const Offset kBacksight{"B", -250.123, 431.990};
// Points near the carries: azimuths of 10°59′59.68″, 10°59′59.18″,
// 123°59′59.87″ and 359°59′59.59″ (a whole turn: 0°00′00″), and one on
// the station, which has no direction.
const Offset kTargets[] = {
    {"T1", 785.302, 152.646}, {"T2", 785.302, 152.644}, {"T3", -447.353, 663.229},
    {"T4", 1000, -0.002},     {"T5", 0, 0},
};

std::string metres(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

Lines typed_point(const Offset& p) { return point(p.name, metres(kStationX + p.dx), metres(kStationY + p.dy)); }

// The seconds of arc of an angle in degrees, worked out apart from the
// program: long double throughout, brought into [0, 360), rounded half up
// to the second, a whole turn 0. The angle must not sit within a
// microsecond of a half second, where the two could part.
long seconds_of(long double degrees) {
    degrees = std::fmod(degrees, 360.0L);
    if (degrees < 0) degrees += 360;
    const long double seconds = degrees * 3600;
    EXPECT_GT(std::fabs(seconds - std::floor(seconds) - 0.5L), 1e-6L);
    const long whole = std::lround(seconds);
    return whole == 360L * 3600 ? 0 : whole;
}

long double azimuth_of(const Offset& p) {
    return std::atan2(static_cast<long double>(p.dy), static_cast<long double>(p.dx)) * 180 / std::acos(-1.0L);
}

// "###-##-##" as the table shows an angle.
std::string dms_cells(long seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%3ld-%2ld-%2ld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

Lines entry() {
    Lines lines = point("S", metres(kStationX), metres(kStationY)) + typed_point(kBacksight);
    for (const Offset& t : kTargets) lines = lines + typed_point(t);
    return lines + Lines{"type *"};
}

// "####.###" as the table and the sheet show a distance.
std::string distance_cells(const Offset& p) {
    char text[64];
    std::snprintf(text, sizeof text, "%8.3f", std::hypot(p.dx, p.dy));
    return text;
}

// "###°##′##″" as the sheet prints an angle.
std::string sheet_dms(long seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%3ld°%2ld′%2ld″", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

TEST(Stakeout, AnglesAgreeWithAnIndependentComputation) {
    auto r = run_script("stakeout", entry() + Lines{"snap table", "key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("table", 3), " 1 S          1000.000     2000.000   機械点");
    EXPECT_EQ(r.cells("table", 4, 37, 18), dms_cells(seconds_of(azimuth_of(kBacksight))) + "   後視点");
    for (int i = 0; i < 4; ++i) {
        const Offset& t = kTargets[i];
        const int row = 5 + i;
        EXPECT_EQ(r.cells("table", row, 37, 9), dms_cells(seconds_of(azimuth_of(t)))) << t.name;
        EXPECT_EQ(r.cells("table", row, 48, 9), dms_cells(seconds_of(azimuth_of(t) - azimuth_of(kBacksight))))
            << t.name;
        EXPECT_EQ(r.cells("table", row, 60, 8), distance_cells(t)) << t.name;
    }
    // T1's included angle is 250°55′44.37″ turned, shown 250-55-44 though
    // its shown azimuth less the backsight's is 250-55-45.
    EXPECT_EQ(r.cells("table", 5, 48, 9), "250-55-44");
    // The carries as shown: into the degree, none, and a whole turn.
    EXPECT_EQ(r.cells("table", 5, 37, 9), " 11- 0- 0");
    EXPECT_EQ(r.cells("table", 6, 37, 9), " 10-59-59");
    EXPECT_EQ(r.cells("table", 7, 37, 9), "124- 0- 0");
    EXPECT_EQ(r.cells("table", 8, 37, 9), "  0- 0- 0");
    // A point on the station: no angle, only its distance.
    EXPECT_EQ(r.cells("table", 9, 37, 31), std::string(23, ' ') + "   0.000");
    // The sheet: one line a row, numbered as the table.
    const auto sheet = transcript(r);
    const long included = seconds_of(azimuth_of(kTargets[1]) - azimuth_of(kBacksight));
    EXPECT_TRUE(test::has_line(sheet, "     4          T2          1785.302     2152.644     10°59′59″    " +
                                          sheet_dms(included) + "  " + distance_cells(kTargets[1])));
    EXPECT_TRUE(test::has_line(sheet, "     1  機械点  S           1000.000     2000.000"));
}

TEST(Stakeout, CorrectionsRecomputeWhatTheyMove) {
    struct Case {
        const char* what;
        Lines keys;
        std::vector<int> moved;  // table rows worked out again
    } const cases[] = {
        {"the backsight moves every included angle", {"type 3", "type 2", "type 1200"}, {2, 3, 4, 5, 6, 7}},
        {"the station moves every row", {"type 2", "type 1", "type 999"}, {2, 3, 4, 5, 6, 7}},
        {"a point moves its own row", {"type 3", "type 4", "type 2100"}, {4}},
        {"a name moves nothing", {"type 1", "type 5", "type P9"}, {}},
    };
    const auto before = run_script("stakeout", entry());
    for (const Case& c : cases) {
        auto r = run_script("stakeout", entry() + Lines{"key F1"} + c.keys + Lines{"snap fixed"});
        ASSERT_EQ(r.exit_status, 0) << c.what << r.stderr_text;
        const auto colors = r.colors("fixed");
        for (int row = 2; row <= 7; ++row) {
            const bool moved = std::find(c.moved.begin(), c.moved.end(), row) != c.moved.end();
            // The last cell of the backsight's azimuth, of a point's included
            // angle, or of the distance of the point on the station: colour 4
            // once worked out again.
            const int column = row == 2 ? 45 : row == 7 ? 67 : 56;
            EXPECT_EQ(colors[row + 2][column] == '4', moved) << c.what << ", row " << row;
        }
    }
    auto moved_backsight = run_script("stakeout", entry() + Lines{"key F1", "type 2", "type 2", "type 2431.987"});
    for (int row = 5; row <= 8; ++row)  // the azimuths stay, the included angles turn
        EXPECT_EQ(moved_backsight.cells("final", row, 37, 9), before.cells("final", row, 37, 9));
    EXPECT_NE(moved_backsight.cells("final", 5, 48, 9), before.cells("final", 5, 48, 9));
}

TEST(Stakeout, ABacksightOnTheStationIsAskedAgain) {
    auto r = run_script("stakeout", point("S", "10", "20") + point("B", "10.0004", "20") + Lines{"snap again"} +
                                        point("B", "11", "20") + Lines{"type *", "snap done"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("notice 後視点が機械点と同じ位置です。別の点を入力して下さい。"));
    EXPECT_EQ(r.row("again", 4), " 2");
    EXPECT_EQ(r.row("again", 23), "     後視点名は");
    EXPECT_EQ(r.row("done", 4), " 2 B            11.000       20.000    0- 0- 0   後視点");
}

TEST(Stakeout, EighteenPointsThenTheLimit) {
    Lines lines = point("S", "0", "0") + point("B", "100", "0");
    for (int i = 1; i <= 18; ++i) lines = lines + point("T" + std::to_string(i), std::to_string(i), "10");
    auto r = run_script("stakeout", lines + Lines{"snap full"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("full", 22, 0, 6), "20 T18");
    EXPECT_EQ(r.cells("full", 23, 0, 20), "F1 訂 正  F2画像表示");
}

}  // namespace
}  // namespace marula

namespace marula {
namespace {

// With the job's scale reduction on, each point's ground distance stands
// beside the plane one (the line factor of the two points' own Y) on the
// screen and the sheet; without it the table is as ever. Along Y = 100 km
// in zone 9 the factor is 1.000023178: 1000 m on the plane is 999.977 m on
// the ground.
TEST(Stakeout, TheGroundDistanceStandsBesideThePlaneOneWithTheReduction) {
    test_support::TempFolder t;
    const std::string job = (t.path() / "job").string();
    test::points_command({"--job", job, "init", "--zone", "9"});
    int status = -1;
    test::points_command({"--job", job, "settings", "--reduction", "scale"}, &status);
    ASSERT_EQ(status, 0);
    const Lines lines = point("S", "0", "100000") + point("B", "100", "100000") + point("P", "1000", "100000") +
                        Lines{"type *", "snap table", "key F4"};
    auto r = run_script("stakeout", lines, {"MARULA_JOB=" + job});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.row("table", 2).ends_with("距　離   地上距離")) << r.row("table", 2);
    EXPECT_TRUE(r.row("table", 5).ends_with("1000.000   999.977")) << r.row("table", 5);
    EXPECT_TRUE(test::has_line_containing(test::transcript(r), "1000.000     999.977"));
    auto plain = run_script("stakeout", lines);
    EXPECT_TRUE(plain.row("table", 5).ends_with("1000.000")) << plain.row("table", 5);
}

}  // namespace
}  // namespace marula
