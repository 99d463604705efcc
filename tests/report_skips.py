#!/usr/bin/env python3
"""Names the suites that the last `meson test` in a build directory skipped,
each with why and the one command that installs what it lacks, so that a
skip cannot pass unseen behind meson's "Skipped: N" line.

  tests/report_skips.py BUILD
  tests/report_skips.py --all-passed BUILD

A suite that skips prints a line "SKIPPED: <why>" and, where packages would
make it run, "NEEDS: <command>" (tests/ecosystem/ecosystem_support.py).

Exit status: 0, or 1 when a suite was skipped and the variable CI is set
(under CI every suite must run), or when there is no test log.

With --all-passed it also prints the suite counts ("12 suites defined: 12
ran, 12 passed, 0 failed, 0 skipped") and exits with 1 unless every suite
the build defines ran and passed.
"""

import json
import os
import pathlib
import sys


def skipped_suites(log):
    """(name, why, command) of every skipped test of a testlog.json."""
    found = []
    for line in log.read_text().splitlines():
        try:
            result = json.loads(line)
        except ValueError:
            continue
        if result.get("result") != "SKIP":
            continue
        why, command = "no reason given", None
        for out in ((result.get("stdout") or "") + "\n" + (result.get("stderr") or "")).splitlines():
            if out.startswith("SKIPPED: "):
                why = out[len("SKIPPED: "):]
            elif out.startswith("NEEDS: "):
                command = out[len("NEEDS: "):]
        found.append((result.get("name", "?"), why, command))
    return found


def results(log):
    """{name: result} of the last run of each test in a testlog.json."""
    found = {}
    for line in log.read_text().splitlines():
        try:
            result = json.loads(line)
        except ValueError:
            continue
        found[result.get("name", "?")] = result.get("result")
    return found


def all_passed(build, log):
    """Prints the counts; whether every test the build defines passed."""
    defined = [test["name"] for test in json.loads(
        pathlib.Path(build, "meson-info", "intro-tests.json").read_text())]
    ran = results(log)
    counts = {kind: sum(1 for name in defined if ran.get(name) == kind) for kind in ("OK", "FAIL", "SKIP")}
    not_run = [name for name in defined if name not in ran]
    others = [name for name in defined if ran.get(name) not in (None, "OK", "FAIL", "SKIP")]
    print(f"{len(defined)} suites defined: {len(defined) - len(not_run)} ran, {counts['OK']} passed, "
          f"{counts['FAIL'] + len(others)} failed, {counts['SKIP']} skipped")
    for name in defined:
        if ran.get(name) != "OK":
            print(f"  {name}: {ran.get(name) or 'not run'}")
    return bool(defined) and counts["OK"] == len(defined)


def main():
    args = sys.argv[1:]
    require_all = args[:1] == ["--all-passed"]
    if require_all:
        args = args[1:]
    if len(args) != 1:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    log = pathlib.Path(args[0], "meson-logs", "testlog.json")
    if not log.is_file():
        print(f"report_skips: no test log at {log}", file=sys.stderr)
        return 1
    passed = all_passed(args[0], log) if require_all else True
    skipped = skipped_suites(log)
    if not skipped:
        return 0 if passed else 1
    print(f"\n{len(skipped)} suite{'s' if len(skipped) > 1 else ''} skipped, not run:")
    for name, why, command in skipped:
        print(f"  {name}: {why}")
        if command:
            print(f"      to run it: {command}")
    print("Everything every suite needs: sudo tools/install-deps.sh test")
    if os.environ.get("CI"):
        print("CI is set: a skipped suite is a failure here.")
        return 1
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
