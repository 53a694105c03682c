// The sheet of an adjusted traverse (connecting and closed): the table's
// heading, columns and cells, the summary line under the table and the
// report's heading, station and leg lines and precision lines. Which value
// goes into which row, and when, is the program's.
#pragma once

#include <string>
#include <string_view>

#include "frame/calculation.h"
#include "frame/entry.h"
#include "frame/job_settings.h"
#include "frame/report.h"
#include "frame/screen.h"
#include "runtime/runtime.h"
#include "survey/tolerance.h"
#include "traverse/adjustment.h"

namespace marula {

// Text columns of a table row: the row number, the angle station's name,
// the direction point's name, the angle, the distance, the azimuth, X, Y.
// Table row i stands on text row 3 + i.
inline constexpr int kSheetNumberCol = 1, kSheetFromCol = 5, kSheetToCol = 12, kSheetAngleCol = 18,
                     kSheetDistanceCol = 31, kSheetAzimuthCol = 40, kSheetXCol = 53, kSheetYCol = 65;
inline constexpr int kSheetFirstRow = 3;

// The printed page of both adjusted traverses: A4 landscape, by-line and
// body in the wide line pitch, the body straight under the title.
inline constexpr ReportLayout kAdjustedTraverseReport{
    .paper = Paper::a4_landscape,
    .title = "                            多角測量座標計算書",
    .by_line = "                                By MARULA ",
    .by_line_pitch = {111, 360},
    .body_pitch = {111, 360},
    .empty_after_title = 1,
    .empty_after_body_font = false,
};
inline constexpr std::string_view kSheetCoordinate = "########.###";
inline constexpr std::string_view kSheetDistance = "####.###";

// Colours of the sheet: values given by the surveyor (the starting azimuth,
// the known stations' coordinates), values entered or computed, and a
// given station's name once it has been corrected.
inline constexpr int kGiven = 5;
inline constexpr int kEntered = 0;
inline constexpr int kGivenNameColor = 4;

// The cells of the table's rows, each in the colour and style given.
class SheetCells {
public:
    explicit SheetCells(Runtime& rt) : rt_(rt) {}
    // The row number "##" in the row-number colour.
    void row_number(int row) const;
    // A name at the angle station's or the direction point's column.
    void name(int row, int column, const std::string& name, int color) const;
    // The included angle as typed.
    void angle(int row, const AngleEntry& angle, int color) const;
    // An azimuth as typed (the given ones), or one computed in degrees.
    void typed_azimuth(int row, const AngleEntry& azimuth, int color, int style = kStyleNormal) const;
    void azimuth(int row, double degrees, int color, int style = kStyleNormal) const;
    void distance(int row, double metres, int color, int style = kStyleNormal) const;
    // X or Y by its column.
    void coordinate(int row, int column, double value, int color, int style = kStyleNormal) const;

private:
    static int text_row(int row) { return kSheetFirstRow + row; }
    Runtime& rt_;
};

// Asks the starting station's name, X and Y on the prompt row (a point the
// job holds offers its stored X and Y, see ask_known_point), each shown
// in table row 0 as it comes (row number 1 with the name).
NamedPoint ask_known_station(Calculation& calc, const SheetCells& sheet);

// Column numbers and headings of the table.
extern const Heading kAdjustedHeading;

// What the summary line and the report's closing lines show.
struct AdjustmentSummary {
    double precision = 0;           // N of the ratio 1 : N
    double linear = 0;              // linear misclosure, metres; 0 when none
    float total = 0;                // distance total, metres
    double misclosure_seconds = 0;  // W, given (or theoretical) minus measured
    float fx_mm = 0, fy_mm = 0;     // coordinate misclosures, computed minus given
};

// The ratio in its seven-digit field. With no linear misclosure the ratio
// is unbounded: "∞" stands in its place rather than a number that
// overflows the field.
std::string precision_text(const AdjustmentSummary& s);

// Row 21: "  精度１：…  距離計…  角誤差…秒 Ｘ誤差…  Ｙ誤差…  " in colour 8 and
// `style`, with the angular misclosure shown computed minus given, then
// the yellow shadowed box round it.
void show_adjustment_summary(Runtime& rt, const AdjustmentSummary& s, int style);

// The report's column heading and the rule under it.
void report_adjusted_heading(Runtime& rt);

// The report's two lines for station 0: its name, the backsight's and the
// starting azimuth as typed, then its coordinates.
void report_adjusted_start(Runtime& rt, const std::string& station, const std::string& backsight,
                           const AngleEntry& start, double x, double y);

// One adjusted leg as the report prints it, on two lines: the angle as
// typed with its correction, the adjusted azimuth, the distance and the
// direction cosines, then the differences, the compass corrections (mm)
// and the station it reaches.
struct ReportedLeg {
    const std::string& from;
    const std::string& to;
    const AngleEntry& angle;
    double correction_seconds = 0;
    double azimuth = 0;  // adjusted, degrees
    double distance = 0;
    const AdjustedLeg& leg;
    double x = 0, y = 0;  // the station it reaches
};
void report_adjusted_leg(Runtime& rt, const ReportedLeg& row);

// Two empty lines, then the precision (font 260) continued in the body
// size by the distance total and the linear misclosure. The angle line
// that follows is the program's.
void report_adjusted_precision(Runtime& rt, const AdjustmentSummary& s);

// The angle line's format and values (−W, fX and fY in metres); a program
// that reports more appends its own fields to the format.
inline constexpr std::string_view kReportMisclosureLine =
    "                                    角の閉合差####秒　　Ｘ座標の閉合差 ####.###　Ｙ座標の閉合差 ####.###";

// The position closure judged under the job's public-survey class: N legs
// over the distance total (as km) against the linear misclosure. Nothing
// under no class or a cadastral one (traverses get no cadastral verdict).
std::optional<ClosureVerdict> closure_verdict(const CalculationSettings& settings, TraverseShape shape, int legs,
                                              const AdjustmentSummary& summary);
// The verdict line on the prompt row, after each computation.
void say_verdict(Runtime& rt, const std::optional<ClosureVerdict>& verdict);
// The verdict line on the sheet, under the misclosure line.
void report_verdict(Runtime& rt, const std::optional<ClosureVerdict>& verdict);

}  // namespace marula
