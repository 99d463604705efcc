#!/bin/bash
# Checks the release tarball. `meson dist` packs what a git repository has
# committed, so this copies the work tree's files (tracked and untracked,
# not ignored) into a scratch repository, commits them there, and runs
# `meson dist` on it. meson dist then unpacks the tarball on its own, builds
# it and runs its whole test suite from it. Last, the tarball's file list is
# checked for the pieces that must ship and for build directories that must
# not.
#
# It builds the project twice and runs the suite once, minutes in all, so it
# is not part of `meson test` or CI; run it by hand before a release:
#   tests/ecosystem/dist_check.sh [SOURCE_DIR]
# The tarball is left in $DIST_OUT when that is set.
set -euo pipefail

src=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/rdv-dist-XXXXXX")
trap 'rm -rf "$work"' EXIT

repo=$work/ridaviduvo
mkdir "$repo"
count=0
while IFS= read -r -d '' file; do
    [ -e "$src/$file" ] || continue  # deleted but not yet committed
    mkdir -p "$repo/$(dirname "$file")"
    cp -p "$src/$file" "$repo/$file"
    count=$((count + 1))
done < <(git -C "$src" ls-files -z --cached --others --exclude-standard)
echo "dist-check: $count files copied from $src"

git -C "$repo" init -q
git -C "$repo" add -A
git -C "$repo" -c user.name=dist-check -c user.email=dist-check@localhost commit -q -m "dist check"

meson setup "$work/build" "$repo" >"$work/setup.log" || { cat "$work/setup.log"; exit 1; }
start=$(date +%s)
if ! meson dist -C "$work/build" --formats xztar >"$work/dist.log" 2>&1; then
    tail -n 60 "$work/dist.log"
    echo "dist-check: FAILED: meson dist (build or tests from the tarball)"
    exit 1
fi
echo "dist-check: meson dist built the tarball and passed its tests in $(($(date +%s) - start)) s"
grep -E '^ *[0-9]+/[0-9]+ |^(Ok|Fail|Skipped|Timeout): ' "$work/dist.log" || true

tarball=$(ls "$work"/build/meson-dist/*.tar.xz)
listing=$(tar -tJf "$tarball")
missing=0
for want in doc/ridaviduvo.1.scd doc/meson.build doc/schema/windows.schema.json doc/schema/outputs.schema.json \
    doc/schema/layout.schema.json completions/ridaviduvo.bash completions/_ridaviduvo completions/ridaviduvo.fish \
    completions/meson.build tests/ecosystem/meson.build examples/desktop.json tools/demo.sh README.md; do
    if ! grep -qx "[^/]*/$want" <<<"$listing"; then
        echo "dist-check: the tarball lacks $want"
        missing=1
    fi
done
if grep -E '^[^/]*/build[^/]*/' <<<"$listing" | head -n 3 | grep .; then
    echo "dist-check: the tarball holds build directories"
    missing=1
fi
[ "$missing" -eq 0 ] || exit 1

if [ -n "${DIST_OUT:-}" ]; then
    cp "$tarball" "$DIST_OUT/"
fi
echo "dist-check: $(basename "$tarball") ($(wc -c <"$tarball") bytes, $(wc -l <<<"$listing") entries): passed"
