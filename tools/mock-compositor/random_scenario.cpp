// The seeded random mode (see random_scenario.hpp and README.md).
//
// Every scenario is valid for the mock and for the protocols: strings carry
// no zero byte and fit in one message, every reference points at something
// that exists. Everything else is hostile: texts of up to 4,000 arbitrary
// bytes, values out of every enum's range, duplicate and missing globals,
// hundreds of objects, closes, repeated and late events, scene parent cycles
// and duplicate ids, and answers delayed around the tool's round-trip budget.
//
// Alongside the scenario the generator works out, from the mock's own
// schedule, at which round trip each answer reaches the tool, and from that
// every result the tool may end with.

#include "random_scenario.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <limits>
#include <map>
#include <random>
#include <utility>

namespace mock {

namespace {

// The tool's round-trip budget after a flow's setup.
constexpr std::uint64_t max_extra_round_trips = 8;
constexpr std::uint64_t never = std::numeric_limits<std::uint32_t>::max();

constexpr std::string_view msg_no_introspection =
    "ridaviduvo: compositor does not expose Zadozav window introspection\n";
constexpr std::string_view msg_no_scene = "ridaviduvo: compositor does not expose scene graph snapshots\n";
constexpr std::string_view msg_no_layout = "ridaviduvo: compositor does not expose workspace layout control\n";
constexpr std::string_view msg_no_outputs = "ridaviduvo: compositor does not expose wlr output management\n";
constexpr std::string_view msg_window_timeout = "ridaviduvo: timed out collecting a consistent window snapshot\n";
constexpr std::string_view msg_scene_timeout = "ridaviduvo: timed out collecting the scene graph snapshot\n";
constexpr std::string_view msg_output_timeout = "ridaviduvo: timed out collecting a consistent output snapshot\n";
constexpr std::string_view msg_layout_timeout = "ridaviduvo: timed out waiting for workspace layout state\n";
constexpr std::string_view msg_connection_failed = "ridaviduvo: Wayland connection failed\n";

constexpr std::string_view toplevel_list_name = "ext_foreign_toplevel_list_v1";
constexpr std::string_view info_manager_name = "zadozav_window_info_manager_v1";
constexpr std::string_view output_manager_name = "zwlr_output_manager_v1";

// --- randomness --------------------------------------------------------------

// Only the engine's raw output is used: its sequence is fixed by the C++
// standard, unlike the library's distributions.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : engine_(seed) {}

    std::uint64_t next() { return engine_(); }
    std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }
    std::size_t index(std::size_t n) { return static_cast<std::size_t>(below(n)); }
    // From `low` to `high`, both included.
    std::uint64_t between(std::uint64_t low, std::uint64_t high) { return low + below(high - low + 1); }
    std::uint32_t between32(std::uint32_t low, std::uint32_t high)
    {
        return static_cast<std::uint32_t>(between(low, high));
    }
    bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < p; }
    std::uint32_t u32() { return static_cast<std::uint32_t>(next() >> 32); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }

    template <class T>
    const T& pick(const std::vector<T>& items)
    {
        return items[index(items.size())];
    }

    template <class T>
    void shuffle(std::vector<T>& items)
    {
        for (std::size_t i = items.size(); i > 1; --i) {
            std::swap(items[i - 1], items[index(i)]);
        }
    }

private:
    std::mt19937_64 engine_;
};

std::uint32_t hostile_u32(Rng& rng)
{
    static const std::vector<std::uint32_t> edges = {0, 1, 2, 3, 4, 7, 8, 0x3F, 0x40, 0xFF, 0x7FFFFFFF, 0x80000000,
                                                     0xFFFFFFFE, 0xFFFFFFFF};
    return rng.chance(0.5) ? rng.pick(edges) : (rng.chance(0.5) ? rng.between32(0, 100) : rng.u32());
}

std::int32_t hostile_i32(Rng& rng)
{
    static const std::vector<std::int32_t> edges = {0, 1, -1, 2, -2, 1920, 1080, std::numeric_limits<std::int32_t>::min(),
                                                    std::numeric_limits<std::int32_t>::max()};
    if (rng.chance(0.4)) {
        return rng.pick(edges);
    }
    if (rng.chance(0.5)) {
        return static_cast<std::int32_t>(rng.between(0, 8000)) - 2000;
    }
    return rng.i32();
}

// --- texts -------------------------------------------------------------------

std::string hex_of(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0x0F]);
    }
    return hex;
}

Json text(std::string_view bytes)
{
    Json value = Json::object();
    value["hex"] = hex_of(bytes);
    return value;
}

std::string one_byte(unsigned value)
{
    return std::string(1, static_cast<char>(value));
}

// One piece of a hostile text. Never a zero byte.
std::string text_piece(Rng& rng)
{
    static const std::vector<std::string> escapes = {
        "\x1b[31m", "\x1b[0m", "\x1b[2J\x1b[H", "\x1b]0;owned\x07", "\x1b]8;;http://x\x1b\\", "\x1b[6n", "\x1bP1$r\x1b\\",
        "\x9b" "31m", "\xc2\x9b" "31m"};
    static const std::vector<std::string> breaks = {"\t", "\n", "\r", "\r\n", "\n\n", "\t\t", "\v", "\f", "\b"};
    static const std::vector<std::string> valid = {
        "\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80", "\xe2\x80\xa8", "\xe2\x80\xa9", "\xe4\xb8\xad",
        "\xef\xbb\xbf", "\xef\xbf\xbd", "\xef\xbf\xbe", "\xf4\x8f\xbf\xbf", "\xc2\xa0", "\xe2\x80\x8b",
        "\xe2\x80\xae", "\xcd\x8f", "\xe2\x94\x9c\xe2\x94\x80 ", "\xe2\x80\x94", "\xc2\xb7"};
    static const std::vector<std::string> ill_formed = {
        "\xc3", "\xe2\x82", "\xf0\x9f\x98", "\xc0\xaf", "\xc1\xbf", "\xe0\x80\xaf", "\xe0\x9f\xbf", "\xf0\x80\x80\xaf",
        "\xf0\x8f\xbf\xbf", "\xed\xa0\x80", "\xed\xbf\xbf", "\xf4\x90\x80\x80", "\xf5\x80\x80\x80", "\xf8\x88\x80\x80\x80",
        "\xfc\x84\x80\x80\x80\x80", "\xfe", "\xff", "\xc2", "\xe2\x28\xa1", "\xf0\x28\x8c\xbc", "\xc3\x28"};
    static const std::vector<std::string> breakers = {
        "\"", "\\", "\\n", "\\u0000", "[[window]]", "\n[[window]]\n", "}", "];", "->", "#", "'''", "\"\"\"", "%s%n",
        "digraph x {", "\", fillcolor=\"red", "<b>", "&amp;", "\\\"", "\"\n", " = ", "[", "]\n"};
    switch (rng.below(14)) {
    case 0:
    case 13: {
        std::string word;
        const std::size_t length = rng.between(1, 12);
        for (std::size_t i = 0; i < length; ++i) {
            word.push_back(static_cast<char>(rng.between(0x20, 0x7E)));
        }
        return word;
    }
    case 1: return one_byte(static_cast<unsigned>(rng.between(0x01, 0x1F)));
    case 2: return "\x7f";
    case 3: return rng.pick(breaks);
    case 4: return rng.pick(escapes);
    case 5: return rng.pick(valid);
    case 6: return "\xc2" + one_byte(static_cast<unsigned>(rng.between(0x80, 0x9F)));
    case 7: return one_byte(static_cast<unsigned>(rng.between(0x80, 0xFF)));
    case 8: return one_byte(static_cast<unsigned>(rng.between(0x80, 0xBF)));
    case 9:
    case 10: return rng.pick(ill_formed);
    case 11: return rng.pick(breakers);
    default: {
        const std::string unit = rng.chance(0.5) ? std::string("A") : rng.pick(valid);
        std::string run;
        const std::size_t count = rng.between(2, 60);
        for (std::size_t i = 0; i < count; ++i) {
            run += unit;
        }
        return run;
    }
    }
}

// 0 to `max_length` bytes, most of them short.
std::string hostile_text(Rng& rng, std::size_t max_length)
{
    const std::uint64_t roll = rng.below(100);
    std::size_t length = 0;
    if (roll < 8) {
        length = 0;
    } else if (roll < 43) {
        length = rng.between(1, 16);
    } else if (roll < 78) {
        length = rng.between(17, 200);
    } else if (roll < 93) {
        length = rng.between(201, 1000);
    } else {
        length = rng.between(1001, 4000);
    }
    length = std::min(length, max_length);
    std::string out;
    while (out.size() < length) {
        out += text_piece(rng);
    }
    out.resize(length);
    return out;
}

// --- the mock's schedule -----------------------------------------------------

// A moment of the mock's run: the round trip (sync) it belongs to, the
// phase within it and the order within the phase. Within one sync the mock
// sends delayed answers, then announced windows, then script steps; requests
// that arrive between sync s and s+1 belong to (s, after).
enum class Phase : std::uint64_t { due = 0, announce = 1, script = 2, after = 3 };

constexpr std::uint64_t when(std::uint64_t sync, Phase phase, std::uint64_t order = 0)
{
    return (sync << 24) | (static_cast<std::uint64_t>(phase) << 20) | order;
}

constexpr std::uint64_t inf_time = std::numeric_limits<std::uint64_t>::max();

// The tool's round trip in which an event sent at `time` is dispatched:
// events sent while a sync is handled arrive in that sync's round trip;
// answers to requests made between two syncs in the next one.
std::uint64_t round_trip_of(std::uint64_t time)
{
    if (time == inf_time) {
        return never;
    }
    const std::uint64_t sync = time >> 24;
    const auto phase = static_cast<Phase>((time >> 20) & 0xF);
    return phase == Phase::after ? sync + 1 : sync;
}

// When a delayed answer to a request handled at sync `sync` (between sync and
// sync + 1) goes out: at once for 0, at the d-th following sync for d.
std::uint64_t answer_time(std::uint64_t sync, const std::optional<std::uint32_t>& delay)
{
    if (!delay) {
        return inf_time;
    }
    if (*delay == 0) {
        return when(sync, Phase::after);
    }
    return when(sync + *delay, Phase::due);
}

std::optional<std::uint32_t> random_delay(Rng& rng, double never_chance, std::uint32_t typical_max,
                                          std::uint32_t boundary)
{
    if (rng.chance(never_chance)) {
        return std::nullopt;
    }
    const std::uint64_t roll = rng.below(100);
    if (roll < 45) {
        return 0;
    }
    if (roll < 65) {
        return rng.between32(1, typical_max);
    }
    // On the last round trip the budget allows, or one before or after it.
    return rng.between32(boundary - 1, boundary + 1);
}

Json delay_json(const std::optional<std::uint32_t>& delay)
{
    return delay ? Json(*delay) : Json(nullptr);
}

// --- script steps ------------------------------------------------------------

enum class StepKind {
    close_window,
    window_events,
    new_window,
    toplevel_finished,
    remove_global,
    add_global,
    fail,
    head_events,
    mode_events,
    new_head,
    output_done,
    output_finished,
    scene_nodes,
    scene_done,
    layout_reply,
};

struct Step {
    std::uint32_t sync = 1;
    StepKind kind = StepKind::fail;
    Json json;
    std::size_t target = 0; // window, head or global index
    std::size_t mode = 0;
    bool handle_done = false;
    bool handle_closed = false;
    bool info_done = false;
    bool finished = false;
    std::size_t nodes = 0;
    std::size_t edges = 0;
    std::size_t new_index = 0; // the window or head a new_* step makes
    std::uint32_t status = 0;
    std::uint32_t workspace = 0;
    std::string output;
    std::string layout;
    std::uint64_t time = 0; // set once the script is sorted
};

Json step_json(std::uint32_t sync, const char* what)
{
    Json step = Json::object();
    step["at_sync"] = sync;
    step["do"] = what;
    return step;
}

// Sorts by round trip (file order within one, as the mock does) and stamps
// each step with its moment.
void order_script(std::vector<Step>& script)
{
    std::stable_sort(script.begin(), script.end(), [](const Step& a, const Step& b) { return a.sync < b.sync; });
    for (std::size_t i = 0; i < script.size(); ++i) {
        script[i].time = when(script[i].sync, Phase::script, i);
    }
}

Json script_json(const std::vector<Step>& script)
{
    Json steps = Json::array();
    for (const Step& step : script) {
        steps.push_back(step.json);
    }
    return steps;
}

// --- globals -----------------------------------------------------------------

struct GlobalEntry {
    std::string interface;
    std::uint32_t version = 1;
};

enum class Family { windows, scene, outputs, layout };

std::string junk_interface(Rng& rng)
{
    static const std::vector<std::string> names = {
        "wl_compositor", "wl_shm", "wl_seat", "wl_output", "xdg_wm_base", "zadozav_window_info_manager_v2",
        "zadozav_window_info_manager", "zadozav_window_info_manager_v1 ", "Zadozav_window_info_manager_v1",
        "ext_foreign_toplevel_list_v2", "ext_foreign_toplevel_list_v1x", "ext_foreign_toplevel_list",
        "zwlr_output_manager_v2", "zwlr_output_manager_v", "zwlr_output_manager_v1\t", "zadozav_\xc3\xa9",
        "zadozav_window_info_manager_v1\n", "a"};
    if (rng.chance(0.7)) {
        return rng.pick(names);
    }
    std::string name;
    const std::size_t length = rng.between(1, 60);
    for (std::size_t i = 0; i < length; ++i) {
        static constexpr char alphabet[] = "abcdefghijklmnopqrstuvwxyz_0123456789";
        name.push_back(alphabet[rng.index(sizeof alphabet - 1)]);
    }
    return name;
}

std::vector<GlobalEntry> make_globals(Rng& rng, Family family)
{
    std::vector<GlobalEntry> globals;
    const auto add_copies = [&](std::string_view interface, double present, const std::function<std::uint32_t()>& version) {
        if (!rng.chance(present)) {
            return;
        }
        const std::size_t copies = rng.chance(0.12) ? 2 : 1;
        for (std::size_t i = 0; i < copies; ++i) {
            globals.push_back({std::string(interface), version()});
        }
    };
    const bool windows_like = family == Family::windows || family == Family::layout;
    add_copies(toplevel_list_name, windows_like ? 0.95 : 0.6, [&] { return rng.between32(1, 3); });
    add_copies(info_manager_name, family == Family::outputs ? 0.5 : 0.95, [&]() -> std::uint32_t {
        switch (family) {
        case Family::scene: return rng.chance(0.08) ? 1 : rng.pick(std::vector<std::uint32_t>{2, 3, 4, 9});
        case Family::layout: return rng.chance(0.1) ? rng.between32(1, 2) : rng.pick(std::vector<std::uint32_t>{3, 4, 9});
        case Family::windows:
        case Family::outputs: break;
        }
        return rng.between32(1, 5);
    });
    add_copies(output_manager_name, family == Family::outputs ? 0.95 : 0.5, [&] { return rng.between32(1, 7); });
    const std::size_t junk = rng.chance(0.1) ? rng.between(20, 40) : rng.between(0, 8);
    for (std::size_t i = 0; i < junk; ++i) {
        globals.push_back({junk_interface(rng), rng.between32(1, 10)});
    }
    rng.shuffle(globals);
    return globals;
}

Json globals_json(const std::vector<GlobalEntry>& globals)
{
    Json list = Json::array();
    for (const GlobalEntry& global : globals) {
        Json entry = Json::object();
        entry["interface"] = global.interface;
        entry["version"] = global.version;
        list.push_back(entry);
    }
    return list;
}

// Adds, removes and the connection's end, common to every family.
void add_global_steps(Rng& rng, std::vector<Step>& script, const std::vector<GlobalEntry>& globals, Family family)
{
    if (rng.chance(0.25) && !globals.empty()) {
        std::vector<std::size_t> indexes(globals.size());
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            indexes[i] = i;
        }
        rng.shuffle(indexes);
        const std::size_t count = std::min<std::size_t>(indexes.size(), rng.between(1, 3));
        for (std::size_t i = 0; i < count; ++i) {
            Step step;
            step.sync = rng.between32(1, 11);
            step.kind = StepKind::remove_global;
            step.target = indexes[i];
            step.json = step_json(step.sync, "remove_global");
            step.json["index"] = indexes[i];
            script.push_back(std::move(step));
        }
    }
    const std::size_t adds = rng.chance(0.2) ? rng.between(1, 2) : 0;
    for (std::size_t i = 0; i < adds; ++i) {
        Step step;
        step.sync = rng.between32(1, 11);
        step.kind = StepKind::add_global;
        Json global = Json::object();
        if (family != Family::outputs && rng.chance(0.3)) {
            // A real interface again, early enough to change what the tool records.
            global["interface"] = rng.chance(0.5) ? std::string(info_manager_name) : std::string(toplevel_list_name);
            step.sync = rng.between32(1, 3);
        } else {
            global["interface"] = junk_interface(rng);
        }
        global["version"] = rng.between32(1, 9);
        step.json = step_json(step.sync, "add_global");
        step.json["interface"] = global["interface"];
        step.json["version"] = global["version"];
        script.push_back(std::move(step));
    }
    if (rng.chance(0.04)) {
        Step step;
        step.sync = rng.between32(1, 11);
        step.kind = StepKind::fail;
        if (rng.chance(0.5)) {
            step.json = step_json(step.sync, "disconnect");
        } else {
            step.json = step_json(step.sync, "protocol_error");
            step.json["code"] = rng.between32(0, 5);
            step.json["message"] = "random hostility";
        }
        script.push_back(std::move(step));
    }
}

// What the tool records after its first round trip: the last advertisement
// of each interface wins; globals added at the first sync come after the
// initial ones. Names count from 1 in creation order.
struct Recorded {
    std::uint32_t list_name = 0;
    std::uint32_t list_version = 0;
    std::uint32_t manager_name = 0;
    std::uint32_t manager_version = 0;
    // Every output manager advertised (the outputs commands bind each one).
    std::vector<std::pair<std::uint32_t, std::uint32_t>> output_managers; // name, advertised version
    std::size_t last_output_manager_index = 0;
};

Recorded record_globals(const std::vector<GlobalEntry>& globals, const std::vector<Step>& script)
{
    Recorded recorded;
    const auto see = [&](const std::string& interface, std::uint32_t name, std::uint32_t version) {
        if (interface == toplevel_list_name) {
            recorded.list_name = name;
            recorded.list_version = version;
        } else if (interface == info_manager_name) {
            recorded.manager_name = name;
            recorded.manager_version = version;
        }
    };
    for (std::size_t i = 0; i < globals.size(); ++i) {
        const auto name = static_cast<std::uint32_t>(i + 1);
        see(globals[i].interface, name, globals[i].version);
        if (globals[i].interface == output_manager_name) {
            recorded.output_managers.emplace_back(name, globals[i].version);
            recorded.last_output_manager_index = i;
        }
    }
    auto next_name = static_cast<std::uint32_t>(globals.size() + 1);
    for (const Step& step : script) {
        if (step.kind != StepKind::add_global) {
            continue;
        }
        const std::uint32_t name = next_name++;
        if (step.sync == 1) {
            see(step.json["interface"].get<std::string>(), name, step.json["version"].get<std::uint32_t>());
        }
    }
    return recorded;
}

// The first sync at which the mock cuts the client off, or never.
std::uint64_t failure_sync(const std::vector<Step>& script)
{
    for (const Step& step : script) {
        if (step.kind == StepKind::fail) {
            return step.sync;
        }
    }
    return never;
}

std::string bind_line(std::uint32_t name, std::string_view interface, std::uint32_t version)
{
    return "wl_registry.bind " + std::to_string(name) + " \"" + std::string(interface) + "\" " +
           std::to_string(version) + " new";
}

// --- outcomes ----------------------------------------------------------------

Json outcome(int status, std::string_view stderr_text)
{
    Json result = Json::object();
    result["status"] = status;
    result["stderr"] = std::string(stderr_text);
    result["stdout_empty"] = true;
    return result;
}

Json connection_failed()
{
    Json result = Json::object();
    result["status"] = 1;
    result["stderr_tail"] = std::string(msg_connection_failed);
    result["stdout_empty"] = true;
    return result;
}

Json printed(int status)
{
    Json result = Json::object();
    result["status"] = status;
    result["stderr"] = "";
    result["stdout_empty"] = false;
    return result;
}

void add_outcome(Json& outcomes, const Json& result)
{
    for (const Json& known : outcomes) {
        if (known == result) {
            return;
        }
    }
    outcomes.push_back(result);
}

// The globals check every command but outputs makes after the first round
// trip; returns the refusal, if any.
std::optional<std::string_view> window_globals_refusal(const Recorded& recorded, RandomCommand command)
{
    const bool scene = command == RandomCommand::scene_tree || command == RandomCommand::scene_dot;
    const bool layout = command == RandomCommand::layout_query || command == RandomCommand::layout_set;
    if (recorded.manager_name == 0 || (!scene && recorded.list_name == 0)) {
        return msg_no_introspection;
    }
    if (scene && recorded.manager_version < 2) {
        return msg_no_scene;
    }
    if (layout && recorded.manager_version < 3) {
        return msg_no_layout;
    }
    return std::nullopt;
}

// --- windows -----------------------------------------------------------------

struct WindowPlan {
    Json def;
    bool handle_done = false;
    bool handle_closed = false;
    bool info_done = false;
    std::optional<std::uint32_t> info_delay;
    std::optional<std::uint32_t> announce_at;
    std::optional<std::uint64_t> new_time; // made by a new_window step
    std::uint32_t new_sync = 0;
};

struct Profile {
    double missing_done = 0.0; // chance that a handle or info lacks its done
    double never = 0.0;        // chance that an answer is never sent
    std::uint32_t typical_delay = 2;
    double announce_late = 0.0;
    std::size_t max_steps = 3;
    std::uint32_t boundary_delay = 0; // one window's info this late (0: none)
};

Profile pick_profile(Rng& rng)
{
    const std::uint64_t roll = rng.below(100);
    if (roll < 55) {
        return {0.0, 0.0, 2, 0.03, 3, 0};
    }
    if (roll < 90) {
        // One window answers around the round trip where the budget ends.
        return {0.0, 0.0, 4, 0.1, 6, rng.between32(7, 9)};
    }
    return {0.01, 0.02, 10, 0.15, 8, 0};
}

Json event(std::string_view name)
{
    return Json::array({std::string(name)});
}

Json text_event(std::string_view name, std::string_view bytes)
{
    return Json::array({std::string(name), text(bytes)});
}

Json handle_value_event(Rng& rng, std::size_t max_text)
{
    static const std::vector<std::string> names = {"identifier", "title", "app_id"};
    return text_event(rng.pick(names), hostile_text(rng, max_text));
}

Json info_value_event(Rng& rng, std::size_t max_text)
{
    switch (rng.below(10)) {
    case 0: return Json::array({"backend", rng.chance(0.8) ? rng.between32(0, 1) : hostile_u32(rng)});
    case 1: return text_event("app_id", hostile_text(rng, max_text));
    case 2: return text_event("class", hostile_text(rng, max_text));
    case 3: return text_event("output", hostile_text(rng, max_text));
    case 4: return Json::array({"workspace", hostile_u32(rng)});
    case 5:
        return Json::array({"geometry", hostile_i32(rng), hostile_i32(rng), hostile_i32(rng), hostile_i32(rng)});
    case 6: return Json::array({"state", rng.chance(0.5) ? rng.between32(0, 0x7F) : hostile_u32(rng)});
    case 7: return text_event("layout", hostile_text(rng, max_text));
    case 8: return Json::array({"matched_rule", hostile_u32(rng)});
    default:
        return Json::array({"rule_matcher", rng.chance(0.7) ? rng.between32(0, 4) : hostile_u32(rng),
                            text(hostile_text(rng, max_text))});
    }
}

WindowPlan make_window(Rng& rng, const Profile& profile, std::size_t max_text, bool may_announce_late)
{
    WindowPlan plan;
    Json handle = Json::array();
    for (const char* name : {"identifier", "title", "app_id"}) {
        if (rng.chance(0.9)) {
            handle.push_back(text_event(name, hostile_text(rng, max_text)));
        }
    }
    if (rng.chance(0.1)) {
        handle.push_back(handle_value_event(rng, max_text));
    }
    plan.handle_done = !rng.chance(profile.missing_done);
    if (plan.handle_done) {
        handle.push_back(event("done"));
        if (rng.chance(0.15)) {
            handle.push_back(handle_value_event(rng, max_text));
            if (rng.chance(0.5)) {
                handle.push_back(event("done"));
            }
        }
    }
    if (rng.chance(0.04)) {
        // A close anywhere, even before the first done.
        const std::size_t at = rng.index(handle.size() + 1);
        handle.insert(handle.begin() + static_cast<std::ptrdiff_t>(at), event("closed"));
        plan.handle_closed = true;
    }

    Json info = Json::array();
    const std::size_t values = rng.between(0, 12);
    for (std::size_t i = 0; i < values; ++i) {
        info.push_back(info_value_event(rng, max_text));
    }
    plan.info_done = !rng.chance(profile.missing_done);
    if (plan.info_done) {
        info.push_back(event("done"));
        const std::size_t late = rng.chance(0.2) ? rng.between(1, 4) : 0;
        for (std::size_t i = 0; i < late; ++i) {
            info.push_back(rng.chance(0.15) ? event("done") : info_value_event(rng, max_text));
        }
    }
    if (rng.chance(profile.never)) {
        plan.info_delay = std::nullopt;
    } else {
        plan.info_delay = rng.chance(0.7) ? 0 : rng.between32(1, profile.typical_delay);
    }

    plan.def = Json::object();
    plan.def["handle"] = std::move(handle);
    plan.def["info"] = std::move(info);
    plan.def["info_delay"] = delay_json(plan.info_delay);
    if (may_announce_late && rng.chance(profile.announce_late)) {
        plan.announce_at = rng.between32(1, 11);
        plan.def["announce_at_sync"] = *plan.announce_at;
    }
    return plan;
}

void make_windows(Rng& rng, RandomCommand command, const std::vector<GlobalEntry>& globals, Json& scenario,
                  Json& expect)
{
    const Profile profile = pick_profile(rng);
    const std::uint64_t size_roll = rng.below(100);
    std::size_t count = 0;
    if (size_roll < 6) {
        count = 0;
    } else if (size_roll < 46) {
        count = rng.between(1, 8);
    } else if (size_roll < 78) {
        count = rng.between(9, 60);
    } else {
        count = rng.between(61, 400);
    }
    const std::size_t max_text = count > 60 ? 600 : 4000;

    std::vector<WindowPlan> windows;
    for (std::size_t i = 0; i < count; ++i) {
        windows.push_back(make_window(rng, profile, max_text, true));
    }
    if (profile.boundary_delay != 0 && count > 0) {
        WindowPlan& late = windows[rng.index(count)];
        late.info_delay = profile.boundary_delay;
        late.def["info_delay"] = profile.boundary_delay;
    }
    const std::optional<std::uint32_t> finished_delay = random_delay(rng, profile.never * 0.5, 2, 8);

    std::vector<Step> script;
    const std::size_t steps = rng.between(0, profile.max_steps);
    for (std::size_t i = 0; i < steps; ++i) {
        Step step;
        step.sync = rng.between32(1, 12);
        const std::uint64_t what = rng.below(count == 0 ? 2 : 5);
        if (what == 0) {
            step.kind = StepKind::new_window;
            WindowPlan plan = make_window(rng, profile, max_text, false);
            step.json = step_json(step.sync, "new_window");
            step.json["window"] = plan.def;
            step.new_index = windows.size();
            plan.new_sync = step.sync;
            plan.new_time = 0; // stamped once the script is sorted
            windows.push_back(std::move(plan));
        } else if (what == 1) {
            step.kind = StepKind::toplevel_finished;
            step.json = step_json(step.sync, "toplevel_finished");
        } else if (what == 2) {
            step.kind = StepKind::close_window;
            step.target = rng.index(count);
            step.json = step_json(step.sync, "close_window");
            step.json["window"] = step.target;
        } else {
            step.kind = StepKind::window_events;
            step.target = rng.index(count);
            Json handle = Json::array();
            Json info = Json::array();
            const std::size_t handle_events = rng.between(0, 3);
            for (std::size_t e = 0; e < handle_events; ++e) {
                handle.push_back(handle_value_event(rng, max_text));
            }
            if (rng.chance(0.3)) {
                handle.push_back(event("done"));
                step.handle_done = true;
            }
            if (rng.chance(0.1)) {
                handle.push_back(event("closed"));
                step.handle_closed = true;
            }
            const std::size_t info_events = rng.between(0, 4);
            for (std::size_t e = 0; e < info_events; ++e) {
                info.push_back(info_value_event(rng, max_text));
            }
            if (rng.chance(0.3)) {
                info.push_back(event("done"));
                step.info_done = true;
            }
            step.json = step_json(step.sync, "window_events");
            step.json["window"] = step.target;
            step.json["handle"] = std::move(handle);
            step.json["info"] = std::move(info);
        }
        script.push_back(std::move(step));
    }
    add_global_steps(rng, script, globals, Family::windows);
    order_script(script);
    for (const Step& step : script) {
        if (step.kind == StepKind::new_window) {
            windows[step.new_index].new_time = step.time;
        }
    }

    Json windows_json = Json::array();
    for (std::size_t i = 0; i < count; ++i) {
        windows_json.push_back(windows[i].def);
    }
    scenario["windows"] = std::move(windows_json);
    scenario["toplevel_list"] = Json::object();
    scenario["toplevel_list"]["finished_delay"] = delay_json(finished_delay);
    scenario["script"] = script_json(script);

    // --- the tool's view -------------------------------------------------------
    const Recorded recorded = record_globals(globals, script);
    const std::uint64_t fail_at = failure_sync(script);
    Json outcomes = Json::array();
    const std::uint64_t bind_time = when(1, Phase::after);

    // The list ends at the answer to stop (sent between syncs 2 and 3) or at a
    // scripted finished (no list exists before the first sync is over).
    std::uint64_t finish_time = answer_time(2, finished_delay);
    for (const Step& step : script) {
        if (step.kind == StepKind::toplevel_finished && step.sync >= 2) {
            finish_time = std::min(finish_time, step.time);
        }
    }
    const std::uint64_t finished_rt = round_trip_of(finish_time);

    struct Record {
        std::uint64_t announced_rt = never;
        std::uint64_t closed_rt = never;
        std::uint64_t complete_early = never;
        std::uint64_t complete_late = never;
    };
    std::vector<Record> records;
    std::size_t requests_possible = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const WindowPlan& plan = windows[i];
        std::uint64_t close_time = inf_time;
        for (const Step& step : script) {
            if (step.kind == StepKind::close_window && step.target == i) {
                close_time = std::min(close_time, step.time);
            }
        }
        std::uint64_t announced = inf_time;
        if (plan.new_time) {
            if (plan.new_sync == 1) {
                announced = bind_time;
            } else if (finish_time > *plan.new_time) {
                announced = *plan.new_time;
            }
        } else if (!plan.announce_at || *plan.announce_at <= 1) {
            if (close_time > bind_time) {
                announced = bind_time;
            }
        } else {
            const std::uint64_t at = when(*plan.announce_at, Phase::announce);
            if (close_time > at && finish_time > at) {
                announced = at;
            }
        }
        if (announced == inf_time) {
            continue;
        }
        Record record;
        record.announced_rt = round_trip_of(announced);
        std::uint64_t done_rt = plan.handle_done ? record.announced_rt : never;
        if (plan.handle_closed) {
            record.closed_rt = record.announced_rt;
        }
        for (const Step& step : script) {
            if (step.time <= announced || step.target != i || plan.new_time) {
                continue;
            }
            if (step.kind == StepKind::close_window || (step.kind == StepKind::window_events && step.handle_closed)) {
                record.closed_rt = std::min<std::uint64_t>(record.closed_rt, step.sync);
            }
            if (step.kind == StepKind::window_events && step.handle_done) {
                done_rt = std::min<std::uint64_t>(done_rt, step.sync);
            }
        }
        std::uint64_t info_early = never;
        std::uint64_t info_late = never;
        if (done_rt != never) {
            ++requests_possible;
            if (plan.info_done && plan.info_delay) {
                info_late = round_trip_of(answer_time(done_rt, plan.info_delay));
                // The request may leave early (a full output buffer is flushed
                // at once), and its immediate answer come with the round trip
                // that made it.
                info_early = *plan.info_delay == 0 ? done_rt : info_late;
            }
            for (const Step& step : script) {
                if (step.kind == StepKind::window_events && step.target == i && !plan.new_time && step.info_done &&
                    step.sync >= done_rt + 1) {
                    info_early = std::min<std::uint64_t>(info_early, step.sync);
                    info_late = std::min<std::uint64_t>(info_late, step.sync);
                }
            }
        }
        record.complete_early = std::min(record.closed_rt, info_early);
        record.complete_late = std::min(record.closed_rt, info_late);
        records.push_back(record);
    }

    const auto ready_at = [&](std::uint64_t r, bool late) {
        if (finished_rt > r) {
            return false;
        }
        return std::all_of(records.begin(), records.end(), [&](const Record& record) {
            return record.announced_rt > r || (late ? record.complete_late : record.complete_early) <= r;
        });
    };
    const auto first_ready = [&](bool late) {
        for (std::uint64_t r = 2; r <= 2 + max_extra_round_trips; ++r) {
            if (ready_at(r, late)) {
                return r;
            }
        }
        return never;
    };
    const std::uint64_t ready_early = first_ready(false);
    const std::uint64_t ready_late = first_ready(true);
    const std::uint64_t last_round_trip = 2 + max_extra_round_trips;

    if (fail_at == 1) {
        add_outcome(outcomes, connection_failed());
    } else if (const auto refusal = window_globals_refusal(recorded, command)) {
        add_outcome(outcomes, outcome(1, *refusal));
    } else {
        for (std::uint64_t r = ready_early; r <= std::min(ready_late, last_round_trip); ++r) {
            if (fail_at <= r) {
                add_outcome(outcomes, connection_failed());
                continue;
            }
            std::size_t listed = 0;
            for (const Record& record : records) {
                if (record.announced_rt <= r && record.closed_rt > r) {
                    ++listed;
                }
            }
            Json result = printed(0);
            result["listed"] = listed;
            add_outcome(outcomes, result);
        }
        if (ready_late > last_round_trip) {
            add_outcome(outcomes, fail_at <= last_round_trip ? connection_failed() : outcome(1, msg_window_timeout));
        }
        Json binds = Json::array();
        binds.push_back(bind_line(recorded.manager_name, info_manager_name, std::min<std::uint32_t>(recorded.manager_version, 3)));
        binds.push_back(bind_line(recorded.list_name, toplevel_list_name, 1));
        expect["binds"] = std::move(binds);
    }
    expect["outcomes"] = std::move(outcomes);
    expect["max_syncs"] = last_round_trip;
    expect["max_window_info_requests"] = requests_possible;
    expect["stats"]["windows"] = windows.size();
    expect["stats"]["records"] = records.size();
    expect["stats"]["script_steps"] = script.size();
    expect["stats"]["ready_round_trip"] = Json::array({ready_early == never ? Json(nullptr) : Json(ready_early),
                                                       ready_late == never ? Json(nullptr) : Json(ready_late)});
}

// --- scene -------------------------------------------------------------------

struct NodeList {
    Json nodes = Json::array();
    std::size_t edges = 0;
};

std::uint32_t node_kind(Rng& rng)
{
    return rng.chance(0.9) ? rng.between32(0, 2) : hostile_u32(rng);
}

std::uint32_t node_enabled(Rng& rng)
{
    if (rng.chance(0.8)) {
        return 1;
    }
    return rng.chance(0.75) ? 0 : hostile_u32(rng);
}

void push_node(Rng& rng, NodeList& list, std::uint32_t id, std::uint32_t parent, std::size_t max_text)
{
    const bool flat = rng.chance(0.3);
    list.nodes.push_back(Json::array({id, parent, text(hostile_text(rng, max_text)), node_kind(rng),
                                      node_enabled(rng), flat ? 0 : hostile_i32(rng), flat ? 0 : hostile_i32(rng),
                                      flat ? 0 : hostile_i32(rng), flat ? 0 : hostile_i32(rng)}));
    if (parent != 0) {
        ++list.edges;
    }
}

// `count` nodes in one of four shapes: a tree (parents first), chaos
// (duplicate and zero ids, missing and self parents), a deep chain (beyond
// the tree text's 256-entry chain) or cycles.
void make_nodes(Rng& rng, NodeList& list, std::size_t count, std::size_t max_text)
{
    std::size_t left = count;
    while (left > 0) {
        const std::size_t part = std::min<std::size_t>(left, rng.between(1, std::max<std::size_t>(1, count)));
        left -= part;
        const auto start = static_cast<std::uint32_t>(rng.between(0, 5000));
        switch (rng.below(4)) {
        case 0: { // a tree
            for (std::size_t i = 0; i < part; ++i) {
                const auto id = static_cast<std::uint32_t>(start + i + 1);
                const std::uint32_t parent =
                    (i == 0 || rng.chance(0.05)) ? 0 : static_cast<std::uint32_t>(start + 1 + rng.below(i));
                push_node(rng, list, id, parent, max_text);
            }
            break;
        }
        case 1: { // chaos
            const std::uint64_t range = std::max<std::uint64_t>(2, part / 3);
            for (std::size_t i = 0; i < part; ++i) {
                const auto id = static_cast<std::uint32_t>(rng.below(range));
                std::uint32_t parent = static_cast<std::uint32_t>(rng.below(range));
                if (rng.chance(0.15)) {
                    parent = id;
                } else if (rng.chance(0.15)) {
                    parent = rng.u32();
                }
                push_node(rng, list, id, parent, max_text);
            }
            break;
        }
        case 2: { // a chain, maybe closed into a loop
            const std::size_t length = std::min<std::size_t>(part, 600);
            const bool loop = rng.chance(0.3);
            for (std::size_t i = 0; i < part; ++i) {
                const auto id = static_cast<std::uint32_t>(start + i + 1);
                std::uint32_t parent = i % length == 0 ? 0 : id - 1;
                if (i == 0 && loop) {
                    parent = static_cast<std::uint32_t>(start + length);
                }
                push_node(rng, list, id, parent, max_text);
            }
            break;
        }
        default: { // small cycles and self parents
            for (std::size_t i = 0; i < part; ++i) {
                const auto id = static_cast<std::uint32_t>(start + i + 1);
                const std::uint64_t cycle = rng.between(1, 4);
                const auto parent = static_cast<std::uint32_t>(start + 1 + (i / cycle) * cycle + (i + 1) % cycle);
                push_node(rng, list, id, parent, max_text);
            }
            break;
        }
        }
    }
}

void make_scene(Rng& rng, const std::vector<GlobalEntry>& globals, RandomCommand command, Json& scenario,
                Json& expect)
{
    const std::uint64_t size_roll = rng.below(100);
    std::size_t count = 0;
    if (size_roll < 5) {
        count = 0;
    } else if (size_roll < 40) {
        count = rng.between(1, 20);
    } else if (size_roll < 80) {
        count = rng.between(21, 300);
    } else {
        count = rng.between(301, 1500);
    }
    const std::size_t max_text = count > 100 ? 300 : 4000;
    NodeList nodes;
    make_nodes(rng, nodes, count, max_text);
    NodeList after;
    if (rng.chance(0.3)) {
        make_nodes(rng, after, rng.between(1, 20), max_text);
    }
    const std::optional<std::uint32_t> done_delay = random_delay(rng, 0.05, 3, 8);

    std::vector<Step> script;
    if (rng.chance(0.3)) {
        const std::size_t steps = rng.between(1, 2);
        for (std::size_t i = 0; i < steps; ++i) {
            Step step;
            step.sync = rng.between32(1, 11);
            step.kind = StepKind::scene_nodes;
            NodeList more;
            make_nodes(rng, more, rng.between(1, 30), max_text);
            step.nodes = more.nodes.size();
            step.edges = more.edges;
            step.json = step_json(step.sync, "scene_nodes");
            step.json["nodes"] = std::move(more.nodes);
            script.push_back(std::move(step));
        }
    }
    if (rng.chance(0.25)) {
        Step step;
        step.sync = rng.between32(1, 11);
        step.kind = StepKind::scene_done;
        step.json = step_json(step.sync, "scene_done");
        script.push_back(std::move(step));
    }
    add_global_steps(rng, script, globals, Family::scene);
    order_script(script);

    scenario["scene"] = Json::object();
    scenario["scene"]["nodes"] = nodes.nodes;
    scenario["scene"]["after_done"] = after.nodes;
    scenario["scene"]["done_delay"] = delay_json(done_delay);
    scenario["script"] = script_json(script);

    // --- the tool's view ---------------------------------------------------------
    // get_scene_snapshot leaves with the second sync, so its answers are
    // exact: handled between syncs 1 and 2.
    const Recorded recorded = record_globals(globals, script);
    const std::uint64_t fail_at = failure_sync(script);
    const std::uint64_t last_round_trip = 1 + max_extra_round_trips;
    const std::uint64_t due_rt = round_trip_of(answer_time(1, done_delay));
    std::uint64_t ready = due_rt;
    for (const Step& step : script) {
        if (step.kind == StepKind::scene_done && step.sync >= 2) {
            ready = std::min<std::uint64_t>(ready, step.sync);
        }
    }
    Json outcomes = Json::array();
    if (fail_at == 1) {
        add_outcome(outcomes, connection_failed());
    } else if (const auto refusal = window_globals_refusal(recorded, command)) {
        add_outcome(outcomes, outcome(1, *refusal));
    } else if (ready > last_round_trip) {
        add_outcome(outcomes, fail_at <= last_round_trip ? connection_failed() : outcome(1, msg_scene_timeout));
    } else if (fail_at <= ready) {
        add_outcome(outcomes, connection_failed());
    } else {
        std::size_t total = nodes.nodes.size();
        std::size_t edges = nodes.edges;
        if (due_rt <= ready) {
            total += after.nodes.size();
            edges += after.edges;
        }
        for (const Step& step : script) {
            if (step.kind == StepKind::scene_nodes && step.sync >= 2 && step.sync <= ready) {
                total += step.nodes;
                edges += step.edges;
            }
        }
        Json result = printed(0);
        result["nodes"] = total;
        result["edges"] = edges;
        add_outcome(outcomes, result);
    }
    if (!window_globals_refusal(recorded, command) && fail_at != 1) {
        expect["binds"] = Json::array(
            {bind_line(recorded.manager_name, info_manager_name, std::min<std::uint32_t>(recorded.manager_version, 3))});
    }
    expect["outcomes"] = std::move(outcomes);
    expect["max_syncs"] = last_round_trip;
    expect["stats"]["nodes"] = nodes.nodes.size() + after.nodes.size();
    expect["stats"]["script_steps"] = script.size();
    expect["stats"]["ready_round_trip"] = ready == never ? Json(nullptr) : Json(ready);
}

// --- outputs -----------------------------------------------------------------

struct HeadPlan {
    Json def;
    std::size_t modes = 0;
    bool finished = false;
    std::vector<bool> mode_finished;
    std::optional<std::uint64_t> new_time; // made by a new_head step
    std::uint32_t new_sync = 0;
};

Json head_value_event(Rng& rng, std::size_t max_text)
{
    switch (rng.below(11)) {
    case 0: return text_event("name", hostile_text(rng, max_text));
    case 1: return text_event("description", hostile_text(rng, max_text));
    case 2: return Json::array({"physical_size", hostile_i32(rng), hostile_i32(rng)});
    case 3: return Json::array({"enabled", rng.chance(0.7) ? static_cast<std::int32_t>(rng.between(0, 1)) : hostile_i32(rng)});
    case 4: return Json::array({"position", hostile_i32(rng), hostile_i32(rng)});
    case 5: return Json::array({"transform", rng.chance(0.7) ? static_cast<std::int32_t>(rng.between(0, 7)) : hostile_i32(rng)});
    case 6: {
        static const std::vector<std::int32_t> scales = {256, 384, 0x102, 512, 320, 1, 0, -256};
        return Json::array({"scale_fixed", rng.chance(0.6) ? rng.pick(scales) : hostile_i32(rng)});
    }
    case 7: return text_event("make", hostile_text(rng, max_text));
    case 8: return text_event("model", hostile_text(rng, max_text));
    case 9: return text_event("serial_number", hostile_text(rng, max_text));
    default: return Json::array({"adaptive_sync", rng.chance(0.7) ? rng.between32(0, 1) : hostile_u32(rng)});
    }
}

Json mode_value_event(Rng& rng)
{
    static const std::vector<std::int32_t> refreshes = {60000, 59951, 144050, 1, 0, -1000, 999, 1000};
    switch (rng.below(3)) {
    case 0: return Json::array({"size", hostile_i32(rng), hostile_i32(rng)});
    case 1: return Json::array({"refresh", rng.chance(0.6) ? rng.pick(refreshes) : hostile_i32(rng)});
    default: return event("preferred");
    }
}

// `index` is the head's place in the mock's list; `earlier_modes` the mode
// counts of the heads before it (for current_mode pointing elsewhere).
HeadPlan make_head(Rng& rng, std::size_t max_modes, std::size_t max_text, const std::vector<std::size_t>* earlier_modes)
{
    HeadPlan plan;
    plan.modes = rng.chance(0.1) ? 0 : rng.between(1, max_modes);
    Json modes = Json::array();
    for (std::size_t m = 0; m < plan.modes; ++m) {
        Json events = Json::array();
        const std::size_t values = rng.between(0, 4);
        for (std::size_t e = 0; e < values; ++e) {
            events.push_back(mode_value_event(rng));
        }
        const bool finished = rng.chance(0.05);
        if (finished) {
            events.insert(events.begin() + static_cast<std::ptrdiff_t>(rng.index(events.size() + 1)), event("finished"));
        }
        plan.mode_finished.push_back(finished);
        Json mode = Json::object();
        mode["events"] = std::move(events);
        modes.push_back(std::move(mode));
    }

    Json events = Json::array();
    const std::size_t values = rng.between(0, 14);
    if (rng.chance(0.9)) {
        events.push_back(text_event("name", hostile_text(rng, max_text)));
    }
    for (std::size_t e = 0; e < values; ++e) {
        events.push_back(head_value_event(rng, max_text));
    }
    // Every mode announced once, at random places; current_mode only after
    // the mode it names.
    std::vector<std::size_t> order(plan.modes);
    for (std::size_t m = 0; m < plan.modes; ++m) {
        order[m] = m;
    }
    rng.shuffle(order);
    for (const std::size_t m : order) {
        const std::size_t at = rng.index(events.size() + 1);
        events.insert(events.begin() + static_cast<std::ptrdiff_t>(at), Json::array({"mode", m}));
    }
    if (plan.modes > 0) {
        const std::size_t currents = rng.chance(0.8) ? (rng.chance(0.1) ? 2 : 1) : 0;
        for (std::size_t c = 0; c < currents; ++c) {
            events.push_back(Json::array({"current_mode", rng.index(plan.modes)}));
        }
    }
    if (earlier_modes != nullptr && rng.chance(0.05)) {
        std::vector<std::pair<std::size_t, std::size_t>> candidates;
        for (std::size_t h = 0; h < earlier_modes->size(); ++h) {
            if ((*earlier_modes)[h] > 0) {
                candidates.emplace_back(h, (*earlier_modes)[h]);
            }
        }
        if (!candidates.empty()) {
            const auto& [head, modes_there] = rng.pick(candidates);
            Json ref = Json::object();
            ref["head"] = head;
            ref["mode"] = rng.index(modes_there);
            events.push_back(Json::array({"current_mode", ref}));
        }
    }
    if (rng.chance(0.05)) {
        plan.finished = true;
        events.insert(events.begin() + static_cast<std::ptrdiff_t>(rng.index(events.size() + 1)), event("finished"));
    }
    plan.def = Json::object();
    plan.def["modes"] = std::move(modes);
    plan.def["events"] = std::move(events);
    return plan;
}

void make_outputs(Rng& rng, const std::vector<GlobalEntry>& globals, Json& scenario, Json& expect)
{
    const std::uint64_t size_roll = rng.below(100);
    std::size_t count = 0;
    if (size_roll < 6) {
        count = 0;
    } else if (size_roll < 56) {
        count = rng.between(1, 4);
    } else if (size_roll < 86) {
        count = rng.between(5, 30);
    } else {
        count = rng.between(31, 250);
    }
    const std::size_t max_modes = count > 30 ? 4 : 12;
    const std::size_t max_text = count > 30 ? 300 : 4000;

    std::vector<HeadPlan> heads;
    std::vector<std::size_t> mode_counts;
    for (std::size_t h = 0; h < count; ++h) {
        heads.push_back(make_head(rng, max_modes, max_text, &mode_counts));
        mode_counts.push_back(heads.back().modes);
    }
    const std::optional<std::uint32_t> done_delay = random_delay(rng, 0.05, 3, 8);

    std::vector<Step> script;
    const std::size_t steps = rng.between(0, 5);
    for (std::size_t i = 0; i < steps; ++i) {
        Step step;
        step.sync = rng.between32(1, 11);
        // Scripted events name initial heads only.
        const std::uint64_t what = rng.below(count == 0 ? 2 : 6);
        if (what == 0) {
            step.kind = StepKind::new_head;
            HeadPlan plan = make_head(rng, max_modes, max_text, nullptr);
            step.json = step_json(step.sync, "new_head");
            step.json["head"] = plan.def;
            step.new_index = heads.size();
            plan.new_sync = step.sync;
            plan.new_time = 0;
            heads.push_back(std::move(plan));
        } else if (what == 1) {
            step.kind = rng.chance(0.85) ? StepKind::output_done : StepKind::output_finished;
            step.json = step_json(step.sync, step.kind == StepKind::output_done ? "output_done" : "output_finished");
            if (step.kind == StepKind::output_done && rng.chance(0.5)) {
                step.json["serial"] = hostile_u32(rng);
            }
        } else if (what <= 3) {
            // Initial heads only, so that the reference holds whatever the order.
            step.kind = StepKind::head_events;
            step.target = rng.index(count);
            Json events = Json::array();
            const std::size_t values = rng.between(0, 4);
            for (std::size_t e = 0; e < values; ++e) {
                events.push_back(head_value_event(rng, max_text));
            }
            if (heads[step.target].modes > 0 && rng.chance(0.3)) {
                events.push_back(Json::array({"current_mode", rng.index(heads[step.target].modes)}));
            }
            if (rng.chance(0.2)) {
                events.push_back(event("finished"));
                step.finished = true;
            }
            step.json = step_json(step.sync, "head_events");
            step.json["head"] = step.target;
            step.json["events"] = std::move(events);
        } else {
            step.target = rng.index(count);
            if (heads[step.target].modes == 0) {
                step.kind = StepKind::output_done;
                step.json = step_json(step.sync, "output_done");
            } else {
                step.kind = StepKind::mode_events;
                step.mode = rng.index(heads[step.target].modes);
                Json events = Json::array();
                const std::size_t values = rng.between(0, 3);
                for (std::size_t e = 0; e < values; ++e) {
                    events.push_back(mode_value_event(rng));
                }
                if (rng.chance(0.3)) {
                    events.push_back(event("finished"));
                    step.finished = true;
                }
                step.json = step_json(step.sync, "mode_events");
                step.json["head"] = step.target;
                step.json["mode"] = step.mode;
                step.json["events"] = std::move(events);
            }
        }
        script.push_back(std::move(step));
    }
    add_global_steps(rng, script, globals, Family::outputs);
    order_script(script);
    for (const Step& step : script) {
        if (step.kind == StepKind::new_head) {
            heads[step.new_index].new_time = step.time;
        }
    }

    Json heads_json = Json::array();
    for (std::size_t h = 0; h < count; ++h) {
        heads_json.push_back(heads[h].def);
    }
    scenario["output_manager"] = Json::object();
    scenario["output_manager"]["heads"] = std::move(heads_json);
    scenario["output_manager"]["done_delay"] = delay_json(done_delay);
    scenario["output_manager"]["serial"] = hostile_u32(rng);
    scenario["script"] = script_json(script);

    // --- the tool's view ---------------------------------------------------------
    // The registry listener binds every advertised manager inside the first
    // round trip; the binds reach the mock between syncs 1 and 2.
    const Recorded recorded = record_globals(globals, script);
    const std::uint64_t fail_at = failure_sync(script);
    const std::uint64_t last_round_trip = 1 + max_extra_round_trips;
    Json outcomes = Json::array();

    std::uint64_t finished_time = inf_time; // the managers' finished
    std::uint64_t gone_rt = never;
    for (const Step& step : script) {
        if (step.kind == StepKind::output_finished && step.sync >= 2) {
            finished_time = std::min(finished_time, step.time);
            gone_rt = std::min<std::uint64_t>(gone_rt, step.sync);
        }
        if (step.kind == StepKind::remove_global && !recorded.output_managers.empty() &&
            step.target == recorded.last_output_manager_index) {
            gone_rt = std::min<std::uint64_t>(gone_rt, step.sync);
        }
    }
    // done: the delayed one (unless the managers finished first) or a
    // scripted one. The immediate one may come with the first round trip,
    // should the tool's binds have left before its first round trip ended.
    std::uint64_t done_early = never;
    std::uint64_t done_late = never;
    if (const std::uint64_t due = answer_time(1, done_delay); due < finished_time) {
        done_late = round_trip_of(due);
        done_early = *done_delay == 0 ? 1 : done_late;
    }
    for (const Step& step : script) {
        if (step.kind == StepKind::output_done && step.sync >= 2 && step.time < finished_time) {
            done_early = std::min<std::uint64_t>(done_early, step.sync);
            done_late = std::min<std::uint64_t>(done_late, step.sync);
        }
    }

    // The tool's heads at round trip r, in its list order (each manager's
    // copies of the initial heads at its bind, then each later head on every
    // manager in turn), and how many head and mode objects each manager made.
    const auto heads_at = [&](std::uint64_t r, std::size_t& objects_per_manager) {
        std::vector<std::size_t> initial; // mock head indexes announced at the binds
        for (std::size_t h = 0; h < heads.size(); ++h) {
            if (!heads[h].new_time || heads[h].new_sync == 1) {
                initial.push_back(h);
            }
        }
        std::vector<std::size_t> later;
        for (const Step& step : script) {
            if (step.kind == StepKind::new_head && step.sync >= 2 && step.sync <= r && step.time < finished_time) {
                later.push_back(step.new_index);
            }
        }
        objects_per_manager = 0;
        for (const std::size_t h : initial) {
            objects_per_manager += 1 + heads[h].modes;
        }
        for (const std::size_t h : later) {
            objects_per_manager += 1 + heads[h].modes;
        }
        // Scripted events reach the initial heads only (the steps name them).
        const auto modes_shown = [&](std::size_t h) -> std::optional<std::size_t> {
            const HeadPlan& plan = heads[h];
            bool finished = plan.finished;
            std::vector<bool> mode_finished = plan.mode_finished;
            if (!plan.new_time) {
                for (const Step& step : script) {
                    if (step.sync < 2 || step.sync > r || step.target != h) {
                        continue;
                    }
                    if (step.kind == StepKind::head_events && step.finished) {
                        finished = true;
                    }
                    if (step.kind == StepKind::mode_events && step.finished) {
                        mode_finished[step.mode] = true;
                    }
                }
            }
            if (finished) {
                return std::nullopt;
            }
            return static_cast<std::size_t>(std::count(mode_finished.begin(), mode_finished.end(), false));
        };
        Json listed = Json::array();
        for (std::size_t manager = 0; manager < recorded.output_managers.size(); ++manager) {
            for (const std::size_t h : initial) {
                if (const auto modes = modes_shown(h)) {
                    listed.push_back(*modes);
                }
            }
        }
        for (const std::size_t h : later) {
            for (std::size_t manager = 0; manager < recorded.output_managers.size(); ++manager) {
                if (const auto modes = modes_shown(h)) {
                    listed.push_back(*modes);
                }
            }
        }
        return listed;
    };

    // A time-out at the check before the loop's first round trip (the
    // manager's global went in the first one) exits with the binds still in
    // the tool's output buffer: they never reach the mock.
    const auto output_timeout = [](std::uint64_t stop) {
        Json result = outcome(1, msg_output_timeout);
        if (stop == 1) {
            result["binds_unsent"] = true;
        }
        return result;
    };
    if (fail_at == 1) {
        add_outcome(outcomes, connection_failed());
    } else if (recorded.output_managers.empty()) {
        add_outcome(outcomes, outcome(1, msg_no_outputs));
    } else {
        for (std::uint64_t done = done_early; done <= std::min(done_late, last_round_trip); ++done) {
            const std::uint64_t stop = std::min({done, gone_rt, last_round_trip});
            if (fail_at <= stop) {
                add_outcome(outcomes, connection_failed());
            } else if (done <= stop) {
                std::size_t objects = 0;
                Json result = printed(0);
                result["heads"] = heads_at(stop, objects);
                std::size_t releases = 0;
                for (const auto& [name, version] : recorded.output_managers) {
                    if (std::min<std::uint32_t>(version, 4) >= 3) {
                        releases += objects;
                    }
                }
                result["releases"] = releases;
                add_outcome(outcomes, result);
            } else {
                add_outcome(outcomes, output_timeout(stop));
            }
        }
        if (done_late > last_round_trip || done_late == never) {
            const std::uint64_t stop = std::min(gone_rt, last_round_trip);
            add_outcome(outcomes, fail_at <= stop ? connection_failed() : output_timeout(stop));
        }
        Json binds = Json::array();
        for (const auto& [name, version] : recorded.output_managers) {
            binds.push_back(bind_line(name, output_manager_name, std::min<std::uint32_t>(version, 4)));
        }
        expect["binds"] = std::move(binds);
    }
    expect["outcomes"] = std::move(outcomes);
    expect["max_syncs"] = last_round_trip;
    std::size_t modes = 0;
    for (const HeadPlan& plan : heads) {
        modes += plan.modes;
    }
    expect["stats"]["heads"] = heads.size();
    expect["stats"]["modes"] = modes;
    expect["stats"]["managers"] = recorded.output_managers.size();
    expect["stats"]["ready_round_trip"] = done_late == never ? Json(nullptr) : Json(done_late);
    expect["stats"]["script_steps"] = script.size();
}

// --- layout ------------------------------------------------------------------

struct LayoutOutputPlan {
    std::uint32_t workspace = 0;
    std::string layout;
    std::vector<std::string> layouts;
};

// Output names are JSON object keys in a scenario, so they stay valid UTF-8.
std::string utf8_name(Rng& rng)
{
    static const std::vector<std::string> names = {"eDP-1", "DP-1", "DP-2", "HDMI-A-1", "", "--json", "--set",
                                                   "DP-1\n", "\xc3\xa9" "cran", "a\tb", "\x1b[31mred", "\xc2\x85"};
    if (rng.chance(0.6)) {
        return rng.pick(names);
    }
    std::string name;
    const std::size_t length = rng.between(0, 120);
    for (std::size_t i = 0; i < length; ++i) {
        name.push_back(static_cast<char>(rng.between(0x01, 0x7F)));
    }
    return name;
}

// Command-line bytes: anything but a zero byte.
std::string argument_text(Rng& rng, std::size_t max_length)
{
    std::string bytes = hostile_text(rng, max_length);
    return bytes;
}

void make_layout(Rng& rng, RandomCommand command, const std::vector<GlobalEntry>& globals, Json& scenario,
                 Json& expect)
{
    std::map<std::string, LayoutOutputPlan> outputs;
    const std::size_t count = rng.between(0, 5);
    for (std::size_t i = 0; i < count; ++i) {
        LayoutOutputPlan plan;
        plan.workspace = hostile_u32(rng);
        const std::size_t layouts = rng.between(1, 4);
        for (std::size_t l = 0; l < layouts; ++l) {
            plan.layouts.push_back(rng.chance(0.5) ? rng.pick(std::vector<std::string>{"tile", "monocle", "float", "columns"})
                                                   : hostile_text(rng, 900));
        }
        plan.layout = rng.chance(0.8) ? rng.pick(plan.layouts) : hostile_text(rng, 900);
        outputs[utf8_name(rng)] = plan;
    }
    const bool unavailable = rng.chance(0.1);
    std::optional<std::uint32_t> status_override;
    if (rng.chance(0.15)) {
        status_override = rng.chance(0.6) ? rng.between32(0, 3) : hostile_u32(rng);
    }
    const std::optional<std::uint32_t> reply_delay = random_delay(rng, 0.05, 3, 8);

    // The command line.
    std::string name;
    if (!outputs.empty() && rng.chance(0.65)) {
        auto it = outputs.begin();
        std::advance(it, static_cast<std::ptrdiff_t>(rng.index(outputs.size())));
        name = it->first;
    } else {
        name = argument_text(rng, 900);
    }
    std::string layout;
    const bool set = command == RandomCommand::layout_set;
    if (set) {
        const auto found = outputs.find(name);
        if (found != outputs.end() && rng.chance(0.6)) {
            layout = rng.pick(found->second.layouts);
        } else {
            layout = argument_text(rng, 900);
        }
    }
    Json args = Json::array({hex_of("layout"), hex_of("--output"), hex_of(name)});
    if (set) {
        args.push_back(hex_of("--set"));
        args.push_back(hex_of(layout));
    }
    args.push_back(hex_of("--json"));
    expect["args_hex"] = std::move(args);

    std::vector<Step> script;
    const std::size_t replies = rng.chance(0.3) ? rng.between(1, 3) : 0;
    for (std::size_t i = 0; i < replies; ++i) {
        Step step;
        step.sync = rng.between32(1, 11);
        step.kind = StepKind::layout_reply;
        step.status = rng.chance(0.6) ? rng.between32(0, 3) : hostile_u32(rng);
        step.output = hostile_text(rng, 2000);
        step.workspace = hostile_u32(rng);
        step.layout = hostile_text(rng, 2000);
        step.json = step_json(step.sync, "layout_reply");
        step.json["status"] = step.status;
        step.json["output"] = text(step.output);
        step.json["workspace"] = step.workspace;
        step.json["layout"] = text(step.layout);
        script.push_back(std::move(step));
    }
    add_global_steps(rng, script, globals, Family::layout);
    order_script(script);

    Json outputs_json = Json::object();
    for (const auto& [key, plan] : outputs) {
        Json entry = Json::object();
        entry["workspace"] = plan.workspace;
        entry["layout"] = text(plan.layout);
        Json layouts = Json::array();
        for (const std::string& l : plan.layouts) {
            layouts.push_back(text(l));
        }
        entry["layouts"] = std::move(layouts);
        outputs_json[key] = std::move(entry);
    }
    scenario["layout"] = Json::object();
    scenario["layout"]["outputs"] = std::move(outputs_json);
    scenario["layout"]["reply_delay"] = delay_json(reply_delay);
    scenario["layout"]["unavailable"] = unavailable;
    scenario["layout"]["status_override"] = status_override ? Json(*status_override) : Json(nullptr);
    scenario["script"] = script_json(script);

    // The mock's answer, worked out when the request arrives.
    struct Answer {
        std::uint32_t status = 0;
        std::string output;
        std::uint32_t workspace = 0;
        std::string layout;
    };
    Answer answer{1, name, 0, ""};
    if (const auto found = outputs.find(name); found != outputs.end()) {
        if (unavailable) {
            answer = {3, name, 0, ""};
        } else if (!set) {
            answer = {0, name, found->second.workspace, found->second.layout};
        } else if (std::find(found->second.layouts.begin(), found->second.layouts.end(), layout) ==
                   found->second.layouts.end()) {
            answer = {2, name, found->second.workspace, found->second.layout};
        } else {
            answer = {0, name, found->second.workspace, layout};
        }
    }
    if (status_override) {
        answer.status = *status_override;
    }

    // --- the tool's view -----------------------------------------------------------
    // The request leaves with the second sync: its answer is exact.
    const Recorded recorded = record_globals(globals, script);
    const std::uint64_t fail_at = failure_sync(script);
    const std::uint64_t last_round_trip = 1 + max_extra_round_trips;
    std::vector<std::pair<std::uint64_t, Answer>> sent; // moment, answer
    if (const std::uint64_t due = answer_time(1, reply_delay); due != inf_time) {
        sent.emplace_back(due, answer);
    }
    for (const Step& step : script) {
        if (step.kind == StepKind::layout_reply && step.sync >= 2) {
            sent.emplace_back(step.time, Answer{step.status, step.output, step.workspace, step.layout});
        }
    }
    std::stable_sort(sent.begin(), sent.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::uint64_t ready = sent.empty() ? never : round_trip_of(sent.front().first);

    Json outcomes = Json::array();
    if (fail_at == 1) {
        add_outcome(outcomes, connection_failed());
    } else if (const auto refusal = window_globals_refusal(recorded, command)) {
        add_outcome(outcomes, outcome(1, *refusal));
    } else if (ready > last_round_trip) {
        add_outcome(outcomes, fail_at <= last_round_trip ? connection_failed() : outcome(1, msg_layout_timeout));
    } else if (fail_at <= ready) {
        add_outcome(outcomes, connection_failed());
    } else {
        // Every answer of the ready round trip is applied; the last one wins.
        const Answer* last = nullptr;
        for (const auto& [moment, reply] : sent) {
            if (round_trip_of(moment) <= ready) {
                last = &reply;
            }
        }
        Json result = printed(last->status == 0 ? 0 : 1);
        Json reply = Json::object();
        reply["status"] = last->status;
        reply["output_hex"] = hex_of(last->output);
        reply["workspace"] = last->workspace;
        reply["layout_hex"] = hex_of(last->layout);
        result["reply"] = std::move(reply);
        add_outcome(outcomes, result);
    }
    if (!window_globals_refusal(recorded, command) && fail_at != 1) {
        expect["binds"] = Json::array(
            {bind_line(recorded.manager_name, info_manager_name, std::min<std::uint32_t>(recorded.manager_version, 3))});
    }
    expect["outcomes"] = std::move(outcomes);
    expect["max_syncs"] = last_round_trip;
    expect["stats"]["outputs"] = outputs.size();
    expect["stats"]["script_steps"] = script.size();
    expect["stats"]["ready_round_trip"] = ready == never ? Json(nullptr) : Json(ready);
}

struct CommandInfo {
    RandomCommand command;
    const char* word;
    std::vector<std::string> args;
};

const std::vector<CommandInfo>& command_table()
{
    static const std::vector<CommandInfo> table = {
        {RandomCommand::windows_table, "windows", {"windows"}},
        {RandomCommand::windows_json, "windows-json", {"windows", "--json"}},
        {RandomCommand::inspect_rule, "inspect-rule", {"inspect", "--rule"}},
        {RandomCommand::scene_tree, "scene", {"scene"}},
        {RandomCommand::scene_dot, "scene-dot", {"scene", "--dot"}},
        {RandomCommand::outputs_text, "outputs", {"outputs"}},
        {RandomCommand::outputs_json, "outputs-json", {"outputs", "--json"}},
        {RandomCommand::layout_query, "layout-query", {}},
        {RandomCommand::layout_set, "layout-set", {}},
    };
    return table;
}

Family family_of(RandomCommand command)
{
    switch (command) {
    case RandomCommand::windows_table:
    case RandomCommand::windows_json:
    case RandomCommand::inspect_rule: return Family::windows;
    case RandomCommand::scene_tree:
    case RandomCommand::scene_dot: return Family::scene;
    case RandomCommand::outputs_text:
    case RandomCommand::outputs_json: return Family::outputs;
    case RandomCommand::layout_query:
    case RandomCommand::layout_set: return Family::layout;
    }
    return Family::windows;
}

// splitmix64: spreads (seed, command) over the engine's seed space.
std::uint64_t mix(std::uint64_t value)
{
    value += 0x9E3779B97F4A7C15ULL;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

} // namespace

std::optional<RandomCommand> parse_random_command(std::string_view word)
{
    for (const CommandInfo& info : command_table()) {
        if (word == info.word) {
            return info.command;
        }
    }
    return std::nullopt;
}

RandomScenario make_random_scenario(std::uint64_t seed, RandomCommand command)
{
    const CommandInfo* info = nullptr;
    for (const CommandInfo& entry : command_table()) {
        if (entry.command == command) {
            info = &entry;
        }
    }
    Rng rng(mix(seed ^ mix(static_cast<std::uint64_t>(command) + 1)));
    const Family family = family_of(command);
    const std::vector<GlobalEntry> globals = make_globals(rng, family);

    RandomScenario result;
    result.scenario = Json::object();
    result.scenario["description"] =
        "random scenario, seed " + std::to_string(seed) + ", command " + std::string(info->word);
    result.scenario["globals"] = globals_json(globals);
    result.expect = Json::object();
    result.expect["seed"] = seed;
    result.expect["command"] = info->word;
    Json args = Json::array();
    for (const std::string& arg : info->args) {
        args.push_back(hex_of(arg));
    }
    result.expect["args_hex"] = std::move(args);
    result.expect["stats"] = Json::object();
    result.expect["stats"]["globals"] = globals.size();

    switch (family) {
    case Family::windows: make_windows(rng, command, globals, result.scenario, result.expect); break;
    case Family::scene: make_scene(rng, globals, command, result.scenario, result.expect); break;
    case Family::outputs: make_outputs(rng, globals, result.scenario, result.expect); break;
    case Family::layout: make_layout(rng, command, globals, result.scenario, result.expect); break;
    }
    if (!result.expect.contains("binds")) {
        result.expect["binds"] = nullptr;
    }
    return result;
}

} // namespace mock
