#!/bin/bash
# Builds the Debian package as `make package` does, has lintian look at it
# (no errors allowed), unpacks it into a temporary root and runs the program
# from there: its --version, and a --dry-run over a configuration with a
# rule, on a folder that must come out unchanged.
# Usage: check-package.sh <build-dir>
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

cpack --config "$build/CPackConfig.cmake" -B "$root/out" >/dev/null || fail "cpack failed"
deb=$(ls "$root"/out/kestrelbox_*.deb)
version=$(dpkg-deb -f "$deb" Version)
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libcurl4 libsqlite3-0 qt6-qpa-plugins; do
    [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
# Every file root's, as dpkg installs them.
if dpkg-deb -c "$deb" | awk '{print $2}' | grep -qv '^root/root$'; then
    fail "files not owned by root: $(dpkg-deb -c "$deb" | grep -v root/root | head -3)"
fi
lintian --fail-on error "$deb" >"$root/lintian.txt" 2>&1 ||
    fail "lintian: $(cat "$root/lintian.txt")"

dpkg-deb -x "$deb" "$root/fs"
program="$root/fs/usr/bin/kestrelbox"
export XDG_CONFIG_HOME="$root/config" XDG_STATE_HOME="$root/state" XDG_RUNTIME_DIR="$root/runtime"
mkdir -m 700 "$root/runtime"
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
said=$("${nodisplay[@]}" "$program" --version)
[ "$said" = "Kestrelbox $version" ] || fail "--version says \"$said\", the package is $version"

# One service on a folder of three files; its rule moves files over 1 KB.
mkdir -p "$root/share" "$root/big"
head -c 5000 /dev/zero >"$root/share/large.iso"
echo small >"$root/share/small.txt"
echo small >"$root/share/other.txt"
touch -d '1 hour ago' "$root/share"/*
config="$root/kbconf.ini"
{
    printf '%s\r\n' '[Main Info]' 'Version=1.00' 'UseSMTP=0' 'SMTP Server=' 'ReplyTo=' \
        'Service Count=6' 'Custom Count=0'
    # Booleans are stored the old way round: 0 is on.
    printf '%s\r\n' '[Service 1]' 'serviceid=0' 'othernum=0' 'othername=' 'enabled=0' \
        "sharedir=$root/share" 'excludefiles=' 'rulecnt=1' '[Rule 1]' 'rulename=Large files' \
        'enabled=0' 'mcond=2' 'condcnt=1' 'fcnt=1' 'fsize=0' 'rcond=1' 'rnum=2' 'size=1' \
        'actioncnt=1' 'raction=0' "filepath=$root/big"
    for i in 2 3 4 5 6; do
        printf '%s\r\n' "[Service $i]" "serviceid=$((i == 6 ? 6 : i - 1))" 'othernum=0' \
            'othername=' 'enabled=1' 'sharedir=' 'excludefiles=' 'rulecnt=0'
    done
} >"$config"
before=$(cd "$root" && find share big kbconf.ini -printf '%p %s %T@\n' | sort; md5sum kbconf.ini)
said=$("${nodisplay[@]}" "$program" --dry-run --config "$config" 2>&1) || fail "--dry-run failed: $said"
expected="Kazaa: $root/share (3 files, 4.9 kB)
  Rule \"Large files\", when more than 1 file:
    holds now and would act on 1 file:
      large.iso (4.9 kB)
    then: move to $root/big"
[[ "$said" == *"$expected"* ]] || fail "the dry run said:
$said"
after=$(cd "$root" && find share big kbconf.ini -printf '%p %s %T@\n' | sort; md5sum kbconf.ini)
[ "$before" = "$after" ] || fail "the dry run changed files"
[ ! -e "$root/config" ] && [ ! -e "$root/state" ] || fail "the dry run created settings or a journal"
echo "check-package: $(basename "$deb") is clean and runs"
