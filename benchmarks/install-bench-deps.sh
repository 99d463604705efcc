#!/bin/sh
# Installs from Debian what `make bench` needs beyond the build's own
# dependencies, when it is missing: hyperfine, valgrind (callgrind),
# /usr/bin/time, Google Benchmark, and phoc with wlr-randr for the peer run.
# As root it runs apt-get; otherwise it prints the exact command and fails.
set -eu

missing=""
command -v hyperfine >/dev/null 2>&1 || missing="$missing hyperfine"
command -v valgrind >/dev/null 2>&1 || missing="$missing valgrind"
[ -x /usr/bin/time ] || missing="$missing time"
pkg-config --exists benchmark 2>/dev/null || missing="$missing libbenchmark-dev"
command -v phoc >/dev/null 2>&1 || missing="$missing phoc"
command -v wlr-randr >/dev/null 2>&1 || missing="$missing wlr-randr"

[ -n "$missing" ] || exit 0
if [ "$(id -u)" -ne 0 ]; then
    echo "missing benchmark tools; install them with:" >&2
    echo "  sudo apt-get install -y --no-install-recommends$missing" >&2
    exit 1
fi
echo "installing:$missing" >&2
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
