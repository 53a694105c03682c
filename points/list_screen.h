// What the point list's screens share: the table's rows and columns, its
// key bars, and the lines, questions and notices drawn in the table's
// place. Each of the list's other screens (import, export, the journal,
// the change of job, the job's own screen) is a function that draws in the
// table's place and returns to the list, which then draws its page again.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "frame/key_bar.h"
#include "job/job.h"
#include "runtime/runtime.h"
#include "session/session.h"

namespace marula::points {

inline constexpr std::string_view kProgram = "points";

// The table: nineteen points on rows 3-21, the status on row 22.
inline constexpr int kFirstRow = 3;
inline constexpr int kPageRows = 19;
inline constexpr int kStatusRow = 22;
inline constexpr int kEntryColor = 0;
inline constexpr int kPointNumberColor = 1;  // the point's number in its row
inline constexpr int kMessageColor = 1;
inline constexpr int kChangedColor = 12;

// The columns of a point's row.
inline constexpr int kNumberColumn = 0;  // "######"
inline constexpr int kNameColumn = 7;    // 20 columns, as a name's 20 CP932 bytes
inline constexpr int kXColumn = 28;      // "#########.###"
inline constexpr int kYColumn = 42;
inline constexpr int kHColumn = 56;
inline constexpr int kStaleColumn = 71;  // 要: ＊ for a point to redo
inline constexpr std::string_view kNameField = "&                  &";
inline constexpr std::string_view kCoordinateField = "#########.###";

// Waits for a key the bar binds, flashes its box and switches the keys off.
int wait_bar_key(Runtime& rt, const BarLabels& labels);

// A text cut into rows of the screen's width, a row (or more) for each of
// its lines, control characters shown as blanks; the rows after the first
// start with `indent` blanks.
std::vector<std::string> wrapped(std::string_view text, int indent);
// A menu answer "1", "2" … (full-width digits too); nothing for anything else.
std::optional<int> choice_of(std::string_view answer, int last);
// A coordinate in the table's field.
std::string metres(job::Millimetres mm);

// Blanks the table's rows and the status row.
void clear_table(Runtime& rt);
// A screen of lines in the table's place, for lists and previews.
void show_lines(Runtime& rt, const std::vector<std::string>& lines, int first_row = kFirstRow);
// Waits for Enter under a message.
void pause(Runtime& rt, std::string_view message);
// A Y/N question on the prompt row answered with a line.
bool confirm(Runtime& rt, std::string_view question);

// ---- the list's other screens ------------------------------------------
// Each returns the line for the list's status row (empty for none).

// F7 → F1: a SIMA or CSV file read into the job.
std::string import_points(Runtime& rt, Session& session);
// F7 → F2: the job's points written as a SIMA or CSV file.
std::string export_points(Runtime& rt, Session& session);
// F7 → F4: the journal's runs; the one chosen starts its program replayed.
std::string reopen_run(Runtime& rt, Session& session);
// F7 → F3: the jobs to change to, and a new one. True when the session
// holds another job afterwards.
bool change_job(Runtime& rt, Session& session);
// F7 → F6: the job's own screen.
std::string show_job_info(Runtime& rt, Session& session);

}  // namespace marula::points
