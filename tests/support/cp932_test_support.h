// For tests: the system's own CP932 converter, asked one character at a
// time, as the yardstick for display widths and the glyphs they need.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

namespace marula {

class Cp932Converter {
public:
    Cp932Converter() : cd_(iconv_open("CP932", "UTF-32LE")) {
        EXPECT_NE(cd_, reinterpret_cast<iconv_t>(-1)) << "no CP932 converter";
    }
    ~Cp932Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    Cp932Converter(const Cp932Converter&) = delete;
    Cp932Converter& operator=(const Cp932Converter&) = delete;

    // The number of bytes cp takes in CP932; nothing when CP932 cannot write it.
    std::optional<int> bytes(char32_t cp) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
        char in[4];
        std::memcpy(in, &cp, 4);
        char out[8];
        char* in_ptr = in;
        char* out_ptr = out;
        std::size_t in_left = 4, out_left = sizeof out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1)) return std::nullopt;
        return static_cast<int>(sizeof out - out_left);
    }

private:
    iconv_t cd_;
};

// " U+XXXX", for lists of characters in failure messages.
inline std::string code_point_name(char32_t cp) {
    char name[16];
    std::snprintf(name, sizeof name, " U+%04X", static_cast<unsigned>(cp));
    return name;
}

}  // namespace marula
