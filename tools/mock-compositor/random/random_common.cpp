// The shared part of the seeded random mode (random_common.hpp).

#include "random/random_common.hpp"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <limits>
#include <utility>

namespace mock::random_mode {

// --- randomness --------------------------------------------------------------

std::uint32_t hostile_u32(Rng& rng)
{
    static const std::vector<std::uint32_t> edges = {0, 1, 2, 3, 4, 7, 8, 0x3F, 0x40, 0xFF, 0x7FFFFFFF, 0x80000000,
                                                     0xFFFFFFFE, 0xFFFFFFFF};
    return rng.chance(0.5) ? rng.pick(edges) : (rng.chance(0.5) ? rng.between32(0, 100) : rng.u32());
}

std::size_t roll_size(Rng& rng, std::uint64_t none_below, std::initializer_list<SizeBand> bands)
{
    const std::uint64_t roll = rng.below(100);
    if (roll < none_below) {
        return 0;
    }
    for (const SizeBand& band : bands) {
        if (roll < band.below) {
            return rng.size_between(band.low, band.high);
        }
    }
    return 0;
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

namespace {

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
        const std::size_t length = rng.size_between(1, 12);
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
        const std::size_t count = rng.size_between(2, 60);
        for (std::size_t i = 0; i < count; ++i) {
            run += unit;
        }
        return run;
    }
    }
}

} // namespace

// 0 to `max_length` bytes, most of them short.
std::string hostile_text(Rng& rng, std::size_t max_length)
{
    const std::size_t length =
        std::min(roll_size(rng, 8, {{43, 1, 16}, {78, 17, 200}, {93, 201, 1000}, {100, 1001, 4000}}), max_length);
    std::string out;
    while (out.size() < length) {
        out += text_piece(rng);
    }
    out.resize(length);
    return out;
}

// --- the mock's schedule -----------------------------------------------------

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

Json event(std::string_view name)
{
    return Json::array({std::string(name)});
}

Json text_event(std::string_view name, std::string_view bytes)
{
    return Json::array({std::string(name), text(bytes)});
}

std::optional<Json> manager_flow_failure(const Recorded& recorded, RandomCommand command, std::uint64_t fail_at,
                                         std::uint64_t ready, std::string_view timeout_message)
{
    const std::uint64_t last_round_trip = 1 + max_extra_round_trips;
    if (fail_at == 1) {
        return connection_failed();
    }
    if (const auto refusal = window_globals_refusal(recorded, command)) {
        return outcome(1, *refusal);
    }
    if (ready > last_round_trip) {
        return fail_at <= last_round_trip ? connection_failed() : outcome(1, timeout_message);
    }
    if (fail_at <= ready) {
        return connection_failed();
    }
    return std::nullopt;
}

void expect_manager_bind(Json& expect, const Recorded& recorded, RandomCommand command, std::uint64_t fail_at)
{
    if (!window_globals_refusal(recorded, command) && fail_at != 1) {
        expect["binds"] = Json::array(
            {bind_line(recorded.manager_name, info_manager_name, std::min<std::uint32_t>(recorded.manager_version, 3))});
    }
}

} // namespace mock::random_mode
