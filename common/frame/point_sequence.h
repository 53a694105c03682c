// The prompts that take points one after another until '*' (the vertices
// of an area, the points of an inverse or a stake-out, from the program's
// first point prompt on). In a job, one answer there may stand for many
// stored points:
//
//   K1..K7     the stored points K1, K2, …, K7 (the same prefix, a whole
//              number after it); K7..K1 runs downwards, and K01..K12 keeps
//              the width of its numbers;
//   @NAME      the vertices of the stored parcel NAME, in order (closed,
//              when the program asks for it, by its first vertex again).
//
// Each point then fills its row as if its name had been typed and both
// offered coordinates taken with Enter, and the journal keeps exactly
// those typed lines, so a replay never depends on the job. A range stops
// at the first point the job does not hold, with a notice naming it, and
// at the program's own limit as typing would. A name the job holds is
// always that point; without a job "K1..K7" and "@X" are names as any
// other.
//
//     std::string name = ask_sequence_list_name(calc);   // in place of ask_list_name
//     if (ends_point_list(name)) break;
//     … show the name, then ask_known_coordinates(calc, name, …) …
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "calculation.h"
#include "point_list.h"

namespace marula {

// A range of names "K1..K7": names prefix + number from `first` to `last`
// (either way), each number written with at least `width` digits (leading
// zeros; 0: as it comes).
struct NameRange {
    std::string prefix;
    std::int64_t first = 0;
    std::int64_t last = 0;
    int width = 0;

    // The name of the i-th point of the range (from 0).
    std::string name(std::int64_t i) const;
    std::int64_t count() const { return (last >= first ? last - first : first - last) + 1; }
};

// Reads "K1..K7": two ends (blanks around each ignored) that share their
// prefix and end in 1 to 18 ASCII digits. An end written with a leading
// zero ("K01") sets the width; each end must read back as it was written
// under it ("K1..K012" does not: K001 is not K1). Nothing for any other text.
std::optional<NameRange> read_name_range(std::string_view text);

// The next name at a prompt of the sequence: the next point of a range or
// a parcel typed earlier, else the answer to the plain question `prompt`
// at `column` of the prompt row (see ask_text).
std::string ask_sequence_name(Calculation& calc, int column, std::string_view prompt);
// The same with the three-piece question of ask_list_name.
std::string ask_sequence_list_name(Calculation& calc, int column = 5, std::string_view lead = kStationListLead);

// The stored point whose name the sequence has just given as `name`, once:
// ask_known_coordinates takes its coordinates without asking.
std::optional<job::Point> take_supplied_point(Calculation& calc, std::string_view name);

}  // namespace marula
