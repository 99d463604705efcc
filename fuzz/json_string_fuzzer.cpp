// write_json_string against the reference: for any bytes, the output is
// exactly one JSON string, valid UTF-8, whose escapes are the writer's own
// (short ones for quote, backslash, line feed, carriage return and tab,
// lowercase \u00xx for the other bytes below 0x20 and for 0x7F), and which
// reads back as the input with each ill-formed UTF-8 sequence replaced by
// U+FFFD. A writer that fails part way leaves a prefix of that output.
//
// Input: one byte choosing the writer's buffer size and failure point, then
// the text.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "reference.hpp"
#include "text/write_ops.hpp"
#include "text/writer.hpp"

namespace {

std::string expected_json(std::string_view input)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char32_t c : ref::decode(input)) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out.push_back(digits[c >> 4]);
                out.push_back(digits[c & 0x0F]);
            } else {
                ref::encode(out, c);
            }
        }
    }
    out += "\"";
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reference itself, on the Unicode standard's own example of
    // U+FFFD substitution by maximal subparts.
    const std::vector<char32_t> got = ref::decode("\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64");
    const std::vector<char32_t> want = {'a', 0xFFFD, 0xFFFD, 0xFFFD, 'b', 0xFFFD, 'c', 0xFFFD, 0xFFFD, 'd'};
    if (got != want) {
        ref::fail("reference decoder", "", "", "");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const unsigned config = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string want = expected_json(input);

    // Whole output: the exact bytes, a valid JSON string, the repaired text.
    {
        rdv::MemoryWriter writer(1 + (config & 0x3F) * 8);
        const bool written = rdv::write_json_string(writer, input).has_value() && rdv::flush(writer).has_value();
        if (!written) ref::fail("write_json_string failed on a writer that never fails", input, writer.text(), want);
        if (writer.text() != want) ref::fail("write_json_string output", input, writer.text(), want);
        std::vector<char32_t> read;
        if (!ref::read_json_string(writer.text(), read)) ref::fail("not one valid JSON string", input, writer.text(), want);
        if (read != ref::decode(input)) ref::fail("does not read back as the repaired input", input, writer.text(), want);
    }

    // A target that takes only so many bytes: WriteFailed exactly when the
    // output does not fit, and nothing but a prefix of it written.
    {
        const std::size_t fail_after = (config * 7u) % (want.size() + 2);
        rdv::MemoryWriter writer(1 + (config >> 5) * 16, fail_after);
        const bool written = rdv::write_json_string(writer, input).has_value() && rdv::flush(writer).has_value();
        if (written != (want.size() <= fail_after)) ref::fail("failure not reported as WriteFailed", input, writer.text(), want);
        if (want.compare(0, writer.text().size(), writer.text()) != 0 || writer.text().size() > fail_after)
            ref::fail("a failing writer got more than a prefix", input, writer.text(), want);
    }
    return 0;
}
