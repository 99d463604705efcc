// Failures that are passed up to the entry point, and the helpers that pass them.
#pragma once

#include <expected>
#include <string_view>

namespace rdv {

enum class Error {
    OutOfMemory,  // memory could not be had, or libwayland returned no object
    WriteFailed,  // a write to, or flush of, standard output or standard error failed
};

template <typename T = void>
using Result = std::expected<T, Error>;

// The failure's name as the entry point prints it after "error: ".
constexpr std::string_view error_name(Error error) noexcept
{
    switch (error) {
    case Error::OutOfMemory:
        return "OutOfMemory";
    case Error::WriteFailed:
        return "WriteFailed";
    }
    return "UnknownError";
}

}  // namespace rdv

// Evaluates a Result-returning expression and returns its error from the
// enclosing function when it failed.
#define RDV_TRY(expression)                                  \
    do {                                                     \
        if (auto rdv_try_result_ = (expression); !rdv_try_result_) \
            return std::unexpected(rdv_try_result_.error()); \
    } while (false)
