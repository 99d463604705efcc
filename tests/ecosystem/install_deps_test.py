#!/usr/bin/env python3
"""Runs tools/install-deps.sh through the cases of install_deps_cases.json,
each on a machine of its own making: PATH holds only the commands the case
has (stubs) and the few real ones the script uses; dpkg-query and pkg-config
answer from the case's packages and modules; apt-get is a recorder; the
release comes from an os-release file of the case. Compares the status, the
exact lines on stdout and stderr and every apt-get call.

Cases that are not root run as the user nobody (through setpriv) when this
test runs as root, so the script sees a real non-root id; cases that are
root, when this test is not, get an `id` that answers 0.

  install_deps_test.py --source-root DIR

Exit status: 0 passed, 1 failed.
"""

import argparse
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from ecosystem_support import Tally  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
REAL_COMMANDS = ["sed", "grep", "sort", "tr", "id"]  # what the script itself runs
NOBODY = 65534

# The stand-ins use only the shell's builtins; {machine} is their directory's parent.
DPKG_QUERY = """#!/bin/sh
# dpkg-query -W -f='${{Status}}' PACKAGE
read -r list <{machine}/packages
case " $list " in
*" $3 "*) printf 'install ok installed' ;;
*) echo "dpkg-query: no packages found matching $3" >&2; exit 1 ;;
esac
"""
PKG_CONFIG = """#!/bin/sh
# pkg-config --exists MODULE
[ "$1" = --exists ] || exit 2
read -r list <{machine}/modules
case " $list " in
*" $2 "*) exit 0 ;;
*) exit 1 ;;
esac
"""
APT_GET = """#!/bin/sh
echo "apt-get $*" >>{machine}/apt-calls
"""
FAKE_ROOT_ID = """#!/bin/sh
[ "$1" = -u ] && echo 0
"""


def expand(names, sets):
    """The entries ("command:NAME", ...) that names stand for."""
    found = []
    for name in names:
        if name in sets:
            found += expand(sets[name], sets)
        else:
            found.append(name)
    return found


def write_program(path, text):
    path.write_text(text)
    path.chmod(0o755)


def make_machine(machine, case, sets):
    """Fills the directory machine with the case's bin/, package and module
    lists, and os-release."""
    have = set(expand(case["have"], sets)) - set(expand(case.get("without", []), sets))
    kinds = {"command": [], "package": [], "module": []}
    for entry in sorted(have):
        kind, _, name = entry.partition(":")
        kinds[kind].append(name)
    bin_dir = machine / "bin"
    bin_dir.mkdir()
    for name in REAL_COMMANDS:
        os.symlink(shutil.which(name), bin_dir / name)
    for name in kinds["command"]:
        write_program(bin_dir / name, "#!/bin/sh\nexit 0\n")
    # pkg-config answers only where the case has it; dpkg and apt are always there.
    stand_ins = {"dpkg-query": DPKG_QUERY, "apt-get": APT_GET}
    if "pkg-config" in kinds["command"]:
        stand_ins["pkg-config"] = PKG_CONFIG
    for name, text in stand_ins.items():
        write_program(bin_dir / name, text.format(machine=machine))
    if case["root"] and os.geteuid() != 0:
        (bin_dir / "id").unlink()
        write_program(bin_dir / "id", FAKE_ROOT_ID)
    (machine / "packages").write_text(" ".join(kinds["package"]) + "\n")
    (machine / "modules").write_text(" ".join(kinds["module"]) + "\n")
    (machine / "os-release").write_text(
        f'PRETTY_NAME="Debian GNU/Linux {case["release"]}"\nID=debian\nVERSION_ID="{case["release"]}"\n')
    apt_calls = machine / "apt-calls"
    apt_calls.write_text("")
    apt_calls.chmod(0o666)  # the recorder may run as nobody


def run_case(case, sets, script):
    with tempfile.TemporaryDirectory(prefix="rdv-deps-") as tmp:
        machine = pathlib.Path(tmp)
        machine.chmod(0o755)
        make_machine(machine, case, sets)
        # The script is copied beside the machine, where nobody can read it.
        copy = machine / "tools" / "install-deps.sh"
        copy.parent.mkdir()
        shutil.copy(script, copy)
        copy.chmod(0o755)
        command = ["/bin/sh", str(copy), *case["args"]]
        if not case["root"] and os.geteuid() == 0:
            command = [shutil.which("setpriv"), f"--reuid={NOBODY}", f"--regid={NOBODY}", "--clear-groups", *command]
        env = {"PATH": str(machine / "bin"), "INSTALL_DEPS_OS_RELEASE": str(machine / "os-release")}
        result = subprocess.run(command, env=env, cwd=machine, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=30)
        problems = []
        if result.returncode != case["status"]:
            problems.append(f"status {result.returncode}, expected {case['status']}")
        for stream, got in (("stdout", result.stdout), ("stderr", result.stderr)):
            got = got.splitlines()
            if got != case.get(stream, []):
                problems.append(f"{stream}: {got!r}\n  expected {case.get(stream, [])!r}")
        calls = (machine / "apt-calls").read_text().splitlines()
        if calls != case["apt"]:
            problems.append(f"apt-get calls: {calls!r}\n  expected {case['apt']!r}")
        return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-root", required=True)
    args = parser.parse_args()
    script = pathlib.Path(args.source_root, "tools", "install-deps.sh")
    data = json.loads((HERE / "install_deps_cases.json").read_text())
    tally = Tally()
    for case in data["cases"]:
        tally.report(case["name"], run_case(case, data["sets"], script))
    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
