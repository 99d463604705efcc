#!/bin/sh
# The one list of what ridaviduvo's build, tests, benchmarks and fuzz targets
# need from Debian 12 or 13. Installs what is missing: as root with apt-get,
# otherwise it prints the exact command.
#   tools/install-deps.sh build   compiler, meson, libwayland and its scanner,
#                                 JSON, GoogleTest, scdoc for the manual page
#   tools/install-deps.sh test    the build's, and what every suite of
#                                 `make test` runs: the outputs' real consumers,
#                                 real compositors and wlr-randr, the shells of
#                                 the completions, man, jsonschema, hyperfine
#   tools/install-deps.sh bench   the build's, and what `make bench` measures
#                                 with
#   tools/install-deps.sh fuzz    the release's default clang and its
#                                 libFuzzer runtime (clang 14 on Debian 12,
#                                 19 on Debian 13)
#   tools/install-deps.sh --compositors
#                                 the real compositors that `make test`
#                                 checks on this release, one line
# Several groups may be given at once. Without root, a missing build, bench
# or fuzz dependency is an error; a missing test tool is not, since its
# suites then skip and `make test` names them.
#
# Commands are looked for on PATH, packages in dpkg's database, pkg-config
# modules with pkg-config. The release comes from os-release(5), read from
# INSTALL_DEPS_OS_RELEASE when that is set (the tests give other releases).
set -eu

# labwc is packaged from Debian 13 on; cage has an output manager from 0.2
# (Debian 13) on; weston, which has none of the tool's protocols, is there
# for the refusals.
os_release=${INSTALL_DEPS_OS_RELEASE:-/etc/os-release}
debian_version=$(sed -n 's/^VERSION_ID="\{0,1\}\([0-9]*\).*/\1/p' "$os_release" 2>/dev/null || true)
if [ "$debian_version" = 12 ]; then
    compositors="phoc sway weston"
else
    compositors="phoc sway labwc cage weston"
fi
if [ "${1:-}" = --compositors ]; then
    echo "$compositors"
    exit 0
fi

[ $# -gt 0 ] || set -- build
missing=""        # installed with what they recommend
missing_lean=""   # installed without it (compositors drag in a desktop)

required=yes      # whether what is checked now is needed, not just wanted
fatal=no          # whether something needed is missing

lack() {  # package [lean]
    if [ "${2:-}" = lean ]; then missing_lean="$missing_lean $1"; else missing="$missing $1"; fi
    [ "$required" = no ] || fatal=yes
}
need_cmd() {  # command package
    command -v "$1" >/dev/null 2>&1 || lack "$2"
}
need_cmd_lean() {  # command package
    command -v "$1" >/dev/null 2>&1 || lack "$2" lean
}
need_pc() {  # pkg-config module package
    pkg-config --exists "$1" 2>/dev/null || lack "$2"
}
installed() {  # Debian package
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'
}
need_package() {  # Debian package (for what has no command to look for)
    installed "$1" || lack "$1"
}
need_package_lean() {  # Debian package
    installed "$1" || lack "$1" lean
}

for group in "$@"; do
    required=yes
    case "$group" in
    build | test | bench)
        need_cmd c++ g++
        need_cmd pkg-config pkg-config
        need_cmd meson meson
        need_cmd ninja ninja-build
        need_cmd wayland-scanner libwayland-bin
        need_pc wayland-client libwayland-dev
        need_pc wayland-server libwayland-dev
        need_pc nlohmann_json nlohmann-json3-dev
        need_package libgtest-dev
        need_cmd python3 python3
        # The manual page; the build goes on without it.
        required=no
        need_cmd_lean scdoc scdoc
        ;;
    fuzz)
        need_cmd_lean clang++ clang
        need_package_lean libclang-rt-dev
        ;;
    *)
        echo "usage: tools/install-deps.sh [build|test|bench|fuzz]... | --compositors" >&2
        exit 2
        ;;
    esac
    required=yes
    case "$group" in
    test)
        required=no
        # e2e, schemas, readme-recipes: the outputs' real consumers.
        need_cmd jq jq
        need_cmd dot graphviz
        need_package_lean python3-jsonschema
        # compositor-*: real compositors and a peer client.
        for compositor in $compositors; do
            need_cmd_lean "$compositor" "$compositor"
        done
        need_cmd_lean wlr-randr wlr-randr
        # man-page, install, completion-*: man, and the shells.
        need_cmd_lean man man-db
        need_cmd_lean groff groff-base
        need_package_lean bash-completion
        need_cmd_lean zsh zsh
        need_cmd_lean fish fish
        # bench-smoke: the benchmark scripts at their smallest scale.
        need_cmd_lean hyperfine hyperfine
        need_cmd_lean valgrind valgrind
        need_package_lean time
        ;;
    bench)
        need_cmd_lean hyperfine hyperfine
        need_cmd_lean valgrind valgrind
        need_package_lean time
        need_pc benchmark libbenchmark-dev
        need_cmd_lean phoc phoc
        need_cmd_lean wlr-randr wlr-randr
        ;;
    esac
done

[ -n "$missing$missing_lean" ] || exit 0
# A package may be named more than once above: each is listed once, sorted.
words() {  # package...
    [ $# -eq 0 ] || printf '%s\n' "$@" | sort -u | tr '\n' ' ' | sed 's/ $//'
}
# shellcheck disable=SC2086 # the lists are words
packages=$(words $missing)
# shellcheck disable=SC2086
lean=$(words $missing_lean)

if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages for $*; install them with:" >&2
    [ -z "$packages" ] || echo "  sudo apt-get install -y $packages" >&2
    [ -z "$lean" ] || echo "  sudo apt-get install -y --no-install-recommends $lean" >&2
    [ "$fatal" = yes ] && exit 1
    exit 0
fi
# shellcheck disable=SC2086
echo "installing: $(words $missing $missing_lean)" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
[ -z "$packages" ] || apt-get install -y -qq $packages >/dev/null
[ -z "$lean" ] || apt-get install -y -qq --no-install-recommends $lean >/dev/null
