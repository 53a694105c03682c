// The graphics plane: WINDOW and VIEW, lines, boxes, circles and PAINT.
#include "runtime.h"

#include "runtime_internal.h"

namespace marula {

using namespace detail;

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

}  // namespace marula
