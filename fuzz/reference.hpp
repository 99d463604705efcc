// Straightforward references the fuzz targets compare the tool's writers
// with. They share no code with src/: a UTF-8 decoder that replaces each
// ill-formed maximal subpart with U+FFFD (as Python's decode("utf-8",
// "replace") does), its encoder, a JSON string reader, and the check that
// stops a target on the first difference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace ref {

constexpr char32_t replacement = 0xFFFD;

[[noreturn]] inline void fail(const char* what, std::string_view input, std::string_view got, std::string_view want)
{
    auto dump = [](const char* label, std::string_view bytes) {
        std::fprintf(stderr, "%s (%zu bytes):", label, bytes.size());
        for (std::size_t i = 0; i < bytes.size() && i < 512; ++i) {
            std::fprintf(stderr, " %02x", static_cast<unsigned char>(bytes[i]));
        }
        std::fprintf(stderr, "\n");
    };
    std::fprintf(stderr, "MISMATCH: %s\n", what);
    dump("input", input);
    dump("got", got);
    dump("want", want);
    std::abort();
}

// The second byte's range for each lead byte, from the Unicode standard's
// table of well-formed UTF-8 byte sequences; 0 bytes for a byte that cannot
// start a sequence.
struct Lead {
    int length;          // bytes of the whole sequence
    unsigned char low;   // second byte, lowest
    unsigned char high;  // second byte, highest
};

inline Lead lead_of(unsigned char byte)
{
    if (byte >= 0xC2 && byte <= 0xDF) return {2, 0x80, 0xBF};
    if (byte == 0xE0) return {3, 0xA0, 0xBF};
    if ((byte >= 0xE1 && byte <= 0xEC) || byte == 0xEE || byte == 0xEF) return {3, 0x80, 0xBF};
    if (byte == 0xED) return {3, 0x80, 0x9F};
    if (byte == 0xF0) return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3) return {4, 0x80, 0xBF};
    if (byte == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// Code points of `bytes`; each ill-formed maximal subpart (a lead byte and
// the continuation bytes that still fit it) becomes one U+FFFD. `clean` is
// cleared when any replacement was made.
inline std::vector<char32_t> decode(std::string_view bytes, bool* clean = nullptr)
{
    std::vector<char32_t> out;
    if (clean) *clean = true;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        const Lead lead = lead_of(b0);
        if (lead.length == 0) {
            out.push_back(replacement);
            if (clean) *clean = false;
            ++i;
            continue;
        }
        char32_t value = b0 & (lead.length == 2 ? 0x1F : lead.length == 3 ? 0x0F : 0x07);
        int taken = 1;
        while (taken < lead.length && i + static_cast<std::size_t>(taken) < bytes.size()) {
            const auto b = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(taken)]);
            const unsigned char low = taken == 1 ? lead.low : 0x80;
            const unsigned char high = taken == 1 ? lead.high : 0xBF;
            if (b < low || b > high) break;
            value = (value << 6) | (b & 0x3F);
            ++taken;
        }
        if (taken == lead.length) {
            out.push_back(value);
        } else {
            out.push_back(replacement);
            if (clean) *clean = false;
        }
        i += static_cast<std::size_t>(taken);
    }
    return out;
}

inline void encode(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

inline bool is_valid_utf8(std::string_view bytes)
{
    bool clean = true;
    decode(bytes, &clean);
    return clean;
}

inline int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads one whole JSON string (RFC 8259): the quotes, the escapes, no raw
// control character, valid UTF-8. Returns false when `text` is not exactly
// one JSON string; else its code points (surrogate pairs joined).
inline bool read_json_string(std::string_view text, std::vector<char32_t>& out)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return false;
    if (!is_valid_utf8(text)) return false;
    const std::vector<char32_t> cps = decode(text);
    for (std::size_t i = 1; i + 1 < cps.size(); ++i) {
        const char32_t c = cps[i];
        if (c == '"' || c < 0x20) return false;
        if (c != '\\') {
            out.push_back(c);
            continue;
        }
        if (++i + 1 >= cps.size()) return false;
        switch (cps[i]) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'u': {
            if (i + 4 > cps.size() - 2) return false;  // four digits before the closing quote
            char32_t value = 0;
            for (int k = 1; k <= 4; ++k) {
                const char32_t d = cps[i + static_cast<std::size_t>(k)];
                const int v = d < 0x80 ? hex_value(static_cast<char>(d)) : -1;
                if (v < 0) return false;
                value = value * 16 + static_cast<char32_t>(v);
            }
            i += 4;
            if (value >= 0xD800 && value <= 0xDFFF) return false;  // the writer never needs surrogates
            out.push_back(value);
            break;
        }
        default: return false;
        }
    }
    return true;
}

}  // namespace ref
