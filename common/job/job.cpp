// The job's point store in SQLite.
//
// Schema, version 2 (PRAGMA user_version; application_id marks the file
// as a job's):
//   job_header  one row: display name and zone
//   points      number (AUTOINCREMENT, never reused), name (unique),
//               folded name (for the width/case hint), x, y, h in whole mm
//   history     every change with old and new values
//   journal_*   (version 2) the runs of the calculation programs and their
//               input, kept by job/journal.h
// Later versions add tables through kMigrations; a database from a newer
// version is left alone.
#include "job/job.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <system_error>
#include <unordered_map>

#include "base/text_codec.h"

namespace marula::job {

namespace {

constexpr int kApplicationId = 0x4D524C41;  // "MRLA"
constexpr int kSchemaVersion = 2;

// Each entry takes the schema from version i to i + 1, in one transaction.
constexpr std::array<const char*, 2> kMigrations = {
    R"sql(
CREATE TABLE job_header (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    display_name TEXT NOT NULL DEFAULT '',
    zone INTEGER CHECK (zone IS NULL OR zone BETWEEN 1 AND 19)
);
INSERT INTO job_header (id, display_name) VALUES (1, '');
CREATE TABLE points (
    number INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE,
    folded TEXT NOT NULL,
    x INTEGER NOT NULL,
    y INTEGER NOT NULL,
    h INTEGER
);
CREATE INDEX points_folded ON points (folded);
CREATE TABLE history (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    time TEXT NOT NULL,
    program TEXT NOT NULL,
    action TEXT NOT NULL,
    name TEXT NOT NULL,
    old_number INTEGER, old_name TEXT, old_x INTEGER, old_y INTEGER, old_h INTEGER,
    new_number INTEGER, new_name TEXT, new_x INTEGER, new_y INTEGER, new_h INTEGER,
    source TEXT NOT NULL
);
)sql",
    // The journal: each run of a calculation program and the input it took,
    // in script syntax, in order. `ending` is empty for a run that stopped
    // without ending (killed); `replayable` counts the events before the
    // one that ended it.
    R"sql(
CREATE TABLE journal_runs (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    program TEXT NOT NULL,
    started TEXT NOT NULL,
    ending TEXT,
    replayable INTEGER,
    reopened_from INTEGER
);
CREATE INDEX journal_runs_program ON journal_runs (program, id);
CREATE TABLE journal_events (
    run INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    line TEXT NOT NULL,
    PRIMARY KEY (run, seq)
) WITHOUT ROWID;
CREATE TABLE journal_answers (
    run INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    question TEXT NOT NULL,
    answer TEXT NOT NULL
);
)sql",
};

// How long a write waits for another program holding the job.
int busy_timeout_ms() {
    // A test may shorten the wait so that "busy" comes quickly.
    if (const char* t = std::getenv("MARULA_JOB_BUSY_TIMEOUT_MS"); t && *t) return std::atoi(t);
    return 5000;
}

// A failed SQLite call inside a write: carries the result code up to the
// transaction, which rolls back and reports.
struct DbError {
    int code;
    std::string text;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql) {
        const int rc = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
        if (rc != SQLITE_OK) throw DbError{rc, sqlite3_errmsg(db)};
    }
    // A statement kept prepared by the connection's cache: only reset here.
    explicit Statement(sqlite3_stmt* kept) : stmt_(kept), kept_(true) {}
    ~Statement() {
        if (kept_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        } else {
            sqlite3_finalize(stmt_);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, std::int64_t v) {
        sqlite3_bind_int64(stmt_, i, v);
        return *this;
    }
    Statement& bind(int i, std::string_view v) {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int i, const std::optional<Millimetres>& v) {
        if (v) sqlite3_bind_int64(stmt_, i, *v);
        else sqlite3_bind_null(stmt_, i);
        return *this;
    }
    // True while there is a row.
    bool step() {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw DbError{rc, sqlite3_errmsg(sqlite3_db_handle(stmt_))};
    }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::int64_t integer(int i) const { return sqlite3_column_int64(stmt_, i); }
    bool null(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }
    std::optional<Millimetres> maybe(int i) const {
        if (null(i)) return std::nullopt;
        return integer(i);
    }
    std::string text(int i) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i))) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool kept_ = false;
};

// The statements a connection runs for every point of an import or every
// lookup at a prompt, prepared once.
class StatementCache {
public:
    StatementCache() = default;
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;
    ~StatementCache() { clear(); }
    void clear() {
        for (auto& [sql, stmt] : kept_) sqlite3_finalize(stmt);
        kept_.clear();
    }
    sqlite3_stmt* get(sqlite3* db, const char* sql) {
        auto it = kept_.find(sql);
        if (it != kept_.end()) return it->second;
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK) throw DbError{rc, sqlite3_errmsg(db)};
        kept_.emplace(sql, stmt);
        return stmt;
    }

private:
    std::unordered_map<const char*, sqlite3_stmt*> kept_;  // by the address of the SQL text, a literal
};

void exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        DbError e{rc, error ? error : sqlite3_errmsg(db)};
        sqlite3_free(error);
        throw e;
    }
}

std::int64_t pragma_integer(sqlite3* db, const char* sql) {
    Statement s(db, sql);
    return s.step() ? s.integer(0) : 0;
}

std::string local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

// What a failed write says on the prompt row.
WriteResult failure(const DbError& e) {
    switch (e.code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return {WriteStatus::busy, "現場が他のプログラムで使用中です。保存しませんでした", 0};
    case SQLITE_READONLY:
        return {WriteStatus::read_only, "現場は読み取り専用です。保存しませんでした", 0};
    case SQLITE_FULL:
        return {WriteStatus::failed, "ディスクがいっぱいです。保存しませんでした（元のまま）", 0};
    default:
        return {WriteStatus::failed, "現場に書き込めませんでした（元のまま）: " + e.text, 0};
    }
}

Point point_from(const Statement& s, int first) {
    // Columns: number, name, x, y, h from `first` on.
    return Point{s.integer(first), s.text(first + 1), s.integer(first + 2), s.integer(first + 3), s.maybe(first + 4)};
}

// A test seam: kill this process after so many points of an import are
// written, inside its transaction, to show that nothing half-done stays.
long kill_during_import_after() {
    const char* v = std::getenv("MARULA_JOB_KILL_DURING_IMPORT");
    return v && *v ? std::atol(v) : -1;
}

}  // namespace

struct Job::Impl {
    std::filesystem::path folder;
    sqlite3* db = nullptr;
    bool read_only = false;
    mutable StatementCache cache;

    ~Impl() {
        cache.clear();
        if (db) sqlite3_close_v2(db);
    }

    Statement kept(const char* sql) const { return Statement(cache.get(db, sql)); }

    // Runs `body` in one write transaction: committed whole, or rolled
    // back whole with the reason.
    template <class Body>
    WriteResult write(Body&& body) {
        if (read_only) return {WriteStatus::read_only, "現場は読み取り専用です。保存しませんでした", 0};
        try {
            exec(db, "BEGIN IMMEDIATE");
        } catch (const DbError& e) {
            return failure(e);
        }
        WriteResult result;
        try {
            result = body();
            if (result.ok()) exec(db, "COMMIT");
            else exec(db, "ROLLBACK");
        } catch (const DbError& e) {
            // A failed COMMIT may leave the transaction open; end it.
            if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            return failure(e);
        }
        return result;
    }

    // Runs `body` on one snapshot: a read transaction, so that many reads
    // in a row take the job's lock once (and see one state of it).
    template <class Body>
    auto reading(Body&& body) const {
        const bool own = sqlite3_get_autocommit(db) != 0 && sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
        struct End {
            sqlite3* db;
            bool own;
            ~End() {
                if (own) sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
            }
        } end{db, own};
        return body();
    }

    std::optional<Point> find(std::string_view name) const {
        Statement s = kept("SELECT number, name, x, y, h FROM points WHERE name = ?");
        s.bind(1, name);
        if (s.step()) return point_from(s, 0);
        return std::nullopt;
    }

    void log(const std::string& time, const Origin& origin, Action action, std::string_view name,
             const std::optional<Point>& before, const std::optional<Point>& after) {
        Statement s = kept(
                    "INSERT INTO history (time, program, action, name, old_number, old_name, old_x, old_y, "
                    "old_h, new_number, new_name, new_x, new_y, new_h, source) "
                    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        s.bind(1, time).bind(2, origin.program).bind(3, action_name(action)).bind(4, name);
        auto bind_point = [&](int at, const std::optional<Point>& p) {
            if (!p) return;
            s.bind(at, p->number).bind(at + 1, p->name).bind(at + 2, p->x).bind(at + 3, p->y).bind(at + 4, p->h);
        };
        bind_point(5, before);
        bind_point(10, after);
        s.bind(15, origin.source);
        s.step();
    }

    std::int64_t insert(const Point& p) {
        Statement s = kept("INSERT INTO points (name, folded, x, y, h) VALUES (?, ?, ?, ?, ?)");
        s.bind(1, p.name).bind(2, fold_width_and_case(p.name)).bind(3, p.x).bind(4, p.y).bind(5, p.h);
        s.step();
        return sqlite3_last_insert_rowid(db);
    }

    void update(const Point& p) {
        Statement s = kept("UPDATE points SET name = ?, folded = ?, x = ?, y = ?, h = ? WHERE number = ?");
        s.bind(1, p.name).bind(2, fold_width_and_case(p.name)).bind(3, p.x).bind(4, p.y).bind(5, p.h).bind(6, p.number);
        s.step();
    }
};

std::string_view action_name(Action action) {
    switch (action) {
    case Action::add: return "add";
    case Action::import: return "import";
    case Action::replace: return "replace";
    case Action::h_added: return "h-added";
    case Action::rename: return "rename";
    case Action::remove: return "delete";
    }
    return "add";
}

namespace {

std::optional<Action> action_from(std::string_view name) {
    for (Action a : {Action::add, Action::import, Action::replace, Action::h_added, Action::rename, Action::remove})
        if (action_name(a) == name) return a;
    return std::nullopt;
}

bool starts_like_sqlite(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    char head[16] = {};
    in.read(head, sizeof head);
    return in.gcount() == 16 && std::memcmp(head, "SQLite format 3", 16) == 0;
}

OpenResult no_job(OpenStatus status, const std::filesystem::path& db_file, const std::string& why) {
    std::string message;
    switch (status) {
    case OpenStatus::not_a_job: message = "現場のデータベースではありません（変更していません）: "; break;
    case OpenStatus::damaged: message = "現場のデータベースが壊れています（変更していません）: "; break;
    case OpenStatus::too_new: message = "新しい版で作られた現場です（変更していません）: "; break;
    default: message = "現場を開けません: "; break;
    }
    message += db_file.string();
    if (!why.empty()) message += "（" + why + "）";
    return {nullptr, status, message};
}

}  // namespace

Job::Job(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Job::~Job() = default;

namespace {

enum class Access { read_write, read_only, immutable };

// One way of opening the database: the connection, checked and brought to
// the current schema, or the error that stopped it.
struct Attempt {
    sqlite3* db = nullptr;
    bool read_only = false;
    std::optional<DbError> error;
    std::optional<OpenStatus> verdict;  // not_a_job, damaged or too_new: no other way will do
};

Attempt try_open(const std::filesystem::path& db_file, Access access) {
    Attempt a;
    int flags = SQLITE_OPEN_READONLY;
    std::string name = db_file.string();
    if (access == Access::read_write) flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (access == Access::immutable) {
        // Nothing else can be writing a job whose folder refuses writes:
        // read it without the shared-memory file it could not create.
        flags |= SQLITE_OPEN_URI;
        name = "file:" + name + "?immutable=1";
    }
    const int rc = sqlite3_open_v2(name.c_str(), &a.db, flags, nullptr);
    if (rc != SQLITE_OK) {
        a.error = DbError{rc, a.db ? sqlite3_errmsg(a.db) : ""};
        return a;
    }
    sqlite3_extended_result_codes(a.db, 1);
    sqlite3_busy_timeout(a.db, busy_timeout_ms());
    a.read_only = access != Access::read_write || sqlite3_db_readonly(a.db, "main") == 1;
    try {
        const std::int64_t version = pragma_integer(a.db, "PRAGMA user_version");
        const std::int64_t application = pragma_integer(a.db, "PRAGMA application_id");
        const std::int64_t tables = pragma_integer(a.db, "SELECT count(*) FROM sqlite_schema");
        if (application != kApplicationId && !(application == 0 && version == 0 && tables == 0)) {
            a.verdict = OpenStatus::not_a_job;
            return a;
        }
        if (version > kSchemaVersion) {
            a.verdict = OpenStatus::too_new;
            return a;
        }
        {
            Statement check(a.db, "PRAGMA quick_check(1)");
            if (!check.step() || check.text(0) != "ok") {
                a.verdict = OpenStatus::damaged;
                return a;
            }
        }
        // WAL before anything is written, so a new job's schema needs no
        // rollback journal and its syncs; pages of 16 KiB (set before the
        // first table), so a large import reaches the disk in a quarter of
        // the writes of the default 4 KiB.
        if (!a.read_only) {
            if (tables == 0 && version == 0) exec(a.db, "PRAGMA page_size = 16384");
            exec(a.db, "PRAGMA journal_mode = WAL");
            exec(a.db, "PRAGMA synchronous = NORMAL");
        }
        // A read-only job of an earlier version is read as it stands (its
        // points are the same); only an empty one cannot be used.
        if (version < kSchemaVersion && a.read_only && version == 0)
            throw DbError{SQLITE_READONLY, "読み取り専用で初期化できません"};
        if (version < kSchemaVersion && !a.read_only) {
            exec(a.db, "BEGIN IMMEDIATE");
            try {
                for (auto v = static_cast<std::size_t>(pragma_integer(a.db, "PRAGMA user_version"));
                     v < kMigrations.size(); ++v)
                    exec(a.db, kMigrations[v]);
                exec(a.db, ("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
                exec(a.db, ("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
                exec(a.db, "COMMIT");
            } catch (...) {
                sqlite3_exec(a.db, "ROLLBACK", nullptr, nullptr, nullptr);
                throw;
            }
        }
        // Room for a whole import's pages (taken only as used): a
        // transaction larger than the cache spills pages to the WAL and
        // writes them again and again.
        exec(a.db, "PRAGMA cache_size = -65536");
    } catch (const DbError& e) {
        const int primary = e.code & 0xFF;
        if (primary == SQLITE_NOTADB) a.verdict = OpenStatus::not_a_job;
        else if (primary == SQLITE_CORRUPT) a.verdict = OpenStatus::damaged;
        else a.error = e;
    }
    return a;
}

}  // namespace

OpenResult open_job(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    const fs::path db_file = folder / "job.db";
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (ec) return no_job(OpenStatus::cannot_open, db_file, ec.message());
    } else if (!fs::is_directory(folder, ec)) {
        return no_job(OpenStatus::cannot_open, db_file, "フォルダではありません");
    }
    const bool existed = fs::exists(db_file, ec) && fs::file_size(db_file, ec) > 0;
    if (existed && !starts_like_sqlite(db_file)) return no_job(OpenStatus::not_a_job, db_file, "");

    // Read and write; else, for a job that exists, read only; else read
    // only without the shared-memory file (a folder that refuses writes).
    Attempt attempt;
    for (const Access access : {Access::read_write, Access::read_only, Access::immutable}) {
        if (access != Access::read_write && !existed) break;
        // An immutable read would not see changes still in the WAL (left
        // by a program that stopped dead): no job rather than an old one.
        if (access == Access::immutable && fs::exists(folder / "job.db-wal", ec) &&
            fs::file_size(folder / "job.db-wal", ec) > 0)
            break;
        attempt = try_open(db_file, access);
        if (attempt.verdict) {
            sqlite3_close_v2(attempt.db);
            return no_job(*attempt.verdict, db_file, "");
        }
        if (!attempt.error) break;
        sqlite3_close_v2(attempt.db);
        attempt.db = nullptr;
    }
    if (attempt.error) return no_job(OpenStatus::cannot_open, db_file, attempt.error->text);

    auto impl = std::make_unique<Job::Impl>();
    impl->folder = folder;
    impl->db = attempt.db;
    impl->read_only = attempt.read_only;
    std::error_code ignored;
    if (!attempt.read_only) fs::create_directories(folder / "reports", ignored);
    OpenResult result;
    result.job.reset(new Job(std::move(impl)));
    result.status = attempt.read_only ? OpenStatus::read_only : OpenStatus::opened;
    if (attempt.read_only) result.message = "現場は読み取り専用です。座標は使えますが保存はしません";
    return result;
}

const std::filesystem::path& Job::folder() const { return impl_->folder; }
std::filesystem::path Job::reports_folder() const { return impl_->folder / "reports"; }
bool Job::read_only() const { return impl_->read_only; }

JobHeader Job::header() const {
    JobHeader header;
    try {
        Statement s(impl_->db, "SELECT display_name, zone FROM job_header WHERE id = 1");
        if (s.step()) {
            header.display_name = s.text(0);
            if (!s.null(1)) header.zone = static_cast<int>(s.integer(1));
        }
    } catch (const DbError&) {
    }
    return header;
}

std::string Job::display_name() const {
    std::string name = header().display_name;
    if (name.empty()) name = impl_->folder.filename().string();
    if (name.empty()) name = impl_->folder.parent_path().filename().string();
    return name;
}

WriteResult Job::set_header(const JobHeader& header, const Origin&) {
    if (header.zone && (*header.zone < 1 || *header.zone > 19))
        return {WriteStatus::out_of_range, "系番号は1から19です", 0};
    return impl_->write([&] {
        Statement s(impl_->db, "UPDATE job_header SET display_name = ?, zone = ? WHERE id = 1");
        s.bind(1, trim_blanks(header.display_name));
        if (header.zone) s.bind(2, std::int64_t{*header.zone});
        s.step();
        return WriteResult{};
    });
}

std::vector<Point> Job::points(std::int64_t after_number, int limit) const {
    std::vector<Point> out;
    try {
        Statement s(impl_->db, "SELECT number, name, x, y, h FROM points WHERE number > ? ORDER BY number LIMIT ?");
        s.bind(1, after_number).bind(2, std::int64_t{limit});
        while (s.step()) out.push_back(point_from(s, 0));
    } catch (const DbError&) {
    }
    return out;
}

std::vector<Point> Job::page(std::int64_t first, int limit) const {
    std::vector<Point> out;
    try {
        Statement s(impl_->db, "SELECT number, name, x, y, h FROM points ORDER BY number LIMIT ? OFFSET ?");
        s.bind(1, std::int64_t{limit}).bind(2, first < 0 ? 0 : first);
        while (s.step()) out.push_back(point_from(s, 0));
    } catch (const DbError&) {
    }
    return out;
}

std::int64_t Job::count() const {
    try {
        return pragma_integer(impl_->db, "SELECT count(*) FROM points");
    } catch (const DbError&) {
        return 0;
    }
}

std::optional<Point> Job::find(std::string_view name) const {
    try {
        return impl_->find(trim_blanks(name));
    } catch (const DbError&) {
        return std::nullopt;
    }
}

std::optional<Point> Job::find_number(std::int64_t number) const {
    try {
        Statement s(impl_->db, "SELECT number, name, x, y, h FROM points WHERE number = ?");
        s.bind(1, number);
        if (s.step()) return point_from(s, 0);
    } catch (const DbError&) {
    }
    return std::nullopt;
}

std::optional<std::string> Job::near_miss(std::string_view typed) const {
    const std::string name = trim_blanks(typed);
    if (name.empty() || find(name)) return std::nullopt;
    try {
        Statement s(impl_->db, "SELECT name FROM points WHERE folded = ? ORDER BY number LIMIT 1");
        s.bind(1, fold_width_and_case(name));
        if (s.step()) return s.text(0);
    } catch (const DbError&) {
    }
    return std::nullopt;
}

namespace {

WriteResult check_point(const Point& p, NameCheck& check) {
    check = check_name(p.name);
    if (!check.ok()) return {WriteStatus::invalid_name, describe(check.problem), 0};
    auto out = [](Millimetres v) { return v >= kCoordinateLimit || v <= -kCoordinateLimit; };
    if (out(p.x) || out(p.y) || (p.h && out(*p.h))) return {WriteStatus::out_of_range, "座標が大きすぎます", 0};
    return {};
}

WriteResult name_taken(std::string_view name) {
    return {WriteStatus::name_taken, "点名 " + std::string(name) + " は登録済みです", 0};
}

}  // namespace

WriteResult Job::add(const Point& point, const Origin& origin) {
    NameCheck check;
    if (auto bad = check_point(point, check); !bad.ok()) return bad;
    Point p = point;
    p.name = check.name;
    return impl_->write([&] {
        if (impl_->find(p.name)) return name_taken(p.name);
        p.number = impl_->insert(p);
        impl_->log(local_time(), origin, Action::add, p.name, std::nullopt, p);
        return WriteResult{WriteStatus::done, "", p.number};
    });
}

WriteResult Job::correct(std::int64_t number, const PointEdit& edit, const Origin& origin) {
    return impl_->write([&] {
        const auto before = find_number(number);
        if (!before) return WriteResult{WriteStatus::not_found, "その番号の点はありません", 0};
        Point after = *before;
        if (edit.name) after.name = *edit.name;
        if (edit.x) after.x = *edit.x;
        if (edit.y) after.y = *edit.y;
        if (edit.h) after.h = *edit.h;
        NameCheck check;
        if (auto bad = check_point(after, check); !bad.ok()) return bad;
        after.name = check.name;
        if (after == *before) return WriteResult{WriteStatus::done, "", number};
        const std::string time = local_time();
        if (after.name != before->name) {
            if (impl_->find(after.name)) return name_taken(after.name);
            Point renamed = *before;
            renamed.name = after.name;
            impl_->update(renamed);
            impl_->log(time, origin, Action::rename, after.name, before, renamed);
        }
        if (after.x != before->x || after.y != before->y || after.h != before->h) {
            Point was = *before;
            was.name = after.name;
            impl_->update(after);
            impl_->log(time, origin, Action::replace, after.name, was, after);
        }
        return WriteResult{WriteStatus::done, "", number};
    });
}

WriteResult Job::rename(std::string_view old_name, std::string_view new_name, const Origin& origin) {
    const auto stored = find(old_name);
    if (!stored) return {WriteStatus::not_found, "点名 " + trim_blanks(old_name) + " はありません", 0};
    PointEdit edit;
    edit.name = std::string(new_name);
    return correct(stored->number, edit, origin);
}

WriteResult Job::remove(std::string_view name, const Origin& origin) {
    const std::string trimmed = trim_blanks(name);
    return impl_->write([&] {
        const auto before = impl_->find(trimmed);
        if (!before) return WriteResult{WriteStatus::not_found, "点名 " + trimmed + " はありません", 0};
        Statement s(impl_->db, "DELETE FROM points WHERE number = ?");
        s.bind(1, before->number);
        s.step();
        impl_->log(local_time(), origin, Action::remove, before->name, before, std::nullopt);
        return WriteResult{WriteStatus::done, "", before->number};
    });
}

WriteResult Job::store(std::span<const Point> points, bool replace_moved, const Origin& origin) {
    std::vector<Point> checked;
    for (const Point& p : points) {
        NameCheck check;
        if (auto bad = check_point(p, check); !bad.ok()) return bad;
        checked.push_back(p);
        checked.back().name = check.name;
    }
    return impl_->write([&] {
        const std::string time = local_time();
        for (Point& p : checked) {
            const auto stored = impl_->find(p.name);
            if (!stored) {
                p.number = impl_->insert(p);
                impl_->log(time, origin, Action::add, p.name, std::nullopt, p);
            } else if (stored->x == p.x && stored->y == p.y && stored->h == p.h) {
                continue;
            } else if (replace_moved) {
                p.number = stored->number;
                impl_->update(p);
                impl_->log(time, origin, Action::replace, p.name, stored, p);
            }
        }
        return WriteResult{};
    });
}

std::vector<Point> Job::differing(std::span<const Point> points) const {
    std::vector<Point> moved;
    impl_->reading([&] {
        for (const Point& p : points) {
            const auto stored = find(p.name);
            if (stored && (stored->x != p.x || stored->y != p.y || stored->h != p.h)) moved.push_back(*stored);
        }
        return 0;
    });
    return moved;
}

std::vector<Change> Job::history(int limit) const {
    std::vector<Change> out;
    try {
        Statement s(impl_->db,
                    "SELECT * FROM (SELECT id, time, program, action, name, old_number, old_name, old_x, old_y, "
                    "old_h, new_number, new_name, new_x, new_y, new_h, source FROM history ORDER BY id DESC "
                    "LIMIT ?) ORDER BY id");
        s.bind(1, std::int64_t{limit});
        while (s.step()) {
            Change c;
            c.id = s.integer(0);
            c.time = s.text(1);
            c.program = s.text(2);
            c.action = action_from(s.text(3)).value_or(Action::add);
            c.name = s.text(4);
            if (!s.null(6)) c.before = point_from(s, 5);
            if (!s.null(11)) c.after = point_from(s, 10);
            c.source = s.text(15);
            out.push_back(std::move(c));
        }
    } catch (const DbError&) {
    }
    return out;
}

namespace {

// Sorts a file's points against the stored ones, through `find`.
template <class Find>
ImportPreview classify(const PointFile& file, std::optional<int> job_zone, Find&& find) {
    ImportPreview preview;
    preview.file_zone = file.zone;
    preview.skipped_records = file.skipped_total();
    preview.warnings = file.notes;
    for (const FilePoint& fp : file.points) {
        const std::optional<Point> stored = find(fp.point.name);
        if (!stored) {
            preview.new_points.push_back(fp);
        } else if (stored->x == fp.point.x && stored->y == fp.point.y &&
                   (!fp.point.h || stored->h == fp.point.h)) {
            preview.identical.push_back(fp);
        } else if (stored->x == fp.point.x && stored->y == fp.point.y && !stored->h && fp.point.h) {
            preview.heights_added.push_back({*stored, *fp.point.h, fp.line});
        } else {
            Point from_file = fp.point;
            from_file.number = stored->number;
            preview.conflicts.push_back({*stored, from_file, fp.line});
        }
    }
    if (file.zone && job_zone && *file.zone != *job_zone) {
        preview.zone_mismatch = true;
        preview.warnings.insert(preview.warnings.begin(),
                                Diagnostic{Code::W_ZONE_MISMATCH, 0, 0,
                                           "ファイル " + std::to_string(*file.zone) + "系、現場 " +
                                               std::to_string(*job_zone) + "系"});
    }
    return preview;
}

std::string source_at(std::string_view source_name, int line) {
    return std::string(source_name) + ":" + std::to_string(line);
}

}  // namespace

ImportPreview Job::preview_import(const PointFile& file) const {
    return impl_->reading([&] {
        return classify(file, header().zone, [&](const std::string& name) -> std::optional<Point> {
            try {
                return impl_->find(name);
            } catch (const DbError&) {
                return std::nullopt;
            }
        });
    });
}

ImportOutcome Job::apply_import(const PointFile& file, OnConflict choice, std::string_view source_name,
                                const Origin& origin) {
    ImportOutcome outcome;
    if (choice == OnConflict::cancel) {
        outcome.cancelled = true;
        return outcome;
    }
    const long kill_after = kill_during_import_after();
    outcome.result = impl_->write([&] {
        const std::string time = local_time();
        const ImportPreview preview =
            classify(file, header().zone, [&](const std::string& name) { return impl_->find(name); });
        outcome = ImportOutcome{};
        outcome.identical = static_cast<int>(preview.identical.size());
        long written = 0;
        auto written_one = [&] {
            if (kill_after >= 0 && ++written > kill_after) std::raise(SIGKILL);
        };
        Origin from_file = origin;
        for (const FilePoint& fp : preview.new_points) {
            Point p = fp.point;
            p.number = impl_->insert(p);
            from_file.source = source_at(source_name, fp.line);
            impl_->log(time, from_file, Action::import, p.name, std::nullopt, p);
            ++outcome.added;
            written_one();
        }
        for (const auto& added : preview.heights_added) {
            Point p = added.stored;
            p.h = added.h;
            impl_->update(p);
            from_file.source = source_at(source_name, added.line);
            impl_->log(time, from_file, Action::h_added, p.name, added.stored, p);
            ++outcome.heights_added;
            written_one();
        }
        for (const auto& conflict : preview.conflicts) {
            if (choice == OnConflict::keep) {
                ++outcome.kept;
                continue;
            }
            Point p = conflict.file;
            p.number = conflict.stored.number;
            // The file says nothing of a height it lacks: the stored one stays.
            if (!p.h) p.h = conflict.stored.h;
            impl_->update(p);
            from_file.source = source_at(source_name, conflict.line);
            impl_->log(time, from_file, Action::replace, p.name, conflict.stored, p);
            ++outcome.replaced;
            written_one();
        }
        return WriteResult{};
    });
    if (!outcome.result.ok()) {
        const WriteResult failed = outcome.result;
        outcome = ImportOutcome{};
        outcome.result = failed;
    }
    return outcome;
}

std::string Job::export_sima() const {
    const JobHeader h = header();
    const std::vector<Point> all = points();
    return write_sima(display_name(), h.zone, all);
}

std::string Job::export_csv(CsvEncoding encoding) const {
    const std::vector<Point> all = points();
    return write_csv(all, encoding);
}

std::optional<std::string> save_file(const std::filesystem::path& file, std::string_view bytes) {
    namespace fs = std::filesystem;
    const fs::path temporary = file.string() + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            return "書き込めません: " + file.string();
        }
    }
    std::error_code ec;
    fs::rename(temporary, file, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return "書き込めません: " + file.string();
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> job_from_environment() {
    const char* v = std::getenv("MARULA_JOB");
    if (v == nullptr || *v == '\0') return std::nullopt;
    return std::filesystem::path(v);
}

namespace {

std::filesystem::path xdg_folder(const char* variable, const char* fallback) {
    if (const char* v = std::getenv(variable); v && *v == '/') return v;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && *home ? home : "/") / fallback;
}

}  // namespace

std::filesystem::path jobs_data_folder() { return xdg_folder("XDG_DATA_HOME", ".local/share") / "marula" / "jobs"; }

std::filesystem::path current_job_file() {
    return xdg_folder("XDG_CONFIG_HOME", ".config") / "marula" / "current-job";
}

bool set_current_job(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    const fs::path file = current_job_file();
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    // Written beside and renamed over, so a reader never sees half a path.
    const fs::path temporary = file.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << fs::absolute(folder, ec).string() << '\n';
        if (!out.flush()) return false;
    }
    fs::rename(temporary, file, ec);
    return !ec;
}

std::optional<std::filesystem::path> choose_job_folder(bool script_mode) {
    if (auto env = job_from_environment()) return env;
    if (script_mode) return std::nullopt;
    {
        std::ifstream in(current_job_file());
        std::string line;
        if (std::getline(in, line) && !trim_blanks(line).empty()) return std::filesystem::path(trim_blanks(line));
    }
    const std::filesystem::path first = jobs_data_folder() / std::string(kDefaultJobName);
    set_current_job(first);
    return first;
}

std::vector<JobSummary> list_jobs(const std::filesystem::path& data_folder) {
    namespace fs = std::filesystem;
    std::vector<JobSummary> jobs;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(data_folder, ec)) {
        if (!entry.is_directory(ec) || !fs::exists(entry.path() / "job.db", ec)) continue;
        JobSummary summary;
        summary.folder = entry.path();
        // Read through the database directly, without creating anything.
        sqlite3* db = nullptr;
        const fs::path file = entry.path() / "job.db";
        if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            try {
                if (pragma_integer(db, "PRAGMA application_id") != kApplicationId) throw DbError{SQLITE_NOTADB, ""};
                Statement h(db, "SELECT display_name, zone FROM job_header WHERE id = 1");
                if (h.step()) {
                    summary.header.display_name = h.text(0);
                    if (!h.null(1)) summary.header.zone = static_cast<int>(h.integer(1));
                }
                summary.points = pragma_integer(db, "SELECT count(*) FROM points");
            } catch (const DbError&) {
                summary.usable = false;
            }
        } else {
            summary.usable = false;
        }
        sqlite3_close_v2(db);
        if (summary.header.display_name.empty()) summary.header.display_name = entry.path().filename().string();
        jobs.push_back(std::move(summary));
    }
    std::sort(jobs.begin(), jobs.end(), [](const JobSummary& a, const JobSummary& b) { return a.folder < b.folder; });
    return jobs;
}

OpenResult create_job(const JobHeader& header, const std::filesystem::path& data_folder) {
    namespace fs = std::filesystem;
    // A folder name from the display name: characters a file name cannot
    // hold (or should not) become '_'.
    std::string base = trim_blanks(header.display_name);
    for (char& c : base)
        if (c == '/' || c == '\\' || c == ':' || static_cast<unsigned char>(c) < 0x20) c = '_';
    if (base.empty() || base == "." || base == "..") base = "現場";
    fs::path folder = data_folder / base;
    std::error_code ec;
    for (int n = 2; fs::exists(folder, ec); ++n) folder = data_folder / (base + "-" + std::to_string(n));
    OpenResult opened = open_job(folder);
    if (!opened.job) return opened;
    if (const WriteResult w = opened.job->set_header(header, Origin{"", ""}); !w.ok()) {
        opened.status = OpenStatus::cannot_open;
        opened.message = w.message;
        opened.job.reset();
    }
    return opened;
}

}  // namespace marula::job
