// Every table of the job, from the first version on. A migration takes the
// job from one version to the next in the transaction that opened it; the
// statements of a version once released are never edited (the check at
// opening compares each table's definition with what they create).
#include "job/schema.h"

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "job/point.h"

namespace marula::job {

namespace {

struct Migration {
    const char* create;            // run first
    void (*move)(Database&);       // then this, when there is data to carry
    const char* finish;            // then this
};

// Version 2 kept one history row a change, each with its time, program and
// "file:line"; version 3 keeps a batch a write with its changes under it.
void move_history_into_batches(Database& db) {
    Statement old = db.prepare(
        "SELECT time, program, action, name, old_number, old_name, old_x, old_y, old_h, new_number, new_name, "
        "new_x, new_y, new_h, source FROM history ORDER BY id");
    Statement batch = db.prepare("INSERT INTO history_batches (time, program, source) VALUES (?, ?, ?)");
    Statement change = db.prepare(
        "INSERT INTO history_changes (batch, action, point, line, name, old_name, old_x, old_y, old_h, new_x, "
        "new_y, new_h) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    static constexpr std::array<const char*, 6> kActions = {"add", "import", "replace", "h-added", "rename", "delete"};
    std::string last_key;
    std::int64_t batch_id = 0;
    while (old.step()) {
        // "s01.sim:6" is the file and its line; anything else a source alone.
        std::string source = old.text(14);
        std::optional<std::int64_t> line;
        if (const auto colon = source.rfind(':'); colon != std::string::npos && colon + 1 < source.size() &&
                                                  source.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
            line = std::stoll(source.substr(colon + 1));
            source.resize(colon);
        }
        const std::string key = old.text(0) + '\t' + old.text(1) + '\t' + source;
        if (key != last_key) {
            batch.reset();
            batch.bind(1, old.text(0)).bind(2, old.text(1)).bind(3, source).run();
            batch_id = db.last_insert_rowid();
            last_key = key;
        }
        int action = 0;
        for (std::size_t a = 0; a < kActions.size(); ++a)
            if (old.text(2) == kActions[a]) action = int(a) + 1;
        const std::optional<std::int64_t> number = old.null(9) ? old.maybe(4) : old.maybe(9);
        const std::optional<std::string> old_name = old.maybe_text(5);
        const std::string name = old.text(3);
        change.reset();
        change.bind(1, batch_id).bind(2, std::int64_t{action}).bind(3, number).bind(4, line).bind(5, name);
        // The old name is kept where it differs from the one the change is under (a rename).
        if (old_name && *old_name != name) change.bind(6, *old_name);
        change.bind(7, old.maybe(6)).bind(8, old.maybe(7)).bind(9, old.maybe(8));
        change.bind(10, old.maybe(11)).bind(11, old.maybe(12)).bind(12, old.maybe(13));
        change.run();
    }
}

constexpr std::array<Migration, 7> kMigrations = {{
    // 1: the header, the points and their history.
    {R"sql(
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
     nullptr, ""},
    // 2: the journal: each run of a calculation program and the input it
    // took, in script syntax, in order. `ending` is empty for a run that
    // stopped without ending (killed); `replayable` counts the events
    // before the one that ended it.
    {R"sql(
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
     nullptr, ""},
    // 3: the job's own version apart from the compatible one; the history
    // as batches (one a write: its time, program, file and journal run) and
    // their changes (the point by number, or a setting's key or a parcel's
    // name, the file's line, the values before and after); a folded name
    // only where it differs from the name.
    {R"sql(
CREATE TABLE job_meta (
    id INTEGER PRIMARY KEY CHECK (id = 1),
    version INTEGER NOT NULL
);
INSERT INTO job_meta (id, version) VALUES (1, 3);
CREATE TABLE history_batches (
    id INTEGER PRIMARY KEY,
    time TEXT NOT NULL,
    program TEXT NOT NULL,
    source TEXT,
    run INTEGER
);
CREATE TABLE history_changes (
    id INTEGER PRIMARY KEY,
    batch INTEGER NOT NULL,
    action INTEGER NOT NULL,
    point INTEGER,
    key TEXT,
    line INTEGER,
    name TEXT,
    old_name TEXT,
    old_x INTEGER, old_y INTEGER, old_h INTEGER,
    new_x INTEGER, new_y INTEGER, new_h INTEGER,
    old_text TEXT,
    new_text TEXT
);
CREATE INDEX journal_answers_run ON journal_answers (run);
)sql",
     move_history_into_batches, R"sql(
DROP TABLE history;
DROP INDEX points_folded;
UPDATE points SET folded = '' WHERE folded = name;
CREATE INDEX points_folded ON points (folded) WHERE folded <> '';
)sql"},
    // 4: the job's settings, a value a key ("reduction", "height", "geoid",
    // "class"), so a later version adds keys without another table; a key
    // not stored has its default.
    {R"sql(
CREATE TABLE job_settings (
    key TEXT PRIMARY KEY,
    value TEXT NOT NULL
) WITHOUT ROWID;
)sql",
     nullptr, ""},
    // 5: parcels (画地): a name and its vertices in order, kept as point
    // numbers so that they follow a rename; the index finds the parcels a
    // point is a vertex of.
    {R"sql(
CREATE TABLE parcels (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE
);
CREATE TABLE parcel_vertices (
    parcel INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    point INTEGER NOT NULL,
    PRIMARY KEY (parcel, seq)
) WITHOUT ROWID;
CREATE INDEX parcel_vertices_point ON parcel_vertices (point);
)sql",
     nullptr, ""},
    // 6: where a run's values came from: each stored point (or azimuth
    // between points) a run took from the job by Enter, with the value it
    // took and the event that took it; and the history's changes by point,
    // to find the run that last stored a point (all but an import's
    // additions: a point's first change, never a run's, and the bulk of a
    // large job).
    {R"sql(
CREATE TABLE run_inputs (
    run INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    name TEXT NOT NULL,
    point INTEGER,
    x INTEGER NOT NULL,
    y INTEGER NOT NULL,
    event INTEGER NOT NULL,
    PRIMARY KEY (run, seq)
) WITHOUT ROWID;
CREATE INDEX history_changes_point ON history_changes (point) WHERE action <> 2;
)sql",
     nullptr, ""},
    // 7: counts kept so that opening a large job need not count it: each
    // with the last history change it was counted at, so a change by any
    // program (every change of a point leaves a history row) makes it
    // counted afresh.
    {R"sql(
CREATE TABLE job_counts (
    key TEXT PRIMARY KEY,
    value INTEGER NOT NULL,
    at_change INTEGER NOT NULL
) WITHOUT ROWID;
)sql",
     nullptr, ""},
}};
static_assert(kMigrations.size() == kSchemaVersion);

// Versions 1 and 2 kept only user_version; from 3 on the job's own version
// is in job_meta.
std::int64_t job_version(const Database& db, std::int64_t user_version, bool has_meta) {
    if (!has_meta) return user_version;
    return db.integer("SELECT version FROM job_meta WHERE id = 1");
}

void run_migration(Database& db, std::size_t index) {
    const Migration& m = kMigrations[index];
    db.exec(m.create);
    if (m.move) m.move(db);
    if (m.finish && *m.finish) db.exec(m.finish);
    if (index + 1 >= 3) db.exec("UPDATE job_meta SET version = " + std::to_string(index + 1) + " WHERE id = 1");
}

// A schema object as SQLite keeps it.
struct Definition {
    std::string type;
    std::string sql;
    bool operator==(const Definition&) const = default;
};
using Objects = std::map<std::string, Definition>;

Objects objects_of(const Database& db) {
    Objects out;
    Statement s = db.prepare("SELECT type, name, sql FROM sqlite_schema");
    while (s.step()) out[s.text(1)] = {s.text(0), s.text(2)};
    return out;
}

// What each version's tables and indexes are.
struct Expected {
    std::vector<Objects> at;       // at[v]: the objects of version v
    std::set<std::string> names;   // every name that is ours at some version
};

// The statements of a migration's text, each trimmed, split at the ';'
// that ends it (no statement of ours holds one in a literal or a comment).
std::vector<std::string_view> statements_of(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    std::vector<std::string_view> out;
    while (!text.empty()) {
        const std::size_t end = text.find(';');
        std::string_view statement = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const std::size_t first = statement.find_first_not_of(kBlanks);
        if (first == std::string_view::npos) continue;
        statement = statement.substr(first, statement.find_last_not_of(kBlanks) - first + 1);
        out.push_back(statement);
    }
    return out;
}

// The words of a statement's head: "CREATE", "TABLE", the name, …
std::vector<std::string_view> head_words(std::string_view statement, std::size_t count) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (words.size() < count && at < statement.size()) {
        const std::size_t start = statement.find_first_not_of(" \t\r\n", at);
        if (start == std::string_view::npos) break;
        std::size_t end = statement.find_first_of(" \t\r\n(", start);
        if (end == start) end = start + 1;
        words.push_back(statement.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        at = end == std::string_view::npos ? statement.size() : end;
    }
    return words;
}

// Applies one migration statement to the objects it names. SQLite keeps a
// CREATE statement's text as written, from CREATE to its last token, with
// single blanks after the first two keywords (ours have exactly one), so
// the text is the definition the job's sqlite_schema holds.
void apply_statement(std::string_view statement, Objects& objects) {
    const auto words = head_words(statement, 3);
    if (words.size() < 3) return;
    const std::string kind(words[1]);
    if (words[0] == "CREATE" && (kind == "TABLE" || kind == "INDEX"))
        objects[std::string(words[2])] = {kind == "TABLE" ? "table" : "index", std::string(statement)};
    else if (words[0] == "DROP" && (kind == "TABLE" || kind == "INDEX"))
        objects.erase(std::string(words[2]));
}

// Made once from the migrations' own text, without a database: running
// them on an empty database in memory at every start cost a millisecond,
// the most an empty job added to a program's start. A test holds the two
// to agreeing (migration_objects against what SQLite makes).
const Expected& expected() {
    static const Expected built = [] {
        Expected e;
        e.at.emplace_back();
        for (const Migration& m : kMigrations) {
            Objects now = e.at.back();
            for (const char* text : {m.create, m.finish})
                if (text)
                    for (const std::string_view statement : statements_of(text)) apply_statement(statement, now);
            for (const auto& [name, definition] : now) e.names.insert(name);
            e.at.push_back(std::move(now));
        }
        return e;
    }();
    return built;
}

// A trigger or a view: code that SQLite would run on reading or writing
// the job.
bool holds_code(const Objects& objects) {
    for (const auto& [name, definition] : objects)
        if (definition.type == "trigger" || definition.type == "view") return true;
    return false;
}

// Whether `name` is, if the job has it, defined as some version of ours
// defines it: a table SQLite reads as plain data.
bool absent_or_ours(const Objects& objects, const std::string& name) {
    const auto found = objects.find(name);
    if (found == objects.end()) return true;
    for (const Objects& version : expected().at)
        if (const auto mine = version.find(name); mine != version.end() && mine->second == found->second) return true;
    return false;
}

// A job is data: no code (see holds_code, checked first), and each table
// and index of ours as we define it at the job's version. Tables and
// indexes of a later compatible version, and SQLite's own, are left alone.
bool only_data(const Objects& objects, std::int64_t version) {
    const Expected& e = expected();
    if (e.at.size() <= std::size_t(kSchemaVersion)) return false;
    const Objects& ours = e.at[std::size_t(std::min<std::int64_t>(version, kSchemaVersion))];
    for (const auto& [name, definition] : objects) {
        if (name.starts_with("sqlite_")) continue;
        if (const auto mine = ours.find(name); mine != ours.end()) {
            if (mine->second != definition) return false;
        } else if (e.names.contains(name)) {
            return false;  // ours at another version: not what this version holds
        }
    }
    for (const auto& [name, definition] : ours)
        if (!objects.contains(name)) return false;
    return true;
}

// WAL, set before anything is written; pages of 16 KiB for a new job (set
// before its first table), so a large import reaches the disk in a quarter
// of the writes. Changing the journal mode does not wait for a neighbour
// that is making the same job: it is tried again for the busy timeout.
void set_up_file(Database& db, bool empty) {
    if (db.read_only()) return;
    if (empty) db.exec("PRAGMA page_size = 16384");
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        try {
            db.exec("PRAGMA journal_mode = WAL");
            break;
        } catch (const DbError& e) {
            if (e.primary() != SQLITE_BUSY || std::chrono::steady_clock::now() > give_up) throw;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    db.exec("PRAGMA synchronous = NORMAL");
}

// What opening finds of a job, inside a transaction.
struct SchemaState {
    std::optional<OpenStatus> verdict;  // why it cannot be used
    bool fresh = false;                 // an empty file: to be made a job
    std::int64_t version = 0;           // the job's schema version
    bool needs_migration = false;       // older than this build
};

SchemaState inspect(const Database& db) {
    SchemaState state;
    const Objects objects = objects_of(db);
    const std::int64_t application = db.integer("PRAGMA application_id");
    const std::int64_t compatible = db.integer("PRAGMA user_version");
    state.fresh = objects.empty() && application == 0 && compatible == 0;
    if (!state.fresh && application != kApplicationId) {
        state.verdict = OpenStatus::not_a_job;
    } else if (compatible > kSchemaVersion) {
        state.verdict = OpenStatus::too_new;
    } else if (!state.fresh && (holds_code(objects) || !absent_or_ours(objects, "job_meta"))) {
        state.verdict = OpenStatus::not_a_job;  // its version is read from job_meta: only from ours
    } else {
        state.version = state.fresh ? 0 : job_version(db, compatible, objects.contains("job_meta"));
        if (!state.fresh && !only_data(objects, state.version)) state.verdict = OpenStatus::not_a_job;
        // A read-only job of an earlier version is read as it stands (its
        // points are the same); an empty one cannot be.
        state.needs_migration = state.version < kSchemaVersion;
    }
    return state;
}

// What a first look at the file finds, in one read transaction that
// reads the header and sqlite_schema only (nothing the file holds runs):
// the job's state, why it cannot be used included, and whether it is empty.
struct FirstLook {
    SchemaState state;
    bool empty = false;
};

FirstLook first_look(const Database& db) {
    FirstLook look;
    db.exec("BEGIN");
    try {
        // A file that is not a database at all says so at its first read.
        try {
            look.empty = db.integer("SELECT count(*) FROM sqlite_schema") == 0;
        } catch (const DbError& e) {
            if (e.primary() == SQLITE_NOTADB) look.state.verdict = OpenStatus::not_a_job;
            else if (e.primary() == SQLITE_CORRUPT) look.state.verdict = OpenStatus::damaged;
            else throw;
        }
        if (!look.state.verdict) look.state = inspect(db);
    } catch (...) {
        if (db.in_transaction()) sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    if (db.in_transaction()) db.exec("ROLLBACK");
    return look;
}

}  // namespace

std::optional<OpenStatus> refusal(const Database& db) { return first_look(db).state.verdict; }

std::optional<OpenStatus> prepare_schema(Database& db) {
    // Refused before anything is written, the journal mode included, so a
    // refused file keeps every byte. A job at this version is then known to
    // be one from that same read.
    const FirstLook look = first_look(db);
    if (look.state.verdict) return look.state.verdict;
    set_up_file(db, look.empty);
    if (!look.state.needs_migration) return std::nullopt;
    // A read-only job of an earlier version is read as it stands; an empty
    // one cannot be.
    if (db.read_only()) {
        if (look.state.fresh) throw DbError{SQLITE_READONLY, "読み取り専用で初期化できません"};
        return std::nullopt;
    }
    // One to make or bring up to date is checked again inside the write
    // that migrates it, since a neighbour may have made or migrated it in
    // between.
    try {
        db.exec("BEGIN IMMEDIATE");
        const SchemaState state = inspect(db);
        if (!state.verdict && state.needs_migration) {
            for (auto v = std::size_t(state.version); v < kMigrations.size(); ++v) run_migration(db, v);
            db.exec("PRAGMA application_id = " + std::to_string(kApplicationId));
            db.exec("PRAGMA user_version = " + std::to_string(kCompatibleVersion));
        }
        db.exec(state.verdict ? "ROLLBACK" : "COMMIT");
        return state.verdict;
    } catch (...) {
        if (db.in_transaction()) sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

std::vector<std::pair<std::string, std::string>> migration_objects(int version) {
    std::vector<std::pair<std::string, std::string>> out;
    const Expected& e = expected();
    if (version < 0 || std::size_t(version) >= e.at.size()) return out;
    for (const auto& [name, definition] : e.at[std::size_t(version)]) out.emplace_back(name, definition.sql);
    return out;
}

std::string migration_statements(int version) {
    if (version < 1 || version > kSchemaVersion) return {};
    const Migration& m = kMigrations[std::size_t(version - 1)];
    return std::string(m.create) + (m.finish ? m.finish : "");
}

Read<std::vector<std::string>> check_integrity(const Database& db) {
    Read<std::vector<std::string>> out;
    try {
        Statement s = db.prepare("PRAGMA integrity_check(10)");
        while (s.step()) out.value.push_back(s.text(0));
    } catch (const DbError& e) {
        // A page too damaged to walk stops the check: that is its finding.
        const std::string trouble = db.trouble(e);
        if (db.damaged()) out.value.push_back(e.text);
        else out.trouble = trouble;
    }
    return out;
}

}  // namespace marula::job
