#!/usr/bin/env python3
"""Broken streams, for every command, with a small result (flushed once at
the end) and a large one (more than the 16,384-byte buffer, so that a write
fails in the middle of the rendering):

  * standard output on a full disk (/dev/full): "error: WriteFailed" and
    nothing else on standard error, status 1, after teardown: the mock's
    request log is the normal run's log, releases of every output head and
    mode included, ending in "disconnect";
  * standard output a pipe whose reader has gone: the process ends by
    SIGPIPE (no handler), with nothing on standard error;
  * the same pipe with SIGPIPE ignored by the parent: the write fails,
    "error: WriteFailed", status 1;
  * standard error on a full disk: the usage text (status 1 instead of 2),
    a missing compositor, a missing global, a time-out and a broken
    connection all end with status 1 and nothing on standard output.

Exit status 0 when every run behaved, 1 otherwise.
"""

import copy
import json
import os
import signal
import sys

import faultrun

DESKTOP = json.loads(faultrun.DESKTOP.read_text())

# The demo desktop with enough of everything that every rendering is larger
# than the standard output buffer.
LARGE = copy.deepcopy(DESKTOP)
LARGE["windows_generate"] = {"count": 400}
LARGE.setdefault("output_manager", {})["heads_generate"] = {"count": 100, "modes": 4}
LARGE.setdefault("scene", {})["nodes_generate"] = {"count": 1000, "fanout": 4}
# Layout names of control bytes, each written as a six-byte escape: a layout
# line longer than the buffer from requests that still fit in one message.
LONG_LAYOUT = "\x01" * 3000
NEW_LONG_LAYOUT = "\x02" * 3000
LARGE["layout"]["outputs"]["eDP-1"].update(layout=LONG_LAYOUT,
                                           layouts=[LONG_LAYOUT, NEW_LONG_LAYOUT])

COMMANDS = faultrun.DESKTOP_COMMANDS


def large_args(args):
    return [NEW_LONG_LAYOUT if a == "monocle" else a for a in args]


def closed_pipe():
    read_end, write_end = os.pipe()
    os.close(read_end)
    return write_end


def main():
    options = faultrun.driver_options(__doc__)
    tool, mock = options.tool, options.mock

    checks = []  # (name, function returning a list of problems)

    def add(name):
        def register(function):
            checks.append((name, function))
            return function
        return register

    for size, scenario in (("small", DESKTOP), ("large", LARGE)):
        for base_args in COMMANDS:
            args = large_args(base_args) if size == "large" else base_args
            label = f"{' '.join(base_args)} ({size})"

            def full_disk(args=args, scenario=scenario, size=size):
                normal = faultrun.run(tool, args, scenario, mock=mock)
                problems = []
                if normal.status not in (0, 1) or not normal.stdout or normal.sanitizer_report():
                    return [f"the normal run went wrong: status {normal.status}, {faultrun.short(normal.stderr)}"]
                if size == "large" and len(normal.stdout) <= 16384:
                    problems.append(f"the large result has only {len(normal.stdout)} bytes")
                full = faultrun.run(tool, args, scenario, mock=mock, stdout="/dev/full")
                if full.key() != (1, b"", faultrun.WRITE_FAILED):
                    problems.append(f"status {full.status}, stderr {faultrun.short(full.stderr, 2000)}")
                if full.log != normal.log:
                    problems.append("request log differs from the normal run's:\n  want: " +
                                    "\n        ".join(normal.log[-12:]) + "\n  got:  " + "\n        ".join(full.log[-12:]))
                if not full.log or full.log[-1] != "disconnect":
                    problems.append("the log does not end in disconnect")
                if args[0] == "outputs" and not any(".release" in line for line in full.log):
                    problems.append("no release in the log")
                return problems

            def broken_pipe(args=args, scenario=scenario):
                fd = closed_pipe()
                try:
                    outcome = faultrun.run(tool, args, scenario, mock=mock, stdout=os.fdopen(fd, "wb"))
                except Exception:
                    os.close(fd)
                    raise
                problems = []
                if outcome.status != -signal.SIGPIPE:
                    problems.append(f"status {outcome.status}, want death by SIGPIPE; "
                                    f"stderr {faultrun.short(outcome.stderr, 2000)}")
                if outcome.stderr:
                    problems.append(f"standard error: {faultrun.short(outcome.stderr, 2000)}")
                return problems

            def ignored_pipe(args=args, scenario=scenario):
                fd = closed_pipe()
                outcome = faultrun.run(tool, args, scenario, mock=mock, stdout=os.fdopen(fd, "wb"),
                                       preexec=lambda: signal.signal(signal.SIGPIPE, signal.SIG_IGN),
                                       restore_signals=False)
                if outcome.key() != (1, b"", faultrun.WRITE_FAILED):
                    return [f"status {outcome.status}, stderr {faultrun.short(outcome.stderr, 2000)}"]
                return []

            add(f"full disk: {label}")(full_disk)
            add(f"closed pipe: {label}")(broken_pipe)
            add(f"closed pipe, SIGPIPE ignored: {label}")(ignored_pipe)

    def stderr_full(args, scenario, compositor="mock"):
        outcome = faultrun.run(tool, args, scenario, compositor=compositor, mock=mock, stderr="/dev/full")
        problems = []
        if outcome.status != 1:
            problems.append(f"status {outcome.status}, want 1")
        if outcome.stdout:
            problems.append(f"standard output: {faultrun.short(outcome.stdout)}")
        if outcome.hung:
            problems.append("the tool hung")
        return problems

    add("standard error full: usage")(lambda: stderr_full([], None, compositor="idle"))
    add("standard error full: usage, two arguments")(lambda: stderr_full(["windows", "--dot"], None,
                                                                         compositor="idle"))
    add("standard error full: no compositor")(lambda: stderr_full(["windows"], None, compositor="none"))
    add("standard error full: no output manager")(lambda: stderr_full(
        ["outputs"], {"globals": [{"interface": "ext_foreign_toplevel_list_v1", "version": 1}]}))
    add("standard error full: window time-out")(lambda: stderr_full(
        ["windows"], {"toplevel_list": {"finished_delay": None}}))
    add("standard error full: broken connection")(lambda: stderr_full(
        ["scene"], {"script": [{"at_sync": 2, "do": "disconnect"}]}))

    results = faultrun.parallel(options.jobs, lambda check: (check[0], check[1]()), checks)
    failed = 0
    for name, problems in results:
        if problems:
            failed += 1
            print(f"FAIL {name}")
            for problem in problems:
                print("  " + problem.replace("\n", "\n  "))
        else:
            print(f"ok   {name}")
    print(f"stream faults: {len(results)} checks, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
