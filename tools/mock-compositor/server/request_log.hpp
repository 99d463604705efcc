#pragma once
// The request log: one line per request a client sends, in arrival order, as
// libwayland's protocol logger reports it, plus "disconnect" when a client's
// connection ends.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

struct wl_protocol_logger_message;

namespace mock {

// `interface.request arg arg ...`
std::string format_request(const wl_protocol_logger_message& message);

class RequestLog {
public:
    // An empty path logs nothing. Throws std::runtime_error if the file
    // cannot be created.
    explicit RequestLog(const std::string& path);

    void write_line(std::string_view line) noexcept;
    void flush() noexcept;

private:
    struct Closer {
        void operator()(std::FILE* file) const noexcept { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

} // namespace mock
