// The launcher. The character slides in, the title and the name
// plate appear, and a two-level menu of the twelve calculations waits for a
// function key or a left double-click on a light-cyan frame; the chosen
// program is started by name, which ends the launcher. When there is a job,
// the main menu also shows its name and F6 starts the point list (座標管理),
// and the inverse group holds a thirteenth calculation, the stake-out.
//
// The launcher is a small state machine: it shows either the main menu or
// the sub-menu of one group, and every event that wait_event hands back is
// dispatched on that state. In the main menu the idle wait is cut into
// 100 ms slices so the character's eyes can blink between events.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "launcher.h"

namespace marula {
namespace {

constexpr int kWhite = 15;
constexpr int kBlack = 0;
constexpr int kBlue = 1;
constexpr int kGreen = 2;
constexpr int kMagenta = 5;
constexpr int kGrey = 7;
constexpr int kLightBlue = 9;
constexpr int kLightGreen = 10;
constexpr int kLightCyan = 11;
constexpr int kLightMagenta = 13;
constexpr int kYellow = 14;


struct Rect {
    int x1, y1, x2, y2;
};

// ---- the menu table --------------------------------------------------------

struct Item {
    std::string_view menu_label;   // in the main menu
    std::string_view sub_label;    // in the group's own sub-menu
    std::string_view click_label;  // on the magenta frame of a double-click
    std::string_view bar_label;    // on the sub-menu's key bar
    std::string_view program;
};

struct Band {
    int y1, y2;
};

struct Group {
    std::string_view label;
    std::string_view main_bar_label;
    std::string_view prompt;
    int badge_top;   // the badge box spans badge_top .. badge_top + 15
    int first_top;   // item h spans first_top + 18h .. first_top + 18h + 15
    int frame_right;
    int trunk_y;
    bool label_in_black;  // label colour 0 style 4, else colour 1 style 0
    std::vector<Item> items;
    std::vector<Band> wipe_bands;   // where the other groups stand
    std::vector<int> blanked_rows;  // text rows cleared on entry
    std::vector<int> bar_positions;

    int item_count() const { return int(items.size()); }
    int item_top(int h) const { return first_top + 18 * h; }
    int item_row(int h) const { return item_top(h) / 18; }
    int badge_row() const { return badge_top / 18; }
};

const std::array<std::string_view, 4> kKeyTexts = {" Ｆ１ ", " Ｆ２ ", " Ｆ３ ", " Ｆ４ "};
constexpr std::string_view kReturnBarLabel = "F5初期画面";
constexpr int kReturnBarPosition = 4;

// The point list, on the main menu only and only when there is a job. Its
// key box stands where F5 stands in a sub-menu: F5 is not bound on the main
// menu, so a second quick F5 after a return starts nothing.
constexpr int kPointsKey = 6;
constexpr std::string_view kPointsBarLabel = "F6 座標管理";
constexpr int kPointsBarPosition = 4;
constexpr std::string_view kPointsProgram = "points";
// Its label is a column wider than the others: the box is too.
constexpr Rect kPointsKeyBox{14 + 88 * kPointsBarPosition, 412, 100 + 88 * kPointsBarPosition, 429};
constexpr int kJobRow = 2;
constexpr int kJobColumn = 50;

using Menu = std::array<Group, 4>;

const Menu& plain_menu() {
    static const Menu table = {{
        {"ﾄﾗﾊﾞ-ｽ計算", "F1 ﾄﾗﾊﾞ- ",
         "【Ｆ１～Ｆ５キ－を押してください　】　　　　　　　　　",
         108, 90, 430, 116, true,
         {{" 結　合 ", " 結　合 ", " 結　合 ", "F1 結 合", "linktrav"},
          {" 閉　合 ", " 閉　合 ", " 閉　合 ", "F2 閉 合", "looptrav"},
          {" 連　続 ", " 連　続 ", " 連　続 ", "F3 連 続", "opentrav"},
          {" 放　射 ", " 放　射 ", " 放　射 ", "F4 放 射", "radtrav"}},
         {{180, 360}},
         {22},
         {0, 1, 2, 3, 4}},
        {" 交点計算", "F2 交 点",
         "【Ｆ１～Ｆ５キ－を押してください】　　　        　　　　　　　",
         198, 180, 446, 206, false,
         {{" 2点2方向 ", " 2点2方交 ", "2点2方向", "F1 2点2方", "isect2d"},
          {" 3点1方向 ", " 3点1方交 ", "3点1方向", "F2 3点1方", "isect1d"},
          {" ４点交点 ", " ４点交点 ", " ４点交点", "F3 4点交点", "isect4p"},
          {" ３点垂線 ", " ３点垂線 ", " ３点垂線", "F4 3点垂線", "perpfoot"}},
         {{90, 162}, {270, 360}},
         {22},
         {0, 1, 2, 3, 4}},
        {" 逆 計 算 ", "F3 逆計算",
         "【Ｆ１、Ｆ２、またはＦ５キ－を押して下さい。】",
         270, 270, 446, 278, true,
         {{" 連続逆算 ", " 連続逆算 ", " 連続逆算", "F1 連　続", "invchain"},
          {" 放射逆算 ", " 放射逆算 ", " 放射逆算", "F2 放　射", "invradial"}},
         {{90, 162}, {180, 252}, {324, 360}},
         {21, 22},
         {0, 1, 4}},
        {" 各種計算 ", "F4 各 種",
         "【Ｆ１、Ｆ２、またはＦ５キ－を押して下さい。】",
         324, 324, 446, 332, false,
         {{" 座標面積 ", " 座標面積 ", " 座標面積", "F1 座  標", "coordarea"},
          {" 隅切計算 ", " 隅切計算 ", " 隅切計算", "F2 隅　切", "cornercut"}},
         {{90, 306}},
         {22},
         {0, 1, 4}},
    }};
    return table;
}

// With a job the inverse group also sets out points from a backsight: a
// third item under 放射逆算, so the miscellaneous group's wipe reaches down
// to it.
const Menu& job_menu() {
    static const Menu table = [] {
        Menu menu = plain_menu();
        Group& inverse = menu[2];
        inverse.items.push_back({" 杭打ち計算 ", " 杭打ち計算 ", " 杭打ち計算", "F3 杭打ち", "stakeout"});
        inverse.bar_positions = {0, 1, 2, 4};
        inverse.prompt = "【Ｆ１～Ｆ３、またはＦ５キ－を押して下さい。】";
        menu[3].wipe_bands = {{90, 324}};
        return menu;
    }();
    return table;
}

const Menu& groups(bool with_job) { return with_job ? job_menu() : plain_menu(); }

Rect badge_box(const Group& g) { return {122, g.badge_top, 168, g.badge_top + 15}; }
Rect name_box(const Group& g) { return {176, g.badge_top - 5, 264, g.badge_top + 20}; }
Rect item_key_box(const Group& g, int h) { return {314, g.item_top(h), 360, g.item_top(h) + 15}; }
Rect item_frame(const Group& g, int h) { return {370, g.item_top(h), g.frame_right, g.item_top(h) + 15}; }
Rect bar_key_box(int k) { return {14 + 88 * k, 412, 92 + 88 * k, 429}; }

// A double-click selects an item only strictly inside its frame: the edge
// rows and columns, the gaps between frames and everything outside the
// four columns select nothing.
struct Choice {
    int group, item;
};

std::optional<Choice> item_at(const Menu& table, int x, int y) {
    for (int g = 0; g < int(table.size()); ++g) {
        const Group& group = table[g];
        if (!(370 < x && x < group.frame_right)) continue;
        for (int h = 0; h < group.item_count(); ++h) {
            int top = group.item_top(h);
            if (top < y && y < top + 15) return Choice{g, h};
        }
    }
    return std::nullopt;
}

// ---- drawing helpers -------------------------------------------------------

void text_at(Runtime& rt, int column, int row, std::string_view text, int color, int style = 0) {
    rt.color(color, style);
    rt.locate(column, row);
    rt.print(text);
}

// Text and graphics are separate planes here, so whatever covers an area of
// the graphics also clears the text cells whose centres lie in it.
void clear_text(Runtime& rt, Rect r) {
    int first_col = std::max(0, (r.x1 + 3) / 8), last_col = std::min(kColumns - 2, (r.x2 - 4) / 8);
    int first_row = std::max(0, (r.y1 + 8) / 18), last_row = std::min(kRows - 1, (r.y2 - 9) / 18);
    if (first_col > last_col) return;
    std::string blanks(last_col - first_col + 1, ' ');
    rt.color(kBlack);
    for (int row = first_row; row <= last_row; ++row) {
        rt.locate(first_col, row);
        rt.print(blanks);
    }
}

void blank_row(Runtime& rt, int row) { clear_text(rt, {0, row * 18, kScreenWidth - 1, row * 18 + 17}); }

// The prompt rows are blanked up to the name plate, whose text stays.
constexpr int kNamePlateLeft = 520;
void blank_prompt_row(Runtime& rt, int row) { clear_text(rt, {0, row * 18, kNamePlateLeft - 1, row * 18 + 17}); }

void white_out(Runtime& rt, Rect r) {
    rt.fill_box(r.x1, r.y1, r.x2, r.y2, kWhite);
    clear_text(rt, r);
}

// The shadow of a box: `depth` lines under it and as many to its right,
// each shifted one pixel further down and right.
void shadow(Runtime& rt, Rect r, int color, int depth) {
    for (int i = 0; i < depth; ++i) {
        rt.line(r.x1 + i, r.y2 + i, r.x2 + i, r.y2 + i, color);
        rt.line(r.x2 + i, r.y1 + i, r.x2 + i, r.y2 + i, color);
    }
}

// Every frame of the launcher: a box in outline (fill < 0) or filled and
// outlined, then its shadow.
void shadowed_box(Runtime& rt, Rect r, int fill, int outline, int shadow_color, int depth) {
    if (fill >= 0) rt.fill_box(r.x1, r.y1, r.x2, r.y2, fill);
    if (outline >= 0) rt.box(r.x1, r.y1, r.x2, r.y2, outline);
    shadow(rt, r, shadow_color, depth);
}

// Boxes drawn from the edge inward, `step` pixels apart, `wait_units`
// between them: the wipes of the menus.
void wipe_inward(Runtime& rt, Rect r, int count, int step, int color, int wait_units) {
    for (int i = 0; i < count; ++i) {
        int d = i * step;
        Rect b{r.x1 + d, r.y1 + d, r.x2 - d, r.y2 - d};
        rt.box(std::min(b.x1, b.x2), std::min(b.y1, b.y2), std::max(b.x1, b.x2), std::max(b.y1, b.y2), color);
        if (wait_units > 0) rt.wait(wait_units);
    }
}

// Yellow outlines two pixels apart until they meet in the middle.
void wipe_band(Runtime& rt, Band band) {
    Rect r{120, band.y1, 450, band.y2};
    clear_text(rt, r);
    int count = std::min(r.x2 - r.x1, r.y2 - r.y1) / 4 + 1;
    wipe_inward(rt, r, count, 2, kYellow, 1);
}

// One key of a bar at position k, in the box r.
void draw_bar_key(Runtime& rt, int bar_color, int k, Rect r, std::string_view label) {
    rt.fill_box(r.x1, r.y1, r.x2, r.y2, bar_color);
    rt.fill_box(r.x1, r.y1, 32 + 88 * k, r.y2, kWhite);
    rt.box(r.x1, r.y1, r.x2, r.y2, kBlue);
    for (int i = 0; i < 3; ++i) {
        rt.line(r.x1 + i, r.y2 + i, r.x2, r.y2 + i, kBlue);
        rt.line(r.x2 + i, r.y1 + i, r.x2 + i, 431, kBlue);
    }
    text_at(rt, 2 + 11 * k, kPromptRow, label, kBlack, 4);
}

void draw_key_bar(Runtime& rt, int bar_color, const std::vector<std::pair<int, std::string_view>>& keys) {
    blank_row(rt, kPromptRow);
    for (const auto& [k, label] : keys) draw_bar_key(rt, bar_color, k, bar_key_box(k), label);
}

void draw_eyes(Runtime& rt, bool shut) {
    for (auto [x, y] : {std::pair{566, 340}, std::pair{547, 337}}) {
        if (shut)
            rt.circle(x, y, 1, kWhite, true);
        else
            rt.circle(x, y, 2, kBlack, true);
    }
}

// ---- the opening -----------------------------------------------------------

constexpr std::string_view kCharacterBitmap = "Marula１.bmp";
constexpr std::string_view kTitleBitmap = "Marula文字.bmp";

void play_opening(Runtime& rt) {
    rt.color(kBlack);
    rt.cls(0);
    rt.console(0, 24);
    rt.window(0, 0, 639, 431);
    rt.cls(4);
    // The character slides in from the right in five steps.
    for (int k = 1; k <= 5; ++k) {
        rt.cls(5);
        rt.draw_bitmap(kCharacterBitmap, 620 - 20 * k, 280);
        rt.wait(10);
    }
    Rect plate{kNamePlateLeft, 394, 607, 414};
    shadow(rt, plate, kBlue, 3);
    rt.fill_box(plate.x1, plate.y1, plate.x2, plate.y2, kGreen);
    rt.box(plate.x1, plate.y1, plate.x2, plate.y2, kYellow);
    text_at(rt, 65, 22, " Marula登場！", kGrey, 4);

    rt.draw_bitmap(kTitleBitmap, 200, 10);
    shadowed_box(rt, {197, 6, 375, 75}, -1, kYellow, kGreen, 6);
}

// ---- the menus -------------------------------------------------------------

// One item's key box and frame with their texts; the main menu shadows
// them in yellow, a sub-menu in blue.
void draw_item(Runtime& rt, const Group& g, int h, bool in_sub_menu) {
    int shadow_color = in_sub_menu ? kBlue : kYellow;
    shadowed_box(rt, item_key_box(g, h), -1, kYellow, shadow_color, 3);
    shadowed_box(rt, item_frame(g, h), kLightCyan, kYellow, shadow_color, 3);
    text_at(rt, 39, g.item_row(h), kKeyTexts[h], kBlack, 4);
    const Item& item = g.items[h];
    if (in_sub_menu)
        text_at(rt, 46, g.item_row(h), item.sub_label, kBlue, 4);
    else
        text_at(rt, 46, g.item_row(h), item.menu_label, kBlue, 0);
}

void draw_group(Runtime& rt, const Menu& table, int index) {
    const Group& g = table[index];
    shadowed_box(rt, badge_box(g), -1, kYellow, kBlue, 3);
    shadowed_box(rt, name_box(g), kLightMagenta, kLightMagenta, kBlue, 3);
    for (int h = 0; h < g.item_count(); ++h) draw_item(rt, g, h, false);

    int last_middle = g.item_top(g.item_count() - 1) + 8;
    rt.line(268, g.trunk_y, 312, g.trunk_y, kGreen);
    rt.line(290, g.item_top(0) + 8, 290, last_middle, kGreen);
    for (int h = 0; h < g.item_count(); ++h) rt.line(290, g.item_top(h) + 8, 312, g.item_top(h) + 8, kGreen);

    text_at(rt, 15, g.badge_row(), kKeyTexts[index], kBlack, 4);
    if (g.label_in_black)
        text_at(rt, 23, g.badge_row(), g.label, kBlack, 4);
    else
        text_at(rt, 23, g.badge_row(), g.label, kBlue, 0);
}

// The job's name beside the title, as much of it as the row holds; a
// longer name ends with 「…」 so that it is seen to go on.
void draw_job_name(Runtime& rt, std::string_view name) {
    constexpr std::string_view kLabel = "現場：";
    constexpr std::string_view kMore = "…";
    const int column = kJobColumn + display_width(kLabel), room = kColumns - column;
    text_at(rt, kJobColumn, kJobRow, kLabel, kGreen);
    const std::string shown = display_width(name) <= room
                                  ? std::string(name)
                                  : cut_to_width(name, room - display_width(kMore)) + std::string(kMore);
    text_at(rt, column, kJobRow, shown, kBlue);
}

void draw_main_menu(Runtime& rt, const std::optional<std::string>& job_name) {
    const Menu& table = groups(job_name.has_value());
    for (int g = 0; g < int(table.size()); ++g) draw_group(rt, table, g);

    std::vector<std::pair<int, std::string_view>> keys;
    for (int g = 0; g < int(table.size()); ++g) keys.emplace_back(g, table[g].main_bar_label);
    draw_key_bar(rt, kLightMagenta, keys);
    for (int k = 1; k <= 4; ++k) rt.key_trap(k, Trap::On);
    rt.key_trap(5, Trap::Off);
    rt.key_trap(kPointsKey, Trap::Off);
    if (job_name) {
        draw_bar_key(rt, kLightMagenta, kPointsBarPosition, kPointsKeyBox, kPointsBarLabel);
        rt.key_trap(kPointsKey, Trap::On);
        draw_job_name(rt, *job_name);
    }

    text_at(rt, 60, 7, "マウス選択では", kGreen);
    text_at(rt, 60, 8, "水色枠を", kMagenta);
    text_at(rt, 60, 9, "左ﾀﾞﾌﾞﾙｸﾘｯｸ", kBlue);
    text_at(rt, 60, 10, "して下さい。", kBlue);
    text_at(rt, 1, 21, "キ－ボ－ド選択では", kGreen);
    text_at(rt, 1, 22, "Ｆ１、Ｆ２、Ｆ３、Ｆ４キ－のいずれかを押して下さい。", kBlue);

    rt.mouse_trap(Trap::On);
}

void draw_sub_menu(Runtime& rt, int index, bool with_job) {
    const Group& g = groups(with_job)[index];
    for (int row : g.blanked_rows) blank_prompt_row(rt, row);
    // The point list's key goes with the main menu, shadow and all.
    if (with_job) white_out(rt, {kPointsKeyBox.x1, kPointsKeyBox.y1, kPointsKeyBox.x2 + 3, 431});

    // The pressed key sinks away; the other main-menu keys simply go.
    for (int k = 0; k < 4; ++k) {
        Rect r = bar_key_box(k);
        if (k == index) {
            clear_text(rt, r);
            wipe_inward(rt, r, 20, 1, kWhite, 0);
        } else {
            white_out(rt, r);
        }
    }
    for (Band band : g.wipe_bands) wipe_band(rt, band);

    white_out(rt, badge_box(g));
    text_at(rt, 15, g.badge_row(), kKeyTexts[index], kGrey);
    Rect plate{176, g.badge_top - 4, 264, g.badge_top + 19};
    rt.fill_box(plate.x1, plate.y1, plate.x2, plate.y2, kLightGreen);
    text_at(rt, 23, g.badge_row(), g.label, kGrey);

    for (int h = 0; h < g.item_count(); ++h) draw_item(rt, g, h, true);

    std::vector<std::pair<int, std::string_view>> keys;
    for (int h = 0; h < g.item_count(); ++h) keys.emplace_back(g.bar_positions[h], g.items[h].bar_label);
    keys.emplace_back(kReturnBarPosition, kReturnBarLabel);
    draw_key_bar(rt, kLightBlue, keys);

    // Keys pressed while the menu was drawn were kept; those this menu
    // binds are handled now, the others go.
    for (int k = 1; k <= 4; ++k) rt.key_trap(k, k <= g.item_count() ? Trap::On : Trap::Off);
    rt.key_trap(kPointsKey, Trap::Off);
    rt.key_trap(5, Trap::On);

    text_at(rt, 3, 22, g.prompt, kBlue);
}

// ---- the state machine -----------------------------------------------------

// The job's name for the main menu, or nothing when there is no job: in
// script mode only MARULA_JOB names one. A job that cannot be opened is
// said once on the prompt row and the menu goes on as without a job.
std::optional<std::string> job_name(Runtime& rt, const Session& session) {
    if (!session.job()) {
        if (session.chosen_folder() && !session.open_message().empty()) rt.say(session.open_message());
        return std::nullopt;
    }
    return session.job()->display_name();
}

class Launcher {
public:
    Launcher(Runtime& rt, Session& session) : rt_(rt), session_(session) {}

    [[noreturn]] void run() {
        play_opening(rt_);
        job_name_ = job_name(rt_, session_);
        enter_main_menu();
        for (;;) {
            if (sub_group_) {
                if (auto ev = rt_.wait_event()) handle(*ev);
                continue;
            }
            // The eyes change at every slice the user lets pass.
            auto ev = rt_.wait_event(10);
            if (!ev) {
                eyes_shut_ = !eyes_shut_;
                draw_eyes(rt_, eyes_shut_);
                continue;
            }
            handle(*ev);
        }
    }

private:
    // The menu as this start shows it: with a job, the stake-out too.
    const Menu& menu() const { return groups(job_name_.has_value()); }

    void enter_main_menu() {
        sub_group_.reset();
        draw_main_menu(rt_, job_name_);
        eyes_shut_ = true;
        draw_eyes(rt_, eyes_shut_);
    }

    void handle(const Event& ev) {
        if (ev.type == Event::Type::DoubleClick) {
            if (auto choice = item_at(menu(), rt_.mouse_x(), rt_.mouse_y())) choose_by_click(*choice);
            return;
        }
        if (!sub_group_) {
            if (ev.key == kPointsKey && job_name_) {
                start_points();
                return;
            }
            if (ev.key >= 1 && ev.key <= 4) {
                hold_keys();
                sub_group_ = ev.key - 1;
                draw_sub_menu(rt_, *sub_group_, job_name_.has_value());
            }
            return;
        }
        if (ev.key == 5) {
            hold_keys();
            return_to_main_menu();
            return;
        }
        const Group& g = menu()[*sub_group_];
        if (ev.key >= 1 && ev.key <= g.item_count()) choose_by_key({*sub_group_, ev.key - 1});
    }

    void return_to_main_menu() {
        white_out(rt_, {12, 90, 450, 431});
        // The sub-menu's prompt reaches past the white box.
        blank_prompt_row(rt_, 22);
        enter_main_menu();
    }

    // While a menu is wiped and drawn its keys are stopped, not switched
    // off: a key pressed meanwhile is handled once the menu stands.
    void hold_keys() {
        for (int k = 1; k <= kPointsKey; ++k) rt_.key_trap(k, Trap::Stop);
    }

    void choose_by_key(Choice c) {
        const Group& g = menu()[c.group];
        Rect row{314, g.item_top(c.item), g.frame_right + 3, g.item_top(c.item) + 18};
        clear_text(rt_, row);
        wipe_inward(rt_, row, 20, 1, kWhite, 5);
        start(c);
    }

    void choose_by_click(Choice c) {
        const Group& g = menu()[c.group];
        Rect frame = item_frame(g, c.item);
        white_out(rt_, {frame.x1, frame.y1, frame.x2, frame.y2});
        rt_.fill_box(frame.x1, frame.y1, frame.x2, frame.y2, kMagenta);
        text_at(rt_, 46, g.item_row(c.item), g.items[c.item].click_label, kBlue);
        rt_.wait(70);
        start(c);
    }

    // The point list's key box sinks away as a chosen item does; when the
    // program cannot be started the bar is drawn again.
    void start_points() {
        Rect r = kPointsKeyBox;
        clear_text(rt_, r);
        wipe_inward(rt_, r, 20, 1, kWhite, 5);
        rt_.run(kPointsProgram);
        enter_main_menu();
    }

    // RUN returns only when the program could not be started; the runtime
    // has told the user so, and the item is put back as it stood.
    void start(Choice c) {
        const Group& g = menu()[c.group];
        rt_.run(g.items[c.item].program);
        Rect row{314, g.item_top(c.item), g.frame_right + 3, g.item_top(c.item) + 18};
        if (!sub_group_ || *sub_group_ == c.group) {
            white_out(rt_, row);
            draw_item(rt_, g, c.item, sub_group_.has_value());
        } else {
            // An item of a wiped group: it goes back under the yellow lines.
            clear_text(rt_, row);
            rt_.fill_box(row.x1, row.y1, row.x2, row.y2, kWhite);
            for (int y = row.y1; y <= row.y2; ++y)
                if ((y - row.y1) % 2 == 0) rt_.line(row.x1, y, row.x2, y, kYellow);
        }
    }

    Runtime& rt_;
    std::optional<int> sub_group_;  // the group whose sub-menu is shown
    Session& session_;
    std::optional<std::string> job_name_;  // the job's name; none without a job
    bool eyes_shut_ = true;
};

}  // namespace

void run_launcher(Runtime& rt, Session& session) { Launcher(rt, session).run(); }

}  // namespace marula
