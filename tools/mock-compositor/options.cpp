#include "options.hpp"

#include <cmath>
#include <span>
#include <string_view>

namespace mock {

namespace {

double parse_seconds(const std::string& text)
{
    std::size_t used = 0;
    double seconds = 0.0;
    try {
        seconds = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || !std::isfinite(seconds) || seconds < 0.0) {
        throw UsageError("--timeout takes a number of seconds, not \"" + text + "\"");
    }
    return seconds;
}

} // namespace

const char* usage_text() noexcept
{
    return "usage: mock-compositor --scenario FILE.json --socket NAME [--log FILE] [--persist]\n"
           "                       [--timeout SECONDS]\n"
           "  --scenario FILE  what to advertise, describe and do (see README.md)\n"
           "  --socket NAME    socket name in $XDG_RUNTIME_DIR\n"
           "  --log FILE       write one line per client request\n"
           "  --persist        serve clients one after another until SIGTERM/SIGINT\n"
           "  --timeout S      exit with status 3 if no client has finished after S seconds\n"
           "                   (default 30, 0 for never)\n";
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
    if (options.scenario.empty()) {
        throw UsageError("--scenario is required");
    }
    if (options.socket.empty()) {
        throw UsageError("--socket is required");
    }
    return options;
}

} // namespace mock
