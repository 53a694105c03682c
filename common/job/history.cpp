#include "job/history.h"

#include <array>

#include "base/printable.h"

namespace marula::job {

namespace {

// The codes kept in history_changes.action: one byte a change instead of
// the name. Never renumbered; a later version only adds codes.
constexpr std::array<Action, 10> kActions = {Action::add,     Action::import,  Action::replace,     Action::h_added,
                                             Action::rename,  Action::remove,  Action::setting,     Action::lot_add,
                                             Action::lot_replace, Action::lot_delete};

std::int64_t code_of(Action action) {
    for (std::size_t i = 0; i < kActions.size(); ++i)
        if (kActions[i] == action) return std::int64_t(i) + 1;
    return 0;
}

std::string name_of_code(std::int64_t code) {
    if (code >= 1 && code <= std::int64_t(kActions.size())) return std::string(action_name(kActions[code - 1]));
    return "action-" + std::to_string(code);
}

}  // namespace

std::string_view action_name(Action action) {
    switch (action) {
    case Action::add: return "add";
    case Action::import: return "import";
    case Action::replace: return "replace";
    case Action::h_added: return "h-added";
    case Action::rename: return "rename";
    case Action::remove: return "delete";
    case Action::setting: return "setting";
    case Action::lot_add: return "lot-add";
    case Action::lot_replace: return "lot-replace";
    case Action::lot_delete: return "lot-delete";
    }
    return "add";
}

std::int64_t HistoryWriter::batch_id() {
    if (!batch_) {
        Statement s = db_.cached("INSERT INTO history_batches (time, program, source, run) VALUES (?, ?, ?, ?)");
        // A file's name may hold a tab or a line break: the history keeps it
        // printable, so a change is always one line wherever it is shown.
        s.bind(1, local_time()).bind(2, printable(origin_.program));
        if (!origin_.source.empty()) s.bind(3, printable(origin_.source));
        s.bind(4, origin_.run);
        s.run();
        batch_ = db_.last_insert_rowid();
    }
    return *batch_;
}

void HistoryWriter::point(Action action, const std::optional<Point>& before, const std::optional<Point>& after,
                          int line) {
    const std::int64_t batch = batch_id();
    Statement s = db_.cached(
        "INSERT INTO history_changes (batch, action, point, line, name, old_name, old_x, old_y, old_h, new_x, "
        "new_y, new_h) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const Point& either = after ? *after : *before;
    s.bind(1, batch).bind(2, code_of(action)).bind(3, either.number).bind(5, either.name);
    if (line > 0) s.bind(4, std::int64_t{line});
    // The name before is kept only where it differs (a rename).
    if (before && after && before->name != after->name) s.bind(6, before->name);
    if (before) s.bind(7, before->x).bind(8, before->y).bind(9, before->h);
    if (after) s.bind(10, after->x).bind(11, after->y).bind(12, after->h);
    s.run();
}

void HistoryWriter::imported(std::string_view rows) {
    const std::int64_t batch = batch_id();
    // A line of 0 is no line, as point() leaves it NULL.
    const std::string sql =
        "INSERT INTO history_changes (batch, action, point, line, name, new_x, new_y, new_h) "
        "SELECT ?, ?, number, CASE WHEN line > 0 THEN line END, name, x, y, h FROM (" + std::string(rows) + ")";
    db_.prepare(sql).bind(1, batch).bind(2, code_of(Action::import)).run();
}

void HistoryWriter::keyed(Action action, std::string_view key, const std::optional<std::string>& before,
                          const std::optional<std::string>& after) {
    const std::int64_t batch = batch_id();
    Statement s = db_.cached(
        "INSERT INTO history_changes (batch, action, key, old_text, new_text) VALUES (?, ?, ?, ?, ?)");
    s.bind(1, batch).bind(2, code_of(action)).bind(3, key).bind(4, before).bind(5, after);
    s.run();
}

Read<std::vector<Change>> read_history(const Database& db, int limit) {
    return db.read([&] {
        std::vector<Change> out;
        Statement s = db.prepare(
            "SELECT * FROM (SELECT c.id, b.time, b.program, c.action, c.point, c.key, c.line, c.name, c.old_name, "
            "c.old_x, c.old_y, c.old_h, c.new_x, c.new_y, c.new_h, c.old_text, c.new_text, b.source, b.run "
            "FROM history_changes c JOIN history_batches b ON b.id = c.batch ORDER BY c.id DESC LIMIT ?) "
            "ORDER BY id");
        s.bind(1, std::int64_t{limit});
        while (s.step()) {
            Change c;
            c.id = s.integer(0);
            c.time = s.text(1);
            c.program = s.text(2);
            c.action = name_of_code(s.integer(3));
            if (!s.null(5)) {
                c.name = s.text(5);
                c.before_text = s.maybe_text(15);
                c.after_text = s.maybe_text(16);
            } else {
                c.name = s.text(7);
                const std::int64_t number = s.maybe(4).value_or(0);
                if (!s.null(9)) c.before = Point{number, s.maybe_text(8).value_or(c.name), s.integer(9), s.integer(10), s.maybe(11)};
                if (!s.null(12)) c.after = Point{number, c.name, s.integer(12), s.integer(13), s.maybe(14)};
            }
            const std::string source = s.maybe_text(17).value_or("入力");
            c.source = s.null(6) ? source : source + ":" + std::to_string(s.integer(6));
            c.run = s.maybe(18);
            out.push_back(std::move(c));
        }
        return out;
    });
}

}  // namespace marula::job
