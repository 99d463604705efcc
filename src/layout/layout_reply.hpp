// The compositor's answer to a layout query or change.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/write_ops.hpp"

namespace rdv {

namespace LayoutStatus {
inline constexpr std::uint32_t success = 0;
inline constexpr std::uint32_t output_not_found = 1;
inline constexpr std::uint32_t invalid_layout = 2;
inline constexpr std::uint32_t unavailable = 3;
}  // namespace LayoutStatus

// The status word; "unknown" for a value above 3.
constexpr std::string_view layout_status_word(std::uint32_t status) noexcept
{
    switch (status) {
    case LayoutStatus::success:
        return "success";
    case LayoutStatus::output_not_found:
        return "output_not_found";
    case LayoutStatus::invalid_layout:
        return "invalid_layout";
    case LayoutStatus::unavailable:
        return "unavailable";
    default:
        return "unknown";
    }
}

struct LayoutReply {
    Text output;
    Text layout;
    TextArena texts;  // the bytes of the two texts
    std::uint32_t status = LayoutStatus::unavailable;  // until an answer arrives
    std::uint32_t workspace = 0;
};

}  // namespace rdv
