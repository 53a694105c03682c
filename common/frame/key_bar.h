// The key bars and the key loop every calculation program ends in.
//
// After its results are shown a program hands its key actions to
// run_key_loop() and never comes back: the loop draws the bar, waits for a
// bound key, flashes its box, runs the action and draws the bar again.
//
//     KeyActions keys;
//     keys.correct   = [&] { correct(); };    // F1
//     keys.plot      = [&] { plot(); };       // F2 (bar A only)
//     keys.print     = [&] { report(); };     // F4 on bar A, F3 on B and C
//     keys.redisplay = [&] { redisplay(); };  // F5 (bar A only)
//     keys.landscape_screen_print = true;     // set A4 landscape first
//     run_key_loop(rt, KeyBar::A, keys);
//
// Screen print, re-input (RUN of the program's own name), menu (RUN
// "MARULA") and end (farewell) are the frame's own. An action left empty
// beeps and changes nothing. While an action runs the keys are switched
// off, so a key pressed during a correction's questions is dropped rather
// than run half-way through it.
#pragma once

#include <functional>

#include "runtime/runtime.h"
#include "screen.h"

namespace marula {

// A: eight keys (table programs); B: six keys (isect2d, isect1d, isect4p,
// cornercut); C: seven keys (perpfoot).
enum class KeyBar { A, B, C };

// What each key does on each bar.
enum class KeyAction { Correct, Plot, ScreenPrint, Print, Redisplay, Reinput, Menu, End, Extra };

// Number of keys on a bar (8, 6, 7).
int key_count(KeyBar bar);
// The action of key n (1-based) on a bar.
KeyAction key_action(KeyBar bar, int key);

// CONSOLE 23,1; WINDOW and VIEW to the whole screen; the boxes and labels
// of the bar (row 23 blanked first); keys 1 … key_count switched on.
void draw_key_bar(Runtime& rt, KeyBar bar);
// The key-bar area wiped for a dialogue: a white box (0,400)-(640,432) on
// bar A, (20,412)-(630,431) on bars B and C, and row 23 blanked.
void erase_key_bar(Runtime& rt, KeyBar bar);
// The flash of key n's box: white outline boxes drawn inward one pixel
// apart, WAIT 5 after each (bar B's last key has none).
void flash_key(Runtime& rt, KeyBar bar, int key);

struct KeyActions {
    std::function<void()> correct;
    std::function<void()> plot;       // bar A: F2
    std::function<void()> print;      // the report
    std::function<void()> redisplay;  // bar A: F5
    std::function<void()> extra;      // bar C: F7
    // linktrav and looptrav set A4 landscape before a screen print.
    bool landscape_screen_print = false;
};

// Runs one action as the key loop would (without the flash), for programs
// that must start with one (radtrav draws its plot at once): the keys are
// off while it runs.
void run_key_action(Runtime& rt, KeyBar bar, KeyAction action, const KeyActions& actions);

// The key bar and its endless loop. Returns never: the program ends by
// re-input, menu or end (or, in script mode, when the script is used up).
[[noreturn]] void run_key_loop(Runtime& rt, KeyBar bar, const KeyActions& actions);

}  // namespace marula
