// A job (現場): a folder holding job.db, the job's point store with its
// change history, header and journal, and reports/. Programs reach the job
// through this API; the database stays behind it.
//
//   auto opened = marula::job::open_job(folder);
//   if (!opened.job) notice(opened.message);          // no job: carry on without
//   else if (auto p = opened.job->find("T1"); !p.ok()) notice(*p.trouble);
//   else if (p.value) …                                // a stored point
//
// Every write is one transaction: done whole or not at all, and a write
// that fails says why in its WriteResult and loses nothing already stored.
// Several programs may work on one job at once (each waits up to the busy
// timeout for the others' writes: 5 s, or MARULA_JOB_BUSY_TIMEOUT_MS).
// Whatever a write decides from what is stored (whether a point moved, a
// name is free) it decides again inside its own transaction. For tests,
// MARULA_JOB_KILL_DURING_IMPORT=N kills the process after N points of an
// import are written, inside its transaction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "job/database.h"
#include "job/exchange.h"
#include "job/history.h"
#include "job/places.h"
#include "job/point.h"
#include "job/schema.h"

namespace marula::job {

class Job;

// The page cache of a job's connection, KiB: a few pages of the points and
// of their indexes.
inline constexpr int kJobCacheKib = 256;

struct OpenResult {
    std::unique_ptr<Job> job;  // none unless opened or read_only
    OpenStatus status = OpenStatus::cannot_open;
    std::string message;       // one line in Japanese for a notice; empty when opened
};

// Opens the job in `folder`, creating the folder, job.db and reports/ when
// the folder holds no job.db yet (a missing folder is created too). What is
// checked costs the same whatever the job holds: the application id, the
// versions and the schema's objects. A database that is not ours, holds
// anything but data, is damaged or is too new is never changed.
OpenResult open_job(const std::filesystem::path& folder);

// A new job under `parent` (see new_job_folder), its header set.
OpenResult create_job(const JobHeader& header, const std::filesystem::path& parent = new_jobs_folder());

// What a correction changes of a point (fields left empty stay).
struct PointEdit {
    std::optional<std::string> name;
    std::optional<Millimetres> x, y;
    std::optional<std::optional<Millimetres>> h;  // a value, or an empty optional to remove H
};

// The conflict choice of an import, for the whole file.
enum class OnConflict { keep, replace, cancel };

// What an applied import did.
struct ImportOutcome {
    WriteResult result;
    int added = 0, heights_added = 0, replaced = 0, kept = 0, identical = 0;
    int parcels_added = 0, parcels_replaced = 0, parcels_kept = 0;  // SIMA lots (D00 of type 1)
    bool cancelled = false;
};

// One computed point a calculation stores, with what it may replace.
struct StoreRequest {
    std::string name;  // checked with check_name
    Millimetres x = 0, y = 0;
    // The stored point this run may move, as it stood when that was
    // decided (the point this run last stored, or the one the user agreed
    // to replace). Nothing: a stored point elsewhere is left.
    std::optional<Point> may_replace = std::nullopt;
};

// What storing one point did.
enum class Stored {
    added,              // a new name
    same,               // stored at this X and Y to the millimetre already (its height kept)
    replaced,           // moved here, its height kept
    left,               // stored elsewhere, and this run may not move it
    changed_meanwhile,  // stored elsewhere than when the run was allowed to move it: left
};

struct StoreOutcome {
    Stored what = Stored::added;
    Point now;  // the point as the job holds it after the write
};

struct StoreResult {
    WriteResult result;
    std::vector<StoreOutcome> outcomes;  // one a request, in order (none when the write failed)
};

class Job {
public:
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    const std::filesystem::path& folder() const;
    std::filesystem::path reports_folder() const;  // folder()/reports
    // Whether `file` is one of the job's own files (its database and the
    // files SQLite keeps beside it), which nothing else may write: the
    // same file where it exists, else the same name in the job's folder.
    bool owns_file(const std::filesystem::path& file) const;
    bool read_only() const;
    // SQLite found the file damaged during this run: nothing more is written.
    bool damaged() const;
    // The connection, for the other stores of the job (the journal).
    Database& database();

    // The header as stored.
    Read<JobHeader> read_header() const;
    JobHeader header() const { return read_header().value; }
    // The name to show and export: the stored name, or the folder's name
    // when that is empty; cut to 40 characters (a name stored before names
    // were checked may be longer) and with control characters as \xNN, so
    // it stays one short line on a screen, a sheet or in a file.
    std::string display_name() const;
    // Sets the header. A name that breaks the job names' rules is refused
    // (invalid_name, the message says why), except the very name the job
    // holds already, kept as it is (a longer one stored before the rules).
    WriteResult set_header(const JobHeader& header, const Origin& origin);

    // Points in number order: `limit` points with a number above
    // `after_number` (all when limit < 0).
    Read<std::vector<Point>> points(std::int64_t after_number = 0, int limit = -1) const;
    // The `limit` points numbered below `before_number`, in number order.
    Read<std::vector<Point>> points_before(std::int64_t before_number, int limit) const;
    Read<std::int64_t> count() const;
    // How many points are numbered below `number`: its place in number
    // order, from 0 (reads the points before it, for a jump, not a turn).
    Read<std::int64_t> rank(std::int64_t number) const;
    // The point with this exact name (trimmed first), or this number.
    Read<std::optional<Point>> find(std::string_view name) const;
    Read<std::optional<Point>> find_number(std::int64_t number) const;
    // The stored name that `name` misses only by width or case ("t1" →
    // "T1"), when there is one and no exact match; for a hint, never a
    // substitution.
    Read<std::optional<std::string>> near_miss(std::string_view name) const;

    // Adds a new point (its number is the next never used). name_taken
    // when the name is stored already.
    WriteResult add(const Point& point, const Origin& origin);
    // Changes a stored point, by number; name, X, Y and H as given.
    WriteResult correct(std::int64_t number, const PointEdit& edit, const Origin& origin);
    WriteResult rename(std::string_view old_name, std::string_view new_name, const Origin& origin);
    WriteResult remove(std::string_view name, const Origin& origin);

    // Stores computed points in one transaction, deciding inside it: a new
    // name is added; a stored point at the same X and Y to the millimetre
    // is the same point (its height kept); one elsewhere is moved (keeping
    // its height) only when the request may replace it and it still stands
    // as it did then, else left. A name that breaks the rules refuses the
    // whole store (invalid_name): check names with check_name first.
    StoreResult store(std::span<const StoreRequest> requests, const Origin& origin);
    // The stored points that storing `requests` would move (same name,
    // another X or Y), as stored; for the question before a replace.
    Read<std::vector<Point>> moved_by(std::span<const StoreRequest> requests) const;

    // The history, oldest first (`limit` newest changes when limit ≥ 0).
    Read<std::vector<Change>> history(int limit = -1) const;

    // The job's points as a SIMA or CSV file (bytes to write; a CSV with
    // the count of names written as text because a spreadsheet would take
    // them for formulas).
    Read<std::string> export_sima() const;
    // With `to_geographic` the CSV gains 緯度 and 経度 (see export_csv).
    Read<CsvExport> export_csv(CsvEncoding encoding = CsvEncoding::utf8_bom,
                               const ToGeographic& to_geographic = {}) const;

    // The full integrity check: "ok" alone, or SQLite's first ten problems.
    Read<std::vector<std::string>> check() const;

    struct Impl;

private:
    explicit Job(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend OpenResult open_job(const std::filesystem::path& folder);
};

}  // namespace marula::job
