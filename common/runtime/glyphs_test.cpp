// The screen font: slot widths, placement in the 18-row cell, centring of
// narrow glyphs in wide slots, box drawing that joins across cells, and the
// start-up message when the font is missing.

#include "glyphs.h"

#include "cp932_test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace marula {
namespace {

bool lit(const GlyphMask& g, int x, int y) { return (g.rows[y] & (0x8000u >> x)) != 0; }

// The lit rows of column x, one bit per row.
std::uint32_t column_bits(const GlyphMask& g, int x) {
    std::uint32_t bits = 0;
    for (int y = 0; y < 18; ++y)
        if (lit(g, x, y)) bits |= 1u << y;
    return bits;
}

struct Extent {
    int left = 99, right = -1, top = 99, bottom = -1;
    int count = 0;
};

Extent extent(const GlyphMask& g) {
    Extent e;
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 16; ++x)
            if (lit(g, x, y)) {
                e.left = std::min(e.left, x);
                e.right = std::max(e.right, x);
                e.top = std::min(e.top, y);
                e.bottom = std::max(e.bottom, y);
                ++e.count;
            }
    return e;
}

// Keeps MARULA_FONT as it was around each test.
class ScopedFontEnv {
public:
    explicit ScopedFontEnv(const std::optional<std::string>& value) {
        if (const char* old = std::getenv("MARULA_FONT")) old_ = old;
        if (value)
            setenv("MARULA_FONT", value->c_str(), 1);
        else
            unsetenv("MARULA_FONT");
    }
    ~ScopedFontEnv() {
        if (old_)
            setenv("MARULA_FONT", old_->c_str(), 1);
        else
            unsetenv("MARULA_FONT");
    }

private:
    std::optional<std::string> old_;
};

class GlyphsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ScopedFontEnv env(std::nullopt);
        const auto message = GlyphFont::open(font_);
        ASSERT_FALSE(message.has_value()) << *message;
        ASSERT_NE(font_, nullptr);
    }
    std::unique_ptr<GlyphFont> font_;
};

TEST_F(GlyphsTest, GlyphsFillTheirSlotsAndStayInsideTheCell) {
    struct Case {
        char32_t cp;
        int columns;
        bool left_half;   // pixels in columns 0-7
        bool right_half;  // pixels in columns 8-15
        int bottom;       // lowest lit row
    };
    const Case cases[] = {
        {U'A', 1, true, false, 14},   // capital sits on the baseline (row 15)
        {U'g', 1, true, false, 16},   // descender goes below it
        {U'ｱ', 1, true, false, 15},   // half-width katakana: one column
        {U'測', 2, true, true, 15},   // kanji: both halves
        {U'Ｆ', 2, true, true, 14},   // full-width letter
        {U'１', 2, true, true, 14},   // full-width digit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(c.cp));
        const GlyphMask& g = font_->glyph(c.cp, c.columns);
        EXPECT_EQ(g.width, c.columns * 8);
        const Extent e = extent(g);
        ASSERT_GT(e.count, 0);
        EXPECT_EQ(e.left < 8, c.left_half);
        EXPECT_EQ(e.right >= 8, c.right_half);
        EXPECT_LT(e.right, g.width);
        EXPECT_EQ(e.bottom, c.bottom);
        // One free pixel row above and below the glyph keeps rows apart.
        EXPECT_GE(e.top, 1);
        EXPECT_LE(e.bottom, 16);
    }
}

TEST_F(GlyphsTest, WideGlyphsInANarrowSlotKeepTheirRightHalf) {
    // Squeezed, not cut: every pixel row of the wide glyph's right half
    // still shows in the right half of the narrow one.
    for (char32_t cp : {U'測', U'座', U'標'}) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(cp));
        const GlyphMask& wide = font_->glyph(cp, 2);
        const GlyphMask& narrow = font_->glyph(cp, 1);
        ASSERT_EQ(narrow.width, 8);
        for (int y = 0; y < 18; ++y) {
            EXPECT_EQ((wide.rows[y] & 0x00FF) != 0, (narrow.rows[y] & 0x0F00) != 0) << "row " << y;
            EXPECT_EQ(narrow.rows[y] & 0x00FF, 0) << "row " << y;
        }
    }
}

TEST_F(GlyphsTest, NarrowGlyphsAreCentredInWideSlots) {
    // Two-byte characters whose face glyph is only 8 pixels wide.
    for (char32_t cp : {U'°', U'×', U'±', U'÷', U'′', U'α'}) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(cp));
        const GlyphMask& wide = font_->glyph(cp, 2);
        const GlyphMask& narrow = font_->glyph(cp, 1);
        EXPECT_EQ(wide.width, 16);
        const Extent w = extent(wide), n = extent(narrow);
        ASSERT_GT(w.count, 0);
        // The same pixels, moved four to the right.
        EXPECT_EQ(w.count, n.count);
        EXPECT_EQ(w.left, n.left + 4);
        EXPECT_EQ(w.top, n.top);
        for (int y = 0; y < 18; ++y) EXPECT_EQ(wide.rows[y], narrow.rows[y] >> 4) << "row " << y;
    }
}

TEST_F(GlyphsTest, BoxDrawingReachesTheSlotEdges) {
    struct Case {
        char32_t cp;
        bool top, right, bottom, left;  // which edges the lines reach
    };
    const Case cases[] = {
        {U'─', false, true, false, true}, {U'│', true, false, true, false},  {U'┌', false, true, true, false},
        {U'┐', false, false, true, true}, {U'└', true, true, false, false},  {U'┘', true, false, false, true},
        {U'├', true, true, true, false},  {U'┤', true, false, true, true},   {U'┬', false, true, true, true},
        {U'┴', true, true, false, true},  {U'┼', true, true, true, true},    {U'━', false, true, false, true},
        {U'┃', true, false, true, false}, {U'┏', false, true, true, false},  {U'╋', true, true, true, true},
        {U'┠', true, true, true, false},  {U'┯', false, true, true, true},   {U'┷', true, true, false, true},
    };
    for (int columns : {1, 2}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(c.cp) << " in "
                                            << columns << " columns");
            const GlyphMask& g = font_->glyph(c.cp, columns);
            const int w = columns * 8;
            ASSERT_EQ(g.width, w);
            const Extent e = extent(g);
            EXPECT_EQ(e.top == 0, c.top);
            EXPECT_EQ(e.bottom == 17, c.bottom);
            EXPECT_EQ(e.left == 0, c.left);
            EXPECT_EQ(e.right == w - 1, c.right);
        }
    }
}

TEST_F(GlyphsTest, BoxDrawingJoinsAcrossNeighbouringCells) {
    for (int columns : {1, 2}) {
        SCOPED_TRACE(testing::Message() << columns << " columns");
        const int w = columns * 8;
        // The horizontal line leaves each character on the same rows...
        const GlyphMask& line = font_->glyph(U'─', columns);
        for (char32_t cp : {U'┌', U'├', U'┼', U'┐', U'┤', U'┬', U'┴'}) {
            SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(cp));
            const GlyphMask& g = font_->glyph(cp, columns);
            for (int edge : {0, w - 1}) {
                if (column_bits(g, edge) != 0) {
                    EXPECT_EQ(column_bits(g, edge), column_bits(line, edge)) << "edge column " << edge;
                }
            }
        }
        // ... and the vertical line on the same columns.
        const GlyphMask& bar = font_->glyph(U'│', columns);
        for (char32_t cp : {U'┌', U'├', U'┼', U'└', U'┤', U'┬', U'┴'}) {
            SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<unsigned>(cp));
            const GlyphMask& g = font_->glyph(cp, columns);
            for (int edge : {0, 17}) {
                if (g.rows[edge] != 0) {
                    EXPECT_EQ(g.rows[edge], bar.rows[edge]) << "edge row " << edge;
                }
            }
        }
    }
    // Heavy lines are thicker than light ones.
    EXPECT_GT(extent(font_->glyph(U'━', 2)).count, extent(font_->glyph(U'─', 2)).count);
    EXPECT_GT(extent(font_->glyph(U'┃', 2)).count, extent(font_->glyph(U'│', 2)).count);
}

TEST_F(GlyphsTest, BlanksControlsAndUnknownCharacters) {
    for (char32_t cp : {U' ', U'　', U'\t', char32_t{0}}) {
        const GlyphMask& g = font_->glyph(cp, cp == U'　' ? 2 : 1);
        EXPECT_EQ(extent(g).count, 0) << static_cast<unsigned>(cp);
    }
    // A character the face lacks shows an empty outline, not nothing.
    const GlyphMask& unknown = font_->glyph(0x10FFFD, 2);
    const Extent e = extent(unknown);
    ASSERT_GT(e.count, 0);
    EXPECT_TRUE(lit(unknown, e.left, e.top));
    EXPECT_TRUE(lit(unknown, e.right, e.bottom));
    EXPECT_FALSE(lit(unknown, (e.left + e.right) / 2, (e.top + e.bottom) / 2));
    // A real square character must not look like the unknown one.
    EXPECT_NE(font_->glyph(U'囗', 2).rows, unknown.rows);
}

TEST_F(GlyphsTest, EveryShiftJisCharacterHasItsOwnGlyph) {
    // Every character of the Japanese code page, in its slot width (its
    // byte count there), is drawn by the face rather than as unknown.
    Cp932Converter cp932;
    int checked = 0;
    std::string missing;
    for (char32_t cp = 0x20; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp < 0xF900) continue;  // surrogates and the private-use area
        const std::optional<int> columns = cp932.bytes(cp);
        if (!columns) continue;
        ++checked;
        if (font_->glyph(cp, *columns).rows == font_->glyph(0x10FFFD, *columns).rows) missing += code_point_name(cp);
    }
    EXPECT_GT(checked, 7000);
    EXPECT_EQ(missing, "");
}

TEST_F(GlyphsTest, CacheKeepsOneGlyphPerCharacterAndWidth) {
    const GlyphMask& first = font_->glyph(U'測', 2);
    const GlyphMask& narrow = font_->glyph(U'°', 1);
    for (char32_t cp = 0x4E00; cp < 0x4F00; ++cp) font_->glyph(cp, 2);  // grows the table
    EXPECT_EQ(&font_->glyph(U'測', 2), &first);
    EXPECT_EQ(first.width, 16);
    // The same character in the other width is a glyph of its own.
    EXPECT_EQ(narrow.width, 8);
    EXPECT_EQ(font_->glyph(U'°', 2).width, 16);
    EXPECT_NE(&font_->glyph(U'°', 2), &narrow);
}

// ---- the cache file ----------------------------------------------------------

constexpr const char* kScreenFontPath = "/usr/share/fonts/opentype/unifont/unifont_jp.otf";

FontStamp stamp_of(const std::string& path) {
    struct stat info{};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return {path, std::uint64_t(info.st_size), std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

class GlyphCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("marula_glyph_cache_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        cache_ = dir_ / "sub" / "glyphs.bin";  // the folder is made on the first save
        ASSERT_FALSE(GlyphFont::open(plain_).has_value());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::unique_ptr<GlyphFont> open_cached() {
        std::unique_ptr<GlyphFont> font;
        const auto message = GlyphFont::open(font, cache_);
        EXPECT_FALSE(message.has_value()) << *message;
        return font;
    }

    std::filesystem::path dir_, cache_;
    std::unique_ptr<GlyphFont> plain_;  // no cache: rendered by the face
    ScopedFontEnv env_{std::nullopt};
};

TEST_F(GlyphCacheTest, GlyphsComeBackFromTheCacheAsRendered) {
    struct Sample {
        char32_t cp;
        int columns;
    };
    const Sample samples[] = {{U'A', 1}, {U'測', 2}, {U'ｱ', 1}, {U'─', 2}, {U'°', 2}, {U'\x01', 1}, {0x10FFFD, 2}};
    {
        auto first = open_cached();
        for (const Sample& s : samples) first->glyph(s.cp, s.columns);
        first->save();
    }
    ASSERT_TRUE(std::filesystem::exists(cache_));
    const auto cached = read_glyph_cache(cache_, stamp_of(kScreenFontPath));
    ASSERT_TRUE(cached.has_value());
    EXPECT_EQ(cached->size(), std::size(samples));
    auto second = open_cached();
    for (const Sample& s : samples) {
        EXPECT_EQ(second->glyph(s.cp, s.columns).rows, plain_->glyph(s.cp, s.columns).rows) << std::hex << unsigned(s.cp);
        EXPECT_EQ(second->glyph(s.cp, s.columns).width, s.columns * 8);
    }
}

TEST_F(GlyphCacheTest, OnlyACacheOfTheSameFontFileIsBelieved) {
    // A cache whose 'A' is a solid block: shown only when the cache belongs
    // to the font file as it is now.
    GlyphMask block;
    block.rows.fill(0xFF00);
    const FontStamp real = stamp_of(kScreenFontPath);
    struct Case {
        const char* what;
        FontStamp stamp;
        bool believed;
    };
    const Case cases[] = {
        {"same file", real, true},
        {"file changed size", {real.path, real.size + 1, real.modified_ns}, false},
        {"file rewritten", {real.path, real.size, real.modified_ns + 1}, false},
        {"another file", {"/elsewhere/unifont_jp.otf", real.size, real.modified_ns}, false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(write_glyph_cache(cache_, c.stamp, {CachedGlyph{U'A', 1, block}})) << c.what;
        auto font = open_cached();
        const bool shows_block = font->glyph(U'A', 1).rows == block.rows;
        EXPECT_EQ(shows_block, c.believed) << c.what;
        EXPECT_EQ(font->glyph(U'B', 1).rows, plain_->glyph(U'B', 1).rows) << c.what;  // rendered when missing
    }
}

TEST_F(GlyphCacheTest, DamagedCacheFilesAreIgnored) {
    GlyphMask block;
    block.rows.fill(0xFF00);
    ASSERT_TRUE(write_glyph_cache(cache_, stamp_of(kScreenFontPath), {CachedGlyph{U'A', 1, block}}));
    std::string whole;
    {
        std::ifstream in(cache_, std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), {});
    }
    struct Damage {
        const char* what;
        std::string content;
    };
    std::string bad_width = whole;
    bad_width[whole.size() - 4 - 2 * 18 - 1] = 9;  // the width byte of the one glyph
    std::string flipped = whole;
    flipped[whole.size() - 4 - 5] ^= 0x10;  // one bit of a glyph row, all else well formed
    const Damage damages[] = {
        {"empty", ""},
        {"cut short", whole.substr(0, whole.size() - 3)},
        {"trailing bytes", whole + "x"},
        {"another version", "marula glyphs 0" + whole.substr(15)},
        {"impossible width", bad_width},
        {"a flipped bit", flipped},
    };
    for (const Damage& d : damages) {
        {
            std::ofstream out(cache_, std::ios::binary | std::ios::trunc);
            out << d.content;
        }
        EXPECT_FALSE(read_glyph_cache(cache_, stamp_of(kScreenFontPath)).has_value()) << d.what;
        auto font = open_cached();
        EXPECT_EQ(font->glyph(U'A', 1).rows, plain_->glyph(U'A', 1).rows) << d.what;
    }
}

TEST_F(GlyphCacheTest, ACacheThatIsNoFileIsPassedOverAtOnce) {
    std::filesystem::create_directories(cache_.parent_path());
    const auto fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::filesystem::path& target : {fifo, std::filesystem::path("/dev/zero")}) {
        std::filesystem::remove(cache_);
        std::filesystem::create_symlink(target, cache_);
        // Neither waits for a writer nor reads without end.
        EXPECT_FALSE(read_glyph_cache(cache_, stamp_of(kScreenFontPath)).has_value()) << target;
        auto font = open_cached();
        EXPECT_EQ(font->glyph(U'A', 1).rows, plain_->glyph(U'A', 1).rows) << target;
    }
}

TEST(GlyphFontOpen, UnusableFontFilesGiveAMessage) {
    const auto junk = std::filesystem::temp_directory_path() / "marula_glyphs_test_not_a_font.otf";
    {
        std::ofstream out(junk);
        out << "not a font\n";
    }
    struct Case {
        std::string path;
        std::string expected;
    };
    const Case cases[] = {
        {"/nonexistent/unifont_jp.otf", "画面フォントが見つかりません: /nonexistent/unifont_jp.otf"},
        {"/tmp", "画面フォントが見つかりません: /tmp"},
        {junk.string(), "画面フォントを読めません: " + junk.string()},
    };
    for (const Case& c : cases) {
        ScopedFontEnv env(c.path);
        std::unique_ptr<GlyphFont> font;
        const auto message = GlyphFont::open(font);
        ASSERT_TRUE(message.has_value()) << c.path;
        EXPECT_NE(message->find(c.expected), std::string::npos) << *message;
        EXPECT_EQ(font, nullptr);
    }
    std::filesystem::remove(junk);
}

}  // namespace
}  // namespace marula
