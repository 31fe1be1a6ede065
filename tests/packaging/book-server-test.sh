#!/usr/bin/env bash
# The book server started the way the installed socket unit starts it, on
# 127.0.0.1:80: the four chapters come back as HTML, everything else is
# refused, nothing leaves the book's folder and no folder is listed.
#
#   book-server-test.sh [BOOK_DIR [CONF]]
#
# Needs root for port 80; when the port is taken it goes on in a network
# namespace of its own. Exit 77 (skipped) when neither is possible.
set -uo pipefail
VELMORA_SCRIPT="book-server-test"
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
book=${1:-$VELMORA_ROOT/book}
[[ -n ${2:-} ]] && VELMORA_BOOK_CONF=$2

work=$(mktemp -d)
VELMORA_SERVER_PID=""
# shellcheck disable=SC2317  # runs from the trap
finish() {
    velmora_stop "$VELMORA_SERVER_PID"
    rm -rf "$work"
}
trap finish EXIT

# A file beside the book's folder that no request may reach.
mkdir -p "$work/book" "$work/book/sub"
cp "$book"/Nav*.html "$work/book/"
echo secret >"$work/outside.txt"
echo inner >"$work/book/sub/inner.txt"
ln -s ../outside.txt "$work/book/link.html"

status=0
velmora_start_book_server "$work/book" 80 "$work/server.log" || status=$?
if [[ $status -eq 2 && -z ${BOOK_SERVER_OWN_NETWORK:-} && $(id -u) -eq 0 ]] && unshare -n true 2>/dev/null; then
    echo "127.0.0.1:80 is taken; going on in a network namespace of its own"
    # shellcheck disable=SC2016  # expanded by the inner shell
    exec unshare -n env BOOK_SERVER_OWN_NETWORK=1 bash -c 'ip link set lo up && exec "$0" "$@"' "$0" "$@"
fi
if [[ $status -eq 2 || $status -eq 3 ]]; then
    echo "skipped: cannot serve on 127.0.0.1:80 ($(tail -n 1 "$work/server.log"))"
    exit 77
fi
[[ $status -eq 0 ]] || { cat "$work/server.log"; echo "FAILED: the book server did not start"; exit 1; }

failures=0
# expect PATH STATUS [CONTENT-TYPE-PREFIX]
expect() {
    local path=$1 want=$2 type=${3:-} got
    got=$(curl -s --path-as-is -o "$work/body" -w '%{http_code} %{content_type}' "http://localhost$path")
    if [[ ${got%% *} != "$want" || ( -n $type && ${got#* } != "$type"* ) ]]; then
        echo "FAILED: $path gave '$got', expected $want $type"
        failures=$((failures + 1))
    elif grep -q secret "$work/body"; then
        echo "FAILED: $path reached a file outside the book"
        failures=$((failures + 1))
    fi
}
for n in 1 2 3 4; do
    expect "/Nav$n.html" 200 text/html
    cmp -s "$work/body" "$work/book/Nav$n.html" || { echo "FAILED: /Nav$n.html is not the chapter's file"; failures=$((failures + 1)); }
done
# Nothing else: unknown pages, folders (no listing, no index), a link out.
expect /Nav5.html 404
expect /nav1.html 404
expect / 403
expect /sub/ 403
expect /link.html 403
# Escapes, plain and encoded, are refused before any file is looked at.
for path in /../outside.txt /sub/../../outside.txt /%2e%2e/outside.txt /%2E%2E/outside.txt \
    /..%2foutside.txt /sub%2finner.txt /Nav1.html%00 "/Nav1.html/.."; do
    expect "$path" 400
done
# Only reading.
got=$(curl -s -o /dev/null -w '%{http_code}' -X PUT --data x http://localhost/new.html)
[[ $got == 4* || $got == 5* ]] || { echo "FAILED: PUT answered $got"; failures=$((failures + 1)); }
[[ ! -e $work/book/new.html ]] || { echo "FAILED: PUT wrote a file"; failures=$((failures + 1)); }

if [[ $failures -gt 0 ]]; then
    sed 's/^/server: /' "$work/server.log"
    exit 1
fi
echo "book server: chapters served, everything else refused"
