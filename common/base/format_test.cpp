#include "base/format.h"

#include "cp932_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace marula {
namespace {

struct UsingCase {
    const char* what;
    std::string format;
    std::vector<UsingArg> args;
    std::string expected;
};

void PrintTo(const UsingCase& c, std::ostream* os) { *os << c.what << " \"" << c.format << '"'; }

class FormatUsing : public testing::TestWithParam<UsingCase> {};

TEST_P(FormatUsing, GivesExpectedText) {
    const UsingCase& c = GetParam();
    EXPECT_EQ(format_using(c.format, c.args), c.expected) << c.what;
}

const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(Rounding, FormatUsing, testing::Values(
    // Decided on the binary value: 1.0005 is stored just below the half,
    // 2.0005 and 0.0005 just above it.
    UsingCase{"binary below half", "#.###", {1.0005}, "1.000"},
    UsingCase{"binary above half", "#.###", {2.0005}, "2.001"},
    UsingCase{"small above half", "#.###", {0.0005}, "0.001"},
    UsingCase{"2.675 is below", "#.##", {2.675}, "2.67"},
    UsingCase{"9.9995 stays under ten", "#.###", {9.9995}, "9.999"},
    UsingCase{"1234.5675 is above", "####.###", {1234.5675}, "1234.568"},
    // Exact ties go away from zero, not to even.
    UsingCase{"exact tie up", "#.##", {0.125}, "0.13"},
    UsingCase{"exact tie negative", "##.##", {-0.125}, "-0.13"},
    UsingCase{"integer tie 2.5", "###", {2.5}, "  3"},
    UsingCase{"integer tie -2.5", "###", {-2.5}, " -3"},
    UsingCase{"half rounds to one", "###", {0.5}, "  1"},
    UsingCase{"just below half", "###", {0.49999999999999994}, "  0"},
    UsingCase{"deep exact tie", "#.#########", {0.0009765625}, "0.000976563"},
    UsingCase{"smallest double", "#.###", {5e-324}, "0.000"},
    UsingCase{"carry through nines", "###.##", {99.995}, "100.00"},
    UsingCase{"carry into new digit", "####", {999.5}, "1000"}));

INSTANTIATE_TEST_SUITE_P(SignsAndZero, FormatUsing, testing::Values(
    UsingCase{"negative takes a place", "####.###", {-12.3456}, " -12.346"},
    UsingCase{"misclosure X", "##.###", {-0.009}, "-0.009"},
    UsingCase{"misclosure Y", "##.###", {0.008}, " 0.008"},
    UsingCase{"negative zero", "##.###", {-0.0}, " 0.000"},
    UsingCase{"rounds to zero from below", "##.###", {-0.0003}, " 0.000"},
    UsingCase{"zero integer field", "###", {0.0}, "  0"},
    UsingCase{"leading zero gives way", "#.##", {-0.5}, "-.50"},
    UsingCase{"no integer places", ".##", {0.25}, ".25"},
    UsingCase{"minus fills the field", "##", {-5.0}, "-5"}));

INSTANTIATE_TEST_SUITE_P(Overflow, FormatUsing, testing::Values(
    UsingCase{"integer too wide", "####", {12345.0}, "%12345"},
    UsingCase{"decimals kept", "##.###", {123.4567}, "%123.457"},
    UsingCase{"negative too wide", "##", {-10.0}, "%-10"},
    UsingCase{"precision ratio", "#######", {12000000000.0}, "%12000000000"},
    UsingCase{"overflow by rounding", "#.###", {9.9996}, "%10.000"},
    UsingCase{"huge value whole", "####", {1e20}, "%100000000000000000000"},
    UsingCase{"not a number", "##.#", {kNaN}, "****"},
    UsingCase{"infinity", "####", {-kInf}, "****"}));

INSTANTIATE_TEST_SUITE_P(TextFields, FormatUsing, testing::Values(
    UsingCase{"padded", "&    &", {std::string("P1")}, "P1    "},
    UsingCase{"cut", "&    &", {std::string("ABCDEFGH")}, "ABCDEF"},
    UsingCase{"kanji fit exactly", "&    &", {std::string("測点１２")}, "測点１"},
    UsingCase{"kanji not split", "&    &", {std::string("Aあいう")}, "Aあい "},
    UsingCase{"half-width kana one column", "&    &", {std::string("ｱｲｳｴｵｶｷ")}, "ｱｲｳｴｵｶ"},
    UsingCase{"seven wide", "&     &", {std::string("No.12")}, "No.12  "},
    UsingCase{"empty name", "[&  &]", {std::string()}, "[    ]"},
    UsingCase{"lone ampersand is copied", "A & B ##", {3.0}, "A & B  3"},
    UsingCase{"number into text field", "&  &", {5.0}, "?   "},
    UsingCase{"text into number field", "###", {std::string("abc")}, "  ?"}));

INSTANTIATE_TEST_SUITE_P(Layouts, FormatUsing, testing::Values(
    UsingCase{"unit-marked angle", "###°##′##″", {20.0, 25.0, 12.0}, " 20°25′12″"},
    UsingCase{"wide unit-marked angle", "####°##′##″", {359.0, 5.0, 0.0}, " 359° 5′ 0″"},
    UsingCase{"blank-separated angle", "### ## ##", {359.0, 59.0, 59.0}, "359 59 59"},
    UsingCase{"summary line",
              "  精度１：#######  距離計####.###  角誤差####秒 Ｘ誤差##.###  Ｙ誤差##.###  ",
              {16667.0, 200.0, 10.0, -0.009, 0.008},
              "  精度１：  16667  距離計 200.000  角誤差  10秒 Ｘ誤差-0.009  Ｙ誤差 0.008  "},
    UsingCase{"distance line", "&    &～ &    &   L=####.###",
              {std::string("K1"), std::string("P2"), 141.4213562},
              "K1    ～ P2       L= 141.421"},
    UsingCase{"names inside full-width text", "方向角（&    &から&    &）",
              {std::string("A"), std::string("B")}, "方向角（A     からB     ）"},
    UsingCase{"full-width blank between fields", "   ####.###　####.###", {1.5, -2.25}, "      1.500　  -2.250"},
    UsingCase{"seven decimals", "隅 切 面 積######.#######", {12.5}, "隅 切 面 積    12.5000000"},
    UsingCase{"format used again", "####", {1.0, 2.0, 3.0}, "   1   2   3"},
    UsingCase{"again with literals", "A## ", {1.0, 2.0}, "A 1 A 2 "},
    UsingCase{"stops where values run out", "X=###.# Y=###.#", {1.0}, "X=  1.0 Y="},
    UsingCase{"no values: text to the first field", "Sum ###", {}, "Sum "},
    UsingCase{"no fields: copied once", "abc", {1.0}, "abc"}));

struct WidthCase {
    const char* text;
    int width;
};

// Test names stay printable UTF-8: invalid bytes and control characters
// are named by '?'.
std::string printable(std::string_view text) {
    std::string out;
    for (const std::string& ch : split_chars(text)) out += static_cast<unsigned char>(ch[0]) < 0x20 ? "?" : ch;
    return out;
}

void PrintTo(const WidthCase& c, std::ostream* os) { *os << '"' << printable(c.text) << '"'; }

class DisplayWidth : public testing::TestWithParam<WidthCase> {};

TEST_P(DisplayWidth, CountsShiftJisBytes) {
    EXPECT_EQ(display_width(GetParam().text), GetParam().width) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, DisplayWidth, testing::Values(
    WidthCase{"", 0},
    WidthCase{"ABC 12.5", 8},
    WidthCase{"ｱｲｳ", 3},        // half-width katakana
    WidthCase{"漢字", 4},
    WidthCase{"１２．５", 8},    // full-width digits and point
    WidthCase{"－", 2},
    WidthCase{"−", 2},           // U+2212 shares the full-width minus
    WidthCase{"°′″", 6},
    WidthCase{"測点ｱ1", 6},
    WidthCase{"\t", 1},          // control characters stay one column
    WidthCase{"é", 2},           // not in Shift-JIS
    WidthCase{"\xF0\x9F\x98\x80", 2},
    WidthCase{"A\xFF" "B", 3},   // an invalid byte shows as one '?'
    WidthCase{"\xE6\xB8", 2}));   // a cut-off sequence: two stray bytes

// The width rule stands in for asking the code page: it must agree with
// the system's CP932 converter on every character there is.
TEST(CharWidth, AgreesWithTheCodePageEverywhere) {
    Cp932Converter cp932;
    std::string disagreements;
    for (char32_t cp = 0x20; cp <= 0x10FFFF; ++cp) {
        if ((cp >= 0x7F && cp < 0xA0) || (cp >= 0xD800 && cp <= 0xDFFF)) continue;  // controls, surrogates
        const int expected = cp932.bytes(cp) == 1 ? 1 : 2;
        if (char_width(cp) != expected && disagreements.size() < 200) disagreements += code_point_name(cp);
    }
    EXPECT_EQ(disagreements, "");
}

TEST(SplitChars, InvalidBytesBecomeQuestionMarks) {
    const std::vector<std::string> expected{"A", "測", "?", "ｱ", "?", "?"};
    EXPECT_EQ(split_chars("A測\x80ｱ\xC0\xAF"), expected);  // stray continuation, overlong '/'
}

// Texts fitted to a number of columns keep whole characters: the start for
// a notice, the end (after "…") for a folder.
TEST(FitToWidth, KeepsWholeCharactersAtEitherEnd) {
    struct Case { std::string text; int columns; std::string start, end; };
    const Case cases[] = {
        {"/home/u/jobs", 12, "/home/u/jobs", "/home/u/jobs"},
        {"/a/神南一丁目", 8, "/a/神南", "…一丁目"},
        {"abc測", 4, "abc", "…測"},
        {"測ab", 3, "測a", "…b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text + " in " + std::to_string(c.columns));
        EXPECT_EQ(cut_to_width(c.text, c.columns), c.start);
        EXPECT_EQ(end_to_width(c.text, c.columns), c.end);
        EXPECT_LE(display_width(end_to_width(c.text, c.columns)), c.columns);
    }
}

// A report SQLite wrote over several lines (its problem text holds line
// feeds) takes a row a line, and no row holds a control character that
// would move the cursor on the screen.
TEST(WrapToRows, ARowForEachLineAndNoControlCharacter) {
    struct Case {
        const char* what;
        std::string text;
        int columns, indent;
        std::vector<std::string> rows;
    } const cases[] = {
        {"fits", "  ok", 10, 4, {"  ok"}},
        {"cut where full", "abcdefghij", 4, 1, {"abcd", " efg", " hij"}},
        {"wide characters cut whole", "測量測量", 5, 0, {"測量", "測量"}},
        {"a line each",
         "  *** in database main ***\nPage 615: btreeInitPage() returns error code 11",
         40,
         4,
         {"  *** in database main ***", "    Page 615: btreeInitPage() returns er", "    ror code 11"}},
        {"an empty line keeps its row", "a\n\nb", 10, 2, {"a", "  ", "  b"}},
        {"a last line feed makes no row", "a\n", 10, 2, {"a"}},
        {"other controls become blanks", "a\tb\r\x1B[2Jc\x7F\u0085d", 20, 0, {"a b  [2Jc  d"}},
    };
    for (const Case& c : cases) {
        const std::vector<std::string> rows = wrap_to_rows(c.text, c.columns, c.indent);
        EXPECT_EQ(rows, c.rows) << c.what;
        for (const std::string& row : rows) EXPECT_LE(display_width(row), c.columns) << c.what;
    }
}

TEST(AppendChar, EncodesWhatDecodeCharReads) {
    for (char32_t cp : {U'A', U'\x7F', U'\x80', U'\xA5', U'\x7FF', U'\x800', U'\x6E2C', U'\xFF71', U'\xFFFF',
                        U'\x10000', U'\x1F600', U'\x10FFFF'}) {
        std::string utf8;
        append_char(utf8, cp);
        EXPECT_EQ(decode_char(utf8), cp) << std::hex << unsigned(cp);
        EXPECT_EQ(split_chars(utf8).size(), 1u);
    }
    for (char32_t bad : {U'\xD800', char32_t(0x110000)}) {
        std::string utf8;
        append_char(utf8, bad);
        EXPECT_EQ(utf8, "\xEF\xBF\xBD");  // U+FFFD
    }
}

TEST(DecodeChar, GivesCodePointsOrReplacement) {
    struct Case {
        const char* text;
        char32_t cp;
    };
    for (const Case& c : {Case{"A", U'A'}, Case{"ｱ", U'\xFF71'}, Case{"測", U'\x6E2C'},
                          Case{"\xF0\x9F\x98\x80", U'\x1F600'}, Case{"\xED\xA0\x80", U'\xFFFD'},
                          Case{"\xC3", U'\xFFFD'}, Case{"", U'\xFFFD'}})
        EXPECT_EQ(decode_char(c.text), c.cp) << c.text;
}

struct ParseCase {
    const char* text;
    std::optional<double> value;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << '"' << printable(c.text) << '"'; }

class ParseNumber : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumber, AcceptsWholeDecimalNumbersOnly) {
    const ParseCase& c = GetParam();
    const std::optional<double> got = parse_number(c.text);
    ASSERT_EQ(got.has_value(), c.value.has_value()) << c.text;
    if (got) {
        EXPECT_EQ(*got, *c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Accepted, ParseNumber, testing::Values(
    ParseCase{"20.2512", 20.2512},
    ParseCase{"1e300", 1e300},
    ParseCase{" 12.5 ", 12.5},
    ParseCase{"-0", -0.0},
    ParseCase{"+3", 3.0},
    ParseCase{".5", 0.5},
    ParseCase{"5.", 5.0},
    ParseCase{"1E3", 1000.0},
    ParseCase{"2.5e-3", 0.0025},
    ParseCase{"１２．５", 12.5},
    ParseCase{"－３", -3.0},
    ParseCase{"−3", -3.0},
    ParseCase{"ー3", -3.0},
    ParseCase{"＋１Ｅ２", 100.0},
    ParseCase{"　１００　", 100.0},
    ParseCase{"\t7\t", 7.0}));

INSTANTIATE_TEST_SUITE_P(Refused, ParseNumber, testing::Values(
    ParseCase{"", std::nullopt},
    ParseCase{"   ", std::nullopt},
    ParseCase{"abc", std::nullopt},
    ParseCase{"1..2", std::nullopt},
    ParseCase{"inf", std::nullopt},
    ParseCase{"nan", std::nullopt},
    ParseCase{"0x10", std::nullopt},
    ParseCase{"1e999", std::nullopt},
    ParseCase{"-1e999", std::nullopt},
    ParseCase{"1e", std::nullopt},
    ParseCase{".", std::nullopt},
    ParseCase{"-", std::nullopt},
    ParseCase{"+-3", std::nullopt},
    ParseCase{"1 2", std::nullopt},
    ParseCase{"12a", std::nullopt},
    ParseCase{"1,5", std::nullopt},
    ParseCase{"1.2.3", std::nullopt},
    ParseCase{"\xFF" "1", std::nullopt}));

TEST(ParseNumberSign, NegativeZeroKeepsItsSign) {
    const std::optional<double> v = parse_number("-0");
    ASSERT_TRUE(v.has_value());
    EXPECT_TRUE(std::signbit(*v));
}

}  // namespace
}  // namespace marula
