// Program start: the only place that chooses a backend.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "base/files.h"
#include "job/job.h"
#include "job/journal.h"
#include "module_entries.h"
#include "runtime.h"
#include "script_backend.h"
#include "sdl_backend.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace marula {

namespace {

// Loads the window backend from beside the executable and opens the window.
std::optional<std::string> open_window(const std::string& title, const std::string& placement,
                                       std::unique_ptr<Backend>& out) {
    std::string why;
    auto open = modules::load(modules::kWindow, why);
    if (!open) return "the window backend is missing: " + why;
    std::optional<std::string> error;
    open(&title, &placement, &out, &error);
    return error;
}

// Script mode writes its dumps and logs into MARULA_OUT: a missing folder
// is made; one that cannot be written in stops the program before it runs.
std::optional<std::string> prepare_out_dir() {
    const char* out = std::getenv("MARULA_OUT");
    const std::filesystem::path dir = out != nullptr && *out != '\0' ? out : ".";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!std::filesystem::is_directory(dir, ec)) return "MARULA_OUT " + dir.string() + " is not a folder and cannot be made one";
    WholeFile probe;
    if (auto err = probe.open(dir, "probe")) return "cannot write in MARULA_OUT " + dir.string() + ": " + *err;
    return std::nullopt;
}

// The calculation programs: their runs are journaled in the job (the
// launcher's and the point list's are not).
constexpr std::array<std::string_view, 12> kJournaledPrograms = {
    "linktrav", "looptrav", "opentrav", "radtrav", "isect1d", "isect2d",
    "isect4p",  "perpfoot", "invchain", "invradial", "coordarea", "cornercut",
};

// The journal of the running program, kept in the job's database.
class JobJournalSink final : public JournalSink {
public:
    explicit JobJournalSink(std::unique_ptr<job::Journal> journal) : journal_(std::move(journal)) {}
    std::optional<std::string> record(std::string_view line) override { return journal_->record(line); }
    std::optional<std::string> amend(long index, std::string_view line) override {
        return journal_->amend(index, line);
    }
    std::optional<std::string> record_answer(std::string_view question, std::string_view answer) override {
        return journal_->record_answer(question, answer);
    }
    void ended(RunEnding ending, long replayable) override { journal_->end_run(run_ending_name(ending), replayable); }

private:
    std::unique_ptr<job::Journal> journal_;
};

constexpr std::string_view kRestoreQuestion = "前回の入力を復元しますか（Y/N）";
constexpr std::string_view kLeaveKept = "入力を中止してメニューに戻りますか（Y/N）";
constexpr std::string_view kLeaveUnkept = "入力を中止してメニューに戻りますか（入力は保存されません）（Y/N）";
constexpr std::string_view kDamagedRecord = "前回の入力の記録が壊れているため復元できません。";

// The events of a journaled run, up to the one that ended it; none, and a
// notice, when a line of it is not an event.
std::optional<std::vector<InputEvent>> replay_events(const job::Journal& journal, const job::JournalRun& run) {
    std::vector<InputEvent> events;
    const auto lines = journal.events(run.id);
    for (std::size_t i = 0; i < lines.size() && std::int64_t(i) < run.replayable; ++i) {
        const ScriptLine parsed = parse_script_line(lines[i]);
        if (parsed.error || !parsed.event) return std::nullopt;  // never replayed in part
        events.push_back(*parsed.event);
    }
    return events;
}

// With a job, journals this run of a calculation program; at its start,
// offers to restore the previous run when that one stopped unfinished (in
// a window; in script mode only with MARULA_RESTORE=ask), or replays the
// run MARULA_REOPEN names (a reopened calculation).
void start_journal(Runtime& rt, std::string_view program, bool script_mode) {
    if (std::find(kJournaledPrograms.begin(), kJournaledPrograms.end(), program) == kJournaledPrograms.end()) return;
    // Escape at an entry leaves it for the menu, once confirmed; without a
    // journal the question says that the input is not kept.
    rt.set_escape_to_menu(std::string(kLeaveUnkept));
    // The run to reopen is this start's only: not handed on to a program
    // started by RUN.
    const char* reopen_env = std::getenv("MARULA_REOPEN");
    const std::string reopen = reopen_env != nullptr ? reopen_env : "";
    unsetenv("MARULA_REOPEN");
    const auto folder = job::choose_job_folder(script_mode);
    if (!folder) return;
    {
        // Brings the job's schema up to date (or tells it cannot be used).
        auto opened = job::open_job(*folder);
        if (!opened.job) return;
        // A read-only job keeps no journal; the program's own notice of
        // the read-only job says so once.
        if (opened.job->read_only()) return;
    }
    std::string why;
    auto journal = job::Journal::open(*folder, why);
    if (!journal) {
        rt.notice_before_input(why);
        return;
    }
    std::optional<std::vector<InputEvent>> replay;
    std::optional<std::int64_t> reopened;
    if (!reopen.empty()) {
        const auto run = journal->run(std::atoll(reopen.c_str()));
        if (run && run->program == program) {
            replay = replay_events(*journal, *run);
            reopened = run->id;
            if (!replay) rt.notice_before_input(std::string(kDamagedRecord));
        }
    } else {
        const char* restore = std::getenv("MARULA_RESTORE");
        // Script mode asks only when told to, and never in a program started
        // by RUN (it goes on from a byte offset of the script).
        const char* handed = std::getenv("MARULA_SCRIPT_OFFSET");
        const bool started_by_run = handed != nullptr && *handed != '\0';
        const bool ask = !script_mode || (restore != nullptr && std::string_view(restore) == "ask" && !started_by_run);
        const auto previous = journal->latest_run(program);
        if (ask && previous && job::offered_for_restore(*previous) && rt.ask_yes_no(kRestoreQuestion)) {
            replay = replay_events(*journal, *previous);
            if (!replay) rt.notice_before_input(std::string(kDamagedRecord));
        }
    }
    if (auto trouble = journal->begin_run(program, reopened)) {
        rt.notice_before_input(*trouble);
        return;
    }
    rt.set_journal(std::make_unique<JobJournalSink>(std::move(journal)));
    rt.set_escape_to_menu(std::string(kLeaveKept));
    if (replay) rt.start_replay(std::move(*replay));
}

}  // namespace

int run_program(const char* program, int, char**, const std::function<void(Runtime&)>& body) {
    std::unique_ptr<Backend> backend;
    std::optional<std::string> err;
    const char* headless = std::getenv("MARULA_HEADLESS");
    if (executable_dir().empty()) {
        std::fprintf(stderr, "%s: the folder of this program cannot be told (is /proc readable?)\n", program);
        return 2;
    }
    if (headless && std::strcmp(headless, "1") == 0) {
        err = prepare_out_dir();
        if (!err) err = make_script_backend_from_env(backend);
    } else {
        const char* place = std::getenv("MARULA_WINDOW_POS");
        err = open_window(program, place ? place : "", backend);
    }
    if (err) {
        std::fprintf(stderr, "%s: %s\n", program, err->c_str());
        return 2;
    }
    std::unique_ptr<Runtime> rt;
    if (auto font_err = Runtime::create(program, std::move(backend), rt)) {
        std::fprintf(stderr, "%s: %s\n", program, font_err->c_str());
        return 3;
    }
    rt->log_event(std::string("start ") + program);
    start_journal(*rt, program, headless && std::strcmp(headless, "1") == 0);
    body(*rt);
    rt->end();
}

}  // namespace marula
