// The seeded random mode for the scene commands: scene and scene --dot.

#include "random/random_common.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace mock::random_mode {

namespace {

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
        const std::size_t part = std::min<std::size_t>(left, rng.size_between(1, std::max<std::size_t>(1, count)));
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

} // namespace

void make_scene(Rng& rng, const std::vector<GlobalDef>& globals, RandomCommand command, Json& scenario,
                Json& expect)
{
    const std::size_t count = roll_size(rng, 5, {{40, 1, 20}, {80, 21, 300}, {100, 301, 1500}});
    const std::size_t max_text = count > 100 ? 300 : 4000;
    NodeList nodes;
    make_nodes(rng, nodes, count, max_text);
    NodeList after;
    if (rng.chance(0.3)) {
        make_nodes(rng, after, rng.size_between(1, 20), max_text);
    }
    const std::optional<std::uint32_t> done_delay = random_delay(rng, 0.05, 3, 8);

    std::vector<Step> script;
    if (rng.chance(0.3)) {
        const std::size_t steps = rng.size_between(1, 2);
        for (std::size_t i = 0; i < steps; ++i) {
            Step step;
            step.sync = rng.between32(1, 11);
            step.kind = StepKind::scene_nodes;
            NodeList more;
            make_nodes(rng, more, rng.size_between(1, 30), max_text);
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
    if (const auto failure = manager_flow_failure(recorded, command, fail_at, ready, msg_scene_timeout)) {
        add_outcome(outcomes, *failure);
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
    expect_manager_bind(expect, recorded, command, fail_at);
    expect["outcomes"] = std::move(outcomes);
    expect["max_syncs"] = last_round_trip;
    expect["stats"]["nodes"] = nodes.nodes.size() + after.nodes.size();
    expect["stats"]["script_steps"] = script.size();
    expect["stats"]["ready_round_trip"] = ready == never ? Json(nullptr) : Json(ready);
}

} // namespace mock::random_mode
