#include "outputs/output_renderers.hpp"
#include "text/write_ops.hpp"

namespace rdv {
namespace {

std::string_view json_bool(bool value) noexcept
{
    return value ? "true" : "false";
}

Result<> write_mode_object(Writer& writer, const OutputHead& head, const OutputMode& mode) noexcept
{
    RDV_TRY(writer.put("{\"width\":"));
    RDV_TRY(write_signed_decimal(writer, mode.width));
    RDV_TRY(writer.put(",\"height\":"));
    RDV_TRY(write_signed_decimal(writer, mode.height));
    RDV_TRY(writer.put(",\"refresh\":"));
    RDV_TRY(write_fixed6(writer, static_cast<double>(mode.refresh_mhz) / 1000.0));
    RDV_TRY(writer.put(",\"preferred\":"));
    RDV_TRY(writer.put(json_bool(mode.preferred)));
    RDV_TRY(writer.put(",\"current\":"));
    RDV_TRY(writer.put(json_bool(head.current_mode == &mode)));
    return writer.put('}');
}

Result<> write_head_object(Writer& writer, const OutputHead& head) noexcept
{
    RDV_TRY(writer.put("  {"));
    RDV_TRY(write_optional_string_member(writer, "name", head.name, true));
    RDV_TRY(write_optional_string_member(writer, "description", head.description, false));
    RDV_TRY(write_optional_string_member(writer, "make", head.make, false));
    RDV_TRY(write_optional_string_member(writer, "model", head.model, false));
    RDV_TRY(write_optional_string_member(writer, "serial", head.serial_number, false));
    RDV_TRY(writer.put(",\"physical_size\":{\"width\":"));
    RDV_TRY(write_signed_decimal(writer, head.physical_width_mm));
    RDV_TRY(writer.put(",\"height\":"));
    RDV_TRY(write_signed_decimal(writer, head.physical_height_mm));
    RDV_TRY(writer.put("},\"enabled\":"));
    RDV_TRY(writer.put(json_bool(head.enabled)));
    RDV_TRY(writer.put(",\"modes\":["));
    bool first = true;
    for (const OutputMode& mode : head.modes) {
        if (mode.finished)
            continue;
        if (!first)
            RDV_TRY(writer.put(','));
        RDV_TRY(write_mode_object(writer, head, mode));
        first = false;
    }
    RDV_TRY(writer.put("],\"position\":{\"x\":"));
    RDV_TRY(write_signed_decimal(writer, head.x));
    RDV_TRY(writer.put(",\"y\":"));
    RDV_TRY(write_signed_decimal(writer, head.y));
    RDV_TRY(writer.put("},\"transform\":"));
    RDV_TRY(write_json_string(writer, transform_word(head.transform)));
    RDV_TRY(writer.put(",\"scale\":"));
    RDV_TRY(write_fixed6(writer, head.scale));
    RDV_TRY(writer.put(",\"adaptive_sync\":"));
    RDV_TRY(writer.put(json_bool(head.adaptive_sync)));
    return writer.put('}');
}

}  // namespace

Result<> write_outputs_json(Writer& writer, const HeadList& heads) noexcept
{
    RDV_TRY(writer.put("[\n"));
    bool first = true;
    for (const OutputHead& head : heads) {
        if (head.finished)
            continue;
        if (!first)
            RDV_TRY(writer.put(",\n"));
        RDV_TRY(write_head_object(writer, head));
        first = false;
    }
    return writer.put("\n]\n");
}

}  // namespace rdv
