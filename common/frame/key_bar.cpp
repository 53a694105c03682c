#include "key_bar.h"

#include <array>
#include <string_view>

namespace marula {

namespace {

constexpr std::array<std::string_view, 8> kLabelsA{"F1 訂 正", "F2画像表示", "F3画面印刷", "F4 印 刷",
                                                   "F5 再表示", "F6 再入力", "F7 MENU",  "F8 終 了"};
constexpr std::array<std::string_view, 6> kLabelsB{"F1= 訂  正 ", "F2=画面印刷", "F3= 印  刷 ",
                                                   "F4=再 入 力", "F5=ＭＥＮＵ", "F6= 終  了 "};
constexpr std::array<std::string_view, 7> kLabelsC{"F1=訂  正 ", "F2=画面印刷", "F3=印  刷 ", "F4=再入力",
                                                   "F5=MENU",    "F6=終  了",   "F7=連続入力"};
constexpr std::array<int, 7> kColumnsC{1, 11, 23, 34, 45, 56, 68};

constexpr int kBarColor = 14;
// The key no bar shows (KeyActions::f9).
constexpr int kUnlabelledKey = 9;
constexpr int kBarShadow = 1;

// The boxes and labels of the eight-key bar; an empty label has no box.
void draw_table_bar(Runtime& rt, const BarLabels& labels) {
    for (int k = 0; k < 8; ++k) {
        if (labels[k].empty()) continue;
        int x = 80 * k;
        rt.fill_box(x, 412, x + 76, 429, kBarColor);
        rt.fill_box(x, 412, x + 16, 429, kBarShadow);
        shadowed_box(rt, {x, 412, x + 76, 429}, kBarShadow, kBarShadow);
        print_at(rt, 10 * k, kPromptRow, labels[k], 0, kStyleNormal);
    }
}

void draw_form_bar(Runtime& rt) {
    for (int k = 0; k < 6; ++k) {
        int x = 96 * k;
        rt.fill_box(29 + x, 412, 120 + x, 429, kBarColor);
        for (int i = 0; i < 3; ++i) {
            rt.line(30 + x + i, 429 + i, 118 + x + i, 429 + i, kBarShadow);
            rt.line(119 + x + i, 412 + i, 119 + x + i, 429 + i, kBarShadow);
        }
        print_at(rt, 4 + 12 * k, kPromptRow, kLabelsB[k], 0, kStyleNormal);
    }
}

void draw_form_with_next_bar(Runtime& rt) {
    for (int k = 0; k < 7; ++k) {
        int g = k < 6 ? 4 + 88 * k : 540;
        int q = k < 6 ? g + 80 : 632;
        if (k < 6) {
            rt.fill_box(g, 412, q, 429, kBarColor);
        } else {
            rt.box(g, 412, q, 429, kBarColor);
        }
        for (int j = 0; j < 3; ++j) {
            rt.line(g + j, 429 + j, q + j, 429 + j, kBarShadow);
            rt.line(q + j, 412 + j, q + j, 429 + j, kBarShadow);
        }
        print_at(rt, kColumnsC[k], kPromptRow, kLabelsC[k], 0, kStyleNormal);
    }
}

// One flash: boxes (x1+i, y1+i)-(x2−i, y2−i) for i = first … last.
struct Flash {
    int x1, y1, x2, y2, first, last;
};

std::optional<Flash> flash_of(KeyBar bar, int key) {
    switch (bar) {
        case KeyBar::Table: {
            int x = 80 * (key - 1);
            return Flash{x, 412, x + 76, 429, 0, 11};
        }
        case KeyBar::Form: {
            static constexpr std::array<Flash, 5> kFlashB{Flash{28, 411, 120, 430, 1, 8},
                                                          Flash{124, 411, 218, 432, 1, 12},
                                                          Flash{220, 411, 314, 432, 1, 12},
                                                          Flash{316, 411, 410, 432, 1, 12},
                                                          Flash{413, 411, 506, 432, 1, 12}};
            if (key >= 1 && key <= 5) return kFlashB[key - 1];
            return std::nullopt;
        }
        case KeyBar::FormWithNext: {
            static constexpr std::array<Flash, 7> kFlashC{
                Flash{4, 411, 86, 432, 0, 12},    Flash{90, 411, 176, 432, 0, 12},
                Flash{178, 411, 264, 432, 1, 12}, Flash{266, 411, 352, 432, 1, 12},
                Flash{354, 411, 440, 432, 1, 12}, Flash{0, 0, 0, 0, 1, 0},
                Flash{538, 411, 634, 432, 1, 12}};
            if (key >= 1 && key <= 7 && key != 6) return kFlashC[key - 1];
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

int key_count(KeyBar bar) {
    switch (bar) {
        case KeyBar::Table: return 8;
        case KeyBar::Form: return 6;
        case KeyBar::FormWithNext: return 7;
    }
    return 0;
}

KeyAction key_action(KeyBar bar, int key) {
    if (bar == KeyBar::Table) {
        static constexpr std::array<KeyAction, 8> kA{KeyAction::Correct,   KeyAction::Plot,    KeyAction::ScreenPrint,
                                                     KeyAction::Print,     KeyAction::Redisplay, KeyAction::Reinput,
                                                     KeyAction::Menu,      KeyAction::End};
        return kA[key - 1];
    }
    static constexpr std::array<KeyAction, 7> kBC{KeyAction::Correct, KeyAction::ScreenPrint, KeyAction::Print,
                                                  KeyAction::Reinput, KeyAction::Menu,        KeyAction::End,
                                                  KeyAction::Extra};
    return kBC[key - 1];
}

void draw_key_bar(Runtime& rt, KeyBar bar) {
    rt.console(kPromptRow, 1);
    rt.window(0, 0, 639, 431);
    rt.view(0, 0, 639, 431);
    clear_prompt_row(rt);
    switch (bar) {
        case KeyBar::Table: draw_table_bar(rt, kLabelsA); break;
        case KeyBar::Form: draw_form_bar(rt); break;
        case KeyBar::FormWithNext: draw_form_with_next_bar(rt); break;
    }
    rt.color(0, kStyleNormal);
    rt.all_keys(Trap::Off);
    for (int k = 1; k <= key_count(bar); ++k) rt.key_trap(k, Trap::On);
}

void draw_labelled_bar(Runtime& rt, const BarLabels& labels) {
    rt.console(kPromptRow, 1);
    rt.window(0, 0, 639, 431);
    rt.view(0, 0, 639, 431);
    rt.fill_box(0, 400, 640, 432, 15);
    clear_prompt_row(rt);
    draw_table_bar(rt, labels);
    rt.color(0, kStyleNormal);
    rt.all_keys(Trap::Off);
    for (int k = 0; k < 8; ++k)
        if (!labels[k].empty()) rt.key_trap(k + 1, Trap::On);
}

void erase_key_bar(Runtime& rt, KeyBar bar) {
    rt.window(0, 0, 639, 431);
    rt.view(0, 0, 639, 431);
    if (bar == KeyBar::Table) {
        rt.fill_box(0, 400, 640, 432, 15);
    } else {
        rt.fill_box(20, 412, 630, 431, 15);
    }
    clear_prompt_row(rt);
}

void flash_key(Runtime& rt, KeyBar bar, int key) {
    auto flash = flash_of(bar, key);
    if (!flash) return;
    for (int i = flash->first; i <= flash->last; ++i) {
        rt.box(flash->x1 + i, flash->y1 + i, flash->x2 - i, flash->y2 - i, 15);
        rt.wait(5);
    }
}

void run_key_action(Runtime& rt, KeyBar bar, KeyAction action, const KeyActions& actions) {
    rt.all_keys(Trap::Off);
    auto call = [&](const std::function<void()>& f) {
        if (f) {
            f();
        } else {
            rt.beep();
        }
    };
    switch (action) {
        case KeyAction::Correct: call(actions.correct); break;
        case KeyAction::Plot: call(actions.plot); break;
        case KeyAction::Print: call(actions.print); break;
        case KeyAction::Redisplay: call(actions.redisplay); break;
        case KeyAction::Extra: call(actions.extra); break;
        case KeyAction::ScreenPrint:
            if (actions.landscape_screen_print) rt.printer_mode(9, 2);
            rt.hardcopy();
            break;
        case KeyAction::Reinput: rt.run(rt.program()); break;
        case KeyAction::Menu: rt.run(rt.menu_program()); break;
        case KeyAction::End: farewell(rt);
    }
    (void)bar;
}

void run_key_loop(Runtime& rt, KeyBar bar, const KeyActions& actions) {
    for (;;) {
        if (actions.before_bar) actions.before_bar();
        draw_key_bar(rt, bar);
        if (actions.f9) rt.key_trap(kUnlabelledKey, Trap::On);
        std::optional<Event> event;
        auto bound = [&] {
            if (!event || event->type != Event::Type::Key) return false;
            return (event->key >= 1 && event->key <= key_count(bar)) || (event->key == kUnlabelledKey && actions.f9);
        };
        while (!bound()) event = rt.wait_event();
        if (event->key == kUnlabelledKey) {
            rt.all_keys(Trap::Off);
            actions.f9();
            continue;
        }
        flash_key(rt, bar, event->key);
        run_key_action(rt, bar, key_action(bar, event->key), actions);
    }
}

}  // namespace marula
