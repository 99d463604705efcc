#pragma once
// The globals a scenario advertises. Our three entry-point interfaces are
// served for real; any other name gets a placeholder interface that has the
// name and no messages, which is all a client needs to see it listed and bind
// it. A version above what our interface description says is honoured with
// a copy of the description carrying the higher version.

#include "objects/wayland_glue.hpp"
#include "scenario/scenario.hpp"

#include <cstddef>
#include <deque>
#include <list>
#include <string>
#include <vector>

namespace mock {

class Host;
struct ClientState;

class Globals {
public:
    Globals(Host& host, wl_display* display);
    ~Globals();
    Globals(const Globals&) = delete;
    Globals& operator=(const Globals&) = delete;

    // Advertises the scenario's "globals".
    void create_initial();

    // Scripted changes. Removal announces global_remove; the global itself
    // stays until the next reset so that a bind already on its way works.
    void remove_interface(const std::string& interface);
    void remove_index(std::size_t index);
    void add(const GlobalDef& def);

    // Back to the scenario's globals if the script changed them. Interface
    // descriptions made for the old globals are dropped only when no client
    // is connected, since only then can no resource refer to them.
    void reset_if_changed(bool clients_connected);

private:
    using BindHandler = void (*)(ClientState&, wl_resource*);

    struct Entry {
        Globals* owner = nullptr;
        std::string name;
        const wl_interface* interface = nullptr;
        BindHandler handler = nullptr;
        wl_global* global = nullptr;
        bool removed = false;
    };

    Entry& create(const GlobalDef& def);
    void remove(Entry& entry);
    const wl_interface* interface_for(const GlobalDef& def, BindHandler& handler);

    static void bind(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) noexcept;

    Host& host_;
    wl_display* display_;
    // Interface descriptions made here. Resources point at them.
    std::deque<std::string> names_;
    std::deque<wl_interface> interfaces_;
    std::list<Entry> entries_;
    std::vector<Entry*> initial_;
    bool changed_ = false;
};

} // namespace mock
