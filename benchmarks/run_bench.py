#!/usr/bin/env python3
"""Whole-process benchmarks of ridaviduvo, against its floor and its peer.

Runs the built tool against the mock compositor serving generated scenarios,
at three scales per command:

  windows   10 / 1,000 / 10,000 windows      `windows`, `windows --json`, `inspect --rule`
  scene     100 / 10,000 / 100,000 nodes     `scene`, `scene --dot`
  outputs   1 / 16 / 128 heads, 30 modes     `outputs`, `outputs --json`
  layout    one query                        `layout --output DP-2 --json`

Next to each command runs the floor: benchmarks/baseline's bare client, which
has the same conversation with the compositor (the mock's request log is
checked to be identical) and does nothing else. The same client with
libwayland's generated listeners (called through libffi) runs too, as what a
plain C client costs.

For every command it measures:
  * wall time: the median of hyperfine's runs (`hyperfine -N`, output to
    /dev/null), every command of one scale in one hyperfine invocation;
  * the wall ratio to the floor in pairs: round after round the floor runs
    and then each command, and the ratio is the median over the rounds of
    (command / floor in that round), so that a drift of the machine's speed
    cancels out; with each run's minor page faults and system time from
    wait4;
  * peak resident memory: `/usr/bin/time -f %M`, the median of three runs;
  * instructions: `valgrind --tool=callgrind` on the measured process alone
    (the mock runs outside valgrind), and where they go by ELF object.

Then, on a headless phoc (Debian's, wlroots 0.15), `ridaviduvo outputs` and
`ridaviduvo outputs --json` side by side with wlr-randr and the floor: five
rounds of one hyperfine invocation running all four, and callgrind; the
ratios of wall time (per round, then their median) and of instructions.

With --release DIR, the tool of a release build (`--buildtype=release`, what
`meson install` users get) is measured too, at the largest scale of each
command and on phoc, beside the same floor and wlr-randr.

Last, the renderers' microbenchmarks (benchmarks/renderers-bench).

The report (Markdown) is printed and written to OUT/report.md; the raw numbers
go to OUT/results.json and the callgrind profiles of the largest scale to
OUT/callgrind/.

  run_bench.py --build BUILD [--release BUILD] [--out DIR] [--smoke] [--min-runs N]
               [--warmup N] [--pairs N] [--skip-peers] [--skip-micro]

--smoke runs the smallest scale only, three runs each and no microbenchmarks, to
check in seconds that all of the above works; it exits 77 (skipped) when a
needed program is missing. Every mode fails (status 1) when the tool or the
floor fails, prints something other than the scenario's snapshot, or when the
floor's requests differ from the tool's.
"""

import argparse
import json
import os
import pathlib
import platform
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "ecosystem"))
from ecosystem_support import apt, missing_programs, skip  # noqa: E402
from headless import Headless, StartFailed  # noqa: E402

SCALES = {
    "windows": [10, 1_000, 10_000],
    "scene": [100, 10_000, 100_000],
    "outputs": [1, 16, 128],
}
MODES_PER_HEAD = 30
PEER_HEADS = 4
PEER_ROUNDS = 5
LAYOUT_OUTPUT = "DP-2"

MOCK_READY_TIMEOUT = 60    # seconds; generating 100,000 nodes takes a moment
RUN_TIMEOUT = 600          # seconds for one run of anything measured


def log(*parts):
    print(*parts, file=sys.stderr, flush=True)


class Failure(Exception):
    pass


# ---------------------------------------------------------------- programs

def need_programs(smoke, skip_peers):
    programs = {"hyperfine": "hyperfine", "valgrind": "valgrind", "callgrind_annotate": "valgrind",
                "/usr/bin/time": "time"}
    if not skip_peers:
        programs.update({"phoc": "phoc", "wlr-randr": "wlr-randr"})
    missing = missing_programs(programs)
    if not missing:
        return
    if smoke:
        skip(f"{' and '.join(missing)} not installed: the benchmark scripts were not checked", apt(*missing))
    raise Failure(f"missing the Debian packages {', '.join(missing)}: sudo tools/install-deps.sh bench")


def run(argv, env, **kwargs):
    try:
        return subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=RUN_TIMEOUT, **kwargs)
    except subprocess.TimeoutExpired:
        raise Failure(f"{' '.join(argv)}: no exit within {RUN_TIMEOUT}s") from None


# ---------------------------------------------------------------- mock compositor

class Mock:
    """The mock compositor serving one scenario on a private socket, one
    client after another, until stopped."""

    def __init__(self, mock, scenario, workdir, log_file=None):
        self.runtime = pathlib.Path(tempfile.mkdtemp(prefix="rt-", dir=workdir))
        os.chmod(self.runtime, 0o700)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("WAYLAND_")}
        self.env.update({"XDG_RUNTIME_DIR": str(self.runtime), "WAYLAND_DISPLAY": "wl-bench"})
        argv = [mock, "--scenario", str(scenario), "--socket", "wl-bench", "--persist", "--timeout", "0"]
        if log_file:
            argv += ["--log", str(log_file)]
        self.errors = self.runtime / "mock.err"
        with open(self.errors, "wb") as errors:
            self.proc = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                         stderr=errors)
        deadline = time.monotonic() + MOCK_READY_TIMEOUT
        line = b""
        while time.monotonic() < deadline:
            line = self.proc.stdout.readline()
            if line or self.proc.poll() is not None:
                break
        if line != b"ready\n":
            errors = self.errors.read_text(errors="replace")
            self.stop()
            raise Failure(f"mock compositor did not start on {scenario}: {errors}")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        shutil.rmtree(self.runtime, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


# ---------------------------------------------------------------- measuring

def hyperfine_runs(args, peers):
    """hyperfine's options for how often to run: a fixed handful for the smoke
    check, else at least --min-runs runs (and 3 seconds) per command."""
    if args.smoke:
        return ["--warmup", "1", "--runs", "3"]
    return ["--warmup", str(args.warmup), "--min-runs", str(args.min_runs * (3 if peers else 1))]


def hyperfine(commands, env, workdir, args, peers=False):
    """The wall times in seconds of every run of each (name, argv), from one
    hyperfine invocation."""
    export = pathlib.Path(tempfile.mktemp(suffix=".json", dir=workdir))
    argv = ["hyperfine", "-N", "--style", "basic", *hyperfine_runs(args, peers), "--export-json", str(export)]
    for name, command in commands:
        argv += ["--command-name", name]
    argv += [" ".join(command) for _, command in commands]
    out = run(argv, env)
    if out.returncode != 0:
        raise Failure(f"hyperfine failed ({out.returncode}): {out.stderr.decode(errors='replace')}")
    results = json.loads(export.read_text())["results"]
    export.unlink()
    return {name: r["times"] for (name, _), r in zip(commands, results)}


def timed_run(argv, env):
    """One run with its output to /dev/null: wall seconds, and from the
    kernel's account of the process (wait4) its minor page faults and system
    seconds."""
    start = time.perf_counter()
    proc = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        raise Failure(f"{' '.join(argv)} exited with {proc.returncode}")
    return {"wall": wall, "faults": usage.ru_minflt, "sys": usage.ru_stime}


def paired(commands, reference, env, rounds, warmup=2):
    """Runs `reference` and then each of `commands` (name, argv), round after
    round, so that each command runs right beside the reference and a drift
    of the machine's speed touches both alike. Returns, per name: the median
    over the rounds of (its wall time / the reference's in that round), and
    its median minor faults and mean system milliseconds."""
    names = [reference[0]] + [name for name, _ in commands if name != reference[0]]
    argvs = dict(commands)
    argvs[reference[0]] = reference[1]
    runs = {name: [] for name in names}
    for number in range(warmup + rounds):
        for name in names:
            result = timed_run(argvs[name], env)
            if number >= warmup:
                runs[name].append(result)
    out = {}
    for name in names:
        ratios = [r["wall"] / ref["wall"] for r, ref in zip(runs[name], runs[reference[0]])]
        out[name] = {
            "paired_ratio": statistics.median(ratios),
            "paired_rounds": rounds,
            "minor_faults": int(statistics.median(r["faults"] for r in runs[name])),
            # The kernel accounts system time in whole ticks: the mean, not the median, says something.
            "sys_ms": statistics.mean(r["sys"] for r in runs[name]) * 1000,
        }
    return out


def peak_rss_kib(argv, env):
    """Median of three `/usr/bin/time -f %M` runs, in KiB."""
    values = []
    for _ in range(3):
        out = run(["/usr/bin/time", "-f", "%M", "-o", "/dev/stderr", *argv], env)
        if out.returncode != 0:
            raise Failure(f"{' '.join(argv)} exited with {out.returncode} under /usr/bin/time")
        values.append(int(out.stderr.decode().strip().splitlines()[-1]))
    return int(statistics.median(values))


def callgrind(argv, env, profile):
    """Instructions executed by the process of `argv` alone; the profile is
    kept at `profile`."""
    out = run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={profile}", *argv], env)
    if out.returncode != 0:
        raise Failure(f"{' '.join(argv)} exited with {out.returncode} under callgrind: "
                      f"{out.stderr.decode(errors='replace')[-2000:]}")
    for line in profile.read_text(errors="replace").splitlines():
        if line.startswith(("summary:", "totals:")):
            return int(line.split()[1])
    raise Failure(f"no instruction total in {profile}")


def cost_by_object(profile):
    """Self instructions per ELF object, read from a callgrind profile."""
    names = {"ob": {}, "fn": {}}
    totals = {}
    current_object = function_object = "?"
    skip_next_cost = False

    def resolve(kind, text):
        m = re.match(r"\((\d+)\)(?: (.*))?$", text)
        if not m:
            return text
        if m.group(2) is not None:
            names[kind][m.group(1)] = m.group(2)
        return names[kind].get(m.group(1), "?")

    for line in profile.read_text(errors="replace").splitlines():
        if line.startswith("ob="):
            current_object = resolve("ob", line[3:])
        elif line.startswith("fn="):
            function_object = current_object
        elif line.startswith("cob="):
            resolve("ob", line[4:])
        elif line.startswith("calls="):
            skip_next_cost = True
        elif line[:1].isdigit() or line[:1] in "+-*":
            if skip_next_cost:
                skip_next_cost = False
                continue
            fields = line.split()
            if len(fields) >= 2:
                totals[function_object] = totals.get(function_object, 0) + int(fields[1])
    return totals


def top_functions(profile, count):
    """The `count` functions with the most self instructions."""
    out = subprocess.run(["callgrind_annotate", "--auto=no", "--threshold=100", str(profile)],
                         capture_output=True, text=True, timeout=RUN_TIMEOUT).stdout
    rows = []
    for line in out.splitlines():
        m = re.match(r"\s*([\d,]+) \(\s*[\d.]+%\)\s+(.*)$", line)
        if m and "PROGRAM TOTALS" not in line:
            rows.append((int(m.group(1).replace(",", "")), m.group(2)))
    return rows[:count]


# ---------------------------------------------------------------- checks

def check_output(command, scale, stdout):
    """Fails unless the tool printed the whole snapshot of the scenario, so
    that no broken run is ever measured."""
    text = stdout.decode("utf-8", "replace")
    if command == "windows":
        ok = text.count("\n") == scale + 1
    elif command == "windows --json":
        ok = len(json.loads(text)) == scale
    elif command == "inspect --rule":
        ok = text.count("[[window]]\n") == scale
    elif command == "scene":
        ok = text.count("\n") == scale
    elif command == "scene --dot":
        ok = text.count(" -> n") == scale - 1 and text.endswith("}\n")
    elif command == "outputs":
        ok = len(re.findall(r"^GEN-\d+", text, re.M)) == scale and text.count(" px") == scale * MODES_PER_HEAD
    elif command == "outputs --json":
        doc = json.loads(text)
        ok = len(doc) == scale and all(len(h["modes"]) == MODES_PER_HEAD for h in doc)
    elif command.startswith("layout"):
        ok = json.loads(text).get("ok") is True
    else:
        ok = bool(text)
    if not ok:
        raise Failure(f"`ridaviduvo {command}` at scale {scale} printed something else than the snapshot:\n"
                      f"{text[:600]}")


def check_same_requests(build, scenario, tool_argv, floor_argv, workdir):
    """The floor must send the tool's requests, byte for byte in the mock's log."""
    logs = []
    for argv in (tool_argv, floor_argv):
        log_file = pathlib.Path(tempfile.mktemp(suffix=".log", dir=workdir))
        with Mock(build["mock"], scenario, workdir, log_file) as mock:
            out = run(argv, mock.env)
            if out.returncode != 0:
                raise Failure(f"{' '.join(argv)} exited with {out.returncode}: {out.stderr.decode()}")
        logs.append(log_file.read_text())
        log_file.unlink()
    if logs[0] != logs[1]:
        raise Failure(f"the floor's requests differ from the tool's on {scenario.name}:\n"
                      f"tool:\n{logs[0][:1500]}\nfloor:\n{logs[1][:1500]}")
    return logs[0].count("\n")


# ---------------------------------------------------------------- scenarios

def write_scenario(workdir, family, scale):
    if family == "windows":
        doc = {"windows_generate": {"count": scale}}
    elif family == "scene":
        doc = {"scene": {"nodes_generate": {"count": scale}}}
    elif family == "outputs":
        doc = {"output_manager": {"heads_generate": {"count": scale, "modes": MODES_PER_HEAD}}}
    else:
        doc = {"layout": {"outputs": {LAYOUT_OUTPUT: {"workspace": 2, "layout": "tile",
                                                      "layouts": ["tile", "monocle"]}}}}
    path = pathlib.Path(workdir) / f"{family}-{scale}.json"
    path.write_text(json.dumps(doc))
    return path


def family_commands(build, family):
    """(name, argv) of the tool's commands of a family, then the floor and the
    floor with generated listeners."""
    tool, floor = build["tool"], build["baseline"]
    if family == "windows":
        ours = [("windows", [tool, "windows"]), ("windows --json", [tool, "windows", "--json"]),
                ("inspect --rule", [tool, "inspect", "--rule"])]
        floor_args = ["windows"]
    elif family == "scene":
        ours = [("scene", [tool, "scene"]), ("scene --dot", [tool, "scene", "--dot"])]
        floor_args = ["scene"]
    elif family == "outputs":
        ours = [("outputs", [tool, "outputs"]), ("outputs --json", [tool, "outputs", "--json"])]
        floor_args = ["outputs"]
    else:
        ours = [(f"layout --output {LAYOUT_OUTPUT} --json", [tool, "layout", "--output", LAYOUT_OUTPUT, "--json"])]
        floor_args = ["layout", LAYOUT_OUTPUT]
    return ours, [("floor", [floor, *floor_args]), ("C listeners", [floor, "--listeners", *floor_args])]


# ---------------------------------------------------------------- the runs

def measure_family(build, family, scales, args, workdir, profiles, release=None):
    rows = []
    ours, floors = family_commands(build, family)
    released = []  # the release build's commands, measured at the largest scale
    if release:
        released = [(f"{name} (release)", [release["tool"], *argv[1:]]) for name, argv in ours]
    for index, scale in enumerate(scales):
        scenario = write_scenario(workdir, family, scale)
        if index == 0:
            lines = check_same_requests(build, scenario, ours[0][1], floors[0][1], workdir)
            log(f"{family}: the floor sends the tool's {lines} requests")
        largest = index == len(scales) - 1
        measured = ours + floors + (released if largest else [])
        with Mock(build["mock"], scenario, workdir) as mock:
            for name, argv in measured:
                out = run(argv, mock.env)
                if out.returncode != 0 or out.stderr:
                    raise Failure(f"{' '.join(argv)} exited with {out.returncode}: {out.stderr.decode()}")
                if name in dict(ours) or name in dict(released):
                    check_output(name.removesuffix(" (release)"), scale, out.stdout)
                elif out.stdout:
                    raise Failure(f"the floor printed something: {out.stdout[:200]!r}")
            log(f"{family} at {scale}: hyperfine")
            walls = hyperfine(measured, mock.env, workdir, args)
            log(f"{family} at {scale}: each command beside the floor, {args.pairs} rounds")
            beside = paired(measured, floors[0], mock.env, args.pairs)
            for name, argv in measured:
                log(f"{family} at {scale}: {name}: memory and instructions")
                safe = re.sub(r"[^a-z0-9]+", "-", name.lower()).strip("-")
                profile = profiles / f"{family}-{scale}-{safe}.callgrind"
                instructions = callgrind(argv, mock.env, profile)
                by_object = cost_by_object(profile)
                if not largest:
                    profile.unlink()
                rows.append({
                    "family": family, "scale": scale, "command": name,
                    "wall_ms": statistics.median(walls[name]) * 1000, "runs": len(walls[name]),
                    **beside[name],
                    "peak_rss_kib": peak_rss_kib(argv, mock.env),
                    "instructions": instructions, "by_object": by_object,
                    "profile": str(profile) if largest else None,
                })
    return rows


def measure_peers(build, args, workdir, profiles, release=None):
    wlr_randr = shutil.which("wlr-randr")
    tool = build["tool"]
    commands = [("ridaviduvo outputs", [tool, "outputs"]), ("ridaviduvo outputs --json", [tool, "outputs", "--json"]),
                ("wlr-randr", [wlr_randr]), ("floor", [build["baseline"], "outputs"])]
    if release:
        commands[2:2] = [("ridaviduvo outputs (release)", [release["tool"], "outputs"]),
                         ("ridaviduvo outputs --json (release)", [release["tool"], "outputs", "--json"])]
    rows = []
    phoc = None
    try:
        phoc = Headless("phoc", PEER_HEADS, parent=workdir)
        phoc.wait_for_heads([f"HEADLESS-{n}" for n in range(1, PEER_HEADS + 1)], wlr_randr)
    except StartFailed as failure:
        if phoc is not None:
            phoc.stop()
        raise Failure(str(failure)) from None
    with phoc:
        for name, argv in commands:
            out = run(argv, phoc.env)
            if out.returncode != 0:
                raise Failure(f"{' '.join(argv)} exited with {out.returncode} on phoc: {out.stderr.decode()}")
            if name != "floor" and out.stdout.count(b"HEADLESS-") != PEER_HEADS:
                raise Failure(f"{name} did not list phoc's {PEER_HEADS} heads:\n{out.stdout.decode()}")
        # Rounds of one hyperfine invocation each, so that each round's ratios
        # compare runs made close together in time.
        rounds = 1 if args.smoke else PEER_ROUNDS
        walls = {name: [] for name, _ in commands}
        round_ratios = {name: [] for name, _ in commands}
        for number in range(rounds):
            log(f"peers: hyperfine, round {number + 1} of {rounds}")
            times = hyperfine(commands, phoc.env, workdir, args, peers=True)
            for name, _ in commands:
                walls[name] += times[name]
                round_ratios[name].append(statistics.median(times[name]) / statistics.median(times["wlr-randr"]))
        log(f"peers: each command beside wlr-randr, {args.pairs} rounds")
        beside = paired(commands, commands[[n for n, _ in commands].index("wlr-randr")], phoc.env, args.pairs)
        for name, argv in commands:
            log(f"peers: {name}: memory and instructions")
            safe = re.sub(r"[^a-z0-9]+", "-", name.lower()).strip("-")
            profile = profiles / f"peers-{safe}.callgrind"
            instructions = callgrind(argv, phoc.env, profile)
            rows.append({"command": name, "wall_ms": statistics.median(walls[name]) * 1000, "runs": len(walls[name]),
                         "round_ratios": round_ratios[name], **beside[name],
                         "peak_rss_kib": peak_rss_kib(argv, phoc.env), "instructions": instructions,
                         "by_object": cost_by_object(profile), "profile": str(profile)})
    return rows


def run_micro(build, smoke):
    if not build["micro"].exists():
        return None
    argv = [str(build["micro"]), "--benchmark_format=console", "--benchmark_counters_tabular=true"]
    if smoke:
        argv.append("--benchmark_min_time=0.01")
    out = subprocess.run(argv, capture_output=True, text=True, timeout=RUN_TIMEOUT)
    if out.returncode != 0:
        raise Failure(f"renderers-bench failed: {out.stderr}")
    return out.stdout


# ---------------------------------------------------------------- report

def machine(build_dir):
    def first_line(argv):
        try:
            return subprocess.run(argv, capture_output=True, text=True).stdout.splitlines()[0].strip()
        except (OSError, IndexError):
            return "?"

    cpu = "?"
    for line in pathlib.Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory = next((line.split(":", 1)[1].strip() for line in pathlib.Path("/proc/meminfo").read_text().splitlines()
                   if line.startswith("MemTotal")), "?")
    options = {}
    intro = pathlib.Path(build_dir) / "meson-info" / "intro-buildoptions.json"
    if intro.exists():
        options = {o["name"]: o["value"] for o in json.loads(intro.read_text())}
    debian = pathlib.Path("/etc/debian_version")
    return {
        "cpu": cpu, "cores": os.cpu_count(), "memory": memory, "kernel": platform.release(),
        "debian": debian.read_text().strip() if debian.exists() else "?",
        "compiler": first_line(["c++", "--version"]),
        "libwayland": first_line(["pkg-config", "--modversion", "wayland-client"]),
        "hyperfine": first_line(["hyperfine", "--version"]),
        "valgrind": first_line(["valgrind", "--version"]),
        "phoc": first_line(["dpkg-query", "-W", "-f", "${Version}", "phoc"]),
        "wlr-randr": first_line(["dpkg-query", "-W", "-f", "${Version}", "wlr-randr"]),
        "buildtype": options.get("buildtype", "?"), "b_sanitize": options.get("b_sanitize", "?"),
    }


def object_group(path):
    name = os.path.basename(path)
    if name.startswith("libwayland-client"):
        return "libwayland"
    if name.startswith("libc.so") or name.startswith("libm.so"):
        return "libc"
    if name.startswith("ld-linux"):
        return "ld.so"
    if name.startswith("libffi"):
        return "libffi"
    if name.startswith("libstdc++") or name.startswith("libgcc_s"):
        return "libstdc++"
    if name in ("ridaviduvo", "ridaviduvo-baseline", "wlr-randr"):
        return "program"
    return "other"


GROUPS = ["program", "libwayland", "libc", "ld.so", "libffi", "libstdc++", "other"]


def grouped(by_object):
    out = {g: 0 for g in GROUPS}
    for path, cost in by_object.items():
        out[object_group(path)] += cost
    return out


def fmt_int(n):
    return f"{n:,}"


def report(info, rows, peers, micro, args):
    lines = []
    add = lines.append
    add("## Machine\n")
    add(f"- CPU: {info['cpu']}, {info['cores']} cores; memory {info['memory']}; kernel {info['kernel']}; "
        f"Debian {info['debian']}")
    add(f"- {info['compiler']}; libwayland-client {info['libwayland']}; build type `{info['buildtype']}`, "
        f"sanitizers `{info['b_sanitize']}`")
    add(f"- {info['hyperfine']}; {info['valgrind']}; phoc {info['phoc']}; wlr-randr {info['wlr-randr']}")
    add(f"- hyperfine: `-N {' '.join(hyperfine_runs(args, False))}` (peers: `{' '.join(hyperfine_runs(args, True))}`), "
        f"stdout to /dev/null; wall time is the median; peak RSS is the median of three "
        f"`/usr/bin/time -f %M` runs; instructions are one `valgrind --tool=callgrind` run of the measured "
        f"process alone")
    add("")

    by_key = {(r["family"], r["scale"], r["command"]): r for r in rows}
    families = [f for f in ["windows", "scene", "outputs", "layout"] if any(r["family"] == f for r in rows)]
    add("## The tool against its floor\n")
    add("\"floor\" is the bare client (`benchmarks/baseline`, dispatchers); \"C listeners\" is the same client "
        "with wayland-scanner's listeners, called through libffi. \"wall ratio\" is measured in pairs: "
        f"round after round ({args.pairs} rounds, after two to warm up) the floor runs and then each command, "
        "and the ratio is the median over the rounds of (the command's wall time / the floor's in that round), "
        "so that a drift of the machine's speed cancels out. Minor page faults (median) and system time (mean, "
        "as the kernel counts it in whole ticks) are those of the same runs, from the kernel's account of each "
        "process. The instruction ratio is the tool's "
        "instructions over the floor's.\n")
    columns = ("| command | scale | wall ms (median) | runs | wall ratio (pairs) | minor faults | system ms | "
               "peak RSS KiB | instructions | floor instructions | instruction ratio |")
    add(columns)
    add("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |")

    def table_row(r, family, scale):
        floor = by_key[(family, scale, "floor")]["instructions"]
        ratio = f"{r['instructions'] / floor:.2f}" if r["command"] != "floor" else ""
        wall_ratio = f"{r['paired_ratio']:.2f}" if r["command"] != "floor" else "1.00"
        return (f"| `{r['command']}` | {fmt_int(scale)} | {r['wall_ms']:.2f} | {r['runs']} | {wall_ratio} | "
                f"{fmt_int(r['minor_faults'])} | {r['sys_ms']:.1f} | {fmt_int(r['peak_rss_kib'])} | "
                f"{fmt_int(r['instructions'])} | {fmt_int(floor)} | {ratio} |")

    for family in families:
        scales = sorted({r["scale"] for r in rows if r["family"] == family})
        names = [r["command"] for r in rows if r["family"] == family and r["scale"] == scales[0]
                 and not r["command"].endswith(" (release)")]
        for name in names:
            for scale in scales:
                add(table_row(by_key[(family, scale, name)], family, scale))
    add("")

    released = [r for r in rows if r["command"].endswith(" (release)")]
    if released:
        add("## The release build at the largest scale\n")
        add(f"The tool as `meson install` users get it (`--buildtype=release`, from {info.get('release', '?')}), "
            "beside the same floor and, for comparison, the debugoptimized build's row. Measured as above, "
            "in the same rounds.\n")
        add(columns)
        add("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |")
        for r in released:
            add(table_row(by_key[(r["family"], r["scale"], r["command"].removesuffix(" (release)"))], r["family"],
                          r["scale"]))
            add(table_row(r, r["family"], r["scale"]))
        add("")

    unit = {"windows": "window", "scene": "node", "outputs": "mode"}
    growth = [f for f in families if f in unit and len({r["scale"] for r in rows if r["family"] == f}) > 1]
    if growth:
        add("## Growth: instructions per item between scales\n")
        add("(instructions at the larger scale − at the smaller) / (items added); for outputs the items are "
            f"modes ({MODES_PER_HEAD} per head). Equal numbers in both columns mean linear growth.\n")
        for family in growth:
            scales = sorted({r["scale"] for r in rows if r["family"] == family})
            items = [s * (MODES_PER_HEAD if family == "outputs" else 1) for s in scales]
            steps = list(zip(range(len(scales) - 1), range(1, len(scales))))
            header = " | ".join(f"{fmt_int(items[a])} → {fmt_int(items[b])}" for a, b in steps)
            add(f"| {family}: per {unit[family]} | {header} |")
            add("| --- |" + " ---: |" * len(steps))
            names = [r["command"] for r in rows if r["family"] == family and r["scale"] == scales[0]]
            for name in names:
                cells = []
                for a, b in steps:
                    ia = by_key[(family, scales[a], name)]["instructions"]
                    ib = by_key[(family, scales[b], name)]["instructions"]
                    cells.append(f"{(ib - ia) / (items[b] - items[a]):,.0f}")
                add(f"| `{name}` | " + " | ".join(cells) + " |")
            add("")

    add("## Where the instructions go at the largest scale\n")
    add("Self instructions by ELF object (callgrind). \"program\" is the executable's own code, ours or the "
        "floor's (with libstdc++ linked in, for ridaviduvo).\n")
    add("| command | scale | " + " | ".join(GROUPS) + " |")
    add("| --- | ---: |" + " ---: |" * len(GROUPS))
    for family in families:
        largest = max(r["scale"] for r in rows if r["family"] == family)
        for r in rows:
            if r["family"] == family and r["scale"] == largest:
                g = grouped(r["by_object"])
                add(f"| `{r['command']}` | {fmt_int(largest)} | " + " | ".join(fmt_int(g[k]) for k in GROUPS) + " |")
    add("")

    if peers:
        wlr = next(p for p in peers if p["command"] == "wlr-randr")
        rounds = len(wlr["round_ratios"])
        add(f"## Side by side with wlr-randr on headless phoc ({PEER_HEADS} heads)\n")
        add(f"{rounds} round(s), each one hyperfine invocation running them all. The rounds' wall ratio is the "
            "median over the rounds of (the command's median / wlr-randr's median in that round), with the "
            "lowest and highest round; the wall time is the median of all runs. The paired wall ratio, faults "
            f"and system time come from {args.pairs} rounds of each command run right after wlr-randr, as in the "
            "table of the floor. The instruction ratio is over wlr-randr's instructions.\n")
        add("| command | wall ms (median) | runs | wall ratio (rounds' median) | lowest–highest round | "
            "wall ratio (pairs) | minor faults | system ms | peak RSS KiB | instructions | instruction ratio |")
        add("| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: | ---: |")
        for p in peers:
            ratios = p["round_ratios"]
            add(f"| `{p['command']}` | {p['wall_ms']:.2f} | {p['runs']} | {statistics.median(ratios):.2f} | "
                f"{min(ratios):.2f}–{max(ratios):.2f} | {p['paired_ratio']:.2f} | {fmt_int(p['minor_faults'])} | "
                f"{p['sys_ms']:.1f} | {fmt_int(p['peak_rss_kib'])} | {fmt_int(p['instructions'])} | "
                f"{p['instructions'] / wlr['instructions']:.2f} |")
        add("")
        add("| command | " + " | ".join(GROUPS) + " |")
        add("| --- |" + " ---: |" * len(GROUPS))
        for p in peers:
            g = grouped(p["by_object"])
            add(f"| `{p['command']}` | " + " | ".join(fmt_int(g[k]) for k in GROUPS) + " |")
        add("")

    hot = [r for r in rows if r.get("profile") and r["command"] not in ("floor", "C listeners")]
    if hot and not args.smoke:
        add("## Hottest functions of the tool at the largest scale\n")
        for r in hot:
            add(f"`{r['command']}` at {fmt_int(r['scale'])}:\n")
            add("```")
            for cost, name in top_functions(pathlib.Path(r["profile"]), 12):
                add(f"{cost:>13,}  {name[:150]}")
            add("```\n")

    if micro:
        add("## Microbenchmarks (benchmarks/renderers-bench)\n")
        add("```")
        add(micro.rstrip())
        add("```\n")
    return "\n".join(lines)


# ---------------------------------------------------------------- main

def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build", required=True, help="the meson build directory")
    ap.add_argument("--out", help="where the report goes (default: BUILD/bench-results)")
    ap.add_argument("--smoke", action="store_true", help="smallest scale only, few runs, no microbenchmarks")
    ap.add_argument("--min-runs", type=int, default=30,
                    help="hyperfine --min-runs (default 30; peers get three times as many); "
                         "hyperfine also runs each command for at least 3 seconds")
    ap.add_argument("--warmup", type=int, default=3, help="hyperfine --warmup (default 3)")
    ap.add_argument("--pairs", type=int, default=None,
                    help="rounds of the paired wall, fault and system time measurement (default 30; smoke 3)")
    ap.add_argument("--release", help="a release build directory (--buildtype=release) whose tool is measured "
                                      "beside the others at the largest scale and on phoc")
    ap.add_argument("--skip-peers", action="store_true", help="no phoc and wlr-randr")
    ap.add_argument("--skip-micro", action="store_true", help="no microbenchmarks")
    args = ap.parse_args()
    if args.pairs is None:
        args.pairs = 3 if args.smoke else 30

    build_dir = pathlib.Path(args.build).resolve()
    build = {
        "tool": str(build_dir / "src" / "ridaviduvo"),
        "mock": str(build_dir / "tools" / "mock-compositor" / "mock-compositor"),
        "baseline": str(build_dir / "benchmarks" / "baseline" / "ridaviduvo-baseline"),
        "micro": build_dir / "benchmarks" / "renderers-bench",
    }
    for key in ("tool", "mock", "baseline"):
        if not os.access(build[key], os.X_OK):
            log(f"FAIL: {build[key]} is not built (ninja -C {build_dir})")
            return 1
    release = None
    if args.release:
        release = {"tool": str(pathlib.Path(args.release).resolve() / "src" / "ridaviduvo")}
        if not os.access(release["tool"], os.X_OK):
            log(f"FAIL: {release['tool']} is not built (ninja -C {args.release})")
            return 1
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    started = time.monotonic()
    out_dir = pathlib.Path(args.out) if args.out else build_dir / "bench-results"
    workdir = pathlib.Path(tempfile.mkdtemp(prefix="rdv-bench-"))
    try:
        need_programs(args.smoke, args.skip_peers)
        out_dir.mkdir(parents=True, exist_ok=True)
        profiles = out_dir / "callgrind"
        shutil.rmtree(profiles, ignore_errors=True)
        profiles.mkdir()
        rows = []
        for family in ["windows", "scene", "outputs", "layout"]:
            scales = SCALES.get(family, [1])
            rows += measure_family(build, family, scales[:1] if args.smoke else scales, args, workdir, profiles,
                                   release)
        peers = None if args.skip_peers else measure_peers(build, args, workdir, profiles, release)
        micro = None if args.smoke or args.skip_micro else run_micro(build, args.smoke)
        info = machine(build_dir)
        if release:
            info["release"] = f"`{args.release}`, build type `{machine(pathlib.Path(args.release))['buildtype']}`"
        text = report(info, rows, peers, micro, args)
        (out_dir / "report.md").write_text(text + "\n")
        (out_dir / "results.json").write_text(json.dumps({"machine": info, "rows": rows, "peers": peers},
                                                         indent=1) + "\n")
        print(text)
        log(f"report: {out_dir / 'report.md'} ({time.monotonic() - started:.0f}s)")
    except Failure as failure:
        log(f"FAIL: {failure}")
        return 1
    finally:
        shutil.rmtree(workdir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
