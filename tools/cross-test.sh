#!/bin/sh
# Builds the tool, the mock compositor and the tests for one Debian
# architecture with Debian's cross compiler, and runs the unit and
# end-to-end suites there: natively where this machine runs the
# architecture, else through qemu-user, whose binfmt_misc entry is
# registered for the length of the run and removed afterwards (an entry that
# was there before is left alone). Writes the counts to BUILD/counts.txt.
#
#   tools/cross-test.sh ARCH        (as make cross-check runs it in a fresh root)
#
# Needs, for ARCH: g++-TRIPLET, libwayland-dev:ARCH, libgtest-dev:ARCH,
# libstdc++6:ARCH; natively what `tools/install-deps.sh build` installs,
# dpkg-dev, python3-jsonschema and graphviz; and qemu-user-static when the
# architecture does not run here. BUILD is build-cross-ARCH unless
# CROSS_BUILD says otherwise.
set -eu

arch=${1:?usage: tools/cross-test.sh ARCH}
cd "$(dirname "$0")/.."
build=${CROSS_BUILD:-build-cross-$arch}

query() { dpkg-architecture -a "$arch" -q"$1" 2>/dev/null; }
triplet=$(query DEB_HOST_GNU_TYPE) || {
    echo "cross-test: dpkg-architecture knows no architecture $arch" >&2
    exit 2
}
multiarch=$(query DEB_HOST_MULTIARCH)
cpu=$(query DEB_HOST_GNU_CPU)
endian=$(query DEB_HOST_ARCH_ENDIAN)
# Meson's names of the CPU families, and qemu-user's of the architectures.
case "$cpu" in
i?86) family=x86 ;;
arm*) family=arm ;;
powerpc64*) family=ppc64 ;;
powerpc) family=ppc ;;
mips64*) family=mips64 ;;
mips*) family=mips ;;
hppa) family=parisc ;;
*) family=$cpu ;;
esac
case "$arch" in
amd64) qemu=x86_64 ;;
armhf | armel) qemu=arm ;;
arm64) qemu=aarch64 ;;
ppc64el) qemu=ppc64le ;;
loong64) qemu=loongarch64 ;;
*) qemu=$arch ;;
esac

mkdir -p "$build"
machine=$build/machine.ini
cat >"$machine" <<EOF
[constants]
triplet = '$triplet'
multiarch = '$multiarch'
cpu_family = '$family'
cpu = '$cpu'
endian = '$endian'
EOF
[ -f "$build/build.ninja" ] ||
    meson setup "$build" --cross-file "$machine" --cross-file tools/cross/debian.ini \
        -Dbenchmarks=disabled -Dman-pages=disabled >"$build/setup.log" || {
        cat "$build/setup.log" >&2
        exit 1
    }
ninja -C "$build"

# The architecture runs here, natively or through an entry of binfmt_misc.
binfmt=/proc/sys/fs/binfmt_misc
registered=""
unregister() {
    [ -z "$registered" ] || echo -1 >"$binfmt/$registered" || true
}
trap unregister EXIT
trap 'exit 130' INT TERM
if ! "$build/tests/unit-tests" --gtest_list_tests >/dev/null 2>&1; then
    [ -f "$binfmt/status" ] || mount -t binfmt_misc binfmt_misc "$binfmt" || {
        echo "cross-test: $arch does not run here and binfmt_misc cannot be mounted" >&2
        exit 1
    }
    if [ ! -e "$binfmt/qemu-$qemu" ]; then
        conf=/usr/lib/binfmt.d/qemu-$qemu.conf
        [ -f "$conf" ] || {
            echo "cross-test: $arch does not run here, and qemu-user-static has no $conf" >&2
            exit 1
        }
        cat "$conf" >"$binfmt/register"
        registered=qemu-$qemu
        echo "cross-test: registered $registered with binfmt_misc for this run"
    fi
fi

status=0
meson test -C "$build" --no-rebuild --print-errorlogs unit e2e || status=$?

# The counts, from the suites' own closing lines.
log=$build/meson-logs/testlog.txt
unit_total=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran.*/\1/p' "$log" | tail -n 1)
unit_passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\..*/\1/p' "$log" | tail -n 1)
e2e=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
echo "$arch ($triplet, $endian-endian): unit ${unit_passed:-0} of ${unit_total:-?} passed; e2e ${e2e:-did not finish}" |
    tee "$build/counts.txt"
exit $status
