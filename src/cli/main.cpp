// ridaviduvo: inspect the Zadozav compositor's state, or change the active
// workspace layout of one output.

#include <unistd.h>

#include <new>
#include <span>

#include "cli/command_line.hpp"
#include "cli/run.hpp"
#include "text/messages.hpp"
#include "text/writer.hpp"

namespace {

// The entry point's report of a failure passed up to it, written straight
// to standard error as far as it can still be written.
void report_failure(rdv::Error error) noexcept
{
    std::string_view name = rdv::error_name(error);
    char line[64];
    std::size_t length = 0;
    for (std::string_view piece : {rdv::messages::kErrorPrefix, name, std::string_view("\n")}) {
        piece.copy(line + length, piece.size());
        length += piece.size();
    }
    const char* p = line;
    while (length > 0) {
        ssize_t written = ::write(2, p, length);
        if (written <= 0)
            return;
        p += written;
        length -= static_cast<std::size_t>(written);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    rdv::StdoutWriter out;
    rdv::StderrWriter err;

    auto command = rdv::parse_command_line(std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
    if (!command) {
        if (auto written = err.put(rdv::messages::kUsage); !written || !err.flush()) {
            report_failure(rdv::Error::WriteFailed);
            return 1;
        }
        return 2;
    }

    rdv::Result<int> status;
    try {
        status = rdv::run_command(*command, out, err);
    } catch (const std::bad_alloc&) {
        // The session has closed itself while the failure passed.
        status = std::unexpected(rdv::Error::OutOfMemory);
    }
    if (!status) {
        report_failure(status.error());
        return 1;
    }
    return *status;
}
