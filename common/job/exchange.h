// Point files: readers and writers of SIMA (.sim) and CSV (.csv), pure
// functions from bytes to points, or to an error with its line, and back;
// and the same readers as streams over a file of any size (at the end).
//
//   auto read = marula::job::read_sima(bytes);
//   if (!read.ok()) show(read.error->line, describe(*read.error));
//
// Line numbers are 1-based physical lines (split on LF, one trailing CR
// removed). Any error refuses the whole file: the points are then empty.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "base/byte_source.h"
#include "job/point.h"

namespace marula::job {

// The categories of what a reader reports. Errors refuse the file;
// warnings and notes are listed on the preview.
enum class Code {
    E_ENCODING,            // a line that decodes neither as UTF-8 nor as CP932 (or a second BOM)
    E_NOT_A_RECORD,        // a line that is no record, with an A01 after it
    E_MISSING_NAME,        // a CSV row without its name (no number to take instead)
    E_MISSING_X,           // (detail "緯度" when a latitude is missing)
    E_MISSING_Y,           // (detail "経度" when a longitude is missing)
    E_NOT_NUMBER,          // X, Y, H, latitude or longitude (or the point number) not a number
    E_OUT_OF_RANGE,        // a coordinate of 1e8 m or more, a latitude past 90° or a longitude past 180°
    E_NAME_TOO_LONG,       // more than 20 bytes in CP932
    E_NAME_CHARACTER,      // a character CP932 cannot write, a control character, ',' or '"',
                           // '=', '+', '-' or '@' first, or ".."
    E_NAME_ASTERISK,       // the lone "*"
    E_DUPLICATE_CONFLICT,  // one name twice with other coordinates
    E_COLUMNS_UNKNOWN,     // a CSV without header and without a column order
    E_TOO_MANY_FIELDS,     // a CSV row wider than its header
    E_READ,                // the file cannot be read at all
    E_LINE_TOO_LONG,       // a line of more than 4,096 bytes
    E_NO_RECORDS,          // no point record (and no parcel) in the whole file
    E_NEEDS_GEOID,         // 楕円体高 given and no geoid height to take off it
    E_NO_ZONE,             // latitude and longitude with no zone to convert them into
    E_TOO_MANY_VERTICES,   // a parcel of more than kParcelVertexLimit vertices
    E_UNKNOWN_VERTEX,      // a parcel's vertex neither in the file nor in the job
    E_PARCEL,              // a parcel the job cannot hold (its name, two of one name, too few vertices)
    W_NAME_FROM_NUMBER,    // a blank name: the point number became the name
    W_SKIPPED_LINE,        // a line that is no record, with no A01 after it
    W_ZONE_MISMATCH,       // the file's zone differs from the job's
    W_FAR_FROM_ZONE,       // a converted point more than 250 km from its zone's origin
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
    std::string detail;  // e.g. the offending field or name, UTF-8 as read (not yet printable)
};

// A short line in Japanese for the screen and standard error (without the
// file and line). What came from the file is quoted printable and at most
// 40 bytes long, so the line can neither break nor steer a terminal.
std::string describe(const Diagnostic& d);

// The encodings of point files.
enum class Encoding { cp932, utf8 };
// "CP932" or "UTF-8", as the preview names it.
std::string_view encoding_name(Encoding encoding);
// "cp932" or "utf-8" ("utf8"; any case), as `--encoding` takes them.
std::optional<Encoding> parse_encoding(std::string_view text);

// A point read from a file.
struct FilePoint {
    Point point;          // number is the file's point number (0 when none)
    int line = 0;         // where it was read (the first line for a merged duplicate)
};

// One vertex of a parcel as a file names it (the consumer finds the point
// by name among the file's and the job's points).
struct FileVertex {
    std::string name;
    int line = 0;  // its B01 record
};

// A closed lot (SIMA D00 of type 1) and its vertices in order.
struct FileParcel {
    std::string name;  // checked as a point name; the padding trimmed
    int line = 0;      // its D00 record
    std::vector<FileVertex> vertices;
};

// The most vertices one parcel may have: far more than any lot, few enough
// that a parcel is held whole while it is read.
inline constexpr std::size_t kParcelVertexLimit = 1000;

// What a file holds.
struct PointFile {
    std::vector<FilePoint> points;               // in file order, duplicates merged
    std::vector<FileParcel> parcels;             // in file order (read only when asked)
    std::optional<int> zone;                     // Z01 (1–19), when given
    std::vector<Diagnostic> notes;               // warnings and notes, in line order
    std::map<std::string, int> skipped_records;  // record code ("B01") → count
    Encoding encoding = Encoding::cp932;         // the one it was read in
    int skipped_total() const;
};

// A read: the file, or the first error.
struct ReadResult {
    PointFile file;
    std::optional<Diagnostic> error;
    bool ok() const { return !error; }
};

// A place in the plane rectangular system, metres: X north, Y east.
struct PlaneXY {
    double x = 0;
    double y = 0;
};
// Latitude and longitude in degrees (north and east positive) into the
// job's zone, unrounded; the reader rounds to the millimetre.
using ToPlane = std::function<PlaneXY(double latitude, double longitude)>;

// How to read a file.
struct ReadOptions {
    // The encoding to use whatever the file looks like; nothing: a UTF-8
    // BOM is UTF-8, else a file of valid UTF-8 holding a character of three
    // or more bytes or the degree sign is UTF-8, else CP932.
    std::optional<Encoding> encoding;
    // Type-1 lots (D00 … B01 … up to the next D00 or D99) read as parcels.
    // Off: every lot record is skipped and counted, for a consumer that
    // cannot keep parcels.
    bool parcels = false;
    // N in metres, taken off a CSV's 楕円体高 to give H; nothing: such a
    // file is E_NEEDS_GEOID.
    std::optional<double> geoid_height;
    // Latitude and longitude into the job's zone; empty: a CSV that gives
    // only latitude and longitude is E_NO_ZONE.
    ToPlane to_plane;
};

// SIMA. Encoding by ReadOptions. Blank lines and a last line of 0x1A are
// ignored. A01,number,name,X,Y[,H][,…]; Z01,zone; G00 Z00 A00 A99 are
// structure; type-1 lots are parcels when asked (D99 then structure);
// other records are skipped and counted. No point (and no parcel) at all
// is E_NO_RECORDS.
ReadResult read_sima(std::string_view bytes, const ReadOptions& options = {});

// The columns of a CSV. Only a header names the last three.
enum class Column { number, name, x, y, h, latitude, longitude, ellipsoidal_height };
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
    Encoding encoding = Encoding::cp932;
    std::optional<Diagnostic> error;                   // E_ENCODING, E_LINE_TOO_LONG, E_READ
};
CsvShape inspect_csv(std::string_view bytes, int rows = 5, std::optional<Encoding> encoding = std::nullopt);

// CSV. Encoding as SIMA; separator ';' when the first non-blank line holds
// one (then ',' is the decimal mark), else ','; double-quoted fields. A
// first line that names at least the name and either X and Y or latitude
// and longitude is a header (X and Y win when both pairs are named);
// without one `order` must be given, else E_COLUMNS_UNKNOWN before anything
// is read. Latitude and longitude are decimal degrees or D°M′S″ / "D M S"
// (marula::parse_unlimited_degrees) turned into X and Y by ReadOptions::to_plane; a
// point more than 250 km from its zone's origin gets W_FAR_FROM_ZONE. H is
// 標高 (H, Z, 高さ), else 楕円体高 − ReadOptions::geoid_height.
ReadResult read_csv(std::string_view bytes, const std::optional<ColumnOrder>& order = std::nullopt,
                    const ReadOptions& options = {});

enum class FileFormat { sima, csv };
// By the file name's extension (".sim", ".csv", any case).
std::optional<FileFormat> format_of(std::string_view file_name);

// A parcel to write: its name and its vertices in order, each by the point
// number and name it has in the job.
struct SimaVertex {
    std::int64_t number = 0;
    std::string name;
};
struct SimaParcel {
    std::string name;
    std::vector<SimaVertex> vertices;
};

// A job's points as SIMA: CP932, CRLF; G00,04,<job name>, / Z00 / Z01 when
// there is a zone / A00 / one A01 per point as given (number order) / A99.
// Then, when there are parcels, Z00 for the lot data, per parcel
// D00,<n>,<name padded to 10 bytes>,1, and B01,<number>,<name padded to
// 20 bytes>, per vertex, and one D99 at the end. The job's name is cut to
// 40 characters, its commas and control characters written as blanks and
// what CP932 cannot write as '?', so the header stays one field of one line.
std::string write_sima(std::string_view job_name, std::optional<int> zone, std::span<const Point> points,
                       std::span<const SimaParcel> parcels = {});

// Latitude and longitude in degrees, north and east positive.
struct LatLon {
    double latitude = 0;
    double longitude = 0;
};
// Plane X, Y in metres of the job's zone to latitude and longitude;
// nothing where the projection has no place for the point.
using ToGeographic = std::function<std::optional<LatLon>(double x, double y)>;

// A job's points as CSV: header 点名,X,Y,H, "%.3f", empty H when absent,
// CRLF; UTF-8 with a BOM, or CP932 without one. A name a spreadsheet would
// take as a formula (first '=', '+', '-' or '@', as names stored before
// that rule may be) is written quoted behind a ' ("'=SUM(1)"), and counted.
// With `to_geographic`, 緯度 and 経度 follow H in decimal degrees to 9
// decimals ("36.103774792"), both empty for a point it gives nothing for.
enum class CsvEncoding { utf8_bom, cp932 };
struct CsvExport {
    std::string bytes;
    int formula_cells = 0;  // names written behind a '
};
CsvExport export_csv(std::span<const Point> points, CsvEncoding encoding = CsvEncoding::utf8_bom,
                     const ToGeographic& to_geographic = {});
std::string write_csv(std::span<const Point> points, CsvEncoding encoding = CsvEncoding::utf8_bom,
                      const ToGeographic& to_geographic = {});

// A number in fixed notation with `decimals` decimals ("%.*f"), never
// "-0.000…": a value that rounds to zero is written without its sign.
std::string fixed_decimals(double value, int decimals);

// UTF-8 to CP932 bytes through the system's converter; nothing when a
// character has no CP932 form.
std::optional<std::string> to_cp932(std::string_view utf8);

// ---- Reading as a stream ------------------------------------------------
//
// A file of any size is read with bounded memory: one chunk, one line of at
// most 4,096 bytes (a longer one is E_LINE_TOO_LONG), one parcel at a time.
// The records go to a sink as they are read; only the names seen so far are
// kept, by a SeenNames store the caller chooses (in memory, or a temporary
// table of the job's database).
//
//   SeenNamesInMemory seen;
//   FdSource source(fd);
//   StreamResult r = stream_sima(source, seen, [&](const Record& record) { … return true; });

// The first place of a name in the file, for telling a merged duplicate
// from a conflicting one.
struct SeenPoint {
    std::int64_t ordinal = 0;  // the point's place among those the sink was given, from 0
    int line = 0;
    Millimetres x = 0;
    Millimetres y = 0;
    std::optional<Millimetres> h;
};

// The names of one file's points, kept by whoever can keep them.
class SeenNames {
public:
    virtual ~SeenNames() = default;
    enum class Answer { added, seen, failed };
    // Forgets every name (a read starts with it); false when it failed.
    virtual bool clear() = 0;
    // `point` recorded under a name not seen before (added), or the earlier
    // point of that name put in `earlier` (seen); failed: the store could
    // not answer, and the read stops with E_READ.
    virtual Answer find_or_add(std::string_view name, const SeenPoint& point, SeenPoint& earlier) = 0;
    // The earlier point of `name` took the height of a merged duplicate.
    virtual bool set_height(std::string_view name, Millimetres h) = 0;
};

// The names in a hash table.
class SeenNamesInMemory final : public SeenNames {
public:
    bool clear() override;
    Answer find_or_add(std::string_view name, const SeenPoint& point, SeenPoint& earlier) override;
    bool set_height(std::string_view name, Millimetres h) override;

private:
    std::unordered_map<std::string, SeenPoint> names_;
};

// A later record of a point at the same place gave the first one (at
// `ordinal` among the points given to the sink) the height it lacked.
struct MergedHeight {
    std::int64_t ordinal = 0;
    std::string name;
    Millimetres h = 0;
    int line = 0;  // the later record's line
};

// What a read hands its sink, in file order: points, parcels, heights
// merged into earlier points, warnings and notes. A note about lines that
// were no record (W_SKIPPED_LINE) and the count of skipped records
// (N_SKIPPED_RECORDS, line 0) come at the end, once nothing can refuse them.
using Record = std::variant<FilePoint, FileParcel, MergedHeight, Diagnostic>;
// Returns false to stop the read (the result then says `stopped`).
using RecordSink = std::function<bool(const Record&)>;

struct StreamResult {
    std::optional<Diagnostic> error;  // the error that ended the read; the sink was given no error
    bool stopped = false;             // the sink asked to stop
    Encoding encoding = Encoding::cp932;
    std::optional<int> zone;                     // Z01
    std::map<std::string, int> skipped_records;  // record code → count
    std::int64_t points = 0;                     // given to the sink (merged duplicates not counted)
    std::int64_t parcels = 0;
    bool ok() const { return !error && !stopped; }
};

// The readers above, as streams. The source is read twice when the
// encoding must be told (once to tell it, once for the records).
StreamResult stream_sima(ByteSource& source, SeenNames& seen, const RecordSink& sink, const ReadOptions& options = {});
StreamResult stream_csv(ByteSource& source, SeenNames& seen, const RecordSink& sink,
                        const std::optional<ColumnOrder>& order, const ReadOptions& options = {});
CsvShape inspect_csv(ByteSource& source, int rows = 5, std::optional<Encoding> encoding = std::nullopt);

}  // namespace marula::job
