// Two points two directions driven in script mode.
#include <gtest/gtest.h>

#include "intersection_script.h"

namespace marula::isect::e2e {
namespace {

using test::run_script;

long double packed_degrees(long double d, long double m, long double s)
{
    return d + m / 60 + s / 3600;
}

struct Case {
    const char* what;
    Xy p1;
    const char* x1;
    const char* y1;
    const char* dir1;
    long double a1;  // the direction in degrees
    Xy p2;
    const char* x2;
    const char* y2;
    const char* dir2;
    long double a2;
};

const Case kCases[] = {
    {"direction 1 due north", {0, 0}, "0", "0", "0", 0, {50, 50}, "50", "50", "270", 270},
    {"survey coordinates", {-146774.089L, -3353.248L}, "-146774.089", "-3353.248", "45.3020", packed_degrees(45, 30, 20),
     {-146735.997L, -3274.645L}, "-146735.997", "-3274.645", "200.1510", packed_degrees(200, 15, 10)},
    {"meeting behind point 2", {0, 0}, "0", "0", "45", 45, {100, 0}, "100", "0", "0", 0},
    {"direction 2 due east", {0, 0}, "0", "0", "30", 30, {-20, -40}, "-20", "-40", "90", 90},
};

TEST(Isect2d, TheCrossingAndItsDistancesAgreeWithAHandCalculation)
{
    for (const Case& t : kCases) {
        SCOPED_TRACE(t.what);
        const auto r = run_script("isect2d", typed({"P1", t.x1, t.y1, t.dir1, "P2", t.x2, t.y2, t.dir2, "K"}) +
                                                 std::vector<std::string>{"snap r", "key F3"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        const Xy k = crossing(t.p1, along(t.p1, t.a1), t.p2, along(t.p2, t.a2));
        const std::string result = "K     Ｘ=" + field(double(k.x), 11) + "  Ｙ=" + field(double(k.y), 10);
        EXPECT_EQ(r.cells("r", 12, 40, 35), result) << joined(r.screen("r"));
        const std::string to1 = "K     ～ P1       L=" + field(length(k, t.p1), 8);
        const std::string to2 = "K     ～ P2       L=" + field(length(k, t.p2), 8);
        EXPECT_EQ(r.cells("r", 14, 45, 28), to1);
        EXPECT_EQ(r.cells("r", 15, 45, 28), to2);
        const auto page = transcript(r);
        EXPECT_TRUE(has_line(page, "             　 交 点 K       X=" + field(double(k.x), 11) + "   Y=" +
                                       field(double(k.y), 10)));
        EXPECT_TRUE(has_line(page, "                            " + to1));
        EXPECT_TRUE(has_line(page, "                            " + to2));
    }
}

TEST(Isect2d, DirectionsShowAsTypedOnScreenAndPaper)
{
    struct Shown {
        const char* typed;
        const char* screen;  // row 4, columns 45-54
        const char* paper;   // the degrees field of the report line
    } const cases[] = {
        {"20.2512", "  20-25-12", " 20°25′12″"},
        {"0.0003", "   0- 0- 3", "  0° 0′ 3″"},
        {"-20.2512", " 339-34-48", "339°34′48″"},  // anticlockwise of north
        {"359.5959", " 359-59-59", "359°59′59″"},
    };
    for (const Shown& t : cases) {
        SCOPED_TRACE(t.typed);
        const auto r = run_script("isect2d", typed({"A", "0", "0", t.typed, "B", "100", "100", "135", "K"}) +
                                                 std::vector<std::string>{"snap r", "key F3"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.cells("r", 4, 45, 10), t.screen);
        EXPECT_TRUE(has_line(transcript(r), std::string("          　　　　　　 A             0.000      0.000     ") +
                                            t.paper));
    }
}

TEST(Isect2d, MinutesOrSecondsOfSixtyAreRefused)
{
    const auto r = run_script("isect2d", typed({"A", "0", "0", "20.7590"}) + std::vector<std::string>{"snap again"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("again", 23), "     方向角は(20度25分12秒は20.2512と入力）");
    EXPECT_EQ(r.cells("again", 4, 45, 10), "          ");
    EXPECT_EQ(r.events_starting("beep").size(), 2u);  // the start and the refusal
}

TEST(Isect2d, ParallelDirectionsDoNotMeet)
{
    for (const char* second : {"45", "225"}) {
        SCOPED_TRACE(second);
        const auto r = run_script("isect2d", typed({"A", "0", "0", "45", "B", "0", "10", second, "K"}) +
                                                 std::vector<std::string>{"snap r", "key F3"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.cells("r", 12, 40, 28), "K     ２直線は交わりません。");
        EXPECT_EQ(r.cells("r", 14, 40, 40), std::string(40, ' '));
        EXPECT_FALSE(shows_garbage(joined(r.screen("r"))));
        EXPECT_FALSE(has_line_containing(transcript(r), "L="));
    }
}

TEST(Isect2d, CorrectingADirectionKeepsTheQuestionGreenAndRecomputes)
{
    const auto r = run_script("isect2d", typed({"A", "0", "0", "0", "B", "50", "50", "270", "K"}) +
                                             std::vector<std::string>{"key F1", "snap hint", "type 4", "snap ask",
                                                                      "type 20.2512", "snap after"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.cells("hint", 11, 30, 14), "交点名訂正＝ 9");
    EXPECT_EQ(r.row("ask", 23), "     正しい方向角は");
    EXPECT_EQ(r.colors("ask")[23].substr(5, 14), std::string(14, '2'));
    EXPECT_EQ(r.colors("ask")[4].substr(45, 10), "...22.22.2");  // "   0- 0- 0" in green
    EXPECT_EQ(r.cells("after", 4, 45, 10), "  20-25-12");
    const Xy k = crossing({0, 0}, along({0, 0}, packed_degrees(20, 25, 12)), {50, 50}, {50, 0});
    EXPECT_EQ(r.cells("after", 12, 40, 35), "K     Ｘ=" + field(double(k.x), 11) + "  Ｙ=" + field(double(k.y), 10));
}

TEST(Isect2d, CorrectionPromptsAndAnEmptyAnswerKeepsTheValue)
{
    struct Case {
        const char* number;
        const char* prompt;
    } const cases[] = {{"1", "     正しい点名は"},     {"2", "     正しいＸ１座標は"},
                       {"3", "     正しいＹ１座標は"}, {"5", "     正しい点名２は"},
                       {"6", "     正しいＸ２座標は"}, {"7", "     正しいＹ２座標は"},
                       {"9", "     正しい交点名は"}};
    for (const Case& t : cases) {
        SCOPED_TRACE(t.number);
        const auto r = run_script("isect2d", typed({"A", "0", "0", "0", "B", "50", "50", "270", "K"}) +
                                                 std::vector<std::string>{"snap before", "key F1",
                                                                          std::string("type ") + t.number,
                                                                          "snap ask", "type", "snap after"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.row("ask", 23), t.prompt);
        for (int row : {4, 8, 12, 14, 15}) EXPECT_EQ(r.row("after", row), r.row("before", row));
    }
}

}  // namespace
}  // namespace marula::isect::e2e
