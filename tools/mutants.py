#!/usr/bin/env python3
"""One-edit mutants of the snapshot store and the writing fast paths, run
against the fast suites.

Each mutant in the list (tools/mutants.json) names a file, an exact piece of
its text (which must occur exactly once) and what replaces it. In turn, each
is applied in place, the build directory is rebuilt and
`meson test unit e2e` runs; the file is then restored, whatever happened.
A mutant is killed when the build or a suite fails, or the suites run past
the timeout. A mutant the list marks "equivalent" (with why) changes no
behaviour the suites can see; it is still run, and reported apart.

  mutants.py [--build DIR] [--sanitize] [--only SUBSTRING] [--list FILE] [--report FILE]

--sanitize runs against build-sanitize (or --build) with the options
`make sanitize` uses, for the mutants that only a memory checker sees. A
build directory set up where ccache is installed (meson then uses it) makes
the rebuild after each restore a matter of seconds.
The exit status is 1 when a mutant not marked equivalent survived.
"""

import argparse
import json
import os
import pathlib
import signal
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
SUITES = ["unit", "e2e"]
# What the two suites run: the tool, the unit tests and the mock.
TARGETS = ["src/ridaviduvo", "tests/unit-tests", "tools/mock-compositor/mock-compositor"]
TIMEOUT = 600


def run(command, env=None, timeout=None):
    try:
        done = subprocess.run(command, cwd=ROOT, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout)
        return done.returncode, done.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired as expired:
        return "timeout", (expired.stdout or b"").decode(errors="replace")


def first_failure(output):
    for line in output.splitlines():
        if line.startswith("FAIL ") or "[  FAILED  ]" in line or "error:" in line or "ERROR: " in line:
            return line.strip()[:160]
    return output.strip().splitlines()[-1][:160] if output.strip() else ""


def try_mutant(mutant, build, env):
    path = ROOT / mutant["file"]
    original = path.read_text()
    count = original.count(mutant["original"])
    if count != 1:
        return "invalid", f"the original text occurs {count} times in {mutant['file']}"
    try:
        path.write_text(original.replace(mutant["original"], mutant["replacement"]))
        status, output = run(["ninja", "-C", build, "-j2", *TARGETS])
        if status != 0:
            return "killed", "build: " + first_failure(output)
        status, output = run(["meson", "test", "-C", build, "--no-rebuild", "--print-errorlogs", *SUITES],
                             env=env, timeout=TIMEOUT)
        if status == "timeout":
            return "killed", "the suites ran past the timeout"
        if status != 0:
            return "killed", first_failure(output)
        return "survived", ""
    finally:
        path.write_text(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build")
    parser.add_argument("--sanitize", action="store_true")
    parser.add_argument("--only", default="")
    parser.add_argument("--list", default=str(ROOT / "tools" / "mutants.json"))
    parser.add_argument("--report")
    options = parser.parse_args()
    # A stop in mid-run still restores the mutated file (finally, below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    build = options.build or ("build-sanitize" if options.sanitize else "build")
    env = dict(os.environ)
    if options.sanitize:
        env.update(UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1", ASAN_OPTIONS="detect_leaks=1")

    mutants = [m for m in json.loads(pathlib.Path(options.list).read_text())["mutants"]
               if options.only in m["file"] + " " + m["note"]]
    status, output = run(["ninja", "-C", build, "-j2", *TARGETS])
    if status != 0:
        sys.exit(f"the unmutated tree does not build in {build}:\n{output}")
    status, output = run(["meson", "test", "-C", build, "--no-rebuild", *SUITES], env=env, timeout=TIMEOUT)
    if status != 0:
        sys.exit(f"the suites fail without a mutant:\n{output}")

    results = []
    for number, mutant in enumerate(mutants, 1):
        started = time.monotonic()
        outcome, detail = try_mutant(mutant, build, env)
        equivalent = "equivalent" in mutant
        label = outcome if outcome != "survived" or not equivalent else "survived (equivalent)"
        print(f"{number:3}/{len(mutants)} {label:22} {mutant['file']}: {mutant['note']}"
              f" ({time.monotonic() - started:.0f} s){': ' + detail if detail else ''}", flush=True)
        results.append({**mutant, "outcome": outcome, "detail": detail})
    run(["ninja", "-C", build, "-j2", *TARGETS])  # the build as the tree is again

    def count(predicate):
        return sum(1 for r in results if predicate(r))
    killed = count(lambda r: r["outcome"] == "killed")
    equivalent = count(lambda r: "equivalent" in r)
    survivors = [r for r in results if r["outcome"] == "survived" and "equivalent" not in r]
    invalid = [r for r in results if r["outcome"] == "invalid"]
    changing = len(results) - equivalent - len(invalid)
    print(f"{len(results)} mutants in {build}: {killed} killed, {len(survivors)} survived, "
          f"{equivalent} marked equivalent ({count(lambda r: 'equivalent' in r and r['outcome'] == 'killed')} "
          f"of them killed all the same), {len(invalid)} invalid")
    if changing:
        killed_changing = count(lambda r: r["outcome"] == "killed" and "equivalent" not in r)
        print(f"of the {changing} that change behaviour: {killed_changing} killed "
              f"({100 * killed_changing / changing:.0f}%)")
    for r in survivors:
        print(f"survived: {r['file']}: {r['note']}")
    for r in invalid:
        print(f"invalid: {r['file']}: {r['note']}: {r['detail']}")
    if options.report:
        pathlib.Path(options.report).write_text(json.dumps(results, indent=1) + "\n")
    return 1 if survivors or invalid else 0


if __name__ == "__main__":
    sys.exit(main())
