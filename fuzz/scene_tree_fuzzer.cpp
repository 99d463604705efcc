// The linear scene tree renderer (write_scene_tree, two indexes) against the
// quadratic reference (write_scene_tree_plain): the same bytes and the same
// result for any node list, duplicate ids, missing parents, cycles and chains
// beyond the 256-entry bound included; also when the writer fails part way.
// Each node takes one line.
//
// Input: one byte for the id range (small ranges make duplicates and cycles
// common) and the writer's failure point, then 6 bytes per node (id, parent,
// kind, enabled and geometry, name length) followed by the name's bytes.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "reference.hpp"
#include "scene/scene_renderers.hpp"
#include "text/write_ops.hpp"
#include "text/writer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return 0;
    const unsigned config = data[0];
    const std::uint32_t range = 1 + (config & 0x0F) * (config & 0x80 ? 64 : 1);
    rdv::SceneNodeList nodes;
    std::size_t at = 1;
    while (at + 6 <= size && nodes.size() < 2000) {
        const std::uint8_t* p = data + at;
        rdv::SceneNodeValues node;
        node.id = p[0] == 0xFF ? 0xFFFFFFFFu : p[0] % range;
        node.parent_id = p[1] == 0xFF ? 0xFFFFFFFFu : p[1] % (range + 1);
        node.kind = p[2] % 5 == 4 ? 0xFFFFFFFFu : p[2] % 5;
        node.enabled = (p[3] & 1) != 0;
        node.x = (p[3] & 2) ? -1 : 0;
        node.y = (p[3] & 4) ? 7 : 0;
        node.width = (p[3] & 8) ? -2147483647 - 1 : 0;
        node.height = (p[3] & 16) ? 2147483647 : 0;
        const std::size_t name_length = p[4] % 8;
        at += 6;
        const std::size_t take = name_length < size - at ? name_length : size - at;
        node.name = std::string_view(reinterpret_cast<const char*>(data + at), take);
        at += take;
        if (!nodes.add(node)) return 0;
    }

    rdv::MemoryWriter linear(4096);
    rdv::MemoryWriter plain(4096);
    const bool linear_ok = rdv::write_scene_tree(linear, nodes).has_value() && rdv::flush(linear).has_value();
    const bool plain_ok = rdv::write_scene_tree_plain(plain, nodes).has_value() && rdv::flush(plain).has_value();
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (!linear_ok || !plain_ok) ref::fail("a renderer failed on a writer that never fails", input, linear.text(), plain.text());
    if (linear.text() != plain.text()) ref::fail("linear and plain trees differ", input, linear.text(), plain.text());
    std::size_t lines = 0;
    for (const char c : linear.text()) lines += c == '\n';
    if (lines != nodes.size()) ref::fail("not one line per node", input, linear.text(), plain.text());

    const std::size_t fail_after = (config * 31u) % (plain.text().size() + 2);
    rdv::MemoryWriter linear_failing(512, fail_after);
    rdv::MemoryWriter plain_failing(512, fail_after);
    const bool a = rdv::write_scene_tree(linear_failing, nodes).has_value() && rdv::flush(linear_failing).has_value();
    const bool b = rdv::write_scene_tree_plain(plain_failing, nodes).has_value() && rdv::flush(plain_failing).has_value();
    if (a != b || linear_failing.text() != plain_failing.text())
        ref::fail("linear and plain trees differ on a failing writer", input, linear_failing.text(), plain_failing.text());
    if (a != (plain.text().size() <= fail_after)) ref::fail("failure not reported", input, linear_failing.text(), plain.text());
    return 0;
}
