// The two renderings of the output snapshot and the number formats they share.
#pragma once

#include <cstdint>
#include <string_view>

#include "outputs/output_head.hpp"
#include "text/error.hpp"
#include "text/writer.hpp"

namespace rdv {

// The word of a wl_output transform value; "unknown" outside 0 to 7.
std::string_view transform_word(std::int32_t transform) noexcept;

// `value` with exactly six decimals: the shortest digits that read back as
// the same double, rounded half up on those decimal digits (so 1.0078125
// gives 1.007813, where rounding the binary value would give 1.007812).
[[nodiscard]] Result<> write_fixed6(Writer& writer, double value) noexcept;

// One block of lines per head that has not finished, for people.
[[nodiscard]] Result<> write_outputs_text(Writer& writer, const HeadList& heads) noexcept;

// A JSON array with one object per head that has not finished.
[[nodiscard]] Result<> write_outputs_json(Writer& writer, const HeadList& heads) noexcept;

}  // namespace rdv
