#!/usr/bin/env python3
"""Memory shortage at every allocation: every end-to-end case (tests/e2e/cases)
is played against ridaviduvo-failalloc, the tool linked with
tests/faults/failing_alloc.cpp, once without a failure to count the
allocations N, then once for every K = 1 .. N with the K-th allocation
failing. Cases with more than --full-below allocations (3000: the three
largest cases, of 20 000 to 220 000 allocations) get an even spread of
--spread points instead (400), always including the first and the last.
With RDV_FAULTS_SUBSET=ci only the cases of CI_CASES are played (every
allocation of each).

Where the failed allocation was made decides which outcomes are allowed. The
allocator reports the stack; the first frame outside the C and C++ runtimes
and the sanitizers names the site:

  tool        the tool's own code (operator new; its containers and texts).
              Allowed: the outcome of the normal run with the absorption
              rules applied: the same status and standard error, and
              standard output equal to the normal output or to the output of
              a normal run against a variant of the scenario with exactly
              one record dropped (a window, a scene node, an output head or
              mode) or one text event dropped (the field keeps its earlier
              value); for the layout JSON, the output or layout text may
              have kept its earlier, absent value (printed ""). For records
              that the mock generates (windows_generate, heads_generate,
              nodes_generate), which no variant can name one by one, a
              weaker check: well-formed, and the normal output's lines with
              one record's lines gone or one line changed. Or: after
              teardown, "error: OutOfMemory", status 1, nothing on standard
              output.
  libwayland  libwayland-client, named by the library function the tool
              called (the outermost libwayland frame under the tool's frame):
    wl_display_connect*          no display: "ridaviduvo: unable to connect
                                 to the Wayland compositor", status 1 (and
                                 then only, libwayland 1.23's own leak of
                                 its queue names, tests/faults/libwayland.supp);
                                 or the normal outcome, where libwayland
                                 absorbs the failure itself (1.23 does, for
                                 some of its allocations there)
    wl_display_roundtrip*        "ridaviduvo: Wayland connection failed"
                                 as the last line of standard error, status 1
    wl_proxy_marshal_array*      a request: its new object is missing
                                 ("error: OutOfMemory"; for get_window_info
                                 the window's description is asked again at
                                 the next done, else the window time-out; for
                                 the output manager's bind the missing-global
                                 message), or the request could not be
                                 encoded (libwayland marks the connection
                                 broken: connection failed at the next round
                                 trip), or nothing visible (a release at
                                 teardown, after the output went out; with
                                 libwayland's own lines about it on
                                 standard error)
    wl_proxy_destroy             nothing visible: the normal outcome
  Every other site fails the test, so that a new one gets looked at.

Every run must also: end within the time limit, leave no AddressSanitizer,
LeakSanitizer or UBSan report, let the mock finish normally, and (when the
failed allocation was reached) show the "failed" line in the allocator's
report.

Exit status 0 when every run behaved, 1 otherwise.
"""

import argparse
import collections
import copy
import json
import os
import re
import sys
import tempfile

import faultrun

RUNTIME_MODULES = ("libc.so", "libstdc++.so", "libgcc_s.so", "libasan.so", "libubsan.so", "ld-linux",
                   "libm.so")

UNABLE_TO_CONNECT = b"ridaviduvo: unable to connect to the Wayland compositor\n"
NO_OUTPUT_MANAGEMENT = b"ridaviduvo: compositor does not expose wlr output management\n"
WINDOW_TIMEOUT = b"ridaviduvo: timed out collecting a consistent window snapshot\n"

# What libwayland-client itself writes to standard error when it cannot
# encode or send a request, or meets a broken connection; such lines may
# come before the tool's own.
# libwayland 1.23 adds the closure's failure first ("could not allocate
# closure of size (208) for release (signature 3)", or "wl_closure_send
# error: buffer allocation failure of size 8" with " for release (signature
# 3)" before its "Error sending request"; the signature is the request's
# argument types, "usun" for a bind).
LIBWAYLAND_LOG = re.compile(rb"^(Error marshalling request: |Error sending request: |Error demarshalling |"
                            rb"wl_display@\d+: error |could not allocate closure of size |"
                            rb"wl_closure_send error: | for \w+ \(signature [^)]*\)Error sending request: )")


def without_libwayland_log(err):
    lines = err.splitlines(keepends=True)
    while lines and LIBWAYLAND_LOG.match(lines[0]):
        lines.pop(0)
    return b"".join(lines)


def parse_report(text):
    """(count, failed number, family, frames) from the allocator's report."""
    count = failed = family = None
    frames = []
    for line in text.splitlines():
        if line.startswith("count "):
            count = int(line.split()[1])
        elif line.startswith("failed "):
            _, number, family = line.split()
            failed = int(number)
        elif line.startswith("frame "):
            frames.append(line[len("frame "):])
    return count, failed, family, frames


def frame_module(frame):
    return frame.split("(")[0].rsplit("/", 1)[-1]


def frame_symbol(frame):
    match = re.search(r"\(([^)+]*)\+", frame)
    return match.group(1) if match and match.group(1) else "?"


def classify(frames, tool_name):
    """("tool", None) or ("libwayland", API function) or ("other", module)."""
    index = 0
    while index < len(frames) and frame_module(frames[index]).startswith(RUNTIME_MODULES):
        index += 1
    if index == len(frames):
        return ("other", "no frame outside the runtimes")
    module = frame_module(frames[index])
    if module == tool_name:
        return ("tool", None)
    if module.startswith("libwayland-client.so"):
        api = frame_symbol(frames[index])
        while index + 1 < len(frames) and frame_module(frames[index + 1]).startswith("libwayland-client.so"):
            index += 1
            api = frame_symbol(frames[index])
        return ("libwayland", api)
    return ("other", module)


# Scenario variants: each is the scenario with one record or one text event
# dropped, in a form the mock can play and whose normal output is what the
# absorption rules give for that drop.
WINDOW_TEXT_EVENTS = {"title", "app_id", "identifier", "class", "output", "layout", "rule_matcher"}
HEAD_TEXT_EVENTS = {"name", "description", "make", "model", "serial_number"}


def window_variants(window, replace):
    # A window whose record is dropped is never listed: the same as a window
    # that is closed at once.
    yield replace(dict(window, handle=[["closed"]]))
    for part in ("handle", "info"):
        for index, event in enumerate(window.get(part, [])):
            if event and event[0] in WINDOW_TEXT_EVENTS:
                events = window[part][:index] + window[part][index + 1:]
                yield replace(dict(window, **{part: events}))


def head_variants(head, replace):
    # A dropped head (or mode) is released at once: the renderers show it as
    # they show a finished one, that is not at all. The head's modes are
    # still announced, as other heads' current_mode events may name them.
    yield replace(dict(head, events=[e for e in head.get("events", []) if e and e[0] == "mode"] + [["finished"]]))
    for index, event in enumerate(head.get("events", [])):
        if event and event[0] in HEAD_TEXT_EVENTS:
            yield replace(dict(head, events=head["events"][:index] + head["events"][index + 1:]))
    for index, mode in enumerate(head.get("modes", [])):
        modes = copy.deepcopy(head["modes"])
        modes[index] = dict(mode, events=[["finished"]])
        yield replace(dict(head, modes=modes))


def variants(scenario):
    def setter(path):
        def replace(value):
            variant = copy.deepcopy(scenario)
            target = variant
            for key in path[:-1]:
                target = target[key]
            target[path[-1]] = value
            return variant
        return replace

    for i, window in enumerate(scenario.get("windows", [])):
        yield from window_variants(window, setter(["windows", i]))
    scene = scenario.get("scene", {})
    for part in ("nodes", "after_done"):
        for j in range(len(scene.get(part, []))):
            nodes = scene[part][:j] + scene[part][j + 1:]
            yield setter(["scene", part])(nodes)
    for h, head in enumerate(scenario.get("output_manager", {}).get("heads", [])):
        yield from head_variants(head, setter(["output_manager", "heads", h]))
    for s, step in enumerate(scenario.get("script", [])):
        action = step.get("do")
        if action == "new_window":
            yield from window_variants(step["window"], setter(["script", s, "window"]))
        elif action == "window_events":
            for part in ("handle", "info"):
                for index, event in enumerate(step.get(part, [])):
                    if event and event[0] in WINDOW_TEXT_EVENTS:
                        yield setter(["script", s, part])(step[part][:index] + step[part][index + 1:])
        elif action == "scene_nodes":
            for j in range(len(step["nodes"])):
                yield setter(["script", s, "nodes"])(step["nodes"][:j] + step["nodes"][j + 1:])
        elif action == "new_head":
            yield from head_variants(step["head"], setter(["script", s, "head"]))
        elif action == "head_events":
            for index, event in enumerate(step.get("events", [])):
                if event and event[0] in HEAD_TEXT_EVENTS:
                    yield setter(["script", s, "events"])(step["events"][:index] + step["events"][index + 1:])


def layout_text_kept(normal_out, out):
    """The layout JSON with the output or the layout text left absent ("")."""
    try:
        want = json.loads(normal_out)
        got = json.loads(out)
    except ValueError:
        return False
    if set(want) != set(got):
        return False
    changed = [k for k in want if want[k] != got[k]]
    return len(changed) == 1 and changed[0] in ("output", "layout") and got[changed[0]] == ""


TREE_PREFIX = re.compile(rb"^(?:\xe2\x94\x82  |   )*(?:\xe2\x94\x9c\xe2\x94\x80 |\xe2\x94\x94\xe2\x94\x80 )?")


def one_record_dropped(args, want, got):
    """For scenarios with generated records, which the variants cannot name
    one by one: the output is well-formed (JSON parses) and its lines are the
    normal lines with one record's lines gone or one record's line changed
    (in tree text, prefixes aside)."""
    if args in (["windows", "--json"], ["outputs", "--json"]):
        try:
            json.loads(got)
        except ValueError:
            return False
    want_lines, got_lines = want.split(b"\n"), got.split(b"\n")
    if args == ["scene"]:
        want_lines = [TREE_PREFIX.sub(b"", line) for line in want_lines]
        got_lines = [TREE_PREFIX.sub(b"", line) for line in got_lines]
    removed = collections.Counter(want_lines) - collections.Counter(got_lines)
    added = collections.Counter(got_lines) - collections.Counter(want_lines)
    removed_count, added_count = sum(removed.values()), sum(added.values())
    return added_count <= 1 and 1 <= removed_count <= 2 and removed_count >= added_count


def has_generated_records(scenario):
    return any(key in scenario for key in ("windows_generate",)) or \
        "heads_generate" in scenario.get("output_manager", {}) or "nodes_generate" in scenario.get("scene", {})


class Case:
    def __init__(self, case, options):
        self.case = case
        self.options = options
        self.name = case["name"]
        self.args = case.get("args", [])
        self.scenario = faultrun.scenario_of(case)
        self.compositor = case.get("compositor", "mock")
        self._absorbed = None

    def run(self, tool, env_extra=None, scenario=None):
        return faultrun.run(tool, self.args, self.scenario if scenario is None else scenario,
                            compositor=self.compositor, mock=self.options.mock, env_extra=env_extra,
                            stdout="/dev/full" if self.case.get("stdout_to_full") else None)

    def fault_run(self, k):
        with tempfile.TemporaryDirectory(prefix="rdv-alloc-") as tmp:
            report = os.path.join(tmp, "report")
            env = {"RDV_ALLOC_REPORT": report}
            if k:
                env["RDV_FAIL_ALLOC_AT"] = str(k)
            outcome = self.run(self.options.tool, env)
            text = open(report).read() if os.path.exists(report) else ""
        return outcome, parse_report(text)

    def absorbed_outcomes(self):
        """Normal outcomes of every one-drop variant of the scenario."""
        if self._absorbed is None:
            scenario_variants = list(variants(self.scenario)) if self.compositor == "mock" else []
            results = faultrun.parallel(self.options.jobs, lambda v: self.run(self.options.normal_tool, scenario=v),
                                        scenario_variants)
            self._absorbed = {r.key() for r in results if not r.hung and not r.sanitizer_report()}
        return self._absorbed


def judge(case, k, normal, outcome, report, tool_name):
    """The problems of one run (an empty list when it behaved), and its site."""
    count, failed, family, frames = report
    problems = []
    if outcome.hung:
        return ["the tool hung"], ("hung", None)
    if outcome.sanitizer_report(accept_suppressed=True):
        problems.append(f"sanitizer report: {faultrun.short(outcome.stderr, 3000)}")
    if case.compositor == "mock" and outcome.mock_status != 0:
        problems.append(f"mock status {outcome.mock_status}: {outcome.mock_stderr.decode(errors='replace')[:500]}")
    if failed is None:
        # This run made fewer than K allocations: nothing failed, so the
        # outcome must be the normal one, with nothing suppressed.
        if outcome.suppressed:
            problems.append(f"a leak was suppressed ({', '.join(outcome.suppressed)}) with no failed allocation")
        if outcome.key() != normal.key():
            problems.append("no allocation failed, yet the outcome differs from the normal run")
        return problems, ("not reached", None)
    if failed != k:
        problems.append(f"the allocator failed allocation {failed}, not {k}")
    site = classify(frames, tool_name)
    status, out, err = outcome.key()
    if outcome.suppressed and not (site[0] == "libwayland" and site[1].startswith("wl_display_connect")
                                   and outcome.key() == (1, b"", UNABLE_TO_CONNECT)):
        problems.append(f"a leak was suppressed ({', '.join(outcome.suppressed)}) outside libwayland's "
                        "failed connect")
    oom = status == 1 and out == b"" and err == faultrun.OUT_OF_MEMORY
    connection_failed = status == 1 and out == b"" and faultrun.last_line(err) == faultrun.CONNECTION_FAILED
    if site[0] == "tool":
        ok = oom or outcome.key() == normal.key()
        if not ok and (status, err) == (normal.status, normal.stderr) and case.args[:1] == ["layout"]:
            ok = layout_text_kept(normal.stdout, out)
        if not ok:
            ok = outcome.key() in case.absorbed_outcomes()
        if not ok and has_generated_records(case.scenario) and (status, err) == (normal.status, normal.stderr):
            ok = one_record_dropped(case.args, normal.stdout, out)
        if not ok:
            problems.append("a failed allocation in the tool's code gave an outcome that no absorption rule gives")
    elif site[0] == "libwayland":
        api = site[1]
        if api.startswith("wl_display_connect"):
            ok = outcome.key() in ((1, b"", UNABLE_TO_CONNECT), normal.key())
        elif api.startswith("wl_display_roundtrip"):
            ok = connection_failed
        elif api.startswith("wl_proxy_marshal_array"):
            own = (status, out, without_libwayland_log(err))
            ok = (own == (1, b"", faultrun.OUT_OF_MEMORY) or connection_failed or own == normal.key()
                  or own == (1, b"", NO_OUTPUT_MANAGEMENT) and case.args[:1] == ["outputs"]
                  or own == (1, b"", WINDOW_TIMEOUT) and case.args[:1] in (["windows"], ["inspect"]))
        elif api == "wl_proxy_destroy":
            ok = outcome.key() == normal.key()
        else:
            ok = False
            problems.append(f"a libwayland site the driver does not know: {api}")
        if not ok:
            problems.append(f"a failed allocation inside {api} gave an outcome not allowed there")
    else:
        problems.append(f"an allocation site the driver does not know: {site[1]}")
    if problems:
        problems.append(f"status {status}, stdout {faultrun.short(out)}, stderr {faultrun.short(err, 1500)}")
        problems.append("stack: " + " <- ".join(frames[:8]))
    return problems, site


# The bounded subset for CI: every command's main case, the failure
# statuses, long texts (which allocate) and the regression cases.
CI_CASES = {
    "windows/table", "windows/json", "windows/rule stubs", "windows/hostile texts stay valid: json",
    "scene/five nodes: tree", "scene/five nodes: dot", "outputs/text report", "outputs/json report",
    "outputs/json numbers and unknown current mode", "outputs/finished after done still renders",
    "layout/query", "layout/change", "layout/invalid layout",
    "session/a window closed while waiting for its description does not hold up the snapshot",
}


def points(count, limit):
    if count <= limit:
        return list(range(1, count + 1))
    step = (count - 1) / (limit - 1)
    return sorted({round(1 + i * step) for i in range(limit)})


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True, help="ridaviduvo-failalloc")
    parser.add_argument("--normal-tool", required=True, help="ridaviduvo of the same build")
    parser.add_argument("--mock", required=True)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--filter", default="")
    parser.add_argument("--full-below", type=int, default=3000)
    parser.add_argument("--spread", type=int, default=400)
    parser.add_argument("--count-only", action="store_true")
    parser.add_argument("cases", nargs="+")
    options = parser.parse_args()
    options.mock = os.environ.get("RDV_FAULTS_MOCK", options.mock)
    tool_name = os.path.basename(options.tool)

    cases = [Case(c, options) for c in run_cases_load(options.cases) if options.filter in c["name"]]
    if os.environ.get("RDV_FAULTS_SUBSET") == "ci":
        cases = [c for c in cases if c.name in CI_CASES or c.name.startswith("regressions/")]
        print(f"subset for CI: {len(cases)} cases")
    failed = 0
    runs = 0
    total_points = 0
    sites = collections.Counter()
    outcomes = collections.Counter()
    suppressed = collections.Counter()   # runs that used a LeakSanitizer suppression, by its name
    for case in cases:
        normal, (count, _, _, _) = case.fault_run(0)
        if normal.hung or normal.sanitizer_report() or count is None:
            print(f"FAIL {case.name}: the run without a failure went wrong: status {normal.status}, "
                  f"stderr {faultrun.short(normal.stderr, 1500)}")
            failed += 1
            continue
        if "status" in case.case and normal.status != case.case["status"]:
            print(f"FAIL {case.name}: the run without a failure has status {normal.status}, "
                  f"the case wants {case.case['status']}")
            failed += 1
            continue
        chosen = list(range(1, count + 1)) if count <= options.full_below else points(count, options.spread)
        if options.count_only:
            print(f"{count:8d} {case.name}")
            total_points += count
            continue
        results = faultrun.parallel(options.jobs, lambda k: (k, *case.fault_run(k)), chosen)
        case_failed = 0
        for k, outcome, report in results:
            problems, site = judge(case, k, normal, outcome, report, tool_name)
            runs += 1
            sites[site[0] if site[0] != "libwayland" else f"libwayland {site[1]}"] += 1
            status, out, err = outcome.key()
            kind = ("normal" if outcome.key() == normal.key() else "OutOfMemory" if err == faultrun.OUT_OF_MEMORY
                    else "connection failed" if faultrun.last_line(err) == faultrun.CONNECTION_FAILED
                    else "absorbed" if status == normal.status
                    # A dropped record can also end a wait: the window that held up the snapshot.
                    else "absorbed, wait ended" if site[0] == "tool" and outcome.key() in case.absorbed_outcomes()
                    else err.decode(errors="replace").strip()[:60])
            outcomes[kind] += 1
            if outcome.suppressed:
                suppressed[", ".join(outcome.suppressed)] += 1
            if problems:
                case_failed += 1
                print(f"FAIL {case.name}: allocation {k} of {count}")
                for problem in problems:
                    print("  " + problem.replace("\n", "\n  "))
        failed += case_failed
        total_points += count
        tested = f"all {count}" if len(chosen) == count else f"{len(chosen)} of {count}"
        print(f"{'ok  ' if not case_failed else 'FAIL'} {case.name}: {tested} allocation points, "
              f"{case_failed} failed", flush=True)

    if options.count_only:
        print(f"{total_points} allocation points in {len(cases)} cases")
        return 0
    print("sites: " + ", ".join(f"{name} {n}" for name, n in sorted(sites.items())))
    print("outcomes: " + ", ".join(f"{name} {n}" for name, n in sorted(outcomes.items())))
    if suppressed:
        print("leaks suppressed: " + ", ".join(f"{name} in {n} runs" for name, n in sorted(suppressed.items())))
    print(f"allocation faults: {len(cases)} cases, {total_points} allocation points, {runs} runs, "
          f"{failed} failed")
    return 1 if failed else 0


def run_cases_load(paths):
    return faultrun.run_cases.load_cases(paths)


if __name__ == "__main__":
    sys.exit(main())
