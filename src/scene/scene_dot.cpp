#include <algorithm>

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

// The label's kind line and, after the geometry, the rest of the statement
// (fill colour, dashed outline), by kind (0 to 2, then every other value) and
// by whether the node is enabled: a disabled node is grey whatever its kind.
struct KindPieces {
    std::string_view kind_line;
    std::string_view tail;
};
constexpr KindPieces kKindPieces[4][2] = {
    {{"\\ntree \xC2\xB7 disabled", "\", fillcolor=\"#94a3b8\", style=\"rounded,filled,dashed\"];\n"},
     {"\\ntree", "\", fillcolor=\"#93c5fd\"];\n"}},
    {{"\\nrect \xC2\xB7 disabled", "\", fillcolor=\"#94a3b8\", style=\"rounded,filled,dashed\"];\n"},
     {"\\nrect", "\", fillcolor=\"#fcd34d\"];\n"}},
    {{"\\nbuffer \xC2\xB7 disabled", "\", fillcolor=\"#94a3b8\", style=\"rounded,filled,dashed\"];\n"},
     {"\\nbuffer", "\", fillcolor=\"#86efac\"];\n"}},
    {{"\\nunknown \xC2\xB7 disabled", "\", fillcolor=\"#94a3b8\", style=\"rounded,filled,dashed\"];\n"},
     {"\\nunknown", "\", fillcolor=\"#e5e7eb\"];\n"}},
};

const KindPieces& kind_pieces(const SceneNode& node) noexcept
{
    return kKindPieces[node.kind < 3 ? node.kind : 3][node.enabled ? 1 : 0];
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

Result<> write_node_statement(Writer& writer, const SceneNodeList& nodes, const SceneNode& node) noexcept
{
    RDV_TRY(writer.put("  n"));
    RDV_TRY(write_unsigned_decimal(writer, node.id));
    RDV_TRY(writer.put(" [label=\""));
    RDV_TRY(write_label_text(writer, nodes.name(node)));
    const KindPieces& pieces = kind_pieces(node);
    RDV_TRY(writer.put(pieces.kind_line));
    if (node.x != 0 || node.y != 0 || node.width != 0 || node.height != 0) {
        RDV_TRY(writer.put("\\n"));
        RDV_TRY(write_geometry(writer, node.x, node.y, node.width, node.height));
    }
    return writer.put(pieces.tail);
}

}  // namespace

Result<> write_scene_dot(Writer& writer, const SceneNodeList& nodes) noexcept
{
    RDV_TRY(writer.put(kHeader));
    for (const SceneNode& node : nodes)
        RDV_TRY(write_node_statement(writer, nodes, node));
    for (const SceneNode& node : nodes) {
        if (node.parent_id == 0)
            continue;
        // "  n<parent> -> n<id>;\n", made whole and written at once.
        char edge[3 + 10 + 5 + 10 + 2];
        char* p = edge;
        p = std::copy_n("  n", 3, p);
        p += detail::format_decimal(p, node.parent_id);
        p = std::copy_n(" -> n", 5, p);
        p += detail::format_decimal(p, node.id);
        p = std::copy_n(";\n", 2, p);
        RDV_TRY(writer.put(std::string_view(edge, static_cast<std::size_t>(p - edge))));
    }
    return writer.put("}\n");
}

}  // namespace rdv
