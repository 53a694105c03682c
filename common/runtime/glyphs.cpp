// The screen font: each character is rendered once as a 1-bit mask in its
// 8- or 16-pixel slot (by the face through FreeType, or drawn here for box
// drawing and unknown characters) and kept for the rest of the run, and in
// a cache file for the runs after it.

#include "glyphs.h"

#include "base/files.h"
#include "glyph_renderer.h"
#include "module_entries.h"

#include <sys/stat.h>
#include <zlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <unordered_map>

namespace marula {
namespace {

constexpr const char* kDefaultFontPath = "/usr/share/fonts/opentype/unifont/unifont_jp.otf";

void fill_rect(GlyphMask& mask, int x1, int y1, int x2, int y2) {
    for (int y = y1; y <= y2; ++y)
        for (int x = x1; x <= x2; ++x) mask.set(x, y);
}

// ---- box drawing -------------------------------------------------------

// The arms of U+2500..U+254B as four digits, up-right-down-left, each 0
// (none), 1 (light) or 2 (heavy); the dashed lines U+2504..U+250B are
// marked by a dash count in `dashes`.
struct BoxShape {
    const char* arms;  // "URDL"
    int dashes;
};

constexpr BoxShape kBoxShapes[] = {
    {"0101", 0}, {"0202", 0}, {"1010", 0}, {"2020", 0},  // 2500 ─ ━ │ ┃
    {"0101", 3}, {"0202", 3}, {"1010", 3}, {"2020", 3},  // 2504 ┄ ┅ ┆ ┇
    {"0101", 4}, {"0202", 4}, {"1010", 4}, {"2020", 4},  // 2508 ┈ ┉ ┊ ┋
    {"0110", 0}, {"0210", 0}, {"0120", 0}, {"0220", 0},  // 250C ┌ ┍ ┎ ┏
    {"0011", 0}, {"0012", 0}, {"0021", 0}, {"0022", 0},  // 2510 ┐ ┑ ┒ ┓
    {"1100", 0}, {"1200", 0}, {"2100", 0}, {"2200", 0},  // 2514 └ ┕ ┖ ┗
    {"1001", 0}, {"1002", 0}, {"2001", 0}, {"2002", 0},  // 2518 ┘ ┙ ┚ ┛
    {"1110", 0}, {"1210", 0}, {"2110", 0}, {"1120", 0},  // 251C ├ ┝ ┞ ┟
    {"2120", 0}, {"2210", 0}, {"1220", 0}, {"2220", 0},  // 2520 ┠ ┡ ┢ ┣
    {"1011", 0}, {"1012", 0}, {"2011", 0}, {"1021", 0},  // 2524 ┤ ┥ ┦ ┧
    {"2021", 0}, {"2012", 0}, {"1022", 0}, {"2022", 0},  // 2528 ┨ ┩ ┪ ┫
    {"0111", 0}, {"0112", 0}, {"0211", 0}, {"0212", 0},  // 252C ┬ ┭ ┮ ┯
    {"0121", 0}, {"0122", 0}, {"0221", 0}, {"0222", 0},  // 2530 ┰ ┱ ┲ ┳
    {"1101", 0}, {"1102", 0}, {"1201", 0}, {"1202", 0},  // 2534 ┴ ┵ ┶ ┷
    {"2101", 0}, {"2102", 0}, {"2201", 0}, {"2202", 0},  // 2538 ┸ ┹ ┺ ┻
    {"1111", 0}, {"1112", 0}, {"1211", 0}, {"1212", 0},  // 253C ┼ ┽ ┾ ┿
    {"2111", 0}, {"1121", 0}, {"2121", 0}, {"2112", 0},  // 2540 ╀ ╁ ╂ ╃
    {"2211", 0}, {"1122", 0}, {"1221", 0}, {"2212", 0},  // 2544 ╄ ╅ ╆ ╇
    {"1222", 0}, {"2122", 0}, {"2221", 0}, {"2222", 0},  // 2548 ╈ ╉ ╊ ╋
};
constexpr char32_t kBoxFirst = 0x2500;
constexpr char32_t kBoxLast = 0x254B;
static_assert(std::size(kBoxShapes) == kBoxLast - kBoxFirst + 1);

// Half the thickness of an arm: a light line is one pixel, a heavy one three.
int half_thickness(int weight) { return weight == 2 ? 1 : 0; }

// Draws the span from..to in `dashes` pieces, each followed by a gap;
// `horizontal` says which axis the span runs along, across1..across2 its
// thickness on the other axis.
void dashed_span(GlyphMask& mask, bool horizontal, int from, int to, int across1, int across2, int dashes) {
    const int length = to - from + 1;
    for (int i = 0; i < dashes; ++i) {
        const int start = from + i * length / dashes;
        const int end = from + (i + 1) * length / dashes - 1;
        const int gap = std::max(1, length / (dashes * 4));
        if (horizontal)
            fill_rect(mask, start, across1, end - gap, across2);
        else
            fill_rect(mask, across1, start, across2, end - gap);
    }
}

// Box-drawing characters as lines through the centre of the slot out to
// its edges, so that neighbouring characters join into unbroken frames.
GlyphMask box_glyph(char32_t cp, int width) {
    GlyphMask mask;
    mask.width = width;
    const BoxShape& shape = kBoxShapes[cp - kBoxFirst];
    const int up = shape.arms[0] - '0', right = shape.arms[1] - '0';
    const int down = shape.arms[2] - '0', left = shape.arms[3] - '0';
    const int cx = width / 2 - 1;
    const int cy = kGlyphRows / 2 - 1;
    const int vh = half_thickness(std::max(up, down));     // vertical half-thickness
    const int hh = half_thickness(std::max(left, right));  // horizontal half-thickness

    if (shape.dashes > 0) {
        if (left > 0)
            dashed_span(mask, true, 0, width - 1, cy - hh, cy + hh, shape.dashes);
        else
            dashed_span(mask, false, 0, kGlyphRows - 1, cx - vh, cx + vh, shape.dashes);
        return mask;
    }
    // Each arm runs from the edge to the far side of the crossing line, so
    // corners close without a notch.
    if (up > 0) fill_rect(mask, cx - half_thickness(up), 0, cx + half_thickness(up), cy + hh);
    if (down > 0) fill_rect(mask, cx - half_thickness(down), cy - hh, cx + half_thickness(down), kGlyphRows - 1);
    if (left > 0) fill_rect(mask, 0, cy - half_thickness(left), cx + vh, cy + half_thickness(left));
    if (right > 0) fill_rect(mask, cx - vh, cy - half_thickness(right), width - 1, cy + half_thickness(right));
    return mask;
}

// What an unknown character shows: an empty box of dotted lines inside
// its slot (dotted, so that it is never taken for a real square glyph).
GlyphMask missing_glyph(int width) {
    GlyphMask mask;
    mask.width = width;
    const int x1 = 1, x2 = width - 2, y1 = 2, y2 = kGlyphBaseline;
    const auto dot = [&](int x, int y) {
        if ((x - x1 + y - y1) % 2 == 0) mask.set(x, y);
    };
    for (int x = x1; x <= x2; ++x) {
        dot(x, y1);
        dot(x, y2);
    }
    for (int y = y1; y <= y2; ++y) {
        dot(x1, y);
        dot(x2, y);
    }
    return mask;
}

// ---- the screen font -------------------------------------------------------

// Rendered glyphs are kept for the run and, through the cache file, for
// the runs after it; the face is opened only when a glyph must be rendered.
class ScreenFont final : public GlyphFont {
public:
    ScreenFont(FontStamp stamp, std::filesystem::path cache_file)
        : stamp_(std::move(stamp)), cache_file_(std::move(cache_file)) {}

    // Takes over glyphs read from the cache file.
    void adopt(const std::vector<CachedGlyph>& glyphs) {
        for (const CachedGlyph& g : glyphs) glyphs_.emplace(key_of(g.cp, g.columns), g.mask);
        saved_count_ = glyphs_.size();
    }
    bool has_glyphs() const { return !glyphs_.empty(); }
    // The face, through the renderer module.
    std::optional<std::string> open_renderer() {
        std::string why;
        auto open = modules::load(modules::kGlyphs, why);
        if (open == nullptr) return "画面フォントを使えません: " + why;
        std::optional<std::string> error;
        open(&stamp_.path, &renderer_, &error);
        return error;
    }

    const GlyphMask& glyph(char32_t cp, int columns) override {
        columns = columns == 2 ? 2 : 1;
        const std::uint64_t key = key_of(cp, columns);
        auto found = glyphs_.find(key);
        if (found != glyphs_.end()) return found->second;
        return glyphs_.emplace(key, render(cp, columns == 2 ? 16 : 8)).first->second;
    }

    void save() override {
        if (cache_file_.empty() || glyphs_.size() == saved_count_ || glyphs_.size() > kMostCached) return;
        std::vector<CachedGlyph> glyphs;
        glyphs.reserve(glyphs_.size());
        for (const auto& [key, mask] : glyphs_) glyphs.push_back({char32_t(key >> 2), int(key & 3), mask});
        // Written or not, this run does not try again until it renders more.
        saved_count_ = glyphs_.size();
        write_glyph_cache(cache_file_, stamp_, glyphs);
    }

private:
    // Enough for every character of the Japanese code page in both widths;
    // beyond it the cache stops growing.
    static constexpr std::size_t kMostCached = 20000;

    static std::uint64_t key_of(char32_t cp, int columns) { return (std::uint64_t(cp) << 2) | std::uint64_t(columns); }

    GlyphMask render(char32_t cp, int width) {
        if (cp >= kBoxFirst && cp <= kBoxLast) return box_glyph(cp, width);
        GlyphMask blank;
        blank.width = width;
        if (cp < 0x20 || cp == 0x7F) return blank;  // control characters show nothing
        if (!renderer_ && (renderer_failed_ || (renderer_failed_ = open_renderer().has_value())))
            return missing_glyph(width);  // the face cannot be had: tried once, not for every glyph
        if (auto mask = renderer_->render(cp, width)) return *mask;
        return missing_glyph(width);
    }

    FontStamp stamp_;
    std::filesystem::path cache_file_;
    std::unique_ptr<GlyphRenderer> renderer_;
    bool renderer_failed_ = false;
    std::unordered_map<std::uint64_t, GlyphMask> glyphs_;
    std::size_t saved_count_ = 0;
};

// ---- the cache file --------------------------------------------------------

// Bump when rendering changes, so that glyphs of an older program are not
// shown.
constexpr char kCacheMagic[16] = "marula glyphs 2";
constexpr std::uint32_t kByteOrder = 0x01020304;
constexpr std::size_t kEntryBytes = 4 + 1 + 1 + 2 * kGlyphRows;

template <typename T>
void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <typename T>
bool take(std::string_view& in, T& value) {
    if (in.size() < sizeof value) return false;
    std::memcpy(&value, in.data(), sizeof value);
    in.remove_prefix(sizeof value);
    return true;
}

// Far more than every glyph of the font at both widths.
constexpr std::size_t kCacheLimit = std::size_t(16) << 20;

std::uint32_t checksum(std::string_view bytes) {
    uLong sum = crc32(0, nullptr, 0);
    while (!bytes.empty()) {
        const uInt chunk = uInt(std::min<std::size_t>(bytes.size(), 1u << 30));
        sum = crc32(sum, reinterpret_cast<const Bytef*>(bytes.data()), chunk);
        bytes.remove_prefix(chunk);
    }
    return std::uint32_t(sum);
}

std::string header_of(const FontStamp& font) {
    std::string out(kCacheMagic, sizeof kCacheMagic);
    put(out, kByteOrder);
    put(out, font.size);
    put(out, font.modified_ns);
    put(out, std::uint32_t(font.path.size()));
    out += font.path;
    return out;
}

}  // namespace

std::optional<std::vector<CachedGlyph>> read_glyph_cache(const std::filesystem::path& file, const FontStamp& font) {
    const std::optional<std::string> data = read_file(file, kCacheLimit);
    if (!data || data->size() < 4) return std::nullopt;
    // The last four bytes are the checksum of all before them: a cache with
    // a flipped bit is not believed.
    std::string_view rest(data->data(), data->size() - 4);
    std::string_view stored(data->data() + rest.size(), 4);
    std::uint32_t sum = 0;
    if (!take(stored, sum) || sum != checksum(rest)) return std::nullopt;
    const std::string header = header_of(font);
    if (!rest.starts_with(header)) return std::nullopt;
    rest.remove_prefix(header.size());
    std::uint32_t count = 0;
    if (!take(rest, count) || rest.size() != std::size_t(count) * kEntryBytes) return std::nullopt;
    std::vector<CachedGlyph> glyphs(count);
    for (CachedGlyph& g : glyphs) {
        std::uint32_t cp = 0;
        std::uint8_t columns = 0, width = 0;
        take(rest, cp);
        take(rest, columns);
        take(rest, width);
        for (auto& row : g.mask.rows) take(rest, row);
        if (cp > 0x10FFFF || (columns != 1 && columns != 2) || width != columns * 8) return std::nullopt;
        g.cp = cp;
        g.columns = columns;
        g.mask.width = width;
    }
    return glyphs;
}

bool write_glyph_cache(const std::filesystem::path& file, const FontStamp& font, const std::vector<CachedGlyph>& glyphs) {
    std::string data = header_of(font);
    put(data, std::uint32_t(glyphs.size()));
    for (const CachedGlyph& g : glyphs) {
        put(data, std::uint32_t(g.cp));
        put(data, std::uint8_t(g.columns));
        put(data, std::uint8_t(g.mask.width));
        for (std::uint16_t row : g.mask.rows) put(data, row);
    }
    put(data, checksum(data));
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    return !write_whole_file(file, data);
}

std::filesystem::path default_glyph_cache() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && *xdg == '/')
        return std::filesystem::path(xdg) / "marula" / "glyphs.bin";
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
        return std::filesystem::path(home) / ".cache" / "marula" / "glyphs.bin";
    return {};
}

std::optional<std::string> GlyphFont::open(std::unique_ptr<GlyphFont>& out, const std::filesystem::path& cache_file) {
    const char* env = std::getenv("MARULA_FONT");
    const std::string path = env != nullptr && *env != '\0' ? env : kDefaultFontPath;
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return "画面フォントが見つかりません: " + path + " (screen font not found)";
    FontStamp stamp{path, std::uint64_t(info.st_size),
                    std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};

    auto font = std::make_unique<ScreenFont>(stamp, cache_file);
    if (!cache_file.empty()) {
        if (auto glyphs = read_glyph_cache(cache_file, stamp)) font->adopt(*glyphs);
    }
    // Without glyphs from an earlier run the face is opened now, so that an
    // unusable font is reported at start rather than halfway through.
    if (!font->has_glyphs()) {
        if (auto err = font->open_renderer()) return err;
    }
    out = std::move(font);
    return std::nullopt;
}

}  // namespace marula
