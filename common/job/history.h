// The job's history: a batch for each write (an import, a calculation's
// store, a shell command, an edit), holding its time, program, source file
// and journal run once, and a change under it for each point, setting or
// parcel it changed, with the values before and after.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/database.h"
#include "job/point.h"

namespace marula::job {

// The sources of what was typed, and of what a calculation computed.
inline constexpr std::string_view kTypedSource = "入力";
inline constexpr std::string_view kComputedSource = "計算";

// Who changed the job and from where.
struct Origin {
    std::string program;  // "points", "marula-points", "linktrav", …
    std::string source;   // "入力", or the file read ("s01.sim")
    std::optional<std::int64_t> run = std::nullopt;  // the journal's run of a calculation
};

// What one change did.
enum class Action { add, import, replace, h_added, rename, remove, setting, lot_add, lot_replace, lot_delete };
// "add", "import", "replace", "h-added", "rename", "delete", "setting",
// "lot-add", "lot-replace", "lot-delete".
std::string_view action_name(Action action);

// One change, as read back.
struct Change {
    std::int64_t id = 0;
    std::string time;     // local time "YYYY-MM-DD HH:MM:SS"
    std::string program;
    std::string action;   // action_name(), or "action-N" for one a later version wrote
    std::string name;     // the point's name (for a rename, the new one), a setting's key or a parcel's name
    std::optional<Point> before, after;                  // a point's values
    std::optional<std::string> before_text, after_text;  // a setting's or a parcel's
    std::string source;   // "FILE:LINE", the file, or "入力"
    std::optional<std::int64_t> run;
};

// The changes of one write, inside its transaction: the batch row is
// written with the first change, so a write that changes nothing leaves no
// trace.
class HistoryWriter {
public:
    HistoryWriter(Database& db, const Origin& origin) : db_(db), origin_(origin) {}
    // A point added, imported, replaced, given its height, renamed or deleted.
    void point(Action action, const std::optional<Point>& before, const std::optional<Point>& after, int line = 0);
    // Many points imported at once: one change a row of `rows`, a query
    // giving (number, line, name, x, y, h) in the order the changes are to
    // be kept; what point(Action::import, nullopt, the point, line) writes
    // for each, in one statement.
    void imported(std::string_view rows);
    // A setting or a parcel, by its key or name, with its values as text.
    void keyed(Action action, std::string_view key, const std::optional<std::string>& before,
               const std::optional<std::string>& after);
    std::optional<std::int64_t> batch() const { return batch_; }

private:
    std::int64_t batch_id();
    Database& db_;
    const Origin& origin_;
    std::optional<std::int64_t> batch_;
};

// The history, oldest first (the `limit` newest changes when limit ≥ 0).
Read<std::vector<Change>> read_history(const Database& db, int limit = -1);

}  // namespace marula::job
