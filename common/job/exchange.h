// Point files: readers and writers of SIMA (.sim) and CSV (.csv), pure
// functions from bytes to points, or to an error with its line, and back.
//
//   auto read = marula::job::read_sima(bytes);
//   if (!read.ok()) show(read.error->line, describe(*read.error));
//
// Line numbers are 1-based physical lines (split on LF, one trailing CR
// removed). Any error refuses the whole file: the points are then empty.
#pragma once

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "job/point.h"

namespace marula::job {

// The categories of what a reader reports. Errors refuse the file;
// warnings and notes are listed on the preview.
enum class Code {
    E_ENCODING,            // a line that decodes neither as UTF-8 nor as CP932
    E_NOT_A_RECORD,        // a line that is no record, with an A01 after it
    E_MISSING_NAME,        // a CSV row without its name (no number to take instead)
    E_MISSING_X,
    E_MISSING_Y,
    E_NOT_NUMBER,          // X, Y or H (or the point number) not a number
    E_OUT_OF_RANGE,        // a coordinate of 1e8 m or more
    E_NAME_TOO_LONG,       // more than 20 bytes in CP932
    E_NAME_CHARACTER,      // a character CP932 cannot write, a control character, ',' or '"'
    E_NAME_ASTERISK,       // the lone "*"
    E_DUPLICATE_CONFLICT,  // one name twice with other coordinates
    E_COLUMNS_UNKNOWN,     // a CSV without header and without a column order
    E_TOO_MANY_FIELDS,     // a CSV row wider than its header
    E_READ,                // the file cannot be read at all (used by callers)
    W_NAME_FROM_NUMBER,    // a blank name: the point number became the name
    W_SKIPPED_LINE,        // a line that is no record, with no A01 after it
    W_ZONE_MISMATCH,       // the file's zone differs from the job's
    N_SKIPPED_RECORDS,     // records that are not points (lots, routes, …)
    N_DUPLICATE_MERGED,    // one name twice at the same place: one point
};

// "E_NOT_NUMBER" and so on.
std::string_view code_name(Code code);
bool is_error(Code code);

// One error, warning or note of a read.
struct Diagnostic {
    Code code = Code::E_READ;
    int line = 0;        // 0 when no line applies
    int other_line = 0;  // the earlier line of a duplicate, else 0
    std::string detail;  // e.g. the offending field or name, UTF-8
};

// A short line in Japanese for the screen and standard error (without the
// file and line).
std::string describe(const Diagnostic& d);

// A point read from a file.
struct FilePoint {
    Point point;          // number is the file's point number (0 when none)
    int line = 0;         // where it was read (the first line for a merged duplicate)
};

// What a file holds.
struct PointFile {
    std::vector<FilePoint> points;               // in file order, duplicates merged
    std::optional<int> zone;                     // Z01 (1–19), when given
    std::vector<Diagnostic> notes;               // warnings and notes, in line order
    std::map<std::string, int> skipped_records;  // record code ("B01") → count
    int skipped_total() const;
};

// A read: the file, or the first error.
struct ReadResult {
    PointFile file;
    std::optional<Diagnostic> error;
    bool ok() const { return !error; }
};

// SIMA. Encoding: a UTF-8 BOM, or valid UTF-8 with a byte ≥ 0x80, is
// UTF-8; otherwise CP932. Blank lines and a last line of 0x1A are ignored.
// A01,number,name,X,Y[,H][,…]; Z01,zone; G00 Z00 A00 A99 are structure;
// other records are skipped and counted.
ReadResult read_sima(std::string_view bytes);

// The columns of a CSV without header.
enum class Column { number, name, x, y, h };
using ColumnOrder = std::vector<Column>;

// "name,x,y", "name,x,y,h", "num,name,x,y" or "num,name,x,y,h" (case and
// blanks ignored; "number"/"no" for num); nothing for anything else.
std::optional<ColumnOrder> parse_column_order(std::string_view text);

// What a CSV looks like before reading it, for the screen that asks the
// column order: its separator, whether the first line is a header, and the
// first rows as decoded fields.
struct CsvShape {
    char separator = ',';
    bool has_header = false;
    std::vector<std::vector<std::string>> first_rows;  // up to `rows` non-blank rows
    std::optional<Diagnostic> error;                   // E_ENCODING
};
CsvShape inspect_csv(std::string_view bytes, int rows = 5);

// CSV. Encoding as SIMA; separator ';' when the first non-blank line holds
// one (then ',' is the decimal mark), else ','; double-quoted fields. A
// first line that names at least name, X and Y is a header; without one
// `order` must be given, else E_COLUMNS_UNKNOWN before anything is read.
ReadResult read_csv(std::string_view bytes, const std::optional<ColumnOrder>& order = std::nullopt);

enum class FileFormat { sima, csv };
// By the file name's extension (".sim", ".csv", any case).
std::optional<FileFormat> format_of(std::string_view file_name);

// A job's points as SIMA: CP932, CRLF; G00,04,<job name>, / Z00 / Z01 when
// there is a zone / A00 / one A01 per point as given (number order) / A99.
// A job name that CP932 cannot write has those characters as '?'.
std::string write_sima(std::string_view job_name, std::optional<int> zone, std::span<const Point> points);

// A job's points as CSV: header 点名,X,Y,H, "%.3f", empty H when absent,
// CRLF; UTF-8 with a BOM, or CP932 without one.
enum class CsvEncoding { utf8_bom, cp932 };
std::string write_csv(std::span<const Point> points, CsvEncoding encoding = CsvEncoding::utf8_bom);

// UTF-8 to CP932 bytes through the system's converter; nothing when a
// character has no CP932 form.
std::optional<std::string> to_cp932(std::string_view utf8);

}  // namespace marula::job
