// marula-points writing files and printing what came from outside, run as
// a real process on jobs in temporary folders: an export never replaces
// what stands under its name unless told to, and then only a regular file;
// it works where the file system refuses to rename without replacing; the
// names a spreadsheet would run are counted; everything printed from a
// file, a file name or the job stays one line a record; the job's name is
// checked when set and cut when shown.
#include "command_run.h"
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using marula::test_support::CommandOutcome;
using marula::test_support::TempFolder;

const fs::path kData = MARULA_POINTS_TESTDATA;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The preloaded library that fails chosen calls (the tests run as root).
std::vector<std::string> with_faults(std::vector<std::string> env) {
    env.push_back(std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS);
    env.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
    return env;
}

class Outside : public ::testing::Test {
protected:
    TempFolder temp{"marula-files-out"};
    fs::path job = temp.path() / "job";
    fs::path scratch = temp.path() / "scratch";

    void SetUp() override {
        fs::create_directories(scratch);
        ASSERT_EQ(run({"init", "--name", "試験", "--zone", "9"}).status, 0);
        ASSERT_EQ(run({"import", (kData / "store_before.sim").string()}).status, 0);
    }
    CommandOutcome run(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), {"--job", job.string()});
        return marula::test_support::run_command(MARULA_POINTS_COMMAND, args, env, scratch);
    }
    // Writes into job.db behind the job's back: what an older version, or a
    // hand, may have stored before the rules.
    void sql(const std::string& statement) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open((job / "job.db").c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, statement.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
};

struct ExportCase {
    const char* what;
    std::function<bool(const fs::path& target, const fs::path& elsewhere)> make;  // false: could not be made
    std::vector<std::string> options;
    std::vector<std::string> faults;  // DISK_FAULT_* settings, when any
    int status;
    bool written;
};
void PrintTo(const ExportCase& c, std::ostream* os) { *os << c.what; }

bool nothing(const fs::path&, const fs::path&) { return true; }
bool regular(const fs::path& f, const fs::path&) { return bool(std::ofstream(f) << "my notes"); }
bool dangling(const fs::path& f, const fs::path&) { return ::symlink("/proc/no-such-folder/x.csv", f.c_str()) == 0; }
bool linked(const fs::path& f, const fs::path& elsewhere) { return ::symlink(elsewhere.c_str(), f.c_str()) == 0; }
// The node of /dev/null, made in the test's own folder.
bool device(const fs::path& f, const fs::path&) { return ::mknod(f.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0; }
bool folder(const fs::path& f, const fs::path&) { return fs::create_directory(f); }

const std::vector<std::string> kRenameRefused = {"DISK_FAULT_CALL=renameat2", "DISK_FAULT_PATH=out.csv",
                                                 "DISK_FAULT_ERRNO=EINVAL"};

class Export : public Outside, public ::testing::WithParamInterface<ExportCase> {};

TEST_P(Export, WhatStandsUnderTheNameIsReplacedOnlyWhenToldAndOnlyWhenAFile) {
    const ExportCase& c = GetParam();
    const fs::path target = temp.path() / "out.csv", elsewhere = temp.path() / "elsewhere.csv";
    { std::ofstream(elsewhere) << "elsewhere"; }
    ASSERT_TRUE(c.make(target, elsewhere));
    const auto type_before = fs::symlink_status(target).type();
    std::vector<std::string> args = {"export", "csv", target.string()};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CommandOutcome r = run(args, c.faults.empty() ? std::vector<std::string>{} : with_faults(c.faults));
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.written) {
        EXPECT_EQ(slurp(target).rfind("\xEF\xBB\xBF点名,X,Y,H\r\nT1,", 0), 0u);
    } else {
        EXPECT_EQ(fs::symlink_status(target).type(), type_before);
        if (type_before == fs::file_type::regular) {
            EXPECT_EQ(slurp(target), "my notes");
        }
    }
    if (c.status == 3) {
        EXPECT_EQ(r.err, target.string() + ": exists\n");
    }
    EXPECT_EQ(slurp(elsewhere), "elsewhere");  // never written through a link
    for (const auto& entry : fs::directory_iterator(temp.path()))
        EXPECT_NE(entry.path().extension(), ".tmp") << entry.path();
}

INSTANTIATE_TEST_SUITE_P(
    Targets, Export,
    ::testing::Values(ExportCase{"free", nothing, {}, {}, 0, true},
                      ExportCase{"a file", regular, {}, {}, 3, false},
                      ExportCase{"a dangling link", dangling, {}, {}, 3, false},
                      ExportCase{"a link to a file", linked, {}, {}, 3, false},
                      ExportCase{"a device", device, {}, {}, 3, false},
                      ExportCase{"a folder", folder, {}, {}, 3, false},
                      ExportCase{"replace where free", nothing, {"--replace"}, {}, 0, true},
                      ExportCase{"replace a file", regular, {"--replace"}, {}, 0, true},
                      ExportCase{"replace a link", linked, {"--replace"}, {}, 5, false},
                      ExportCase{"replace a dangling link", dangling, {"--replace"}, {}, 5, false},
                      ExportCase{"replace a device", device, {"--replace"}, {}, 5, false},
                      // A file system that cannot rename without replacing.
                      ExportCase{"free, by link", nothing, {}, kRenameRefused, 0, true},
                      ExportCase{"a file, by link", regular, {}, kRenameRefused, 3, false},
                      ExportCase{"a dangling link, by link", dangling, {}, kRenameRefused, 3, false},
                      ExportCase{"replace where free, by link", nothing, {"--replace"}, kRenameRefused, 0, true},
                      // The seam reaches the rename: a real failure there is said.
                      ExportCase{"the rename fails",
                                 nothing,
                                 {},
                                 {"DISK_FAULT_CALL=renameat2", "DISK_FAULT_PATH=out.csv", "DISK_FAULT_ERRNO=EIO"},
                                 5,
                                 false}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST_F(Outside, ExportingOntoTheFileJustImportedKeepsItWhole) {
    const fs::path lots = temp.path() / "lots.sim";
    fs::copy_file(kData / "s05_lots_mixed.sim", lots);
    ASSERT_EQ(run({"import", lots.string(), "--on-conflict", "keep"}).status, 0);
    const CommandOutcome r = run({"export", "sima", lots.string()});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, lots.string() + ": exists\n");
    EXPECT_EQ(slurp(lots), slurp(kData / "s05_lots_mixed.sim"));
}

// The job's database and SQLite's files beside it are never an export's
// target, however named and even with --replace (which would otherwise
// replace the database with the file); a file of another name in the job's
// folder, or of that name elsewhere, is.
TEST_F(Outside, AnExportNeverWritesTheJobsOwnFiles) {
    fs::create_directory_symlink(job, temp.path() / "job-link");
    fs::create_hard_link(job / "job.db", temp.path() / "alias.db");
    const struct Case {
        std::string target;  // as typed
        bool own;
    } cases[] = {
        {(job / "job.db").string(), true},
        {fs::relative(job / "job.db").string(), true},  // from the folder the command runs in
        {(job / "." / "job.db").string(), true},
        {(temp.path() / "job-link" / "job.db").string(), true},
        {(temp.path() / "alias.db").string(), true},  // the same file under another name
        {(job / "job.db-wal").string(), true},        // not there between runs: by name
        {(job / "job.db-shm").string(), true},
        {(job / "job.db-journal").string(), true},
        {(temp.path() / "job-link" / "job.db-wal").string(), true},
        {(job / "points.csv").string(), false},
        {(job / "reports" / "job.db").string(), false},
        {(scratch / "job.db").string(), false},
    };
    const std::string listed = run({"list"}).out;
    ASSERT_NE(listed, "");
    for (const Case& c : cases) {
        for (const bool replace : {false, true}) {
            std::vector<std::string> args = {"export", "csv", c.target};
            if (replace) args.push_back("--replace");
            const CommandOutcome r = run(args);
            const std::string what = c.target + (replace ? " --replace" : "");
            if (c.own) {
                EXPECT_EQ(r.status, 3) << what;
                EXPECT_EQ(r.err, c.target + ": the job's own file\n") << what;
            } else {
                EXPECT_EQ(r.status, 0) << what << ": " << r.err;
            }
            const CommandOutcome after = run({"list"});
            EXPECT_EQ(after.status, 0) << what << ": " << after.err;
            EXPECT_EQ(after.out, listed) << what;
            if (!c.own) fs::remove(c.target);  // free again for the run with --replace
        }
    }
    for (const char* sqlite_file : {"job.db-wal", "job.db-shm", "job.db-journal"})
        EXPECT_FALSE(fs::exists(job / sqlite_file)) << sqlite_file;
}

TEST_F(Outside, NamesASpreadsheetWouldRunAreCountedWhenWrittenAsText) {
    struct Case {
        std::vector<std::string> names;  // stored before such names were refused
        const char* counted;             // the line on standard error, or "" for none
    } const cases[] = {
        {{}, ""},
        {{"=SUM(1)"}, ": 1 name(s)"},
        {{"+SUM(1+1)", "-2+3", "@SUM(1)"}, ": 4 name(s)"},  // the one before is still there
    };
    int number = 100;
    for (const Case& c : cases) {
        for (const std::string& name : c.names)
            sql("INSERT INTO points (name, folded, x, y) VALUES ('" + name + "', '', " + std::to_string(++number) +
                ", 0)");
        const fs::path csv = temp.path() / ("formulas" + std::to_string(number) + ".csv");
        const CommandOutcome r = run({"export", "csv", csv.string()});
        EXPECT_EQ(r.status, 0) << r.err;
        if (*c.counted) {
            EXPECT_EQ(r.err.rfind(csv.string() + c.counted, 0), 0u) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        } else {
            EXPECT_EQ(r.err, "");
        }
        for (const std::string& name : c.names) EXPECT_NE(slurp(csv).find("\"'" + name + "\","), std::string::npos);
    }
    // A SIMA file holds no formulas: nothing to say.
    const CommandOutcome sima = run({"export", "sima", (temp.path() / "formulas.sim").string()});
    EXPECT_EQ(sima.status, 0);
    EXPECT_EQ(sima.err, "");
}

// Control characters from a file name, a stored name and the journal: each
// record printed stays one line, shown as \xNN, and a damaged journal
// record is said in one comment line, never as script lines.
TEST_F(Outside, WhatCameFromOutsideIsPrintedOneLineARecord) {
    const std::string escape = "T\x1B]0;owned\x07";
    sql("INSERT INTO points (name, folded, x, y) VALUES ('" + escape + "', '', 1, 2)");
    sql("INSERT INTO points (name, folded, x, y) VALUES ('A\nB', '', 3, 4)");
    // A file whose name forges a line of the history.
    const fs::path forged = temp.path() / "a\tb\n2026-01-01 00:00:00\tmarula-points\tdelete.sim";
    { std::ofstream(forged, std::ios::binary) << "A01,1,F1,1.000,2.000,\r\n"; }
    ASSERT_EQ(run({"import", forged.string()}).status, 0);
    // A journaled run whose second event holds a line break and an escape.
    sql("INSERT INTO journal_runs (id, program, started) VALUES (7, 'linktrav', '2026-04-01 10:00:00')");
    sql("INSERT INTO journal_events (run, seq, line) VALUES (7, 0, 'type B'), (7, 1, 'type K1\n" + escape +
        "'), (7, 2, 'key F4')");
    // A parcel of those points under the same name, and a zone for "geo".
    sql("INSERT INTO parcels (id, name) VALUES (1, '" + escape + "')");
    sql("INSERT INTO parcel_vertices (parcel, seq, point) SELECT 1, row_number() OVER (ORDER BY number), number "
        "FROM points WHERE name IN ('" + escape + "', 'A\nB', 'F1')");
    sql("UPDATE job_header SET zone = 9");

    struct Case {
        std::vector<std::string> args;
        std::size_t lines;  // records, one a line
        const char* holds;  // a piece of the output
        const char* never;  // what must not be printed
    } const cases[] = {
        {{"list"}, 8, "T\\x1B]0;owned\\x07\t0.001\t0.002", "\x1B"},
        {{"list"}, 8, "A\\x0AB\t", "A\nB"},
        {{"history"}, 6, "\ta\\x09b\\x0A2026-01-01 00:00:00\\x09marula-points\\x09delete.sim:1", "\tdelete.sim"},
        {{"journal"}, 1, "7\t2026-04-01 10:00:00\tlinktrav\tB K1\\x0AT\\x1B]0;owned\\x07\t", "\x1B"},
        {{"journal", "7"}, 3, "\n# damaged: event 2 holds a control character (type K1\\x0AT\\x1B]0;owned\\x07); ",
         "key F4"},
        {{"geo"}, 8, "\nA\\x0AB\t", "A\nB"},
        {{"lot", "list"}, 1, "T\\x1B]0;owned\\x07\t3", "\x1B"},
        {{"lot", "show", escape}, 3, "T\\x1B]0;owned\\x07\nA\\x0AB\nF1\n", "\x1B"},
    };
    for (const Case& c : cases) {
        const CommandOutcome r = run(c.args);
        EXPECT_EQ(r.status, 0) << c.args[0] << r.err;
        EXPECT_EQ(lines_of(r.out).size(), c.lines) << r.out;
        EXPECT_NE(r.out.find(c.holds), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(c.never), std::string::npos) << r.out;
        for (const std::string& line : lines_of(r.out))
            EXPECT_EQ(line.find_first_of("\x07\x1B\r"), std::string::npos) << line;
    }
    // A record longer than any run is damaged, and said so in one line.
    sql("INSERT INTO journal_runs (id, program, started) VALUES (8, 'linktrav', '2026-04-01 11:00:00')");
    sql("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 100000) "
        "INSERT INTO journal_events (run, seq, line) SELECT 8, i, 'key F4' FROM n");
    const CommandOutcome long_run = run({"journal", "8"});
    EXPECT_EQ(long_run.status, 0);
    EXPECT_EQ(long_run.out, "# linktrav 2026-04-01 11:00:00 ended: killed\n"
                            "# damaged: the run holds 100001 events, more than any run can; it is left out\n");
    // A refusal quotes at most 40 bytes of what it was given, printable.
    const CommandOutcome missing = run({"rename", escape + std::string(100, 'x'), "T9"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "marula-points: 点名 T\\x1B]0;owned\\x07" + std::string(29, 'x') + "… はありません\n");
}

// A job that cannot be written when opened says why: a full disk is no
// read-only job. Its points are still listed; nothing is written.
TEST_F(Outside, AJobThatCannotBeWrittenAtOpeningSaysWhy) {
    struct Case {
        const char* error;
        const char* said;
    } const cases[] = {
        {"ENOSPC", "marula-points: ディスクがいっぱいで現場に書き込めません。座標は使えますが保存はしません\n"},
        {"EIO", "marula-points: ディスクの読み書きに失敗したため現場に書き込めません。座標は使えますが保存はしません\n"},
        {"EACCES", "marula-points: 現場は読み取り専用です。座標は使えますが保存はしません\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        // Every open for writing in the job's folder fails so.
        const auto env = with_faults({"DISK_FAULT_CALL=open", "DISK_FAULT_PATH=" + job.string(),
                                      std::string("DISK_FAULT_ERRNO=") + c.error});
        const CommandOutcome listed = run({"list"}, env);
        EXPECT_EQ(listed.status, 0);
        EXPECT_EQ(listed.err, c.said);
        EXPECT_EQ(lines_of(listed.out).size(), 5u);
        const CommandOutcome deleted = run({"delete", "T1"}, env);
        EXPECT_EQ(deleted.status, 5);
        EXPECT_EQ(deleted.err.rfind(c.said, 0), 0u) << deleted.err;
    }
    EXPECT_EQ(lines_of(run({"list"}).out).size(), 5u);
}

// A job's name is empty or up to 40 characters a point name could hold;
// one stored before that rule is kept, shown and exported cut.
TEST_F(Outside, TheJobsNameIsCheckedWhenSetAndCutWhenShown) {
    const std::string forty(40, 'K');
    struct Case {
        std::string name;
        int status;
    } const cases[] = {
        {"神南一丁目", 0}, {"", 0}, {forty, 0}, {forty + "K", 2}, {"a\nG00,04,forged", 2}, {"a,b", 2},
        {"现场", 2},  // not in CP932
    };
    for (const Case& c : cases) {
        const CommandOutcome r = run({"init", "--name", c.name});
        EXPECT_EQ(r.status, c.status) << c.name << r.err;
        if (c.status != 0) {
            EXPECT_NE(r.err.find("現場名"), std::string::npos) << r.err;
        }
    }
    const fs::path sima = temp.path() / "named.sim";
    ASSERT_EQ(run({"export", "sima", sima.string()}).status, 0);
    EXPECT_EQ(slurp(sima).rfind("G00,04," + forty + ",\r\n", 0), 0u);  // the last name accepted

    // Megabytes of name, with a line break, stored before the rule.
    sql("UPDATE job_header SET display_name = 'Ａ' || char(10) || replace(hex(zeroblob(1500000)), '0', 'Ｂ')");
    EXPECT_EQ(run({"init", "--zone", "5"}).status, 0);  // the name it holds is kept, not refused
    const fs::path cut = temp.path() / "cut.sim";
    ASSERT_EQ(run({"export", "sima", cut.string()}).status, 0);
    const std::vector<std::string> lines = lines_of(slurp(cut));
    ASSERT_GE(lines.size(), 3u);
    // One header line: the line break shown, the name cut to 40 characters
    // (in CP932: Ａ is 82 60, Ｂ 82 61).
    std::string bs;
    for (int i = 0; i < 35; ++i) bs += "\x82\x61";
    EXPECT_EQ(lines[0], "G00,04,\x82\x60\\x0A" + bs + ",\r");
    EXPECT_EQ(lines[1].rfind("Z00,", 0), 0u);
    EXPECT_EQ(lines[2], "Z01,5,\r");
    const CommandOutcome listed = run({"list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(lines_of(listed.out).size(), 5u);
}

}  // namespace
