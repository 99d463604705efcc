#pragma once
// Text values: wherever a scenario gives a string argument it may write a JSON
// string (its UTF-8 bytes), {"hex": "c3a9ff"} (exact bytes) or
// {"repeat": TEXT, "count": N} (TEXT N times over).

#include "scenario/json_read.hpp"

#include <cstddef>
#include <string>

namespace mock {

// Longest text a scenario may build. Events are limited far below this by the
// message size; the cap only guards against runaway repeats.
inline constexpr std::size_t max_text_size = std::size_t{1} << 20;

// The bytes of a text value. Wayland strings end at the first zero byte, so a
// text containing one is an error.
std::string read_text(const Json& value, const std::string& path);

} // namespace mock
