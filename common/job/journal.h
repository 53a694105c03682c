// The journal of a job: each run of a calculation program, its start, the
// input it took (one event a line in script syntax: `type …`, `key F3`,
// `dblclick X Y`) and how it ended. Each event is committed as it comes
// (WAL, synchronous=NORMAL): a crash or a kill loses nothing committed.
//
//   std::string why;
//   auto journal = marula::job::Journal::open(folder, why);  // after open_job
//   auto run = journal->begin_run("linktrav");
//   journal->record("type T1");
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marula::job {

struct JournalRun {
    std::int64_t id = 0;
    std::string program;
    std::string started;                // local time "YYYY-MM-DD HH:MM:SS"
    std::optional<std::string> ending;  // "reinput", "menu", "end", "run", "closed", "escaped"; none: killed
    std::int64_t events = 0;            // events recorded
    std::int64_t replayable = 0;        // events before the one that ended it (all when it ended by none)
};

// How a run's ending reads in the list ("終了", "強制終了", …).
std::string ending_label(const std::optional<std::string>& ending);
// Whether a run that ended so is offered for restore at its program's next
// start (it ended otherwise than by re-input, menu, end or RUN).
bool offered_for_restore(const JournalRun& run);

class Journal {
public:
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens the journal of the job in `folder` (open_job has made it ready).
    // None, with one line in Japanese in `message`, when it cannot be
    // written (a read-only job, an earlier version that could not be
    // brought up to date, a database that cannot be opened).
    static std::unique_ptr<Journal> open(const std::filesystem::path& folder, std::string& message);
    // The same, for reading only (listing and printing runs).
    static std::unique_ptr<Journal> open_for_reading(const std::filesystem::path& folder, std::string& message);

    // Runs newest first; the newest run of a program.
    std::vector<JournalRun> runs() const;
    std::optional<JournalRun> run(std::int64_t id) const;
    std::optional<JournalRun> latest_run(std::string_view program) const;
    // A run's events in order.
    std::vector<std::string> events(std::int64_t id) const;
    // The first names typed in a run (typed lines that are not numbers).
    std::vector<std::string> first_names(std::int64_t id, int count) const;

    // Writing: begins a new run of `program` (recording goes to it);
    // nothing, or one line in Japanese when the journal cannot be written.
    std::optional<std::string> begin_run(std::string_view program, std::optional<std::int64_t> reopened_from = {});
    std::optional<std::string> record(std::string_view line);
    // Replaces the event recorded `index`-th (from 0) of the current run.
    std::optional<std::string> amend(std::int64_t index, std::string_view line);
    // The answer to a question the job caused: it replaces the event
    // recorded last (the answer's typed line).
    std::optional<std::string> record_answer(std::string_view question, std::string_view answer);
    // Those answers of a run, in order: the event count before each, the
    // question and the answer.
    struct Answer {
        std::int64_t after_events = 0;
        std::string question, answer;
    };
    std::vector<Answer> answers(std::int64_t id) const;
    std::optional<std::string> end_run(std::string_view ending, std::int64_t replayable);
    std::int64_t current_run() const;

    struct Impl;

private:
    explicit Journal(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// The notice when the journal cannot be written.
inline constexpr std::string_view kJournalTrouble = "入力の記録ができません。記録せずに続けます。";

}  // namespace marula::job
