/*
 * The floor the benchmarks measure ridaviduvo against: a bare Wayland client
 * that has the same conversation with the compositor and nothing else.
 *
 * It connects, binds the same globals at the same versions, sends the same
 * requests in the same order (teardown's releases included) and lets
 * libwayland decode every event into its argument array, then hands it to a
 * handler that stores nothing. It prints nothing on success; on a failure it
 * writes one line to standard error and exits with status 1.
 *
 *   ridaviduvo-baseline [--listeners] windows | scene | outputs
 *   ridaviduvo-baseline [--listeners] layout NAME [LAYOUT]
 *
 * Events reach the handlers in one of two ways that libwayland offers:
 *   - by default through a dispatcher per object (wl_proxy_add_dispatcher),
 *     which gets the decoded arguments as they are: the cheapest way, and the
 *     one ridaviduvo uses, so this is the floor;
 *   - with --listeners through wayland-scanner's generated listener tables
 *     (wl_proxy_add_listener), which libwayland calls through libffi: what a
 *     C client usually does, measured for comparison.
 *
 * `windows` stands for all three window commands (the table, the JSON and
 * the rule stubs have one conversation), `scene` for both scene commands,
 * `outputs` for both output commands; `layout NAME` queries and
 * `layout NAME LAYOUT` sets.
 *
 * What it keeps is what the conversation needs: the proxies it must release
 * or free at the end (the tool frees every proxy before it disconnects, so
 * this client does too), one completeness flag per window and the readiness
 * flags. Event arguments are looked at by no one.
 */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <wayland-client.h>

#include "ext-foreign-toplevel-list-v1-client-protocol.h"
#include "wlr-output-management-unstable-v1-client-protocol.h"
#include "zadozav-window-info-v1-client-protocol.h"

#define MAX_EXTRA_ROUND_TRIPS 8
#define OUTPUT_MANAGER_MAX_VERSION 4u
#define WINDOW_INFO_MANAGER_MAX_VERSION 3u
#define RELEASE_SINCE_VERSION 3u

enum command { WINDOWS, SCENE, OUTPUTS, LAYOUT };

struct window {
    struct ext_foreign_toplevel_handle_v1 *handle;
    struct zadozav_window_info_v1 *info; /* once requested */
    int complete;                        /* closed, or its info is done */
};

struct head {
    struct zwlr_output_head_v1 *proxy;
    size_t first_mode; /* index into modes, or SIZE_MAX */
    size_t last_mode;
};

struct mode {
    struct zwlr_output_mode_v1 *proxy;
    size_t next; /* the head's next mode, or SIZE_MAX */
};

static struct {
    enum command command;
    struct wl_display *display;
    struct wl_registry *registry;
    struct ext_foreign_toplevel_list_v1 *toplevel_list;
    struct zadozav_window_info_manager_v1 *info_manager;
    struct zadozav_scene_snapshot_v1 *snapshot;
    struct zwlr_output_manager_v1 *output_manager;
    uint32_t list_name, info_manager_name, info_manager_version, output_manager_name;

    struct window *windows;
    size_t window_count, window_capacity, incomplete_windows;
    struct head *heads;
    size_t head_count, head_capacity;
    struct mode *modes;
    size_t mode_count, mode_capacity;

    int list_finished, scene_done, outputs_done, output_manager_gone, layout_received;
} client;

static void fail(const char *message)
{
    fprintf(stderr, "ridaviduvo-baseline: %s\n", message);
    exit(1);
}

/* Room for one more element in a growing array. */
static void *grow(void *items, size_t count, size_t *capacity, size_t size)
{
    if (count < *capacity)
        return items;
    *capacity = *capacity ? *capacity * 2 : 64;
    items = realloc(items, *capacity * size);
    if (!items)
        fail("out of memory");
    return items;
}

static void *as_data(size_t index)
{
    return (void *)(uintptr_t)index;
}

static size_t as_index(void *data)
{
    return (size_t)(uintptr_t)data;
}

static void round_trip(void)
{
    if (wl_display_roundtrip(client.display) < 0)
        fail("Wayland connection failed");
}

/* Installs `listener` on `proxy`: through `dispatcher` by default, or as a
 * generated listener table called through libffi with --listeners. */
static int use_listeners;

static void attach(void *proxy, const void *listener, wl_dispatcher_func_t dispatcher, void *data)
{
    if (use_listeners)
        wl_proxy_add_listener(proxy, (void (**)(void))listener, data);
    else
        wl_proxy_add_dispatcher(proxy, dispatcher, listener, data);
}

/* ---------------------------------------------------------------- windows */

static void mark_complete(size_t index)
{
    if (client.windows[index].complete)
        return;
    client.windows[index].complete = 1;
    client.incomplete_windows--;
}

static void info_backend(void *data, struct zadozav_window_info_v1 *info, uint32_t backend)
{
    (void)data, (void)info, (void)backend;
}
static void info_text(void *data, struct zadozav_window_info_v1 *info, const char *text)
{
    (void)data, (void)info, (void)text;
}
static void info_number(void *data, struct zadozav_window_info_v1 *info, uint32_t number)
{
    (void)data, (void)info, (void)number;
}
static void info_geometry(void *data, struct zadozav_window_info_v1 *info, int32_t x, int32_t y, int32_t width,
                          int32_t height)
{
    (void)data, (void)info, (void)x, (void)y, (void)width, (void)height;
}
static void info_rule_matcher(void *data, struct zadozav_window_info_v1 *info, uint32_t kind, const char *text)
{
    (void)data, (void)info, (void)kind, (void)text;
}
static void info_done(void *data, struct zadozav_window_info_v1 *info)
{
    (void)info;
    mark_complete(as_index(data));
}

static const struct zadozav_window_info_v1_listener info_listener = {
    .backend = info_backend,
    .app_id = info_text,
    .class = info_text,
    .output = info_text,
    .workspace = info_number,
    .geometry = info_geometry,
    .state = info_number,
    .layout = info_text,
    .matched_rule = info_number,
    .rule_matcher = info_rule_matcher,
    .done = info_done,
};

static int info_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                         union wl_argument *args)
{
    const struct zadozav_window_info_v1_listener *l = listener;
    struct zadozav_window_info_v1 *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0: l->backend(data, target, args[0].u); break;
    case 1: l->app_id(data, target, args[0].s); break;
    case 2: l->class(data, target, args[0].s); break;
    case 3: l->output(data, target, args[0].s); break;
    case 4: l->workspace(data, target, args[0].u); break;
    case 5: l->geometry(data, target, args[0].i, args[1].i, args[2].i, args[3].i); break;
    case 6: l->state(data, target, args[0].u); break;
    case 7: l->layout(data, target, args[0].s); break;
    case 8: l->matched_rule(data, target, args[0].u); break;
    case 9: l->rule_matcher(data, target, args[0].u, args[1].s); break;
    case 10: l->done(data, target); break;
    }
    return 0;
}

static void handle_closed(void *data, struct ext_foreign_toplevel_handle_v1 *handle)
{
    (void)handle;
    mark_complete(as_index(data));
}
static void handle_done(void *data, struct ext_foreign_toplevel_handle_v1 *handle)
{
    struct window *window = &client.windows[as_index(data)];
    if (window->info)
        return;
    window->info = zadozav_window_info_manager_v1_get_window_info(client.info_manager, handle);
    if (!window->info)
        fail("out of memory");
    attach(window->info, &info_listener, info_dispatch, data);
}
static void handle_text(void *data, struct ext_foreign_toplevel_handle_v1 *handle, const char *text)
{
    (void)data, (void)handle, (void)text;
}

static const struct ext_foreign_toplevel_handle_v1_listener handle_listener = {
    .closed = handle_closed,
    .done = handle_done,
    .title = handle_text,
    .app_id = handle_text,
    .identifier = handle_text,
};

static int handle_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                           union wl_argument *args)
{
    const struct ext_foreign_toplevel_handle_v1_listener *l = listener;
    struct ext_foreign_toplevel_handle_v1 *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0: l->closed(data, target); break;
    case 1: l->done(data, target); break;
    case 2: l->title(data, target, args[0].s); break;
    case 3: l->app_id(data, target, args[0].s); break;
    case 4: l->identifier(data, target, args[0].s); break;
    }
    return 0;
}

static void list_toplevel(void *data, struct ext_foreign_toplevel_list_v1 *list,
                          struct ext_foreign_toplevel_handle_v1 *handle)
{
    (void)data, (void)list;
    client.windows = grow(client.windows, client.window_count, &client.window_capacity, sizeof *client.windows);
    size_t index = client.window_count++;
    client.windows[index] = (struct window){.handle = handle};
    client.incomplete_windows++;
    attach(handle, &handle_listener, handle_dispatch, as_data(index));
}
static void list_finished(void *data, struct ext_foreign_toplevel_list_v1 *list)
{
    (void)data, (void)list;
    client.list_finished = 1;
}

static const struct ext_foreign_toplevel_list_v1_listener list_listener = {
    .toplevel = list_toplevel,
    .finished = list_finished,
};

static int list_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                         union wl_argument *args)
{
    const struct ext_foreign_toplevel_list_v1_listener *l = listener;
    struct ext_foreign_toplevel_list_v1 *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0: l->toplevel(data, target, (struct ext_foreign_toplevel_handle_v1 *)args[0].o); break;
    case 1: l->finished(data, target); break;
    }
    return 0;
}

/* ---------------------------------------------------------------- scene */

static void snapshot_node(void *data, struct zadozav_scene_snapshot_v1 *snapshot, uint32_t id, uint32_t parent,
                          const char *name, uint32_t kind, uint32_t enabled, int32_t x, int32_t y, int32_t width,
                          int32_t height)
{
    (void)data, (void)snapshot, (void)id, (void)parent, (void)name, (void)kind, (void)enabled;
    (void)x, (void)y, (void)width, (void)height;
}
static void snapshot_done(void *data, struct zadozav_scene_snapshot_v1 *snapshot)
{
    (void)data, (void)snapshot;
    client.scene_done = 1;
}

static const struct zadozav_scene_snapshot_v1_listener snapshot_listener = {
    .node = snapshot_node,
    .done = snapshot_done,
};

static int snapshot_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                             union wl_argument *args)
{
    const struct zadozav_scene_snapshot_v1_listener *l = listener;
    struct zadozav_scene_snapshot_v1 *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0:
        l->node(data, target, args[0].u, args[1].u, args[2].s, args[3].u, args[4].u, args[5].i, args[6].i,
                args[7].i, args[8].i);
        break;
    case 1: l->done(data, target); break;
    }
    return 0;
}

/* ---------------------------------------------------------------- layout */

static void manager_layout(void *data, struct zadozav_window_info_manager_v1 *manager, uint32_t status,
                           const char *output, uint32_t workspace, const char *layout)
{
    (void)data, (void)manager, (void)status, (void)output, (void)workspace, (void)layout;
    client.layout_received = 1;
}

static const struct zadozav_window_info_manager_v1_listener manager_listener = {
    .active_workspace_layout = manager_layout,
};

static int manager_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                            union wl_argument *args)
{
    const struct zadozav_window_info_manager_v1_listener *l = listener;
    struct zadozav_window_info_manager_v1 *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0: l->active_workspace_layout(data, target, args[0].u, args[1].s, args[2].u, args[3].s); break;
    }
    return 0;
}

/* ---------------------------------------------------------------- outputs */

static void mode_size(void *data, struct zwlr_output_mode_v1 *mode, int32_t width, int32_t height)
{
    (void)data, (void)mode, (void)width, (void)height;
}
static void mode_refresh(void *data, struct zwlr_output_mode_v1 *mode, int32_t refresh)
{
    (void)data, (void)mode, (void)refresh;
}
static void mode_flag(void *data, struct zwlr_output_mode_v1 *mode)
{
    (void)data, (void)mode;
}

static const struct zwlr_output_mode_v1_listener mode_listener = {
    .size = mode_size,
    .refresh = mode_refresh,
    .preferred = mode_flag,
    .finished = mode_flag,
};

static int mode_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                         union wl_argument *args)
{
    const struct zwlr_output_mode_v1_listener *l = listener;
    struct zwlr_output_mode_v1 *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0: l->size(data, target, args[0].i, args[1].i); break;
    case 1: l->refresh(data, target, args[0].i); break;
    case 2: l->preferred(data, target); break;
    case 3: l->finished(data, target); break;
    }
    return 0;
}

static void head_text(void *data, struct zwlr_output_head_v1 *head, const char *text)
{
    (void)data, (void)head, (void)text;
}
static void head_pair(void *data, struct zwlr_output_head_v1 *head, int32_t a, int32_t b)
{
    (void)data, (void)head, (void)a, (void)b;
}
static void head_int(void *data, struct zwlr_output_head_v1 *head, int32_t value)
{
    (void)data, (void)head, (void)value;
}
static void head_uint(void *data, struct zwlr_output_head_v1 *head, uint32_t value)
{
    (void)data, (void)head, (void)value;
}
static void head_flag(void *data, struct zwlr_output_head_v1 *head)
{
    (void)data, (void)head;
}
static void head_current_mode(void *data, struct zwlr_output_head_v1 *head, struct zwlr_output_mode_v1 *mode)
{
    (void)data, (void)head, (void)mode;
}
static void head_mode(void *data, struct zwlr_output_head_v1 *proxy, struct zwlr_output_mode_v1 *mode_proxy)
{
    (void)proxy;
    client.modes = grow(client.modes, client.mode_count, &client.mode_capacity, sizeof *client.modes);
    size_t index = client.mode_count++;
    client.modes[index] = (struct mode){.proxy = mode_proxy, .next = SIZE_MAX};
    struct head *head = &client.heads[as_index(data)];
    if (head->first_mode == SIZE_MAX)
        head->first_mode = index;
    else
        client.modes[head->last_mode].next = index;
    head->last_mode = index;
    attach(mode_proxy, &mode_listener, mode_dispatch, NULL);
}

static const struct zwlr_output_head_v1_listener head_listener = {
    .name = head_text,
    .description = head_text,
    .physical_size = head_pair,
    .mode = head_mode,
    .enabled = head_int,
    .current_mode = head_current_mode,
    .position = head_pair,
    .transform = head_int,
    .scale = head_int,
    .finished = head_flag,
    .make = head_text,
    .model = head_text,
    .serial_number = head_text,
    .adaptive_sync = head_uint,
};

static int head_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                         union wl_argument *args)
{
    const struct zwlr_output_head_v1_listener *l = listener;
    struct zwlr_output_head_v1 *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0: l->name(data, target, args[0].s); break;
    case 1: l->description(data, target, args[0].s); break;
    case 2: l->physical_size(data, target, args[0].i, args[1].i); break;
    case 3: l->mode(data, target, (struct zwlr_output_mode_v1 *)args[0].o); break;
    case 4: l->enabled(data, target, args[0].i); break;
    case 5: l->current_mode(data, target, (struct zwlr_output_mode_v1 *)args[0].o); break;
    case 6: l->position(data, target, args[0].i, args[1].i); break;
    case 7: l->transform(data, target, args[0].i); break;
    case 8: l->scale(data, target, args[0].f); break;
    case 9: l->finished(data, target); break;
    case 10: l->make(data, target, args[0].s); break;
    case 11: l->model(data, target, args[0].s); break;
    case 12: l->serial_number(data, target, args[0].s); break;
    case 13: l->adaptive_sync(data, target, args[0].u); break;
    }
    return 0;
}

static void manager_head(void *data, struct zwlr_output_manager_v1 *manager, struct zwlr_output_head_v1 *proxy)
{
    (void)data, (void)manager;
    client.heads = grow(client.heads, client.head_count, &client.head_capacity, sizeof *client.heads);
    size_t index = client.head_count++;
    client.heads[index] = (struct head){.proxy = proxy, .first_mode = SIZE_MAX, .last_mode = SIZE_MAX};
    attach(proxy, &head_listener, head_dispatch, as_data(index));
}
static void manager_done(void *data, struct zwlr_output_manager_v1 *manager, uint32_t serial)
{
    (void)data, (void)manager, (void)serial;
    client.outputs_done = 1;
}
static void manager_finished(void *data, struct zwlr_output_manager_v1 *manager)
{
    (void)data, (void)manager;
    client.output_manager_gone = 1;
}

static const struct zwlr_output_manager_v1_listener output_manager_listener = {
    .head = manager_head,
    .done = manager_done,
    .finished = manager_finished,
};

static int output_manager_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                                   union wl_argument *args)
{
    const struct zwlr_output_manager_v1_listener *l = listener;
    struct zwlr_output_manager_v1 *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0: l->head(data, target, (struct zwlr_output_head_v1 *)args[0].o); break;
    case 1: l->done(data, target, args[0].u); break;
    case 2: l->finished(data, target); break;
    }
    return 0;
}

/* ---------------------------------------------------------------- registry */

static uint32_t min_version(uint32_t a, uint32_t b)
{
    return a < b ? a : b;
}

static void registry_global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                            uint32_t version)
{
    (void)data;
    if (strcmp(interface, "ext_foreign_toplevel_list_v1") == 0) {
        client.list_name = name;
    } else if (strcmp(interface, "zadozav_window_info_manager_v1") == 0) {
        client.info_manager_name = name;
        client.info_manager_version = version;
    } else if (strcmp(interface, "zwlr_output_manager_v1") == 0 && client.command == OUTPUTS) {
        client.output_manager_name = name;
        client.output_manager = wl_registry_bind(registry, name, &zwlr_output_manager_v1_interface,
                                                 min_version(version, OUTPUT_MANAGER_MAX_VERSION));
        if (!client.output_manager)
            fail("out of memory");
        attach(client.output_manager, &output_manager_listener, output_manager_dispatch, NULL);
    }
}
static void registry_global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data, (void)registry;
    if (client.output_manager_name != 0 && name == client.output_manager_name)
        client.output_manager_gone = 1;
}

static const struct wl_registry_listener registry_listener = {
    .global = registry_global,
    .global_remove = registry_global_remove,
};

static int registry_dispatch(const void *listener, void *proxy, uint32_t opcode, const struct wl_message *message,
                             union wl_argument *args)
{
    const struct wl_registry_listener *l = listener;
    struct wl_registry *target = proxy;
    void *data = wl_proxy_get_user_data(proxy);
    (void)message;
    switch (opcode) {
    case 0: l->global(data, target, args[0].u, args[1].s, args[2].u); break;
    case 1: l->global_remove(data, target, args[0].u); break;
    }
    return 0;
}

/* ---------------------------------------------------------------- flow */

static int ready(void)
{
    switch (client.command) {
    case WINDOWS:
        return client.list_finished && client.incomplete_windows == 0;
    case SCENE:
        return client.scene_done;
    case OUTPUTS:
        return client.outputs_done;
    case LAYOUT:
        return client.layout_received;
    }
    return 0;
}

static void collect(void)
{
    for (int round_trips = 0; !ready() && round_trips < MAX_EXTRA_ROUND_TRIPS; ++round_trips) {
        if (client.command == OUTPUTS && client.output_manager_gone)
            break;
        round_trip();
    }
    if (!ready())
        fail("no complete snapshot within the round-trip budget");
}

static void release_output_object(struct wl_proxy *proxy)
{
    if (wl_proxy_get_version(proxy) >= RELEASE_SINCE_VERSION) {
        /* Both release requests are opcode 0; the destroy follows below. */
        wl_proxy_marshal_flags(proxy, 0, NULL, wl_proxy_get_version(proxy), 0);
    }
    wl_proxy_destroy(proxy);
}

static void destroy(void *proxy)
{
    if (proxy)
        wl_proxy_destroy(proxy);
}

static void teardown(void)
{
    for (size_t i = 0; i < client.window_count; ++i) {
        destroy(client.windows[i].info);
        destroy(client.windows[i].handle);
    }
    for (size_t h = 0; h < client.head_count; ++h) {
        for (size_t m = client.heads[h].first_mode; m != SIZE_MAX; m = client.modes[m].next)
            release_output_object((struct wl_proxy *)client.modes[m].proxy);
        release_output_object((struct wl_proxy *)client.heads[h].proxy);
    }
    destroy(client.output_manager);
    destroy(client.toplevel_list);
    destroy(client.snapshot);
    destroy(client.info_manager);
    destroy(client.registry);
    free(client.windows);
    free(client.heads);
    free(client.modes);
    wl_display_flush(client.display);
    wl_display_disconnect(client.display);
}

static void usage(void)
{
    fputs("usage: ridaviduvo-baseline [--listeners] windows | scene | outputs | layout NAME [LAYOUT]\n", stderr);
    exit(2);
}

int main(int argc, char **argv)
{
    const char *output = NULL;
    const char *layout = NULL;
    if (argc > 1 && strcmp(argv[1], "--listeners") == 0) {
        use_listeners = 1;
        argv++;
        argc--;
    }
    if (argc == 2 && strcmp(argv[1], "windows") == 0)
        client.command = WINDOWS;
    else if (argc == 2 && strcmp(argv[1], "scene") == 0)
        client.command = SCENE;
    else if (argc == 2 && strcmp(argv[1], "outputs") == 0)
        client.command = OUTPUTS;
    else if ((argc == 3 || argc == 4) && strcmp(argv[1], "layout") == 0) {
        client.command = LAYOUT;
        output = argv[2];
        layout = argc == 4 ? argv[3] : NULL;
    } else
        usage();

    client.display = wl_display_connect(NULL);
    if (!client.display)
        fail("unable to connect");
    client.registry = wl_display_get_registry(client.display);
    attach(client.registry, &registry_listener, registry_dispatch, NULL);
    round_trip();

    if (client.command == OUTPUTS) {
        if (!client.output_manager)
            fail("no output management");
    } else {
        if (client.info_manager_name == 0 || (client.command != SCENE && client.list_name == 0))
            fail("no window introspection");
        client.info_manager = wl_registry_bind(
            client.registry, client.info_manager_name, &zadozav_window_info_manager_v1_interface,
            min_version(client.info_manager_version, WINDOW_INFO_MANAGER_MAX_VERSION));
        if (client.command == SCENE && client.info_manager_version < 2)
            fail("no scene snapshots");
        if (client.command == LAYOUT && client.info_manager_version < 3)
            fail("no layout control");
    }

    switch (client.command) {
    case WINDOWS:
        client.toplevel_list =
            wl_registry_bind(client.registry, client.list_name, &ext_foreign_toplevel_list_v1_interface, 1);
        attach(client.toplevel_list, &list_listener, list_dispatch, NULL);
        round_trip();
        ext_foreign_toplevel_list_v1_stop(client.toplevel_list);
        break;
    case SCENE:
        client.snapshot = zadozav_window_info_manager_v1_get_scene_snapshot(client.info_manager);
        attach(client.snapshot, &snapshot_listener, snapshot_dispatch, NULL);
        break;
    case OUTPUTS:
        break;
    case LAYOUT:
        attach(client.info_manager, &manager_listener, manager_dispatch, NULL);
        if (layout)
            zadozav_window_info_manager_v1_set_active_workspace_layout(client.info_manager, output, layout);
        else
            zadozav_window_info_manager_v1_get_active_workspace_layout(client.info_manager, output);
        break;
    }
    collect();
    teardown();
    return 0;
}
