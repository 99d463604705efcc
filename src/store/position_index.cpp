#include "store/position_index.hpp"

#include <algorithm>

namespace rdv {

std::size_t PositionIndex::slots_for(std::size_t count) noexcept
{
    std::size_t size = 16;
    while (size < count * 2)
        size *= 2;
    return size;
}

PositionIndex::PositionIndex(std::uint32_t* slots, std::size_t size) noexcept : slots_(slots), mask_(size - 1)
{
    clear();
}

void PositionIndex::clear() noexcept
{
    std::fill_n(slots_, mask_ + 1, kNone);
}

}  // namespace rdv
