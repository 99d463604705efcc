#!/usr/bin/env python3
"""Checks ridaviduvo against a real compositor from Debian, phoc or sway,
started headless (tests/ecosystem/headless.py says how), with wlr-randr, a
peer client of wlr-output-management, run against the same compositor:

  1. `outputs --json` exits 0 with empty stderr, parses with Python's json
     and reports every head as the compositor announces it;
  2. `outputs` (text) agrees value by value with wlr-randr: head names,
     description, enabled state, modes (size, refresh, current/preferred
     marks) and, for enabled heads, position, transform and scale; and with
     `outputs --json`. Layout differences (decimals, head order, order of
     the marks) are not compared;
  3. every command that needs Zadozav's own introspection protocol, which
     no other compositor has, ends with nothing on standard output, exactly
     "ridaviduvo: compositor does not expose Zadozav window introspection"
     on standard error and status 1;
  4. the compositor offers what the README's table of compositors says: the
     output manager at its version, neither the ext-foreign-toplevel-list
     nor Zadozav's manager (read from libwayland's WAYLAND_DEBUG log of the
     tool's own registry).

  compositor_test.py --compositor phoc|sway --tool ridaviduvo

Exit status: 0 passed, 1 failed, 77 skipped (a program is missing, or the
compositor cannot start here; under CI these fail instead).

phoc 0.24 (wlroots 0.15), configured through its ini with a mode, position,
scale and transform per head, reports them; its oddities:
  * its `rotate` key turns the other way round from wl_output's transform:
    rotate = 90 is reported as transform 270 (and flipped-90 as
    flipped-270); wayland-info's wl_output says the same, so it is phoc's
    doing, not the clients';
  * the headless backend has no mode list: wlroots sends one mode object
    per head, the current one, never preferred;
  * `enable = false` in the ini is not honoured by the headless backend
    (wlroots 0.15 rejects the state change), and neither is turning a head
    off through output management, so every head is enabled.

sway 1.7 (wlroots 0.15) honours the same configuration by its own account
(swaymsg -t get_outputs shows each head active with the configured mode,
position and scale), but its output manager reports every headless head
disabled, with one mode of 0x0 px and no refresh; commands through swaymsg
(`output X enable`, `output X mode ...`) change nothing of that. The test
takes the heads as reported: wlr-randr sees the same, and swaymsg confirms
the names, makes and models.

Both advertise zwlr_output_manager_v1 at version 2; wlr-randr 0.2.0 binds
version 1, so it never sees make and model (version 2 events), which ours,
bound at 2, prints. wlr-randr prints the refresh through a float: 59940 mHz
comes out as "59.939999 Hz", so refreshes are compared in whole mHz.
"""

import argparse
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from ecosystem_support import apt, missing_programs, skip  # noqa: E402
from headless import Headless, StartFailed, versions  # noqa: E402

TOOL_TIMEOUT = 20        # seconds for one run of ridaviduvo, wlr-randr or swaymsg

# What the configuration asks for each headless output. Values differ from
# head to head so that a client which mixes heads up, drops a field or
# misreads a sign or a fraction is caught. `transform` is in each
# compositor's own words.
OUTPUTS = [
    {"name": "HEADLESS-1", "mode": "1920x1080@60Hz", "x": 0, "y": 0, "scale": "1.5", "transform": "normal"},
    {"name": "HEADLESS-2", "mode": "1280x720@59.94Hz", "x": 1280, "y": 100, "scale": "2", "transform": "90"},
    {"name": "HEADLESS-3", "mode": "800x600@75Hz", "x": -800, "y": 0, "scale": "1.25", "transform": "flipped-180"},
    {"name": "HEADLESS-4", "mode": "1024x768@144Hz", "x": 2000, "y": -300, "scale": "1", "transform": "flipped-90"},
]

# phoc's `rotate` value -> the transform it then reports (see the docstring).
PHOC_ROTATE_REPORTS = {
    "normal": "normal", "90": "270", "180": "180", "270": "90",
    "flipped": "flipped", "flipped-90": "flipped-270",
    "flipped-180": "flipped-180", "flipped-270": "flipped-90",
}

# The output manager's version each compositor advertises.
OUTPUT_MANAGER_VERSION = {"phoc": 2, "sway": 2}

# phoc converts the ini's "Hz" float to mHz through a C float; allow 1 mHz.
REFRESH_TOLERANCE_HZ = 0.001

# Every command line that needs Zadozav's introspection protocol.
REFUSED = [["windows"], ["windows", "--json"], ["inspect", "--rule"], ["scene"], ["scene", "--dot"],
           ["layout", "--output", "HEADLESS-1", "--json"],
           ["layout", "--output", "HEADLESS-1", "--set", "monocle", "--json"]]
REFUSAL = "ridaviduvo: compositor does not expose Zadozav window introspection\n"


def log(*parts):
    print(*parts, flush=True)


class Failure(Exception):
    pass


def run(cmd, env, extra_env=None):
    try:
        proc = subprocess.run(cmd, env=dict(env, **(extra_env or {})), stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=TOOL_TIMEOUT)
    except subprocess.TimeoutExpired as err:
        raise Failure(f"{' '.join(cmd)}: no exit within {TOOL_TIMEOUT}s (stdout so far: {err.stdout!r})") from None
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


# ---------------------------------------------------------------- what must be seen

def expected_heads(kind):
    """name -> {"enabled", "modes": [(width, height, mHz, marks)], and, for
    an enabled head, "x", "y", "scale", "transform"}."""
    want = {}
    for o in OUTPUTS:
        if kind == "sway":
            want[o["name"]] = {"enabled": False, "modes": [(0, 0, 0, frozenset())]}
            continue
        m = re.fullmatch(r"(\d+)x(\d+)@([0-9.]+)Hz", o["mode"])
        want[o["name"]] = {
            "enabled": True,
            "modes": [(int(m.group(1)), int(m.group(2)), round(float(m.group(3)) * 1000), frozenset({"current"}))],
            "x": o["x"], "y": o["y"], "scale": float(o["scale"]),
            "transform": PHOC_ROTATE_REPORTS[o["transform"]],
        }
    return want


# ---------------------------------------------------------------- parsing

HEAD_LINE = re.compile(r'^(\S+)(?: "(.*)")?$')
PROP_LINE = re.compile(r"^  ([A-Za-z][A-Za-z ]*): ?(.*)$")


def mode_line_re(decimals):
    return re.compile(r"^    (\d+)x(\d+) px(?:, (\d+\.\d{%d}) Hz)?(?: \(([a-z, ]+)\))?$" % decimals)


def parse_text(text, decimals, who):
    """Parses the head listing that both wlr-randr and `ridaviduvo outputs`
    print into {name: {"description", "props": {key: value}, "modes": [...]}}.
    A mode is (width, height, refresh in mHz (0 when none is printed),
    frozenset of marks)."""
    mode_re = mode_line_re(decimals)
    heads = {}
    head = None
    in_modes = False
    for number, line in enumerate(text.splitlines(), 1):
        where = f"{who} line {number}: {line!r}"
        if line == "":
            head, in_modes = None, False
            continue
        if not line.startswith(" "):
            m = HEAD_LINE.match(line)
            if not m:
                raise Failure(f"{where}: not a head line")
            if m.group(1) in heads:
                raise Failure(f"{where}: head {m.group(1)} listed twice")
            head = heads[m.group(1)] = {"description": m.group(2), "props": {}, "modes": []}
            in_modes = False
            continue
        if head is None:
            raise Failure(f"{where}: indented line outside a head")
        if line.startswith("    "):
            if not in_modes:
                raise Failure(f"{where}: mode line outside Modes:")
            if line == "    (none)":
                continue
            m = mode_re.match(line)
            if not m:
                raise Failure(f"{where}: not a mode line with {decimals} decimals")
            marks = frozenset(s.strip() for s in m.group(4).split(",")) if m.group(4) else frozenset()
            if not marks <= {"current", "preferred"}:
                raise Failure(f"{where}: unknown mode marks {sorted(marks)}")
            mhz = round(float(m.group(3)) * 1000) if m.group(3) else 0
            head["modes"].append((int(m.group(1)), int(m.group(2)), mhz, marks))
            continue
        m = PROP_LINE.match(line)
        if not m:
            raise Failure(f"{where}: not a property line")
        key, value = m.group(1), m.group(2)
        if key in head["props"]:
            raise Failure(f"{where}: {key} given twice")
        head["props"][key] = value
        in_modes = key == "Modes"
    return heads


GLOBAL_LINE = re.compile(r'wl_registry@\d+\.global\((\d+), "([^"]*)", (\d+)\)')


def advertised_globals(debug_log):
    """interface -> highest advertised version, from a WAYLAND_DEBUG=client log."""
    found = {}
    for _, interface, version in GLOBAL_LINE.findall(debug_log):
        found[interface] = max(found.get(interface, 0), int(version))
    return found


# ---------------------------------------------------------------- checks

class Checker:
    def __init__(self):
        self.errors = []
        self.count = 0

    def eq(self, what, got, want):
        self.count += 1
        if got != want:
            self.errors.append(f"{what}: got {got!r}, want {want!r}")

    def close(self, what, got, want, tolerance):
        self.count += 1
        if not isinstance(got, (int, float)) or isinstance(got, bool) or abs(got - want) > tolerance:
            self.errors.append(f"{what}: got {got!r}, want {want!r} (±{tolerance})")

    def true(self, what, cond, detail=""):
        self.count += 1
        if not cond:
            self.errors.append(f"{what}{': ' + detail if detail else ''}")


def json_modes(head):
    """A JSON head's modes as (width, height, mHz, marks), or None."""
    try:
        return sorted((m["width"], m["height"], round(m["refresh"] * 1000),
                       frozenset(k for k in ("current", "preferred") if m[k]))
                      for m in head.get("modes", []))
    except (KeyError, TypeError):
        return None


def check_json(c, out, err, status, want):
    c.eq("outputs --json: exit status", status, 0)
    c.eq("outputs --json: stderr", err, "")
    try:
        doc = json.loads(out)
    except json.JSONDecodeError as e:
        c.true("outputs --json: stdout parses as JSON", False, str(e))
        return None
    if not isinstance(doc, list) or not all(isinstance(h, dict) for h in doc):
        c.true("outputs --json: a list of objects", False, repr(doc)[:200])
        return None
    names = [h.get("name") for h in doc]
    c.eq("outputs --json: head names", sorted(names, key=str), sorted(want))
    c.eq("outputs --json: each head once", len(names), len(set(names)))
    for head in doc:
        name = head.get("name")
        if name not in want:
            continue
        w = want[name]
        p = f"outputs --json: {name}"
        c.eq(f"{p}: enabled", head.get("enabled"), w["enabled"])
        modes = head.get("modes")
        if not isinstance(modes, list) or len(modes) != len(w["modes"]):
            c.true(f"{p}: {len(w['modes'])} mode(s)", False, repr(modes))
        else:
            for mode, (width, height, mhz, marks) in zip(modes, w["modes"]):
                c.eq(f"{p}: mode width", mode.get("width"), width)
                c.eq(f"{p}: mode height", mode.get("height"), height)
                c.close(f"{p}: mode refresh (Hz)", mode.get("refresh"), mhz / 1000, REFRESH_TOLERANCE_HZ)
                refresh = mode.get("refresh")
                if isinstance(refresh, (int, float)):
                    c.true(f"{p}: mode refresh is whole mHz / 1000",
                           abs(refresh * 1000 - round(refresh * 1000)) < 1e-6, repr(refresh))
                c.eq(f"{p}: mode current", mode.get("current"), "current" in marks)
                c.eq(f"{p}: mode preferred", mode.get("preferred"), "preferred" in marks)
        if w["enabled"]:
            c.eq(f"{p}: position", head.get("position"), {"x": w["x"], "y": w["y"]})
            c.eq(f"{p}: transform", head.get("transform"), w["transform"])
            c.close(f"{p}: scale", head.get("scale"), w["scale"], 1e-6)
        # Set by wlroots 0.15's headless backend, not by the configuration;
        # the manager is version 2, so make and model arrive but
        # adaptive_sync can't.
        c.true(f"{p}: description", re.fullmatch(r"Headless output \d+", str(head.get("description"))),
               repr(head.get("description")))
        c.eq(f"{p}: make", head.get("make"), "headless")
        c.eq(f"{p}: model", head.get("model"), "headless")
        c.eq(f"{p}: serial", head.get("serial"), None)
        c.eq(f"{p}: physical_size", head.get("physical_size"), {"width": 0, "height": 0})
        c.eq(f"{p}: adaptive_sync", head.get("adaptive_sync"), False)
    return doc


# Properties that only ridaviduvo prints: it binds the manager at version 2+
# while wlr-randr 0.2.0 binds version 1 and prints neither.
OURS_ONLY_PROPS = {"Make", "Model", "Serial", "Physical size", "Adaptive Sync"}
# Printed by both for an enabled head only.
ENABLED_PROPS = ("Position", "Transform")


def compare_with_wlr_randr(c, ours, theirs, want, doc):
    c.eq("text vs wlr-randr: head names", sorted(ours), sorted(theirs))
    c.eq("text: head names", sorted(ours), sorted(want))
    for name in sorted(set(ours) & set(theirs)):
        o, t = ours[name], theirs[name]
        p = f"text vs wlr-randr: {name}"
        c.eq(f"{p}: description", o["description"], t["description"])
        c.true(f"wlr-randr: {name}: prints Enabled", "Enabled" in t["props"])
        c.eq(f"{p}: Enabled", o["props"].get("Enabled"), t["props"].get("Enabled"))
        if t["props"].get("Enabled") == "yes":
            for key in ENABLED_PROPS:
                c.true(f"wlr-randr: {name}: prints {key}", key in t["props"])
                c.eq(f"{p}: {key}", o["props"].get(key), t["props"].get(key))
            try:
                c.close(f"{p}: Scale", float(o["props"].get("Scale", "nan")), float(t["props"]["Scale"]), 1e-6)
            except (KeyError, ValueError) as e:
                c.true(f"{p}: Scale is a number", False, str(e))
        c.true(f"{p}: Modes header", "Modes" in o["props"] and "Modes" in t["props"])
        # Same multiset of (width, height, mHz, marks); order is layout.
        c.eq(f"{p}: modes", sorted(o["modes"], key=repr), sorted(t["modes"], key=repr))
        extra = set(o["props"]) - set(t["props"])
        c.true(f"{p}: properties wlr-randr lacks are the v2+ ones", extra <= OURS_ONLY_PROPS,
               f"{sorted(extra - OURS_ONLY_PROPS)}")
        missing = set(t["props"]) - set(o["props"])
        c.true(f"{p}: ours prints every property wlr-randr prints", not missing, f"{sorted(missing)}")
    # And against what the compositor must report, so that two clients
    # agreeing on a wrong value cannot pass.
    for name, w in want.items():
        if name not in ours:
            continue
        o = ours[name]
        p = f"text: {name}"
        c.eq(f"{p}: Enabled", o["props"].get("Enabled"), "yes" if w["enabled"] else "no")
        if w["enabled"]:
            c.eq(f"{p}: Position", o["props"].get("Position"), f"{w['x']},{w['y']}")
            c.eq(f"{p}: Transform", o["props"].get("Transform"), w["transform"])
            try:
                c.close(f"{p}: Scale", float(o["props"].get("Scale", "nan")), w["scale"], 1e-6)
            except ValueError as e:
                c.true(f"{p}: Scale is a number", False, str(e))
        else:
            present = [key for key in (*ENABLED_PROPS, "Scale") if key in o["props"]]
            c.eq(f"{p}: no position, transform or scale for a disabled head", present, [])
        c.eq(f"{p}: modes", len(o["modes"]), len(w["modes"]))
        for got, (width, height, mhz, marks) in zip(o["modes"], w["modes"]):
            c.eq(f"{p}: mode size", got[:2], (width, height))
            c.close(f"{p}: mode refresh (Hz)", got[2] / 1000, mhz / 1000, REFRESH_TOLERANCE_HZ)
            c.eq(f"{p}: mode marks", got[3], marks)
    # Text and JSON from the same tool must agree with each other.
    if doc is not None:
        for head in doc:
            name = head.get("name")
            if name not in ours:
                continue
            o = ours[name]["props"]
            p = f"text vs --json: {name}"
            c.eq(f"{p}: Make", o.get("Make"), head.get("make"))
            c.eq(f"{p}: Model", o.get("Model"), head.get("model"))
            c.eq(f"{p}: description", ours[name]["description"], head.get("description"))
            c.eq(f"{p}: Enabled", o.get("Enabled"), "yes" if head.get("enabled") else "no")
            modes = json_modes(head)
            c.true(f"{p}: --json modes are complete", modes is not None, repr(head.get("modes")))
            if modes is not None:
                c.eq(f"{p}: modes", modes, sorted(ours[name]["modes"]))


def compare_with_swaymsg(c, env, doc):
    """sway's own IPC must name the same heads, with the same make and model."""
    status, out, err = run(["swaymsg", "-r", "-t", "get_outputs"], env)
    c.eq("swaymsg -t get_outputs: exit status", status, 0)
    try:
        ipc = {o["name"]: o for o in json.loads(out)}
    except (ValueError, KeyError, TypeError) as e:
        c.true("swaymsg -t get_outputs: a list of outputs", False, f"{e}: {out!r} {err!r}")
        return
    log("--- swaymsg -t get_outputs: " + "; ".join(
        f"{n} active={o.get('active')} mode={o.get('current_mode')} scale={o.get('scale')}" for n, o in ipc.items()))
    if doc is None:
        return
    c.eq("--json vs swaymsg: head names", sorted(h.get("name") for h in doc), sorted(ipc))
    for head in doc:
        o = ipc.get(head.get("name"), {})
        c.eq(f"--json vs swaymsg: {head.get('name')}: make", head.get("make"), o.get("make"))
        c.eq(f"--json vs swaymsg: {head.get('name')}: model", head.get("model"), o.get("model"))


def check_refusals(c, tool, env):
    for args in REFUSED:
        status, out, err = run([tool, *args], env)
        p = f"{' '.join(args)}"
        c.eq(f"{p}: exit status", status, 1)
        c.eq(f"{p}: stdout", out, "")
        c.eq(f"{p}: stderr", err, REFUSAL)


def check_globals(c, kind, tool, env):
    """What the compositor offers the tool, as the tool's registry sees it."""
    status, _, err = run([tool, "outputs", "--json"], env, {"WAYLAND_DEBUG": "client"})
    found = advertised_globals(err)
    c.eq("WAYLAND_DEBUG=client outputs --json: exit status", status, 0)
    c.eq("zwlr_output_manager_v1 advertised at", found.get("zwlr_output_manager_v1"), OUTPUT_MANAGER_VERSION[kind])
    for absent in ("ext_foreign_toplevel_list_v1", "zadozav_window_info_manager_v1"):
        c.eq(f"{absent} advertised at", found.get(absent), None)
    return found


# ---------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--compositor", required=True, choices=["phoc", "sway"])
    ap.add_argument("--tool", required=True, help="the ridaviduvo executable")
    args = ap.parse_args()
    kind = args.compositor
    tool = os.path.abspath(args.tool)
    if not os.access(tool, os.X_OK):
        log(f"FAIL: --tool {tool} is not an executable")
        return 1

    needed = {kind: kind, "wlr-randr": "wlr-randr"}
    if kind == "sway":
        needed.update(swaymsg="sway", setpriv="util-linux")
    missing = missing_programs(needed)
    if missing:
        skip(f"{' and '.join(missing)} not installed: the tool was not checked against {kind}", apt(*missing))

    # meson test stops a test with SIGTERM on timeout: turn it into an
    # exception so that the compositor is still stopped.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    started = time.monotonic()
    under_test = versions(kind)
    want = expected_heads(kind)
    c = Checker()
    try:
        compositor = Headless(kind, OUTPUTS)
    except StartFailed as e:
        skip(f"{kind} cannot start here: {e}")
    try:
        log(f"started {under_test}, pid {compositor.proc.pid}: {compositor.command} (uid {os.geteuid()})")
        compositor.wait_for_heads(list(want), shutil.which("wlr-randr"))
        env = compositor.env
        log(f"all {len(want)} heads announced after {time.monotonic() - started:.2f}s")

        found = check_globals(c, kind, tool, env)

        status, out, err = run([tool, "outputs", "--json"], env)
        log(f"--- ridaviduvo outputs --json (status {status})\n{out}" + (f"--- stderr\n{err}" if err else ""))
        doc = check_json(c, out, err, status, want)

        status, out, err = run([tool, "outputs"], env)
        log(f"--- ridaviduvo outputs (status {status})\n{out}" + (f"--- stderr\n{err}" if err else ""))
        c.eq("outputs: exit status", status, 0)
        c.eq("outputs: stderr", err, "")
        ours = parse_text(out, 3, "ridaviduvo outputs")

        r_status, r_out, r_err = run(["wlr-randr"], env)
        log(f"--- wlr-randr (status {r_status})\n{r_out}" + (f"--- stderr\n{r_err}" if r_err else ""))
        if r_status != 0:
            raise Failure(f"wlr-randr exited with {r_status}: {r_err}")
        theirs = parse_text(r_out, 6, "wlr-randr")
        compare_with_wlr_randr(c, ours, theirs, want, doc)
        if kind == "sway":
            compare_with_swaymsg(c, compositor.ipc_env(), doc)

        check_refusals(c, tool, env)

        c.true(f"{kind} still running after the clients", compositor.running(),
               f"exited with {compositor.proc.returncode}; log:\n{compositor.log()}")
    except (Failure, StartFailed) as f:
        c.count += 1
        c.errors.append(str(f))
        found = {}
    finally:
        log(f"{kind} (pid {compositor.proc.pid}) stopped, status {compositor.stop()}")

    log(f"run time {time.monotonic() - started:.2f}s")
    if c.errors:
        log(f"FAIL: compositor-{kind}: {len(c.errors)} of {c.count} checks failed:")
        for e in c.errors:
            log(f"  - {e}")
        return 1
    offers = ", ".join(f"{i} v{found[i]}" for i in ("zwlr_output_manager_v1", "ext_foreign_toplevel_list_v1",
                                                   "zadozav_window_info_manager_v1") if i in found)
    log(f"PASS: compositor-{kind}: {c.count} checks against {under_test} with {len(want)} heads; "
        f"it offers the tool {offers or 'nothing'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
