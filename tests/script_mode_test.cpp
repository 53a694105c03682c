// Script mode says what went wrong: the output folder, the script itself,
// the date, and the folder the programs and their modules stand in.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "script_run.h"

namespace fs = std::filesystem;
using marula::test::bin_dir;
using marula::test::read_all;
using marula::test::run_script;

namespace {

// A folder of the test's own, removed afterwards.
struct Scratch {
    fs::path dir;
    explicit Scratch(const std::string& what) {
        dir = fs::temp_directory_path() / ("marula-" + what + "-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path file(const std::string& name, const std::string& content) const {
        std::ofstream(dir / name, std::ios::binary) << content;
        return dir / name;
    }
};

// A connecting traverse of two legs, entered whole.
const std::string kTraverse =
    "type B\ntype 0\ntype K1\ntype 1000\ntype 1000\ntype P1\ntype 90\ntype 100\n"
    "type K2\ntype 270\ntype 100\ntype F\ntype 90.0010\ntype 0\ntype 900.010\ntype 1099.995\ntype 90\n";

std::vector<std::string> traverse_lines() {
    std::vector<std::string> lines;
    std::string_view rest = kTraverse;
    while (!rest.empty()) {
        lines.emplace_back(rest.substr(0, rest.find('\n')));
        rest.remove_prefix(rest.find('\n') + 1);
    }
    return lines;
}

TEST(ScriptMode, AMissingOutputFolderIsMade) {
    Scratch scratch("out-made");
    const fs::path out = scratch.dir / "a" / "b";
    auto r = run_script("linktrav", {"type B", "snap s"}, {"MARULA_OUT=" + out.string()});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(fs::exists(out / "s.txt"));
    EXPECT_NE(read_all(out / "events.log").find("start linktrav"), std::string::npos);
}

TEST(ScriptMode, AnOutputFolderThatCannotBeWrittenStopsAtOnce) {
    Scratch scratch("out-bad");
    const fs::path plain = scratch.file("plain", "x");
    for (const fs::path& out : {plain, plain / "sub"}) {
        auto r = run_script("linktrav", {"type B", "snap s"}, {"MARULA_OUT=" + out.string()});
        EXPECT_EQ(r.exit_status, 2) << out;
        EXPECT_NE(r.stderr_text.find("MARULA_OUT"), std::string::npos) << r.stderr_text;
    }
}

TEST(ScriptMode, ALineNotUnderstoodStopsTheScriptBeforeAnythingRuns) {
    const std::vector<std::string> bad = {
        "typ 5", "Type 5", "type\t5", "key F11", "key", "key enter", "dblclick 400", "dblclick 400 100 7",
        "dblclick x y", "snap", "snap a/b", "snapshot s", "KEY F1",
    };
    for (const std::string& line : bad) {
        // The bad line comes late: nothing before it may have run.
        auto r = run_script("linktrav", {"type B", "snap early", "type 0", line, "snap late"});
        EXPECT_EQ(r.exit_status, 2) << line;
        EXPECT_NE(r.stderr_text.find("script line 4"), std::string::npos) << r.stderr_text;
        EXPECT_NE(r.stderr_text.find(line), std::string::npos) << r.stderr_text;
        EXPECT_FALSE(r.has_snap("early")) << line;
        EXPECT_TRUE(r.events.empty()) << line;
    }
}

TEST(ScriptMode, CommentsBlankLinesAndDosLineEndsAreFine) {
    auto r = run_script("linktrav", {"# a comment", "", "   ", "\t# indented", "type B\r", "  snap s  ", "key Enter\r"});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.has_snap("s"));
}

TEST(ScriptMode, AByteOrderMarkAtTheStartIsAccepted) {
    Scratch scratch("bom");
    const fs::path script = scratch.file("s.script", "\xEF\xBB\xBF" "snap first\ntype B\nsnap s\n");
    auto r = run_script("linktrav", {}, {"MARULA_SCRIPT=" + script.string()});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.has_snap("first"));
    EXPECT_TRUE(r.has_snap("s"));
}

TEST(ScriptMode, OnlyARegularScriptWithLinesOfSaneLengthIsRead) {
    Scratch scratch("script-kinds");
    const fs::path fifo = scratch.dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path long_line = scratch.file("long.script", "type B\ntype " + std::string(5000, '1') + "\n");
    const fs::path no_end = scratch.file("noend.script", "type B\ntype " + std::string(70000, '1'));
    for (const fs::path& script : {fs::path("/dev/zero"), fifo, scratch.dir, long_line, no_end}) {
        auto r = run_script("linktrav", {}, {"MARULA_SCRIPT=" + script.string()}, 20);
        EXPECT_EQ(r.exit_status, 2) << script << r.stderr_text;
        EXPECT_FALSE(r.stderr_text.empty()) << script;
    }
}

TEST(ScriptMode, AProgramStartedByRunGoesOnFromTheByteOffsetItIsHanded) {
    Scratch scratch("offset");
    // What stands before the offset is neither run nor checked again.
    const std::string before = "snap before\ntyp not a line\n";
    const fs::path script = scratch.file("s.script", before + "type B\nsnap after\n");
    auto r = run_script("linktrav", {},
                        {"MARULA_SCRIPT=" + script.string(), "MARULA_SCRIPT_OFFSET=" + std::to_string(before.size())});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_FALSE(r.has_snap("before"));
    EXPECT_TRUE(r.has_snap("after"));
    // And a chain of programs hands the place on: the launcher starts the
    // traverse, which takes the lines after the launcher's.
    auto chain = run_script("marula", {"snap menu", "key F1", "key F1", "snap form", "type B", "snap next"});
    EXPECT_EQ(chain.exit_status, 0) << chain.stderr_text;
    EXPECT_TRUE(chain.logged("start linktrav"));
    EXPECT_TRUE(chain.has_snap("form"));
    EXPECT_TRUE(chain.has_snap("next"));
}

TEST(ScriptMode, MarulaDateIsTakenOnlyAsARealDate) {
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(today, sizeof today, "%Y/%m/%d", &tm);
    struct Case {
        std::string date;
        std::string printed;  // what the report's heading ends with
    };
    const Case cases[] = {
        {"2024/02/29", "2024/02/29"}, {"1999/12/31", "1999/12/31"}, {"2026/02/29", today}, {"2026/13/01", today},
        {"2026/4/1", today},          {"26/04/01xx", today},        {"2026/04/01\nX", today}, {"<b>", today},
    };
    std::vector<std::string> script = traverse_lines();
    script.emplace_back("key F4");
    for (const Case& c : cases) {
        auto r = run_script("linktrav", script, {"MARULA_DATE=" + c.date});
        EXPECT_EQ(r.exit_status, 0) << c.date;
        std::string heading;
        for (const std::string& line : marula::test::transcript(r))
            if (line.find("By MARULA") != std::string::npos) heading = line;
        EXPECT_TRUE(heading.ends_with("By MARULA " + c.printed)) << c.date << ": " << heading;
        EXPECT_EQ(r.stderr_text.find("MARULA_DATE") != std::string::npos, c.printed == today) << c.date;
    }
}

TEST(ScriptMode, WithoutProcTheProgramsOwnFolderIsFoundNotTheCurrentOne) {
    // /proc/self/exe cannot be read: the modules are still taken from
    // beside the program (the current folder holds none).
    std::vector<std::string> script = traverse_lines();
    script.emplace_back("key F4");
    auto r = run_script((fs::absolute(bin_dir()) / "linktrav").string(), script,
                        {std::string("LD_PRELOAD=") + MARULA_DISK_FAULTS, "DISK_FAULT_PATH=/proc/self/exe",
                         "DISK_FAULT_CALL=readlink", "DISK_FAULT_ERRNO=EACCES",
                         "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"});
    EXPECT_EQ(r.exit_status, 0) << r.stderr_text;
    EXPECT_TRUE(r.logged("print print-1.pdf")) << r.stderr_text;
    EXPECT_TRUE(r.events_starting("error").empty());
}

}  // namespace
