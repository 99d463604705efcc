#!/usr/bin/env python3
"""Installs the build into a scratch DESTDIR with `meson install` and checks
the tree:

  1. exactly these files, under the configured prefix: the program in bindir,
     the manual page in mandir/man1 (when it was built), the bash, zsh and
     fish completions in those shells' standard directories under datadir,
     and the three JSON Schemas in datadir/ridaviduvo/schema; nothing else;
  2. the installed files are the sources (completions, schemas) or the built
     page, with the usual modes (0755 for the program, 0644 for the rest),
     and the installed program runs (no arguments: the usage text, status 2);
  3. the tools that look in those places find them there: man -w with
     MANPATH, bash-completion's loader with XDG_DATA_DIRS, zsh's compinit
     with the directory on fpath, fish with XDG_DATA_DIRS;
  4. the front door: every target the Makefile's header lists reads with
     every variable it uses set (`make -n --warn-undefined-variables`), for
     make expands an unset build directory in a prerequisite to nothing.

Exit status: 0 passed, 1 failed, 77 skipped (everything that could run
passed, but a part could not run because its program is missing; the
message says which).
"""

import argparse
import json
import os
import pathlib
import re
import shutil
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from ecosystem_support import Tally, apt, c_string_constants, man_page_not_built, skip  # noqa: E402


def build_options(build):
    run = subprocess.run(["meson", "introspect", "--buildoptions", str(build)],
                         capture_output=True, check=True, timeout=120)
    return {option["name"]: option["value"] for option in json.loads(run.stdout)}


def front_door_targets(makefile):
    """The targets the Makefile's header names ("#   make NAME ...") that
    have a rule of their own."""
    text = makefile.read_text()
    header = text[:text.index("\n\n")]
    rules = set(re.findall(r"^([a-z][\w-]*):", text, re.MULTILINE))
    return [t for t in dict.fromkeys(re.findall(r"\bmake ([a-z][\w-]*)", header)) if t in rules]


def check_front_door(root, report):
    """Dry-runs every target with make's own warning for a variable read
    unset; the environment holds none of the Makefile's variables."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL", "DESTDIR", "PREFIX", "RELEASE")
           and not k.endswith("_BUILD") and k != "BUILD"}
    targets = front_door_targets(root / "Makefile")
    problems = [] if len(targets) >= 10 else [f"only {targets} found in the Makefile's header"]
    for target in targets:
        run = subprocess.run(["make", "-n", "--warn-undefined-variables", "-C", str(root), target], env=env,
                             capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
        warnings = [line for line in run.stderr.decode(errors="replace").splitlines() if "undefined variable" in line]
        if run.returncode != 0 or warnings:
            problems.append(f"make -n {target}: status {run.returncode}; " + "; ".join(warnings))
    report(f"make -n of the Makefile's {len(targets)} targets reads no unset variable", problems)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-root", required=True)
    parser.add_argument("--source-root", required=True)
    parser.add_argument("--man", default="", help="the built page, or an empty string when it was not built")
    options = parser.parse_args()

    build = pathlib.Path(options.build_root).resolve()
    root = pathlib.Path(options.source_root).resolve()
    config = build_options(build)
    prefix = pathlib.PurePosixPath(config["prefix"])
    bindir, mandir, datadir = (prefix / config[name] for name in ("bindir", "mandir", "datadir"))

    expected = {
        bindir / "ridaviduvo": (None, 0o755),
        datadir / "bash-completion" / "completions" / "ridaviduvo": (root / "completions" / "ridaviduvo.bash", 0o644),
        datadir / "zsh" / "site-functions" / "_ridaviduvo": (root / "completions" / "_ridaviduvo", 0o644),
        datadir / "fish" / "vendor_completions.d" / "ridaviduvo.fish": (root / "completions" / "ridaviduvo.fish", 0o644),
    }
    for name in ("windows", "outputs", "layout"):
        expected[datadir / "ridaviduvo" / "schema" / f"{name}.schema.json"] = (
            root / "doc" / "schema" / f"{name}.schema.json", 0o644)
    if options.man:
        expected[mandir / "man1" / "ridaviduvo.1"] = (pathlib.Path(options.man), 0o644)

    tally = Tally()
    report = tally.report
    not_run = []   # what could not be checked
    packages = []  # and the Debian packages that would check it

    with tempfile.TemporaryDirectory(prefix="rdv-eco-destdir-") as tmp:
        dest = pathlib.Path(tmp, "dest")
        env = {k: v for k, v in os.environ.items() if k != "DESTDIR"}
        install = subprocess.run(["meson", "install", "-C", str(build), "--destdir", str(dest), "--no-rebuild"],
                                 env=env, capture_output=True, stdin=subprocess.DEVNULL, timeout=300)
        if install.returncode != 0:
            report("meson install --destdir", [f"status {install.returncode}:\n"
                                               f"{install.stdout.decode(errors='replace')}"
                                               f"{install.stderr.decode(errors='replace')}"])
        else:
            report("meson install --destdir", [])

        def staged(path):
            return dest / path.relative_to("/")

        found = {"/" + str(p.relative_to(dest)) for p in dest.rglob("*") if not p.is_dir()}
        want = {str(p) for p in expected}
        report("the installed files, and nothing else",
               [f"missing {p}" for p in sorted(want - found)] + [f"unexpected {p}" for p in sorted(found - want)])

        problems = []
        for path, (source, mode) in sorted(expected.items()):
            target = staged(path)
            if not target.exists():
                continue
            got_mode = stat.S_IMODE(target.stat().st_mode)
            if got_mode != mode:
                problems.append(f"{path}: mode {got_mode:o}, want {mode:o}")
            if source is not None and target.read_bytes() != source.read_bytes():
                problems.append(f"{path}: differs from {source}")
        report("contents and modes", problems)

        program = staged(bindir / "ridaviduvo")
        usage = c_string_constants((root / "src" / "text" / "messages.hpp").read_text())["kUsage"]
        if program.exists():
            run = subprocess.run([str(program)], capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
            report("the installed program prints its usage, status 2",
                   [] if (run.returncode, run.stdout, run.stderr) == (2, b"", usage.encode())
                   else [f"status {run.returncode}, stdout {run.stdout!r}, stderr {run.stderr!r}"])

        share = staged(datadir)
        path_env = dict(env, PATH=f"{staged(bindir)}:{env.get('PATH', '/usr/bin:/bin')}", HOME=tmp,
                        XDG_DATA_DIRS=str(share), XDG_CONFIG_HOME=f"{tmp}/config", XDG_DATA_HOME=f"{tmp}/data",
                        XDG_CACHE_HOME=f"{tmp}/cache", LC_ALL="C.UTF-8")

        man_needs = None
        if not options.man:
            reason, man_needs = man_page_not_built()
            not_run.append(reason)
        elif shutil.which("man") is None:
            not_run.append("man -w (man-db missing)")
            packages.append("man-db")
        else:
            run = subprocess.run(["man", "-w", "ridaviduvo"], env=dict(path_env, MANPATH=str(staged(mandir))),
                                 capture_output=True, timeout=60)
            want_path = str(staged(mandir / "man1" / "ridaviduvo.1"))
            report("man -w finds the page under MANPATH",
                   [] if run.stdout.decode().strip() == want_path
                   else [f"status {run.returncode}: {run.stdout!r} {run.stderr!r}, want {want_path}"])

        loader = pathlib.Path("/usr/share/bash-completion/bash_completion")
        if not loader.exists():
            not_run.append("bash-completion's loader (package bash-completion missing)")
            packages.append("bash-completion")
        else:
            script = f'source {loader}; __load_completion ridaviduvo || exit 3; complete -p ridaviduvo'
            run = subprocess.run(["bash", "--norc", "--noprofile", "-c", script], env=path_env,
                                 capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
            report("bash-completion loads the completion from XDG_DATA_DIRS",
                   [] if run.stdout == b"complete -F _ridaviduvo ridaviduvo\n" and run.returncode == 0
                   else [f"status {run.returncode}: {run.stdout!r} {run.stderr!r}"])

        if shutil.which("zsh") is None:
            not_run.append("zsh's compinit (zsh missing)")
            packages.append("zsh")
        else:
            site = staged(datadir / "zsh" / "site-functions")
            script = f'fpath=({site} $fpath); autoload -U compinit; compinit -u -D; print -r -- $_comps[ridaviduvo]'
            run = subprocess.run(["zsh", "-f", "-c", script], env=path_env, capture_output=True,
                                 stdin=subprocess.DEVNULL, timeout=60)
            report("zsh's compinit picks up _ridaviduvo from site-functions",
                   [] if run.stdout == b"_ridaviduvo\n" and run.returncode == 0
                   else [f"status {run.returncode}: {run.stdout!r} {run.stderr!r}"])

        if shutil.which("fish") is None:
            not_run.append("fish's completion lookup (fish missing)")
            packages.append("fish")
        else:
            run = subprocess.run(["fish", "-c", 'complete -C "ridaviduvo w"'], env=path_env, capture_output=True,
                                 stdin=subprocess.DEVNULL, timeout=60)
            report("fish loads the completion from XDG_DATA_DIRS",
                   [] if run.stdout.decode().split("\t")[0] == "windows" and run.returncode == 0
                   else [f"status {run.returncode}: {run.stdout!r} {run.stderr!r}"])

    check_front_door(root, report)

    if tally.summary():
        return 1
    if not_run:
        needs = [apt(*packages)] if packages else []
        skip("everything else passed, but not checked: " + "; ".join(not_run),
             " && ".join(needs + ([man_needs] if man_needs else [])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
