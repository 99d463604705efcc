// The three renderings of the window snapshot. Each shows exactly the listed
// windows (open and fully described), in list order.
#pragma once

#include "text/error.hpp"
#include "text/writer.hpp"
#include "windows/window_info.hpp"

namespace rdv {

// Tab-separated table: a header line, then one line of eight columns per window.
[[nodiscard]] Result<> write_window_table(Writer& writer, const WindowList& windows) noexcept;

// A JSON array with one object per window, one object per line.
[[nodiscard]] Result<> write_windows_json(Writer& writer, const WindowList& windows) noexcept;

// A TOML window-rule stub per window.
[[nodiscard]] Result<> write_rule_stubs(Writer& writer, const WindowList& windows) noexcept;

}  // namespace rdv
