// The seeded random mode for the layout query and change.

#include "random/random_common.hpp"

#include <algorithm>
#include <map>
#include <string>
#include <utility>

namespace mock::random_mode {

namespace {

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
    const std::size_t length = rng.size_between(0, 120);
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

} // namespace

void make_layout(Rng& rng, RandomCommand command, const std::vector<GlobalDef>& globals, Json& scenario,
                 Json& expect)
{
    std::map<std::string, LayoutOutputPlan> outputs;
    const std::size_t count = rng.size_between(0, 5);
    for (std::size_t i = 0; i < count; ++i) {
        LayoutOutputPlan plan;
        plan.workspace = hostile_u32(rng);
        const std::size_t layouts = rng.size_between(1, 4);
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
    const std::size_t replies = rng.chance(0.3) ? rng.size_between(1, 3) : 0;
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
    LayoutAnswer answer{1, name, 0, ""};
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
    std::vector<std::pair<std::uint64_t, LayoutAnswer>> sent; // moment, answer
    if (const std::uint64_t due = answer_time(1, reply_delay); due != inf_time) {
        sent.emplace_back(due, answer);
    }
    for (const Step& step : script) {
        if (step.kind == StepKind::layout_reply && step.sync >= 2) {
            sent.emplace_back(step.time, LayoutAnswer{step.status, step.output, step.workspace, step.layout});
        }
    }
    std::stable_sort(sent.begin(), sent.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const std::uint64_t ready = sent.empty() ? never : round_trip_of(sent.front().first);

    Json outcomes = Json::array();
    if (const auto failure = manager_flow_failure(recorded, command, fail_at, ready, msg_layout_timeout)) {
        add_outcome(outcomes, *failure);
    } else {
        // Every answer of the ready round trip is applied; the last one wins.
        const LayoutAnswer* last = nullptr;
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
    expect_manager_bind(expect, recorded, command, fail_at);
    expect["outcomes"] = std::move(outcomes);
    expect["max_syncs"] = last_round_trip;
    expect["stats"]["outputs"] = outputs.size();
    expect["stats"]["script_steps"] = script.size();
    expect["stats"]["ready_round_trip"] = ready == never ? Json(nullptr) : Json(ready);
}

} // namespace mock::random_mode
