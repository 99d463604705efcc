// The three renderings of the window snapshot: the tab-separated table, the
// JSON array and the TOML rule stubs.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "test_support.hpp"
#include "windows/window_info.hpp"
#include "windows/window_renderers.hpp"

namespace {

using rdv::Text;
using rdv::WindowInfo;
using rdv::WindowList;
using rdv_test::render_to_string;

#define FFFD "\xEF\xBF\xBD"

constexpr std::string_view kHeader = "ID\tBACKEND\tAPP_ID/CLASS\tTITLE\tOUTPUT:WORKSPACE\tGEOMETRY\tLAYOUT\tSTATE\n";

// A record whose description is complete, changed by `configure`.
WindowInfo window(const std::function<void(WindowInfo&)>& configure = {})
{
    WindowInfo record;
    record.info_requested = true;
    record.info_done = true;
    if (configure)
        configure(record);
    return record;
}

void add(WindowList& list, const WindowInfo& record)
{
    ASSERT_TRUE(list.push_back(record));
}

// The focused, visible xdg window a1 (editor, notes, DP-1:2, tile).
void editor_window(WindowInfo& w)
{
    w.identifier = "a1";
    w.app_id = "editor";
    w.title = "notes";
    w.output = "DP-1";
    w.workspace = 2;
    w.geometry = {10, 20, 800, 600};
    w.layout = "tile";
    w.state = 0x21;
}

void closed(WindowInfo& w)
{
    w.closed = true;
}

void not_described(WindowInfo& w)
{
    w.info_done = false;
}

WindowList list_of(const WindowInfo& a)
{
    WindowList list;
    add(list, a);
    return list;
}

std::string table(const WindowList& windows)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_window_table(w, windows); });
}

std::string json(const WindowList& windows)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_windows_json(w, windows); });
}

std::string stubs(const WindowList& windows)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_rule_stubs(w, windows); });
}

// A list mixing listed and unlisted records: closed first, then a1, then one
// whose description never completed, then b2 (xwayland), then one closed
// after its description completed.
WindowList mixed_list()
{
    WindowList list;
    add(list, window([](WindowInfo& w) {
        w.identifier = "gone";
        w.info_done = false;
        w.closed = true;
    }));
    add(list, window(editor_window));
    add(list, window([](WindowInfo& w) {
        w.identifier = "pending";
        not_described(w);
    }));
    add(list, window([](WindowInfo& w) {
        w.identifier = "b2";
        w.backend = rdv::WindowBackend::xwayland;
        w.window_class = "XTerm";
        w.title = "shell";
        w.output = "HDMI-A-1";
        w.workspace = 1;
        w.geometry = {-5, -10, 300, 200};
        w.state = 0x02;
        w.matched_rule = 4;
    }));
    add(list, window([](WindowInfo& w) {
        w.identifier = "closed-late";
        closed(w);
    }));
    return list;
}

// ------------------------------------------------------------- state words

TEST(StateWords, BitsInOrderJoinedByCommas)
{
    struct Case {
        std::uint32_t state;
        std::string_view expected;
    };
    const Case cases[] = {
        {0x00, ""},
        {0x01, "focused"},
        {0x02, "floating"},
        {0x04, "fullscreen"},
        {0x08, "maximized"},
        {0x10, "minimized"},
        {0x20, "visible"},
        {0x21, "focused,visible"},
        {0x30, "minimized,visible"},
        {0x0A, "floating,maximized"},
        {0x3F, "focused,floating,fullscreen,maximized,minimized,visible"},
        {0x40, ""},
        {0xC0, ""},
        {0x41, "focused"},
        {0xFFFFFFFF, "focused,floating,fullscreen,maximized,minimized,visible"},
        {0x80000020, "visible"},
    };
    for (const Case& c : cases) {
        std::string got = render_to_string([&](rdv::Writer& w) { return rdv::write_state_words(w, c.state); });
        EXPECT_EQ(got, c.expected) << "state " << c.state;
    }
}

// ------------------------------------------------------------------ table

TEST(WindowTable, HeaderAloneWithoutListedWindows)
{
    EXPECT_EQ(kHeader.size(), 69u);
    EXPECT_EQ(table({}), kHeader);

    WindowList unlisted;
    add(unlisted, window(closed));
    add(unlisted, window(not_described));
    add(unlisted, window([](WindowInfo& w) {
        w.info_done = false;
        w.closed = true;
    }));
    EXPECT_EQ(table(unlisted), kHeader);
}

TEST(WindowTable, ExampleWindow)
{
    EXPECT_EQ(table(list_of(window(editor_window))),
              std::string(kHeader) + "a1\txdg\teditor\tnotes\tDP-1:2\t10,20 800x600\ttile\tfocused,visible\n");
}

TEST(WindowTable, RecordWithNothingButItsDoneEvent)
{
    EXPECT_EQ(table(list_of(window())), std::string(kHeader) + "\txdg\t\t\t:0\t0,0 0x0\t\t\n");
}

TEST(WindowTable, ListsOnlyOpenDescribedWindowsInListOrder)
{
    EXPECT_EQ(table(mixed_list()), std::string(kHeader) +
                                       "a1\txdg\teditor\tnotes\tDP-1:2\t10,20 800x600\ttile\tfocused,visible\n"
                                       "b2\txwayland\tXTerm\tshell\tHDMI-A-1:1\t-5,-10 300x200\t\tfloating\n");
}

TEST(WindowTable, ApplicationColumnFallBacks)
{
    struct Case {
        Text app_id;
        Text window_class;
        Text toplevel_app_id;
        std::string_view expected;
    };
    const Case cases[] = {
        {"editor", "Class", "toplevel", "editor"},
        {std::nullopt, "Class", "toplevel", "Class"},
        {std::nullopt, std::nullopt, "toplevel", "toplevel"},
        {std::nullopt, std::nullopt, std::nullopt, ""},
        {"", "Class", "toplevel", ""},  // a present empty app_id wins
        {std::nullopt, "", "toplevel", ""},
        {"editor", std::nullopt, std::nullopt, "editor"},
    };
    for (const Case& c : cases) {
        auto list = list_of(window([&](WindowInfo& w) {
            w.identifier = "x";
            w.app_id = c.app_id;
            w.window_class = c.window_class;
            w.toplevel_app_id = c.toplevel_app_id;
        }));
        EXPECT_EQ(table(list), std::string(kHeader) + "x\txdg\t" + std::string(c.expected) + "\t\t:0\t0,0 0x0\t\t\n");
    }
}

TEST(WindowTable, NumbersAndBackendWords)
{
    struct Case {
        std::uint32_t backend;
        std::uint32_t workspace;
        rdv::WindowGeometry geometry;
        std::uint32_t state;
        std::string_view expected_line;
    };
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const Case cases[] = {
        {0, 0, {-5, -10, 300, 200}, 0, "\txdg\t\t\t:0\t-5,-10 300x200\t\t\n"},
        {1, 7, {0, 0, 0, 0}, 0x40, "\txwayland\t\t\t:7\t0,0 0x0\t\t\n"},
        {2, 4294967295u, {kMin, kMax, -1, 0}, 0x3F,
         "\tunknown\t\t\t:4294967295\t-2147483648,2147483647 -1x0\t\t"
         "focused,floating,fullscreen,maximized,minimized,visible\n"},
        {std::numeric_limits<std::uint32_t>::max(), 10, {1, 2, 3, 4}, 0x21,
         "\tunknown\t\t\t:10\t1,2 3x4\t\tfocused,visible\n"},
    };
    for (const Case& c : cases) {
        auto list = list_of(window([&](WindowInfo& w) {
            w.backend = c.backend;
            w.workspace = c.workspace;
            w.geometry = c.geometry;
            w.state = c.state;
        }));
        EXPECT_EQ(table(list), std::string(kHeader) + std::string(c.expected_line));
    }
}

TEST(WindowTable, ReceivedTextsAreKeptOnOneLine)
{
    auto list = list_of(window([](WindowInfo& w) {
        w.identifier = "a\tb";
        w.app_id = "ed\nit";
        w.title = "t\r\n\x1b\x7f\xc2\x85x\xff\xc3\xa9";
        w.output = "DP\t1";
        w.workspace = 3;
        w.layout = "ti\x01le\xc2\xa0";
    }));
    EXPECT_EQ(table(list), std::string(kHeader) + "a b\txdg\ted it\tt     x\xff\xc3\xa9\tDP 1:3\t0,0 0x0\tti le\xc2\xa0\t\n");

    auto fallback = list_of(window([](WindowInfo& w) {
        w.window_class = "C\tl\x9f\xc2\x9f";
    }));
    EXPECT_EQ(table(fallback), std::string(kHeader) + "\txdg\tC l\x9f \t\t:0\t0,0 0x0\t\t\n");

    auto toplevel = list_of(window([](WindowInfo& w) {
        w.toplevel_app_id = "org.\r\nx";
    }));
    EXPECT_EQ(table(toplevel), std::string(kHeader) + "\txdg\torg.  x\t\t:0\t0,0 0x0\t\t\n");
}

// ------------------------------------------------------------------- JSON

constexpr std::string_view kEditorObject =
    "  {\"id\":\"a1\",\"backend\":\"xdg\",\"app_id\":\"editor\",\"class\":null,\"title\":\"notes\","
    "\"output\":\"DP-1\",\"workspace\":2,\"geometry\":{\"x\":10,\"y\":20,\"width\":800,\"height\":600},"
    "\"layout\":\"tile\",\"matched_rule\":0,\"states\":[\"focused\",\"visible\"]}";

TEST(WindowJson, EmptyArrayHasAnEmptyLineBetweenTheBrackets)
{
    EXPECT_EQ(json({}), "[\n\n]\n");
    WindowList unlisted;
    add(unlisted, window(closed));
    add(unlisted, window(not_described));
    EXPECT_EQ(json(unlisted), "[\n\n]\n");
}

TEST(WindowJson, ExampleWindow)
{
    EXPECT_EQ(json(list_of(window(editor_window))), "[\n" + std::string(kEditorObject) + "\n]\n");
}

TEST(WindowJson, AbsentTextsAreNull)
{
    EXPECT_EQ(json(list_of(window())),
              "[\n  {\"id\":null,\"backend\":\"xdg\",\"app_id\":null,\"class\":null,\"title\":null,"
              "\"output\":null,\"workspace\":0,\"geometry\":{\"x\":0,\"y\":0,\"width\":0,\"height\":0},"
              "\"layout\":null,\"matched_rule\":0,\"states\":[]}\n]\n");
}

TEST(WindowJson, EmptyTextsAreEmptyStrings)
{
    auto list = list_of(window([](WindowInfo& w) {
        w.identifier = "";
        w.app_id = "";
        w.window_class = "";
        w.title = "";
        w.output = "";
        w.layout = "";
        w.toplevel_app_id = "ignored";
    }));
    EXPECT_EQ(json(list),
              "[\n  {\"id\":\"\",\"backend\":\"xdg\",\"app_id\":\"\",\"class\":\"\",\"title\":\"\","
              "\"output\":\"\",\"workspace\":0,\"geometry\":{\"x\":0,\"y\":0,\"width\":0,\"height\":0},"
              "\"layout\":\"\",\"matched_rule\":0,\"states\":[]}\n]\n");
}

TEST(WindowJson, ToplevelAppIdIsNotUsed)
{
    auto list = list_of(window([](WindowInfo& w) {
        w.toplevel_app_id = "from.handle";
        w.window_class = "Cls";
    }));
    std::string got = json(list);
    EXPECT_NE(got.find("\"app_id\":null,\"class\":\"Cls\""), std::string::npos) << got;
    EXPECT_EQ(got.find("from.handle"), std::string::npos) << got;
}

TEST(WindowJson, CommasStayCorrectAroundSkippedRecords)
{
    EXPECT_EQ(json(mixed_list()),
              "[\n" + std::string(kEditorObject) +
                  ",\n"
                  "  {\"id\":\"b2\",\"backend\":\"xwayland\",\"app_id\":null,\"class\":\"XTerm\",\"title\":\"shell\","
                  "\"output\":\"HDMI-A-1\",\"workspace\":1,\"geometry\":{\"x\":-5,\"y\":-10,\"width\":300,\"height\":200},"
                  "\"layout\":null,\"matched_rule\":4,\"states\":[\"floating\"]}\n]\n");
}

TEST(WindowJson, StatesBackendAndExtremeNumbers)
{
    struct Case {
        std::uint32_t backend;
        std::uint32_t state;
        std::string_view expected_backend;
        std::string_view expected_states;
    };
    const Case cases[] = {
        {0, 0x00, "\"xdg\"", "[]"},
        {1, 0x40, "\"xwayland\"", "[]"},
        {2, 0x21, "\"unknown\"", "[\"focused\",\"visible\"]"},
        {0xFFFFFFFF, 0x3F, "\"unknown\"",
         "[\"focused\",\"floating\",\"fullscreen\",\"maximized\",\"minimized\",\"visible\"]"},
    };
    for (const Case& c : cases) {
        auto list = list_of(window([&](WindowInfo& w) {
            w.backend = c.backend;
            w.state = c.state;
            w.workspace = 4294967295u;
            w.matched_rule = 4294967295u;
            w.geometry = {std::numeric_limits<std::int32_t>::min(), -1, 0, std::numeric_limits<std::int32_t>::max()};
        }));
        EXPECT_EQ(json(list),
                  "[\n  {\"id\":null,\"backend\":" + std::string(c.expected_backend) +
                      ",\"app_id\":null,\"class\":null,\"title\":null,\"output\":null,\"workspace\":4294967295,"
                      "\"geometry\":{\"x\":-2147483648,\"y\":-1,\"width\":0,\"height\":2147483647},"
                      "\"layout\":null,\"matched_rule\":4294967295,\"states\":" +
                      std::string(c.expected_states) + "}\n]\n");
    }
}

TEST(WindowJson, TextsAreEscapedAndRepaired)
{
    auto list = list_of(window([](WindowInfo& w) {
        w.identifier = "i\"d";
        w.app_id = "a\\b";
        w.window_class = "c\x7f";
        w.title = "t\n\r\t\x01/\xc2\x80\xff";
        w.output = "\xe2\x82";
        w.layout = "\xc3\xa9\x1b";
    }));
    EXPECT_EQ(json(list),
              "[\n  {\"id\":\"i\\\"d\",\"backend\":\"xdg\",\"app_id\":\"a\\\\b\",\"class\":\"c\\u007f\","
              "\"title\":\"t\\n\\r\\t\\u0001/\xc2\x80" FFFD "\",\"output\":\"" FFFD "\",\"workspace\":0,"
              "\"geometry\":{\"x\":0,\"y\":0,\"width\":0,\"height\":0},"
              "\"layout\":\"\xc3\xa9\\u001b\",\"matched_rule\":0,\"states\":[]}\n]\n");
}

// ------------------------------------------------------------- rule stubs

TEST(RuleStubs, NothingWithoutListedWindows)
{
    EXPECT_EQ(stubs({}), "");
    WindowList unlisted;
    add(unlisted, window(closed));
    add(unlisted, window(not_described));
    EXPECT_EQ(stubs(unlisted), "");
}

TEST(RuleStubs, ExampleWithRuleNote)
{
    auto list = list_of(window([](WindowInfo& w) {
        editor_window(w);
        w.matched_rule = 3;
    }));
    EXPECT_EQ(stubs(list),
              "# a1 \xe2\x80\x94 notes (currently matches rule 3)\n"
              "[[window]]\n"
              "app_id = \"editor\"\n"
              "# title = \"notes\"\n"
              "\n");
}

TEST(RuleStubs, AbsentIdentifierAndTitle)
{
    EXPECT_EQ(stubs(list_of(window())),
              "# unknown \xe2\x80\x94 \n"
              "[[window]]\n"
              "app_id = \"\"\n"
              "# title = \"\"\n"
              "\n");
}

TEST(RuleStubs, EmptyIdentifierAndTitleArePresent)
{
    auto list = list_of(window([](WindowInfo& w) {
        w.identifier = "";
        w.title = "";
        w.matched_rule = 4294967295u;
    }));
    EXPECT_EQ(stubs(list),
              "#  \xe2\x80\x94  (currently matches rule 4294967295)\n"
              "[[window]]\n"
              "app_id = \"\"\n"
              "# title = \"\"\n"
              "\n");
}

TEST(RuleStubs, NewlineInTitle)
{
    auto list = list_of(window([](WindowInfo& w) {
        w.identifier = "a1";
        w.app_id = "editor";
        w.title = "line1\nline2\r\"q\"";
    }));
    EXPECT_EQ(stubs(list),
              "# a1 \xe2\x80\x94 line1 line2 \"q\"\n"
              "[[window]]\n"
              "app_id = \"editor\"\n"
              "# title = \"line1\\nline2\\r\\\"q\\\"\"\n"
              "\n");
}

TEST(RuleStubs, KeyLineByBackend)
{
    struct Case {
        std::uint32_t backend;
        Text app_id;
        Text window_class;
        Text toplevel_app_id;
        std::string_view expected_key_line;
    };
    const Case cases[] = {
        {0, "editor", "Cls", "top", "app_id = \"editor\""},
        {0, std::nullopt, "Cls", "top", "app_id = \"top\""},
        {0, "", std::nullopt, "top", "app_id = \"\""},
        {0, std::nullopt, "Cls", std::nullopt, "app_id = \"\""},
        {1, "editor", "Cls", "top", "class = \"Cls\""},
        {1, "editor", std::nullopt, "top", "class = \"top\""},
        {1, "editor", std::nullopt, std::nullopt, "class = \"\""},
        {1, std::nullopt, "", "top", "class = \"\""},
        {2, "editor", "Cls", "top", "app_id = \"editor\""},
        {2, std::nullopt, "Cls", "top", "app_id = \"top\""},
        {0xFFFFFFFF, std::nullopt, "Cls", std::nullopt, "app_id = \"\""},
        {0, "a\"b\\c\td\x7f\xff", std::nullopt, std::nullopt, "app_id = \"a\\\"b\\\\c\\td\\u007f" FFFD "\""},
        {1, std::nullopt, "X\nY", std::nullopt, "class = \"X\\nY\""},
    };
    for (const Case& c : cases) {
        auto list = list_of(window([&](WindowInfo& w) {
            w.identifier = "w";
            w.title = "t";
            w.backend = c.backend;
            w.app_id = c.app_id;
            w.window_class = c.window_class;
            w.toplevel_app_id = c.toplevel_app_id;
        }));
        EXPECT_EQ(stubs(list), "# w \xe2\x80\x94 t\n[[window]]\n" + std::string(c.expected_key_line) +
                                   "\n# title = \"t\"\n\n")
            << "backend " << c.backend;
    }
}

TEST(RuleStubs, CommentLineIsOneLineOfValidUtf8)
{
    auto list = list_of(window([](WindowInfo& w) {
        w.identifier = "id\t\xff";
        w.title = "t\x1b\xc2\x80\x7f\xc3\xa9\xe2\x82";
    }));
    EXPECT_EQ(stubs(list),
              "# id " FFFD " \xe2\x80\x94 t   \xc3\xa9" FFFD "\n"
              "[[window]]\n"
              "app_id = \"\"\n"
              "# title = \"t\\u001b\xc2\x80\\u007f\xc3\xa9" FFFD "\"\n"
              "\n");
}

TEST(RuleStubs, OneStubPerListedWindowInListOrder)
{
    EXPECT_EQ(stubs(mixed_list()),
              "# a1 \xe2\x80\x94 notes\n"
              "[[window]]\n"
              "app_id = \"editor\"\n"
              "# title = \"notes\"\n"
              "\n"
              "# b2 \xe2\x80\x94 shell (currently matches rule 4)\n"
              "[[window]]\n"
              "class = \"XTerm\"\n"
              "# title = \"shell\"\n"
              "\n");
}

// ---------------------------------------------------------- write failures

TEST(WindowRenderersFailure, StopAtTheFirstFailedWrite)
{
    const WindowList list = mixed_list();
    const std::function<rdv::Result<>(rdv::Writer&)> renderers[] = {
        [&](rdv::Writer& w) { return rdv::write_window_table(w, list); },
        [&](rdv::Writer& w) { return rdv::write_windows_json(w, list); },
        [&](rdv::Writer& w) { return rdv::write_rule_stubs(w, list); },
    };
    for (const auto& render : renderers) {
        std::string full = render_to_string(render);
        rdv_test::expect_stops_at_first_failure(render, full);
    }
}

}  // namespace
