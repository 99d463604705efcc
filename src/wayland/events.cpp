#include "wayland/events.hpp"

namespace rdv {
namespace {

// The library refuses a null string on a non-nullable argument before
// dispatch; an empty view stands in should one ever get through.
std::string_view text(const wl_argument& arg) noexcept
{
    return arg.s ? std::string_view(arg.s) : std::string_view();
}

template <typename Object>
Object* object(const wl_argument& arg) noexcept
{
    return as_object<Object>(reinterpret_cast<wl_proxy*>(arg.o));
}

}  // namespace

bool decode_event(std::uint32_t opcode, const wl_argument* args, RegistryEvent& event) noexcept
{
    using namespace registry_event;
    switch (opcode) {
    case 0:
        event = Global{args[0].u, text(args[1]), args[2].u};
        return true;
    case 1:
        event = GlobalRemove{args[0].u};
        return true;
    default:
        return false;
    }
}

bool decode_event(std::uint32_t opcode, const wl_argument* args, ToplevelListEvent& event) noexcept
{
    using namespace toplevel_list_event;
    switch (opcode) {
    case 0:
        event = Toplevel{object<ext_foreign_toplevel_handle_v1>(args[0])};
        return true;
    case 1:
        event = Finished{};
        return true;
    default:
        return false;
    }
}

bool decode_event(std::uint32_t opcode, const wl_argument* args, ToplevelHandleEvent& event) noexcept
{
    using namespace toplevel_handle_event;
    switch (opcode) {
    case 0:
        event = Closed{};
        return true;
    case 1:
        event = Done{};
        return true;
    case 2:
        event = Title{text(args[0])};
        return true;
    case 3:
        event = AppId{text(args[0])};
        return true;
    case 4:
        event = Identifier{text(args[0])};
        return true;
    default:
        return false;
    }
}

bool decode_event(std::uint32_t opcode, const wl_argument* args, WindowInfoEvent& event) noexcept
{
    using namespace window_info_event;
    switch (opcode) {
    case 0:
        event = Backend{args[0].u};
        return true;
    case 1:
        event = AppId{text(args[0])};
        return true;
    case 2:
        event = Class{text(args[0])};
        return true;
    case 3:
        event = Output{text(args[0])};
        return true;
    case 4:
        event = Workspace{args[0].u};
        return true;
    case 5:
        event = Geometry{args[0].i, args[1].i, args[2].i, args[3].i};
        return true;
    case 6:
        event = State{args[0].u};
        return true;
    case 7:
        event = Layout{text(args[0])};
        return true;
    case 8:
        event = MatchedRule{args[0].u};
        return true;
    case 9:
        event = RuleMatcher{args[0].u, text(args[1])};
        return true;
    case 10:
        event = Done{};
        return true;
    default:
        return false;
    }
}

bool decode_event(std::uint32_t opcode, const wl_argument* args, WindowInfoManagerEvent& event) noexcept
{
    using namespace window_info_manager_event;
    if (opcode != 0)
        return false;
    event = ActiveWorkspaceLayout{args[0].u, text(args[1]), args[2].u, text(args[3])};
    return true;
}

bool decode_event(std::uint32_t opcode, const wl_argument* args, SceneSnapshotEvent& event) noexcept
{
    using namespace scene_snapshot_event;
    switch (opcode) {
    case 0:
        event = Node{args[0].u, args[1].u, text(args[2]), args[3].u, args[4].u,
                     args[5].i, args[6].i, args[7].i, args[8].i};
        return true;
    case 1:
        event = Done{};
        return true;
    default:
        return false;
    }
}

bool decode_event(std::uint32_t opcode, const wl_argument* args, OutputManagerEvent& event) noexcept
{
    using namespace output_manager_event;
    switch (opcode) {
    case 0:
        event = Head{object<zwlr_output_head_v1>(args[0])};
        return true;
    case 1:
        event = Done{args[0].u};
        return true;
    case 2:
        event = Finished{};
        return true;
    default:
        return false;
    }
}

bool decode_event(std::uint32_t opcode, const wl_argument* args, HeadEvent& event) noexcept
{
    using namespace head_event;
    switch (opcode) {
    case 0:
        event = Name{text(args[0])};
        return true;
    case 1:
        event = Description{text(args[0])};
        return true;
    case 2:
        event = PhysicalSize{args[0].i, args[1].i};
        return true;
    case 3:
        event = Mode{object<zwlr_output_mode_v1>(args[0])};
        return true;
    case 4:
        event = Enabled{args[0].i};
        return true;
    case 5:
        event = CurrentMode{object<zwlr_output_mode_v1>(args[0])};
        return true;
    case 6:
        event = Position{args[0].i, args[1].i};
        return true;
    case 7:
        event = Transform{args[0].i};
        return true;
    case 8:
        event = Scale{args[0].f};
        return true;
    case 9:
        event = Finished{};
        return true;
    case 10:
        event = Make{text(args[0])};
        return true;
    case 11:
        event = Model{text(args[0])};
        return true;
    case 12:
        event = SerialNumber{text(args[0])};
        return true;
    case 13:
        event = AdaptiveSync{args[0].u};
        return true;
    default:
        return false;
    }
}

bool decode_event(std::uint32_t opcode, const wl_argument* args, ModeEvent& event) noexcept
{
    using namespace mode_event;
    switch (opcode) {
    case 0:
        event = Size{args[0].i, args[1].i};
        return true;
    case 1:
        event = Refresh{args[0].i};
        return true;
    case 2:
        event = Preferred{};
        return true;
    case 3:
        event = Finished{};
        return true;
    default:
        return false;
    }
}

}  // namespace rdv
