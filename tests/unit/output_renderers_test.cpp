// The two renderings of the output heads and the number formats they share.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

#include "outputs/output_head.hpp"
#include "outputs/output_renderers.hpp"
#include "test_support.hpp"

namespace {

using rdv::HeadList;
using rdv::OutputHead;
using rdv::OutputMode;
using rdv_test::render_to_string;

#define FFFD "\xEF\xBF\xBD"

OutputMode& add_mode(OutputHead& head, std::int32_t width, std::int32_t height, std::int32_t refresh_mhz,
                     bool preferred = false)
{
    OutputMode* mode = head.modes.append();
    EXPECT_NE(mode, nullptr);
    mode->width = width;
    mode->height = height;
    mode->refresh_mhz = refresh_mhz;
    mode->preferred = preferred;
    return *mode;
}

// A head at the end of `list`, changed by `configure` where it stays.
void add_head(HeadList& list, const std::function<void(OutputHead&)>& configure = {})
{
    OutputHead* record = list.append();
    ASSERT_NE(record, nullptr);
    if (configure)
        configure(*record);
}

HeadList list_of(const std::function<void(OutputHead&)>& configure)
{
    HeadList list;
    add_head(list, configure);
    return list;
}

std::string text(const HeadList& heads)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_outputs_text(w, heads); });
}

std::string json(const HeadList& heads)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_outputs_json(w, heads); });
}

std::string fixed6(double value)
{
    return render_to_string([&](rdv::Writer& w) { return rdv::write_fixed6(w, value); });
}

// The two heads of the worked example: DP-1 enabled with three modes, and
// HDMI-A-1 disabled without modes.
HeadList example_heads()
{
    HeadList heads;
    add_head(heads, [](OutputHead& h) {
        h.name = "DP-1";
        h.make = "Example";
        h.model = "Panel 27";
        h.serial_number = "0001";
        h.physical_width_mm = 600;
        h.physical_height_mm = 340;
        h.has_physical_size = true;
        h.current_mode = &add_mode(h, 3840, 2160, 59997, true);
        add_mode(h, 2560, 1440, 59951);
        add_mode(h, 1920, 1080, 60000);
        h.enabled = true;
        h.scale = 1.5;
    });
    add_head(heads, [](OutputHead& h) { h.name = "HDMI-A-1"; });
    return heads;
}

// --------------------------------------------------------------- transform

TEST(TransformWord, AllValues)
{
    struct Case {
        std::int32_t transform;
        std::string_view word;
    };
    const Case cases[] = {
        {0, "normal"},
        {1, "90"},
        {2, "180"},
        {3, "270"},
        {4, "flipped"},
        {5, "flipped-90"},
        {6, "flipped-180"},
        {7, "flipped-270"},
        {8, "unknown"},
        {9, "unknown"},
        {-1, "unknown"},
        {std::numeric_limits<std::int32_t>::min(), "unknown"},
        {std::numeric_limits<std::int32_t>::max(), "unknown"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rdv::transform_word(c.transform), c.word) << "transform " << c.transform;
}

// ----------------------------------------------------------------- fixed6

TEST(Fixed6, ShortestDigitsRoundedHalfUp)
{
    struct Case {
        double value;
        std::string_view expected;
    };
    const Case cases[] = {
        {1.0, "1.000000"},
        {1.5, "1.500000"},
        {0.0, "0.000000"},
        {0.00390625, "0.003906"},
        {1.0078125, "1.007813"},   // binary rounding would give 1.007812
        {59.951, "59.951000"},
        {59.997, "59.997000"},
        {144.05, "144.050000"},
        {0.001, "0.001000"},
        {9.9999996, "10.000000"},  // the carry runs into the integer part
        {0.9999995, "1.000000"},
        {999999.9999995, "1000000.000000"},
        // Ties at n/256 with n = 2 (mod 4): exact binary ties.
        {2.0 / 256, "0.007813"},
        {6.0 / 256, "0.023438"},
        {10.0 / 256, "0.039063"},
        {14.0 / 256, "0.054688"},
        {258.0 / 256, "1.007813"},
        // Decimal ties whose binary value lies below the tie.
        {5e-7, "0.000001"},
        {2.5e-6, "0.000003"},
        {1.0000005, "1.000001"},
        {1.0000015, "1.000002"},
        {1234567.0000005, "1234567.000001"},
        {123456.7890125, "123456.789013"},
        // Below half a unit.
        {1e-7, "0.000000"},
        {4.9e-7, "0.000000"},
        {5e-324, "0.000000"},
        {0.30000000000000004, "0.300000"},
        {0.1, "0.100000"},
        // Negative values.
        {-1.0, "-1.000000"},
        {-1.5, "-1.500000"},
        {-0.00390625, "-0.003906"},
        {-1.0078125, "-1.007813"},
        {-9.9999996, "-10.000000"},
        {-0.001, "-0.001000"},
        // Large values.
        {4294967295.5, "4294967295.500000"},
        {9007199254740992.0, "9007199254740992.000000"},
        {1e20, "100000000000000000000.000000"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fixed6(c.value), c.expected) << "value " << testing::PrintToString(c.value);
}

TEST(Fixed6, NegativeValueBelowHalfAUnitKeepsItsSign)
{
    EXPECT_EQ(fixed6(-1e-7), "-0.000000");
}

TEST(Fixed6, HugeValuesWriteEveryIntegerDigit)
{
    EXPECT_EQ(fixed6(1e300), "1" + std::string(300, '0') + ".000000");
    EXPECT_EQ(fixed6(DBL_MAX), "17976931348623157" + std::string(292, '0') + ".000000");
    EXPECT_EQ(fixed6(-DBL_MAX), "-17976931348623157" + std::string(292, '0') + ".000000");
}

// ------------------------------------------------------------ text report

TEST(OutputsText, WorkedExample)
{
    EXPECT_EQ(text(example_heads()),
              "DP-1\n"
              "  Make: Example\n"
              "  Model: Panel 27\n"
              "  Serial: 0001\n"
              "  Physical size: 600x340 mm\n"
              "  Enabled: yes\n"
              "  Modes:\n"
              "    3840x2160 px, 59.997 Hz (current, preferred)\n"
              "    2560x1440 px, 59.951 Hz\n"
              "    1920x1080 px, 60.000 Hz\n"
              "  Position: 0,0\n"
              "  Transform: normal\n"
              "  Scale: 1.500000\n"
              "  Adaptive Sync: disabled\n"
              "\n"
              "HDMI-A-1\n"
              "  Enabled: no\n"
              "  Modes:\n"
              "    (none)\n");
}

TEST(OutputsText, NoHeads)
{
    EXPECT_EQ(text({}), "No outputs found.\n");
    HeadList finished;
    add_head(finished, [](OutputHead& h) {
        h.name = "DP-1";
        h.finished = true;
    });
    add_head(finished, [](OutputHead& h) { h.finished = true; });
    EXPECT_EQ(text(finished), "No outputs found.\n");
}

TEST(OutputsText, FinishedHeadsAreSkippedWithoutStrayEmptyLines)
{
    HeadList heads;
    add_head(heads, [](OutputHead& h) {
        h.name = "gone-1";
        h.finished = true;
    });
    add_head(heads, [](OutputHead& h) { h.name = "A"; });
    add_head(heads, [](OutputHead& h) {
        h.name = "gone-2";
        h.finished = true;
    });
    add_head(heads, [](OutputHead& h) { h.name = "B"; });
    add_head(heads, [](OutputHead& h) {
        h.name = "gone-3";
        h.finished = true;
    });
    EXPECT_EQ(text(heads),
              "A\n  Enabled: no\n  Modes:\n    (none)\n"
              "\n"
              "B\n  Enabled: no\n  Modes:\n    (none)\n");
}

TEST(OutputsText, NameLine)
{
    struct Case {
        rdv::Text name;
        rdv::Text description;
        std::string_view expected_first_line;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, "unknown\n"},
        {"", std::nullopt, "\n"},
        {"", "Desk", " \"Desk\"\n"},
        {std::nullopt, "Desk", "unknown \"Desk\"\n"},
        {"DP-1", "", "DP-1 \"\"\n"},
        {"DP-1", "Dell \"U2720Q\" (DP-1)", "DP-1 \"Dell \"U2720Q\" (DP-1)\"\n"},
        {"DP\t1\r\n", "line\nbreak\x1b\x7f\xc2\x9f\xc2\xa0\xff", "DP 1   \"line break   \xc2\xa0\xff\"\n"},
    };
    for (const Case& c : cases) {
        auto heads = list_of([&](OutputHead& h) {
            h.name = c.name;
            h.description = c.description;
        });
        EXPECT_EQ(text(heads), std::string(c.expected_first_line) + "  Enabled: no\n  Modes:\n    (none)\n");
    }
}

TEST(OutputsText, MakeModelSerialAndPhysicalSize)
{
    auto heads = list_of([](OutputHead& h) {
        h.name = "X";
        h.make = "Ex\tample\r\n";
        h.model = "M\x7f\xc2\x85N";
        h.serial_number = "";
        h.physical_width_mm = 0;
        h.physical_height_mm = 0;
        h.has_physical_size = true;
    });
    EXPECT_EQ(text(heads),
              "X\n"
              "  Make: Ex ample  \n"
              "  Model: M  N\n"
              "  Serial: \n"
              "  Physical size: 0x0 mm\n"
              "  Enabled: no\n"
              "  Modes:\n"
              "    (none)\n");

    auto negative = list_of([](OutputHead& h) {
        h.name = "Y";
        h.serial_number = "S\x01";
        h.physical_width_mm = -1;
        h.physical_height_mm = std::numeric_limits<std::int32_t>::min();
        h.has_physical_size = true;
    });
    EXPECT_EQ(text(negative),
              "Y\n"
              "  Serial: S \n"
              "  Physical size: -1x-2147483648 mm\n"
              "  Enabled: no\n"
              "  Modes:\n"
              "    (none)\n");

    // Sizes without their event print no line.
    auto no_event = list_of([](OutputHead& h) {
        h.name = "Z";
        h.physical_width_mm = 600;
        h.physical_height_mm = 340;
    });
    EXPECT_EQ(text(no_event), "Z\n  Enabled: no\n  Modes:\n    (none)\n");
}

TEST(OutputsText, RefreshFormatting)
{
    struct Case {
        std::int32_t refresh_mhz;
        std::string_view expected;
    };
    const Case cases[] = {
        {60000, "    1920x1080 px, 60.000 Hz\n"},
        {59951, "    1920x1080 px, 59.951 Hz\n"},
        {1, "    1920x1080 px, 0.001 Hz\n"},
        {50, "    1920x1080 px, 0.050 Hz\n"},
        {999, "    1920x1080 px, 0.999 Hz\n"},
        {1000, "    1920x1080 px, 1.000 Hz\n"},
        {144050, "    1920x1080 px, 144.050 Hz\n"},
        {59999, "    1920x1080 px, 59.999 Hz\n"},
        {std::numeric_limits<std::int32_t>::max(), "    1920x1080 px, 2147483.647 Hz\n"},
        {0, "    1920x1080 px\n"},
        {-1, "    1920x1080 px\n"},
        {-60000, "    1920x1080 px\n"},
        {std::numeric_limits<std::int32_t>::min(), "    1920x1080 px\n"},
    };
    for (const Case& c : cases) {
        auto heads = list_of([&](OutputHead& h) {
            h.name = "M";
            add_mode(h, 1920, 1080, c.refresh_mhz);
        });
        EXPECT_EQ(text(heads), "M\n  Enabled: no\n  Modes:\n" + std::string(c.expected)) << c.refresh_mhz;
    }
}

TEST(OutputsText, CurrentAndPreferredMarks)
{
    auto heads = list_of([](OutputHead& h) {
        h.name = "M";
        add_mode(h, 640, 480, 0);
        add_mode(h, 800, 600, 60000, true);
        add_mode(h, 1024, 768, 0, true);
        // Two modes with equal values: only the record named current is marked.
        add_mode(h, 1280, 720, 60000);
        h.current_mode = &add_mode(h, 1280, 720, 60000);
        add_mode(h, -1, -2, 0);
    });
    EXPECT_EQ(text(heads),
              "M\n  Enabled: no\n  Modes:\n"
              "    640x480 px\n"
              "    800x600 px, 60.000 Hz (preferred)\n"
              "    1024x768 px (preferred)\n"
              "    1280x720 px, 60.000 Hz\n"
              "    1280x720 px, 60.000 Hz (current)\n"
              "    -1x-2 px\n");

    auto both = list_of([](OutputHead& h) {
        h.name = "B";
        h.current_mode = &add_mode(h, 320, 200, 70000, true);
    });
    EXPECT_EQ(text(both), "B\n  Enabled: no\n  Modes:\n    320x200 px, 70.000 Hz (current, preferred)\n");
}

TEST(OutputsText, FinishedModesAreSkipped)
{
    auto some = list_of([](OutputHead& h) {
        h.name = "M";
        add_mode(h, 1, 1, 0).finished = true;
        add_mode(h, 2, 2, 0);
        OutputMode& current = add_mode(h, 3, 3, 0, true);
        current.finished = true;
        h.current_mode = &current;
    });
    EXPECT_EQ(text(some), "M\n  Enabled: no\n  Modes:\n    2x2 px\n");

    auto all = list_of([](OutputHead& h) {
        h.name = "M";
        add_mode(h, 1, 1, 0).finished = true;
        add_mode(h, 2, 2, 0, true).finished = true;
    });
    EXPECT_EQ(text(all), "M\n  Enabled: no\n  Modes:\n    (none)\n");
}

TEST(OutputsText, EnabledHeadLines)
{
    struct Case {
        std::int32_t x;
        std::int32_t y;
        std::int32_t transform;
        double scale;
        bool adaptive_sync;
        std::string_view expected_tail;
    };
    const Case cases[] = {
        {0, 0, 0, 1.0, false,
         "  Position: 0,0\n  Transform: normal\n  Scale: 1.000000\n  Adaptive Sync: disabled\n"},
        {-1920, 1080, 1, 2.0, true,
         "  Position: -1920,1080\n  Transform: 90\n  Scale: 2.000000\n  Adaptive Sync: enabled\n"},
        {3840, -5, 7, 258.0 / 256, false,
         "  Position: 3840,-5\n  Transform: flipped-270\n  Scale: 1.007813\n  Adaptive Sync: disabled\n"},
        {0, 0, 8, 0.75, false,
         "  Position: 0,0\n  Transform: unknown\n  Scale: 0.750000\n  Adaptive Sync: disabled\n"},
        {0, 0, -1, -1.0 / 256, false,
         "  Position: 0,0\n  Transform: unknown\n  Scale: -0.003906\n  Adaptive Sync: disabled\n"},
        {0, 0, 2, 16.0, false,
         "  Position: 0,0\n  Transform: 180\n  Scale: 16.000000\n  Adaptive Sync: disabled\n"},
    };
    for (const Case& c : cases) {
        auto heads = list_of([&](OutputHead& h) {
            h.name = "E";
            h.enabled = true;
            h.x = c.x;
            h.y = c.y;
            h.transform = c.transform;
            h.scale = c.scale;
            h.adaptive_sync = c.adaptive_sync;
        });
        EXPECT_EQ(text(heads), "E\n  Enabled: yes\n  Modes:\n    (none)\n" + std::string(c.expected_tail));
    }
}

TEST(OutputsText, DisabledHeadHasNoPositionLines)
{
    auto heads = list_of([](OutputHead& h) {
        h.name = "D";
        h.x = 100;
        h.y = 200;
        h.transform = 3;
        h.scale = 2.0;
        h.adaptive_sync = true;
        add_mode(h, 1920, 1080, 60000);
    });
    EXPECT_EQ(text(heads), "D\n  Enabled: no\n  Modes:\n    1920x1080 px, 60.000 Hz\n");
}

// ------------------------------------------------------------------- JSON

TEST(OutputsJson, EmptyArray)
{
    EXPECT_EQ(json({}), "[\n\n]\n");
    auto finished = list_of([](OutputHead& h) {
        h.name = "DP-1";
        h.finished = true;
    });
    EXPECT_EQ(json(finished), "[\n\n]\n");
}

TEST(OutputsJson, ExampleHeads)
{
    EXPECT_EQ(json(example_heads()),
              "[\n"
              "  {\"name\":\"DP-1\",\"description\":null,\"make\":\"Example\",\"model\":\"Panel 27\","
              "\"serial\":\"0001\",\"physical_size\":{\"width\":600,\"height\":340},\"enabled\":true,"
              "\"modes\":[{\"width\":3840,\"height\":2160,\"refresh\":59.997000,\"preferred\":true,\"current\":true},"
              "{\"width\":2560,\"height\":1440,\"refresh\":59.951000,\"preferred\":false,\"current\":false},"
              "{\"width\":1920,\"height\":1080,\"refresh\":60.000000,\"preferred\":false,\"current\":false}],"
              "\"position\":{\"x\":0,\"y\":0},\"transform\":\"normal\",\"scale\":1.500000,\"adaptive_sync\":false},\n"
              "  {\"name\":\"HDMI-A-1\",\"description\":null,\"make\":null,\"model\":null,\"serial\":null,"
              "\"physical_size\":{\"width\":0,\"height\":0},\"enabled\":false,\"modes\":[],"
              "\"position\":{\"x\":0,\"y\":0},\"transform\":\"normal\",\"scale\":1.000000,\"adaptive_sync\":false}\n"
              "]\n");
}

TEST(OutputsJson, HeadWithEverySetting)
{
    auto heads = list_of([](OutputHead& h) {
        h.name = "";
        h.description = "Desk \"left\"\\\r\n\t\x1b\x7f";
        h.make = "\xc3\xa9\xff";
        h.model = "m";
        h.serial_number = "";
        h.physical_width_mm = 527;
        h.physical_height_mm = 296;
        h.has_physical_size = false;  // the JSON shows the values regardless
        add_mode(h, 1, 2, 0).finished = true;
        add_mode(h, 2560, 1440, -1000);
        h.current_mode = &add_mode(h, 1920, 1080, 59951, true);
        add_mode(h, 640, 480, 1);
        h.enabled = true;
        h.x = -1920;
        h.y = std::numeric_limits<std::int32_t>::min();
        h.transform = 9;
        h.scale = 258.0 / 256;
        h.adaptive_sync = true;
    });
    EXPECT_EQ(json(heads),
              "[\n"
              "  {\"name\":\"\",\"description\":\"Desk \\\"left\\\"\\\\\\r\\n\\t\\u001b\\u007f\","
              "\"make\":\"\xc3\xa9" FFFD "\",\"model\":\"m\",\"serial\":\"\","
              "\"physical_size\":{\"width\":527,\"height\":296},\"enabled\":true,"
              "\"modes\":[{\"width\":2560,\"height\":1440,\"refresh\":-1.000000,\"preferred\":false,\"current\":false},"
              "{\"width\":1920,\"height\":1080,\"refresh\":59.951000,\"preferred\":true,\"current\":true},"
              "{\"width\":640,\"height\":480,\"refresh\":0.001000,\"preferred\":false,\"current\":false}],"
              "\"position\":{\"x\":-1920,\"y\":-2147483648},\"transform\":\"unknown\",\"scale\":1.007813,"
              "\"adaptive_sync\":true}\n"
              "]\n");
}

TEST(OutputsJson, RefreshNumbers)
{
    struct Case {
        std::int32_t refresh_mhz;
        std::string_view expected;
    };
    const Case cases[] = {
        {0, "0.000000"},
        {59951, "59.951000"},
        {60000, "60.000000"},
        {-1000, "-1.000000"},
        {1, "0.001000"},
        {144050, "144.050000"},
        {std::numeric_limits<std::int32_t>::max(), "2147483.647000"},
    };
    for (const Case& c : cases) {
        auto heads = list_of([&](OutputHead& h) { add_mode(h, 1, 1, c.refresh_mhz); });
        EXPECT_EQ(json(heads),
                  "[\n  {\"name\":null,\"description\":null,\"make\":null,\"model\":null,\"serial\":null,"
                  "\"physical_size\":{\"width\":0,\"height\":0},\"enabled\":false,"
                  "\"modes\":[{\"width\":1,\"height\":1,\"refresh\":" +
                      std::string(c.expected) +
                      ",\"preferred\":false,\"current\":false}],"
                      "\"position\":{\"x\":0,\"y\":0},\"transform\":\"normal\",\"scale\":1.000000,"
                      "\"adaptive_sync\":false}\n]\n")
            << c.refresh_mhz;
    }
}

TEST(OutputsJson, FinishedHeadsAndModesKeepCommasRight)
{
    HeadList heads;
    add_head(heads, [](OutputHead& h) { h.finished = true; });
    add_head(heads, [](OutputHead& h) {
        h.name = "A";
        add_mode(h, 1, 1, 0).finished = true;
        add_mode(h, 2, 2, 0);
        add_mode(h, 3, 3, 0).finished = true;
        add_mode(h, 4, 4, 0);
    });
    add_head(heads, [](OutputHead& h) { h.finished = true; });
    add_head(heads, [](OutputHead& h) {
        h.name = "B";
        add_mode(h, 5, 5, 0).finished = true;
    });
    const std::string tail =
        ",\"position\":{\"x\":0,\"y\":0},\"transform\":\"normal\",\"scale\":1.000000,\"adaptive_sync\":false}";
    const std::string nulls = ",\"description\":null,\"make\":null,\"model\":null,\"serial\":null,"
                              "\"physical_size\":{\"width\":0,\"height\":0},\"enabled\":false,";
    EXPECT_EQ(json(heads),
              "[\n  {\"name\":\"A\"" + nulls +
                  "\"modes\":[{\"width\":2,\"height\":2,\"refresh\":0.000000,\"preferred\":false,\"current\":false},"
                  "{\"width\":4,\"height\":4,\"refresh\":0.000000,\"preferred\":false,\"current\":false}]" +
                  tail + ",\n  {\"name\":\"B\"" + nulls + "\"modes\":[]" + tail + "\n]\n");
}

// ---------------------------------------------------------- write failures

TEST(OutputRenderersFailure, StopAtTheFirstFailedWrite)
{
    const HeadList heads = example_heads();
    const std::function<rdv::Result<>(rdv::Writer&)> renderers[] = {
        [&](rdv::Writer& w) { return rdv::write_outputs_text(w, heads); },
        [&](rdv::Writer& w) { return rdv::write_outputs_json(w, heads); },
        [](rdv::Writer& w) { return rdv::write_fixed6(w, -DBL_MAX); },
        [](rdv::Writer& w) { return rdv::write_fixed6(w, 9.9999996); },
    };
    for (const auto& render : renderers) {
        std::string full = render_to_string(render);
        rdv_test::expect_stops_at_first_failure(render, full);
    }
    const HeadList none;
    auto empty_text = [&](rdv::Writer& w) { return rdv::write_outputs_text(w, none); };
    rdv_test::expect_stops_at_first_failure(empty_text, "No outputs found.\n");
}

}  // namespace
