#!/usr/bin/env python3
"""Checks `ridaviduvo outputs` and `ridaviduvo outputs --json` against a real
compositor: Debian 12's phoc (wlroots 0.15), started headless on a private
XDG_RUNTIME_DIR with a phoc.ini that gives every headless output its own
mode, position, scale and transform.

  1. `outputs --json` must exit 0 with empty stderr, parse with Python's json
     and report, for every configured head, the values the ini asked for.
  2. `outputs` (text) must agree value by value with wlr-randr, a peer client
     of the same protocol, run against the same compositor: head names,
     description, enabled state, modes (size, refresh, current/preferred
     marks), position, transform and scale. Layout differences (decimals,
     head order, order of the marks) are not compared.

Exit status: 0 passed, 1 failed, 77 skipped (phoc or wlr-randr missing and not
installable, or phoc unable to start here); a skip always prints "SKIPPED:".

How phoc is started, and why:
  * WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
    WLR_HEADLESS_OUTPUTS=N: no GPU, no input devices, N virtual outputs
    named HEADLESS-1 .. HEADLESS-N.
  * `phoc -C <ini>` and no -E: with -E phoc quits as soon as that command
    ends; without it it serves until it is sent SIGTERM, which the test
    does, by process id, in a finally block.
  * phoc 0.24 runs as root as well as as any other user, so it runs as
    whoever runs the test and no socket permissions need changing. Its
    XDG_RUNTIME_DIR is a fresh 0700 directory owned by that user, and so
    are HOME and the XDG_*_HOME directories, so it writes nothing outside
    the test's temporary directory, which is removed at the end.
  * GSETTINGS_BACKEND=memory keeps phoc's GSettings off dconf (which would
    otherwise create state under the runtime directory and HOME).
  * [core] xwayland = false: no Xwayland child process to clean up.
  * Xwayland-free phoc spawns no children; PR_SET_PDEATHSIG makes it
    receive SIGTERM even if this script is killed before its finally runs.

Oddities of this phoc/wlroots that the expectations below encode:
  * phoc's `rotate` key turns the other way round from wl_output's
    transform: rotate = 90 is reported as transform 270 (and flipped-90 as
    flipped-270); wayland-info's wl_output says the same, so it is phoc's
    doing, not the clients'.
  * The headless backend has no mode list: wlroots sends one mode object
    per head, the current one, never preferred.
  * `enable = false` in the ini is not honoured by the headless backend
    (wlroots 0.15 rejects the state change), and neither is turning a head
    off through output management, so every head is enabled.
  * phoc advertises zwlr_output_manager_v1 at version 2; wlr-randr 0.2.0
    binds version 1, so it never sees make/model (v2 events), which ours
    (bound at 2) prints.
  * wlr-randr prints the refresh through a float: 59940 mHz comes out as
    "59.939999 Hz". Refreshes are therefore compared in whole mHz.
"""

import argparse
import ctypes
import json
import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

TOOL_TIMEOUT = 20        # seconds for one run of ridaviduvo or wlr-randr
SOCKET_TIMEOUT = 15      # seconds for phoc to create its socket
HEADS_TIMEOUT = 15       # seconds for all heads to be announced
INSTALL_TIMEOUT = 200    # seconds for apt-get, all tries; meson allows 300

# What phoc's ini sets for each headless output, and what phoc must then
# report. Values differ from head to head so that a client which mixes heads
# up, drops a field or misreads a sign or a fraction is caught.
HEADS = [
    {"name": "HEADLESS-1", "mode": "1920x1080@60Hz", "x": 0, "y": 0, "scale": "1.5",
     "rotate": "normal"},
    {"name": "HEADLESS-2", "mode": "1280x720@59.94Hz", "x": 1280, "y": 100, "scale": "2",
     "rotate": "90"},
    {"name": "HEADLESS-3", "mode": "800x600@75Hz", "x": -800, "y": 0, "scale": "1.25",
     "rotate": "flipped-180"},
    {"name": "HEADLESS-4", "mode": "1024x768@144Hz", "x": 2000, "y": -300, "scale": "1",
     "rotate": "flipped-90"},
]

# phoc's `rotate` value -> the transform it then reports (see the docstring).
PHOC_ROTATE_REPORTS = {
    "normal": "normal", "90": "270", "180": "180", "270": "90",
    "flipped": "flipped", "flipped-90": "flipped-270",
    "flipped-180": "flipped-180", "flipped-270": "flipped-90",
}

# phoc converts the ini's "Hz" float to mHz through a C float; allow 1 mHz.
REFRESH_TOLERANCE_HZ = 0.001


def log(*parts):
    print(*parts, flush=True)


def skip(reason):
    log("")
    log("=" * 72)
    log(f"SKIPPED: phoc-outputs: {reason}")
    log("=" * 72)
    sys.exit(77)


# ---------------------------------------------------------------- tools

def find_or_install(names):
    """Returns {name: path}; installs missing Debian packages when root."""
    found = {n: shutil.which(n) for n in names}
    missing = [n for n, p in found.items() if p is None]
    if not missing:
        return found
    if os.geteuid() != 0 or shutil.which("apt-get") is None:
        skip(f"{', '.join(missing)} not installed, and not root with apt-get to install it "
             f"(apt-get install phoc wlr-randr)")
    log(f"{', '.join(missing)} missing: trying apt-get install {' '.join(missing)}")
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    install = ["apt-get", "install", "-y", "-qq", "--no-install-recommends", *missing]
    deadline = time.monotonic() + INSTALL_TIMEOUT
    left = lambda: max(1.0, deadline - time.monotonic())  # noqa: E731
    try:
        if subprocess.run(install, env=env, timeout=left()).returncode != 0:
            subprocess.run(["apt-get", "update", "-qq"], env=env, timeout=left())
            subprocess.run(install, env=env, timeout=left())
    except (OSError, subprocess.TimeoutExpired) as err:
        log(f"apt-get failed: {err}")
    found = {n: shutil.which(n) for n in names}
    still = [n for n, p in found.items() if p is None]
    if still:
        skip(f"{', '.join(still)} not installed and could not be installed")
    return found


def run(cmd, env):
    try:
        proc = subprocess.run(cmd, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=TOOL_TIMEOUT)
    except subprocess.TimeoutExpired as err:
        raise Failure(f"{cmd[0]} {' '.join(cmd[1:])}: no exit within {TOOL_TIMEOUT}s "
                      f"(stdout so far: {err.stdout!r})") from None
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


class Failure(Exception):
    pass


# ---------------------------------------------------------------- phoc

def phoc_ini():
    lines = ["[core]", "xwayland = false", ""]
    for h in HEADS:
        lines += [f"[output:{h['name']}]", f"mode = {h['mode']}", f"x = {h['x']}", f"y = {h['y']}",
                  f"scale = {h['scale']}", f"rotate = {h['rotate']}", ""]
    return "\n".join(lines)


def die_with_parent():
    """Runs in the child before exec: SIGTERM it if this script dies."""
    libc = ctypes.CDLL(None, use_errno=True)
    PR_SET_PDEATHSIG = 1
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def start_phoc(phoc, workdir):
    runtime = workdir / "run"
    runtime.mkdir(mode=0o700)
    os.chmod(runtime, 0o700)
    home = workdir / "home"
    home.mkdir(mode=0o700)
    ini = workdir / "phoc.ini"
    ini.write_text(phoc_ini())
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("WAYLAND_", "WLR_")) and k not in ("DISPLAY", "XDG_RUNTIME_DIR")}
    env.update({
        "XDG_RUNTIME_DIR": str(runtime),
        "HOME": str(home),
        "XDG_CONFIG_HOME": str(home / ".config"),
        "XDG_CACHE_HOME": str(home / ".cache"),
        "XDG_DATA_HOME": str(home / ".local/share"),
        "XDG_STATE_HOME": str(home / ".local/state"),
        "GSETTINGS_BACKEND": "memory",
        "WLR_BACKENDS": "headless",
        "WLR_RENDERER": "pixman",
        "WLR_LIBINPUT_NO_DEVICES": "1",
        "WLR_HEADLESS_OUTPUTS": str(len(HEADS)),
    })
    logfile = open(workdir / "phoc.log", "wb")
    try:
        proc = subprocess.Popen([phoc, "-C", str(ini)], env=env, cwd=workdir, stdin=subprocess.DEVNULL,
                                stdout=logfile, stderr=subprocess.STDOUT, preexec_fn=die_with_parent)
    finally:
        logfile.close()
    log(f"started phoc, pid {proc.pid}: WLR_BACKENDS=headless WLR_RENDERER=pixman "
        f"WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS={len(HEADS)} {phoc} -C {ini} "
        f"(uid {os.geteuid()})")
    return proc, runtime


def phoc_log(workdir):
    try:
        return (workdir / "phoc.log").read_text(errors="replace")
    except OSError:
        return ""


def wait_for_socket(proc, runtime, workdir):
    deadline = time.monotonic() + SOCKET_TIMEOUT
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            skip(f"phoc exited with status {proc.returncode} before creating its socket; "
                 f"its log:\n{phoc_log(workdir)}")
        sockets = sorted(p.name for p in runtime.glob("wayland-*")
                         if not p.name.endswith(".lock") and p.is_socket())
        if sockets:
            return sockets[0]
        time.sleep(0.05)
    skip(f"phoc made no socket in {runtime} within {SOCKET_TIMEOUT}s; its log:\n{phoc_log(workdir)}")


def stop_phoc(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            log(f"phoc (pid {proc.pid}) ignored SIGTERM for 5s: SIGKILL")
            proc.kill()
            proc.wait(timeout=5)
    log(f"phoc (pid {proc.pid}) stopped, status {proc.returncode}")


# ---------------------------------------------------------------- parsing

HEAD_LINE = re.compile(r'^(\S+)(?: "(.*)")?$')
PROP_LINE = re.compile(r"^  ([A-Za-z][A-Za-z ]*): ?(.*)$")


def mode_line_re(decimals):
    return re.compile(r"^    (\d+)x(\d+) px, (\d+\.\d{%d}) Hz(?: \(([a-z, ]+)\))?$" % decimals)


def parse_text(text, decimals, who):
    """Parses the head listing that both wlr-randr and `ridaviduvo outputs`
    print into {name: {"description", "props": {key: value}, "modes": [...]}}.
    A mode is (width, height, refresh in mHz, frozenset of marks)."""
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
            mhz = round(float(m.group(3)) * 1000)
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


def expected_heads():
    want = {}
    for h in HEADS:
        m = re.fullmatch(r"(\d+)x(\d+)@([0-9.]+)Hz", h["mode"])
        want[h["name"]] = {
            "width": int(m.group(1)), "height": int(m.group(2)), "refresh": float(m.group(3)),
            "x": h["x"], "y": h["y"], "scale": float(h["scale"]),
            "transform": PHOC_ROTATE_REPORTS[h["rotate"]],
        }
    return want


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
        c.eq(f"{p}: enabled", head.get("enabled"), True)
        modes = head.get("modes")
        # The headless backend has no mode list: wlroots announces exactly one
        # mode per enabled head, the current one, never preferred.
        if not isinstance(modes, list) or len(modes) != 1:
            c.true(f"{p}: exactly one mode", False, repr(modes))
        else:
            mode = modes[0]
            c.eq(f"{p}: mode width", mode.get("width"), w["width"])
            c.eq(f"{p}: mode height", mode.get("height"), w["height"])
            c.close(f"{p}: mode refresh (Hz)", mode.get("refresh"), w["refresh"], REFRESH_TOLERANCE_HZ)
            refresh = mode.get("refresh")
            if isinstance(refresh, (int, float)):
                c.true(f"{p}: mode refresh is whole mHz / 1000",
                       abs(refresh * 1000 - round(refresh * 1000)) < 1e-6, repr(refresh))
            c.eq(f"{p}: mode current", mode.get("current"), True)
            c.eq(f"{p}: mode preferred", mode.get("preferred"), False)
        c.eq(f"{p}: position", head.get("position"), {"x": w["x"], "y": w["y"]})
        c.eq(f"{p}: transform", head.get("transform"), w["transform"])
        c.close(f"{p}: scale", head.get("scale"), w["scale"], 1e-6)
        # Set by wlroots 0.15's headless backend, not by the ini; phoc's
        # manager is version 2, so make/model arrive but adaptive_sync can't.
        c.eq(f"{p}: description", head.get("description"), f"Headless output {name.split('-')[1]}")
        c.eq(f"{p}: make", head.get("make"), "headless")
        c.eq(f"{p}: model", head.get("model"), "headless")
        c.eq(f"{p}: serial", head.get("serial"), None)
        c.eq(f"{p}: physical_size", head.get("physical_size"), {"width": 0, "height": 0})
        c.eq(f"{p}: adaptive_sync", head.get("adaptive_sync"), False)
    return doc


# Properties that only ridaviduvo prints: it binds the manager at version 2+
# while wlr-randr 0.2.0 binds version 1 and prints neither.
OURS_ONLY_PROPS = {"Make", "Model", "Serial", "Physical size", "Adaptive Sync"}


def compare_with_wlr_randr(c, ours, theirs, want, doc):
    c.eq("text vs wlr-randr: head names", sorted(ours), sorted(theirs))
    c.eq("text: head names", sorted(ours), sorted(want))
    for name in sorted(set(ours) & set(theirs)):
        o, t = ours[name], theirs[name]
        p = f"text vs wlr-randr: {name}"
        c.eq(f"{p}: description", o["description"], t["description"])
        for key in ("Enabled", "Position", "Transform"):
            c.true(f"wlr-randr: {name}: prints {key}", key in t["props"])
            c.eq(f"{p}: {key}", o["props"].get(key), t["props"].get(key))
        c.true(f"{p}: Modes header", "Modes" in o["props"] and "Modes" in t["props"])
        try:
            c.close(f"{p}: Scale", float(o["props"].get("Scale", "nan")), float(t["props"]["Scale"]), 1e-6)
        except (KeyError, ValueError) as e:
            c.true(f"{p}: Scale is a number", False, str(e))
        # Same multiset of (width, height, mHz, marks); order is layout.
        c.eq(f"{p}: modes", sorted(o["modes"], key=repr), sorted(t["modes"], key=repr))
        extra = set(o["props"]) - set(t["props"])
        c.true(f"{p}: properties wlr-randr lacks are the v2+ ones", extra <= OURS_ONLY_PROPS,
               f"{sorted(extra - OURS_ONLY_PROPS)}")
        missing = set(t["props"]) - set(o["props"])
        c.true(f"{p}: ours prints every property wlr-randr prints", not missing, f"{sorted(missing)}")
    # And against the configuration, so that two clients agreeing on a wrong
    # value cannot pass.
    for name, w in want.items():
        if name not in ours:
            continue
        o = ours[name]
        p = f"text: {name}"
        c.eq(f"{p}: Enabled", o["props"].get("Enabled"), "yes")
        c.eq(f"{p}: Position", o["props"].get("Position"), f"{w['x']},{w['y']}")
        c.eq(f"{p}: Transform", o["props"].get("Transform"), w["transform"])
        try:
            c.close(f"{p}: Scale", float(o["props"].get("Scale", "nan")), w["scale"], 1e-6)
        except ValueError as e:
            c.true(f"{p}: Scale is a number", False, str(e))
        if len(o["modes"]) == 1:
            width, height, mhz, marks = o["modes"][0]
            c.eq(f"{p}: mode size", (width, height), (w["width"], w["height"]))
            c.close(f"{p}: mode refresh (Hz)", mhz / 1000, w["refresh"], REFRESH_TOLERANCE_HZ)
            c.eq(f"{p}: mode marks", marks, frozenset({"current"}))
        else:
            c.true(f"{p}: exactly one mode", False, repr(o["modes"]))
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
            try:
                json_modes = sorted((m["width"], m["height"], round(m["refresh"] * 1000),
                                     frozenset(k for k in ("current", "preferred") if m[k]))
                                    for m in head.get("modes", []))
            except (KeyError, TypeError) as e:
                c.true(f"{p}: --json modes are complete", False, repr(e))
                continue
            c.eq(f"{p}: modes", json_modes, sorted(ours[name]["modes"]))


# ---------------------------------------------------------------- main

def wait_for_heads(wlr_randr, env, workdir, proc):
    """Waits until wlr-randr sees every configured head; returns its output."""
    deadline = time.monotonic() + HEADS_TIMEOUT
    last = ""
    while time.monotonic() < deadline:
        if proc.poll() is not None:
            raise Failure(f"phoc exited with status {proc.returncode}; its log:\n{phoc_log(workdir)}")
        status, out, err = run([wlr_randr], env)
        last = f"status {status}\nstdout:\n{out}\nstderr:\n{err}"
        if status == 0 and all(re.search(rf"^{re.escape(h['name'])}\b", out, re.M) for h in HEADS):
            return
        time.sleep(0.1)
    raise Failure(f"wlr-randr did not see all {len(HEADS)} heads within {HEADS_TIMEOUT}s; "
                  f"last run: {last}\nphoc log:\n{phoc_log(workdir)}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--tool", required=True, help="the ridaviduvo executable")
    args = ap.parse_args()
    tool = os.path.abspath(args.tool)
    if not os.access(tool, os.X_OK):
        log(f"FAIL: --tool {tool} is not an executable")
        return 1

    # meson test stops a test with SIGTERM on timeout: turn it into an
    # exception so that the finally below still stops phoc.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    tools = find_or_install(["phoc", "wlr-randr"])
    started = time.monotonic()
    workdir = pathlib.Path(tempfile.mkdtemp(prefix="phoc-outputs-"))
    proc = None
    c = Checker()
    try:
        proc, runtime = start_phoc(tools["phoc"], workdir)
        socket = wait_for_socket(proc, runtime, workdir)
        log(f"phoc socket {runtime / socket} after {time.monotonic() - started:.2f}s")
        env = {k: v for k, v in os.environ.items() if not k.startswith("WAYLAND_")}
        env.update({"XDG_RUNTIME_DIR": str(runtime), "WAYLAND_DISPLAY": socket})
        wait_for_heads(tools["wlr-randr"], env, workdir, proc)
        log(f"all {len(HEADS)} heads announced after {time.monotonic() - started:.2f}s")
        want = expected_heads()

        status, out, err = run([tool, "outputs", "--json"], env)
        log(f"--- ridaviduvo outputs --json (status {status})\n{out}" + (f"--- stderr\n{err}" if err else ""))
        doc = check_json(c, out, err, status, want)

        status, out, err = run([tool, "outputs"], env)
        log(f"--- ridaviduvo outputs (status {status})\n{out}" + (f"--- stderr\n{err}" if err else ""))
        c.eq("outputs: exit status", status, 0)
        c.eq("outputs: stderr", err, "")
        ours = parse_text(out, 3, "ridaviduvo outputs")

        r_status, r_out, r_err = run([tools["wlr-randr"]], env)
        log(f"--- wlr-randr (status {r_status})\n{r_out}" + (f"--- stderr\n{r_err}" if r_err else ""))
        if r_status != 0:
            raise Failure(f"wlr-randr exited with {r_status}: {r_err}")
        theirs = parse_text(r_out, 6, "wlr-randr")
        compare_with_wlr_randr(c, ours, theirs, want, doc)

        c.true("phoc still running after the clients", proc.poll() is None,
               f"exited with {proc.returncode}; log:\n{phoc_log(workdir)}")
    except Failure as f:
        c.count += 1
        c.errors.append(str(f))
    finally:
        if proc is not None:
            stop_phoc(proc)
        shutil.rmtree(workdir, ignore_errors=True)

    log(f"run time {time.monotonic() - started:.2f}s")
    if c.errors:
        log(f"FAIL: phoc-outputs: {len(c.errors)} of {c.count} checks failed:")
        for e in c.errors:
            log(f"  - {e}")
        return 1
    log(f"PASS: phoc-outputs: {c.count} checks against phoc's {len(HEADS)} heads")
    return 0


if __name__ == "__main__":
    sys.exit(main())
