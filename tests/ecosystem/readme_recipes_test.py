#!/usr/bin/env python3
"""Runs the recipes of the README's "Scripting" section against the demo
desktop and compares their output with the output the README shows.

A recipe is a ```sh block of that section: a line starting with "$ " is a
command, lines starting with "> " continue it, and the lines up to the next
command are its expected output (none: it must print nothing). Each command
runs in bash (with pipefail) in a fresh directory, where `ridaviduvo` is
tools/demo.sh with the build under test and examples/desktop.json: every
call gets a new mock compositor, so a layout change does not carry over.
A block right after the line "<!-- recipe against a compositor that never
answers -->" runs instead against a socket that accepts the connection and
then never answers. Expected output must match exactly, nothing may appear
on standard error, and the exit status must be 0.

The examples of the manual page (its EXAMPLES section) must each be one of
these recipes, so that they are tested too.

Exit status: 0 passed, 1 failed, 77 skipped (jq or dot is not installed).
"""

import argparse
import os
import pathlib
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from ecosystem_support import Tally, apt, compositor, missing_programs, skip  # noqa: E402

# What the section must keep showing: the focused window, the windows of one
# output, the current modes, a layout change acted on, the scene as a picture.
REQUIRED = ['select(.states | index("focused"))', 'select(.output ==', 'select(.current)',
            "layout --output DP-2 --set", "scene --dot | dot", "timeout 2 ridaviduvo"]


def section(markdown, heading):
    start = markdown.index(f"\n## {heading}\n")
    end = markdown.find("\n## ", start + 1)
    return markdown[start:end if end >= 0 else len(markdown)]


SILENT_MARK = "<!-- recipe against a compositor that never answers -->\n"


def recipes(markdown):
    """(command, expected output, compositor) of the Scripting section's
    recipes; the compositor is "demo" or "silent"."""
    found = []
    for mark, block in re.findall(r"(%s)?```sh\n(.*?)```" % re.escape(SILENT_MARK), section(markdown, "Scripting"),
                                  re.S):
        kind = "silent" if mark else "demo"
        command, output = None, []
        for line in block.splitlines():
            if line.startswith("$ "):
                if command is not None:
                    found.append((command, output, kind))
                command, output = line[2:], []
            elif line.startswith("> ") and command is not None and not output:
                command += "\n" + line[2:]
            elif command is not None:
                output.append(line)
        if command is not None:
            found.append((command, output, kind))
    return found


def man_examples(scd):
    """The commands of the manual page's EXAMPLES section, as a shell reads
    them (scdoc's doubled backslashes undone)."""
    text = scd[scd.index("\n# EXAMPLES\n"):]
    text = text[:text.find("\n# ", 1)]
    return [block.replace("\\\\", "\\") for block in re.findall(r"```\n(.*?)```", text, re.S)]


def normal(command):
    return re.sub(r"\s+", " ", command).strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source-root", required=True)
    parser.add_argument("--build", required=True)
    options = parser.parse_args()

    missing = missing_programs({"jq": "jq", "dot": "graphviz"})
    if missing:
        skip(f"{' and '.join(missing)} not installed: the README's recipes were not run", apt(*missing))

    root = pathlib.Path(options.source_root).resolve()
    build = pathlib.Path(options.build).resolve()
    found = recipes((root / "README.md").read_text())
    tally = Tally()

    missing = [r for r in REQUIRED if not any(r in command for command, _, _ in found)]
    tally.report(f"the Scripting section has its {len(found)} recipes" if not missing
                 else "the Scripting section's recipes", [f"no recipe with {m!r}" for m in missing])

    with tempfile.TemporaryDirectory(prefix="rdv-eco-recipes-") as tmp, compositor("silent") as silent_env:
        # `ridaviduvo` on PATH: the demo desktop, or the tool itself with a
        # compositor that never answers.
        envs = {}
        for kind, target in (("demo", f'sh "{root}/tools/demo.sh" "{build}" "{root}/examples/desktop.json"'),
                             ("silent", f'"{build}/src/ridaviduvo"')):
            bin_dir = pathlib.Path(tmp, f"bin-{kind}")
            bin_dir.mkdir()
            wrapper = bin_dir / "ridaviduvo"
            wrapper.write_text(f'#!/bin/sh\nexec {target} "$@"\n')
            wrapper.chmod(0o755)
            env = silent_env if kind == "silent" else {k: v for k, v in os.environ.items()
                                                        if not k.startswith("WAYLAND_")}
            envs[kind] = dict(env, PATH=f"{bin_dir}:{os.environ.get('PATH', '/usr/bin:/bin')}", LC_ALL="C.UTF-8")
        for number, (command, expected, kind) in enumerate(found, 1):
            work = pathlib.Path(tmp, f"recipe-{number}")
            work.mkdir()
            run = subprocess.run(["bash", "--norc", "--noprofile", "-o", "pipefail", "-c", command], cwd=work,
                                 env=envs[kind], capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
            want = "".join(line + "\n" for line in expected)
            got = run.stdout.decode("utf-8", errors="replace")
            problems = []
            if got != want:
                problems.append(f"output differs\n  want: {want!r}\n  got:  {got!r}")
            if run.stderr:
                problems.append(f"stderr: {run.stderr.decode(errors='replace')!r}")
            if run.returncode != 0:
                problems.append(f"exit status {run.returncode}")
            name = f"recipe {number}: {command.splitlines()[0]}"
            tally.report(name, problems)

    tested = {normal(command) for command, _, _ in found}
    examples = man_examples((root / "doc" / "ridaviduvo.1.scd").read_text())
    untested = [e for e in examples if normal(e) not in tested]
    tally.report(f"the manual page's {len(examples)} examples are README recipes" if examples
                 else "the manual page's examples are README recipes",
                 [f"not a recipe: {e!r}" for e in untested] + ([] if examples else ["no example found"]))

    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
