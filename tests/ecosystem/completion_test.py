#!/usr/bin/env python3
"""Drives one shell's completion of ridaviduvo through the cases of
completion_cases.json, against live compositors (the mock compositor playing
a scenario, no compositor at all, a socket that never answers).

  bash  sources completions/ridaviduvo.bash in a plain bash (no
        bash-completion), sets COMP_WORDS, COMP_CWORD, COMP_LINE and
        COMP_POINT, calls the function that `complete -p ridaviduvo` names
        and compares COMPREPLY exactly, in order.
  zsh   runs an interactive `zsh -f` on a pseudo-terminal with compinit and
        completions/ on fpath, types each command line and a Tab, and
        records the words that zsh's own matching kept from every compadd
        call (compadd -O); compared exactly, in order.
  fish  sources completions/ridaviduvo.fish and asks `complete -C` for each
        command line; compared as a sorted list (fish sorts).

Each shell's file must also pass that shell's own parser (bash -n, zsh -n,
fish -n). The tool under test is first on PATH as `ridaviduvo`.

Exit status: 0 passed, 1 failed, 77 skipped (the shell is not installed).
"""

import argparse
import json
import os
import pathlib
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from ecosystem_support import Tally, apt, compositor, run_limited, skip  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
DEFAULT_MAX_SECONDS = 10
HUNG_SECONDS = 30  # a completion still running then is stopped and reported

BASH_DRIVER = r'''
source "$1" || exit 3
registered=$(complete -p ridaviduvo) || exit 4
[[ $registered == "complete -F _ridaviduvo ridaviduvo" ]] || { echo "unexpected: $registered" >&2; exit 5; }
COMP_CWORD=$2
shift 2
COMP_WORDS=("$@")
COMP_LINE="${COMP_WORDS[*]}"
COMP_POINT=${#COMP_LINE}
COMPREPLY=(unset)
_ridaviduvo "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}" || exit 6
if (( ${#COMPREPLY[@]} )); then printf '%s\0' "${COMPREPLY[@]}"; fi
'''


def run_bash(case, files, env):
    words = case["words"]
    cword = case.get("cword", len(words) - 1)
    run = run_limited(["bash", "--norc", "--noprofile", "-c", BASH_DRIVER, "bash", str(files["bash"]), str(cword),
                       *words], HUNG_SECONDS, env=env)
    if run is None:
        return None, f"bash hung: no answer in {HUNG_SECONDS} s"
    if run.returncode != 0 or run.stderr:
        return None, f"bash status {run.returncode}: {run.stderr.decode(errors='replace')}"
    return [w.decode() for w in run.stdout.split(b"\0")[:-1]], None


def run_fish(case, files, env, home):
    line = " ".join(case["words"])
    env = dict(env, RDV_LINE=line, XDG_CONFIG_HOME=str(home / "config"), XDG_DATA_HOME=str(home / "data"),
               XDG_CACHE_HOME=str(home / "cache"), HOME=str(home))
    run = run_limited(["fish", "--no-config", "-c", 'source $RDV_COMPLETION; or exit 3; complete -C "$RDV_LINE"'],
                      HUNG_SECONDS, env=dict(env, RDV_COMPLETION=str(files["fish"])))
    if run is None:
        return None, f"fish hung: no answer in {HUNG_SECONDS} s"
    if run.returncode != 0 or run.stderr:
        return None, f"fish status {run.returncode}: {run.stderr.decode(errors='replace')}"
    return sorted(line.split("\t")[0] for line in run.stdout.decode().splitlines()), None


class ZshSession:
    """An interactive zsh on a pseudo-terminal that completes lines typed
    into it and writes what compadd kept to a file."""

    def __init__(self, completions_dir, env, tmp):
        self.hits = tmp / "hits"
        self.done = tmp / "done"
        self.completed = tmp / "completed"
        self.dead = False
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.environ.clear()
            os.environ.update(env, TERM="xterm", HOME=str(tmp))
            os.execvp("zsh", ["zsh", "-f", "-i"])
        setup = [
            f"fpath=({completions_dir} $fpath); autoload -U compinit; compinit -u -D",
            'compadd() { local -a kept; builtin compadd -O kept "$@";'
            f' (( $#kept )) && print -rl -- "${{kept[@]}}" >> {self.hits}; builtin compadd "$@"; }}',
            # Tab completes, then leaves a mark: nothing more is typed
            # before zsh has finished with the completion.
            f"rdv-complete() {{ zle complete-word; print completed > {self.completed}; }}",
            "zle -N rdv-complete; bindkey '^I' rdv-complete",
        ]
        for line in setup:
            self.type(line + "\r")
        self.wait_marker(f"print ready > {self.done}\r")

    def type(self, text):
        os.write(self.fd, text.encode())

    def drain(self, seconds):
        ready, _, _ = select.select([self.fd], [], [], seconds)
        if ready:
            try:
                os.read(self.fd, 65536)
            except OSError:
                pass

    def wait_marker(self, command, marker=None, limit=60):
        marker = marker or self.done
        marker.unlink(missing_ok=True)
        self.type(command)
        start = time.monotonic()
        while not marker.exists():
            if time.monotonic() - start > limit:
                raise TimeoutError("zsh did not answer")
            self.drain(0.02)

    def complete(self, line):
        """The words offered for line, and None or what went wrong."""
        self.hits.write_text("")
        # The line and a Tab; once the completion has left its mark, Ctrl-U
        # clears the line and a command tells that zsh is ready again.
        try:
            self.wait_marker(line + "\t", self.completed, HUNG_SECONDS)
        except TimeoutError:
            self.kill()
            return None, f"zsh hung: no answer in {HUNG_SECONDS} s"
        hits = self.hits.read_text().splitlines()
        self.wait_marker("\x15" + f"print done > {self.done}\r")
        return hits, None

    def kill(self):
        os.killpg(self.pid, signal.SIGKILL)
        os.waitpid(self.pid, 0)
        self.dead = True

    def close(self):
        if self.dead:
            return
        self.type("\x15exit\r")
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            pid, _ = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                return
            self.drain(0.05)
        self.kill()


def check_syntax(shell, path):
    command = {"bash": ["bash", "-n"], "zsh": ["zsh", "-n"], "fish": ["fish", "--no-execute"]}[shell]
    run = subprocess.run([*command, str(path)], capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
    if run.returncode != 0 or run.stderr:
        return f"{' '.join(command)} {path.name}: status {run.returncode}: {run.stderr.decode(errors='replace')}"
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--shell", required=True, choices=["bash", "zsh", "fish"])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--mock", required=True)
    parser.add_argument("--source-root", required=True)
    parser.add_argument("--cases", default=str(HERE / "completion_cases.json"))
    options = parser.parse_args()

    shell = options.shell
    if shutil.which(shell) is None:
        skip(f"{shell} is not installed: its completion was not tested", apt(shell))

    root = pathlib.Path(options.source_root)
    files = {"bash": root / "completions" / "ridaviduvo.bash", "zsh": root / "completions" / "_ridaviduvo",
             "fish": root / "completions" / "ridaviduvo.fish"}
    data = json.loads(pathlib.Path(options.cases).read_text())
    cases = [c for c in data["cases"] if shell in c.get("shells", [shell])]

    tally = Tally()
    problem = check_syntax(shell, files[shell])
    if problem:
        tally.report(f"{shell}: parser", [problem])

    tool_dir = pathlib.Path(tempfile.mkdtemp(prefix="rdv-eco-path-"))
    (tool_dir / "ridaviduvo").symlink_to(pathlib.Path(options.tool).resolve())
    try:
        for name, setup in data["compositors"].items():
            group = [c for c in cases if c.get("compositor", "demo") == name]
            if not group:
                continue
            scenario = setup.get("scenario")
            if "scenario_file" in setup:
                scenario = root / setup["scenario_file"]
            with compositor(setup["kind"], options.mock, scenario) as env, \
                    tempfile.TemporaryDirectory(prefix="rdv-eco-shell-") as tmp:
                tmp = pathlib.Path(tmp)
                env = dict(env, PATH=f"{tool_dir}:{os.environ.get('PATH', '/usr/bin:/bin')}", LC_ALL="C.UTF-8")
                zsh = None
                try:
                    for case in group:
                        if shell == "zsh" and (zsh is None or zsh.dead):
                            zsh = ZshSession(root / "completions", env, tmp)
                        start = time.monotonic()
                        if shell == "bash":
                            got, error = run_bash(case, files, env)
                        elif shell == "fish":
                            got, error = run_fish(case, files, env, tmp)
                        else:
                            got, error = zsh.complete(" ".join(case["words"]))
                        elapsed = time.monotonic() - start
                        want = case.get(f"expect_{shell}", case["expect"])
                        if shell == "fish":
                            want = sorted(want)
                        problems = []
                        if error:
                            problems.append(error)
                        elif got != want:
                            problems.append(f"offered {got!r}, want {want!r}")
                        limit = case.get("max_seconds", DEFAULT_MAX_SECONDS)
                        if elapsed > limit:
                            problems.append(f"took {elapsed:.1f} s, more than {limit} s")
                        tally.report(f"{shell}: {case['name']}", problems, note=f" ({elapsed:.2f} s)")
                finally:
                    if zsh:
                        zsh.close()
    finally:
        shutil.rmtree(tool_dir)

    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
