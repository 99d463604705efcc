#include <array>
#include <charconv>
#include <cmath>

#include "outputs/output_renderers.hpp"

namespace rdv {

std::string_view transform_word(std::int32_t transform) noexcept
{
    static constexpr std::array<std::string_view, 8> kWords{
        "normal", "90", "180", "270", "flipped", "flipped-90", "flipped-180", "flipped-270",
    };
    if (transform < 0 || transform >= static_cast<std::int32_t>(kWords.size()))
        return "unknown";
    return kWords[static_cast<std::size_t>(transform)];
}

Result<> write_fixed6(Writer& writer, double value) noexcept
{
    constexpr int kDecimals = 6;
    if (!std::isfinite(value))
        return writer.put("0.000000");

    // Shortest round-trip digits d1 d2 ... dn and the exponent e of
    // d1.d2...dn × 10^e.
    char scientific[32];
    auto [end, ec] = std::to_chars(scientific, scientific + sizeof scientific, std::fabs(value),
                                   std::chars_format::scientific);
    std::array<char, 20> digits{};
    int count = 0;
    const char* p = scientific;
    for (; p < end && *p != 'e'; ++p) {
        if (*p != '.')
            digits[static_cast<std::size_t>(count++)] = *p;
    }
    int exponent = 0;
    const char* exponent_text = p + 1;  // after the 'e'; from_chars takes no '+'
    if (exponent_text < end && *exponent_text == '+')
        ++exponent_text;
    std::from_chars(exponent_text, end, exponent);

    // Digit at index i of the digit string, zero outside it.
    auto digit_at = [&](int i) { return i >= 0 && i < count ? digits[static_cast<std::size_t>(i)] - '0' : 0; };
    const int integer_digits = exponent + 1;  // digits before the decimal point

    // The integer part and the six decimals as one digit array, then half-up
    // rounding on the seventh decimal with the carry run as far as needed.
    std::array<char, 320> fixed{};  // a double's integer part has at most 309 digits
    int length = 0;
    fixed[static_cast<std::size_t>(length++)] = '0';  // room for a carry out of the top digit
    for (int i = 0; i < integer_digits; ++i)
        fixed[static_cast<std::size_t>(length++)] = static_cast<char>('0' + digit_at(i));
    if (integer_digits <= 0)
        fixed[static_cast<std::size_t>(length++)] = '0';
    for (int k = 0; k < kDecimals; ++k)
        fixed[static_cast<std::size_t>(length++)] = static_cast<char>('0' + digit_at(integer_digits + k));
    if (digit_at(integer_digits + kDecimals) >= 5) {
        for (int i = length - 1; i >= 0; --i) {
            auto& d = fixed[static_cast<std::size_t>(i)];
            if (d == '9') {
                d = '0';
                continue;
            }
            ++d;
            break;
        }
    }

    if (value < 0)
        RDV_TRY(writer.put('-'));
    int first = fixed[0] == '0' ? 1 : 0;
    const int point = length - kDecimals;
    RDV_TRY(writer.put(std::string_view(fixed.data() + first, static_cast<std::size_t>(point - first))));
    RDV_TRY(writer.put('.'));
    return writer.put(std::string_view(fixed.data() + point, kDecimals));
}

}  // namespace rdv
