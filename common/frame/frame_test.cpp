// The frame's pieces driven in-process over the headless backend: key bars,
// prompt-line entries, correction numbers, plot placement and the report
// frame.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <tuple>

#include "frame/bounded_entry.h"
#include "frame/frame.h"
#include "frame/point_sequence.h"
#include "runtime/script_backend.h"

namespace marula {
namespace {

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        out_ = std::filesystem::temp_directory_path() /
               ("marula-frame-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(out_);
        ::setenv("MARULA_OUT", out_.c_str(), 1);
        ::setenv("MARULA_DATE", "2026/04/01", 1);
    }
    void TearDown() override { std::filesystem::remove_all(out_); }

    std::unique_ptr<Runtime> make(std::vector<std::string> script = {}) {
        std::unique_ptr<Runtime> rt;
        auto err = Runtime::create("frametest", make_script_backend(std::move(script)), rt);
        EXPECT_FALSE(err) << *err;
        start_screen(*rt);
        return rt;
    }

    static std::string row(const Runtime& rt, int r) {
        std::istringstream in(rt.text_dump());
        std::string line;
        for (int i = 0; i <= r; ++i) std::getline(in, line);
        return line;
    }

    // The beeps logged so far in this test.
    int beeps() const {
        std::ifstream in(out_ / "events.log");
        int count = 0;
        for (std::string line; std::getline(in, line);) count += line == "beep";
        return count;
    }

    std::filesystem::path out_;
};

TEST_F(FrameTest, KeyBarsDrawTheirBoxesAndLabels) {
    struct Case {
        KeyBar bar;
        int keys;
        std::vector<std::pair<int, int>> yellow;  // inside a key box
        std::vector<std::pair<int, int>> blue;    // key-number part or shadow
        std::vector<std::pair<int, int>> white;   // between boxes, or inside an outline box
        std::string labels;
    } const cases[] = {
        {KeyBar::Table, 8, {{40, 420}, {600, 420}}, {{8, 420}, {77, 430}, {568, 420}}, {{79, 415}},
         "F1 訂 正  F2画像表示F3画面印刷F4 印 刷  F5 再表示 F6 再入力 F7 MENU   F8 終 了"},
        {KeyBar::Form, 6, {{75, 420}, {555, 420}}, {{120, 413}, {60, 430}}, {{10, 420}, {610, 420}},
         "    F1= 訂  正  F2=画面印刷 F3= 印  刷  F4=再 入 力 F5=ＭＥＮＵ F6= 終  了"},
        {KeyBar::FormWithNext, 7, {{40, 420}, {540, 415}}, {{84, 413}, {40, 430}}, {{586, 420}, {2, 420}},
         " F1=訂  正 F2=画面印刷 F3=印  刷  F4=再入力  F5=MENU    F6=終  了   F7=連続入力"},
    };
    for (const auto& c : cases) {
        auto rt = make();
        draw_key_bar(*rt, c.bar);
        EXPECT_EQ(key_count(c.bar), c.keys);
        for (auto [x, y] : c.yellow) EXPECT_EQ(rt->pixel(x, y), 14) << x << "," << y;
        for (auto [x, y] : c.blue) EXPECT_EQ(rt->pixel(x, y), 1) << x << "," << y;
        for (auto [x, y] : c.white) EXPECT_EQ(rt->pixel(x, y), 15) << x << "," << y;
        EXPECT_EQ(row(*rt, 23), c.labels);
        // Erasing leaves the bar's area white and the row blank.
        erase_key_bar(*rt, c.bar);
        EXPECT_EQ(rt->pixel(c.yellow[0].first, c.yellow[0].second), 15);
        EXPECT_EQ(row(*rt, 23), "");
    }
}

TEST_F(FrameTest, KeysMapToTheirActions) {
    EXPECT_EQ(key_action(KeyBar::Table, 2), KeyAction::Plot);
    EXPECT_EQ(key_action(KeyBar::Table, 5), KeyAction::Redisplay);
    EXPECT_EQ(key_action(KeyBar::Table, 8), KeyAction::End);
    EXPECT_EQ(key_action(KeyBar::Form, 2), KeyAction::ScreenPrint);
    EXPECT_EQ(key_action(KeyBar::Form, 4), KeyAction::Reinput);
    EXPECT_EQ(key_action(KeyBar::FormWithNext, 6), KeyAction::End);
    EXPECT_EQ(key_action(KeyBar::FormWithNext, 7), KeyAction::Extra);
}

TEST_F(FrameTest, PackedAnglesAreReadOrRefused) {
    struct Case {
        std::vector<std::string> typed;
        AngleKind kind;
        int d, m, s;
    } const cases[] = {
        {{"type 20.2512"}, AngleKind::azimuth, 20, 25, 12},
        {{"type -20.2512"}, AngleKind::azimuth, 339, 34, 48},
        {{"type 360"}, AngleKind::azimuth, 360, 0, 0},
        {{"type 20.7590", "type 20.2512"}, AngleKind::included, 20, 25, 12},  // refused, then taken
        {{"type 45.6000", "type 45.5960", "type 45.5959"}, AngleKind::included, 45, 59, 59},
        {{"type 0.0003"}, AngleKind::included, 0, 0, 3},
    };
    for (const auto& c : cases) {
        auto rt = make(c.typed);
        AngleEntry a = ask_angle_entry(*rt, 5, "角は ", c.kind, double(1e-6f), double(1e-7f));
        EXPECT_EQ(a.d, c.d) << c.typed.back();
        EXPECT_EQ(a.m, c.m) << c.typed.back();
        EXPECT_EQ(a.s, c.s) << c.typed.back();
        EXPECT_EQ(row(*rt, 23), "") << "the prompt row is wiped after the answer";
    }
    EXPECT_FALSE(read_angle(10.0060, AngleKind::included, double(1e-6f), 0));
    EXPECT_TRUE(read_angle(10.0059, AngleKind::included, double(1e-6f), 0));
}

TEST_F(FrameTest, NumbersOutsideTheirBoundsAreAskedAgain) {
    // Each kind of number: answers just outside its bounds are refused (one
    // notice and its beep each), the first one inside is taken.
    using Ask = std::function<double(Runtime&)>;
    const Ask coordinate = [](Runtime& rt) { return ask_coordinate_entry(rt, 5, "Ｘ座標は "); };
    const Ask distance = [](Runtime& rt) { return ask_distance_entry(rt, 5, "距離は "); };
    const Ask leg = [](Runtime& rt) { return ask_distance_entry(rt, 5, "距離は ", "０は不可"); };
    const Ask chord = [](Runtime& rt) { return ask_chord_entry(rt, 5, "隅切辺長は", 5); };
    const Ask angle = [](Runtime& rt) {
        return ask_angle_entry(rt, 5, "角は ", AngleKind::azimuth, double(1e-7f), double(1e-7f)).packed;
    };
    const Ask direction = [](Runtime& rt) { return ask_packed_entry(rt, 5, "方向角は", 2, 1e-7); };
    struct Case {
        const char* what;
        const Ask& ask;
        std::vector<std::string> typed;
        double taken;
    } const cases[] = {
        {"coordinates", coordinate, {"type 1e8", "type -1e8", "type 1e308", "type -99999999.999"}, -99999999.999},
        {"distances", distance, {"type -0.001", "type 10000", "type -1e300", "type 0"}, 0},
        {"distances near the top", distance, {"type 9999.999"}, 9999.999},
        {"a leg that needs a length", leg, {"type 0", "type -5", "type 12.5"}, 12.5},
        {"chords", chord, {"type 0", "type -1", "type 10000", "type 1e308", "type 9999.999"}, 9999.999},
        {"chords keep the preset", chord, {"type"}, 5},
        {"angles", angle, {"type 10000", "type -10000", "type 1.6000", "type 1.0060", "type -9999.5959"}, -9999.5959},
        {"directions", direction, {"type 1e15", "type -1e4", "type 20.0060", "type 9999.5959"}, 9999.5959},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto rt = make(c.typed);
        const int beeps_before = beeps();
        EXPECT_EQ(c.ask(*rt), c.taken);
        EXPECT_EQ(beeps() - beeps_before, int(c.typed.size()) - 1);
        EXPECT_EQ(row(*rt, 23), "");
    }
}

TEST_F(FrameTest, LongPromptsLeaveRoomForTheAnswer) {
    const std::string name(100, 'N');
    auto rt = make({"snap asked", "type 12.5"});
    rt->console(3, 20);  // the scrolling rows of a table program
    EXPECT_EQ(ask_coordinate_entry(*rt, 5, name + "のＸ座標は"), 12.5);
    // While the question waited, the prompt was cut to leave twelve columns.
    std::ifstream in(out_ / "asked.txt");
    std::string line;
    for (int r = 0; r <= 23; ++r) std::getline(in, line);
    EXPECT_EQ(line, "     " + std::string(80 - 12 - 5, 'N'));
    auto rt2 = make({"type ABC"});
    rt2->console(3, 20);  // the scrolling rows of a table program
    rt2->locate(0, 22);
    rt2->print("KEEP");
    EXPECT_EQ(ask_text(*rt2, 5, name), "ABC");
    // Nothing wrapped onto the row above or over the prompt's start.
    EXPECT_EQ(row(*rt2, 22), "KEEP");
    EXPECT_EQ(row(*rt2, 23), "");
}

TEST_F(FrameTest, EmptyAnswersKeepWhatStands) {
    struct Case {
        const char* what;
        std::vector<std::string> script;
        std::string text;  // what ask_text_keeping leaves
        double coordinate;  // what ask_coordinate_entry returns with preset 7.25
    } const cases[] = {
        {"empty answers keep the name and take the preset", {"type", "type"}, "OLD", 7.25},
        {"typed answers replace them", {"type NEW", "type -3.5"}, "NEW", -3.5},
        {"a refused size asks again and still takes the preset", {"type", "type 1e9", "type"}, "OLD", 7.25},
    };
    for (const Case& c : cases) {
        auto rt = make(c.script);
        std::string name = "OLD";
        ask_text_keeping(*rt, 5, "正しい点名は", name);
        EXPECT_EQ(name, c.text) << c.what;
        EXPECT_EQ(ask_coordinate_entry(*rt, 5, "正しいＸ座標は", 7.25), c.coordinate) << c.what;
    }
}

TEST_F(FrameTest, EchoesPutValuesInTheirFields) {
    auto rt = make();
    echo_dms(*rt, 40, 3, 339, 34, 48, 5);
    echo_dms(*rt, 60, 4, 7, 5, 3, 0, kStyleNormal, "###");
    echo_name(*rt, 5, 5, "ABCDEFGH", 0);
    echo_number(*rt, 53, 6, "########.###", -146774.0895, 0);
    EXPECT_EQ(row(*rt, 3), std::string(40, ' ') + " 339-34-48");
    EXPECT_EQ(row(*rt, 4), std::string(60, ' ') + "  7- 5- 3");
    EXPECT_EQ(row(*rt, 5), "     ABCDEF");
    EXPECT_EQ(row(*rt, 6), std::string(53, ' ') + " -146774.090");
    EXPECT_EQ(rt->cell(41, 3).color, 5);
}

TEST_F(FrameTest, TableCorrectionAsksUntilColumnAndRowFit) {
    struct Case {
        std::vector<std::string> typed;
        int column, row;
        bool has_rows = true;
    } const cases[] = {
        {{"type 3", "type 2"}, 3, 2},
        {{"type 0", "type 8", "type 3", "type 2"}, 3, 2},         // columns out of range asked again
        {{"type 3", "type 9", "type 1.5", "type 1"}, 3, 1},       // rows that do not fit asked again
        {{"type 6"}, 6, -1},                                      // a column that needs no row
        {{"type 6"}, 6, -1, false},                               // needs none in an empty table either
        {{"type 3", "type 1", "type 3", "type 2"}, 0, 0, false},  // an empty table: one row refused, no cell
    };
    for (const auto& c : cases) {
        auto rt = make(c.typed);
        TableCorrection rules;
        rules.columns = 7;
        rules.needs_row = [](int col) { return col != 6; };
        rules.row_fits = [](int, int r) { return r >= 0 && r <= 3; };
        rules.has_rows = c.has_rows;
        std::optional<CellChoice> got = ask_table_cell(*rt, rules);
        if (c.column == 0) {
            EXPECT_FALSE(got) << "an empty table gives no cell";
            EXPECT_EQ(row(*rt, 23), "") << "the notice is wiped again";
            // The row was asked once only: the next answers are the next question's.
            rules.has_rows = true;
            got = ask_table_cell(*rt, rules);
            ASSERT_TRUE(got);
            EXPECT_EQ(got->column, 3);
            EXPECT_EQ(got->row, 2);
            continue;
        }
        ASSERT_TRUE(got);
        EXPECT_EQ(got->column, c.column);
        EXPECT_EQ(got->row, c.row);
        EXPECT_EQ(row(*rt, 23), "") << "no tail of the notice or the question is left";
    }
}

TEST_F(FrameTest, FormCorrectionTakesOnlyAFieldNumber) {
    auto rt = make({"type 0", "type 14", "type 2.5", "type 13"});
    EXPECT_EQ(ask_field(*rt, 13), 13);
    EXPECT_EQ(row(*rt, 23), "");
    // The notice's picture is wiped again in the form ending.
    EXPECT_EQ(rt->pixel(591, 420), 15);
}

TEST_F(FrameTest, PlotNamesStayOnTheScreen) {
    auto rt = make();
    std::vector<double> xs = {0, 100, 50}, ys = {0, 0, 100};
    Plot p = Plot::table(*rt, xs, ys);
    for (std::size_t i = 0; i < xs.size(); ++i) p.name(xs[i], ys[i], "P" + std::to_string(i) + "LONGNAME");
    // X grows to the right, Y downwards: P1 (X 100) right of P0, P2 lower.
    std::string dump = rt->text_dump();
    auto find_row = [&](std::string_view name) {
        std::istringstream in(dump);
        std::string line;
        for (int r = 0; std::getline(in, line); ++r)
            if (line.find(name) != std::string::npos) return std::pair{r, int(line.find(name))};
        return std::pair{-1, -1};
    };
    auto p0 = find_row("P0"), p1 = find_row("P1"), p2 = find_row("P2");
    ASSERT_NE(p0.first, -1);
    ASSERT_NE(p1.first, -1);
    ASSERT_NE(p2.first, -1);
    EXPECT_LT(p0.second, p1.second);
    EXPECT_EQ(p0.first, p1.first);
    EXPECT_GT(p2.first, p0.first);
    // A name at the right edge is cut there instead of running into the
    // next row.
    EXPECT_LE(p1.second + 10, 80);
    p.direction_mark();
    // The filled centre beside the cross lines, the arrow head in colour 0.
    EXPECT_EQ(rt->pixel(401, 21), 10);
    EXPECT_EQ(rt->pixel(432, 18), 0);
    EXPECT_EQ(rt->pixel(440, 20), 0);
}

TEST_F(FrameTest, FormPlotUsesTheLowerLeftViewport) {
    auto rt = make();
    std::vector<double> xs = {10, 20, 20, 10}, ys = {10, 10, 20, 20};
    Plot p = Plot::form(*rt, xs, ys);
    p.line(10, 10, 20, 20, 3);
    int inside = 0, outside = 0;
    for (int y = 0; y < 432; ++y)
        for (int x = 0; x < 640; ++x)
            if (rt->pixel(x, y) == 3) (x <= 320 && y >= 200 && y <= 385 ? inside : outside)++;
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
    p.direction_mark();
    EXPECT_EQ(rt->pixel(61, 191), 10);
    EXPECT_EQ(rt->pixel(92, 188), 0);
}

TEST_F(FrameTest, ReportFrameLaysOutTitleByLineAndBody) {
    struct Case {
        const ReportLayout* layout;
        int empty_before;  // lines before the title line
        int empty_after;   // lines between the title line and the body
    };
    constexpr ReportLayout landscape_table{.paper = Paper::a4_landscape,
                                           .title = "  TABLE",
                                           .by_line = "  By MARULA ",
                                           .by_line_pitch = {111, 360},
                                           .body_pitch = {111, 360},
                                           .empty_after_body_font = false};
    constexpr ReportLayout portrait_form{.paper = Paper::a4_portrait,
                                         .title = "  FORM",
                                         .by_line = "  By MARULA   ",
                                         .empty_before_title = 5,
                                         .empty_after_title_font = true,
                                         .empty_after_title = 2};
    constexpr ReportLayout portrait_form_plain{.paper = Paper::a4_portrait,
                                               .title = "  FORM",
                                               .by_line = "      By MARULA    ",
                                               .empty_before_title = 5,
                                               .empty_after_title = 2};
    constexpr ReportLayout paper_as_set{.title = "  LIST", .by_line = "  By MARULA ", .body_pitch = {131, 240}};
    const Case cases[] = {
        {&landscape_table, 4, 1},
        {&portrait_form, 6, 3},  // five, one more after the title font; two, one more after the body font
        {&portrait_form_plain, 5, 3},
        {&paper_as_set, 4, 2},
    };
    int page = 0;
    for (const auto& c : cases) {
        auto rt = make();
        begin_report(*rt, *c.layout);
        rt->lprint("BODY");
        end_report(*rt);
        ++page;
        std::ifstream in(out_ / ("print-" + std::to_string(page) + ".txt"));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), std::size_t(c.empty_before + 1 + c.empty_after + 2)) << c.layout->title;
        for (int i = 0; i < c.empty_before; ++i) EXPECT_EQ(lines[i], "");
        EXPECT_EQ(lines[c.empty_before],
                  std::string(c.layout->title) + std::string(c.layout->by_line) + "2026/04/01");
        EXPECT_EQ(lines[c.empty_before + 1 + c.empty_after], "BODY");
        EXPECT_EQ(lines.back(), "\f");
    }
}

}  // namespace
}  // namespace marula

namespace marula {
namespace {

// Offers from the job: an empty answer takes the offer as if its text had
// been typed; a typed number wins; out-of-bounds answers are refused first.
TEST_F(FrameTest, OfferedAnswersTakeTheOfferOnlyForAnEmptyAnswer) {
    struct Case {
        const char* what;
        std::vector<std::string> script;
        double value;
        bool taken;
        int refusals;
    } const cases[] = {
        {"Enter takes the offer, read as typed", {"key Enter"}, -36012.345, true, 0},
        {"a typed number wins", {"type 12.5"}, 12.5, false, 0},
        {"a typed number equal to the offer is typed", {"type -36012.345"}, -36012.345, false, 0},
        {"out of bounds is refused, then Enter takes the offer", {"type 1e9", "key Enter"}, -36012.345, true, 1},
    };
    for (const auto& c : cases) {
        auto rt = make(c.script);
        const int before = beeps();
        const OfferedAnswer a = ask_offered_number(*rt, 5, "既知点Ｘ座標は ", kCoordinateBounds, "-36012.345");
        EXPECT_EQ(a.value, c.value) << c.what;
        EXPECT_EQ(a.offer_taken, c.taken) << c.what;
        EXPECT_EQ(beeps() - before, c.refusals) << c.what;
    }
}

TEST_F(FrameTest, AnAzimuthLeftEmptyOrOfferedReadsAsTyped) {
    {
        auto rt = make({"key Enter"});
        EXPECT_FALSE(ask_angle_or_empty(*rt, 2, "方向角は", AngleKind::azimuth, kNudge1e7, kNudge1e7));
    }
    {
        auto rt = make({"type 20.7512", "type 20.2512"});
        const auto a = ask_angle_or_empty(*rt, 2, "方向角は", AngleKind::azimuth, kNudge1e7, kNudge1e7);
        ASSERT_TRUE(a);
        EXPECT_EQ(beeps(), 1);  // 75 minutes refused first
        EXPECT_EQ(a->packed, 20.2512);
    }
    {
        auto offered = make({"key Enter"});
        auto typed = make({"type 237.0712"});
        const AngleEntry a =
            ask_offered_angle(*offered, 5, "方向角は", AngleKind::azimuth, kNudge1e6, kNudge1e7, "237.0712");
        const AngleEntry b = ask_angle_entry(*typed, 5, "方向角は", AngleKind::azimuth, kNudge1e6, kNudge1e7);
        EXPECT_EQ(a.packed, b.packed);
        EXPECT_EQ(a.degrees, b.degrees);
        EXPECT_EQ(std::tie(a.d, a.m, a.s), std::tie(b.d, b.m, b.s));
    }
}

// Ranges of names: each row the text, then the names it gives (none: not a
// range).
TEST(NameRange, EndsShareAPrefixAndReadBackAsWritten) {
    struct Row {
        const char* text;
        std::vector<std::string> names;
    } const rows[] = {
        {"K1..K3", {"K1", "K2", "K3"}},
        {"K3..K1", {"K3", "K2", "K1"}},
        {" K8 .. K10 ", {"K8", "K9", "K10"}},
        {"K08..K10", {"K08", "K09", "K10"}},
        {"K010..K008", {"K010", "K009", "K008"}},
        {"K98..K101", {"K98", "K99", "K100", "K101"}},
        {"K.1..K.2", {"K.1", "K.2"}},
        {"7..9", {"7", "8", "9"}},
        {"境界1..境界2", {"境界1", "境界2"}},
        {"K5..K5", {"K5"}},
        {"K1..L3", {}},
        {"K1..K012", {}},   // K001 is not the K1 typed
        {"K01..K001", {}},  // two widths
        {"K..K3", {}},
        {"K1...K3", {}},
        {"K1..K3..K5", {}},
        {"K1..", {}},
        {"K1K3", {}},
        {"K1..K1234567890123456789", {}},  // more digits than a number holds
    };
    for (const Row& r : rows) {
        const std::optional<NameRange> range = read_name_range(r.text);
        std::vector<std::string> names;
        for (std::int64_t i = 0; range && i < range->count(); ++i) names.push_back(range->name(i));
        EXPECT_EQ(names, r.names) << r.text;
    }
}

TEST(OfferingPrompt, TheOfferStaysWholeWhenThePromptIsCut) {
    EXPECT_EQ(offering_prompt("既知点Ｘ座標は ", "-36012.345", 5), "既知点Ｘ座標は 〔-36012.345〕");
    // A long name: its prompt gives way, never the offer, and the answer
    // keeps its twelve columns.
    const std::string cut = offering_prompt("ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹのＸ座標は", "-36012.345", 5);
    EXPECT_TRUE(cut.ends_with("〔-36012.345〕")) << cut;
    EXPECT_LE(display_width(cut), kColumns - 12 - 5) << cut;
    EXPECT_TRUE(cut.starts_with("ＡＢＣ")) << cut;
}

}  // namespace
}  // namespace marula
