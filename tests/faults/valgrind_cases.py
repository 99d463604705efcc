#!/usr/bin/env python3
"""No leaks, no invalid access: every end-to-end case (tests/e2e/cases and
tests/faults/cases) is played by the end-to-end runner with the tool under
valgrind memcheck (tests/faults/valgrind_tool.sh). All the case's own checks
apply (exact bytes, status, request log); on top, any memcheck error, and any
block definitely or indirectly lost at exit, turns the tool's status into 99,
so the case fails on its status. That covers the runs that end through the
entry point (status 0 and the "error: " failures) and, as well, those that
end at once through exit.

Needs valgrind and a tool built without sanitizers. Exit status 0 when every
case passed, 1 when one failed, 77 (skipped) when valgrind is missing.
"""

import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

HERE = pathlib.Path(__file__).resolve().parent


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True, help="ridaviduvo built without sanitizers")
    parser.add_argument("--mock", required=True)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--filter", default="")
    options = parser.parse_args()
    if shutil.which("valgrind") is None:
        print("SKIPPED: valgrind is not installed (apt-get install valgrind)")
        return 77

    with tempfile.TemporaryDirectory(prefix="rdv-valgrind-") as logs:
        env = dict(os.environ, RDV_VALGRIND_TOOL=os.path.abspath(options.tool), RDV_VALGRIND_LOGS=logs)
        run = subprocess.run(
            [sys.executable, str(HERE.parent / "e2e" / "run_cases.py"), "--tool", str(HERE / "valgrind_tool.sh"),
             "--mock", options.mock, "--jobs", str(options.jobs), "--filter", options.filter,
             str(HERE.parent / "e2e" / "cases"), str(HERE / "cases")],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        print(run.stdout, end="")
        reports = sorted(pathlib.Path(logs).glob("*.log"))
        dirty = []
        for report in reports:
            text = report.read_text(errors="replace")
            errors = re.search(r"ERROR SUMMARY: (\d+) errors", text)
            if (errors and errors.group(1) != "0") or "definitely lost" in text or "indirectly lost" in text \
                    or "Invalid " in text:
                dirty.append(text)
        for text in dirty:
            print("valgrind report:\n  " + text.strip().replace("\n", "\n  "))
        print(f"valgrind: {len(reports)} tool runs under memcheck, {len(dirty)} with an error or a leak")
    return 1 if run.returncode != 0 or dirty else 0


if __name__ == "__main__":
    sys.exit(main())
