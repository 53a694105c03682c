// Running a real Marula program in script mode from a test.
//
//   auto r = marula::test::run_script("marula", {"key F2", "snap s", "key F3"});
//   EXPECT_TRUE(r.logged("run isect4p"));
//   EXPECT_EQ(r.cells("s", 10, 39, 6), " Ｆ１ ");  // row 10, columns 39-44 of s.txt
//
// The program is $MARULA_BIN/<program>, run with MARULA_HEADLESS=1, the
// lines written to a script file, MARULA_OUT set to a fresh temporary
// folder and MARULA_DATE to a fixed day; MARULA_JOB is taken away unless
// `extra_env` gives it. A run that has not finished after
// `timeout_seconds` is killed and reported with exit status -1.
//
// The output folder is removed when the result is destroyed, unless
// MARULA_KEEP_OUT=1 is set in the test's environment (then its path is
// printed on stderr, to read the dumps of a failing case).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marula::test {

class ScriptResult {
public:
    ScriptResult() = default;
    ScriptResult(ScriptResult&& other) noexcept;
    ScriptResult& operator=(ScriptResult&& other) noexcept;
    ScriptResult(const ScriptResult&) = delete;
    ScriptResult& operator=(const ScriptResult&) = delete;
    ~ScriptResult();

    std::filesystem::path out_dir;
    int exit_status = -1;             // the program's exit status; -1 killed or by a signal
    std::vector<std::string> events;  // the lines of events.log, in order
    std::string stderr_text;          // what the program wrote on stderr

    // True when events.log holds exactly this line.
    bool logged(std::string_view line) const;
    // How many times events.log holds exactly this line.
    int times_logged(std::string_view line) const;
    // The events that start with `prefix` (e.g. "run "), in order.
    std::vector<std::string> events_starting(std::string_view prefix) const;
    // NAME.txt as 24 rows (missing rows and a missing file give empty rows).
    std::vector<std::string> screen(std::string_view name) const;
    // One row of NAME.txt.
    std::string row(std::string_view name, int row) const { return screen(name).at(row); }
    // The text of NAME.txt from grid column `column`, `width` columns wide
    // (a full-width character counts two columns), trailing blanks kept.
    std::string cells(std::string_view name, int row, int column, int width) const;
    // NAME.color as 24 rows of 80 characters (hex digit or '.').
    std::vector<std::string> colors(std::string_view name) const;
    // Whether NAME.txt exists.
    bool has_snap(std::string_view name) const;
};

// Runs $MARULA_BIN/<program> over the script lines (a `program` holding a
// '/' is taken as the path of the executable itself). `extra_env` entries
// ("NAME=value") are added to the environment.
ScriptResult run_script(std::string_view program, const std::vector<std::string>& lines,
                        const std::vector<std::string>& extra_env = {}, int timeout_seconds = 60);

// The folder the programs and their modules stand in: $MARULA_BIN, or
// "bin" below the working folder when it is not set.
std::filesystem::path bin_dir();

// Script lines; two pieces of a script join with +.
using Lines = std::vector<std::string>;
inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The lines of report transcript print-N.txt in the run's output folder
// (none when there is no such transcript).
std::vector<std::string> transcript(const ScriptResult& r, int page = 1);

// Whether `lines` holds exactly `line`.
bool has_line(const std::vector<std::string>& lines, std::string_view line);
// Whether one of `lines` holds `part` anywhere in it.
bool has_line_containing(const std::vector<std::string>& lines, std::string_view part);

// The script lines that type each value in turn ("" types an empty answer).
Lines typed(const std::vector<std::string>& values);

// Cuts a UTF-8 row of a text dump by grid columns: characters of two
// Shift-JIS bytes (full-width) take two columns, the others one.
std::string cut_columns(std::string_view row, int column, int width);

// The lines of a text file (none when it cannot be read), and its whole text.
std::vector<std::string> read_lines(const std::filesystem::path& file);
std::string read_all(const std::filesystem::path& file);

}  // namespace marula::test
