#!/bin/sh
# Installs what the build and the tests need from Debian, when it is missing.
# As root it runs apt-get; otherwise it prints the exact command and fails.
#   tools/install-deps.sh build   # compiler, meson, libwayland, scanner, JSON, GoogleTest
#   tools/install-deps.sh test    # the above and the tests' real consumers
set -eu

want="${1:-build}"
missing=""

need_cmd() {  # command package
    command -v "$1" >/dev/null 2>&1 || missing="$missing $2"
}
need_pc() {  # pkg-config module package
    pkg-config --exists "$1" 2>/dev/null || missing="$missing $2"
}
need_file() {  # path package
    [ -e "$1" ] || missing="$missing $2"
}

need_cmd c++ g++
need_cmd pkg-config pkg-config
need_cmd meson meson
need_cmd ninja ninja-build
need_cmd wayland-scanner libwayland-bin
need_pc wayland-client libwayland-dev
need_pc wayland-server libwayland-dev
need_pc nlohmann_json nlohmann-json3-dev
need_file /usr/include/gtest/gtest.h libgtest-dev
need_cmd python3 python3

if [ "$want" = test ]; then
    need_cmd jq jq
    need_cmd dot graphviz
fi

[ -n "$missing" ] || exit 0
# One package may be named twice above.
packages=$(printf '%s\n' $missing | sort -u | tr '\n' ' ')
if [ "$(id -u)" -ne 0 ]; then
    echo "missing build dependencies; install them with:" >&2
    echo "  sudo apt-get install -y $packages" >&2
    exit 1
fi
echo "installing:$missing" >&2
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $packages >/dev/null
