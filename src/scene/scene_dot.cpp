#include "scene/scene_renderers.hpp"
#include "text/utf8.hpp"
#include "text/write_ops.hpp"

namespace rdv {
namespace {

constexpr std::string_view kHeader =
    "digraph zadozav_scene {\n"
    "  graph [rankdir=LR, bgcolor=\"#111827\", fontname=\"monospace\"];\n"
    "  node [shape=box, style=\"rounded,filled\", fontname=\"monospace\", color=\"#475569\", "
    "fontcolor=\"#0f172a\"];\n"
    "  edge [color=\"#64748b\"];\n";

std::string_view fill_colour(const SceneNode& node) noexcept
{
    if (!node.enabled)
        return "#94a3b8";
    switch (node.kind) {
    case SceneNodeKind::tree:
        return "#93c5fd";
    case SceneNodeKind::rect:
        return "#fcd34d";
    case SceneNodeKind::buffer:
        return "#86efac";
    default:
        return "#e5e7eb";
    }
}

// A name inside a quoted DOT label: line breaks become DOT line breaks, quote
// and backslash are escaped, other control bytes show as "?", and each
// ill-formed UTF-8 sequence becomes U+FFFD (Graphviz would otherwise re-read
// the whole graph as Latin-1).
Result<> write_label_text(Writer& writer, std::string_view name) noexcept
{
    auto* p = reinterpret_cast<const unsigned char*>(name.data());
    auto* end = p + name.size();
    auto* run = p;
    auto flush_run = [&](const unsigned char* to) {
        return writer.put(std::string_view(reinterpret_cast<const char*>(run), static_cast<std::size_t>(to - run)));
    };
    while (p < end) {
        unsigned char byte = *p;
        if (byte >= 0x80) {
            Utf8Sequence sequence = scan_utf8(p, end);
            if (sequence.well_formed) {
                p += sequence.length;
                continue;
            }
            RDV_TRY(flush_run(p));
            RDV_TRY(writer.put(kReplacementCharacter));
            run = p += sequence.length;
            continue;
        }
        std::string_view replacement;
        if (byte == '\n' || byte == '\r')
            replacement = "\\n";
        else if (byte == '"')
            replacement = "\\\"";
        else if (byte == '\\')
            replacement = "\\\\";
        else if (byte < 0x20)
            replacement = "?";
        else {
            ++p;
            continue;
        }
        RDV_TRY(flush_run(p));
        RDV_TRY(writer.put(replacement));
        run = ++p;
    }
    return flush_run(end);
}

Result<> write_node_statement(Writer& writer, const SceneNode& node) noexcept
{
    RDV_TRY(writer.put("  n"));
    RDV_TRY(write_unsigned_decimal(writer, node.id));
    RDV_TRY(writer.put(" [label=\""));
    RDV_TRY(write_label_text(writer, node.name));
    RDV_TRY(writer.put("\\n"));
    RDV_TRY(writer.put(scene_kind_word(node.kind)));
    if (!node.enabled)
        RDV_TRY(writer.put(" \xC2\xB7 disabled"));
    if (node.x != 0 || node.y != 0 || node.width != 0 || node.height != 0) {
        RDV_TRY(writer.put("\\n"));
        RDV_TRY(write_signed_decimal(writer, node.x));
        RDV_TRY(writer.put(','));
        RDV_TRY(write_signed_decimal(writer, node.y));
        RDV_TRY(writer.put(' '));
        RDV_TRY(write_signed_decimal(writer, node.width));
        RDV_TRY(writer.put('x'));
        RDV_TRY(write_signed_decimal(writer, node.height));
    }
    RDV_TRY(writer.put("\", fillcolor=\""));
    RDV_TRY(writer.put(fill_colour(node)));
    RDV_TRY(writer.put('"'));
    if (!node.enabled)
        RDV_TRY(writer.put(", style=\"rounded,filled,dashed\""));
    return writer.put("];\n");
}

}  // namespace

Result<> write_scene_dot(Writer& writer, const SceneNodeList& nodes) noexcept
{
    RDV_TRY(writer.put(kHeader));
    for (const SceneNode& node : nodes)
        RDV_TRY(write_node_statement(writer, node));
    for (const SceneNode& node : nodes) {
        if (node.parent_id == 0)
            continue;
        RDV_TRY(writer.put("  n"));
        RDV_TRY(write_unsigned_decimal(writer, node.parent_id));
        RDV_TRY(writer.put(" -> n"));
        RDV_TRY(write_unsigned_decimal(writer, node.id));
        RDV_TRY(writer.put(";\n"));
    }
    return writer.put("}\n");
}

}  // namespace rdv
