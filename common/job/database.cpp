#include "job/database.h"

#include <sqlite3.h>

#include <cstdlib>
#include <ctime>

namespace marula::job {

namespace {

// How long a write waits for another program holding the job.
int busy_timeout_ms() {
    // A test may shorten the wait so that "busy" comes quickly.
    if (const char* t = std::getenv("MARULA_JOB_BUSY_TIMEOUT_MS"); t && *t) return std::atoi(t);
    return 5000;
}

bool is_damage(int code) {
    const int primary = code & 0xFF;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

}  // namespace

std::string local_time() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

std::string damaged_message(const std::filesystem::path& file) {
    return "現場のデータベースが壊れています（これ以上書き込みません）: " + file.string();
}

// ---- Statement ---------------------------------------------------------------

Statement::Statement(sqlite3* db, const char* sql) {
    const int rc = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr);
    if (rc != SQLITE_OK) throw DbError{rc, sqlite3_errmsg(db), sqlite3_system_errno(db)};
}

Statement::Statement(sqlite3_stmt* kept) : stmt_(kept), kept_(true) {}

Statement::~Statement() {
    if (kept_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    } else {
        sqlite3_finalize(stmt_);
    }
}

Statement& Statement::bind(int i, std::int64_t v) {
    sqlite3_bind_int64(stmt_, i, v);
    return *this;
}

Statement& Statement::bind(int i, std::string_view v) {
    sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bind(int i, const std::optional<std::int64_t>& v) {
    if (v) return bind(i, *v);
    return bind_null(i);
}

Statement& Statement::bind(int i, const std::optional<std::string>& v) {
    if (v) return bind(i, std::string_view(*v));
    return bind_null(i);
}

Statement& Statement::bind_null(int i) {
    sqlite3_bind_null(stmt_, i);
    return *this;
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    // The extended code of a failed step is the connection's.
    sqlite3* db = sqlite3_db_handle(stmt_);
    throw DbError{sqlite3_extended_errcode(db), sqlite3_errmsg(db), sqlite3_system_errno(db)};
}

void Statement::run() {
    while (step()) {
    }
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::int64_t Statement::integer(int i) const { return sqlite3_column_int64(stmt_, i); }
bool Statement::null(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_NULL; }

std::optional<std::int64_t> Statement::maybe(int i) const {
    if (null(i)) return std::nullopt;
    return integer(i);
}

std::string Statement::text(int i) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return p ? std::string(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, i))) : std::string();
}

std::optional<std::string> Statement::maybe_text(int i) const {
    if (null(i)) return std::nullopt;
    return text(i);
}

// ---- Database ----------------------------------------------------------------

std::unique_ptr<Database> Database::open(const std::filesystem::path& file, OpenMode mode, DbError& error) {
    int flags = SQLITE_OPEN_READONLY;
    std::string name = file.string();
    if (mode == OpenMode::read_write) flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    if (mode == OpenMode::immutable) {
        // Nothing else can be writing a job whose folder refuses writes:
        // read it without the shared-memory file it could not create.
        flags |= SQLITE_OPEN_URI;
        name = "file:" + name + "?immutable=1";
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        error = DbError{rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc), db ? sqlite3_system_errno(db) : 0};
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busy_timeout_ms());
    // A job is data: no writes to the schema's own pages, no functions with
    // side effects called from the schema.
    sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    const bool read_only = mode != OpenMode::read_write || sqlite3_db_readonly(db, "main") == 1;
    return std::unique_ptr<Database>(new Database(db, file, read_only));
}

Database::Database(sqlite3* db, std::filesystem::path file, bool read_only)
    : db_(db), file_(std::move(file)), read_only_(read_only) {}

Database::~Database() {
    for (auto& [sql, stmt] : kept_) sqlite3_finalize(stmt);
    sqlite3_close_v2(db_);
}

Statement Database::cached(const char* sql) const {
    auto it = kept_.find(sql);
    if (it == kept_.end()) {
        sqlite3_stmt* stmt = nullptr;
        const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr);
        if (rc != SQLITE_OK)
            throw DbError{sqlite3_extended_errcode(db_), sqlite3_errmsg(db_), sqlite3_system_errno(db_)};
        it = kept_.emplace(sql, stmt).first;
    }
    return Statement(it->second);
}

void Database::exec(const char* sql) const {
    char* message = nullptr;
    const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        DbError e{sqlite3_extended_errcode(db_), message ? message : sqlite3_errmsg(db_)};
        sqlite3_free(message);
        throw e;
    }
}

std::int64_t Database::integer(const char* sql) const {
    Statement s(db_, sql);
    return s.step() ? s.integer(0) : 0;
}

std::int64_t Database::last_insert_rowid() const { return sqlite3_last_insert_rowid(db_); }

bool Database::in_transaction() const { return sqlite3_get_autocommit(db_) == 0; }

void Database::note(const DbError& e) const {
    if (is_damage(e.code)) damaged_ = true;
}

WriteResult Database::failure(const DbError& e) const {
    note(e);
    if (damaged_) return {WriteStatus::damaged, damaged_message(file_), 0};
    switch (e.primary()) {
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

std::string Database::trouble(const DbError& e) const {
    note(e);
    if (damaged_) return damaged_message(file_);
    switch (e.primary()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "現場が他のプログラムで使用中です。読めませんでした";
    default: return "現場を読めませんでした: " + e.text;
    }
}

std::optional<WriteResult> Database::refuse_write() const {
    if (damaged_) return WriteResult{WriteStatus::damaged, damaged_message(file_), 0};
    if (read_only_) return WriteResult{WriteStatus::read_only, "現場は読み取り専用です。保存しませんでした", 0};
    return std::nullopt;
}

void Database::begin_write() { exec("BEGIN IMMEDIATE"); }

void Database::end_write(bool commit) {
    try {
        exec(commit ? "COMMIT" : "ROLLBACK");
    } catch (const DbError&) {
        abandon();
        throw;
    }
}

void Database::abandon() {
    // A failed COMMIT may leave the transaction open; end it.
    if (in_transaction()) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Database::begin_read() const {
    return !in_transaction() && sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
}

void Database::end_read() const { sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr); }

}  // namespace marula::job
