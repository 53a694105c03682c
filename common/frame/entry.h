// Entries on the prompt line (row 23) and their echo into the table.
//
// Every question stands on row 23 at the column the program gives (5 for
// most, 2 or 0 for some) in colour 0, style 4. The row is blanked before
// the question and again after a numeric answer, so a shorter prompt never
// shows the tail of a longer one. A program reads and echoes like this:
//
//     std::string back = ask_text(rt, 5, "後視点名は  ");
//     echo_name(rt, 12, 3, back, 0);
//     AngleEntry start = ask_angle_entry(rt, 2, kStartPrompt, AngleKind::azimuth,
//                                        kNudge7, kNudge7);
//     echo_dms(rt, 40, 3, start, 5, kStylePlain);
//     double x0 = ask_coordinate_entry(rt, 5, "既知点Ｘ座標は ");
//     echo_number(rt, 53, 3, "########.###", x0, 5, kStylePlain);
//
// Numbers are read only through bounded_entry.h, which holds each kind of
// number to its bounds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/runtime.h"
#include "screen.h"
#include "survey/survey.h"

namespace marula {

// Prompts are cut where they would leave fewer than twelve columns for the
// answer (a prompt that carries a long typed name).
//
// A text answer (a point name). Empty answers are allowed.
std::string ask_text(Runtime& rt, int column, std::string_view prompt);

// A text answer that replaces `text`; an empty answer keeps what was there
// (a name under correction stays as it stood).
void ask_text_keeping(Runtime& rt, int column, std::string_view prompt, std::string& text);

// A packed angle DDD.MMSS as typed and what it became.
struct AngleEntry {
    double packed = 0;    // as typed
    double degrees = 0;   // decimal degrees with the nudges, for the calculation
    int d = 0, m = 0, s = 0;  // the split shown in the table as the echo
};

// AngleKind (survey/survey.h): azimuths read a negative entry as the
// negative of the packed value turned into [0, 360) (−20.2512 is
// 339°34′48″); included angles do not.

// Converts a packed value with the survey library's reading. Returns
// nothing when its minutes or seconds are 60 or more.
std::optional<AngleEntry> read_angle(double packed, AngleKind kind, double nudge_in, double nudge_out);

// The refusal shown for minutes or seconds of 60 or more.
inline constexpr std::string_view kAngleRefusal = "分・秒は60未満で入力して下さい。";

// Echoes. Each prints at (column, row) with the colour and style given,
// then restores colour 0, style 4.
// A name in the six-character field "&    &".
void echo_name(Runtime& rt, int column, int row, std::string_view name, int color,
               int style = kStyleNormal, std::string_view field = "&    &");
// A number with a PRINT USING format ("########.###", "####.###", "##" …).
void echo_number(Runtime& rt, int column, int row, std::string_view format, double value,
                 int color, int style = kStyleNormal);
// An angle as three fields: degrees with `degree_format` ("####" or
// "###") at `column`, "-", minutes "##", "-", seconds "##", each field
// right after the previous one (columns c, c+w, c+w+1, c+w+3, c+w+4 for a
// degree field w wide).
void echo_dms(Runtime& rt, int column, int row, int d, int m, int s, int color,
              int style = kStyleNormal, std::string_view degree_format = "####");
inline void echo_dms(Runtime& rt, int column, int row, const AngleEntry& a, int color,
                     int style = kStyleNormal, std::string_view degree_format = "####") {
    echo_dms(rt, column, row, a.d, a.m, a.s, color, style, degree_format);
}

}  // namespace marula
