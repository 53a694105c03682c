// Events: key and mouse traps, waits for events, INKEY$, WAIT and BEEP.
#include "runtime.h"

#include <cstdio>
#include <ctime>

#include "runtime_internal.h"

namespace marula {

using namespace detail;

void Runtime::key_trap(int n, Trap state) {
    if (n < 1 || n > 10) return;
    key_traps_[n] = state;
    if (state == Trap::Off)
        std::erase_if(pending_, [n](const Event& e) { return e.type == Event::Type::Key && e.key == n; });
}

void Runtime::all_keys(Trap state) {
    for (int n = 1; n <= 10; ++n) key_trap(n, state);
}

void Runtime::mouse_trap(Trap state) {
    mouse_trap_ = state;
    if (state == Trap::Off)
        std::erase_if(pending_, [](const Event& e) { return e.type == Event::Type::DoubleClick; });
}

void Runtime::queue_trap_event(const InputEvent& ev) {
    if (ev.type == InputEvent::Type::Key) {
        int n = function_key_number(ev.key);
        if (n < 1 || n > 10) return;
        if (key_traps_[n] != Trap::Off) {
            pending_.push_back({Event::Type::Key, n});
        } else if (holding_keys_) {
            held_keys_.push_back(n);
        }
    } else if (ev.type == InputEvent::Type::DoubleClick) {
        mouse_x_ = ev.x;
        mouse_y_ = ev.y;
        if (mouse_trap_ != Trap::Off) pending_.push_back({Event::Type::DoubleClick, 0});
    }
}

void Runtime::handle_quit() {
    journal_end(RunEnding::closed, false);
    log_event("end");
    std::exit(0);
}

void Runtime::handle_snap_or_exhausted(const InputEvent& ev) {
    if (ev.type == InputEvent::Type::Snap) {
        snap(ev.text);
        return;
    }
    // The script is exhausted while the program waits for input: the run
    // ends as a closed window does.
    journal_end(RunEnding::closed, false);
    snap("final");
    log_event("idle");
    std::exit(0);
}

std::optional<Event> Runtime::take_held_key() {
    while (!held_keys_.empty()) {
        const int n = held_keys_.front();
        held_keys_.pop_front();
        if (key_traps_[n] == Trap::On) return Event{Event::Type::Key, n};
    }
    return std::nullopt;
}

std::optional<InputEvent> Runtime::next_input(std::optional<Clock::time_point> deadline) {
    if (stop_after_ >= 0 && events_taken_ >= stop_after_) stop_dead();
    for (;;) {
        std::optional<InputEvent> ev;
        if (!replay_.empty()) {
            // Stopped: back to the caller, which takes what was typed
            // during the notice before waiting for more.
            if (replay_escaped()) return std::nullopt;
            ev = std::move(replay_.front());
            replay_.pop_front();
            ++replayed_;
            if (!replay_fits(*ev)) continue;
        } else if (replaying_) {
            replay_over();  // the replay is over once the program asks past it
            continue;
        } else if (!held_.empty()) {
            ev = std::move(held_.front());
            held_.pop_front();
        } else {
            ev = backend_->wait_event(deadline);
        }
        if (!ev) {
            end_standing_notice();  // the program goes on without a key
            return std::nullopt;
        }
        switch (ev->type) {
            case InputEvent::Type::Quit: handle_quit(); break;
            case InputEvent::Type::Snap:
            case InputEvent::Type::Exhausted: handle_snap_or_exhausted(*ev); continue;
            default:
                end_standing_notice();
                ++events_taken_;
                journal_input(*ev);
                return ev;
        }
    }
}

std::optional<Event> Runtime::wait_event(int timeout_units) { return wait_for_event(timeout_units, false); }

std::optional<Event> Runtime::wait_event_or_typing(int timeout_units) { return wait_for_event(timeout_units, true); }

std::optional<Event> Runtime::wait_for_event(int timeout_units, bool typing_ends) {
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
    if (auto e = take_held_key()) return e;
    show_journal_notice();
    show_standing_notice();
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
            if (typing_ends) {
                typeahead_.push_back(std::move(*ev));  // the next line entry starts with it
                return Event{Event::Type::Typing, 0};
            }
            inkey_.push_back(ev->text);
            continue;
        }
        queue_trap_event(*ev);
        if (auto e = take_pending()) return e;
    }
}

std::string Runtime::inkey() {
    if (inkey_.empty() && !backend_->virtual_clock()) {
        while (auto ev = next_input(Clock::now())) {
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

void Runtime::wait(int units) {
    present();
    if (backend_->virtual_clock() || units <= 0 || replaying_) return;
    auto deadline = Clock::now() + std::chrono::milliseconds(10 * units);
    waiting_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{waiting_};
    while (Clock::now() < deadline) {
        auto ev = next_input(deadline);
        if (!ev) break;
        if (typed(*ev)) {
            typeahead_.push_back(std::move(*ev));  // kept in order for the next entry, as a keyboard buffer does
        } else {
            queue_trap_event(*ev);
        }
    }
}

void Runtime::beep() {
    if (replaying_) return;
    log_event("beep");
    backend_->beep();
}

std::string Runtime::date() const {
    if (const char* d = std::getenv("MARULA_DATE"); d && *d) {
        if (valid_date(d)) return d;
        static bool told = false;
        if (!told) std::fprintf(stderr, "%s: MARULA_DATE is not a date YYYY/MM/DD and is ignored\n", program_.c_str());
        told = true;
    }
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y/%m/%d", &tm);
    return buf;
}

}  // namespace marula
