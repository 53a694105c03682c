// The corner cut driven through the real program in script mode.
// MARULA_KEEP_OUT=1 keeps the dumps and transcripts of a failing case.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script_run.h"

namespace marula {
namespace {

using namespace test;

// Points 1, 2 (the corner) and 3 as X, Y; the names and L are left empty,
// so the presets P1, P4, P7 and 5 stand.
Lines corner(const std::string& x1, const std::string& y1, const std::string& x2, const std::string& y2,
             const std::string& x3, const std::string& y3) {
    return {"type", "type " + x1, "type " + y1, "type", "type " + x2, "type " + y2,
            "type", "type " + x3, "type " + y3, "type"};
}
const Lines kNorthEast = corner("10", "0", "0", "0", "0", "10");

// The results from column 37: P on row 13, Q on 14, the azimuths on 16
// and 17, the cut length on 19 and the area on 20.
std::string result(const ScriptResult& r, std::string_view snap, int row) { return r.cells(snap, row, 37, 43); }

TEST(Cornercut, CutPointsLengthAndArea) {
    struct Case {
        const char* what;
        Lines entry;
        std::string p, q, length, area;
    } const cases[] = {
        {"1 north, 3 east", kNorthEast, "Ｐ点Ｘ      3.536      Ｐ点Ｙ      0.000",
         "Ｑ点Ｘ      0.000      Ｑ点Ｙ      3.536", "隅切せん除長    3.536", "隅 切 面 積     6.2516480"},
        {"1 and 3 exchanged", corner("0", "10", "0", "0", "10", "0"), "Ｐ点Ｘ      0.000      Ｐ点Ｙ      3.536",
         "Ｑ点Ｘ      3.536      Ｑ点Ｙ      0.000", "隅切せん除長    3.536", "隅 切 面 積    -6.2516480"},
        {"straight boundary", corner("10", "0", "0", "0", "-10", "0"), "Ｐ点Ｘ      2.500      Ｐ点Ｙ      0.000",
         "Ｑ点Ｘ     -2.500      Ｑ点Ｙ      0.000", "隅切せん除長    2.500", "隅 切 面 積     0.0000000"},
        {"a hair south of zero", corner("10", "0", "-0.0003", "0", "-0.0003", "10"),
         "Ｐ点Ｘ      3.535      Ｐ点Ｙ      0.000", "Ｑ点Ｘ      0.000      Ｑ点Ｙ      3.536", "隅切せん除長    3.536",
         "隅 切 面 積     6.2504104"},
    };
    for (const Case& c : cases) {
        auto r = run_script("cornercut", c.entry + Lines{"snap result"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(result(r, "result", 13).substr(0, c.p.size()), c.p) << c.what;
        EXPECT_EQ(result(r, "result", 14).substr(0, c.q.size()), c.q) << c.what;
        EXPECT_EQ(r.cells("result", 19, 47, 21), c.length) << c.what;
        EXPECT_EQ(r.cells("result", 20, 47, 25), c.area) << c.what;
    }
}

TEST(Cornercut, PresetNamesAndAzimuths) {
    auto r = run_script("cornercut", kNorthEast + Lines{"snap result"});
    EXPECT_EQ(r.cells("result", 16, 40, 38), "P4    ～P1    への方向角   0° 0′ 0″");
    EXPECT_EQ(r.cells("result", 17, 40, 38), "P4    ～P7    への方向角  90° 0′ 0″");
    EXPECT_EQ(r.cells("result", 9, 49, 8), "   5.000");  // L kept at its preset
}

TEST(Cornercut, NoCornerToCut) {
    struct Case {
        const char* what;
        Lines entry;
        std::string message;
        bool azimuth21, azimuth23;
    } const cases[] = {
        {"same direction", corner("10", "0", "0", "0", "20", "0"), "隅切できません：点１と点３が同じ方向", true, true},
        {"1 on the corner", corner("5", "5", "5", "5", "5", "15"), "隅切できません：点１が隅点２と重なる", false, true},
        {"3 on the corner", corner("15", "5", "5", "5", "5", "5"), "隅切できません：点３が隅点２と重なる", true, false},
    };
    for (const Case& c : cases) {
        auto r = run_script("cornercut", c.entry + Lines{"snap result", "key F3"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.row("result", 13).substr(r.row("result", 13).find("隅")), c.message) << c.what;
        // No P, Q, cut length or area.
        for (int row : {14, 19, 20}) EXPECT_EQ(result(r, "result", row), std::string(43, ' ')) << c.what << row;
        EXPECT_EQ(result(r, "result", 16) != std::string(43, ' '), c.azimuth21) << c.what;
        EXPECT_EQ(result(r, "result", 17) != std::string(43, ' '), c.azimuth23) << c.what;
        const auto page = transcript(r);
        EXPECT_TRUE(has_line(page, "                     " + c.message)) << c.what;
        for (const std::string& line : page) {
            EXPECT_EQ(line.find("Ｐ点Ｘ座標"), std::string::npos) << c.what;
            EXPECT_EQ(line.find("隅 切 面 積"), std::string::npos) << c.what;
        }
    }
}

TEST(Cornercut, CorrectionRedrawsWithoutTitle) {
    // Field 11 does not exist and is asked again; field 10 is L, which must
    // be more than 0.
    auto r = run_script("cornercut", kNorthEast + Lines{"key F1", "type 11", "type 10", "type 0", "type -3", "type 10",
                                                        "snap fixed"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("fixed", 1), "");  // title, sketch and guide are not drawn again
    EXPECT_EQ(r.cells("fixed", 9, 49, 8), "  10.000");
    EXPECT_EQ(r.cells("fixed", 19, 47, 21), "隅切せん除長    7.071");
    EXPECT_EQ(r.cells("fixed", 20, 47, 24), "隅 切 面 積    24.999520");  // six decimals after a correction
    EXPECT_EQ(r.cells("fixed", 23, 4, 11), "F1= 訂  正 ");
}

TEST(Cornercut, CorrectedCoordinateMovesTheCut) {
    // X of the corner to 5: line 2-1 keeps its direction, line 2-3 turns
    // to ΔX −5, ΔY 10.
    auto r = run_script("cornercut", kNorthEast + Lines{"key F1", "type 5", "type 5", "snap fixed"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("fixed", 6, 54, 11), "      5.000");
    EXPECT_EQ(r.cells("fixed", 17, 40, 38), "P4    ～P7    への方向角 116°33′54″");
}

TEST(Cornercut, ReportHoldsTheResultLines) {
    auto r = run_script("cornercut", kNorthEast + Lines{"key F3"});
    ASSERT_TRUE(r.logged("print print-1.pdf"));
    const auto page = transcript(r);
    for (const std::string line : {
             "    　   　 P1           10.000      0.000     P4            0.000      0.000 ",
             "            P7            0.000     10.000                  5.000",
             "                     Ｐ点Ｘ座標      3.536      Ｐ点Ｙ座標      0.000",
             "                     Ｑ点Ｘ座標      0.000      Ｑ点Ｙ座標      3.536",
             "                             P4    ～P1    への方向角   0° 0′ 0″",
             "                             P4    ～P7    への方向角  90° 0′ 0″",
             "                                隅切せん除長    3.536",
             "                                隅 切 面 積     6.2516480",
         })
        EXPECT_TRUE(has_line(page, line)) << line;
}

TEST(Cornercut, RestartAndMenuKeys) {
    struct Case {
        const char* key;
        const char* logged;
    } const cases[] = {{"key F4", "run cornercut"}, {"key F5", "run marula"}};
    for (const Case& c : cases) {
        auto r = run_script("cornercut", kNorthEast + Lines{c.key});
        EXPECT_TRUE(r.logged(c.logged)) << c.key;
    }
}

}  // namespace
}  // namespace marula
