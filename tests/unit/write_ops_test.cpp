// The shared writing operations: decimals, JSON strings with their escapes
// and UTF-8 repair, optional JSON members, and one-line text.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "test_support.hpp"
#include "text/write_ops.hpp"

namespace {

using namespace std::literals;
using rdv_test::render_to_string;

// U+FFFD, for literal concatenation.
#define FFFD "\xEF\xBF\xBD"

struct TextCase {
    std::string_view input;
    std::string_view expected;
};

std::string json(std::string_view bytes)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_json_string(w, bytes); });
}

std::string single_line(std::string_view bytes)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_single_line(w, bytes); });
}

std::string single_line_utf8(std::string_view bytes)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_single_line_utf8(w, bytes); });
}

// ---------------------------------------------------------------- decimals

TEST(Decimals, Signed)
{
    struct Case {
        std::int32_t value;
        std::string_view expected;
    };
    const Case cases[] = {
        {0, "0"},
        {-5, "-5"},
        {7, "7"},
        {-1, "-1"},
        {10, "10"},
        {-10, "-10"},
        {1000000, "1000000"},
        {-1920, "-1920"},
        {std::numeric_limits<std::int32_t>::max(), "2147483647"},
        {std::numeric_limits<std::int32_t>::min(), "-2147483648"},
        {std::numeric_limits<std::int32_t>::min() + 1, "-2147483647"},
    };
    // Straight into the buffer, and through `put` when the buffer is short.
    for (std::size_t capacity : {std::size_t{4096}, std::size_t{3}}) {
        for (const Case& c : cases) {
            std::string got =
                render_to_string([&](rdv::Writer& w) { return rdv::write_signed_decimal(w, c.value); }, capacity);
            EXPECT_EQ(got, c.expected) << "value " << c.value << ", capacity " << capacity;
        }
    }
}

TEST(Decimals, Unsigned)
{
    struct Case {
        std::uint64_t value;
        std::string_view expected;
    };
    const Case cases[] = {
        {0, "0"},
        {1, "1"},
        {9, "9"},
        {10, "10"},
        {100, "100"},
        {4294967295u, "4294967295"},
        {4294967296u, "4294967296"},
        {10000000000000000000u, "10000000000000000000"},
        {std::numeric_limits<std::uint64_t>::max(), "18446744073709551615"},
    };
    for (std::size_t capacity : {std::size_t{4096}, std::size_t{3}}) {
        for (const Case& c : cases) {
            std::string got =
                render_to_string([&](rdv::Writer& w) { return rdv::write_unsigned_decimal(w, c.value); }, capacity);
            EXPECT_EQ(got, c.expected) << "value " << c.value << ", capacity " << capacity;
        }
    }
}

// Long values written when the buffer has any number of bytes free, from
// none to all: straight into the buffer where the whole rendering fits, else
// through `put`. The bytes that arrive must be the filler and the value, and
// the writer must never hold more than its capacity.
TEST(Decimals, ExtremeValuesAtEveryOffsetOfANearlyFullBuffer)
{
    using rdv::Writer;
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    struct Case {
        std::string what;
        std::function<rdv::Result<>(Writer&)> write;
        std::string expected;
    };
    std::vector<Case> cases;
    const std::int32_t geometries[][4] = {
        {kMin, kMin, kMin, kMin}, {kMax, kMax, kMax, kMax}, {kMin, kMax, 0, -1}, {0, 0, 0, 0}, {-1, -1, -1, -1},
        {-1, 0, kMax, kMin},
    };
    for (const auto& g : geometries) {
        cases.push_back({"geometry " + std::to_string(g[0]) + "," + std::to_string(g[1]),
                         [g](Writer& w) { return rdv::write_geometry(w, g[0], g[1], g[2], g[3]); },
                         std::to_string(g[0]) + "," + std::to_string(g[1]) + " " + std::to_string(g[2]) + "x" +
                             std::to_string(g[3])});
    }
    for (std::int32_t value : {kMin, kMax, 0, -1}) {
        cases.push_back({"signed " + std::to_string(value),
                         [value](Writer& w) { return rdv::write_signed_decimal(w, value); }, std::to_string(value)});
    }
    for (std::uint64_t value : {std::uint64_t{0}, std::numeric_limits<std::uint64_t>::max(), std::uint64_t{4294967295u}}) {
        cases.push_back({"unsigned " + std::to_string(value),
                         [value](Writer& w) { return rdv::write_unsigned_decimal(w, value); }, std::to_string(value)});
    }
    for (std::size_t capacity : {std::size_t{64}, std::size_t{48}, std::size_t{47}, std::size_t{46}, std::size_t{21},
                                 std::size_t{20}, std::size_t{12}, std::size_t{11}, std::size_t{5}}) {
        for (const Case& c : cases) {
            for (std::size_t filled = 0; filled <= capacity; ++filled) {
                rdv::MemoryWriter writer(capacity);
                const std::string filler(filled, '.');
                ASSERT_TRUE(writer.put(filler).has_value());
                ASSERT_TRUE(c.write(writer).has_value());
                ASSERT_LE(writer.buffered(), writer.capacity()) << c.what << ", " << filled << " of " << capacity;
                ASSERT_TRUE(writer.put('|').has_value());
                ASSERT_TRUE(rdv::flush(writer).has_value());
                ASSERT_EQ(writer.text(), filler + c.expected + "|") << c.what << ", " << filled << " of " << capacity;
            }
        }
    }
}

// ------------------------------------------------------------ JSON strings

TEST(JsonString, EmptyText)
{
    EXPECT_EQ(json(""), "\"\"");
}

TEST(JsonString, MixedEscapes)
{
    EXPECT_EQ(json("a\"\\\n\r\t\x01\x1f\x7f\xc3\xa9"),
              "\"a\\\"\\\\\\n\\r\\t\\u0001\\u001f\\u007f\xc3\xa9\"");
}

TEST(JsonString, EveryControlByte)
{
    const std::string_view expected[32] = {
        "\\u0000", "\\u0001", "\\u0002", "\\u0003", "\\u0004", "\\u0005", "\\u0006", "\\u0007",
        "\\u0008", "\\t",     "\\n",     "\\u000b", "\\u000c", "\\r",     "\\u000e", "\\u000f",
        "\\u0010", "\\u0011", "\\u0012", "\\u0013", "\\u0014", "\\u0015", "\\u0016", "\\u0017",
        "\\u0018", "\\u0019", "\\u001a", "\\u001b", "\\u001c", "\\u001d", "\\u001e", "\\u001f",
    };
    std::string all;
    std::string all_expected = "\"";
    for (int byte = 0; byte < 32; ++byte) {
        const char c = static_cast<char>(byte);
        EXPECT_EQ(json(std::string_view(&c, 1)), "\"" + std::string(expected[byte]) + "\"") << "byte " << byte;
        all += c;
        all_expected += expected[byte];
    }
    all_expected += "\"";
    EXPECT_EQ(json(all), all_expected);
}

TEST(JsonString, BytesThatPassUnchanged)
{
    const TextCase cases[] = {
        {"/", "\"/\""},
        {"a/b", "\"a/b\""},
        {" ~", "\" ~\""},
        {"'", "\"'\""},
        {"\xc3\xa9", "\"\xc3\xa9\""},
        {"\xc2\x80", "\"\xc2\x80\""},          // a C1 control is well-formed UTF-8
        {"\xc2\x9f", "\"\xc2\x9f\""},
        {"\xc2\xa0", "\"\xc2\xa0\""},
        {"\xe2\x82\xac", "\"\xe2\x82\xac\""},  // euro sign
        {"\xe0\xa0\x80", "\"\xe0\xa0\x80\""},  // smallest three-byte
        {"\xed\x9f\xbf", "\"\xed\x9f\xbf\""},  // just below the surrogates
        {"\xef\xbf\xbd", "\"\xef\xbf\xbd\""},  // U+FFFD itself
        {"\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
        {"\xf4\x8f\xbf\xbf", "\"\xf4\x8f\xbf\xbf\""},  // U+10FFFF
        {"x\xf0\x90\x80\x80y", "\"x\xf0\x90\x80\x80y\""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(json(c.input), c.expected) << "input " << testing::PrintToString(std::string(c.input));
}

// Ill-formed UTF-8 and its repair: one U+FFFD per maximal subpart, as
// Python's bytes.decode("utf-8", "replace") gives. Inputs hold no byte that
// JSON or the one-line rules would change otherwise.
const TextCase kRepairCases[] = {
    {"\x80", FFFD},
    {"\xbf", FFFD},
    {"a\x80" "b", "a" FFFD "b"},
    {"\x80\x80", FFFD FFFD},
    {"\xc0\x80", FFFD FFFD},                              // overlong
    {"\xc1\xbf", FFFD FFFD},                              // overlong
    {"\xe0\x80\x80", FFFD FFFD FFFD},                     // overlong three-byte
    {"\xe0\x9f\xbf", FFFD FFFD FFFD},
    {"\xed\xa0\x80", FFFD FFFD FFFD},                     // surrogate
    {"\xed\xbf\xbf", FFFD FFFD FFFD},
    {"\xf0\x80\x80\x80", FFFD FFFD FFFD FFFD},            // overlong four-byte
    {"\xf0\x8f\xbf\xbf", FFFD FFFD FFFD FFFD},
    {"\xf4\x90\x80\x80", FFFD FFFD FFFD FFFD},            // above U+10FFFF
    {"\xf5\x80\x80\x80", FFFD FFFD FFFD FFFD},
    {"\xf8", FFFD},
    {"\xfe", FFFD},
    {"\xff", FFFD},
    {"\xc2", FFFD},                                       // truncated at the end
    {"\xe2\x82", FFFD},
    {"\xf0\x9f\x98", FFFD},
    {"\xe0\xa0", FFFD},
    {"\xc2" "a", FFFD "a"},                               // truncated, then ASCII
    {"\xe2\x82" "a", FFFD "a"},
    {"\xf0\x9f\x98" "a", FFFD "a"},
    {"\xc2\xc2", FFFD FFFD},
    {"\xe2\xc3\xa9", FFFD "\xc3\xa9"},                    // truncated, then a valid sequence
    {"\xf0\x9f\xc3\xa9", FFFD "\xc3\xa9"},
    {"\xe2\x82\x82\xac", "\xe2\x82\x82" FFFD},            // valid, then a stray continuation
    {"\xf0\x9f\x98\x80\x80", "\xf0\x9f\x98\x80" FFFD},
    {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},             // valid four-byte
    {"ok\xff\xfe" "ok", "ok" FFFD FFFD "ok"},
};

TEST(JsonString, IllFormedUtf8BecomesReplacementCharacters)
{
    for (const TextCase& c : kRepairCases) {
        EXPECT_EQ(json(c.input), "\"" + std::string(c.expected) + "\"")
            << "input " << testing::PrintToString(std::string(c.input));
    }
}

TEST(JsonString, RepairNextToEscapes)
{
    const TextCase cases[] = {
        {"\xc3\"", "\"" FFFD "\\\"\""},
        {"\xe2\x82\n", "\"" FFFD "\\n\""},
        {"\xf0\x9f\x98\x7f", "\"" FFFD "\\u007f\""},
        {"\xc2\\", "\"" FFFD "\\\\\""},
        {"\xe0\x01", "\"" FFFD "\\u0001\""},
        {"\xc2\x00"sv, "\"" FFFD "\\u0000\""},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(json(c.input), c.expected) << "input " << testing::PrintToString(std::string(c.input));
}

// ------------------------------------------------- optional string members

TEST(OptionalStringMember, AbsentPresentEmptyAndFirst)
{
    struct Case {
        std::string_view key;
        rdv::Text value;
        bool first;
        std::string_view expected;
    };
    const Case cases[] = {
        {"title", std::nullopt, true, "\"title\":null"},
        {"title", std::nullopt, false, ",\"title\":null"},
        {"title", "notes", true, "\"title\":\"notes\""},
        {"title", "notes", false, ",\"title\":\"notes\""},
        {"title", "", true, "\"title\":\"\""},
        {"title", "", false, ",\"title\":\"\""},
        {"title", "a\"b\n\x7f\xff", false, ",\"title\":\"a\\\"b\\n\\u007f" FFFD "\""},
        {"k\"y", std::nullopt, true, "\"k\\\"y\":null"},
        {"", "null", true, "\"\":\"null\""},
    };
    for (const Case& c : cases) {
        std::string got = render_to_string(
            [&](rdv::Writer& w) { return rdv::write_optional_string_member(w, c.key, c.value, c.first); });
        EXPECT_EQ(got, c.expected);
    }
}

// ------------------------------------------------------------ one-line text

TEST(SingleLine, Table)
{
    const TextCase cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a\r\nb", "a  b"},
        {"\n", " "},
        {"\r", " "},
        {"a\tb", "a b"},
        {"\x1b[31mred", " [31mred"},
        {"\x7f", " "},
        {"\x00x"sv, " x"},
        {"\xc2\x80", " "},
        {"\xc2\x85", " "},
        {"\xc2\x9f", " "},
        {"\xc2\x80\xc2\x9f", "  "},
        {"\xc2\xa0", "\xc2\xa0"},                    // no-break space is not a control
        {"\xc2\xbf", "\xc2\xbf"},
        {"\xc3\x80", "\xc3\x80"},
        {"\xe2\x80\xa8", "\xe2\x80\xa8"},
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
        {"\xc2", "\xc2"},                            // ill-formed passes unchanged
        {"end\xc2", "end\xc2"},
        {"\xc2\n", "\xc2 "},
        {"\xc2\x7f", "\xc2 "},
        {"\xc2\xc2\x80", "\xc2 "},
        {"\xe2\xc2\x80", "\xe2 "},
        {"\xff\x80", "\xff\x80"},
        {"\xc0\x80", "\xc0\x80"},
        {"\xed\xa0\x80", "\xed\xa0\x80"},
        {"\x80\x9f", "\x80\x9f"},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(single_line(c.input), c.expected) << "input " << testing::PrintToString(std::string(c.input));
}

TEST(SingleLine, EveryControlByteBecomesOneSpace)
{
    std::string input;
    for (int byte = 0; byte < 32; ++byte)
        input += static_cast<char>(byte);
    input += '\x7f';
    EXPECT_EQ(single_line(input), std::string(33, ' '));
    EXPECT_EQ(single_line_utf8(input), std::string(33, ' '));

    // The printable ASCII range passes unchanged.
    std::string printable;
    for (int byte = 0x20; byte < 0x7f; ++byte)
        printable += static_cast<char>(byte);
    EXPECT_EQ(single_line(printable), printable);
    EXPECT_EQ(single_line_utf8(printable), printable);
}

TEST(SingleLineUtf8, Table)
{
    const TextCase cases[] = {
        {"", ""},
        {"a\r\nb", "a  b"},
        {"a\tb", "a b"},
        {"\x1b", " "},
        {"\x7f", " "},
        {"\xc2\x80", " "},
        {"\xc2\x9f", " "},
        {"\xc2\xa0", "\xc2\xa0"},
        {"\xc3\xa9", "\xc3\xa9"},
        {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
        {"\xc2", FFFD},
        {"end\xc2", "end" FFFD},
        {"\xc2\n", FFFD " "},
        {"\xc2\x7f", FFFD " "},
        {"\xc2\xc2\x80", FFFD " "},
        {"\xe2\xc2\x80", FFFD " "},
        {"\xe2\x82\r", FFFD " "},
        {"\xf0\x9f\x98\t", FFFD " "},
        {"\xff\x80", FFFD FFFD},
    };
    for (const TextCase& c : cases)
        EXPECT_EQ(single_line_utf8(c.input), c.expected)
            << "input " << testing::PrintToString(std::string(c.input));
}

TEST(SingleLineUtf8, IllFormedUtf8BecomesReplacementCharacters)
{
    for (const TextCase& c : kRepairCases)
        EXPECT_EQ(single_line_utf8(c.input), c.expected)
            << "input " << testing::PrintToString(std::string(c.input));
}

TEST(SingleLine, IllFormedUtf8PassesUnchanged)
{
    for (const TextCase& c : kRepairCases)
        EXPECT_EQ(single_line(c.input), c.input) << "input " << testing::PrintToString(std::string(c.input));
}

// ----------------------------------------------------------- write failures

TEST(WriteOpsFailure, EveryOperationStopsAtTheFirstFailedWrite)
{
    const std::string long_text = "a\"b\\c\nd\x01\x7f\xff\xc2\x80" + std::string(40, 'z');
    struct Op {
        const char* name;
        std::function<rdv::Result<>(rdv::Writer&)> run;
    };
    const Op ops[] = {
        {"signed", [](rdv::Writer& w) { return rdv::write_signed_decimal(w, std::numeric_limits<std::int32_t>::min()); }},
        {"unsigned",
         [](rdv::Writer& w) { return rdv::write_unsigned_decimal(w, std::numeric_limits<std::uint64_t>::max()); }},
        {"json", [&](rdv::Writer& w) { return rdv::write_json_string(w, long_text); }},
        {"member", [&](rdv::Writer& w) { return rdv::write_optional_string_member(w, "key", rdv::Text::viewing(long_text), false); }},
        {"member null", [](rdv::Writer& w) { return rdv::write_optional_string_member(w, "key", std::nullopt, false); }},
        {"single line", [&](rdv::Writer& w) { return rdv::write_single_line(w, long_text); }},
        {"single line utf8", [&](rdv::Writer& w) { return rdv::write_single_line_utf8(w, long_text); }},
        {"bytes", [&](rdv::Writer& w) { return rdv::write_bytes(w, long_text); }},
    };
    for (const Op& op : ops) {
        SCOPED_TRACE(op.name);
        std::string full = render_to_string(op.run);
        rdv_test::expect_stops_at_first_failure(op.run, full);
    }
}

}  // namespace
