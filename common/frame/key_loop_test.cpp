// The key loop as a window drives it (events handed out while the runtime
// waits): a function key pressed during a print's notice acts after it;
// one pressed during a correction's questions is still dropped.
#include <gtest/gtest.h>

#include <cstdlib>

#include "frame/key_bar.h"
#include "frame/report.h"
#include "live_backend.h"

namespace marula::test {
namespace {

TEST(KeyLoop, AFunctionKeyPressedDuringAPrintsNoticeActsAfterIt) {
    // The print folder is missing, so the print's notice (a refusal) waits.
    ::setenv("MARULA_OUT", "/nonexistent/marula-key-loop", 1);
    const std::vector<std::pair<std::vector<Planned>, std::vector<std::string>>> cases = {
        {{{key(Key::F4)}, {key(Key::F2), When::DuringWait, "印刷できません"}}, {"print", "plot"}},
        {{{key(Key::F1)}, {typed("x")}, {key(Key::Enter)}, {key(Key::F2), When::DuringWait, "数値ではありません"},
          {key(Key::F2)}, {typed("5")}, {key(Key::Enter)}},
         {"correct"}},
    };
    for (const auto& [plan, expected] : cases) {
        LiveBackend* live = nullptr;
        auto rt = make_live_runtime(plan, live);
        ASSERT_TRUE(rt);
        std::vector<std::string> done;
        KeyActions actions;
        actions.print = [&] {
            begin_report(*rt, table_report("  試験", "  By MARULA "));
            end_report(*rt);
            done.push_back("print");
        };
        actions.plot = [&] { done.push_back("plot"); };
        actions.correct = [&] {
            rt->locate(0, kPromptRow);
            rt->input_number("正しい距離は ");
            done.push_back("correct");
        };
        EXPECT_THROW(run_key_loop(*rt, KeyBar::Table, actions), LiveBackend::Exhausted);
        EXPECT_EQ(done, expected);
        EXPECT_EQ(live->left(), 0u) << "a planned key never came";
    }
}

}  // namespace
}  // namespace marula::test
