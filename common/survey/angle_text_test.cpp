#include "survey/angle_text.h"

#include <gtest/gtest.h>

#include <cmath>

namespace marula {
namespace {

double sec(double s) { return s / 3600; }

TEST(AngleText, Formats) {
    struct Row { double degrees; int decimals; bool signed_form; const char* text; };
    const Row rows[] = {
        {36.103774792, 5, false, "36°06′13.58925″"},
        // Carries into the minute, the degree and past 359°, or not.
        {sec(59.9999951), 5, false, "0°01′00.00000″"},   {sec(59.9999949), 5, false, "0°00′59.99999″"},
        {sec(3599.9999951), 5, false, "1°00′00.00000″"}, {sec(3599.9999949), 5, false, "0°59′59.99999″"},
        {359 + sec(3599.9999951), 5, false, "360°00′00.00000″"},
        {-36.5, 5, false, "−36°30′00.00000″"},           {sec(-0.000004), 5, false, "0°00′00.00000″"},
        // Convergences: always signed, U+2212 for minus, never minus zero.
        {-(8 / 60.0 + 59.92 / 3600), 2, true, "−0°08′59.92″"}, {0.082627920, 2, true, "+0°04′57.46″"},
        {sec(-0.004), 2, true, "+0°00′00.00″"},          {sec(-59.9951), 2, true, "−0°01′00.00″"},
        {sec(13.5001), 0, false, "0°00′14″"},            {sec(1.25), 9, false, "0°00′01.250000″"},
        {std::nan(""), 2, true, "*"},                    {HUGE_VAL, 5, false, "*"},
        {1e6, 5, false, "*"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(r.signed_form ? format_signed_dms(r.degrees, r.decimals) : format_dms(r.degrees, r.decimals), r.text)
            << r.degrees;
}

TEST(AngleText, ReadsLatitudeAndLongitudeAsFilesWriteThem) {
    const double e = 36 + 6 / 60.0 + 13.58925 / 3600;
    struct Row { const char* text; std::optional<double> degrees; };
    const Row rows[] = {
        {"36.103774792", 36.103774792}, {"36.0612", 36.0612},  // never packed DDD.MMSS
        {"36°06′13.58925″", e},        {"36°06'13.58925\"", e},   {"36°06＇13.58925＂", e},
        {"36°06'13.58925''", e},        {"36度06分13.58925秒", e}, {"  36° 06′ 13.58925″ ", e},
        {"36°06′13.58925", e},          {"36 06 13.58925", e},     {"３６　０６　１３．５８９２５", e},
        {"36°06’13.58925”", e},        {"36°06’13.58925’’", e},
        {"−36°06′13.58925″", -e},       {"-36 06 13.58925", -e},   {"+140°05.5′", 140 + 5.5 / 60},
        {"360", 360},
        // Sixty or more, parts out of order or missing, decimals before the
        // last part, two bare numbers, garbage, NaN and infinity.
        {"36°60′00″", {}}, {"36 06 60", {}}, {"36 06 13 14", {}}, {"36°13″", {}},   {"06′13″", {}},
        {"36°06″13′", {}}, {"36.5°06′", {}}, {"36 06", {}},       {"36-06-13", {}}, {"--36", {}},
        {"36..5", {}},     {".5", {}},       {"1e2", {}},         {"nan", {}},      {"inf", {}},
        {"360.000001", {}}, {"36°06′13″N", {}}, {"", {}},         {"  ", {}},       {"36\xff", {}},
    };
    for (const Row& r : rows) EXPECT_EQ(parse_degrees(r.text), r.degrees) << r.text;
}

TEST(AngleText, UnlimitedReadingDiffersOnlyInTheSizeOfTheAngle) {
    struct Row { const char* text; std::optional<double> degrees; };
    const Row rows[] = {
        {"360.000001", 360.000001}, {"-400", -400.0}, {"400°30′", 400.5}, {"36°06′13.58925″", 36 + 6 / 60.0 + 13.58925 / 3600},
        {"1e2", {}}, {"inf", {}}, {"400°60′", {}}, {"36 06", {}},
        {"1000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
         "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000",
         {}},
    };
    for (const Row& r : rows) EXPECT_EQ(parse_unlimited_degrees(r.text), r.degrees) << r.text;
}

}  // namespace
}  // namespace marula
