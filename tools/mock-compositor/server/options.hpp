#pragma once
// The command line:
//   mock-compositor --scenario FILE.json --socket NAME [--log FILE] [--persist]
//                   [--timeout SECONDS] [--drop-after-events K | --error-at-event K]
//                   [--log-events]
//   mock-compositor --random-seed N --random-command WORD --random-out FILE
//                   --random-expect FILE --socket NAME [...]

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace mock {

struct Options {
    std::string scenario;
    std::string socket;
    std::string log;
    bool persist = false;
    double timeout_seconds = 30.0; // 0: never
    // Connection faults for the first client, counted over the events the
    // mock sends it (every message, wl_display's included):
    // --drop-after-events K: shut the connection once K events have gone out;
    // --error-at-event K: event K is a wl_display.error, then the connection is shut.
    std::optional<std::uint32_t> drop_after_events;
    std::optional<std::uint32_t> error_at_event;
    bool log_events = false; // --log-events: the log also gets one "-> " line per event
    // The seeded random mode (random_scenario.hpp), instead of --scenario:
    // --random-seed N --random-command WORD makes a scenario for that command,
    // writes it to --random-out FILE (replayable with --scenario FILE) and what
    // the tool may do with it to --random-expect FILE, then plays it.
    std::optional<std::uint64_t> random_seed;
    std::string random_command;
    std::string random_out;
    std::string random_expect;
    bool help = false;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Options parse_options(int argc, char** argv);

const char* usage_text() noexcept;

} // namespace mock
