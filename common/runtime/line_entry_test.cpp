// Line entry and replay as a window drives them: control characters typed
// never reach an entry's value or the journal, and Escape stops a replay in
// progress while other keys pressed meanwhile wait for its end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "live_backend.h"
#include "runtime/journal_sink.h"

namespace marula {
namespace {

using test::key;
using test::LiveBackend;
using test::make_live_runtime;
using test::Planned;
using test::typed;
using test::When;

// A sink that keeps the recorded lines in memory.
class LinesSink final : public JournalSink {
public:
    explicit LinesSink(std::vector<std::string>& lines) : lines_(lines) {}
    std::optional<std::string> record(std::string_view line) override {
        lines_.emplace_back(line);
        return std::nullopt;
    }
    std::optional<std::string> amend(long, std::string_view) override { return std::nullopt; }
    std::optional<std::string> record_answer(std::string_view, std::string_view) override { return std::nullopt; }
    std::optional<std::string> withdraw(long) override { return std::nullopt; }
    void ended(RunEnding, long) override {}

private:
    std::vector<std::string>& lines_;
};

InputEvent typed_line(std::string text) {
    InputEvent ev;
    ev.type = InputEvent::Type::TypeLine;
    ev.text = std::move(text);
    return ev;
}

TEST(LineEntry, ControlCharactersTypedAreDroppedWithOrWithoutAJournal) {
    struct Case {
        std::vector<std::string> pieces;  // typed one after another, then Enter
        const char* value;
    } const cases[] = {
        {{"T1"}, "T1"},
        {{"境界", "①"}, "境界①"},
        {{"T", "\x1B]0;owned\x07", "1"}, "T]0;owned1"},  // a terminal title change
        {{"A\tB", "\r\n"}, "AB"},
        {{"\xC2\x9B", "31m"}, "31m"},  // C1 CSI
        {{"\xC2\xA0x"}, "\xC2\xA0x"},  // U+00A0 is no control
    };
    for (const Case& c : cases) {
        for (const bool journaled : {false, true}) {
            SCOPED_TRACE(std::string(c.value) + (journaled ? " journaled" : ""));
            std::vector<Planned> plan;
            for (const std::string& piece : c.pieces) plan.push_back({typed(piece)});
            plan.push_back({key(Key::Enter)});
            LiveBackend* live = nullptr;
            auto rt = make_live_runtime(plan, live);
            ASSERT_TRUE(rt);
            std::vector<std::string> lines;
            if (journaled) rt->set_journal(std::make_unique<LinesSink>(lines));
            rt->locate(0, 23);
            EXPECT_EQ(rt->input_text("点名は "), c.value);
            if (journaled) {
                EXPECT_EQ(lines, std::vector<std::string>{"type " + std::string(c.value)});
            }
        }
    }
}

TEST(Replay, EscapeInAWindowStopsAReplayAndOtherKeysWaitForItsEnd) {
    struct Case {
        const char* what;
        std::vector<Planned> plan;        // pressed during the replay of 1, 2, 3
        std::vector<std::string> values;  // what the four entries take
    } const cases[] = {
        {"Escape once the first entry is replayed",
         {{key(Key::Escape), When::Any, "A 1"}, {typed("9")}, {key(Key::Enter)}, {typed("8")}, {key(Key::Enter)}},
         {"1", "9", "8"}},
        {"typing during the replay",
         {{typed("7"), When::DuringWait}, {key(Key::Enter), When::DuringWait}},
         {"1", "2", "3", "7"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LiveBackend* live = nullptr;
        auto rt = make_live_runtime(c.plan, live);
        ASSERT_TRUE(rt);
        rt->start_replay({typed_line("1"), typed_line("2"), typed_line("3")});
        std::vector<std::string> taken;
        for (std::size_t i = 0; i < c.values.size(); ++i) {
            rt->locate(0, 10 + int(i));
            ASSERT_NO_THROW(taken.push_back(rt->input_text(std::string(1, char('A' + i)) + " ")));
        }
        EXPECT_EQ(taken, c.values);
        EXPECT_FALSE(rt->replaying());
        EXPECT_FALSE(rt->replay_pending());
        EXPECT_EQ(live->left(), 0u);
    }
}

}  // namespace
}  // namespace marula
