// Reading the scenario's "script": steps are checked in the order they will
// run, so that each may use the windows and heads earlier steps create.

#include "scenario/scenario_read.hpp"

#include "scenario/event_parse.hpp"
#include "scenario/text_value.hpp"

#include <algorithm>
#include <numeric>

namespace mock {

namespace {

std::size_t read_window_index(const Json& step, const std::string& path, const ScriptScope& scope)
{
    const std::string window_path = member_path(path, "window");
    const std::uint32_t window = read_uint(require_member(step, path, "window"), window_path);
    if (window >= scope.windows) {
        fail(window_path, "window " + std::to_string(window) + " does not exist at that round trip (there are " +
                              std::to_string(scope.windows) + ")");
    }
    return window;
}

std::size_t read_head_index(const Json& step, const std::string& path, const ScriptScope& scope)
{
    const std::string head_path = member_path(path, "head");
    const std::uint32_t head = read_uint(require_member(step, path, "head"), head_path);
    if (head >= scope.head_modes.size()) {
        fail(head_path, "head " + std::to_string(head) + " does not exist at that round trip (there are " +
                            std::to_string(scope.head_modes.size()) + ")");
    }
    return head;
}

Action read_action(const Json& step, const std::string& path, const std::string& verb, ScriptScope& scope)
{
    if (verb == "window_events") {
        require_object(step, path, {"at_sync", "do", "window", "handle", "info"});
        action::WindowEvents act;
        act.window = read_window_index(step, path, scope);
        if (const Json* handle = find_member(step, "handle")) {
            act.handle = read_events(*handle, member_path(path, "handle"), EventTarget::handle);
        }
        if (const Json* info = find_member(step, "info")) {
            act.info = read_events(*info, member_path(path, "info"), EventTarget::info);
        }
        return act;
    }
    if (verb == "close_window") {
        require_object(step, path, {"at_sync", "do", "window"});
        return action::CloseWindow{read_window_index(step, path, scope)};
    }
    if (verb == "new_window") {
        require_object(step, path, {"at_sync", "do", "window"});
        action::NewWindow act{read_window(require_member(step, path, "window"), member_path(path, "window"))};
        ++scope.windows;
        return act;
    }
    if (verb == "toplevel_finished") {
        require_object(step, path, {"at_sync", "do"});
        return action::ToplevelFinished{};
    }
    if (verb == "remove_global") {
        require_object(step, path, {"at_sync", "do", "interface", "index"});
        action::RemoveGlobal act;
        if (const Json* name = find_member(step, "interface")) {
            act.interface = read_string(*name, member_path(path, "interface"));
        }
        if (const Json* index = find_member(step, "index")) {
            const std::string index_path = member_path(path, "index");
            act.index = read_uint(*index, index_path);
            if (*act.index >= scope.globals) {
                fail(index_path, "\"globals\" has no entry " + std::to_string(*act.index));
            }
        }
        if (act.interface.has_value() == act.index.has_value()) {
            fail(path, "remove_global needs exactly one of \"interface\" and \"index\"");
        }
        return act;
    }
    if (verb == "add_global") {
        require_object(step, path, {"at_sync", "do", "interface", "version"});
        return action::AddGlobal{read_global(Json{{"interface", require_member(step, path, "interface")},
                                                  {"version", require_member(step, path, "version")}},
                                             path)};
    }
    if (verb == "protocol_error") {
        require_object(step, path, {"at_sync", "do", "code", "message"});
        action::ProtocolError act{3, "scripted protocol error"}; // 3: wl_display.error.implementation
        if (const Json* code = find_member(step, "code")) {
            act.code = read_uint(*code, member_path(path, "code"));
        }
        if (const Json* message = find_member(step, "message")) {
            act.message = read_text(*message, member_path(path, "message"));
        }
        return act;
    }
    if (verb == "disconnect") {
        require_object(step, path, {"at_sync", "do"});
        return action::Disconnect{};
    }
    if (verb == "head_events") {
        require_object(step, path, {"at_sync", "do", "head", "events"});
        action::HeadEvents act;
        act.head = read_head_index(step, path, scope);
        const ModeScope modes{scope.head_modes[act.head], scope.head_modes};
        act.events = read_events(require_member(step, path, "events"), member_path(path, "events"),
                                 EventTarget::head, modes);
        return act;
    }
    if (verb == "mode_events") {
        require_object(step, path, {"at_sync", "do", "head", "mode", "events"});
        action::ModeEvents act;
        act.head = read_head_index(step, path, scope);
        const std::string mode_path = member_path(path, "mode");
        act.mode = read_uint(require_member(step, path, "mode"), mode_path);
        if (act.mode >= scope.head_modes[act.head]) {
            fail(mode_path, "head " + std::to_string(act.head) + " has no mode " + std::to_string(act.mode));
        }
        act.events = read_events(require_member(step, path, "events"), member_path(path, "events"),
                                 EventTarget::mode);
        return act;
    }
    if (verb == "new_head") {
        require_object(step, path, {"at_sync", "do", "head"});
        return action::NewHead{
            read_new_head(require_member(step, path, "head"), member_path(path, "head"), scope.head_modes)};
    }
    if (verb == "output_done") {
        require_object(step, path, {"at_sync", "do", "serial"});
        action::OutputDone act;
        if (const Json* serial = find_member(step, "serial")) {
            act.serial = read_uint(*serial, member_path(path, "serial"));
        }
        return act;
    }
    if (verb == "output_finished") {
        require_object(step, path, {"at_sync", "do"});
        return action::OutputFinished{};
    }
    if (verb == "scene_nodes") {
        require_object(step, path, {"at_sync", "do", "nodes"});
        return action::SceneNodes{read_nodes(require_member(step, path, "nodes"), member_path(path, "nodes"))};
    }
    if (verb == "scene_done") {
        require_object(step, path, {"at_sync", "do"});
        return action::SceneDone{};
    }
    if (verb == "layout_reply") {
        require_object(step, path, {"at_sync", "do", "status", "output", "workspace", "layout"});
        action::LayoutReply act;
        act.status = read_uint(require_member(step, path, "status"), member_path(path, "status"));
        act.output = read_text(require_member(step, path, "output"), member_path(path, "output"));
        act.workspace = read_uint(require_member(step, path, "workspace"), member_path(path, "workspace"));
        act.layout = read_text(require_member(step, path, "layout"), member_path(path, "layout"));
        return act;
    }
    fail(member_path(path, "do"),
         "unknown action \"" + verb +
             "\" (known: window_events, close_window, new_window, toplevel_finished, remove_global, add_global, "
             "protocol_error, disconnect, head_events, mode_events, new_head, output_done, output_finished, "
             "scene_nodes, scene_done, layout_reply)");
}

} // namespace

std::vector<ScriptStep> read_script(const Json& value, const std::string& path, ScriptScope scope)
{
    require_array(value, path);
    std::vector<std::uint32_t> at(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string step_path = element_path(path, i);
        if (!value[i].is_object()) {
            fail(step_path, "a script step is an object with \"at_sync\" and \"do\"");
        }
        const std::string at_path = member_path(step_path, "at_sync");
        at[i] = read_uint(require_member(value[i], step_path, "at_sync"), at_path);
        if (at[i] == 0) {
            fail(at_path, "round trips are counted from 1");
        }
    }
    std::vector<std::size_t> order(value.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return at[a] < at[b]; });

    std::vector<ScriptStep> steps;
    steps.reserve(value.size());
    for (const std::size_t i : order) {
        const std::string step_path = element_path(path, i);
        const std::string verb =
            read_string(require_member(value[i], step_path, "do"), member_path(step_path, "do"));
        steps.push_back(ScriptStep{at[i], read_action(value[i], step_path, verb, scope)});
    }
    return steps;
}

} // namespace mock
