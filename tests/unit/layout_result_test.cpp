// The one-line JSON result of the layout commands.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

#include "layout/layout_reply.hpp"
#include "layout/layout_result.hpp"
#include "test_support.hpp"

namespace {

using rdv::LayoutReply;
using rdv_test::render_to_string;

#define FFFD "\xEF\xBF\xBD"

std::string result(const LayoutReply& reply)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_layout_result(w, reply); });
}

LayoutReply reply(std::uint32_t status, rdv::Text output, std::uint32_t workspace, rdv::Text layout)
{
    LayoutReply r;
    r.status = status;
    r.output = std::move(output);
    r.workspace = workspace;
    r.layout = std::move(layout);
    return r;
}

TEST(LayoutResult, Success)
{
    EXPECT_EQ(result(reply(0, "DP-1", 2, "tile")),
              "{\"ok\":true,\"status\":\"success\",\"output\":\"DP-1\",\"workspace\":2,\"layout\":\"tile\"}\n");
}

TEST(LayoutResult, EveryStatus)
{
    struct Case {
        std::uint32_t status;
        std::string_view ok_and_status;
    };
    const Case cases[] = {
        {0, "{\"ok\":true,\"status\":\"success\""},
        {1, "{\"ok\":false,\"status\":\"output_not_found\""},
        {2, "{\"ok\":false,\"status\":\"invalid_layout\""},
        {3, "{\"ok\":false,\"status\":\"unavailable\""},
        {4, "{\"ok\":false,\"status\":\"unknown\""},
        {7, "{\"ok\":false,\"status\":\"unknown\""},
        {std::numeric_limits<std::uint32_t>::max(), "{\"ok\":false,\"status\":\"unknown\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(result(reply(c.status, "HDMI-A-1", 5, "monocle")),
                  std::string(c.ok_and_status) + ",\"output\":\"HDMI-A-1\",\"workspace\":5,\"layout\":\"monocle\"}\n")
            << "status " << c.status;
    }
}

TEST(LayoutResult, BeforeAnyAnswer)
{
    EXPECT_EQ(result(LayoutReply{}),
              "{\"ok\":false,\"status\":\"unavailable\",\"output\":\"\",\"workspace\":0,\"layout\":\"\"}\n");
}

TEST(LayoutResult, AbsentAndEmptyTextsAreBothEmptyStrings)
{
    const std::string expected =
        "{\"ok\":false,\"status\":\"invalid_layout\",\"output\":\"\",\"workspace\":4294967295,\"layout\":\"\"}\n";
    EXPECT_EQ(result(reply(2, std::nullopt, 4294967295u, std::nullopt)), expected);
    EXPECT_EQ(result(reply(2, "", 4294967295u, "")), expected);
    EXPECT_EQ(result(reply(2, std::nullopt, 4294967295u, "")), expected);
}

TEST(LayoutResult, TextsAreEscapedAndRepaired)
{
    EXPECT_EQ(result(reply(0, "DP\"1\\\n\t\x01", 0, "ti\x7fle/\xc3\xa9\xff\xe2\x82")),
              "{\"ok\":true,\"status\":\"success\",\"output\":\"DP\\\"1\\\\\\n\\t\\u0001\",\"workspace\":0,"
              "\"layout\":\"ti\\u007fle/\xc3\xa9" FFFD FFFD "\"}\n");
}

TEST(LayoutResult, StopsAtTheFirstFailedWrite)
{
    const LayoutReply r = reply(1, "eDP-1", 3, "scroll");
    auto render = [&](rdv::Writer& w) { return rdv::write_layout_result(w, r); };
    rdv_test::expect_stops_at_first_failure(render, result(r));
}

}  // namespace
