// The command marula-points, run as a real process on jobs in temporary
// folders: the sample files, the merge choices byte for byte, exit
// statuses, two imports at once, a kill in the middle, and the faults.
#include "temp_folder.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kData = MARULA_POINTS_TESTDATA;
const char* const kCommand = MARULA_POINTS_COMMAND;

std::string slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using marula::test_support::TempFolder;

struct Outcome {
    int status = -1;      // exit status; 128 + signal when killed
    std::string out, err;
};

// Starts marula-points with these arguments (and "NAME=value" additions to
// the environment); its output goes to files in `scratch`.
pid_t start(const std::vector<std::string>& args, const std::vector<std::string>& env, const fs::path& scratch,
            const std::string& tag) {
    const pid_t pid = fork();
    if (pid == 0) {
        const std::string out = (scratch / (tag + ".out")).string(), err = (scratch / (tag + ".err")).string();
        if (!freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(127);
        for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
        unsetenv("MARULA_JOB");
        std::vector<char*> argv{const_cast<char*>(kCommand)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(kCommand, argv.data());
        _exit(127);
    }
    return pid;
}

Outcome finish(pid_t pid, const fs::path& scratch, const std::string& tag) {
    Outcome r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = slurp(scratch / (tag + ".out"));
    r.err = slurp(scratch / (tag + ".err"));
    return r;
}

class Points : public ::testing::Test {
protected:
    TempFolder temp;
    fs::path job = temp.path() / "job";

    Outcome run(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
        args.insert(args.begin(), {"--job", job.string()});
        return finish(start(args, env, temp.path(), "run"), temp.path(), "run");
    }
    std::string list() { return run({"list"}).out; }
    std::string exported_sima() {
        const fs::path file = temp.path() / "export.sim";
        // The same file each time: an export replaces only when told to.
        EXPECT_EQ(run({"export", "sima", file.string(), "--replace"}).status, 0);
        return slurp(file);
    }
    void store_before() {
        ASSERT_EQ(run({"init", "--name", "神南一丁目境界確定", "--zone", "9"}).status, 0);
        ASSERT_EQ(run({"import", (kData / "store_before.sim").string()}).status, 0);
        ASSERT_EQ(exported_sima(), slurp(kData / "store_before.sim"));
    }
};

struct MergeCase {
    const char* what;
    std::vector<std::string> choice;
    int status;
    const char* expected_sima;
};
void PrintTo(const MergeCase& c, std::ostream* os) { *os << c.what; }

class Merge : public Points, public ::testing::WithParamInterface<MergeCase> {};

TEST_P(Merge, ExportIsTheExpectedFileByteForByte) {
    const MergeCase& c = GetParam();
    store_before();
    std::vector<std::string> args = {"import", (kData / "s01_cad_standard.sim").string()};
    args.insert(args.end(), c.choice.begin(), c.choice.end());
    const Outcome r = run(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    // The preview's counts come first, whatever the choice.
    EXPECT_EQ(r.out.rfind("new 5\nidentical 2\nheight-added 1\nconflicts 1\nskipped-records 0\nwarnings 0\n", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find("conflict T2 stored T2 -36045.120 -8098.702 34.887 file T2 -36045.118 -8098.702 34.887 (line 6)"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(exported_sima(), slurp(kData / c.expected_sima)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    StoreBeforeThenS01, Merge,
    ::testing::Values(MergeCase{"keep", {"--on-conflict", "keep"}, 0, "store_after_keep.sim"},
                      MergeCase{"replace", {"--on-conflict", "replace"}, 0, "store_after_replace.sim"},
                      MergeCase{"cancel", {"--on-conflict", "cancel"}, 3, "store_before.sim"},
                      MergeCase{"no choice", {}, 3, "store_before.sim"}),
    [](const auto& info) {
        std::string n = info.param.what;
        std::replace(n.begin(), n.end(), ' ', '_');
        return n;
    });

TEST_F(Points, KeptMergeExportsTheExpectedCsvAndLogsEachChange) {
    store_before();
    ASSERT_EQ(run({"import", (kData / "s01_cad_standard.sim").string(), "--on-conflict", "keep"}).status, 0);
    const fs::path csv = temp.path() / "out.csv";
    ASSERT_EQ(run({"export", "csv", csv.string()}).status, 0);
    EXPECT_EQ(slurp(csv), slurp(kData / "store_after_keep.csv"));
    // Reading the export back gives the same points.
    const std::string listed = list();
    TempFolder other;
    const Outcome again = finish(start({"--job", (other.path() / "j").string(), "import", csv.string()}, {}, other.path(), "x"),
                             other.path(), "x");
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(finish(start({"--job", (other.path() / "j").string(), "list"}, {}, other.path(), "y"), other.path(), "y").out,
              listed);
    // History: five imported from store_before, five new and one height from s01.
    const Outcome h = run({"history"});
    std::istringstream lines(h.out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line);
    ASSERT_EQ(rows.size(), 11u) << h.out;
    EXPECT_NE(rows.back().find("\th-added\t引照点A\t引照点A -36001.990 -8177.315 -\t引照点A -36001.990 -8177.315 36.004\t"
                               "s01_cad_standard.sim:13"),
              std::string::npos)
        << rows.back();
}

struct FileCase {
    const char* file;
    std::vector<std::string> options;
    int status;
    const char* listed;  // the job's list afterwards, or the start of the error line
};
void PrintTo(const FileCase& c, std::ostream* os) { *os << c.file; }

class Files : public Points, public ::testing::WithParamInterface<FileCase> {};

TEST_P(Files, ReadThroughTheCommand) {
    const FileCase& c = GetParam();
    const std::string path = (kData / c.file).string();
    std::vector<std::string> args = {"import", path};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Outcome r = run(args);
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.status == 0) {
        EXPECT_EQ(list(), c.listed);
    } else {
        EXPECT_EQ(r.err, path + c.listed) << r.err;
        EXPECT_EQ(list(), "");  // nothing imported
    }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, Files,
    ::testing::Values(
        FileCase{"s02_no_header.sim", {}, 0,
                 "T1\t-36012.345\t-8123.456\t35.120\nT2\t-36045.118\t-8098.702\t34.887\n"
                 "境界1\t-36030.551\t-8150.033\t\n境界2\t-36061.207\t-8166.480\t\n"},
        FileCase{"s03_loose_fields.sim", {}, 0,
                 "T1\t-36012.345\t-8123.456\t35.120\nT2\t-36045.118\t-8098.702\t\nT3\t-36078.903\t-8131.245\t\n"
                 "4\t-36030.551\t-8150.033\t\n境界2\t-36061.207\t-8166.480\t\n"},
        FileCase{"c01_utf8_bom_header.csv", {}, 0,
                 "T1\t-36012.345\t-8123.456\t35.120\nT2\t-36045.118\t-8098.702\t34.887\nT3\t-36078.903\t-8131.245\t\n"
                 "境界①\t-36058.004\t-8110.917\t\n髙田杭3\t-36020.778\t-8102.634\t35.402\nｺｳ4\t-36070.412\t-8145.009\t\n"},
        FileCase{"c02_cp932_number_name_quoted.csv", {"--columns", "num,name,x,y,h"}, 0,
                 "T1\t-36012.345\t-8123.456\t35.120\nT2\t-36045.118\t-8098.702\t34.887\n境界1\t-36030.551\t-8150.033\t\n"
                 "引照点A\t-36001.990\t-8177.315\t36.004\n12*\t-36025.000\t-8140.500\t\n"},
        FileCase{"m01_truncated.sim", {}, 1, ":10: E_MISSING_Y: Y座標がありません\n"},
        FileCase{"m02_non_numeric_x.sim", {}, 1, ":6: E_NOT_NUMBER: 数値ではありません: -36O45.118\n"},
        FileCase{"m04_conflicting_duplicate.sim", {}, 1,
                 ":10: E_DUPLICATE_CONFLICT: 同じ点名で座標が違います: T2（6行目と10行目）\n"},
        FileCase{"c02_cp932_number_name_quoted.csv", {}, 1,
                 ": E_COLUMNS_UNKNOWN: 見出し行がありません。列の順を指定してください（例 name,x,y,h）\n"},
        FileCase{"c02_cp932_number_name_quoted.csv", {"--columns", "name,x,y,h"}, 1,
                 ":1: E_NOT_NUMBER: 数値ではありません: T1\n"}));

TEST_F(Points, UsageHelpAndChangesByName) {
    EXPECT_EQ(finish(start({"--help"}, {}, temp.path(), "h"), temp.path(), "h").out.rfind("Usage: marula-points", 0), 0u);
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"frobnicate"}, 2},
        {{"import"}, 2},
        {{"import", "file.txt"}, 2},
        {{"import", "x.csv", "--on-conflict", "maybe"}, 2},
        {{"import", "x.csv", "--columns", "x,y"}, 2},
        {{"init", "--zone", "20"}, 2},
        {{"export", "dxf", "x"}, 2},
        {{"import", (temp.path() / "missing.sim").string()}, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.args).status, c.status) << c.args[0];
    EXPECT_EQ(finish(start({"list"}, {}, temp.path(), "n"), temp.path(), "n").status, 2);  // no job given
    ASSERT_EQ(run({"import", (kData / "s02_no_header.sim").string()}).status, 0);
    EXPECT_EQ(run({"rename", "T1", "T9"}).status, 0);
    EXPECT_EQ(run({"rename", "T2", "T9"}).status, 2);  // taken
    EXPECT_EQ(run({"delete", "境界1"}).status, 0);
    EXPECT_EQ(run({"delete", "境界1"}).status, 2);     // gone
    EXPECT_EQ(list(), "T9\t-36012.345\t-8123.456\t35.120\nT2\t-36045.118\t-8098.702\t34.887\n"
                      "境界2\t-36061.207\t-8166.480\t\n");
}

// Parcels from the shell: listed with their vertex counts, shown vertex by
// vertex, refused by exit status and naming what is wrong, and keeping
// their points from being deleted.
TEST_F(Points, LotsAreKeptListedShownAndDeleted) {
    ASSERT_EQ(run({"import", (kData / "s02_no_header.sim").string()}).status, 0);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* err;  // a part of standard error
    } const cases[] = {
        {{"lot", "add", "L1", "T1", "T2", "境界2"}, 0, ""},
        {{"lot", "add", "L1", "T2", "T1", "境界2"}, 3, "L1: exists"},
        {{"lot", "add", "L2", "T1", "T9", "境界2"}, 2, "点名 T9 はありません"},
        {{"lot", "add", "L2", "T1", "T2"}, 2, "3点以上"},
        {{"lot", "show", "L9"}, 2, "画地 L9 はありません"},
        {{"lot", "delete", "L9"}, 2, "画地 L9 はありません"},
        {{"lot", "frob"}, 2, "unknown lot command"},
        {{"delete", "T2"}, 2, "点名 T2 は画地 L1 の頂点です"},
        {{"rename", "T2", "P2"}, 0, ""},
        {{"lot", "add", "A0", "境界2", "P2", "T1", "境界1"}, 0, ""},
    };
    for (const Case& c : cases) {
        const Outcome o = run(c.args);
        EXPECT_EQ(o.status, c.status) << c.args[1] << " " << o.err;
        EXPECT_NE(o.err.find(c.err), std::string::npos) << c.args[1] << ": " << o.err;
    }
    EXPECT_EQ(run({"lot", "list"}).out, "A0\t4\nL1\t3\n");
    EXPECT_EQ(run({"lot", "show", "L1"}).out, "T1\nP2\n境界2\n");  // the vertex follows its rename
    EXPECT_EQ(run({"lot", "delete", "L1"}).status, 0);
    EXPECT_EQ(run({"lot", "list"}).out, "A0\t4\n");
    const std::string history = run({"history"}).out;
    EXPECT_NE(history.find("\tlot-add\tL1\t\tT1,T2,境界2\t"), std::string::npos) << history;
    EXPECT_NE(history.find("\tlot-delete\tL1\tT1,P2,境界2\t\t"), std::string::npos) << history;
}

// A SIMA file of `count` points named PREFIX0, PREFIX1, …
fs::path many_points(const fs::path& folder, const std::string& prefix, int count) {
    const fs::path file = folder / (prefix + ".sim");
    std::ofstream out(file, std::ios::binary);
    for (int i = 0; i < count; ++i) out << "A01," << i + 1 << "," << prefix << i << "," << -i << ".125," << i << ".5,\r\n";
    return file;
}

TEST_F(Points, TwoImportsAtOnceBothLand) {
    ASSERT_EQ(run({"init"}).status, 0);
    const fs::path a = many_points(temp.path(), "A", 3000), b = many_points(temp.path(), "B", 3000);
    const pid_t first = start({"--job", job.string(), "import", a.string()}, {}, temp.path(), "a");
    const pid_t second = start({"--job", job.string(), "import", b.string()}, {}, temp.path(), "b");
    const Outcome ra = finish(first, temp.path(), "a"), rb = finish(second, temp.path(), "b");
    // Each either succeeded or was told the job was busy; with the default
    // wait both should land.
    EXPECT_EQ(ra.status, 0) << ra.err;
    EXPECT_EQ(rb.status, 0) << rb.err;
    const std::string listed = list();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 6000);
    EXPECT_NE(listed.find("A2999\t-2999.125\t2999.500\t\n"), std::string::npos);
    EXPECT_NE(listed.find("B2999\t-2999.125\t2999.500\t\n"), std::string::npos);
}

TEST_F(Points, AnImportKilledHalfwayLeavesTheJobAsItWas) {
    store_before();
    const std::string before = exported_sima();
    const fs::path big = many_points(temp.path(), "K", 2000);
    const Outcome killed = run({"import", big.string()}, {"MARULA_JOB_KILL_DURING_IMPORT=1000"});
    EXPECT_EQ(killed.status, 128 + SIGKILL);
    EXPECT_EQ(exported_sima(), before);
    // The job still takes the import afterwards, whole.
    ASSERT_EQ(run({"import", big.string()}).status, 0);
    const std::string listed = list();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 2005);
}

TEST_F(Points, ABusyJobIsReportedAndNothingIsWritten) {
    store_before();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((job / "job.db").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const Outcome busy = run({"delete", "T1"}, {"MARULA_JOB_BUSY_TIMEOUT_MS=200"});
    const Outcome busy_import = run({"import", (kData / "s02_no_header.sim").string(), "--on-conflict", "replace"},
                                {"MARULA_JOB_BUSY_TIMEOUT_MS=200"});
    const Outcome reading = run({"list"}, {"MARULA_JOB_BUSY_TIMEOUT_MS=200"});
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    EXPECT_EQ(busy.status, 4) << busy.err;
    EXPECT_EQ(busy_import.status, 4) << busy_import.err;
    EXPECT_EQ(reading.status, 0);  // reading goes on while another writes
    EXPECT_EQ(exported_sima(), slurp(kData / "store_before.sim"));
}

struct FaultCase {
    const char* what;
    std::vector<std::string> env;
    int list_status;
    int import_status;
};
void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class Faults : public Points, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, NothingStoredIsLostAndTheReasonIsGiven) {
    const FaultCase& c = GetParam();
    store_before();
    const std::string db_before = slurp(job / "job.db");
    std::vector<std::string> env = c.env;
    env.push_back(std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS);
    // Under AddressSanitizer the preloaded library comes before its runtime.
    env.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
    const Outcome listed = run({"list"}, env);
    EXPECT_EQ(listed.status, c.list_status) << listed.err;
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 5) << c.what;  // points offered
    const Outcome imported = run({"import", (kData / "s01_cad_standard.sim").string(), "--on-conflict", "replace"}, env);
    EXPECT_EQ(imported.status, c.import_status) << imported.err;
    EXPECT_NE(imported.err.find("保存しませんでした"), std::string::npos) << imported.err;
    EXPECT_EQ(slurp(job / "job.db"), db_before) << c.what;
    EXPECT_EQ(exported_sima(), slurp(kData / "store_before.sim")) << c.what;
    // Without the fault the same import goes through.
    EXPECT_EQ(run({"import", (kData / "s01_cad_standard.sim").string(), "--on-conflict", "replace"}).status, 0);
    EXPECT_EQ(exported_sima(), slurp(kData / "store_after_replace.sim"));
}

INSTANTIATE_TEST_SUITE_P(
    Seam, Faults,
    ::testing::Values(FaultCase{"read_only_job", {"DISK_FAULT_CALL=open", "DISK_FAULT_PATH=job.db", "DISK_FAULT_ERRNO=EACCES"}, 0, 5},
                      FaultCase{"disk_full_at_commit", {"DISK_FAULT_CALL=write", "DISK_FAULT_PATH=job.db-wal"}, 0, 5},
                      FaultCase{"disk_full_midway", {"DISK_FAULT_CALL=write", "DISK_FAULT_PATH=job.db-wal", "DISK_FAULT_AFTER=3"},
                                0, 5}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(Points, AForeignFileAsJobIsRefusedAndKept) {
    fs::create_directories(job);
    std::ofstream(job / "job.db") << "my notes, not a database\n";
    const Outcome r = run({"import", (kData / "s02_no_header.sim").string()});
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.err.find("現場のデータベースではありません"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(job / "job.db"), "my notes, not a database\n");
}

// The settings command: each line of arguments, its exit status, what it
// says and the settings afterwards; a refused line changes nothing.
TEST_F(Points, SettingsArePrintedChangedAndRefusedWhole) {
    ASSERT_EQ(run({"init", "--name", "設定"}).status, 0);
    struct Case { std::vector<std::string> args; int status; const char* err; const char* after; };
    const Case cases[] = {
        {{}, 0, nullptr, "reduction\tnone\nheight\t0.000\ngeoid\t0.000\nclass\tnone\n"},
        {{"--reduction", "scale"}, 2, "marula-points: 座標系が未設定です\n", nullptr},
        {{"--class", "乙一", "--height", "abc"}, 2, "marula-points: settings: --height takes metres from -1000 to 9000\n", nullptr},
        {{"--class", "5"}, 2, "marula-points: settings: --class takes none, 1 to 4, or 甲一 to 乙三\n", nullptr},
        {{"--reduction", "Scale"}, 2, "marula-points: settings: --reduction takes none, scale or height-scale\n", nullptr},
        {{"--geoid", "200.001", "--class", "1"}, 2, "marula-points: ジオイド高は-200～200 mです\n", nullptr},
        {{"--height"}, 2, nullptr, nullptr},
        {{"--zone", "9"}, 2, "marula-points: settings: unexpected argument: --zone\n", nullptr},
        {{"--class", "3", "--geoid", "-36.9876"}, 0, nullptr, "reduction\tnone\nheight\t0.000\ngeoid\t-36.988\nclass\t3\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        std::vector<std::string> args{"settings"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::string before = run({"settings"}).out;
        const Outcome r = run(args);
        EXPECT_EQ(r.status, c.status);
        // A usage error ends with the hint to --help after the reason.
        if (c.status == 0) {
            EXPECT_EQ(r.err, "");
        } else if (c.err) {
            EXPECT_EQ(r.err.substr(0, std::string(c.err).size()), c.err);
        }
        if (c.args.empty()) {
            EXPECT_EQ(r.out, c.after);
        }
        EXPECT_EQ(run({"settings"}).out, c.after ? std::string(c.after) : before);
    }
    // With a zone, reduction is taken; each change is one history row.
    ASSERT_EQ(run({"init", "--zone", "9"}).status, 0);
    ASSERT_EQ(run({"settings", "--reduction", "height-scale", "--height", "42", "--class", "甲二"}).status, 0);
    EXPECT_EQ(run({"settings"}).out, "reduction\theight-scale\nheight\t42.000\ngeoid\t-36.988\nclass\t甲二\n");
    std::istringstream lines(run({"history"}).out);
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);) rows.push_back(line.substr(line.find('\t') + 1));
    const std::vector<std::string> expected = {
        "marula-points\tsetting\tgeoid\t0.000\t-36.988\t入力",
        "marula-points\tsetting\tclass\tnone\t3\t入力",
        "marula-points\tsetting\treduction\tnone\theight-scale\t入力",
        "marula-points\tsetting\theight\t0.000\t42.000\t入力",
        "marula-points\tsetting\tclass\t3\t甲二\t入力",
    };
    EXPECT_EQ(rows, expected);
}

// The published example point of zone 9 (36°06′13.58925″ N,
// 140°05′16.27815″ E: X 11543.6883, Y 22916.2436, convergence −0°08′59.92″,
// scale 0.99990647) stored to the millimetre, and the zone's origin.
TEST_F(Points, GeoAndLatLonExportGiveThePublishedPlace) {
    ASSERT_EQ(run({"init", "--name", "経緯度"}).status, 0);
    const fs::path csv = temp.path() / "in.csv";
    std::ofstream(csv) << "点名,X,Y,H\n公共点,11543.6883,22916.2436,31.5\n原点,0,0,\n";
    ASSERT_EQ(run({"import", csv.string()}).status, 0);
    const fs::path out = temp.path() / "out.csv";
    for (const auto& args : {std::vector<std::string>{"geo"}, {"export", "csv", out.string(), "--latlon"}}) {
        const Outcome r = run(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "marula-points: 座標系が未設定です\n");
    }
    EXPECT_FALSE(fs::exists(out));
    ASSERT_EQ(run({"init", "--zone", "9"}).status, 0);

    // By name, by number (no point is named "2"), all of them.
    const Outcome named = run({"geo", "2", "公共点"});
    ASSERT_EQ(named.status, 0) << named.err;
    std::istringstream lines(named.out);
    std::string origin, point;
    std::getline(lines, origin);
    std::getline(lines, point);
    EXPECT_EQ(run({"geo"}).out, point + "\n" + origin + "\n");  // in number order
    EXPECT_EQ(origin, "原点\t36.000000000\t139.833333333\t0.000000000\t0.999900000");
    std::istringstream fields(point);
    std::string name;
    double latitude = 0, longitude = 0, convergence = 0, scale = 0;
    fields >> name >> latitude >> longitude >> convergence >> scale;
    EXPECT_EQ(name, "公共点");
    // 1e-8° is about a millimetre: the stored point is the published one to the mm.
    EXPECT_NEAR(latitude, 36 + 6 / 60.0 + 13.58925 / 3600, 1e-8);
    EXPECT_NEAR(longitude, 140 + 5 / 60.0 + 16.27815 / 3600, 1e-8);
    EXPECT_NEAR(convergence, -(8 / 60.0 + 59.92 / 3600), 0.005 / 3600);
    EXPECT_NEAR(scale, 0.99990647, 0.5e-8);
    const Outcome missing = run({"geo", "公共点", "無い点"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");

    // The export carries the same latitude and longitude after Y and H, and reads back.
    ASSERT_EQ(run({"export", "csv", out.string(), "--latlon"}).status, 0);
    const std::string bytes = slurp(out);
    const std::vector<std::string> geo_fields = [&] {
        std::vector<std::string> f;
        std::istringstream in(point);
        for (std::string x; std::getline(in, x, '\t');) f.push_back(x);
        return f;
    }();
    EXPECT_EQ(bytes, "\xEF\xBB\xBF点名,X,Y,H,緯度,経度\r\n公共点,11543.688,22916.244,31.500," + geo_fields[1] + "," +
                         geo_fields[2] + "\r\n原点,0.000,0.000,,36.000000000,139.833333333\r\n");
    TempFolder other;
    const std::string back = (other.path() / "j").string();
    ASSERT_EQ(finish(start({"--job", back, "import", out.string()}, {}, other.path(), "i"), other.path(), "i").status, 0);
    EXPECT_EQ(finish(start({"--job", back, "list"}, {}, other.path(), "l"), other.path(), "l").out, list());
    EXPECT_EQ(run({"export", "sima", out.string(), "--latlon"}).status, 2);
}

// ---- Reading only regular files, with bounded memory ----------------------

struct RefusedFileCase {
    const char* what;
    const char* name;                     // the file's name in the temporary folder
    void (*make)(const fs::path& file);   // makes it
    const char* expected;                 // on standard error after the path
};
void PrintTo(const RefusedFileCase& c, std::ostream* os) { *os << c.what; }

class RefusedFiles : public Points, public ::testing::WithParamInterface<RefusedFileCase> {};

// Each is refused with exit status 1 and its reason, nothing imported, and
// never by reading without end: a FIFO with no writer does not block, and
// neither /dev/zero nor a sparse gigabyte is read into memory.
TEST_P(RefusedFiles, AreRefusedWithTheirReasonAndNothingImported) {
    const RefusedFileCase& c = GetParam();
    ASSERT_EQ(run({"init"}).status, 0);
    const fs::path file = temp.path() / c.name;
    c.make(file);
    const Outcome r = run({"import", file.string()});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.err, file.string() + c.expected) << c.what;
    EXPECT_EQ(r.out.find("imported"), std::string::npos) << r.out;
    EXPECT_EQ(list(), "");
    // The largest of the children so far: far below a file read whole.
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "KB";
}

INSTANTIATE_TEST_SUITE_P(
    Import, RefusedFiles,
    ::testing::Values(
        RefusedFileCase{"fifo", "pipe.sim", [](const fs::path& f) { ASSERT_EQ(mkfifo(f.c_str(), 0600), 0); },
                        ": E_READ: ファイルが読めません: 通常のファイルではありません\n"},
        RefusedFileCase{"folder", "folder.sim", [](const fs::path& f) { fs::create_directory(f); },
                        ": E_READ: ファイルが読めません: フォルダです\n"},
        RefusedFileCase{"device", "zero.sim", [](const fs::path& f) { fs::create_symlink("/dev/zero", f); },
                        ": E_READ: ファイルが読めません: 通常のファイルではありません\n"},
        RefusedFileCase{"long line", "long.sim",
                        [](const fs::path& f) {
                            std::ofstream(f, std::ios::binary) << "A01,1,T1,1.000,2.000,\r\nA01,2,T2,1.000,2.000,"
                                                               << std::string(5000, ' ') << "\r\n";
                        },
                        ":2: E_LINE_TOO_LONG: 行が長すぎます（4096バイトまで）\n"},
        RefusedFileCase{"sparse gigabyte", "sparse.sim",
                        [](const fs::path& f) {
                            std::ofstream(f, std::ios::binary).put('\0');
                            fs::resize_file(f, std::uintmax_t(1) << 30);
                        },
                        ":1: E_LINE_TOO_LONG: 行が長すぎます（4096バイトまで）\n"},
        RefusedFileCase{"blank lines only", "blank.sim",
                        [](const fs::path& f) { std::ofstream(f, std::ios::binary) << std::string(100000, '\n'); },
                        ": E_NO_RECORDS: 座標のレコードがありません\n"},
        RefusedFileCase{"no point record", "header.csv",
                        [](const fs::path& f) { std::ofstream(f, std::ios::binary) << "name,x,y\r\n"; },
                        ": E_NO_RECORDS: 座標のレコードがありません\n"}),
    [](const auto& info) {
        std::string n = info.param.what;
        std::replace(n.begin(), n.end(), ' ', '_');
        return n;
    });

// ---- Encoding, latitude and longitude -------------------------------------

TEST_F(Points, TheEncodingGivenOverridesTheRule) {
    const std::string kana = (kData / "s09_halfwidth_kana.sim").string();
    struct Case {
        std::vector<std::string> options;
        std::string encoding, first;
    } const cases[] = {
        {{}, "CP932", "ﾎｳ1"},                          // by the rule: no character of three bytes
        {{"--encoding", "utf-8"}, "UTF-8", "γ1"},     // the same bytes taken as UTF-8
        {{"--encoding", "CP932"}, "CP932", "ﾎｳ1"},
    };
    for (const Case& c : cases) {
        fs::remove_all(job);
        std::vector<std::string> args{"import", kana};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome r = run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("\nencoding " + c.encoding + "\n"), std::string::npos) << r.out;
        EXPECT_EQ(list().rfind(c.first + "\t", 0), 0u) << list();
    }
    EXPECT_EQ(run({"import", kana, "--encoding", "latin1"}).status, 2);
    // A UTF-8 file forced to CP932 is refused where its bytes are no CP932.
    fs::remove_all(job);
    EXPECT_EQ(run({"import", (kData / "c01_utf8_bom_header.csv").string(), "--encoding", "cp932"}).status, 1);
}

// Stores the job's geoid height setting as the settings store keeps it.
void set_stored_geoid(const fs::path& job, const char* millimetres) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((job / "job.db").c_str(), &db), SQLITE_OK);
    const std::string sql = std::string("INSERT OR REPLACE INTO job_settings (key, value) VALUES ('geoid', '") +
                            millimetres + "')";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// Latitude and longitude go into the job's zone (the zone's origin is X =
// Y = 0), and the ellipsoidal height less the geoid height gives H: the
// height given on the command line, else the job's setting, else refused.
TEST_F(Points, LatitudeAndLongitudeGoIntoTheJobsZone) {
    const fs::path csv = temp.path() / "geo.csv";
    std::ofstream(csv, std::ios::binary) << "点名,緯度,経度,楕円体高\r\nO9,36°00′00″,139°50′00″,100.000\r\n";
    struct Case {
        const char* what;
        std::vector<std::string> init, options;
        const char* setting;  // the job's geoid height, mm; nullptr for none
        int status;
        std::string expected;  // the list, or the refusal after the path
    } const cases[] = {
        {"no zone", {"init"}, {"--geoid", "36.7"}, nullptr, 1, ":1: E_NO_ZONE: "},
        {"no geoid height", {"init", "--zone", "9"}, {}, nullptr, 1, ":1: E_NEEDS_GEOID: "},
        {"a setting of 0 is none", {"init", "--zone", "9"}, {}, "0", 1, ":1: E_NEEDS_GEOID: "},
        {"given", {"init", "--zone", "9"}, {"--geoid", "36.7"}, nullptr, 0, "O9\t0.000\t0.000\t63.300\n"},
        {"the job's setting", {"init", "--zone", "9"}, {}, "37000", 0, "O9\t0.000\t0.000\t63.000\n"},
        {"given over the setting", {"init", "--zone", "9"}, {"--geoid", "36.7"}, "37000", 0,
         "O9\t0.000\t0.000\t63.300\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(job);
        ASSERT_EQ(run(c.init).status, 0);
        if (c.setting) set_stored_geoid(job, c.setting);
        std::vector<std::string> args{"import", csv.string()};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome r = run(args);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 0) EXPECT_EQ(list(), c.expected);
        else EXPECT_EQ(r.err.rfind(csv.string() + c.expected, 0), 0u) << r.err;
    }
}

// Published places of zone 9 away from its origin, one north-east of it and
// one south-west, imported from latitude and longitude through the real
// projection: X north and Y east, each with its sign, to the millimetre.
TEST_F(Points, PublishedLatitudesAndLongitudesImportToTheirPlaneCoordinates) {
    ASSERT_EQ(run({"init", "--zone", "9"}).status, 0);
    const fs::path csv = temp.path() / "published.csv";
    std::ofstream(csv, std::ios::binary) << "点名,緯度,経度,標高\r\n"
                                            "公共点,36°06′13.58925″,140°05′16.27815″,31.5\r\n"
                                            "同点度分秒,36度06分13.58925秒,140度05分16.27815秒,\r\n"
                                            "東京,35.6895,139.6917,\r\n";
    const Outcome r = run({"import", csv.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(list(),
              "公共点\t11543.688\t22916.244\t31.500\n"
              "同点度分秒\t11543.688\t22916.244\t\n"
              "東京\t-34439.189\t-12818.777\t\n");
}

// ---- The full check on demand ---------------------------------------------

TEST_F(Points, CheckSaysOkOrListsTheDamage) {
    ASSERT_EQ(run({"init"}).status, 0);
    ASSERT_EQ(run({"import", many_points(temp.path(), "C", 3000).string()}).status, 0);
    const Outcome good = run({"check"});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.out, "ok\n");
    EXPECT_EQ(run({"check", "more"}).status, 2);

    // A page in the middle of a copy overwritten with garbage.
    const fs::path copy = temp.path() / "copy";
    fs::create_directories(copy);
    fs::copy_file(job / "job.db", copy / "job.db");
    const auto size = fs::file_size(copy / "job.db");
    constexpr std::uintmax_t kPage = 16384;
    ASSERT_GE(size, 4 * kPage);
    {
        std::fstream db(copy / "job.db", std::ios::in | std::ios::out | std::ios::binary);
        db.seekp(std::streamoff((size / kPage / 2) * kPage));
        for (std::uintmax_t i = 0; i < kPage; ++i) db.put(char((i * 7919) % 251));
    }
    const Outcome bad = finish(start({"--job", copy.string(), "check"}, {}, temp.path(), "bad"), temp.path(), "bad");
    EXPECT_EQ(bad.status, 5) << bad.err;
    EXPECT_NE(bad.out + bad.err, "ok\n");
    EXPECT_LE(std::count(bad.out.begin(), bad.out.end(), '\n'), 10) << bad.out;
    EXPECT_EQ(run({"check"}).out, "ok\n");  // the job itself untouched
}

}  // namespace
