// The launcher driven in script mode: what each menu shows, which program
// each key and each double-click starts, and what must start nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "job/job.h"
#include "base/format.h"
#include "script_run.h"

namespace marula::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> runs(const ScriptResult& r) { return r.events_starting("run "); }

struct Text {
    int row, column;
    std::string text;
    char color;  // of its first non-blank cell
};

void expect_texts(const ScriptResult& r, const std::string& snap, const std::vector<Text>& expected) {
    auto colors = r.colors(snap);
    for (const auto& t : expected) {
        EXPECT_EQ(r.cells(snap, t.row, t.column, display_width(t.text)), t.text)
            << snap << " row " << t.row << " column " << t.column;
        int first = t.column + int(t.text.find_first_not_of(' '));
        EXPECT_EQ(colors[t.row][first], t.color) << snap << " row " << t.row << " column " << first;
    }
}

TEST(Launcher, OpeningShowsTheMainMenuWithBothPictures) {
    auto r = run_script("marula", {});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    ASSERT_FALSE(r.events.empty());
    EXPECT_EQ(r.events.front(), "start marula");
    EXPECT_EQ(r.events.back(), "idle");
    // A missing or unreadable picture is logged as an error.
    EXPECT_EQ(r.events_starting("error"), std::vector<std::string>{});
    expect_texts(r, "final",
                 {
                     {22, 65, " Marula登場！", '7'},
                     {6, 15, " Ｆ１ ", '0'},
                     {6, 23, "ﾄﾗﾊﾞ-ｽ計算", '0'},
                     {11, 23, " 交点計算", '1'},
                     {15, 23, " 逆 計 算 ", '0'},
                     {18, 15, " Ｆ４ ", '0'},
                     {18, 23, " 各種計算 ", '1'},
                     {5, 39, " Ｆ１ ", '0'},
                     {5, 46, " 結　合 ", '1'},
                     {8, 46, " 放　射 ", '1'},
                     {10, 46, " 2点2方向 ", '1'},
                     {13, 39, " Ｆ４ ", '0'},
                     {13, 46, " ３点垂線 ", '1'},
                     {16, 46, " 放射逆算 ", '1'},
                     {19, 46, " 隅切計算 ", '1'},
                     {7, 60, "マウス選択では", '2'},
                     {8, 60, "水色枠を", '5'},
                     {9, 60, "左ﾀﾞﾌﾞﾙｸﾘｯｸ", '1'},
                     {21, 1, "キ－ボ－ド選択では", '2'},
                     {22, 1, "Ｆ１、Ｆ２、Ｆ３、Ｆ４キ－のいずれかを押して下さい。", '1'},
                     {23, 2, "F1 ﾄﾗﾊﾞ- ", '0'},
                     {23, 13, "F2 交 点", '0'},
                     {23, 24, "F3 逆計算", '0'},
                     {23, 35, "F4 各 種", '0'},
                 });
}

struct SubMenu {
    std::string key;
    std::vector<std::string> programs;  // started by F1, F2, ...
    std::vector<Text> texts;
    std::vector<int> wiped_rows;  // rows of the other groups, blank in columns 15-56
};

const std::vector<SubMenu> kSubMenus = {
    {"F1",
     {"linktrav", "looptrav", "opentrav", "radtrav"},
     {{6, 15, " Ｆ１ ", '7'},
      {6, 23, "ﾄﾗﾊﾞ-ｽ計算", '7'},
      {5, 46, " 結　合 ", '1'},
      {7, 46, " 連　続 ", '1'},
      {22, 3, "【Ｆ１～Ｆ５キ－を押してください　】", '1'},
      {23, 2, "F1 結 合", '0'},
      {23, 35, "F4 放 射", '0'},
      {23, 46, "F5初期画面", '0'},
      {21, 1, "キ－ボ－ド選択では", '2'}},
     {10, 11, 12, 13, 15, 16, 18, 19}},
    {"F2",
     {"isect2d", "isect1d", "isect4p", "perpfoot"},
     {{11, 15, " Ｆ２ ", '7'},
      {11, 23, " 交点計算", '7'},
      {10, 39, " Ｆ１ ", '0'},
      {10, 46, " 2点2方交 ", '1'},
      {11, 46, " 3点1方交 ", '1'},
      {12, 46, " ４点交点 ", '1'},
      {13, 46, " ３点垂線 ", '1'},
      {22, 3, "【Ｆ１～Ｆ５キ－を押してください】", '1'},
      {23, 2, "F1 2点2方", '0'},
      {23, 24, "F3 4点交点", '0'},
      {23, 46, "F5初期画面", '0'}},
     {5, 6, 7, 8, 15, 16, 18, 19}},
    {"F3",
     {"invchain", "invradial"},
     {{15, 15, " Ｆ３ ", '7'},
      {15, 46, " 連続逆算 ", '1'},
      {16, 46, " 放射逆算 ", '1'},
      {22, 3, "【Ｆ１、Ｆ２、またはＦ５キ－を押して下さい。】", '1'},
      {23, 2, "F1 連　続", '0'},
      {23, 13, "F2 放　射", '0'},
      {23, 46, "F5初期画面", '0'}},
     {5, 6, 7, 8, 10, 11, 12, 13, 18, 19, 21}},
    {"F4",
     {"coordarea", "cornercut"},
     {{18, 15, " Ｆ４ ", '7'},
      {18, 23, " 各種計算 ", '7'},
      {18, 46, " 座標面積 ", '1'},
      {19, 46, " 隅切計算 ", '1'},
      {22, 3, "【Ｆ１、Ｆ２、またはＦ５キ－を押して下さい。】", '1'},
      {23, 2, "F1 座  標", '0'},
      {23, 46, "F5初期画面", '0'}},
     {5, 6, 7, 8, 10, 11, 12, 13, 15, 16}},
};

TEST(Launcher, EachSubMenuShowsItsGroupAloneAndStartsItsItemsByKey) {
    for (const auto& menu : kSubMenus) {
        SCOPED_TRACE("group key " + menu.key);
        auto shown = run_script("marula", {"key " + menu.key, "snap s"});
        ASSERT_EQ(shown.exit_status, 0) << shown.stderr_text;
        expect_texts(shown, "s", menu.texts);
        expect_texts(shown, "s", {{22, 65, " Marula登場！", '7'}});  // the name plate keeps its text
        for (int row : menu.wiped_rows)
            EXPECT_EQ(shown.cells("s", row, 15, 42), std::string(42, ' ')) << "row " << row;
        // A two-item group has no bar keys in positions 2 and 3.
        if (menu.programs.size() == 2) {
            EXPECT_EQ(shown.cells("s", 23, 24, 22), std::string(22, ' '));
        }

        for (size_t h = 0; h < menu.programs.size(); ++h) {
            auto r = run_script("marula", {"key " + menu.key, "key F" + std::to_string(h + 1)});
            EXPECT_EQ(runs(r), std::vector<std::string>{"run " + menu.programs[h]}) << "item F" << h + 1;
        }
    }
}

TEST(Launcher, IntersectionItemByKeyAfterASnapOfItsSubMenu) {
    auto r = run_script("marula", {"key F2", "snap s", "key F3"});
    EXPECT_EQ(r.cells("s", 12, 46, 10), " ４点交点 ");
    EXPECT_EQ(r.cells("s", 23, 24, 10), "F3 4点交点");
    EXPECT_TRUE(r.logged("run isect4p"));
}

// Keys a screen has not bound start nothing and change nothing; the keys it
// has bound still work afterwards.
TEST(Launcher, UnboundKeysDoNothing) {
    struct Case {
        std::vector<std::string> before, unbound, after;
        std::string program;
    };
    const std::vector<Case> cases = {
        {{}, {"F5", "F6", "F7", "F8", "Enter", "Escape"}, {"key F1", "key F1"}, "linktrav"},
        {{"key F3"}, {"F3", "F4", "F6", "F8"}, {"key F2"}, "invradial"},
        {{"key F4"}, {"F3", "F4", "F7"}, {"key F1"}, "coordarea"},
        {{"key F1"}, {"F6", "F7", "F8"}, {"key F4"}, "radtrav"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> script = c.before;
        script.push_back("snap before");
        for (const auto& k : c.unbound) script.push_back("key " + k);
        script.push_back("snap after");
        script.insert(script.end(), c.after.begin(), c.after.end());
        auto r = run_script("marula", script);
        SCOPED_TRACE(c.program);
        EXPECT_EQ(r.screen("after"), r.screen("before"));
        EXPECT_EQ(runs(r), std::vector<std::string>{"run " + c.program});
    }
}

TEST(Launcher, F5BringsBackTheMainMenu) {
    auto r = run_script("marula", {"snap main", "key F2", "key F5", "snap back", "key F3", "key F1"});
    EXPECT_EQ(r.screen("back"), r.screen("main"));
    EXPECT_EQ(runs(r), std::vector<std::string>{"run invchain"});
}

// Double-clicks: strictly inside an item's frame starts its program; edges,
// gaps and everything outside start nothing, change nothing and leave the
// menu working (the F4, F2 that follow such a click start cornercut).
TEST(Launcher, DoubleClickSelectsOnlyStrictlyInsideAFrame) {
    struct Click {
        int x, y;
        std::string program;  // empty: nothing
    };
    const std::vector<Click> clicks = {
        {400, 100, "linktrav"}, {400, 91, "linktrav"},  {400, 104, "linktrav"}, {371, 97, "linktrav"},
        {429, 97, "linktrav"},  {400, 90, ""},          {400, 105, ""},         {400, 107, ""},
        {370, 97, ""},          {430, 97, ""},          {440, 97, ""},          {400, 109, "looptrav"},
        {400, 130, "opentrav"}, {400, 150, "radtrav"},  {400, 159, ""},         {400, 170, ""},
        {440, 190, "isect2d"},  {445, 181, "isect2d"},  {446, 190, ""},         {400, 180, ""},
        {400, 210, "isect1d"},  {400, 230, "isect4p"},  {400, 248, "perpfoot"}, {400, 249, ""},
        {400, 280, "invchain"}, {400, 286, ""},         {400, 300, "invradial"},{400, 303, ""},
        {400, 330, "coordarea"},{400, 350, "cornercut"},{400, 357, ""},         {330, 100, ""},
        {200, 115, ""},         {566, 340, ""},         {600, 420, ""},         {0, 0, ""},
    };
    for (const auto& c : clicks) {
        std::string where = std::to_string(c.x) + " " + std::to_string(c.y);
        if (!c.program.empty()) {
            auto r = run_script("marula", {"dblclick " + where});
            EXPECT_EQ(runs(r), std::vector<std::string>{"run " + c.program}) << "double-click at " << where;
            continue;
        }
        auto r = run_script("marula", {"snap main", "dblclick " + where, "snap after", "key F4", "key F2"});
        EXPECT_EQ(runs(r), std::vector<std::string>{"run cornercut"}) << "double-click at " << where;
        EXPECT_EQ(r.screen("after"), r.screen("main")) << "double-click at " << where;
    }
}

TEST(Launcher, DoubleClickInASubMenuReachesWipedGroupsToo) {
    struct Case {
        std::string key;
        int x, y;
        std::string program;
    };
    const std::vector<Case> cases = {
        {"F2", 400, 100, "linktrav"}, {"F2", 400, 190, "isect2d"},   {"F1", 440, 352, "cornercut"},
        {"F3", 400, 226, "isect4p"},  {"F4", 400, 298, "invradial"}, {"F4", 400, 336, "coordarea"},
    };
    for (const auto& c : cases) {
        auto r = run_script("marula", {"key " + c.key, "dblclick " + std::to_string(c.x) + " " + std::to_string(c.y)});
        EXPECT_EQ(runs(r), std::vector<std::string>{"run " + c.program}) << c.key << " " << c.x << "," << c.y;
    }
    // A click on nothing in a sub-menu leaves its keys bound.
    auto r = run_script("marula", {"key F3", "dblclick 400 90", "key F2"});
    EXPECT_EQ(runs(r), std::vector<std::string>{"run invradial"});
}

// A program that cannot be started is reported, and the launcher stays
// usable: here the launcher runs alone in a folder without its siblings.
TEST(Launcher, KeepsWorkingWhenAProgramIsMissing) {
    const char* bin = std::getenv("MARULA_BIN");
    ASSERT_NE(bin, nullptr);
    fs::path alone = fs::temp_directory_path() / ("marula-alone-" + std::to_string(::getpid()));
    fs::create_directories(alone);
    // The launcher with its font module (the shared glyph cache may lack
    // glyphs it needs), its pictures, and none of the programs.
    for (const char* file : {"marula", "libmarula_glyphs.so"})
        fs::copy_file(fs::path(bin) / file, alone / file, fs::copy_options::overwrite_existing);
    for (const char* picture : {"Marula１.bmp", "Marula文字.bmp"})
        fs::copy_file(fs::path(bin) / fs::u8path(picture), alone / fs::u8path(picture),
                      fs::copy_options::overwrite_existing);

    auto r = run_script((alone / "marula").string(),
                        {"snap main", "dblclick 400 100", "snap clicked", "key F2", "key F4", "snap sub",
                         "key F5", "snap back"});
    fs::remove_all(alone);
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(runs(r), (std::vector<std::string>{"run linktrav", "run perpfoot"}));
    EXPECT_EQ(r.events_starting("error program not found").size(), 2u);
    // The clicked item and the keyed item are put back as they stood.
    EXPECT_EQ(r.screen("clicked"), r.screen("main"));
    EXPECT_EQ(r.cells("sub", 13, 39, 17), " Ｆ４   ３点垂線 ");
    EXPECT_EQ(r.screen("back"), r.screen("main"));
}

TEST(Launcher, StaysWithItsNoticeWhenAProgramCannotBeStarted) {
    const char* bin = std::getenv("MARULA_BIN");
    ASSERT_NE(bin, nullptr);
    fs::path alone = fs::temp_directory_path() / ("marula-unstartable-" + std::to_string(::getpid()));
    fs::remove_all(alone);
    fs::create_directories(alone);
    for (const char* file : {"marula", "libmarula_glyphs.so"})
        fs::copy_file(fs::path(bin) / file, alone / file, fs::copy_options::overwrite_existing);
    // An empty file that may be executed, a folder, and a text file.
    { std::ofstream(alone / "linktrav"); }
    fs::permissions(alone / "linktrav", fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directories(alone / "looptrav");
    { std::ofstream(alone / "opentrav") << "not a program\n"; }
    fs::permissions(alone / "opentrav", fs::perms::owner_all);

    auto r = run_script((alone / "marula").string(),
                        {"key F1", "key F1", "key F2", "key F3", "snap sub", "key F5", "snap back"});
    fs::remove_all(alone);
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(runs(r), (std::vector<std::string>{"run linktrav", "run looptrav", "run opentrav"}));
    EXPECT_EQ(r.events_starting("error program cannot be started").size(), 3u);
    EXPECT_EQ(r.stderr_text, "");
    EXPECT_NE(r.row("back", 6).find("ﾄﾗﾊﾞ-ｽ計算"), std::string::npos) << r.row("back", 6);
    EXPECT_TRUE(r.logged("idle"));
}

// A job in a temporary folder, named and holding two points; MARULA_JOB
// names it to the launcher and to the program it starts.
class TemporaryJob {
public:
    TemporaryJob() {
        std::string pattern = (fs::temp_directory_path() / "marula-launcher-job-XXXXXX").string();
        if (::mkdtemp(pattern.data())) root_ = pattern;
        auto opened = job::open_job(folder());
        EXPECT_TRUE(opened.job) << opened.message;
        if (!opened.job) return;
        const job::Origin origin{"launcher_test", "test"};
        EXPECT_TRUE(opened.job->set_header({"神南一丁目境界確定", 9}, origin).ok());
        EXPECT_TRUE(opened.job->add({0, "T1", -36012345, -8123456, 35120}, origin).ok());
        EXPECT_TRUE(opened.job->add({0, "境界①", -36058004, -8110917, std::nullopt}, origin).ok());
    }
    ~TemporaryJob() {
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }
    fs::path folder() const { return root_ / "job"; }
    std::vector<std::string> env() const {
        return {"MARULA_JOB=" + folder().string(), "HOME=" + root_.string(), "XDG_DATA_HOME=" + (root_ / "data").string(),
                "XDG_CONFIG_HOME=" + (root_ / "config").string()};
    }

private:
    fs::path root_;
};

TEST(Launcher, WithAJobTheMainMenuNamesItAndF6StartsThePointList) {
    TemporaryJob job;
    auto r = run_script("marula", {"snap main", "key F6", "snap points"}, job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    expect_texts(r, "main",
                 {
                     {2, 50, "現場：", '2'},
                     {2, 56, "神南一丁目境界確定", '1'},
                     {23, 46, "F6 座標管理", '0'},
                     {23, 2, "F1 ﾄﾗﾊﾞ- ", '0'},
                     {23, 35, "F4 各 種", '0'},
                     {22, 1, "Ｆ１、Ｆ２、Ｆ３、Ｆ４キ－のいずれかを押して下さい。", '1'},
                 });
    EXPECT_EQ(runs(r), std::vector<std::string>{"run points"});
    // The point list carries on with the script: the job's points on its first screen.
    EXPECT_TRUE(r.logged("start points"));
    EXPECT_NE(r.row("points", 0).find("現場：神南一丁目境界確定"), std::string::npos) << r.row("points", 0);
    EXPECT_EQ(r.row("points", 3), "     1 T1                      -36012.345     -8123.456        35.120");
    EXPECT_EQ(r.row("points", 4), "     2 境界①                  -36058.004     -8110.917");
}

// A job that cannot be opened (a job.db that is not ours) is said once and
// the menu is the one without a job: no name, no F6, the file untouched.
TEST(Launcher, AJobThatCannotBeOpenedLeavesTheMenuAsWithout) {
    TemporaryJob job;
    const fs::path foreign = job.folder().parent_path() / "foreign";
    fs::create_directories(foreign);
    { std::ofstream(foreign / "job.db") << "notes\n"; }
    std::vector<std::string> env = job.env();
    env[0] = "MARULA_JOB=" + foreign.string();
    auto with = run_script("marula", {"snap main", "key F6", "snap after"}, env);
    auto without = run_script("marula", {"snap main"});
    ASSERT_EQ(with.exit_status, 0) << with.stderr_text;
    EXPECT_EQ(with.screen("main"), without.screen("main"));
    EXPECT_EQ(with.screen("after"), without.screen("main"));
    EXPECT_EQ(runs(with), std::vector<std::string>{});
    EXPECT_EQ(read_all(foreign / "job.db"), "notes\n");
}

// The main menu's F6 is bound only there: in a sub-menu it does nothing, and
// F5 pressed twice (a return and one more) starts nothing.
TEST(Launcher, WithAJobF6IsOnlyOnTheMainMenuAndADoubleF5StartsNothing) {
    TemporaryJob job;
    struct Case {
        std::vector<std::string> script;
        std::vector<std::string> runs;
    };
    const std::vector<Case> cases = {
        {{"key F1", "key F5", "key F5", "snap back", "key F5", "key F5"}, {}},
        {{"key F2", "key F6", "key F5", "key F5", "key F6"}, {"run points"}},
        {{"key F3", "key F6", "key F6", "key F2"}, {"run invradial"}},
        {{"key F5", "key F5", "key F7", "key F8", "key F4", "key F1"}, {"run coordarea"}},
    };
    for (const auto& c : cases) {
        auto r = run_script("marula", c.script, job.env());
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(runs(r), c.runs) << c.script.front() << " " << c.script[1];
    }
    // Back from a sub-menu the main menu is the job's own again, F6 included.
    auto r = run_script("marula", {"snap main", "key F4", "key F5", "snap back"}, job.env());
    EXPECT_EQ(r.screen("back"), r.screen("main"));
}

}  // namespace
}  // namespace marula::test
