// The streaming import: the file's points in a temporary table of the
// job's connection, classified against the job's points by one lookup a
// name, then written in one transaction.
#include "job/import.h"

#include "base/text_codec.h"
#include "job/parcels.h"
#include "job/settings.h"

#include <fcntl.h>

#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "survey/plane_rectangular.h"

namespace marula::job {

namespace {

// The file's points, one a row in file order; the stored point of the same
// name (s_number …) is filled in by classify, inside the read or the write
// that uses it. The TEMP schema is the connection's own: it is never part
// of job.db, and the check at opening never sees it.
constexpr const char* kCreateStaging = R"sql(
CREATE TEMP TABLE IF NOT EXISTS import_staging (
    ordinal INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    folded TEXT NOT NULL,
    line INTEGER NOT NULL,
    x INTEGER NOT NULL,
    y INTEGER NOT NULL,
    h INTEGER,
    s_number INTEGER, s_x INTEGER, s_y INTEGER, s_h INTEGER
))sql";

// The stored point of each name: one lookup in the job a name. Only the
// rows that meet a stored point are written (what an earlier lookup found
// is cleared first), so a file of new names costs no writes here.
constexpr const char* kLookUpStored =
    "UPDATE temp.import_staging SET s_number = NULL, s_x = NULL, s_y = NULL, s_h = NULL "
    "WHERE s_number IS NOT NULL;"
    "UPDATE temp.import_staging SET s_number = p.number, s_x = p.x, s_y = p.y, s_h = p.h "
    "FROM main.points AS p WHERE p.name = import_staging.name";

// ImportKind of a row, from the file's values and the stored ones: the
// rules of Job::preview_import.
#define MARULA_IMPORT_KIND                                                  \
    "CASE WHEN s_number IS NULL THEN 0 "                                    \
    "WHEN s_x = x AND s_y = y AND (h IS NULL OR s_h IS h) THEN 1 "          \
    "WHEN s_x = x AND s_y = y AND s_h IS NULL THEN 2 ELSE 3 END"

constexpr const char* kCountKinds =
    "SELECT kind, count(*) FROM (SELECT " MARULA_IMPORT_KIND " AS kind FROM temp.import_staging) GROUP BY kind";
constexpr const char* kRowsOfKind =
    "SELECT ordinal, line, name, x, y, h, s_number, s_x, s_y, s_h FROM temp.import_staging "
    "WHERE ordinal > ? AND (" MARULA_IMPORT_KIND ") = ? ORDER BY ordinal LIMIT ?";
// The new points, in file order, in one statement: the points table's
// sequence is read and written once, not once a point.
constexpr const char* kAddNew =
    "INSERT INTO main.points (name, folded, x, y, h) SELECT name, folded, x, y, h FROM temp.import_staging "
    "WHERE s_number IS NULL ORDER BY ordinal";
// The points numbered after `last_before` (the largest number before the
// additions: the job never gives a number twice, so these are exactly the
// new ones), in the order they were added, each with its line in the
// file, for their history. The names are looked up among the file's, not
// the job's.
std::string added_points_after(std::int64_t last_before) {
    return "SELECT p.number AS number, s.line AS line, p.name AS name, p.x AS x, p.y AS y, p.h AS h "
           "FROM main.points AS p CROSS JOIN temp.import_staging AS s ON s.name = p.name "
           "WHERE p.number > " + std::to_string(last_before) + " ORDER BY p.number";
}

constexpr const char* kWriteRows =
    "SELECT ordinal, line, name, x, y, h, s_number, s_x, s_y, s_h FROM temp.import_staging "
    "WHERE (" MARULA_IMPORT_KIND ") = ? ORDER BY ordinal";

// The temporary table's own page cache, KiB: enough for the name index's
// upper pages; the rest stays in its temporary file.
constexpr int kStagingCacheKib = 2048;
// The job's page cache while an import works, KiB: room for a whole
// import's pages (taken only as used), for a transaction larger than the
// cache spills pages to the WAL and writes them again and again.
constexpr int kImportCacheKib = 65536;

// The folded name kept beside a name in the points table (empty where
// folding leaves the name as it is), as the point store keeps it.
std::string folded_of(std::string_view name) {
    std::string folded = fold_width_and_case(name);
    return folded == name ? std::string() : folded;
}

// A test seam: kill this process once more than so many points of an
// import are written (the new ones go in one statement, so a kill lands
// after all of them), inside its transaction, to show that nothing
// half-done stays.
long kill_during_import_after() {
    const char* v = std::getenv("MARULA_JOB_KILL_DURING_IMPORT");
    return v && *v ? std::atol(v) : -1;
}

ImportRow row_from(const Statement& s) {
    ImportRow row;
    row.ordinal = s.integer(0);
    row.line = static_cast<int>(s.integer(1));
    row.file = Point{0, s.text(2), s.integer(3), s.integer(4), s.maybe(5)};
    if (!s.null(6)) {
        row.stored = Point{s.integer(6), row.file.name, s.integer(7), s.integer(8), s.maybe(9)};
        row.file.number = row.stored->number;
    }
    return row;
}

// The names of the file being read, in the temporary table: a name the
// table lacks is added with its point; one it holds answers with the
// earlier point.
class StagedNames final : public SeenNames {
public:
    explicit StagedNames(const Database& db) : db_(db) {}

    bool clear() override {
        return attempt([&] { db_.exec("DELETE FROM temp.import_staging"); });
    }

    Answer find_or_add(std::string_view name, const SeenPoint& point, SeenPoint& earlier) override {
        Answer answer = Answer::failed;
        attempt([&] {
            // OR IGNORE rather than an upsert: a statement that cannot fail
            // halfway needs no statement journal, which would copy a page
            // for every name.
            Statement add = db_.cached(
                "INSERT OR IGNORE INTO temp.import_staging (ordinal, name, folded, line, x, y, h) "
                "VALUES (?, ?, ?, ?, ?, ?, ?)");
            add.bind(1, point.ordinal).bind(2, name).bind(3, folded_of(name)).bind(4, std::int64_t{point.line});
            add.bind(5, point.x).bind(6, point.y).bind(7, point.h).run();
            if (sqlite3_changes(db_.handle()) > 0) {
                answer = Answer::added;
                return;
            }
            Statement find = db_.cached("SELECT ordinal, line, x, y, h FROM temp.import_staging WHERE name = ?");
            find.bind(1, name);
            if (!find.step()) return;
            earlier = SeenPoint{find.integer(0), static_cast<int>(find.integer(1)), find.integer(2), find.integer(3),
                                find.maybe(4)};
            answer = Answer::seen;
        });
        return answer;
    }

    bool set_height(std::string_view name, Millimetres h) override {
        return attempt([&] {
            db_.cached("UPDATE temp.import_staging SET h = ? WHERE name = ?").bind(1, h).bind(2, name).run();
        });
    }

private:
    template <class Body>
    bool attempt(Body&& body) {
        try {
            body();
            return true;
        } catch (const DbError& e) {
            db_.note(e);
            return false;
        }
    }
    const Database& db_;
};

// Latitude and longitude into `zone`, unrounded; a point the projection
// cannot place comes back not finite, which the reader refuses as out of
// range.
ToPlane plane_of_zone(int zone) {
    return [zone](double latitude, double longitude) {
        if (const auto p = geographic_to_plane(zone, latitude, longitude)) return PlaneXY{p->x, p->y};
        constexpr double nowhere = std::numeric_limits<double>::quiet_NaN();
        return PlaneXY{nowhere, nowhere};
    };
}

}  // namespace

Read<Millimetres> stored_geoid(const Database& db) {
    const Read<JobSettings> settings = read_settings(db);
    return {settings.value.geoid_height, settings.trouble};
}

// ---- The file ----------------------------------------------------------

PointFileInput PointFileInput::open(const std::filesystem::path& file) {
    PointFileInput input;
    // Without O_NONBLOCK a FIFO would wait here for a writer that never
    // comes; a regular file reads the same either way.
    input.fd_ = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (input.fd_ < 0) {
        input.error = Diagnostic{Code::E_READ, 0, 0, std::strerror(errno)};
        return input;
    }
    struct stat st {};
    if (::fstat(input.fd_, &st) != 0) {
        input.error = Diagnostic{Code::E_READ, 0, 0, std::strerror(errno)};
    } else if (!S_ISREG(st.st_mode)) {
        input.error = Diagnostic{Code::E_READ, 0, 0,
                                 S_ISDIR(st.st_mode) ? "フォルダです" : "通常のファイルではありません"};
    }
    if (input.error) {
        ::close(input.fd_);
        input.fd_ = -1;
        return input;
    }
    input.source_ = std::make_unique<FdSource>(input.fd_);
    return input;
}

PointFileInput::PointFileInput(PointFileInput&& other) noexcept
    : error(std::move(other.error)), fd_(other.fd_), source_(std::move(other.source_)) {
    other.fd_ = -1;
}

PointFileInput::~PointFileInput() {
    source_.reset();
    if (fd_ >= 0) ::close(fd_);
}

// ---- The import --------------------------------------------------------

FileImport::FileImport(Job& job) : job_(job) {
    const Database& db = job_.database();
    try {
        // On file, whatever this build's default: the table may hold
        // millions of names. Changing it drops temporary tables, so only
        // when it must change.
        if (db.integer("PRAGMA temp_store") != 1) db.exec("PRAGMA temp_store = FILE");
        db.exec("PRAGMA temp.cache_size = -" + std::to_string(kStagingCacheKib));
        db.exec("PRAGMA main.cache_size = -" + std::to_string(kImportCacheKib));
        db.exec(kCreateStaging);
    } catch (const DbError& e) {
        summary_.trouble = db.trouble(e);
    }
}

FileImport::~FileImport() {
    try {
        job_.database().exec("PRAGMA main.cache_size = -" + std::to_string(kJobCacheKib));
        job_.database().exec("DELETE FROM temp.import_staging");
    } catch (const DbError&) {
        // The table goes with the connection anyway.
    }
}

const ImportSummary& FileImport::read(ByteSource& source, const ImportRequest& request) {
    if (summary_.trouble) return summary_;
    summary_ = ImportSummary{};
    if (auto failed = source.rewind()) {
        summary_.error = Diagnostic{Code::E_READ, 0, 0, *failed};
        return summary_;
    }
    const Database& db = job_.database();
    const JobHeader header = job_.header();

    parcels_.clear();
    ReadOptions options;
    options.encoding = request.encoding;
    // A SIMA's lots are read as parcels, stored with the points.
    options.parcels = request.format == FileFormat::sima;
    options.geoid_height = request.geoid_height;
    if (!options.geoid_height) {
        const Read<Millimetres> stored = stored_geoid(db);
        if (!stored.ok()) {
            summary_.trouble = stored.trouble;
            return summary_;
        }
        if (stored.value != 0) options.geoid_height = to_metres(stored.value);
    }
    if (header.zone) options.to_plane = plane_of_zone(*header.zone);

    StagedNames names(db);
    auto sink = [&](const Record& record) {
        // Points are in the table already (SeenNames put them there), a
        // merged height too; only the warnings are kept here, the first ones.
        if (const auto* d = std::get_if<Diagnostic>(&record)) {
            if (summary_.warnings.size() < kListedWarnings) summary_.warnings.push_back(*d);
            else ++summary_.unlisted_warnings;
        }
        if (const auto* parcel = std::get_if<FileParcel>(&record)) parcels_.push_back(*parcel);
        return true;
    };
    StreamResult streamed;
    try {
        // One transaction for the temporary table's rows: it writes only
        // the TEMP schema, so the job itself is neither locked nor changed.
        db.exec("BEGIN");
        streamed = request.format == FileFormat::sima ? stream_sima(source, names, sink, options)
                                                      : stream_csv(source, names, sink, request.order, options);
        db.exec(streamed.ok() ? "COMMIT" : "ROLLBACK");
    } catch (const DbError& e) {
        if (db.in_transaction()) sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        summary_.trouble = db.trouble(e);
        return summary_;
    }
    summary_.encoding = streamed.encoding;
    if (streamed.error) {
        summary_.error = streamed.error;
        summary_.warnings.clear();
        summary_.unlisted_warnings = 0;
        return summary_;
    }
    summary_.points = streamed.points;
    summary_.file_zone = streamed.zone;
    for (const auto& [code, count] : streamed.skipped_records) summary_.skipped_records += count;
    if (streamed.zone && header.zone && *streamed.zone != *header.zone) {
        summary_.zone_mismatch = true;
        summary_.warnings.insert(summary_.warnings.begin(),
                                 Diagnostic{Code::W_ZONE_MISMATCH, 0, 0,
                                            "ファイル " + std::to_string(*streamed.zone) + "系、現場 " +
                                                std::to_string(*header.zone) + "系"});
    }
    classify();
    if (summary_.ok()) check_parcels();
    return summary_;
}

void FileImport::check_parcels() {
    const Database& db = job_.database();
    std::set<std::string> names;
    auto refused = [&](Code code, int line, std::string detail) {
        summary_.error = Diagnostic{code, line, 0, std::move(detail)};
        return false;
    };
    auto checked = db.read([&]() -> bool {
        Statement in_file = db.cached("SELECT 1 FROM temp.import_staging WHERE name = ?");
        Statement in_job = db.cached("SELECT 1 FROM main.points WHERE name = ?");
        Statement stored = db.cached("SELECT 1 FROM main.parcels WHERE name = ?");
        for (const FileParcel& parcel : parcels_) {
            const NameCheck check = check_name(parcel.name);
            if (!check.ok()) return refused(Code::E_PARCEL, parcel.line, parcel.name + ": " + describe(check.problem));
            if (!names.insert(check.name).second) return refused(Code::E_PARCEL, parcel.line, parcel.name + ": 2回あります");
            if (parcel.vertices.size() < 3) return refused(Code::E_PARCEL, parcel.line, parcel.name + ": 頂点が3点未満です");
            for (const FileVertex& v : parcel.vertices) {
                in_file.reset();
                in_job.reset();
                if (!in_file.bind(1, v.name).step() && !in_job.bind(1, v.name).step())
                    return refused(Code::E_UNKNOWN_VERTEX, v.line, v.name);
            }
            stored.reset();
            ++(stored.bind(1, check.name).step() ? summary_.parcels_stored : summary_.parcels_added);
        }
        return true;
    });
    if (!checked.ok()) summary_.trouble = checked.trouble;
}

void FileImport::classify() {
    const Database& db = job_.database();
    auto counted = db.read([&] {
        db.exec(kLookUpStored);
        std::int64_t counts[4] = {0, 0, 0, 0};
        Statement s = db.cached(kCountKinds);
        while (s.step())
            if (const auto kind = s.integer(0); kind >= 0 && kind < 4) counts[kind] = s.integer(1);
        return std::vector<std::int64_t>(counts, counts + 4);
    });
    if (!counted.ok()) {
        summary_.trouble = counted.trouble;
        return;
    }
    summary_.added = counted.value[0];
    summary_.identical = counted.value[1];
    summary_.heights_added = counted.value[2];
    summary_.conflicts = counted.value[3];
}

Read<std::vector<ImportRow>> FileImport::rows(ImportKind kind, std::int64_t after_ordinal, int limit) const {
    const Database& db = job_.database();
    // The counts come from the same look-up as the rows: a kind counted
    // none has no row, and a search for one would read the whole table.
    const std::int64_t counted[] = {summary_.added, summary_.identical, summary_.heights_added, summary_.conflicts};
    if (counted[static_cast<int>(kind)] == 0) return Read<std::vector<ImportRow>>{};
    return db.read([&] {
        std::vector<ImportRow> out;
        Statement s = db.cached(kRowsOfKind);
        s.bind(1, after_ordinal).bind(2, std::int64_t(kind)).bind(3, std::int64_t{limit});
        while (s.step()) out.push_back(row_from(s));
        return out;
    });
}

ImportOutcome FileImport::apply(OnConflict choice, const Origin& origin) {
    ImportOutcome outcome;
    if (choice == OnConflict::cancel) {
        outcome.cancelled = true;
        return outcome;
    }
    if (!summary_.ok()) {
        outcome.result = {WriteStatus::failed, summary_.trouble.value_or("ファイルを読めませんでした"), 0};
        return outcome;
    }
    const long kill_after = kill_during_import_after();
    Database& db = job_.database();
    outcome.result = db.write([&] {
        outcome = ImportOutcome{};
        db.exec(kLookUpStored);
        std::int64_t written = 0;
        auto written_more = [&](std::int64_t points) {
            written += points;
            if (kill_after >= 0 && written > kill_after) std::raise(SIGKILL);
        };
        HistoryWriter history(db, origin);
        // Added first, in file order; then the heights; then the conflicts.
        const std::int64_t last_before = db.integer("SELECT coalesce(max(number), 0) FROM main.points");
        db.cached(kAddNew).run();
        outcome.added = sqlite3_changes64(db.handle());
        if (outcome.added > 0) history.imported(added_points_after(last_before));
        written_more(outcome.added);
        Statement rows = db.cached(kWriteRows);
        Statement update = db.cached("UPDATE points SET x = ?, y = ?, h = ? WHERE number = ?");
        for (const ImportKind kind : {ImportKind::identical, ImportKind::height_added, ImportKind::conflict}) {
            rows.reset();
            rows.bind(1, std::int64_t(kind));
            while (rows.step()) {
                ImportRow row = row_from(rows);
                if (kind == ImportKind::identical) {
                    ++outcome.identical;
                    continue;
                }
                if (kind == ImportKind::conflict && choice == OnConflict::keep) {
                    ++outcome.kept;
                    continue;
                }
                // The file says nothing of a height it lacks: the stored one stays.
                if (!row.file.h) row.file.h = row.stored->h;
                update.reset();
                update.bind(1, row.file.x).bind(2, row.file.y).bind(3, row.file.h).bind(4, row.stored->number).run();
                const Action action = kind == ImportKind::height_added ? Action::h_added : Action::replace;
                history.point(action, row.stored, row.file, row.line);
                ++(kind == ImportKind::height_added ? outcome.heights_added : outcome.replaced);
                written_more(1);
            }
        }
        // The parcels last, their vertices by name among the points as they
        // now stand; a stored one follows the choice of the conflicts.
        Parcels parcels(db);
        Statement stored_parcel = db.cached("SELECT 1 FROM main.parcels WHERE name = ?");
        for (const FileParcel& parcel : parcels_) {
            std::vector<std::string> vertices;
            for (const FileVertex& v : parcel.vertices) vertices.push_back(v.name);
            stored_parcel.reset();
            const bool stored = stored_parcel.bind(1, trim_blanks(parcel.name)).step();
            if (stored && choice == OnConflict::keep) {
                ++outcome.parcels_kept;
                continue;
            }
            const WriteResult put = parcels.put_in_write(history, trim_blanks(parcel.name), vertices,
                                                         stored ? ParcelWrite::replace : ParcelWrite::add);
            if (!put.ok()) return put;
            ++(stored ? outcome.parcels_replaced : outcome.parcels_added);
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

ImportOutcome import_bytes(Job& job, std::string_view bytes, const ImportRequest& request, OnConflict choice,
                           const Origin& origin) {
    FileImport import(job);
    StringSource source(bytes);
    const ImportSummary& read = import.read(source, request);
    if (!read.ok()) {
        ImportOutcome refused;
        refused.result = {WriteStatus::failed,
                          read.error ? std::string(code_name(read.error->code)) + ": " + describe(*read.error)
                                     : *read.trouble,
                          0};
        return refused;
    }
    return import.apply(choice, origin);
}

}  // namespace marula::job
