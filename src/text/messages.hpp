// Every fixed text the tool writes to standard error, in one place.
#pragma once

#include <string_view>

namespace rdv::messages {

inline constexpr std::string_view kUsage =
    "usage: ridaviduvo windows [--json]\n"
    "       ridaviduvo inspect --rule\n"
    "       ridaviduvo scene [--dot]\n"
    "       ridaviduvo outputs [--json]\n"
    "       ridaviduvo layout --output NAME [--set LAYOUT] --json\n"
    "\n"
    "Inspect compositor state or change the active workspace layout on one output.\n";

// Connection and globals.
inline constexpr std::string_view kUnableToConnect = "ridaviduvo: unable to connect to the Wayland compositor\n";
inline constexpr std::string_view kConnectionFailed = "ridaviduvo: Wayland connection failed\n";
inline constexpr std::string_view kNoOutputManagement =
    "ridaviduvo: compositor does not expose wlr output management\n";
inline constexpr std::string_view kNoWindowIntrospection =
    "ridaviduvo: compositor does not expose Zadozav window introspection\n";
inline constexpr std::string_view kNoSceneSnapshots =
    "ridaviduvo: compositor does not expose scene graph snapshots\n";
inline constexpr std::string_view kNoLayoutControl =
    "ridaviduvo: compositor does not expose workspace layout control\n";

// Collection time-outs, one per flow.
inline constexpr std::string_view kWindowTimeout =
    "ridaviduvo: timed out collecting a consistent window snapshot\n";
inline constexpr std::string_view kSceneTimeout = "ridaviduvo: timed out collecting the scene graph snapshot\n";
inline constexpr std::string_view kOutputTimeout =
    "ridaviduvo: timed out collecting a consistent output snapshot\n";
inline constexpr std::string_view kLayoutTimeout = "ridaviduvo: timed out waiting for workspace layout state\n";

// A scene whose names need more than the 4 GiB of positions a snapshot has.
inline constexpr std::string_view kSceneTooLarge = "ridaviduvo: scene graph snapshot too large to hold\n";

// The entry point's report of a failure passed up to it: this prefix, the
// failure's name, a newline.
inline constexpr std::string_view kErrorPrefix = "error: ";

}  // namespace rdv::messages
