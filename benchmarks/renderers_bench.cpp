// Microbenchmarks of the renderers' hot paths: the JSON string and
// single-line writers on ASCII, UTF-8 and hostile bytes (MB/s), one window
// table row, one JSON window object, one scene tree line at depth 1 and 200,
// and whole scene renderings at growing sizes, the tree both ways (indexes
// and plain search) to show how each grows with the node count.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "scene/scene_renderers.hpp"
#include "text/write_ops.hpp"
#include "windows/window_renderers.hpp"

namespace {

// Depth-first tree with `fanout` children per node, unique ids, as a
// compositor sends it.
rdv::SceneNodeList make_tree(std::size_t count, std::uint32_t fanout)
{
    rdv::SceneNodeList nodes;
    std::vector<std::uint32_t> stack{0};
    std::vector<std::uint32_t> children{0};
    for (std::uint32_t id = 1; nodes.size() < count; ++id) {
        while (children.back() == fanout) {
            stack.pop_back();
            children.pop_back();
        }
        ++children.back();
        const std::string name = "node-" + std::to_string(id);
        if (!nodes.add({id, stack.back(), name, id % 3, id % 17 != 0, 0, 0, static_cast<std::int32_t>(id % 1920),
                        1080}))
            break;
        stack.push_back(id);
        children.push_back(0);
        if (stack.size() > 12) {
            stack.pop_back();
            children.pop_back();
        }
    }
    return nodes;
}

// Discards its output; only the renderer's own work is measured.
class NullWriter final : public rdv::Writer {
public:
    NullWriter() : Writer(buffer_, sizeof buffer_) {}

protected:
    rdv::Result<std::size_t> drain(std::string_view head, std::string_view tail) noexcept override
    {
        return head.size() + tail.size();
    }

private:
    char buffer_[4096];
};

void BM_SceneTreeIndexed(benchmark::State& state)
{
    auto nodes = make_tree(static_cast<std::size_t>(state.range(0)), 4);
    NullWriter writer;
    for (auto _ : state)
        benchmark::DoNotOptimize(rdv::write_scene_tree(writer, nodes));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SceneTreeIndexed)->RangeMultiplier(10)->Range(100, 100000)->Complexity();

void BM_SceneTreePlain(benchmark::State& state)
{
    auto nodes = make_tree(static_cast<std::size_t>(state.range(0)), 4);
    NullWriter writer;
    for (auto _ : state)
        benchmark::DoNotOptimize(rdv::write_scene_tree_plain(writer, nodes));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SceneTreePlain)->RangeMultiplier(10)->Range(100, 10000)->Complexity();

void BM_SceneDot(benchmark::State& state)
{
    auto nodes = make_tree(static_cast<std::size_t>(state.range(0)), 4);
    NullWriter writer;
    for (auto _ : state)
        benchmark::DoNotOptimize(rdv::write_scene_dot(writer, nodes));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SceneDot)->RangeMultiplier(10)->Range(100, 100000)->Complexity();

std::string text_of(int kind, std::size_t length)
{
    std::mt19937 random(7);
    std::string text;
    while (text.size() < length) {
        switch (kind) {
        case 0:
            text += static_cast<char>('a' + random() % 26);
            break;
        case 1:
            text += "Café — ünïcødé ";
            break;
        default:
            text += static_cast<char>(random() % 256);
            break;
        }
    }
    text.resize(length);
    return text;
}

void BM_JsonString(benchmark::State& state)
{
    std::string text = text_of(static_cast<int>(state.range(0)), 4096);
    NullWriter writer;
    for (auto _ : state)
        benchmark::DoNotOptimize(rdv::write_json_string(writer, text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
    state.SetLabel(state.range(0) == 0 ? "ascii" : state.range(0) == 1 ? "utf-8" : "hostile bytes");
}
BENCHMARK(BM_JsonString)->Arg(0)->Arg(1)->Arg(2);

rdv::WindowList make_windows(std::size_t count)
{
    rdv::WindowList windows;
    for (std::size_t i = 0; i < count; ++i) {
        rdv::WindowInfo* window = windows.append();
        if (!window)
            break;
        (void)windows.texts.store(window->identifier, "toplevel-" + std::to_string(i));
        (void)windows.texts.store(window->title, "Document " + std::to_string(i) + " — Editor");
        window->app_id = "org.example.Editor";
        window->output = "DP-1";
        window->layout = "tile";
        window->workspace = 2;
        window->geometry = {10, 20, 800, 600};
        window->state = 0x21;
        window->info_done = true;
    }
    return windows;
}

// Time per item as a counter: the iteration's time divided by `items`.
benchmark::Counter per_item(std::size_t items)
{
    return benchmark::Counter(static_cast<double>(items),
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

constexpr std::size_t kWindowsPerIteration = 1000;

// One table row: the table of 1,000 windows, per row (the header is one
// line in a thousand).
void BM_WindowTableRow(benchmark::State& state)
{
    auto windows = make_windows(kWindowsPerIteration);
    NullWriter writer;
    for (auto _ : state)
        benchmark::DoNotOptimize(rdv::write_window_table(writer, windows));
    state.counters["time_per_row"] = per_item(kWindowsPerIteration);
}
BENCHMARK(BM_WindowTableRow);

// One JSON window object: the array of 1,000 windows, per object.
void BM_WindowJsonObject(benchmark::State& state)
{
    auto windows = make_windows(kWindowsPerIteration);
    NullWriter writer;
    for (auto _ : state)
        benchmark::DoNotOptimize(rdv::write_windows_json(writer, windows));
    state.counters["time_per_object"] = per_item(kWindowsPerIteration);
}
BENCHMARK(BM_WindowJsonObject);

// One tree line at depth d: a chain of d nodes from the root down, under
// whose last node hang 10,000 leaves, each one line at depth d. The chain's
// own lines add d * d / 2 columns to the leaves' 10,000 * d, under 1% at
// depth 200. Building the two indexes is included, as in every real run.
void BM_SceneTreeLine(benchmark::State& state)
{
    constexpr std::size_t kLeaves = 10000;
    const auto depth = static_cast<std::uint32_t>(state.range(0));
    rdv::SceneNodeList nodes;
    for (std::uint32_t id = 1; id <= depth; ++id) {
        const std::string name = "chain-" + std::to_string(id);
        (void)nodes.add({id, id - 1, name, rdv::SceneNodeKind::tree, true, 0, 0, 0, 0});
    }
    for (std::uint32_t k = 0; k < kLeaves; ++k) {
        std::uint32_t id = depth + 1 + k;
        const std::string name = "leaf-" + std::to_string(id);
        (void)nodes.add({id, depth, name, rdv::SceneNodeKind::rect, true, static_cast<std::int32_t>(k % 1920), 40,
                         320, 200});
    }
    NullWriter writer;
    for (auto _ : state)
        benchmark::DoNotOptimize(rdv::write_scene_tree(writer, nodes));
    state.counters["time_per_line"] = per_item(kLeaves);
}
BENCHMARK(BM_SceneTreeLine)->Arg(1)->Arg(200);

// write_single_line, the table's and tree's text writer, on the same texts
// as BM_JsonString.
void BM_SingleLine(benchmark::State& state)
{
    std::string text = text_of(static_cast<int>(state.range(0)), 4096);
    NullWriter writer;
    for (auto _ : state)
        benchmark::DoNotOptimize(rdv::write_single_line(writer, text));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 4096);
    state.SetLabel(state.range(0) == 0 ? "ascii" : state.range(0) == 1 ? "utf-8" : "hostile bytes");
}
BENCHMARK(BM_SingleLine)->Arg(0)->Arg(1)->Arg(2);

}  // namespace

BENCHMARK_MAIN();
