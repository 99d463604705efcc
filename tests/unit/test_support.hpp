// Helpers shared by the unit tests: running a rendering into memory, and
// checking that a rendering stops cleanly at the first failed write.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "text/error.hpp"
#include "text/write_ops.hpp"
#include "text/writer.hpp"

namespace rdv_test {

// U+FFFD as UTF-8.
inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Runs `render` on a fresh memory writer of `capacity` bytes, flushes, and
// returns every byte that left the writer. The rendering and the flush must
// both succeed.
template <typename Render>
std::string render_to_string(Render&& render, std::size_t capacity = 4096)
{
    rdv::MemoryWriter writer(capacity);
    rdv::Result<> result = render(writer);
    EXPECT_TRUE(result.has_value()) << "the rendering reported a failure";
    rdv::Result<> flushed = rdv::flush(writer);
    EXPECT_TRUE(flushed.has_value()) << "the flush reported a failure";
    return writer.text();
}

// Makes every write fail once more than `fail_after` bytes would have left a
// writer of `capacity` bytes, for every `fail_after` below the full output's
// size, and checks that:
//   - the rendering, or the flush after it, reports WriteFailed;
//   - the rendering itself reports WriteFailed whenever the bytes it must hand
//     over exceed what the writer may take plus what it can keep buffered;
//   - what left the writer is a prefix of the full output (nothing written
//     after the failure slipped through).
template <typename Render>
void expect_stops_at_first_failure(Render&& render, const std::string& full)
{
    ASSERT_FALSE(full.empty());
    const std::size_t capacities[] = {1, 5, 64};
    for (std::size_t capacity : capacities) {
        for (std::size_t fail_after = 0; fail_after < full.size(); ++fail_after) {
            rdv::MemoryWriter writer(capacity, fail_after);
            rdv::Result<> result = render(writer);
            if (fail_after + capacity < full.size()) {
                ASSERT_FALSE(result.has_value())
                    << "capacity " << capacity << ", fail after " << fail_after;
            }
            bool failed = !result.has_value();
            if (failed) {
                ASSERT_EQ(result.error(), rdv::Error::WriteFailed);
            } else {
                rdv::Result<> flushed = rdv::flush(writer);
                ASSERT_FALSE(flushed.has_value())
                    << "capacity " << capacity << ", fail after " << fail_after;
                ASSERT_EQ(flushed.error(), rdv::Error::WriteFailed);
            }
            const std::string& got = writer.text();
            ASSERT_LE(got.size(), fail_after);
            ASSERT_EQ(got, full.substr(0, got.size()))
                << "capacity " << capacity << ", fail after " << fail_after;
        }
    }
}

}  // namespace rdv_test
