// The point list's journal: the calculation programs' runs in this job,
// newest first; the one chosen starts its program with that run replayed.
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "base/format.h"
#include "base/text_codec.h"
#include "frame/correction.h"
#include "frame/entry.h"
#include "frame/key_bar.h"
#include "job/journal.h"
#include "list_screen.h"

namespace marula::points {

// ---- F4 the journal: reopen an earlier calculation ------------------------------
// The calculation programs' runs in this job, newest first; the one
// chosen starts its program with that run replayed.
std::string reopen_run(Runtime& rt, Session& session) {
    erase_key_bar(rt, KeyBar::Table);
    const job::Journal journal(session.job()->database());
    const auto listed = journal.runs();
    if (!listed.ok()) {
        session.say(*listed.trouble);
        return {};
    }
    const std::vector<job::JournalRun>& runs = listed.value;
    // Each run by its own number (as marula-points journal lists it), the
    // program by its name on screens.
    std::vector<std::string> lines{" 入力の記録（新しい順）"};
    const std::size_t shown = std::min<std::size_t>(runs.size(), kPageRows - 1);
    for (std::size_t i = 0; i < shown; ++i) {
        const job::JournalRun& r = runs[i];
        std::string names;
        for (const std::string& n : journal.first_names(r.id, 3).value) names += (names.empty() ? "" : " ") + n;
        std::string number = std::to_string(r.id);
        if (number.size() < 5) number.insert(0, 5 - number.size(), ' ');
        lines.push_back(number + " " + r.started.substr(0, 16) + " " +
                        format_using("&            &", {std::string(program_title(r.program))}) + " " +
                        format_using("&            &", {names}) + " " + job::ending_label(r.ending));
    }
    if (runs.empty()) lines.push_back(" （記録はまだありません）");
    show_lines(rt, lines);
    for (;;) {
        const std::string typed = trim_blanks(ask_text(rt, 2, "開く記録の番号は（Enterで一覧に戻ります） "));
        if (typed.empty()) return {};
        const auto value = parse_number(typed);
        const std::int64_t number = value ? whole_number_in(*value, 1, std::numeric_limits<int>::max()).value_or(0) : 0;
        const auto end = runs.begin() + std::ptrdiff_t(shown);
        const auto chosen_run = std::find_if(runs.begin(), end, [number](const job::JournalRun& r) { return r.id == number; });
        if (chosen_run == end) {
            session.say("一覧の番号を入力して下さい。");
            continue;
        }
        const job::JournalRun& chosen = *chosen_run;
        // The program replays the run at its start (and takes the
        // variable away from any program it starts in turn). RUN closes
        // the job first; when the program cannot be started the job
        // stays open here.
        ::setenv("MARULA_REOPEN", std::to_string(chosen.id).c_str(), 1);
        rt.run(chosen.program);
        ::unsetenv("MARULA_REOPEN");
        return {};
    }
}

}  // namespace marula::points
