// The one SQLite layer of the job library: a connection, its prepared
// statements, transactions, pragmas and what SQLite's errors mean to a
// caller. The feature stores (points, history, journal, settings, parcels)
// own their tables and reach SQLite only through this.
//
//   DbError error;
//   auto db = Database::open(folder / "job.db", OpenMode::read_write, error);
//   WriteResult r = db->write([&] {
//       db->cached("INSERT INTO points (name, x, y) VALUES (?, ?, ?)").bind(1, name)...step();
//       return WriteResult{};
//   });
//
// A process holds one connection to a job at a time (closing any other
// descriptor of the file would drop the locks SQLite holds on it), so
// nothing here opens job.db behind SQLite's back. Connections run with
// SQLITE_DBCONFIG_DEFENSIVE and trusted_schema off: a job is data, never
// code. Once SQLite reports the file damaged, the connection refuses every
// further write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace marula::job {

// A failed SQLite call: its extended result code and SQLite's message.
// Thrown inside the job library only; every public function turns it into
// a result.
struct DbError {
    int code = 0;
    std::string text;
    int system_error = 0;  // the errno behind an I/O or open failure (ENOSPC …), when SQLite knew it
    int primary() const { return code & 0xFF; }
};

// How a write went.
enum class WriteStatus {
    done,
    read_only,     // the job is read-only: nothing stored
    busy,          // another program held the job beyond the busy timeout: nothing stored
    failed,        // the write failed (disk full, I/O error): rolled back, nothing stored
    damaged,       // SQLite found the job's file damaged: nothing stored, now or later
    not_found,     // no point (or parcel) of that name or number
    name_taken,    // the new name belongs to another point (or parcel)
    invalid_name,  // the name breaks the rules (message gives the reason)
    out_of_range,  // a value outside what the job can hold
    in_use,        // a point a parcel uses cannot be deleted (message names the parcel)
};

struct WriteResult {
    WriteStatus status = WriteStatus::done;
    std::string message;      // one line in Japanese for the prompt row; empty when done
    std::int64_t number = 0;  // the point's number after add or correct
    bool ok() const { return status == WriteStatus::done; }
};

// What a read that failed says: nothing when it went well.
using ReadTrouble = std::optional<std::string>;

// A value read from the job, or the trouble that stopped the read (never
// "nothing stored" in place of an error).
template <class T>
struct Read {
    T value{};
    ReadTrouble trouble;
    bool ok() const { return !trouble; }
};

// The local time "YYYY-MM-DD HH:MM:SS" that history and journal rows carry.
std::string local_time();

// A prepared statement. Binding and reading never fail; step() throws
// DbError on an error.
class Statement {
public:
    Statement(sqlite3* db, const char* sql);          // prepared now, finalized on leaving
    explicit Statement(sqlite3_stmt* kept);            // a cached one: only reset on leaving
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, std::int64_t v);
    Statement& bind(int i, std::string_view v);
    Statement& bind(int i, const std::string& v) { return bind(i, std::string_view(v)); }
    Statement& bind(int i, const char* v) { return bind(i, std::string_view(v)); }
    Statement& bind(int i, const std::optional<std::int64_t>& v);
    Statement& bind(int i, const std::optional<std::string>& v);
    Statement& bind_null(int i);
    // True while there is a row.
    bool step();
    // Runs to the end (an INSERT, UPDATE or DELETE).
    void run();
    void reset();

    std::int64_t integer(int i) const;
    bool null(int i) const;
    std::optional<std::int64_t> maybe(int i) const;
    std::string text(int i) const;
    std::optional<std::string> maybe_text(int i) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool kept_ = false;
};

enum class OpenMode {
    read_write,  // created when missing
    read_only,
    immutable,   // read-only without the shared-memory file, for a folder that refuses writes
};

class Database {
public:
    // Opens the file; nothing, with the error, when SQLite cannot. The
    // connection is defensive, its busy timeout set (5 s, or
    // MARULA_JOB_BUSY_TIMEOUT_MS), its result codes extended.
    static std::unique_ptr<Database> open(const std::filesystem::path& file, OpenMode mode, DbError& error);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    const std::filesystem::path& file() const { return file_; }
    bool read_only() const { return read_only_; }
    void set_read_only() { read_only_ = true; }
    // SQLite found the file damaged during this connection: nothing more is
    // written to it.
    bool damaged() const { return damaged_; }

    // A statement prepared once and kept for the connection's life (`sql`
    // must be a literal: it is kept by its address).
    Statement cached(const char* sql) const;
    // A statement prepared for this one use.
    Statement prepare(const char* sql) const { return Statement(db_, sql); }
    Statement prepare(const std::string& sql) const { return Statement(db_, sql.c_str()); }
    void exec(const char* sql) const;
    void exec(const std::string& sql) const { exec(sql.c_str()); }
    // The first column of the first row (0 when there is none).
    std::int64_t integer(const char* sql) const;
    std::int64_t last_insert_rowid() const;
    bool in_transaction() const;

    // Runs `body` (returning a WriteResult) in one write transaction
    // (BEGIN IMMEDIATE, which waits for another program's write up to the
    // busy timeout): committed when the result is ok, else rolled back;
    // rolled back with the failure's reason when SQLite fails.
    template <class Body>
    WriteResult write(Body&& body) {
        if (auto refused = refuse_write()) return *refused;
        try {
            begin_write();
        } catch (const DbError& e) {
            return failure(e);
        }
        try {
            WriteResult result = body();
            end_write(result.ok());
            return result;
        } catch (const DbError& e) {
            abandon();
            return failure(e);
        }
    }

    // Runs `body` on one snapshot (one read transaction, unless one is open
    // already): the value it returns, or the trouble that stopped it.
    template <class Body>
    auto read(Body&& body) const -> Read<decltype(body())> {
        Read<decltype(body())> out;
        const bool own = begin_read();
        try {
            out.value = body();
        } catch (const DbError& e) {
            out.trouble = trouble(e);
        }
        if (own) end_read();
        return out;
    }

    // What a failed write says, and what a failed read says; both note a
    // damaged file.
    WriteResult failure(const DbError& e) const;
    std::string trouble(const DbError& e) const;
    // Records that SQLite called the file damaged, when it did.
    void note(const DbError& e) const;

    // The connection itself, for the schema's checks.
    sqlite3* handle() const { return db_; }

private:
    Database(sqlite3* db, std::filesystem::path file, bool read_only);
    std::optional<WriteResult> refuse_write() const;
    void begin_write();
    void end_write(bool commit);
    void abandon();
    bool begin_read() const;
    void end_read() const;

    sqlite3* db_ = nullptr;
    std::filesystem::path file_;
    bool read_only_ = false;
    mutable bool damaged_ = false;
    mutable std::unordered_map<const char*, sqlite3_stmt*> kept_;
};

// The message for a job that SQLite found damaged.
std::string damaged_message(const std::filesystem::path& file);

}  // namespace marula::job
