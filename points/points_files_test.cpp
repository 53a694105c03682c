// The point list's files and names, through the real program in script
// mode over a real job in a temporary folder: its export takes the next
// free name (a link, even a dangling one, is not free) and never aborts on
// a long job name; names a spreadsheet would run are refused when typed and
// counted when exported; a new job's name is checked before it is made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "job/job.h"
#include "script_run.h"
#include "temp_folder.h"

namespace marula {
namespace {

using namespace test;
namespace fs = std::filesystem;
using test_support::TempFolder;

const job::Origin kOrigin{"points_files_test", "test"};

// A job in its own temporary home, with two points.
class JobHome {
public:
    explicit JobHome(const std::string& folder_name = "job") : folder_(temp_.path() / "data" / folder_name) {
        auto j = job();
        EXPECT_TRUE(j->add({0, "T1", 1000, 2000, std::nullopt}, kOrigin).ok());
        EXPECT_TRUE(j->add({0, "T2", 3000, 4000, 500}, kOrigin).ok());
    }
    std::unique_ptr<job::Job> job() const {
        auto opened = job::open_job(folder_);
        EXPECT_TRUE(opened.job) << opened.message;
        return std::move(opened.job);
    }
    // Stores the header's name as it is, as an older version might have.
    void store_name(const std::string& name) const {
        auto j = job();
        job::Database& db = j->database();
        ASSERT_TRUE(db.write([&] {
                          db.prepare("UPDATE job_header SET display_name = ?").bind(1, name).run();
                          return job::WriteResult{};
                      }).ok());
    }
    // Stores a point whose name the rules refuse now.
    void store_point(const std::string& name, int number) const {
        auto j = job();
        job::Database& db = j->database();
        ASSERT_TRUE(db.write([&] {
                          db.prepare("INSERT INTO points (name, folded, x, y) VALUES (?, '', ?, 0)")
                              .bind(1, name)
                              .bind(2, std::int64_t{number})
                              .run();
                          return job::WriteResult{};
                      }).ok());
    }
    const fs::path& folder() const { return folder_; }
    std::vector<std::string> env() const {
        return {"MARULA_JOB=" + folder_.string(), "HOME=" + (temp_.path() / "home").string(),
                "XDG_DATA_HOME=" + (temp_.path() / "data").string(),
                "XDG_CONFIG_HOME=" + (temp_.path() / "config").string()};
    }
    fs::path root() const { return temp_.path(); }

private:
    TempFolder temp_{"marula-points-files"};
    fs::path folder_;
};

std::string status_row(const ScriptResult& r, std::string_view snap) { return r.row(snap, 22); }

TEST(PointFiles, TheExportTakesTheNextFreeNameAndALinkIsNotFree) {
    JobHome home;
    home.store_name("現場A");
    const fs::path mine = home.folder() / "現場A.sim", dangling = home.folder() / "現場A_2.sim";
    { std::ofstream(mine) << "my own file"; }
    fs::create_symlink(home.root() / "nowhere.sim", dangling);
    auto r = run_script("points", {"key F7", "key F2", "type 1", "key Enter", "snap sima"}, home.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_NE(status_row(r, "sima").find("書出：現場A_3.sim"), std::string::npos) << status_row(r, "sima");
    EXPECT_EQ(read_all(mine), "my own file");
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_FALSE(fs::exists(home.root() / "nowhere.sim"));  // nothing written through the link
    EXPECT_EQ(read_all(home.folder() / "現場A_3.sim").rfind("G00,04,", 0), 0u);
}

// A name stored before names were checked, however long, is shown and
// exported cut to 40 characters; its files' names fit the file system.
TEST(PointFiles, ALongJobNameIsShownAndExportedCut) {
    struct Case {
        const char* what;
        std::string stored;
        std::string shown;  // what the screen's first row and the file name hold
    } const cases[] = {
        {"84 kanji", [] { std::string n; for (int i = 0; i < 84; ++i) n += "測"; return n; }(),
         [] { std::string n; for (int i = 0; i < 40; ++i) n += "測"; return n; }()},
        {"a line break", "東\n西", "東\\x0A西"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        JobHome home;
        home.store_name(c.stored);
        auto r = run_script("points", {"snap list", "key F7", "key F2", "type 2", "key Enter", "snap csv"}, home.env());
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        // The row ends at the screen's edge.
        EXPECT_NE(r.row("list", 0).find("現場：" + c.shown.substr(0, 60)), std::string::npos) << r.row("list", 0);
        // A backslash cannot stand in a file name: it becomes '_'.
        std::string file = c.shown;
        for (char& ch : file)
            if (ch == '\\') ch = '_';
        EXPECT_NE(status_row(r, "csv").find("書出：" + file.substr(0, 30)), std::string::npos) << status_row(r, "csv");
        EXPECT_TRUE(fs::exists(home.folder() / (file + ".csv")));
    }
}

TEST(PointFiles, NamesASpreadsheetWouldRunAreRefusedWhenTypedAndCountedWhenExported) {
    JobHome home;
    home.store_point("=SUM(1)", 10);
    home.store_point("@SUM(1)", 20);
    Lines keys;
    const std::vector<std::string> refused = {"=1+1", "+SUM(1+1)", "-2+3", "@SUM(1)", "K1..K7"};
    for (const std::string& name : refused) keys = keys + Lines{"key F2", "type " + name, "key Enter"};
    auto r = run_script("points", keys + Lines{"key F7", "key F2", "type 2", "key Enter"}, home.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.times_logged("notice 点名の先頭に「=」「+」「-」「@」は使えません"), 4);
    EXPECT_EQ(r.times_logged("notice 点名に「..」は使えません"), 1);
    EXPECT_EQ(home.job()->count().value, 4);  // nothing added
    EXPECT_EQ(r.times_logged("notice 数式と取られる点名2件は先頭に ' を付けて書き出しました。"), 1);
    const std::string csv = read_all(home.folder() / "job.csv");
    EXPECT_NE(csv.find("\r\n\"'=SUM(1)\",0.010,"), std::string::npos);
    EXPECT_NE(csv.find("\r\n\"'@SUM(1)\",0.020,"), std::string::npos);
}

TEST(PointFiles, ANewJobsNameIsCheckedBeforeTheJobIsMade) {
    JobHome home;
    const std::string forty_one(41, 'K');
    auto r = run_script("points",
                        {"key F7", "key F3", "type 0", "type a,b", "type " + forty_one, "type 现场", "type 新しい現場",
                         "key Enter", "snap made"},
                        home.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("notice 現場名に「,」「\"」は使えません"));
    EXPECT_TRUE(r.logged("notice 現場名が長すぎます（40字まで）"));
    EXPECT_TRUE(r.logged("notice 現場名に使えない文字があります"));
    EXPECT_NE(r.row("made", 0).find("現場：新しい現場"), std::string::npos) << r.row("made", 0);
    // Only the job asked for was made, beside the first.
    std::vector<std::string> folders;
    for (const auto& entry : fs::directory_iterator(home.root() / "data" / "marula" / "jobs"))
        folders.push_back(entry.path().filename().string());
    EXPECT_EQ(folders, std::vector<std::string>{"新しい現場"});
}

}  // namespace
}  // namespace marula
