// UTF-8 and CP932.
#include "base/text_codec.h"

#include <iconv.h>

#include <cerrno>

namespace marula {

namespace {

// One converter per direction and thread, opened on first use: opening
// costs far more than converting a name.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (usable()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::optional<std::string> convert(std::string_view in) {
        if (!usable()) return std::nullopt;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out(in.size() * 2 + 8, '\0');
        char* in_ptr = const_cast<char*>(in.data());
        std::size_t in_left = in.size();
        std::size_t done = 0;
        while (true) {
            char* out_ptr = out.data() + done;
            std::size_t out_left = out.size() - done;
            const std::size_t r = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left);
            done = out.size() - out_left;
            if (r != static_cast<std::size_t>(-1)) {
                // Flush any shift state (none for these encodings, but asked).
                out_ptr = out.data() + done;
                out_left = out.size() - done;
                if (iconv(cd_, nullptr, nullptr, &out_ptr, &out_left) == static_cast<std::size_t>(-1))
                    return std::nullopt;
                done = out.size() - out_left;
                // glibc's iconv may report irreversible conversions by a
                // positive count; for CP932 these are substitutions.
                if (r != 0) return std::nullopt;
                out.resize(done);
                return out;
            }
            if (errno != E2BIG) return std::nullopt;  // EILSEQ or EINVAL: no such character
            out.resize(out.size() * 2);
        }
    }

private:
    bool usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t cd_;
};

}  // namespace

bool decode_utf8(std::string_view s, std::u32string& out) {
    out.clear();
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp;
        std::size_t len;
        if (c < 0x80) { cp = c; len = 1; }
        else if (c >= 0xC2 && c <= 0xDF) { cp = c & 0x1F; len = 2; }
        else if (c >= 0xE0 && c <= 0xEF) { cp = c & 0x0F; len = 3; }
        else if (c >= 0xF0 && c <= 0xF4) { cp = c & 0x07; len = 4; }
        else return false;
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are invalid.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        out += cp;
        i += len;
    }
    return true;
}

std::string encode_utf8(std::u32string_view chars) {
    std::string out;
    for (const char32_t cp : chars) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool is_valid_utf8(std::string_view bytes) {
    std::u32string ignored;
    return decode_utf8(bytes, ignored);
}

std::optional<std::string> utf8_to_cp932(std::string_view utf8) {
    // ASCII is the same in both: most names and every number line.
    bool ascii = true;
    for (const char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::string(utf8);
    thread_local Converter converter("CP932", "UTF-8");
    auto bytes = converter.convert(utf8);
    // glibc writes some characters as another's code (¥ as 0x5C, ‾ as
    // 0x7E): such a text would read back as something else, so it has no
    // CP932 form here.
    if (bytes && cp932_to_utf8(*bytes) != std::optional<std::string>(std::string(utf8))) return std::nullopt;
    return bytes;
}

std::optional<std::string> cp932_to_utf8(std::string_view cp932) {
    bool ascii = true;
    for (const char c : cp932) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::string(cp932);
    thread_local Converter converter("UTF-8", "CP932");
    return converter.convert(cp932);
}

std::string trim_blanks(std::string_view text) { return std::string(blanks_trimmed(text)); }

std::string_view blanks_trimmed(std::string_view text) {
    // Blanks, tabs and U+3000 (E3 80 80 in UTF-8) at both ends.
    auto starts_blank = [](std::string_view t) -> std::size_t {
        if (t.empty()) return 0;
        if (t[0] == ' ' || t[0] == '\t') return 1;
        if (t.substr(0, 3) == "\xE3\x80\x80") return 3;
        return 0;
    };
    auto ends_blank = [](std::string_view t) -> std::size_t {
        if (t.empty()) return 0;
        if (t.back() == ' ' || t.back() == '\t') return 1;
        if (t.size() >= 3 && t.substr(t.size() - 3) == "\xE3\x80\x80") return 3;
        return 0;
    };
    while (std::size_t n = starts_blank(text)) text.remove_prefix(n);
    while (std::size_t n = ends_blank(text)) text.remove_suffix(n);
    return text;
}

bool is_yes(std::string_view answer) {
    const std::string a = trim_blanks(answer);
    return a == "Y" || a == "y" || a == "Ｙ" || a == "ｙ";
}

}  // namespace marula
