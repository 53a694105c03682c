// What a backend does for the runtime: present the composed screen, deliver
// input events, beep. The runtime owns the screen; a backend only shows it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "palette.h"

namespace marula {

// The runtime's own key values; platform keys are translated once, in the
// backend, through a table.
enum class Key {
    None, F1, F2, F3, F4, F5, F6, F7, F8, F9, F10, Enter, Escape, Backspace,
};

struct InputEvent {
    enum class Type {
        Key,          // key
        Text,         // text: committed characters (typing or IME commit)
        Editing,      // text: IME composition in progress (empty ends it)
        DoubleClick,  // x, y in screen pixels
        Quit,         // the window was closed
        Snap,         // script mode: write NAME.txt/.color/.png (text = NAME)
        TypeLine,     // script mode: text typed and Enter pressed
        Exhausted,    // script mode: no more events
    };
    Type type = Type::Key;
    Key key = Key::None;
    std::string text;
    int x = 0, y = 0;
};

using Clock = std::chrono::steady_clock;

class Backend {
public:
    virtual ~Backend() = default;
    // Shows a composed frame of 640 x 432 palette indices (see kPalette).
    virtual void present(const std::uint8_t* indices) = 0;
    // Next event, waiting until the deadline at most (none: for ever).
    virtual std::optional<InputEvent> wait_event(std::optional<Clock::time_point> deadline) = 0;
    // A short tone; returns false when there is no sound device.
    virtual bool beep() { return false; }
    // True in script mode: the screen is not shown, events.log and the final
    // dump are written, and nothing is sent to a printer.
    virtual bool script_mode() const { return false; }
    // True when time does not pass: WAIT returns at once and a deadline
    // never comes before the next event.
    virtual bool virtual_clock() const { return false; }
    // Where the IME should put its candidate window (screen pixels).
    virtual void set_text_input_rect(int /*x*/, int /*y*/, int /*w*/, int /*h*/) {}
    virtual void start_text_input() {}
    virtual void stop_text_input() {}
    // Script mode: the byte offset in the script where the next line
    // starts, handed to the next program on RUN so that it goes on there.
    virtual std::uint64_t script_offset() const { return 0; }
    // Window placement kept across RUN ("x,y" or empty).
    virtual std::string window_placement() const { return {}; }
};

}  // namespace marula
