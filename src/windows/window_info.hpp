// One window's record, filled by toplevel-handle and window-info events.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "store/chunked_list.hpp"
#include "store/text_arena.hpp"
#include "text/write_ops.hpp"

struct ext_foreign_toplevel_handle_v1;
struct zadozav_window_info_v1;

namespace rdv {

struct ClientState;

struct WindowGeometry {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// Values of the window-info `backend` event (stored unchanged; others have no word).
namespace WindowBackend {
inline constexpr std::uint32_t xdg = 0;
inline constexpr std::uint32_t xwayland = 1;
}  // namespace WindowBackend

// "xdg", "xwayland", or "unknown" for a value without a word.
constexpr std::string_view backend_word(std::uint32_t backend) noexcept
{
    switch (backend) {
    case WindowBackend::xdg:
        return "xdg";
    case WindowBackend::xwayland:
        return "xwayland";
    default:
        return "unknown";
    }
}

// Bits of the window-info `state` event, in the order their words are
// written. Bits 6 to 31 have no word.
struct WindowStateFlag {
    std::uint32_t bit;
    std::string_view word;
};
inline constexpr std::array<WindowStateFlag, 6> kWindowStateFlags{{
    {0x01, "focused"},
    {0x02, "floating"},
    {0x04, "fullscreen"},
    {0x08, "maximized"},
    {0x10, "minimized"},
    {0x20, "visible"},
}};

// Two proxies hold this record's address as user data: it never moves (see
// WindowList). Its texts' bytes are in the list's arena.
struct WindowInfo {
    ClientState* client = nullptr;
    ext_foreign_toplevel_handle_v1* handle = nullptr;
    zadozav_window_info_v1* info = nullptr;  // once requested
    Text identifier;
    Text title;
    Text toplevel_app_id;  // from the toplevel handle
    Text app_id;           // from the compositor's introspection
    Text window_class;
    Text output;
    Text layout;
    std::array<Text, 3> rule_matchers;  // indexed by matcher kind; printed nowhere
    std::uint32_t backend = WindowBackend::xdg;
    std::uint32_t workspace = 0;
    WindowGeometry geometry;
    std::uint32_t state = 0;         // WindowStateFlags bits
    std::uint32_t matched_rule = 0;  // 0: no rule matches
    bool info_requested = false;
    bool info_done = false;
    bool closed = false;
};

// Every window the toplevel list announced, in the order of its events, and
// the bytes of their texts. The records are stored in chunks of 256 (57 KiB)
// and never move.
class WindowList : public ChunkedList<WindowInfo, 256> {
public:
    TextArena texts;

    // Frees every record and every text.
    void clear() noexcept
    {
        ChunkedList::clear();
        texts.clear();
    }
};

// Closed, or its description is complete: the snapshot need not wait for it.
constexpr bool is_window_complete(const WindowInfo& window) noexcept
{
    return window.closed || window.info_done;
}

// Shown by every rendering: still open and fully described.
constexpr bool is_window_listed(const WindowInfo& window) noexcept
{
    return !window.closed && window.info_done;
}

// The words of the set state bits, joined by ",".
[[nodiscard]] Result<> write_state_words(Writer& writer, std::uint32_t state) noexcept;

}  // namespace rdv
