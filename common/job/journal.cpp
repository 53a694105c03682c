// The journal's tables in the job's database, through a connection of its
// own: an event is one INSERT committed on its own (WAL, synchronous=NORMAL,
// so a commit costs no sync).
#include "job/journal.h"

#include <sqlite3.h>

#include <charconv>
#include <cstdlib>
#include <ctime>

namespace marula::job {

namespace {

constexpr std::int64_t kJournalVersion = 2;

std::string now_local() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

int busy_timeout_ms() {
    if (const char* t = std::getenv("MARULA_JOB_BUSY_TIMEOUT_MS"); t && *t) return std::atoi(t);
    return 5000;
}

// A prepared statement finalized on leaving.
class Query {
public:
    Query(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK; }
    ~Query() { sqlite3_finalize(stmt_); }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    bool ok() const { return ok_; }
    Query& bind(int i, std::int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Query& bind(int i, std::string_view v) {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    bool row() { return ok_ && sqlite3_step(stmt_) == SQLITE_ROW; }
    bool done() { return ok_ && sqlite3_step(stmt_) == SQLITE_DONE; }
    std::int64_t integer(int i) const { return sqlite3_column_int64(stmt_, i); }
    bool null(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }
    std::string text(int i) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        return p ? std::string(p, std::size_t(sqlite3_column_bytes(stmt_, i))) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool ok_ = false;
};

bool is_number(std::string_view s) {
    if (s.empty()) return false;
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size();
}

}  // namespace

struct Journal::Impl {
    sqlite3* db = nullptr;
    std::int64_t run = 0;
    std::int64_t next_seq = 0;
    ~Impl() { sqlite3_close_v2(db); }

    static std::unique_ptr<Impl> connect(const std::filesystem::path& folder, bool write, std::string& message) {
        auto impl = std::make_unique<Impl>();
        const int flags = write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY;
        const auto file = folder / "job.db";
        if (sqlite3_open_v2(file.c_str(), &impl->db, flags, nullptr) != SQLITE_OK) {
            message = std::string(kJournalTrouble);
            return nullptr;
        }
        sqlite3_busy_timeout(impl->db, busy_timeout_ms());
        Query version(impl->db, "PRAGMA user_version");
        if (!version.row() || version.integer(0) < kJournalVersion) {
            message = std::string(kJournalTrouble);
            return nullptr;
        }
        if (write) {
            if (sqlite3_db_readonly(impl->db, "main") == 1 ||
                sqlite3_exec(impl->db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL", nullptr, nullptr,
                             nullptr) != SQLITE_OK) {
                message = std::string(kJournalTrouble);
                return nullptr;
            }
        }
        return impl;
    }
};

Journal::Journal(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Journal::~Journal() = default;

std::unique_ptr<Journal> Journal::open(const std::filesystem::path& folder, std::string& message) {
    auto impl = Impl::connect(folder, true, message);
    if (!impl) return nullptr;
    return std::unique_ptr<Journal>(new Journal(std::move(impl)));
}

std::unique_ptr<Journal> Journal::open_for_reading(const std::filesystem::path& folder, std::string& message) {
    auto impl = Impl::connect(folder, false, message);
    if (!impl) return nullptr;
    return std::unique_ptr<Journal>(new Journal(std::move(impl)));
}

namespace {

const char* kRunColumns =
    "SELECT r.id, r.program, r.started, r.ending, r.replayable,"
    " (SELECT count(*) FROM journal_events e WHERE e.run = r.id) FROM journal_runs r ";

JournalRun read_run(const Query& q) {
    JournalRun r;
    r.id = q.integer(0);
    r.program = q.text(1);
    r.started = q.text(2);
    if (!q.null(3)) r.ending = q.text(3);
    r.events = q.integer(5);
    r.replayable = q.null(4) ? r.events : std::min(q.integer(4), r.events);
    return r;
}

}  // namespace

std::vector<JournalRun> Journal::runs() const {
    std::vector<JournalRun> out;
    Query q(impl_->db, (std::string(kRunColumns) + "ORDER BY r.id DESC").c_str());
    while (q.row()) out.push_back(read_run(q));
    return out;
}

std::optional<JournalRun> Journal::run(std::int64_t id) const {
    Query q(impl_->db, (std::string(kRunColumns) + "WHERE r.id = ?").c_str());
    q.bind(1, id);
    if (!q.row()) return std::nullopt;
    return read_run(q);
}

std::optional<JournalRun> Journal::latest_run(std::string_view program) const {
    Query q(impl_->db, (std::string(kRunColumns) + "WHERE r.program = ? ORDER BY r.id DESC LIMIT 1").c_str());
    q.bind(1, program);
    if (!q.row()) return std::nullopt;
    return read_run(q);
}

std::vector<std::string> Journal::events(std::int64_t id) const {
    std::vector<std::string> out;
    Query q(impl_->db, "SELECT line FROM journal_events WHERE run = ? ORDER BY seq");
    q.bind(1, id);
    while (q.row()) out.push_back(q.text(0));
    return out;
}

std::vector<std::string> Journal::first_names(std::int64_t id, int count) const {
    std::vector<std::string> names;
    for (const std::string& line : events(id)) {
        if (static_cast<int>(names.size()) >= count) break;
        if (!line.starts_with("type ")) continue;
        std::string_view text = std::string_view(line).substr(5);
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
        if (!text.empty() && !is_number(text)) names.emplace_back(text);
    }
    return names;
}

std::optional<std::string> Journal::begin_run(std::string_view program, std::optional<std::int64_t> reopened_from) {
    Query q(impl_->db, "INSERT INTO journal_runs (program, started, reopened_from) VALUES (?, ?, ?)");
    q.bind(1, program).bind(2, now_local());
    if (reopened_from) q.bind(3, *reopened_from);
    if (!q.done()) return std::string(kJournalTrouble);
    impl_->run = sqlite3_last_insert_rowid(impl_->db);
    impl_->next_seq = 0;
    return std::nullopt;
}

std::optional<std::string> Journal::record(std::string_view line) {
    Query q(impl_->db, "INSERT INTO journal_events (run, seq, line) VALUES (?, ?, ?)");
    q.bind(1, impl_->run).bind(2, impl_->next_seq).bind(3, line);
    if (!q.done()) return std::string(kJournalTrouble);
    ++impl_->next_seq;
    return std::nullopt;
}

std::optional<std::string> Journal::amend(std::int64_t index, std::string_view line) {
    if (index < 0 || index >= impl_->next_seq) return std::nullopt;
    Query q(impl_->db, "UPDATE journal_events SET line = ? WHERE run = ? AND seq = ?");
    q.bind(1, line).bind(2, impl_->run).bind(3, index);
    if (!q.done()) return std::string(kJournalTrouble);
    return std::nullopt;
}

std::optional<std::string> Journal::record_answer(std::string_view question, std::string_view answer) {
    // The answer's typed line leaves the events for a record of its own, in
    // one transaction.
    if (impl_->next_seq == 0) return std::nullopt;
    const std::int64_t seq = impl_->next_seq - 1;
    if (sqlite3_exec(impl_->db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return std::string(kJournalTrouble);
    Query drop(impl_->db, "DELETE FROM journal_events WHERE run = ? AND seq = ?");
    drop.bind(1, impl_->run).bind(2, seq);
    Query q(impl_->db, "INSERT INTO journal_answers (run, seq, question, answer) VALUES (?, ?, ?, ?)");
    q.bind(1, impl_->run).bind(2, seq).bind(3, question).bind(4, answer);
    if (!drop.done() || !q.done() || sqlite3_exec(impl_->db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(impl_->db, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::string(kJournalTrouble);
    }
    impl_->next_seq = seq;
    return std::nullopt;
}

std::vector<Journal::Answer> Journal::answers(std::int64_t id) const {
    std::vector<Answer> out;
    Query q(impl_->db, "SELECT seq, question, answer FROM journal_answers WHERE run = ? ORDER BY rowid");
    q.bind(1, id);
    while (q.row()) out.push_back({q.integer(0), q.text(1), q.text(2)});
    return out;
}

std::optional<std::string> Journal::end_run(std::string_view ending, std::int64_t replayable) {
    Query q(impl_->db, "UPDATE journal_runs SET ending = ?, replayable = ? WHERE id = ?");
    q.bind(1, ending).bind(2, replayable).bind(3, impl_->run);
    if (!q.done()) return std::string(kJournalTrouble);
    return std::nullopt;
}

std::int64_t Journal::current_run() const { return impl_->run; }

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
