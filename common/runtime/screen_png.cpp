// Screen pictures as PNG. Snaps are written at every scripted wait, so the
// file is made the quick way. The screen holds only the sixteen palette
// colours: the picture is a 4-bit palette image, and its rows are
// deflated here as they come, with the fixed codes, where a byte either
// starts a run of the byte before it or repeats the row above it, or is
// sent as it is. Screens are mostly runs and repeated rows, so this comes
// to a few kilobytes in a fraction of a millisecond. zlib supplies the
// checksums.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <string>

#include "base/files.h"
#include "palette.h"
#include "printer.h"
#include "screen_geometry.h"

namespace marula {

namespace {

constexpr int kWidth = kScreenWidth;
constexpr int kHeight = kScreenHeight;
constexpr std::size_t kRowBytes = 1 + kWidth / 2;  // filter byte, then two pixels a byte

// Bits into bytes, least significant bit first, as deflate wants them.
class BitWriter {
public:
    explicit BitWriter(std::string& out) : out_(out) {}
    void bits(std::uint32_t value, int count) {
        buffer_ |= std::uint64_t(value) << filled_;
        filled_ += count;
        while (filled_ >= 8) {
            out_ += char(buffer_ & 0xFF);
            buffer_ >>= 8;
            filled_ -= 8;
        }
    }
    // A Huffman code goes out from its most significant bit.
    void code(std::uint32_t value, int length) {
        std::uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) reversed |= ((value >> i) & 1u) << (length - 1 - i);
        bits(reversed, length);
    }
    void flush() {
        if (filled_ > 0) bits(0, 8 - filled_);
    }

private:
    std::string& out_;
    std::uint64_t buffer_ = 0;
    int filled_ = 0;
};

// The fixed literal/length code of a symbol 0..287.
void fixed_symbol(BitWriter& out, int symbol) {
    if (symbol < 144) {
        out.code(0x30 + symbol, 8);
    } else if (symbol < 256) {
        out.code(0x190 + (symbol - 144), 9);
    } else if (symbol < 280) {
        out.code(symbol - 256, 7);
    } else {
        out.code(0xC0 + (symbol - 280), 8);
    }
}

// A match of 3..258 bytes at distance 1 or one row back.
void fixed_match(BitWriter& out, int length, int distance) {
    static constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    int code = 28;
    while (kLengthBase[std::size_t(code)] > length) --code;
    fixed_symbol(out, 257 + code);
    out.bits(std::uint32_t(length - kLengthBase[std::size_t(code)]), kLengthExtra[std::size_t(code)]);
    if (distance == 1) {
        out.code(0, 5);  // distance code 0: one back, no extra bits
    } else {
        static_assert(kRowBytes >= 257 && kRowBytes <= 384, "one row back is distance code 16");
        out.code(16, 5);
        out.bits(std::uint32_t(distance - 257), 7);
    }
}

// The zlib stream of the picture's rows, made as they come: each row is a
// filter byte and the packed pixels, and a match never runs past the end of
// its row, so only the row before is kept.
class RowDeflater {
public:
    explicit RowDeflater(std::string& out) : out_(out), writer_(out) {
        out_ += {char(0x78), char(0x01)};  // deflate, 32K window, no dictionary
        writer_.bits(1, 1);                 // the last block
        writer_.bits(1, 2);                 // fixed codes
    }

    void add_row(const std::uint8_t* indices) {
        row_[0] = 0;  // no filter
        for (int x = 0; x < kWidth; x += 2)
            row_[std::size_t(1 + x / 2)] = std::uint8_t(((indices[x] & 15) << 4) | (indices[x + 1] & 15));
        adler_ = adler32(adler_, row_.data(), uInt(row_.size()));
        std::size_t at = 0;
        while (at < kRowBytes) {
            const int same = at > 0 ? run(row_.data() + at, row_.data() + at - 1, kRowBytes - at) : 0;
            const int above = rows_ > 0 ? run(row_.data() + at, above_.data() + at, kRowBytes - at) : 0;
            const int best = std::max(same, above);
            if (best >= 3) {
                fixed_match(writer_, best, same >= above ? 1 : int(kRowBytes));
                at += std::size_t(best);
            } else {
                fixed_symbol(writer_, row_[at]);
                ++at;
            }
        }
        std::swap(row_, above_);
        ++rows_;
    }

    void finish() {
        fixed_symbol(writer_, 256);  // end of block
        writer_.flush();
        for (int shift : {24, 16, 8, 0}) out_ += char((adler_ >> shift) & 0xFF);
    }

private:
    // How many bytes (at most 258, at most `left`) of `from` equal those of `earlier`.
    static int run(const std::uint8_t* from, const std::uint8_t* earlier, std::size_t left) {
        const std::size_t limit = std::min<std::size_t>(258, left);
        std::size_t n = 0;
        while (n < limit && from[n] == earlier[n]) ++n;
        return int(n);
    }

    std::string& out_;
    BitWriter writer_;
    uLong adler_ = adler32(0, nullptr, 0);
    std::array<std::uint8_t, kRowBytes> row_{};
    std::array<std::uint8_t, kRowBytes> above_{};
    int rows_ = 0;
};

void put_be32(std::string& out, std::uint32_t value) {
    for (int shift : {24, 16, 8, 0}) out += char((value >> shift) & 0xFF);
}

// A chunk: length, type, data, CRC of type and data.
void put_chunk(std::string& out, const char* type, const std::string& data) {
    put_be32(out, std::uint32_t(data.size()));
    const std::string body = std::string(type, 4) + data;
    out += body;
    put_be32(out, std::uint32_t(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

}  // namespace

std::string screen_png(const std::function<const std::uint8_t*(int y)>& row) {
    std::string image;
    RowDeflater deflater(image);
    for (int y = 0; y < kHeight; ++y) deflater.add_row(row(y));
    deflater.finish();

    std::string png = "\x89PNG\r\n\x1A\n";
    std::string header;
    put_be32(header, kWidth);
    put_be32(header, kHeight);
    header += {char(4), char(3), char(0), char(0), char(0)};  // 4-bit palette, deflate, no filter, not interlaced
    put_chunk(png, "IHDR", header);
    std::string palette;
    for (std::uint32_t rgb : kPalette) palette += {char(rgb >> 16), char((rgb >> 8) & 0xFF), char(rgb & 0xFF)};
    put_chunk(png, "PLTE", palette);
    put_chunk(png, "IDAT", image);
    put_chunk(png, "IEND", "");
    return png;
}

std::optional<std::string> write_screen_png(const std::function<const std::uint8_t*(int y)>& row,
                                            const std::filesystem::path& file) {
    return write_whole_file(file, screen_png(row));
}

std::optional<std::string> write_screen_png(const std::uint8_t* indices, const std::filesystem::path& file) {
    return write_screen_png([indices](int y) { return indices + std::size_t(kWidth) * y; }, file);
}

}  // namespace marula
