// The vocabulary of jobs: a point, its name and its coordinates in whole
// millimetres. Pure functions, no I/O.
//
// A coordinate is kept as the whole millimetres that the screen's "#.###"
// shows, so a point taken from a job and one typed from a printed sheet are
// the same value. X is north, Y east (the plane rectangular coordinate
// system); H is the height, which a point may lack (never taken as 0).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marula::job {

// Whole millimetres.
using Millimetres = std::int64_t;

// The largest coordinate a job or a file may hold, exclusive: 1e8 m.
inline constexpr Millimetres kCoordinateLimit = 100'000'000'000;

// Metres to whole millimetres, rounded half away from zero on the exact
// binary value of `metres`, as PRINT USING "#.###" rounds: 1.0005, which
// is 1.000499999… in binary, gives 1000; 2.0005 (2.000500000…17) gives
// 2001; -0.0015 gives -2. Nothing for a value that is not finite or whose
// size, once rounded, is 1e8 m or more.
std::optional<Millimetres> to_millimetres(double metres);

// Millimetres back to metres: mm / 1000.0, the double nearest the decimal
// value, i.e. what parsing the printed "%.3f" text gives.
double to_metres(Millimetres mm);

// "%.3f" of the millimetres as metres, exact (no binary detour): 35120 →
// "35.120", -5 → "-0.005", 0 → "0.000".
std::string format_metres(Millimetres mm);

// A number as typed at the keyboard or found in a file (full-width digits,
// point and minus accepted, blanks around it ignored) to millimetres;
// nothing when it is not a number or is out of range (see to_millimetres).
std::optional<Millimetres> parse_millimetres(std::string_view text);

// One point of a job, or of a file being read.
struct Point {
    std::int64_t number = 0;  // the job's number (≥ 1, never reused); 0 when not stored
    std::string name;         // UTF-8, valid under check_name
    Millimetres x = 0;        // north
    Millimetres y = 0;        // east
    std::optional<Millimetres> h;

    bool operator==(const Point&) const = default;
};

// Same place: X and Y equal to the millimetre, and H equal or absent on at
// least one side.
bool same_place(const Point& a, const Point& b);

// Why a name cannot be a point's name.
enum class NameProblem {
    none,
    empty,             // nothing left after trimming
    too_long,          // more than 20 bytes in CP932
    not_cp932,         // a character CP932 cannot write (or invalid UTF-8)
    control_character, // a control character
    comma_or_quote,    // ',' or '"'
    lone_asterisk,     // the one-byte "*" alone: it ends station lists
    formula_start,     // begins with '=', '+', '-' or '@': a spreadsheet takes it as a formula, '@' names a parcel
    double_dot,        // holds "..": "K1..K7" is a range of names
};

// A name as typed or read, checked.
struct NameCheck {
    std::string name;                       // trimmed of blanks, tabs and U+3000 at both ends
    NameProblem problem = NameProblem::none;
    bool ok() const { return problem == NameProblem::none; }
};

// The names' rules: trimmed at both ends of blanks, tabs and U+3000; 1–20
// bytes in CP932; every character CP932-encodable; no control characters,
// no ',' or '"'; the lone one-byte "*" is refused ("＊", "12*", "A*" are
// names); no '=', '+', '-' or '@' first ("A-1", "1+" are names) and no ".."
// anywhere ("A.B" is a name). Case and width are significant: "T1", "t1"
// and "Ｔ１" differ.
NameCheck check_name(std::string_view typed);

// The reason for a refused name, one short line in Japanese for the prompt
// row ("" for NameProblem::none).
std::string describe(NameProblem problem);

// A job's display name: empty (the folder's name is shown instead) or 1 to
// 40 characters, each one a point name could hold.
inline constexpr int kJobNameCharacters = 40;

enum class JobNameProblem {
    none,
    too_long,           // more than 40 characters
    not_cp932,          // a character CP932 cannot write (or invalid UTF-8)
    control_character,  // a control character: a line break would split the SIMA header
    comma_or_quote,     // ',' or '"'
};

struct JobNameCheck {
    std::string name;  // trimmed of blanks, tabs and U+3000 at both ends
    JobNameProblem problem = JobNameProblem::none;
    bool ok() const { return problem == JobNameProblem::none; }
};

// A job's name as typed, checked (empty is a name: the folder's).
JobNameCheck check_job_name(std::string_view typed);

// One short line in Japanese ("" for JobNameProblem::none).
std::string describe(JobNameProblem problem);

// The first 40 characters of a name stored before names were checked, for
// showing and exporting it; a shorter name as it is. A byte that is no part
// of valid UTF-8 counts as one character.
std::string cut_job_name(std::string_view name);

// A key under which names that differ only by width or case meet
// ("Ｔ１", "t1" and "T1" give the same key; "ｺｳ4" and "コウ４" too). Used
// for the near-miss hint, never for a lookup.
std::string fold_width_and_case(std::string_view name);

// The bytes a name takes in CP932; nothing when CP932 cannot write it.
std::optional<int> cp932_length(std::string_view utf8);

}  // namespace marula::job
