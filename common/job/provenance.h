// Where a run's values came from, and the results that no longer follow
// them. A calculation records each stored point it took a value of by
// Enter (a stored X or Y, an azimuth worked out from stored coordinates)
// with the value it took; a point is stale when the run that last stored
// it took a value that has since moved, or took it from a point that is
// itself stale.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "job/database.h"
#include "job/point.h"

namespace marula::job {

// One value a run took from the job.
struct RunInput {
    std::string name;         // the point's name as the run knew it
    std::int64_t point = 0;   // its number (follows a rename)
    Millimetres x = 0, y = 0; // where it stood when taken
    std::int64_t event = 0;   // the journal's event that took it (from 0)
};

// Records a value `run` took (committed on its own, like the journal).
// Nothing, or one line in Japanese when it could not be kept.
std::optional<std::string> record_input(Database& db, std::int64_t run, const RunInput& input);
// Gives `run` the inputs `from` took at events before `before_event`, other
// than those at `except` (events replayed from an earlier run take what it
// took).
std::optional<std::string> inherit_inputs(Database& db, std::int64_t run, std::int64_t from,
                                          std::int64_t before_event, const std::set<std::int64_t>& except);
// What a run took, in order.
Read<std::vector<RunInput>> run_inputs(const Database& db, std::int64_t run);

// The inputs of `run` that the job now holds elsewhere (1 mm or more in X
// or Y) or no longer holds, with the point as it stands now (nothing when
// it is gone), one an event. `retakeable` when every point taken at that
// event still stands under the name it was taken by: a replay finds a
// point by the name it was given, so with one renamed or gone the offer
// the answer took would not be made.
struct MovedInput {
    RunInput taken;
    std::optional<Point> now;
    bool retakeable = false;
};
Read<std::vector<MovedInput>> moved_inputs(const Database& db, std::int64_t run);

// Why a point is stale: the input that moved, or the stale point its run
// took a value from.
struct Stale {
    Point point;
    std::string because;  // the name of that input (as the job names it now)
};

// Works staleness out point by point, remembering what it found (a job's
// runs take values from each other's points; each is looked at once).
class StaleFinder {
public:
    explicit StaleFinder(const Database& db) : db_(db) {}
    // Why the point of this number is stale, or nothing when it is not
    // (or was not stored by a calculation). Throws DbError.
    std::optional<std::string> why(std::int64_t number);

private:
    std::optional<std::int64_t> storing_run(std::int64_t number);
    const Database& db_;
    std::map<std::int64_t, std::optional<std::string>> known_;
    std::set<std::int64_t> visiting_;
};

// Every stale point of the job, in number order.
Read<std::vector<Stale>> stale_points(const Database& db);
// Of these points (a page of the list), the stale ones' numbers.
Read<std::set<std::int64_t>> stale_among(const Database& db, const std::vector<Point>& points);

}  // namespace marula::job
