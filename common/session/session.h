// One program run's session: the launch settings, the job (opened once,
// through one connection that the journal shares) and, for a calculation,
// its journal with the restore and reopen of earlier runs. A program's
// `main` says what kind of program it is and hands its body to
// run_program, which gives the body its Runtime and its Session:
//
//     int main(int argc, char** argv) {
//         return marula::run_program(marula::ProgramKind::point_list, "points", argc, argv,
//                                    [](marula::Runtime& rt, marula::Session& session) { … });
//     }
//
// The runtime draws and reads keys and knows no job; the job library keeps
// the job and knows no screen; the session stands on both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "job/job.h"
#include "job/journal.h"
#include "runtime/runtime.h"
#include "session/launch.h"

namespace marula {

class Session {
public:
    Session(Runtime& rt, ProgramKind kind, LaunchSettings launch);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Runtime& runtime() { return rt_; }
    ProgramKind kind() const { return kind_; }
    const LaunchSettings& launch() const { return launch_; }

    // ---- the job ---------------------------------------------------------
    // The job the launch settings choose (MARULA_JOB; in script mode
    // nothing else; in a window the current job), opened at the start.
    job::Job* job() { return job_.get(); }
    const job::Job* job() const { return job_.get(); }
    // A job that can be written: open, not read-only, not found damaged.
    bool writable() const;
    // Why the chosen job could not be opened, or that it is read-only;
    // empty when it opened for writing (or none was chosen).
    const std::string& open_message() const { return open_message_; }
    // The job's folder as chosen, even when it could not be opened.
    const std::optional<std::filesystem::path>& chosen_folder() const { return chosen_; }

    // Closes the job's connection (RUN does this before the next program
    // starts, so the job is free for it).
    void close_job();
    // Closes this job and opens the one in `folder` in its place (the
    // point list's change of job); the open's message as open_message().
    void switch_to(const std::filesystem::path& folder);
    // Closes this job and makes a new one under the folder for new jobs;
    // nothing when it is open in this one's place, else why not (this job
    // is then open again).
    std::optional<std::string> create_and_switch(const job::JobHeader& header);

    // The line a sheet printed in the job carries under its title: the
    // job's display name and its zone when set ("現場：神南一丁目（第9系）");
    // empty without a job.
    std::string sheet_line() const;

    // From now on the program's sheets are filed in the job's reports/ and
    // carry the job's line under their title (nothing without a job).
    void file_sheets_in_job();

    // A trouble of the job on the prompt row. SQLite's finding that the
    // job is damaged is said once, naming it; others each time.
    void say(std::string_view message);
    void say_trouble(const job::ReadTrouble& trouble);

    // ---- the journal of a calculation ------------------------------------
    // Starts journaling the run (nothing is written until its first event)
    // and, at the start of a calculation whose title stands: replays the
    // run MARULA_REOPEN names, or offers to restore the previous run when
    // that one stopped unfinished (in a window; in script mode only with
    // MARULA_RESTORE=ask), naming it by `program_title` (see
    // program_title() in launch.h), when it started and its answers.
    void begin_journal(std::string_view program_title);
    // The journal's run, once it has its first event.
    std::optional<std::int64_t> journal_run() const;
    // What the run says when its journal can no longer be written: that the
    // job is damaged (once, like every other finding of it), or that the
    // input is no longer kept.
    std::string journal_trouble();

private:
    void open(const std::filesystem::path& folder);

    Runtime& rt_;
    ProgramKind kind_;
    LaunchSettings launch_;
    std::optional<std::filesystem::path> chosen_;
    std::unique_ptr<job::Job> job_;
    std::string open_message_;
    bool damage_said_ = false;
public:
    struct JournalOfRun;
    friend struct JournalOfRun;

private:
    std::shared_ptr<JournalOfRun> journal_;  // shared with the runtime's sink
};

// Program start: picks the backend (script mode when MARULA_HEADLESS=1,
// else an SDL window), builds the runtime and the session and runs `body`.
// Prints start-up failures on stderr and returns a non-zero status.
// Linked only into program executables.
int run_program(ProgramKind kind, const char* program, int argc, char** argv,
                const std::function<void(Runtime&, Session&)>& body);

}  // namespace marula
