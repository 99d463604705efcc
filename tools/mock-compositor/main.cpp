// mock-compositor: a Wayland server that plays a scenario file to one client
// (or, with --persist, to clients one after another) and logs the requests it
// receives. See README.md.

#include "options.hpp"
#include "scenario.hpp"
#include "server.hpp"

#include <csignal>
#include <cstdio>
#include <exception>

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
