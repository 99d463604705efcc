// write_single_line and write_single_line_utf8 against the references:
// every byte 0x00-0x1F and 0x7F and every C1 control (C2 80 to C2 9F)
// becomes one space, nothing else changes; the UTF-8 variant also turns each
// ill-formed maximal subpart into U+FFFD and is always valid UTF-8. Neither
// output holds a control byte or a C1 control. A failing writer leaves a
// prefix.
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

std::string expected_plain(std::string_view input)
{
    std::string out;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const auto b = static_cast<unsigned char>(input[i]);
        if (b < 0x20 || b == 0x7F) {
            out.push_back(' ');
        } else if (b == 0xC2 && i + 1 < input.size() && static_cast<unsigned char>(input[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(input[i + 1]) <= 0x9F) {
            out.push_back(' ');
            ++i;
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

std::string expected_utf8(std::string_view input)
{
    std::string out;
    for (const char32_t c : ref::decode(input)) {
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F))
            out.push_back(' ');
        else
            ref::encode(out, c);
    }
    return out;
}

bool has_control(std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x20 || b == 0x7F) return true;
        if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
            static_cast<unsigned char>(text[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

template <typename Write>
void check(const char* name, Write write, std::string_view input, const std::string& want, unsigned config)
{
    {
        rdv::MemoryWriter writer(1 + (config & 0x3F) * 8);
        if (!write(writer, input).has_value() || !rdv::flush(writer).has_value())
            ref::fail(name, input, writer.text(), want);
        if (writer.text() != want) ref::fail(name, input, writer.text(), want);
        if (has_control(writer.text())) ref::fail("control byte left in the output", input, writer.text(), want);
    }
    {
        const std::size_t fail_after = (config * 13u) % (want.size() + 2);
        rdv::MemoryWriter writer(1 + (config >> 5) * 16, fail_after);
        const bool written = write(writer, input).has_value() && rdv::flush(writer).has_value();
        if (written != (want.size() <= fail_after)) ref::fail("failure not reported as WriteFailed", input, writer.text(), want);
        if (want.compare(0, writer.text().size(), writer.text()) != 0 || writer.text().size() > fail_after)
            ref::fail("a failing writer got more than a prefix", input, writer.text(), want);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const unsigned config = data[0];
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    check("write_single_line output", [](rdv::Writer& w, std::string_view t) { return rdv::write_single_line(w, t); },
          input, expected_plain(input), config);

    const std::string want = expected_utf8(input);
    if (!ref::is_valid_utf8(want)) ref::fail("reference produced invalid UTF-8", input, want, want);
    check("write_single_line_utf8 output",
          [](rdv::Writer& w, std::string_view t) { return rdv::write_single_line_utf8(w, t); }, input, want, config);
    return 0;
}
