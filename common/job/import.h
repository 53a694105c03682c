// An import of a SIMA or CSV file of any size into a job, as a stream.
//
//   PointFileInput input = PointFileInput::open(path);        // a regular file, or why not
//   FileImport import(job);
//   const ImportSummary& s = import.read(input.source(), {FileFormat::sima});
//   for (const ImportRow& row : import.rows(ImportKind::added, 0, 19).value) …   // a page of the preview
//   ImportOutcome done = import.apply(OnConflict::keep, {"marula-points", "a.sim"});
//
// The file is read once into a temporary table of the job's own connection
// (its TEMP schema: never in job.db, and no lock on the job): a row per
// point, the name unique, which is how duplicates within the file are told.
// Only that table grows with the file, and it lives in a temporary file, so
// memory stays bounded whatever the file's size. The preview looks each
// name up in the job; the write looks each one up once more inside its own
// transaction (another program may have written in between), and nothing
// is held locked while the user answers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_source.h"
#include "job/exchange.h"
#include "job/job.h"

namespace marula::job {

// The geoid height N the job keeps (its ジオイド高 setting); 0 when none is
// set.
Read<Millimetres> stored_geoid(const Database& db);

// A point file opened for an import: one descriptor, opened without
// waiting (a FIFO never blocks) and kept only when it is a regular file, so
// a device, a FIFO or a folder is refused before a byte is read.
class PointFileInput {
public:
    static PointFileInput open(const std::filesystem::path& file);
    PointFileInput(PointFileInput&& other) noexcept;
    PointFileInput& operator=(PointFileInput&&) = delete;
    ~PointFileInput();

    bool ok() const { return !error; }
    // Reads the file from its start (valid while this lives; only when ok()).
    ByteSource& source() { return *source_; }

    // E_READ with the reason, when the file cannot be read.
    std::optional<Diagnostic> error;

private:
    PointFileInput() = default;
    int fd_ = -1;
    std::unique_ptr<FdSource> source_;
};

// How to read the file.
struct ImportRequest {
    FileFormat format = FileFormat::sima;
    std::optional<ColumnOrder> order;    // a CSV without header
    std::optional<Encoding> encoding;    // forced; else told from the bytes
    // N in metres for a CSV's 楕円体高; nothing: the job's setting when it
    // is not 0, else such a file is refused (E_NEEDS_GEOID).
    std::optional<double> geoid_height;
};

// The ways a file's point meets the job.
enum class ImportKind {
    added = 0,         // a name the job lacks
    identical = 1,     // stored at the same X, Y and H (or the file gives no H)
    height_added = 2,  // stored at the same X and Y without the H the file gives
    conflict = 3,      // stored elsewhere, or with another H
};

// What a read found, and how its points meet the job.
struct ImportSummary {
    std::optional<Diagnostic> error;  // the file is refused: nothing else holds
    ReadTrouble trouble;              // the job (or the temporary table) could not be read
    Encoding encoding = Encoding::cp932;
    std::optional<int> file_zone;
    bool zone_mismatch = false;       // the file's Z01 differs from the job's zone
    std::int64_t points = 0;          // after merging duplicates
    std::int64_t added = 0, identical = 0, heights_added = 0, conflicts = 0;
    // The file's parcels (a SIMA's lots): new names, and names the job holds
    // (replaced or kept with the points' conflicts).
    std::int64_t parcels_added = 0, parcels_stored = 0;
    int skipped_records = 0;
    // The file's warnings and notes (W_ZONE_MISMATCH first), the first
    // kListedWarnings of them; the rest only counted.
    std::vector<Diagnostic> warnings;
    std::int64_t unlisted_warnings = 0;
    bool ok() const { return !error && !trouble; }
};

inline constexpr std::size_t kListedWarnings = 1000;

// One point of the preview: as the file gives it, and as the job holds it.
struct ImportRow {
    std::int64_t ordinal = 0;  // its place among the file's points, from 0
    int line = 0;
    Point file;                // number: the stored point's, else 0
    std::optional<Point> stored;
};

class FileImport {
public:
    explicit FileImport(Job& job);
    ~FileImport();  // empties the temporary table
    FileImport(const FileImport&) = delete;
    FileImport& operator=(const FileImport&) = delete;

    // Reads the file (from its start) and classifies its points against the
    // job. Reading again (another encoding) starts afresh.
    const ImportSummary& read(ByteSource& source, const ImportRequest& request);
    const ImportSummary& summary() const { return summary_; }

    // Up to `limit` points of one kind placed after `after_ordinal` in the
    // file (-1 for the first), as classified by the last read.
    Read<std::vector<ImportRow>> rows(ImportKind kind, std::int64_t after_ordinal, int limit) const;

    // Writes the read points in one transaction, classifying them again
    // inside it: new names added, heights added, conflicts replaced or kept
    // by `choice`; a batch in the history for the whole import and a change
    // under it for each point written.
    ImportOutcome apply(OnConflict choice, const Origin& origin);

private:
    void classify();
    // The file's parcels checked: a name the job can hold, once in the
    // file, three or more vertices each found among the file's points or
    // the job's; counted as new or stored. A refusal becomes the read's error.
    void check_parcels();
    Job& job_;
    ImportSummary summary_;
    std::vector<FileParcel> parcels_;  // as read, in file order
};

// A file already in memory (a small one, a test's) read and written in one
// go, its conflicts settled by `choice`; a refused file's reason is the
// result's message.
ImportOutcome import_bytes(Job& job, std::string_view bytes, const ImportRequest& request, OnConflict choice,
                           const Origin& origin);

}  // namespace marula::job
