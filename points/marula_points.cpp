// marula-points: a job's points from the shell, for scripts and tests.
//
//   marula-points --job DIR init [--name NAME] [--zone N]
//   marula-points --job DIR list | history
//   marula-points --job DIR import FILE [--columns ORDER] [--on-conflict keep|replace|cancel]
//   marula-points --job DIR export sima|csv FILE [--cp932]
//   marula-points --job DIR rename OLD NEW | delete NAME
//   marula-points --job DIR journal [N]
//
// Output is UTF-8 with LF line ends; refusals go to standard error as
// FILE:LINE: CODE: text.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "base/files.h"
#include "job/job.h"
#include "job/journal.h"

namespace {

using namespace marula::job;

// Exit statuses.
constexpr int kDone = 0;
constexpr int kRefused = 1;      // the file was refused
constexpr int kUsage = 2;
constexpr int kNotChosen = 3;    // conflicts without a choice, or cancelled
constexpr int kBusy = 4;         // the job stayed busy beyond the timeout
constexpr int kJobFailed = 5;    // the job cannot be opened, or written

constexpr const char* kProgram = "marula-points";

const char* const kHelp = R"(Usage: marula-points --job DIR COMMAND [ARGUMENTS]

Manages the points of a Marula job (a folder holding job.db) from the shell.
Without --job, the job is taken from $MARULA_JOB.

Commands:
  init [--name NAME] [--zone N]   create the job, or set its name and its zone (1-19)
  list                            the points in number order, one a line:
                                  NAME<TAB>X<TAB>Y<TAB>H (metres, %.3f; H empty when absent)
  import FILE [--columns ORDER] [--on-conflict keep|replace|cancel]
                                  read a SIMA (.sim) or CSV (.csv) file into the job;
                                  prints the preview's counts and warnings first.
                                  ORDER for a CSV without header: name,x,y[,h] or num,name,x,y[,h].
                                  Points stored elsewhere than the file says are conflicts:
                                  without --on-conflict nothing is imported.
  export sima|csv FILE [--cp932]  write the job's points (CSV: UTF-8 with BOM, or CP932)
  rename OLD NEW                  give a point another name
  delete NAME                     delete a point
  history                         the job's changes, oldest first, one a line:
                                  TIME<TAB>PROGRAM<TAB>ACTION<TAB>NAME<TAB>BEFORE<TAB>AFTER<TAB>SOURCE
  journal                         the journaled runs of the calculation programs, newest first:
                                  N<TAB>STARTED<TAB>PROGRAM<TAB>FIRST NAMES<TAB>ENDING
                                  (ENDING: reinput, menu, end, run, closed, escaped or killed)
  journal N                       run N as script lines (type ..., key ..., dblclick ...) that
                                  MARULA_SCRIPT replays through its program to the same final screen

A file that cannot be read is refused whole, with FILE:LINE: CODE: text on
standard error (FILE: CODE: text where no line applies). Every change is one
transaction: done whole or not at all.

Environment:
  MARULA_JOB                  the job, when --job is not given
  MARULA_JOB_BUSY_TIMEOUT_MS  how long to wait for another program writing the job (default 5000)

Exit status:
  0  done
  1  the file was refused
  2  usage
  3  conflicts without a choice, or the import was cancelled
  4  the job stayed busy (another program writing) beyond the timeout
  5  the job cannot be opened, or cannot be written (read-only, disk full)
)";

int usage(const std::string& why) {
    std::cerr << kProgram << ": " << why << "\n" << "Try 'marula-points --help'.\n";
    return kUsage;
}

int job_failure(const std::string& message) {
    std::cerr << kProgram << ": " << message << "\n";
    return kJobFailed;
}

int write_failure(const WriteResult& w) {
    std::cerr << kProgram << ": " << w.message << "\n";
    switch (w.status) {
    case WriteStatus::busy: return kBusy;
    case WriteStatus::read_only:
    case WriteStatus::failed: return kJobFailed;
    default: return kUsage;  // not found, name taken, bad name: what was asked cannot be
    }
}

std::string h_text(const std::optional<Millimetres>& h) { return h ? format_metres(*h) : std::string(); }

std::string point_text(const std::optional<Point>& p) {
    if (!p) return "";
    return p->name + " " + format_metres(p->x) + " " + format_metres(p->y) + " " + (p->h ? format_metres(*p->h) : "-");
}


// FILE:LINE: CODE: text, or FILE: CODE: text.
std::string located(const std::string& file, const Diagnostic& d) {
    std::string out = file + ":";
    if (d.line > 0) out += std::to_string(d.line) + ":";
    out += " ";
    out += code_name(d.code);
    out += ": ";
    out += describe(d);
    return out;
}

std::string file_name_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const Origin kOrigin{"marula-points", "入力"};

int run_import(Job& job, const std::vector<std::string>& args) {
    std::optional<std::string> file, columns, on_conflict;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--columns" && i + 1 < args.size()) columns = args[++i];
        else if (args[i] == "--on-conflict" && i + 1 < args.size()) on_conflict = args[++i];
        else if (!file && args[i].rfind("--", 0) != 0) file = args[i];
        else return usage("import: unexpected argument: " + args[i]);
    }
    if (!file) return usage("import: no FILE");
    std::optional<OnConflict> choice;
    if (on_conflict) {
        if (*on_conflict == "keep") choice = OnConflict::keep;
        else if (*on_conflict == "replace") choice = OnConflict::replace;
        else if (*on_conflict == "cancel") choice = OnConflict::cancel;
        else return usage("import: --on-conflict takes keep, replace or cancel");
    }
    std::optional<ColumnOrder> order;
    if (columns) {
        order = parse_column_order(*columns);
        if (!order) return usage("import: --columns takes name,x,y[,h] or num,name,x,y[,h]");
    }
    const auto format = format_of(*file);
    if (!format) return usage("import: FILE must end in .sim or .csv");
    const auto bytes = marula::read_file(*file);
    if (!bytes) {
        std::cerr << located(*file, Diagnostic{Code::E_READ, 0, 0, std::strerror(errno)}) << "\n";
        return kRefused;
    }
    const ReadResult read = *format == FileFormat::sima ? read_sima(*bytes) : read_csv(*bytes, order);
    if (!read.ok()) {
        std::cerr << located(*file, *read.error) << "\n";
        return kRefused;
    }
    const ImportPreview preview = job.preview_import(read.file);
    if (preview.trouble) return job_failure(*preview.trouble);
    std::cout << "new " << preview.new_points.size() << "\n"
              << "identical " << preview.identical.size() << "\n"
              << "height-added " << preview.heights_added.size() << "\n"
              << "conflicts " << preview.conflicts.size() << "\n"
              << "skipped-records " << preview.skipped_records << "\n"
              << "warnings " << preview.warnings.size() << "\n";
    for (const Diagnostic& d : preview.warnings) std::cout << located(*file, d) << "\n";
    for (const auto& added : preview.heights_added)
        std::cout << "height-added " << added.stored.name << " " << format_metres(added.h) << "\n";
    for (const auto& c : preview.conflicts)
        std::cout << "conflict " << c.stored.name << " stored " << point_text(c.stored) << " file "
                  << point_text(c.file) << " (line " << c.line << ")\n";
    if (!preview.conflicts.empty() && !choice) {
        std::cerr << *file << ": " << preview.conflicts.size()
                  << " conflict(s); nothing imported: choose --on-conflict keep, replace or cancel\n";
        return kNotChosen;
    }
    if (choice == OnConflict::cancel) {
        std::cout << "cancelled: nothing imported\n";
        return kNotChosen;
    }
    const ImportOutcome outcome =
        job.apply_import(read.file, choice.value_or(OnConflict::keep), {kProgram, file_name_of(*file)});
    if (!outcome.result.ok()) return write_failure(outcome.result);
    std::cout << "imported: added " << outcome.added << ", heights added " << outcome.heights_added
              << ", replaced " << outcome.replaced << ", kept " << outcome.kept << "\n";
    return kDone;
}

int run_export(Job& job, const std::vector<std::string>& args) {
    if (args.size() < 2 || args.size() > 3) return usage("export: sima|csv FILE [--cp932]");
    const bool cp932 = args.size() == 3 && args[2] == "--cp932";
    if (args.size() == 3 && !cp932) return usage("export: unexpected argument: " + args[2]);
    Read<std::string> bytes;
    if (args[0] == "sima" && !cp932) bytes = job.export_sima();
    else if (args[0] == "csv") bytes = job.export_csv(cp932 ? CsvEncoding::cp932 : CsvEncoding::utf8_bom);
    else return usage("export: sima|csv FILE [--cp932]");
    if (!bytes.ok()) return job_failure(*bytes.trouble);
    if (const auto failed = save_file(args[1], bytes.value)) {
        std::cerr << args[1] << ": E_WRITE: " << *failed << "\n";
        return kJobFailed;
    }
    return kDone;
}

// The journal: the list of runs, or one run as script lines.
int run_journal(Job& job, const std::vector<std::string>& params) {
    if (params.size() > 1) return usage("journal [N]");
    const Journal journal(job.database());
    auto ending_of = [](const JournalRun& r) { return r.ending.value_or("killed"); };
    if (params.empty()) {
        const auto runs = journal.runs();
        if (!runs.ok()) return job_failure(*runs.trouble);
        std::string out;
        for (const JournalRun& r : runs.value) {
            std::string names;
            for (const std::string& n : journal.first_names(r.id, 3).value) names += (names.empty() ? "" : " ") + n;
            out += std::to_string(r.id) + "\t" + r.started + "\t" + r.program + "\t" + names + "\t" + ending_of(r) + "\n";
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        return kDone;
    }
    char* end = nullptr;
    const long long id = std::strtoll(params[0].c_str(), &end, 10);
    if (params[0].empty() || *end != '\0' || id < 1) return usage("journal N: N is a run's number");
    const auto found = journal.run(id);
    if (!found.ok()) return job_failure(*found.trouble);
    const auto& run = found.value;
    if (!run) {
        std::cerr << kProgram << ": no run " << params[0] << " in the journal\n";
        return kRefused;
    }
    std::string out = "# " + run->program + " " + run->started + " ended: " + ending_of(*run) + "\n";
    // The answers to the job's own questions stand as comments where they
    // were given: a replay never asks them.
    const auto read_events = journal.events(id);
    const auto read_answers = journal.answers(id);
    if (!read_events.ok() || !read_answers.ok())
        return job_failure(read_events.trouble ? *read_events.trouble : *read_answers.trouble);
    const auto& events = read_events.value;
    const auto& answers = read_answers.value;
    std::size_t next_answer = 0;
    for (std::size_t i = 0; i <= events.size(); ++i) {
        for (; next_answer < answers.size() && answers[next_answer].after_events <= std::int64_t(i); ++next_answer)
            out += "# " + answers[next_answer].question + " " + answers[next_answer].answer + "\n";
        if (i < events.size()) out += events[i] + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kDone;
}

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
    const std::vector<std::string> params(rest.begin() + 1, rest.end());
    static const char* const kCommands[] = {"init", "list", "import", "export", "rename", "delete", "history", "journal"};
    if (std::find(std::begin(kCommands), std::end(kCommands), command) == std::end(kCommands))
        return usage("unknown command: " + command);

    OpenResult opened = open_job(*folder);
    if (!opened.job) return job_failure(opened.message);
    Job& job = *opened.job;
    if (opened.status == OpenStatus::read_only) std::cerr << kProgram << ": " << opened.message << "\n";

    if (command == "init") {
        JobHeader header = job.header();
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (params[i] == "--name" && i + 1 < params.size()) {
                header.display_name = params[++i];
            } else if (params[i] == "--zone" && i + 1 < params.size()) {
                const std::string& z = params[++i];
                char* end = nullptr;
                const long zone = std::strtol(z.c_str(), &end, 10);
                if (z.empty() || *end != '\0' || zone < 1 || zone > 19) return usage("init: --zone takes 1 to 19");
                header.zone = static_cast<int>(zone);
            } else {
                return usage("init: unexpected argument: " + params[i]);
            }
        }
        const WriteResult w = job.set_header(header, kOrigin);
        return w.ok() ? kDone : write_failure(w);
    }
    if (command == "list") {
        if (!params.empty()) return usage("list takes no arguments");
        const auto points = job.points();
        if (!points.ok()) return job_failure(*points.trouble);
        std::string out;
        for (const Point& p : points.value)
            out += p.name + "\t" + format_metres(p.x) + "\t" + format_metres(p.y) + "\t" + h_text(p.h) + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        return kDone;
    }
    if (command == "history") {
        if (!params.empty()) return usage("history takes no arguments");
        const auto history = job.history();
        if (!history.ok()) return job_failure(*history.trouble);
        for (const Change& c : history.value) {
            const std::string before = c.before_text ? *c.before_text : point_text(c.before);
            const std::string after = c.after_text ? *c.after_text : point_text(c.after);
            std::cout << c.time << "\t" << c.program << "\t" << c.action << "\t" << c.name << "\t" << before << "\t"
                      << after << "\t" << c.source << "\n";
        }
        return kDone;
    }
    if (command == "journal") return run_journal(job, params);
    if (command == "import") return run_import(job, params);
    if (command == "export") return run_export(job, params);
    if (command == "rename") {
        if (params.size() != 2) return usage("rename OLD NEW");
        const WriteResult w = job.rename(params[0], params[1], kOrigin);
        return w.ok() ? kDone : write_failure(w);
    }
    if (command == "delete") {
        if (params.size() != 1) return usage("delete NAME");
        const WriteResult w = job.remove(params[0], kOrigin);
        return w.ok() ? kDone : write_failure(w);
    }
    return usage("unknown command: " + command);
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
