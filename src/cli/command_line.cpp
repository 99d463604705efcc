#include "cli/command_line.hpp"

namespace rdv {

std::optional<ParsedCommand> parse_command_line(std::span<const char* const> args) noexcept
{
    auto is = [&](std::size_t index, std::string_view word) { return std::string_view(args[index]) == word; };

    switch (args.size()) {
    case 1:
        if (is(0, "windows"))
            return ParsedCommand{Command::windows_table, {}, {}};
        if (is(0, "scene"))
            return ParsedCommand{Command::scene_tree, {}, {}};
        if (is(0, "outputs"))
            return ParsedCommand{Command::outputs_text, {}, {}};
        return std::nullopt;
    case 2:
        if (is(0, "windows") && is(1, "--json"))
            return ParsedCommand{Command::windows_json, {}, {}};
        if (is(0, "inspect") && is(1, "--rule"))
            return ParsedCommand{Command::inspect_rule, {}, {}};
        if (is(0, "scene") && is(1, "--dot"))
            return ParsedCommand{Command::scene_dot, {}, {}};
        if (is(0, "outputs") && is(1, "--json"))
            return ParsedCommand{Command::outputs_json, {}, {}};
        return std::nullopt;
    case 4:
        if (is(0, "layout") && is(1, "--output") && is(3, "--json"))
            return ParsedCommand{Command::layout_query, args[2], {}};
        return std::nullopt;
    case 6:
        if (is(0, "layout") && is(1, "--output") && is(3, "--set") && is(5, "--json"))
            return ParsedCommand{Command::layout_set, args[2], args[4]};
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

}  // namespace rdv
