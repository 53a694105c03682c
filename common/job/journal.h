// The journal of a job: each run of a calculation program, its start, the
// input it took (one event a line in script syntax: `type …`, `key F3`,
// `dblclick X Y`) and how it ended. Each event is committed as it comes
// (WAL, synchronous=NORMAL): a crash or a kill loses nothing committed. It
// is kept in the job's database, through the job's own connection.
//
//   JournalWriter journal(job->database(), "linktrav");
//   journal.record("type T1");       // the run's row is written with its first event
//   journal.end_run("end", 1);
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "job/database.h"

namespace marula::job {

// The most events a run may hold: a longer record is damaged (it would
// take minutes to replay, with no way out).
inline constexpr std::int64_t kJournalEventLimit = 100'000;

struct JournalRun {
    std::int64_t id = 0;
    std::string program;
    std::string started;                // local time "YYYY-MM-DD HH:MM:SS"
    std::optional<std::string> ending;  // "reinput", "menu", "end", "run", "closed", "escaped"; none: killed
    std::int64_t events = 0;            // events recorded
    std::int64_t replayable = 0;        // events before the one that ended it (all when it ended by none)
    std::int64_t answers = 0;           // answers to the job's own questions
    std::int64_t typed = 0;             // typed lines (answers to the program) among the replayable events
};

// How a run's ending reads in the list ("終了", "強制終了", …).
std::string ending_label(const std::optional<std::string>& ending);
// Whether a run that ended so is offered for restore at its program's next
// start (it ended otherwise than by re-input, menu, end or RUN).
bool offered_for_restore(const JournalRun& run);

// Reading the journal.
class Journal {
public:
    explicit Journal(const Database& db) : db_(db) {}

    // Runs newest first; the newest run of a program.
    Read<std::vector<JournalRun>> runs() const;
    Read<std::optional<JournalRun>> run(std::int64_t id) const;
    Read<std::optional<JournalRun>> latest_run(std::string_view program) const;
    // A run's events in order.
    Read<std::vector<std::string>> events(std::int64_t id) const;
    // The first names typed in a run (typed lines that are not numbers).
    Read<std::vector<std::string>> first_names(std::int64_t id, int count) const;
    // The answers to questions the job caused: the event count before
    // each, the question and the answer.
    struct Answer {
        std::int64_t after_events = 0;
        std::string question, answer;
    };
    Read<std::vector<Answer>> answers(std::int64_t id) const;

private:
    const Database& db_;
};

// Writing one run. Nothing is written until its first event: a start that
// takes no input leaves no run. Every function gives nothing, or one line
// in Japanese when the journal cannot be written.
class JournalWriter {
public:
    // What a run replaying an earlier one takes over from it: the values
    // that run took from the job at the events replayed (all before
    // `before_event`, except those at `except`, which are taken afresh).
    struct Inheritance {
        std::int64_t from = 0;
        std::int64_t before_event = 0;
        std::set<std::int64_t> except;
    };

    JournalWriter(Database& db, std::string program, std::optional<std::int64_t> reopened_from = std::nullopt,
                  std::optional<Inheritance> inheritance = std::nullopt)
        : db_(db), program_(std::move(program)), reopened_from_(reopened_from), inheritance_(std::move(inheritance)) {}

    std::optional<std::string> record(std::string_view line);
    // Replaces the event recorded `index`-th (from 0) of this run.
    std::optional<std::string> amend(std::int64_t index, std::string_view line);
    // Takes back the event recorded `index`-th, which must be the last:
    // the next one recorded takes its place.
    std::optional<std::string> withdraw(std::int64_t index);
    // The answer to a question the job caused: it replaces the event
    // recorded last (the answer's typed line).
    std::optional<std::string> record_answer(std::string_view question, std::string_view answer);
    // The answer to a question the job caused that no typed line answered
    // (a one-key question before the run's first event): kept the same way.
    std::optional<std::string> record_question(std::string_view question, std::string_view answer);
    std::optional<std::string> end_run(std::string_view ending, std::int64_t replayable);
    // The run's number once it has begun.
    std::optional<std::int64_t> run() const { return run_; }

private:
    std::optional<std::string> begin();
    Database& db_;
    std::string program_;
    std::optional<std::int64_t> reopened_from_;
    std::optional<Inheritance> inheritance_;
    std::optional<std::int64_t> run_;
    std::int64_t next_seq_ = 0;
};

// The notice when the journal cannot be written.
inline constexpr std::string_view kJournalTrouble = "入力の記録ができません。記録せずに続けます。";

}  // namespace marula::job
