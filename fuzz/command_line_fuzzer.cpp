// parse_command_line against a table of the nine argument shapes: the same
// command (or none) for any argument vector, and NAME and LAYOUT as views of
// the very arguments, unchanged.
//
// Input: the arguments, separated by zero bytes (an argument vector cannot
// hold a zero byte inside an argument); at most 8 of them.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.hpp"
#include "reference.hpp"

namespace {

struct Shape {
    std::vector<const char*> words;  // nullptr: any argument (NAME or LAYOUT)
    rdv::Command command;
};

const std::vector<Shape> shapes = {
    {{"windows"}, rdv::Command::windows_table},
    {{"scene"}, rdv::Command::scene_tree},
    {{"outputs"}, rdv::Command::outputs_text},
    {{"windows", "--json"}, rdv::Command::windows_json},
    {{"inspect", "--rule"}, rdv::Command::inspect_rule},
    {{"scene", "--dot"}, rdv::Command::scene_dot},
    {{"outputs", "--json"}, rdv::Command::outputs_json},
    {{"layout", "--output", nullptr, "--json"}, rdv::Command::layout_query},
    {{"layout", "--output", nullptr, "--set", nullptr, "--json"}, rdv::Command::layout_set},
};

std::optional<rdv::Command> reference_parse(const std::vector<std::string>& args)
{
    for (const Shape& shape : shapes) {
        if (shape.words.size() != args.size()) continue;
        bool match = true;
        for (std::size_t i = 0; i < args.size(); ++i)
            match = match && (shape.words[i] == nullptr || args[i] == shape.words[i]);
        if (match) return shape.command;
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args;
    if (size > 0) {
        std::string current;
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] == 0) {
                args.push_back(current);
                current.clear();
            } else {
                current.push_back(static_cast<char>(data[i]));
            }
        }
        args.push_back(current);
    }
    if (args.size() > 8) return 0;
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());

    const auto got = rdv::parse_command_line(std::span<const char* const>(argv.data(), argv.size()));
    const auto want = reference_parse(args);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (got.has_value() != want.has_value()) ref::fail("match differs", input, got ? "match" : "none", want ? "match" : "none");
    if (!got) return 0;
    if (got->command != *want) ref::fail("command differs", input, "", "");
    const bool layout = *want == rdv::Command::layout_query || *want == rdv::Command::layout_set;
    if (layout && (got->name.data() != argv[2] || got->name.size() != std::strlen(argv[2])))
        ref::fail("NAME is not the third argument", input, got->name, args[2]);
    if (*want == rdv::Command::layout_set && (got->layout.data() != argv[4] || got->layout.size() != std::strlen(argv[4])))
        ref::fail("LAYOUT is not the fifth argument", input, got->layout, args[4]);
    if (!layout && (!got->name.empty() || !got->layout.empty())) ref::fail("NAME or LAYOUT set for a command without them", input, got->name, "");
    if (*want == rdv::Command::layout_query && !got->layout.empty()) ref::fail("LAYOUT set for a query", input, got->layout, "");
    return 0;
}
