#!/usr/bin/env python3
"""Runs the end-to-end cases: each case starts the mock compositor on a
private socket with its scenario, runs the real ridaviduvo binary against it
as a child process, and compares exact stdout bytes, stderr bytes, exit
status and the requests the compositor received. Outputs are also handed to
their real consumers where a case asks (json, tomllib, Graphviz dot). With
--schemas DIR, every complete JSON result of `windows --json`, `outputs
--json` and `layout` is also validated against its JSON Schema in DIR.

Case files are JSON: {"cases": [CASE, ...]} with CASE fields
  name              unique name
  scenario          the mock's scenario (inline), or
  scenario_file     a file under tests/e2e/scenarios/
  compositor        "mock" (default), "none" (no socket at all), or
                    "idle" (a mock that must see no client: usage errors)
  args              the tool's arguments
  stdout, stderr    expected bytes: a string, {"hex": ...}, or a list of those
  stdout_file       expected stdout in a file under tests/e2e/expected/
  stdout_reference  true: the expected stdout is made from the scenario by
                    the case's own reference (tests/e2e/reference.py), for
                    cases too large to write out
  status            expected exit status
  stderr_tail       expected last bytes of stderr (libwayland may log before them)
  stdout_to_full    run with standard output on /dev/full
  log               the exact list of requests the mock logged
  log_contains      requests that must appear; log_lacks: substrings that must not
  log_count         {"request line": how many times}
  check             consumers to run on stdout: "json", "toml", "dot", "table"
"""

import argparse
import concurrent.futures
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import tomllib

HERE = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "ecosystem"))
from ecosystem_support import apt, skip  # noqa: E402
import reference  # noqa: E402

TOOL_TIMEOUT = 60
SOCKET = "wayland-e2e"


def expected_bytes(value):
    if value is None:
        return None
    if isinstance(value, list):
        return b"".join(expected_bytes(v) for v in value)
    if isinstance(value, dict):
        return bytes.fromhex(value["hex"])
    return value.encode("utf-8")


# Every complete result of these commands goes to its real consumer, whether
# or not the case asks.
CONSUMER_OF = {("windows",): "table", ("windows", "--json"): "json", ("inspect", "--rule"): "toml",
               ("scene", "--dot"): "dot", ("outputs", "--json"): "json"}


def consumers_for(case, status):
    consumers = list(case.get("check", []))
    args = tuple(case.get("args", []))
    automatic = CONSUMER_OF.get(args)
    if args[:1] == ("layout",) and len(args) in (4, 6):
        automatic = "json"
    if automatic and not case.get("stdout_to_full") and (status == 0 or automatic == "json" and args[:1] == ("layout",)):
        consumers.append(automatic)
    return list(dict.fromkeys(consumers))


def check_consumers(case, out, status):
    """Hands stdout to the consumers the case names or its command implies."""
    problems = []
    for consumer in consumers_for(case, status):
        try:
            if consumer == "json":
                json.loads(out.decode("utf-8"))
            elif consumer == "toml":
                doc = tomllib.loads(out.decode("utf-8"))
                want = out.count(b"\n[[window]]\n")
                got = len(doc.get("window", []))
                if got != want:
                    problems.append(f"toml: {got} [[window]] tables, {want} stubs")
            elif consumer == "dot":
                if shutil.which("dot") is None:
                    problems.append("dot: Graphviz is not installed")
                    continue
                run = subprocess.run(["dot", "-Tsvg", "-o", "/dev/null"], input=out,
                                     capture_output=True, timeout=60)
                if run.returncode != 0 or run.stderr:
                    problems.append(f"dot: status {run.returncode}: {run.stderr.decode(errors='replace')}")
            elif consumer == "table":
                for number, line in enumerate(out.split(b"\n")[:-1], 1):
                    tabs = line.count(b"\t")
                    if tabs != 7:
                        problems.append(f"table line {number}: {tabs} tabs")
                    if any(b < 0x20 and b != 0x09 or b == 0x7F for b in line):
                        problems.append(f"table line {number}: control byte")
                if out and not out.endswith(b"\n"):
                    problems.append("table: no final newline")
            else:
                problems.append(f"unknown consumer {consumer}")
        except (ValueError, UnicodeDecodeError, tomllib.TOMLDecodeError) as error:
            problems.append(f"{consumer}: {error}")
    return problems


# With --schemas, every complete JSON result is also validated against its
# JSON Schema (doc/schema/).
SCHEMA_OF = {("windows", "--json"): "windows", ("outputs", "--json"): "outputs"}
schema_checked = []


def load_validators(directory):
    """The schemas' validators, or None without the jsonschema module."""
    try:
        import jsonschema
    except ImportError:
        return None
    return {name: jsonschema.Draft202012Validator(json.loads(pathlib.Path(directory, f"{name}.schema.json").read_text()))
            for name in ("windows", "outputs", "layout")}


def check_schema(case, out, status, validators):
    args = tuple(case.get("args", []))
    name = SCHEMA_OF.get(args) or ("layout" if args[:1] == ("layout",) and len(args) in (4, 6) else None)
    if name is None or case.get("stdout_to_full") or not out or (status != 0 and name != "layout"):
        return []
    try:
        document = json.loads(out.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return []  # the json consumer reports it
    schema_checked.append(case["name"])
    return [f"schema {name}: at {list(e.path)}: {e.message}" for e in validators[name].iter_errors(document)]


def describe(label, want, got):
    if isinstance(want, bytes) and isinstance(got, bytes) and max(len(want), len(got)) > 2000:
        at = next((i for i, (a, b) in enumerate(zip(want, got)) if a != b), min(len(want), len(got)))
        start = max(0, at - 200)
        return (f"{label} differs from byte {at} on ({len(want)} bytes wanted, {len(got)} got)\n"
                f"  want: {want[start:at + 200]!r}\n  got:  {got[start:at + 200]!r}")
    return f"{label} differs\n  want: {want!r}\n  got:  {got!r}"


def run_case(case, tool, mock, validators=None):
    problems = []
    with tempfile.TemporaryDirectory(prefix="rdv-e2e-") as tmp:
        runtime = pathlib.Path(tmp, "runtime")
        runtime.mkdir(mode=0o700)
        log_path = pathlib.Path(tmp, "requests.log")
        env = {k: v for k, v in os.environ.items() if not k.startswith("WAYLAND_")}
        env["XDG_RUNTIME_DIR"] = str(runtime)
        env["WAYLAND_DISPLAY"] = SOCKET

        compositor = case.get("compositor", "mock")
        server = None
        if compositor in ("mock", "idle"):
            if "scenario_file" in case:
                scenario_path = HERE / "scenarios" / case["scenario_file"]
            else:
                scenario_path = pathlib.Path(tmp, "scenario.json")
                scenario_path.write_text(json.dumps(case.get("scenario", {})))
            timeout = "2" if compositor == "idle" else "60"
            server = subprocess.Popen(
                [mock, "--scenario", str(scenario_path), "--socket", SOCKET,
                 "--log", str(log_path), "--timeout", timeout],
                env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if server.stdout.readline() != b"ready\n":
                server.kill()
                _, err = server.communicate()
                return [f"mock compositor did not start: {err.decode(errors='replace')}"]

        stdout_target = subprocess.PIPE
        full = None
        if case.get("stdout_to_full"):
            full = open("/dev/full", "wb")
            stdout_target = full
        try:
            run = subprocess.run([tool, *case.get("args", [])], env=env, stdout=stdout_target,
                                 stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, timeout=TOOL_TIMEOUT)
        except subprocess.TimeoutExpired:
            problems.append("the tool hung")
            run = None
        finally:
            if full:
                full.close()

        if server:
            try:
                server_status = server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                server.kill()
                server_status = server.wait()
                problems.append("the mock compositor did not finish")
            server_err = server.stderr.read().decode(errors="replace")
            if compositor == "idle" and server_status != 3:
                problems.append(f"a client connected to the compositor (mock status {server_status})")
            elif compositor == "mock" and server_status != 0:
                problems.append(f"mock status {server_status}: {server_err}")
        if run is None:
            return problems

        out = run.stdout or b""
        if "stdout_file" in case:
            want_out = (HERE / "expected" / case["stdout_file"]).read_bytes()
        elif case.get("stdout_reference"):
            want_out = reference.expected_stdout(json.loads(scenario_path.read_text()), case.get("args", []))
        else:
            want_out = expected_bytes(case.get("stdout"))
        if want_out is not None and out != want_out:
            problems.append(describe("stdout", want_out, out))
        want_err = expected_bytes(case.get("stderr"))
        if want_err is not None and run.stderr != want_err:
            problems.append(describe("stderr", want_err, run.stderr))
        want_tail = expected_bytes(case.get("stderr_tail"))
        if want_tail is not None and not run.stderr.endswith(want_tail):
            problems.append(describe("end of stderr", want_tail, run.stderr))
        if "status" in case and run.returncode != case["status"]:
            problems.append(describe("status", case["status"], run.returncode))
        if not (case.get("args", [])[:1] == ["layout"] and not out):
            problems += check_consumers(case, out, run.returncode)
            if validators is not None:
                problems += check_schema(case, out, run.returncode, validators)

        log = log_path.read_text(errors="replace").splitlines() if log_path.exists() else []
        if "log" in case and log != case["log"]:
            problems.append("request log differs\n  want: " + "\n        ".join(case["log"]) +
                            "\n  got:  " + "\n        ".join(log))
        for line in case.get("log_contains", []):
            if line not in log:
                problems.append(f"request log lacks {line!r}")
        for fragment in case.get("log_lacks", []):
            hits = [line for line in log if fragment in line]
            if hits:
                problems.append(f"request log has {fragment!r}: {hits[:3]}")
        for line, count in case.get("log_count", {}).items():
            if log.count(line) != count:
                problems.append(describe(f"count of {line!r} in the log", count, log.count(line)))
    return problems


def load_cases(paths):
    cases = []
    for path in paths:
        path = pathlib.Path(path)
        files = sorted(path.glob("*.json")) if path.is_dir() else [path]
        for file in files:
            for case in json.loads(file.read_text())["cases"]:
                case.setdefault("name", file.stem)
                case["name"] = f"{file.stem}/{case['name']}"
                cases.append(case)
    return cases


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tool", required=True)
    parser.add_argument("--mock", required=True)
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    parser.add_argument("--filter", default="")
    parser.add_argument("--schemas", help="also validate JSON results against the JSON Schemas in this directory")
    parser.add_argument("cases", nargs="+")
    options = parser.parse_args()

    cases = [c for c in load_cases(options.cases) if options.filter in c["name"]]
    names = [c["name"] for c in cases]
    if len(set(names)) != len(names):
        sys.exit("duplicate case names")
    validators = load_validators(options.schemas) if options.schemas else None
    if options.schemas and validators is None:
        print(f"the Python module jsonschema is not installed for {sys.executable}: "
              "the cases run, but their JSON is not validated")
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=options.jobs) as pool:
        results = pool.map(lambda c: (c, run_case(c, options.tool, options.mock, validators)), cases)
        for case, problems in results:
            if problems:
                failed += 1
                print(f"FAIL {case['name']}")
                for problem in problems:
                    print("  " + problem.replace("\n", "\n  "))
            else:
                print(f"ok   {case['name']}")
    if validators is not None:
        print(f"{len(schema_checked)} JSON results validated against the schemas in {options.schemas}")
    print(f"{len(cases) - failed} passed, {failed} failed")
    if failed:
        return 1
    if options.schemas and validators is None:
        skip(f"every case passed, but no JSON result was validated: jsonschema is not installed for {sys.executable}",
             apt("python3-jsonschema"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
