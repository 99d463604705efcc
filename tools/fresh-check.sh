#!/bin/sh
# The README's promise, tried where a newcomer starts: a minimal Debian root
# of RELEASE, the committed tree cloned into it, only the packages of the
# README's bare-machine line installed by hand, then `make demo` and
# `make test` as root with CI=true (every suite must run). Prints the suite
# counts and fails unless every suite ran and passed.
#
#   tools/fresh-check.sh bookworm|trixie       (make fresh-check RELEASE=...)
#   tools/fresh-check.sh --clang trixie        the same, then make clang-check
#   tools/fresh-check.sh --cross "ARCH..." bookworm|trixie
#                                              (make cross-check ARCH=...)
#
# --cross builds for each Debian architecture ARCH (i386, armhf, arm64,
# s390x, ...) instead, with Debian's cross compiler g++-TRIPLET and the
# architecture's multiarch libraries, and runs the unit and end-to-end
# suites there (tools/cross-test.sh), through qemu-user-static when this
# machine cannot run the architecture itself.
#
# Needs root, debootstrap (installed when missing) and the network to
# Debian's mirror (debootstrap's default; the root's apt uses the sources
# debootstrap wrote). The pristine root is kept in FRESH_CACHE
# (/var/cache/ridaviduvo-fresh) and copied for each run, and the .deb files
# apt downloads are kept there too; the project's packages are installed
# afresh in every copy. Everything runs in its own mount and PID namespaces,
# so an interrupted run leaves nothing mounted and nothing running; the copy
# is removed at the end unless FRESH_KEEP=1.
set -eu

# The whole script is one compound command, read before any of it runs, so
# that editing this file while a check runs cannot change the running one.
{
usage() {
    echo "usage: tools/fresh-check.sh [--clang | --cross \"ARCH...\"] bookworm|trixie" >&2
    exit 2
}
clang=no
arches=""
while [ $# -gt 1 ]; do
    case "$1" in
    --clang) clang=yes ;;
    --cross) arches=$2; shift ;;
    *) usage ;;
    esac
    shift
done
release=${1:-}
case "$release" in
bookworm | trixie) ;;
*) usage ;;
esac
for arch in $arches; do
    case "$arch" in
    *[!a-z0-9]*) echo "fresh-check: not a Debian architecture: $arch" >&2; exit 2 ;;
    esac
done
top=$(cd "$(dirname "$0")/.." && pwd)
cache=${FRESH_CACHE:-/var/cache/ridaviduvo-fresh}

if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-check: needs root (debootstrap, chroot and namespaces)" >&2
    exit 1
fi
if ! git -C "$top" diff --quiet HEAD 2>/dev/null; then
    echo "fresh-check: the work tree has uncommitted changes; only the committed tree (HEAD) is checked" >&2
fi

# What a newcomer installs by hand: the packages of the README's bare-machine
# line (the one marked by the comment "bare-machine").
bare=$(sed -n '/<!-- bare-machine -->/,/^```$/s/^apt-get install -y //p' "$top/README.md")
if [ -z "$bare" ]; then
    echo "fresh-check: README.md has no bare-machine line" >&2
    exit 1
fi

command -v debootstrap >/dev/null 2>&1 || {
    echo "fresh-check: installing debootstrap" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
}
mkdir -p "$cache"
if [ ! -d "$cache/$release" ]; then
    echo "fresh-check: making a minimal $release root in $cache/$release"
    rm -rf "$cache/$release.partial"
    debootstrap --variant=minbase "$release" "$cache/$release.partial" >"$cache/$release.debootstrap.log" 2>&1 || {
        echo "fresh-check: debootstrap failed; its log: $cache/$release.debootstrap.log" >&2
        exit 1
    }
    mv "$cache/$release.partial" "$cache/$release"
fi
mkdir -p "$cache/$release-archives/partial"

work=$(mktemp -d /var/tmp/ridaviduvo-fresh.XXXXXX)
cleanup() {
    # The namespace is gone by now, and its mounts with it: nothing here is
    # a mount point any more.
    if [ "${FRESH_KEEP:-0}" = 1 ]; then
        echo "fresh-check: the root is kept in $work/root"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
ns_pid=""
# An interrupted run ends the namespace first: unshare takes its child (the
# namespace's first process, and with it every process in there) along.
# unshare holds SIGINT and SIGTERM back while its child runs, so it gets
# SIGKILL.
trap '[ -z "$ns_pid" ] || { kill -KILL "$ns_pid" 2>/dev/null; wait "$ns_pid"; }; exit 130' INT TERM
root=$work/root
cp -a "$cache/$release" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
git -C "$top" bundle create -q "$root/root/ridaviduvo.bundle" HEAD
git -C "$top" log -1 --format="fresh-check: $release, commit %h %s"

# The steps in the root, as a newcomer types them.
cat >"$root/root/fresh-steps.sh" <<EOF
set -eu
export DEBIAN_FRONTEND=noninteractive CI=true
cd /root
apt-get update -qq
apt-get install -y -qq $bare >/dev/null
git -c advice.detachedHead=false clone -q ridaviduvo.bundle ridaviduvo
cd ridaviduvo
EOF
if [ -z "$arches" ]; then
    cat >>"$root/root/fresh-steps.sh" <<EOF
echo "== make demo"
make demo
echo "== make test"
status=0
make test || status=\$?
echo "== suites"
python3 tests/report_skips.py --all-passed build || status=1
if [ $clang = yes ]; then
    echo "== make clang-check"
    make clang-check || status=1
    echo "== suites (clang)"
    python3 tests/report_skips.py --all-passed build-clang || status=1
fi
echo "== versions"
dpkg-query -W -f='\${Package} \${Version}\n' g++ clang libwayland-client0 meson python3 phoc sway labwc cage weston \
    libwlroots10 libwlroots-0.18 wlr-randr jq graphviz python3-jsonschema zsh fish bash man-db valgrind \
    2>/dev/null || true
exit \$status
EOF
else
    # The cross compilers and the architectures' libraries, then each
    # architecture's build and suites.
    cat >>"$root/root/fresh-steps.sh" <<EOF
tools/install-deps.sh build
apt-get install -y -qq --no-install-recommends dpkg-dev >/dev/null
packages="python3-jsonschema graphviz"
native=\$(dpkg --print-architecture)
qemu=""
for arch in $arches; do
    dpkg --add-architecture "\$arch"
    triplet=\$(dpkg-architecture -a "\$arch" -qDEB_HOST_GNU_TYPE 2>/dev/null)
    packages="\$packages g++-\$triplet libwayland-dev:\$arch libgtest-dev:\$arch libstdc++6:\$arch"
    [ "\$arch" = "\$native" ] || qemu=qemu-user-static
done
packages="\$packages \$qemu"
apt-get update -qq
echo "installing: \$packages"
apt-get install -y -qq --no-install-recommends \$packages >/dev/null
status=0
for arch in $arches; do
    echo "== \$arch"
    tools/cross-test.sh "\$arch" || status=1
done
echo "== suites"
cat build-cross-*/counts.txt
echo "== versions"
dpkg-query -W -f='\${Package}:\${Architecture} \${Version}\n' g++ libwayland-client0 meson qemu-user-static 2>/dev/null || true
exit \$status
EOF
fi

log=$cache/$release.log
what="make demo and make test"
[ $clang = no ] || what="$what, then make clang-check,"
[ -z "$arches" ] || { what="the cross builds for $arches"; log=$cache/$release-cross.log; }
echo "fresh-check: running $what in the $release root (log: $log)"
status=0
# setpriv --pdeathsig: should this script be killed outright, unshare goes
# too, and --kill-child then ends everything in the namespace.
setpriv --pdeathsig KILL unshare --mount --pid --fork --kill-child --propagation private sh -eu -c '
    root=$1 archives=$2
    mount -t proc proc "$root/proc"
    mount -t sysfs -o ro sysfs "$root/sys"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
    mount --bind "$root/dev/pts/ptmx" "$root/dev/ptmx"
    mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
    mount -t tmpfs -o mode=755 tmpfs "$root/run"
    mount --bind "$archives" "$root/var/cache/apt/archives"
    # binfmt_misc, for registering qemu-user from inside the root (where the
    # kernel gives each mount an instance of its own, what is registered
    # there ends with the namespace in any case).
    mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc" 2>/dev/null || true
    exec chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin sh /root/fresh-steps.sh
' fresh-check "$root" "$cache/$release-archives" >"$log" 2>&1 &
ns_pid=$!
wait "$ns_pid" || status=$?
ns_pid=""

sed -n '/^== suites$/,$p' "$log"
if [ "$status" -ne 0 ]; then
    echo "fresh-check: $release FAILED (status $status); the end of the log:" >&2
    tail -n 60 "$log" >&2
    FRESH_KEEP=1
    exit 1
fi
echo "fresh-check: $release passed"
exit 0
}
