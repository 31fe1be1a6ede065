#!/usr/bin/env bash
# Checks the Debian package CPack built and the path a user takes with it:
#   - lintian finds no error or warning; the desktop entry validates; the
#     systemd units pass verify-units.sh;
#   - the package holds the command velmora, stripped, its manual page, the
#     copyright file, the Debian changelog and the book service, and its
#     book folder only files;
#   - the installed book server, started with the installed unit's command
#     line, serves the book (book-server-test.sh on the installed files);
#   - the installed reader on a virtual display shows chapter 3 from it
#     (tests/desktop/reader-smoke.sh).
# The package is unpacked into a folder of its own; it is installed on this
# machine (apt-get install) only in CI or with VELMORA_INSTALL_PACKAGE=1.
#
#   check-package.sh PACKAGE.deb
set -uo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root_dir=$(cd "$here/../.." && pwd)
# shellcheck source=scripts/lib.sh
. "$root_dir/scripts/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=()

velmora_substep "lintian"
lintian --fail-on error,warning --tag-display-limit 0 "$deb" || failures+=("lintian")

velmora_substep "contents"
dpkg-deb -x "$deb" "$work/root"
r=$work/root
for f in usr/bin/velmora usr/share/man/man1/velmora.1.gz usr/share/doc/velmora/copyright \
    usr/share/doc/velmora/changelog.Debian.gz lib/systemd/system/velmora-book.socket \
    lib/systemd/system/velmora-book@.service usr/share/velmora/velmora-book.conf \
    usr/share/velmora/book/Nav3.html usr/share/applications/org.velmora.Velmora.desktop; do
    [[ -e $r/$f ]] || failures+=("no /$f in the package")
done
file "$r/usr/bin/velmora" | grep -q ", stripped" || failures+=("/usr/bin/velmora is not stripped")
# The server follows links; the package gives it none to follow.
odd=$(find "$r/usr/share/velmora/book" -mindepth 1 ! -type f ! -type d)
[[ -z $odd ]] || failures+=("the book folder holds more than files: $odd")
dpkg-deb -f "$deb" Depends | grep -qw lighttpd && failures+=("the package depends on a web server package")

velmora_substep "desktop entry"
desktop-file-validate "$r/usr/share/applications/org.velmora.Velmora.desktop" || failures+=("desktop-file-validate")

velmora_substep "systemd units"
"$here/verify-units.sh" "$r/lib/systemd/system" || failures+=("systemd units")

# Where the package is really installed, its own files are the ones used.
if [[ ${CI:-} == true || ${VELMORA_INSTALL_PACKAGE:-0} == 1 ]]; then
    velmora_substep "installing $deb"
    if apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends "$deb"; then
        r=""
        systemctl is-enabled velmora-book.socket 2>/dev/null || true
    else
        failures+=("apt-get install of the package")
        r=$work/root
    fi
fi

# The service's own command line, folder and configuration, read from the
# installed unit.
unit=$r/lib/systemd/system/velmora-book@.service
book=$(sed -n 's/^ExecStart=.* -h \([^ ]*\).*/\1/p' "$unit")
conf=$(sed -n 's/^ExecStart=.* -c \([^ ]*\).*/\1/p' "$unit")
velmora_substep "installed book server ($unit: $r$book, $r$conf)"
bash "$here/book-server-test.sh" "$r$book" "$r$conf" "$unit"
case $? in 0 | 77) ;; *) failures+=("installed book server") ;; esac

velmora_substep "installed reader shows chapter 3"
VELMORA_BOOK_CONF=$r$conf VELMORA_BOOK_UNIT=$unit "$root_dir/scripts/with-display.sh" --screen 1024x768x24 \
    "$root_dir/tests/desktop/reader-smoke.sh" "$r/usr/bin/velmora" "$r$book" 80
case $? in 0 | 77) ;; *) failures+=("installed reader") ;; esac

if [[ -z $r ]]; then
    velmora_substep "removing the package"
    apt-get -o DPkg::Lock::Timeout=900 purge -y velmora || failures+=("removing the package")
    [[ ! -e /lib/systemd/system/velmora-book.socket ]] || failures+=("the socket unit stayed after removal")
fi

if ((${#failures[@]} > 0)); then
    printf 'check-package: FAILED: %s\n' "${failures[@]}"
    exit 1
fi
echo "check-package: all passed"
