// The seeded random mode (see random_scenario.hpp and README.md).
//
// Every scenario is valid for the mock and for the protocols: strings carry
// no zero byte and fit in one message, every reference points at something
// that exists. Everything else is hostile: texts of up to 4,000 arbitrary
// bytes, values out of every enum's range, duplicate and missing globals,
// hundreds of objects, closes, repeated and late events, scene parent cycles
// and duplicate ids, and answers delayed around the tool's round-trip budget.
//
// Alongside the scenario the generator works out, from the mock's own
// schedule, at which round trip each answer reaches the tool, and from that
// every result the tool may end with.

#include "random/random_scenario.hpp"

#include "random/random_common.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mock {

using random_mode::Family;
using random_mode::Rng;

namespace {

struct CommandInfo {
    RandomCommand command;
    const char* word;
    std::vector<std::string> args;
};

const std::vector<CommandInfo>& command_table()
{
    static const std::vector<CommandInfo> table = {
        {RandomCommand::windows_table, "windows", {"windows"}},
        {RandomCommand::windows_json, "windows-json", {"windows", "--json"}},
        {RandomCommand::inspect_rule, "inspect-rule", {"inspect", "--rule"}},
        {RandomCommand::scene_tree, "scene", {"scene"}},
        {RandomCommand::scene_dot, "scene-dot", {"scene", "--dot"}},
        {RandomCommand::outputs_text, "outputs", {"outputs"}},
        {RandomCommand::outputs_json, "outputs-json", {"outputs", "--json"}},
        {RandomCommand::layout_query, "layout-query", {}},
        {RandomCommand::layout_set, "layout-set", {}},
    };
    return table;
}

Family family_of(RandomCommand command)
{
    switch (command) {
    case RandomCommand::windows_table:
    case RandomCommand::windows_json:
    case RandomCommand::inspect_rule: return Family::windows;
    case RandomCommand::scene_tree:
    case RandomCommand::scene_dot: return Family::scene;
    case RandomCommand::outputs_text:
    case RandomCommand::outputs_json: return Family::outputs;
    case RandomCommand::layout_query:
    case RandomCommand::layout_set: return Family::layout;
    }
    return Family::windows;
}

// splitmix64: spreads (seed, command) over the engine's seed space.
std::uint64_t mix(std::uint64_t value)
{
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

} // namespace

std::optional<RandomCommand> parse_random_command(std::string_view word)
{
    for (const CommandInfo& info : command_table()) {
        if (word == info.word) {
            return info.command;
        }
    }
    return std::nullopt;
}

RandomScenario make_random_scenario(std::uint64_t seed, RandomCommand command)
{
    const CommandInfo* info = nullptr;
    for (const CommandInfo& entry : command_table()) {
        if (entry.command == command) {
            info = &entry;
        }
    }
    Rng rng(mix(seed ^ mix(static_cast<std::uint64_t>(command) + 1)));
    const Family family = family_of(command);
    const std::vector<GlobalDef> globals = random_mode::make_globals(rng, family);

    RandomScenario result;
    result.scenario = Json::object();
    result.scenario["description"] =
        "random scenario, seed " + std::to_string(seed) + ", command " + std::string(info->word);
    result.scenario["globals"] = random_mode::globals_json(globals);
    result.expect = Json::object();
    result.expect["seed"] = seed;
    result.expect["command"] = info->word;
    Json args = Json::array();
    for (const std::string& arg : info->args) {
        args.push_back(random_mode::hex_of(arg));
    }
    result.expect["args_hex"] = std::move(args);
    result.expect["stats"] = Json::object();
    result.expect["stats"]["globals"] = globals.size();

    switch (family) {
    case Family::windows: random_mode::make_windows(rng, command, globals, result.scenario, result.expect); break;
    case Family::scene: random_mode::make_scene(rng, globals, command, result.scenario, result.expect); break;
    case Family::outputs: random_mode::make_outputs(rng, globals, result.scenario, result.expect); break;
    case Family::layout: random_mode::make_layout(rng, command, globals, result.scenario, result.expect); break;
    }
    if (!result.expect.contains("binds")) {
        result.expect["binds"] = nullptr;
    }
    return result;
}

} // namespace mock
