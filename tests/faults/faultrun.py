"""What the fault drivers share: running the mock compositor on a private
socket and one tool process against it, with the outcome collected as bytes.

A driver imports this module from tests/faults; the end-to-end cases are
read through tests/e2e/run_cases.py, so every driver plays the same cases.
"""

import argparse
import concurrent.futures
import dataclasses
import json
import os
import pathlib
import re
import signal
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent
E2E = HERE.parent / "e2e"
sys.path.insert(0, str(E2E))
import run_cases  # noqa: E402  (the end-to-end runner: its case loader and consumers)

# The demo desktop (windows, outputs, a scene graph and layouts) and one
# command line per command against it; the last is a refused layout change,
# whose JSON goes out with status 1.
DESKTOP = HERE.parent.parent / "examples" / "desktop.json"
DESKTOP_COMMANDS = [
    ["windows"],
    ["windows", "--json"],
    ["inspect", "--rule"],
    ["scene"],
    ["scene", "--dot"],
    ["outputs"],
    ["outputs", "--json"],
    ["layout", "--output", "eDP-1", "--json"],
    ["layout", "--output", "eDP-1", "--set", "monocle", "--json"],
    ["layout", "--output", "eDP-1", "--set", "no-such-layout", "--json"],
]

SOCKET = "wayland-faults"
TOOL_TIMEOUT = 60
CONNECTION_FAILED = b"ridaviduvo: Wayland connection failed\n"
OUT_OF_MEMORY = b"error: OutOfMemory\n"
WRITE_FAILED = b"error: WriteFailed\n"
SANITIZER_MARKS = (b"ERROR: AddressSanitizer", b"ERROR: LeakSanitizer", b"runtime error:",
                   b"SUMMARY: UndefinedBehaviorSanitizer")

# The one leak of another library that LeakSanitizer is told to pass over
# (the file says which and why). A run that used it says so at the end of
# its standard error; Outcome.suppressed keeps what it used, and a driver
# must accept that explicitly (alloc_faults.py, for libwayland's failed
# connect alone): anywhere else it counts as a sanitizer report.
LSAN_SUPPRESSIONS = HERE / "libwayland.supp"

# Sanitizer settings for every tool run: stop at the first report, look for
# leaks, and keep the exit status of a report distinct from the tool's own.
SANITIZER_ENV = {
    "ASAN_OPTIONS": "detect_leaks=1:exitcode=86:abort_on_error=0",
    "UBSAN_OPTIONS": "halt_on_error=1:print_stacktrace=1:exitcode=87",
    "LSAN_OPTIONS": f"exitcode=86:suppressions={LSAN_SUPPRESSIONS}:print_suppressions=1",
}

# LeakSanitizer's table of the suppressions a run used, at the end of
# standard error.
SUPPRESSIONS_USED = re.compile(rb"-{10,}\nSuppressions used:\n  count      bytes template\n((?: +\d+ +\d+ .*\n)+)"
                               rb"-{10,}\n\n?\Z")


def split_suppressions(err):
    """(standard error without LeakSanitizer's table of suppressions used,
    the names of those suppressions)."""
    match = SUPPRESSIONS_USED.search(err)
    if not match:
        return err, ()
    names = tuple(line.split(None, 2)[2].decode() for line in match.group(1).splitlines())
    return err[:match.start()], names


@dataclasses.dataclass
class Outcome:
    status: int          # exit status, or -N for a process ended by signal N
    stdout: bytes
    stderr: bytes
    log: list            # the mock's log lines (requests, events, faults)
    mock_status: int
    mock_stderr: bytes
    hung: bool = False
    suppressed: tuple = ()   # the LeakSanitizer suppressions the run used

    def sanitizer_report(self, accept_suppressed=False):
        """Whether a sanitizer reported anything; a suppression used counts
        unless the caller accepts it."""
        return any(mark in self.stderr for mark in SANITIZER_MARKS) or bool(self.suppressed and
                                                                            not accept_suppressed)

    def key(self):
        return (self.status, self.stdout, self.stderr)


def scenario_of(case):
    """The case's scenario as a JSON object."""
    if "scenario_file" in case:
        return json.loads((E2E / "scenarios" / case["scenario_file"]).read_text())
    return case.get("scenario", {})


def run(tool, args, scenario=None, compositor="mock", mock=None, mock_args=(), env_extra=None,
        stdout=None, stderr=None, preexec=None, restore_signals=True):
    """Starts the mock (unless compositor is "none"), runs the tool once and
    collects everything. `stdout`/`stderr` may name a file to write to
    instead of a pipe ("/dev/full")."""
    with tempfile.TemporaryDirectory(prefix="rdv-faults-") as tmp:
        runtime = pathlib.Path(tmp, "runtime")
        runtime.mkdir(mode=0o700)
        log_path = pathlib.Path(tmp, "requests.log")
        env = {k: v for k, v in os.environ.items() if not k.startswith("WAYLAND_")}
        env.update(SANITIZER_ENV)
        env["XDG_RUNTIME_DIR"] = str(runtime)
        env["WAYLAND_DISPLAY"] = SOCKET
        if env_extra:
            env.update(env_extra)

        server = None
        if compositor in ("mock", "idle"):
            scenario_path = pathlib.Path(tmp, "scenario.json")
            scenario_path.write_text(json.dumps(scenario or {}))
            server = subprocess.Popen(
                [mock, "--scenario", str(scenario_path), "--socket", SOCKET, "--log", str(log_path),
                 "--timeout", "2" if compositor == "idle" else "60", *mock_args],
                env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if server.stdout.readline() != b"ready\n":
                server.kill()
                _, err = server.communicate()
                raise RuntimeError(f"mock compositor did not start: {err.decode(errors='replace')}")

        files = []
        try:
            out_target = subprocess.PIPE
            err_target = subprocess.PIPE
            if stdout is not None:
                out_target = stdout if not isinstance(stdout, str) else open(stdout, "wb")
                files.append(out_target)
            if stderr is not None:
                err_target = stderr if not isinstance(stderr, str) else open(stderr, "wb")
                files.append(err_target)
            hung = False
            try:
                proc = subprocess.run([tool, *args], env=env, stdin=subprocess.DEVNULL, stdout=out_target,
                                      stderr=err_target, timeout=TOOL_TIMEOUT, preexec_fn=preexec,
                                      restore_signals=restore_signals)
                status, out, err = proc.returncode, proc.stdout or b"", proc.stderr or b""
            except subprocess.TimeoutExpired as expired:
                hung = True
                status, out, err = None, expired.stdout or b"", expired.stderr or b""
        finally:
            for f in files:
                if hasattr(f, "close") and f not in (subprocess.PIPE,):
                    try:
                        f.close()
                    except OSError:
                        pass

        mock_status, mock_err = 0, b""
        if server:
            try:
                mock_status = server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                server.send_signal(signal.SIGKILL)
                mock_status = server.wait()
            mock_err = server.stderr.read()
            server.stdout.close()
            server.stderr.close()
        log = log_path.read_text(errors="replace").splitlines() if log_path.exists() else []
        err, suppressed = split_suppressions(err)
        return Outcome(status if status is not None else -999, out, err, log, mock_status, mock_err, hung,
                       suppressed)


def driver_options(doc):
    """The command line of a driver that runs the tool against the mock:
    --tool, --mock (RDV_FAULTS_MOCK overrides it) and --jobs."""
    parser = argparse.ArgumentParser(description=doc.splitlines()[0])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--mock", required=True)
    parser.add_argument("--jobs", type=int, default=2)
    options = parser.parse_args()
    options.mock = os.environ.get("RDV_FAULTS_MOCK", options.mock)
    return options


def parallel(jobs, function, items):
    """function(item) for every item on `jobs` threads, results in order."""
    with concurrent.futures.ThreadPoolExecutor(max_workers=jobs) as pool:
        return list(pool.map(function, items))


def last_line(data):
    lines = data.splitlines(keepends=True)
    return lines[-1] if lines else b""


def short(data, limit=300):
    text = repr(data)
    return text if len(text) <= limit else text[:limit] + "..."
