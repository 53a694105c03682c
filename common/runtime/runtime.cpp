#include "runtime.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "bitmap.h"
#include "files.h"
#include "pdf_writer.h"

namespace marula {

namespace {

constexpr int kBackground = 15;
constexpr int kPromptRow = 23;

int clamp_color(int c) { return (c >= 0 && c < 16) ? c : 0; }

// Pixel coordinates far outside the screen are pulled in to a range where
// integer arithmetic is safe; clipping then discards what lies outside.
constexpr double kFar = 1.0e6;
double tame(double v) {
    if (std::isnan(v)) return -kFar;
    return std::clamp(v, -kFar, kFar);
}

std::string getenv_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

// What INKEY$ returns for a key that is not a function key.
const char* inkey_text(Key key) {
    return key == Key::Enter ? "\r" : key == Key::Escape ? "\x1b" : "\b";
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

std::optional<std::string> Runtime::create(std::string program, std::unique_ptr<Backend> backend,
                                           std::unique_ptr<Runtime>& out) {
    std::unique_ptr<GlyphFont> font;
    if (auto err = GlyphFont::open(font, default_glyph_cache())) return err;
    out.reset(new Runtime(std::move(program), std::move(backend), std::move(font)));
    return std::nullopt;
}

Runtime::Runtime(std::string program, std::unique_ptr<Backend> backend, std::unique_ptr<GlyphFont> font)
    : program_(std::move(program)),
      backend_(std::move(backend)),
      font_(std::move(font)),
      out_dir_(getenv_or("MARULA_OUT", ".")),
      pixels_(kBackground) {
    key_traps_.fill(Trap::Off);
}

Runtime::~Runtime() = default;

// ---------------------------------------------------------------------------
// Text plane

void Runtime::color(int foreground, int style) {
    color_ = clamp_color(foreground);
    style_ = style;
}

void Runtime::cls(int mode) {
    if (mode == 0 || mode == 4) {
        for (auto& row : text_) row.fill(Cell{});
        cursor_col_ = 0;
        cursor_row_ = console_first_;
    }
    if (mode == 0 || mode == 5) pixels_.clear();
}

void Runtime::console(int first_row, int count) {
    first_row = std::clamp(first_row, 0, kRows - 1);
    count = std::clamp(count, 1, kRows - first_row);
    console_first_ = first_row;
    console_count_ = count;
}

void Runtime::locate(int column, int row) {
    cursor_col_ = std::clamp(column, 0, kColumns - 1);
    cursor_row_ = std::clamp(row, 0, kRows - 1);
}

void Runtime::clear_row(int row) {
    for (auto& c : text_[row]) c = Cell{};
}

void Runtime::scroll_console() {
    int last = console_first_ + console_count_ - 1;
    for (int r = console_first_; r < last; ++r) text_[r] = text_[r + 1];
    clear_row(last);
}

void Runtime::line_feed() {
    cursor_col_ = 0;
    int last = console_first_ + console_count_ - 1;
    if (cursor_row_ == last) {
        scroll_console();
    } else if (cursor_row_ < last) {
        ++cursor_row_;
    }
    // A cursor below the scrolling rows stays on its row.
}

// Clears a half of a full-width character that a new character overlaps.
static void break_wide(std::array<Cell, kColumns>& row, int col) {
    if (col < 0 || col >= kColumns) return;
    if (row[col].continuation && col > 0) {
        row[col - 1] = Cell{};
        row[col] = Cell{};
    } else if (col + 1 < kColumns && row[col + 1].continuation) {
        row[col + 1] = Cell{};
    }
}

void Runtime::put_char(const std::string& ch, int width) {
    if (cursor_col_ + width > kColumns) line_feed();
    auto& row = text_[cursor_row_];
    for (int i = 0; i < width; ++i) break_wide(row, cursor_col_ + i);
    const auto color = std::uint8_t(color_), style = std::uint8_t(style_);
    row[cursor_col_] = Cell{ch == " " ? U'\0' : decode_char(ch), color, style, false};
    if (width == 2) row[cursor_col_ + 1] = Cell{0, color, style, true};
    cursor_col_ += width;
}

void Runtime::print(std::string_view text) {
    for (const std::string& ch : split_chars(text)) {
        char32_t cp = decode_char(ch);
        if (cp == U'\n') {
            line_feed();
            continue;
        }
        if (cp < 0x20 || cp == 0x7f) continue;  // other control characters show nothing
        if (cursor_col_ >= kColumns) line_feed();
        put_char(ch, char_width(cp));
    }
}

void Runtime::print_line(std::string_view text) {
    print(text);
    line_feed();
}

void Runtime::print_using(std::string_view format, std::initializer_list<UsingArg> args) {
    print(format_using(format, args));
}

std::string Runtime::text_dump() const {
    std::string out;
    for (int r = 0; r < kRows; ++r) {
        std::string line;
        for (int c = 0; c < kColumns; ++c) {
            const Cell& cell = text_[r][c];
            if (cell.continuation) {
                // The second half of a full-width character: shown with its first
                // half unless that is erased.
                if (c == 0 || text_[r][c - 1].ch == 0 || text_[r][c - 1].color == kBackground) line += ' ';
                continue;
            }
            if (cell.ch != 0 && cell.color != kBackground) {
                append_char(line, cell.ch);
            } else {
                line += ' ';
            }
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line;
        out += '\n';
    }
    return out;
}

std::string Runtime::color_dump() const {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const Cell* cell = &text_[r][c];
            if (cell->continuation && c > 0) cell = &text_[r][c - 1];
            bool shows = cell->ch != 0 && cell->color != kBackground;
            out += shows ? kHex[cell->color] : '.';
        }
        out += '\n';
    }
    return out;
}

// ---------------------------------------------------------------------------
// Graphics plane

void Runtime::set_pixel(int x, int y, int color) {
    if (x < vx1_ || x > vx2_ || y < vy1_ || y > vy2_) return;
    if (x < 0 || x >= kScreenWidth || y < 0 || y >= kScreenHeight) return;
    pixels_.set(x, y, std::uint8_t(clamp_color(color)));
}

void Runtime::window(double x1, double y1, double x2, double y2) {
    window_set_ = true;
    wx1_ = x1;
    wy1_ = y1;
    wx2_ = x2;
    wy2_ = y2;
}

void Runtime::view(int x1, int y1, int x2, int y2) {
    vx1_ = std::clamp(std::min(x1, x2), 0, kScreenWidth - 1);
    vx2_ = std::clamp(std::max(x1, x2), 0, kScreenWidth - 1);
    vy1_ = std::clamp(std::min(y1, y2), 0, kScreenHeight - 1);
    vy2_ = std::clamp(std::max(y1, y2), 0, kScreenHeight - 1);
}

double Runtime::map(double value, int axis) const {
    if (!window_set_) return value - (axis == 0 ? vx1_ : vy1_);
    if (axis == 0) {
        double span = wx2_ - wx1_;
        if (span == 0) return 0;
        return (value - wx1_) * (vx2_ - vx1_) / span;
    }
    double span = wy2_ - wy1_;
    if (span == 0) return 0;
    return (value - wy1_) * (vy2_ - vy1_) / span;
}

int Runtime::to_px(double x) const {
    double p = window_set_ ? vx1_ + map(x, 0) : x;
    return int(std::lround(tame(p)));
}

int Runtime::to_py(double y) const {
    double p = window_set_ ? vy1_ + map(y, 1) : y;
    return int(std::lround(tame(p)));
}

void Runtime::plot_line_pixels(int x1, int y1, int x2, int y2, int color, bool dashed) {
    // Clip to the viewport first (Liang-Barsky) so lines that run far off
    // the screen cost no more than what is visible.
    double t0 = 0, t1 = 1;
    double dx = double(x2) - x1, dy = double(y2) - y1;
    auto clip = [&](double p, double q) {
        if (p == 0) return q >= 0;
        double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            if (r > t0) t0 = r;
        } else {
            if (r < t0) return false;
            if (r < t1) t1 = r;
        }
        return true;
    };
    if (!clip(-dx, x1 - vx1_) || !clip(dx, vx2_ - x1) || !clip(-dy, y1 - vy1_) || !clip(dy, vy2_ - y1)) return;
    int ax = int(std::lround(x1 + t0 * dx)), ay = int(std::lround(y1 + t0 * dy));
    int bx = int(std::lround(x1 + t1 * dx)), by = int(std::lround(y1 + t1 * dy));
    int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    int ex = std::abs(bx - ax), ey = -std::abs(by - ay);
    int err = ex + ey;
    for (int step = 0;; ++step) {
        if (!dashed || (step / 4) % 2 == 0) set_pixel(ax, ay, color);
        if (ax == bx && ay == by) break;
        int e2 = 2 * err;
        if (e2 >= ey) {
            err += ey;
            ax += sx;
        }
        if (e2 <= ex) {
            err += ex;
            ay += sy;
        }
    }
}

void Runtime::line(double x1, double y1, double x2, double y2, int color) {
    plot_line_pixels(to_px(x1), to_py(y1), to_px(x2), to_py(y2), color, false);
}

void Runtime::dashed_line(double x1, double y1, double x2, double y2, int color) {
    plot_line_pixels(to_px(x1), to_py(y1), to_px(x2), to_py(y2), color, true);
}

void Runtime::box(double x1, double y1, double x2, double y2, int color) {
    line(x1, y1, x2, y1, color);
    line(x2, y1, x2, y2, color);
    line(x2, y2, x1, y2, color);
    line(x1, y2, x1, y1, color);
}

void Runtime::fill_box(double x1, double y1, double x2, double y2, int color) {
    int ax = to_px(x1), bx = to_px(x2), ay = to_py(y1), by = to_py(y2);
    if (ax > bx) std::swap(ax, bx);
    if (ay > by) std::swap(ay, by);
    ax = std::max(ax, vx1_);
    bx = std::min(bx, vx2_);
    ay = std::max(ay, vy1_);
    by = std::min(by, vy2_);
    if (ax > bx) return;
    for (int y = ay; y <= by; ++y) pixels_.fill_row(ax, bx, y, std::uint8_t(clamp_color(color)));
}

void Runtime::circle(double x, double y, double radius, int color, bool filled) {
    int cx = to_px(x), cy = to_py(y);
    // The radius is in world units of the vertical axis (pixels without a WINDOW).
    double scale = 1.0;
    if (window_set_ && wy2_ != wy1_) scale = std::abs(double(vy2_ - vy1_) / (wy2_ - wy1_));
    double rp = std::abs(radius) * scale;
    if (!std::isfinite(rp) || rp > 2000) return;
    int r = int(std::lround(rp));
    if (filled) {
        for (int dy = -r; dy <= r; ++dy) {
            int half = int(std::floor(std::sqrt(double(r) * r - double(dy) * dy) + 0.5));
            for (int dx = -half; dx <= half; ++dx) set_pixel(cx + dx, cy + dy, color);
        }
        return;
    }
    if (r == 0) {
        set_pixel(cx, cy, color);
        return;
    }
    // Midpoint circle.
    int px = r, py = 0, err = 1 - r;
    while (px >= py) {
        const int pts[8][2] = {{px, py}, {py, px}, {-py, px}, {-px, py}, {-px, -py}, {-py, -px}, {py, -px}, {px, -py}};
        for (auto& p : pts) set_pixel(cx + p[0], cy + p[1], color);
        ++py;
        if (err < 0) {
            err += 2 * py + 1;
        } else {
            --px;
            err += 2 * (py - px) + 1;
        }
    }
}

void Runtime::paint(double x, double y, int fill, int border) {
    int sx = to_px(x), sy = to_py(y);
    if (sx < vx1_ || sx > vx2_ || sy < vy1_ || sy > vy2_) return;
    fill = clamp_color(fill);
    border = clamp_color(border);
    auto at = [&](int px, int py) { return int(pixels_.at(px, py)); };
    if (at(sx, sy) == border || at(sx, sy) == fill) return;
    // Scanline flood fill bounded by the border colour and the viewport.
    std::vector<std::pair<int, int>> stack{{sx, sy}};
    while (!stack.empty()) {
        auto [px, py] = stack.back();
        stack.pop_back();
        if (at(px, py) == border || at(px, py) == fill) continue;
        int left = px, right = px;
        while (left > vx1_ && at(left - 1, py) != border && at(left - 1, py) != fill) --left;
        while (right < vx2_ && at(right + 1, py) != border && at(right + 1, py) != fill) ++right;
        for (int i = left; i <= right; ++i) pixels_.set(i, py, std::uint8_t(fill));
        for (int ny : {py - 1, py + 1}) {
            if (ny < vy1_ || ny > vy2_) continue;
            for (int i = left; i <= right; ++i)
                if (at(i, ny) != border && at(i, ny) != fill) stack.push_back({i, ny});
        }
    }
}

void Runtime::compose_band(int row, std::uint8_t* out) const {
    // Pixel rows row*18 .. row*18+17, in palette indices: the graphics with
    // the glyph pixels of this text row over them.
    pixels_.copy_band(row, out);
    auto draw_mask = [&](const GlyphMask& g, int x0, int color, int style) {
        const auto index = std::uint8_t(color);
        for (int y = 0; y < kCellHeight; ++y) {
            std::uint32_t bits = g.rows[y];
            if (style == 4 || style == 5) bits |= bits >> 1;  // bold: struck twice
            if (style == 5 && y == 16) bits = 0xFFFF;       // underlined
            for (int col = 0; col < g.width; ++col) {
                const int x = x0 + col;
                if ((bits & (0x8000u >> col)) && x < kScreenWidth) out[y * kScreenWidth + x] = index;
            }
        }
    };
    for (int c = 0; c < kColumns; ++c) {
        const Cell& cell = text_[row][c];
        if (cell.ch == 0 || cell.continuation) continue;
        int w = char_width(cell.ch);
        if (c + w > kColumns) w = 1;
        draw_mask(font_->glyph(cell.ch, w), c * kCellWidth, cell.color, cell.style);
    }
    if (entering_ && entry_row_ == row) {
        // IME composition after the entry cursor, underlined, then the cursor.
        int col = entry_col_;
        for (const std::string& ch : split_chars(preedit_)) {
            const char32_t cp = decode_char(ch);
            const int w = char_width(cp);
            if (col + w > kColumns) break;
            draw_mask(font_->glyph(cp, w), col * kCellWidth, 1, 0);
            std::fill_n(out + 17 * kScreenWidth + col * kCellWidth, w * kCellWidth, std::uint8_t(1));
            col += w;
        }
        if (col < kColumns) {
            for (int y = 15; y < 17; ++y) std::fill_n(out + y * kScreenWidth + col * kCellWidth, kCellWidth, std::uint8_t(0));
        }
    }
}

const std::vector<std::uint8_t>& Runtime::compose() {
    // Kept in one buffer reused by every frame.
    frame_.resize(std::size_t(kScreenWidth) * kScreenHeight);
    for (int row = 0; row < kRows; ++row) compose_band(row, frame_.data() + std::size_t(row) * kCellHeight * kScreenWidth);
    font_->save();  // glyphs new to this run are kept for the next
    return frame_;
}

void Runtime::present() {
    if (backend_->virtual_clock()) return;  // script mode shows nothing; snaps compose their own
    backend_->present(compose().data());
}

// ---------------------------------------------------------------------------
// Events

void Runtime::key_trap(int n, Trap state) {
    if (n < 1 || n > 8) return;
    key_traps_[n] = state;
    if (state == Trap::Off)
        std::erase_if(pending_, [n](const Event& e) { return e.type == Event::Type::Key && e.key == n; });
}

void Runtime::all_keys(Trap state) {
    for (int n = 1; n <= 8; ++n) key_trap(n, state);
}

void Runtime::mouse_trap(Trap state) {
    mouse_trap_ = state;
    if (state == Trap::Off)
        std::erase_if(pending_, [](const Event& e) { return e.type == Event::Type::DoubleClick; });
}

static int function_key_number(Key k) {
    switch (k) {
        case Key::F1: return 1;
        case Key::F2: return 2;
        case Key::F3: return 3;
        case Key::F4: return 4;
        case Key::F5: return 5;
        case Key::F6: return 6;
        case Key::F7: return 7;
        case Key::F8: return 8;
        case Key::F9: return 9;
        case Key::F10: return 10;
        default: return 0;
    }
}

void Runtime::queue_trap_event(const InputEvent& ev) {
    if (ev.type == InputEvent::Type::Key) {
        int n = function_key_number(ev.key);
        if (n >= 1 && n <= 8 && key_traps_[n] != Trap::Off) pending_.push_back({Event::Type::Key, n});
    } else if (ev.type == InputEvent::Type::DoubleClick) {
        mouse_x_ = ev.x;
        mouse_y_ = ev.y;
        if (mouse_trap_ != Trap::Off) pending_.push_back({Event::Type::DoubleClick, 0});
    }
}

void Runtime::handle_quit() {
    log_event("end");
    std::exit(0);
}

void Runtime::handle_snap_or_exhausted(const InputEvent& ev) {
    if (ev.type == InputEvent::Type::Snap) {
        snap(ev.text);
        return;
    }
    // The script is exhausted while the program waits for input.
    snap("final");
    log_event("idle");
    std::exit(0);
}

std::optional<InputEvent> Runtime::next_input(std::optional<Clock::time_point> deadline) {
    for (;;) {
        auto ev = backend_->wait_event(deadline);
        if (!ev) return std::nullopt;
        switch (ev->type) {
            case InputEvent::Type::Quit: handle_quit(); break;
            case InputEvent::Type::Snap:
            case InputEvent::Type::Exhausted: handle_snap_or_exhausted(*ev); continue;
            default: return ev;
        }
    }
}

std::optional<Event> Runtime::wait_event(int timeout_units) {
    auto take_pending = [&]() -> std::optional<Event> {
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            bool on = it->type == Event::Type::Key ? key_traps_[it->key] == Trap::On : mouse_trap_ == Trap::On;
            if (on) {
                Event e = *it;
                pending_.erase(it);
                return e;
            }
        }
        return std::nullopt;
    };
    if (auto e = take_pending()) return e;
    present();
    std::optional<Clock::time_point> deadline;
    if (timeout_units >= 0 && !backend_->virtual_clock())
        deadline = Clock::now() + std::chrono::milliseconds(10 * timeout_units);
    for (;;) {
        auto ev = next_input(deadline);
        if (!ev) return std::nullopt;
        if (ev->type == InputEvent::Type::Key && function_key_number(ev->key) == 0) {
            inkey_.push_back(inkey_text(ev->key));
            continue;
        }
        if (ev->type == InputEvent::Type::Text || ev->type == InputEvent::Type::TypeLine) {
            inkey_.push_back(ev->text);
            continue;
        }
        queue_trap_event(*ev);
        if (auto e = take_pending()) return e;
    }
}

std::string Runtime::inkey() {
    if (inkey_.empty() && !backend_->virtual_clock()) {
        while (auto ev = backend_->wait_event(Clock::now())) {
            if (ev->type == InputEvent::Type::Quit) handle_quit();
            if (ev->type == InputEvent::Type::Text) inkey_.push_back(ev->text);
            if (ev->type == InputEvent::Type::Key) {
                int n = function_key_number(ev->key);
                if (n) {
                    queue_trap_event(*ev);
                    inkey_.push_back("F" + std::to_string(n));
                } else {
                    inkey_.push_back(inkey_text(ev->key));
                }
            }
            if (ev->type == InputEvent::Type::DoubleClick) queue_trap_event(*ev);
        }
    }
    if (inkey_.empty()) return {};
    std::string k = inkey_.front();
    inkey_.erase(inkey_.begin());
    return k;
}

// ---------------------------------------------------------------------------
// Line input

std::string Runtime::read_line(int column, int row) {
    std::string buffer;
    std::vector<int> widths;  // columns of each character, for Backspace
    int col = column;
    entering_ = true;
    preedit_.clear();
    auto place = [&] {
        entry_col_ = col;
        entry_row_ = row;
        backend_->set_text_input_rect(col * kCellWidth, row * kCellHeight, kCellWidth, kCellHeight);
    };
    auto echo = [&](std::string_view text) {
        for (const std::string& ch : split_chars(text)) {
            char32_t cp = decode_char(ch);
            if (cp < 0x20 || cp == 0x7f) continue;
            int w = char_width(cp);
            buffer += ch;
            if (col + w <= kColumns) {
                locate(col, row);
                put_char(ch, w);
                col += w;
                widths.push_back(w);
            } else {
                widths.push_back(0);  // kept in the value, beyond the row's end
            }
        }
    };
    place();
    backend_->start_text_input();
    for (;;) {
        present();
        auto ev = next_input(std::nullopt);
        if (!ev) continue;
        bool done = false;
        switch (ev->type) {
            case InputEvent::Type::TypeLine:
                echo(ev->text);
                done = true;
                break;
            case InputEvent::Type::Text:
                echo(ev->text);
                break;
            case InputEvent::Type::Editing:
                preedit_ = ev->text;
                break;
            case InputEvent::Type::Key:
                if (ev->key == Key::Enter) {
                    done = true;
                } else if (ev->key == Key::Backspace && !widths.empty()) {
                    int w = widths.back();
                    widths.pop_back();
                    auto chars = split_chars(buffer);
                    chars.pop_back();
                    buffer.clear();
                    for (auto& c : chars) buffer += c;
                    for (int i = 0; i < w; ++i) text_[row][col - w + i] = Cell{};
                    col -= w;
                } else {
                    queue_trap_event(*ev);  // a bound key waits until the entry is done
                }
                break;
            case InputEvent::Type::DoubleClick:
                queue_trap_event(*ev);
                break;
            default:
                break;
        }
        place();
        if (done) break;
    }
    backend_->stop_text_input();
    entering_ = false;
    preedit_.clear();
    locate(col < kColumns ? col : kColumns - 1, row);
    return buffer;
}

std::string Runtime::input_text(std::string_view prompt) {
    print(prompt);
    if (cursor_col_ >= kColumns) line_feed();
    std::string text = read_line(cursor_col_, cursor_row_);
    line_feed();
    return text;
}

double Runtime::input_number(std::string_view prompt, std::optional<double> preset) {
    int col = cursor_col_, row = cursor_row_;
    int color = color_, style = style_;
    for (;;) {
        locate(col, row);
        color_ = color;
        style_ = style;
        print(prompt);
        if (cursor_col_ >= kColumns) line_feed();
        int entry_row = cursor_row_;
        std::string text = read_line(cursor_col_, entry_row);
        bool blank = std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
        if (blank && preset) {
            line_feed();
            return *preset;
        }
        if (auto v = parse_number(text)) {
            line_feed();
            return *v;
        }
        // Refused: the answer is wiped and the same question asked again.
        for (int c = col; c < kColumns; ++c) text_[row][c] = Cell{};
        if (entry_row != row) clear_row(entry_row);
        notice(blank ? "数値を入力して下さい。" : "数値ではありません。もう一度入力して下さい。");
    }
}

void Runtime::notice(std::string_view message) {
    int col = cursor_col_, row = cursor_row_, color = color_, style = style_;
    std::array<Cell, kColumns> saved = text_[kPromptRow];
    clear_row(kPromptRow);
    locate(0, kPromptRow);
    color_ = 10;
    style_ = 4;
    print(message);
    present();
    beep();
    wait(120);
    text_[kPromptRow] = saved;
    locate(col, row);
    color_ = color;
    style_ = style;
}

// ---------------------------------------------------------------------------
// Time and sound

void Runtime::wait(int units) {
    present();
    if (backend_->virtual_clock() || units <= 0) return;
    auto deadline = Clock::now() + std::chrono::milliseconds(10 * units);
    while (Clock::now() < deadline) {
        auto ev = next_input(deadline);
        if (!ev) break;
        queue_trap_event(*ev);
    }
}

void Runtime::beep() {
    log_event("beep");
    backend_->beep();
}

std::string Runtime::date() const {
    if (const char* d = std::getenv("MARULA_DATE"); d && *d) return d;
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y/%m/%d", &tm);
    return buf;
}

// ---------------------------------------------------------------------------
// Printer

void Runtime::printer_reset() { printer_ = Printer{}; }
void Runtime::printer_mode(int paper, int orientation) { printer_.set_paper(paper, orientation); }
void Runtime::printer_font(int size) { printer_.set_font(size); }
void Runtime::printer_pitch(int char_pitch, int line_pitch) { printer_.set_pitch(char_pitch, line_pitch); }

namespace {

// The PDF writers, from their module on the first print (cairo and what it
// pulls in are not loaded by programs that never print).
const PdfWriters* pdf_writers(std::string& why) {
    static PdfWriters writers{};
    if (writers.page == nullptr) {
        auto entry = reinterpret_cast<void (*)(PdfWriters*)>(module_entry(kPdfModule, kPdfEntry, why));
        if (entry == nullptr) return nullptr;
        entry(&writers);
    }
    return &writers;
}

std::optional<std::string> page_pdf(const PrintedPage& page, const std::filesystem::path& file) {
    std::string why;
    const PdfWriters* writers = pdf_writers(why);
    if (writers == nullptr) return why;
    return writers->page(page, file);
}

std::optional<std::string> screen_pdf(const std::uint8_t* indices, const std::filesystem::path& file) {
    std::string why;
    const PdfWriters* writers = pdf_writers(why);
    if (writers == nullptr) return why;
    return writers->screen(indices, file);
}

}  // namespace

void Runtime::lprint(std::string_view text, bool end_line) { printer_.print(text, end_line); }

void Runtime::lprint_using(std::string_view format, std::initializer_list<UsingArg> args, bool end_line) {
    printer_.print(format_using(format, args), end_line);
}

std::filesystem::path Runtime::next_free(std::string_view stem, std::string_view ext) const {
    for (int n = 1;; ++n) {
        std::string base = std::string(stem) + "-" + std::to_string(n);
        std::error_code ec;
        bool taken = std::filesystem::exists(out_dir_ / (base + std::string(ext)), ec) ||
                     std::filesystem::exists(out_dir_ / (base + ".txt"), ec) ||
                     std::filesystem::exists(out_dir_ / (base + ".png"), ec);
        if (!taken) return out_dir_ / base;
    }
}

std::optional<std::filesystem::path> Runtime::file_sheet(const std::filesystem::path& pdf,
                                                         const std::filesystem::path& beside) {
    if (!filing_folder_) return std::nullopt;
    namespace fs = std::filesystem;
    std::string day = date();
    std::erase(day, '/');
    std::error_code made;
    fs::create_directories(*filing_folder_, made);  // a reports/ removed by hand comes back
    for (int n = 1; n <= 999; ++n) {
        char number[8];
        std::snprintf(number, sizeof number, "%03d", n);
        const std::string stem = program_ + "-" + day + "-" + number;
        const fs::path filed = *filing_folder_ / (stem + ".pdf");
        const fs::path filed_beside = *filing_folder_ / (stem + beside.extension().string());
        std::error_code ec;
        if (fs::exists(filed_beside, ec)) continue;
        // copy_file without overwrite fails on a file that exists, so two
        // programs filing at once never take one name.
        if (!fs::copy_file(pdf, filed, fs::copy_options::none, ec)) {
            if (fs::exists(filed)) continue;
            log_event("error filing " + filed.string() + ": " + ec.message());
            notice("帳票を現場に保存できません：" + ec.message());
            return std::nullopt;
        }
        fs::copy_file(beside, filed_beside, fs::copy_options::none, ec);
        // In a window the job's copy is the sheet: the one in the print
        // folder is not left behind (script mode keeps both).
        if (!backend_->virtual_clock()) {
            fs::remove(pdf, ec);
            fs::remove(beside, ec);
        }
        log_event("filed " + filed.filename().string());
        notice("帳票を現場に保存しました：" + filed.filename().string());
        return filed;
    }
    notice("帳票を現場に保存できません：今日の番号が999を超えました。");
    return std::nullopt;
}

void Runtime::form_feed() {
    PrintedPage page = printer_.eject();
    auto base = next_free("print", ".pdf");
    auto pdf = base;
    pdf += ".pdf";
    auto txt = base;
    txt += ".txt";
    if (auto err = page_pdf(page, pdf)) {
        log_event("error " + *err);
        notice("印刷できません：" + *err);
        return;
    }
    if (auto err = write_page_text(page, txt)) log_event("error " + *err);
    log_event("print " + pdf.filename().string());
    const auto filed = file_sheet(pdf, txt);
    if (!backend_->virtual_clock()) {
        if (auto msg = send_to_printer(filed ? *filed : pdf)) notice(*msg);
    }
}

void Runtime::hardcopy() {
    const auto& frame = compose();
    auto base = next_free("hardcopy", ".pdf");
    auto png = base;
    png += ".png";
    auto pdf = base;
    pdf += ".pdf";
    auto err = write_screen_png(frame.data(), png);
    if (!err) err = screen_pdf(frame.data(), pdf);
    if (err) {
        log_event("error " + *err);
        notice("画面印刷できません：" + *err);
        return;
    }
    log_event("hardcopy " + png.filename().string());
    const auto filed = file_sheet(pdf, png);
    if (!backend_->virtual_clock()) {
        if (auto msg = send_to_printer(filed ? *filed : pdf)) notice(*msg);
    }
}

// ---------------------------------------------------------------------------
// Bitmaps

const Picture* Runtime::picture(std::string_view file_name) {
    const std::string key(file_name);
    if (auto found = pictures_.find(key); found != pictures_.end()) return &found->second;
    std::filesystem::path name{std::u8string(file_name.begin(), file_name.end())};
    auto dir = executable_dir();
    const std::filesystem::path candidates[] = {
        name, dir / name, dir / ".." / "share" / "marula" / name, dir / ".." / ".." / "share" / "marula" / name};
    std::string why = "not found";
    for (const auto& path : candidates) {
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) continue;
        Picture loaded;
        if (auto err = load_bmp(path, loaded)) {
            why = *err;
            continue;
        }
        // Kept: the opening draws the same picture again as it moves.
        return &pictures_.emplace(key, std::move(loaded)).first->second;
    }
    log_event("error bitmap " + key + ": " + why);
    return nullptr;
}

void Runtime::draw_bitmap(std::string_view file_name, int x, int y) {
    const Picture* shown = picture(file_name);
    if (shown == nullptr) return;
    // Row by row, cut to the viewport.
    const int first = std::max(x, vx1_);
    const int last = int(std::min<long long>(static_cast<long long>(x) + shown->width - 1, vx2_));
    if (first > last) return;
    for (int by = 0; by < shown->height; ++by) {
        const int row = y + by;
        if (row < vy1_ || row > vy2_) continue;
        pixels_.set_row(first, row, shown->colours.data() + std::size_t(by) * shown->width + (first - x), last - first + 1);
    }
}

// ---------------------------------------------------------------------------
// Programs

void Runtime::run(std::string_view requested) {
    std::string name;
    for (char c : requested) name += char(std::tolower(static_cast<unsigned char>(c)));
    if (name.size() > 4 && name.ends_with(".exe")) name.resize(name.size() - 4);
    log_event("run " + name);
    bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::islower(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) || c == '_';
    });
    auto path = executable_dir() / name;
    if (plain && ::access(path.c_str(), X_OK) == 0) {
        present();
        setenv("MARULA_SCRIPT_LINE", std::to_string(backend_->script_position()).c_str(), 1);
        if (auto place = backend_->window_placement(); !place.empty()) setenv("MARULA_WINDOW_POS", place.c_str(), 1);
        backend_.reset();  // closes the window before the next program opens its own
        char* argv[] = {name.data(), nullptr};
        ::execv(path.c_str(), argv);
        // exec failed: nothing sensible is left to show on; report and stop.
        std::fprintf(stderr, "marula: cannot start %s\n", path.c_str());
        std::exit(1);
    }
    log_event("error program not found: " + name);
    notice("プログラム「" + name + "」が見つかりません。");
}

void Runtime::end() {
    log_event("end");
    // Script mode keeps the last screen (the farewell) as final.*.
    if (backend_->virtual_clock()) snap("final");
    present();
    if (!backend_->virtual_clock()) wait(150);  // the farewell stays a moment before the window closes
    std::exit(0);
}

// ---------------------------------------------------------------------------
// Script mode and logs

void Runtime::log_event(std::string_view line) {
    if (!backend_ || !backend_->virtual_clock()) return;
    std::string entry(line);
    entry += '\n';
    append_file(out_dir_ / "events.log", entry);
}

void Runtime::snap(std::string_view name) {
    std::string base(name);
    write_file(out_dir_ / (base + ".txt"), text_dump());
    write_file(out_dir_ / (base + ".color"), color_dump());
    // Composed a text row at a time as the file is written: a snap needs no
    // whole frame.
    std::array<std::uint8_t, kCellHeight * kScreenWidth> band;
    auto rows = [&](int y) -> const std::uint8_t* {
        if (y % kCellHeight == 0) compose_band(y / kCellHeight, band.data());
        return band.data() + (y % kCellHeight) * kScreenWidth;
    };
    if (auto err = write_screen_png(rows, out_dir_ / (base + ".png"))) log_event("error " + *err);
    font_->save();
}

}  // namespace marula
