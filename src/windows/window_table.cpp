#include "windows/window_renderers.hpp"

namespace rdv {
namespace {

constexpr std::string_view kHeader = "ID\tBACKEND\tAPP_ID/CLASS\tTITLE\tOUTPUT:WORKSPACE\tGEOMETRY\tLAYOUT\tSTATE\n";

// Received texts are kept on one line and free of control bytes; an absent
// text is an empty column.
Result<> write_column_text(Writer& writer, const Text& text) noexcept
{
    return text ? write_single_line(writer, *text) : Result<>{};
}

// The first present of the three: an empty app id still wins.
const Text& application_column(const WindowInfo& window) noexcept
{
    if (window.app_id)
        return window.app_id;
    if (window.window_class)
        return window.window_class;
    return window.toplevel_app_id;
}

Result<> write_row(Writer& writer, const WindowInfo& window) noexcept
{
    RDV_TRY(write_column_text(writer, window.identifier));
    RDV_TRY(writer.put('\t'));
    RDV_TRY(writer.put(backend_word(window.backend)));
    RDV_TRY(writer.put('\t'));
    RDV_TRY(write_column_text(writer, application_column(window)));
    RDV_TRY(writer.put('\t'));
    RDV_TRY(write_column_text(writer, window.title));
    RDV_TRY(writer.put('\t'));
    RDV_TRY(write_column_text(writer, window.output));
    RDV_TRY(writer.put(':'));
    RDV_TRY(write_unsigned_decimal(writer, window.workspace));
    RDV_TRY(writer.put('\t'));
    RDV_TRY(write_geometry(writer, window.geometry.x, window.geometry.y, window.geometry.width,
                           window.geometry.height));
    RDV_TRY(writer.put('\t'));
    RDV_TRY(write_column_text(writer, window.layout));
    RDV_TRY(writer.put('\t'));
    RDV_TRY(write_state_words(writer, window.state));
    return writer.put('\n');
}

}  // namespace

Result<> write_window_table(Writer& writer, const WindowList& windows) noexcept
{
    RDV_TRY(writer.put(kHeader));
    for (const WindowInfo& window : windows) {
        if (is_window_listed(window))
            RDV_TRY(write_row(writer, window));
    }
    return {};
}

}  // namespace rdv
