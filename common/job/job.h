// A job (現場): a folder holding job.db, the job's point store with its
// change history and header, and reports/. Programs call this API; the
// database stays behind it.
//
//   auto opened = marula::job::open_job(folder);
//   if (!opened.job) notice(opened.message);       // no job: carry on without
//   else if (auto p = opened.job->find("T1")) …     // a stored point
//
// Every write is one transaction: it is done whole or not at all, and a
// write that fails says why in its WriteResult and loses nothing already
// stored. Two programs may work on one job at once (waiting up to the busy
// timeout for each other: 5 s, or MARULA_JOB_BUSY_TIMEOUT_MS milliseconds).
// For tests, MARULA_JOB_KILL_DURING_IMPORT=N kills the process after N
// points of an import are written, inside its transaction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "job/exchange.h"
#include "job/point.h"

namespace marula::job {

// The job's header.
struct JobHeader {
    std::string display_name;  // shown on the menu and sheets; may be empty
    std::optional<int> zone;   // 1–19, the plane rectangular coordinate system's zone
};

// How opening a job went.
enum class OpenStatus {
    opened,       // readable and writable
    read_only,    // readable only: points offered, nothing stored (message says so)
    cannot_open,  // the folder or database cannot be opened or created
    not_a_job,    // job.db is some other file or database: left untouched
    damaged,      // job.db is a damaged database: left untouched
    too_new,      // written by a later version of this program: left untouched
};

class Job;

struct OpenResult {
    std::unique_ptr<Job> job;  // none unless opened or read_only
    OpenStatus status = OpenStatus::cannot_open;
    std::string message;       // one line in Japanese for a notice; empty when opened
};

// Opens the job in `folder`, creating the folder, job.db and reports/ when
// the folder holds no job.db yet (a missing folder is created too). A
// database that is not ours or is damaged is never overwritten.
OpenResult open_job(const std::filesystem::path& folder);

// Who changed a point and from where, for the history.
struct Origin {
    std::string program;  // "points", "marula-points", "linktrav", …
    std::string source;   // "入力", or a file and line such as "s01.sim:6"
};

// How a write went.
enum class WriteStatus {
    done,
    read_only,     // the job is read-only: nothing stored
    busy,          // another program held the job beyond the busy timeout: nothing stored
    failed,        // the write failed (disk full, I/O error): rolled back, nothing stored
    not_found,     // no point of that name or number
    name_taken,    // the new name belongs to another point
    invalid_name,  // the name breaks the rules (message gives the reason)
    out_of_range,  // a coordinate of 1e8 m or more
};

struct WriteResult {
    WriteStatus status = WriteStatus::done;
    std::string message;      // one line in Japanese for the prompt row; empty when done
    std::int64_t number = 0;  // the point's number after add or correct
    bool ok() const { return status == WriteStatus::done; }
};

// What a correction changes of a point (fields left empty stay).
struct PointEdit {
    std::optional<std::string> name;
    std::optional<Millimetres> x, y;
    std::optional<std::optional<Millimetres>> h;  // a value, or an empty optional to remove H
};

// One change in the history.
enum class Action { add, import, replace, h_added, rename, remove };
std::string_view action_name(Action action);  // "add", "import", "replace", "h-added", "rename", "delete"

struct Change {
    std::int64_t id = 0;
    std::string time;     // local time "YYYY-MM-DD HH:MM:SS"
    std::string program;
    Action action = Action::add;
    std::string name;     // the point's name (for a rename, the new one)
    std::optional<Point> before, after;
    std::string source;
};

// The conflict choice of an import, for the whole file.
enum class OnConflict { keep, replace, cancel };

// An import classified against the job, before anything is written.
struct ImportPreview {
    struct HeightAdded {
        Point stored;
        Millimetres h = 0;
        int line = 0;
    };
    struct Conflict {
        Point stored;
        Point file;
        int line = 0;
    };
    std::vector<FilePoint> new_points;  // in file order
    std::vector<FilePoint> identical;
    std::vector<HeightAdded> heights_added;
    std::vector<Conflict> conflicts;
    int skipped_records = 0;
    std::vector<Diagnostic> warnings;    // the file's warnings and notes, and W_ZONE_MISMATCH
    std::optional<int> file_zone;
    bool zone_mismatch = false;          // the file's Z01 differs from the job's zone
};

// What an applied import did.
struct ImportOutcome {
    WriteResult result;
    int added = 0, heights_added = 0, replaced = 0, kept = 0, identical = 0;
    bool cancelled = false;
};

// A job under the data folder, for the change-of-job list.
struct JobSummary {
    std::filesystem::path folder;
    JobHeader header;
    std::int64_t points = 0;
    bool usable = true;  // false when its database cannot be read
};

class Job {
public:
    ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    const std::filesystem::path& folder() const;
    std::filesystem::path reports_folder() const;  // folder()/reports
    bool read_only() const;

    // The header (display name falls back to the folder's name when empty).
    JobHeader header() const;
    std::string display_name() const;
    WriteResult set_header(const JobHeader& header, const Origin& origin);

    // Points in number order: `limit` points with a number above
    // `after_number` (all when limit < 0); count() of them in all.
    std::vector<Point> points(std::int64_t after_number = 0, int limit = -1) const;
    std::int64_t count() const;
    // A page by position: `limit` points from the `first`-th (0-based) in
    // number order, for "page n of m".
    std::vector<Point> page(std::int64_t first, int limit) const;
    // The point with this exact name (trimmed first), or this number.
    std::optional<Point> find(std::string_view name) const;
    std::optional<Point> find_number(std::int64_t number) const;
    // The stored name that `name` misses only by width or case ("t1" →
    // "T1"), when there is one and no exact match; for a hint, never a
    // substitution.
    std::optional<std::string> near_miss(std::string_view name) const;

    // Adds a new point (its number is the next never used). name_taken
    // when the name is stored already.
    WriteResult add(const Point& point, const Origin& origin);
    // Changes a stored point, by number; name, X, Y and H as given.
    WriteResult correct(std::int64_t number, const PointEdit& edit, const Origin& origin);
    WriteResult rename(std::string_view old_name, std::string_view new_name, const Origin& origin);
    WriteResult remove(std::string_view name, const Origin& origin);

    // Stores computed points in one transaction: new names are added,
    // stored ones at the same place are left, stored ones elsewhere are
    // replaced only when `replace_moved` (else left as they are). A name
    // that breaks the rules refuses the whole store (invalid_name): check
    // names with check_name first to leave out those a job cannot hold.
    WriteResult store(std::span<const Point> points, bool replace_moved, const Origin& origin);

    // The stored points that storing `points` would move (same name, other
    // X, Y or H), as stored; for the question before a replace.
    std::vector<Point> differing(std::span<const Point> points) const;

    // The history, oldest first (`limit` newest entries when limit ≥ 0).
    std::vector<Change> history(int limit = -1) const;

    // Classifies a read file against the job; writes nothing.
    ImportPreview preview_import(const PointFile& file) const;
    // Applies a read file in one transaction, classifying it again inside
    // it (another program may have written in between). `source_name`
    // names the file in the history ("s01.sim", with ":line" added).
    ImportOutcome apply_import(const PointFile& file, OnConflict choice, std::string_view source_name,
                               const Origin& origin);

    // The job's points as a SIMA or CSV file (bytes to write).
    std::string export_sima() const;
    std::string export_csv(CsvEncoding encoding = CsvEncoding::utf8_bom) const;

    struct Impl;

private:
    explicit Job(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    friend OpenResult open_job(const std::filesystem::path& folder);
};

// Writes a file whole or not at all (written beside it, then renamed
// over it): nothing when done, else one line saying why, in Japanese.
std::optional<std::string> save_file(const std::filesystem::path& file, std::string_view bytes);

// Where jobs live. Script mode counts only MARULA_JOB.

// MARULA_JOB when set and not empty.
std::optional<std::filesystem::path> job_from_environment();
// $XDG_DATA_HOME/marula/jobs (or ~/.local/share/marula/jobs).
std::filesystem::path jobs_data_folder();
// $XDG_CONFIG_HOME/marula/current-job (or ~/.config/marula/current-job).
std::filesystem::path current_job_file();
// The name of the job made on the very first start in a window.
inline constexpr std::string_view kDefaultJobName = "既定";

// The job a program should use: MARULA_JOB when set; in script mode
// nothing else; in a window the current job, or on the very first start a
// job "既定" under the data folder, made current.
std::optional<std::filesystem::path> choose_job_folder(bool script_mode);
// Makes `folder` the current job (writes current-job); false when it cannot.
bool set_current_job(const std::filesystem::path& folder);

// The jobs under the data folder, by folder name.
std::vector<JobSummary> list_jobs(const std::filesystem::path& data_folder = jobs_data_folder());
// A new job under the data folder: a folder named after `display_name`
// (made safe for a file name; a number added when it exists), its header set.
OpenResult create_job(const JobHeader& header, const std::filesystem::path& data_folder = jobs_data_folder());

}  // namespace marula::job
