#include "server/options.hpp"

#include <climits>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace mock {

namespace {

// The number that is the whole of `text`, read by `convert` (std::stod,
// std::stoull), or nothing when there is none or more follows it. Both
// functions take white space in front, and std::stoull a sign too; each
// caller says which of those it refuses.
template <class Convert>
auto whole_number(const std::string& text, Convert convert) -> std::optional<decltype(convert(text, nullptr))>
{
    std::size_t used = 0;
    decltype(convert(text, nullptr)) value{};
    try {
        value = convert(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) {
        return std::nullopt;
    }
    return value;
}

double to_double(const std::string& text, std::size_t* used)
{
    return std::stod(text, used);
}

unsigned long long to_ull(const std::string& text, std::size_t* used)
{
    return std::stoull(text, used);
}

double parse_seconds(const std::string& text)
{
    const auto seconds = whole_number(text, &to_double);
    if (!seconds || !std::isfinite(*seconds) || *seconds < 0.0) {
        throw UsageError("--timeout takes a number of seconds, not \"" + text + "\"");
    }
    return *seconds;
}

std::uint32_t parse_count(std::string_view option, const std::string& text)
{
    const auto value = whole_number(text, &to_ull);
    if (!value || text.front() == '-' || *value > UINT32_MAX) {
        throw UsageError(std::string(option) + " takes a number from 0 to 4294967295, not \"" + text + "\"");
    }
    return static_cast<std::uint32_t>(*value);
}

std::uint64_t parse_seed(const std::string& text)
{
    const auto value = whole_number(text, &to_ull);
    if (!value || text.front() < '0' || text.front() > '9') {
        throw UsageError("--random-seed takes a number from 0 to 18446744073709551615, not \"" + text + "\"");
    }
    return static_cast<std::uint64_t>(*value);
}

} // namespace

const char* usage_text() noexcept
{
    return "usage: mock-compositor --scenario FILE.json --socket NAME [--log FILE] [--persist]\n"
           "                       [--timeout SECONDS] [--drop-after-events K | --error-at-event K]\n"
           "                       [--log-events]\n"
           "  --scenario FILE  what to advertise, describe and do (see README.md)\n"
           "  --socket NAME    socket name in $XDG_RUNTIME_DIR\n"
           "  --log FILE       write one line per client request\n"
           "  --persist        serve clients one after another until SIGTERM/SIGINT\n"
           "  --timeout S      exit with status 3 if no client has finished after S seconds\n"
           "                   (default 30, 0 for never)\n"
           "  --drop-after-events K  shut the first client's connection once K events\n"
           "                   have gone out to it\n"
           "  --error-at-event K  make the first client's K-th event a wl_display.error,\n"
           "                   then shut its connection\n"
           "  --log-events     also log every event sent, as \"-> interface.event args\"\n"
           "  --random-seed N --random-command WORD --random-out FILE --random-expect FILE\n"
           "                   instead of --scenario: make a hostile scenario for the tool's\n"
           "                   command WORD (windows, windows-json, inspect-rule, scene,\n"
           "                   scene-dot, outputs, outputs-json, layout-query, layout-set),\n"
           "                   write it and what the tool may do with it, then play it\n";
}

Options parse_options(int argc, char** argv)
{
    Options options;
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::string_view arg = args[i];
        std::string value;
        bool inline_value = false;
        if (const auto equals = arg.find('='); arg.starts_with("--") && equals != std::string_view::npos) {
            value = std::string(arg.substr(equals + 1));
            arg = arg.substr(0, equals);
            inline_value = true;
        }
        const auto take_value = [&]() -> std::string {
            if (inline_value) {
                return value;
            }
            if (i + 1 >= args.size()) {
                throw UsageError(std::string(arg) + " needs a value");
            }
            return args[++i];
        };
        const auto no_value = [&] {
            if (inline_value) {
                throw UsageError(std::string(arg) + " takes no value");
            }
        };

        if (arg == "--scenario") {
            options.scenario = take_value();
        } else if (arg == "--socket") {
            options.socket = take_value();
        } else if (arg == "--log") {
            options.log = take_value();
        } else if (arg == "--timeout") {
            options.timeout_seconds = parse_seconds(take_value());
        } else if (arg == "--drop-after-events") {
            options.drop_after_events = parse_count(arg, take_value());
        } else if (arg == "--error-at-event") {
            options.error_at_event = parse_count(arg, take_value());
            if (*options.error_at_event == 0) {
                throw UsageError("--error-at-event counts from 1");
            }
        } else if (arg == "--log-events") {
            no_value();
            options.log_events = true;
        } else if (arg == "--random-seed") {
            options.random_seed = parse_seed(take_value());
        } else if (arg == "--random-command") {
            options.random_command = take_value();
        } else if (arg == "--random-out") {
            options.random_out = take_value();
        } else if (arg == "--random-expect") {
            options.random_expect = take_value();
        } else if (arg == "--persist") {
            no_value();
            options.persist = true;
        } else if (arg == "--help" || arg == "-h") {
            no_value();
            options.help = true;
            return options;
        } else {
            throw UsageError("unknown argument \"" + std::string(arg) + "\"");
        }
    }
    if (options.drop_after_events && options.error_at_event) {
        throw UsageError("--drop-after-events and --error-at-event exclude each other");
    }
    if (options.random_seed) {
        if (!options.scenario.empty()) {
            throw UsageError("--random-seed and --scenario exclude each other");
        }
        if (options.random_command.empty() || options.random_out.empty() || options.random_expect.empty()) {
            throw UsageError("--random-seed needs --random-command, --random-out and --random-expect");
        }
    } else if (!options.random_command.empty() || !options.random_out.empty() || !options.random_expect.empty()) {
        throw UsageError("--random-command, --random-out and --random-expect go with --random-seed");
    } else if (options.scenario.empty()) {
        throw UsageError("--scenario is required");
    }
    if (options.socket.empty()) {
        throw UsageError("--socket is required");
    }
    return options;
}

} // namespace mock
