// The open traverse driven through the real program in script mode.
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

// B due +Y, C straight on, D a right turn back to +X.
const Lines kChain = start_at("0") + point("B", "90", "100") + point("C", "180", "50") +
                     point("D", "90", "100") + Lines{"type *"};

struct PointRow {
    int row;
    std::string azimuth, x, y;
};

const std::vector<PointRow> kChainRows = {
    {2, "  90- 0- 0", "    1000.000", "    1100.000"},
    {3, "  90- 0- 0", "    1000.000", "    1150.000"},
    {4, "   0- 0- 0", "    1100.000", "    1150.000"},
};

// Table row r stands on text row r + 2.
void expect_rows(const ScriptResult& r, std::string_view snap, const std::vector<PointRow>& rows) {
    for (const PointRow& p : rows) {
        EXPECT_EQ(r.cells(snap, p.row + 2, 31, 10), p.azimuth) << "row " << p.row;
        EXPECT_EQ(r.cells(snap, p.row + 2, 53, 12), p.x) << "row " << p.row;
        EXPECT_EQ(r.cells(snap, p.row + 2, 65, 12), p.y) << "row " << p.row;
    }
}

TEST(Opentrav, AzimuthsRunFromPointToPoint) {
    struct Case {
        const char* what;
        Lines script;
        std::vector<PointRow> rows;
    } const cases[] = {
        {"first leg: backsight azimuth plus the angle",
         start_at("0") + point("B", "90", "100"),
         {{2, "  90- 0- 0", "    1000.000", "    1100.000"}}},
        {"first leg past 360 wraps",
         start_at("350") + point("B", "20", "100"),
         {{2, "  10- 0- 0", "    1098.481", "    1017.365"}}},
        {"a straight angle keeps the azimuth",
         start_at("0") + point("B", "90", "100") + point("C", "180", "50"),
         {{3, "  90- 0- 0", "    1000.000", "    1150.000"}}},
        {"negative angle beyond one wrap is brought into range",
         start_at("0") + point("B", "90", "100") + point("C", "-400", "100"),
         {{3, " 230- 0- 0", "     935.721", "    1023.396"}}},
        {"the same direction typed the ordinary way",
         start_at("0") + point("B", "90", "100") + point("C", "320", "100"),
         {{3, " 230- 0- 0", "     935.721", "    1023.396"}}},
        {"an angle of two and a half turns on the first leg",
         start_at("0") + point("B", "900", "100"),
         {{2, " 180- 0- 0", "     900.000", "    1000.000"}}},
        {"a negative backsight azimuth reads as its direction",
         start_at("-90") + point("B", "90", "100"),
         {{1, " 270- 0- 0", "    1000.000", "    1000.000"}, {2, "   0- 0- 0", "    1100.000", "    1000.000"}}},
    };
    for (const Case& c : cases) {
        auto r = run_script("opentrav", c.script + Lines{"type *", "snap result"});
        ASSERT_EQ(r.exit_status, 0) << c.what << r.stderr_text;
        SCOPED_TRACE(c.what);
        expect_rows(r, "result", c.rows);
    }
}

TEST(Opentrav, CorrectionsRecomputeTheirRange) {
    struct Case {
        const char* what;
        Lines edit;
        std::vector<PointRow> rows;
        int changed_column = 76;  // the last cell of a recomputed field
    } const cases[] = {
        {"distance of row 2 shifts points 2 … n alike",
         {"type 5", "type 2", "type 150"},
         {{2, "  90- 0- 0", "    1000.000", "    1150.000"},
          {3, "  90- 0- 0", "    1000.000", "    1200.000"},
          {4, "   0- 0- 0", "    1100.000", "    1200.000"}}},
        {"distance of row 3 leaves row 2",
         {"type 5", "type 3", "type 100"},
         {{2, "  90- 0- 0", "    1000.000", "    1100.000"},
          {3, "  90- 0- 0", "    1000.000", "    1200.000"},
          {4, "   0- 0- 0", "    1100.000", "    1200.000"}}},
        {"instrument X shifts every X",
         {"type 6", "type 1010"},
         {{1, "   0- 0- 0", "    1010.000", "    1000.000"},
          {2, "  90- 0- 0", "    1010.000", "    1100.000"},
          {3, "  90- 0- 0", "    1010.000", "    1150.000"},
          {4, "   0- 0- 0", "    1110.000", "    1150.000"}},
         64},
        {"instrument Y shifts every Y",
         {"type 7", "type 990"},
         {{2, "  90- 0- 0", "    1000.000", "    1090.000"},
          {4, "   0- 0- 0", "    1100.000", "    1140.000"}}},
        {"an angle turns every later leg",
         {"type 3", "type 2", "type 180"},
         {{2, " 180- 0- 0", "     900.000", "    1000.000"},
          {3, " 180- 0- 0", "     850.000", "    1000.000"},
          {4, "  90- 0- 0", "     850.000", "    1100.000"}}},
        {"the backsight azimuth turns every leg",
         {"type 4", "type 90"},
         {{1, "  90- 0- 0", "    1000.000", "    1000.000"},
          {2, " 180- 0- 0", "     900.000", "    1000.000"},
          {3, " 180- 0- 0", "     850.000", "    1000.000"},
          {4, "  90- 0- 0", "     850.000", "    1100.000"}}},
    };
    for (const Case& c : cases) {
        auto r = run_script("opentrav", kChain + Lines{"key F1"} + c.edit + Lines{"snap result"});
        ASSERT_EQ(r.exit_status, 0) << c.what << r.stderr_text;
        SCOPED_TRACE(c.what);
        expect_rows(r, "result", c.rows);
        // Recomputed values are marked in colour 4.
        EXPECT_EQ(r.colors("result")[c.rows.back().row + 2][c.changed_column], '4');
    }
}

TEST(Opentrav, CorrectionNumbersThatDoNotFitAreRefused) {
    struct Case {
        Lines script;
        Lines typed;
        std::string asked;  // the question on row 23 afterwards
    } const cases[] = {
        {kChain, {"type 0"}, "　　横の訂正番号"},
        {kChain, {"type 8"}, "　　横の訂正番号"},
        {kChain, {"type 3", "type 1"}, "   縦の訂正番号"},
        {kChain, {"type 5", "type 1"}, "   縦の訂正番号"},
        {kChain, {"type 2", "type 5"}, "   縦の訂正番号"},
        // Columns 4, 6 and 7 ask no row.
        {kChain, {"type 4"}, "正しい方向角は（機械点から後視点へ)"},
        {kChain, {"type 6"}, "     正しい機械点Ｘ座標は"},
        // With no new point, angle and distance columns have no row at all.
        {start_at("0") + Lines{"type *"}, {"type 3"}, "　　横の訂正番号"},
        {start_at("0") + Lines{"type *"}, {"type 5"}, "　　横の訂正番号"},
        {start_at("0") + Lines{"type *"}, {"type 1", "type 2"}, "   縦の訂正番号"},
    };
    for (const Case& c : cases) {
        auto r = run_script("opentrav", c.script + Lines{"key F1"} + c.typed);
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.row("final", 23).rfind(c.asked, 0), 0u) << c.typed.front() << ": " << r.row("final", 23);
    }
}

TEST(Opentrav, NoNewPointShowsOnlyWhatWasEntered) {
    auto r = run_script("opentrav", start_at("0") + Lines{"type *", "key F1", "type 4", "type 90", "snap turned",
                                                           "key F2", "snap plot", "key F4", "key F5", "snap again"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("turned", 3, 31, 10), "  90- 0- 0");
    // Redisplay: the instrument row and nothing under it.
    EXPECT_EQ(r.row("again", 3), "  1 A       BS                   90- 0- 0                1000.000    1000.000");
    for (int row = 4; row <= 22; ++row) EXPECT_EQ(r.row("again", row), "") << row;
    // The report: the instrument line and its coordinates, no made-up rows.
    auto page = transcript(r, 1);
    ASSERT_GE(page.size(), 5u);
    EXPECT_EQ(page[page.size() - 1], "\f");
    EXPECT_EQ(page[page.size() - 2], "                             A               1000.000         1000.000");
    EXPECT_NE(page[page.size() - 3].find("座標点"), std::string::npos);
    EXPECT_EQ(page[page.size() - 6], "         A       BS                     90° 0′ 0″");
}

// Scripts with one entry refused and typed again, ended at the key bar:
// the refusal beeps after the title's beep and point 2 stands where the second
// answer puts it.
struct RefusedEntry {
    const char* what;
    Lines script;
};
void expect_asked_again(std::span<const RefusedEntry> cases) {
    for (const RefusedEntry& c : cases) {
        auto r = run_script("opentrav", c.script + Lines{"type *", "snap result"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        SCOPED_TRACE(c.what);
        EXPECT_EQ(r.times_logged("beep"), 2);  // the title's and the refusal's
        expect_rows(r, "result", {{2, "  90- 0- 0", "    1000.000", "    1100.000"}});
    }
}

TEST(Opentrav, AnglesWithSixtyMinutesOrSecondsAreRefused) {
    // The refused entry is asked again; the answer after it is the one used.
    const RefusedEntry cases[] = {
        {"backsight azimuth with 60 seconds",
         Lines{"type BS", "type 0.0060", "type 0", "type A", "type 1000", "type 1000"} + point("B", "90", "100")},
        {"included angle with 60 minutes", start_at("0") + Lines{"type B", "type 90.6000", "type 90", "type 100"}},
    };
    expect_asked_again(cases);
}

TEST(Opentrav, EighteenPointsAreTheLimit) {
    Lines script = start_at("0");
    for (int k = 2; k <= 19; ++k) script = script + point("P" + std::to_string(k), "180", "10");
    auto r = run_script("opentrav", script + Lines{"snap result", "key F5", "snap again"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    // The title's beep and the limit message's.
    EXPECT_EQ(r.times_logged("beep"), 2);
    EXPECT_EQ(r.cells("result", 21, 0, 3), " 19");
    EXPECT_EQ(r.cells("result", 21, 53, 12), "     820.000");
    // No twentieth name is asked: the key bar follows at once.
    EXPECT_EQ(r.row("result", 23).rfind("F1 訂 正", 0), 0u);
    EXPECT_EQ(r.cells("again", 21, 53, 12), "     820.000");
}

TEST(Opentrav, ReportListsLegsAndCoordinates) {
    auto r = run_script("opentrav", kChain + Lines{"key F4", "key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    auto page = transcript(r, 1);
    const std::vector<std::string> body = {
        "       　測角点  方向点　　夾　角　　  方 向 角　  　 距　離       DX　  　 DY",
        "         A       BS                      0° 0′ 0″",
        "         A       B        90° 0′ 0″  90° 0′ 0″ 100.000      0.000   100.000",
        "         B       C       180° 0′ 0″  90° 0′ 0″  50.000      0.000    50.000",
        "         C       D        90° 0′ 0″   0° 0′ 0″ 100.000    100.000     0.000",
        "",
        "",
        "     　　　     　　　　　　 座標点　　　　　Ｘ座標　　 　　　Ｙ座標",
        "                             A               1000.000         1000.000",
        "                             B               1000.000         1100.000",
        "                             C               1000.000         1150.000",
        "                             D               1100.000         1150.000",
        "\f",
    };
    ASSERT_GE(page.size(), body.size() + 7);
    // Four empty lines, the title line, one empty line, one more in the body font.
    for (int i = 0; i < 4; ++i) EXPECT_EQ(page[i], "") << i;
    EXPECT_EQ(page[4].rfind("                      連続トラバ－ス            By MARULA    ", 0), 0u) << page[4];
    EXPECT_EQ(page[5], "");
    EXPECT_EQ(page[6], "");
    EXPECT_EQ(std::vector<std::string>(page.begin() + 7, page.end()), body);
    // Printing again gives the same page.
    EXPECT_EQ(transcript(r, 2), page);
}

TEST(Opentrav, KeysThatLeaveTheProgram) {
    struct Case {
        const char* key;
        const char* logged;
    } const cases[] = {{"key F6", "run opentrav"}, {"key F7", "run marula"}};
    for (const Case& c : cases) {
        auto r = run_script("opentrav", kChain + Lines{c.key});
        EXPECT_TRUE(r.logged(c.logged)) << c.key;
    }
}

}  // namespace
}  // namespace marula
