#!/usr/bin/env bash
# Makes the Debian package from a build folder with CPack, unpacks it into a temporary root, and
# starts the unpacked Orvalet on the offscreen platform over a store of its own: it must open that
# store and keep running until this script stops it.
# Usage: check-package.sh BUILD-FOLDER [CPACK]
set -euo pipefail
build=$(cd "$1" && pwd)
cpack=${2:-cpack}
work=$(mktemp -d)
orvalet_pid=
cleanup() {
    if [ -n "$orvalet_pid" ]; then
        kill "$orvalet_pid" 2>/dev/null || true
        wait "$orvalet_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "check-package: $*" >&2
    exit 1
}

(cd "$build" && "$cpack" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log" >&2
    fail "cpack failed"
}
packages=("$work"/out/orvalet_*.deb)
if [ ${#packages[@]} -ne 1 ] || [ ! -f "${packages[0]}" ]; then
    fail "expected one orvalet_*.deb, found: ${packages[*]}"
fi
deb=${packages[0]}

# The package depends on the libraries the programs load, as dpkg-shlibdeps found them.
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6network6 libsqlite3-0; do
    [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
app_id=app.orvalet.Orvalet
for file in usr/bin/orvalet usr/bin/things3-standin usr/share/applications/$app_id.desktop \
    usr/share/metainfo/$app_id.metainfo.xml usr/share/icons/hicolor/scalable/apps/$app_id.svg; do
    [ -f "$root/$file" ] || fail "the package lacks /$file"
done
desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" >/dev/null
# The entry starts the packaged program and shows the packaged icon.
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/$app_id.desktop")
icon=$(sed -n 's/^Icon=//p' "$root/usr/share/applications/$app_id.desktop")
[ -x "$root/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line is not a packaged program"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "Icon=$icon is not a packaged icon"

# The stand-in runs from the package: it writes its demo library.
"$root/usr/bin/things3-standin" seed --demo --library "$work/library.json" >/dev/null
[ -s "$work/library.json" ] || fail "things3-standin seed wrote no library"

home=$work/home
mkdir -p "$home/data" "$home/config" "$home/runtime"
chmod 700 "$home/runtime"
env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen XDG_DATA_HOME="$home/data" \
    XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" \
    "$root/usr/bin/orvalet" >"$work/orvalet.log" 2>&1 &
orvalet_pid=$!
store=$home/data/Orvalet/Orvalet.store
for _ in $(seq 100); do
    [ -f "$store" ] && break
    kill -0 "$orvalet_pid" 2>/dev/null || break
    sleep 0.1
done
[ -f "$store" ] || { cat "$work/orvalet.log" >&2; fail "orvalet made no store at $store"; }
sleep 0.5
kill -0 "$orvalet_pid" 2>/dev/null || {
    cat "$work/orvalet.log" >&2
    fail "orvalet stopped by itself"
}
kill -TERM "$orvalet_pid"
status=0
wait "$orvalet_pid" || status=$?
orvalet_pid=
[ "$status" -eq 143 ] || fail "orvalet ended with status $status, not by the test's SIGTERM"
echo "check-package: $(basename "$deb") installs, and its orvalet runs until stopped"
