// Point files read as streams: the encoding rule, parcels, formula-safe
// exports, printable messages, and memory that stays bounded.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "base/format.h"
#include "job/exchange.h"
#include "temp_folder.h"

namespace marula::job {
namespace {

std::string sample(const std::string& name) {
    std::ifstream in(std::filesystem::path(MARULA_POINTS_TESTDATA) / name, std::ios::binary);
    EXPECT_TRUE(in) << "missing sample " << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> names(const PointFile& file) {
    std::vector<std::string> out;
    for (const FilePoint& p : file.points) out.push_back(p.point.name);
    return out;
}

// Every record of a stream as one line of text, to compare two reads.
std::vector<std::string> transcript(ByteSource& source, bool csv, const ReadOptions& options = {}) {
    std::vector<std::string> out;
    SeenNamesInMemory seen;
    auto sink = [&](const Record& r) {
        if (const auto* p = std::get_if<FilePoint>(&r))
            out.push_back(p->point.name + " " + format_metres(p->point.x) + " @" + std::to_string(p->line));
        else if (const auto* parcel = std::get_if<FileParcel>(&r))
            out.push_back("parcel " + parcel->name + " " + std::to_string(parcel->vertices.size()));
        else if (const auto* d = std::get_if<Diagnostic>(&r))
            out.push_back(std::string(code_name(d->code)) + "@" + std::to_string(d->line));
        return true;
    };
    const StreamResult result = csv ? stream_csv(source, seen, sink, parse_column_order("num,name,x,y,h"), options)
                                    : stream_sima(source, seen, sink, options);
    out.push_back(result.error ? std::string(code_name(result.error->code)) + "@" + std::to_string(result.error->line)
                               : "ok " + std::string(encoding_name(result.encoding)));
    return out;
}

TEST(Encoding, HalfWidthKatakanaThatPassForUtf8AreCp932UnlessForced) {
    const std::string bytes = sample("s09_halfwidth_kana.sim");
    struct Case {
        std::optional<Encoding> forced;
        std::vector<std::string> names;
        Encoding used;
    };
    const Case cases[] = {
        {std::nullopt, {"ﾎｳ1", "ﾐｷ2", "ﾐｽ3"}, Encoding::cp932},
        {Encoding::cp932, {"ﾎｳ1", "ﾐｷ2", "ﾐｽ3"}, Encoding::cp932},
        {Encoding::utf8, {"γ1", "з2", "н3"}, Encoding::utf8},
    };
    for (const Case& c : cases) {
        ReadOptions options;
        options.encoding = c.forced;
        const ReadResult r = read_sima(bytes, options);
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(names(r.file), c.names);
        EXPECT_EQ(r.file.encoding, c.used);
    }
    // One kana of three bytes, or the degree sign, makes the same pairs UTF-8.
    EXPECT_EQ(read_sima("A01,1,\xCE\xB3" "1,1,2\nA01,2,ア,1,2\n").file.encoding, Encoding::utf8);
    EXPECT_EQ(names(read_sima("Z00,\xC2\xB0\nA01,1,\xCE\xB3" "1,1,2\n").file), std::vector<std::string>{"γ1"});
    EXPECT_EQ(read_sima(sample("c01_utf8_bom_header.csv")).file.encoding, Encoding::utf8);
    EXPECT_EQ(parse_encoding("UTF8"), Encoding::utf8);
    EXPECT_EQ(parse_encoding("sjis"), std::nullopt);
}

TEST(Parcels, TypeOneLotsAreReadWhenAskedAndTheRestCounted) {
    ReadOptions options;
    options.parcels = true;
    const ReadResult r = read_sima(sample("s05_lots_mixed.sim"), options);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.file.parcels.size(), 1u);
    const FileParcel& parcel = r.file.parcels[0];
    EXPECT_EQ(parcel.name, "神南1-23");
    EXPECT_EQ(parcel.line, 13);
    std::vector<std::string> vertices;
    for (const FileVertex& v : parcel.vertices) vertices.push_back(v.name + "@" + std::to_string(v.line));
    EXPECT_EQ(vertices, (std::vector<std::string>{"境界1@14", "境界2@16", "境界3@18", "境界4@20"}));
    EXPECT_EQ(r.file.skipped_records, (std::map<std::string, int>{{"B01", 2}, {"C03", 5}, {"D00", 1}}));
    EXPECT_EQ(r.file.points.size(), 6u);
}

TEST(Parcels, RoundTripThroughSima) {
    const std::vector<Point> points = {{1, "境界1", -36030551, -8150033, std::nullopt},
                                       {2, "境界2", -36061207, -8166480, std::nullopt},
                                       {3, "K3", -36072880, -8139114, 12000}};
    const std::vector<SimaParcel> parcels = {
        {"神南1-23", {{1, "境界1"}, {2, "境界2"}, {3, "K3"}}},
        {"L2", {{3, "K3"}, {1, "境界1"}, {2, "境界2"}, {3, "K3"}}},
    };
    const std::string sima = write_sima("現場", 9, points, parcels);
    EXPECT_EQ(sima.substr(0, sima.find("Z00", sima.find("A99"))), write_sima("現場", 9, points));
    EXPECT_NE(sima.find("D00,    1,\x90\x5F\x93\xEC" "1-23  ,1,\r\nB01,    1,\x8B\xAB\x8A\x45" "1               ,\r\n"),
              std::string::npos);
    EXPECT_TRUE(sima.ends_with("B01,    3,K3                  ,\r\nD99,\r\n"));
    ReadOptions options;
    options.parcels = true;
    const ReadResult back = read_sima(sima, options);
    ASSERT_TRUE(back.ok());
    ASSERT_EQ(back.file.parcels.size(), parcels.size());
    for (std::size_t i = 0; i < parcels.size(); ++i) {
        EXPECT_EQ(back.file.parcels[i].name, parcels[i].name);
        ASSERT_EQ(back.file.parcels[i].vertices.size(), parcels[i].vertices.size());
        for (std::size_t k = 0; k < parcels[i].vertices.size(); ++k)
            EXPECT_EQ(back.file.parcels[i].vertices[k].name, parcels[i].vertices[k].name);
    }
    EXPECT_TRUE(back.file.skipped_records.empty());
    // Read by a consumer that keeps no parcels, the lots are counted, not lost quietly.
    EXPECT_EQ(read_sima(sima).file.skipped_records,
              (std::map<std::string, int>{{"B01", 7}, {"D00", 2}, {"D99", 1}}));
}

TEST(Parcels, RefusedWhenTheirNamesOrSizeBreakTheRules) {
    ReadOptions options;
    options.parcels = true;
    std::string huge = "A01,1,P,1,2\nD00,1,BIG,1,\n";
    for (std::size_t i = 0; i <= kParcelVertexLimit; ++i) huge += "B01,1,P,\n";
    struct Case {
        std::string bytes;
        Code code;
        int line;
    };
    const Case cases[] = {
        {"A01,1,P,1,2\nD00,1,@L,1,\nB01,1,P,\n", Code::E_NAME_CHARACTER, 2},
        {"A01,1,P,1,2\nD00,1,L,1,\nB01,1,A..B,\n", Code::E_NAME_CHARACTER, 3},
        {"A01,1,P,1,2\nD00,1,L,1,\nB01,,,\n", Code::E_MISSING_NAME, 3},
        {huge, Code::E_TOO_MANY_VERTICES, int(kParcelVertexLimit) + 3},
    };
    for (const Case& c : cases) {
        const ReadResult r = read_sima(c.bytes, options);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(code_name(r.error->code), code_name(c.code));
        EXPECT_EQ(r.error->line, c.line);
    }
}

TEST(Export, FormulaNamesAreQuotedBehindAnApostropheAndCounted) {
    const std::vector<Point> points = {{1, "=SUM(1)", 1000, 2000, std::nullopt},
                                       {2, "+SUM(1+1)", 1000, 2000, std::nullopt},
                                       {3, "-2+3", -1000, -2000, 5},
                                       {4, "@SUM(1)", 0, 0, std::nullopt},
                                       {5, "T1", 0, 0, std::nullopt},
                                       {6, "A,\"B\"", 0, 0, std::nullopt}};
    const CsvExport csv = export_csv(points);
    EXPECT_EQ(csv.formula_cells, 4);
    EXPECT_EQ(csv.bytes,
              "\xEF\xBB\xBF点名,X,Y,H\r\n\"'=SUM(1)\",1.000,2.000,\r\n\"'+SUM(1+1)\",1.000,2.000,\r\n"
              "\"'-2+3\",-1.000,-2.000,0.005\r\n\"'@SUM(1)\",0.000,0.000,\r\nT1,0.000,0.000,\r\n"
              "\"A,\"\"B\"\"\",0.000,0.000,\r\n");
    // Read back, the cells are text a name may be; the separator stays inside its cell.
    const ReadResult back = read_csv(export_csv(std::span(points).first(5)).bytes);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(names(back.file), (std::vector<std::string>{"'=SUM(1)", "'+SUM(1+1)", "'-2+3", "'@SUM(1)", "T1"}));
}

TEST(Messages, QuoteWhatTheFileHeldPrintableAndShort) {
    const ReadResult r = read_sima("A01,1,P,\x1B]0;owned\x07,2\n");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(describe(*r.error), "数値ではありません: \\x1B]0;owned\\x07");
    const ReadResult long_name = read_sima("A01,1," + std::string(30, 'N') + "\x1B[2J" + std::string(30, 'N') + ",1,2\n");
    ASSERT_FALSE(long_name.ok());
    EXPECT_EQ(describe(*long_name.error),
              "点名に使えない文字があります: " + std::string(30, 'N') + "\\x1B[2J" + std::string(6, 'N') + "…");
    EXPECT_EQ(describe({Code::E_MISSING_X, 2, 0, "緯度"}), "緯度がありません");
    EXPECT_EQ(describe({Code::E_MISSING_X, 2, 0, ""}), "X座標がありません");
}

TEST(JobNames, AreShortAndHoldOnlyWhatAPointNameCould) {
    struct Case {
        std::string typed;
        JobNameProblem problem;
    };
    const Case cases[] = {
        {"", JobNameProblem::none},
        {" 渋谷区神南一丁目　", JobNameProblem::none},
        {std::string(40, 'A'), JobNameProblem::none},
        {std::string(41, 'A'), JobNameProblem::too_long},
        {"境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界", JobNameProblem::none},
        {"境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界境界X", JobNameProblem::too_long},
        {"現場\n2", JobNameProblem::control_character},
        {"A,B", JobNameProblem::comma_or_quote},
        {"P😀", JobNameProblem::not_cp932},
        {"=SUM(1)", JobNameProblem::none},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(check_job_name(c.typed).problem, c.problem) << c.typed;
        EXPECT_EQ(describe(c.problem).empty(), c.problem == JobNameProblem::none);
    }
    EXPECT_EQ(cut_job_name(std::string(50, 'A')), std::string(40, 'A'));
    EXPECT_EQ(cut_job_name("境界" + std::string(39, 'A')), "境界" + std::string(38, 'A'));
    EXPECT_EQ(cut_job_name("短い"), "短い");
    // Exported, an old name with a line break and a comma stays one field of one line.
    EXPECT_TRUE(write_sima("A\r\nB,C" + std::string(50, 'D'), std::nullopt, {})
                    .starts_with("G00,04,A  B C" + std::string(34, 'D') + ",\r\nZ00,"));
}

// A file made as it is read and never held whole: A01 records of `count`
// points with names P1, P2, …, or, with count 0, one line that never ends.
class GeneratedFile final : public ByteSource {
public:
    explicit GeneratedFile(int count) : count_(count) { buffer_.reserve(kChunkBytes); }
    std::optional<std::string> next(std::string_view& chunk) override {
        buffer_.clear();
        if (count_ == 0) buffer_.assign(kChunkBytes, 'x');
        while (count_ > 0 && next_ <= count_ && buffer_.size() < kChunkBytes - 64) {
            buffer_ += "A01," + std::to_string(next_) + ",P" + std::to_string(next_) + "," + std::to_string(next_) +
                       ".125,-" + std::to_string(next_ % 1000) + ".5,\r\n";
            ++next_;
        }
        served_ += buffer_.size();
        chunk = buffer_;
        return std::nullopt;
    }
    std::optional<std::string> rewind() override {
        next_ = 1;
        return std::nullopt;
    }
    std::size_t served() const { return served_; }

private:
    int count_;
    int next_ = 1;
    std::size_t served_ = 0;
    std::string buffer_;
};

std::size_t heap_in_use() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;  // small blocks and mapped ones
}

TEST(Memory, TwoHundredThousandPointsKeepNothingPerPointBeyondTheNames) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator does not report the heap in use";
#endif
    constexpr int kPoints = 200000;
    GeneratedFile file(kPoints);
    std::int64_t points = 0;
    std::size_t peak = 0, with_names = 0;
    const std::size_t before = heap_in_use();
    {
        SeenNamesInMemory seen;
        const StreamResult r = stream_sima(file, seen, [&](const Record& record) {
            if (std::holds_alternative<FilePoint>(record) && ++points % 1000 == 0) peak = std::max(peak, heap_in_use());
            return true;
        });
        ASSERT_TRUE(r.ok());
        EXPECT_EQ(r.points, kPoints);
        with_names = heap_in_use();
    }
    EXPECT_EQ(points, kPoints);
    // While the points went by, the reader held under a megabyte besides the
    // names; afterwards nothing of them is left.
    EXPECT_LT(peak, with_names + (std::size_t(1) << 20)) << "names take " << (with_names - before);
    EXPECT_LT(heap_in_use(), before + (std::size_t(64) << 10));
}

TEST(Memory, AnEndlessLineStopsTheReadAtItsLimit) {
    GeneratedFile endless(0);
    SeenNamesInMemory seen;
    const StreamResult r = stream_sima(endless, seen, [](const Record&) { return true; });
    ASSERT_TRUE(r.error);
    EXPECT_EQ(code_name(r.error->code), "E_LINE_TOO_LONG");
    EXPECT_EQ(r.error->line, 1);
    EXPECT_LT(endless.served(), std::size_t(4) * kChunkBytes);  // both passes stopped at the line
}

TEST(Memory, LinesThatAreNoRecordAreListedUpToAThousand) {
    std::string bytes = "A01,1,P,1,2\n";
    for (int i = 0; i < 1500; ++i) bytes += "free text\n";
    const ReadResult r = read_sima(bytes);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(r.file.notes.size(), 1001u);
    EXPECT_EQ(r.file.notes.back().line, 1002);
    EXPECT_EQ(describe(r.file.notes.back()), "レコードではない行を読み飛ばしました（ほか500行）");
}

TEST(Stream, ChunkEndsAndFileDescriptorsChangeNothing) {
    const test_support::TempFolder dir("marula-exchange");
    for (const char* name : {"s01_cad_standard.sim", "s03_loose_fields.sim", "s05_lots_mixed.sim",
                             "s09_halfwidth_kana.sim", "c01_utf8_bom_header.csv", "c02_cp932_number_name_quoted.csv",
                             "m04_conflicting_duplicate.sim"}) {
        const std::string bytes = sample(name);
        const bool csv = format_of(name) == FileFormat::csv;
        ReadOptions options;
        options.parcels = true;
        StringSource whole(bytes);
        const std::vector<std::string> expected = transcript(whole, csv, options);
        for (const std::size_t chunk : {1, 2, 3, 7}) {
            StringSource small(bytes, chunk);
            EXPECT_EQ(transcript(small, csv, options), expected) << name << " in chunks of " << chunk;
        }
        const std::filesystem::path path = dir.path() / name;
        std::ofstream(path, std::ios::binary) << bytes;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        FdSource from_file(fd, 5);
        EXPECT_EQ(transcript(from_file, csv, options), expected) << name << " from a descriptor";
        ::close(fd);
    }
}

TEST(Stream, TheSinkCanStopTheReadAndAMergedHeightNamesItsPoint) {
    StringSource source("A01,1,P,1,2\nA01,2,Q,3,4\nA01,3,P,1,2,5\nA01,4,R,5,6\n");
    SeenNamesInMemory seen;
    std::vector<std::string> got;
    const StreamResult r = stream_sima(source, seen, [&](const Record& record) {
        if (const auto* m = std::get_if<MergedHeight>(&record)) {
            got.push_back("height " + m->name + " #" + std::to_string(m->ordinal) + " " + format_metres(m->h));
            return false;
        }
        return true;
    });
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.points, 2);
    EXPECT_EQ(got, std::vector<std::string>{"height P #0 5.000"});
}

}  // namespace
}  // namespace marula::job
