// The seeded random mode for the window commands: windows, windows --json and
// inspect --rule.

#include "random/random_common.hpp"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace mock::random_mode {

namespace {

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
    const std::size_t values = rng.size_between(0, 12);
    for (std::size_t i = 0; i < values; ++i) {
        info.push_back(info_value_event(rng, max_text));
    }
    plan.info_done = !rng.chance(profile.missing_done);
    if (plan.info_done) {
        info.push_back(event("done"));
        const std::size_t late = rng.chance(0.2) ? rng.size_between(1, 4) : 0;
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

} // namespace

void make_windows(Rng& rng, RandomCommand command, const std::vector<GlobalDef>& globals, Json& scenario,
                  Json& expect)
{
    const Profile profile = pick_profile(rng);
    const std::size_t count = roll_size(rng, 6, {{46, 1, 8}, {78, 9, 60}, {100, 61, 400}});
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
    const std::size_t steps = rng.size_between(0, profile.max_steps);
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
            const std::size_t handle_events = rng.size_between(0, 3);
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
            const std::size_t info_events = rng.size_between(0, 4);
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
    close_script(rng, script, globals, Family::windows, StepKind::new_window, windows);

    scenario["windows"] = initial_defs(windows, count);
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

} // namespace mock::random_mode
