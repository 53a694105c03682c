// The printer: lines with font sizes and pitches become A4 PDF pages with
// an embedded Japanese fixed-pitch font, plus a plain transcript.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marula {

// A piece of a printed line set in one font size and pitch.
struct PrintRun {
    std::string text;     // UTF-8
    int font_size = 200;  // the program's size number (300 title, 160 by-line, 200 body, 260 summary)
    int char_pitch = 0;   // the program's pitch pair; 0 means "not set"
    int line_pitch = 0;
};

struct PrintedLine {
    std::vector<PrintRun> runs;  // empty: an empty line
};

struct PrintedPage {
    bool landscape = false;
    std::vector<PrintedLine> lines;
};

// Collects LPRINT output. The runtime owns one.
class Printer {
public:
    void set_paper(int paper, int orientation);  // 9 = A4; 1 portrait, 2 landscape
    void set_font(int size);
    void set_pitch(int char_pitch, int line_pitch);
    // Appends text to the current line; end_line ends it (LPRINT without ';').
    void print(std::string_view text, bool end_line);
    // CHR$(12): ends the page and hands it over; nothing is kept.
    PrintedPage eject();
    bool page_is_empty() const;

private:
    bool landscape_ = false;
    int font_size_ = 200;
    int char_pitch_ = 0;
    int line_pitch_ = 0;
    PrintedPage page_;
    PrintedLine current_;
    bool line_open_ = false;
};

// The transcript: each printed line as UTF-8 (runs joined) on its own line,
// then a line holding only "\f" for the form feed.
std::string page_transcript(const PrintedPage& page);
std::optional<std::string> write_page_text(const PrintedPage& page, const std::filesystem::path& file);

// A screen picture (640 x 432 palette indices, see kPalette) as PNG. The
// pixels come a row at a time: `row(y)` gives the 640 indices of row y,
// asked for in order from the top.
std::string screen_png(const std::function<const std::uint8_t*(int y)>& row);
std::optional<std::string> write_screen_png(const std::function<const std::uint8_t*(int y)>& row,
                                            const std::filesystem::path& file);
std::optional<std::string> write_screen_png(const std::uint8_t* indices, const std::filesystem::path& file);

// The printer commands, from their system location (never looked up on
// PATH), and how long each may take before it is given up.
struct PrinterCommands {
    std::string lpstat = "/usr/bin/lpstat";
    std::string lp = "/usr/bin/lp";
    std::chrono::milliseconds query_limit{3000};
    std::chrono::milliseconds send_limit{10000};
};

// Sends a file to the default CUPS printer when one exists (`lpstat -d`),
// with `lp`, each under its time limit; `meanwhile` is called every few
// hundredths of a second while they run (the window stays responsive).
// Returns a message when nothing was sent because there is no printer or
// lp failed; nothing when it was sent.
std::optional<std::string> send_to_printer(const std::filesystem::path& file, const std::function<void()>& meanwhile = {},
                                           const PrinterCommands& commands = {});

}  // namespace marula
