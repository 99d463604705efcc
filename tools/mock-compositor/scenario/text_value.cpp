#include "scenario/text_value.hpp"

namespace mock {

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string decode_hex(const std::string& digits, const std::string& path)
{
    if (digits.size() % 2 != 0) {
        fail(path, "hex text needs an even number of digits");
    }
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int high = hex_digit(digits[i]);
        const int low = hex_digit(digits[i + 1]);
        if (high < 0 || low < 0) {
            fail(path, "\"" + digits.substr(i, 2) + "\" is not a hex byte");
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

} // namespace

std::string read_text(const Json& value, const std::string& path)
{
    std::string text;
    if (value.is_string()) {
        text = value.get<std::string>();
    } else if (value.is_object() && find_member(value, "hex") != nullptr) {
        require_object(value, path, {"hex"});
        const std::string hex_path = member_path(path, "hex");
        text = decode_hex(read_string(value["hex"], hex_path), hex_path);
    } else if (value.is_object() && find_member(value, "repeat") != nullptr) {
        require_object(value, path, {"repeat", "count"});
        const std::string unit = read_text(value["repeat"], member_path(path, "repeat"));
        const std::size_t count =
            read_count(require_member(value, path, "count"), member_path(path, "count"), max_text_size);
        if (!unit.empty() && count > max_text_size / unit.size()) {
            fail(path, "repeated text longer than " + std::to_string(max_text_size) + " bytes");
        }
        text.reserve(unit.size() * count);
        for (std::size_t i = 0; i < count; ++i) {
            text += unit;
        }
    } else {
        fail(path, "expected a text: a string, {\"hex\": ...} or {\"repeat\": ..., \"count\": ...}");
    }
    if (text.find('\0') != std::string::npos) {
        fail(path, "text contains a zero byte, which a Wayland string cannot carry");
    }
    if (text.size() > max_text_size) {
        fail(path, "text longer than " + std::to_string(max_text_size) + " bytes");
    }
    return text;
}

} // namespace mock
