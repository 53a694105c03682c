// The runtime's journal capture, driven as a window drives it (characters,
// Backspace and Enter one by one): a line entry is kept as the line it
// made, function keys and double-clicks as they come, typing that no entry
// takes is not kept, and an answer taken from an offer replaces the empty
// line recorded for it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "live_backend.h"
#include "runtime/journal_sink.h"

namespace marula {
namespace {

using test::key;
using test::LiveBackend;
using test::make_live_runtime;
using test::typed;

struct Kept {
    std::vector<std::string> lines;
    std::optional<RunEnding> ending;
    long replayable = -1;
};

// A sink that keeps the lines in memory, as the job's journal keeps rows.
class MemorySink final : public JournalSink {
public:
    explicit MemorySink(Kept& kept) : kept_(kept) {}
    std::optional<std::string> record(std::string_view line) override {
        kept_.lines.emplace_back(line);
        return std::nullopt;
    }
    std::optional<std::string> amend(long index, std::string_view line) override {
        kept_.lines.at(std::size_t(index)) = std::string(line);
        return std::nullopt;
    }
    std::optional<std::string> withdraw(long index) override {
        if (std::size_t(index) + 1 != kept_.lines.size()) return "not the last line";
        kept_.lines.pop_back();
        return std::nullopt;
    }
    std::optional<std::string> record_answer(std::string_view, std::string_view) override { return std::nullopt; }
    void ended(RunEnding ending, long replayable) override {
        kept_.ending = ending;
        kept_.replayable = replayable;
    }

private:
    Kept& kept_;
};

InputEvent double_click(int x, int y) {
    InputEvent ev;
    ev.type = InputEvent::Type::DoubleClick;
    ev.x = x;
    ev.y = y;
    return ev;
}

TEST(JournalCapture, KeepsLinesAsTakenAndKeysAsTheyCome) {
    LiveBackend* live = nullptr;
    auto rt = make_live_runtime({{typed("T")}, {typed("2")}, {key(Key::Backspace)}, {typed("1")}, {key(Key::F3)},
                                 {key(Key::Enter)},  // the entry's line: T1 (F3 waits for its turn)
                                 {typed("stray")}, {key(Key::Enter)},  // typing no entry takes
                                 {double_click(400, 100)},
                                 {key(Key::Enter)},  // an empty answer the program takes as an offer
                                 {typed("12.5")}, {key(Key::Enter)}},
                                live);
    ASSERT_NE(rt, nullptr);
    Kept kept;
    rt->set_journal(std::make_unique<MemorySink>(kept));
    rt->key_trap(3, Trap::On);
    rt->mouse_trap(Trap::On);
    EXPECT_EQ(rt->input_text("name "), "T1");
    auto f3 = rt->wait_event();
    ASSERT_TRUE(f3);
    EXPECT_EQ(f3->key, 3);
    auto click = rt->wait_event();
    ASSERT_TRUE(click);
    EXPECT_EQ(click->type, Event::Type::DoubleClick);
    EXPECT_EQ(rt->input_number("x ", 1234.5), 1234.5);
    rt->answer_taken_as("1234.5");
    EXPECT_EQ(rt->input_number("y "), 12.5);
    const std::vector<std::string> expected = {"key F3", "type T1", "dblclick 400 100", "type 1234.5", "type 12.5"};
    EXPECT_EQ(kept.lines, expected);
    EXPECT_FALSE(kept.ending);
}

// A range typed as one line is kept as the lines it stands for: the typed
// line becomes the first name, the program's own answers follow as typed
// lines, and a line that entered nothing is taken back.
TEST(JournalCapture, AnswersTheProgramGivesItselfAreKeptAsTyped) {
    LiveBackend* live = nullptr;
    auto rt = make_live_runtime({{typed("K1..K2")}, {key(Key::Enter)}, {typed("K8..K9")}, {key(Key::Enter)},
                                 {typed("*")}, {key(Key::Enter)}},
                                live);
    ASSERT_NE(rt, nullptr);
    Kept kept;
    rt->set_journal(std::make_unique<MemorySink>(kept));
    EXPECT_EQ(rt->input_text("? "), "K1..K2");
    rt->answer_taken_as("K1");
    for (const char* supplied : {"1.000", "2.000", "K2", "3.000", "4.000"}) rt->answer_supplied(supplied);
    EXPECT_EQ(rt->input_text("? "), "K8..K9");
    rt->answer_withdrawn();
    rt->answer_withdrawn();  // once only: the line before it was no answer of this entry
    EXPECT_EQ(rt->input_text("? "), "*");
    const std::vector<std::string> expected = {"type K1", "type 1.000", "type 2.000", "type K2",
                                               "type 3.000", "type 4.000", "type *"};
    EXPECT_EQ(kept.lines, expected);
}

TEST(JournalCapture, AReplayComesFirstAndPrintsNothing) {
    // A replay feeds its events first, beeps nothing and prints nothing;
    // the program then carries on with the backend's input.
    const auto out = std::filesystem::temp_directory_path() / ("journal-capture-" + std::to_string(::getpid()));
    std::filesystem::create_directories(out);
    ::setenv("MARULA_OUT", out.c_str(), 1);
    LiveBackend* live = nullptr;
    auto rt = make_live_runtime({{typed("B")}, {key(Key::Enter)}}, live);
    ::unsetenv("MARULA_OUT");
    ASSERT_NE(rt, nullptr);
    InputEvent line;
    line.type = InputEvent::Type::TypeLine;
    line.text = "A";
    rt->start_replay({line});
    EXPECT_TRUE(rt->replaying());
    EXPECT_EQ(rt->input_text("? "), "A");
    rt->lprint("page");
    rt->form_feed();  // still the replay's: the program has not asked past it
    EXPECT_FALSE(std::filesystem::exists(out / "print-1.txt"));
    EXPECT_EQ(rt->input_text("? "), "B");
    EXPECT_FALSE(rt->replaying());
    std::filesystem::remove_all(out);
}

}  // namespace
}  // namespace marula
