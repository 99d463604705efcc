// write_fixed6 against an exact decimal reference. The value's shortest
// round-trip digits (checked here to read back as the same double, and to be
// no longer than the shortest correctly rounded printf form that does) are
// rounded half up to six decimals in exact integer arithmetic, or, for
// values of 1e21 and more, whose shortest digits end before the decimal
// point, written out with zeros.
//
// Input: one byte choosing how the next bytes make a double (the raw bits,
// or a 32-bit integer divided by 256, as an output's scale, or by 1000, as a
// refresh rate in hertz), then those bytes.

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "outputs/output_renderers.hpp"
#include "reference.hpp"
#include "text/write_ops.hpp"
#include "text/writer.hpp"

namespace {

using u128 = unsigned __int128;

struct Shortest {
    std::string digits;  // no leading or trailing zeros, at least one digit
    int exponent;        // value = d1.d2d3... x 10^exponent
};

Shortest shortest_digits(double magnitude)
{
    char text[64];
    auto [end, ec] = std::to_chars(text, text + sizeof text - 1, magnitude, std::chars_format::scientific);
    if (ec != std::errc()) std::abort();
    *end = '\0';
    Shortest s{"", 0};
    const char* p = text;
    for (; p < end && *p != 'e'; ++p)
        if (*p != '.') s.digits.push_back(*p);
    s.exponent = std::atoi(p + 1);
    while (s.digits.size() > 1 && s.digits.back() == '0') s.digits.pop_back();
    // The digits read back as the same double...
    if (std::strtod(text, nullptr) != magnitude) ref::fail("shortest digits do not round-trip", "", text, "");
    // ...and no correctly rounded printf form with fewer digits does.
    for (int precision = 1; precision < static_cast<int>(s.digits.size()); ++precision) {
        char shorter[64];
        std::snprintf(shorter, sizeof shorter, "%.*e", precision - 1, magnitude);
        if (std::strtod(shorter, nullptr) == magnitude) ref::fail("a shorter form round-trips", "", text, shorter);
    }
    return s;
}

u128 power10(int n)
{
    u128 p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}

std::string to_decimal(u128 value)
{
    std::string out;
    do {
        out.insert(out.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return out;
}

std::string expected_fixed6(double value)
{
    const double magnitude = std::fabs(value);
    std::string out = value < 0 ? "-" : "";
    if (magnitude == 0.0) return out + "0.000000";
    const Shortest s = shortest_digits(magnitude);
    // value = M x 10^e, with M the digits as an integer (at most 17 digits).
    u128 m = 0;
    for (const char d : s.digits) m = m * 10 + static_cast<unsigned>(d - '0');
    const int e = s.exponent - static_cast<int>(s.digits.size()) + 1;
    if (e + 6 > 21) {
        // Every digit stands before the decimal point.
        return out + s.digits + std::string(static_cast<std::size_t>(e), '0') + ".000000";
    }
    // Millionths, rounded half up: M x 10^(e+6).
    u128 millionths = 0;
    if (e + 6 >= 0) {
        millionths = m * power10(e + 6);
    } else if (-(e + 6) <= 30) {
        const u128 divisor = power10(-(e + 6));
        millionths = m / divisor + (m % divisor * 2 >= divisor ? 1 : 0);
    }  // else below 10^-13 of a millionth: rounds to zero
    std::string fraction = to_decimal(millionths % 1000000);
    fraction.insert(0, 6 - fraction.size(), '0');
    return out + to_decimal(millionths / 1000000) + "." + fraction;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 9) return 0;
    double value = 0;
    std::int32_t integer = 0;
    std::memcpy(&integer, data + 1, sizeof integer);
    switch (data[0] % 3) {
    case 0: std::memcpy(&value, data + 1, sizeof value); break;
    case 1: value = integer / 256.0; break;
    default: value = integer / 1000.0; break;
    }
    if (!std::isfinite(value)) return 0;
    const std::string want = expected_fixed6(value);
    rdv::MemoryWriter writer(64);
    if (!rdv::write_fixed6(writer, value).has_value() || !rdv::flush(writer).has_value())
        ref::fail("write_fixed6 failed", std::string_view(reinterpret_cast<const char*>(data), size), writer.text(), want);
    if (writer.text() != want)
        ref::fail("write_fixed6 output", std::string_view(reinterpret_cast<const char*>(data), size), writer.text(), want);
    return 0;
}
