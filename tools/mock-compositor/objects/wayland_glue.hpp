#pragma once
// The libwayland-server API and our generated server headers, plus the few
// helpers that tie C++ objects to the lifetime of a wl_resource.
//
// None of libwayland's list or container macros are used anywhere in the mock:
// they expand to C casts the project's warning flags reject.

#include <wayland-server-core.h>
#include <wayland-server-protocol.h>

#include "ext-foreign-toplevel-list-v1-server-protocol.h"
#include "wlr-output-management-unstable-v1-server-protocol.h"
#include "zadozav-window-info-v1-server-protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <utility>
#include <vector>

namespace mock {

// Runs the body of a libwayland callback. No exception may unwind into C code,
// so whatever escapes is reported on stderr and dropped here. Returns whether
// the body ran to its end.
template <class Body>
bool guarded(const char* where, Body&& body) noexcept
{
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mock-compositor: %s: %s\n", where, e.what());
    } catch (...) {
        std::fprintf(stderr, "mock-compositor: %s: unexpected failure\n", where);
    }
    return false;
}

// The same for request handlers and binds: on failure the client is cut off
// with no_memory, since it may be left holding a half-made object.
template <class Body>
void guarded_for(wl_client* client, const char* where, Body&& body) noexcept
{
    if (!guarded(where, std::forward<Body>(body))) {
        wl_client_post_no_memory(client);
    }
}

// A new object of `interface` at the version of `parent`, the object whose
// request (id) or event (id 0, made by the mock) brings it. When it cannot be
// made the client has been told so (no_memory) and the result is null.
inline wl_resource* create_child(wl_client* client, const wl_interface& interface, wl_resource* parent,
                                 std::uint32_t id) noexcept
{
    wl_resource* resource = wl_resource_create(client, &interface, wl_resource_get_version(parent), id);
    if (resource == nullptr) {
        wl_client_post_no_memory(client);
    }
    return resource;
}

// A resource holds the only strong reference to the C++ object behind it
// (a heap-allocated shared_ptr in its user data); everything else keeps weak
// references. So the object lives exactly as long as the resource, whatever
// order the client or libwayland destroys things in.
template <class T>
void release_object(wl_resource* resource) noexcept
{
    delete static_cast<std::shared_ptr<T>*>(wl_resource_get_user_data(resource));
}

template <class T>
void attach(wl_resource* resource, const void* implementation, const std::shared_ptr<T>& object)
{
    auto holder = std::make_unique<std::shared_ptr<T>>(object);
    wl_resource_set_implementation(resource, implementation, holder.get(), &release_object<T>);
    static_cast<void>(holder.release());
}

template <class T>
std::shared_ptr<T> object_of(wl_resource* resource) noexcept
{
    return *static_cast<std::shared_ptr<T>*>(wl_resource_get_user_data(resource));
}

// The request handler of every destructor request.
inline void destroy_request(wl_client* /*client*/, wl_resource* resource) noexcept
{
    wl_resource_destroy(resource);
}

// A wl_listener that knows its owner. The listener is the first member of a
// standard-layout struct, so the pointer libwayland hands back converts to
// the slot.
template <class Owner>
struct ListenerSlot {
    wl_listener listener{};
    Owner* owner = nullptr;

    static Owner& owner_of(wl_listener* listener) noexcept
    {
        return *reinterpret_cast<ListenerSlot*>(listener)->owner;
    }
};

// Keeps a weak reference, dropping those whose object is gone.
template <class T>
void remember(std::vector<std::weak_ptr<T>>& refs, const std::shared_ptr<T>& object)
{
    std::erase_if(refs, [](const std::weak_ptr<T>& ref) { return ref.expired(); });
    refs.push_back(object);
}

// The objects still alive among weak references, pruning the dead ones. The
// result is a copy, so callers may create new objects while walking it.
template <class T>
std::vector<std::shared_ptr<T>> live(std::vector<std::weak_ptr<T>>& refs)
{
    std::erase_if(refs, [](const std::weak_ptr<T>& ref) { return ref.expired(); });
    std::vector<std::shared_ptr<T>> objects;
    objects.reserve(refs.size());
    for (const auto& ref : refs) {
        if (auto object = ref.lock()) {
            objects.push_back(std::move(object));
        }
    }
    return objects;
}

} // namespace mock
