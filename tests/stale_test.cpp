// Results that follow their inputs, over a real job: a traverse, a radial
// traverse from one of its stations, a corner cut on one of the radial
// points, then the traverse run again with a corrected angle. What was
// computed from the old station is stale (and what was computed from a
// stale point too); a reopened run answered Y calculates with the job's
// values as they are now and its points are no longer stale; answered N,
// or with a moved input renamed, it replays as recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "points_command.h"
#include "script_run.h"
#include "temp_folder.h"

namespace marula {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::operator+;
using test::points_command;
using test::run_script;
using test_support::TempFolder;

// A connecting traverse from K1 (backsight B) to K2 (forward F), every
// given value taken from the job by Enter; its one station P1 is stored.
// The angle at K1 places P1 off the line K1 stands on towards it.
Lines traverse(const std::string& first_angle) {
    return {"type B",  "key Enter", "type K1",       "key Enter",    "key Enter", "type P1",
            "type " + first_angle, "type 100",      "type K2",      "type 270",  "type 100",
            "type F",  "type 90.0010", "type 0",     "key Enter",    "key Enter", "key Enter"};
}
const std::string kFirstAngle = "90", kCorrectedAngle = "90.0030";

// From P1 (backsight K1, the azimuth from their coordinates), two points.
const Lines kRadial = {"type K1", "key Enter", "type P1", "key Enter", "key Enter", "type R1",
                       "type 30", "type 50",   "type R2", "type 60",   "type 40",   "type *"};

// The corner R1 between B and K1, cut by a 3 m chord: R1-P and R1-Q.
const Lines kCornerCut = {"type B",  "key Enter", "key Enter", "type R1", "key Enter", "key Enter",
                          "type K1", "key Enter", "key Enter", "type 3"};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < text.size()) {
        const auto end = text.find('\n', at);
        out.push_back(text.substr(at, end - at));
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return out;
}

// `list --stale` as NAME → the input that moved.
std::vector<std::pair<std::string, std::string>> stale(const fs::path& job) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const std::string& line : lines_of(points_command({"--job", job.string(), "list", "--stale"}))) {
        const auto first = line.find('\t'), last = line.rfind('\t');
        out.emplace_back(line.substr(0, first), line.substr(last + 1));
    }
    return out;
}

// Imports CSV rows (点名,X,Y) into the job, on a conflict as `on_conflict`.
void import_rows(const fs::path& job, const std::string& rows, const std::string& on_conflict = "keep") {
    TempFolder t;
    const fs::path csv = t.path() / "rows.csv";
    std::ofstream(csv) << "点名,X,Y\n" << rows;
    points_command({"--job", job.string(), "import", csv.string(), "--on-conflict", on_conflict});
}

// The final screen of `program` typed by hand over a fresh job holding
// the points `given` as `job` holds them now.
std::vector<std::string> typed_over(const fs::path& job, const std::vector<std::string>& given,
                                    const std::string& program, const Lines& lines) {
    std::string rows;
    for (const std::string& line : lines_of(points_command({"--job", job.string(), "list"}))) {
        std::string row = line.substr(0, line.rfind('\t'));
        std::replace(row.begin(), row.end(), '\t', ',');
        if (std::find(given.begin(), given.end(), row.substr(0, row.find(','))) != given.end()) rows += row + "\n";
    }
    TempFolder other;
    const fs::path copy = other.path() / "job";
    fs::create_directories(copy);
    import_rows(copy, rows);
    return run_script(program, lines, {"MARULA_JOB=" + copy.string()}).screen("final");
}

using Marks = std::vector<std::pair<std::string, std::string>>;

TEST(Stale, WhatWasComputedFromAMovedPointIsMarkedAndAReopenFollowsIt) {
    TempFolder t;
    const fs::path job = t.path() / "job";
    const std::string env = "MARULA_JOB=" + job.string();
    fs::create_directories(job);
    import_rows(job, "B,1100.000,1000.000\nK1,1000.000,1000.000\nK2,900.010,1099.995\nF,900.010,1199.995\n");

    ASSERT_EQ(run_script("linktrav", traverse(kFirstAngle), {env}).exit_status, 0);  // run 1: P1
    auto radial = run_script("radtrav", kRadial, {env});                         // run 2: R1, R2
    ASSERT_EQ(radial.exit_status, 0) << radial.stderr_text;
    ASSERT_EQ(run_script("cornercut", kCornerCut, {env}).exit_status, 0);      // run 3: R1-P, R1-Q
    EXPECT_EQ(stale(job), Marks{});

    // The traverse again with its first angle corrected: P1 moves across
    // the line from K1 (the run asks before it replaces the point another
    // run stored).
    ASSERT_EQ(run_script("linktrav", traverse(kCorrectedAngle) + Lines{"type Y"}, {env}).exit_status, 0);  // run 4
    EXPECT_EQ(stale(job), (Marks{{"R1", "P1"}, {"R2", "P1"}, {"R1-P", "R1"}, {"R1-Q", "R1"}}));
    // The point list marks them in its column 要.
    auto list = run_script("points", {"snap list"}, {env});
    ASSERT_EQ(list.exit_status, 0) << list.stderr_text;
    EXPECT_TRUE(list.row("list", 2).ends_with("要")) << list.row("list", 2);
    int marked_rows = 0;
    for (int row = 3; row <= 21; ++row) {
        const std::string line = list.row("list", row);
        if (line.size() < 8) continue;
        const std::string name = line.substr(7, line.find(' ', 7) - 7);
        const bool marked = line.ends_with("＊");
        marked_rows += marked;
        EXPECT_EQ(marked, name == "R1" || name == "R2" || name == "R1-P" || name == "R1-Q") << line;
    }
    EXPECT_EQ(marked_rows, 4);

    // Reopened and answered N, the radial traverse replays as recorded: the
    // same screen, its points where they were, still stale.
    auto as_recorded = run_script("radtrav", {"snap asked", "type N"}, {env, "MARULA_REOPEN=2"});
    ASSERT_EQ(as_recorded.exit_status, 0) << as_recorded.stderr_text;
    EXPECT_NE(as_recorded.row("asked", 23).find("現場の座標が変わった点があります（P1）。現在の座標で計算しますか（Y/N）"),
              std::string::npos)
        << as_recorded.row("asked", 23);
    EXPECT_EQ(as_recorded.screen("final"), radial.screen("final"));
    EXPECT_EQ(stale(job), (Marks{{"R1", "P1"}, {"R2", "P1"}, {"R1-P", "R1"}, {"R1-Q", "R1"}}));

    // Answered Y, a reopened run takes the job's values of today: its
    // screen is that of the same run typed by hand over them, and what it
    // stores is no longer stale. The radial traverse's azimuth follows its
    // moved station P1 (its backsight K1 stays); the traverse's closing
    // azimuth follows its closing station K2, moved here (F stays).
    struct Reopen {
        const char* what;
        std::string moved;  // CSV rows imported over the job first
        const char* program;
        const char* run;
        std::vector<std::string> given;
        Lines by_hand;
        Marks after;
    };
    const Reopen reopens[] = {
        {"radial traverse, station moved", "", "radtrav", "2", {"K1", "P1"}, kRadial, {{"R1-P", "R1"}, {"R1-Q", "R1"}}},
        {"traverse, closing station moved", "K2,900.060,1099.995\n", "linktrav", "4", {"B", "K1", "K2", "F"},
         traverse(kCorrectedAngle), {{"R1", "P1"}, {"R2", "P1"}, {"R1-P", "R1"}, {"R1-Q", "R1"}}},
    };
    for (const Reopen& r : reopens) {
        if (!r.moved.empty()) import_rows(job, r.moved, "replace");
        auto current = run_script(r.program, {"type Y", "type Y"}, {env, std::string("MARULA_REOPEN=") + r.run});
        ASSERT_EQ(current.exit_status, 0) << r.what << current.stderr_text;
        EXPECT_EQ(current.screen("final"), typed_over(job, r.given, r.program, r.by_hand)) << r.what;
        EXPECT_EQ(stale(job), r.after) << r.what;
    }

    // P1, renamed, is not offered again (the recorded run names P1, which
    // the job no longer holds): nothing is asked before the replay, which
    // goes as recorded, and its points stay stale, named by P1's new name.
    points_command({"--job", job.string(), "rename", "P1", "P1A"});
    auto renamed = run_script("radtrav", {"type Y"}, {env, "MARULA_REOPEN=2"});
    EXPECT_EQ(renamed.screen("final"), radial.screen("final"));
    EXPECT_EQ(stale(job), (Marks{{"R1", "P1A"}, {"R2", "P1A"}, {"R1-P", "R1"}, {"R1-Q", "R1"}}));
}

}  // namespace
}  // namespace marula
