// Matching the argument vector against the nine accepted shapes.
#include <gtest/gtest.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.hpp"

namespace {

using rdv::Command;

std::optional<rdv::ParsedCommand> parse(const std::vector<const char*>& args)
{
    return rdv::parse_command_line(std::span<const char* const>(args.data(), args.size()));
}

std::string describe(const std::vector<const char*>& args)
{
    std::string text = "[";
    for (const char* arg : args) {
        if (text.size() > 1)
            text += ", ";
        text += testing::PrintToString(std::string(arg));
    }
    return text + "]";
}

struct Accepted {
    std::vector<const char*> args;
    Command command;
    std::string_view name;
    std::string_view layout;
};

TEST(CommandLine, AcceptsTheNineShapes)
{
    const Accepted cases[] = {
        {{"windows"}, Command::windows_table, "", ""},
        {{"windows", "--json"}, Command::windows_json, "", ""},
        {{"inspect", "--rule"}, Command::inspect_rule, "", ""},
        {{"scene"}, Command::scene_tree, "", ""},
        {{"scene", "--dot"}, Command::scene_dot, "", ""},
        {{"outputs"}, Command::outputs_text, "", ""},
        {{"outputs", "--json"}, Command::outputs_json, "", ""},
        {{"layout", "--output", "DP-1", "--json"}, Command::layout_query, "DP-1", ""},
        {{"layout", "--output", "DP-1", "--set", "tile", "--json"}, Command::layout_set, "DP-1", "tile"},
    };
    for (const Accepted& c : cases) {
        auto parsed = parse(c.args);
        ASSERT_TRUE(parsed.has_value()) << describe(c.args);
        EXPECT_EQ(parsed->command, c.command) << describe(c.args);
        if (c.command == Command::layout_query || c.command == Command::layout_set) {
            EXPECT_EQ(parsed->name, c.name) << describe(c.args);
        }
        if (c.command == Command::layout_set) {
            EXPECT_EQ(parsed->layout, c.layout) << describe(c.args);
        }
    }
}

TEST(CommandLine, NameAndLayoutAreAnyBytes)
{
    const Accepted cases[] = {
        {{"layout", "--output", "", "--json"}, Command::layout_query, "", ""},
        {{"layout", "--output", "--json", "--json"}, Command::layout_query, "--json", ""},
        {{"layout", "--output", "--output", "--json"}, Command::layout_query, "--output", ""},
        {{"layout", "--output", "HDMI-A-1 \xff\n\t", "--json"}, Command::layout_query, "HDMI-A-1 \xff\n\t", ""},
        {{"layout", "--output", "DP-1", "--set", "--json", "--json"}, Command::layout_set, "DP-1", "--json"},
        {{"layout", "--output", "", "--set", "", "--json"}, Command::layout_set, "", ""},
        {{"layout", "--output", "--set", "--set", "--output", "--json"}, Command::layout_set, "--set", "--output"},
        {{"layout", "--output", "layout", "--set", "monocle \"wide\"", "--json"},
         Command::layout_set,
         "layout",
         "monocle \"wide\""},
    };
    for (const Accepted& c : cases) {
        auto parsed = parse(c.args);
        ASSERT_TRUE(parsed.has_value()) << describe(c.args);
        EXPECT_EQ(parsed->command, c.command) << describe(c.args);
        EXPECT_EQ(parsed->name, c.name) << describe(c.args);
        // The texts are the arguments themselves, not copies.
        EXPECT_EQ(parsed->name.data(), c.args[2]) << describe(c.args);
        EXPECT_EQ(parsed->name.size(), std::string_view(c.args[2]).size());
        if (c.command == Command::layout_set) {
            EXPECT_EQ(parsed->layout, c.layout) << describe(c.args);
            EXPECT_EQ(parsed->layout.data(), c.args[4]) << describe(c.args);
        }
    }
}

TEST(CommandLine, RejectsEveryOtherVector)
{
    const std::vector<std::vector<const char*>> rejected = {
        {},
        // Extra arguments after a complete shape.
        {"windows", "--json", "extra"},
        {"windows", "extra"},
        {"inspect", "--rule", "--rule"},
        {"scene", "--dot", "x"},
        {"outputs", "--json", "--json", "--json"},
        {"layout", "--output", "DP-1", "--json", "extra"},
        {"layout", "--output", "DP-1", "--set", "tile", "--json", "extra"},
        {"layout", "--output", "DP-1", "--set", "tile", "--json", "--json", "--json"},
        // Incomplete shapes.
        {"inspect"},
        {"layout"},
        {"layout", "--json"},
        {"layout", "--output", "DP-1"},
        {"layout", "--output", "DP-1", "--set", "tile"},
        {"layout", "--output", "DP-1", "--set"},
        // Flags in the wrong place or of another command.
        {"--json", "windows"},
        {"--rule", "inspect"},
        {"--dot", "scene"},
        {"windows", "--dot"},
        {"windows", "--rule"},
        {"scene", "--json"},
        {"outputs", "--dot"},
        {"inspect", "--json"},
        {"layout", "--set", "tile", "--output", "DP-1", "--json"},
        {"layout", "--output", "DP-1", "--json", "--set", "tile"},
        {"layout", "DP-1", "--output", "--json"},
        {"layout", "--output", "DP-1", "--dot"},
        {"layout", "--name", "DP-1", "--json"},
        {"layout", "--output", "DP-1", "--layout", "tile", "--json"},
        {"windows", "--output", "DP-1", "--json"},
        {"--output", "layout", "DP-1", "--json"},
        // Near misses of the words: case, prefixes, suffixes, `=` forms.
        {"WINDOWS"},
        {"Windows"},
        {"window"},
        {"windowsx"},
        {"windows "},
        {" windows"},
        {""},
        {"--json"},
        {"windows", "--JSON"},
        {"windows", "--jso"},
        {"windows", "--json="},
        {"windows", "--json=1"},
        {"windows", "-json"},
        {"windows", ""},
        {"windows=--json"},
        {"inspect", "--rules"},
        {"scene", "--do"},
        {"output"},
        {"outputs", "--Json"},
        {"Layout", "--output", "DP-1", "--json"},
        {"layout", "--output=DP-1", "--json"},
        {"layout", "--out", "DP-1", "--json"},
        {"layout", "--output", "DP-1", "--json "},
        {"layout", "--output", "DP-1", "--Set", "tile", "--json"},
    };
    for (const auto& args : rejected)
        EXPECT_FALSE(parse(args).has_value()) << describe(args);
}

}  // namespace
