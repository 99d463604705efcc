// The seeded random mode for the outputs commands: outputs and outputs --json.

#include "random/random_common.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace mock::random_mode {

namespace {

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
    plan.modes = rng.chance(0.1) ? 0 : rng.size_between(1, max_modes);
    Json modes = Json::array();
    for (std::size_t m = 0; m < plan.modes; ++m) {
        Json events = Json::array();
        const std::size_t values = rng.size_between(0, 4);
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
    const std::size_t values = rng.size_between(0, 14);
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

} // namespace

void make_outputs(Rng& rng, const std::vector<GlobalDef>& globals, Json& scenario, Json& expect)
{
    const std::size_t count = roll_size(rng, 6, {{56, 1, 4}, {86, 5, 30}, {100, 31, 250}});
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
    const std::size_t steps = rng.size_between(0, 5);
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
            const std::size_t values = rng.size_between(0, 4);
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
                const std::size_t values = rng.size_between(0, 3);
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
    close_script(rng, script, globals, Family::outputs, StepKind::new_head, heads);

    scenario["output_manager"] = Json::object();
    scenario["output_manager"]["heads"] = initial_defs(heads, count);
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

} // namespace mock::random_mode
