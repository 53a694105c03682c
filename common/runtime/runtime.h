// The screen runtime every Marula program stands on: an 80 x 24 text plane
// over a 640 x 432 graphics plane, line input on the prompt row, function
// keys and double-clicks, WAIT and BEEP, the printer, screen hard copies,
// bitmaps and the start of a sibling program.
//
// Programs call these operations in the order they draw; everything that
// reaches the outside world (window, files, printer, other programs) goes
// through here.
#pragma once

#include <array>
#include <deque>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backend.h"
#include "bitmap.h"
#include "base/format.h"
#include "glyphs.h"
#include "graphics_plane.h"
#include "journal_sink.h"
#include "printer.h"
#include "screen_geometry.h"

namespace marula {

class WholeFile;
struct PdfWriters;

// One cell of the text plane. A full-width character occupies two cells:
// the first holds the character, the second is marked as its continuation.
struct Cell {
    char32_t ch = 0;  // the character; 0 for a blank
    std::uint8_t color = 0;
    std::uint8_t style = 0;
    bool continuation = false;
};

// An event a handler is bound to, as handed back by wait_event().
struct Event {
    enum class Type { Key, DoubleClick, Typing };
    Type type = Type::Key;
    int key = 0;  // 1..10 for F1..F10
};

// Switch state of a bound key or of the double-click (KEY(n) ON/OFF/STOP).
enum class Trap { Off, On, Stop };

class Runtime {
public:
    // Builds a runtime over a backend. `program` is the deliverable name
    // (for the event log and RUN of itself). Fails with a message when the
    // screen font cannot be opened.
    static std::optional<std::string> create(std::string program, std::unique_ptr<Backend> backend,
                                             std::unique_ptr<Runtime>& out);
    ~Runtime();

    const std::string& program() const { return program_; }

    // ---- text plane ---------------------------------------------------
    // COLOR f [, , , style]: text colour 0-15 and style 0, 1, 4 or 5.
    void color(int foreground, int style = 0);
    // CLS 0 clears text and graphics, 4 the text, 5 the graphics.
    void cls(int mode);
    // CONSOLE first, count: rows first..first+count-1 scroll on line feeds.
    void console(int first_row, int count);
    // LOCATE column, row.
    void locate(int column, int row);
    int cursor_column() const { return cursor_col_; }
    int cursor_row() const { return cursor_row_; }
    // PRINT text; : text at the cursor, the cursor stays on the line.
    void print(std::string_view text);
    // PRINT text (no ';'): text then a line feed.
    void print_line(std::string_view text = {});
    // PRINT USING format; values ; (stays on the line).
    void print_using(std::string_view format, std::initializer_list<UsingArg> args);
    // The cell at (column, row), for dumps and tests.
    const Cell& cell(int column, int row) const { return text_[row][column]; }

    // ---- graphics plane -----------------------------------------------
    // Coordinates are world coordinates of the current WINDOW, drawn in the
    // current VIEW and clipped to it. With no WINDOW set they are pixels.
    void line(double x1, double y1, double x2, double y2, int color);
    void dashed_line(double x1, double y1, double x2, double y2, int color);  // style 2
    void box(double x1, double y1, double x2, double y2, int color);          // B
    void fill_box(double x1, double y1, double x2, double y2, int color);     // BF
    // CIRCLE: the radius is in world units of the vertical axis (pixels when
    // no WINDOW is set); filled draws a disc.
    void circle(double x, double y, double radius, int color, bool filled = false);
    // PAINT (x, y), fill, border: fills the area holding the point up to
    // pixels of the border colour.
    void paint(double x, double y, int fill, int border);
    // WINDOW (x1,y1)-(x2,y2): world (x1,y1) at the viewport's top left,
    // (x2,y2) at its bottom right.
    void window(double x1, double y1, double x2, double y2);
    // VIEW (x1,y1)-(x2,y2) in screen pixels.
    void view(int x1, int y1, int x2, int y2);
    // MAP(v, axis): world value v of axis 0 (x) or 1 (y) in viewport pixels.
    double map(double value, int axis) const;
    std::uint8_t pixel(int x, int y) const { return pixels_.at(x, y); }

    // The screen as shown: graphics with the text's glyph pixels over it,
    // as 640 x 432 palette indices (valid until the next compose).
    const std::vector<std::uint8_t>& compose();
    // The same for the 18 pixel rows of one text row, into `out` (640 x 18).
    void compose_band(int row, std::uint8_t* out) const;

    // ---- line input ---------------------------------------------------
    // INPUT "prompt"; text: prints the prompt at the cursor in the current
    // colour, reads a line with echo, then a line feed. Empty is allowed.
    std::string input_text(std::string_view prompt);
    // INPUT "prompt"; number: refuses text that is not a finite number (and
    // an empty answer unless `preset` is given, which it then returns),
    // asking again in the same place.
    double input_number(std::string_view prompt, std::optional<double> preset = std::nullopt);
    // A short message on the prompt row (row 23) in colour 10, held for a
    // moment; used for refusals and for the runtime's own troubles.
    void notice(std::string_view message);
    // A notice that may be longer than the row (a path, a message of the
    // job): logged whole in script mode's events.log ("notice …") and shown
    // cut to the prompt row, never wrapping into a scroll.
    void say(std::string_view message);
    // A notice that names a file (a sheet filed, a file written): logged
    // whole like say(), then shown cut to the prompt row from the next
    // wait for a key or a line, where it stands (over the key bar) until
    // the next key. That key, or typing, then acts as it would have
    // without the notice. A later one takes the place of one not yet shown.
    void say_until_key(std::string_view message);

    // ---- events -------------------------------------------------------
    // KEY(n) ON/OFF/STOP for F1..F10 (F9 and F10 have no place on any bar:
    // a program binds them for actions it names only in its guide);
    // MOUSE(8) ON/OFF for the double-click.
    void key_trap(int n, Trap state);
    void all_keys(Trap state);
    void mouse_trap(Trap state);
    // Waits for the next event whose trap is on (events of stopped traps
    // are kept until switched on; those of switched-off traps are dropped,
    // but for a function key pressed while a page or hard copy was saved,
    // filed and sent: it comes first here, when its trap is on by then)
    // for at most `timeout_units` × 10 ms, or for ever when negative.
    // Returns nothing on a timeout. In script mode time does not pass: the
    // next scripted event is taken at once; when the script is exhausted,
    // the final dump is written and the program exits.
    std::optional<Event> wait_event(int timeout_units = -1);
    // The same, except that typing also ends the wait: a typed character
    // (or a scripted line) returns an event of type Typing and is kept, in
    // order, for the next line entry, which then starts with it. For a
    // screen that takes a typed line as well as its keys.
    std::optional<Event> wait_event_or_typing(int timeout_units = -1);
    // MOUSE(0), MOUSE(1): pointer position at the last double-click.
    int mouse_x() const { return mouse_x_; }
    int mouse_y() const { return mouse_y_; }
    // INKEY$: a pending key ("F1".."F8", "\r", ...) or empty.
    std::string inkey();

    // ---- time and sound -----------------------------------------------
    // WAIT n: n × 10 ms (none in script mode). Typing meanwhile is kept, in
    // order, for the next line entry; function keys go to their traps.
    void wait(int units);
    void beep();
    std::string date() const;  // DATE$: "YYYY/MM/DD" (MARULA_DATE in tests)

    // ---- printer ------------------------------------------------------
    void printer_reset();                                 // LPRINT TYPE "DC"; WIDTH LPRINT 0
    void printer_mode(int paper, int orientation);        // LPRINTSETUPPRINTERMODE
    void printer_font(int size);                          // LPRINTSETFONT "", size
    void printer_pitch(int char_pitch, int line_pitch);   // LPRINTSETPITCH
    void lprint(std::string_view text, bool end_line = true);
    void lprint_using(std::string_view format, std::initializer_list<UsingArg> args, bool end_line = true);
    // LPRINT CHR$(12): the page is saved as print-N.pdf/.txt in the print
    // folder and sent to the default printer when there is one. Troubles
    // become a notice on the prompt row; the program carries on.
    void form_feed();
    // Screen print: hardcopy-N.png and .pdf, sent like a report page.
    void hardcopy();
    // From now on every page and screen print is also filed in the folder
    // `name` inside the folder open as `folder_fd` (a job's reports/, the
    // job's folder held open since the start) as
    // <program>-<YYYYMMDD>-<NNN>.pdf with its transcript (.txt) or picture
    // (.png) beside it, NNN the first number whose files do not exist yet
    // (nothing is ever overwritten); the notice on the prompt row names the
    // file. `name` is made when missing; one that is a link or no folder
    // is not filed in (the notice says so, and the sheet is printed all the
    // same). The runtime owns `folder_fd` from now on (-1: the folder could
    // not be opened, and every filing says so). In a window the filed copy
    // is the only one; script mode keeps print-N.* in the print folder too.
    void file_sheets_in(int folder_fd, std::string name);
    // A line every report carries under its title (the job it was printed
    // in); empty for none.
    void set_sheet_line(std::string line) { sheet_line_ = std::move(line); }
    const std::string& sheet_line() const { return sheet_line_; }

    // ---- bitmaps ------------------------------------------------------
    // Loads a .bmp (looked up in the current folder, then beside the
    // executable, then in ../share/marula beside it), draws it with its top
    // left at (x, y) in the nearest palette colours, and keeps it for the
    // next time. A missing or unreadable file draws nothing and is logged.
    void draw_bitmap(std::string_view file_name, int x, int y);

    // ---- programs -----------------------------------------------------
    // RUN "name": starts the sibling executable `name` (lower-cased,
    // ".exe" stripped) from the folder of the running one, ending this
    // program. Returns only when that fails, after a notice on the prompt row.
    void run(std::string_view name);
    // The program RUN starts for the menu (an ending of "menu", and where
    // Escape leaves an entry for); start-up sets it.
    void set_menu_program(std::string name) { menu_program_ = std::move(name); }
    const std::string& menu_program() const { return menu_program_; }
    // Called once right before RUN hands the process to another program,
    // after the run's journal has ended (start-up closes the job there).
    void set_before_run(std::function<void()> hook) { before_run_ = std::move(hook); }
    // END: logs "end", shows the last frame (in script mode also written as
    // final.txt/.color/.png) and exits with status 0.
    [[noreturn]] void end();

    // ---- journal and replay --------------------------------------------
    // The sink that keeps this run's input (none: nothing is kept, and
    // nothing else changes). Every input event the program takes passes
    // one place, which records it in script syntax: a function key or a
    // double-click as it comes, typing for a line entry as the line it
    // makes once Enter ends it (`type …`). The ending is recorded by END,
    // RUN, the window's closing (or an exhausted script) and leave_entry().
    void set_journal(std::unique_ptr<JournalSink> sink);
    bool journaling() const { return journal_ != nullptr; }
    // A notice shown on the prompt row before the next entry or wait (the
    // journal's troubles at start-up).
    void notice_before_input(std::string message);
    // This answer was taken as `typed`: call it right after an entry whose
    // empty answer took a value the job offered (a stored coordinate, an
    // azimuth from coordinates), with that value written as it would be
    // typed. The journal then holds the value as if typed, so a replay
    // never depends on what the job holds later. Without a journal, or
    // when the last event recorded was no line, it does nothing.
    void answer_taken_as(std::string_view typed);
    // For an offer taken later than its empty answer (an azimuth worked out
    // once a station has its coordinates): answer_mark() right after the
    // empty answer, then answer_taken_as(typed, mark) when it is taken.
    // A mark is -1 when there is nothing to amend.
    long answer_mark() const { return journal_ && journal_last_typed_ ? journal_count_ - 1 : -1; }
    void answer_taken_as(std::string_view typed, long mark);
    // An answer the program gives itself in place of asking (a point of a
    // range of names typed earlier, and the coordinates it offers): kept
    // as a typed line, as if the question had been asked and this typed,
    // so a replay asks the question and finds the answer. Without a
    // journal it does nothing.
    void answer_supplied(std::string_view typed);
    // The typed line recorded last entered nothing (a range none of whose
    // points is stored, answered by a notice and the question again): it
    // is taken back, so a replay never meets it. Call it before any notice
    // or WAIT (typing kept meanwhile is recorded after it). Without a
    // journal, or when the last event recorded was no line, it does nothing.
    void answer_withdrawn();
    // The answer to a question the job itself caused (replace stored
    // points?), called right after the line entry that took it: kept in
    // the journal as a record of its own, not as an input event. Such a
    // question is not asked during a replay (check replaying()).
    void job_question_answered(std::string_view question, std::string_view answer);
    // Feeds these events ahead of the backend's, as if they came now (they
    // are journaled again, into this run). While they last, and until the
    // program asks for input after the last of them, replaying() is true
    // and nothing reaches the outside world: no page or hard copy is
    // printed or saved, no program is started, no beep sounds, no WAIT
    // waits. Code that writes to the job or asks a job question checks
    // replaying() and does neither.
    // A replayed typed line that comes where no line entry asks (the
    // program has changed since) stops the replay there, with a notice
    // naming it; the program carries on with the backend's input.
    // `notice_at_end`, when given, is shown once the last event is taken
    // (the replay of a record that stops short, at its damage). In a
    // window Escape stops a replay in progress, with a notice; other keys
    // pressed meanwhile are kept, in order, for when the replay is over.
    void start_replay(std::vector<InputEvent> events, std::string notice_at_end = {});
    bool replaying() const { return replaying_; }
    // Replayed events not yet taken: once none are left, the program is
    // where the replayed run was, and what it does next is live.
    bool replay_pending() const { return !replay_.empty(); }
    // A question answered by one key on the prompt row: Y (yes), N or Enter
    // (no); other keys are ignored, and keys typed before the question are
    // dropped. In script mode a typed line answers (`type Y`). Its answer
    // is not journaled. The prompt row is cleared afterwards.
    bool ask_yes_no(std::string_view question);
    // Escape at an entry asks `question` (ask_yes_no); Y ends the run as
    // left unfinished (RunEnding::escaped) and starts the launcher, N goes
    // back to the entry as it stood. Off (Escape does nothing) until set;
    // an empty question switches it off again. In a replay Escape does
    // nothing (a Y would have ended the run there).
    void set_escape_to_menu(std::string question) { escape_question_ = std::move(question); }

    // ---- script mode and logs -------------------------------------------
    // The print folder (MARULA_OUT, else the current folder).
    const std::filesystem::path& out_dir() const { return out_dir_; }
    // Appends a line to events.log in the print folder (script mode only).
    void log_event(std::string_view line);
    // Writes NAME.txt, NAME.color and NAME.png into the print folder.
    void snap(std::string_view name);
    // The text dump: 24 lines of the grid, trailing blanks trimmed.
    std::string text_dump() const;
    std::string color_dump() const;
    // Presents the current screen to the backend now.
    void present();

private:
    // The picture of a bitmap file, loaded on its first use; nothing (and a
    // logged error) when it cannot be had.
    const Picture* picture(std::string_view file_name);
    Runtime(std::string program, std::unique_ptr<Backend> backend, std::unique_ptr<GlyphFont> font);

    // Text plane helpers
    void put_char(const std::string& ch, int width);
    void line_feed();
    void scroll_console();
    void clear_row(int row);
    // Graphics helpers
    void set_pixel(int x, int y, int color);
    void plot_line_pixels(int x1, int y1, int x2, int y2, int color, bool dashed);
    int to_px(double x) const;
    int to_py(double y) const;
    // Input helpers
    std::string read_line(int column, int row);
    std::optional<InputEvent> next_input(std::optional<Clock::time_point> deadline);
    void queue_trap_event(const InputEvent& ev);
    // A function key held while a page was saved whose trap is on now
    // (those switched off meanwhile are dropped, as if pressed now).
    std::optional<Event> take_held_key();
    // A notice to stand until the next key (see say_until_key), not logged.
    void stand_until_key(std::string_view message);
    void show_standing_notice();
    void end_standing_notice();
    std::optional<Event> wait_for_event(int timeout_units, bool typing_ends);
    void handle_quit();
    void handle_snap_or_exhausted(const InputEvent& ev);
    // The journal's one place: records an event the program takes.
    void journal_input(const InputEvent& ev);
    void journal_line(const std::string& line);
    void journal_end(RunEnding ending, bool by_last_event);
    void show_journal_notice();
    [[noreturn]] void stop_dead();
    // Whether a replayed event fits where the program now is; when it does
    // not, the replay stops there with a notice naming it.
    bool replay_fits(const InputEvent& ev);
    // In a window: what was pressed while a replay runs. Escape stops the
    // replay (true); anything else is held for after it.
    bool replay_escaped();
    // The replay's last event is taken: its notice, if any.
    void replay_over();
    // Escape during an entry: asks whether to leave for the menu.
    void escape_entry();
    // A printed page or a hard copy: its companion (the transcript or the
    // picture, which needs no PDF) and its PDF, saved whole as STEM-N in
    // the print folder, filed in the job when sheets are filed, and sent.
public:
    // What writes one file of a printed page, whole (checked writes).
    using PageContent = std::function<std::optional<std::string>(WholeFile&)>;

private:
    struct SavedPage {
        const char* stem;           // "print", "hardcopy"
        const char* companion_ext;  // ".txt", ".png"
        std::string refusal;        // the notice's start when nothing could be saved
        bool logged_as_pdf;         // the event log names the PDF, else the companion
    };
    using PdfContent = std::function<std::optional<std::string>(const PdfWriters&, WholeFile&)>;
    void save_page(const SavedPage& kind, const PageContent& companion_content, const PdfContent& pdf_content);
    // Sends a saved PDF to the system printer (not in script mode).
    void send(const std::filesystem::path& pdf);

    std::string program_;
    std::string menu_program_;
    std::function<void()> before_run_;
    std::unique_ptr<Backend> backend_;
    std::unique_ptr<GlyphFont> font_;
    std::filesystem::path out_dir_;
    bool filing_ = false;         // see file_sheets_in
    int filing_folder_fd_ = -1;   // the folder the filing folder stands in
    std::string filing_name_;     // the filing folder's name in it
    std::string sheet_line_;                              // see set_sheet_line

    std::array<std::array<Cell, kColumns>, kRows> text_{};
    GraphicsPlane pixels_;
    int color_ = 0;
    int style_ = 0;
    int cursor_col_ = 0;
    int cursor_row_ = 0;
    int console_first_ = 0;
    int console_count_ = kRows;

    bool window_set_ = false;
    double wx1_ = 0, wy1_ = 0, wx2_ = 639, wy2_ = 431;
    int vx1_ = 0, vy1_ = 0, vx2_ = 639, vy2_ = 431;

    std::array<Trap, 11> key_traps_{};
    Trap mouse_trap_ = Trap::Off;
    std::vector<Event> pending_;  // trapped events waiting for their turn
    std::vector<std::string> inkey_;
    // Typing that came while a notice or a WAIT was showing, kept in order
    // for the next line entry.
    std::deque<InputEvent> typeahead_;
    // While a page or a hard copy is saved, filed and sent (its notices and
    // waits), function keys are held whatever their traps say: the action
    // has finished, and the key is meant for the bar that comes back.
    bool holding_keys_ = false;
    std::deque<int> held_keys_;  // F1..F8, in the order pressed
    // The notice that names a file: waiting to be shown, then the prompt
    // row it stands over until the next input event.
    std::optional<std::string> standing_notice_;
    std::optional<std::array<Cell, kColumns>> under_standing_notice_;
    int mouse_x_ = 0, mouse_y_ = 0;

    Printer printer_;
    // Line entry in progress (for the composed cursor and IME preedit)
    bool entering_ = false;
    int entry_col_ = 0, entry_row_ = 0;
    std::string preedit_;

    // The journal of this run (none without a job).
    std::unique_ptr<JournalSink> journal_;
    std::optional<std::string> journal_notice_;  // shown before the next input
    std::string journal_typing_;  // typing of a line entry not yet ended by Enter
    long journal_count_ = 0;      // events recorded
    bool journal_last_typed_ = false;  // the last event recorded was a typed line
    bool waiting_ = false;        // in WAIT: typing is kept for the next entry
    std::string escape_question_;  // asked at Escape during an entry; empty: Escape does nothing
    std::deque<InputEvent> replay_;
    std::string replay_end_notice_;  // see start_replay
    std::deque<InputEvent> held_;    // pressed in a window during a replay, for after it
    bool replaying_ = false;
    long replayed_ = 0;           // events of the replay taken so far
    long events_taken_ = 0;       // events the program has taken
    long stop_after_ = -1;        // script mode, tests: stop dead after this many

    std::vector<std::uint8_t> frame_;  // the last composed screen
    std::map<std::string, Picture, std::less<>> pictures_;  // bitmaps by file name, once loaded
};


}  // namespace marula
