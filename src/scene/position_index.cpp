#include "scene/position_index.hpp"

#include <algorithm>
#include <new>

namespace rdv {

std::optional<PositionIndex> PositionIndex::with_capacity(std::size_t count) noexcept
{
    // At most half full, so probes stay short.
    std::size_t size = 16;
    while (size < count * 2)
        size *= 2;
    std::unique_ptr<std::uint32_t[]> keys(new (std::nothrow) std::uint32_t[size]);
    std::unique_ptr<std::uint32_t[]> positions(new (std::nothrow) std::uint32_t[size]);
    if (!keys || !positions)
        return std::nullopt;
    std::fill_n(positions.get(), size, kNone);
    return PositionIndex(std::move(keys), std::move(positions), size - 1);
}

}  // namespace rdv
