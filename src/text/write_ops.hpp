// The writing operations every renderer shares. Each one stops at the first
// failed write and returns WriteFailed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "text/error.hpp"
#include "text/writer.hpp"

namespace rdv {

// A received text: absent when no event of its kind arrived, else the
// event's bytes (possibly empty).
using Text = std::optional<std::string>;

[[nodiscard]] inline Result<> write_bytes(Writer& writer, std::string_view bytes) noexcept
{
    return writer.put(bytes);
}

[[nodiscard]] inline Result<> flush(Writer& writer) noexcept
{
    return writer.flush();
}

[[nodiscard]] Result<> write_signed_decimal(Writer& writer, std::int32_t value) noexcept;
[[nodiscard]] Result<> write_unsigned_decimal(Writer& writer, std::uint64_t value) noexcept;

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
