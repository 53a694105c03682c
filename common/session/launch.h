// How a program was started: what kind of program it is, and the launch
// settings read once from the environment at its start.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace marula {

// The launcher's name: what the menu key and Escape start, and the program
// every calculation returns to.
inline constexpr std::string_view kLauncherName = "marula";

// The calculation programs' names as the user knows them, for what names a
// run of one (the restore question, the point list's journal).
struct ProgramTitle {
    std::string_view program;  // the deliverable's name
    std::string_view title;    // its name on screens
};
inline constexpr ProgramTitle kProgramTitles[] = {
    {"linktrav", "結合トラバース"}, {"looptrav", "閉合トラバース"}, {"opentrav", "連続トラバース"},
    {"radtrav", "放射トラバース"},  {"isect2d", "2点2方向"},        {"isect1d", "3点1方向"},
    {"isect4p", "４点交点"},        {"perpfoot", "３点垂線"},        {"invchain", "連続逆算"},
    {"invradial", "放射逆算"},      {"coordarea", "座標面積"},       {"cornercut", "隅切計算"},
    {"stakeout", "杭打ち計算"},
};

// The title of `program`; the program's own name when it has none.
constexpr std::string_view program_title(std::string_view program) {
    for (const ProgramTitle& p : kProgramTitles)
        if (p.program == program) return p.title;
    return program;
}

// What a program does with the job.
enum class ProgramKind {
    launcher,    // shows the job's name
    point_list,  // lists and edits the job's points, changes job
    calculation, // takes points from the job, stores what it computes, journals its input
    standalone,  // has nothing to do with a job (opens none)
};

// The environment a program starts in, read once.
struct LaunchSettings {
    bool script_mode = false;                      // MARULA_HEADLESS=1
    std::optional<std::filesystem::path> job;      // MARULA_JOB
    std::string reopen;                            // MARULA_REOPEN as given (taken away: never handed on)
    std::string restore;                           // MARULA_RESTORE ("ask": script mode offers a restore)
    bool started_by_run = false;                   // MARULA_SCRIPT_OFFSET: started by RUN from a script
    std::string window_position;                   // MARULA_WINDOW_POS

    // Reads the settings and takes MARULA_REOPEN out of the environment,
    // so a program this one starts does not reopen the run again.
    static LaunchSettings from_environment();
};

// The run MARULA_REOPEN names: a plain positive whole number (digits only,
// no sign, blank or exponent), else nothing.
std::optional<std::int64_t> reopened_run_number(std::string_view text);

}  // namespace marula
