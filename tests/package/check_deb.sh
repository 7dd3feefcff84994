#!/bin/sh
# Checks the Debian package that the Package.build test made in DIR: its
# name, the files it installs (unpacked with dpkg -x), the dependencies
# computed from the binaries, and lintian without errors.
#   check_deb.sh contents|lintian DIR
set -eu
what=$1
dir=$2

set -- "$dir"/quarlink_*_amd64.deb
[ $# -eq 1 ] && [ -f "$1" ] || { echo "expected one quarlink_<version>_amd64.deb in $dir, found: $*" >&2; exit 1; }
deb=$1

case $what in
contents)
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    dpkg-deb -x "$deb" "$scratch/root"
    QT_QPA_PLATFORM=offscreen "$scratch/root/usr/bin/quarlink" --version | grep -qx "quarlink $(dpkg-deb -f "$deb" Version)" ||
        { echo "the package lacks the tray application quarlink (built without Qt 6?), or it does not run" >&2; exit 1; }
    (cd "$scratch/root" && find . ! -type d | sort) >"$scratch/files"
    cat >"$scratch/expected" <<'LIST'
./usr/bin/quarlink
./usr/bin/quarlink-cli
./usr/lib/systemd/user/quarlink-update.service
./usr/lib/systemd/user/quarlink-update.timer
./usr/share/applications/quarlink.desktop
./usr/share/doc/quarlink/changelog.gz
./usr/share/doc/quarlink/copyright
./usr/share/icons/hicolor/256x256/apps/quarlink.png
./usr/share/man/man1/quarlink-cli.1.gz
./usr/share/man/man1/quarlink.1.gz
LIST
    diff -u "$scratch/expected" "$scratch/files" || { echo "the package's files differ (- expected, + packaged)" >&2; exit 1; }
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libqt6widgets6 libcurl4 libc6; do
        case $depends in *"$lib"*) ;; *) echo "Depends lacks $lib: $depends" >&2; exit 1 ;; esac
    done
    # The man pages are the programs' help, commands included.
    zcat "$scratch/root/usr/share/man/man1/quarlink-cli.1.gz" | grep -q 'schedule' ||
        { echo "quarlink-cli.1 does not list the commands" >&2; exit 1; }
    "$scratch/root/usr/bin/quarlink-cli" --version | grep -qx "quarlink-cli $(dpkg-deb -f "$deb" Version)" ||
        { echo "the packaged quarlink-cli does not run or has another version" >&2; exit 1; }
    grep -q '^Format: .*copyright-format/1.0/$' "$scratch/root/usr/share/doc/quarlink/copyright" &&
        grep -q '/usr/share/common-licenses/GPL-3' "$scratch/root/usr/share/doc/quarlink/copyright" ||
        { echo "the copyright file is not machine-readable or does not point to the GPL-3 text" >&2; exit 1; }
    ;;
lintian)
    out=$(lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" 2>&1) || {
        echo "$out" >&2
        exit 1
    }
    # Warnings are allowed; they are shown in the test's log.
    echo "$out"
    ;;
*)
    echo "usage: check_deb.sh contents|lintian DIR" >&2
    exit 64
    ;;
esac
