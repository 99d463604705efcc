#include "windows/window_renderers.hpp"

namespace rdv {
namespace {

constexpr std::string_view kEmDashSeparator = " \xE2\x80\x94 ";  // " — "

// The first present of the two texts, else the empty text.
std::string_view first_present(const Text& first, const Text& second) noexcept
{
    if (first)
        return *first;
    if (second)
        return *second;
    return {};
}

Result<> write_stub(Writer& writer, const WindowInfo& window) noexcept
{
    // The comment line names the window; it must stay one line of valid
    // UTF-8 whatever the window's texts hold.
    RDV_TRY(writer.put("# "));
    if (window.identifier)
        RDV_TRY(write_single_line_utf8(writer, *window.identifier));
    else
        RDV_TRY(writer.put("unknown"));
    RDV_TRY(writer.put(kEmDashSeparator));
    if (window.title)
        RDV_TRY(write_single_line_utf8(writer, *window.title));
    if (window.matched_rule != 0) {
        RDV_TRY(writer.put(" (currently matches rule "));
        RDV_TRY(write_unsigned_decimal(writer, window.matched_rule));
        RDV_TRY(writer.put(')'));
    }
    RDV_TRY(writer.put("\n[[window]]\n"));

    if (window.backend == WindowBackend::xwayland) {
        RDV_TRY(writer.put("class = "));
        RDV_TRY(write_json_string(writer, first_present(window.window_class, window.toplevel_app_id)));
    } else {
        RDV_TRY(writer.put("app_id = "));
        RDV_TRY(write_json_string(writer, first_present(window.app_id, window.toplevel_app_id)));
    }

    RDV_TRY(writer.put("\n# title = "));
    RDV_TRY(write_json_string(writer, window.title ? std::string_view(*window.title) : std::string_view()));
    return writer.put("\n\n");
}

}  // namespace

Result<> write_rule_stubs(Writer& writer, const WindowList& windows) noexcept
{
    for (const WindowInfo& window : windows) {
        if (is_window_listed(window))
            RDV_TRY(write_stub(writer, window));
    }
    return {};
}

}  // namespace rdv
