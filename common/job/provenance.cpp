#include "job/provenance.h"

#include "job/history.h"

#include <algorithm>

namespace marula::job {

namespace {

RunInput input_from(const Statement& s) {
    // Columns: name, point, x, y, event.
    return {s.text(0), s.integer(1), s.integer(2), s.integer(3), s.integer(4)};
}

std::optional<Point> point_numbered(const Database& db, std::int64_t number) {
    Statement s = db.cached("SELECT number, name, x, y, h FROM points WHERE number = ?");
    s.bind(1, number);
    if (!s.step()) return std::nullopt;
    return Point{s.integer(0), s.text(1), s.integer(2), s.integer(3), s.maybe(4)};
}

// Moved: gone, or 1 mm or more away in X or Y (a change of height alone is
// no move).
bool moved(const RunInput& taken, const std::optional<Point>& now) {
    return !now || now->x != taken.x || now->y != taken.y;
}

std::vector<RunInput> inputs_of(const Database& db, std::int64_t run) {
    std::vector<RunInput> out;
    Statement s = db.cached("SELECT name, point, x, y, event FROM run_inputs WHERE run = ? ORDER BY seq");
    s.bind(1, run);
    while (s.step()) out.push_back(input_from(s));
    return out;
}

}  // namespace

std::optional<std::string> record_input(Database& db, std::int64_t run, const RunInput& input) {
    if (db.damaged() || db.read_only()) return std::string("現場に書き込めません");
    try {
        db.cached(
              "INSERT INTO run_inputs (run, seq, name, point, x, y, event) VALUES "
              "(?1, (SELECT count(*) FROM run_inputs WHERE run = ?1), ?2, ?3, ?4, ?5, ?6)")
            .bind(1, run)
            .bind(2, input.name)
            .bind(3, input.point)
            .bind(4, input.x)
            .bind(5, input.y)
            .bind(6, input.event)
            .run();
    } catch (const DbError& e) {
        return db.trouble(e);
    }
    return std::nullopt;
}

std::optional<std::string> inherit_inputs(Database& db, std::int64_t run, std::int64_t from,
                                          std::int64_t before_event, const std::set<std::int64_t>& except) {
    const auto taken = db.read([&] { return inputs_of(db, from); });
    if (!taken.ok()) return taken.trouble;
    for (const RunInput& input : taken.value) {
        if (input.event >= before_event || except.contains(input.event)) continue;
        if (auto trouble = record_input(db, run, input)) return trouble;
    }
    return std::nullopt;
}

Read<std::vector<RunInput>> run_inputs(const Database& db, std::int64_t run) {
    return db.read([&] { return inputs_of(db, run); });
}

Read<std::vector<MovedInput>> moved_inputs(const Database& db, std::int64_t run) {
    return db.read([&] {
        std::vector<MovedInput> out;
        std::set<std::int64_t> seen, renamed_or_gone;
        for (const RunInput& input : inputs_of(db, run)) {
            const auto now = point_numbered(db, input.point);
            if (!now || now->name != input.name) renamed_or_gone.insert(input.event);
            if (moved(input, now) && seen.insert(input.event).second) out.push_back({input, now});
        }
        for (MovedInput& m : out) m.retakeable = !renamed_or_gone.contains(m.taken.event);
        return out;
    });
}

std::optional<std::int64_t> StaleFinder::storing_run(std::int64_t number) {
    // The last change that placed the point: a calculation's store carries
    // its run and the source "計算"; an import, an edit or a typed point
    // does not, and then the point follows nothing. A replace that kept X
    // and Y (a height alone, like an import's added height) placed nothing.
    Statement s = db_.cached(
        "SELECT b.run, b.source FROM history_changes c JOIN history_batches b ON b.id = c.batch "
        "WHERE c.point = ? AND c.action <> 2 AND c.action IN (1, 3) "
        "AND (c.old_x IS NULL OR c.old_x <> c.new_x OR c.old_y <> c.new_y) ORDER BY c.id DESC LIMIT 1");
    s.bind(1, number);
    if (!s.step() || s.null(0) || s.text(1) != kComputedSource) return std::nullopt;
    return s.integer(0);
}

std::optional<std::string> StaleFinder::why(std::int64_t number) {
    if (const auto known = known_.find(number); known != known_.end()) return known->second;
    // A run that took a value from its own results (a ring of runs) is
    // not followed round again.
    if (!visiting_.insert(number).second) return std::nullopt;
    std::optional<std::string> because;
    if (const auto run = storing_run(number)) {
        for (const RunInput& input : inputs_of(db_, *run)) {
            const auto now = point_numbered(db_, input.point);
            if (moved(input, now) || (input.point != number && why(input.point))) {
                because = now ? now->name : input.name;
                break;
            }
        }
    }
    visiting_.erase(number);
    known_[number] = because;
    return because;
}

Read<std::vector<Stale>> stale_points(const Database& db) {
    return db.read([&] {
        std::vector<Stale> out;
        StaleFinder finder(db);
        // Only points some calculation placed can be stale.
        std::vector<std::int64_t> candidates;
        Statement s = db.prepare(
            "SELECT DISTINCT c.point FROM history_changes c JOIN history_batches b ON b.id = c.batch "
            "WHERE c.action <> 2 AND c.action IN (1, 3) AND b.source = ? ORDER BY c.point");
        s.bind(1, kComputedSource);
        while (s.step()) candidates.push_back(s.integer(0));
        for (const std::int64_t number : candidates) {
            const auto point = point_numbered(db, number);
            if (!point) continue;
            if (auto because = finder.why(number)) out.push_back({*point, *because});
        }
        return out;
    });
}

Read<std::set<std::int64_t>> stale_among(const Database& db, const std::vector<Point>& points) {
    return db.read([&] {
        std::set<std::int64_t> out;
        StaleFinder finder(db);
        for (const Point& p : points)
            if (finder.why(p.number)) out.insert(p.number);
        return out;
    });
}

}  // namespace marula::job
