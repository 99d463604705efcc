// The nine accepted argument shapes.
#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace rdv {

enum class Command {
    windows_table,
    windows_json,
    inspect_rule,
    scene_tree,
    scene_dot,
    outputs_text,
    outputs_json,
    layout_query,
    layout_set,
};

struct ParsedCommand {
    Command command;
    std::string_view name;    // NAME of the layout commands, exact bytes
    std::string_view layout;  // LAYOUT of layout_set, exact bytes
};

// Matches the arguments after the program name against the nine shapes, by
// count and exact bytes. Returns nothing for every other vector.
std::optional<ParsedCommand> parse_command_line(std::span<const char* const> args) noexcept;

}  // namespace rdv
