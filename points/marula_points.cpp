// marula-points: a job's points from the shell, for scripts and tests.
//
//   marula-points --job DIR init [--name NAME] [--zone N]
//   marula-points --job DIR list | history
//   marula-points --job DIR import FILE [--columns ORDER] [--on-conflict keep|replace|cancel]
//                 [--encoding cp932|utf-8] [--geoid M]
//   marula-points --job DIR export sima|csv FILE [--cp932] [--latlon] [--replace]
//   marula-points --job DIR rename OLD NEW | delete NAME
//   marula-points --job DIR journal [N]
//   marula-points --job DIR settings [--reduction …] [--height M] [--geoid M] [--class …]
//   marula-points --job DIR geo [NAME …]
//   marula-points --job DIR check
//   marula-points --job DIR lot list | show NAME | add NAME P1 P2 … | delete NAME
//
// Output is UTF-8 with LF line ends; refusals go to standard error as
// FILE:LINE: CODE: text.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "job/job.h"
#include "points_command.h"

namespace {

using namespace marula::job;
using namespace marula::points_command;

const char* const kHelp = R"(Usage: marula-points --job DIR COMMAND [ARGUMENTS]

Manages the points of a Marula job (a folder holding job.db) from the shell.
Without --job, the job is taken from $MARULA_JOB.

Commands:
  init [--name NAME] [--zone N]   create the job, or set its name and its zone (1-19);
                                  NAME: up to 40 characters a point name could hold
  list [--stale]                  the points in number order, one a line:
                                  NAME<TAB>X<TAB>Y<TAB>H (metres, %.3f; H empty when absent);
                                  with --stale only the points computed from a value that has
                                  moved since (1 mm or more), with that input's name (or the
                                  stale point it came from) as a fifth field
  import FILE [--columns ORDER] [--on-conflict keep|replace|cancel] [--encoding cp932|utf-8] [--geoid M]
                                  read a SIMA (.sim) or CSV (.csv) file into the job;
                                  prints the preview's counts, its encoding and warnings first.
                                  ORDER for a CSV without header: name,x,y[,h] or num,name,x,y[,h].
                                  Points stored elsewhere than the file says are conflicts:
                                  without --on-conflict nothing is imported.
                                  --encoding reads the file in that encoding whatever it looks like.
                                  A CSV of latitude and longitude is converted into the job's zone
                                  (a job without a zone refuses it); its 楕円体高 less the geoid
                                  height (--geoid M in metres, else the job's setting) gives H.
                                  Only regular files are read; a line may hold 4,096 bytes.
  export sima|csv FILE [--cp932] [--latlon] [--replace]
                                  write the job's points (CSV: UTF-8 with BOM, or CP932);
                                  --latlon adds 緯度 and 経度 (decimal degrees) to a CSV.
                                  A FILE that exists is never replaced: FILE: exists on
                                  standard error, exit status 3. --replace replaces a
                                  regular file (never a link, a device or a folder).
                                  The job's own files (job.db and SQLite's files beside it)
                                  are never written: FILE: the job's own file, exit status 3.
                                  CSV names a spreadsheet would take for formulas are
                                  written as text behind ' and counted on standard error.
  rename OLD NEW                  give a point another name
  delete NAME                     delete a point (refused while a parcel uses it)
  history                         the job's changes, oldest first, one a line:
                                  TIME<TAB>PROGRAM<TAB>ACTION<TAB>NAME<TAB>BEFORE<TAB>AFTER<TAB>SOURCE
  journal                         the journaled runs of the calculation programs, newest first:
                                  N<TAB>STARTED<TAB>PROGRAM<TAB>FIRST NAMES<TAB>ENDING
                                  (ENDING: reinput, menu, end, run, closed, escaped or killed)
  settings                        the job's settings, one a line: reduction<TAB>none|scale|height-scale,
                                  height<TAB>M, geoid<TAB>M (metres, %.3f), class<TAB>CLASS
  settings [--reduction none|scale|height-scale] [--height M] [--geoid M] [--class CLASS]
                                  change them: distance reduction (scale and height-scale need the
                                  job's zone), mean height -1000 to 9000, geoid height -200 to 200,
                                  CLASS none, 1-4 (public survey) or 甲一 甲二 甲三 乙一 乙二 乙三 (cadastral)
  geo [NAME ...]                  latitude, longitude, grid convergence (degrees) and scale factor of
                                  the named points (all when none), one a line:
                                  NAME<TAB>LAT<TAB>LON<TAB>CONVERGENCE<TAB>SCALE (needs the job's zone)
  journal N                       run N as script lines (type ..., key ..., dblclick ...) that
                                  MARULA_SCRIPT replays through its program to the same final screen
  lot list                        the parcels (画地) by name, one a line: NAME<TAB>VERTICES
  lot show NAME                   the parcel's vertex names in order, one a line
  lot add NAME P1 P2 P3 ...       a new parcel of stored points (3 or more, in order)
  lot delete NAME                 delete a parcel (its points stay)
  check                           the full integrity check of job.db (reads every page):
                                  prints ok, or SQLite's first ten problems

A file that cannot be read is refused whole, with FILE:LINE: CODE: text on
standard error (FILE: CODE: text where no line applies). Every change is one
transaction: done whole or not at all.

Environment:
  MARULA_JOB                  the job, when --job is not given
  MARULA_JOB_BUSY_TIMEOUT_MS  how long to wait for another program writing the job (default 5000)

Exit status:
  0  done
  1  the file was refused, or a point has no latitude and longitude in the zone
  2  usage, a value out of range, a job without the zone a command needs, or a point
     or parcel that is not in the job
  3  conflicts without a choice, the import was cancelled, the parcel exists already,
     or the export's FILE exists
  4  the job stayed busy (another program writing) beyond the timeout
  5  the job cannot be opened, or cannot be written (read-only, disk full), or check found damage
)";

// The commands by name.
struct Command {
    const char* name;
    int (*run)(Job& job, const Args& params);
};
constexpr Command kCommands[] = {
    {"init", run_init},     {"list", run_list},       {"import", run_import},   {"export", run_export},
    {"rename", run_rename}, {"delete", run_delete},   {"history", run_history}, {"journal", run_journal},
    {"settings", run_settings}, {"geo", run_geo},
    {"lot", run_lot},
    {"check", run_check},
};

int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::optional<std::string> folder;
    if (const auto env = job_from_environment()) folder = env->string();
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            std::cout << kHelp;
            return kDone;
        }
        if (args[i] == "--job" && i + 1 < args.size() && rest.empty()) folder = args[++i];
        else if (args[i].rfind("--job=", 0) == 0 && rest.empty()) folder = args[i].substr(6);
        else rest.push_back(args[i]);
    }
    if (rest.empty()) return usage("no command");
    if (!folder || folder->empty()) return usage("no job: give --job DIR or set MARULA_JOB");
    const std::string command = rest.front();
    const Args params(rest.begin() + 1, rest.end());
    const Command* chosen = nullptr;
    for (const Command& c : kCommands)
        if (command == c.name) chosen = &c;
    if (!chosen) return usage("unknown command: " + command);

    OpenResult opened = open_job(*folder);
    if (!opened.job) return job_failure(opened.message);
    if (opened.status == OpenStatus::read_only) std::cerr << kProgram << ": " << opened.message << "\n";
    return chosen->run(*opened.job, params);
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
