#!/usr/bin/env python3
"""Checks ridaviduvo against a real compositor from Debian (phoc, sway, labwc
or cage), started headless with four outputs asked for (headless.py says
how), and against the compositor's peers:

  1. what was asked for: `outputs --json` and `outputs` report every head
     with the asked mode, position, scale and transform, except where a
     quirk of the compositor's version (QUIRKS, each named with the version
     that has it) says otherwise;
  2. wlr-randr, a peer client of wlr-output-management: its text agrees with
     `outputs` value by value (names, description, enabled state, modes with
     their marks, position, transform, scale and every property both print),
     and from wlr-randr 0.4 on its `--json` agrees with `outputs --json`
     member by member;
  3. sway's own IPC (`swaymsg -t get_outputs`): the same names, makes and
     models, and for every head the output manager reports enabled, the
     same mode, position, scale and transform;
  4. the tool's own WAYLAND_DEBUG=client trace: it bound the output manager
     at the lower of the advertised version and 4, and, where that is 3 or
     more, sent `release` on every head and mode after their last event
     (before 3 it sends none: the request does not exist there); the
     compositor offers no Zadozav manager;
  5. every command that needs Zadozav's own introspection protocol ends
     with nothing on standard output, exactly "ridaviduvo: compositor does
     not expose Zadozav window introspection" on standard error and status 1.

Text and --json of the tool must also agree with each other. Layout
differences (decimals, head order, order of the marks) are not compared.

weston, the reference compositor, has none of the protocols the tool uses:
there every one of the nine command lines ends with nothing on standard
output, exactly its refusal on standard error ("... does not expose wlr
output management" for `outputs`, "... does not expose Zadozav window
introspection" for the others) and status 1, and the tool's trace shows
that it bound nothing.

  compositor_test.py --compositor phoc|sway|labwc|cage|weston --tool ridaviduvo

Exit status: 0 passed, 1 failed, 77 skipped (a program is missing, or the
compositor cannot start here; under CI these fail instead).

Facts of every version seen (Debian 12: phoc 0.24, sway 1.7, wlroots 0.15,
wlr-randr 0.2; Debian 13: phoc 0.46, sway 1.10, labwc 0.8, wlroots 0.18,
wlr-randr 0.4):
  * the headless backend has no mode list: each head has one mode, the
    current one, never preferred;
  * wlr-randr prints the refresh through a float (59940 mHz comes out as
    "59.939999 Hz"), so refreshes are compared in whole mHz; phoc converts
    its ini's Hz through a float as well;
  * wlr-randr 0.2 binds the output manager at version 1 and so never sees
    make, model, serial, physical size or adaptive sync; wlr-randr 0.4
    prints a make, model or serial the compositor never sent as "(null)";
  * swaymsg shows a make, model or serial that the output lacks as
    "Unknown" (sway 1.10) or "" (sway 1.7's serial: wlroots 0.15 keeps it
    in a fixed array).
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
from headless import CLOCKWISE, KINDS, Headless, StartFailed, upstream_version, versions  # noqa: E402
from output_reports import Failure, Trace, parse_text  # noqa: E402

TOOL_TIMEOUT = 20        # seconds for one run of ridaviduvo, wlr-randr or swaymsg

# What is asked for each headless output, transforms in wl_output's words.
# Values differ from head to head so that a client which mixes heads up,
# drops a field or misreads a sign or a fraction is caught.
OUTPUTS = [
    {"name": "HEADLESS-1", "mode": "1920x1080@60Hz", "x": 0, "y": 0, "scale": "1.5", "transform": "normal"},
    {"name": "HEADLESS-2", "mode": "1280x720@59.94Hz", "x": 1280, "y": 100, "scale": "2", "transform": "270"},
    {"name": "HEADLESS-3", "mode": "800x600@75Hz", "x": -800, "y": 0, "scale": "1.25", "transform": "flipped-180"},
    {"name": "HEADLESS-4", "mode": "1024x768@144Hz", "x": 2000, "y": -300, "scale": "1", "transform": "flipped-270"},
]

# What swaymsg shows for a text the output lacks (see above).
SWAYMSG_ABSENT = ("Unknown", "")

# The highest output manager version the tool binds.
TOOL_OUTPUT_MANAGER_VERSION = 4


class Quirk:
    """Where one compositor's version reports other than what it was asked."""

    def __init__(self, kind, applies, text):
        self.kind, self.applies, self.text = kind, applies, text


QUIRKS = {
    "disabled-heads": Quirk(
        "sway", lambda v: v < (1, 10),
        "sway 1.7 (not 1.10): its output manager reports every headless output disabled, with one mode of "
        "0x0 px and no refresh, though swaymsg shows each active with the asked mode; swaymsg's output "
        "commands change nothing of that"),
    "own-placement": Quirk(
        "phoc", lambda v: v >= (0, 46),
        "phoc 0.46 (not 0.24): a head asked for at an x or y of 0 or below is placed by phoc itself, in a "
        "row beside the others"),
}

# phoc converts the ini's "Hz" float to mHz through a C float; allow 1 mHz.
REFRESH_TOLERANCE_HZ = 0.001

# Every command line that needs Zadozav's introspection protocol.
REFUSED = [["windows"], ["windows", "--json"], ["inspect", "--rule"], ["scene"], ["scene", "--dot"],
           ["layout", "--output", "HEADLESS-1", "--json"],
           ["layout", "--output", "HEADLESS-1", "--set", "monocle", "--json"]]
REFUSAL = "ridaviduvo: compositor does not expose Zadozav window introspection\n"
# Where the compositor has no output manager either.
REFUSED_OUTPUTS = [["outputs"], ["outputs", "--json"]]
NO_OUTPUT_MANAGEMENT = "ridaviduvo: compositor does not expose wlr output management\n"
# The compositors that offer the tool nothing.
OFFERS_NOTHING = ("weston",)


def log(*parts):
    print(*parts, flush=True)


def run(cmd, env, extra_env=None):
    try:
        proc = subprocess.run(cmd, env=dict(env, **(extra_env or {})), stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=TOOL_TIMEOUT)
    except subprocess.TimeoutExpired as err:
        raise Failure(f"{' '.join(cmd)}: no exit within {TOOL_TIMEOUT}s (stdout so far: {err.stdout!r})") from None
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


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


# ---------------------------------------------------------------- what was asked for

def active_quirks(kind, version):
    return {name: q for name, q in QUIRKS.items() if q.kind == kind and version and q.applies(version)}


def expected_heads(quirks):
    """name -> {"enabled", "modes": [(width, height, mHz, marks)], and, for
    an enabled head, "scale", "transform" and "x", "y" (None where the
    compositor places the head itself)}."""
    want = {}
    for o in OUTPUTS:
        if "disabled-heads" in quirks:
            want[o["name"]] = {"enabled": False, "modes": [(0, 0, 0, frozenset())]}
            continue
        m = re.fullmatch(r"(\d+)x(\d+)@([0-9.]+)Hz", o["mode"])
        placed = "own-placement" in quirks and (o["x"] <= 0 or o["y"] <= 0)
        want[o["name"]] = {
            "enabled": True,
            "modes": [(int(m.group(1)), int(m.group(2)), round(float(m.group(3)) * 1000), frozenset({"current"}))],
            "x": None if placed else o["x"], "y": None if placed else o["y"],
            "scale": float(o["scale"]), "transform": o["transform"],
        }
    return want


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
            if w["x"] is not None:
                c.eq(f"{p}: position", head.get("position"), {"x": w["x"], "y": w["y"]})
            c.eq(f"{p}: transform", head.get("transform"), w["transform"])
            c.close(f"{p}: scale", head.get("scale"), w["scale"], 1e-6)
        for member in ("description", "make", "model", "serial"):
            c.true(f"{p}: {member} is a string or null", head.get(member, 0) is None or
                   isinstance(head.get(member), str), repr(head.get(member, "missing")))
    return doc


# ---------------------------------------------------------------- the peers

# Properties that only ridaviduvo prints where wlr-randr binds an older
# manager (0.2 binds version 1), or prints only when not zero (physical size).
OURS_ONLY_PROPS = {"Make", "Model", "Serial", "Physical size", "Adaptive Sync"}
# Printed by both for an enabled head only.
ENABLED_PROPS = ("Position", "Transform")


def compare_with_wlr_randr(c, ours, theirs, want, doc):
    c.eq("text vs wlr-randr: head names", sorted(ours), sorted(theirs))
    c.eq("text: head names", sorted(ours), sorted(want))
    for name in sorted(set(ours) & set(theirs)):
        o, t = ours[name], theirs[name]
        # wlr-randr 0.4 prints a text that never came as "(null)".
        t_props = {key: value for key, value in t["props"].items() if value != "(null)"}
        p = f"text vs wlr-randr: {name}"
        c.eq(f"{p}: description", o["description"], t["description"])
        c.true(f"wlr-randr: {name}: prints Enabled", "Enabled" in t_props)
        c.eq(f"{p}: Enabled", o["props"].get("Enabled"), t_props.get("Enabled"))
        if t_props.get("Enabled") == "yes":
            for key in ENABLED_PROPS:
                c.true(f"wlr-randr: {name}: prints {key}", key in t_props)
                c.eq(f"{p}: {key}", o["props"].get(key), t_props.get(key))
            try:
                c.close(f"{p}: Scale", float(o["props"].get("Scale", "nan")), float(t_props["Scale"]), 1e-6)
            except (KeyError, ValueError) as e:
                c.true(f"{p}: Scale is a number", False, str(e))
        for key in set(t_props) & set(o["props"]) - {"Enabled", "Scale", "Modes", *ENABLED_PROPS}:
            c.eq(f"{p}: {key}", o["props"][key], t_props[key])
        c.true(f"{p}: Modes header", "Modes" in o["props"] and "Modes" in t_props)
        # Same multiset of (width, height, mHz, marks); order is layout.
        c.eq(f"{p}: modes", sorted(o["modes"], key=repr), sorted(t["modes"], key=repr))
        extra = set(o["props"]) - set(t_props)
        c.true(f"{p}: properties wlr-randr lacks are the ones it may not print", extra <= OURS_ONLY_PROPS,
               f"{sorted(extra - OURS_ONLY_PROPS)}")
        missing = set(t_props) - set(o["props"])
        c.true(f"{p}: ours prints every property wlr-randr prints", not missing, f"{sorted(missing)}")
    # And against what was asked for, so that two clients agreeing on a
    # wrong value cannot pass.
    for name, w in want.items():
        if name not in ours:
            continue
        o = ours[name]
        p = f"text: {name}"
        c.eq(f"{p}: Enabled", o["props"].get("Enabled"), "yes" if w["enabled"] else "no")
        if w["enabled"]:
            if w["x"] is not None:
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
            for key, member in (("Make", "make"), ("Model", "model"), ("Serial", "serial")):
                c.eq(f"{p}: {key}", o.get(key), head.get(member))
            c.eq(f"{p}: description", ours[name]["description"], head.get("description"))
            c.eq(f"{p}: Enabled", o.get("Enabled"), "yes" if head.get("enabled") else "no")
            if head.get("enabled"):
                position = head.get("position") or {}
                c.eq(f"{p}: Position", o.get("Position"), f"{position.get('x')},{position.get('y')}")
                c.eq(f"{p}: Transform", o.get("Transform"), head.get("transform"))
            modes = json_modes(head)
            c.true(f"{p}: --json modes are complete", modes is not None, repr(head.get("modes")))
            if modes is not None:
                c.eq(f"{p}: modes", modes, sorted(ours[name]["modes"]))


def compare_with_wlr_randr_json(c, doc, theirs):
    """`wlr-randr --json` (0.4 and later) against `outputs --json`, member by
    member; wlr-randr leaves out what a disabled head does not have."""
    c.eq("--json vs wlr-randr --json: head names", sorted(h.get("name") for h in doc),
         sorted(h.get("name") for h in theirs))
    ours = {h.get("name"): h for h in doc}
    for t in theirs:
        o = ours.get(t.get("name"))
        if o is None:
            continue
        p = f"--json vs wlr-randr --json: {t.get('name')}"
        for member, value in t.items():
            if member == "modes":
                continue
            if member == "scale":
                c.close(f"{p}: scale", o.get("scale"), value, 1e-6)
            else:
                c.eq(f"{p}: {member}", o.get(member), value)
        theirs_modes = [(m["width"], m["height"], round(m["refresh"] * 1000), m["preferred"], m["current"])
                        for m in t.get("modes", [])]
        ours_modes = [(m.get("width"), m.get("height"), round((m.get("refresh") or 0) * 1000), m.get("preferred"),
                       m.get("current")) for m in o.get("modes", [])]
        if t.get("enabled") or theirs_modes:
            c.eq(f"{p}: modes", sorted(ours_modes), sorted(theirs_modes))


def compare_with_swaymsg(c, env, doc):
    """sway's own IPC must name the same heads, with the same make and model,
    and show an enabled head as the output manager does."""
    status, out, err = run(["swaymsg", "-r", "-t", "get_outputs"], env)
    c.eq("swaymsg -t get_outputs: exit status", status, 0)
    try:
        ipc = {o["name"]: o for o in json.loads(out)}
    except (ValueError, KeyError, TypeError) as e:
        c.true("swaymsg -t get_outputs: a list of outputs", False, f"{e}: {out!r} {err!r}")
        return
    log("--- swaymsg -t get_outputs: " + "; ".join(
        f"{n} active={o.get('active')} mode={o.get('current_mode')} rect={o.get('rect')} scale={o.get('scale')} "
        f"transform={o.get('transform')}" for n, o in ipc.items()))
    if doc is None:
        return
    c.eq("--json vs swaymsg: head names", sorted(h.get("name") for h in doc), sorted(ipc))
    for head in doc:
        o = ipc.get(head.get("name"), {})
        p = f"--json vs swaymsg: {head.get('name')}"
        for member in ("make", "model", "serial"):
            if head.get(member) is None:
                c.true(f"{p}: {member} absent, and swaymsg's word for that", o.get(member) in SWAYMSG_ABSENT,
                       repr(o.get(member)))
            else:
                c.eq(f"{p}: {member}", head.get(member), o.get(member))
        if not head.get("enabled"):
            continue
        c.eq(f"{p}: active", o.get("active"), True)
        current = [m for m in head.get("modes", []) if m.get("current")]
        mode = o.get("current_mode") or {}
        c.eq(f"{p}: current mode", [(m.get("width"), m.get("height"), round(m.get("refresh", 0) * 1000))
                                    for m in current], [(mode.get("width"), mode.get("height"), mode.get("refresh"))])
        rect = o.get("rect") or {}
        c.eq(f"{p}: position", head.get("position"), {"x": rect.get("x"), "y": rect.get("y")})
        c.close(f"{p}: scale", head.get("scale"), o.get("scale"), 1e-6)
        c.eq(f"{p}: transform (swaymsg's clockwise words)", CLOCKWISE.get(head.get("transform")),
             o.get("transform"))


# ---------------------------------------------------------------- the tool's own trace

def check_trace(c, tool, env, plain_out):
    """The registry and the output objects as the tool's own trace shows
    them; returns the advertised versions."""
    status, out, err = run([tool, "outputs", "--json"], env, {"WAYLAND_DEBUG": "client"})
    c.eq("WAYLAND_DEBUG=client outputs --json: exit status", status, 0)
    c.eq("WAYLAND_DEBUG=client outputs --json: the same answer", out, plain_out)
    trace = Trace(err)
    advertised = trace.advertised()
    c.eq("zadozav_window_info_manager_v1 advertised at", advertised.get("zadozav_window_info_manager_v1"), None)
    offered = advertised.get("zwlr_output_manager_v1")
    c.true("zwlr_output_manager_v1 advertised", offered is not None)
    if offered is None:
        return advertised
    version = min(offered, TOOL_OUTPUT_MANAGER_VERSION)
    c.eq("the output manager bound once, at the lower of the advertised version and 4",
         trace.bound().get("zwlr_output_manager_v1"), [version])
    heads = trace.created_by_events("zwlr_output_head_v1")
    modes = trace.created_by_events("zwlr_output_mode_v1")
    c.eq("heads announced", len(heads), len(OUTPUTS))
    for interface, ids in (("zwlr_output_head_v1", heads), ("zwlr_output_mode_v1", modes)):
        released = trace.requests_on(interface, "release")
        if version < 3:
            c.eq(f"no {interface}.release at version {version} (the request came in version 3)", released, [])
            continue
        c.eq(f"{interface}.release sent once on each, at version {version}", sorted(released), sorted(ids))
        for object_id in ids:
            c.true(f"{interface}@{object_id}: released after its last event",
                   trace.last_index(interface, object_id, request=False) <
                   trace.last_index(interface, object_id, request=True))
    return advertised


def check_refusals(c, tool, env, shapes):
    for args, message in shapes:
        status, out, err = run([tool, *args], env)
        p = f"{' '.join(args)}"
        c.eq(f"{p}: exit status", status, 1)
        c.eq(f"{p}: stdout", out, "")
        c.eq(f"{p}: stderr", err, message)


def check_offers_nothing(c, tool, env):
    """A compositor with none of the tool's protocols: every command line
    refuses, and the tool binds nothing there."""
    advertised = {}
    for args in (["outputs"], ["windows"]):
        status, _, err = run([tool, *args], env, {"WAYLAND_DEBUG": "client"})
        trace = Trace(err)
        advertised = trace.advertised()
        p = f"WAYLAND_DEBUG=client {' '.join(args)}"
        c.eq(f"{p}: exit status", status, 1)
        for interface in ("zwlr_output_manager_v1", "ext_foreign_toplevel_list_v1", "zadozav_window_info_manager_v1"):
            c.eq(f"{p}: {interface} advertised at", advertised.get(interface), None)
        c.true(f"{p}: the registry was read", bool(advertised), err[-300:])
        c.eq(f"{p}: globals bound", trace.bound(), {})
    check_refusals(c, tool, env, [(args, NO_OUTPUT_MANAGEMENT) for args in REFUSED_OUTPUTS] +
                   [(args, REFUSAL) for args in REFUSED])
    return advertised


def check_outputs(c, kind, compositor, tool, want, quirks, started):
    """Every check of a compositor with an output manager; returns the
    versions its registry advertised."""
    wlr_randr = shutil.which("wlr-randr")
    for quirk in quirks.values():
        log(f"quirk of this version: {quirk.text}")
    compositor.wait_for_heads(list(want), wlr_randr)
    compositor.configure_outputs(wlr_randr)
    env = compositor.env
    log(f"all {len(want)} heads announced after {time.monotonic() - started:.2f}s")

    status, out, err = run([tool, "outputs", "--json"], env)
    log(f"--- ridaviduvo outputs --json (status {status})\n{out}" + (f"--- stderr\n{err}" if err else ""))
    doc = check_json(c, out, err, status, want)
    advertised = check_trace(c, tool, env, out)

    status, out, err = run([tool, "outputs"], env)
    log(f"--- ridaviduvo outputs (status {status})\n{out}" + (f"--- stderr\n{err}" if err else ""))
    c.eq("outputs: exit status", status, 0)
    c.eq("outputs: stderr", err, "")
    ours = parse_text(out, 3, "ridaviduvo outputs")

    r_status, r_out, r_err = run([wlr_randr], env)
    log(f"--- wlr-randr (status {r_status})\n{r_out}" + (f"--- stderr\n{r_err}" if r_err else ""))
    if r_status != 0:
        raise Failure(f"wlr-randr exited with {r_status}: {r_err}")
    compare_with_wlr_randr(c, ours, parse_text(r_out, 6, "wlr-randr"), want, doc)

    # wlr-randr has --json from 0.4 on.
    j_status, j_out, j_err = run([wlr_randr, "--json"], env)
    if j_status == 0 and doc is not None:
        compare_with_wlr_randr_json(c, doc, json.loads(j_out))
        log("--- wlr-randr --json compared member by member")
    else:
        log(f"--- wlr-randr --json: status {j_status} ({j_err.strip()[:80]}): not compared")
    if kind == "sway":
        compare_with_swaymsg(c, compositor.ipc_env(), doc)

    check_refusals(c, tool, env, [(args, REFUSAL) for args in REFUSED])
    return advertised


# ---------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--compositor", required=True, choices=KINDS)
    ap.add_argument("--tool", required=True, help="the ridaviduvo executable")
    args = ap.parse_args()
    kind = args.compositor
    tool = os.path.abspath(args.tool)
    if not os.access(tool, os.X_OK):
        log(f"FAIL: --tool {tool} is not an executable")
        return 1

    needed = {kind: kind} if kind in OFFERS_NOTHING else {kind: kind, "wlr-randr": "wlr-randr"}
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
    quirks = active_quirks(kind, upstream_version(kind))
    want = {} if kind in OFFERS_NOTHING else expected_heads(quirks)
    c = Checker()
    try:
        compositor = Headless(kind, [] if kind in OFFERS_NOTHING else OUTPUTS)
    except StartFailed as e:
        skip(f"{kind} cannot start here: {e}")
    advertised = {}
    try:
        log(f"started {under_test}, pid {compositor.proc.pid}: {compositor.command} (uid {os.geteuid()})")
        if kind in OFFERS_NOTHING:
            advertised = check_offers_nothing(c, tool, compositor.env)
        else:
            advertised = check_outputs(c, kind, compositor, tool, want, quirks, started)

        c.true(f"{kind} still running after the clients", compositor.running(),
               f"exited with {compositor.proc.returncode}; log:\n{compositor.log()}")
    except (Failure, StartFailed, ValueError) as f:
        c.count += 1
        c.errors.append(str(f))
    finally:
        log(f"{kind} (pid {compositor.proc.pid}) stopped, status {compositor.stop()}")

    log(f"run time {time.monotonic() - started:.2f}s")
    if c.errors:
        log(f"FAIL: compositor-{kind}: {len(c.errors)} of {c.count} checks failed:")
        for e in c.errors:
            log(f"  - {e}")
        return 1
    offers = ", ".join(f"{i} v{advertised[i]}" for i in ("zwlr_output_manager_v1", "ext_foreign_toplevel_list_v1",
                                                        "zadozav_window_info_manager_v1") if i in advertised)
    log(f"PASS: compositor-{kind}: {c.count} checks against {under_test} with {len(want)} heads; "
        f"it offers the tool {offers or 'nothing'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
