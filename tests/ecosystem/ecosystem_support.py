"""Shared pieces of the tests that run real programs: skipping loudly, and
compositors to run the tool against (the mock compositor playing a scenario,
no compositor at all, or a socket that accepts clients and never answers)."""

import contextlib
import json
import os
import pathlib
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile

SKIP = 77
SOCKET = "wayland-eco"


class Tally:
    """The checks of one test program: prints "ok" lines as they pass, and at
    the end the failures and the count."""

    def __init__(self):
        self.failures = []
        self.passed = 0

    def report(self, name, problems, note=""):
        if problems:
            self.failures.append((name, problems))
        else:
            self.passed += 1
            print(f"ok   {name}{note}")

    def summary(self):
        """Prints the failures and the count; returns 1 when a check failed, else 0."""
        for name, problems in self.failures:
            print(f"FAIL {name}")
            for problem in problems:
                print("  " + problem.replace("\n", "\n  "))
        print(f"{self.passed} passed, {len(self.failures)} failed")
        return 1 if self.failures else 0


def skip(reason, needs=None):
    """Ends a test that cannot run as skipped (meson's status 77), saying why
    and, as `needs`, the command that would let it run (tests/report_skips.py
    shows both at the end of `make test`). Where the variable CI is set,
    every suite must run: the test fails instead."""
    if os.environ.get("CI"):
        print(f"FAILED: cannot run, and CI is set: {reason}", flush=True)
        sys.exit(1)
    print(f"SKIPPED: {reason}", flush=True)
    if needs:
        print(f"NEEDS: {needs}", flush=True)
    sys.exit(SKIP)


def apt(*packages):
    """The command that installs Debian packages, for skip()'s `needs`."""
    return "sudo apt-get install -y --no-install-recommends " + " ".join(packages)


def missing_programs(programs):
    """The Debian packages of those of {program: package} that are not on PATH."""
    return sorted({package for program, package in programs.items() if shutil.which(program) is None})


def man_page_not_built():
    """Why the manual page was not built, and what would build it."""
    if shutil.which("scdoc") is None:
        return "the manual page was not built: scdoc is missing", apt("scdoc")
    return ("the manual page was not built: the build was configured before scdoc was installed, "
            "or with -Dman-pages=disabled",
            "make test (it configures the build again), or meson configure BUILD -Dman-pages=auto")


def c_string_constants(header):
    """The string constants of a C++ header (name = "..." "..."; with the
    pieces joined and the escapes decoded): name -> text."""
    constants = {}
    for match in re.finditer(r'(k\w+)\s*=\s*((?:"(?:[^"\\]|\\.)*"\s*)+);', header):
        pieces = re.findall(r'"((?:[^"\\]|\\.)*)"', match.group(2))
        constants[match.group(1)] = "".join(pieces).encode().decode("unicode_escape")
    return constants


def run_limited(command, seconds, **kwargs):
    """subprocess.run in a process group of its own; when it outlives the
    limit, the whole group is killed and None is returned."""
    process = subprocess.Popen(command, start_new_session=True, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    try:
        out, err = process.communicate(timeout=seconds)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        return None
    return subprocess.CompletedProcess(command, process.returncode, out, err)


def clean_environment(runtime):
    """The environment of a Wayland client of a compositor on SOCKET in
    runtime, with no other display inherited."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("WAYLAND_")}
    env["XDG_RUNTIME_DIR"] = str(runtime)
    env["WAYLAND_DISPLAY"] = SOCKET
    return env


@contextlib.contextmanager
def compositor(kind, mock=None, scenario=None):
    """Yields the environment of a client of a compositor of the given kind:
      "mock"    the mock compositor serving scenario (a path, or a dict
                written to a file) to any number of clients;
      "none"    nothing listens on the socket;
      "silent"  a socket that accepts every client and never answers.
    Everything started here is stopped, by process id, on leaving."""
    with tempfile.TemporaryDirectory(prefix="rdv-eco-") as tmp:
        runtime = pathlib.Path(tmp, "runtime")
        runtime.mkdir(mode=0o700)
        env = clean_environment(runtime)
        if kind == "none":
            yield env
            return
        if kind == "silent":
            listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            listener.bind(str(runtime / SOCKET))
            listener.listen(64)  # the kernel accepts; nobody reads or writes
            try:
                yield env
            finally:
                listener.close()
            return
        assert kind == "mock", kind
        if isinstance(scenario, dict):
            path = pathlib.Path(tmp, "scenario.json")
            path.write_text(json.dumps(scenario))
            scenario = path
        server = subprocess.Popen(
            [str(mock), "--scenario", str(scenario), "--socket", SOCKET, "--persist", "--timeout", "0"],
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            if server.stdout.readline() != b"ready\n":
                server.kill()
                _, err = server.communicate()
                raise RuntimeError(f"the mock compositor did not start: {err.decode(errors='replace')}")
            yield env
        finally:
            server.terminate()
            try:
                server.wait(timeout=10)
            except subprocess.TimeoutExpired:
                server.kill()
                server.wait()
