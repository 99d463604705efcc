#!/usr/bin/env python3
"""Broken connections: for each command's normal exchange with the mock
compositor, and for every event K of that exchange, the mock

  * shuts the connection once K events have gone out (--drop-after-events K,
    K = 0 .. N-1), and
  * sends a wl_display.error as event K and then shuts the connection
    (--error-at-event K, K = 1 .. N),

where N is the number of events the mock sends in the normal exchange
(learnt from a first run with --log-events).

The tool waits for the wl_callback.done of its last round trip; call its
position in the event stream D. Every run that withholds that event (drop:
K < D; error: K <= D) must end with "ridaviduvo: Wayland connection failed"
as the last line of standard error, status 1, nothing on standard output,
and no sanitizer report, within the time limit. A drop after D leaves the
tool everything it needs: the run must then give the normal outcome byte for
byte. An error after D (it replaces a delete_id that follows the done) may
reach the tool together with the done, and libwayland handles wl_display's
events first; both the normal outcome and the connection failure are then
accepted, and counted.

With RDV_FAULTS_SUBSET=ci only the exchanges of CI_EXCHANGES are played.
Exit status 0 when every run behaved, 1 otherwise.
"""

import sys

import faultrun

# One normal exchange per command against the demo desktop.
EXCHANGES = faultrun.DESKTOP_COMMANDS

# The bounded subset for CI (RDV_FAULTS_SUBSET=ci): one exchange per flow.
CI_EXCHANGES = [
    ["windows", "--json"],
    ["scene", "--dot"],
    ["outputs", "--json"],
    ["layout", "--output", "eDP-1", "--set", "no-such-layout", "--json"],
]


def failure_problems(outcome):
    problems = []
    if outcome.status != 1:
        problems.append(f"status {outcome.status}, want 1")
    if outcome.stdout:
        problems.append(f"standard output not empty: {faultrun.short(outcome.stdout)}")
    if faultrun.last_line(outcome.stderr) != faultrun.CONNECTION_FAILED:
        problems.append(f"last line of standard error: {faultrun.short(outcome.stderr)}")
    return problems


def common_problems(outcome, fault_line):
    problems = []
    if outcome.hung:
        problems.append("the tool hung")
    if outcome.sanitizer_report():
        problems.append(f"sanitizer report: {faultrun.short(outcome.stderr, 2000)}")
    if outcome.mock_status != 0:
        problems.append(f"mock status {outcome.mock_status}: {outcome.mock_stderr.decode(errors='replace')}")
    if fault_line not in outcome.log:
        problems.append(f"the mock's log lacks {fault_line!r}: the fault did not happen")
    return problems


def main():
    options = faultrun.driver_options(__doc__)
    exchanges = EXCHANGES
    if faultrun.os.environ.get("RDV_FAULTS_SUBSET") == "ci":
        exchanges = [e for e in EXCHANGES if e in CI_EXCHANGES]
        print(f"subset for CI: {len(exchanges)} exchanges")

    scenario = faultrun.json.loads(faultrun.DESKTOP.read_text())
    failed = 0
    total_runs = 0
    drop_points = 0
    error_points = 0
    late_error_normal = 0
    late_error_failed = 0
    for args in exchanges:
        name = " ".join(args)
        baseline = faultrun.run(options.tool, args, scenario, mock=options.mock, mock_args=["--log-events"])
        events = [line for line in baseline.log if line.startswith("-> ")]
        dones = [i + 1 for i, line in enumerate(events) if line.startswith("-> wl_callback.done ")]
        if baseline.hung or baseline.sanitizer_report() or not baseline.stdout or not dones \
                or baseline.status not in (0, 1) or baseline.stderr:
            print(f"FAIL {name}: the normal exchange itself is wrong: status {baseline.status}, "
                  f"stderr {faultrun.short(baseline.stderr)}")
            failed += 1
            continue
        count = len(events)
        last_done = dones[-1]
        normal = baseline.key()

        def drop(k):
            outcome = faultrun.run(options.tool, args, scenario, mock=options.mock,
                                   mock_args=["--drop-after-events", str(k)])
            problems = common_problems(outcome, f"fault: connection shut after event {k}")
            if k < last_done:
                problems += failure_problems(outcome)
            elif outcome.key() != normal:
                problems.append(f"a drop after the last done changed the outcome: status {outcome.status}, "
                                f"stdout {faultrun.short(outcome.stdout)}, stderr {faultrun.short(outcome.stderr)}")
            return ("drop", k, problems, outcome)

        def error(k):
            outcome = faultrun.run(options.tool, args, scenario, mock=options.mock,
                                   mock_args=["--error-at-event", str(k)])
            problems = common_problems(outcome, f"fault: protocol error as event {k}")
            if k <= last_done or outcome.key() != normal:
                problems += failure_problems(outcome)
            return ("error", k, problems, outcome)

        jobs = [(drop, k) for k in range(count)] + [(error, k) for k in range(1, count + 1)]
        results = faultrun.parallel(options.jobs, lambda job: job[0](job[1]), jobs)
        case_failed = 0
        for kind, k, problems, outcome in results:
            total_runs += 1
            if kind == "error" and k > last_done and not problems:
                if outcome.key() == normal:
                    late_error_normal += 1
                else:
                    late_error_failed += 1
            if problems:
                case_failed += 1
                print(f"FAIL {name}: {kind} at event {k}")
                for problem in problems:
                    print("  " + problem.replace("\n", "\n  "))
        drop_points += count
        error_points += count
        failed += case_failed
        print(f"{'ok  ' if not case_failed else 'FAIL'} {name}: {count} events, last round trip's done is "
              f"event {last_done}; {2 * count} runs, {case_failed} failed")

    print(f"connection faults: {len(exchanges)} exchanges, {drop_points} drop points, {error_points} error "
          f"points, {total_runs} runs, {failed} failed; errors after the last done: {late_error_normal} "
          f"normal, {late_error_failed} failed the connection")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
