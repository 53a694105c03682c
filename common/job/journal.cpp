// The journal's tables, through the job's connection: an event is one
// INSERT committed on its own (WAL, synchronous=NORMAL, so a commit costs
// no sync).
#include "job/journal.h"

#include <charconv>

#include "job/provenance.h"

namespace marula::job {

namespace {

const char* const kRunColumns =
    "SELECT r.id, r.program, r.started, r.ending, r.replayable,"
    " (SELECT count(*) FROM journal_events e WHERE e.run = r.id),"
    " (SELECT count(*) FROM journal_answers a WHERE a.run = r.id),"
    // The typed lines a replay would give: events are numbered from 0 in
    // order, and those from `replayable` on are not replayed.
    " (SELECT count(*) FROM journal_events e WHERE e.run = r.id AND substr(e.line, 1, 5) = 'type '"
    "  AND (r.replayable IS NULL OR e.seq < r.replayable)) FROM journal_runs r ";

JournalRun read_run(const Statement& q) {
    JournalRun r;
    r.id = q.integer(0);
    r.program = q.text(1);
    r.started = q.text(2);
    if (!q.null(3)) r.ending = q.text(3);
    r.events = q.integer(5);
    r.replayable = q.null(4) ? r.events : std::min(q.integer(4), r.events);
    r.answers = q.integer(6);
    r.typed = q.integer(7);
    return r;
}

bool is_number(std::string_view s) {
    if (s.empty()) return false;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

Read<std::vector<JournalRun>> Journal::runs() const {
    return db_.read([&] {
        std::vector<JournalRun> out;
        Statement q = db_.prepare(std::string(kRunColumns) + "ORDER BY r.id DESC");
        while (q.step()) out.push_back(read_run(q));
        return out;
    });
}

Read<std::optional<JournalRun>> Journal::run(std::int64_t id) const {
    return db_.read([&]() -> std::optional<JournalRun> {
        Statement q = db_.prepare(std::string(kRunColumns) + "WHERE r.id = ?");
        q.bind(1, id);
        if (!q.step()) return std::nullopt;
        return read_run(q);
    });
}

Read<std::optional<JournalRun>> Journal::latest_run(std::string_view program) const {
    return db_.read([&]() -> std::optional<JournalRun> {
        Statement q = db_.prepare(std::string(kRunColumns) + "WHERE r.program = ? ORDER BY r.id DESC LIMIT 1");
        q.bind(1, program);
        if (!q.step()) return std::nullopt;
        return read_run(q);
    });
}

Read<std::vector<std::string>> Journal::events(std::int64_t id) const {
    return db_.read([&] {
        std::vector<std::string> out;
        Statement q = db_.cached("SELECT line FROM journal_events WHERE run = ? ORDER BY seq");
        q.bind(1, id);
        while (q.step()) out.push_back(q.text(0));
        return out;
    });
}

Read<std::vector<std::string>> Journal::first_names(std::int64_t id, int count) const {
    return db_.read([&] {
        std::vector<std::string> names;
        Statement q = db_.cached("SELECT line FROM journal_events WHERE run = ? ORDER BY seq");
        q.bind(1, id);
        while (static_cast<int>(names.size()) < count && q.step()) {
            const std::string line = q.text(0);
            if (!line.starts_with("type ")) continue;
            std::string_view text = std::string_view(line).substr(5);
            while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
            while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
            if (!text.empty() && !is_number(text)) names.emplace_back(text);
        }
        return names;
    });
}

Read<std::vector<Journal::Answer>> Journal::answers(std::int64_t id) const {
    return db_.read([&] {
        std::vector<Answer> out;
        Statement q = db_.cached("SELECT seq, question, answer FROM journal_answers WHERE run = ? ORDER BY rowid");
        q.bind(1, id);
        while (q.step()) out.push_back({q.integer(0), q.text(1), q.text(2)});
        return out;
    });
}

std::optional<std::string> JournalWriter::begin() {
    if (run_) return std::nullopt;
    try {
        Statement q = db_.cached("INSERT INTO journal_runs (program, started, reopened_from) VALUES (?, ?, ?)");
        q.bind(1, program_).bind(2, local_time()).bind(3, reopened_from_);
        q.run();
        run_ = db_.last_insert_rowid();
        next_seq_ = 0;
    } catch (const DbError& e) {
        db_.note(e);
        return std::string(kJournalTrouble);
    }
    // A value the replayed run took that cannot be taken over only costs
    // its mark: the run goes on.
    if (inheritance_)
        (void)inherit_inputs(db_, *run_, inheritance_->from, inheritance_->before_event, inheritance_->except);
    return std::nullopt;
}

std::optional<std::string> JournalWriter::record(std::string_view line) {
    if (db_.damaged() || db_.read_only()) return std::string(kJournalTrouble);
    if (auto trouble = begin()) return trouble;
    try {
        Statement q = db_.cached("INSERT INTO journal_events (run, seq, line) VALUES (?, ?, ?)");
        q.bind(1, *run_).bind(2, next_seq_).bind(3, line);
        q.run();
    } catch (const DbError& e) {
        db_.note(e);
        return std::string(kJournalTrouble);
    }
    ++next_seq_;
    return std::nullopt;
}

std::optional<std::string> JournalWriter::amend(std::int64_t index, std::string_view line) {
    if (!run_ || index < 0 || index >= next_seq_) return std::nullopt;
    if (db_.damaged()) return std::string(kJournalTrouble);
    try {
        Statement q = db_.cached("UPDATE journal_events SET line = ? WHERE run = ? AND seq = ?");
        q.bind(1, line).bind(2, *run_).bind(3, index);
        q.run();
    } catch (const DbError& e) {
        db_.note(e);
        return std::string(kJournalTrouble);
    }
    return std::nullopt;
}

std::optional<std::string> JournalWriter::withdraw(std::int64_t index) {
    if (!run_ || index != next_seq_ - 1) return std::nullopt;
    if (db_.damaged()) return std::string(kJournalTrouble);
    try {
        db_.cached("DELETE FROM journal_events WHERE run = ? AND seq = ?").bind(1, *run_).bind(2, index).run();
    } catch (const DbError& e) {
        db_.note(e);
        return std::string(kJournalTrouble);
    }
    next_seq_ = index;
    return std::nullopt;
}

std::optional<std::string> JournalWriter::record_answer(std::string_view question, std::string_view answer) {
    // The answer's typed line leaves the events for a record of its own, in
    // one transaction.
    if (!run_ || next_seq_ == 0) return std::nullopt;
    const std::int64_t seq = next_seq_ - 1;
    const WriteResult w = db_.write([&] {
        db_.cached("DELETE FROM journal_events WHERE run = ? AND seq = ?").bind(1, *run_).bind(2, seq).run();
        db_.cached("INSERT INTO journal_answers (run, seq, question, answer) VALUES (?, ?, ?, ?)")
            .bind(1, *run_)
            .bind(2, seq)
            .bind(3, question)
            .bind(4, answer)
            .run();
        return WriteResult{};
    });
    if (!w.ok()) return std::string(kJournalTrouble);
    next_seq_ = seq;
    return std::nullopt;
}

std::optional<std::string> JournalWriter::record_question(std::string_view question, std::string_view answer) {
    if (db_.damaged() || db_.read_only()) return std::string(kJournalTrouble);
    if (auto trouble = begin()) return trouble;
    try {
        db_.cached("INSERT INTO journal_answers (run, seq, question, answer) VALUES (?, ?, ?, ?)")
            .bind(1, *run_)
            .bind(2, next_seq_)
            .bind(3, question)
            .bind(4, answer)
            .run();
    } catch (const DbError& e) {
        db_.note(e);
        return std::string(kJournalTrouble);
    }
    return std::nullopt;
}

std::optional<std::string> JournalWriter::end_run(std::string_view ending, std::int64_t replayable) {
    if (!run_ || db_.damaged()) return std::nullopt;
    try {
        Statement q = db_.cached("UPDATE journal_runs SET ending = ?, replayable = ? WHERE id = ?");
        q.bind(1, ending).bind(2, replayable).bind(3, *run_);
        q.run();
    } catch (const DbError& e) {
        db_.note(e);
        return std::string(kJournalTrouble);
    }
    return std::nullopt;
}

std::string ending_label(const std::optional<std::string>& ending) {
    if (!ending) return "中断（強制終了）";
    if (*ending == "reinput") return "再入力";
    if (*ending == "menu") return "メニュー";
    if (*ending == "end") return "終了";
    if (*ending == "run") return "他のプログラムへ";
    if (*ending == "closed") return "中断（ウィンドウを閉じた）";
    if (*ending == "escaped") return "中断（入力を中止）";
    return *ending;
}

bool offered_for_restore(const JournalRun& run) {
    if (run.events <= 0) return false;
    if (!run.ending) return true;
    return *run.ending == "closed" || *run.ending == "escaped";
}

}  // namespace marula::job
