// Three points one direction driven in script mode.
#include <gtest/gtest.h>

#include "intersection_script.h"

namespace marula::isect::e2e {
namespace {

using test::run_script;

const std::vector<std::string> kPresets(11, "type");

std::string result_line(const char* name, Xy k)
{
    return std::string(name) + "Ｘ=" + field(double(k.x), 11) + "  Ｙ=" + field(double(k.y), 10);
}

TEST(Isect1d, PresetsKeptByEmptyAnswers)
{
    const auto r = run_script("isect1d", kPresets + std::vector<std::string>{"snap r", "key F3"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const Xy p1{-146774.089L, -3353.248L}, p2{-146735.997L, -3274.645L}, p3{-146747.806L, -3316.290L};
    // The preset direction is kept as the single 195.5017, which reads 195-50-16.
    EXPECT_EQ(r.cells("r", 8, 46, 10), " 195-50-16");
    const Xy k = crossing(p1, p2, p3, along(p3, 195 + 50.0L / 60 + 16.0L / 3600));
    EXPECT_EQ(r.cells("r", 12, 40, 35), result_line("KOTEN ", k)) << joined(r.screen("r"));
    EXPECT_EQ(r.cells("r", 14, 45, 28), "KOTEN ～ e91234   L=" + field(length(k, p1), 8));
    EXPECT_EQ(r.cells("r", 15, 45, 28), "KOTEN ～ E10      L=" + field(length(k, p2), 8));
    EXPECT_EQ(r.cells("r", 16, 45, 28), "KOTEN ～ k29456   L=" + field(length(k, p3), 8));
    EXPECT_EQ(r.row("r", 2), "   最初に直線上の２点の座標を入力してから３点目の座標と方向角を入力します");

    const auto page = transcript(r);
    EXPECT_TRUE(has_line(page, "    　 　 e91234  -146774.089  -3353.248     E10     -146735.997  -3274.645 "));
    EXPECT_TRUE(has_line(page, "          　　　　　　 k29456  -146747.806  -3316.290     195°50′16″"));
    EXPECT_TRUE(has_line(page, "             　 交 点 KOTEN   X=" + field(double(k.x), 11) + "   Y=" +
                                   field(double(k.y), 10)));
    EXPECT_TRUE(has_line(page, "                            KOTEN ～ k29456   L=" + field(length(k, p3), 8)));
}

TEST(Isect1d, DirectionsThroughPointOneAndNorthSouthLines)
{
    struct Case {
        const char* what;
        std::vector<std::string> values;  // points 1-3 and the direction
        const char* result;               // row 12 from column 40
        const char* to_point1;            // row 14 from column 45
    } const cases[] = {
        {"through point 1 on a north-south line", {"A", "0", "0", "B", "100", "0", "C", "-50", "-50", "45"},
         "K     Ｘ=      0.000  Ｙ=     0.000", "K     ～ A        L=   0.000"},
        {"through point 1 on a slanting line", {"A", "10", "20", "B", "30", "60", "C", "10", "0", "90"},
         "K     Ｘ=     10.000  Ｙ=    20.000", "K     ～ A        L=   0.000"},
        {"north-south line crossed due east", {"A", "0", "5", "B", "100", "5", "C", "50", "0", "90"},
         "K     Ｘ=     50.000  Ｙ=     5.000", "K     ～ A        L=  50.000"},
        {"crossing behind point 3", {"A", "0", "0", "B", "0", "100", "C", "30", "40", "0"},
         "K     Ｘ=      0.000  Ｙ=    40.000", "K     ～ A        L=  40.000"},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        const auto r = run_script("isect1d", typed(t.values) + typed({"K"}) + std::vector<std::string>{"snap r"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.cells("r", 12, 40, 35), t.result) << joined(r.screen("r"));
        EXPECT_EQ(r.cells("r", 14, 45, 28), t.to_point1);
    }
}

TEST(Isect1d, ADirectionAlongTheLineDoesNotMeetIt)
{
    const auto r = run_script("isect1d", typed({"A", "0", "0", "B", "100", "100", "C", "0", "10", "45", "K"}) +
                                             std::vector<std::string>{"snap r", "key F3"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("r", 12, 40, 28), "K     ２直線は交わりません。");
    for (int row = 14; row <= 16; ++row) EXPECT_EQ(r.cells("r", row, 40, 40), std::string(40, ' '));
    EXPECT_FALSE(shows_garbage(joined(r.screen("r"))));
    EXPECT_TRUE(has_line(transcript(r), "             　 交 点 K       ２直線は交わりません。"));
}

TEST(Isect1d, PointTwoOnPointOneIsAskedAgain)
{
    const auto r = run_script("isect1d", typed({"A", "7", "8", "B", "7", "8"}) + std::vector<std::string>{"snap again"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("again", 23), "     Ｘ２座標は");
    EXPECT_EQ(r.events_starting("beep").size(), 2u);  // the start and the refusal
}

TEST(Isect1d, CorrectingTheDirectionRecomputes)
{
    const auto r = run_script("isect1d", typed({"A", "0", "0", "B", "100", "0", "C", "50", "-50", "90", "K"}) +
                                             std::vector<std::string>{"key F1", "snap hint", "type 10", "snap ask",
                                                                      "type 45", "snap after"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("hint", 11, 30, 15), "交点名訂正＝ 11");
    EXPECT_EQ(r.row("ask", 23), "     正しい方向角は");
    EXPECT_EQ(r.colors("ask")[23].substr(5, 14), std::string(14, '0'));
    EXPECT_EQ(r.colors("ask")[8].substr(46, 10), "..222.22.2");  // "  90- 0- 0" in green
    EXPECT_EQ(r.cells("after", 8, 46, 10), "  45- 0- 0");
    // From (50,-50) at 45 degrees the new line meets the north-south line
    // Y = 0 at X = 100.
    EXPECT_EQ(r.cells("after", 12, 40, 35), "K     Ｘ=    100.000  Ｙ=     0.000");
}

}  // namespace
}  // namespace marula::isect::e2e
