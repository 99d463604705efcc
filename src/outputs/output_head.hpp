// Output heads and modes as wlr output management announces them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "text/write_ops.hpp"

struct zwlr_output_head_v1;
struct zwlr_output_mode_v1;

namespace rdv {

struct ClientState;

// The mode object's listener holds this record's address: allocated on its
// own, never moved.
struct OutputMode {
    zwlr_output_mode_v1* proxy = nullptr;
    std::int32_t width = 0;   // pixels
    std::int32_t height = 0;  // pixels
    std::int32_t refresh_mhz = 0;
    bool preferred = false;
    bool finished = false;
};

// The head object's listener holds this record's address: allocated on its
// own, never moved.
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
    std::vector<std::unique_ptr<OutputMode>> modes;  // arrival order
    const OutputMode* current_mode = nullptr;        // one of `modes`, or none
    bool enabled = false;
    std::int32_t x = 0;  // position in the compositor's global space
    std::int32_t y = 0;
    std::int32_t transform = 0;  // a wl_output transform value, unchecked
    double scale = 1.0;
    bool adaptive_sync = false;
    bool finished = false;
};

}  // namespace rdv
