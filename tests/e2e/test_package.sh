#!/bin/bash
# The Debian package end to end: build it in a release build of its own, install
# it with dpkg, check that the installation hooks ran and flushed the machine
# hive, run the installed program, remove the package and check that the
# removal's hooks ran.
#
# Argument 1: the kestrun binary of the test build (its directory is the build
# tree when KESTRUN_BINARY_DIR is not set). KESTRUN_DEB=path installs an already
# built package instead of building one. Needs root; skipped otherwise.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: installing a package with dpkg needs root"
    exit 0
fi

here=$(cd "$(dirname "$0")" && pwd)
source_dir=${KESTRUN_SOURCE_DIR:-$(cd "$here/../.." && pwd)}
binary_dir=${KESTRUN_BINARY_DIR:-$(dirname "${1:-./kestrun}")}
work=$(mktemp -d /tmp/kestrun-package-XXXXXX)
installed_by_us=0

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cleanup() {
    if [ "$installed_by_us" = 1 ] && dpkg -s kestrun >/dev/null 2>&1; then
        dpkg -r kestrun >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# dpkg refuses at once while another dpkg or apt holds its lock: wait for it.
dpkg_locked() {
    local tries=0 output
    while :; do
        if output=$(dpkg "$@" 2>&1); then
            printf '%s\n' "$output"
            return 0
        fi
        if printf '%s' "$output" | grep -qi 'lock' && [ $tries -lt 60 ]; then
            tries=$((tries + 1))
            sleep 2
            continue
        fi
        printf '%s\n' "$output" >&2
        return 1
    done
}

# ---- the package ---------------------------------------------------------------
if [ -n "${KESTRUN_DEB:-}" ]; then
    deb=$KESTRUN_DEB
    [ -f "$deb" ] || fail "KESTRUN_DEB=$deb is not a file"
else
    build="$binary_dir/package-release"
    generator=()
    if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null; then generator=(-G Ninja); fi
    # -O2 as Debian builds its packages (GCC 12 gives false -Wrestrict alarms at -O3).
    cmake -S "$source_dir" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DKESTRUN_SANITIZE=OFF -DKESTRUN_TESTS=OFF -DKESTRUN_BENCH=OFF >"$work/configure.log" 2>&1 \
        || { cat "$work/configure.log" >&2; fail "configuring the release build"; }
    cmake --build "$build" -j 2 >"$work/build.log" 2>&1 \
        || { tail -50 "$work/build.log" >&2; fail "building the release build"; }
    rm -f "$build"/kestrun_*.deb
    (cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 \
        || { cat "$work/cpack.log" >&2; fail "cpack -G DEB"; }
    deb=$(ls "$build"/kestrun_*_*.deb)
fi
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)
[ "$(basename "$deb")" = "kestrun_${version}_${arch}.deb" ] || fail "package named $(basename "$deb")"
[ -n "$(dpkg-deb -f "$deb" Depends)" ] || fail "the package names no dependencies"

dpkg-deb -c "$deb" >"$work/contents"
for path in ./usr/lib/kestrun/kestrun ./usr/lib/kestrun/kestrun.htm ./usr/lib/kestrun/libpellora.so \
    ./usr/lib/kestrun/kestrun-setup-hooks ./usr/share/applications/kestrun.desktop \
    ./usr/share/icons/hicolor/16x16/apps/kestrun.png ./usr/share/icons/hicolor/32x32/apps/kestrun.png \
    ./usr/share/icons/hicolor/48x48/apps/kestrun.png ./usr/share/icons/hicolor/128x128/apps/kestrun.png \
    ./usr/share/man/man1/kestrun.1.gz ./usr/share/metainfo/org.kestrun.Kestrun.metainfo.xml; do
    grep -q " $path\$" "$work/contents" || fail "the package lacks $path"
done
grep -q ' ./usr/bin/kestrun -> ../lib/kestrun/kestrun$' "$work/contents" || fail "no kestrun command in /usr/bin"
dpkg-deb -x "$deb" "$work/tree"
grep -q '^Categories=System;Monitor;$' "$work/tree/usr/share/applications/kestrun.desktop" || fail "menu categories"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$work/tree/usr/share/metainfo/org.kestrun.Kestrun.metainfo.xml" >&2 \
        || fail "the installed AppStream metadata does not validate"
fi
exports=$(nm -D --defined-only "$work/tree/usr/lib/kestrun/libpellora.so" | awk '{print $3}' | sort | tr '\n' ' ')
[ "$exports" = "Install_Exit Install_Init Uninstall_Exit Uninstall_Init " ] || fail "Pellora exports: $exports"
for script in postinst prerm postrm; do
    dpkg-deb -I "$deb" "$script" >/dev/null || fail "the package has no $script"
done

# ---- install -------------------------------------------------------------------
# The maintainer scripts inherit this environment: the hooks log to our file
# and flush a machine hive of our own.
export KESTRUN_SETUP_HOOK_LOG="$work/hooks.log"
export KESTRUN_MACHINE_DIR="$work/machine"
export DEBIAN_FRONTEND=noninteractive
unset DISPLAY

installed_by_us=1
dpkg_locked -i "$deb" >"$work/install.log" || fail "dpkg -i"
[ "$(cat "$work/hooks.log")" = "$(printf 'Install_Init 0\nInstall_Exit 0')" ] \
    || fail "installation hooks: $(cat "$work/hooks.log")"
[ -f "$KESTRUN_MACHINE_DIR/machine.db" ] || fail "the machine hive was not flushed"
[ "$(head -c 15 "$KESTRUN_MACHINE_DIR/machine.db")" = "SQLite format 3" ] || fail "the machine hive is not a database"
[ "$(stat -c %a "$KESTRUN_MACHINE_DIR/machine.db")" = 600 ] || fail "the machine hive is not private"

[ "$(command -v kestrun)" = /usr/bin/kestrun ] || fail "kestrun is not on the PATH"
kestrun --version >"$work/version" || fail "kestrun --version"
[ "$(head -1 "$work/version")" = "kestrun $version" ] || fail "kestrun --version said: $(head -1 "$work/version")"
[ -f /usr/lib/kestrun/kestrun.htm ] || fail "no help page beside the program"

# ---- remove --------------------------------------------------------------------
: >"$work/hooks.log"
dpkg_locked -r kestrun >"$work/remove.log" || fail "dpkg -r"
installed_by_us=0
[ "$(cat "$work/hooks.log")" = "$(printf 'Uninstall_Init 0\nUninstall_Exit 0')" ] \
    || fail "removal hooks: $(cat "$work/hooks.log")"
[ ! -e /usr/lib/kestrun/kestrun ] || fail "the program is still installed"
[ ! -e /var/lib/kestrun/uninstall-hooks ] || fail "the kept copy of the hooks was left behind"
[ -f "$KESTRUN_MACHINE_DIR/machine.db" ] || fail "the removal lost the machine hive"

echo "PASS: $(basename "$deb") installs, runs its setup hooks, and removes cleanly"
