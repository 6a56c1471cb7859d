#!/bin/bash
# Installs the build into a temporary DESTDIR under /usr, as a package would,
# and checks what a desktop and a system need from it: every file in its
# place, the desktop entry and the AppStream metadata valid by Debian's own
# validators, the manual page readable without warnings, the systemd user
# unit valid and running the program headless, and the installed program
# finding its help file and keeping its rules in the user's configuration
# directory.
# Usage: check-install.sh <build-dir>
set -euo pipefail
build=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

DESTDIR="$root/dest" cmake --install "$build" --prefix /usr >/dev/null
usr="$root/dest/usr"
id=org.kestrelbox.Kestrelbox

for f in bin/kestrelbox share/kestrelbox/kestrbx.hlp share/applications/$id.desktop \
         share/icons/hicolor/scalable/apps/$id.svg share/metainfo/$id.metainfo.xml \
         share/man/man1/kestrelbox.1.gz lib/systemd/user/kestrelbox.service \
         share/doc/kestrelbox/copyright share/doc/kestrelbox/changelog.gz; do
    [ -f "$usr/$f" ] || fail "missing /usr/$f"
done
for n in 16 22 24 32 48 64 128 256; do
    png="$usr/share/icons/hicolor/${n}x${n}/apps/$id.png"
    [ -f "$png" ] || fail "missing the ${n}x${n} icon"
    # The size a PNG claims is in its header: width and height, big-endian, at bytes 16..23.
    size=$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')
    [ "$size" = "$(printf '%08x%08x' "$n" "$n")" ] || fail "the ${n}x${n} icon is not ${n}x${n} ($size)"
done

desktop-file-validate "$usr/share/applications/$id.desktop" || fail "desktop entry invalid"
grep -qx "Icon=$id" "$usr/share/applications/$id.desktop" || fail "desktop entry names another icon"
appstreamcli validate --no-net "$usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "AppStream metadata invalid"
# The metadata, the desktop entry and the icons together, as a software centre reads them.
appstreamcli validate-tree --no-net "$root/dest" >/dev/null || fail "AppStream tree invalid"

warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$usr/share/man/man1/kestrelbox.1.gz" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || fail "the manual page has warnings: $warnings"
LC_ALL=C.UTF-8 man -l "$usr/share/man/man1/kestrelbox.1.gz" 2>/dev/null | grep -q -- '--headless' ||
    fail "the manual page does not tell --headless"

unit="$usr/lib/systemd/user/kestrelbox.service"
grep -qx 'ExecStart=/usr/bin/kestrelbox --headless' "$unit" || fail "the unit does not run /usr/bin/kestrelbox --headless"
grep -qx 'Restart=on-failure' "$unit" || fail "the unit is not restarted on failure"
# systemd checks the unit; the program it names is looked for under DESTDIR.
mkdir -m 700 "$root/runtime"
sed "s|^ExecStart=/usr/bin/|ExecStart=$usr/bin/|" "$unit" > "$root/kestrelbox.service"
said=$(XDG_RUNTIME_DIR="$root/runtime" systemd-analyze --user verify --man=no "$root/kestrelbox.service" 2>&1) ||
    fail "systemd-analyze: $said"
[ -z "$said" ] || fail "systemd-analyze: $said"
grep -qx 'ExecReload=/bin/kill -HUP $MAINPID' "$unit" || fail "the unit cannot be reloaded"
system="$usr/lib/systemd/system/kestrelbox@.service"
[ -f "$system" ] || fail "missing the system unit kestrelbox@.service"
grep -qx 'User=%i' "$system" || fail "the system unit does not run as its instance's user"
sed "s|^ExecStart=/usr/bin/|ExecStart=$usr/bin/|" "$system" > "$root/kestrelbox@.service"
said=$(systemd-analyze verify --man=no "$root/kestrelbox@root.service" 2>&1 | grep -v 'Failed to\|Unit .* not found' || true)
[ -z "$said" ] || fail "systemd-analyze (system unit): $said"
for f in README.md guide.md rules.md rules-example.toml README.Debian; do
    [ -f "$usr/share/doc/kestrelbox/$f" ] || fail "missing /usr/share/doc/kestrelbox/$f"
done

# The installed copy runs without the build tree, needs no display for a dry
# run, and reads its rules from the user's configuration directory.
export XDG_CONFIG_HOME="$root/config" XDG_STATE_HOME="$root/state" XDG_RUNTIME_DIR="$root/runtime"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/kestrelbox" --version | grep -qx 'Kestrelbox [0-9]\.[0-9][0-9]' ||
    fail "--version"
said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$usr/bin/kestrelbox" --dry-run 2>&1)
[ "$said" = "kestrelbox: there is no $root/config/Kestrelbox/kbconf.ini yet, so no rule to try." ] ||
    fail "the installed copy does not look for its rules in the user's directory: $said"
[ ! -e "$root/config" ] && [ ! -e "$root/state" ] || fail "the dry run created files"
echo "check-install: all in place and valid"
