#include "outputs/output_renderers.hpp"
#include "text/write_ops.hpp"

namespace rdv {
namespace {

constexpr std::int32_t kMillihertzPerHertz = 1000;

// Refresh as hertz with three decimals, in integer arithmetic.
Result<> write_refresh(Writer& writer, std::int32_t refresh_mhz) noexcept
{
    RDV_TRY(write_signed_decimal(writer, refresh_mhz / kMillihertzPerHertz));
    std::int32_t millis = refresh_mhz % kMillihertzPerHertz;
    const char decimals[4] = {'.', static_cast<char>('0' + millis / 100), static_cast<char>('0' + millis / 10 % 10),
                              static_cast<char>('0' + millis % 10)};
    return writer.put(std::string_view(decimals, sizeof decimals));
}

Result<> write_mode_line(Writer& writer, const OutputHead& head, const OutputMode& mode) noexcept
{
    RDV_TRY(writer.put("    "));
    RDV_TRY(write_signed_decimal(writer, mode.width));
    RDV_TRY(writer.put('x'));
    RDV_TRY(write_signed_decimal(writer, mode.height));
    RDV_TRY(writer.put(" px"));
    if (mode.refresh_mhz > 0) {
        RDV_TRY(writer.put(", "));
        RDV_TRY(write_refresh(writer, mode.refresh_mhz));
        RDV_TRY(writer.put(" Hz"));
    }
    const bool current = head.current_mode == &mode;
    if (current || mode.preferred) {
        RDV_TRY(writer.put(" ("));
        if (current)
            RDV_TRY(writer.put("current"));
        if (current && mode.preferred)
            RDV_TRY(writer.put(", "));
        if (mode.preferred)
            RDV_TRY(writer.put("preferred"));
        RDV_TRY(writer.put(')'));
    }
    return writer.put('\n');
}

// "  Label: text\n" when the text is present. Monitor texts come from EDID
// data and are kept on one line, free of control bytes.
Result<> write_text_line(Writer& writer, std::string_view label, const Text& text) noexcept
{
    if (!text)
        return {};
    RDV_TRY(writer.put(label));
    RDV_TRY(write_single_line(writer, *text));
    return writer.put('\n');
}

Result<> write_head_block(Writer& writer, const OutputHead& head) noexcept
{
    if (head.name)
        RDV_TRY(write_single_line(writer, *head.name));
    else
        RDV_TRY(writer.put("unknown"));
    if (head.description) {
        RDV_TRY(writer.put(" \""));
        RDV_TRY(write_single_line(writer, *head.description));
        RDV_TRY(writer.put('"'));
    }
    RDV_TRY(writer.put('\n'));
    RDV_TRY(write_text_line(writer, "  Make: ", head.make));
    RDV_TRY(write_text_line(writer, "  Model: ", head.model));
    RDV_TRY(write_text_line(writer, "  Serial: ", head.serial_number));
    if (head.has_physical_size) {
        RDV_TRY(writer.put("  Physical size: "));
        RDV_TRY(write_signed_decimal(writer, head.physical_width_mm));
        RDV_TRY(writer.put('x'));
        RDV_TRY(write_signed_decimal(writer, head.physical_height_mm));
        RDV_TRY(writer.put(" mm\n"));
    }
    RDV_TRY(writer.put(head.enabled ? "  Enabled: yes\n" : "  Enabled: no\n"));
    RDV_TRY(writer.put("  Modes:\n"));
    bool any_mode = false;
    for (const OutputMode& mode : head.modes) {
        if (mode.finished)
            continue;
        RDV_TRY(write_mode_line(writer, head, mode));
        any_mode = true;
    }
    if (!any_mode)
        RDV_TRY(writer.put("    (none)\n"));
    if (!head.enabled)
        return {};
    RDV_TRY(writer.put("  Position: "));
    RDV_TRY(write_signed_decimal(writer, head.x));
    RDV_TRY(writer.put(','));
    RDV_TRY(write_signed_decimal(writer, head.y));
    RDV_TRY(writer.put("\n  Transform: "));
    RDV_TRY(writer.put(transform_word(head.transform)));
    RDV_TRY(writer.put("\n  Scale: "));
    RDV_TRY(write_fixed6(writer, head.scale));
    return writer.put(head.adaptive_sync ? "\n  Adaptive Sync: enabled\n" : "\n  Adaptive Sync: disabled\n");
}

}  // namespace

Result<> write_outputs_text(Writer& writer, const HeadList& heads) noexcept
{
    bool any_head = false;
    for (const OutputHead& head : heads) {
        if (head.finished)
            continue;
        if (any_head)
            RDV_TRY(writer.put('\n'));
        RDV_TRY(write_head_block(writer, head));
        any_head = true;
    }
    if (!any_head)
        return writer.put("No outputs found.\n");
    return {};
}

}  // namespace rdv
