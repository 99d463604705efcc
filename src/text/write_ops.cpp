#include "text/write_ops.hpp"

#include <array>

#include "text/utf8.hpp"

namespace rdv {
namespace {

// Bytes that a JSON string takes as they are (ASCII only; bytes from 0x80
// up are checked as UTF-8).
constexpr std::array<bool, 256> make_json_plain_table() noexcept
{
    std::array<bool, 256> table{};
    for (int byte = 0x20; byte < 0x7F; ++byte)
        table[static_cast<std::size_t>(byte)] = byte != '"' && byte != '\\';
    return table;
}
constexpr std::array<bool, 256> kJsonPlain = make_json_plain_table();

constexpr bool is_control(unsigned char byte) noexcept
{
    return byte < 0x20 || byte == 0x7F;
}

// Bytes that one-line text takes as they are without a closer look: printable
// ASCII.
constexpr std::array<bool, 256> make_printable_table() noexcept
{
    std::array<bool, 256> table{};
    for (int byte = 0x20; byte < 0x7F; ++byte)
        table[static_cast<std::size_t>(byte)] = true;
    return table;
}
constexpr std::array<bool, 256> kPrintable = make_printable_table();

std::string_view as_chars(const unsigned char* from, const unsigned char* to) noexcept
{
    return {reinterpret_cast<const char*>(from), static_cast<std::size_t>(to - from)};
}

Result<> write_json_escape(Writer& writer, unsigned char byte) noexcept
{
    switch (byte) {
    case '"':
        return writer.put("\\\"");
    case '\\':
        return writer.put("\\\\");
    case '\n':
        return writer.put("\\n");
    case '\r':
        return writer.put("\\r");
    case '\t':
        return writer.put("\\t");
    default:
        break;
    }
    constexpr char digits[] = "0123456789abcdef";
    const char escape[6] = {'\\', 'u', '0', '0', digits[byte >> 4], digits[byte & 0x0F]};
    return writer.put(std::string_view(escape, sizeof escape));
}

// Shared body of the two single-line writers.
template <bool RepairUtf8>
Result<> write_single_line_impl(Writer& writer, std::string_view bytes) noexcept
{
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    auto* end = p + bytes.size();
    auto* run = p;  // start of the bytes not yet written that pass unchanged
    for (;;) {
        while (p < end && kPrintable[*p])
            ++p;
        if (p == end)
            break;
        unsigned char byte = *p;
        if (is_control(byte)) {
            RDV_TRY(writer.put(as_chars(run, p)));
            RDV_TRY(writer.put(' '));
            run = ++p;
            continue;
        }
        Utf8Sequence sequence = scan_utf8(p, end);
        if (is_c1_control(p, sequence.well_formed ? sequence.length : 0)) {
            RDV_TRY(writer.put(as_chars(run, p)));
            RDV_TRY(writer.put(' '));
            run = p += 2;
            continue;
        }
        if (RepairUtf8 && !sequence.well_formed) {
            RDV_TRY(writer.put(as_chars(run, p)));
            RDV_TRY(writer.put(kReplacementCharacter));
            run = p += sequence.length;
            continue;
        }
        // Without repair a lone lead byte passes and the scan resumes at the
        // next byte, so that a control byte inside a broken sequence is still
        // caught.
        p += sequence.well_formed ? sequence.length : 1;
    }
    return writer.put(as_chars(run, end));
}

}  // namespace

namespace detail {

std::size_t format_decimal(char* out, std::uint64_t value) noexcept
{
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    // Most values are below 10,000 (positions, sizes): counted by comparisons.
    std::size_t length;
    if (value < 10000) {
        length = std::size_t{1} + (value >= 10 ? 1u : 0u) + (value >= 100 ? 1u : 0u) + (value >= 1000 ? 1u : 0u);
    } else {
        length = 5;
        for (std::uint64_t rest = value / 10000; rest >= 10; rest /= 10)
            ++length;
    }
    char* p = out + length;
    // Two digits at a time, in 32-bit arithmetic once the value fits.
    while (value > UINT32_MAX) {
        const std::size_t pair = static_cast<std::size_t>(value % 100) * 2;
        value /= 100;
        p -= 2;
        p[0] = kPairs[pair];
        p[1] = kPairs[pair + 1];
    }
    auto small = static_cast<std::uint32_t>(value);
    while (small >= 100) {
        const std::size_t pair = (small % 100) * 2;
        small /= 100;
        p -= 2;
        p[0] = kPairs[pair];
        p[1] = kPairs[pair + 1];
    }
    if (small >= 10) {
        const std::size_t pair = small * 2;
        p[-2] = kPairs[pair];
        p[-1] = kPairs[pair + 1];
    } else {
        p[-1] = static_cast<char>('0' + small);
    }
    return length;
}

}  // namespace detail

Result<> write_geometry(Writer& writer, std::int32_t x, std::int32_t y, std::int32_t width,
                        std::int32_t height) noexcept
{
    return detail::write_formatted<4 * 11 + 3>(writer, [&](char* text) {
        char* p = text;
        p += detail::format_signed(p, x);
        *p++ = ',';
        p += detail::format_signed(p, y);
        *p++ = ' ';
        p += detail::format_signed(p, width);
        *p++ = 'x';
        p += detail::format_signed(p, height);
        return static_cast<std::size_t>(p - text);
    });
}

Result<> write_json_string(Writer& writer, std::string_view bytes) noexcept
{
    RDV_TRY(writer.put('"'));
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    auto* end = p + bytes.size();
    auto* run = p;
    while (p < end) {
        unsigned char byte = *p;
        if (kJsonPlain[byte]) {
            ++p;
            continue;
        }
        if (byte >= 0x80) {
            Utf8Sequence sequence = scan_utf8(p, end);
            if (sequence.well_formed) {
                p += sequence.length;
                continue;
            }
            RDV_TRY(writer.put(as_chars(run, p)));
            RDV_TRY(writer.put(kReplacementCharacter));
            run = p += sequence.length;
            continue;
        }
        RDV_TRY(writer.put(as_chars(run, p)));
        RDV_TRY(write_json_escape(writer, byte));
        run = ++p;
    }
    RDV_TRY(writer.put(as_chars(run, end)));
    return writer.put('"');
}

Result<> write_optional_string_member(Writer& writer, std::string_view key, const Text& value,
                                      bool first) noexcept
{
    if (!first)
        RDV_TRY(writer.put(','));
    RDV_TRY(write_json_string(writer, key));
    RDV_TRY(writer.put(':'));
    if (!value)
        return writer.put("null");
    return write_json_string(writer, *value);
}

Result<> write_single_line(Writer& writer, std::string_view bytes) noexcept
{
    return write_single_line_impl<false>(writer, bytes);
}

Result<> write_single_line_utf8(Writer& writer, std::string_view bytes) noexcept
{
    return write_single_line_impl<true>(writer, bytes);
}

}  // namespace rdv
