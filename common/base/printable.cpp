// Control characters and stray bytes shown as \xNN.
#include "base/printable.h"

#include <algorithm>

namespace marula {

namespace {

// The length of the valid UTF-8 sequence at the start of `text` and its code
// point; 0 when the first byte starts none (a stray byte).
std::size_t sequence_at(std::string_view text, char32_t& cp) {
    const unsigned char lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, cp = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, cp = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, cp = lead & 0x07;
    else return 0;
    if (text.size() < length) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[k]);
        if ((next & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are stray bytes.
    if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

void append_escape(std::string& out, unsigned value) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[(value >> 4) & 0xF];
    out += kHex[value & 0xF];
}

bool is_control(char32_t cp) { return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp < 0xA0); }

}  // namespace

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        char32_t cp = 0;
        const std::size_t length = sequence_at(text, cp);
        if (length == 0) {
            append_escape(out, static_cast<unsigned char>(text[0]));
            text.remove_prefix(1);
            continue;
        }
        if (is_control(cp)) append_escape(out, static_cast<unsigned>(cp));
        else out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return out;
}

std::string printable_quote(std::string_view text, std::size_t max_bytes) {
    std::size_t kept = 0;
    while (kept < text.size()) {
        char32_t cp = 0;
        const std::size_t length = std::max<std::size_t>(1, sequence_at(text.substr(kept), cp));
        if (kept + length > max_bytes) break;
        kept += length;
    }
    std::string out = printable(text.substr(0, kept));
    if (kept < text.size()) out += "…";
    return out;
}

bool is_printable(std::string_view text) {
    while (!text.empty()) {
        char32_t cp = 0;
        const std::size_t length = sequence_at(text, cp);
        if (length == 0 || is_control(cp)) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string without_control_characters(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        char32_t cp = 0;
        const std::size_t length = std::max<std::size_t>(1, sequence_at(text, cp));
        if (length == 1 && static_cast<unsigned char>(text[0]) >= 0x80) out += text[0];  // a stray byte
        else if (!is_control(cp)) out.append(text.substr(0, length));
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace marula
