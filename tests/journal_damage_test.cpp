// Journal records that cannot be trusted, through the real connecting
// traverse: an event holding a control character (never typed so) stops a
// replay before it, with its notice; MARULA_REOPEN takes a plain run
// number only, and anything else is said and the program starts fresh.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <vector>

#include "script_run.h"
#include "temp_folder.h"

namespace marula {
namespace {

namespace fs = std::filesystem;
using test::Lines;
using test::operator+;
using test::run_script;
using test_support::TempFolder;

// The connecting traverse to its table: backsight, azimuth, station 0, two
// legs, the closing point.
const Lines kTraverse = {
    "type B",  "type 0",   "type K1",  "type 1000", "type 1000",    "type P1", "type 90",      "type 100",
    "type K2", "type 270", "type 100", "type F",    "type 90.0010", "type 0",  "type 900.010", "type 1099.995",
    "type 90",
};

void sql(const fs::path& job, const std::string& statement) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((job / "job.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << statement;
    sqlite3_close(db);
}

TEST(JournalDamage, AnEventHoldingAControlCharacterStopsTheReplayBeforeIt) {
    TempFolder temp("marula-journal-damage");
    const fs::path job = temp.path() / "job";
    const std::string env = "MARULA_JOB=" + job.string();
    auto finished = run_script("linktrav", kTraverse + Lines{"key F8"}, {env});
    ASSERT_EQ(finished.exit_status, 0) << finished.stderr_text;
    struct Case {
        const char* what;
        const char* line;  // the event at seq 8 ("type K2") becomes this
    } const cases[] = {
        {"a line break", "'type K2' || char(10) || 'key F8'"},
        {"an escape", "'type K2' || char(27) || ']0;owned' || char(7)"},
        {"a C1 control", "'type K2' || char(155)"},
    };
    // Where the replay stops: the screen after the first eight events.
    const Lines before(kTraverse.begin(), kTraverse.begin() + 8);
    auto partial = run_script("linktrav", before);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sql(job, std::string("UPDATE journal_events SET line = ") + c.line + " WHERE run = 1 AND seq = 8");
        auto reopened = run_script("linktrav", {}, {env, "MARULA_REOPEN=1"});
        ASSERT_EQ(reopened.exit_status, 0) << reopened.stderr_text;
        EXPECT_EQ(reopened.screen("final"), partial.screen("final"));
        EXPECT_EQ(reopened.events_starting("error replay stopped: 入力の記録が途中から壊れている").size(), 1u);
        EXPECT_FALSE(reopened.logged("end"));  // the forged F8 after the line break is not taken
    }
}

TEST(JournalDamage, OnlyAPlainRunNumberReopensARun) {
    TempFolder temp("marula-journal-reopen");
    const fs::path job = temp.path() / "job";
    const std::string env = "MARULA_JOB=" + job.string();
    auto finished = run_script("linktrav", kTraverse + Lines{"snap table", "key F8"}, {env});
    ASSERT_EQ(finished.exit_status, 0) << finished.stderr_text;
    auto fresh = run_script("linktrav", {"snap first"});
    struct Case {
        const char* value;
        bool reopens;
    } const cases[] = {
        {"1", true}, {"1abc", false}, {" 1", false}, {"1e0", false}, {"0", false},
        {"-1", false}, {"run", false}, {"99", false},  // no such run
        {"+1", false}, {"01", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        auto r = run_script("linktrav", {"snap first"}, {env, std::string("MARULA_REOPEN=") + c.value});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        const std::string said = std::string("MARULA_REOPEN=") + c.value + " はlinktravの記録の番号ではありません";
        EXPECT_EQ(r.events_starting("error " + said).size(), c.reopens ? 0u : 1u);
        EXPECT_EQ(r.stderr_text.find(said) != std::string::npos, !c.reopens) << r.stderr_text;
        EXPECT_EQ(r.screen("first"), c.reopens ? finished.screen("table") : fresh.screen("first"));
    }
}

}  // namespace
}  // namespace marula
