#!/usr/bin/env python3
"""Checks the built manual page ridaviduvo(1):

  1. it renders without a single warning, both as man(1) shows it
     (`man --warnings=w -E UTF-8 -l`, 80 columns) and through groff with every
     warning on (`groff -k -man -ww -Tutf8 -z`); lexgrog(1) reads its NAME
     line, so whatis and apropos find it;
  2. what it documents matches the program and the schemas: every message of
     src/text/messages.hpp, the five usage lines, the nine command lines,
     the window table's header words, every member and every closed word of
     the JSON Schemas, the fill colours of the DOT graph, the exit statuses
     and the three environment variables of the Wayland client library all
     appear in the rendered text.

Exit status: 0 passed, 1 failed, 77 skipped (the page was not built because
scdoc is missing, or man and groff are missing).
"""

import argparse
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from ecosystem_support import Tally, apt, c_string_constants, man_page_not_built, missing_programs, skip  # noqa: E402

SECTIONS = ["NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "OUTPUT FORMATS", "EXIT STATUS", "DIAGNOSTICS",
            "ENVIRONMENT", "FILES", "EXAMPLES", "SEE ALSO"]
COMMAND_LINES = ["ridaviduvo windows", "ridaviduvo windows --json", "ridaviduvo inspect --rule", "ridaviduvo scene",
                 "ridaviduvo scene --dot", "ridaviduvo outputs", "ridaviduvo outputs --json",
                 "ridaviduvo layout --output NAME --json", "ridaviduvo layout --output NAME --set LAYOUT --json"]


def schema_words(schema):
    """Every member name and every enumerated word in a schema."""
    words = set()
    if isinstance(schema, dict):
        for key, value in schema.items():
            if key == "properties":
                words |= set(value)
            if key == "enum":
                words |= {w for w in value if isinstance(w, str)}
            words |= schema_words(value)
    elif isinstance(schema, list):
        for value in schema:
            words |= schema_words(value)
    return words


def flatten(text):
    """The rendered text as one line: hyphenation undone, whitespace runs
    made one space."""
    text = re.sub("\u2010\n\\s*", "", text)
    return re.sub(r"\s+", " ", text)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--man", required=True, help="the built page, or an empty string when it was not built")
    parser.add_argument("--source-root", required=True)
    options = parser.parse_args()

    if not options.man:
        skip(*man_page_not_built())
    missing = missing_programs({"man": "man-db", "groff": "groff-base"})
    if missing:
        skip(f"{' and '.join(missing)} not installed: the manual page was not rendered", apt(*missing))

    page = pathlib.Path(options.man)
    root = pathlib.Path(options.source_root)
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8", MANPAGER="cat", PAGER="cat")
    tally = Tally()
    report = tally.report

    man = subprocess.run(["man", "--warnings=w", "-E", "UTF-8", "-l", str(page)], env=env,
                         capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
    report("man --warnings=w -E UTF-8 -l: no warning",
           [f"status {man.returncode}, stderr:\n{man.stderr.decode(errors='replace')}"]
           if man.returncode != 0 or man.stderr else [])
    groff = subprocess.run(["groff", "-k", "-man", "-ww", "-Tutf8", "-z", str(page)], env=env,
                           capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
    report("groff -k -man -ww -Tutf8 -z: no warning",
           [f"status {groff.returncode}, stderr:\n{groff.stderr.decode(errors='replace')}"]
           if groff.returncode != 0 or groff.stderr else [])
    if shutil.which("lexgrog"):
        lexgrog = subprocess.run(["lexgrog", str(page)], env=env, capture_output=True, timeout=60)
        want = b'"ridaviduvo - '
        report("lexgrog reads the NAME line",
               [] if lexgrog.returncode == 0 and want in lexgrog.stdout
               else [f"status {lexgrog.returncode}: {lexgrog.stdout!r} {lexgrog.stderr!r}"])

    text = man.stdout.decode("utf-8")
    flat = flatten(text)
    lines = text.splitlines()

    report("sections", [f"no section {s}" for s in SECTIONS if s not in lines])

    messages = c_string_constants((root / "src" / "text" / "messages.hpp").read_text())
    problems = []
    for name, message in messages.items():
        if name == "kUsage":
            usage = [line.strip().removeprefix("usage: ") for line in message.splitlines() if line.strip()]
            problems += [f"usage line {u!r} missing" for u in usage if u not in flat]
        elif message.strip() not in flat:
            problems.append(f"{name}: {message.strip()!r} missing")
    if not messages:
        problems.append("no message found in messages.hpp")
    report("every message on standard error", problems)

    report("the nine command lines", [f"{c!r} missing" for c in COMMAND_LINES if c not in lines and
                                      f"       {c}" not in lines])

    header = "ID BACKEND APP_ID/CLASS TITLE OUTPUT:WORKSPACE GEOMETRY LAYOUT STATE"
    report("the window table's header words", [] if header in flat else [f"{header!r} missing"])

    problems = []
    for path in sorted((root / "doc" / "schema").glob("*.schema.json")):
        for word in sorted(schema_words(json.loads(path.read_text()))):
            if not re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", flat):
                problems.append(f"{path.name}: {word!r} missing")
    report("every JSON member and closed word of the schemas", problems)

    colours = set(re.findall(r'"(#[0-9a-f]{6})', (root / "src" / "scene" / "scene_dot.cpp").read_text()))
    report("the DOT graph's colours", [f"{c} missing" for c in sorted(colours) if c not in flat] +
           ([] if colours else ["no colour found in scene_dot.cpp"]))

    status_section = flat[flat.find(" EXIT STATUS "):flat.find(" DIAGNOSTICS ")]
    report("exit statuses 0, 1, 2", [f"status {s} missing" for s in "012" if f" {s} " not in status_section])

    report("the Wayland client library's environment",
           [f"{v} missing" for v in ("WAYLAND_DISPLAY", "WAYLAND_SOCKET", "XDG_RUNTIME_DIR")
            if v not in lines and f"       {v}" not in lines])

    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
