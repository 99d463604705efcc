// Output heads and modes as wlr output management announces them.
#pragma once

#include <cstdint>

#include "store/chunked_list.hpp"
#include "store/text_arena.hpp"

struct zwlr_output_head_v1;
struct zwlr_output_mode_v1;

namespace rdv {

struct ClientState;

// The mode object's listener holds this record's address: it never moves
// (see ChunkedList).
struct OutputMode {
    zwlr_output_mode_v1* proxy = nullptr;
    std::int32_t width = 0;   // pixels
    std::int32_t height = 0;  // pixels
    std::int32_t refresh_mhz = 0;
    bool preferred = false;
    bool finished = false;
};

// A head's modes in arrival order, in chunks of 32.
using ModeList = ChunkedList<OutputMode, 32>;

// The head object's listener holds this record's address: it never moves
// (see HeadList). Its texts' bytes are in the list's arena.
struct OutputHead {
    ClientState* client = nullptr;  // the state whose `heads` list owns this record
    zwlr_output_head_v1* proxy = nullptr;
    Text name;
    Text description;
    Text make;
    Text model;
    Text serial_number;
    std::int32_t physical_width_mm = 0;
    std::int32_t physical_height_mm = 0;
    bool has_physical_size = false;
    ModeList modes;
    const OutputMode* current_mode = nullptr;  // one of `modes`, or none
    bool enabled = false;
    std::int32_t x = 0;  // position in the compositor's global space
    std::int32_t y = 0;
    std::int32_t transform = 0;  // a wl_output transform value, unchecked
    double scale = 1.0;
    bool adaptive_sync = false;
    bool finished = false;
};

// Every head in arrival order, in chunks of 16, and the bytes of their texts.
class HeadList : public ChunkedList<OutputHead, 16> {
public:
    TextArena texts;

    // Frees every record and every text (the proxies are given back first,
    // by free_head).
    void clear() noexcept
    {
        ChunkedList::clear();
        texts.clear();
    }
};

}  // namespace rdv
