// Every numeric prompt of the twelve programs, driven in script mode: the
// values just outside its bounds are refused (the question stands again
// with nothing stored), and the first value inside them is taken.
//
// Each row runs its program twice up to the prompt: once answering with the
// value inside the bounds, once typing every refused value first. The two
// runs must end on the same screen, with one beep more per refused value
// where a refusal beeps, so a refused value left nothing behind.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "script_run.h"

namespace marula::test {
namespace {

// What a prompt takes: the values refused and the value taken.
struct Bounds {
    std::vector<std::string> refused;
    std::string taken;
    bool refusal_beeps = true;  // a value notice beeps; the wrong-entry picture does not
};

// |v| < 1e8 m.
const Bounds kCoordinate{{"1e8", "-1e8", "1e300"}, "-99999999.999"};
// 0 <= d < 1e4 m, where a leg may have no length.
const Bounds kDistance{{"-0.001", "10000", "1e308", "-1e300"}, "0"};
// 0 < d < 1e4 m, where a leg must have a length.
const Bounds kLeg{{"0", "-0.001", "10000"}, "9999.999"};
// 0 < c < 1e4 m.
const Bounds kChord{{"0", "-0.001", "10000", "1e308"}, "9999.999"};
// |v| < 1e4 with minutes and seconds below 60; negatives read as directions.
const Bounds kAzimuth{{"10000", "-10000", "1e15", "20.6000", "-20.0060"}, "-9999.5959"};
const Bounds kAngle{{"10000", "-10000", "1e15", "20.6000", "20.0060"}, "9999.5959"};
// Correction numbers: whole numbers from 1 to `last`.
Bounds choice(int last, int taken) {
    return {{"0", std::to_string(last + 1), "1.5", "1e300"}, std::to_string(taken), false};
}

struct Prompt {
    const char* program;
    Lines before;        // the script that brings the prompt up
    std::string prompt;  // how row 23 starts while it is asked (after its blanks)
    Bounds bounds;
};

const Lines kF1 = {"key F1"};

// The traverses.
const Lines kLinkStart = typed({"B", "0", "K1", "1000", "1000", "P1", "90", "100", "K2", "270", "100", "F", "90.0010", "0"});
const Lines kLinkWhole = kLinkStart + typed({"900.010", "1099.995", "90"}) + kF1;
const Lines kLoopStart = typed({"BS", "180", "P0", "1000", "1000"});
const Lines kLoopWhole = kLoopStart +
                         typed({"P1", "270", "100", "P2", "270", "100", "P3", "270", "100", "P0", "270", "100", "*"}) +
                         kF1;
const Lines kOpenStart = typed({"BS", "0", "A", "1000", "1000"});
const Lines kOpenWhole = kOpenStart + typed({"B", "90", "100", "C", "180", "50", "*"}) + kF1;
// The inverses.
const Lines kChainWhole = typed({"A", "0", "0", "B", "10", "0", "C", "10", "10", "*"}) + kF1;
// The areas.
const Lines kAreaWhole = typed({"A", "0", "0", "B", "10", "0", "C", "10", "10", "*"}) + kF1;
const Lines kCornerWhole = typed({"", "10", "0", "", "0", "0", "", "0", "10", ""}) + kF1;
// The intersections.
const Lines kFourPoints = typed({"A", "0", "0", "B", "100", "100", "C", "0", "100", "D", "100", "0", "K"}) + kF1;
const Lines kTwoDirections = typed({"A", "0", "0", "45", "B", "0", "100", "135", "K"}) + kF1;
const Lines kOneDirection = typed({"A", "0", "0", "B", "100", "0", "C", "50", "50", "90", "K"}) + kF1;
const Lines kFootEntry = typed({"A", "0", "0", "B", "100", "0", "C", "50", "50", "K"});
const Lines kFoot = kFootEntry + kF1;
const Lines kFootNext = kFootEntry + Lines{"key F7", "type C2"};  // F7: the next point 3 on the same line

Lines take(const Lines& lines, int count) { return Lines(lines.begin(), lines.begin() + count); }

std::vector<Prompt> prompts() {
    std::vector<Prompt> p = {
        // Connecting traverse: entry, then the table's corrections.
        {"linktrav", take(kLinkStart, 6), "夾角は", kAngle},
        {"linktrav", take(kLinkStart, 7), "距離は（終了は０を入力）", kLeg},
        {"linktrav", take(kLinkStart, 10), "距離は（終了は０を入力）", kDistance},
        {"linktrav", kLinkStart, "K2のＸ座標は", kCoordinate},
        {"linktrav", kLinkStart + typed({"900.010"}), "K2のＹ座標は", kCoordinate},
        {"linktrav", kLinkStart + typed({"900.010", "1099.995"}), "K2からFへの方向角は", kAzimuth},
        {"linktrav", kLinkWhole + typed({"5", "0"}), "K1からBへの方向角は", kAzimuth},
        {"linktrav", kLinkWhole + typed({"5", "3"}), "K2からFへの方向角は", kAzimuth},
        {"linktrav", kLinkWhole + typed({"6", "0"}), "正しいＸ座標は", kCoordinate},
        {"linktrav", kLinkWhole + typed({"7", "2"}), "正しいＹ座標は", kCoordinate},
        // Closed traverse.
        {"looptrav", kLoopStart + typed({"P1"}), "夾角は", kAngle},
        {"looptrav", kLoopStart + typed({"P1", "270"}), "距離は", kDistance},
        {"looptrav", kLoopWhole + typed({"5"}), "方向角は", kAzimuth},
        {"looptrav", kLoopWhole + typed({"6"}), "正しいＸ座標は", kCoordinate},
        {"looptrav", kLoopWhole + typed({"7"}), "正しいＹ座標は", kCoordinate},
    };
    // The adjusted traverses start alike (the backsight's azimuth, then the
    // known station) and correct an angle or a leg alike; the connecting
    // traverse has one more row and never a leg of no length.
    struct Adjusted {
        const char* program;
        const Lines& start;
        const Lines& whole;
        const char* rows;  // the row after the last
        const Bounds& leg;
    };
    for (const Adjusted& t : {Adjusted{"linktrav", kLinkStart, kLinkWhole, "4", kLeg},
                              Adjusted{"looptrav", kLoopStart, kLoopWhole, "5", kDistance}}) {
        p.push_back({t.program, take(t.start, 1), "方向角は", kAzimuth});
        p.push_back({t.program, take(t.start, 3), "既知点Ｘ座標は", kCoordinate});
        p.push_back({t.program, take(t.start, 4), "既知点Ｙ座標は", kCoordinate});
        p.push_back({t.program, t.whole, "横の訂正番号", choice(7, 3)});
        p.push_back({t.program, t.whole + typed({"3"}), "縦の訂正番号", {{"0", t.rows, "1.5", "1e300"}, "1", false}});
        p.push_back({t.program, t.whole + typed({"3", "1"}), "正しい夾角は", kAngle});
        p.push_back({t.program, t.whole + typed({"4", "1"}), "正しい距離は", t.leg});
    }
    // The open and the radial traverse ask alike; their tables differ.
    for (const char* program : {"opentrav", "radtrav"}) {
        const bool open = std::string(program) == "opentrav";
        const Lines whole = open ? kOpenWhole : kOpenStart + typed({"B", "90", "100", "C", "180", "50", "*"}) + kF1;
        const std::vector<Prompt> more = {
            {program, take(kOpenStart, 1), "方向角は", kAzimuth},
            {program, take(kOpenStart, 3), "機械点Ｘ座標は", kCoordinate},
            {program, take(kOpenStart, 4), "機械点Ｙ座標は", kCoordinate},
            {program, kOpenStart + typed({"B"}), "夾角は", kAngle},
            {program, kOpenStart + typed({"B", "90"}), "距離は", kDistance},
            {program, whole, "横の訂正番号", choice(open ? 7 : 6, 1)},
            {program, whole + typed({"1"}), "縦の訂正番号", {{"-1", "99", "1.5", "1e300"}, "2", false}},
            {program, whole + typed({open ? "3" : "2", "2"}), "正しい狭角は", kAngle},
            {program, whole + typed({open ? "5" : "3", "2"}), "正しい距離は", kDistance},
            // The radial traverse asks a row for these too: the backsight's or the instrument's.
            {program, whole + (open ? typed({"4"}) : typed({"4", "0"})), "正しい方向角は", kAzimuth},
            {program, whole + (open ? typed({"6"}) : typed({"5", "1"})), "正しい機械点Ｘ座標は", kCoordinate},
            {program, whole + (open ? typed({"7"}) : typed({"6", "1"})), "正しい機械点Ｙ座標は", kCoordinate},
        };
        p.insert(p.end(), more.begin(), more.end());
    }
    // The inverse programs ask their first point, then each further one.
    for (const auto& [program, first] : {std::pair{"invchain", "開始点"}, std::pair{"invradial", "機械点"}}) {
        p.push_back({program, typed({"A"}), std::string(first) + "Ｘ座標は", kCoordinate});
        p.push_back({program, typed({"A", "0"}), std::string(first) + "Ｙ座標は", kCoordinate});
        p.push_back({program, typed({"A", "0", "0", "B"}), "Ｘ座標は", kCoordinate});
        p.push_back({program, typed({"A", "0", "0", "B", "10"}), "Ｙ座標は", kCoordinate});
    }
    const std::vector<Prompt> rest = {
        // Chained inverse.
        {"invchain", kChainWhole, "横の訂正番号", choice(6, 2)},
        {"invchain", kChainWhole + typed({"2"}), "縦の訂正番号", {{"0", "3", "1.5", "1e300"}, "1", false}},
        {"invchain", kChainWhole + typed({"2", "1"}), "正しいＸ座標は", kCoordinate},
        {"invchain", kChainWhole + typed({"6", "2"}), "正しいＹ座標は", kCoordinate},
        // Radial inverse.
        {"invradial", kChainWhole, "横の訂正番号", choice(6, 5)},
        {"invradial", kChainWhole + typed({"5"}), "縦の訂正番号", {{"0", "3", "1.5", "1e300"}, "1", false}},
        {"invradial", kChainWhole + typed({"2"}), "正しい機械点Ｘ座標は", kCoordinate},
        {"invradial", kChainWhole + typed({"3"}), "正しい機械点Ｙ座標は", kCoordinate},
        {"invradial", kChainWhole + typed({"5", "2"}), "正しいＸ座標は", kCoordinate},
        {"invradial", kChainWhole + typed({"6", "1"}), "正しいY座標は", kCoordinate},
        // Coordinate area.
        {"coordarea", typed({"A"}), "Ｘ座標は", kCoordinate},
        {"coordarea", typed({"A", "0"}), "Ｙ座標は", kCoordinate},
        {"coordarea", kAreaWhole, "横の訂正番号", choice(3, 2)},
        {"coordarea", kAreaWhole + typed({"2"}), "縦の訂正番号", {{"0", "4", "1.5", "1e300"}, "3", false}},
        {"coordarea", kAreaWhole + typed({"2", "3"}), "正しいＸ座標は", kCoordinate},
        {"coordarea", kAreaWhole + typed({"3", "1"}), "正しいＹ座標は", kCoordinate},
        // Corner cut.
        {"cornercut", take(kCornerWhole, 9), "隅切辺長は", kChord},
        {"cornercut", kCornerWhole, "訂正番号", choice(10, 10)},
        {"cornercut", kCornerWhole + typed({"10"}), "正しい隅切辺長は", kChord},
        // Two directions.
        {"isect2d", take(kTwoDirections, 3), "方向角は", kAzimuth},
        {"isect2d", take(kTwoDirections, 7), "方向角は", kAzimuth},
        {"isect2d", kTwoDirections, "訂正番号", choice(9, 4)},
        {"isect2d", kTwoDirections + typed({"4"}), "正しい方向角は", kAzimuth},
        {"isect2d", kTwoDirections + typed({"8"}), "正しい方向角は", kAzimuth},
        // One direction.
        {"isect1d", take(kOneDirection, 9), "方向角は", kAzimuth},
        {"isect1d", kOneDirection, "訂正番号", choice(11, 10)},
        {"isect1d", kOneDirection + typed({"10"}), "正しい方向角は", kAzimuth},
        // Four points and the foot of a perpendicular.
        {"isect4p", kFourPoints, "訂正番号", choice(13, 2)},
        {"perpfoot", kFoot, "訂正番号", choice(10, 2)},
        {"perpfoot", kFootNext, "Ｘ３座標は", kCoordinate},
        {"perpfoot", kFootNext + typed({"60"}), "Ｙ３座標は", kCoordinate},
    };
    p.insert(p.end(), rest.begin(), rest.end());

    // The point forms: every X and Y as first asked and as corrected.
    struct Form {
        const char* program;
        const Lines& whole;
        int fields_per_point;  // name, X, Y (and the direction)
        std::vector<std::pair<std::string, std::string>> corrections;  // the X and Y questions of each point
    };
    const std::vector<std::pair<std::string, std::string>> three = {
        {"正しいＸ１座標は", "正しいＹ１座標は"}, {"正しいＸ２座標は", "正しいＹ２座標は"}, {"正しいＸ３座標は", "正しいＹ３座標は"}};
    const Form forms[] = {
        {"isect4p", kFourPoints, 3,
         {{"正しいＸ１座標は", "正しいＹ１座標は"}, {"正しいX２座標は", "正しいＹ2座標は"},
          {"正しいＸ３座標は", "正しいＹ３座標は"}, {"正しいX４座標は", "正しいＹ４座標は"}}},
        {"isect2d", kTwoDirections, 4, {{"正しいＸ１座標は", "正しいＹ１座標は"}, {"正しいＸ２座標は", "正しいＹ２座標は"}}},
        {"isect1d", kOneDirection, 3, three},
        {"perpfoot", kFoot, 3, three},
        {"cornercut", kCornerWhole, 3, three},
    };
    const char* const digits[] = {"１", "２", "３", "４"};
    for (const Form& f : forms) {
        for (std::size_t k = 0; k < f.corrections.size(); ++k) {
            const int x_field = f.fields_per_point * int(k) + 2;  // fields count from 1, the name first
            const std::string d = digits[k];
            p.push_back({f.program, take(f.whole, x_field - 1), "Ｘ" + d + "座標は", kCoordinate});
            p.push_back({f.program, take(f.whole, x_field), "Ｙ" + d + "座標は", kCoordinate});
            p.push_back({f.program, f.whole + typed({std::to_string(x_field)}), f.corrections[k].first, kCoordinate});
            p.push_back({f.program, f.whole + typed({std::to_string(x_field + 1)}), f.corrections[k].second, kCoordinate});
        }
    }
    return p;
}

// A row without its leading blanks, half-width or full-width.
std::string trimmed(std::string row) {
    for (;;) {
        if (row.starts_with(' ')) {
            row.erase(0, 1);
        } else if (row.starts_with("　")) {
            row.erase(0, std::string_view("　").size());
        } else {
            return row;
        }
    }
}

TEST(NumericPrompts, EveryPromptRefusesWhatIsOutOfBoundsAndTakesWhatIsIn) {
    for (const Prompt& p : prompts()) {
        SCOPED_TRACE(std::string(p.program) + " at \"" + p.prompt + "\" after " + std::to_string(p.before.size()) +
                     " lines");
        const Lines answer = {"type " + p.bounds.taken, "snap taken"};
        auto direct = run_script(p.program, p.before + Lines{"snap asked"} + answer);
        Lines refusing = p.before;
        for (std::size_t i = 0; i < p.bounds.refused.size(); ++i)
            refusing = refusing + Lines{"type " + p.bounds.refused[i], "snap refused" + std::to_string(i)};
        auto refused = run_script(p.program, refusing + answer);
        ASSERT_EQ(direct.exit_status, 0) << direct.stderr_text;
        ASSERT_EQ(refused.exit_status, 0) << refused.stderr_text;

        const std::string asked = direct.row("asked", 23);
        EXPECT_TRUE(trimmed(asked).starts_with(p.prompt)) << asked;
        EXPECT_NE(direct.row("taken", 23), asked) << "the value inside the bounds moves on";
        for (std::size_t i = 0; i < p.bounds.refused.size(); ++i)
            EXPECT_EQ(refused.row("refused" + std::to_string(i), 23), asked)
                << p.bounds.refused[i] << " is asked again";
        EXPECT_EQ(refused.screen("taken"), direct.screen("taken")) << "a refused value leaves nothing behind";
        const int notices = p.bounds.refusal_beeps ? int(p.bounds.refused.size()) : 0;
        EXPECT_EQ(refused.times_logged("beep") - direct.times_logged("beep"), notices);
    }
}

}  // namespace
}  // namespace marula::test
