// The runtime's primitives driven through the headless backend: text plane
// and scrolling, drawing, line input and key traps.
#include "runtime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "script_backend.h"

namespace marula {
namespace {

std::unique_ptr<Runtime> make_runtime(std::vector<std::string> script = {}) {
    std::unique_ptr<Runtime> rt;
    auto err = Runtime::create("test", make_script_backend(std::move(script)), rt);
    EXPECT_FALSE(err) << *err;
    rt->color(0);
    rt->cls(0);
    return rt;
}

std::string row_text(const Runtime& rt, int row) {
    std::istringstream in(rt.text_dump());
    std::string line;
    for (int r = 0; r <= row; ++r) std::getline(in, line);
    return line;
}

TEST(TextPlane, FullWidthCharactersTakeTwoCellsInTheDump) {
    auto rt = make_runtime();
    rt->locate(3, 2);
    rt->print("測点ｱA");
    EXPECT_EQ(row_text(*rt, 2), "   測点ｱA");
    EXPECT_EQ(rt->cursor_column(), 3 + 2 + 2 + 1 + 1);
    EXPECT_TRUE(rt->cell(4, 2).continuation);
    // Overwriting the second half of a full-width character removes all of it.
    rt->locate(4, 2);
    rt->print("x");
    EXPECT_EQ(row_text(*rt, 2), "    x点ｱA");
}

TEST(TextPlane, ColourFifteenHidesAValue) {
    auto rt = make_runtime();
    rt->locate(10, 5);
    rt->color(0);
    rt->print("1234.567");
    rt->locate(10, 5);
    rt->color(15, 1);
    rt->print("1234.567");
    EXPECT_EQ(row_text(*rt, 5), "");
    std::string colours = rt->color_dump();
    EXPECT_EQ(colours.substr(5 * 81, 80), std::string(80, '.'));
}

TEST(TextPlane, LineFeedsScrollOnlyTheConsoleRows) {
    auto rt = make_runtime();
    rt->locate(0, 0);
    rt->print("title");
    rt->locate(0, 23);
    rt->print("prompt");
    rt->console(3, 3);  // rows 3, 4, 5
    rt->locate(0, 3);
    for (const char* line : {"a", "b", "c", "d"}) rt->print_line(line);
    EXPECT_EQ(row_text(*rt, 0), "title");
    EXPECT_EQ(row_text(*rt, 3), "c");
    EXPECT_EQ(row_text(*rt, 4), "d");
    EXPECT_EQ(row_text(*rt, 5), "");
    EXPECT_EQ(row_text(*rt, 6), "");
    EXPECT_EQ(row_text(*rt, 23), "prompt");
}

TEST(TextPlane, ClsModesClearTheirOwnPlanes) {
    auto rt = make_runtime();
    rt->locate(0, 0);
    rt->print("text");
    rt->fill_box(0, 100, 10, 110, 4);
    rt->cls(5);
    EXPECT_EQ(row_text(*rt, 0), "text");
    EXPECT_EQ(rt->pixel(5, 105), 15);
    rt->fill_box(0, 100, 10, 110, 4);
    rt->cls(4);
    EXPECT_EQ(row_text(*rt, 0), "");
    EXPECT_EQ(rt->pixel(5, 105), 4);
}

struct PixelProbe {
    int x, y, colour;
};

TEST(Graphics, ShapesPutTheirPixelsWhereExpected) {
    auto rt = make_runtime();
    rt->box(10, 10, 20, 20, 1);
    rt->fill_box(30, 10, 40, 20, 2);
    rt->line(50, 10, 60, 20, 4);
    rt->circle(100, 100, 10, 5, false);
    rt->circle(150, 100, 5, 6, true);
    rt->dashed_line(200, 50, 260, 50, 8);
    const PixelProbe probes[] = {
        {10, 10, 1}, {20, 15, 1}, {15, 15, 15},  // outline only
        {30, 10, 2}, {35, 15, 2}, {41, 15, 15},  // filled, edges inclusive
        {55, 15, 4}, {55, 14, 15},               // diagonal
        {110, 100, 5}, {100, 90, 5}, {100, 100, 15},
        {150, 100, 6}, {154, 100, 6}, {156, 100, 15},
        {200, 50, 8}, {204, 50, 15},  // dashes of four pixels
    };
    for (const auto& p : probes) EXPECT_EQ(rt->pixel(p.x, p.y), p.colour) << p.x << "," << p.y;
}

TEST(Graphics, PaintFillsUpToTheBorder) {
    auto rt = make_runtime();
    rt->box(10, 10, 30, 30, 0);
    rt->paint(20, 20, 12, 0);
    EXPECT_EQ(rt->pixel(11, 11), 12);
    EXPECT_EQ(rt->pixel(29, 29), 12);
    EXPECT_EQ(rt->pixel(10, 20), 0);
    EXPECT_EQ(rt->pixel(31, 20), 15);
}

TEST(Graphics, WindowAndViewMapWorldToViewportPixels) {
    auto rt = make_runtime();
    rt->view(100, 50, 300, 150);
    rt->window(0, 1000, 2000, 2000);  // world x 0..2000, y 1000..2000
    EXPECT_DOUBLE_EQ(rt->map(1000, 0), 100);
    EXPECT_DOUBLE_EQ(rt->map(1500, 1), 50);
    rt->circle(1000, 1500, 0, 4, true);
    EXPECT_EQ(rt->pixel(200, 100), 4);
    // Drawing is clipped to the viewport.
    rt->line(-5000, 1500, 5000, 1500, 2);
    EXPECT_EQ(rt->pixel(100, 100), 2);
    EXPECT_EQ(rt->pixel(99, 100), 15);
    EXPECT_EQ(rt->pixel(301, 100), 15);
    // Far-away and non-finite coordinates draw nothing and do not crash.
    rt->line(1e300, 0, -1e300, 1e300, 3);
    rt->line(std::nan(""), 0, 0, 0, 3);
}

TEST(LineInput, RefusesTextThatIsNotAFiniteNumber) {
    auto rt = make_runtime({"type abc", "type 1e999", "type", "type １２．５", "type -3"});
    rt->locate(5, 23);
    EXPECT_EQ(rt->input_number("Ｘ座標は "), 12.5);
    rt->locate(5, 23);
    EXPECT_EQ(rt->input_number("Ｙ座標は "), -3);
}

TEST(LineInput, EmptyAnswerKeepsAPreset) {
    auto rt = make_runtime({"type", "type  "});
    rt->locate(5, 23);
    EXPECT_EQ(rt->input_number("距離は ", 5.0), 5.0);
    rt->locate(5, 23);
    EXPECT_EQ(rt->input_number("距離は ", 7.25), 7.25);
}

TEST(LineInput, EchoesAndAllowsEmptyNames) {
    auto rt = make_runtime({"type 基準点Ａ", "type"});
    rt->console(23, 1);
    rt->locate(5, 23);
    EXPECT_EQ(rt->input_text("点名は "), "基準点Ａ");
    rt->locate(5, 23);
    EXPECT_EQ(rt->input_text("点名は "), "");
}

TEST(KeyTraps, BoundKeyDuringEntryIsHandledAfterIt) {
    auto rt = make_runtime({"key F3", "key F2", "type 42", "key F5"});
    rt->key_trap(3, Trap::On);
    rt->key_trap(5, Trap::On);  // F2 stays off: dropped
    rt->locate(0, 23);
    EXPECT_EQ(rt->input_number("? "), 42);
    auto first = rt->wait_event();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->key, 3);
    auto second = rt->wait_event();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->key, 5);
}

TEST(KeyTraps, StoppedKeysWaitAndDoubleClicksCarryThePointer) {
    auto rt = make_runtime({"key F1", "dblclick 400 100"});
    rt->key_trap(1, Trap::Stop);
    rt->mouse_trap(Trap::On);
    auto click = rt->wait_event();
    ASSERT_TRUE(click);
    EXPECT_EQ(click->type, Event::Type::DoubleClick);
    EXPECT_EQ(rt->mouse_x(), 400);
    EXPECT_EQ(rt->mouse_y(), 100);
    rt->key_trap(1, Trap::On);
    auto key = rt->wait_event();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->key, 1);
}

}  // namespace
}  // namespace marula
