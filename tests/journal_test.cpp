// The journal of a job, end to end through the real programs: a run's
// input printed by marula-points replays to the same screen, a run stopped
// dead is restored to the screen it had, a finished run is not offered but
// can be reopened without printing, and a job that cannot be written says
// so once while the program works.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <sqlite3.h>

#include "job/schema.h"
#include "points_command.h"
#include "script_run.h"

namespace marula {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::points_command;
using test::operator+;
using test::run_script;
using test::ScriptResult;

// A connecting traverse halfway: backsight, azimuth, station 0, two legs,
// with a function key pressed during an entry (it waits for its turn).
const Lines kHalfTraverse = {
    "type B",  "type 0",   "type K1",  "type 1000", "type 1000",  // backsight, azimuth, station 0
    "type P1", "type 90",  "key F3",   "type 100",                // leg 1, a key pressed during the entry
    "type K2", "type 270", "type 100",                            // leg 2
};
// The rest, up to the table and its key bar.
const Lines kRestOfTraverse = {"type F", "type 90.0010", "type 0", "type 900.010", "type 1099.995", "type 90"};

// A job folder of its own, removed afterwards.
class JobFolder {
public:
    JobFolder() {
        std::string pattern = (fs::temp_directory_path() / "marula-journal-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
        folder_ = pattern;
    }
    ~JobFolder() {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    const fs::path& path() const { return folder_; }
    std::string env() const { return "MARULA_JOB=" + (folder_ / "job").string(); }
    fs::path job() const { return folder_ / "job"; }

private:
    fs::path folder_;
};


std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return lines;
}

std::vector<std::string> journal_list(const JobFolder& job) {
    return lines_of(points_command({"--job", job.job().string(), "journal"}));
}

TEST(Journal, APrintedRunReplaysToTheSameFinalScreenWithOrWithoutAJob) {
    JobFolder job;
    auto original = run_script("linktrav", kHalfTraverse, {job.env()});
    ASSERT_EQ(original.exit_status, 0) << original.stderr_text;

    const auto list = journal_list(job);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].starts_with("1\t")) << list[0];
    EXPECT_NE(list[0].find("\tlinktrav\tB K1 P1\tclosed"), std::string::npos) << list[0];

    int status = 0;
    const std::string printed = points_command({"--job", job.job().string(), "journal", "1"}, &status);
    ASSERT_EQ(status, 0);
    const auto script = lines_of(printed);
    ASSERT_FALSE(script.empty());
    EXPECT_TRUE(script[0].starts_with("# linktrav ")) << script[0];
    // The events as taken, the key pressed during the entry before its line.
    const Lines events(script.begin() + 1, script.end());
    const Lines expected = {"type B", "type 0", "type K1", "type 1000", "type 1000", "type P1", "type 90",
                            "key F3", "type 100", "type K2", "type 270", "type 100"};
    EXPECT_EQ(events, expected);

    auto without_job = run_script("linktrav", script);
    ASSERT_EQ(without_job.exit_status, 0) << without_job.stderr_text;
    EXPECT_EQ(without_job.screen("final"), original.screen("final"));
    EXPECT_EQ(without_job.colors("final"), original.colors("final"));

    JobFolder other;
    auto with_job = run_script("linktrav", script, {other.env()});
    EXPECT_EQ(with_job.screen("final"), original.screen("final"));
    EXPECT_EQ(with_job.colors("final"), original.colors("final"));
}

// A run stopped dead after its N-th event (as a kill would) and started
// again with Y shows exactly the screen it had; N starts afresh; without
// MARULA_RESTORE=ask script mode never asks.
TEST(Journal, ARunStoppedDeadIsRestoredToTheScreenItHad) {
    for (const int stop_after : {4, 9, 12}) {
        SCOPED_TRACE(stop_after);
        JobFolder job;
        auto killed = run_script("linktrav", kHalfTraverse + kRestOfTraverse,
                                 {job.env(), "MARULA_STOP_AFTER_EVENTS=" + std::to_string(stop_after)});
        EXPECT_NE(killed.exit_status, 0);
        ASSERT_TRUE(killed.has_snap("stopped"));
        const auto list = journal_list(job);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_TRUE(list[0].ends_with("\tkilled")) << list[0];

        auto restored = run_script("linktrav", {"type Y"}, {job.env(), "MARULA_RESTORE=ask"});
        ASSERT_EQ(restored.exit_status, 0) << restored.stderr_text;
        EXPECT_EQ(restored.screen("final"), killed.screen("stopped"));
        EXPECT_EQ(restored.colors("final"), killed.colors("stopped"));
        EXPECT_EQ(restored.events_starting("beep").size(), 0u);  // the replay beeps nothing

        // The restored run holds the old input and is itself offered again.
        const auto after = journal_list(job);
        ASSERT_EQ(after.size(), 2u);
        EXPECT_TRUE(after[0].starts_with("2\t")) << after[0];
        EXPECT_TRUE(after[0].ends_with("\tclosed")) << after[0];
    }
    JobFolder job;
    run_script("linktrav", kHalfTraverse, {job.env(), "MARULA_STOP_AFTER_EVENTS=5"});
    auto fresh = run_script("linktrav", {"type N", "snap asked"}, {job.env(), "MARULA_RESTORE=ask"});
    auto typed = run_script("linktrav", {"snap asked"});
    EXPECT_EQ(fresh.screen("asked"), typed.screen("asked"));  // N: the program's first question, nothing typed
    // Without MARULA_RESTORE=ask the Y is the program's first answer.
    JobFolder quiet;
    run_script("linktrav", kHalfTraverse, {quiet.env(), "MARULA_STOP_AFTER_EVENTS=5"});
    auto plain = run_script("linktrav", {"type Y", "snap first"}, {quiet.env()});
    auto plain_no_job = run_script("linktrav", {"type Y", "snap first"});
    EXPECT_EQ(plain.screen("first"), plain_no_job.screen("first"));
}

// The restore question names the run (program, start, answers: typed
// lines, not keys) over the program's own title screen, and a reopened run
// keeps that title: the rows above the table are a fresh start's.
TEST(Journal, TheRestoreQuestionNamesTheRunOverTheProgramsTitle) {
    const Lines three = {"type 1", "type 1", "type 1", "type 1"};
    const std::vector<std::tuple<const char*, const char*, Lines>> cases = {
        {"linktrav", "結合トラバース　%s　8件", Lines(kHalfTraverse.begin(), kHalfTraverse.begin() + 10)},
        {"looptrav", "閉合トラバース　%s　3件", three}, {"opentrav", "連続トラバース　%s　3件", three},
        {"radtrav", "放射トラバース　%s　3件", three},  {"isect2d", "2点2方向　%s　3件", three},
        {"isect1d", "3点1方向　%s　3件", three},        {"isect4p", "４点交点　%s　3件", three},
        {"perpfoot", "３点垂線　%s　3件", three},       {"invchain", "連続逆算　%s　3件", three},
        {"invradial", "放射逆算　%s　3件", three},      {"coordarea", "座標面積　%s　3件", three},
        {"cornercut", "隅切計算　%s　3件", three},
    };
    for (const auto& [program, named, killed] : cases) {
        SCOPED_TRACE(program);
        JobFolder job;
        run_script(program, killed, {job.env(), "MARULA_STOP_AFTER_EVENTS=" + std::to_string(killed.size() - 1)});
        const std::string started = journal_list(job).at(0).substr(2, 19);  // "1\tYYYY-MM-DD HH:MM:SS\t…"
        std::string question = std::string("前回の入力（") + named + "）を復元しますか（Y/N）";
        question.replace(question.find("%s"), 2,
                         started.substr(5, 2) + "/" + started.substr(8, 2) + " " + started.substr(11, 5));
        auto asked = run_script(program, {"snap asked", "type N", "snap first"}, {job.env(), "MARULA_RESTORE=ask"});
        auto reopened = run_script(program, {"snap reopened"}, {job.env(), "MARULA_REOPEN=1"});
        EXPECT_EQ(asked.row("asked", 23), question);
        for (int row : {0, 1, 2}) {
            EXPECT_EQ(asked.row("asked", row), asked.row("first", row)) << "over its title screen, row " << row;
            EXPECT_EQ(reopened.colors("reopened")[row], asked.colors("first")[row]) << "reopened, row " << row;
        }
    }
}

// A run ended with the end key is not offered, but reopens (MARULA_REOPEN)
// to its table without printing again or ending; the reopened run carries
// on with new input.
TEST(Journal, AFinishedRunIsNotOfferedButReopensWithoutPrinting) {
    JobFolder job;
    auto finished = run_script("linktrav", kHalfTraverse + kRestOfTraverse + Lines{"snap table", "key F4", "key F8"},
                               {job.env()});
    ASSERT_EQ(finished.exit_status, 0) << finished.stderr_text;
    ASSERT_TRUE(finished.logged("end"));
    ASSERT_FALSE(finished.events_starting("print ").empty());
    auto list = journal_list(job);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].ends_with("\tend")) << list[0];

    // Not offered: the Y reaches the program as its first answer.
    auto not_offered = run_script("linktrav", {"type Y", "snap first"}, {job.env(), "MARULA_RESTORE=ask"});
    EXPECT_NE(not_offered.row("first", 3).find("Y"), std::string::npos) << not_offered.row("first", 3);

    auto reopened = run_script("linktrav", {}, {job.env(), "MARULA_REOPEN=1"});
    ASSERT_EQ(reopened.exit_status, 0) << reopened.stderr_text;
    EXPECT_EQ(reopened.screen("final"), finished.screen("table"));
    EXPECT_TRUE(reopened.events_starting("print ").empty());  // the F4 of the old run printed nothing now
    EXPECT_FALSE(fs::exists(reopened.out_dir / "print-1.txt"));
    EXPECT_FALSE(reopened.logged("end"));  // stopped before the F8 that ended it
    EXPECT_TRUE(reopened.events_starting("beep").empty());

    // Reopened and printed again: the sheet is the original's.
    auto printed = run_script("linktrav", {"key F4"}, {job.env(), "MARULA_REOPEN=1"});
    EXPECT_EQ(test::transcript(printed), test::transcript(finished));
}

// Escape at an entry asks whether to leave for the menu: N goes back to the
// same question as it stood, Y starts the launcher, and the next start of
// the traverse offers the input. Without a job the question says that the
// input will not be kept.
TEST(Journal, EscapeLeavesTheEntryForTheMenuAndItsInputIsOffered) {
    JobFolder job;
    const Lines start(kHalfTraverse.begin(), kHalfTraverse.begin() + 6);  // halfway into leg 1
    auto left = run_script("linktrav", start + Lines{"snap before", "key Escape", "snap asked", "type N", "snap back",
                                                     "key Escape", "key Enter", "snap enter", "key Escape", "type Y"},
                           {job.env()});
    ASSERT_EQ(left.exit_status, 0) << left.stderr_text;
    EXPECT_EQ(left.row("asked", 23), "入力を中止してメニューに戻りますか（Y/N）");
    EXPECT_EQ(left.screen("back"), left.screen("before"));
    EXPECT_EQ(left.screen("enter"), left.screen("before"));  // Enter is N
    EXPECT_EQ(left.events_starting("run "), std::vector<std::string>{"run marula"});
    EXPECT_TRUE(left.logged("start marula"));
    const auto list = journal_list(job);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].ends_with("\tescaped")) << list[0];

    auto restored = run_script("linktrav", {"type Y"}, {job.env(), "MARULA_RESTORE=ask"});
    ASSERT_EQ(restored.exit_status, 0) << restored.stderr_text;
    EXPECT_EQ(restored.screen("final"), left.screen("before"));
    EXPECT_EQ(restored.colors("final"), left.colors("before"));

    auto unkept = run_script("linktrav", start + Lines{"key Escape", "snap asked", "type N", "snap back"});
    EXPECT_NE(unkept.row("asked", 23).find("入力は保存されません"), std::string::npos) << unkept.row("asked", 23);
    EXPECT_EQ(unkept.screen("back"), left.screen("before"));
}

// The point list's journal (F7, F4) lists the runs newest first, each by its
// own number and its program's name, and reopens the one whose number is
// typed: its program starts with the run replayed, a correction and a
// print give the original's sheet with that correction, as if typed whole.
TEST(Journal, ARunReopenedFromThePointListIsCorrectedAndPrinted) {
    JobFolder job;
    auto finished = run_script("linktrav", kHalfTraverse + kRestOfTraverse + Lines{"key F4", "key F8"}, {job.env()});
    ASSERT_EQ(finished.exit_status, 0) << finished.stderr_text;
    run_script("isect2d", {"type A1"}, {job.env()});  // run 2, listed first
    const Lines correction = {"key F1", "type 4", "type 1", "type 100.004"};
    auto reopened = run_script("points", Lines{"key F7", "key F4", "snap journal", "type 1", "snap reopened"} +
                                             correction + Lines{"key F4"},
                               {job.env()});
    ASSERT_EQ(reopened.exit_status, 0) << reopened.stderr_text;
    const std::string newest = reopened.row("journal", 4), oldest = reopened.row("journal", 5);
    EXPECT_TRUE(newest.starts_with("    2 ")) << newest;
    EXPECT_NE(newest.find(" 2点2方向 "), std::string::npos) << newest;
    EXPECT_TRUE(oldest.starts_with("    1 ")) << oldest;
    EXPECT_NE(oldest.find(" 結合トラバース B K1 P1 "), std::string::npos) << oldest;
    EXPECT_NE(oldest.find("終了"), std::string::npos) << oldest;
    EXPECT_TRUE(reopened.logged("run linktrav"));
    EXPECT_EQ(reopened.events_starting("print ").size(), 1u);  // only the new print: the replay printed nothing

    JobFolder other;  // a sheet printed in a job names it: the same name ("job") here
    auto typed = run_script("linktrav", kHalfTraverse + kRestOfTraverse + correction + Lines{"key F4"}, {other.env()});
    ASSERT_FALSE(test::transcript(typed).empty());
    EXPECT_EQ(test::transcript(reopened), test::transcript(typed));
    EXPECT_NE(test::transcript(reopened), test::transcript(finished));  // the correction is in it
    // The reopened run is a new run holding the old input and the new.
    const auto list = journal_list(job);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_TRUE(list[0].starts_with("3\t")) << list[0];
    EXPECT_NE(list[0].find("\tlinktrav\t"), std::string::npos) << list[0];
}

// Known points and azimuths taken from the job are journaled as the values
// taken, typed: the run replays the same after those points were changed
// in the job, reopened in it or printed and run without a job.
TEST(Journal, ValuesTakenFromTheJobReplayTheSameAfterTheJobChanged) {
    JobFolder job;
    const fs::path csv = job.path() / "given.csv";
    std::ofstream(csv) << "点名,X,Y\nB,1100.000,1000.000\nK1,1000.000,1000.000\nK2,900.010,1099.995\n"
                          "F,900.010,1199.995\n";
    points_command({"--job", job.job().string(), "import", csv.string()});
    // Enter at the starting azimuth, at each coordinate offered and at the
    // closing azimuth.
    const Lines by_name = {"type B",  "key Enter", "type K1",  "key Enter",    "key Enter", "type P1",
                           "type 90", "type 100",  "type K2",  "type 270",     "type 100",  "type F",
                           "type 90.0010", "type 0", "key Enter", "key Enter", "key Enter"};
    auto original = run_script("linktrav", by_name, {job.env()});
    ASSERT_EQ(original.exit_status, 0) << original.stderr_text;
    const auto script = lines_of(points_command({"--job", job.job().string(), "journal", "1"}));
    ASSERT_EQ(script.size(), by_name.size() + 1);
    EXPECT_EQ(script[2], "type 0.0000");  // the starting azimuth, worked out from B and K1
    EXPECT_EQ(script[4], "type 1000.000");
    EXPECT_EQ(script[17], "type 90.0000");  // the closing azimuth, K2 to F

    // The job's given points move.
    const fs::path moved = job.path() / "moved.csv";
    std::ofstream(moved) << "点名,X,Y\nB,1200.000,1300.000\nK1,1010.000,990.000\nF,1.000,2.000\n";
    int status = 0;
    points_command({"--job", job.job().string(), "import", moved.string(), "--on-conflict", "replace"}, &status);
    ASSERT_EQ(status, 0);

    auto without_job = run_script("linktrav", script);
    EXPECT_EQ(without_job.screen("final"), original.screen("final"));
    EXPECT_EQ(without_job.colors("final"), original.colors("final"));
    // Reopened, the moved points are named in one question; N replays the
    // run as it was recorded.
    auto reopened = run_script("linktrav", {"snap asked", "type N"}, {job.env(), "MARULA_REOPEN=1"});
    ASSERT_EQ(reopened.exit_status, 0) << reopened.stderr_text;
    EXPECT_NE(reopened.row("asked", 23).find("現場の座標が変わった点があります（B ほか2点）。現在の座標で計算しますか（Y/N）"),
              std::string::npos)
        << reopened.row("asked", 23);
    EXPECT_EQ(reopened.screen("final"), original.screen("final"));
}

// The answer to the job's own question (replace stored points?) is kept
// apart from the input: the printed run holds it as a comment, not as a
// typed line, and replays to the same screen without a job (where the
// question never comes).
TEST(Journal, TheJobsQuestionIsKeptApartFromTheInput) {
    JobFolder job;
    const fs::path csv = job.path() / "p1.csv";
    std::ofstream(csv) << "点名,X,Y\nP1,1.000,2.000\n";
    points_command({"--job", job.job().string(), "import", csv.string()});
    auto original = run_script("linktrav", kHalfTraverse + kRestOfTraverse + Lines{"type N"}, {job.env()});
    ASSERT_EQ(original.exit_status, 0) << original.stderr_text;
    const auto script = lines_of(points_command({"--job", job.job().string(), "journal", "1"}));
    EXPECT_TRUE(test::has_line(script, "# 計算値で現場の1点を置き換えますか（Y/N）P1 N"));
    EXPECT_FALSE(test::has_line(script, "type N"));
    auto without_job = run_script("linktrav", script);
    EXPECT_EQ(without_job.screen("final"), original.screen("final"));
    EXPECT_TRUE(points_command({"--job", job.job().string(), "list"}).starts_with("P1\t1.000\t2.000\t\n"));  // kept
}

// A damaged record is never replayed in part: the restore says so and the
// program starts afresh; the question asked by a program started by RUN
// never comes in script mode.
TEST(Journal, ADamagedRecordIsNotReplayed) {
    JobFolder job;
    run_script("linktrav", kHalfTraverse, {job.env(), "MARULA_STOP_AFTER_EVENTS=6"});
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((job.job() / "job.db").c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "UPDATE journal_events SET line = 'kye F3' WHERE seq = 2", nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    auto restored = run_script("linktrav", {"type Y", "snap first"}, {job.env(), "MARULA_RESTORE=ask"});
    ASSERT_EQ(restored.exit_status, 0) << restored.stderr_text;
    auto fresh = run_script("linktrav", {"snap first"});
    EXPECT_EQ(restored.screen("first"), fresh.screen("first"));  // nothing of the damaged run
    EXPECT_EQ(restored.events_starting("beep").size(), 1u);      // the notice
}

// A run that no longer fits its program (here a typed line where the
// program now waits for a key) is replayed up to that event and no
// further, with a notice naming it.
TEST(Journal, AReplayStopsAtTheFirstEventThatNoLongerFits) {
    JobFolder job;
    auto finished = run_script("linktrav", kHalfTraverse + kRestOfTraverse + Lines{"snap table", "key F5", "key F8"},
                               {job.env()});
    ASSERT_EQ(finished.exit_status, 0) << finished.stderr_text;
    const int changed = int(kHalfTraverse.size() + kRestOfTraverse.size());  // the F5 at the table
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((job.job() / "job.db").c_str(), &db), SQLITE_OK);
        const std::string sql = "UPDATE journal_events SET line = 'type 5' WHERE seq = " + std::to_string(changed);
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    auto reopened = run_script("linktrav", {}, {job.env(), "MARULA_REOPEN=1"});
    ASSERT_EQ(reopened.exit_status, 0) << reopened.stderr_text;
    EXPECT_EQ(reopened.events_starting("error replay"),
              std::vector<std::string>{"error replay stopped at event " + std::to_string(changed + 1) + ": type 5"});
    EXPECT_EQ(reopened.events_starting("beep").size(), 1u);  // the notice
    EXPECT_EQ(reopened.screen("final"), finished.screen("table"));
}

// A job made by the version before the journal is brought up to date at a
// program's start: its points stay, the journal's tables are added and the
// run is journaled.
TEST(Journal, AnEarlierJobGainsItsJournalAndKeepsItsPoints) {
    JobFolder job;
    fs::create_directories(job.job());
    {
        // The job as the first version made it: a header, one point and its history.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((job.job() / "job.db").c_str(), &db), SQLITE_OK);
        const std::string sql = job::migration_statements(1) +
                                "UPDATE job_header SET display_name = 'J';"
                                "INSERT INTO points (name, folded, x, y) VALUES ('A', 'A', 1000, 2000);"
                                "INSERT INTO history (time, program, action, name, new_number, new_name, new_x, new_y,"
                                " source) VALUES ('2026-12-01 10:00:00', 'marula-points', 'import', 'A', 1, 'A',"
                                " 1000, 2000, 'p.csv:2');"
                                "PRAGMA application_id = " + std::to_string(job::kApplicationId) +
                                "; PRAGMA user_version = 1;";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    auto r = run_script("linktrav", kHalfTraverse, {job.env()});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.events_starting("beep").size(), 0u);
    EXPECT_TRUE(points_command({"--job", job.job().string(), "list"}).starts_with("A\t1.000\t2.000\t\n"));
    const auto list = journal_list(job);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_NE(list[0].find("\tlinktrav\t"), std::string::npos) << list[0];
}

// A job that cannot be written gives one notice for the journal and the
// program works as without a job: a read-only job is said once by the
// program (the journal adds nothing to it); on a full disk the journal
// says so once, beside the program's own notice of the known point it
// could not add.
TEST(Journal, AJournalThatCannotBeWrittenGivesOneNoticeAndTheProgramWorks) {
    const std::vector<std::pair<Lines, std::size_t>> faults = {
        {{"DISK_FAULT_CALL=open", "DISK_FAULT_PATH=job.db", "DISK_FAULT_ERRNO=EACCES"}, 1},
        {{"DISK_FAULT_CALL=write", "DISK_FAULT_PATH=job.db-wal"}, 2}};
    auto plain = run_script("linktrav", kHalfTraverse);
    for (const auto& [fault, notices] : faults) {
        SCOPED_TRACE(fault.front());
        JobFolder job;
        // The job exists beforehand, as a job a program made earlier.
        points_command({"--job", job.job().string(), "init", "--name", "J"});
        Lines env = fault;
        env.push_back(job.env());
        env.push_back(std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS);
        env.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
        auto r = run_script("linktrav", kHalfTraverse, env);
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_EQ(r.events_starting("beep").size(), plain.events_starting("beep").size() + notices);
        EXPECT_EQ(r.screen("final"), plain.screen("final"));
        EXPECT_TRUE(journal_list(job).empty());
    }
}

}  // namespace
}  // namespace marula
