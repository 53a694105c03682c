// The runtime's primitives driven through the headless backend: text plane
// and scrolling, drawing, line input and key traps.
#include "runtime.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
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

// A notice or a one-key question longer than the prompt row is cut to it:
// wrapped, it would line-feed a console spanning the screen (a program's
// start, before its table's rows are set) and scroll the title text out of
// its box, while only the prompt row is put back.
TEST(TextPlane, ALongNoticeOrQuestionNeverScrollsTheTitleAway) {
    const std::string text = "前回の入力（" + std::string(70, 'x') + "）を復元しますか（Y/N）";
    const std::vector<std::pair<std::vector<std::string>, std::function<void(Runtime&)>>> cases = {
        {{}, [&](Runtime& rt) { rt.notice(text); }},
        {{"type N"}, [&](Runtime& rt) { rt.ask_yes_no(text); }},
        {{"key F1"}, [&](Runtime& rt) { rt.say_until_key(text), rt.wait_event(); }},
    };
    for (const auto& [script, show] : cases) {
        auto rt = make_runtime(script);
        rt->console(0, 24);
        rt->key_trap(1, Trap::On);
        rt->locate(40, 0);
        rt->print(" 結合ﾄﾗﾊﾞ-ｽ");
        rt->locate(0, 23);
        show(*rt);
        EXPECT_EQ(row_text(*rt, 0), std::string(40, ' ') + " 結合ﾄﾗﾊﾞ-ｽ");
        EXPECT_EQ(row_text(*rt, 22), "");
    }
}

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

// ---- bitmaps ------------------------------------------------------------------

// An uncompressed BMP of the given depth; `rows` top row first, each pixel
// a palette index (depth 8) or 0x00RRGGBB (depth 24).
std::string bmp_file(int depth, const std::vector<std::vector<std::uint32_t>>& rows, bool top_down,
                     const std::vector<std::uint32_t>& palette = {}) {
    const int width = int(rows[0].size()), height = int(rows.size());
    const int stride = ((width * depth + 31) / 32) * 4;
    const int data_at = 14 + 40 + int(palette.size()) * 4;
    std::string f(std::size_t(data_at + stride * height), '\0');
    auto put = [&](int at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f[std::size_t(at + i)] = char((v >> (8 * i)) & 0xFF);
    };
    f[0] = 'B';
    f[1] = 'M';
    put(2, std::uint32_t(f.size()), 4);
    put(10, std::uint32_t(data_at), 4);
    put(14, 40, 4);
    put(18, std::uint32_t(width), 4);
    put(22, std::uint32_t(top_down ? -height : height), 4);
    put(26, 1, 2);
    put(28, std::uint32_t(depth), 2);
    put(46, std::uint32_t(palette.size()), 4);
    for (std::size_t i = 0; i < palette.size(); ++i) put(54 + int(i) * 4, palette[i], 4);
    for (int y = 0; y < height; ++y) {
        const int row = data_at + stride * (top_down ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            if (depth == 24) put(row + 3 * x, rows[std::size_t(y)][std::size_t(x)], 3);
            else f[std::size_t(row + x)] = char(rows[std::size_t(y)][std::size_t(x)]);
        }
    }
    return f;
}

TEST(Bitmaps, DrawnInTheNearestPaletteColoursAndKeptOnceLoaded) {
    const auto dir = std::filesystem::temp_directory_path() / ("marula_bmp_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        const char* what;
        std::string file;
    };
    // Red, near-blue, white / black, light green, grey: palette colours 4, 1, 15 / 0, 10, 7.
    const std::vector<std::vector<std::uint32_t>> rgb = {{0xAA0000, 0x0000A0, 0xFFFFFF}, {0x000000, 0x55FF55, 0xA0A0A0}};
    const std::vector<std::uint32_t> palette = {0xAA0000, 0x0000A0, 0xFFFFFF, 0x000000, 0x55FF55, 0xA0A0A0};
    const std::vector<std::vector<std::uint32_t>> indexed = {{0, 1, 2}, {3, 4, 5}};
    const Case cases[] = {
        {"24-bit bottom-up", bmp_file(24, rgb, false)},
        {"8-bit top-down", bmp_file(8, indexed, true, palette)},
    };
    const int expected[2][3] = {{4, 1, 15}, {0, 10, 7}};
    for (const Case& c : cases) {
        const auto path = dir / "picture.bmp";
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << c.file;
        }
        auto rt = make_runtime();
        rt->draw_bitmap(path.string(), 100, 50);
        std::filesystem::remove(path);
        rt->draw_bitmap(path.string(), 300, 200);  // the file is gone: drawn from the kept picture
        for (auto [x0, y0] : {std::pair{100, 50}, std::pair{300, 200}})
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x)
                    EXPECT_EQ(rt->pixel(x0 + x, y0 + y), expected[y][x]) << c.what << " at " << x0 + x << "," << y0 + y;
        EXPECT_EQ(rt->pixel(103, 50), 15) << c.what;  // the background just beyond the picture

        // Cut to the viewport: only the columns and rows inside it are drawn.
        rt->cls(0);
        rt->view(0, 0, 301, 200);
        rt->draw_bitmap(path.string(), 300, 200);
        rt->view(0, 0, 639, 431);
        const PixelProbe clipped[] = {{300, 200, expected[0][0]}, {301, 200, expected[0][1]}, {302, 200, 15}, {300, 201, 15}};
        for (const PixelProbe& p : clipped) EXPECT_EQ(rt->pixel(p.x, p.y), p.colour) << c.what << " clipped at " << p.x << "," << p.y;
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace marula
