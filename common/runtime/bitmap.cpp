#include "bitmap.h"


#include "base/files.h"
#include "palette.h"

namespace marula {

namespace {

// The file's bytes, read as unsigned.
class Bytes {
public:
    explicit Bytes(std::string_view data) : data_(data) {}
    std::size_t size() const { return data_.size(); }
    unsigned operator[](std::size_t at) const { return static_cast<unsigned char>(data_[at]); }

private:
    std::string_view data_;
};

std::uint32_t read_le(const Bytes& b, size_t at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
    return v;
}

}  // namespace

std::optional<std::string> load_bmp(const std::filesystem::path& file, Picture& out) {
    const std::optional<std::string> content = read_file(file);
    if (!content) return "cannot open " + file.string();
    const Bytes b(*content);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return "not a BMP file: " + file.string();
    std::uint32_t data_at = read_le(b, 10, 4);
    std::uint32_t header = read_le(b, 14, 4);
    if (header < 40) return "unsupported BMP header: " + file.string();
    std::int32_t width = std::int32_t(read_le(b, 18, 4));
    std::int32_t height = std::int32_t(read_le(b, 22, 4));
    int bits = int(read_le(b, 28, 2));
    std::uint32_t compression = read_le(b, 30, 4);
    std::uint32_t colors_used = read_le(b, 46, 4);
    bool top_down = height < 0;
    if (top_down) height = -height;
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return "bad BMP size: " + file.string();
    if (!(compression == 0 || (compression == 3 && bits == 32))) return "compressed BMP: " + file.string();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return "unsupported BMP depth";
    // The file's own palette, each entry already as the nearest screen colour.
    std::vector<std::uint8_t> palette;
    if (bits <= 8) {
        size_t count = colors_used ? colors_used : (1u << bits);
        size_t at = 14 + header;
        if (count > 256 || at + count * 4 > b.size()) return "bad BMP palette: " + file.string();
        for (size_t i = 0; i < count; ++i)
            palette.push_back(std::uint8_t(nearest_palette_color(
                (std::uint32_t(b[at + 4 * i + 2]) << 16) | (std::uint32_t(b[at + 4 * i + 1]) << 8) | b[at + 4 * i])));
    }
    size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
    if (data_at + stride * size_t(height) > b.size()) return "truncated BMP: " + file.string();
    out.width = width;
    out.height = height;
    out.colours.assign(size_t(width) * height, 0);
    // True-colour pictures come in runs of one colour: the nearest screen
    // colour is worked out again only when the colour changes.
    std::uint32_t last_rgb = 0;
    std::uint8_t last_colour = std::uint8_t(nearest_palette_color(0));
    for (int y = 0; y < height; ++y) {
        size_t row = data_at + stride * size_t(top_down ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            std::uint8_t colour = 0;
            if (bits >= 24) {
                size_t p = row + size_t(x) * (bits / 8);
                const std::uint32_t rgb = (std::uint32_t(b[p + 2]) << 16) | (std::uint32_t(b[p + 1]) << 8) | b[p];
                if (rgb != last_rgb) {
                    last_rgb = rgb;
                    last_colour = std::uint8_t(nearest_palette_color(rgb));
                }
                colour = last_colour;
            } else {
                size_t bit = size_t(x) * bits;
                unsigned byte = b[row + bit / 8];
                unsigned index = (byte >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                colour = index < palette.size() ? palette[index] : std::uint8_t(0);
            }
            out.colours[size_t(y) * width + x] = colour;
        }
    }
    return std::nullopt;
}

int nearest_palette_color(std::uint32_t rgb) {
    int best = 0;
    long best_d = -1;
    for (int i = 0; i < 16; ++i) {
        long dr = long((rgb >> 16) & 0xff) - long((kPalette[i] >> 16) & 0xff);
        long dg = long((rgb >> 8) & 0xff) - long((kPalette[i] >> 8) & 0xff);
        long db = long(rgb & 0xff) - long(kPalette[i] & 0xff);
        long d = dr * dr + dg * dg + db * db;
        if (best_d < 0 || d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

}  // namespace marula
