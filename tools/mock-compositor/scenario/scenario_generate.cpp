#include "scenario/scenario_generate.hpp"

#include "scenario/interfaces.hpp"

#include <array>
#include <cinttypes>
#include <cstdio>
#include <string>

namespace mock {

namespace {

struct App {
    const char* app_id; // xdg app_id, or X11 class for xwayland windows
    bool xwayland;
    const char* title;  // printf pattern taking the window number
};

constexpr std::array<App, 8> apps{{
    {"org.gnome.Terminal", false, "user@host: ~/src/project-%zu"},
    {"firefox", false, "Release notes %zu \xe2\x80\x94 Mozilla Firefox"},
    {"org.kde.dolphin", false, "Documents %zu \xe2\x80\x94 Dolphin"},
    {"Steam", true, "Steam (%zu)"},
    {"code", false, "main.cpp %zu - Visual Studio Code"},
    {"Gimp-2.10", true, "[Untitled]-%zu.0 (RGB color 8-bit gamma integer) \xe2\x80\x93 GIMP"},
    {"mpv", false, "Caf\xc3\xa9 video %zu.mkv - mpv"},
    {"libreoffice-writer", true, "Report %zu.odt - LibreOffice Writer"},
}};

// focused 0x01, floating 0x02, fullscreen 0x04, maximized 0x08,
// minimized 0x10, visible 0x20
constexpr std::array<std::uint32_t, 7> states{0x20, 0x22, 0x20, 0x28, 0x10, 0x24, 0x00};
constexpr std::array<const char*, 4> layouts{"tile", "monocle", "columns", "tile"};

struct ModeSize {
    std::int32_t width;
    std::int32_t height;
};
constexpr std::array<ModeSize, 9> mode_sizes{{{3840, 2160}, {2560, 1440}, {1920, 1200}, {1920, 1080},
                                              {1680, 1050}, {1280, 1024}, {1280, 720}, {1024, 768},
                                              {800, 600}}};
constexpr std::array<std::int32_t, 6> refresh_rates{60000, 59940, 50000, 144000, 30000, 74973};

std::string format(const char* pattern, std::size_t number)
{
    std::array<char, 256> buffer{};
    const int length = std::snprintf(buffer.data(), buffer.size(), pattern, number);
    return std::string(buffer.data(), static_cast<std::size_t>(std::max(length, 0)));
}

std::int32_t cycle(std::size_t value, std::size_t modulus, std::int32_t base)
{
    return base + static_cast<std::int32_t>(value % modulus);
}

Event handle_event(const char* name, std::vector<Arg> args)
{
    return make_named_event(ext_foreign_toplevel_handle_v1_interface, name, std::move(args));
}

Event info_event(const char* name, std::vector<Arg> args)
{
    return make_named_event(zadozav_window_info_v1_interface, name, std::move(args));
}

Event head_event(const char* name, std::vector<Arg> args)
{
    return make_named_event(zwlr_output_head_v1_interface, name, std::move(args));
}

Event mode_event(const char* name, std::vector<Arg> args)
{
    return make_named_event(zwlr_output_mode_v1_interface, name, std::move(args));
}

WindowDef generate_window(std::size_t number)
{
    const App& app = apps[number % apps.size()];
    // Multiplying by an odd constant is a bijection on 64-bit numbers, so
    // the identifiers are unique while looking random.
    const auto scrambled = static_cast<std::uint64_t>(number) * std::uint64_t{0x9e3779b97f4a7c15};
    std::array<char, 32> identifier{};
    std::snprintf(identifier.data(), identifier.size(), "%016" PRIx64, scrambled);

    WindowDef window;
    window.handle = {
        handle_event("identifier", {std::string(identifier.data())}),
        handle_event("title", {format(app.title, number)}),
        handle_event("app_id", {std::string(app.app_id)}),
        handle_event("done", {}),
    };

    const std::uint32_t state = number == 0 ? 0x21 : states[number % states.size()];
    const std::uint32_t rule = number % 4 == 0 ? 0 : static_cast<std::uint32_t>(1 + number % 6);
    window.info = {
        info_event("backend", {std::uint32_t{app.xwayland ? 1U : 0U}}),
        info_event(app.xwayland ? "class" : "app_id", {std::string(app.app_id)}),
        info_event("output", {std::string(number % 3 == 2 ? "DP-2" : "eDP-1")}),
        info_event("workspace", {static_cast<std::uint32_t>(1 + number % 5)}),
        info_event("geometry", {cycle(number * 37, 1920, 0), cycle(number * 53, 1080, 0),
                                cycle(number * 13, 1200, 400), cycle(number * 7, 800, 300)}),
        info_event("state", {state}),
        info_event("layout", {std::string((state & 0x02U) != 0 ? "float" : layouts[number % layouts.size()])}),
        info_event("matched_rule", {rule}),
    };
    if (rule != 0) {
        window.info.push_back(
            info_event("rule_matcher", {static_cast<std::uint32_t>(number % 3), std::string(app.app_id)}));
    }
    window.info.push_back(info_event("done", {}));
    return window;
}

HeadDef generate_head(std::size_t number, std::size_t mode_count)
{
    HeadDef head;
    for (std::size_t m = 0; m < mode_count; ++m) {
        const ModeSize size = mode_sizes[(number + m) % mode_sizes.size()];
        ModeDef mode;
        mode.events = {
            mode_event("size", {size.width, size.height}),
            mode_event("refresh", {refresh_rates[(number + 2 * m) % refresh_rates.size()]}),
        };
        if (m == 0) {
            mode.events.push_back(mode_event("preferred", {}));
        }
        head.modes.push_back(std::move(mode));
    }

    const bool enabled = number % 4 != 3;
    constexpr std::array<double, 4> scales{1.0, 1.25, 1.5, 2.0};
    head.events = {
        head_event("name", {format("GEN-%zu", number + 1)}),
        head_event("description", {format("Mock Displays MD-%zu (generated)", number + 1)}),
        head_event("physical_size", {cycle(number * 40, 300, 300), cycle(number * 30, 200, 170)}),
    };
    for (std::size_t m = 0; m < mode_count; ++m) {
        head.events.push_back(head_event("mode", {NewMode{m}}));
    }
    head.events.push_back(head_event("enabled", {std::int32_t{enabled ? 1 : 0}}));
    if (enabled && mode_count > 0) {
        head.events.push_back(head_event("current_mode", {ModeRef{std::nullopt, 0}}));
        head.events.push_back(head_event("position", {cycle(number, 1000, 0) * 1920, std::int32_t{0}}));
        head.events.push_back(head_event("transform", {std::int32_t{number % 5 == 4 ? 1 : 0}}));
        head.events.push_back(head_event("scale", {Fixed{wl_fixed_from_double(scales[number % scales.size()])}}));
    }
    head.events.push_back(head_event("make", {std::string("Mock Displays")}));
    head.events.push_back(head_event("model", {format("MD-%zu", number + 1)}));
    head.events.push_back(head_event("serial_number", {format("SN%06zu", number + 1)}));
    head.events.push_back(head_event("adaptive_sync", {static_cast<std::uint32_t>(number % 2)}));
    return head;
}

} // namespace

std::vector<WindowDef> generate_windows(std::size_t first, std::size_t count)
{
    std::vector<WindowDef> windows;
    windows.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        windows.push_back(generate_window(first + i));
    }
    return windows;
}

std::vector<HeadDef> generate_heads(std::size_t first, std::size_t count, std::size_t modes)
{
    std::vector<HeadDef> heads;
    heads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        heads.push_back(generate_head(first + i, modes));
    }
    return heads;
}

std::vector<SceneNode> generate_nodes(std::uint32_t first_id, std::size_t count, std::size_t fanout)
{
    // Node b of a complete tree numbered breadth first has children
    // fanout*b+1 .. fanout*b+fanout; they are emitted depth first.
    std::vector<SceneNode> nodes;
    nodes.reserve(count);
    std::vector<std::size_t> pending;
    if (count > 0) {
        pending.push_back(0);
    }
    while (!pending.empty()) {
        const std::size_t b = pending.back();
        pending.pop_back();
        const std::size_t first_child = fanout * b + 1;
        const bool inner = first_child < count;
        const std::uint32_t id = first_id + static_cast<std::uint32_t>(b);

        SceneNode node;
        node.id = id;
        node.parent = b == 0 ? 0 : first_id + static_cast<std::uint32_t>((b - 1) / fanout);
        node.name = "node-" + std::to_string(id);
        node.kind = inner ? 0 : (b % 3 == 0 ? 1 : 2);
        node.enabled = b % 97 == 96 ? 0 : 1;
        node.x = cycle(b * 17, 2000, 0);
        node.y = cycle(b * 29, 1200, 0);
        node.width = inner ? 0 : cycle(b * 7, 512, 16);
        node.height = inner ? 0 : cycle(b * 11, 512, 16);
        nodes.push_back(std::move(node));

        for (std::size_t child = std::min(first_child + fanout, count); child > first_child; --child) {
            pending.push_back(child - 1);
        }
    }
    return nodes;
}

} // namespace mock
