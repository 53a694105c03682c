// The point list (座標管理) driven through the real program in script mode,
// over a real job database in a temporary folder. MARULA_KEEP_OUT=1 keeps
// the dumps and printed pages of a failing case.
#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "job/import.h"
#include "job/job.h"
#include "job/settings.h"
#include "job/parcels.h"
#include "damaged_job.h"
#include "script_run.h"
#include "survey/angle_text.h"

namespace marula {
namespace {

using namespace test;
namespace fs = std::filesystem;

fs::path samples_dir() { return fs::path(MARULA_SAMPLES_DIR); }

std::string bytes_of(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A temporary folder with a home, a data folder and a job in it; removed at
// the end of the test.
class Workspace {
public:
    Workspace() {
        std::string pattern = (fs::temp_directory_path() / "marula-points-test-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
        fs::create_directories(home());
        fs::create_directories(data());
    }
    ~Workspace() {
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }
    fs::path home() const { return root_ / "home"; }
    fs::path data() const { return root_ / "data"; }
    fs::path job_folder() const { return data() / "marula" / "jobs" / "job"; }

    // The job opened through the library (made when missing).
    std::unique_ptr<job::Job> job(const fs::path& folder) const {
        auto opened = job::open_job(folder);
        EXPECT_TRUE(opened.job) << opened.message;
        return std::move(opened.job);
    }
    std::unique_ptr<job::Job> job() const { return job(job_folder()); }

    // The environment of a run: this job, this home, this data folder.
    std::vector<std::string> env(bool with_job = true) const {
        std::vector<std::string> e{"HOME=" + home().string(), "XDG_DATA_HOME=" + data().string(),
                                   "XDG_CONFIG_HOME=" + (root_ / "config").string()};
        if (with_job) e.push_back("MARULA_JOB=" + job_folder().string());
        return e;
    }

private:
    fs::path root_;
};

job::Point point(std::string name, job::Millimetres x, job::Millimetres y, std::optional<job::Millimetres> h = {}) {
    job::Point p;
    p.name = std::move(name);
    p.x = x;
    p.y = y;
    p.h = h;
    return p;
}

const job::Origin kTestOrigin{"points_test", "test"};
const job::ImportRequest kSima{job::FileFormat::sima, std::nullopt, std::nullopt, std::nullopt};

// A job of `n` points P1 … Pn at (i, 2i), H only on the even ones.
void fill(job::Job& j, int n) {
    std::string file;
    for (int i = 1; i <= n; ++i) {
        const auto p = point("P" + std::to_string(i), i * 1000, i * 2000);
        file += "A01," + std::to_string(i) + "," + p.name + "," + job::format_metres(p.x) + "," +
                job::format_metres(p.y) + "," + (i % 2 == 0 ? job::format_metres(i * 100) : "") + ",\r\n";
    }
    ASSERT_TRUE(job::import_bytes(j, file, kSima, job::OnConflict::keep, kTestOrigin).result.ok());
    ASSERT_EQ(j.count().value, n);
}

// Point rows stand on text rows 3-21: number, name, X, Y, H.
std::string number_cell(const ScriptResult& r, std::string_view snap, int row) { return r.cells(snap, row, 0, 6); }
std::string name_cell(const ScriptResult& r, std::string_view snap, int row) { return r.cells(snap, row, 7, 20); }
std::string status(const ScriptResult& r, std::string_view snap) { return r.row(snap, 22); }
constexpr int kNameColumnForTest = 7;

TEST(Points, PagesOfNineteenPointsForwardAndBack) {
    Workspace w;
    fill(*w.job(), 45);
    auto r = run_script("points",
                        {"snap p1", "key F6", "snap p2", "key F6", "snap p3", "key F6", "snap p3again", "key F5",
                         "key F5", "snap back", "key F5", "snap still"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("p1", 3), "     1 P1                           1.000         2.000");
    EXPECT_EQ(r.row("p1", 4), "     2 P2                           2.000         4.000         0.200");
    EXPECT_EQ(number_cell(r, "p1", 21), "    19");
    EXPECT_NE(status(r, "p1").find("頁 1/3　全45点"), std::string::npos) << status(r, "p1");
    EXPECT_EQ(name_cell(r, "p2", 3), "P20                 ");
    EXPECT_EQ(name_cell(r, "p3", 3), "P39                 ");
    EXPECT_EQ(name_cell(r, "p3", 9), "P45                 ");
    EXPECT_EQ(r.row("p3", 10), "");  // the last page ends where the points end
    EXPECT_NE(status(r, "p3").find("頁 3/3"), std::string::npos);
    // Past either end the page stays and the key beeps.
    EXPECT_EQ(r.screen("p3again"), r.screen("p3"));
    EXPECT_EQ(r.screen("back"), r.screen("p1"));
    EXPECT_EQ(r.screen("still"), r.screen("p1"));
    EXPECT_EQ(r.events_starting("beep").size(), 2u);
}

// Pages are read by key: a page is the nineteen points numbered after the
// last one shown, so a gap in the numbers (a point deleted before the run,
// or one deleted on the page shown) moves nothing, and the ends beep.
TEST(Points, PagesByKeyStepOverDeletedPointsAndStopAtTheEnds) {
    Workspace w;
    {
        auto j = w.job();
        fill(*j, 45);
        ASSERT_TRUE(j->remove("P20", kTestOrigin).ok());
    }
    auto r = run_script("points",
                        {"key F6", "snap p2", "key F3", "type 25", "type Y", "snap deleted", "key F6", "snap p3",
                         "key F6", "key F5", "snap p2again", "key F5", "snap p1", "key F5"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(name_cell(r, "p2", 3), "P21                 ");
    EXPECT_EQ(name_cell(r, "p2", 21), "P39                 ");
    // The page shown stays where it was, less the point deleted.
    EXPECT_EQ(name_cell(r, "deleted", 3), "P21                 ");
    EXPECT_EQ(name_cell(r, "deleted", 7), "P26                 ");
    EXPECT_EQ(name_cell(r, "deleted", 21), "P40                 ");
    EXPECT_NE(status(r, "deleted").find("頁 2/3　全43点"), std::string::npos) << status(r, "deleted");
    EXPECT_EQ(name_cell(r, "p3", 3), "P41                 ");
    EXPECT_EQ(name_cell(r, "p3", 7), "P45                 ");
    EXPECT_EQ(r.row("p3", 8), "");
    EXPECT_NE(status(r, "p3").find("頁 3/3"), std::string::npos) << status(r, "p3");
    for (int row = 3; row <= 21; ++row) EXPECT_EQ(r.row("p2again", row), r.row("deleted", row)) << row;
    EXPECT_EQ(name_cell(r, "p1", 3), "P1                  ");
    EXPECT_EQ(name_cell(r, "p1", 21), "P19                 ");
    EXPECT_NE(status(r, "p1").find("頁 1/3"), std::string::npos) << status(r, "p1");
    EXPECT_EQ(r.events_starting("beep").size(), 2u);  // past the last page, and before the first
}

// A name or a number typed at the list shows the page holding that point,
// its row marked; a stored name wins over a number, and one the job lacks
// gets a notice.
TEST(Points, ATypedNameOrNumberShowsItsPage) {
    struct Case {
        const char* what;
        std::string typed;
        std::string page;  // on the status row
        int row;           // of the point, marked
        std::string name;
    } const cases[] = {
        {"by number", "type 30", "頁 2/3", 13, "P30"},
        {"by name", "type P41", "頁 3/3", 5, "P41"},
        {"a name of digits first", "type 5", "頁 3/3", 4, "5"},
        {"full-width digits", "type ４", "頁 1/3", 6, "P4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace w;
        {
            auto j = w.job();
            fill(*j, 45);
            ASSERT_TRUE(j->rename("P40", "5", kTestOrigin).ok());
        }
        auto r = run_script("points", {c.typed, "snap shown"}, w.env());
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_NE(status(r, "shown").find(c.page), std::string::npos) << status(r, "shown");
        EXPECT_EQ(name_cell(r, "shown", c.row), c.name + std::string(20 - c.name.size(), ' '));
        EXPECT_EQ(r.colors("shown")[c.row][kNameColumnForTest], 'c');
        EXPECT_NE(r.colors("shown")[c.row + 1][kNameColumnForTest], 'c');
    }
    Workspace w;
    fill(*w.job(), 25);
    auto r = run_script("points", {"type Q9", "snap unknown", "key F6", "snap after"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    ASSERT_EQ(r.events_starting("notice").size(), 1u);
    EXPECT_NE(r.events_starting("notice")[0].find("Q9"), std::string::npos) << r.events_starting("notice")[0];
    EXPECT_EQ(name_cell(r, "unknown", 3), "P1                  ");
    EXPECT_EQ(name_cell(r, "after", 3), "P20                 ");  // the keys work again after the question
}

TEST(Points, CorrectionChangesOnlyWhatIsTyped) {
    struct Case {
        const char* what;
        Lines answers;  // name, X, Y, H
        job::Point expected;
    } const cases[] = {
        {"all kept", {"key Enter", "key Enter", "key Enter", "key Enter"}, point("P2", 2000, 4000, 200)},
        {"renamed, Y moved, H removed", {"type 境界２", "key Enter", "type -8123.456", "type ＊"},
         point("境界２", 2000, -8123456)},
        {"X in full-width digits, H given", {"key Enter", "type －３６０１２．３４５", "key Enter", "type 35.12"},
         point("P2", -36012345, 4000, 35120)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace w;
        fill(*w.job(), 3);
        auto r = run_script("points", Lines{"key F1", "type 2"} + c.answers + Lines{"snap after"}, w.env());
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        auto stored = w.job()->find_number(2).value;
        ASSERT_TRUE(stored);
        job::Point expected = c.expected;
        expected.number = 2;
        EXPECT_EQ(*stored, expected);
        EXPECT_EQ(w.job()->count().value, 3);
        EXPECT_EQ(name_cell(r, "after", 4), r.cells("after", 4, 7, 20));
        EXPECT_EQ(r.cells("after", 4, 7, 20).substr(0, expected.name.size()), expected.name);
    }
}

TEST(Points, CorrectionRefusesATakenNameAndAMissingNumber) {
    Workspace w;
    fill(*w.job(), 3);
    // 9 is no point's number; P3 is taken; then the name stays and nothing moves.
    auto r = run_script("points",
                        {"key F1", "type 9", "type 2", "type P3", "snap refused", "key Enter", "key Enter",
                         "key Enter", "key Enter", "snap after"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(w.job()->find_number(2).value->name, "P2");
    EXPECT_EQ(w.job()->find_number(3).value->name, "P3");
    EXPECT_EQ(r.events_starting("beep").size(), 2u);  // one notice for each refusal
}

TEST(Points, DeleteAsksFirstAndNoKeepsThePoint) {
    Workspace w;
    fill(*w.job(), 4);
    auto r = run_script("points",
                        {"key F3", "type 3", "snap asked", "type N", "snap kept", "key F3", "type 3", "type Y",
                         "snap deleted", "key F2", "type P3", "type 7", "type 8", "key Enter", "snap added"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_NE(r.row("asked", 23).find("番号3「P3」を削除しますか"), std::string::npos) << r.row("asked", 23);
    EXPECT_EQ(name_cell(r, "kept", 5), "P3                  ");
    EXPECT_EQ(number_cell(r, "deleted", 5), "     4");
    EXPECT_EQ(name_cell(r, "deleted", 5), "P4                  ");
    // A number is never given again: the point added after gets 5, not 3.
    EXPECT_EQ(r.row("added", 6), "     5 P3                           7.000         8.000");
    auto j = w.job();
    EXPECT_EQ(j->count().value, 4);
    EXPECT_FALSE(j->find_number(3).value);
    EXPECT_EQ(j->find("P3").value->number, 5);
}

// The job of the samples: store_before.sim imported into a job named
// 神南一丁目境界確定, zone 9; s01_cad_standard.sim offered in its folder.
void prepare_store(const Workspace& w) {
    auto j = w.job();
    ASSERT_TRUE(j->set_header({"神南一丁目境界確定", 9}, kTestOrigin).ok());
    ASSERT_TRUE(job::import_bytes(*j, bytes_of(samples_dir() / "store_before.sim"), kSima, job::OnConflict::keep,
                                  {"points_test", "store_before.sim"})
                    .result.ok());
    fs::copy_file(samples_dir() / "s01_cad_standard.sim", w.job_folder() / "s01_cad_standard.sim");
}

// The job's points against a sample file's, number by number.
void expect_store_is(const Workspace& w, const std::string& sample) {
    auto expected = job::read_sima(bytes_of(samples_dir() / sample));
    ASSERT_TRUE(expected.ok());
    auto stored = w.job()->points().value;
    ASSERT_EQ(stored.size(), expected.file.points.size()) << sample;
    for (std::size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(stored[i], expected.file.points[i].point) << sample;
}

TEST(Points, ImportWithAConflictKeptReplacedOrCancelled) {
    struct Case {
        const char* what;
        Lines choice;
        std::string expected;
        std::string status;
    } const cases[] = {
        {"keep by default", {"key Enter", "type Y"}, "store_after_keep.sim", "読込：新規5 標高追加1 置換0 残す1"},
        {"keep", {"type 1", "type Y"}, "store_after_keep.sim", "読込：新規5 標高追加1 置換0 残す1"},
        {"replace", {"type 2", "type y"}, "store_after_replace.sim", "読込：新規5 標高追加1 置換1 残す0"},
        {"cancel", {"type 3"}, "store_before.sim", "読込を中止しました。何も取り込んでいません。"},
        {"not confirmed", {"type 2", "type N"}, "store_before.sim", "読込を中止しました。何も取り込んでいません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace w;
        prepare_store(w);
        auto r = run_script("points",
                            Lines{"key F7", "key F1", "snap files", "type 1", "snap preview"} + c.choice +
                                Lines{"snap after"},
                            w.env());
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.cells("files", 4, 0, 4), "  1 ");
        EXPECT_NE(r.row("files", 4).find("s01_cad_standard.sim"), std::string::npos) << r.row("files", 4);
        const auto preview = r.screen("preview");
        EXPECT_TRUE(has_line(preview, " 新規            5点")) << preview[4];
        EXPECT_TRUE(has_line(preview, " 同一            2点"));
        EXPECT_TRUE(has_line(preview, " 標高の追加      1点"));
        EXPECT_TRUE(has_line(preview, " 競合            1点"));
        // Below the counts and the encoding: the point to replace, the one
        // given a height, then the ones to add.
        EXPECT_EQ(preview[9], " 文字コード      CP932（Eで読み直し）");
        EXPECT_EQ(preview[10], " 競合 T2                   6行");
        EXPECT_EQ(preview[11], "      登録済み   -36045.120     -8098.702        34.887");
        EXPECT_EQ(preview[12], "      ファイル   -36045.118     -8098.702        34.887");
        EXPECT_EQ(preview[13], " 標高 引照点A                -36001.990     -8177.315        36.004");
        EXPECT_TRUE(preview[14].starts_with(" 新規 ")) << preview[14];
        expect_store_is(w, c.expected);
        EXPECT_NE(status(r, "after").find(c.status), std::string::npos) << status(r, "after");
    }
}

// The preview of a file longer than a page: Enter shows the next page, Y
// answers on any page, N after the last; each point to add is listed.
TEST(Points, ALongPreviewIsPagedAndAnsweredOnAnyPage) {
    struct Case {
        const char* what;
        Lines answers;
        std::int64_t stored;
    } const cases[] = {
        {"yes on the second page", {"key Enter", "snap pg2", "type Y"}, 40},
        {"no after the last page", {"key Enter", "snap pg2", "key Enter", "snap pg3", "type N"}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace w;
        w.job();
        {
            std::ofstream out(w.job_folder() / "forty.sim", std::ios::binary);
            for (int i = 1; i <= 40; ++i) out << "A01," << i << ",N" << i << "," << i << ".000," << -i << ".000,\r\n";
        }
        auto r = run_script("points", Lines{"key F7", "key F1", "type 1", "snap pg1"} + c.answers, w.env());
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        const auto pg1 = r.screen("pg1");
        EXPECT_TRUE(has_line(pg1, " 新規           40点"));
        EXPECT_EQ(pg1[10], " 新規 N1                          1.000        -1.000");
        EXPECT_EQ(pg1[22], " 新規 N13                        13.000       -13.000");
        EXPECT_NE(pg1[23].find("次の頁はEnter"), std::string::npos) << pg1[23];
        EXPECT_EQ(r.row("pg2", 3), " 新規 N14                        14.000       -14.000");
        EXPECT_EQ(r.row("pg2", 22), " 新規 N33                        33.000       -33.000");
        if (r.has_snap("pg3")) {
            EXPECT_EQ(r.row("pg3", 9), " 新規 N40                        40.000       -40.000");
            EXPECT_EQ(r.row("pg3", 10), "");
        }
        EXPECT_EQ(w.job()->count().value, c.stored);
    }
}

// The offered files are regular files: a link (to a file, a FIFO or a
// device) is not listed, though a path typed to a file behind one is read.
TEST(Points, TheOfferedFilesAreRegularFilesNotLinks) {
    Workspace w;
    prepare_store(w);
    fs::create_symlink(w.job_folder() / "s01_cad_standard.sim", w.job_folder() / "a_link.sim");
    fs::create_symlink("/dev/zero", w.job_folder() / "b_zero.sim");
    auto r = run_script("points", {"key F7", "key F1", "snap files", "type b_zero.sim", "key Enter"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_NE(r.row("files", 4).find("s01_cad_standard.sim"), std::string::npos) << r.row("files", 4);
    for (const std::string& row : r.screen("files")) EXPECT_EQ(row.find("_link.sim"), std::string::npos) << row;
    for (const std::string& row : r.screen("files")) EXPECT_EQ(row.find("b_zero.sim"), std::string::npos) << row;
    const auto notices = r.events_starting("notice");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("通常のファイルではありません"), std::string::npos) << notices[0];
}

// The preview names the encoding it read the file in; E reads it again in
// the other and shows the preview again.
TEST(Points, ThePreviewNamesItsEncodingAndEReadsInTheOther) {
    Workspace w;
    w.job();
    fs::copy_file(samples_dir() / "s09_halfwidth_kana.sim", w.job_folder() / "s09.sim");
    auto r = run_script("points", {"key F7", "key F1", "type 1", "snap cp932", "type E", "snap utf8", "type Y"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("cp932", 9), " 文字コード      CP932（Eで読み直し）");
    EXPECT_TRUE(r.row("cp932", 10).starts_with(" 新規 ﾎｳ1 ")) << r.row("cp932", 10);
    EXPECT_EQ(r.row("utf8", 9), " 文字コード      UTF-8（Eで読み直し）");
    EXPECT_TRUE(r.row("utf8", 10).starts_with(" 新規 γ1 ")) << r.row("utf8", 10);
    auto j = w.job();
    EXPECT_EQ(j->count().value, 3);
    EXPECT_TRUE(j->find("γ1").value);
}

// The file is chosen by its number in the list or by a path: relative to
// the job's folder, from the home folder with "~/", or whole; blanks around
// an answer do not matter.
TEST(Points, AFileIsChosenByNumberOrPath) {
    struct Case {
        const char* what;
        std::string answer;
    } const cases[] = {
        {"number with blanks", "type 　1 "},
        {"relative to the job", "type s01_cad_standard.sim"},
        {"from home", "type ~/Downloads/s01.sim"},
        {"missing, then by number", "type nothing.sim"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace w;
        prepare_store(w);
        fs::create_directories(w.home() / "Downloads");
        fs::copy_file(samples_dir() / "s01_cad_standard.sim", w.home() / "Downloads" / "s01.sim");
        Lines keys{"key F7", "key F1", c.answer};
        const bool missing = c.answer == "type nothing.sim";
        if (missing) keys.push_back("type 1");
        keys.insert(keys.end(), {"type 1", "type Y"});
        auto r = run_script("points", keys, w.env());
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.events_starting("beep").size(), missing ? 1u : 0u);
        expect_store_is(w, "store_after_keep.sim");
    }
}

TEST(Points, ThePreviewWarnsOfAnotherZone) {
    Workspace w;
    prepare_store(w);
    ASSERT_TRUE(w.job()->set_header({"神南一丁目境界確定", 2}, kTestOrigin).ok());
    auto r = run_script("points", {"key F7", "key F1", "type 1", "snap preview", "type 3"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("preview", 10), " 注意：ファイルの座標系（9系）が現場の座標系（2系）と違います。");
    expect_store_is(w, "store_before.sim");
}

// Records that are no points are counted and named on the preview, the
// line wrapped rather than cut at the screen's edge.
TEST(Points, ThePreviewCountsSkippedRecordsInFull) {
    Workspace w;
    w.job();
    fs::copy_file(samples_dir() / "s05_lots_mixed.sim", w.job_folder() / "s05_lots_mixed.sim");
    auto r = run_script("points", {"key F7", "key F1", "type 1", "snap preview", "type Y"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const auto preview = r.screen("preview");
    EXPECT_TRUE(has_line(preview, " 新規            6点"));
    // The type-1 lot is a parcel; the type-2 line, its vertices and the
    // C03 records are skipped and counted.
    EXPECT_TRUE(has_line(preview, " 読み飛ばし      8件"));
    EXPECT_TRUE(has_line(preview, " 画地            1件（うち登録済み    0件）"));
    EXPECT_TRUE(has_line_containing(preview, "N_SKIPPED_RECORDS：座標以外のレコードを読み飛ばしました: B01×2 C03×5 D00×1"));
    EXPECT_EQ(w.job()->count().value, 6);
    auto j = w.job();
    const auto parcel = job::Parcels(j->database()).find("神南1-23").value;
    ASSERT_TRUE(parcel);
    std::vector<std::string> vertices;
    for (const job::Point& v : parcel->vertices) vertices.push_back(v.name);
    EXPECT_EQ(vertices, (std::vector<std::string>{"境界1", "境界2", "境界3", "境界4"}));
}

TEST(Points, ARefusedFileImportsNothingAndNamesItsLine) {
    Workspace w;
    prepare_store(w);
    fs::copy_file(samples_dir() / "m02_non_numeric_x.sim", w.home() / "m02_non_numeric_x.sim");
    // The home folder's files follow the job folder's.
    auto r = run_script("points", {"key F7", "key F1", "snap files", "type 2", "snap refused", "key Enter"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_NE(r.row("files", 5).find("m02_non_numeric_x.sim"), std::string::npos);
    EXPECT_TRUE(has_line(r.screen("refused"), " m02_non_numeric_x.sim:6: E_NOT_NUMBER")) << r.row("refused", 5);
    expect_store_is(w, "store_before.sim");
}

TEST(Points, ACsvWithoutHeaderIsReadInTheChosenColumnOrder) {
    Workspace w;
    w.job();
    fs::copy_file(samples_dir() / "c02_cp932_number_name_quoted.csv", w.job_folder() / "c02.csv");
    auto r = run_script("points",
                        {"key F7", "key F1", "type 1", "snap order", "type 2", "snap mapped", "type Y", "type Y",
                         "snap after"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_NE(r.row("mapped", 5).find("T1"), std::string::npos) << r.row("mapped", 5);
    EXPECT_NE(r.row("mapped", 5).find("-36012.345"), std::string::npos) << r.row("mapped", 5);
    auto j = w.job();
    ASSERT_EQ(j->count().value, 5);
    EXPECT_EQ(*j->find("12*").value, (job::Point{5, "12*", -36025000, -8140500, std::nullopt}));
}

TEST(Points, ExportWritesTheJobsFileIntoItsFolderAndNamesIt) {
    Workspace w;
    prepare_store(w);
    {
        ASSERT_TRUE(job::import_bytes(*w.job(), bytes_of(samples_dir() / "s01_cad_standard.sim"), kSima,
                                      job::OnConflict::keep, {"points_test", "s01"})
                        .result.ok());
    }
    fs::create_directories(w.home() / "usb");
    auto r = run_script("points",
                        {"key F7", "key F2", "type 1", "snap folder", "key Enter", "snap sima", "key F7", "key F2",
                         "type 2", "key Enter", "snap csv", "key F7", "key F2", "type 1", "key Enter", "snap again",
                         "key F7", "key F2", "type 1", "type ~/nowhere", "type ~/usb"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const fs::path sima = w.job_folder() / fs::path("神南一丁目境界確定.sim");
    const fs::path csv = w.job_folder() / fs::path("神南一丁目境界確定.csv");
    // The job's folder is offered, and Enter takes it.
    EXPECT_EQ(status(r, "folder"), " 現場のフォルダ：" + w.job_folder().string());
    EXPECT_EQ(r.row("folder", 23), "  書出先フォルダは（Enterで現場のフォルダ）");
    EXPECT_NE(status(r, "sima").find("書出：神南一丁目境界確定.sim"), std::string::npos) << status(r, "sima");
    // The file's name stands on the prompt row until the next key (the row
    // cuts the folder after it).
    EXPECT_TRUE(r.row("sima", 23).starts_with("書き出しました：神南一丁目境界確定.sim（/")) << r.row("sima", 23);
    EXPECT_TRUE(r.logged("notice 書き出しました：神南一丁目境界確定.sim（" + w.job_folder().string() + "）"));
    EXPECT_NE(status(r, "csv").find("書出：神南一丁目境界確定.csv"), std::string::npos) << status(r, "csv");
    EXPECT_EQ(bytes_of(csv), bytes_of(samples_dir() / "store_after_keep.csv"));
    auto back = job::read_sima(bytes_of(sima));
    ASSERT_TRUE(back.ok());
    auto expected = job::read_sima(bytes_of(samples_dir() / "store_after_keep.sim"));
    ASSERT_EQ(back.file.points.size(), expected.file.points.size());
    for (std::size_t i = 0; i < back.file.points.size(); ++i)
        EXPECT_EQ(back.file.points[i].point, expected.file.points[i].point);
    // A second export never overwrites the first.
    EXPECT_NE(status(r, "again").find("書出：神南一丁目境界確定_2.sim"), std::string::npos) << status(r, "again");
    EXPECT_EQ(bytes_of(w.job_folder() / fs::path("神南一丁目境界確定_2.sim")), bytes_of(sima));
    // A folder typed at the question (a USB stick): one that is not there is
    // said and asked again.
    EXPECT_TRUE(r.logged("notice フォルダがありません：" + (w.home() / "nowhere").string()));
    EXPECT_EQ(bytes_of(w.home() / "usb" / fs::path("神南一丁目境界確定.sim")), bytes_of(sima));
}

TEST(Points, ChangeOfJobToAListedOneAndToANewOne) {
    Workspace w;
    fill(*w.job(), 2);
    auto other = job::create_job({"別の現場", 2}, w.data() / "marula" / "jobs");
    ASSERT_TRUE(other.job) << other.message;
    ASSERT_TRUE(other.job->add(point("K1", 5000, 6000), kTestOrigin).ok());
    const fs::path other_folder = other.job->folder();
    other.job.reset();

    auto listed = job::list_jobs({w.data() / "marula" / "jobs"}, std::nullopt);
    ASSERT_EQ(listed.size(), 2u);
    const int other_index = listed[0].folder == other_folder ? 1 : 2;

    auto r = run_script("points",
                        {"snap first", "key F7", "key F3", "snap jobs", "type " + std::to_string(other_index),
                         "snap other", "key F7", "key F3", "type 0", "type 新しい境界", "type 9", "snap new"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(name_cell(r, "first", 3), "P1                  ");
    EXPECT_EQ(r.cells("jobs", 4, 0, 14), "  0 新しい現場");
    EXPECT_NE(r.row("jobs", 4 + other_index).find("別の現場"), std::string::npos);
    EXPECT_NE(r.row("other", 0).find("現場：別の現場　座標系：2系"), std::string::npos) << r.row("other", 0);
    EXPECT_EQ(r.row("other", 3), "     1 K1                           5.000         6.000");
    EXPECT_EQ(r.row("other", 4), "");
    EXPECT_NE(r.row("new", 0).find("現場：新しい境界　座標系：9系"), std::string::npos) << r.row("new", 0);
    EXPECT_NE(status(r, "new").find("全0点"), std::string::npos);
    auto after = job::list_jobs({w.data() / "marula" / "jobs"}, std::nullopt);
    ASSERT_EQ(after.size(), 3u);
    // In script mode the change holds for the run only: no current job is written.
    EXPECT_FALSE(fs::exists(fs::path(w.data()).parent_path() / "config" / "marula" / "current-job"));
}

// With a documents folder set, a new job is made under it in Marula/, the
// job already open stays in the data folder, 現場切替 lists both and
// 現場情報 names the new job's folder.
TEST(Points, ANewJobGoesUnderTheDocumentsFolderAndBothFoldersAreListed) {
    Workspace w;
    fs::create_directories(w.home().parent_path() / "config");
    std::ofstream(w.home().parent_path() / "config" / "user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/書類\"\n";
    const fs::path made = w.home() / "書類" / "Marula" / "新しい境界";
    auto r = run_script("points", {"key F7", "key F3", "type 0", "type 新しい境界", "type 9", "key F7", "key F6",
                                   "snap info", "key Enter", "key F7", "key F3", "snap jobs"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(fs::exists(made / "job.db"));
    EXPECT_TRUE(fs::exists(w.job_folder() / "job.db"));
    EXPECT_EQ(r.row("info", 5), " フォルダ：" + made.string());
    EXPECT_EQ(r.cells("jobs", 5, 0, 15) + r.cells("jobs", 6, 0, 8), "  1 新しい境界   2 job ");
}

TEST(Points, WithoutAJobSaysSoAndOffersTheMenu) {
    Workspace w;
    auto r = run_script("points", {"snap none", "key F1", "key F5", "snap still", "key F7"}, w.env(false));
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_NE(r.row("none", 8).find("現場が選ばれていないので"), std::string::npos) << r.row("none", 8);
    EXPECT_EQ(r.cells("none", 23, 60, 7), "F7 MENU");
    EXPECT_EQ(r.screen("still"), r.screen("none"));
    EXPECT_EQ(r.events_starting("run "), std::vector<std::string>{"run marula"});
    EXPECT_FALSE(fs::exists(w.data() / "marula"));  // nothing was made
}

// A job.db that is no database of ours is said, left byte for byte as it
// was, and the program goes on as without a job.
TEST(Points, AJobDatabaseNotOursIsLeftUntouched) {
    Workspace w;
    fs::create_directories(w.job_folder());
    const std::string foreign = "not a database, but somebody's notes\n";
    { std::ofstream(w.job_folder() / "job.db", std::ios::binary) << foreign; }
    auto r = run_script("points", {"snap none", "key F1", "key F2", "key F7"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_NE(r.row("none", 8).find("現場が選ばれていないので"), std::string::npos) << r.row("none", 8);
    EXPECT_NE(r.row("none", 10), "");  // the reason, in one line
    EXPECT_EQ(r.events_starting("run "), std::vector<std::string>{"run marula"});
    EXPECT_EQ(bytes_of(w.job_folder() / "job.db"), foreign);
}

// A job that refuses writes (through a library that fails the chosen
// opens and writes: the tests run as root) keeps every stored point: a
// read-only job offers its points and refuses changes before asking; a
// full disk at a correction is said and the point stays as it was.
TEST(Points, AJobThatCannotBeWrittenLosesNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> fault;
        bool read_only;
        Lines keys;
        int beeps;
    } const cases[] = {
        {"read-only", {"DISK_FAULT_CALL=open", "DISK_FAULT_PATH=job.db", "DISK_FAULT_ERRNO=EACCES"}, true,
         {"key F1", "key F2", "key F3", "snap after"}, 4},
        {"disk full", {"DISK_FAULT_CALL=write", "DISK_FAULT_PATH=job.db-wal"}, false,
         {"key F1", "type 2", "type T2X", "key Enter", "key Enter", "key Enter", "snap after"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Workspace w;
        fill(*w.job(), 3);
        const auto before = w.job()->points().value;
        auto env = w.env();
        env.insert(env.end(), c.fault.begin(), c.fault.end());
        env.push_back(std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS);
        // Under the sanitizers the preloaded library comes before their runtime.
        env.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
        auto r = run_script("points", Lines{"snap first"} + c.keys, env);
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(name_cell(r, "first", 4), "P2                  ");
        EXPECT_EQ(name_cell(r, "after", 4), "P2                  ");
        EXPECT_EQ(r.events_starting("beep").size(), std::size_t(c.beeps));
        EXPECT_EQ(r.row("first", 0).find("（読み取り専用）") != std::string::npos, c.read_only)
            << r.row("first", 0);
        EXPECT_EQ(w.job()->points().value, before);
    }
}

// The keys behind F7: F5 comes back to the list as it stood, F7 is the
// menu, F8 the end.
TEST(Points, TheSecondBarReturnsStartsTheMenuOrEnds) {
    Workspace w;
    fill(*w.job(), 2);
    auto back = run_script("points", {"snap list", "key F7", "snap other", "key F5", "snap back"}, w.env());
    ASSERT_EQ(back.exit_status, 0) << back.stderr_text;
    EXPECT_EQ(back.screen("back"), back.screen("list"));
    EXPECT_EQ(back.cells("other", 23, 0, 8), "F1 読 込");
    EXPECT_EQ(back.cells("other", 23, 20, 10), "F3現場切替");
    auto menu = run_script("points", {"key F7", "key F7"}, w.env());
    EXPECT_EQ(menu.events_starting("run "), std::vector<std::string>{"run marula"});
    auto end = run_script("points", {"key F7", "key F8"}, w.env());
    EXPECT_TRUE(end.logged("end"));
    EXPECT_NE(end.row("final", 15).find("お疲れさまでした。"), std::string::npos);
    EXPECT_EQ(w.job()->count().value, 2);
}

// 検査 shows the problems SQLite found in a damaged job, each line of its
// report on a row of its own (SQLite writes one problem over two lines).
TEST(Points, TheCheckShowsEachLineOfADamagedJobsReportOnItsOwnRow) {
    Workspace w;
    {
        auto j = w.job();
        fill(*j, 400);
    }
    test_support::garble_root_page(w.job_folder() / "job.db", "history_changes");
    auto r = run_script("points", {"key F7", "key F6", "type 4", "snap check"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const auto rows = r.screen("check");
    const auto database = std::find(rows.begin(), rows.end(), "  *** in database main ***");
    ASSERT_NE(database, rows.end()) << r.row("check", 5);
    ASSERT_NE(database + 1, rows.end());
    EXPECT_TRUE(database[1].starts_with("    Page ")) << database[1];
}

// 現場情報's entry 2 lists the parcels by name with their vertex counts and
// vertices, a page at a time, and goes back to the job's screen.
TEST(Points, TheJobsScreenListsItsParcels) {
    Workspace w;
    {
        auto j = w.job();
        fill(*j, 30);
        job::Parcels parcels(j->database());
        ASSERT_TRUE(parcels.put("L2", std::vector<std::string>{"P4", "P5", "P6"}, job::ParcelWrite::add, kTestOrigin).ok());
        for (int i = 1; i <= 19; ++i) {
            char name[8];
            std::snprintf(name, sizeof name, "A%02d", i);
            ASSERT_TRUE(parcels.put(name, std::vector<std::string>{"P1", "P2", "P3"}, job::ParcelWrite::add, kTestOrigin).ok());
        }
    }
    auto r = run_script("points", {"key F7", "key F6", "snap info", "type 2", "snap first", "key Enter", "snap second",
                                   "key Enter", "snap back"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const auto info = r.screen("info");
    EXPECT_NE(std::find(info.begin(), info.end(), "  2 画地（現場の画地の一覧）"), info.end());
    EXPECT_EQ(r.row("first", 3), " 画地の一覧（20件）");
    EXPECT_EQ(r.row("first", 4), " A01                    3点 P1 P2 P3");
    EXPECT_EQ(r.row("first", 21), " A18                    3点 P1 P2 P3");
    EXPECT_EQ(r.row("second", 4), " A19                    3点 P1 P2 P3");
    EXPECT_EQ(r.row("second", 5), " L2                     3点 P4 P5 P6");
    EXPECT_EQ(r.screen("back"), r.screen("info"));
}

// The menu that cannot be started (the program alone in a folder) leaves the
// list as it was and the job in use: a point added afterwards is stored.
TEST(Points, AMissingMenuLeavesTheJobOpen) {
    Workspace w;
    fill(*w.job(), 2);
    const char* bin = std::getenv("MARULA_BIN");
    ASSERT_NE(bin, nullptr);
    const fs::path alone = w.home() / "alone";
    fs::create_directories(alone);
    fs::copy_file(fs::path(bin) / "points", alone / "points");
    // The screen font's module goes along: this home has no glyph cache.
    fs::copy_file(fs::path(bin) / "libmarula_glyphs.so", alone / "libmarula_glyphs.so");
    auto r = run_script((alone / "points").string(),
                        {"snap before", "key F8", "snap after", "key F2", "type P3", "type 3", "type 6", "key Enter"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.events_starting("error program not found"), std::vector<std::string>{"error program not found: marula"});
    EXPECT_EQ(r.screen("after"), r.screen("before"));
    EXPECT_EQ(w.job()->find("P3").value->number, 3);
}

TEST(Points, PrintedListRunsOntoMorePagesWhenLong) {
    Workspace w;
    fill(*w.job(), 45);
    auto r = run_script("points", {"key F4", "snap printed"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.events_starting("print "), (std::vector<std::string>{"print print-1.pdf", "print print-2.pdf"}));
    auto first = transcript(r, 1), second = transcript(r, 2);
    auto holds = [](const std::vector<std::string>& lines, std::string_view text) {
        for (const auto& l : lines)
            if (l.find(text) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(holds(first, "座 標 一 覧"));
    EXPECT_TRUE(holds(first, "（1/2頁）"));
    EXPECT_TRUE(holds(first, "      40  P40                          40.000         80.000          4.000"));
    EXPECT_FALSE(holds(first, "P41 "));
    EXPECT_TRUE(holds(second, "（2/2頁）"));
    EXPECT_TRUE(has_line(second, "      45  P45                          45.000         90.000"));
    EXPECT_NE(status(r, "printed").find("印刷しました（2枚）"), std::string::npos);
}

// More than ten sheets are printed only when confirmed.
TEST(Points, ALongPrintIsAskedFirst) {
    Workspace w;
    fill(*w.job(), 401);
    auto declined = run_script("points", {"key F4", "snap asked", "type N"}, w.env());
    ASSERT_EQ(declined.exit_status, 0) << declined.stderr_text;
    EXPECT_NE(declined.row("asked", 23).find("11枚になります。印刷しますか（Y/N）"), std::string::npos);
    EXPECT_EQ(declined.events_starting("print ").size(), 0u);
    auto confirmed = run_script("points", {"key F4", "type Y"}, w.env());
    EXPECT_EQ(confirmed.events_starting("print ").size(), 11u);
    EXPECT_EQ(transcript(confirmed, 11).size(), transcript(confirmed, 1).size() - 39);  // one point on the last sheet
}

// 1 現場設定: the four settings as numbered fields, each change stored with
// its history row; a refused value says why and changes nothing.
TEST(Points, SettingsAreEditedAsNumberedFields) {
    Workspace w;
    ASSERT_TRUE(w.job()->set_header({"設定", std::nullopt}, kTestOrigin).ok());
    const Lines open = {"key F7", "key F6", "type 1"};
    // Without a zone the reduction is refused; the class is taken.
    auto bare = run_script("points", open + Lines{"type 1", "type 2", "type 4", "type 3", "snap after", "type", "type"},
                           w.env());
    ASSERT_EQ(bare.exit_status, 0) << bare.stderr_text;
    EXPECT_TRUE(bare.logged("notice 座標系が未設定です"));
    EXPECT_EQ(bare.row("after", 5), "  1 距離補正　：なし");
    EXPECT_EQ(bare.row("after", 8), "  4 精度区分　：公共測量２級");

    ASSERT_TRUE(w.job()->set_header({"設定", 9}, kTestOrigin).ok());
    auto r = run_script("points",
                        open + Lines{"snap fields", "type 1", "snap modes", "type 3", "type 2", "type 9000.001",
                                     "type -12.3456", "type 3", "type", "type 4", "type 12", "type 7",
                                     "type 5", "snap after", "type", "snap info"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("fields", 5), "  1 距離補正　：なし");
    EXPECT_EQ(r.row("modes", 12), "    3 標高・縮尺補正");
    EXPECT_TRUE(r.logged("notice 平均標高は-1000～9000 mの数値で入力して下さい。"));
    EXPECT_TRUE(r.logged("notice 一覧の番号を入力して下さい。"));
    EXPECT_TRUE(r.logged("notice 1～4の番号を入力して下さい。"));
    const std::vector<std::string> fields = {"  1 距離補正　：標高・縮尺補正", "  2 平均標高　：-12.346 m",
                                             "  3 ジオイド高：0.000 m", "  4 精度区分　：地籍甲二"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(r.row("after", 5 + i), fields[std::size_t(i)]);
    EXPECT_EQ(r.row("info", 8), " 距離補正：標高・縮尺補正");
    EXPECT_EQ(r.row("info", 9), " 平均標高：-12.346 m　ジオイド高：0.000 m");
    EXPECT_EQ(r.row("info", 10), " 精度区分：地籍甲二");

    auto j = w.job();
    EXPECT_EQ(job::read_settings(j->database()).value,
              (job::JobSettings{ReductionMode::height_scale, -12346, 0, ToleranceClass::cadastral_ko2}));
    std::vector<std::string> changes;
    for (const job::Change& c : j->history().value)
        changes.push_back(c.program + " " + c.action + " " + c.name + " " + *c.before_text + " " + *c.after_text);
    const std::vector<std::string> expected = {"points setting class none 2", "points setting reduction none height-scale",
                                               "points setting height 0.000 -12.346", "points setting class 2 甲二"};
    EXPECT_EQ(changes, expected);
}

// 3 経緯度 of the published example point of zone 9 (36°06′13.58925″ N,
// 140°05′16.27815″ E at X 11543.6883, Y 22916.2436, convergence
// −0°08′59.92″, scale 0.99990647), stored to the millimetre, and of the
// zone's origin; a stored name is taken before a number.
TEST(Points, LatitudeAndLongitudeOfAPointByNameOrNumber) {
    Workspace w;
    {
        auto j = w.job();
        ASSERT_TRUE(j->set_header({"経緯度", std::nullopt}, kTestOrigin).ok());
        ASSERT_TRUE(j->add(point("公共点", 11543688, 22916244), kTestOrigin).ok());  // number 1
        ASSERT_TRUE(j->add(point("1", 0, 0), kTestOrigin).ok());                    // number 2
    }
    const Lines open = {"key F7", "key F6", "type 3"};
    auto bare = run_script("points", open + Lines{"snap info"}, w.env());
    EXPECT_TRUE(bare.logged("notice 座標系が未設定です"));
    EXPECT_EQ(bare.row("info", 3), " 現場情報");

    ASSERT_TRUE(w.job()->set_header({"経緯度", 9}, kTestOrigin).ok());
    auto r = run_script("points",
                        open + Lines{"type 1", "snap name1", "type ２", "snap number2", "type 公共点", "snap named",
                                     "type 3", "type"},
                        w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("notice その点はありません。"));  // no point named 3, no number 3
    for (const char* snap : {"name1", "number2"}) {
        SCOPED_TRACE(snap);
        EXPECT_EQ(r.row(snap, 3), " 経緯度（第9系）");
        EXPECT_EQ(r.row(snap, 5), " 点名　　　：1（番号2）");
        EXPECT_EQ(r.row(snap, 8), " 緯度　　　：36°00′00.00000″");
        EXPECT_EQ(r.row(snap, 9), " 経度　　　：139°50′00.00000″");
        EXPECT_EQ(r.row(snap, 10), " 真北方向角：+0°00′00.00″");
        EXPECT_EQ(r.row(snap, 11), " 縮尺係数　：0.99990000");
    }
    EXPECT_EQ(r.row("named", 5), " 点名　　　：公共点（番号1）");
    const std::string prefix = " 緯度　　　：";
    ASSERT_TRUE(r.row("named", 8).starts_with(prefix));
    ASSERT_TRUE(r.row("named", 9).starts_with(" 経度　　　："));
    // Within 0.00004″ (about a millimetre, the rounding of the stored point).
    EXPECT_NEAR(*parse_degrees(r.row("named", 8).substr(prefix.size())), 36 + 6 / 60.0 + 13.58925 / 3600, 0.00004 / 3600);
    EXPECT_NEAR(*parse_degrees(r.row("named", 9).substr(prefix.size())), 140 + 5 / 60.0 + 16.27815 / 3600,
                0.00004 / 3600);
    EXPECT_EQ(r.row("named", 10), " 真北方向角：−0°08′59.92″");
    EXPECT_EQ(r.row("named", 11), " 縮尺係数　：0.99990647");
}

// The printed list is filed in the job's reports/ under the job's line
// (its page header no longer repeating it), print-N kept in script mode;
// after a change of job the next list is filed in the new job.
TEST(Points, ThePrintedListIsFiledInTheJobsReportsUnderItsName) {
    Workspace w;
    ASSERT_TRUE(w.job()->set_header({"神南一丁目", 9}, kTestOrigin).ok());
    fill(*w.job(), 2);
    auto other = job::create_job({"別の現場", 2}, w.data() / "marula" / "jobs");  // listed after "job"
    ASSERT_TRUE(other.job && other.job->add(point("K1", 5000, 6000), kTestOrigin).ok());
    const fs::path other_sheet = other.job->folder() / "reports" / "points-20260401-001.txt";
    other.job.reset();
    auto r = run_script("points", {"key F4", "snap printed", "key F7", "key F3", "type 2", "key F4"}, w.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("printed", 23), "帳票を現場に保存しました：points-20260401-001.pdf");
    const std::string sheet = bytes_of(w.job_folder() / "reports" / "points-20260401-001.txt");
    EXPECT_EQ(sheet, bytes_of(r.out_dir / "print-1.txt"));
    EXPECT_NE(sheet.find("\n    現場：神南一丁目（第9系）\n\n\n  （1/1頁）\n"), std::string::npos) << sheet;
    EXPECT_NE(bytes_of(other_sheet).find("    現場：別の現場（第2系）\n"), std::string::npos);
}

}  // namespace
}  // namespace marula
