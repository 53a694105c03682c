// The key loop as a window drives it: a function key pressed while the
// notice of a finished print or hard copy stands is acted on after it (it
// used to be dropped, and the next key did the wrong thing), while keys
// pressed during a correction's questions are still dropped. The events
// come from a backend that hands them out while the runtime waits.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "frame/key_bar.h"
#include "frame/report.h"
#include "frame/screen.h"
#include "live_backend.h"
#include "temp_folder.h"

namespace marula::test {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* what;
    std::vector<Planned> plan;
    bool file_sheets = false;           // sheets filed in a job's reports folder
    bool out_folder_exists = true;      // false: the page cannot be saved (a notice that waits)
    std::vector<std::string> expected;  // the actions run, in order
};

TEST(KeyLoop, AFunctionKeyPressedDuringAPrintsNoticeActsAfterIt) {
    const std::vector<Case> cases = {
        {"F2 during the refusal of a print, without a job",
         {{key(Key::F4)}, {key(Key::F2), When::DuringWait, "印刷できません"}},
         false, false, {"print", "plot"}},
        {"F2 during the refusal of a hard copy",
         {{key(Key::F3)}, {key(Key::F2), When::DuringWait, "画面印刷できません"}},
         false, false, {"plot"}},
        {"two keys during the notice keep their order",
         {{key(Key::F4)},
          {key(Key::F5), When::DuringWait, "印刷できません"},
          {key(Key::F2), When::DuringWait, "印刷できません"}},
         false, false, {"print", "redisplay", "plot"}},
        {"F2 while the filed sheet's notice stands, with a job",
         {{key(Key::F4)}, {key(Key::F2), When::Any, "帳票を現場に保存しました：test-20261209-001.pdf"}},
         true, true, {"print", "plot"}},
        {"keys during a correction's questions are dropped",
         {{key(Key::F1)},
          {typed("abc")},
          {key(Key::Enter)},
          {key(Key::F2), When::DuringWait, "数値ではありません"},
          {key(Key::F2)},
          {typed("5")},
          {key(Key::Enter)}},
         false, true, {"correct 5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test_support::TempFolder folder("marula-key-loop");
        const fs::path out = folder.path() / "out";
        if (c.out_folder_exists) fs::create_directories(out);
        ::setenv("MARULA_OUT", out.c_str(), 1);
        ::setenv("MARULA_DATE", "2026/12/09", 1);
        LiveBackend* live = nullptr;
        auto rt = make_live_runtime(c.plan, live);
        ASSERT_TRUE(rt);
        if (c.out_folder_exists) live->never_send_to_printer();  // a saved page goes no further
        if (c.file_sheets) rt->file_sheets_in(folder.path() / "reports");
        start_screen(*rt);

        std::vector<std::string> done;
        std::string prompt_row_at_plot;
        KeyActions actions;
        actions.print = [&] {
            begin_report(*rt, table_report("  試験", "  By MARULA "));
            rt->lprint("line");
            end_report(*rt);
            done.push_back("print");
        };
        actions.plot = [&] {
            const std::string dump = rt->text_dump();
            prompt_row_at_plot = dump.substr(dump.rfind('\n', dump.size() - 2) + 1);
            done.push_back("plot");
        };
        actions.redisplay = [&] { done.push_back("redisplay"); };
        actions.correct = [&] {
            rt->locate(0, kPromptRow);
            done.push_back("correct " + format_using("#", {rt->input_number("正しい距離は ")}));
        };
        EXPECT_THROW(run_key_loop(*rt, KeyBar::Table, actions), LiveBackend::Exhausted);
        EXPECT_EQ(done, c.expected);
        EXPECT_EQ(live->left(), 0u) << "a planned key never came";
        if (c.file_sheets) {
            EXPECT_TRUE(fs::exists(folder.path() / "reports" / "test-20261209-001.pdf"));
            // The key that ended the notice found the key bar under it.
            EXPECT_NE(prompt_row_at_plot.find("F2画像表示"), std::string::npos) << prompt_row_at_plot;
        }
    }
}

}  // namespace
}  // namespace marula::test
