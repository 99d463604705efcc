#pragma once
// The command line:
//   mock-compositor --scenario FILE.json --socket NAME [--log FILE] [--persist]
//                   [--timeout SECONDS]

#include <stdexcept>
#include <string>

namespace mock {

struct Options {
    std::string scenario;
    std::string socket;
    std::string log;
    bool persist = false;
    double timeout_seconds = 30.0; // 0: never
    bool help = false;
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

Options parse_options(int argc, char** argv);

const char* usage_text() noexcept;

} // namespace mock
