// The connecting traverse driven through the real program in script mode.
// Each case names the behaviour it guards; a failing case can be read with
// MARULA_KEEP_OUT=1, which keeps the screen dumps and report transcripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "script_run.h"

namespace marula {
namespace {

using test::cut_columns;
using test::run_script;
using test::read_all;
using test::ScriptResult;

using test::Lines;
using test::operator+;
using test::transcript;

// Station 0 at (1000, 1000) looking at B along 0°; two legs of 100 m with
// a 10″ angular misclosure and a −9 / +8 mm coordinate misclosure.
const Lines kWholeRun = {
    "type B",       "type 0",        "type K1", "type 1000", "type 1000",  // backsight, azimuth, station 0
    "type P1",      "type 90",       "type 100",                           // leg 1
    "type K2",      "type 270",      "type 100",                           // leg 2
    "type F",       "type 90.0010",  "type 0",                             // closing angle, end of the legs
    "type 900.010", "type 1099.995", "type 90",                            // station 2, closing azimuth
};

const std::string kWholeRunSummary =
    "    精度１：  16667  距離計 200.000  角誤差  10秒 Ｘ誤差-0.009  Ｙ誤差 0.008";

// Cells of table row r (text row 3 + r).
std::string cell(const ScriptResult& r, std::string_view snap, int row, int column, int width) {
    return cut_columns(r.row(snap, 3 + row), column, width);
}
std::string azimuth(const ScriptResult& r, std::string_view snap, int row) { return cell(r, snap, row, 40, 10); }
std::string angle(const ScriptResult& r, std::string_view snap, int row) { return cell(r, snap, row, 18, 10); }
std::string distance(const ScriptResult& r, std::string_view snap, int row) { return cell(r, snap, row, 31, 8); }
std::string x_of(const ScriptResult& r, std::string_view snap, int row) { return cell(r, snap, row, 53, 12); }
std::string y_of(const ScriptResult& r, std::string_view snap, int row) { return cell(r, snap, row, 65, 12); }
std::string prompt(const ScriptResult& r, std::string_view snap) { return r.row(snap, 23); }

// Page objects of a PDF ("/Type /Page", not "/Type /Pages").
int pdf_pages(const std::string& pdf) {
    int pages = 0;
    for (std::size_t at = pdf.find("/Type /Page"); at != std::string::npos; at = pdf.find("/Type /Page", at + 1))
        if (pdf.compare(at, 12, "/Type /Pages") != 0) ++pages;
    return pages;
}

TEST(Linktrav, WholeRunAdjustsAnglesAndCoordinates) {
    auto r = run_script("linktrav", kWholeRun + Lines{"snap result"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    struct Row {
        int row;
        std::string azimuth, x, y;
    } const rows[] = {
        {0, "   0- 0- 0", "    1000.000", "    1000.000"},
        {1, "  89-59-57", "    1000.006", "    1099.996"},  // the new station, adjusted
        {2, " 179-59-53", "     900.010", "    1099.995"},  // the closing station keeps its given place
        {3, "  90- 0- 0", "            ", "            "},                          // the adjusted closing azimuth meets the given one
    };
    for (const auto& row : rows) {
        EXPECT_EQ(azimuth(r, "result", row.row), row.azimuth) << "row " << row.row;
        EXPECT_EQ(x_of(r, "result", row.row), row.x) << "row " << row.row;
        EXPECT_EQ(y_of(r, "result", row.row), row.y) << "row " << row.row;
    }
    EXPECT_EQ(r.row("result", 21), kWholeRunSummary);
    // Given values in colour 5, computed ones in colour 0.
    auto colors = r.colors("result");
    EXPECT_EQ(colors[3 + 1].substr(58, 7), "0000000");
    EXPECT_EQ(colors[3 + 2].substr(58, 7), "5555555");
    EXPECT_EQ(colors[3 + 3].substr(43, 1), "5");
}

TEST(Linktrav, ReportHoldsTheFiguresOnOnePage) {
    auto r = run_script("linktrav", kWholeRun + Lines{"key F4"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    ASSERT_TRUE(r.logged("print print-1.pdf"));
    auto lines = transcript(r);
    const Lines expected = {
        "",
        "",
        "",
        "",
        "                            多角測量座標計算書                                By MARULA 2026/04/01",
        "",
        "      測角点　方向点　  夾　角   補正   方向角 　　水平距離 　ＣＯＳ　   ＳＩＮ 　 △Ｘ   　△Ｙ　  "
        "εＸεＹ　　    Ｘ　　     　Ｙ     座標名",
        "   －－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－－"
        "－－－－－－－－－－－－－－－－－－",
        "      K1      B       　                 0  0  0                     "
        "                                            1000.000     1000.000  K1    ",
        "      K1      P1       90  0  0   -3    89 59 57   100.000   0.000015"
        "   1.000000     0.001   100.000   5  -4     1000.006     1099.996  P1    ",
        "      P1      K2      270  0  0   -4   179 59 53   100.000  -1.000000"
        "   0.000034  -100.000     0.003   4  -4      900.010     1099.995  K2    ",
        "      K2      F        90  0 10   -3    90  0  0",
        "",
        "",
        "　　　                実測精度１：  16667 （ 水平距離の和　  200.000  座標の閉合差　  0.012）",
        "                                    角の閉合差  10秒　　Ｘ座標の閉合差   -0.009　Ｙ座標の閉合差    0.008",
        "\f",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(pdf_pages(read_all(r.out_dir / "print-1.pdf")), 1);
}

// Each correction: the keys and answers after the whole run, and the cells
// it must leave behind.
struct CorrectionCase {
    const char* what;
    Lines answers;
    std::vector<std::pair<std::string, std::string>> cells;  // which cell → its text
    std::string summary;
};

std::string pick(const ScriptResult& r, const std::string& which, std::string_view snap = "after") {
    // "x1" → X of row 1, "az2" → azimuth of row 2, ...
    auto row = [&](std::size_t prefix) { return std::stoi(which.substr(prefix)); };
    if (which.starts_with("az")) return azimuth(r, snap, row(2));
    if (which.starts_with("ang")) return angle(r, snap, row(3));
    if (which.starts_with("dist")) return distance(r, snap, row(4));
    if (which.starts_with("from")) return cell(r, snap, row(4), 5, 6);
    if (which.starts_with("to")) return cell(r, snap, row(2), 12, 6);
    if (which.starts_with("x")) return x_of(r, snap, row(1));
    if (which.starts_with("y")) return y_of(r, snap, row(1));
    return "?";
}

TEST(Linktrav, CorrectionsRecomputeWhatDependsOnTheValue) {
    const CorrectionCase cases[] = {
        {"closing angle 90-00-10 corrected to 90-00-00: no angular misclosure left",
         {"key F1", "type 3", "type 3", "type 90"},
         {{"ang3", "  90- 0- 0"}, {"az1", "  90- 0- 0"}, {"az2", " 180- 0- 0"}, {"az3", "  90- 0- 0"},
          {"x1", "    1000.005"}, {"y1", "    1099.997"}},
         "    精度１：  18182  距離計 200.000  角誤差   0秒 Ｘ誤差-0.010  Ｙ誤差 0.005"},
        {"distance of leg 1 corrected: new total and compass shares, azimuths unchanged",
         {"key F1", "type 4", "type 1", "type 100.004"},
         {{"dist1", " 100.004"}, {"az1", "  89-59-57"}, {"x1", "    1000.006"}, {"y1", "    1099.998"}},
         "    精度１：  13334  距離計 200.004  角誤差  10秒 Ｘ誤差-0.009  Ｙ誤差 0.012"},
        {"X of the closing station corrected: its cell and the new station move",
         {"key F1", "type 6", "type 2", "type 900"},
         {{"x2", "     900.000"}, {"x1", "    1000.000"}, {"y1", "    1099.996"}, {"az1", "  89-59-57"}},
         "    精度１：  25000  距離計 200.000  角誤差  10秒 Ｘ誤差 0.001  Ｙ誤差 0.008"},
        {"station 1's name corrected in column 1 row 2 changes both of its cells",
         {"key F1", "type 1", "type 2", "type Q1"},
         {{"to1", "Q1    "}, {"from2", "Q1    "}, {"x1", "    1000.006"}},
         kWholeRunSummary},
        {"starting azimuth corrected: the whole chain turns with it",
         {"key F1", "type 5", "type 0", "type 0.0010"},
         {{"az0", "   0- 0-10"}, {"az1", "  90- 0- 3"}, {"az2", " 179-59-57"}, {"az3", "  90- 0- 0"}},
         ""},
    };
    for (const auto& c : cases) {
        auto r = run_script("linktrav", kWholeRun + c.answers + Lines{"snap after"});
        ASSERT_EQ(r.exit_status, 0) << c.what << "\n" << r.stderr_text;
        for (const auto& [which, text] : c.cells) EXPECT_EQ(pick(r, which), text) << c.what << ": " << which;
        if (!c.summary.empty()) {
            EXPECT_EQ(r.row("after", 21), c.summary) << c.what;
        }
        // The key bar is back after every correction.
        EXPECT_TRUE(prompt(r, "after").starts_with("F1 訂 正")) << c.what;
    }
}

TEST(Linktrav, RefusedCorrectionNumbersAskAgain) {
    struct Case {
        const char* what;
        Lines answers;
        std::string asked;  // what row 23 asks afterwards
    } const cases[] = {
        {"column 0", {"type 0"}, "　　横の訂正番号"},
        {"column 8", {"type 8"}, "　　横の訂正番号"},
        {"column 2.5", {"type 2.5"}, "　　横の訂正番号"},
        {"column 3 accepted", {"type 3"}, "   縦の訂正番号"},
        {"angle row 0 has no angle", {"type 3", "type 0"}, "   縦の訂正番号"},
        {"row beyond the table", {"type 3", "type 4"}, "   縦の訂正番号"},
        {"azimuth only in rows 0 and n+1", {"type 5", "type 1"}, "   縦の訂正番号"},
        {"the forward row has no distance", {"type 4", "type 3"}, "   縦の訂正番号"},
        {"column 0, then a good column and row", {"type 0", "type 3", "type 2"}, "  正しい夾角は"},
    };
    for (const auto& c : cases) {
        auto r = run_script("linktrav", kWholeRun + Lines{"key F1"} + c.answers + Lines{"snap asked"});
        ASSERT_EQ(r.exit_status, 0) << c.what << "\n" << r.stderr_text;
        EXPECT_EQ(prompt(r, "asked"), c.asked) << c.what;
        // Nothing changed while the numbers were refused.
        EXPECT_EQ(r.row("asked", 21), kWholeRunSummary) << c.what;
    }
}

TEST(Linktrav, RedisplayAfterPlotBringsTheTableBackWithoutTheTitle) {
    auto r = run_script("linktrav", kWholeRun + Lines{"snap table", "key F2", "snap plot", "key F5", "snap again"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    auto table = r.screen("table");
    auto plot = r.screen("plot");
    auto again = r.screen("again");
    // The plot names the three stations and shows no table.
    EXPECT_EQ(std::count_if(plot.begin(), plot.end(),
                            [](const std::string& s) { return s.find("K1") != std::string::npos; }),
              1);
    EXPECT_EQ(plot[2].find("測角点"), std::string::npos);
    EXPECT_EQ(again[0], "");
    for (int row = 1; row < 24; ++row) EXPECT_EQ(again[row], table[row]) << "row " << row;
}

TEST(Linktrav, KeysThatLeaveTheProgram) {
    struct Case {
        const char* key;
        std::string event;
    } const cases[] = {
        {"key F6", "run linktrav"},
        {"key F7", "run marula"},
        {"key F8", "end"},
    };
    for (const auto& c : cases) {
        auto r = run_script("linktrav", kWholeRun + Lines{c.key});
        EXPECT_EQ(r.exit_status, 0) << c.key << "\n" << r.stderr_text;
        EXPECT_TRUE(r.logged(c.event)) << c.key;
    }
    // Re-input starts afresh: the second start shows an empty table.
    auto again = run_script("linktrav", kWholeRun + Lines{"key F6", "snap fresh"});
    EXPECT_EQ(again.events_starting("start linktrav").size(), 2u);
    EXPECT_EQ(again.row("fresh", 3), "");
    // The end key says goodbye and stops instead of waiting at the key bar.
    auto end = run_script("linktrav", kWholeRun + Lines{"key F8"});
    EXPECT_FALSE(end.logged("idle"));
}

TEST(Linktrav, PackedAnglesWithSixtyMinutesOrSecondsAreAskedAgain) {
    struct Case {
        const char* what;
        Lines lines;
        std::string asked;
        std::string echo;  // the cell that must stay empty
    } const cases[] = {
        {"azimuth with 60 minutes", {"type B", "type 20.6000"}, "  方向角は", "az0"},
        {"azimuth with 75 seconds", {"type B", "type 20.2575"}, "  方向角は", "az0"},
        {"included angle with 60 seconds",
         {"type B", "type 0", "type K1", "type 0", "type 0", "type P1", "type 90.0060"}, "     夾角は", "ang1"},
    };
    for (const auto& c : cases) {
        auto r = run_script("linktrav", c.lines + Lines{"snap asked"});
        ASSERT_EQ(r.exit_status, 0) << c.what;
        EXPECT_TRUE(prompt(r, "asked").starts_with(c.asked)) << c.what << ": " << prompt(r, "asked");
        // Nothing was stored: the echo cell is still empty.
        EXPECT_EQ(pick(r, c.echo, "asked"), "          ") << c.what;
    }
    // Typed again correctly, it is taken.
    auto r = run_script("linktrav", {"type B", "type 20.6000", "type 20.2512", "snap taken"});
    EXPECT_EQ(azimuth(r, "taken", 0), "  20-25-12");
}

TEST(Linktrav, StartingAzimuthEntries) {
    struct Case {
        const char* typed;
        std::string shown;
    } const cases[] = {
        {"-20.2512", " 339-34-48"},  // the negative of the packed direction
        {"360", " 360- 0- 0"},       // 360 stays 360
        {"0.0003", "   0- 0- 3"},
    };
    for (const auto& c : cases) {
        auto r = run_script("linktrav", {"type B", std::string("type ") + c.typed, "snap az"});
        EXPECT_EQ(azimuth(r, "az", 0), c.shown) << c.typed;
    }
}

TEST(Linktrav, ZeroFirstDistanceIsAskedAgain) {
    auto r = run_script("linktrav", {"type B", "type 0", "type K1", "type 0", "type 0", "type P1", "type 90",
                                     "type 0", "snap again", "type 100", "snap next"});
    ASSERT_EQ(r.exit_status, 0);
    EXPECT_TRUE(prompt(r, "again").starts_with("     距離は")) << prompt(r, "again");
    EXPECT_EQ(distance(r, "next", 1), " 100.000");
    EXPECT_TRUE(prompt(r, "next").starts_with("     測点名")) << prompt(r, "next");
}

TEST(Linktrav, MisclosureAcrossNorthIsReducedToTheShortWay) {
    // The chain ends at 0°00′05″, the closing azimuth is 359°59′50″: 15″.
    auto r = run_script("linktrav", {"type B", "type 0", "type K1", "type 1000", "type 1000", "type K2",
                                     "type 180", "type 100", "type F", "type 0.0005", "type 0", "type 900",
                                     "type 1000", "type 359.5950", "snap result"});
    ASSERT_EQ(r.exit_status, 0);
    EXPECT_EQ(azimuth(r, "result", 1), " 179-59-52");
    EXPECT_EQ(azimuth(r, "result", 2), " 359-59-50");
    EXPECT_EQ(r.row("result", 21), "    精度１：  25000  距離計 100.000  角誤差  15秒 Ｘ誤差 0.000  Ｙ誤差 0.004");
}

TEST(Linktrav, ZeroLinearMisclosureShowsAnUnboundedRatio) {
    auto r = run_script("linktrav", {"type B", "type 0", "type K1", "type 1000", "type 1000", "type K2",
                                     "type 180", "type 100", "type F", "type 180", "type 0", "type 900",
                                     "type 1000", "type 180", "snap result", "key F4"});
    ASSERT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.row("result", 21), "    精度１：     ∞  距離計 100.000  角誤差   0秒 Ｘ誤差 0.000  Ｙ誤差 0.000");
    auto report = read_all(r.out_dir / "print-1.txt");
    EXPECT_NE(report.find("実測精度１：     ∞ （ 水平距離の和　  100.000  座標の閉合差　  0.000）"),
              std::string::npos)
        << report;
}

TEST(Linktrav, FifteenLegsEndOnTheSixteenthEntry) {
    // Straight on due north: 15 legs of 10 m, the 16th entry's 0 ends it.
    Lines lines = {"type B", "type 180", "type S0", "type 0", "type 0"};
    for (int k = 1; k <= 15; ++k) lines = lines + Lines{"type S" + std::to_string(k), "type 180", "type 10"};
    lines = lines + Lines{"type F", "type 180", "type 0", "type 150", "type 0", "type 0", "snap result"};
    auto r = run_script("linktrav", lines);
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    auto screen = r.screen("result");
    // The forward point stands in table row 16, screen row 19.
    EXPECT_EQ(cut_columns(screen[19], 0, 18), " 16  S15    F     ");
    EXPECT_EQ(azimuth(r, "result", 16), "   0- 0- 0");
    EXPECT_EQ(x_of(r, "result", 14), "     140.000");
    EXPECT_EQ(r.row("result", 21), "    精度１：     ∞  距離計 150.000  角誤差   0秒 Ｘ誤差 0.000  Ｙ誤差 0.000");
}

TEST(Linktrav, ScreenPrintLeavesTheScreenAsItIs) {
    auto r = run_script("linktrav", kWholeRun + Lines{"snap before", "key F3", "snap after"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.events_starting("hardcopy").size(), 1u);
    EXPECT_EQ(r.screen("after"), r.screen("before"));
}

TEST(Linktrav, AfterTheRefusedSeventeenthStationNoResultExists) {
    Lines lines = {"type B", "type 0", "type S0", "type 0", "type 0"};
    for (int k = 1; k <= 16; ++k) lines = lines + Lines{"type S" + std::to_string(k), "type 180", "type 10"};
    auto r = run_script("linktrav", lines + Lines{"snap limit", "key F1", "key F2", "key F4", "snap keys",
                                                  "key F5", "snap redraw"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    // The limit beeps once; F1, F2 and F4 beep and do nothing.
    EXPECT_EQ(r.events_starting("beep").size(), 4u);
    EXPECT_TRUE(r.events_starting("print").empty());
    EXPECT_EQ(r.screen("keys"), r.screen("limit"));
    EXPECT_EQ(r.row("limit", 21), "");  // no summary: nothing was computed
    // F5 draws what was entered, sixteen rows, still without results.
    auto redraw = r.screen("redraw");
    EXPECT_EQ(cut_columns(redraw[3 + 16], 0, 39), " 16  S15    S16    180- 0- 0     10.000");
    EXPECT_EQ(azimuth(r, "redraw", 16), "          ");
    EXPECT_EQ(redraw[0], "");
}

}  // namespace
}  // namespace marula
