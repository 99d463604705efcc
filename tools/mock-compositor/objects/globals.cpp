#include "objects/globals.hpp"

#include "objects/host.hpp"
#include "objects/info_manager.hpp"
#include "objects/outputs.hpp"
#include "objects/windows.hpp"

#include <cstring>

namespace mock {

namespace {

struct KnownGlobal {
    const wl_interface* interface;
    void (*handler)(ClientState&, wl_resource*);
};

const KnownGlobal* find_known(const std::string& name)
{
    static const KnownGlobal known[] = {
        {&ext_foreign_toplevel_list_v1_interface, &bind_toplevel_list},
        {&zadozav_window_info_manager_v1_interface, &bind_info_manager},
        {&zwlr_output_manager_v1_interface, &bind_output_manager},
    };
    for (const KnownGlobal& entry : known) {
        if (name == entry.interface->name) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

Globals::Globals(Host& host, wl_display* display) : host_(host), display_(display) {}

// wl_display_destroy frees the wl_globals themselves.
Globals::~Globals() = default;

void Globals::create_initial()
{
    initial_.clear();
    for (const GlobalDef& def : host_.scenario().globals) {
        initial_.push_back(&create(def));
    }
    changed_ = false;
}

const wl_interface* Globals::interface_for(const GlobalDef& def, BindHandler& handler)
{
    if (const KnownGlobal* known = find_known(def.interface)) {
        handler = known->handler;
        if (def.version <= static_cast<std::uint32_t>(known->interface->version)) {
            return known->interface;
        }
        wl_interface raised = *known->interface;
        raised.version = static_cast<int>(def.version);
        return &interfaces_.emplace_back(raised);
    }
    handler = nullptr;
    const std::string& name = names_.emplace_back(def.interface);
    return &interfaces_.emplace_back(
        wl_interface{name.c_str(), static_cast<int>(def.version), 0, nullptr, 0, nullptr});
}

Globals::Entry& Globals::create(const GlobalDef& def)
{
    Entry& entry = entries_.emplace_back();
    entry.owner = this;
    entry.name = def.interface;
    entry.interface = interface_for(def, entry.handler);
    entry.global = wl_global_create(display_, entry.interface, static_cast<int>(def.version), &entry,
                                    &Globals::bind);
    if (entry.global == nullptr) {
        throw std::runtime_error("cannot create the global " + def.interface);
    }
    return entry;
}

void Globals::remove(Entry& entry)
{
    if (!entry.removed) {
        wl_global_remove(entry.global);
        entry.removed = true;
    }
    changed_ = true;
}

void Globals::remove_interface(const std::string& interface)
{
    for (Entry& entry : entries_) {
        if (!entry.removed && entry.name == interface) {
            remove(entry);
            return;
        }
    }
    std::fprintf(stderr, "mock-compositor: remove_global: no %s global left\n", interface.c_str());
}

void Globals::remove_index(std::size_t index)
{
    if (index < initial_.size() && !initial_[index]->removed) {
        remove(*initial_[index]);
        return;
    }
    std::fprintf(stderr, "mock-compositor: remove_global: globals[%zu] is already gone\n", index);
}

void Globals::add(const GlobalDef& def)
{
    create(def);
    changed_ = true;
}

void Globals::reset_if_changed(bool clients_connected)
{
    if (!changed_) {
        return;
    }
    for (Entry& entry : entries_) {
        wl_global_destroy(entry.global);
    }
    entries_.clear();
    if (!clients_connected) {
        interfaces_.clear();
        names_.clear();
    }
    create_initial();
}

void Globals::bind(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) noexcept
{
    Entry& entry = *static_cast<Entry*>(data);
    guarded_for(client, "bind", [&] {
        wl_resource* resource = wl_resource_create(client, entry.interface, static_cast<int>(version), id);
        if (resource == nullptr) {
            wl_client_post_no_memory(client);
            return;
        }
        if (entry.handler == nullptr) {
            return; // a placeholder: no requests to implement
        }
        if (ClientState* state = entry.owner->host_.state_of(client)) {
            entry.handler(*state, resource);
        } else {
            wl_client_post_implementation_error(client, "client unknown to the mock compositor");
        }
    });
}

} // namespace mock
