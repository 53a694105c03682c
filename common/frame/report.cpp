#include "report.h"

#include <string>


namespace marula {

void report_font(Runtime& rt, int size, int char_pitch, int line_pitch) {
    rt.printer_font(size);
    rt.printer_pitch(char_pitch, line_pitch);
}

void begin_report(Runtime& rt, const ReportLayout& layout) {
    if (layout.paper != Paper::as_set) rt.printer_mode(9, static_cast<int>(layout.paper));
    for (int i = 0; i < layout.empty_before_title; ++i) rt.lprint("");
    report_font(rt, 300, 180, 240);
    if (layout.empty_after_title_font) rt.lprint("");
    // Title, by-line and date make one printed line: the first two end
    // without a line end, the date ends it.
    rt.lprint(layout.title, false);
    report_font(rt, 160, layout.by_line_pitch.character, layout.by_line_pitch.line);
    rt.lprint(layout.by_line, false);
    rt.lprint(rt.date());
    // In a job, the line under the title names it (in the by-line's size),
    // in place of the first empty line so the body stays where it was.
    const std::string& job_line = rt.sheet_line();
    for (int i = 0; i < layout.empty_after_title; ++i) rt.lprint(i == 0 && !job_line.empty() ? "    " + job_line : "");
    report_font(rt, 200, layout.body_pitch.character, layout.body_pitch.line);
    if (layout.empty_after_body_font) rt.lprint("");
}

void end_report(Runtime& rt) { rt.form_feed(); }

}  // namespace marula
