#!/usr/bin/env python3
"""Names the suites that the last `meson test` in a build directory skipped,
each with why and the one command that installs what it lacks, so that a
skip cannot pass unseen behind meson's "Skipped: N" line.

  tests/report_skips.py BUILD

A suite that skips prints a line "SKIPPED: <why>" and, where packages would
make it run, "NEEDS: <command>" (tests/ecosystem/ecosystem_support.py).

Exit status: 0, or 1 when a suite was skipped and the variable CI is set
(under CI every suite must run), or when there is no test log.
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


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    log = pathlib.Path(sys.argv[1], "meson-logs", "testlog.json")
    if not log.is_file():
        print(f"report_skips: no test log at {log}", file=sys.stderr)
        return 1
    skipped = skipped_suites(log)
    if not skipped:
        return 0
    print(f"\n{len(skipped)} suite{'s' if len(skipped) > 1 else ''} skipped, not run:")
    for name, why, command in skipped:
        print(f"  {name}: {why}")
        if command:
            print(f"      to run it: {command}")
    print("Everything every suite needs: sudo tools/install-deps.sh test")
    if os.environ.get("CI"):
        print("CI is set: a skipped suite is a failure here.")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
