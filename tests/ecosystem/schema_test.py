#!/usr/bin/env python3
"""Checks the JSON Schemas of doc/schema/ with jsonschema (Debian's
python3-jsonschema):

  1. each file is a valid draft 2020-12 schema that closes every object
     (additionalProperties false) and requires every member it describes;
  2. the real JSON outputs of the demo desktop, run through tools/demo.sh
     with the build under test, validate (schema_cases.json, "accept");
  3. broken documents made from those outputs by one change are rejected
     for the right reason: the keyword and the place of the error
     (schema_cases.json, "reject").

The end-to-end runner (tests/e2e/run_cases.py --schemas) validates every JSON
output of the end-to-end cases as well.

Exit status: 0 passed, 1 failed, 77 skipped (jsonschema is not installed).
"""

import argparse
import copy
import json
import pathlib
import subprocess
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from ecosystem_support import Tally, apt, skip  # noqa: E402

try:
    import jsonschema
except ImportError:
    skip(f"the Python module jsonschema is not installed for {sys.executable}: "
         "the schemas were not checked", apt("python3-jsonschema"))

HERE = pathlib.Path(__file__).resolve().parent
DRAFT = "https://json-schema.org/draft/2020-12/schema"


def load_schemas(directory):
    schemas = {}
    for path in sorted(pathlib.Path(directory).glob("*.schema.json")):
        schemas[path.name.removesuffix(".schema.json")] = json.loads(path.read_text())
    return schemas


def closed_objects(schema, where="#"):
    """Problems with object schemas that are not closed or do not require
    every member they list."""
    problems = []
    if isinstance(schema, dict):
        if "properties" in schema and schema.get("type") == "object":
            if schema.get("additionalProperties") is not False:
                problems.append(f"{where}: additionalProperties is not false")
            missing = set(schema["properties"]) - set(schema.get("required", []))
            if missing:
                problems.append(f"{where}: members not required: {sorted(missing)}")
        for key, value in schema.items():
            problems += closed_objects(value, f"{where}/{key}")
    elif isinstance(schema, list):
        for index, value in enumerate(schema):
            problems += closed_objects(value, f"{where}/{index}")
    return problems


def run_demo(demo, build, scenario, args):
    run = subprocess.run(["sh", str(demo), str(build), str(scenario), *args],
                         capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
    return run.returncode, run.stdout, run.stderr


def mutate(document, case):
    """The document with the case's one change, and the path at which the
    validation error must point."""
    document = copy.deepcopy(document)
    for action in ("delete", "add", "set"):
        if action in case:
            path = case[action]
            break
    else:
        raise ValueError(f"no change in {case}")
    if not path:
        return case["value"], []
    parent = document
    for key in path[:-1]:
        parent = parent[key]
    last = path[-1]
    if action == "delete":
        del parent[last]
        return document, path[:-1]
    if action == "add":
        if last in parent:
            raise ValueError(f"{path} is already there")
        parent[last] = case["value"]
        return document, path[:-1]
    parent[last] = case["value"]
    return document, path


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--schemas", required=True)
    parser.add_argument("--demo", required=True, help="tools/demo.sh")
    parser.add_argument("--build", required=True)
    parser.add_argument("--scenario", required=True)
    parser.add_argument("--cases", default=str(HERE / "schema_cases.json"))
    options = parser.parse_args()

    schemas = load_schemas(options.schemas)
    cases = json.loads(pathlib.Path(options.cases).read_text())
    tally = Tally()
    report = tally.report

    if sorted(schemas) != ["layout", "outputs", "windows"]:
        report("schema files", [f"found {sorted(schemas)}"])
    for name, schema in schemas.items():
        problems = []
        if schema.get("$schema") != DRAFT:
            problems.append(f"$schema is {schema.get('$schema')!r}")
        try:
            jsonschema.Draft202012Validator.check_schema(schema)
        except jsonschema.SchemaError as error:
            problems.append(f"not a valid schema: {error.message}")
        problems += closed_objects(schema)
        report(f"schema {name}", problems)

    validators = {name: jsonschema.Draft202012Validator(schema) for name, schema in schemas.items()}
    documents = {}
    for case in cases["accept"]:
        status, out, err = run_demo(options.demo, options.build, options.scenario, case["args"])
        problems = []
        if status != case.get("status", 0) or err:
            problems.append(f"status {status}, stderr {err!r}")
        try:
            document = json.loads(out.decode("utf-8"))
        except (UnicodeDecodeError, ValueError) as error:
            problems.append(f"not JSON: {error}: {out!r}")
        else:
            documents[case["name"]] = document
            problems += [f"{list(e.path)}: {e.message}" for e in validators[case["schema"]].iter_errors(document)]
        report(f"accept {case['name']}: ridaviduvo {' '.join(case['args'])}", problems)

    schema_of = {case["name"]: case["schema"] for case in cases["accept"]}
    for case in cases["reject"]:
        change = next(f"{a} {case[a]}" for a in ("delete", "add", "set") if a in case)
        if "value" in case:
            change += f" = {json.dumps(case['value'])}"
        name = f"reject {case['base']}: {change}"
        if case["base"] not in documents:
            report(name, ["its base document is missing"])
            continue
        document, where = mutate(documents[case["base"]], case)
        error = jsonschema.exceptions.best_match(validators[schema_of[case["base"]]].iter_errors(document))
        if error is None:
            report(name, ["accepted"])
        elif error.validator != case["keyword"] or list(error.path) != where:
            report(name, [f"rejected by {error.validator} at {list(error.path)} ({error.message}), "
                          f"want {case['keyword']} at {where}"])
        else:
            report(name, [])

    return tally.summary()


if __name__ == "__main__":
    sys.exit(main())
