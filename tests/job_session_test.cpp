// One program run, one session with its job: a calculation holds the job's
// locks for as long as it runs, so what other programs commit meanwhile is
// kept; a run killed before its store ends, once restored, with its points
// in the job as if it had been typed live.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "points_command.h"
#include "script_run.h"

#include "damaged_job.h"
#include "temp_folder.h"

namespace marula {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::points_command;
using test::operator+;
using test::run_script;
using test_support::TempFolder;
using test_support::garble_root_page;

fs::path bin() { return test::bin_dir(); }


// A connecting traverse from K1 through P1 to P2, closing on K2: the known
// points K1 and P2, typed, are added to the job; the station P1 is stored.
const Lines kTraverse = {"type B",    "type 0",     "type K1",   "type 1000",    "type 1000",    "type P1",
                         "type 90",   "type 100",   "type P2",   "type 270",     "type 100",     "type K2",
                         "type 90",   "type 0",     "type 1000", "type 1199.995", "type 90"};

// Whether process `pid` holds a lock on SQLite's lock bytes of `file`
// (the range at 1 GiB it takes its shared lock in): asked of the kernel,
// from a descriptor of this test process, which holds no lock itself.
bool holds_lock(const fs::path& file, pid_t pid) {
    const int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock probe{};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0x40000000;
    probe.l_len = 512;
    const bool locked = ::fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK && probe.l_pid == pid;
    ::close(fd);
    return locked;
}

TEST(JobSession, WhatAnotherProgramCommitsWhileACalculationRunsIsKept) {
    TempFolder t;
    const fs::path job = t.path() / "job";
    points_command({"--job", job.string(), "init", "--name", "J"});
    const fs::path script = t.path() / "script";
    {
        // Halfway, a snap whose file the program stops itself at.
        std::ofstream out(script);
        for (std::size_t i = 0; i < kTraverse.size(); ++i) out << (i == 9 ? "snap pausehere\n" : "") << kTraverse[i] << "\n";
    }
    const fs::path csv = t.path() / "more.csv";
    std::ofstream(csv) << "点名,X,Y\nA1,10.000,20.000\nA2,30.000,40.000\n";
    fs::create_directories(t.path() / "out");

    // The traverse stops itself halfway, between two events, with the job
    // open and its journal begun.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::setenv("MARULA_HEADLESS", "1", 1);
        ::setenv("MARULA_SCRIPT", script.c_str(), 1);
        ::setenv("MARULA_OUT", (t.path() / "out").c_str(), 1);
        ::setenv("MARULA_DATE", "2026/12/09", 1);
        ::setenv("MARULA_JOB", job.c_str(), 1);
        ::setenv("LD_PRELOAD", MARULA_DISK_FAULTS, 1);
        ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0:detect_leaks=0", 1);
        ::setenv("DISK_FAULT_CALL", "open", 1);
        ::setenv("DISK_FAULT_PATH", "pausehere", 1);
        ::setenv("DISK_FAULT_ERRNO", "STOP", 1);
        const std::string program = (bin() / "linktrav").string();
        ::execl(program.c_str(), "linktrav", nullptr);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, WUNTRACED), pid);
    ASSERT_TRUE(WIFSTOPPED(status)) << "the traverse ended before it stopped: " << status;

    // While it runs it holds its lock on the job: nobody else can take the
    // job for its own alone, or find itself its last user.
    EXPECT_TRUE(holds_lock(job / "job.db", pid));
    int imported = -1;
    const std::string said = points_command({"--job", job.string(), "import", csv.string()}, &imported);
    EXPECT_EQ(imported, 0);
    EXPECT_NE(said.find("added 2"), std::string::npos) << said;

    ::kill(pid, SIGCONT);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    const std::string list = points_command({"--job", job.string(), "list"});
    EXPECT_NE(list.find("A1\t10.000\t20.000\t\n"), std::string::npos) << list;
    EXPECT_NE(list.find("A2\t30.000\t40.000\t\n"), std::string::npos) << list;
    EXPECT_NE(list.find("P1\t"), std::string::npos) << list;  // the traverse's own store too
    const std::string history = points_command({"--job", job.string(), "history"});
    EXPECT_NE(history.find("\timport\tA1\t"), std::string::npos) << history;
    EXPECT_NE(history.find("more.csv:3"), std::string::npos) << history;
    const std::string journal = points_command({"--job", job.string(), "journal"});
    EXPECT_NE(journal.find("\tlinktrav\tB K1 P1\tclosed"), std::string::npos) << journal;
}

// A run killed while the job's question stood (its points computed, not yet
// stored) is restored, asks again, and ends with its points in the job as a
// live run would.
TEST(JobSession, ARunKilledBeforeItsStoreStoresOnceRestored) {
    TempFolder t;
    const fs::path job = t.path() / "job";
    const std::string env = "MARULA_JOB=" + job.string();
    const fs::path csv = t.path() / "p1.csv";
    std::ofstream(csv) << "点名,X,Y,H\nP1,1.000,2.000,35.120\n";
    points_command({"--job", job.string(), "import", csv.string()});
    // Stopped at the question: every event of the entry taken, none after.
    auto killed = run_script("linktrav", kTraverse + Lines{"type Y"},
                             {env, "MARULA_STOP_AFTER_EVENTS=" + std::to_string(kTraverse.size())});
    ASSERT_TRUE(killed.has_snap("stopped"));
    EXPECT_NE(killed.row("stopped", 23).find("置き換えますか"), std::string::npos) << killed.row("stopped", 23);
    const std::string before = points_command({"--job", job.string(), "list"});
    EXPECT_TRUE(before.starts_with("P1\t1.000\t2.000\t35.120\n")) << before;  // not yet stored

    auto restored = run_script("linktrav", {"type Y", "snap asked", "type Y"}, {env, "MARULA_RESTORE=ask"});
    ASSERT_EQ(restored.exit_status, 0) << restored.stderr_text;
    EXPECT_NE(restored.row("asked", 23).find("計算値で現場の1点を置き換えますか（Y/N）P1"), std::string::npos)
        << restored.row("asked", 23);
    // P1 where a live run of the same traverse stores it, its height kept.
    const fs::path live_job = t.path() / "live";
    run_script("linktrav", kTraverse, {"MARULA_JOB=" + live_job.string()});
    const std::string live = points_command({"--job", live_job.string(), "list"});
    const std::string restored_list = points_command({"--job", job.string(), "list"});
    auto line_of = [](const std::string& list, const std::string& name) {
        const auto at = list.find(name + "\t");
        return at == std::string::npos ? std::string() : list.substr(at, list.find('\n', at) - at);
    };
    ASSERT_FALSE(line_of(live, "P1").empty()) << live;
    EXPECT_EQ(line_of(restored_list, "P1"), line_of(live, "P1") + "35.120") << restored_list;
    // The history says the restored run replaced it, the height staying.
    const std::string history = points_command({"--job", job.string(), "history"});
    EXPECT_NE(history.find("\tlinktrav\treplace\tP1\tP1 1.000 2.000 35.120\t"), std::string::npos) << history;
}

// Several programs making the same new job at once each wait their turn:
// none fails, none sees a job half made.
TEST(JobSession, ProgramsMakingOneNewJobAtOnceAllSucceed) {
    for (int round = 0; round < 3; ++round) {
        TempFolder t;
        const fs::path job = t.path() / "new";
        std::vector<pid_t> started;
        for (int i = 0; i < 8; ++i) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                const int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 1);
                ::dup2(null, 2);
                const std::string program = (bin() / "marula-points").string();
                ::execl(program.c_str(), "marula-points", "--job", job.c_str(), "init", "--name", "新", nullptr);
                ::_exit(127);
            }
            started.push_back(pid);
        }
        for (const pid_t pid : started) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round << ": " << status;
        }
        int checked = -1;
        EXPECT_EQ(points_command({"--job", job.string(), "list"}, &checked), "");
        EXPECT_EQ(checked, 0);
    }
}


// A job found damaged during a run is said once, naming it; the program
// goes on as without a job and writes nothing more to it.
TEST(JobSession, AJobFoundDamagedIsSaidOnceAndNotWrittenAgain) {
    TempFolder t;
    const fs::path job = t.path() / "job";
    const fs::path csv = t.path() / "p.csv";
    {
        std::ofstream out(csv);
        out << "点名,X,Y\n";
        for (int i = 0; i < 400; ++i) out << "Q" << i << "," << i << ".000,1.000\n";
    }
    points_command({"--job", job.string(), "import", csv.string()});
    garble_root_page(job / "job.db", "points");
    auto damaged = run_script("linktrav", kTraverse, {"MARULA_JOB=" + job.string()});
    ASSERT_EQ(damaged.exit_status, 0) << damaged.stderr_text;
    const auto notices = damaged.events_starting("notice ");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find("壊れています"), std::string::npos) << notices[0];
    EXPECT_NE(notices[0].find((job / "job.db").string()), std::string::npos) << notices[0];
    auto plain = run_script("linktrav", kTraverse);
    EXPECT_EQ(damaged.screen("final"), plain.screen("final"));
    // Neither the typed points nor the computed station reached the job.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((job / "job.db").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM history_changes WHERE name IN ('K1', 'P1', 'P2')", -1, &stmt, nullptr);
    ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(stmt, 0), 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

}  // namespace
}  // namespace marula
