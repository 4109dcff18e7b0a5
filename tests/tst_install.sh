#!/bin/sh
# Installs the application's package content into a temporary prefix, checks the tree,
# validates the menu entry and the metainfo with the desktop's own tools, and starts the
# installed application from the menu entry's command, offscreen, until its window answers.
set -eu
build=$1
fail() { echo "tst_install.sh: $*" >&2; exit 1; }
for tool in desktop-file-validate appstreamcli readelf; do
    command -v "$tool" >/dev/null 2>&1 ||
        fail "$tool is missing: install desktop-file-utils, appstream and binutils (scripts/setup.sh does)"
done
tmp=$(mktemp -d)
app=""
cleanup() {
    [ -z "$app" ] || kill "$app" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" --component Runtime >/dev/null
cmake --install "$build" --prefix "$prefix" --component Cli >/dev/null

# Nothing but the application and its command line on PATH; the stand-ins in libexec.
expected="bin/velmora
bin/velmora-connect
libexec/velmora-connect/launchctl
libexec/velmora-connect/security
share/applications/com.velmora.Connect.desktop
share/doc/velmora-cli/changelog.Debian.gz
share/doc/velmora-cli/copyright
share/doc/velmora-connect/changelog.Debian.gz
share/doc/velmora-connect/copyright
share/icons/hicolor/scalable/apps/com.velmora.Connect.svg
share/man/man1/velmora-connect.1.gz
share/man/man1/velmora.1.gz
share/metainfo/com.velmora.Connect.metainfo.xml"
actual=$(cd "$prefix" && find . -type f ! -name '*.png' | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed tree differs:
$actual"
# Nothing private is installed: the system's folders hold every library they load.
for tool in bin/velmora bin/velmora-connect libexec/velmora-connect/security libexec/velmora-connect/launchctl; do
    [ -x "$prefix/$tool" ] || fail "$tool is not executable"
    ! readelf -d "$prefix/$tool" | grep -E 'R(UN)?PATH' || fail "$tool has a RUNPATH"
done
pngs=0
for png in "$prefix"/share/icons/hicolor/*/apps/com.velmora.Connect.png; do
    [ -f "$png" ] || fail "no PNG icons installed"
    folder=$(basename "$(dirname "$(dirname "$png")")")
    # shellcheck disable=SC2046
    set -- $(od -An -tu1 -j16 -N8 "$png")
    size="$((($1 << 24) | ($2 << 16) | ($3 << 8) | $4))x$((($5 << 24) | ($6 << 16) | ($7 << 8) | $8))"
    [ "$size" = "$folder" ] || fail "$folder icon is $size"
    pngs=$((pngs + 1))
done

desktop=$prefix/share/applications/com.velmora.Connect.desktop
report=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$report" ] || fail "menu entry: $report"
appstreamcli validate --no-net "$prefix/share/metainfo/com.velmora.Connect.metainfo.xml" >/dev/null ||
    fail "metainfo: $(appstreamcli validate --no-net "$prefix/share/metainfo/com.velmora.Connect.metainfo.xml")"

# Start it as the menu does. Once it listens, it has found its stand-ins and built its
# window, and a second start is answered by that window.
mkdir -m 700 "$tmp/home" "$tmp/run"
export HOME="$tmp/home" XDG_RUNTIME_DIR="$tmp/run" PATH="$prefix/bin:$PATH"
command=$(sed -n 's/^Exec=//p' "$desktop")
$command &
app=$!
tries=0
until [ -S "$XDG_RUNTIME_DIR/velmora-connect.socket" ]; do
    kill -0 "$app" 2>/dev/null || fail "the installed application stopped at its start"
    tries=$((tries + 1))
    [ "$tries" -le 200 ] || fail "the installed application never started listening"
    sleep 0.05
done
$command || fail "the installed application did not answer a second start"
echo "installed tree, $pngs icon sizes, menu entry and metainfo valid; the installed application started"
