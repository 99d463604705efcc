// The one-line JSON result of the layout commands.
#pragma once

#include "layout/layout_reply.hpp"
#include "text/error.hpp"
#include "text/writer.hpp"

namespace rdv {

// {"ok":…,"status":…,"output":…,"workspace":…,"layout":…} and a newline; an
// absent text is written as an empty string, never null.
[[nodiscard]] Result<> write_layout_result(Writer& writer, const LayoutReply& reply) noexcept;

}  // namespace rdv
