#pragma once
// What the generators of the seeded random mode share: the random engine,
// hostile values and texts, the mock's schedule (at which round trip of the
// tool each event arrives), script steps, globals, and the outcomes an
// expectation lists. Each command family has its generator in its own file
// (random_windows.cpp, random_scene.cpp, random_outputs.cpp, random_layout.cpp);
// the globals are made in random_globals.cpp.

#include "random/random_scenario.hpp"
#include "scenario/scenario.hpp"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mock::random_mode {

// The tool's round-trip budget after a flow's setup.
inline constexpr std::uint64_t max_extra_round_trips = 8;
inline constexpr std::uint64_t never = std::numeric_limits<std::uint32_t>::max();

inline constexpr std::string_view msg_no_introspection =
    "ridaviduvo: compositor does not expose Zadozav window introspection\n";
inline constexpr std::string_view msg_no_scene = "ridaviduvo: compositor does not expose scene graph snapshots\n";
inline constexpr std::string_view msg_no_layout = "ridaviduvo: compositor does not expose workspace layout control\n";
inline constexpr std::string_view msg_no_outputs = "ridaviduvo: compositor does not expose wlr output management\n";
inline constexpr std::string_view msg_window_timeout =
    "ridaviduvo: timed out collecting a consistent window snapshot\n";
inline constexpr std::string_view msg_scene_timeout = "ridaviduvo: timed out collecting the scene graph snapshot\n";
inline constexpr std::string_view msg_output_timeout =
    "ridaviduvo: timed out collecting a consistent output snapshot\n";
inline constexpr std::string_view msg_layout_timeout = "ridaviduvo: timed out waiting for workspace layout state\n";
inline constexpr std::string_view msg_connection_failed = "ridaviduvo: Wayland connection failed\n";

inline constexpr std::string_view toplevel_list_name = "ext_foreign_toplevel_list_v1";
inline constexpr std::string_view info_manager_name = "zadozav_window_info_manager_v1";
inline constexpr std::string_view output_manager_name = "zwlr_output_manager_v1";

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
    // The same, for counts and lengths (which stay far below 2^32).
    std::size_t size_between(std::uint64_t low, std::uint64_t high)
    {
        return static_cast<std::size_t>(between(low, high));
    }
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

// A size drawn with one roll of 0 to 99: 0 below `none_below`, else from
// `low` to `high` of the first band whose `below` the roll is under (the last
// band's is 100).
struct SizeBand {
    std::uint64_t below = 100;
    std::size_t low = 0;
    std::size_t high = 0;
};
std::size_t roll_size(Rng& rng, std::uint64_t none_below, std::initializer_list<SizeBand> bands);

std::uint32_t hostile_u32(Rng& rng);
std::int32_t hostile_i32(Rng& rng);

// --- texts -------------------------------------------------------------------

std::string hex_of(std::string_view bytes);
// A scenario text: {"hex": ...}.
Json text(std::string_view bytes);
// Up to `max_length` hostile bytes, never a zero byte.
std::string hostile_text(Rng& rng, std::size_t max_length);

// --- the mock's schedule -----------------------------------------------------

// A moment of the mock's run: the round trip (sync) it belongs to, the
// phase within it and the order within the phase. Within one sync the mock
// sends delayed answers, then announced windows, then script steps; requests
// that arrive between sync s and s+1 belong to (s, after).
enum class Phase : std::uint64_t { due = 0, announce = 1, script = 2, after = 3 };

inline constexpr std::uint64_t when(std::uint64_t sync, Phase phase, std::uint64_t order = 0)
{
    return (sync << 24) | (static_cast<std::uint64_t>(phase) << 20) | order;
}

inline constexpr std::uint64_t inf_time = std::numeric_limits<std::uint64_t>::max();

std::uint64_t round_trip_of(std::uint64_t time);
std::uint64_t answer_time(std::uint64_t sync, const std::optional<std::uint32_t>& delay);
std::optional<std::uint32_t> random_delay(Rng& rng, double never_chance, std::uint32_t typical_max,
                                          std::uint32_t boundary);
Json delay_json(const std::optional<std::uint32_t>& delay);

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

Json step_json(std::uint32_t sync, const char* what);
void order_script(std::vector<Step>& script);
Json script_json(const std::vector<Step>& script);

// --- globals -----------------------------------------------------------------

enum class Family { windows, scene, outputs, layout };

std::vector<GlobalDef> make_globals(Rng& rng, Family family);
Json globals_json(const std::vector<GlobalDef>& globals);
void add_global_steps(Rng& rng, std::vector<Step>& script, const std::vector<GlobalDef>& globals, Family family);

// The end of a script with objects made along the way (windows, heads): the
// steps of the globals, the order by time, and each plan a `made_by` step
// announces stamped with that step's time. Plan has `new_time`.
template <class Plan>
void close_script(Rng& rng, std::vector<Step>& script, const std::vector<GlobalDef>& globals, Family family,
                  StepKind made_by, std::vector<Plan>& plans)
{
    add_global_steps(rng, script, globals, family);
    order_script(script);
    for (const Step& step : script) {
        if (step.kind == made_by) {
            plans[step.new_index].new_time = step.time;
        }
    }
}

// The scenario's definitions of the first `count` plans, the objects there
// from the start (those a script step makes follow them). Plan has `def`.
template <class Plan>
Json initial_defs(const std::vector<Plan>& plans, std::size_t count)
{
    Json defs = Json::array();
    for (std::size_t i = 0; i < count; ++i) {
        defs.push_back(plans[i].def);
    }
    return defs;
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

Recorded record_globals(const std::vector<GlobalDef>& globals, const std::vector<Step>& script);
std::uint64_t failure_sync(const std::vector<Step>& script);
std::string bind_line(std::uint32_t name, std::string_view interface, std::uint32_t version);

// --- events and outcomes -----------------------------------------------------

Json event(std::string_view name);
Json text_event(std::string_view name, std::string_view bytes);

Json outcome(int status, std::string_view stderr_text);
Json connection_failed();
Json printed(int status);
void add_outcome(Json& outcomes, const Json& result);
std::optional<std::string_view> window_globals_refusal(const Recorded& recorded, RandomCommand command);

// For the flows that wait for one answer on the introspection manager (scene,
// layout), whose loop ends at round trip 1 + max_extra_round_trips: the
// outcome when the tool does not print (the connection cut, a refusal, a
// time-out), or nothing when the answer, ready at round trip `ready`, is
// printed.
std::optional<Json> manager_flow_failure(const Recorded& recorded, RandomCommand command, std::uint64_t fail_at,
                                         std::uint64_t ready, std::string_view timeout_message);
// The manager's bind, which such a flow makes unless it was refused or cut off
// in the first round trip.
void expect_manager_bind(Json& expect, const Recorded& recorded, RandomCommand command, std::uint64_t fail_at);

// --- the generators of each command family ----------------------------------

void make_windows(Rng& rng, RandomCommand command, const std::vector<GlobalDef>& globals, Json& scenario,
                  Json& expect);
void make_scene(Rng& rng, const std::vector<GlobalDef>& globals, RandomCommand command, Json& scenario,
                Json& expect);
void make_outputs(Rng& rng, const std::vector<GlobalDef>& globals, Json& scenario, Json& expect);
void make_layout(Rng& rng, RandomCommand command, const std::vector<GlobalDef>& globals, Json& scenario,
                 Json& expect);

} // namespace mock::random_mode
