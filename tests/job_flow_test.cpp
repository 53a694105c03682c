// Points flowing between the programs and a job: real programs in script
// mode with MARULA_JOB over a real job in a temporary folder, the job's
// store read back with `marula-points list`. Each case names what it
// guards; MARULA_KEEP_OUT=1 keeps the dumps of a failing case.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "job/job.h"
#include "job/parcels.h"
#include "script_run.h"

namespace marula {
namespace {

using namespace test;
namespace fs = std::filesystem;

// A job in a temporary folder, removed at the end of the test.
class TempJob {
public:
    TempJob() {
        std::string pattern = (fs::temp_directory_path() / "marula-flow-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
        auto opened = job::open_job(folder());
        EXPECT_TRUE(opened.job) << opened.message;
        job_ = std::move(opened.job);
        job_->set_header({"試験現場", 9}, {"job_flow_test", "test"});
    }
    ~TempJob() {
        job_.reset();
        std::error_code ec;
        if (!root_.empty()) fs::remove_all(root_, ec);
    }
    fs::path folder() const { return root_ / "job"; }
    std::vector<std::string> env() const {
        return {"MARULA_JOB=" + folder().string(), "HOME=" + root_.string(),
                "XDG_CONFIG_HOME=" + (root_ / "config").string(), "XDG_DATA_HOME=" + (root_ / "data").string()};
    }
    void add(const std::string& name, double x, double y) {
        auto result = job_->add({0, name, *job::to_millimetres(x), *job::to_millimetres(y), std::nullopt},
                                {"job_flow_test", "test"});
        ASSERT_TRUE(result.ok()) << result.message;
    }
    // Moves a stored point.
    bool correct(const std::string& name, double x, double y) {
        const auto stored = job_->find(name);
        if (!stored.ok() || !stored.value) return false;
        job::PointEdit edit;
        edit.x = job::to_millimetres(x);
        edit.y = job::to_millimetres(y);
        return job_->correct(stored.value->number, edit, {"job_flow_test", "test"}).ok();
    }
    void lot(const std::string& name, const std::vector<std::string>& vertices) {
        auto result = job::Parcels(job_->database()).put(name, vertices, job::ParcelWrite::add, {"job_flow_test", "test"});
        ASSERT_TRUE(result.ok()) << result.message;
    }
    // `marula-points --job DIR ARGS`: its standard output.
    std::string command(const std::string& args) const {
        const std::string line = std::string(MARULA_POINTS_COMMAND) + " --job '" + folder().string() + "' " + args;
        std::string out;
        FILE* pipe = ::popen(line.c_str(), "r");
        if (!pipe) return out;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
        ::pclose(pipe);
        return out;
    }
    // `marula-points --job DIR list`: name → "X<TAB>Y".
    std::map<std::string, std::string> list() const {
        std::map<std::string, std::string> points;
        const std::string command =
            std::string(MARULA_POINTS_COMMAND) + " --job '" + folder().string() + "' list 2>/dev/null";
        FILE* out = ::popen(command.c_str(), "r");
        if (!out) return points;
        char line[512];
        while (std::fgets(line, sizeof line, out)) {
            std::string text(line);
            if (!text.empty() && text.back() == '\n') text.pop_back();
            const auto tab = text.find('\t');
            const auto last = text.rfind('\t');
            points[text.substr(0, tab)] = text.substr(tab + 1, last - tab - 1);
        }
        EXPECT_EQ(::pclose(out), 0);
        return points;
    }

private:
    fs::path root_;
    std::unique_ptr<job::Job> job_;
};

std::string trim(std::string s) {
    while (!s.empty() && s.front() == ' ') s.erase(s.begin());
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// Rows first … last of a dump, text and colours.
std::vector<std::string> rows(const ScriptResult& r, std::string_view snap, int first, int last) {
    const auto text = r.screen(snap);
    const auto colors = r.colors(snap);
    std::vector<std::string> out;
    for (int row = first; row <= last; ++row) out.push_back(text.at(row) + "|" + colors.at(row));
    return out;
}

// The connecting traverse of the program's own tests: station K1 at
// (1000, 1000) looking at B along 0°, two legs to K2, closing towards F
// along 90°.
const Lines kTypedTraverse = {
    "type B",  "type 0",       "type K1", "type 1000", "type 1000", "type P1",      "type 90",      "type 100",
    "type K2", "type 270",     "type 100", "type F",   "type 90.0010", "type 0", "type 900.010", "type 1099.995",
    "type 90",
};
// The same with every given value taken from the job: Enter at the
// starting azimuth, at each coordinate offered and at the closing azimuth.
const Lines kTraverseByName = {
    "type B",  "key Enter", "type K1", "key Enter", "key Enter", "type P1",      "type 90",   "type 100",
    "type K2", "type 270",  "type 100", "type F",   "type 90.0010", "type 0", "key Enter", "key Enter",
    "key Enter",
};

// The traverse's given points: B due north of K1 (azimuth 0), F due east
// of K2 (azimuth 90).
void add_given_points(TempJob& job) {
    job.add("B", 1100, 1000);
    job.add("K1", 1000, 1000);
    job.add("K2", 900.010, 1099.995);
    job.add("F", 900.010, 1199.995);
}

TEST(JobFlow, TraverseFromTheJobMatchesTheTypedOneAndStoresItsStation) {
    TempJob job;
    add_given_points(job);
    auto typed = run_script("linktrav", kTypedTraverse + Lines{"snap result"});
    auto named = run_script("linktrav", kTraverseByName + Lines{"snap result"}, job.env());
    ASSERT_EQ(named.exit_status, 0) << named.stderr_text;
    // The table, the summary and their colours, as if typed.
    EXPECT_EQ(rows(named, "result", 0, 22), rows(typed, "result", 0, 22));
    // The adjusted station is stored with the coordinates shown; the given
    // stations are left as they were.
    const auto points = job.list();
    const std::string x1 = trim(cut_columns(named.row("result", 4), 53, 12));
    const std::string y1 = trim(cut_columns(named.row("result", 4), 65, 12));
    EXPECT_EQ(points.at("P1"), x1 + "\t" + y1);
    EXPECT_EQ(points.at("K2"), "900.010\t1099.995");
    EXPECT_EQ(points.size(), 5u);
}

TEST(JobFlow, OffersStandAfterThePromptsAndTheStartingAzimuthWaitsForTheStation) {
    TempJob job;
    add_given_points(job);
    auto r = run_script("linktrav",
                        Lines{"type B", "snap start", "key Enter", "type K1", "snap x", "key Enter", "snap y",
                              "key Enter", "snap station"},
                        job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("start", 23), "  方向角は（既知点から後視点へ）  〔座標から〕");
    EXPECT_EQ(r.row("x", 23), "     既知点Ｘ座標は 〔1000.000〕");
    EXPECT_EQ(r.row("y", 23), "     既知点Ｙ座標は 〔1000.000〕");
    // Worked out once the station has its coordinates, shown in its cell.
    EXPECT_EQ(trim(cut_columns(r.row("x", 3), 40, 10)), "");
    EXPECT_EQ(cut_columns(r.row("station", 3), 40, 10), "   0- 0- 0");
}

TEST(JobFlow, AzimuthFromCoordinatesIsRoundedToTheSecondAndReadAsTyped) {
    // K1 → B: ΔX = 100, ΔY = 57.735 gives 29°59′59.7…″, 30-00-00 once
    // rounded; a typed 30 shows and computes the same.
    TempJob job;
    job.add("B", 1100, 1057.735);
    job.add("K1", 1000, 1000);
    const Lines tail = {"type P1", "type 90", "type 100", "type P2", "type 270", "type 100", "type F",
                        "type 90",  "type 0",  "type 900",  "type 1100",  "type 90", "snap result"};
    auto named = run_script("linktrav", Lines{"type B", "key Enter", "type K1", "key Enter", "key Enter"} + tail,
                            job.env());
    auto typed = run_script("linktrav", Lines{"type B", "type 30", "type K1", "type 1000", "type 1000"} + tail);
    ASSERT_EQ(named.exit_status, 0) << named.stderr_text;
    EXPECT_EQ(cut_columns(named.row("result", 3), 40, 10), "  30- 0- 0");
    EXPECT_EQ(rows(named, "result", 0, 22), rows(typed, "result", 0, 22));
}

TEST(JobFlow, EveryTraverseTakesItsStartingAzimuthAndStationFromTheJob) {
    TempJob job;
    job.add("B", 1000, 1100);  // due east of K1: 90°
    job.add("K1", 1000, 1000);
    struct Case {
        std::string program;
        Lines typed, named, rest;
        std::string stored;  // a point the run computes (each its own, so none clashes)
    } cases[] = {
        {"looptrav",
         {"type B", "type 90", "type K1", "type 1000", "type 1000"},
         {"type B", "key Enter", "type K1", "key Enter", "key Enter"},
         {"type L1", "type 90", "type 100", "type L2", "type 90", "type 100", "type L3", "type 90", "type 100",
          "type K1", "type 90", "type 100", "type *"},
         "L2"},
        {"opentrav",
         {"type B", "type 90", "type K1", "type 1000", "type 1000"},
         {"type B", "key Enter", "type K1", "key Enter", "key Enter"},
         {"type O2", "type 90", "type 10", "type *"},
         "O2"},
        {"radtrav",
         {"type B", "type 90", "type K1", "type 1000", "type 1000"},
         {"type B", "key Enter", "type K1", "key Enter", "key Enter"},
         {"type R2", "type 90", "type 10", "type *", "key F5"},
         "R2"},
    };
    for (const Case& c : cases) {
        auto typed = run_script(c.program, c.typed + c.rest + Lines{"snap result"});
        auto named = run_script(c.program, c.named + c.rest + Lines{"snap result"}, job.env());
        ASSERT_EQ(named.exit_status, 0) << c.program << "\n" << named.stderr_text;
        EXPECT_EQ(rows(named, "result", 0, 22), rows(typed, "result", 0, 22)) << c.program;
        EXPECT_TRUE(job.list().contains(c.stored)) << c.program;
    }
}

TEST(JobFlow, BacksightOnTheStationAsksTheAzimuthAgain) {
    TempJob job;
    job.add("B", 1000, 1000);
    job.add("K1", 1000, 1000);
    auto r = run_script("linktrav", Lines{"type B", "key Enter", "type K1", "key Enter", "key Enter", "snap again",
                                          "type 45", "snap typed"},
                        job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("notice ２点が同じ位置なので方向角を計算できません。入力して下さい。"));
    EXPECT_NE(r.row("again", 23).find("方向角は"), std::string::npos);
    EXPECT_EQ(cut_columns(r.row("typed", 3), 40, 10), "  45- 0- 0");
}

TEST(JobFlow, InverseAndAreaTakeTheirPointsByName) {
    TempJob job;
    job.add("K1", 1000, 1000);
    job.add("P1", 1000.006, 1099.996);
    job.add("K2", 900.010, 1099.995);
    struct Case {
        std::string program;
        Lines typed, named;
    } cases[] = {
        {"invchain",
         {"type K1", "type 1000", "type 1000", "type P1", "type 1000.006", "type 1099.996", "type K2",
          "type 900.010", "type 1099.995", "type *"},
         {"type K1", "key Enter", "key Enter", "type P1", "key Enter", "key Enter", "type K2", "key Enter",
          "key Enter", "type *"}},
        {"invradial",
         {"type K1", "type 1000", "type 1000", "type P1", "type 1000.006", "type 1099.996", "type *"},
         {"type K1", "key Enter", "key Enter", "type P1", "key Enter", "key Enter", "type *"}},
        {"coordarea",
         {"type K1", "type 1000", "type 1000", "type P1", "type 1000.006", "type 1099.996", "type K2",
          "type 900.010", "type 1099.995", "type *"},
         {"type K1", "key Enter", "key Enter", "type P1", "key Enter", "key Enter", "type K2", "key Enter",
          "key Enter", "type *"}},
    };
    for (const Case& c : cases) {
        auto typed = run_script(c.program, c.typed + Lines{"snap result"});
        auto named = run_script(c.program, c.named + Lines{"snap result"}, job.env());
        ASSERT_EQ(named.exit_status, 0) << c.program << "\n" << named.stderr_text;
        EXPECT_EQ(rows(named, "result", 0, 22), rows(typed, "result", 0, 22)) << c.program;
    }
    EXPECT_EQ(job.list().size(), 3u);  // they compute no points and store none
}

TEST(JobFlow, CornerCutPointsReachTheJobAndTheAreaOverThemMatches) {
    TempJob job;
    auto cut = run_script("cornercut",
                          {"type A1", "type 10", "type 0", "type K5", "type 0", "type 0", "type A3", "type 0",
                           "type 10", "type 4", "snap result"},
                          job.env());
    ASSERT_EQ(cut.exit_status, 0) << cut.stderr_text;
    auto points = job.list();
    ASSERT_TRUE(points.contains("K5-P") && points.contains("K5-Q")) << cut.row("result", 13);
    // A typed known point under a new name is the job's too.
    EXPECT_EQ(points.at("A1"), "10.000\t0.000");
    EXPECT_EQ(points.size(), 5u);
    auto split = [](const std::string& xy) {
        return std::pair{xy.substr(0, xy.find('\t')), xy.substr(xy.find('\t') + 1)};
    };
    const auto [px, py] = split(points.at("K5-P"));
    const auto [qx, qy] = split(points.at("K5-Q"));
    // The cut points shown are those stored.
    EXPECT_NE(cut.row("result", 13).find(px), std::string::npos) << cut.row("result", 13);
    EXPECT_NE(cut.row("result", 14).find(qy), std::string::npos) << cut.row("result", 14);

    auto typed = run_script("coordarea", {"type A1", "type 10", "type 0", "type K5-P", "type " + px, "type " + py,
                                          "type K5-Q", "type " + qx, "type " + qy, "type A3", "type 0", "type 10",
                                          "type *", "snap result"});
    auto named = run_script("coordarea",
                            {"type A1", "key Enter", "key Enter", "type K5-P", "key Enter", "key Enter", "type K5-Q",
                             "key Enter", "key Enter", "type A3", "key Enter", "key Enter", "type *", "snap result"},
                            job.env());
    ASSERT_EQ(named.exit_status, 0) << named.stderr_text;
    EXPECT_EQ(rows(named, "result", 0, 22), rows(typed, "result", 0, 22));
}

TEST(JobFlow, TypedValueAwayFromTheStoredOneIsSaidAndTheJobKeepsItsOwn) {
    TempJob job;
    job.add("K1", 1000, 1000);
    struct Case {
        std::string what, x;
        bool said;
        std::string shown;  // the typed value wins
    } cases[] = {
        {"2 mm away: said, and the typed value is used", "1000.002", true, "1000.002"},
        {"1 mm away: said", "999.999", true, "999.999"},
        {"under half a millimetre away is the same millimetre: nothing said", "1000.0004", false, "1000.000"},
    };
    for (const Case& c : cases) {
        auto r = run_script("invchain", {"type K1", "type " + c.x, "key Enter", "snap result"}, job.env());
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        const bool said = !r.events_starting("notice Ｘは現場のK1と違います（現場 1000.000、入力 ").empty();
        EXPECT_EQ(said, c.said) << c.what;
        EXPECT_EQ(trim(cut_columns(r.row("result", 3), 12, 9)), c.shown) << c.what << "\n" << r.row("result", 3);
        EXPECT_EQ(job.list().at("K1"), "1000.000\t1000.000") << c.what;
    }
}

TEST(JobFlow, ClashWithAStoredPointIsAskedOnceAndNKeepsIt) {
    TempJob job;
    job.add("P1", 1, 2);
    const Lines correction = {"key F1", "type 4", "type 1", "type 100.004", "snap corrected"};
    auto r = run_script("linktrav", kTypedTraverse + Lines{"snap asked", "type N", "snap result"} + correction,
                        job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_NE(r.row("asked", 23).find("計算値で現場の1点を置き換えますか（Y/N）P1"), std::string::npos)
        << r.row("asked", 23);
    EXPECT_TRUE(r.logged("notice 現場の点：P1 X=1.000 Y=2.000"));
    // The sheet shows what was computed; the job keeps its point, and the
    // answer holds through the correction (no second question).
    EXPECT_EQ(cut_columns(r.row("result", 4), 53, 12), "    1000.006");
    EXPECT_EQ(r.row("corrected", 23).find("置き換えますか"), std::string::npos);
    EXPECT_EQ(job.list().at("P1"), "1.000\t2.000");

    TempJob other;
    other.add("P1", 1, 2);
    auto replaced = run_script("linktrav", kTypedTraverse + Lines{"type Y"}, other.env());
    EXPECT_EQ(other.list().at("P1"), "1000.006\t1099.996");
}

TEST(JobFlow, PointsThisRunCreatedFollowACorrectionQuietly) {
    TempJob job;
    auto r = run_script("linktrav",
                        kTypedTraverse + Lines{"key F1", "type 4", "type 1", "type 100.004", "snap corrected"},
                        job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("corrected", 23).find("置き換えますか"), std::string::npos);
    const auto points = job.list();
    EXPECT_EQ(points.at("P1"), "1000.006\t1099.998");
    // Typed known stations under new names are the job's; the backsight
    // and forward point had no coordinates and are not.
    EXPECT_EQ(points.at("K1"), "1000.000\t1000.000");
    EXPECT_EQ(points.at("K2"), "900.010\t1099.995");
    EXPECT_FALSE(points.contains("B"));
}

TEST(JobFlow, NamesTheJobCannotHoldAreNamedOnceAndLeftOut) {
    TempJob job;
    const Lines open_traverse = {"type BS", "type 0", "type A", "type 1000", "type 1000",
                                 "type P,1", "type 90", "type 10",
                                 "type 123456789012345678901", "type 90", "type 20",
                                 "type P3", "type 90", "type 30", "type *"};
    auto r = run_script("opentrav", open_traverse + Lines{"key F1", "type 3", "type 2", "type 11"}, job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.times_logged("notice 現場に記憶できない点名です：「P,1」、「123456789012345678901」"), 1);
    const auto points = job.list();
    EXPECT_TRUE(points.contains("P3"));
    EXPECT_FALSE(points.contains("P,1"));
    EXPECT_EQ(points.size(), 2u);  // A and P3
}

TEST(JobFlow, DemonstrationPresetsAreUsedButNeverStored) {
    TempJob job;
    // Every answer empty: the form's own demonstration values.
    auto r = run_script("isect4p", Lines(13, "key Enter") + Lines{"snap result"}, job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    auto without = run_script("isect4p", Lines(13, "key Enter") + Lines{"snap result"});
    EXPECT_EQ(rows(r, "result", 0, 22), rows(without, "result", 0, 22));
    EXPECT_TRUE(job.list().empty());
}

TEST(JobFlow, CrossingsAndFeetAreStored) {
    TempJob job;
    auto r = run_script("perpfoot",
                        {"type L1", "type 0", "type 0", "type L2", "type 0", "type 100", "type C", "type 50",
                         "type 30", "type FT", "snap result"},
                        job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(job.list().at("FT"), "0.000\t30.000");
}

TEST(JobFlow, AJobThatCannotBeWrittenOffersItsPointsAndLosesNothing) {
    struct Case {
        std::string what;
        Lines fault;
    } cases[] = {
        {"read-only: opened for its points, said once",
         {"DISK_FAULT_CALL=open", "DISK_FAULT_PATH=job.db", "DISK_FAULT_ERRNO=EACCES"}},
        {"full disk: the store fails whole and says so", {"DISK_FAULT_CALL=write", "DISK_FAULT_PATH=job.db-wal"}},
    };
    auto typed = run_script("linktrav", kTypedTraverse + Lines{"snap result"});
    for (const Case& c : cases) {
        TempJob job;
        add_given_points(job);
        auto env = job.env();
        env.push_back(std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS);
        // Under the sanitizers the seam is loaded before their runtime.
        env.push_back("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0");
        env.insert(env.end(), c.fault.begin(), c.fault.end());
        auto r = run_script("linktrav", kTraverseByName + Lines{"snap result"}, env);
        ASSERT_EQ(r.exit_status, 0) << c.what << "\n" << r.stderr_text;
        EXPECT_EQ(rows(r, "result", 0, 22), rows(typed, "result", 0, 22)) << c.what;
        EXPECT_EQ(r.events_starting("notice ").size(), 1u) << c.what;
        const auto points = job.list();
        EXPECT_EQ(points.size(), 4u) << c.what;
        EXPECT_FALSE(points.contains("P1")) << c.what;
    }
}

TEST(JobFlow, SheetsAreFiledInTheJobUnderTheProgramsNameAndNameTheJob) {
    TempJob job;
    add_given_points(job);
    auto r = run_script("linktrav", kTraverseByName + Lines{"key F4", "key F4", "key F3"}, job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    const fs::path reports = job.folder() / "reports";
    // Never overwritten: each sheet its own number, the hard copy too,
    // each with its transcript or picture beside it.
    EXPECT_EQ(r.events_starting("filed "),
              (std::vector<std::string>{"filed linktrav-20260401-001.pdf", "filed linktrav-20260401-002.pdf",
                                        "filed linktrav-20260401-003.pdf"}));
    for (const char* name : {"linktrav-20260401-001.pdf", "linktrav-20260401-001.txt", "linktrav-20260401-002.pdf",
                             "linktrav-20260401-002.txt", "linktrav-20260401-003.pdf", "linktrav-20260401-003.png"})
        EXPECT_TRUE(fs::exists(reports / name)) << name;
    // A later run numbers on from there; a reports/ removed by hand is
    // made again.
    auto again = run_script("linktrav", kTraverseByName + Lines{"key F4"}, job.env());
    EXPECT_TRUE(again.logged("filed linktrav-20260401-004.pdf"));
    fs::remove_all(job.folder() / "reports");
    auto removed = run_script("linktrav", kTraverseByName + Lines{"key F4"}, job.env());
    EXPECT_TRUE(removed.logged("filed linktrav-20260401-001.pdf"));
    EXPECT_TRUE(fs::exists(reports / "linktrav-20260401-001.txt"));
    const auto lines = read_lines(reports / "linktrav-20260401-001.txt");
    EXPECT_TRUE(has_line_containing(lines, "現場：試験現場（第9系）"));
    // Script mode keeps its own copies as before.
    EXPECT_TRUE(fs::exists(r.out_dir / "print-1.pdf"));
    EXPECT_TRUE(fs::exists(r.out_dir / "print-2.pdf"));
    EXPECT_TRUE(fs::exists(r.out_dir / "hardcopy-1.png"));
    // The same sheet without a job names none.
    auto plain = run_script("linktrav", kTypedTraverse + Lines{"key F4"});
    EXPECT_FALSE(has_line_containing(transcript(plain), "現場："));
}

// ---- ranges and parcels at the prompts that take points until '*' ---------

struct Typed {
    std::string name, x, y;
};

// Seven corners K1 … K7 of a convex figure, the same shifted as M1 … M7
// but for M5, and nineteen N1 … N19 in a row.
std::vector<Typed> corners(const std::string& prefix) {
    const double x[] = {1050.000, 1031.174, 988.874, 954.952, 954.952, 988.874, 1031.174};
    const double y[] = {2000.000, 2039.092, 2048.746, 2021.694, 1978.306, 1951.254, 1960.908};
    std::vector<Typed> points;
    const double shift = prefix == "M" ? 100 : 0;
    for (int i = 0; i < 7; ++i) {
        char cx[32], cy[32];
        std::snprintf(cx, sizeof cx, "%.3f", x[i] + shift);
        std::snprintf(cy, sizeof cy, "%.3f", y[i]);
        points.push_back({prefix + std::to_string(i + 1), cx, cy});
    }
    return points;
}

void add_sequence_points(TempJob& job) {
    for (const std::string prefix : {"K", "M"})
        for (const Typed& p : corners(prefix))
            if (p.name != "M5") job.add(p.name, std::stod(p.x), std::stod(p.y));
    for (int i = 1; i <= 19; ++i) job.add("N" + std::to_string(i), 500 + i, 700 - 2 * i);
    job.lot("L1", {"K3", "K5", "K7", "K1"});
}

// The same points typed by hand: each name, X and Y.
Lines by_hand(const std::vector<std::string>& names, bool end = true) {
    std::map<std::string, Typed> all;
    for (const std::string prefix : {"K", "M"})
        for (const Typed& p : corners(prefix)) all[p.name] = p;
    for (int i = 1; i <= 19; ++i)
        all["N" + std::to_string(i)] = {"N" + std::to_string(i), std::to_string(500 + i) + ".000",
                                        std::to_string(700 - 2 * i) + ".000"};
    Lines lines;
    for (const std::string& n : names) lines = lines + Lines{"type " + n, "type " + all.at(n).x, "type " + all.at(n).y};
    if (end) lines.push_back("type *");
    return lines;
}

// In each program that takes points until '*', a range, a range that
// meets a missing point and a parcel leave the screen that typing every
// name and coordinate by hand leaves; the journal holds those typed lines,
// so it replays without the job to the same screen.
TEST(JobFlow, RangesAndParcelsEnterTheirPointsAsIfTyped) {
    TempJob job;
    add_sequence_points(job);
    const std::vector<std::string> k17{"K1", "K2", "K3", "K4", "K5", "K6", "K7"};
    const std::vector<std::string> m14{"M1", "M2", "M3", "M4"};
    const std::vector<std::string> lot{"K3", "K5", "K7", "K1"};
    std::vector<std::string> n19;
    for (int i = 1; i <= 19; ++i) n19.push_back("N" + std::to_string(i));
    struct Case {
        const char* program;
        Lines typed;
        Lines hand;
        const char* notice = "";
    } const cases[] = {
        {"invchain", {"type K1..K7", "type *"}, by_hand(k17)},
        {"invchain", {"type M1..M7", "type *"}, by_hand(m14), "notice 「M5」は現場にありません。範囲の入力はここまでです。"},
        {"invchain", {"type @L1", "type *"}, by_hand({"K3", "K5", "K7", "K1", "K3"})},  // closed
        {"invradial", {"type K1..K7", "type *"}, by_hand(k17)},
        {"invradial", {"type M1..M7", "type *"}, by_hand(m14), "notice 「M5」は現場にありません。範囲の入力はここまでです。"},
        {"invradial", {"type @L1", "type *"}, by_hand(lot)},
        {"invradial", {"type N1..N30"}, by_hand(n19, false)},  // the limit stops the range
        {"coordarea", {"type K1..K7", "type *"}, by_hand(k17)},
        {"coordarea", {"type M1..M7", "type *"}, by_hand(m14), "notice 「M5」は現場にありません。範囲の入力はここまでです。"},
        {"coordarea", {"type @L1", "type *"}, by_hand(lot)},
        {"coordarea", {"type K1", "key Enter", "key Enter", "type K7..K2", "type *"},
         by_hand({"K1", "K7", "K6", "K5", "K4", "K3", "K2"})},
        {"stakeout", {"type K1..K7", "type *"}, by_hand(k17)},
        {"stakeout", {"type M1..M7", "type *"}, by_hand(m14), "notice 「M5」は現場にありません。範囲の入力はここまでです。"},
        {"stakeout", {"type @L1", "type *"}, by_hand(lot)},
    };
    int run = 0;
    for (const Case& c : cases) {
        const std::string what = std::string(c.program) + " " + c.typed.front();
        auto ranged = run_script(c.program, c.typed, job.env());
        auto typed = run_script(c.program, c.hand);
        ASSERT_EQ(ranged.exit_status, 0) << what << ranged.stderr_text;
        EXPECT_EQ(rows(ranged, "final", 0, 23), rows(typed, "final", 0, 23)) << what;
        if (*c.notice) {
            EXPECT_TRUE(ranged.logged(c.notice)) << what;
        }
        // The journal: the lines typed by hand, replayed without the job.
        std::vector<std::string> script;
        for (const std::string& line : [&] {
                 std::vector<std::string> lines;
                 std::istringstream in(job.command("journal " + std::to_string(++run)));
                 for (std::string l; std::getline(in, l);) lines.push_back(l);
                 return lines;
             }())
            if (!line.starts_with("#")) script.push_back(line);
        EXPECT_EQ(script, c.hand) << what;
        auto replayed = run_script(c.program, script);
        EXPECT_EQ(rows(replayed, "final", 0, 23), rows(typed, "final", 0, 23)) << what;
    }
}

// The points a range enters are values taken from the job like any Enter at
// an offer: a reopened run whose range point has moved since asks once, and
// with Y takes it as it is now.
TEST(JobFlow, ARangesPointsAreKeptWithTheRunAsTakenFromTheJob) {
    TempJob job;
    add_sequence_points(job);
    auto first = run_script("invradial", {"type K1..K3", "type *"}, job.env());
    ASSERT_EQ(first.exit_status, 0) << first.stderr_text;
    ASSERT_TRUE(job.correct("K2", 1031.000, 2039.000));
    std::vector<std::string> reopen = job.env();
    reopen.push_back("MARULA_REOPEN=1");
    auto asked = run_script("invradial", {"snap asked", "type Y"}, reopen);
    ASSERT_EQ(asked.exit_status, 0) << asked.stderr_text;
    EXPECT_NE(asked.row("asked", 23).find("現場の座標が変わった点があります（K2）"), std::string::npos)
        << asked.row("asked", 23);
    std::vector<Typed> now = corners("K");
    auto typed = run_script("invradial", Lines{"type K1", "type " + now[0].x, "type " + now[0].y, "type K2",
                                               "type 1031.000", "type 2039.000", "type K3", "type " + now[2].x,
                                               "type " + now[2].y, "type *"});
    EXPECT_EQ(rows(asked, "final", 0, 22), rows(typed, "final", 0, 22));
}

// A name the job holds is that point even when it reads as a range; a
// range or parcel that enters nothing is said, asked again and leaves no
// line in the journal; without a job both are names as any other.
TEST(JobFlow, ARangeOrParcelThatEntersNothingIsAskedAgain) {
    TempJob job;
    add_sequence_points(job);
    auto r = run_script("invradial", {"type M5..M7", "snap missing", "type @L9", "type K1..L3", "type K1", "key Enter",
                                      "key Enter", "type *"},
                        job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("notice 「M5」は現場にありません。"));
    EXPECT_TRUE(r.logged("notice 画地「L9」は現場にありません。"));
    EXPECT_TRUE(r.logged("notice 範囲は「K1..K7」のように、同じ名前に続く番号で入力して下さい。"));
    EXPECT_EQ(r.row("missing", 3), " 1");
    EXPECT_EQ(r.row("final", 3), " 1 K1       1050.000   2000.000");
    const std::string journal = job.command("journal 1");  // its first line names the run
    EXPECT_EQ(journal.substr(journal.find('\n') + 1), "type K1\ntype 1050.000\ntype 2000.000\ntype *\n");
    auto plain = run_script("invradial", {"type K1..K7", "type 1", "type 2", "type @L1", "type 3", "type 4", "type *"});
    EXPECT_EQ(plain.row("final", 3), " 1 K1..K7      1.000      2.000 @L1          3.000      4.000  45- 0- 0    2.828");
}

// F9 in the area keeps its vertices as a parcel (an existing name asks to
// replace, the answer kept apart from the input); the sheet gives the
// area without its sign and the 地積 under it, in a job only.
TEST(JobFlow, AreaKeepsItsVerticesAsAParcelAndItsSheetGivesTheRegisteredArea) {
    TempJob job;
    add_sequence_points(job);
    auto r = run_script("coordarea", {"type K1..K4", "type *", "key F9", "snap name", "type L2", "key F4", "key F9",
                                      "type L1", "type Y"},
                        job.env());
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_EQ(r.row("name", 23), "     画地名は");
    EXPECT_TRUE(r.logged("notice 画地「L2」を記憶しました（4点）。"));
    EXPECT_EQ(job.command("lot show L2"), "K1\nK2\nK3\nK4\n");
    EXPECT_EQ(job.command("lot show L1"), "K1\nK2\nK3\nK4\n");  // replaced
    const std::string journal = job.command("journal 1");
    EXPECT_NE(journal.find("# 画地「L1」を置き換えますか（Y/N） Y"), std::string::npos) << journal;
    EXPECT_EQ(journal.find("type Y"), std::string::npos) << journal;
    // The figure: the area as printed (clockwise, so negative; 2389.49388 m²
    // by the exact shoelace), its size and its 地積 cut from it.
    const auto sheet = transcript(r);
    const auto area = std::find_if(sheet.begin(), sheet.end(), [](const std::string& l) {
        return l.find("面積") != std::string::npos && l.find("倍面積") == std::string::npos;
    });
    ASSERT_NE(area, sheet.end());
    ASSERT_LT(area + 2, sheet.end());
    EXPECT_EQ(*area, "                                  面積  -2389.493880");
    EXPECT_EQ(area[1], "                        面積（絶対値）   2389.493880");
    EXPECT_EQ(area[2], "                                  地積　2389.49㎡（宅地）　2389㎡（宅地以外）");
    // Without a job: the sheet as it always was, and F9 does nothing.
    auto plain = run_script("coordarea", by_hand({"K1", "K2", "K3", "K4"}) + Lines{"key F9", "key F4"});
    const auto plain_sheet = transcript(plain);
    EXPECT_FALSE(has_line_containing(plain_sheet, "地積"));
    EXPECT_FALSE(has_line_containing(plain_sheet, "絶対値"));
    EXPECT_EQ(plain.cells("final", 23, 0, 8), "F1 訂 正");
}

}  // namespace
}  // namespace marula
