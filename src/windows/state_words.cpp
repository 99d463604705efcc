#include "windows/window_info.hpp"

namespace rdv {

Result<> write_state_words(Writer& writer, std::uint32_t state) noexcept
{
    bool first = true;
    for (const WindowStateFlag& flag : kWindowStateFlags) {
        if ((state & flag.bit) == 0)
            continue;
        if (!first)
            RDV_TRY(writer.put(','));
        RDV_TRY(writer.put(flag.word));
        first = false;
    }
    return {};
}

}  // namespace rdv
