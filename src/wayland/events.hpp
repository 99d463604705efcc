// Typed events: one variant alternative per event of each interface the tool
// listens to, carrying the event's arguments in signature order.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>

#include "wayland/protocol.hpp"

namespace rdv {

namespace registry_event {
struct Global {
    std::uint32_t name;
    std::string_view interface;
    std::uint32_t version;
};
struct GlobalRemove {
    std::uint32_t name;
};
}  // namespace registry_event
using RegistryEvent = std::variant<registry_event::Global, registry_event::GlobalRemove>;

namespace toplevel_list_event {
struct Toplevel {
    ext_foreign_toplevel_handle_v1* handle;  // the new handle
};
struct Finished {};
}  // namespace toplevel_list_event
using ToplevelListEvent = std::variant<toplevel_list_event::Toplevel, toplevel_list_event::Finished>;

namespace toplevel_handle_event {
struct Closed {};
struct Done {};
struct Title {
    std::string_view text;
};
struct AppId {
    std::string_view text;
};
struct Identifier {
    std::string_view text;
};
}  // namespace toplevel_handle_event
using ToplevelHandleEvent =
    std::variant<toplevel_handle_event::Closed, toplevel_handle_event::Done, toplevel_handle_event::Title,
                 toplevel_handle_event::AppId, toplevel_handle_event::Identifier>;

namespace window_info_event {
struct Backend {
    std::uint32_t backend;
};
struct AppId {
    std::string_view text;
};
struct Class {
    std::string_view text;
};
struct Output {
    std::string_view text;
};
struct Workspace {
    std::uint32_t workspace;
};
struct Geometry {
    std::int32_t x, y, width, height;
};
struct State {
    std::uint32_t state;
};
struct Layout {
    std::string_view text;
};
struct MatchedRule {
    std::uint32_t rule;
};
struct RuleMatcher {
    std::uint32_t kind;
    std::string_view text;
};
struct Done {};
}  // namespace window_info_event
using WindowInfoEvent =
    std::variant<window_info_event::Backend, window_info_event::AppId, window_info_event::Class,
                 window_info_event::Output, window_info_event::Workspace, window_info_event::Geometry,
                 window_info_event::State, window_info_event::Layout, window_info_event::MatchedRule,
                 window_info_event::RuleMatcher, window_info_event::Done>;

namespace window_info_manager_event {
struct ActiveWorkspaceLayout {
    std::uint32_t status;
    std::string_view output;
    std::uint32_t workspace;
    std::string_view layout;
};
}  // namespace window_info_manager_event
using WindowInfoManagerEvent = std::variant<window_info_manager_event::ActiveWorkspaceLayout>;

namespace scene_snapshot_event {
struct Node {
    std::uint32_t id;
    std::uint32_t parent_id;
    std::string_view name;
    std::uint32_t kind;
    std::uint32_t enabled;
    std::int32_t x, y, width, height;
};
struct Done {};
}  // namespace scene_snapshot_event
using SceneSnapshotEvent = std::variant<scene_snapshot_event::Node, scene_snapshot_event::Done>;

namespace output_manager_event {
struct Head {
    zwlr_output_head_v1* head;  // the new head
};
struct Done {
    std::uint32_t serial;
};
struct Finished {};
}  // namespace output_manager_event
using OutputManagerEvent =
    std::variant<output_manager_event::Head, output_manager_event::Done, output_manager_event::Finished>;

namespace head_event {
struct Name {
    std::string_view text;
};
struct Description {
    std::string_view text;
};
struct PhysicalSize {
    std::int32_t width_mm, height_mm;
};
struct Mode {
    zwlr_output_mode_v1* mode;  // the new mode
};
struct Enabled {
    std::int32_t enabled;
};
struct CurrentMode {
    zwlr_output_mode_v1* mode;  // or none
};
struct Position {
    std::int32_t x, y;
};
struct Transform {
    std::int32_t transform;
};
struct Scale {
    std::int32_t scale;  // 24.8 fixed point
};
struct Finished {};
struct Make {
    std::string_view text;
};
struct Model {
    std::string_view text;
};
struct SerialNumber {
    std::string_view text;
};
struct AdaptiveSync {
    std::uint32_t state;
};
}  // namespace head_event
using HeadEvent = std::variant<head_event::Name, head_event::Description, head_event::PhysicalSize, head_event::Mode,
                               head_event::Enabled, head_event::CurrentMode, head_event::Position,
                               head_event::Transform, head_event::Scale, head_event::Finished, head_event::Make,
                               head_event::Model, head_event::SerialNumber, head_event::AdaptiveSync>;

namespace mode_event {
struct Size {
    std::int32_t width, height;
};
struct Refresh {
    std::int32_t refresh_mhz;
};
struct Preferred {};
struct Finished {};
}  // namespace mode_event
using ModeEvent = std::variant<mode_event::Size, mode_event::Refresh, mode_event::Preferred, mode_event::Finished>;

// Turns one event's opcode and arguments into its typed value. Returns false
// for an opcode the interface does not have.
bool decode_event(std::uint32_t opcode, const wl_argument* args, RegistryEvent& event) noexcept;
bool decode_event(std::uint32_t opcode, const wl_argument* args, ToplevelListEvent& event) noexcept;
bool decode_event(std::uint32_t opcode, const wl_argument* args, ToplevelHandleEvent& event) noexcept;
bool decode_event(std::uint32_t opcode, const wl_argument* args, WindowInfoEvent& event) noexcept;
bool decode_event(std::uint32_t opcode, const wl_argument* args, WindowInfoManagerEvent& event) noexcept;
bool decode_event(std::uint32_t opcode, const wl_argument* args, SceneSnapshotEvent& event) noexcept;
bool decode_event(std::uint32_t opcode, const wl_argument* args, OutputManagerEvent& event) noexcept;
bool decode_event(std::uint32_t opcode, const wl_argument* args, HeadEvent& event) noexcept;
bool decode_event(std::uint32_t opcode, const wl_argument* args, ModeEvent& event) noexcept;

// A listener table: static const, so it outlives every proxy it is attached to.
template <typename Object, typename Event, typename Data>
struct Listener {
    void (*on_event)(Data& data, Object* object, const Event& event) noexcept;
};

template <typename Object, typename Event, typename Data>
int dispatch_event(const void* implementation, void* target, std::uint32_t opcode, const wl_message*,
                   wl_argument* args) noexcept
{
    Event event;
    if (!decode_event(opcode, args, event))
        return 0;
    auto* proxy = static_cast<wl_proxy*>(target);
    auto* data = static_cast<Data*>(wl_proxy_get_user_data(proxy));
    const auto* listener = static_cast<const Listener<Object, Event, Data>*>(implementation);
    listener->on_event(*data, as_object<Object>(proxy), event);
    return 0;
}

// Installs the interface's dispatcher with `listener` and `data` on `object`.
template <typename Object, typename Event, typename Data>
void add_listener(Object* object, const Listener<Object, Event, Data>& listener, Data* data) noexcept
{
    wl_proxy_add_dispatcher(as_proxy(object), &dispatch_event<Object, Event, Data>, &listener, data);
}

}  // namespace rdv
