#pragma once
// Strict reading of the scenario's JSON: every failure names the place in the
// file ("windows[2].info[0]") and what is wrong with it.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace mock {

using Json = nlohmann::json;

class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string member_path(const std::string& path, std::string_view key);
std::string element_path(const std::string& path, std::size_t index);

[[noreturn]] void fail(const std::string& path, const std::string& problem);

// Requires an object whose keys are all among `allowed`.
const Json& require_object(const Json& value, const std::string& path,
                           std::initializer_list<std::string_view> allowed);
const Json& require_array(const Json& value, const std::string& path);

// The member, or nullptr when the object lacks it.
const Json* find_member(const Json& object, std::string_view key);
// The member; a missing one is an error.
const Json& require_member(const Json& object, const std::string& path, std::string_view key);

std::uint32_t read_uint(const Json& value, const std::string& path);
std::int32_t read_int(const Json& value, const std::string& path);
double read_number(const Json& value, const std::string& path);
bool read_bool(const Json& value, const std::string& path);
std::size_t read_count(const Json& value, const std::string& path, std::size_t limit);
std::string read_string(const Json& value, const std::string& path);

// A delay: a round-trip count, or null for "never".
std::optional<std::uint32_t> read_delay(const Json& value, const std::string& path);

} // namespace mock
