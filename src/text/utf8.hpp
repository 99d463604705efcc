// Well-formed UTF-8, as the Unicode standard's table of well-formed byte
// sequences defines it.
#pragma once

#include <cstddef>

namespace rdv {

struct Utf8Sequence {
    std::size_t length;  // bytes of the sequence, or of its maximal subpart when ill-formed
    bool well_formed;
};

// Looks at the sequence starting at `p` (which must be before `end`). An
// ill-formed sequence reports its maximal subpart: the lead byte and the
// continuation bytes that still fit, so that each subpart becomes one U+FFFD,
// as Python's `decode("utf-8", "replace")` does.
constexpr Utf8Sequence scan_utf8(const unsigned char* p, const unsigned char* end) noexcept
{
    unsigned char lead = p[0];
    if (lead < 0x80)
        return {1, true};
    if (lead < 0xC2 || lead > 0xF4)
        return {1, false};

    std::size_t needed = 1;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xF0) {
        needed = 3;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else if (lead >= 0xE0) {
        needed = 2;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F;
    }

    std::size_t length = 1;
    for (std::size_t k = 0; k < needed; ++k) {
        if (p + length >= end)
            return {length, false};
        unsigned char next = p[length];
        if (next < low || next > high)
            return {length, false};
        ++length;
        low = 0x80;
        high = 0xBF;
    }
    return {length, true};
}

// The two-byte encodings of the C1 controls, U+0080 to U+009F.
constexpr bool is_c1_control(const unsigned char* p, std::size_t length) noexcept
{
    return length == 2 && p[0] == 0xC2 && p[1] <= 0x9F;
}

inline constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace rdv
