// The calculation frame in one include: the screen layout, prompt-line
// entries, key bars and key loop, correction dialogues, plot and report.
//
// A program is one small file that reads like its screen:
//
//     int main(int argc, char** argv) {
//         return marula::run_program("traverse", argc, argv, [](marula::Runtime& rt) {
//             start_screen(rt);
//             draw_title(rt, kTitle);
//             draw_heading(rt, kHeading);
//             rt.console(3, 20);
//             ... input sequence, calculation, display ...
//             run_key_loop(rt, KeyBar::Table, keys);
//         });
//     }
#pragma once

#include "correction.h"
#include "entry.h"
#include "key_bar.h"
#include "plot.h"
#include "report.h"
#include "screen.h"
