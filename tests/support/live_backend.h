// A backend for tests that behaves as a window does rather than as a
// script: WAIT is not skipped, and the planned events are handed out as the
// runtime asks for them, each only once its moment has come. So a test can
// type while a notice or a WAIT is showing, or press a second key while a
// menu is being drawn, as a fast typist would.
//
//   LiveBackend* live = nullptr;
//   auto rt = make_live_runtime({
//       {typed("abc")}, {key(Key::Enter)},
//       {typed("1234.567"), When::DuringWait},
//   }, live);
//
// When nothing planned is left, a WAIT ends at once (the test need not
// sit through it), and the next wait for input without a time limit, or
// the `idle_calls`-th one with a limit, throws LiveBackend::Exhausted.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace marula::test {

enum class When {
    Any,         // at the next wait for input of any kind
    DuringWait,  // only while the runtime waits with a time limit (a WAIT, a notice, a timed event wait)
};

struct Planned {
    InputEvent event;
    When when = When::Any;
    // When not empty: only once the screen's text holds this.
    std::string once_shown = {};
};

inline InputEvent typed(std::string text) {
    InputEvent ev;
    ev.type = InputEvent::Type::Text;
    ev.text = std::move(text);
    return ev;
}

inline InputEvent key(Key k) {
    InputEvent ev;
    ev.type = InputEvent::Type::Key;
    ev.key = k;
    return ev;
}

class LiveBackend final : public Backend {
public:
    struct Exhausted {};

    explicit LiveBackend(std::vector<Planned> plan, int idle_calls = 200)
        : plan_(plan.begin(), plan.end()), idle_calls_(idle_calls) {}

    void present(const std::uint8_t*) override {}
    // The runtime whose screen decides `once_shown` (set once it exists).
    void watch(const Runtime* rt) { rt_ = rt; }
    std::size_t left() const { return plan_.size(); }

    std::optional<InputEvent> wait_event(std::optional<Clock::time_point> deadline) override {
        if (!plan_.empty()) {
            const Planned& next = plan_.front();
            const bool moment = next.when == When::Any || deadline.has_value();
            const bool shown = next.once_shown.empty() ||
                               (rt_ != nullptr && rt_->text_dump().find(next.once_shown) != std::string::npos);
            if (moment && shown) {
                InputEvent ev = next.event;
                plan_.pop_front();
                return ev;
            }
            if (deadline) return std::nullopt;  // the wait passes with nothing pressed
            throw Exhausted{};                 // waiting for ever on what will never come
        }
        if (!deadline || --idle_calls_ <= 0) throw Exhausted{};
        return std::nullopt;
    }

private:
    std::deque<Planned> plan_;
    int idle_calls_;
    const Runtime* rt_ = nullptr;
};

// A runtime over a LiveBackend with this plan; `live` points at its backend.
inline std::unique_ptr<Runtime> make_live_runtime(std::vector<Planned> plan, LiveBackend*& live,
                                                  int idle_calls = 200) {
    auto backend = std::make_unique<LiveBackend>(std::move(plan), idle_calls);
    live = backend.get();
    std::unique_ptr<Runtime> rt;
    if (auto err = Runtime::create("test", std::move(backend), rt)) return nullptr;
    live->watch(rt.get());
    return rt;
}

}  // namespace marula::test
