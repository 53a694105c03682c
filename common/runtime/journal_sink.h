// Where the runtime sends the input a program takes, for a journal of the
// run. The runtime knows nothing of where the journal is kept: a program's
// start-up code gives it a sink (see Runtime::set_journal).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace marula {

// How a run ended, by what happened (the keys differ between key bars).
enum class RunEnding {
    reinput,  // RUN of the program itself
    menu,     // RUN of the launcher
    end,      // END
    run,      // RUN of another program
    closed,   // the window was closed (in script mode: the script ran out)
    escaped,  // the entry was left by Escape for the menu
};
std::string_view run_ending_name(RunEnding ending);  // "reinput", "menu", …

class JournalSink {
public:
    virtual ~JournalSink() = default;
    // One input event in script syntax ("type T1", "key F3",
    // "dblclick 400 100"), kept at once. Returns a one-line notice when the
    // journal can no longer be written (empty when it has been said
    // already); the runtime then stops using it.
    virtual std::optional<std::string> record(std::string_view line) = 0;
    // Replaces the line recorded `index`-th (from 0): an empty answer that
    // took an offered value is kept as that value typed.
    virtual std::optional<std::string> amend(long index, std::string_view line) = 0;
    // Takes back the line recorded `index`-th, which is the last one: an
    // answer that entered nothing. The next line recorded takes its place.
    virtual std::optional<std::string> withdraw(long index) = 0;
    // The answer to a question the job itself caused (replace stored
    // points?), kept as a record of its own beside the events: it takes the
    // place of the typed line recorded last (the answer's), which is no
    // longer an input event.
    virtual std::optional<std::string> record_answer(std::string_view question, std::string_view answer) = 0;
    // How the run ended; `replayable` events (from the first) lead up to
    // the event that ended it.
    virtual void ended(RunEnding ending, long replayable) = 0;
};

}  // namespace marula
