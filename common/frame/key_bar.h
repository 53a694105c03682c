// The key bars and the key loop every calculation program ends in.
//
// After its results are shown a program hands its key actions to
// run_key_loop() and never comes back: the loop draws the bar, waits for a
// bound key, flashes its box, runs the action and draws the bar again.
//
//     KeyActions keys;
//     keys.correct   = [&] { correct(); };    // F1
//     keys.plot      = [&] { plot(); };       // F2 (the table bar only)
//     keys.print     = [&] { report(); };     // F4 on the table bar, F3 on the form bars
//     keys.redisplay = [&] { redisplay(); };  // F5 (the table bar only)
//     keys.landscape_screen_print = true;     // set A4 landscape first
//     run_key_loop(rt, KeyBar::Table, keys);
//
// Screen print, re-input (RUN of the program's own name), menu (RUN
// "MARULA") and end (farewell) are the frame's own. An action left empty
// beeps and changes nothing. While an action runs the keys are switched
// off, so a key pressed during a correction's questions is dropped rather
// than run half-way through it; one pressed while a printed page or a hard
// copy is saved, filed and sent (its notice showing) is held by the runtime
// and acted on once the bar is back.
#pragma once

#include <array>
#include <functional>
#include <string_view>

#include "runtime/runtime.h"
#include "screen.h"

namespace marula {

// Table: eight keys, for the programs that list their points in a table
// (correct, plot, screen print, print, redisplay, re-input, menu, end).
// Form: six keys, for the programs that fill in a form (correct, screen
// print, print, re-input, menu, end). FormWithNext: the form's six and a
// seventh that takes the next point into the same form.
enum class KeyBar { Table, Form, FormWithNext };

// What each key does on each bar.
enum class KeyAction { Correct, Plot, ScreenPrint, Print, Redisplay, Reinput, Menu, End, Extra };

// Number of keys on a bar (8, 6, 7).
int key_count(KeyBar bar);
// The action of key n (1-based) on a bar.
KeyAction key_action(KeyBar bar, int key);

// CONSOLE 23,1; WINDOW and VIEW to the whole screen; the boxes and labels
// of the bar (row 23 blanked first); keys 1 … key_count switched on.
void draw_key_bar(Runtime& rt, KeyBar bar);

// The table programs' eight-key bar with other labels, for screens of
// their own (the point list): the same boxes at the same places, the keys
// whose label is empty neither drawn nor switched on. The area under it
// is wiped first; the keys of the labels are on, the others off.
using BarLabels = std::array<std::string_view, 8>;
void draw_labelled_bar(Runtime& rt, const BarLabels& labels);
// The key-bar area wiped for a dialogue: a white box (0,400)-(640,432) on
// the table bar, (20,412)-(630,431) on the form bars, and row 23 blanked.
void erase_key_bar(Runtime& rt, KeyBar bar);
// The flash of key n's box: white outline boxes drawn inward one pixel
// apart, WAIT 5 after each (the form bar's last key has none).
void flash_key(Runtime& rt, KeyBar bar, int key);

struct KeyActions {
    std::function<void()> correct;
    std::function<void()> plot;       // the table bar: F2
    std::function<void()> print;      // the report
    std::function<void()> redisplay;  // the table bar: F5
    std::function<void()> extra;      // the form bar with next: F7
    // F9, on no bar: an action a program names only in its guide (the
    // area's vertices kept as a parcel). Bound only when set; it has no
    // box to flash.
    std::function<void()> f9;
    // Set A4 landscape before a screen print (for a table as wide as a
    // landscape page).
    bool landscape_screen_print = false;
    // Run by the loop each time before it draws the bar and waits: after
    // the entry and after every action.
    std::function<void()> before_bar;
};

// Runs one action as the key loop would (without the flash), for programs
// that must start with one (a plot drawn at once, say): the keys are off
// while it runs.
void run_key_action(Runtime& rt, KeyBar bar, KeyAction action, const KeyActions& actions);

// The key bar and its endless loop. Returns never: the program ends by
// re-input, menu or end (or, in script mode, when the script is used up).
[[noreturn]] void run_key_loop(Runtime& rt, KeyBar bar, const KeyActions& actions);

}  // namespace marula
