// The programs carry on, with a clear message and nothing lost, when the
// world around them fails: an unwritable print folder, a missing bitmap,
// a missing program to start, a missing screen font.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "script_run.h"

namespace fs = std::filesystem;
using marula::test::bin_dir;
using marula::test::read_all;
using marula::test::run_script;

namespace {

// A connecting traverse of two legs, entered whole.
const std::vector<std::string> kTraverse = {
    "type B",       "type 0",        "type K1", "type 1000", "type 1000",
    "type P1",      "type 90",       "type 100",
    "type K2",      "type 270",      "type 100",
    "type F",       "type 90.0010",  "type 0",
    "type 900.010", "type 1099.995", "type 90",
};

// A folder for a copy of one program with none of its siblings or data,
// only the runtime's modules that stand beside every program.
struct LoneCopy {
    fs::path dir;
    explicit LoneCopy(const std::string& program) {
        dir = fs::temp_directory_path() / ("marula-lone-" + std::to_string(::getpid()) + "-" + program);
        fs::create_directories(dir);
        for (const std::string& file : {program, std::string("libmarula_sdl.so"), std::string("libmarula_pdf.so"),
                                        std::string("libmarula_glyphs.so")})
            fs::copy_file(bin_dir() / file, dir / file, fs::copy_options::overwrite_existing);
    }
    ~LoneCopy() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

// The files in a folder whose names start with `prefix` (a dot counts: the
// temporaries of unfinished files start with one).
std::vector<std::string> files_starting(const fs::path& dir, std::string_view prefix) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(prefix)) found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(Faults, ADanglingLinkKeepsItsNameAndThePageTakesTheNext) {
    fs::path dir = fs::temp_directory_path() / ("marula-dangling-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::create_symlink("/proc/no-such-folder/page.pdf", dir / "print-1.pdf");
    {
        std::ofstream script(dir / "s.script");
        for (const auto& line : kTraverse) script << line << "\n";
        script << "key F4\nsnap after\nkey F5\nsnap again\n";
    }
    std::string cmd = "cd '" + dir.string() + "' && MARULA_HEADLESS=1 MARULA_SCRIPT=s.script MARULA_OUT=. " +
                      "MARULA_DATE=2026/12/08 '" + (bin_dir() / "linktrav").string() + "' > /dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::string log = read_all(dir / "events.log");
    EXPECT_EQ(log.find("error "), std::string::npos) << log;
    EXPECT_NE(log.find("print print-2.pdf"), std::string::npos) << log;
    // The link is left as it was, pointing where it did.
    EXPECT_TRUE(fs::is_symlink(dir / "print-1.pdf"));
    EXPECT_EQ(fs::read_symlink(dir / "print-1.pdf"), "/proc/no-such-folder/page.pdf");
    EXPECT_FALSE(fs::exists(dir / "print-1.txt"));
    EXPECT_TRUE(fs::exists(dir / "print-2.txt"));
    // The table is still there, every value kept, and the keys still work.
    std::string screen = read_all(dir / "again.txt");
    EXPECT_NE(screen.find("1000.006    1099.996"), std::string::npos) << screen;
    EXPECT_NE(screen.find("16667"), std::string::npos) << screen;
    std::error_code ec;
    fs::remove_all(dir, ec);
}

// A disk that fails, through a preloaded library that makes one call fail
// for the files whose path holds a given text.
struct DiskFault {
    const char* what;
    const char* path;   // files that fail
    const char* call;   // write, fsync or rename
    const char* error;  // ENOSPC or EIO
    const char* key;    // what the user does then
    const char* lost;   // the files that must not be left, whole or not
};

TEST(Faults, AFailingDiskLeavesNoFileHalfWrittenAndTheProgramGoesOn) {
    const DiskFault faults[] = {
        {"report, disk full", "print", "write", "ENOSPC", "key F4", "print"},
        {"report, flush fails", "print", "fsync", "EIO", "key F4", "print"},
        {"report, rename fails", "print", "rename", "EIO", "key F4", "print"},
        {"transcript only, disk full", "print.txt", "write", "ENOSPC", "key F4", "print"},
        {"hard copy, disk full", "hardcopy", "write", "ENOSPC", "key F3", "hardcopy"},
        {"hard copy, flush fails", "hardcopy", "fsync", "EIO", "key F3", "hardcopy"},
        {"snap, disk full", "shot", "write", "ENOSPC", "snap shot", "shot"},
    };
    for (const DiskFault& f : faults) {
        std::vector<std::string> script = kTraverse;
        for (const char* line : {f.key, "snap after", "key F5", "snap again"}) script.emplace_back(line);
        auto r = run_script("linktrav", script,
                            {std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS, std::string("DISK_FAULT_PATH=") + f.path,
                             std::string("DISK_FAULT_CALL=") + f.call, std::string("DISK_FAULT_ERRNO=") + f.error,
                             "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"});
        EXPECT_EQ(r.exit_status, 0) << f.what << r.stderr_text;
        EXPECT_FALSE(r.events_starting("error ").empty()) << f.what;
        EXPECT_TRUE(r.events_starting("print ").empty()) << f.what;
        EXPECT_TRUE(r.events_starting("hardcopy ").empty()) << f.what;
        EXPECT_EQ(files_starting(r.out_dir, f.lost), std::vector<std::string>{}) << f.what;
        EXPECT_EQ(files_starting(r.out_dir, std::string(".") + f.lost), std::vector<std::string>{}) << f.what;
        // The program went on: the table is there and the keys still work.
        EXPECT_NE(r.row("again", 4).find("1000.006    1099.996"), std::string::npos) << f.what;
        EXPECT_TRUE(r.logged("idle")) << f.what;
    }
}

TEST(Faults, AFailingDiskIsLoggedOnceWithItsCauseAndTheUserWarned) {
    std::vector<std::string> script = kTraverse;
    script.emplace_back("key F4");
    auto r = run_script("linktrav", script,
                        {std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS, "DISK_FAULT_PATH=print",
                         "DISK_FAULT_CALL=write", "DISK_FAULT_ERRNO=ENOSPC",
                         "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("beep"));
    const auto errors = r.events_starting("error ");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("No space left on device"), std::string::npos) << errors[0];
}

TEST(Faults, ASignalWhilePrintingLeavesNoFileBehind) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        fs::path dir = fs::temp_directory_path() / ("marula-signal-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        {
            std::ofstream script(dir / "s.script");
            for (const auto& line : kTraverse) script << line << "\n";
            script << "key F4\n";
        }
        // The page is flushed to a disk that never answers.
        const std::vector<std::string> env = {
            "MARULA_HEADLESS=1", "MARULA_SCRIPT=s.script", "MARULA_OUT=.", "MARULA_DATE=2026/12/08",
            std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS, "DISK_FAULT_PATH=print", "DISK_FAULT_CALL=fsync",
            "DISK_FAULT_ERRNO=STALL", "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"};
        const std::string program = (fs::absolute(bin_dir()) / "linktrav").string();
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (const std::string& kv : env) ::putenv(const_cast<char*>(kv.c_str()));
            if (::chdir(dir.c_str()) != 0) ::_exit(126);
            ::execl(program.c_str(), "linktrav", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
        // Until the page's temporary stands (and a moment for the flush to hang).
        bool writing = false;
        for (int i = 0; i < 400 && !writing; ++i) {
            writing = !files_starting(dir, ".print.pdf").empty();
            if (!writing) ::usleep(25000);
        }
        ::usleep(200000);
        ::kill(pid, signal);
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(writing) << signal;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << " " << status;
        EXPECT_EQ(files_starting(dir, "print"), std::vector<std::string>{}) << signal;
        EXPECT_EQ(files_starting(dir, ".print"), std::vector<std::string>{}) << signal;
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
}

TEST(Faults, ProgramsPrintingAtOnceIntoOneFolderLoseNoPage) {
    constexpr int kPrograms = 8, kPages = 5;
    fs::path dir = fs::temp_directory_path() / ("marula-together-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        std::ofstream script(dir / "s.script");
        for (const auto& line : kTraverse) script << line << "\n";
        for (int i = 0; i < kPages; ++i) script << "key F4\n";
    }
    std::string cmd = "cd '" + dir.string() + "' && for i in $(seq " + std::to_string(kPrograms) +
                      "); do MARULA_HEADLESS=1 MARULA_SCRIPT=s.script MARULA_OUT=. MARULA_DATE=2026/12/08 '" +
                      (bin_dir() / "linktrav").string() + "' > /dev/null 2>&1 & done; wait";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::vector<std::string> expected;
    for (int n = 1; n <= kPrograms * kPages; ++n)
        for (const char* ext : {".pdf", ".txt"}) expected.push_back("print-" + std::to_string(n) + ext);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files_starting(dir, "print"), expected);
    EXPECT_EQ(files_starting(dir, ".print"), std::vector<std::string>{});
    int printed = 0;
    for (const std::string& line : marula::test::read_lines(dir / "events.log")) printed += line.starts_with("print ");
    EXPECT_EQ(printed, kPrograms * kPages);
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(Faults, PrintingWithoutThePdfModuleKeepsWhatNeedsNoPdfAndSaysSo) {
    LoneCopy lone("linktrav");
    fs::remove(lone.dir / "libmarula_pdf.so");
    std::vector<std::string> script = kTraverse;
    for (const char* line : {"key F4", "snap after", "key F3", "key F5", "snap again"}) script.emplace_back(line);
    auto r = run_script((lone.dir / "linktrav").string(), script);
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_FALSE(r.events_starting("error cannot load libmarula_pdf.so").empty());
    // The report's transcript and the screen's picture need no PDF: both
    // are kept, and the log says which.
    EXPECT_TRUE(r.logged("print print-1.txt"));
    EXPECT_TRUE(r.logged("hardcopy hardcopy-1.png"));
    // The notice naming the kept file stands until the next key.
    EXPECT_EQ(r.row("after", 23).find("ＰＤＦを作れません。print-1.txtだけ保存しました。"), 0u) << r.row("after", 23);
    EXPECT_EQ(files_starting(r.out_dir, "print"), std::vector<std::string>{"print-1.txt"});
    EXPECT_EQ(files_starting(r.out_dir, "hardcopy"), std::vector<std::string>{"hardcopy-1.png"});
    EXPECT_NE(r.row("again", 4).find("1000.006    1099.996"), std::string::npos) << r.row("again", 4);
    EXPECT_TRUE(r.logged("idle"));
}

TEST(Faults, WithoutTheFontModuleAndNoKeptGlyphsAProgramStopsWithAMessage) {
    LoneCopy lone("linktrav");
    fs::remove(lone.dir / "libmarula_glyphs.so");
    const fs::path cache = lone.dir / "cache";  // empty: nothing kept from earlier runs
    auto r = run_script((lone.dir / "linktrav").string(), {"type B"}, {"XDG_CACHE_HOME=" + cache.string()});
    EXPECT_NE(r.exit_status, 0);
    EXPECT_NE(r.exit_status, -1) << "crashed or hung";
    EXPECT_NE(r.stderr_text.find("libmarula_glyphs.so"), std::string::npos) << r.stderr_text;
}

TEST(Faults, MissingBitmapsDrawNothingAndTheMenuStillWorks) {
    LoneCopy lone("marula");
    auto r = run_script((lone.dir / "marula").string(), {"snap menu", "key F3", "snap sub"});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_FALSE(r.events_starting("error bitmap").empty());
    EXPECT_NE(r.row("menu", 15).find("逆 計 算"), std::string::npos);
    EXPECT_NE(r.row("sub", 15).find("連続逆算"), std::string::npos);
}

TEST(Faults, MissingProgramLeavesTheLauncherWorking) {
    LoneCopy lone("marula");
    auto r = run_script((lone.dir / "marula").string(), {"key F1", "key F1", "snap after", "key F5", "snap menu"});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("run linktrav"));
    EXPECT_FALSE(r.events_starting("error program not found").empty());
    // The launcher carried on: F5 brought the main menu back.
    EXPECT_NE(r.row("menu", 6).find("ﾄﾗﾊﾞ-ｽ計算"), std::string::npos);
    EXPECT_TRUE(r.logged("idle"));
}

TEST(Faults, MissingScreenFontStopsWithAMessage) {
    for (const char* program : {"marula", "linktrav"}) {
        auto r = run_script(program, {"type B"}, {"MARULA_FONT=/nonexistent/font.otf"});
        EXPECT_NE(r.exit_status, 0) << program;
        EXPECT_NE(r.exit_status, -1) << program << " crashed or hung";
        EXPECT_NE(r.stderr_text.find("/nonexistent/font.otf"), std::string::npos) << r.stderr_text;
    }
}

}  // namespace
