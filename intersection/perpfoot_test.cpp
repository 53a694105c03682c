// The perpendicular foot driven in script mode.
#include <gtest/gtest.h>

#include "intersection_script.h"

namespace marula::isect::e2e {
namespace {

using test::run_script;

// The foot of the perpendicular from c onto the line a-b, in long double.
Xy foot(Xy a, Xy b, Xy c)
{
    const long double ux = b.x - a.x, uy = b.y - a.y;
    const long double t = ((c.x - a.x) * ux + (c.y - a.y) * uy) / (ux * ux + uy * uy);
    return {a.x + t * ux, a.y + t * uy};
}

std::vector<std::string> line_ab(const char* x1, const char* y1, const char* x2, const char* y2)
{
    return typed({"A", x1, y1, "B", x2, y2});
}

TEST(Perpfoot, FeetAzimuthsAndOffsets)
{
    struct Case {
        const char* what;
        const char *x1, *y1, *x2, *y2, *x3, *y3;
        const char* azimuth;  // row 11, columns 60-68 (nullptr: not checked)
    } const cases[] = {
        {"line due north", "0", "0", "100", "0", "30", "20", "  0- 0- 0"},
        {"line due east", "0", "0", "0", "100", "20", "30", " 90- 0- 0"},
        {"point 3 on the line", "0", "0", "100", "100", "40", "40", " 45- 0- 0"},
        {"line to the north-west", "0", "0", "100", "-100", "0", "-100", "315- 0- 0"},
        {"line to the south-west", "10", "10", "-90", "-40", "5", "-30", "206-33-54"},
        {"survey coordinates", "-146774.089", "-3353.248", "-146735.997", "-3274.645", "-146747.806", "-3316.290",
         nullptr},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        const auto r = run_script("perpfoot", line_ab(t.x1, t.y1, t.x2, t.y2) + typed({"C", t.x3, t.y3, "F"}) +
                                                  std::vector<std::string>{"snap r", "key F3"});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        const Xy a{std::stold(t.x1), std::stold(t.y1)}, b{std::stold(t.x2), std::stold(t.y2)};
        const Xy c{std::stold(t.x3), std::stold(t.y3)};
        const Xy f = foot(a, b, c);
        if (t.azimuth) {
            EXPECT_EQ(r.cells("r", 11, 60, 9), t.azimuth);
        }
        EXPECT_EQ(r.cells("r", 10, 50, 16), "AからBへの方向角");
        EXPECT_EQ(r.cells("r", 13, 40, 35), "F     Ｘ=" + field(double(f.x), 11) + "  Ｙ=" + field(double(f.y), 10))
            << joined(r.screen("r"));
        EXPECT_EQ(r.cells("r", 15, 45, 28), "F     ～ A        L=" + field(length(f, a), 8));
        EXPECT_EQ(r.cells("r", 16, 45, 28), "F     ～ B        L=" + field(length(f, b), 8));
        EXPECT_EQ(r.cells("r", 17, 45, 28), "F     ～ C        L=" + field(length(f, c), 8));
        const auto page = transcript(r);
        EXPECT_TRUE(has_line(page, "             　 交 点 F       X=" + field(double(f.x), 11) + "   Y=" +
                                       field(double(f.y), 10)));
        EXPECT_TRUE(has_line(page, "                            F     ～ C        L=" + field(length(f, c), 8)));
    }
}

TEST(Perpfoot, TheAzimuthIsPrintedWithTheThirdPoint)
{
    const auto r = run_script("perpfoot", line_ab("0", "0", "100", "-100") + typed({"C", "0", "-100", "F"}) +
                                              std::vector<std::string>{"key F3"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const auto page = transcript(r);
    EXPECT_TRUE(has_line(page, "    　 　 A             0.000      0.000   B           100.000   -100.000 "));
    EXPECT_TRUE(has_line(page, "          方向角（A     からB     ）   　　点 名　   　Ｘ３　　   Ｙ３"));
    EXPECT_TRUE(has_line(page, "          315° 0′ 0″       　　　　　　 C             0.000   -100.000 "));
}

TEST(Perpfoot, F7ProjectsFurtherPointsOntoTheSameLine)
{
    const auto r = run_script("perpfoot", line_ab("0", "0", "100", "100") + typed({"C1", "0", "10", "F1"}) +
                                              std::vector<std::string>{"snap one", "key F7", "snap ask"} +
                                              typed({"C2", "50", "30", "F2"}) +
                                              std::vector<std::string>{"snap two", "key F7"} +
                                              typed({"C3", "-20", "-40", "F3"}) +
                                              std::vector<std::string>{"snap three", "key F3"});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    // Points 1 and 2 stay; point 3 is asked afresh.
    EXPECT_EQ(r.row("ask", 5), r.row("one", 5));
    EXPECT_EQ(r.cells("ask", 8, 19, 30), std::string(30, ' '));
    EXPECT_EQ(r.row("ask", 23), "     点名３は");
    struct Step {
        const char* snap;
        const char* foot;
        const char* result;
        const char* offset;
    } const steps[] = {
        {"one", "F1", "F1    Ｘ=      5.000  Ｙ=     5.000", "F1    ～ C1       L=   7.071"},
        {"two", "F2", "F2    Ｘ=     40.000  Ｙ=    40.000", "F2    ～ C2       L=  14.142"},
        {"three", "F3", "F3    Ｘ=    -30.000  Ｙ=   -30.000", "F3    ～ C3       L=  14.142"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.snap);
        EXPECT_EQ(r.cells(s.snap, 13, 40, 35), s.result) << joined(r.screen(s.snap));
        EXPECT_EQ(r.cells(s.snap, 17, 45, 28), s.offset);
        EXPECT_EQ(r.cells(s.snap, 11, 60, 9), " 45- 0- 0");
    }
    // The report holds the current third point only.
    const auto page = transcript(r);
    EXPECT_TRUE(has_line_containing(page, "C3      "));
    EXPECT_FALSE(has_line_containing(page, "C1"));
    EXPECT_FALSE(has_line_containing(page, "C2"));
}

TEST(Perpfoot, PointTwoOnPointOneGivesNoLine)
{
    // Typed: refused at once and point 2's X asked again.
    const auto typed_run = run_script("perpfoot", line_ab("5", "5", "5", "5") + std::vector<std::string>{"snap again"});
    ASSERT_EQ(typed_run.exit_status, 0) << typed_run.stderr_text;
    EXPECT_EQ(typed_run.row("again", 23), "     Ｘ２座標は");
    EXPECT_EQ(typed_run.events_starting("beep").size(), 2u);  // the start and the refusal

    // Made so by a correction: the result block says so, and the report.
    const auto corrected = run_script("perpfoot", line_ab("0", "0", "100", "0") + typed({"C", "30", "20", "F"}) +
                                                      std::vector<std::string>{"key F1", "snap hint", "type 5",
                                                                               "snap ask", "type 0", "snap r",
                                                                               "key F3"});
    ASSERT_EQ(corrected.exit_status, 0) << corrected.stderr_text;
    EXPECT_EQ(corrected.cells("hint", 12, 30, 15), "交点名訂正＝ 10");
    EXPECT_EQ(corrected.row("ask", 23), "     正しいＸ２座標は");
    EXPECT_EQ(corrected.cells("r", 13, 40, 32), "F     直線の２点が同じ位置です。");
    for (int row = 15; row <= 17; ++row) EXPECT_EQ(corrected.cells("r", row, 40, 40), std::string(40, ' '));
    EXPECT_FALSE(shows_garbage(joined(corrected.screen("r"))));
    const auto page = transcript(corrected);
    EXPECT_TRUE(has_line(page, "             　 交 点 F       直線の２点が同じ位置です。"));
    EXPECT_FALSE(has_line_containing(page, "L="));
}

}  // namespace
}  // namespace marula::isect::e2e
