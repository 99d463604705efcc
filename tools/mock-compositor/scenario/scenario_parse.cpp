// Reading a scenario file into a Scenario, checking everything a client run
// could trip over later: unknown keys, wrong types, events that do not exist,
// references to heads or modes that will not exist when used. The script has
// its own file, script_parse.cpp.

#include "scenario/scenario.hpp"

#include "scenario/event_parse.hpp"
#include "scenario/json_read.hpp"
#include "scenario/scenario_generate.hpp"
#include "scenario/scenario_read.hpp"
#include "scenario/text_value.hpp"

#include <algorithm>
#include <fstream>
#include <limits>

namespace mock {

namespace {

// Generous caps that keep a typo from asking for gigabytes.
constexpr std::size_t max_generated_windows = 1'000'000;
constexpr std::size_t max_generated_heads = 10'000;
constexpr std::size_t max_generated_modes = 1'000;
constexpr std::size_t max_generated_nodes = 10'000'000;

constexpr std::uint32_t max_version = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());

std::vector<GlobalDef> default_globals()
{
    return {
        {"ext_foreign_toplevel_list_v1", 1},
        {"zadozav_window_info_manager_v1", 3},
        {"zwlr_output_manager_v1", 4},
    };
}

} // namespace

GlobalDef read_global(const Json& value, const std::string& path)
{
    require_object(value, path, {"interface", "version"});
    GlobalDef global;
    const std::string name_path = member_path(path, "interface");
    global.interface = read_string(require_member(value, path, "interface"), name_path);
    if (global.interface.empty() || global.interface.find('\0') != std::string::npos) {
        fail(name_path, "an interface name must be a non-empty string without zero bytes");
    }
    const std::string version_path = member_path(path, "version");
    global.version = read_uint(require_member(value, path, "version"), version_path);
    if (global.version < 1 || global.version > max_version) {
        fail(version_path, "a version must be from 1 to " + std::to_string(max_version));
    }
    return global;
}

WindowDef read_window(const Json& value, const std::string& path)
{
    require_object(value, path, {"handle", "info", "info_delay", "announce_at_sync"});
    WindowDef window;
    if (const Json* handle = find_member(value, "handle")) {
        window.handle = read_events(*handle, member_path(path, "handle"), EventTarget::handle);
    }
    if (const Json* info = find_member(value, "info")) {
        window.info = read_events(*info, member_path(path, "info"), EventTarget::info);
    }
    if (const Json* delay = find_member(value, "info_delay")) {
        window.info_delay = read_delay(*delay, member_path(path, "info_delay"));
    }
    if (const Json* at = find_member(value, "announce_at_sync")) {
        const std::string at_path = member_path(path, "announce_at_sync");
        window.announce_at_sync = read_uint(*at, at_path);
        if (*window.announce_at_sync == 0) {
            fail(at_path, "round trips are counted from 1");
        }
    }
    return window;
}

namespace {

std::vector<ModeDef> read_modes(const Json& head, const std::string& path)
{
    std::vector<ModeDef> modes;
    const Json* list = find_member(head, "modes");
    if (list == nullptr) {
        return modes;
    }
    const std::string list_path = member_path(path, "modes");
    require_array(*list, list_path);
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string mode_path = element_path(list_path, i);
        require_object((*list)[i], mode_path, {"events"});
        ModeDef mode;
        if (const Json* events = find_member((*list)[i], "events")) {
            mode.events = read_events(*events, member_path(mode_path, "events"), EventTarget::mode);
        }
        modes.push_back(std::move(mode));
    }
    return modes;
}

// `head_modes` holds the mode counts of the heads that exist once this one
// does, this one included.
HeadDef read_head(const Json& value, const std::string& path, std::vector<ModeDef> modes,
                   const std::vector<std::size_t>& head_modes)
{
    HeadDef head;
    head.modes = std::move(modes);
    if (const Json* events = find_member(value, "events")) {
        const ModeScope scope{head.modes.size(), head_modes};
        head.events = read_events(*events, member_path(path, "events"), EventTarget::head, scope);
    }
    return head;
}

} // namespace

HeadDef read_new_head(const Json& value, const std::string& path, std::vector<std::size_t>& head_modes)
{
    require_object(value, path, {"events", "modes"});
    std::vector<ModeDef> modes = read_modes(value, path);
    head_modes.push_back(modes.size());
    return read_head(value, path, std::move(modes), head_modes);
}

namespace {

OutputManagerDef read_output_manager(const Json& value, const std::string& path)
{
    require_object(value, path, {"heads", "heads_generate", "done_delay", "serial"});
    OutputManagerDef manager;

    // Every head's modes first: current_mode may point at any head's mode.
    const Json* heads = find_member(value, "heads");
    const std::string heads_path = member_path(path, "heads");
    if (heads != nullptr) {
        require_array(*heads, heads_path);
    }
    std::vector<std::vector<ModeDef>> listed_modes;
    std::vector<std::size_t> head_modes;
    for (std::size_t i = 0; heads != nullptr && i < heads->size(); ++i) {
        const std::string head_path = element_path(heads_path, i);
        require_object((*heads)[i], head_path, {"events", "modes"});
        listed_modes.push_back(read_modes((*heads)[i], head_path));
        head_modes.push_back(listed_modes.back().size());
    }

    std::size_t generated = 0;
    std::size_t generated_modes = 0;
    if (const Json* generate = find_member(value, "heads_generate")) {
        const std::string generate_path = member_path(path, "heads_generate");
        require_object(*generate, generate_path, {"count", "modes"});
        generated = read_count(require_member(*generate, generate_path, "count"), member_path(generate_path, "count"),
                               max_generated_heads);
        if (const Json* modes = find_member(*generate, "modes")) {
            generated_modes = read_count(*modes, member_path(generate_path, "modes"), max_generated_modes);
        } else {
            generated_modes = 3;
        }
        head_modes.insert(head_modes.end(), generated, generated_modes);
    }

    for (std::size_t i = 0; i < listed_modes.size(); ++i) {
        manager.heads.push_back(
            read_head((*heads)[i], element_path(heads_path, i), std::move(listed_modes[i]), head_modes));
    }
    std::vector<HeadDef> extra = generate_heads(manager.heads.size(), generated, generated_modes);
    std::move(extra.begin(), extra.end(), std::back_inserter(manager.heads));

    if (const Json* delay = find_member(value, "done_delay")) {
        manager.done_delay = read_delay(*delay, member_path(path, "done_delay"));
    }
    if (const Json* serial = find_member(value, "serial")) {
        manager.serial = read_uint(*serial, member_path(path, "serial"));
    }
    return manager;
}

} // namespace

SceneNode read_node(const Json& value, const std::string& path)
{
    require_array(value, path);
    if (value.size() != 9) {
        fail(path, "a node is [id, parent, name, kind, enabled, x, y, width, height]");
    }
    SceneNode node;
    node.id = read_uint(value[0], element_path(path, 0));
    node.parent = read_uint(value[1], element_path(path, 1));
    node.name = read_text(value[2], element_path(path, 2));
    node.kind = read_uint(value[3], element_path(path, 3));
    node.enabled = read_uint(value[4], element_path(path, 4));
    node.x = read_int(value[5], element_path(path, 5));
    node.y = read_int(value[6], element_path(path, 6));
    node.width = read_int(value[7], element_path(path, 7));
    node.height = read_int(value[8], element_path(path, 8));
    // Header, eight 32-bit values, the name's length word and padded bytes.
    const std::size_t size = 8 + 8 * 4 + 4 + ((node.name.size() + 4) & ~std::size_t{3});
    if (size > max_message_size) {
        fail(element_path(path, 2), "name too long for one Wayland message");
    }
    return node;
}

std::vector<SceneNode> read_nodes(const Json& value, const std::string& path)
{
    require_array(value, path);
    std::vector<SceneNode> nodes;
    nodes.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        nodes.push_back(read_node(value[i], element_path(path, i)));
    }
    return nodes;
}

namespace {

SceneDef read_scene(const Json& value, const std::string& path)
{
    require_object(value, path, {"nodes", "nodes_generate", "done_delay", "after_done"});
    SceneDef scene;
    if (const Json* nodes = find_member(value, "nodes")) {
        scene.nodes = read_nodes(*nodes, member_path(path, "nodes"));
    }
    if (const Json* after = find_member(value, "after_done")) {
        scene.after_done = read_nodes(*after, member_path(path, "after_done"));
    }
    if (const Json* delay = find_member(value, "done_delay")) {
        scene.done_delay = read_delay(*delay, member_path(path, "done_delay"));
    }
    if (const Json* generate = find_member(value, "nodes_generate")) {
        const std::string generate_path = member_path(path, "nodes_generate");
        require_object(*generate, generate_path, {"count", "fanout"});
        const std::size_t count = read_count(require_member(*generate, generate_path, "count"),
                                             member_path(generate_path, "count"), max_generated_nodes);
        std::size_t fanout = 4;
        if (const Json* f = find_member(*generate, "fanout")) {
            fanout = read_count(*f, member_path(generate_path, "fanout"), max_generated_nodes);
            if (fanout == 0) {
                fail(member_path(generate_path, "fanout"), "a tree needs a fanout of at least 1");
            }
        }
        std::uint32_t largest = 0;
        for (const auto* list : {&scene.nodes, &scene.after_done}) {
            for (const SceneNode& node : *list) {
                largest = std::max(largest, node.id);
            }
        }
        if (count > std::numeric_limits<std::uint32_t>::max() - largest) {
            fail(generate_path, "generated node ids would overflow");
        }
        std::vector<SceneNode> extra = generate_nodes(largest + 1, count, fanout);
        std::move(extra.begin(), extra.end(), std::back_inserter(scene.nodes));
    }
    return scene;
}

LayoutDef read_layout(const Json& value, const std::string& path)
{
    require_object(value, path, {"outputs", "reply_delay", "unavailable", "status_override"});
    LayoutDef layout;
    if (const Json* outputs = find_member(value, "outputs")) {
        const std::string outputs_path = member_path(path, "outputs");
        if (!outputs->is_object()) {
            fail(outputs_path, "expected an object mapping output names to their layout");
        }
        for (const auto& item : outputs->items()) {
            const std::string output_path = member_path(outputs_path, item.key());
            const Json& entry = require_object(item.value(), output_path, {"workspace", "layout", "layouts"});
            LayoutOutput output;
            if (const Json* workspace = find_member(entry, "workspace")) {
                output.workspace = read_uint(*workspace, member_path(output_path, "workspace"));
            }
            output.layout = read_text(require_member(entry, output_path, "layout"), member_path(output_path, "layout"));
            if (const Json* layouts = find_member(entry, "layouts")) {
                const std::string layouts_path = member_path(output_path, "layouts");
                require_array(*layouts, layouts_path);
                for (std::size_t i = 0; i < layouts->size(); ++i) {
                    output.layouts.push_back(read_text((*layouts)[i], element_path(layouts_path, i)));
                }
            } else {
                output.layouts.push_back(output.layout);
            }
            layout.outputs.emplace(item.key(), std::move(output));
        }
    }
    if (const Json* delay = find_member(value, "reply_delay")) {
        layout.reply_delay = read_delay(*delay, member_path(path, "reply_delay"));
    }
    if (const Json* unavailable = find_member(value, "unavailable")) {
        layout.unavailable = read_bool(*unavailable, member_path(path, "unavailable"));
    }
    if (const Json* status = find_member(value, "status_override"); status != nullptr && !status->is_null()) {
        layout.status_override = read_uint(*status, member_path(path, "status_override"));
    }
    return layout;
}

Scenario read_scenario(const Json& root)
{
    require_object(root, "",
                   {"description", "globals", "windows", "windows_generate", "toplevel_list", "output_manager",
                    "scene", "layout", "script", "send_unsupported_events"});
    Scenario scenario;

    if (const Json* description = find_member(root, "description")) {
        read_string(*description, "description");
    }
    if (const Json* globals = find_member(root, "globals")) {
        require_array(*globals, "globals");
        for (std::size_t i = 0; i < globals->size(); ++i) {
            scenario.globals.push_back(read_global((*globals)[i], element_path("globals", i)));
        }
    } else {
        scenario.globals = default_globals();
    }

    if (const Json* windows = find_member(root, "windows")) {
        require_array(*windows, "windows");
        for (std::size_t i = 0; i < windows->size(); ++i) {
            scenario.windows.push_back(read_window((*windows)[i], element_path("windows", i)));
        }
    }
    if (const Json* generate = find_member(root, "windows_generate")) {
        require_object(*generate, "windows_generate", {"count"});
        const std::size_t count = read_count(require_member(*generate, "windows_generate", "count"),
                                             "windows_generate.count", max_generated_windows);
        std::vector<WindowDef> extra = generate_windows(scenario.windows.size(), count);
        std::move(extra.begin(), extra.end(), std::back_inserter(scenario.windows));
    }

    if (const Json* list = find_member(root, "toplevel_list")) {
        require_object(*list, "toplevel_list", {"finished_delay"});
        if (const Json* delay = find_member(*list, "finished_delay")) {
            scenario.toplevel_list.finished_delay = read_delay(*delay, "toplevel_list.finished_delay");
        }
    }
    if (const Json* manager = find_member(root, "output_manager")) {
        scenario.output_manager = read_output_manager(*manager, "output_manager");
    }
    if (const Json* scene = find_member(root, "scene")) {
        scenario.scene = read_scene(*scene, "scene");
    }
    if (const Json* layout = find_member(root, "layout")) {
        scenario.layout = read_layout(*layout, "layout");
    }
    if (const Json* flag = find_member(root, "send_unsupported_events")) {
        scenario.send_unsupported_events = read_bool(*flag, "send_unsupported_events");
    }

    if (const Json* script = find_member(root, "script")) {
        ScriptScope scope;
        scope.windows = scenario.windows.size();
        for (const HeadDef& head : scenario.output_manager.heads) {
            scope.head_modes.push_back(head.modes.size());
        }
        scope.globals = scenario.globals.size();
        scenario.script = read_script(*script, "script", std::move(scope));
    }
    return scenario;
}

} // namespace

Scenario load_scenario(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw ScenarioError("cannot open the file");
    }
    Json root;
    try {
        root = Json::parse(in);
    } catch (const Json::exception& e) {
        throw ScenarioError(std::string("not valid JSON: ") + e.what());
    }
    return read_scenario(root);
}

} // namespace mock
