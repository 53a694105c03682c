// Sheets filed in a job through the job's folder: a reports/ that is a
// link or no folder is never filed through (the sheet is printed all the
// same), and the temporaries a killed program left are swept at the next
// filing. Real programs in script mode over a real job in a temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
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

// The connecting traverse of the program's own tests, every value typed,
// then its sheet printed (F4).
const Lines kTraverseThenPrint = {
    "type B",  "type 0",       "type K1", "type 1000", "type 1000", "type P1",      "type 90",      "type 100",
    "type K2", "type 270",     "type 100", "type F",   "type 90.0010", "type 0", "type 900.010", "type 1099.995",
    "type 90", "key F4",
};

// A file with the given age in seconds.
void aged_file(const fs::path& file, int age_seconds) {
    ASSERT_TRUE(fs::create_directories(file.parent_path()) || fs::is_directory(file.parent_path()));
    { std::ofstream(file) << "half a page"; }
    const std::time_t then = std::time(nullptr) - age_seconds;
    const struct timespec times[2] = {{then, 0}, {then, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST(Filing, AReportsFolderThatIsALinkOrNoFolderIsNotFiledInAndTheSheetIsStillPrinted) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& reports, const fs::path& outside)> make;
        bool filed;
    } const cases[] = {
        {"a folder", [](const fs::path& r, const fs::path&) { fs::create_directories(r); }, true},
        {"missing (made again)", [](const fs::path& r, const fs::path&) { fs::remove_all(r); }, true},
        {"a link to a folder outside the job",
         [](const fs::path& r, const fs::path& outside) {
             fs::remove_all(r);
             fs::create_symlink(outside, r);
         },
         false},
        {"a dangling link",
         [](const fs::path& r, const fs::path& outside) {
             fs::remove_all(r);
             fs::create_symlink(outside / "gone", r);
         },
         false},
        {"a file",
         [](const fs::path& r, const fs::path&) {
             fs::remove_all(r);
             std::ofstream(r) << "my notes";
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder temp("marula-filing");
        const fs::path folder = temp.path() / "job", outside = temp.path() / "outside";
        ASSERT_TRUE(job::open_job(folder).job);
        fs::create_directories(outside);
        c.make(folder / "reports", outside);
        const auto r = run_script("linktrav", kTraverseThenPrint, {"MARULA_JOB=" + folder.string()});
        ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
        EXPECT_TRUE(fs::exists(r.out_dir / "print-1.pdf"));  // printed whatever became of the filing
        EXPECT_EQ(r.logged("filed linktrav-20260401-001.pdf"), c.filed);
        EXPECT_EQ(r.events_starting("error filing reports").empty(), c.filed);
        EXPECT_TRUE(fs::is_empty(outside));  // nothing filed outside the job
        if (c.filed) {
            EXPECT_TRUE(fs::exists(folder / "reports" / "linktrav-20260401-001.txt"));
        }
        if (fs::is_regular_file(fs::symlink_status(folder / "reports"))) {
            EXPECT_EQ(read_all(folder / "reports"), "my notes");
        }
    }
}

// A hard kill while printing leaves hidden temporaries; the next filing
// removes ours once they are an hour old, in reports/ and the print folder.
TEST(Filing, TheNextFilingSweepsOldTemporariesOfOursOnly) {
    TempFolder temp("marula-stale");
    const fs::path folder = temp.path() / "job", out = temp.path() / "out";
    ASSERT_TRUE(job::open_job(folder).job);
    struct Case {
        const char* name;
        int age_seconds;
        bool swept;
    } const cases[] = {
        {".linktrav-20260401.pdf.k3j5m0qa.tmp", 7200, true},
        {".print.pdf.0123abcd.tmp", 7200, true},
        {".print.txt.0123abcd.tmp", 600, false},  // perhaps still being written
        {"notes.txt", 7200, false},
    };
    for (const fs::path& dir : {folder / "reports", out})
        for (const Case& c : cases) aged_file(dir / c.name, c.age_seconds);
    const auto r = run_script("linktrav", kTraverseThenPrint,
                              {"MARULA_JOB=" + folder.string(), "MARULA_OUT=" + out.string()});
    ASSERT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(fs::exists(folder / "reports" / "linktrav-20260401-001.pdf"));
    for (const fs::path& dir : {folder / "reports", out}) {
        for (const Case& c : cases) EXPECT_EQ(fs::exists(dir / c.name), !c.swept) << dir / c.name;
        // Nothing of this run's own is left under a temporary name.
        int ours = 0;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.path().extension() == ".tmp") ++ours;
        EXPECT_EQ(ours, 1) << dir;
    }
}

}  // namespace
}  // namespace marula
