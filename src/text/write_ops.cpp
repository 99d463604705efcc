#include "text/write_ops.hpp"

#include <array>
#include <charconv>

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
    while (p < end) {
        unsigned char byte = *p;
        if (byte < 0x80 && !is_control(byte)) {
            ++p;
            continue;
        }
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

Result<> write_signed_decimal(Writer& writer, std::int32_t value) noexcept
{
    char digits[12];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    return writer.put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

Result<> write_unsigned_decimal(Writer& writer, std::uint64_t value) noexcept
{
    char digits[20];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    return writer.put(std::string_view(digits, static_cast<std::size_t>(end - digits)));
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
