// Outside text shown so that it can neither break a line nor steer a
// terminal, and quoted short without splitting a character.
#include "base/printable.h"

#include <gtest/gtest.h>

namespace marula {
namespace {

TEST(Printable, ShowsEveryControlCharacterAsItsCode) {
    struct Case {
        std::string text;
        const char* shown;
    };
    const Case cases[] = {
        {"T1", "T1"},
        {"境界①", "境界①"},
        {"\x1B]0;owned\x07T1", "\\x1B]0;owned\\x07T1"},        // a terminal title change
        {"a\tb\nc\r", "a\\x09b\\x0Ac\\x0D"},                     // a forged line
        {std::string("a\0b", 3), "a\\x00b"},
        {"x\x7F", "x\\x7F"},
        {"\xC2\x9B" "31m", "\\x9B31m"},                          // C1 CSI as UTF-8
        {"\xC2\xA0", "\xC2\xA0"},                                // U+00A0 is no control
        {"\x82\xA0", "\\x82\\xA0"},                              // CP932 bytes in a file name
        {"\xE3\x81", "\\xE3\\x81"},                              // a character cut short
        {"\xC0\x8A", "\\xC0\\x8A"},                              // an overlong line feed
        {"C:\\x1B", "C:\\x1B"},                                  // a backslash stays as it is
    };
    for (const Case& c : cases) EXPECT_EQ(printable(c.text), c.shown) << c.shown;
}

TEST(Printable, QuotesAtMostFortyBytesAndNeverHalfACharacter) {
    struct Case {
        std::string text;
        std::size_t max_bytes;
        const char* shown;
    };
    const Case cases[] = {
        {std::string(40, 'a'), 40, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
        {std::string(41, 'a'), 40, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa…"},
        {"境界境界", 7, "境界…"},      // the third kanji would need bytes 7–9
        {"境界境界", 9, "境界境…"},
        {"ab\x1B[2J", 4, "ab\\x1B[…"}, // the escape shown, the cut counted on the field
        {"\xFF\xFF\xFF", 2, "\\xFF\\xFF…"},
        {"", 40, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(printable_quote(c.text, c.max_bytes), c.shown) << c.shown;
}

// What a line entry keeps of typing, and whether a journaled line could
// have been typed at all.
TEST(Printable, TypingKeepsAllButControlCharacters) {
    struct Case {
        std::string typed;
        const char* kept;
        bool printable;
    };
    const Case cases[] = {
        {"T1", "T1", true},
        {"境界①　1", "境界①　1", true},
        {"\x1B]0;owned\x07T1", "]0;ownedT1", false},
        {"a\tb\nc\r", "abc", false},
        {std::string("a\0b", 3), "ab", false},
        {"x\x7F", "x", false},
        {"\xC2\x9B" "31m", "31m", false},
        {"\xC2\xA0", "\xC2\xA0", true},
        {"\x82\xA0", "\x82\xA0", false},  // stray bytes are kept, but not printable as they are
        {"C:\\x1B", "C:\\x1B", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(without_control_characters(c.typed), c.kept) << printable(c.typed);
        EXPECT_EQ(is_printable(c.typed), c.printable) << printable(c.typed);
        EXPECT_EQ(is_printable(c.typed), printable(c.typed) == c.typed) << printable(c.typed);
    }
}

}  // namespace
}  // namespace marula
