// What the runtime's own files share and nothing outside them needs: the
// screen's fixed colours and rows, and small helpers of its concerns.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "backend.h"
#include "screen_geometry.h"

namespace marula::detail {

constexpr int kBackground = 15;

inline int clamp_color(int c) { return (c >= 0 && c < 16) ? c : 0; }

// Pixel coordinates far outside the screen are pulled in to a range where
// integer arithmetic is safe; clipping then discards what lies outside.
constexpr double kFar = 1.0e6;
inline double tame(double v) {
    if (std::isnan(v)) return -kFar;
    return std::clamp(v, -kFar, kFar);
}

inline std::string getenv_or(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : fallback;
}

// Typing as a line entry takes it: text, IME composition, and the keys
// that are not function keys (Enter, Backspace, Escape).
inline bool typed(const InputEvent& ev) {
    switch (ev.type) {
        case InputEvent::Type::Text:
        case InputEvent::Type::Editing:
        case InputEvent::Type::TypeLine: return true;
        case InputEvent::Type::Key:
            return ev.key == Key::Enter || ev.key == Key::Backspace || ev.key == Key::Escape;
        default: return false;
    }
}

// A real day written YYYY/MM/DD.
inline bool valid_date(std::string_view d) {
    if (d.size() != 10 || d[4] != '/' || d[7] != '/') return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (d[i] < '0' || d[i] > '9') return false;
    auto number = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (d[i] - '0');
        return v;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return !(month == 2 && day == 29 && !leap);
}

// What INKEY$ returns for a key that is not a function key.
inline const char* inkey_text(Key key) {
    return key == Key::Enter ? "\r" : key == Key::Escape ? "\x1b" : "\b";
}


// The number of a function key, 1 for F1 .. 10 for F10; 0 for other keys.
inline int function_key_number(Key k) {
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

}  // namespace marula::detail
