// Point files read and written: the sample files as they must read, the
// rules of names and millimetres, and the writers read back.
#include "job/exchange.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <iomanip>
#include <limits>

#include "base/format.h"

namespace marula::job {
namespace {

std::string sample(const std::string& name) {
    std::ifstream in(std::filesystem::path(MARULA_POINTS_TESTDATA) / name, std::ios::binary);
    EXPECT_TRUE(in) << "missing sample " << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "name X Y H" with "-" for no height, as the samples' notes write them.
std::vector<std::string> rows(const PointFile& file) {
    std::vector<std::string> out;
    for (const FilePoint& fp : file.points) {
        const Point& p = fp.point;
        out.push_back(p.name + " " + format_metres(p.x) + " " + format_metres(p.y) + " " +
                      (p.h ? format_metres(*p.h) : "-"));
    }
    return out;
}

std::vector<std::string> codes(const PointFile& file) {
    std::vector<std::string> out;
    for (const Diagnostic& d : file.notes) out.push_back(std::string(code_name(d.code)) + "@" + std::to_string(d.line));
    return out;
}

struct SampleCase {
    const char* file;
    const char* columns;  // CSV column order, or nullptr
    std::vector<std::string> points;
    std::optional<int> zone;
    std::vector<std::string> notes;  // CODE@line
};
void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.file << (c.columns ? std::string(" ") + c.columns : ""); }

class Samples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(Samples, ReadAsTheirNotesSay) {
    const SampleCase& c = GetParam();
    const std::string bytes = sample(c.file);
    const ReadResult r = format_of(c.file) == FileFormat::sima
                             ? read_sima(bytes)
                             : read_csv(bytes, c.columns ? parse_column_order(c.columns) : std::nullopt);
    ASSERT_TRUE(r.ok()) << code_name(r.error->code) << " at " << r.error->line;
    EXPECT_EQ(rows(r.file), c.points);
    EXPECT_EQ(r.file.zone, c.zone);
    EXPECT_EQ(codes(r.file), c.notes);
}

const std::vector<std::string> kS01 = {
    "T1 -36012.345 -8123.456 35.120",  "T2 -36045.118 -8098.702 34.887", "T3 -36078.903 -8131.245 -",
    "境界1 -36030.551 -8150.033 -",     "境界2 -36061.207 -8166.480 -",    "境界① -36058.004 -8110.917 -",
    "髙田杭3 -36020.778 -8102.634 35.402", "ｺｳ4 -36070.412 -8145.009 -",      "引照点A -36001.990 -8177.315 36.004",
};

INSTANTIATE_TEST_SUITE_P(
    Accepted, Samples,
    ::testing::Values(
        SampleCase{"s01_cad_standard.sim", nullptr, kS01, 9, {}},
        SampleCase{"s02_no_header.sim", nullptr,
                   {"T1 -36012.345 -8123.456 35.120", "T2 -36045.118 -8098.702 34.887",
                    "境界1 -36030.551 -8150.033 -", "境界2 -36061.207 -8166.480 -"},
                   std::nullopt, {}},
        SampleCase{"s03_loose_fields.sim", nullptr,
                   {"T1 -36012.345 -8123.456 35.120", "T2 -36045.118 -8098.702 -", "T3 -36078.903 -8131.245 -",
                    "4 -36030.551 -8150.033 -", "境界2 -36061.207 -8166.480 -"},
                   std::nullopt, {"W_NAME_FROM_NUMBER@7"}},
        SampleCase{"s05_lots_mixed.sim", nullptr,
                   {"境界1 -36030.551 -8150.033 -", "境界2 -36061.207 -8166.480 -", "境界3 -36072.880 -8139.114 -",
                    "境界4 -36041.902 -8122.760 -", "道路1 -36085.310 -8170.002 -", "道路2 -36090.118 -8120.457 -"},
                   9, {"N_SKIPPED_RECORDS@0"}},
        SampleCase{"s09_halfwidth_kana.sim", nullptr,
                   {"ﾎｳ1 -36012.345 -8123.456 35.120", "ﾐｷ2 -36045.118 -8098.702 -", "ﾐｽ3 -36078.903 -8131.245 -"},
                   std::nullopt, {}},
        SampleCase{"c01_utf8_bom_header.csv", nullptr,
                   {"T1 -36012.345 -8123.456 35.120", "T2 -36045.118 -8098.702 34.887", "T3 -36078.903 -8131.245 -",
                    "境界① -36058.004 -8110.917 -", "髙田杭3 -36020.778 -8102.634 35.402",
                    "ｺｳ4 -36070.412 -8145.009 -"},
                   std::nullopt, {}},
        SampleCase{"c02_cp932_number_name_quoted.csv", "num,name,x,y,h",
                   {"T1 -36012.345 -8123.456 35.120", "T2 -36045.118 -8098.702 34.887", "境界1 -36030.551 -8150.033 -",
                    "引照点A -36001.990 -8177.315 36.004", "12* -36025.000 -8140.500 -"},
                   std::nullopt, {}}));

TEST(Samples, LotsAreSkippedAndCountedByRecord) {
    const ReadResult r = read_sima(sample("s05_lots_mixed.sim"));
    ASSERT_TRUE(r.ok());
    const std::map<std::string, int> expected = {{"B01", 6}, {"C03", 5}, {"D00", 2}, {"D99", 1}};
    EXPECT_EQ(r.file.skipped_records, expected);
    EXPECT_EQ(r.file.skipped_total(), 14);
}

struct RefusedCase {
    const char* file;
    const char* columns;
    Code code;
    int line;
    int other_line;
};
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.file << (c.columns ? std::string(" ") + c.columns : ""); }

class Refused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(Refused, NamesTheCodeAndLineAndKeepsNoPoints) {
    const RefusedCase& c = GetParam();
    const std::string bytes = sample(c.file);
    const ReadResult r = format_of(c.file) == FileFormat::sima
                             ? read_sima(bytes)
                             : read_csv(bytes, c.columns ? parse_column_order(c.columns) : std::nullopt);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(code_name(r.error->code), code_name(c.code));
    EXPECT_EQ(r.error->line, c.line);
    EXPECT_EQ(r.error->other_line, c.other_line);
    EXPECT_TRUE(r.file.points.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Samples, Refused,
    ::testing::Values(RefusedCase{"m01_truncated.sim", nullptr, Code::E_MISSING_Y, 10, 0},
                      RefusedCase{"m02_non_numeric_x.sim", nullptr, Code::E_NOT_NUMBER, 6, 0},
                      RefusedCase{"m04_conflicting_duplicate.sim", nullptr, Code::E_DUPLICATE_CONFLICT, 10, 6},
                      RefusedCase{"c02_cp932_number_name_quoted.csv", nullptr, Code::E_COLUMNS_UNKNOWN, 0, 0},
                      RefusedCase{"c02_cp932_number_name_quoted.csv", "name,x,y,h", Code::E_NOT_NUMBER, 1, 0}));

// Files written here, each a case that once could go wrong.
struct InlineCase {
    const char* what;
    bool csv;
    std::string bytes;
    const char* columns;
    std::vector<std::string> points;  // when accepted
    std::optional<Code> error;
    int line = 0;
    std::vector<std::string> notes = {};
    ReadOptions options = {};
};
void PrintTo(const InlineCase& c, std::ostream* os) { *os << c.what; }

// A plain map for latitude and longitude, exact enough to check by hand:
// 0.00001° is 1 m, from 36° N 140° E.
PlaneXY affine(double latitude, double longitude) { return {(latitude - 36) * 100000, (longitude - 140) * 100000}; }

ReadOptions with_zone(std::optional<double> geoid = std::nullopt) {
    ReadOptions options;
    options.to_plane = affine;
    options.geoid_height = geoid;
    return options;
}

class InlineFiles : public ::testing::TestWithParam<InlineCase> {};

TEST_P(InlineFiles, ReadAsExpected) {
    const InlineCase& c = GetParam();
    const ReadResult r = c.csv ? read_csv(c.bytes, c.columns ? parse_column_order(c.columns) : std::nullopt, c.options)
                               : read_sima(c.bytes, c.options);
    if (c.error) {
        ASSERT_FALSE(r.ok()) << c.what;
        EXPECT_EQ(code_name(r.error->code), code_name(*c.error)) << c.what;
        EXPECT_EQ(r.error->line, c.line) << c.what;
        return;
    }
    ASSERT_TRUE(r.ok()) << c.what << ": " << code_name(r.error->code) << " at " << r.error->line;
    EXPECT_EQ(rows(r.file), c.points) << c.what;
    EXPECT_EQ(codes(r.file), c.notes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, InlineFiles,
    ::testing::Values(
        InlineCase{"a last line of 0x1A is the old end-of-file mark", false, "A01,1,P,1,2\r\n\x1A", nullptr,
                   {"P 1.000 2.000 -"}, std::nullopt},
        InlineCase{"lower-case record codes count", false, "a01,1,P,1,2,3\n", nullptr, {"P 1.000 2.000 3.000"},
                   std::nullopt},
        InlineCase{"full-width digits and minus as at the keyboard", false,
                   "A01,1,P,－３６０１２．３４５,８１２３．４５６\n", nullptr, {"P -36012.345 8123.456 -"},
                   std::nullopt},
        InlineCase{"rounding to the millimetre as the screen shows", false, "A01,1,P,1.0005,2.0005,-0.0015\n",
                   nullptr, {"P 1.000 2.001 -0.002"}, std::nullopt},
        InlineCase{"an empty H is no height, never 0", false, "A01,1,P,1,2, \n", nullptr, {"P 1.000 2.000 -"},
                   std::nullopt},
        InlineCase{"a stray line with no A01 after it is a warning", false, "A01,1,P,1,2\nfree text\n", nullptr,
                   {"P 1.000 2.000 -"}, std::nullopt, 0, {"W_SKIPPED_LINE@2"}},
        InlineCase{"a stray line before an A01 refuses the file", false, "free text\nA01,1,P,1,2\n", nullptr, {},
                   Code::E_NOT_A_RECORD, 1},
        InlineCase{"髙 as other converters write it (EE E0) reads as 髙 too", false, "A01,1,\xEE\xE0\x83\x63,1,2\n",
                   nullptr, {"髙ツ 1.000 2.000 -"}, std::nullopt},
        InlineCase{"a byte CP932 does not know", false, "A01,1,P,1,2\nA01,2,\x85\x40,1,2\n", nullptr, {},
                   Code::E_ENCODING, 2},
        InlineCase{"1e8 m is out of range", false, "A01,1,P,100000000,2\n", nullptr, {}, Code::E_OUT_OF_RANGE, 1},
        InlineCase{"just under 1e8 m is taken", false, "A01,1,P,99999999.999,2\n", nullptr,
                   {"P 99999999.999 2.000 -"}, std::nullopt},
        InlineCase{"H that is no number", false, "A01,1,P,1,2,abc\n", nullptr, {}, Code::E_NOT_NUMBER, 1},
        InlineCase{"no name and no number", false, "A01,,,1,2\n", nullptr, {}, Code::E_MISSING_NAME, 1},
        InlineCase{"the lone asterisk ends station lists", false, "A01,1,*,1,2\n", nullptr, {},
                   Code::E_NAME_ASTERISK, 1},
        InlineCase{"a name of 21 bytes", false, "A01,1,ABCDEFGHIJKLMNOPQRSTU,1,2\n", nullptr, {},
                   Code::E_NAME_TOO_LONG, 1},
        InlineCase{"a duplicate at the same place merges and takes the height", false,
                   "A01,1,P,1,2\nA01,2,Q,3,4\nA01,3,P,1.0000,2.000,5\n", nullptr,
                   {"P 1.000 2.000 5.000", "Q 3.000 4.000 -"}, std::nullopt, 0, {"N_DUPLICATE_MERGED@3"}},
        InlineCase{"a duplicate with another height is a conflict", false, "A01,1,P,1,2,5\nA01,3,P,1,2,6\n",
                   nullptr, {}, Code::E_DUPLICATE_CONFLICT, 2},
        InlineCase{"CSV with ';' reads ',' as the decimal mark", true, "点名;X;Y;H\r\nT1;-36012,345;-8123,456;35,12\r\n",
                   nullptr, {"T1 -36012.345 -8123.456 35.120"}, std::nullopt},
        InlineCase{"decimal commas in a comma file shift columns: refused", true,
                   "点名,X,Y,H\r\nT1,-36012,345,-8123,456\r\n", nullptr, {}, Code::E_TOO_MANY_FIELDS, 2},
        InlineCase{"full-width and other labels make a header", true,
                   "番号,ＮＡＭＥ,北,東,標高\nx1,P,1,2,3\n", nullptr, {"P 1.000 2.000 3.000"}, std::nullopt},
        InlineCase{"a quoted name holding a comma is refused", true, "name,x,y\n\"A,B\",1,2\n", nullptr, {},
                   Code::E_NAME_CHARACTER, 2},
        InlineCase{"a header wins over a given order", true, "X,Y,点名\n1,2,P\n", "name,x,y", {"P 1.000 2.000 -"},
                   std::nullopt},
        InlineCase{"a CSV name may be taken from its number", true, "No,Name,X,Y\n7,,1,2\n", nullptr,
                   {"7 1.000 2.000 -"}, std::nullopt, 0, {"W_NAME_FROM_NUMBER@2"}}));

const std::string kLine4096(4096, 'x');

INSTANTIATE_TEST_SUITE_P(
    Refusals, InlineFiles,
    ::testing::Values(
        InlineCase{"a line of 4,097 bytes", false, "A01,1,P,1,2\n" + kLine4096 + "x\nA01,2,Q,1,2\n", nullptr, {},
                   Code::E_LINE_TOO_LONG, 2},
        InlineCase{"a last line of 4,097 bytes and no line end", false, "A01,1,P,1,2\n" + kLine4096 + "x", nullptr,
                   {}, Code::E_LINE_TOO_LONG, 2},
        InlineCase{"4,096 bytes and a CR are a line", false, "A01,1,P,1,2\r\n" + kLine4096 + "\r\n", nullptr,
                   {"P 1.000 2.000 -"}, std::nullopt, 0, {"W_SKIPPED_LINE@2"}},
        InlineCase{"an empty file", false, "", nullptr, {}, Code::E_NO_RECORDS, 0},
        InlineCase{"structure and lots but no point", false, "G00,04,X,\r\nA00,\r\nA99,\r\nD00,1,L,1,\r\nD99,\r\n",
                   nullptr, {}, Code::E_NO_RECORDS, 0},
        InlineCase{"text that is no record at all", false, "hello\n", nullptr, {}, Code::E_NO_RECORDS, 0},
        InlineCase{"a CSV header and nothing under it", true, "点名,X,Y\r\n\r\n", nullptr, {}, Code::E_NO_RECORDS, 0},
        InlineCase{"a doubled BOM", false, "\xEF\xBB\xBF\xEF\xBB\xBF" "A01,1,P,1,2\n", nullptr, {}, Code::E_ENCODING, 1},
        InlineCase{"a doubled BOM on a CSV", true, "\xEF\xBB\xBF\xEF\xBB\xBF点名,X,Y\r\nP,1,2\r\n", nullptr, {},
                   Code::E_ENCODING, 1},
        InlineCase{"a formula: =", true, "点名,X,Y\n\"=HYPERLINK(\"\"http://example.invalid\"\",\"\"x\"\")\",1,2\n",
                   nullptr, {}, Code::E_NAME_CHARACTER, 2},
        InlineCase{"a formula: +", false, "A01,1,P,1,2\nA01,2,+SUM(1+1),1,2\n", nullptr, {}, Code::E_NAME_CHARACTER, 2},
        InlineCase{"a formula: -", false, "A01,1,-2+3,1,2\n", nullptr, {}, Code::E_NAME_CHARACTER, 1},
        InlineCase{"a formula: @", true, "name,x,y\n@SUM(1),1,2\n", nullptr, {}, Code::E_NAME_CHARACTER, 2},
        InlineCase{"a range of names", false, "A01,1,A..B,1,2\n", nullptr, {}, Code::E_NAME_CHARACTER, 1},
        InlineCase{"a '-' or '.' inside a name is no formula and no range", false, "A01,1,A-1.2,1,2\n", nullptr,
                   {"A-1.2 1.000 2.000 -"}, std::nullopt}));

INSTANTIATE_TEST_SUITE_P(
    LatitudeLongitude, InlineFiles,
    ::testing::Values(
        InlineCase{"decimal degrees, D°M′S″ and D M S give one place", true,
                   "点名,緯度,経度,標高\r\nA,36.11,140.25,35.1\r\nB,36°06′36″,140°15′,35.1\r\n"
                   "C,36 06 36,140 15 00,\r\nD,36°06'36\",140°15'00\",\r\n",
                   nullptr,
                   {"A 11000.000 25000.000 35.100", "B 11000.000 25000.000 35.100", "C 11000.000 25000.000 -",
                    "D 11000.000 25000.000 -"},
                   std::nullopt, 0, {}, with_zone()},
        InlineCase{"度分秒, '' for seconds and a word processor's quotes give that place too", true,
                   "点名,緯度,経度\nE,36度06分36秒,140度15分00秒\nF,\"36°06'36''\",140°15'00''\n"
                   "G,36°06’36”,140°15’00”\nH,３６°０６′３６″,１４０　１５　００\n",
                   nullptr,
                   {"E 11000.000 25000.000 -", "F 11000.000 25000.000 -", "G 11000.000 25000.000 -",
                    "H 11000.000 25000.000 -"},
                   std::nullopt, 0, {}, with_zone()},
        InlineCase{"an exponent is no angle", true, "点名,緯度,経度\nP,36,1.4e2\n", nullptr, {}, Code::E_NOT_NUMBER, 2,
                   {}, with_zone()},
        InlineCase{"NaN is no angle", true, "点名,緯度,経度\nP,nan,140\n", nullptr, {}, Code::E_NOT_NUMBER, 2, {},
                   with_zone()},
        InlineCase{"infinity is no angle", true, "点名,緯度,経度\nP,36,inf\n", nullptr, {}, Code::E_NOT_NUMBER, 2, {},
                   with_zone()},
        InlineCase{"two bare numbers say nothing sure", true, "点名,緯度,経度\nP,36 06,140\n", nullptr, {},
                   Code::E_NOT_NUMBER, 2, {}, with_zone()},
        InlineCase{"decimals before the last part", true, "点名,緯度,経度\nP,36.5°06′,140\n", nullptr, {},
                   Code::E_NOT_NUMBER, 2, {}, with_zone()},
        InlineCase{"a longitude past a full turn is out of range, not garbage", true, "点名,緯度,経度\nP,36,400°00′\n",
                   nullptr, {}, Code::E_OUT_OF_RANGE, 2, {}, with_zone()},
        InlineCase{"lat/lon and B/L labels; a plain number is never DDD.MMSS", true,
                   "name;lat;lon\r\nP;36,3;140,3\r\n", nullptr, {"P 30000.000 30000.000 -"}, std::nullopt, 0, {},
                   with_zone()},
        InlineCase{"B/L labels, south and west signs", true, "NAME,B,L\nP,-36°00′00″,-140\n", nullptr,
                   {"P -7200000.000 -28000000.000 -"}, std::nullopt, 0, {"W_FAR_FROM_ZONE@2"}, with_zone()},
        InlineCase{"X and Y win over latitude and longitude", true, "点名,X,Y,緯度,経度\n P,1,2,99,99\n", nullptr,
                   {"P 1.000 2.000 -"}, std::nullopt},
        InlineCase{"250 km from the origin is near, beyond it far", true,
                   "点名,緯度,経度\nNEAR,38.5,140\nFAR,38.50001,140\n", nullptr,
                   {"NEAR 250000.000 0.000 -", "FAR 250001.000 0.000 -"}, std::nullopt, 0, {"W_FAR_FROM_ZONE@3"},
                   with_zone()},
        InlineCase{"楕円体高 less the geoid height", true, "点名,緯度,経度,楕円体高\nP,36,140,76.82\nQ,36,140,\n",
                   nullptr, {"P 0.000 0.000 40.120", "Q 0.000 0.000 -"}, std::nullopt, 0, {}, with_zone(36.7)},
        InlineCase{"楕円体高 with no geoid height", true, "点名,緯度,経度,楕円体高\nP,36,140,76.82\n", nullptr, {},
                   Code::E_NEEDS_GEOID, 1, {}, with_zone()},
        InlineCase{"楕円体高 beside 標高 needs none", true, "点名,緯度,経度,標高,楕円体高\nP,36,140,40.12,76.82\n",
                   nullptr, {"P 0.000 0.000 40.120"}, std::nullopt, 0, {}, with_zone()},
        InlineCase{"latitude and longitude with no zone", true, "点名,緯度,経度\nP,36,140\n", nullptr, {},
                   Code::E_NO_ZONE, 1},
        InlineCase{"60 minutes", true, "点名,緯度,経度\nP,36°60′00″,140\n", nullptr, {}, Code::E_NOT_NUMBER, 2, {},
                   with_zone()},
        InlineCase{"60 seconds", true, "点名,緯度,経度\nP,36,140 00 60\n", nullptr, {}, Code::E_NOT_NUMBER, 2, {},
                   with_zone()},
        InlineCase{"a latitude past the pole", true, "点名,緯度,経度\nP,90.5,140\n", nullptr, {},
                   Code::E_OUT_OF_RANGE, 2, {}, with_zone()},
        InlineCase{"a missing longitude", true, "点名,緯度,経度\nP,36,\n", nullptr, {}, Code::E_MISSING_Y, 2, {},
                   with_zone()}));

TEST(Millimetres, RoundHalfAwayFromZeroOnTheBinaryValue) {
    struct Case {
        double metres;
        std::optional<Millimetres> mm;
    };
    const Case cases[] = {
        {1.0005, 1000},          // 1.000499999… in binary
        {2.0005, 2001},          // 2.000500000…17
        {0.0015, 2},             {-0.0015, -2},
        {35.1205, 35120},        {-36012.3455, -36012346},
        {-0.0004, 0},            {12345.6785, 12345678},
        {99999999.999, 99999999999}, {99999999.9995, std::nullopt},  // rounds to 1e8 m
        {1e8, std::nullopt},     {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
        {std::numeric_limits<double>::infinity(), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(to_millimetres(c.metres), c.mm) << c.metres;
    EXPECT_EQ(format_metres(-5), "-0.005");
    EXPECT_EQ(format_metres(0), "0.000");
    EXPECT_EQ(format_metres(-36012345), "-36012.345");
    EXPECT_EQ(parse_millimetres(" －１．５ "), -1500);
    EXPECT_EQ(parse_millimetres("1,5"), std::nullopt);
}

TEST(Millimetres, AgreeWithTheScreensPrintUsingEverywhere) {
    // What the screen shows with "#.###" is what is stored: values at and
    // around half-millimetre ties over the whole range, in both signs.
    std::uint64_t state = 12345;
    auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return state >> 11;
    };
    for (int i = 0; i < 200000; ++i) {
        const double scale = std::pow(10.0, double(next() % 9));
        double metres = double(next() % 100000000) / 1e8 * scale;
        if (i % 2 == 0) metres = (std::floor(metres * 1000.0) + 0.5) / 1000.0;  // near a tie
        if (i % 3 == 0) metres = -metres;
        const std::string shown = format_using("############.###", {metres});
        const auto mm = to_millimetres(metres);
        ASSERT_TRUE(mm) << metres;
        std::string expected = format_metres(*mm);
        expected.insert(0, shown.size() - expected.size(), ' ');
        ASSERT_EQ(shown, expected) << std::setprecision(17) << metres;
    }
}

TEST(Names, FollowTheRules) {
    struct Case {
        const char* typed;
        const char* name;
        NameProblem problem;
    };
    const Case cases[] = {
        {" T1\u3000\t", "T1", NameProblem::none},
        {"", "", NameProblem::empty},
        {"\u3000 ", "", NameProblem::empty},
        {"*", "*", NameProblem::lone_asterisk},
        {"＊", "＊", NameProblem::none},
        {"12*", "12*", NameProblem::none},
        {"A*", "A*", NameProblem::none},
        {"A,B", "A,B", NameProblem::comma_or_quote},
        {"A\"", "A\"", NameProblem::comma_or_quote},
        {"A\tB", "A\tB", NameProblem::control_character},
        {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST", NameProblem::none},
        {"ABCDEFGHIJKLMNOPQRSTU", "ABCDEFGHIJKLMNOPQRSTU", NameProblem::too_long},
        {"境界境界境界境界境界", "境界境界境界境界境界", NameProblem::none},  // 20 bytes in CP932
        {"境界境界境界境界境界①", "境界境界境界境界境界①", NameProblem::too_long},
        {"髙田杭3", "髙田杭3", NameProblem::none},
        {"ｺｳ4", "ｺｳ4", NameProblem::none},
        {"P😀", "P😀", NameProblem::not_cp932},
        {"¥1", "¥1", NameProblem::not_cp932},   // CP932 would write it as "\1"
        {"‾2", "‾2", NameProblem::not_cp932},   // and this as "~2"
        {"\\1", "\\1", NameProblem::none},
        {"P\xFF", "P\xFF", NameProblem::not_cp932},
        {"=SUM(1)", "=SUM(1)", NameProblem::formula_start},
        {"+SUM(1+1)", "+SUM(1+1)", NameProblem::formula_start},
        {"-2+3", "-2+3", NameProblem::formula_start},
        {"@SUM(1)", "@SUM(1)", NameProblem::formula_start},
        {" =A", "=A", NameProblem::formula_start},  // judged after trimming
        {"A=1", "A=1", NameProblem::none},
        {"＝A", "＝A", NameProblem::none},           // a spreadsheet reads the full-width sign as text
        {"A..B", "A..B", NameProblem::double_dot},
        {"K1..", "K1..", NameProblem::double_dot},
        {"A.B.", "A.B.", NameProblem::none},
    };
    for (const Case& c : cases) {
        const NameCheck check = check_name(c.typed);
        EXPECT_EQ(check.name, c.name) << c.typed;
        EXPECT_EQ(check.problem, c.problem) << c.typed;
        EXPECT_EQ(describe(check.problem).empty(), c.problem == NameProblem::none) << c.typed;
    }
}

TEST(Names, WidthAndCaseMeetOnlyInTheFoldedKey) {
    EXPECT_EQ(fold_width_and_case("Ｔ１"), fold_width_and_case("t1"));
    EXPECT_EQ(fold_width_and_case("T1"), fold_width_and_case("t1"));
    EXPECT_EQ(fold_width_and_case("ｺｳ4"), fold_width_and_case("コウ４"));
    EXPECT_EQ(fold_width_and_case("ｶﾞｹ"), fold_width_and_case("ガケ"));
    EXPECT_EQ(fold_width_and_case("ﾎﾟｽﾄ"), fold_width_and_case("ポスト"));
    EXPECT_NE(fold_width_and_case("T1"), fold_width_and_case("T2"));
    EXPECT_NE(fold_width_and_case("カ"), fold_width_and_case("ガ"));
}

TEST(Writers, ReadBackGivesTheSamePoints) {
    const ReadResult s01 = read_sima(sample("s01_cad_standard.sim"));
    ASSERT_TRUE(s01.ok());
    std::vector<Point> points;
    for (const FilePoint& fp : s01.file.points) points.push_back(fp.point);
    for (const CsvEncoding encoding : {CsvEncoding::utf8_bom, CsvEncoding::cp932}) {
        const ReadResult back = read_csv(write_csv(points, encoding));
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(rows(back.file), kS01);
    }
    const std::string sima = write_sima("現場", std::nullopt, points);
    EXPECT_EQ(sima.find("Z01"), std::string::npos);  // no zone, no Z01
    const ReadResult back = read_sima(sima);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(rows(back.file), kS01);
    EXPECT_EQ(back.file.zone, std::nullopt);
}

TEST(Writers, SimaLinesHaveTheFixedWidthsEvenForLongNames) {
    const Point twenty{12345, "ABCDEFGHIJKLMNOPQRST", -36012345, 8123456, std::nullopt};
    const Point kanji{7, "境界①", 1, -1, 0};
    const std::vector<Point> points = {twenty, kanji};
    const std::string sima = write_sima("A,B", 9, points);
    const std::string expected_a01 =
        "A01,12345,ABCDEFGHIJKLMNOPQRST, -36012.345,   8123.456,,\r\n"
        "A01,    7,\x8B\xAB\x8A\x45\x87\x40              ,      0.001,     -0.001,      0.000,\r\n";
    EXPECT_NE(sima.find(expected_a01), std::string::npos) << sima;
    EXPECT_EQ(sima.rfind("G00,04,A B,\r\n", 0), 0u);  // a comma in the job's name would split the field
}

TEST(CsvShape, ShowsTheFirstRowsForChoosingColumns) {
    const CsvShape shape = inspect_csv(sample("c02_cp932_number_name_quoted.csv"), 2);
    EXPECT_FALSE(shape.has_header);
    EXPECT_EQ(shape.separator, ',');
    ASSERT_EQ(shape.first_rows.size(), 2u);
    EXPECT_EQ(shape.first_rows[1][1], "T2");
    EXPECT_EQ(shape.first_rows[1][5], "再設置");
    EXPECT_TRUE(inspect_csv(sample("c01_utf8_bom_header.csv")).has_header);
}

}  // namespace
}  // namespace marula::job
