// The globals of the seeded random mode (random_common.hpp): which globals a
// hostile compositor advertises, the script steps that add and remove them,
// and what the tool is expected to bind of them.

#include "random/random_common.hpp"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <utility>

namespace mock::random_mode {

// --- globals -----------------------------------------------------------------

namespace {

std::string junk_interface(Rng& rng)
{
    static const std::vector<std::string> names = {
        "wl_compositor", "wl_shm", "wl_seat", "wl_output", "xdg_wm_base", "zadozav_window_info_manager_v2",
        "zadozav_window_info_manager", "zadozav_window_info_manager_v1 ", "Zadozav_window_info_manager_v1",
        "ext_foreign_toplevel_list_v2", "ext_foreign_toplevel_list_v1x", "ext_foreign_toplevel_list",
        "zwlr_output_manager_v2", "zwlr_output_manager_v", "zwlr_output_manager_v1\t", "zadozav_\xc3\xa9",
        "zadozav_window_info_manager_v1\n", "a"};
    if (rng.chance(0.7)) {
        return rng.pick(names);
    }
    std::string name;
    const std::size_t length = rng.size_between(1, 60);
    for (std::size_t i = 0; i < length; ++i) {
        static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz_0123456789";
        name.push_back(alphabet[rng.index(sizeof alphabet - 1)]);
    }
    return name;
}

} // namespace

std::vector<GlobalDef> make_globals(Rng& rng, Family family)
{
    std::vector<GlobalDef> globals;
    const auto add_copies = [&](std::string_view interface, double present, const std::function<std::uint32_t()>& version) {
        if (!rng.chance(present)) {
            return;
        }
        const std::size_t copies = rng.chance(0.12) ? 2 : 1;
        for (std::size_t i = 0; i < copies; ++i) {
            globals.push_back({std::string(interface), version()});
        }
    };
    const bool windows_like = family == Family::windows || family == Family::layout;
    add_copies(toplevel_list_name, windows_like ? 0.95 : 0.6, [&] { return rng.between32(1, 3); });
    add_copies(info_manager_name, family == Family::outputs ? 0.5 : 0.95, [&]() -> std::uint32_t {
        switch (family) {
        case Family::scene: return rng.chance(0.08) ? 1 : rng.pick(std::vector<std::uint32_t>{2, 3, 4, 9});
        case Family::layout: return rng.chance(0.1) ? rng.between32(1, 2) : rng.pick(std::vector<std::uint32_t>{3, 4, 9});
        case Family::windows:
        case Family::outputs: break;
        }
        return rng.between32(1, 5);
    });
    add_copies(output_manager_name, family == Family::outputs ? 0.95 : 0.5, [&] { return rng.between32(1, 7); });
    const std::size_t junk = rng.chance(0.1) ? rng.size_between(20, 40) : rng.size_between(0, 8);
    for (std::size_t i = 0; i < junk; ++i) {
        globals.push_back({junk_interface(rng), rng.between32(1, 10)});
    }
    rng.shuffle(globals);
    return globals;
}

Json globals_json(const std::vector<GlobalDef>& globals)
{
    Json list = Json::array();
    for (const GlobalDef& global : globals) {
        Json entry = Json::object();
        entry["interface"] = global.interface;
        entry["version"] = global.version;
        list.push_back(entry);
    }
    return list;
}

// Adds, removes and the connection's end, common to every family.
void add_global_steps(Rng& rng, std::vector<Step>& script, const std::vector<GlobalDef>& globals, Family family)
{
    if (rng.chance(0.25) && !globals.empty()) {
        std::vector<std::size_t> indexes(globals.size());
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            indexes[i] = i;
        }
        rng.shuffle(indexes);
        const std::size_t count = std::min<std::size_t>(indexes.size(), rng.size_between(1, 3));
        for (std::size_t i = 0; i < count; ++i) {
            Step step;
            step.sync = rng.between32(1, 11);
            step.kind = StepKind::remove_global;
            step.target = indexes[i];
            step.json = step_json(step.sync, "remove_global");
            step.json["index"] = indexes[i];
            script.push_back(std::move(step));
        }
    }
    const std::size_t adds = rng.chance(0.2) ? rng.size_between(1, 2) : 0;
    for (std::size_t i = 0; i < adds; ++i) {
        Step step;
        step.sync = rng.between32(1, 11);
        step.kind = StepKind::add_global;
        Json global = Json::object();
        if (family != Family::outputs && rng.chance(0.3)) {
            // A real interface again, early enough to change what the tool records.
            global["interface"] = rng.chance(0.5) ? std::string(info_manager_name) : std::string(toplevel_list_name);
            step.sync = rng.between32(1, 3);
        } else {
            global["interface"] = junk_interface(rng);
        }
        global["version"] = rng.between32(1, 9);
        step.json = step_json(step.sync, "add_global");
        step.json["interface"] = global["interface"];
        step.json["version"] = global["version"];
        script.push_back(std::move(step));
    }
    if (rng.chance(0.04)) {
        Step step;
        step.sync = rng.between32(1, 11);
        step.kind = StepKind::fail;
        if (rng.chance(0.5)) {
            step.json = step_json(step.sync, "disconnect");
        } else {
            step.json = step_json(step.sync, "protocol_error");
            step.json["code"] = rng.between32(0, 5);
            step.json["message"] = "random hostility";
        }
        script.push_back(std::move(step));
    }
}

Recorded record_globals(const std::vector<GlobalDef>& globals, const std::vector<Step>& script)
{
    Recorded recorded;
    const auto see = [&](const std::string& interface, std::uint32_t name, std::uint32_t version) {
        if (interface == toplevel_list_name) {
            recorded.list_name = name;
            recorded.list_version = version;
        } else if (interface == info_manager_name) {
            recorded.manager_name = name;
            recorded.manager_version = version;
        }
    };
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const auto name = static_cast<std::uint32_t>(i + 1);
        see(globals[i].interface, name, globals[i].version);
        if (globals[i].interface == output_manager_name) {
            recorded.output_managers.emplace_back(name, globals[i].version);
            recorded.last_output_manager_index = i;
        }
    }
    auto next_name = static_cast<std::uint32_t>(globals.size() + 1);
    for (const Step& step : script) {
        if (step.kind != StepKind::add_global) {
            continue;
        }
        const std::uint32_t name = next_name++;
        if (step.sync == 1) {
            see(step.json["interface"].get<std::string>(), name, step.json["version"].get<std::uint32_t>());
        }
    }
    return recorded;
}

} // namespace mock::random_mode
