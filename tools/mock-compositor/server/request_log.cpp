#include "server/request_log.hpp"

#include "objects/wayland_glue.hpp"

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace mock {

namespace {

void append_string(std::string& out, const char* text)
{
    if (text == nullptr) {
        out += "null";
        return;
    }
    constexpr std::string_view digits = "0123456789abcdef";
    out += '"';
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte >= 0x20 && byte <= 0x7e && byte != '"' && byte != '\\') {
            out += *c;
        } else {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0x0f];
        }
    }
    out += '"';
}

} // namespace

std::string format_request(const wl_protocol_logger_message& message)
{
    std::string line = wl_resource_get_class(message.resource);
    line += '.';
    line += message.message->name;

    int index = 0;
    for (const char* type = message.message->signature; *type != '\0'; ++type) {
        if ((*type >= '0' && *type <= '9') || *type == '?') {
            continue;
        }
        if (index >= message.arguments_count) {
            break;
        }
        const wl_argument& arg = message.arguments[index++];
        line += ' ';
        switch (*type) {
        case 'i': line += std::to_string(arg.i); break;
        case 'u': line += std::to_string(arg.u); break;
        case 'f': line += std::to_string(arg.f); break;
        case 'h': line += std::to_string(arg.h); break;
        case 's': append_string(line, arg.s); break;
        case 'n': line += "new"; break;
        case 'o':
            // A request's object argument points at the wl_object that
            // starts its wl_resource.
            line += arg.o == nullptr ? "null" : wl_resource_get_class(reinterpret_cast<wl_resource*>(arg.o));
            break;
        case 'a': line += "array:" + std::to_string(arg.a == nullptr ? 0 : arg.a->size); break;
        default: line += '?'; break;
        }
    }
    return line;
}

RequestLog::RequestLog(const std::string& path)
{
    if (path.empty()) {
        return;
    }
    file_.reset(std::fopen(path.c_str(), "w"));
    if (!file_) {
        throw std::runtime_error("cannot create the log " + path + ": " + std::strerror(errno));
    }
}

void RequestLog::write_line(std::string_view line) noexcept
{
    if (file_) {
        std::fwrite(line.data(), 1, line.size(), file_.get());
        std::fputc('\n', file_.get());
    }
}

void RequestLog::flush() noexcept
{
    if (file_) {
        std::fflush(file_.get());
    }
}

} // namespace mock
