// The launcher keeps a key pressed while a menu is wiped and drawn, and
// handles it once the menu stands. Driven through a backend that hands out
// events during a WAIT, as a window does.
#include <gtest/gtest.h>

#include "launcher.h"
#include "live_backend.h"

namespace marula::test {
namespace {

TEST(LauncherTypeahead, AKeyPressedWhileTheSubMenuIsWipedIsHandledOnceItStands) {
    LiveBackend* live = nullptr;
    auto rt = make_live_runtime(
        {
            // F3 in the main menu, then F5 (back) 0.1 s later, while the
            // sub-menu is still being wiped in.
            {key(Key::F3), When::Any, "キ－ボ－ド選択では"},
            {key(Key::F5), When::DuringWait},
        },
        live);
    ASSERT_TRUE(rt);
    LaunchSettings launch;
    launch.script_mode = true;  // and no MARULA_JOB: no job
    Session session(*rt, ProgramKind::launcher, launch);
    EXPECT_THROW(run_launcher(*rt, session), LiveBackend::Exhausted);
    EXPECT_EQ(live->left(), 0u);
    const std::string screen = rt->text_dump();
    // Back in the main menu, the sub-menu's prompt gone.
    EXPECT_NE(screen.find("Ｆ１、Ｆ２、Ｆ３、Ｆ４キ－のいずれかを押して下さい。"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("【Ｆ１、Ｆ２、またはＦ５キ－を押して下さい。】"), std::string::npos) << screen;
}

}  // namespace
}  // namespace marula::test
