// The four-point intersection driven in script mode: what the screen and
// the report show, checked against crossings worked out independently.
#include <gtest/gtest.h>

#include "intersection_script.h"

namespace marula::isect::e2e {
namespace {

using test::run_script;

// Thirteen empty answers keep every preset.
const std::vector<std::string> kPresets(13, "type");

const Xy kP1{-146774.089L, -3353.248L}, kP2{-146735.997L, -3274.645L};
const Xy kP3{-146747.806L, -3316.290L}, kP4{-146766.950L, -3321.721L};

TEST(Isect4p, PresetsGiveTheCrossingAndItsDistancesToTheMillimetre)
{
    const auto r = run_script("isect4p", kPresets + std::vector<std::string>{"snap r", "key F3"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const Xy k = crossing(kP1, kP2, kP3, kP4);
    const double x = double(k.x), y = double(k.y);
    EXPECT_EQ(r.cells("r", 12, 40, 35), "K.91  Ｘ=" + field(x, 11) + "  Ｙ=" + field(y, 10)) << joined(r.screen("r"));

    struct Row {
        int row;
        const char* name;
        Xy at;
    } const rows[] = {{14, "E9.1AB", kP1}, {15, "E10.1C", kP2}, {16, "K.29  ", kP3}, {17, "K.28  ", kP4}};
    const auto page = transcript(r);
    for (const Row& t : rows) {
        SCOPED_TRACE(t.name);
        const std::string tail = std::string("K.91  ～ ") + t.name + "   L=" + field(length(k, t.at), 8);
        EXPECT_EQ(r.cells("r", t.row, 45, 28), tail);
        EXPECT_TRUE(has_line(page, "                            " + tail));
    }
    EXPECT_TRUE(has_line(page, "              　　 交 点 K.91    X=" + field(x, 11) + "  Y=" + field(y, 10)));
    EXPECT_TRUE(has_line(page, "           E9.1AB  -146774.089  -3353.248     E10.1C  -146735.997  -3274.645"));
    EXPECT_TRUE(has_line(page, "           K.29    -146747.806  -3316.290     K.28    -146766.950  -3321.721"));
    EXPECT_TRUE(has_line_containing(page, "交 点 計 算（４点交点）      By MARULA    "));
}

TEST(Isect4p, SteepLinesStillCrossToTheMillimetre)
{
    struct Case {
        const char* what;
        std::vector<std::string> points;
        Xy a, b, c, d;
    } const cases[] = {
        {"line 1 due north", {"N1", "0", "0", "N2", "100", "0", "S1", "50", "-30", "S2", "60", "30"},
         {0, 0}, {100, 0}, {50, -30}, {60, 30}},
        {"line 2 due north", {"S1", "0", "0", "S2", "100", "100", "N1", "0", "30", "N2", "100", "30"},
         {0, 0}, {100, 100}, {0, 30}, {100, 30}},
        {"survey-sized, line 1 due north", {"N1", "-146774.089", "-3353.248", "N2", "-146700.001", "-3353.248", "S1",
                                            "-146747.806", "-3316.290", "S2", "-146766.950", "-3391.721"},
         {-146774.089L, -3353.248L}, {-146700.001L, -3353.248L}, {-146747.806L, -3316.290L},
         {-146766.950L, -3391.721L}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        const auto r = run_script("isect4p", typed(t.points) + typed({"K"}) + std::vector<std::string>{"snap r"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        const Xy k = crossing(t.a, t.b, t.c, t.d);
        EXPECT_EQ(r.cells("r", 12, 40, 35), "K     Ｘ=" + field(double(k.x), 11) + "  Ｙ=" + field(double(k.y), 10))
            << joined(r.screen("r"));
        EXPECT_EQ(r.cells("r", 17, 45, 28), "K     ～ " + t.points[9] + "       L=" + field(length(k, t.d), 8));
    }
}

TEST(Isect4p, LongNamesAreCutToTheirField)
{
    const auto r = run_script("isect4p", typed({"ABCDEFGHIJ"}) + std::vector<std::string>(11, "type") +
                                             typed({"CROSSING"}) + std::vector<std::string>{"snap r", "key F3"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("r", 4, 5, 8), "ABCDEF  ");
    EXPECT_EQ(r.cells("r", 14, 45, 16), "CROSSI～ ABCDEF ");
    EXPECT_TRUE(has_line_containing(transcript(r), "           ABCDEF  -146774.089  -3353.248     E10.1C"));
}

TEST(Isect4p, WrongCorrectionNumbersAreAskedAgainAndThirteenRenamesOnly)
{
    const auto r = run_script("isect4p", kPresets + std::vector<std::string>{
                                             "snap before", "key F1", "snap ask", "type 0", "snap n0", "type 14",
                                             "snap n14", "type 2.5", "snap n25", "type 13", "snap name",
                                             "type NEW", "snap after"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("ask", 11, 30, 15), "交点名訂正＝ 13");
    for (const char* snap : {"ask", "n0", "n14", "n25"}) {
        SCOPED_TRACE(snap);
        EXPECT_EQ(r.row(snap, 23), "　　訂正番号");
    }
    EXPECT_EQ(r.row("name", 23), "     正しい交点名は");
    // Field 13 under correction is marked in green.
    EXPECT_EQ(r.colors("name")[12].substr(40, 4), "2222");

    // The name changes; the coordinates and distances do not.
    EXPECT_EQ(r.cells("after", 12, 40, 6), "NEW   ");
    EXPECT_EQ(r.cells("after", 12, 46, 29), r.cells("before", 12, 46, 29));
    for (int row = 14; row <= 17; ++row) {
        EXPECT_EQ(r.cells("after", row, 45, 6), "NEW   ");
        EXPECT_EQ(r.cells("after", row, 51, 22), r.cells("before", row, 51, 22));
    }
}

TEST(Isect4p, ACorrectedCoordinateIsMarkedAskedAndRecomputed)
{
    // Point 4 moved 1 m north: a new crossing.
    const auto r = run_script("isect4p", kPresets + std::vector<std::string>{"key F1", "type 11", "snap old",
                                                                             "type -146765.950", "snap new",
                                                                             "key F3"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.colors("old")[8].substr(53, 11), "22222222222");
    EXPECT_EQ(r.row("old", 23), "     正しいX４座標は");
    const Xy k = crossing(kP1, kP2, kP3, {-146765.950L, -3321.721L});
    EXPECT_EQ(r.cells("new", 12, 40, 35), "K.91  Ｘ=" + field(double(k.x), 11) + "  Ｙ=" + field(double(k.y), 10));
    EXPECT_EQ(r.cells("new", 8, 45, 19), "K.28    -146765.950");
    EXPECT_TRUE(has_line(transcript(r), "           K.29    -146747.806  -3316.290     K.28    -146765.950  -3321.721"));
}

// Lines that never meet, or meet only by rounding, say so on the screen
// and on paper; nothing shows NaN or inf.
TEST(Isect4p, LinesThatDoNotMeetSaySo)
{
    struct Case {
        const char* what;
        std::vector<std::string> points;  // names and coordinates of points 1-4
    } const cases[] = {
        {"parallel", {"A", "0", "0", "B", "10", "10", "C", "0", "5", "D", "10", "15"}},
        {"one line twice", {"A", "0", "0", "B", "10", "10", "C", "2", "2", "D", "7", "7"}},
        {"both due north", {"A", "0", "0", "B", "100", "0", "C", "0", "10", "D", "100", "10"}},
        {"meeting beyond 1000 km", {"A", "0", "0", "B", "0", "1", "C", "1", "0", "D", "0.9999991", "1"}},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        const auto r = run_script("isect4p", typed(t.points) + typed({"P"}) + std::vector<std::string>{"snap r", "key F3"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.cells("r", 12, 40, 28), "P     ２直線は交わりません。") << joined(r.screen("r"));
        for (int row = 14; row <= 17; ++row) EXPECT_EQ(r.cells("r", row, 40, 40), std::string(40, ' '));
        EXPECT_FALSE(shows_garbage(joined(r.screen("r"))));
        const auto page = transcript(r);
        EXPECT_TRUE(has_line(page, "              　　 交 点 P       ２直線は交わりません。"));
        EXPECT_FALSE(has_line_containing(page, "L="));
        EXPECT_FALSE(shows_garbage(joined(page)));
    }
}

TEST(Isect4p, ACrossingFarOutButWithinReachIsShownInTheOverflowForm)
{
    // Nearly parallel lines crossing about 500 km south: Y needs more places
    // than its field has.
    const auto r = run_script("isect4p", typed({"A", "0", "0", "B", "0", "1", "C", "1", "0", "D", "1.000002", "1", "P"}) +
                                             std::vector<std::string>{"snap r"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const std::string line = r.row("r", 12);
    EXPECT_NE(line.find("Ｙ=%-"), std::string::npos) << line;
    EXPECT_EQ(r.cells("r", 14, 45, 20), "P     ～ A        L=");
    EXPECT_FALSE(shows_garbage(joined(r.screen("r"))));
}

TEST(Isect4p, TheSecondPointOfALineMustStandApart)
{
    const auto r = run_script("isect4p", typed({"A", "5", "5", "B", "5", "5"}) + std::vector<std::string>{"snap again"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("again", 23), "     Ｘ２座標は");
    EXPECT_EQ(r.events_starting("beep").size(), 2u);  // the start and the refusal
}

TEST(Isect4p, AnAbsurdCoordinateIsRefusedAndAskedAgain)
{
    const auto r = run_script("isect4p", typed({"A", "1e300"}) + std::vector<std::string>{"snap again", "type -5", "snap taken"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("again", 23), "     Ｘ１座標は");
    EXPECT_EQ(r.events_starting("beep").size(), 2u);  // the start and the refusal
    EXPECT_EQ(r.cells("again", 4, 13, 11), std::string(11, ' '));  // nothing taken yet
    EXPECT_EQ(r.cells("taken", 4, 13, 11), "     -5.000");
}

// The keys every intersection program shares, from the key bar after a
// first result.
TEST(IntersectionPrograms, KeysRestartLeaveAndEnd)
{
    struct Program {
        const char* name;
        std::vector<std::string> entries;
    } const programs[] = {
        {"isect4p", kPresets},
        {"isect2d", typed({"A", "0", "0", "0", "B", "50", "50", "270", "K"})},
        {"isect1d", std::vector<std::string>(11, "type")},
        {"perpfoot", typed({"A", "0", "0", "B", "100", "0", "C", "30", "20", "F"})},
    };
    for (const Program& p : programs) {
        for (const auto& [key, event] : {std::pair{"key F4", std::string("run ") + p.name},
                                         std::pair{"key F5", std::string("run marula")},
                                         std::pair{"key F6", std::string("end")}}) {
            SCOPED_TRACE(std::string(p.name) + " " + key);
            const auto r = run_script(p.name, p.entries + std::vector<std::string>{key});
            EXPECT_TRUE(r.logged(event));
        }
    }
}

}  // namespace
}  // namespace marula::isect::e2e
