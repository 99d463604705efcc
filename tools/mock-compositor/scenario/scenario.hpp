#pragma once
// A scenario: what the mock advertises, the objects it describes and what it
// does at which round trip. Read once at start-up and never changed; every
// client is played the same scenario from the start.

#include "scenario/event.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace mock {

// When an answer goes out: 0 at once, N at the N-th wl_display.sync that
// arrives afterwards, nothing for never.
using Delay = std::optional<std::uint32_t>;

struct GlobalDef {
    std::string interface;
    std::uint32_t version = 1;
};

struct WindowDef {
    EventList handle; // on ext_foreign_toplevel_handle_v1, right after toplevel
    EventList info;   // on zadozav_window_info_v1, for get_window_info
    Delay info_delay = 0;
    std::optional<std::uint32_t> announce_at_sync; // empty: when the list is bound
};

struct ToplevelListDef {
    Delay finished_delay = 0; // the answer to stop
};

struct ModeDef {
    EventList events;
};

struct HeadDef {
    EventList events;
    std::vector<ModeDef> modes;
};

struct OutputManagerDef {
    std::vector<HeadDef> heads;
    Delay done_delay = 0;
    std::uint32_t serial = 1;
};

struct SceneNode {
    std::uint32_t id = 0;
    std::uint32_t parent = 0;
    std::string name;
    std::uint32_t kind = 0;
    std::uint32_t enabled = 1;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct SceneDef {
    std::vector<SceneNode> nodes;
    std::vector<SceneNode> after_done;
    Delay done_delay = 0;
};

struct LayoutOutput {
    std::uint32_t workspace = 1;
    std::string layout;
    std::vector<std::string> layouts;
};

struct LayoutDef {
    std::map<std::string, LayoutOutput> outputs;
    Delay reply_delay = 0;
    bool unavailable = false;
    std::optional<std::uint32_t> status_override;
};

// The values of zadozav_window_info_manager_v1.status.
enum class LayoutStatus : std::uint32_t {
    success = 0,
    output_not_found = 1,
    invalid_layout = 2,
    unavailable = 3,
};

// The values of one active_workspace_layout event: a scripted reply, or
// what the mock answers a layout request with.
struct LayoutAnswer {
    std::uint32_t status = 0;
    std::string output;
    std::uint32_t workspace = 0;
    std::string layout;
};

namespace action {

struct WindowEvents {
    std::size_t window = 0;
    EventList handle;
    EventList info;
};
struct CloseWindow {
    std::size_t window = 0;
};
struct NewWindow {
    WindowDef window;
};
struct ToplevelFinished {};
struct RemoveGlobal {
    std::optional<std::string> interface; // the first such global still present
    std::optional<std::size_t> index;     // or this entry of "globals"
};
struct AddGlobal {
    GlobalDef global;
};
struct ProtocolError {
    std::uint32_t code = 0;
    std::string message;
};
struct Disconnect {};
struct HeadEvents {
    std::size_t head = 0;
    EventList events;
};
struct ModeEvents {
    std::size_t head = 0;
    std::size_t mode = 0;
    EventList events;
};
struct NewHead {
    HeadDef head;
};
struct OutputDone {
    std::optional<std::uint32_t> serial; // default: the output manager's serial
};
struct OutputFinished {};
struct SceneNodes {
    std::vector<SceneNode> nodes;
};
struct SceneDone {};
// Sent to every manager the client has bound.
using LayoutReply = LayoutAnswer;

} // namespace action

using Action = std::variant<action::WindowEvents, action::CloseWindow, action::NewWindow, action::ToplevelFinished,
                            action::RemoveGlobal, action::AddGlobal, action::ProtocolError, action::Disconnect,
                            action::HeadEvents, action::ModeEvents, action::NewHead, action::OutputDone,
                            action::OutputFinished, action::SceneNodes, action::SceneDone, action::LayoutReply>;

struct ScriptStep {
    std::uint32_t at_sync = 1;
    Action action;
};

struct Scenario {
    std::vector<GlobalDef> globals;
    std::vector<WindowDef> windows;
    ToplevelListDef toplevel_list;
    OutputManagerDef output_manager;
    SceneDef scene;
    LayoutDef layout;
    std::vector<ScriptStep> script;
    bool send_unsupported_events = false;
};

// Reads and checks a scenario file. Throws ScenarioError naming the place of
// the first problem.
Scenario load_scenario(const std::string& file);

} // namespace mock
