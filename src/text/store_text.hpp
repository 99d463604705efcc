// Keeping received texts.
#pragma once

#include <new>
#include <string>
#include <string_view>

#include "text/write_ops.hpp"

namespace rdv {

// Replaces `field` with a copy of `bytes`. The copy is made before the old
// text is given up, so on memory shortage (std::bad_alloc) the field keeps
// its previous value.
inline void store_text(Text& field, std::string_view bytes)
{
    std::string copy(bytes);
    field = std::move(copy);
}

// Runs a listener's body; memory shortage drops the event. Nothing is
// reported and no exception leaves.
template <typename Body>
void absorb_memory_shortage(Body&& body) noexcept
{
    try {
        body();
    } catch (const std::bad_alloc&) {
    }
}

}  // namespace rdv
