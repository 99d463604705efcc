#pragma once
// The interface descriptions a scenario's events are checked against and
// built from: wayland-scanner's private code for our protocol files. Only the
// descriptions are needed here, not libwayland-server, so they are declared
// as the tool declares its own.

#include <wayland-util.h>

extern "C" {
extern const struct wl_interface ext_foreign_toplevel_handle_v1_interface;
extern const struct wl_interface zadozav_window_info_v1_interface;
extern const struct wl_interface zwlr_output_head_v1_interface;
extern const struct wl_interface zwlr_output_mode_v1_interface;
}
