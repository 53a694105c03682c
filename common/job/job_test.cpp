// The job's point store, on a real database in a temporary folder.
#include "job/job.h"

#include "temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>

namespace marula::job {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string sample(const std::string& name) { return slurp(fs::path(MARULA_POINTS_TESTDATA) / name); }

using marula::test_support::TempFolder;

const Origin kTyped{"test", "入力"};

std::unique_ptr<Job> fresh(const fs::path& folder) {
    OpenResult opened = open_job(folder);
    EXPECT_EQ(opened.status, OpenStatus::opened) << opened.message;
    return std::move(opened.job);
}

PointFile read(const std::string& name) {
    ReadResult r = read_sima(sample(name));
    EXPECT_TRUE(r.ok()) << name;
    return r.file;
}

std::vector<std::string> names(const std::vector<Point>& points) {
    std::vector<std::string> out;
    for (const Point& p : points) out.push_back(std::to_string(p.number) + ":" + p.name);
    return out;
}

TEST(Job, NumbersAreNeverReusedAndNamesAreUnique) {
    TempFolder t;
    auto job = fresh(t.path() / "神南");
    EXPECT_TRUE(fs::is_directory(t.path() / "神南" / "reports"));
    EXPECT_EQ(job->add({0, "A", 1, 2, std::nullopt}, kTyped).number, 1);
    EXPECT_EQ(job->add({0, "B", 1, 2, 3}, kTyped).number, 2);
    EXPECT_EQ(job->add({0, "C", 1, 2, std::nullopt}, kTyped).number, 3);
    EXPECT_TRUE(job->remove("C", kTyped).ok());
    EXPECT_EQ(job->add({0, "D", 1, 2, std::nullopt}, kTyped).number, 4);  // 3 stays unused
    EXPECT_EQ(job->add({0, " A ", 5, 6, std::nullopt}, kTyped).status, WriteStatus::name_taken);
    EXPECT_EQ(job->add({0, "a", 5, 6, std::nullopt}, kTyped).number, 5);  // case is significant
    EXPECT_EQ(job->add({0, "*", 5, 6, std::nullopt}, kTyped).status, WriteStatus::invalid_name);
    EXPECT_EQ(job->add({0, "E", kCoordinateLimit, 6, std::nullopt}, kTyped).status, WriteStatus::out_of_range);
    EXPECT_EQ(names(job->points()), (std::vector<std::string>{"1:A", "2:B", "4:D", "5:a"}));
    EXPECT_EQ(names(job->points(2, 2)), (std::vector<std::string>{"4:D", "5:a"}));  // a page after number 2
    EXPECT_EQ(job->count(), 4);
    EXPECT_EQ(names(job->page(1, 2)), (std::vector<std::string>{"2:B", "4:D"}));  // the 2nd and 3rd
    EXPECT_EQ(names(job->page(3, 10)), (std::vector<std::string>{"5:a"}));
    // A reopened job carries on numbering where it was.
    job.reset();
    job = fresh(t.path() / "神南");
    EXPECT_EQ(job->add({0, "F", 1, 2, std::nullopt}, kTyped).number, 6);
}

TEST(Job, NearMissHintsTheStoredNameOnlyWithoutAnExactOne) {
    TempFolder t;
    auto job = fresh(t.path());
    ASSERT_TRUE(job->add({0, "T1", 1, 2, std::nullopt}, kTyped).ok());
    ASSERT_TRUE(job->add({0, "ｺｳ4", 1, 2, std::nullopt}, kTyped).ok());
    EXPECT_EQ(job->near_miss("t1"), "T1");
    EXPECT_EQ(job->near_miss("Ｔ１"), "T1");
    EXPECT_EQ(job->near_miss("コウ４"), "ｺｳ4");
    EXPECT_EQ(job->near_miss("T1"), std::nullopt);  // found as typed
    EXPECT_EQ(job->near_miss("T2"), std::nullopt);
    EXPECT_EQ(job->find("t1"), std::nullopt);        // never a substitution
    EXPECT_EQ(job->find(" T1 ")->number, 1);
}

TEST(Job, CorrectionsAndRenamesAreInTheHistoryWithOldAndNewValues) {
    TempFolder t;
    auto job = fresh(t.path());
    ASSERT_TRUE(job->add({0, "P", 1000, 2000, std::nullopt}, kTyped).ok());
    ASSERT_TRUE(job->add({0, "Q", 1, 1, std::nullopt}, kTyped).ok());
    PointEdit edit;
    edit.name = "P2";
    edit.x = 1500;
    edit.h = std::optional<Millimetres>(30000);
    ASSERT_TRUE(job->correct(1, edit, kTyped).ok());
    EXPECT_EQ(job->find("P2"), (Point{1, "P2", 1500, 2000, 30000}));
    PointEdit clash;
    clash.name = "Q";
    clash.x = 9;
    EXPECT_EQ(job->correct(1, clash, kTyped).status, WriteStatus::name_taken);
    EXPECT_EQ(job->find("P2"), (Point{1, "P2", 1500, 2000, 30000}));  // nothing of the refused edit stayed
    EXPECT_EQ(job->correct(9, edit, kTyped).status, WriteStatus::not_found);
    ASSERT_TRUE(job->rename("Q", "R", kTyped).ok());
    ASSERT_TRUE(job->remove("R", kTyped).ok());
    const std::vector<Change> h = job->history();
    ASSERT_EQ(h.size(), 6u);
    EXPECT_EQ(h[2].action, Action::rename);
    EXPECT_EQ(h[2].before->name, "P");
    EXPECT_EQ(h[2].after->name, "P2");
    EXPECT_EQ(h[3].action, Action::replace);
    EXPECT_EQ(h[3].before, (Point{1, "P2", 1000, 2000, std::nullopt}));
    EXPECT_EQ(h[3].after, (Point{1, "P2", 1500, 2000, 30000}));
    EXPECT_EQ(h[5].action, Action::remove);
    EXPECT_EQ(h[5].name, "R");
    EXPECT_EQ(h[5].after, std::nullopt);
    EXPECT_EQ(h[5].source, "入力");
    EXPECT_EQ(job->history(1).size(), 1u);
}

TEST(Job, ImportClassifiesAgainstTheStore) {
    TempFolder t;
    auto job = fresh(t.path());
    ASSERT_TRUE(job->set_header({"神南一丁目境界確定", 9}, kTyped).ok());
    ASSERT_TRUE(job->apply_import(read("store_before.sim"), OnConflict::keep, "store_before.sim", kTyped).result.ok());
    const PointFile s01 = read("s01_cad_standard.sim");
    const ImportPreview p = job->preview_import(s01);
    std::vector<std::string> added;
    for (const auto& fp : p.new_points) added.push_back(fp.point.name);
    EXPECT_EQ(added, (std::vector<std::string>{"境界1", "境界2", "境界①", "髙田杭3", "ｺｳ4"}));
    ASSERT_EQ(p.identical.size(), 2u);
    EXPECT_EQ(p.identical[0].point.name, "T1");
    EXPECT_EQ(p.identical[1].point.name, "T3");
    ASSERT_EQ(p.heights_added.size(), 1u);
    EXPECT_EQ(p.heights_added[0].stored.name, "引照点A");
    EXPECT_EQ(p.heights_added[0].h, 36004);
    ASSERT_EQ(p.conflicts.size(), 1u);
    EXPECT_EQ(p.conflicts[0].stored.x, -36045120);
    EXPECT_EQ(p.conflicts[0].file.x, -36045118);
    EXPECT_EQ(p.conflicts[0].line, 6);
    EXPECT_FALSE(p.zone_mismatch);

    // A job in zone 2 is warned before anything is written.
    ASSERT_TRUE(job->set_header({"神南一丁目境界確定", 2}, kTyped).ok());
    const ImportPreview other_zone = job->preview_import(s01);
    EXPECT_TRUE(other_zone.zone_mismatch);
    ASSERT_FALSE(other_zone.warnings.empty());
    EXPECT_EQ(other_zone.warnings[0].code, Code::W_ZONE_MISMATCH);

    // Cancel writes nothing; replace keeps T2's number and logs both values.
    const auto before = job->points();
    EXPECT_TRUE(job->apply_import(s01, OnConflict::cancel, "s01.sim", kTyped).cancelled);
    EXPECT_EQ(job->points(), before);
    const std::size_t logged = job->history().size();
    const ImportOutcome done = job->apply_import(s01, OnConflict::replace, "s01.sim", kTyped);
    ASSERT_TRUE(done.result.ok());
    EXPECT_EQ(done.added, 5);
    EXPECT_EQ(done.heights_added, 1);
    EXPECT_EQ(done.replaced, 1);
    EXPECT_EQ(done.identical, 2);
    EXPECT_EQ(job->find("T2"), (Point{2, "T2", -36045118, -8098702, 34887}));
    const auto h = job->history();
    EXPECT_EQ(h.size(), logged + 7);
    EXPECT_EQ(h.back().action, Action::replace);
    EXPECT_EQ(h.back().before->x, -36045120);
    EXPECT_EQ(h.back().after->x, -36045118);
    EXPECT_EQ(h.back().source, "s01.sim:6");
}

TEST(Job, StoreAddsNewLeavesSameAndReplacesMovedOnlyWhenAsked) {
    TempFolder t;
    auto job = fresh(t.path());
    ASSERT_TRUE(job->add({0, "K1", 0, 0, std::nullopt}, kTyped).ok());
    ASSERT_TRUE(job->add({0, "K2", 5, 5, std::nullopt}, kTyped).ok());
    const std::vector<Point> computed = {{0, "K1", 0, 0, std::nullopt}, {0, "K2", 6, 5, std::nullopt},
                                         {0, "P1", 7, 7, std::nullopt}};
    EXPECT_EQ(job->differing(computed), (std::vector<Point>{{2, "K2", 5, 5, std::nullopt}}));
    ASSERT_TRUE(job->store(computed, false, kTyped).ok());
    EXPECT_EQ(job->find("K2")->x, 5);
    EXPECT_EQ(job->find("P1")->number, 3);
    ASSERT_TRUE(job->store(computed, true, kTyped).ok());
    EXPECT_EQ(job->find("K2")->x, 6);
    EXPECT_EQ(job->count(), 3);
    // One bad name refuses the whole store.
    const std::vector<Point> bad = {{0, "P9", 1, 1, std::nullopt}, {0, "A,B", 1, 1, std::nullopt}};
    EXPECT_EQ(job->store(bad, true, kTyped).status, WriteStatus::invalid_name);
    EXPECT_EQ(job->find("P9"), std::nullopt);
}

// Writes raw SQL into a database file, for files a job must refuse.
void sql(const fs::path& file, const char* statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statements, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST(Job, ForeignDamagedOrNewerDatabasesAreRefusedAndLeftUntouched) {
    struct Case {
        const char* what;
        OpenStatus status;
        std::function<void(const fs::path&)> make;
    };
    const Case cases[] = {
        {"a text file", OpenStatus::not_a_job,
         [](const fs::path& f) { std::ofstream(f) << "not a database\n"; }},
        {"another program's database", OpenStatus::not_a_job,
         [](const fs::path& f) { sql(f, "CREATE TABLE mail (id INTEGER); INSERT INTO mail VALUES (1);"); }},
        {"a job from a later version", OpenStatus::too_new,
         [](const fs::path& f) {
             { fresh(f.parent_path()); }
             sql(f, "PRAGMA user_version = 99;");
         }},
        {"a job with a damaged page", OpenStatus::damaged,
         [](const fs::path& f) {
             {
                 auto job = fresh(f.parent_path());
                 for (int i = 0; i < 400; ++i)
                     job->add({0, "P" + std::to_string(i), i, i, std::nullopt}, kTyped);
             }
             // The whole root page of the points table, garbled.
             sqlite3* db = nullptr;
             sqlite3_open(f.c_str(), &db);
             sqlite3_stmt* stmt = nullptr;
             sqlite3_prepare_v2(db,
                                "SELECT (SELECT page_size FROM pragma_page_size), rootpage FROM sqlite_schema "
                                "WHERE name = 'points'",
                                -1, &stmt, nullptr);
             ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
             const auto page_size = sqlite3_column_int64(stmt, 0), root = sqlite3_column_int64(stmt, 1);
             sqlite3_finalize(stmt);
             sqlite3_close(db);
             std::fstream io(f, std::ios::in | std::ios::out | std::ios::binary);
             io.seekp(page_size * (root - 1));
             const std::string garbage(static_cast<std::size_t>(page_size), '\xA5');
             io.write(garbage.data(), static_cast<std::streamsize>(garbage.size()));
         }},
    };
    for (const Case& c : cases) {
        TempFolder t;
        const fs::path file = t.path() / "job.db";
        c.make(file);
        const std::string bytes = slurp(file);
        const OpenResult opened = open_job(t.path());
        EXPECT_EQ(opened.status, c.status) << c.what;
        EXPECT_EQ(opened.job, nullptr) << c.what;
        EXPECT_NE(opened.message.find("job.db"), std::string::npos) << c.what;
        EXPECT_EQ(slurp(file), bytes) << c.what << ": the file was changed";
    }
}

TEST(Job, HeaderKeepsNameAndZone) {
    TempFolder t;
    auto job = fresh(t.path() / "folder-name");
    EXPECT_EQ(job->display_name(), "folder-name");  // until a name is given
    EXPECT_EQ(job->set_header({"x", 20}, kTyped).status, WriteStatus::out_of_range);
    ASSERT_TRUE(job->set_header({" 神南 ", 9}, kTyped).ok());
    job.reset();
    job = fresh(t.path() / "folder-name");
    EXPECT_EQ(job->header().display_name, "神南");
    EXPECT_EQ(job->header().zone, 9);
}

// Keeps an environment variable as it was around a test.
class SavedVariable {
public:
    explicit SavedVariable(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) value_ = v;
    }
    ~SavedVariable() {
        if (value_) setenv(name_, value_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> value_;
};

TEST(Jobs, ChoiceFollowsTheEnvironmentAndTheFirstStartMakesTheDefault) {
    SavedVariable job("MARULA_JOB"), data("XDG_DATA_HOME"), config("XDG_CONFIG_HOME");
    TempFolder t;
    setenv("XDG_DATA_HOME", (t.path() / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (t.path() / "config").c_str(), 1);
    unsetenv("MARULA_JOB");
    EXPECT_EQ(choose_job_folder(true), std::nullopt);  // script mode without MARULA_JOB: no job
    EXPECT_FALSE(fs::exists(t.path() / "config"));
    const auto first = choose_job_folder(false);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, t.path() / "data" / "marula" / "jobs" / "既定");
    EXPECT_EQ(slurp(t.path() / "config" / "marula" / "current-job"), first->string() + "\n");
    ASSERT_TRUE(set_current_job(t.path() / "other"));
    EXPECT_EQ(choose_job_folder(false), t.path() / "other");
    setenv("MARULA_JOB", (t.path() / "env").c_str(), 1);
    EXPECT_EQ(choose_job_folder(true), t.path() / "env");
    EXPECT_EQ(choose_job_folder(false), t.path() / "env");
}

TEST(Jobs, ListedUnderTheDataFolderAndCreatedByName) {
    TempFolder t;
    const OpenResult a = create_job({"神南/一丁目", 9}, t.path());
    ASSERT_TRUE(a.job) << a.message;
    EXPECT_EQ(a.job->folder(), t.path() / "神南_一丁目");
    ASSERT_TRUE(a.job->add({0, "P", 1, 2, std::nullopt}, kTyped).ok());
    const OpenResult b = create_job({"神南/一丁目", std::nullopt}, t.path());
    ASSERT_TRUE(b.job);
    EXPECT_EQ(b.job->folder(), t.path() / "神南_一丁目-2");  // never into an existing folder
    fs::create_directories(t.path() / "broken");
    std::ofstream(t.path() / "broken" / "job.db") << "garbage";
    const auto jobs = list_jobs(t.path());
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].header.display_name, "broken");
    EXPECT_FALSE(jobs[0].usable);
    EXPECT_EQ(jobs[1].header.display_name, "神南/一丁目");
    EXPECT_EQ(jobs[1].header.zone, 9);
    EXPECT_EQ(jobs[1].points, 1);
    EXPECT_TRUE(jobs[2].usable);
    EXPECT_EQ(slurp(t.path() / "broken" / "job.db"), "garbage");
}

}  // namespace
}  // namespace marula::job
