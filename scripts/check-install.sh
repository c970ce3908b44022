#!/bin/sh
# Shows that Video Kelvanor 2000 installs and starts as an installed program:
#   prefix  cmake --install of BUILD into a temporary prefix; the desktop entry and the
#           AppStream file pass their validators; the program, started as the desktop
#           entry's Exec line says, from "/" and with a fresh home, keeps its files in
#           its data folder (~/.local/share/video-kelvanor) and ends in order on SIGTERM.
#   deb     the Debian package made by CPack from the same rules; lintian finds no error.
#   apt     (root) the package installed with apt-get, which pulls in what it needs, the
#           program started from its menu entry as above, and the package removed again.
# Usage: scripts/check-install.sh [prefix|deb|apt|all] [BUILD]   (BUILD: build-app; built first)
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
what=${1:-all}
build=${2:-$top/build-app}
case $build in /*) ;; *) build=$PWD/$build ;; esac
[ -f "$build/CMakeCache.txt" ] || cmake -S "$top" -B "$build" -G Ninja -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 >/dev/null

work=$(mktemp -d)
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
fail() { echo "FAIL: $*" >&2; exit 1; }

# Starts the desktop entry's Exec line ($1: the entry, $2: PATH to find it on) from "/"
# with a home of its own, waits for the main window to have loaded, ends it with SIGTERM
# and checks where its files went.
start_from_menu() {
    entry=$1
    home=$work/home-$(date +%s%N)
    mkdir -p "$home"
    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    [ -n "$exec_line" ] || fail "no Exec line in $entry"
    data=$home/.local/share/video-kelvanor
    # Nothing else set up; a sanitizer build keeps its options (CI's leak suppressions).
    (cd / && exec env -i HOME="$home" PATH="$2" QT_QPA_PLATFORM=offscreen \
        ${ASAN_OPTIONS:+ASAN_OPTIONS="$ASAN_OPTIONS"} ${LSAN_OPTIONS:+LSAN_OPTIONS="$LSAN_OPTIONS"} \
        ${UBSAN_OPTIONS:+UBSAN_OPTIONS="$UBSAN_OPTIONS"} $exec_line >"$work/out.txt" 2>&1) &
    app=$!
    # The splash shows for 4 s, then the main window loads. Bounded wait for the process.
    tries=0
    until grep -q "KL2 ok" "$data/kelvanor.log" 2>/dev/null; do
        kill -0 "$app" 2>/dev/null || { cat "$work/out.txt"; fail "the program ended before its window loaded"; }
        tries=$((tries + 1))
        [ $tries -lt 600 ] || fail "the main window did not load in 120 s"
        sleep 0.2
    done
    kill -TERM "$app"
    wait "$app" || { cat "$work/out.txt"; fail "the program did not end in order on SIGTERM (status $?)"; }
    app=""
    for f in kelvanor.log klsr.kl2 cameras.ini; do
        [ -f "$data/$f" ] || fail "$f is not in the data folder $data"
    done
    grep -q "End asked from outside (signal 15)" "$data/kelvanor.log" || fail "the log does not show the orderly end"
    [ ! -e /kelvanor.log ] && [ ! -e /klsr.kl2 ] || fail "files written into /"
    echo "started from its menu entry ($exec_line): its files are in $data"
}

check_prefix() {
    prefix=$work/prefix
    cmake --install "$build" --prefix "$prefix" >/dev/null
    for f in bin/kelvanor share/applications/video-kelvanor.desktop share/man/man1/kelvanor.1.gz \
             share/icons/hicolor/scalable/apps/video-kelvanor.svg share/icons/hicolor/16x16/apps/video-kelvanor.png \
             share/icons/hicolor/256x256/apps/video-kelvanor.png share/video-kelvanor/codec.kl; do
        [ -f "$prefix/$f" ] || fail "cmake --install did not install $f"
    done
    desktop-file-validate "$prefix/share/applications/video-kelvanor.desktop" || fail "desktop-file-validate"
    appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml >/dev/null || {
        appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml; fail "appstreamcli validate"; }
    "$prefix/bin/kelvanor" --version | grep -q "^video-kelvanor " || fail "kelvanor --version"
    start_from_menu "$prefix/share/applications/video-kelvanor.desktop" "$prefix/bin:/usr/bin:/bin"
    echo "prefix: installed into $prefix, validators pass"
}

build_deb() {
    (cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null) || fail "cpack"
    deb=$(ls "$work"/deb/video-kelvanor_*.deb)
    dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6" || fail "the package's Depends lack the Qt libraries"
    lintian --fail-on error "$deb" || fail "lintian reports errors"
    echo "deb: $(basename "$deb"), lintian: no errors"
}

check_apt() {
    [ "$(id -u)" = 0 ] || fail "installing the package needs root"
    if dpkg-query -W -f='${Status}' video-kelvanor 2>/dev/null | grep -q "install ok installed"; then
        fail "video-kelvanor is already installed; remove it first (apt-get remove -y video-kelvanor)"
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null || fail "apt-get install $deb"
    status=0
    (start_from_menu /usr/share/applications/video-kelvanor.desktop /usr/local/bin:/usr/bin:/bin) || status=1
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq video-kelvanor >/dev/null
    [ $status = 0 ] || fail "the installed package did not start from its menu entry"
    echo "apt: installed, started from its menu entry, removed"
}

case $what in
    prefix) check_prefix ;;
    deb) build_deb ;;
    apt) build_deb; check_apt ;;
    all)
        check_prefix
        build_deb
        if [ "$(id -u)" = 0 ]; then check_apt; else echo "apt: skipped (needs root)"; fi
        ;;
    *) echo "usage: $0 [prefix|deb|apt|all] [BUILD]" >&2; exit 2 ;;
esac
