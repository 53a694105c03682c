// The job's point store, on a real database in a temporary folder.
#include "job/job.h"
#include "job/import.h"

#include "damaged_job.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <map>

namespace marula::job {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string sample(const std::string& name) { return slurp(fs::path(MARULA_POINTS_TESTDATA) / name); }

using marula::test_support::TempFolder;
using marula::test_support::garble_root_page;

const Origin kTyped{"test", "入力"};

std::unique_ptr<Job> fresh(const fs::path& folder) {
    OpenResult opened = open_job(folder);
    EXPECT_EQ(opened.status, OpenStatus::opened) << opened.message;
    return std::move(opened.job);
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
    EXPECT_EQ(names(job->points().value), (std::vector<std::string>{"1:A", "2:B", "4:D", "5:a"}));
    EXPECT_EQ(names(job->points(2, 2).value), (std::vector<std::string>{"4:D", "5:a"}));  // a page after number 2
    EXPECT_EQ(job->count().value, 4);
    EXPECT_EQ(names(job->points_before(5, 2).value), (std::vector<std::string>{"2:B", "4:D"}));  // the page before 5
    EXPECT_EQ(names(job->points_before(2, 10).value), (std::vector<std::string>{"1:A"}));
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
    EXPECT_EQ(job->near_miss("t1").value, "T1");
    EXPECT_EQ(job->near_miss("Ｔ１").value, "T1");
    EXPECT_EQ(job->near_miss("コウ４").value, "ｺｳ4");
    EXPECT_EQ(job->near_miss("T1").value, std::nullopt);  // found as typed
    EXPECT_EQ(job->near_miss("T2").value, std::nullopt);
    EXPECT_EQ(job->find("t1").value, std::nullopt);        // never a substitution
    EXPECT_EQ(job->find(" T1 ").value->number, 1);
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
    EXPECT_EQ(job->find("P2").value, (Point{1, "P2", 1500, 2000, 30000}));
    PointEdit clash;
    clash.name = "Q";
    clash.x = 9;
    EXPECT_EQ(job->correct(1, clash, kTyped).status, WriteStatus::name_taken);
    EXPECT_EQ(job->find("P2").value, (Point{1, "P2", 1500, 2000, 30000}));  // nothing of the refused edit stayed
    EXPECT_EQ(job->correct(9, edit, kTyped).status, WriteStatus::not_found);
    ASSERT_TRUE(job->rename("Q", "R", kTyped).ok());
    ASSERT_TRUE(job->remove("R", kTyped).ok());
    const std::vector<Change> h = job->history().value;
    ASSERT_EQ(h.size(), 6u);
    EXPECT_EQ(h[2].action, "rename");
    EXPECT_EQ(h[2].before->name, "P");
    EXPECT_EQ(h[2].after->name, "P2");
    EXPECT_EQ(h[3].action, "replace");
    EXPECT_EQ(h[3].before, (Point{1, "P2", 1000, 2000, std::nullopt}));
    EXPECT_EQ(h[3].after, (Point{1, "P2", 1500, 2000, 30000}));
    EXPECT_EQ(h[5].action, "delete");
    EXPECT_EQ(h[5].name, "R");
    EXPECT_EQ(h[5].after, std::nullopt);
    EXPECT_EQ(h[5].source, "入力");
    EXPECT_EQ(job->history(1).value.size(), 1u);
}

TEST(Job, ImportClassifiesAgainstTheStore) {
    TempFolder t;
    auto job = fresh(t.path());
    const ImportRequest sima{FileFormat::sima, std::nullopt, std::nullopt, std::nullopt};
    ASSERT_TRUE(job->set_header({"神南一丁目境界確定", 9}, kTyped).ok());
    ASSERT_TRUE(import_bytes(*job, sample("store_before.sim"), sima, OnConflict::keep, {"test", "store_before.sim"})
                    .result.ok());
    const std::string s01 = sample("s01_cad_standard.sim");
    auto names = [](const Read<std::vector<ImportRow>>& rows) {
        std::vector<std::string> out;
        for (const ImportRow& row : rows.value) out.push_back(row.file.name);
        return out;
    };
    {
        FileImport import(*job);
        StringSource source(s01);
        const ImportSummary& p = import.read(source, sima);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(names(import.rows(ImportKind::added, -1, 100)),
                  (std::vector<std::string>{"境界1", "境界2", "境界①", "髙田杭3", "ｺｳ4"}));
        EXPECT_EQ(names(import.rows(ImportKind::identical, -1, 100)), (std::vector<std::string>{"T1", "T3"}));
        const auto heights = import.rows(ImportKind::height_added, -1, 100).value;
        ASSERT_EQ(heights.size(), 1u);
        EXPECT_EQ(heights[0].stored->name, "引照点A");
        EXPECT_EQ(heights[0].file.h, 36004);
        const auto conflicts = import.rows(ImportKind::conflict, -1, 100).value;
        ASSERT_EQ(conflicts.size(), 1u);
        EXPECT_EQ(conflicts[0].stored->x, -36045120);
        EXPECT_EQ(conflicts[0].file.x, -36045118);
        EXPECT_EQ(conflicts[0].line, 6);
        EXPECT_FALSE(p.zone_mismatch);
    }

    // A job in zone 2 is warned before anything is written.
    ASSERT_TRUE(job->set_header({"神南一丁目境界確定", 2}, kTyped).ok());
    {
        FileImport import(*job);
        StringSource source(s01);
        const ImportSummary& other_zone = import.read(source, sima);
        EXPECT_TRUE(other_zone.zone_mismatch);
        ASSERT_FALSE(other_zone.warnings.empty());
        EXPECT_EQ(other_zone.warnings[0].code, Code::W_ZONE_MISMATCH);
    }

    // Cancel writes nothing; replace keeps T2's number and logs both values.
    const auto before = job->points().value;
    EXPECT_TRUE(import_bytes(*job, s01, sima, OnConflict::cancel, {"test", "s01.sim"}).cancelled);
    EXPECT_EQ(job->points().value, before);
    const std::size_t logged = job->history().value.size();
    const ImportOutcome done = import_bytes(*job, s01, sima, OnConflict::replace, {"test", "s01.sim"});
    ASSERT_TRUE(done.result.ok());
    EXPECT_EQ(done.added, 5);
    EXPECT_EQ(done.heights_added, 1);
    EXPECT_EQ(done.replaced, 1);
    EXPECT_EQ(done.identical, 2);
    EXPECT_EQ(job->find("T2").value, (Point{2, "T2", -36045118, -8098702, 34887}));
    const auto h = job->history().value;
    EXPECT_EQ(h.size(), logged + 7);
    EXPECT_EQ(h.back().action, "replace");
    EXPECT_EQ(h.back().before->x, -36045120);
    EXPECT_EQ(h.back().after->x, -36045118);
    EXPECT_EQ(h.back().source, "s01.sim:6");
}

// The store's rules, decided inside the write: each case stores one
// computed point over what the job holds and checks what the job holds
// afterwards.
TEST(Job, StoreDecidesWhatMovedInsideTheWrite) {
    struct Case {
        const char* what;
        std::optional<Point> stored;        // in the job before the store
        std::optional<Point> may_replace;   // what the run may replace
        std::optional<Point> meanwhile;     // written by another program after the run decided
        Millimetres x;                      // where the run computed K1 (Y 5000)
        Stored outcome;
        Point after;
    };
    const Point k1{1, "K1", 5000, 5000, std::nullopt};
    const Point k1_high{1, "K1", 5000, 5000, 42000};
    const Point k1_elsewhere{1, "K1", 4000, 5000, 42000};
    const Case cases[] = {
        {"a new name is added", std::nullopt, std::nullopt, std::nullopt, 6000, Stored::added,
         {1, "K1", 6000, 5000, {}}},
        {"the same place to the mm is the same point, its height kept", k1_high, std::nullopt, std::nullopt, 5000,
         Stored::same, k1_high},
        {"a point elsewhere is left without leave", k1, std::nullopt, std::nullopt, 6000, Stored::left, k1},
        {"a point the run may replace moves and keeps its height", k1_elsewhere, k1_elsewhere, std::nullopt, 6000,
         Stored::replaced, {1, "K1", 6000, 5000, 42000}},
        {"a point changed meanwhile is never replaced unasked", k1, k1, k1_elsewhere, 6000,
         Stored::changed_meanwhile, k1_elsewhere},
        {"a height added meanwhile is a change too", k1, k1, k1_high, 6000, Stored::changed_meanwhile, k1_high},
    };
    for (const Case& c : cases) {
        TempFolder t;
        auto job = fresh(t.path());
        if (c.stored) {
            ASSERT_TRUE(job->add(*c.stored, kTyped).ok()) << c.what;
        }
        if (c.meanwhile) {
            PointEdit edit;
            edit.x = c.meanwhile->x;
            edit.h = c.meanwhile->h;
            ASSERT_TRUE(job->correct(1, edit, kTyped).ok()) << c.what;
        }
        const StoreRequest request{"K1", c.x, 5000, c.may_replace};
        const StoreResult r = job->store({&request, 1}, kTyped);
        ASSERT_TRUE(r.result.ok()) << c.what << ": " << r.result.message;
        ASSERT_EQ(r.outcomes.size(), 1u) << c.what;
        EXPECT_EQ(r.outcomes[0].what, c.outcome) << c.what;
        EXPECT_EQ(r.outcomes[0].now, c.after) << c.what;
        EXPECT_EQ(job->find("K1").value, c.after) << c.what;
    }
}

TEST(Job, StoreRefusesABadNameWholeAndNamesWhatWouldMove) {
    TempFolder t;
    auto job = fresh(t.path());
    ASSERT_TRUE(job->add({0, "K2", 5, 5, 9}, kTyped).ok());
    const std::vector<StoreRequest> computed = {{"K2", 5, 5}, {"K3", 1, 1}, {"K2 ", 6, 5}};
    EXPECT_EQ(job->moved_by(computed).value, (std::vector<Point>{{1, "K2", 5, 5, 9}}));  // moved by the third only
    const std::vector<StoreRequest> bad = {{"P9", 1, 1}, {"A,B", 1, 1}};
    EXPECT_EQ(job->store(bad, kTyped).result.status, WriteStatus::invalid_name);
    EXPECT_EQ(job->find("P9").value, std::nullopt);
}

// Writes raw SQL into a database file, for files a job must refuse.
void sql(const fs::path& file, const char* statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statements, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

// While it lives, stops any statement of this process once it has run far
// longer than reading a small job takes, and notes that it did: a statement
// that reads a planted endless view fails at once instead of running for
// ever.
class RunawayWatch {
public:
    RunawayWatch() {
        ran_away_ = false;
        sqlite3_auto_extension(reinterpret_cast<void (*)()>(watch));
    }
    ~RunawayWatch() { sqlite3_cancel_auto_extension(reinterpret_cast<void (*)()>(watch)); }
    bool ran_away() const { return ran_away_; }

private:
    static inline bool ran_away_ = false;
    static inline long steps_ = 0;
    static int stop(void*) {
        if (++steps_ < 100000) return 0;  // a hundred million instructions
        ran_away_ = true;
        return 1;
    }
    static int watch(sqlite3* db, const char**, const void*) {
        steps_ = 0;
        sqlite3_progress_handler(db, 1000, stop, nullptr);
        return SQLITE_OK;
    }
};

// Code planted in a job that is otherwise ours. The views never end, and
// those read for one row never yield it.
#define MARULA_ENDLESS "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) "
constexpr const char* kPlantedTrigger =
    "CREATE TRIGGER move AFTER INSERT ON points BEGIN UPDATE points SET x = x + 1000000; END;";
constexpr const char* kEndlessPoints = "DROP TABLE points; CREATE VIEW points AS " MARULA_ENDLESS
                                       "SELECT i AS number, 'P' AS name, 0 AS x, 0 AS y, NULL AS h, NULL AS folded FROM n;";
constexpr const char* kEndlessMeta =
    "DROP TABLE job_meta; CREATE VIEW job_meta AS " MARULA_ENDLESS "SELECT 1 AS id, i AS version FROM n WHERE i = 0;";
constexpr const char* kEndlessHeader = "DROP TABLE job_header; CREATE VIEW job_header AS " MARULA_ENDLESS
                                       "SELECT 1 AS id, 'x' AS display_name, 9 AS zone FROM n WHERE i = 0;";
constexpr const char* kForeignPoints =
    "DROP TABLE points; CREATE TABLE points (number INTEGER PRIMARY KEY, name TEXT, x, y, h, folded);";
#undef MARULA_ENDLESS

// A file made by `make`, then turned to a rollback journal (as another
// program, or an older copy, may leave a job), which opening must not turn
// back to WAL when it refuses the file.
std::function<void(const fs::path&)> in_rollback_journal(std::function<void(const fs::path&)> make) {
    return [make](const fs::path& f) {
        make(f);
        sql(f, "PRAGMA journal_mode = DELETE;");
    };
}

TEST(Job, ForeignDamagedOrNewerDatabasesAreRefusedAndLeftUntouched) {
    struct Case {
        const char* what;
        OpenStatus status;
        std::function<void(const fs::path&)> make;
    };
    const auto job_then = [](const char* statements) {
        return [statements](const fs::path& f) {
            { fresh(f.parent_path()); }
            sql(f, statements);
        };
    };
    const Case cases[] = {
        {"a text file", OpenStatus::not_a_job,
         [](const fs::path& f) { std::ofstream(f) << "not a database\n"; }},
        {"another program's database", OpenStatus::not_a_job,
         [](const fs::path& f) { sql(f, "CREATE TABLE mail (id INTEGER); INSERT INTO mail VALUES (1);"); }},
        {"a job from a later version", OpenStatus::too_new, job_then("PRAGMA user_version = 99;")},
        // A job carries data, never code: a trigger would run at the next
        // import, a view in place of a table would answer for it.
        {"a job with a trigger", OpenStatus::not_a_job, job_then(kPlantedTrigger)},
        {"a job with a view", OpenStatus::not_a_job, job_then("CREATE VIEW every_point AS SELECT * FROM points;")},
        {"a job whose points table is another's", OpenStatus::not_a_job, job_then(kForeignPoints)},
        {"a job whose points table is a view", OpenStatus::not_a_job, job_then(kEndlessPoints)},
        // Opening reads the job's version from job_meta.
        {"a job whose job_meta is a view", OpenStatus::not_a_job, job_then(kEndlessMeta)},
        {"a job from a later version, in a rollback journal", OpenStatus::too_new,
         in_rollback_journal(job_then("PRAGMA user_version = 99;"))},
        {"a job with a trigger, in a rollback journal", OpenStatus::not_a_job,
         in_rollback_journal(job_then(kPlantedTrigger))},
        {"a job whose points table is a view, in a rollback journal", OpenStatus::not_a_job,
         in_rollback_journal(job_then(kEndlessPoints))},
    };
    for (const Case& c : cases) {
        TempFolder t;
        const fs::path file = t.path() / "job.db";
        c.make(file);
        const std::string bytes = slurp(file);
        if (std::string_view(c.what).ends_with("rollback journal")) {
            ASSERT_EQ(bytes.substr(18, 2), std::string("\x01\x01")) << c.what << ": not in a rollback journal";
        }
        const RunawayWatch watch;
        const OpenResult opened = open_job(t.path());
        EXPECT_FALSE(watch.ran_away()) << c.what << ": opening ran a planted view";
        EXPECT_EQ(opened.status, c.status) << c.what;
        EXPECT_EQ(opened.job, nullptr) << c.what;
        EXPECT_NE(opened.message.find("job.db"), std::string::npos) << c.what;
        EXPECT_EQ(slurp(file), bytes) << c.what << ": the file was changed";
    }
}


// Opening reads no table, so a damaged page is found when the run reads it:
// the reader is told, never handed "nothing stored", and from then on
// nothing is written to the job.
TEST(Job, ADamagedPageFoundDuringARunStopsEveryWrite) {
    TempFolder t;
    {
        auto job = fresh(t.path());
        for (int i = 0; i < 400; ++i) job->add({0, "P" + std::to_string(i), i, i, std::nullopt}, kTyped);
    }
    garble_root_page(t.path() / "job.db", "points");
    const std::string bytes = slurp(t.path() / "job.db");
    auto job = fresh(t.path());
    ASSERT_TRUE(job);
    const auto found = job->find("P7");
    ASSERT_FALSE(found.ok());
    EXPECT_NE(found.trouble->find("壊れています"), std::string::npos) << *found.trouble;
    EXPECT_TRUE(job->damaged());
    EXPECT_EQ(job->add({0, "Q", 1, 1, std::nullopt}, kTyped).status, WriteStatus::damaged);
    EXPECT_EQ(job->set_header({"x", 9}, kTyped).status, WriteStatus::damaged);
    job.reset();
    EXPECT_EQ(slurp(t.path() / "job.db"), bytes);
}

// A later version that only adds tables keeps this one working: its own
// tables are left alone, never read or written.
TEST(Job, TablesOfALaterCompatibleVersionAreLeftAlone) {
    TempFolder t;
    { fresh(t.path()); }
    sql(t.path() / "job.db",
        "CREATE TABLE later_things (id INTEGER PRIMARY KEY, what TEXT); INSERT INTO later_things VALUES (1, 'x');"
        "CREATE INDEX later_points ON points (x); UPDATE job_meta SET version = 9;");
    auto job = fresh(t.path());
    ASSERT_TRUE(job);
    ASSERT_TRUE(job->add({0, "A", 1, 2, std::nullopt}, kTyped).ok());
    job.reset();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((t.path() / "job.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT (SELECT version FROM job_meta), (SELECT count(*) FROM later_things),"
                           " (SELECT user_version FROM pragma_user_version)", -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), 9);  // not brought "down" to this version
    EXPECT_EQ(sqlite3_column_int(s, 1), 1);
    EXPECT_EQ(sqlite3_column_int(s, 2), kCompatibleVersion);
    sqlite3_finalize(s);
    sqlite3_close(db);
}

// A job as the version before kept it (one history row a change, with its
// file and line in one text) is brought up to date in place: its points
// stay and its history reads as it did.
TEST(Job, AnEarlierJobKeepsItsPointsAndHistory) {
    TempFolder t;
    const fs::path file = t.path() / "job.db";
    sql(file, (migration_statements(1) + migration_statements(2) +
               "INSERT INTO points (number, name, folded, x, y, h) VALUES (1, 'T1', 'T1', 100, 200, NULL),"
               " (2, 't2', 'T2', 300, 400, 5);"
               "INSERT INTO history (time, program, action, name, new_number, new_name, new_x, new_y, new_h, source)"
               " VALUES ('2026-12-01 10:00:00', 'marula-points', 'import', 'T1', 1, 'T1', 100, 200, NULL, 'a.sim:6'),"
               " ('2026-12-01 10:00:00', 'marula-points', 'import', 't2', 2, 't2', 300, 400, 5, 'a.sim:7');"
               "INSERT INTO history (time, program, action, name, old_number, old_name, old_x, old_y, old_h,"
               " new_number, new_name, new_x, new_y, new_h, source) VALUES ('2026-12-02 09:00:00', 'points',"
               " 'rename', 'T9', 1, 'T1', 100, 200, NULL, 1, 'T9', 100, 200, NULL, '入力');"
               "UPDATE points SET name = 'T9', folded = 'T9' WHERE number = 1;"
               "PRAGMA application_id = " + std::to_string(kApplicationId) + "; PRAGMA user_version = 2;")
                  .c_str());
    auto job = fresh(t.path());
    ASSERT_TRUE(job);
    EXPECT_EQ(names(job->points().value), (std::vector<std::string>{"1:T9", "2:t2"}));
    EXPECT_EQ(job->near_miss("T2").value, "t2");  // the folded names carried over
    EXPECT_EQ(job->near_miss("t9").value, "T9");
    const auto h = job->history().value;
    ASSERT_EQ(h.size(), 3u);
    EXPECT_EQ(h[0].action, "import");
    EXPECT_EQ(h[0].source, "a.sim:6");
    EXPECT_EQ(h[1].after, (Point{2, "t2", 300, 400, 5}));
    EXPECT_EQ(h[2].action, "rename");
    EXPECT_EQ(h[2].before->name, "T1");
    EXPECT_EQ(h[2].after->name, "T9");
    EXPECT_EQ(h[2].source, "入力");
}

// Opening checks what it can in constant time; the whole file is read only
// when asked.
TEST(Job, TheFullCheckFindsWhatOpeningDoesNotRead) {
    TempFolder t;
    {
        auto job = fresh(t.path());
        for (int i = 0; i < 2000; ++i) job->add({0, "P" + std::to_string(i), i, i, std::nullopt}, kTyped);
        EXPECT_EQ(job->check().value, (std::vector<std::string>{"ok"}));
    }
    // A page of the name index garbled: the points table itself reads well.
    garble_root_page(t.path() / "job.db", "sqlite_autoindex_points_1");
    auto job = fresh(t.path());
    ASSERT_TRUE(job);
    const auto problems = job->check();
    ASSERT_TRUE(problems.ok());
    ASSERT_FALSE(problems.value.empty());
    EXPECT_NE(problems.value.front(), "ok");
    EXPECT_LE(problems.value.size(), 10u);
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
    EXPECT_EQ(choose_job_folder(job_from_environment(), true), std::nullopt);  // script mode without MARULA_JOB: no job
    EXPECT_FALSE(fs::exists(t.path() / "config"));
    const auto first = choose_job_folder(job_from_environment(), false);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, t.path() / "data" / "marula" / "jobs" / "既定");
    EXPECT_EQ(slurp(t.path() / "config" / "marula" / "current-job"), first->string() + "\n");
    ASSERT_TRUE(set_current_job(t.path() / "other"));
    EXPECT_EQ(choose_job_folder(job_from_environment(), false), t.path() / "other");
    setenv("MARULA_JOB", (t.path() / "env").c_str(), 1);
    EXPECT_EQ(choose_job_folder(job_from_environment(), true), t.path() / "env");
    EXPECT_EQ(choose_job_folder(job_from_environment(), false), t.path() / "env");
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
    const auto jobs = list_jobs({t.path()}, b.job->folder());
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].header.display_name, "broken");
    EXPECT_FALSE(jobs[0].usable);
    EXPECT_EQ(jobs[1].header.display_name, "神南/一丁目");
    EXPECT_EQ(jobs[1].header.zone, 9);
    EXPECT_EQ(jobs[1].points, 1);
    EXPECT_TRUE(jobs[2].current);  // the caller's own: not opened a second time
    EXPECT_EQ(jobs[2].points, 0);
    EXPECT_EQ(slurp(t.path() / "broken" / "job.db"), "garbage");
}

// The list reads another job only once it has passed opening's checks, so
// a job holding code is listed as unreadable, never read.
TEST(Jobs, AJobHoldingCodeIsListedUnreadableWithoutReadingIt) {
    const char* const planted[][2] = {
        {"points_view", kEndlessPoints}, {"header_view", kEndlessHeader}, {"meta_view", kEndlessMeta},
        {"trigger", kPlantedTrigger},    {"foreign_points", kForeignPoints},
    };
    TempFolder t;
    {
        const OpenResult good = create_job({"good", 9}, t.path());
        ASSERT_TRUE(good.job) << good.message;
        ASSERT_TRUE(good.job->add({0, "P", 1, 2, std::nullopt}, kTyped).ok());
    }
    std::map<std::string, std::string> bytes;
    for (const auto& [name, statements] : planted) {
        { fresh(t.path() / name); }
        sql(t.path() / name / "job.db", statements);
        bytes[name] = slurp(t.path() / name / "job.db");
    }
    RunawayWatch watch;
    const auto jobs = list_jobs({t.path()}, std::nullopt);
    EXPECT_FALSE(watch.ran_away()) << "the list ran a planted view";
    ASSERT_EQ(jobs.size(), std::size(planted) + 1);
    for (const JobSummary& job : jobs) {
        const std::string name = job.folder.filename().string();
        if (name == "good") {
            EXPECT_TRUE(job.usable);
            EXPECT_EQ(job.points, 1);
            EXPECT_EQ(job.header.zone, 9);
            continue;
        }
        EXPECT_FALSE(job.usable) << name;
        EXPECT_EQ(job.header.display_name, name);  // the folder's name: nothing read from it
        EXPECT_EQ(slurp(job.folder / "job.db"), bytes[name]) << name;
    }
}

// Opening compares a job's tables and indexes with definitions taken from
// the migrations' text; they must be exactly what SQLite keeps when it runs
// the same migrations, version by version.
TEST(Schema, TheExpectedDefinitionsAreWhatSQLiteKeeps) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
    for (int version = 0; version <= kSchemaVersion; ++version) {
        if (version > 0) {
            // The data movers have nothing to move in an empty database.
            const std::string sql = migration_statements(version);
            ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << version;
        }
        std::vector<std::pair<std::string, std::string>> made;
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "SELECT name, sql FROM sqlite_schema WHERE name NOT LIKE 'sqlite_%' ORDER BY name", -1,
                           &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW)
            made.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)),
                              reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
        sqlite3_finalize(s);
        EXPECT_EQ(migration_objects(version), made) << "version " << version;
    }
    sqlite3_close(db);
}

}  // namespace
}  // namespace marula::job

namespace marula::job {
namespace {

// The count is kept with the history change it was made at: another
// program's change (which always leaves a history row) has it counted
// again, and a count of nothing changed is read, not made.
TEST(Job, TheKeptCountFollowsEveryChange) {
    TempFolder t;
    auto job = fresh(t.path());
    EXPECT_EQ(job->count().value, 0);
    for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(job->add({0, name, 1, 2, std::nullopt}, kTyped).ok());
    EXPECT_EQ(job->count().value, 3);
    ASSERT_TRUE(job->remove("B", kTyped).ok());
    EXPECT_EQ(job->count().value, 2);
    // Another program adds a point, with its history row as every build writes one.
    sql(t.path() / "job.db",
        "INSERT INTO points (name, folded, x, y) VALUES ('D', '', 5, 6);"
        "INSERT INTO history_batches (time, program) VALUES ('2026-12-09 10:00:00', 'other');"
        "INSERT INTO history_changes (batch, action, point, name, new_x, new_y) "
        "VALUES (last_insert_rowid(), 1, 99, 'D', 5, 6);");
    EXPECT_EQ(job->count().value, 3);
    // Kept now: a count planted at the present change is what is read.
    sql(t.path() / "job.db", "UPDATE job_counts SET value = 1234 WHERE key = 'points';");
    EXPECT_EQ(job->count().value, 1234);
}

}  // namespace
}  // namespace marula::job
