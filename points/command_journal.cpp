// marula-points journal: the journaled runs, or one run as script lines.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "base/printable.h"

#include "job/journal.h"
#include "points_command.h"

namespace marula::points_command {

using namespace marula::job;

// The journal: the list of runs, or one run as script lines.
int run_journal(Job& job, const Args& params) {
    if (params.size() > 1) return usage("journal [N]");
    const Journal journal(job.database());
    auto ending_of = [](const JournalRun& r) { return r.ending.value_or("killed"); };
    if (params.empty()) {
        const auto runs = journal.runs();
        if (!runs.ok()) return job_failure(*runs.trouble);
        std::string out;
        for (const JournalRun& r : runs.value) {
            std::string names;
            for (const std::string& n : journal.first_names(r.id, 3).value)
                names += (names.empty() ? "" : " ") + printable_quote(n);
            out += std::to_string(r.id) + "\t" + printable(r.started) + "\t" + printable(r.program) + "\t" + names +
                   "\t" + printable(ending_of(r)) + "\n";
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
    std::string out =
        "# " + printable(run->program) + " " + printable(run->started) + " ended: " + printable(ending_of(*run)) + "\n";
    // No run is that long: the record is damaged, and never read into memory.
    if (run->events > job::kJournalEventLimit) {
        out += "# damaged: the run holds " + std::to_string(run->events) + " events, more than any run can; " +
               "it is left out\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        return kDone;
    }
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
            out += "# " + printable(answers[next_answer].question) + " " + printable(answers[next_answer].answer) + "\n";
        if (i == events.size()) break;
        // An event holding a line break or a control character was never
        // typed so (line entry drops them): the record is damaged there,
        // and what follows it is no script a replay could follow either.
        if (!is_printable(events[i])) {
            out += "# damaged: event " + std::to_string(i + 1) + " holds a control character (" +
                   printable_quote(events[i]) + "); the rest of the run is left out\n";
            break;
        }
        out += events[i] + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kDone;
}

}  // namespace marula::points_command
