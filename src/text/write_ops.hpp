// The writing operations every renderer shares. Each one stops at the first
// failed write and returns WriteFailed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/error.hpp"
#include "store/text_arena.hpp"
#include "text/writer.hpp"

namespace rdv {

[[nodiscard]] inline Result<> write_bytes(Writer& writer, std::string_view bytes) noexcept
{
    return writer.put(bytes);
}

[[nodiscard]] inline Result<> flush(Writer& writer) noexcept
{
    return writer.flush();
}

namespace detail {

// The decimal digits of `value` at `out` (room for 20); returns their count.
std::size_t format_decimal(char* out, std::uint64_t value) noexcept;

// `value` in decimal with a leading '-' when negative at `out` (room for
// 11); returns the byte count.
inline std::size_t format_signed(char* out, std::int32_t value) noexcept
{
    // The magnitude of INT32_MIN does not fit an int32, but does a uint64.
    if (value >= 0)
        return format_decimal(out, static_cast<std::uint64_t>(value));
    *out = '-';
    return 1 + format_decimal(out + 1, 0 - static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

// What `format(out)` writes at `out` (at most Room bytes; it returns their
// count): straight into the writer's buffer when it has the room, else
// through a local copy and `put`. The renderings write several numbers per
// line.
template <std::size_t Room, typename Format>
[[nodiscard]] Result<> write_formatted(Writer& writer, const Format& format) noexcept
{
    if (char* room = writer.room(Room)) {
        writer.commit(format(room));
        return {};
    }
    char text[Room];
    return writer.put(std::string_view(text, format(text)));
}

}  // namespace detail

[[nodiscard]] inline Result<> write_unsigned_decimal(Writer& writer, std::uint64_t value) noexcept
{
    return detail::write_formatted<20>(writer, [value](char* out) { return detail::format_decimal(out, value); });
}

[[nodiscard]] inline Result<> write_signed_decimal(Writer& writer, std::int32_t value) noexcept
{
    return detail::write_formatted<11>(writer, [value](char* out) { return detail::format_signed(out, value); });
}

// A position and a size as "x,y widthxheight", the form the window table
// and both scene renderings share.
[[nodiscard]] Result<> write_geometry(Writer& writer, std::int32_t x, std::int32_t y, std::int32_t width,
                                      std::int32_t height) noexcept;

// A JSON string in double quotes. Quote, backslash, line feed, carriage
// return and tab get their short escapes; the other bytes below 0x20 and 0x7F
// get "\u00xx"; each ill-formed UTF-8 sequence becomes U+FFFD; everything
// else passes unchanged. The result is also a valid TOML basic string.
[[nodiscard]] Result<> write_json_string(Writer& writer, std::string_view bytes) noexcept;

// `"key":value` with a leading comma unless `first`; an absent value is null.
[[nodiscard]] Result<> write_optional_string_member(Writer& writer, std::string_view key,
                                                    const Text& value, bool first) noexcept;

// Text kept on one line and safe for a terminal: every byte 0x00-0x1F (tab
// included) and 0x7F becomes one space, and so does each C1 control (C2 80 to
// C2 9F). Every other byte passes unchanged.
[[nodiscard]] Result<> write_single_line(Writer& writer, std::string_view bytes) noexcept;

// As write_single_line, and each ill-formed UTF-8 sequence becomes U+FFFD,
// for places that must hold valid UTF-8 (TOML comments).
[[nodiscard]] Result<> write_single_line_utf8(Writer& writer, std::string_view bytes) noexcept;

}  // namespace rdv
