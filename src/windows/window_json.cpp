#include "windows/window_renderers.hpp"

namespace rdv {
namespace {

Result<> write_window_object(Writer& writer, const WindowInfo& window) noexcept
{
    RDV_TRY(writer.put("  {"));
    RDV_TRY(write_optional_string_member(writer, "id", window.identifier, true));
    RDV_TRY(writer.put(",\"backend\":"));
    RDV_TRY(write_json_string(writer, backend_word(window.backend)));
    RDV_TRY(write_optional_string_member(writer, "app_id", window.app_id, false));
    RDV_TRY(write_optional_string_member(writer, "class", window.window_class, false));
    RDV_TRY(write_optional_string_member(writer, "title", window.title, false));
    RDV_TRY(write_optional_string_member(writer, "output", window.output, false));
    RDV_TRY(writer.put(",\"workspace\":"));
    RDV_TRY(write_unsigned_decimal(writer, window.workspace));
    RDV_TRY(writer.put(",\"geometry\":{\"x\":"));
    RDV_TRY(write_signed_decimal(writer, window.geometry.x));
    RDV_TRY(writer.put(",\"y\":"));
    RDV_TRY(write_signed_decimal(writer, window.geometry.y));
    RDV_TRY(writer.put(",\"width\":"));
    RDV_TRY(write_signed_decimal(writer, window.geometry.width));
    RDV_TRY(writer.put(",\"height\":"));
    RDV_TRY(write_signed_decimal(writer, window.geometry.height));
    RDV_TRY(writer.put('}'));
    RDV_TRY(write_optional_string_member(writer, "layout", window.layout, false));
    RDV_TRY(writer.put(",\"matched_rule\":"));
    RDV_TRY(write_unsigned_decimal(writer, window.matched_rule));
    RDV_TRY(writer.put(",\"states\":["));
    bool first = true;
    for (const WindowStateFlag& flag : kWindowStateFlags) {
        if ((window.state & flag.bit) == 0)
            continue;
        if (!first)
            RDV_TRY(writer.put(','));
        RDV_TRY(write_json_string(writer, flag.word));
        first = false;
    }
    return writer.put("]}");
}

}  // namespace

Result<> write_windows_json(Writer& writer, const WindowList& windows) noexcept
{
    RDV_TRY(writer.put("[\n"));
    bool first = true;
    for (const WindowInfo& window : windows) {
        if (!is_window_listed(window))
            continue;
        if (!first)
            RDV_TRY(writer.put(",\n"));
        RDV_TRY(write_window_object(writer, window));
        first = false;
    }
    return writer.put("\n]\n");
}

}  // namespace rdv
