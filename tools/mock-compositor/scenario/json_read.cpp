#include "scenario/json_read.hpp"

#include <cmath>
#include <limits>

namespace mock {

namespace {

std::string describe(const Json& value)
{
    switch (value.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "an array";
    case Json::value_t::string: return "a string";
    case Json::value_t::boolean: return "a boolean";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned: return "the integer " + value.dump();
    case Json::value_t::number_float: return "the number " + value.dump();
    case Json::value_t::binary:
    case Json::value_t::discarded: break;
    }
    return "an unexpected value";
}

// Any JSON integer, including floats with no fractional part such as 2.0.
std::optional<long double> integer_value(const Json& value)
{
    if (value.is_number_unsigned()) {
        return static_cast<long double>(value.get<std::uint64_t>());
    }
    if (value.is_number_integer()) {
        return static_cast<long double>(value.get<std::int64_t>());
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::isfinite(number) && std::trunc(number) == number) {
            return static_cast<long double>(number);
        }
    }
    return std::nullopt;
}

long double read_integer_in(const Json& value, const std::string& path, long double low, long double high,
                            const char* what)
{
    const auto number = integer_value(value);
    if (!number || *number < low || *number > high) {
        fail(path, std::string("expected ") + what + ", found " + describe(value));
    }
    return *number;
}

} // namespace

std::string member_path(const std::string& path, std::string_view key)
{
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string element_path(const std::string& path, std::size_t index)
{
    return path + "[" + std::to_string(index) + "]";
}

void fail(const std::string& path, const std::string& problem)
{
    throw ScenarioError(path.empty() ? problem : path + ": " + problem);
}

const Json& require_object(const Json& value, const std::string& path,
                           std::initializer_list<std::string_view> allowed)
{
    if (!value.is_object()) {
        fail(path, "expected an object, found " + describe(value));
    }
    for (const auto& item : value.items()) {
        bool known = false;
        for (std::string_view key : allowed) {
            known = known || key == item.key();
        }
        if (!known) {
            std::string list;
            for (std::string_view key : allowed) {
                list += list.empty() ? "" : ", ";
                list += key;
            }
            fail(member_path(path, item.key()), "unknown key (known keys: " + list + ")");
        }
    }
    return value;
}

const Json& require_array(const Json& value, const std::string& path)
{
    if (!value.is_array()) {
        fail(path, "expected an array, found " + describe(value));
    }
    return value;
}

const Json* find_member(const Json& object, std::string_view key)
{
    const auto found = object.find(std::string(key));
    return found == object.end() ? nullptr : &*found;
}

const Json& require_member(const Json& object, const std::string& path, std::string_view key)
{
    const Json* member = find_member(object, key);
    if (member == nullptr) {
        fail(path, "missing key \"" + std::string(key) + "\"");
    }
    return *member;
}

std::uint32_t read_uint(const Json& value, const std::string& path)
{
    return static_cast<std::uint32_t>(read_integer_in(value, path, 0.0L,
                                                      std::numeric_limits<std::uint32_t>::max(),
                                                      "an unsigned 32-bit integer"));
}

std::int32_t read_int(const Json& value, const std::string& path)
{
    return static_cast<std::int32_t>(read_integer_in(value, path, std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max(),
                                                     "a signed 32-bit integer"));
}

double read_number(const Json& value, const std::string& path)
{
    if (!value.is_number()) {
        fail(path, "expected a number, found " + describe(value));
    }
    return value.get<double>();
}

bool read_bool(const Json& value, const std::string& path)
{
    if (!value.is_boolean()) {
        fail(path, "expected true or false, found " + describe(value));
    }
    return value.get<bool>();
}

std::size_t read_count(const Json& value, const std::string& path, std::size_t limit)
{
    return static_cast<std::size_t>(read_integer_in(value, path, 0.0L, static_cast<long double>(limit),
                                                    ("an integer from 0 to " + std::to_string(limit)).c_str()));
}

std::string read_string(const Json& value, const std::string& path)
{
    if (!value.is_string()) {
        fail(path, "expected a string, found " + describe(value));
    }
    return value.get<std::string>();
}

std::optional<std::uint32_t> read_delay(const Json& value, const std::string& path)
{
    if (value.is_null()) {
        return std::nullopt;
    }
    return read_uint(value, path);
}

} // namespace mock
