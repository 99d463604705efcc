// mock-compositor: a Wayland server that plays a scenario file to one client
// (or, with --persist, to clients one after another) and logs the requests it
// receives. See README.md.

#include "random/random_scenario.hpp"
#include "scenario/scenario.hpp"
#include "server/options.hpp"
#include "server/server.hpp"

#include <csignal>
#include <cstdio>
#include <exception>
#include <fstream>
#include <utility>

int main(int argc, char** argv)
{
    // Writes to a client that went away must fail, not kill the mock.
    std::signal(SIGPIPE, SIG_IGN);

    mock::Options options;
    try {
        options = mock::parse_options(argc, argv);
    } catch (const mock::UsageError& e) {
        std::fprintf(stderr, "mock-compositor: %s\n%s", e.what(), mock::usage_text());
        return 2;
    }
    if (options.help) {
        std::fputs(mock::usage_text(), stdout);
        return 0;
    }

    if (options.random_seed) {
        // The generated scenario is written out, then read back like any
        // scenario file, so that every run can be replayed from that file.
        const auto command = mock::parse_random_command(options.random_command);
        if (!command) {
            std::fprintf(stderr, "mock-compositor: --random-command: unknown command \"%s\"\n%s",
                         options.random_command.c_str(), mock::usage_text());
            return 2;
        }
        const mock::RandomScenario generated = mock::make_random_scenario(*options.random_seed, *command);
        for (const auto& [file, document] : {std::pair{&options.random_out, &generated.scenario},
                                             std::pair{&options.random_expect, &generated.expect}}) {
            std::ofstream out(*file, std::ios::binary | std::ios::trunc);
            out << document->dump() << '\n';
            if (!out.flush()) {
                std::fprintf(stderr, "mock-compositor: cannot write %s\n", file->c_str());
                return mock::exit_setup_failed;
            }
        }
        options.scenario = options.random_out;
    }

    mock::Scenario scenario;
    try {
        scenario = mock::load_scenario(options.scenario);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mock-compositor: scenario %s: %s\n", options.scenario.c_str(), e.what());
        return 2;
    }

    try {
        mock::Server server(options, scenario);
        return server.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mock-compositor: %s\n", e.what());
        return mock::exit_setup_failed;
    }
}
