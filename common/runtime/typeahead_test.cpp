// Typing ahead: what a fast typist types while a notice or a WAIT is showing
// is kept, in order, for the next entry; function keys keep their own rules.
// Driven through a backend that hands out events during a WAIT, as a
// window does (script mode cannot show this: its time does not pass).
#include <gtest/gtest.h>

#include "live_backend.h"

namespace marula::test {
namespace {

TEST(Typeahead, ANumberTypedDuringTheRefusalNoticeIsTakenWhole) {
    LiveBackend* live = nullptr;
    auto rt = make_live_runtime(
        {
            {typed("abc")},
            {key(Key::Enter)},
            // The notice is still showing: the next number is typed, with a
            // slip mended by Backspace.
            {typed("1234"), When::DuringWait},
            {typed("9"), When::DuringWait},
            {key(Key::Backspace), When::DuringWait},
            {typed(".567"), When::DuringWait},
            {key(Key::Enter), When::DuringWait},
        },
        live);
    ASSERT_TRUE(rt);
    rt->locate(0, 23);
    double value = 0;
    ASSERT_NO_THROW(value = rt->input_number("Ｘ座標は ")) << "the typing was thrown away";
    EXPECT_EQ(value, 1234.567);
    EXPECT_EQ(live->left(), 0u);
}

TEST(Typeahead, TypingDuringAWaitGoesToTheNextEntryAndFunctionKeysToTheirTraps) {
    LiveBackend* live = nullptr;
    auto rt = make_live_runtime(
        {
            {typed("P"), When::DuringWait},
            {key(Key::F2), When::DuringWait},  // bound: handled after the entry
            {typed("1"), When::DuringWait},
            {key(Key::F3), When::DuringWait},  // off: dropped
            {typed("0"), When::DuringWait},
            {key(Key::Enter), When::DuringWait},
            {typed("K2"), When::DuringWait},
            {key(Key::Enter), When::DuringWait},
        },
        live);
    ASSERT_TRUE(rt);
    rt->key_trap(2, Trap::On);
    rt->wait(30);
    rt->console(23, 1);
    rt->locate(0, 23);
    std::string first, second;
    ASSERT_NO_THROW(first = rt->input_text("点名は ")) << "the typing was thrown away";
    EXPECT_EQ(first, "P10");
    rt->locate(0, 23);
    ASSERT_NO_THROW(second = rt->input_text("点名は "));
    EXPECT_EQ(second, "K2");
    auto pressed = rt->wait_event();
    ASSERT_TRUE(pressed);
    EXPECT_EQ(pressed->key, 2);
    EXPECT_THROW(rt->wait_event(), LiveBackend::Exhausted) << "F3 was off and must have been dropped";
}

}  // namespace
}  // namespace marula::test
