// The programs carry on, with a clear message and nothing lost, when the
// world around them fails: an unwritable print folder, a missing bitmap,
// a missing program to start, a missing screen font.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "script_run.h"

namespace fs = std::filesystem;
using marula::test::read_all;
using marula::test::run_script;

namespace {

fs::path bin_dir() {
    const char* bin = std::getenv("MARULA_BIN");
    return bin ? fs::path(bin) : fs::path("bin");
}

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

TEST(Faults, UnwritablePrintFileGivesAMessageAndKeepsTheTable) {
    // A dangling link where the page would go: even root cannot write
    // through it, so the page cannot be saved.
    fs::path dir = fs::temp_directory_path() / ("marula-unwritable-" + std::to_string(::getpid()));
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
    EXPECT_NE(log.find("error "), std::string::npos) << log;
    EXPECT_EQ(log.find("print print-1.pdf"), std::string::npos) << log;
    EXPECT_NE(log.find("idle"), std::string::npos) << log;
    // The table is still there, every value kept, and the keys still work.
    std::string screen = read_all(dir / "again.txt");
    EXPECT_NE(screen.find("1000.006    1099.996"), std::string::npos) << screen;
    EXPECT_NE(screen.find("16667"), std::string::npos) << screen;
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(Faults, PrintingWithoutThePdfModuleGivesAMessageAndKeepsTheTable) {
    LoneCopy lone("linktrav");
    fs::remove(lone.dir / "libmarula_pdf.so");
    std::vector<std::string> script = kTraverse;
    for (const char* line : {"key F4", "snap after", "key F5", "snap again"}) script.emplace_back(line);
    auto r = run_script((lone.dir / "linktrav").string(), script);
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_FALSE(r.events_starting("error cannot load libmarula_pdf.so").empty());
    EXPECT_FALSE(r.logged("print print-1.pdf"));
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
