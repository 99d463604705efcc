#!/usr/bin/env python3
"""Hostile compositor stress: runs the sanitizer build of ridaviduvo against the
mock compositor's seeded random mode, for N seeds per command, and checks every
run.

For each (command, seed) the mock makes a hostile but protocol-valid scenario
(--random-seed), writes it and an expectation file, and plays it. The
expectation lists every result the tool may end with for that scenario (exit
status, exact standard error or its last line, and what standard output must
hold); where the mock's timing leaves a choice, every choice is listed. A run
passes when:

- the tool ended by exit, not by a signal, and printed no sanitizer report;
- its status and standard error are one of the expected results, and standard
  output is empty where that result prints nothing;
- what it printed is well formed and has the expected shape: JSON parses
  strictly from bytes (UTF-8, no NaN, no raw control character) with the
  expected number of windows or heads (and modes per head); rule stubs parse
  with tomllib with one [[window]] per listed window; DOT is accepted by
  Graphviz with nothing on its standard error, with one node statement per
  node and one edge per parented node; every table line has exactly eight
  fields and no control byte; the tree has one line per node, each ending in
  its kind word; the outputs report has one block per head and one line per
  mode; the layout line carries the compositor's last answer;
- the mock's request log holds only requests the tool may send, no destroy,
  no more round trips than the budget allows, the expected binds, at most one
  get_window_info per window, one release per head and mode object where the
  manager's version has release, and the layout request with the command
  line's exact bytes.

With --valgrind the tool is a build without sanitizers and runs under
valgrind memcheck instead: any memcheck error, and any block definitely or
indirectly lost, fails the run in place of the sanitizer report.

Usage: run_stress.py --tool BUILD/src/ridaviduvo --mock BUILD/.../mock-compositor
       [--seeds N] [--first-seed S] [--commands a,b] [--jobs J] [--keep DIR]
       [--figures FILE] [--valgrind]

Exit status: 0 all runs passed, 1 a run failed, 2 bad usage or a tool of the
wrong build, 77 (skipped) when Graphviz, tomllib or valgrind is missing.
"""

import argparse
import concurrent.futures
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import tomllib
except ImportError:  # Python before 3.11
    tomllib = None

COMMANDS = ["windows", "windows-json", "inspect-rule", "scene", "scene-dot", "outputs", "outputs-json",
            "layout-query", "layout-set"]
TOOL_TIMEOUT = 120
SANITIZER_EXIT = 86
SANITIZER_MARKERS = (b"Sanitizer", b"runtime error:", b"==ERROR", b"SUMMARY:")
VALGRIND_EXIT = 99


def valgrind_command(log_file):
    return ["valgrind", "--quiet", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite,indirect",
            "--errors-for-leak-kinds=definite,indirect", f"--error-exitcode={VALGRIND_EXIT}",
            f"--log-file={log_file}"]

TABLE_HEADER = b"ID\tBACKEND\tAPP_ID/CLASS\tTITLE\tOUTPUT:WORKSPACE\tGEOMETRY\tLAYOUT\tSTATE"
STATE_WORDS = ["focused", "floating", "fullscreen", "maximized", "minimized", "visible"]
WINDOW_KEYS = ["id", "backend", "app_id", "class", "title", "output", "workspace", "geometry", "layout",
               "matched_rule", "states"]
HEAD_KEYS = ["name", "description", "make", "model", "serial", "physical_size", "enabled", "modes", "position",
             "transform", "scale", "adaptive_sync"]
MODE_KEYS = ["width", "height", "refresh", "preferred", "current"]
TRANSFORM_WORDS = {"normal", "90", "180", "270", "flipped", "flipped-90", "flipped-180", "flipped-270", "unknown"}
STATUS_WORDS = {0: "success", 1: "output_not_found", 2: "invalid_layout", 3: "unavailable"}
DOT_HEADER = (b"digraph zadozav_scene {\n  graph [rankdir=LR, bgcolor=\"#111827\", fontname=\"monospace\"];\n"
              b"  node [shape=box, style=\"rounded,filled\", fontname=\"monospace\", color=\"#475569\", "
              b"fontcolor=\"#0f172a\"];\n  edge [color=\"#64748b\"];\n")
TREE_LINE = re.compile(rb"^(?:(?:\xe2\x94\x82  |   )*(?:\xe2\x94\x9c\xe2\x94\x80 |\xe2\x94\x94\xe2\x94\x80 ))?.*"
                       rb" \[(?:tree|rect|buffer|unknown)\](?: disabled)?(?: \(-?\d+,-?\d+ -?\d+x-?\d+\))?$", re.S)
DOT_NODE = re.compile(rb'^  n\d+ \[label=".*", fillcolor="#[0-9a-f]{6}"(?:, style="rounded,filled,dashed")?\];$', re.S)
DOT_EDGE = re.compile(rb"^  n\d+ -> n\d+;$")
MODE_LINE = re.compile(rb"^    -?\d+x-?\d+ px(?:, \d+\.\d{3} Hz)?(?: \((?:current|preferred|current, preferred)\))?$")
FIXED6 = rb"-?\d+\.\d{6}"

# Requests the tool may send, by command family.
ALLOWED = {
    "windows": {"wl_display.get_registry", "wl_display.sync", "wl_registry.bind", "ext_foreign_toplevel_list_v1.stop",
                "zadozav_window_info_manager_v1.get_window_info"},
    "scene": {"wl_display.get_registry", "wl_display.sync", "wl_registry.bind",
              "zadozav_window_info_manager_v1.get_scene_snapshot"},
    "outputs": {"wl_display.get_registry", "wl_display.sync", "wl_registry.bind", "zwlr_output_head_v1.release",
                "zwlr_output_mode_v1.release"},
    "layout-query": {"wl_display.get_registry", "wl_display.sync", "wl_registry.bind",
                     "zadozav_window_info_manager_v1.get_active_workspace_layout"},
    "layout-set": {"wl_display.get_registry", "wl_display.sync", "wl_registry.bind",
                   "zadozav_window_info_manager_v1.set_active_workspace_layout"},
}


def family(command):
    if command.startswith("layout"):
        return command
    return command.split("-")[0].replace("inspect", "windows")


def control_bytes(data, allowed=b"\n", c1=True):
    """Positions of C0 controls (other than `allowed`), DEL and (with `c1`) C1
    controls encoded as UTF-8. JSON strings carry C1 controls as they are."""
    found = [i for i, b in enumerate(data) if (b < 0x20 and b not in allowed) or b == 0x7F]
    if c1:
        found += [m.start() for m in re.finditer(rb"\xc2[\x80-\x9f]", data)]
    return sorted(found)


def strict_text(data):
    """Standard output as text: strict UTF-8, or a ValueError."""
    return data.decode("utf-8", errors="strict")


def strict_json(data):
    def no_constant(name):
        raise ValueError(f"non-JSON constant {name}")
    return json.loads(strict_text(data), parse_constant=no_constant)


def log_quote(data):
    """A string argument as the mock's request log writes it."""
    out = []
    for b in data:
        if 0x20 <= b <= 0x7E and b not in (0x22, 0x5C):
            out.append(chr(b))
        else:
            out.append(f"\\x{b:02x}")
    return '"' + "".join(out) + '"'


# --- standard output checks, one per command ----------------------------------

def check_table(out, want):
    problems = []
    lines = out.split(b"\n")
    if lines[-1] != b"":
        return ["table: no final newline"]
    lines = lines[:-1]
    if not lines or lines[0] != TABLE_HEADER:
        problems.append("table: header differs")
    for number, line in enumerate(lines, 1):
        fields = line.split(b"\t")
        if len(fields) != 8:
            problems.append(f"table line {number}: {len(fields)} fields")
        bad = control_bytes(line, allowed=b"\t")
        if bad:
            problems.append(f"table line {number}: control byte at {bad[:3]}")
        if number > 1:
            if fields[1] not in (b"xdg", b"xwayland", b"unknown"):
                problems.append(f"table line {number}: backend {fields[1][:40]!r}")
            if len(fields) == 8 and not re.fullmatch(rb"-?\d+,-?\d+ -?\d+x-?\d+", fields[5]):
                problems.append(f"table line {number}: geometry {fields[5][:60]!r}")
    if len(lines) - 1 != want["listed"]:
        problems.append(f"table: {len(lines) - 1} windows, want {want['listed']}")
    return problems[:10]


def check_windows_json(out, want):
    doc = strict_json(out)
    problems = []
    if not out.startswith(b"[\n") or not out.endswith(b"\n]\n"):
        problems.append("json: not framed by \"[\\n\" and \"\\n]\\n\"")
    if control_bytes(out, c1=False):
        problems.append("json: raw control byte")
    if not isinstance(doc, list):
        return ["json: not an array"]
    if len(doc) != want["listed"]:
        problems.append(f"json: {len(doc)} windows, want {want['listed']}")
    for window in doc:
        if list(window) != WINDOW_KEYS:
            problems.append(f"json: keys {list(window)}")
            break
        if window["backend"] not in ("xdg", "xwayland", "unknown"):
            problems.append(f"json: backend {window['backend']!r}")
        if list(window["geometry"]) != ["x", "y", "width", "height"]:
            problems.append("json: geometry keys")
        if [w for w in STATE_WORDS if w in window["states"]] != window["states"]:
            problems.append(f"json: states {window['states']}")
        for key in ("id", "app_id", "class", "title", "output", "layout"):
            if window[key] is not None and not isinstance(window[key], str):
                problems.append(f"json: {key} is {type(window[key]).__name__}")
    return problems[:10]


def check_rule_stubs(out, want):
    text = strict_text(out)
    doc = tomllib.loads(text)
    problems = []
    tables = doc.get("window", [])
    if list(doc) not in ([], ["window"]):
        problems.append(f"toml: top-level keys {list(doc)}")
    if len(tables) != want["listed"]:
        problems.append(f"toml: {len(tables)} [[window]] tables, want {want['listed']}")
    if out.count(b"\n[[window]]\n") != want["listed"]:
        problems.append("toml: [[window]] lines differ from the listed windows")
    for table in tables:
        if len(table) != 1 or list(table)[0] not in ("app_id", "class") or not isinstance(list(table.values())[0], str):
            problems.append(f"toml: table {list(table)}")
            break
    lines = out.split(b"\n")
    if len(lines) - 1 != 5 * want["listed"]:
        problems.append(f"toml: {len(lines) - 1} lines for {want['listed']} stubs")
    for i in range(0, len(lines) - 1, 5):
        stub = lines[i:i + 5]
        if not stub[0].startswith(b"# ") or stub[1] != b"[[window]]" or not stub[3].startswith(b"# title = \"") \
                or stub[4] != b"" or control_bytes(stub[0]):
            problems.append(f"toml: stub at line {i + 1} malformed")
            break
    return problems[:10]


def check_tree(out, want):
    problems = []
    if out and not out.endswith(b"\n"):
        problems.append("tree: no final newline")
    lines = out.split(b"\n")[:-1] if out else []
    if len(lines) != want["nodes"]:
        problems.append(f"tree: {len(lines)} lines, want {want['nodes']}")
    for number, line in enumerate(lines, 1):
        if control_bytes(line):
            problems.append(f"tree line {number}: control byte")
            break
        if not TREE_LINE.match(line):
            problems.append(f"tree line {number}: malformed {line[-80:]!r}")
            break
    return problems


def check_dot(out, want):
    problems = []
    strict_text(out)
    if not out.startswith(DOT_HEADER) or not out.endswith(b"\n}\n"):
        problems.append("dot: header or closing brace differs")
    body = out[len(DOT_HEADER):-2].split(b"\n")[:-1] if out.startswith(DOT_HEADER) else []
    nodes = [line for line in body if DOT_NODE.match(line)]
    edges = [line for line in body if DOT_EDGE.match(line)]
    if len(nodes) + len(edges) != len(body):
        problems.append("dot: a line is neither a node statement nor an edge")
    if len(nodes) != want["nodes"] or len(edges) != want["edges"]:
        problems.append(f"dot: {len(nodes)} nodes and {len(edges)} edges, want {want['nodes']} and {want['edges']}")
    # Graphviz's parser reads every document (nop), and dot lays out and
    # draws it; a large graph, whose layout takes minutes, is drawn without
    # its edges, so that every label still goes through dot.
    drawn = out if want["nodes"] <= 150 else DOT_HEADER + b"\n".join(nodes) + b"\n}\n"
    for command, document in ((["nop"], out), (["dot", "-Tsvg", "-o", "/dev/null"], drawn)):
        run = subprocess.run(command, input=document, capture_output=True, timeout=300)
        if run.returncode != 0 or run.stderr:
            problems.append(f"{command[0]}: status {run.returncode}: {run.stderr[:300].decode(errors='replace')}")
    return problems


def check_outputs_text(out, want):
    heads = want["heads"]
    if control_bytes(out):
        return ["outputs: control byte"]
    if not heads:
        return [] if out == b"No outputs found.\n" else ["outputs: want \"No outputs found.\""]
    lines = out.split(b"\n")
    if lines[-1] != b"":
        return ["outputs: no final newline"]
    lines = lines[:-1]
    at = 0

    def take():
        nonlocal at
        if at >= len(lines):
            raise ValueError(f"outputs: ends early at line {at + 1}")
        at += 1
        return lines[at - 1]

    def peek_prefix(prefix):
        return at < len(lines) and lines[at].startswith(prefix)

    for index, modes in enumerate(heads):
        if index and take() != b"":
            return [f"outputs: no empty line before head {index + 1}"]
        take()  # the name line: any one line
        for label in (b"  Make: ", b"  Model: ", b"  Serial: "):
            if peek_prefix(label):
                take()
        if peek_prefix(b"  Physical size: ") and not re.fullmatch(rb"  Physical size: -?\d+x-?\d+ mm", take()):
            return [f"outputs: head {index + 1}: physical size line"]
        enabled = take()
        if enabled not in (b"  Enabled: yes", b"  Enabled: no"):
            return [f"outputs: head {index + 1}: enabled line {enabled[:60]!r}"]
        if take() != b"  Modes:":
            return [f"outputs: head {index + 1}: no Modes line"]
        if modes == 0:
            if take() != b"    (none)":
                return [f"outputs: head {index + 1}: want (none)"]
        for mode in range(modes):
            line = take()
            if not MODE_LINE.match(line):
                return [f"outputs: head {index + 1} mode {mode + 1}: {line[:80]!r}"]
        if enabled == b"  Enabled: yes":
            patterns = [rb"  Position: -?\d+,-?\d+", rb"  Transform: (?:" +
                        b"|".join(re.escape(w.encode()) for w in sorted(TRANSFORM_WORDS)) + rb")",
                        rb"  Scale: " + FIXED6, rb"  Adaptive Sync: (?:enabled|disabled)"]
            for pattern in patterns:
                line = take()
                if not re.fullmatch(pattern, line):
                    return [f"outputs: head {index + 1}: {line[:80]!r}"]
    if at != len(lines):
        return [f"outputs: {len(lines) - at} lines after the last head"]
    return []


def check_outputs_json(out, want):
    doc = strict_json(out)
    problems = []
    if not out.startswith(b"[\n") or not out.endswith(b"\n]\n") or control_bytes(out, c1=False):
        problems.append("outputs json: framing or raw control byte")
    if not isinstance(doc, list):
        return ["outputs json: not an array"]
    got = [len(head.get("modes", [])) for head in doc]
    if got != want["heads"]:
        problems.append(f"outputs json: modes per head {got[:20]}, want {want['heads'][:20]}")
    for head in doc:
        if list(head) != HEAD_KEYS:
            problems.append(f"outputs json: keys {list(head)}")
            break
        if head["transform"] not in TRANSFORM_WORDS:
            problems.append(f"outputs json: transform {head['transform']!r}")
        for mode in head["modes"]:
            if list(mode) != MODE_KEYS:
                problems.append(f"outputs json: mode keys {list(mode)}")
                break
        if sum(1 for mode in head["modes"] if mode["current"]) > 1:
            problems.append("outputs json: two current modes")
    for number in re.findall(rb'"(?:scale|refresh)":(-?[0-9.e+]+)', out):
        if not re.fullmatch(FIXED6, number):
            problems.append(f"outputs json: number {number!r} is not fixed with six decimals")
            break
    return problems[:10]


def check_layout(out, want):
    reply = want["reply"]
    problems = []
    if out.count(b"\n") != 1 or not out.endswith(b"\n") or control_bytes(out, c1=False):
        problems.append("layout: not one clean line")
    doc = strict_json(out)
    if list(doc) != ["ok", "status", "output", "workspace", "layout"]:
        return [f"layout: keys {list(doc)}"]
    expected = {
        "ok": reply["status"] == 0,
        "status": STATUS_WORDS.get(reply["status"], "unknown"),
        "output": bytes.fromhex(reply["output_hex"]).decode("utf-8", errors="replace"),
        "workspace": reply["workspace"],
        "layout": bytes.fromhex(reply["layout_hex"]).decode("utf-8", errors="replace"),
    }
    for key, value in expected.items():
        if doc[key] != value:
            problems.append(f"layout: {key} is {doc[key]!r:.80}, want {value!r:.80}")
    return problems


CHECKS = {"windows": check_table, "windows-json": check_windows_json, "inspect-rule": check_rule_stubs,
          "scene": check_tree, "scene-dot": check_dot, "outputs": check_outputs_text,
          "outputs-json": check_outputs_json, "layout-query": check_layout, "layout-set": check_layout}


def check_stdout(command, out, want):
    if want["stdout_empty"]:
        return [] if out == b"" else [f"stdout not empty: {out[:80]!r}"]
    try:
        return CHECKS[command](out, want)
    except (ValueError, UnicodeDecodeError, KeyError, TypeError, AttributeError) as error:
        return [f"{command}: {type(error).__name__}: {str(error)[:300]}"]
    except Exception as error:  # tomllib.TOMLDecodeError and friends
        return [f"{command}: {type(error).__name__}: {str(error)[:300]}"]


def check_stderr(err, want):
    if "stderr" in want:
        return err == want["stderr"].encode()
    tail = want["stderr_tail"].encode()
    return err.endswith(tail) and (len(err) == len(tail) or err[:-len(tail)].endswith(b"\n"))


def check_log(command, log_lines, expect, want, args):
    problems = []
    allowed = ALLOWED[family(command)]
    names = [line.split(" ", 1)[0] for line in log_lines]
    if not log_lines or log_lines[-1] != "disconnect":
        problems.append("log: does not end with disconnect")
    for line, name in zip(log_lines, names):
        if name == "disconnect":
            continue
        if name not in allowed:
            problems.append(f"log: request {line[:100]!r} is not one the tool sends for {command}")
            break
    if any(".destroy" in name for name in names):
        problems.append("log: a destroy request")
    syncs = names.count("wl_display.sync")
    if syncs > expect["max_syncs"]:
        problems.append(f"log: {syncs} round trips, the budget allows {expect['max_syncs']}")
    if names.count("wl_display.get_registry") != 1:
        problems.append("log: get_registry not sent exactly once")
    printed = not want["stdout_empty"]
    timed_out = "stderr" in want and "timed out" in want["stderr"]
    if expect.get("binds") is not None and (printed or timed_out):
        binds = [line for line in log_lines if line.startswith("wl_registry.bind ")]
        # A time-out before any round trip after the binds exits with them unsent.
        want_binds = [] if want.get("binds_unsent") else expect["binds"]
        if binds != want_binds:
            problems.append(f"log: binds {binds}, want {want_binds}")
    if family(command) == "windows":
        if names.count("ext_foreign_toplevel_list_v1.stop") > 1:
            problems.append("log: stop sent more than once")
        requests = names.count("zadozav_window_info_manager_v1.get_window_info")
        if requests > expect["max_window_info_requests"]:
            problems.append(f"log: {requests} get_window_info for {expect['max_window_info_requests']} windows")
    if family(command) == "scene" and names.count("zadozav_window_info_manager_v1.get_scene_snapshot") > 1:
        problems.append("log: more than one get_scene_snapshot")
    if "releases" in want:
        releases = names.count("zwlr_output_head_v1.release") + names.count("zwlr_output_mode_v1.release")
        if releases != want["releases"]:
            problems.append(f"log: {releases} releases, want {want['releases']}")
    if command.startswith("layout") and (printed or timed_out):
        request = ("zadozav_window_info_manager_v1.get_active_workspace_layout " + log_quote(args[2])
                   if command == "layout-query" else
                   "zadozav_window_info_manager_v1.set_active_workspace_layout " + log_quote(args[2]) + " " +
                   log_quote(args[4]))
        sent = [line for line in log_lines if ".get_active_workspace_layout" in line or
                ".set_active_workspace_layout" in line]
        if sent != [request]:
            problems.append(f"log: layout requests {[s[:100] for s in sent]}, want {request[:100]!r}")
    return problems


def describe(want):
    if not want["stdout_empty"]:
        return f"status {want['status']} with output"
    return f"status {want['status']}, {want.get('stderr') or want.get('stderr_tail')!r}"


def classify(want):
    text = want.get("stderr") or want.get("stderr_tail") or ""
    if not want["stdout_empty"]:
        return "printed"
    if "timed out" in text:
        return "timeout"
    if "connection failed" in text:
        return "connection_failed"
    return "refused"


def run_one(tool, mock, command, seed, keep, valgrind=False):
    """Runs one seed of one command; returns (result dict)."""
    result = {"command": command, "seed": seed, "problems": [], "kind": None}
    with tempfile.TemporaryDirectory(prefix="rdv-stress-") as tmp:
        tmp = pathlib.Path(tmp)
        runtime = tmp / "runtime"
        runtime.mkdir(mode=0o700)
        env = {k: v for k, v in os.environ.items() if not k.startswith("WAYLAND_")}
        env["XDG_RUNTIME_DIR"] = str(runtime)
        env["WAYLAND_DISPLAY"] = "wayland-stress"
        env["ASAN_OPTIONS"] = f"detect_leaks=1:exitcode={SANITIZER_EXIT}:abort_on_error=0"
        env["UBSAN_OPTIONS"] = f"halt_on_error=1:print_stacktrace=1:exitcode={SANITIZER_EXIT}"
        env["LSAN_OPTIONS"] = f"exitcode={SANITIZER_EXIT}"
        scenario, expect_path, log_path = tmp / "scenario.json", tmp / "expect.json", tmp / "requests.log"
        server = subprocess.Popen(
            [mock, "--random-seed", str(seed), "--random-command", command, "--random-out", str(scenario),
             "--random-expect", str(expect_path), "--socket", "wayland-stress", "--log", str(log_path),
             "--timeout", "120"],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if server.stdout.readline() != b"ready\n":
            server.kill()
            _, err = server.communicate()
            result["problems"].append(f"mock did not start: {err.decode(errors='replace')[:2000]}")
            return result
        expect = json.loads(expect_path.read_text())
        args = [bytes.fromhex(a) for a in expect["args_hex"]]
        valgrind_log = tmp / "valgrind.log"
        wrapper = valgrind_command(valgrind_log) if valgrind else []
        started = time.monotonic()
        try:
            run = subprocess.run([*wrapper, tool, *args], env=env, capture_output=True, stdin=subprocess.DEVNULL,
                                 timeout=TOOL_TIMEOUT)
            out, err, status = run.stdout, run.stderr, run.returncode
        except subprocess.TimeoutExpired as timeout:
            out, err, status = timeout.stdout or b"", timeout.stderr or b"", None
            result["problems"].append("the tool hung")
        result["seconds"] = time.monotonic() - started
        try:
            mock_status = server.wait(timeout=60)
        except subprocess.TimeoutExpired:
            server.kill()
            mock_status = None
        mock_err = server.stderr.read()
        server.stdout.close()
        server.stderr.close()
        if mock_status != 0:
            result["problems"].append(f"mock exited with {mock_status}: {mock_err.decode(errors='replace')[:500]}")
        log_lines = log_path.read_text(errors="replace").splitlines() if log_path.exists() else []

        if status is not None and status < 0:
            result["problems"].append(f"the tool died of signal {-status}")
        if status == SANITIZER_EXIT or any(marker in err for marker in SANITIZER_MARKERS):
            result["problems"].append("sanitizer report:\n" + err.decode(errors="replace")[:4000])
        if valgrind:
            report = valgrind_log.read_text(errors="replace") if valgrind_log.exists() else ""
            if status == VALGRIND_EXIT or report.strip():
                result["problems"].append("valgrind report:\n" + report[:4000])
        if status is not None and status >= 0 and not result["problems"]:
            candidates = [want for want in expect["outcomes"] if want["status"] == status and check_stderr(err, want)]
            if not candidates:
                wants = "; ".join(describe(w) for w in expect["outcomes"])
                result["problems"].append(f"status {status} with stderr {err[-300:]!r}; allowed: {wants}")
            else:
                best = None
                for want in candidates:
                    problems = check_stdout(command, out, want) + check_log(command, log_lines, expect, want, args)
                    if not problems:
                        best = []
                        result["kind"] = classify(want)
                        break
                    if best is None:
                        best = problems
                result["problems"].extend(best)
        result["stats"] = expect.get("stats", {})
        result["max_syncs"] = expect.get("max_syncs")
        if result["problems"] and keep:
            target = pathlib.Path(keep) / f"{command}-{seed}"
            target.mkdir(parents=True, exist_ok=True)
            for path in (scenario, expect_path, log_path, valgrind_log):
                if path.exists():
                    shutil.copy(path, target / path.name)
            (target / "stdout").write_bytes(out)
            (target / "stderr").write_bytes(err)
            (target / "mock-stderr").write_bytes(mock_err)
            result["kept"] = str(target)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--mock", required=True)
    parser.add_argument("--seeds", type=int, default=20, help="seeds per command")
    parser.add_argument("--first-seed", type=int, default=1)
    parser.add_argument("--commands", default=",".join(COMMANDS))
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", help="keep the files of failing runs under this directory")
    parser.add_argument("--figures", help="write the run's figures as JSON to this file")
    parser.add_argument("--valgrind", action="store_true",
                        help="run a build without sanitizers under valgrind memcheck")
    options = parser.parse_args()

    commands = [c for c in options.commands.split(",") if c]
    unknown = [c for c in commands if c not in COMMANDS]
    if unknown or options.seeds < 1:
        print(f"stress: unknown command {unknown} or no seeds", file=sys.stderr)
        return 2
    missing = []
    if shutil.which("dot") is None or shutil.which("nop") is None:
        missing.append("Graphviz dot")
    if tomllib is None:
        missing.append("Python tomllib (3.11+)")
    if options.valgrind and shutil.which("valgrind") is None:
        missing.append("valgrind")
    if missing:
        print("=" * 70 + f"\nstress: SKIPPED: {', '.join(missing)} not available; nothing was run\n" + "=" * 70)
        return 77
    sanitized = b"__asan_init" in pathlib.Path(options.tool).read_bytes()
    if sanitized == options.valgrind:
        print(f"stress: {options.tool} " + ("is an AddressSanitizer build, which valgrind cannot run"
                                          if sanitized else
                                          "is not an AddressSanitizer build (meson -Db_sanitize=address,undefined)"),
              file=sys.stderr)
        return 2

    jobs = [(command, seed) for command in commands
            for seed in range(options.first_seed, options.first_seed + options.seeds)]
    started = time.monotonic()
    results = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=options.jobs) as pool:
        futures = [pool.submit(run_one, options.tool, options.mock, c, s, options.keep, options.valgrind)
                   for c, s in jobs]
        for future in futures:
            result = future.result()
            results.append(result)
            if result["problems"]:
                print(f"FAIL {result['command']} seed {result['seed']}"
                      + (f" (kept in {result['kept']})" if "kept" in result else ""))
                for problem in result["problems"]:
                    print("    " + problem.replace("\n", "\n    "))

    elapsed = time.monotonic() - started
    failed = [r for r in results if r["problems"]]
    per_command = {}
    for r in results:
        entry = per_command.setdefault(r["command"], {"runs": 0, "failed": 0, "printed": 0, "timeout": 0,
                                                      "refused": 0, "connection_failed": 0})
        entry["runs"] += 1
        if r["problems"]:
            entry["failed"] += 1
        elif r["kind"]:
            entry[r["kind"]] += 1
            # Printed after an answer on the very last round trip the budget allows.
            ready = r["stats"].get("ready_round_trip")
            ready = ready[-1] if isinstance(ready, list) else ready
            if r["kind"] == "printed" and ready == r.get("max_syncs"):
                entry["printed_at_last_round_trip"] = entry.get("printed_at_last_round_trip", 0) + 1
    print(f"\nstress: seeds {options.first_seed}..{options.first_seed + options.seeds - 1} per command, "
          f"{elapsed:.0f} s")
    print(f"{'command':14} {'runs':>5} {'printed':>8} {'at last':>8} {'timeout':>8} {'refused':>8} {'connfail':>8} "
          f"{'failed':>7}")
    for command in commands:
        e = per_command.get(command, {})
        print(f"{command:14} {e.get('runs', 0):5} {e.get('printed', 0):8} {e.get('printed_at_last_round_trip', 0):8} "
              f"{e.get('timeout', 0):8} {e.get('refused', 0):8} {e.get('connection_failed', 0):8} {e.get('failed', 0):7}")
    print("(at last: printed after an answer that came on the last round trip the budget allows)")
    if options.figures:
        figures = {"first_seed": options.first_seed, "seeds_per_command": options.seeds, "seconds": round(elapsed),
                   "per_command": per_command,
                   "largest": {key: max((r["stats"].get(key, 0) or 0) for r in results if "stats" in r)
                               for key in ("windows", "nodes", "heads", "modes", "globals")},
                   "failed": [(r["command"], r["seed"]) for r in failed]}
        pathlib.Path(options.figures).write_text(json.dumps(figures, indent=1) + "\n")
    print(f"stress: {len(results) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
