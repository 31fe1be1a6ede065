#!/usr/bin/env bash
# The book server started the way the installed socket unit starts it, on
# 127.0.0.1:80: the four chapters come back as HTML, everything else is
# refused, nothing leaves the book's folder and no folder is listed.
#
#   book-server-test.sh [BOOK_DIR [CONF [UNIT]]]
#
# The server's command line is the service unit's (packaging/velmora-book@.service
# unless UNIT is given), pointed at a copy of BOOK_DIR and at CONF.
#
# Needs root for port 80; when the port is taken it goes on in a network
# namespace of its own. Exit 77 (skipped) when neither is possible.
set -uo pipefail
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
book=${1:-$VELMORA_ROOT/book}
[[ -n ${2:-} ]] && VELMORA_BOOK_CONF=$2
[[ -n ${3:-} ]] && VELMORA_BOOK_UNIT=$3

work=$(mktemp -d)
server_pid=""
# shellcheck disable=SC2317  # runs from the trap
finish() {
    velmora_stop "$server_pid"
    rm -rf "$work"
}
trap finish EXIT

# A file beside the book's folder that no request may reach.
mkdir -p "$work/book" "$work/book/sub"
cp "$book"/Nav*.html "$work/book/"
echo secret >"$work/outside.txt"
echo inner >"$work/book/sub/inner.txt"

failures=0
why="" again=()
# The server follows symbolic links: a folder with one that leads out of the
# book is not served at all.
ln -s ../outside.txt "$work/book/link.html"
if velmora_start_book_server "$work/book" 80 "$work/server.log" server_pid why 2>"$work/refusal" || [[ $why != refused ]]; then
    velmora_stop "$server_pid"
    echo "FAILED: a book folder with a link out of it was not refused (${why:-served})"
    failures=$((failures + 1))
elif ! grep -qF "$work/book/link.html" "$work/refusal"; then
    echo "FAILED: the refusal does not name the link: $(cat "$work/refusal")"
    failures=$((failures + 1))
fi
rm "$work/book/link.html"

if ! velmora_start_book_server "$work/book" 80 "$work/server.log" server_pid why; then
    if [[ $why == taken ]] && velmora_own_network_command BOOK_SERVER_OWN_NETWORK again "$0" "$@"; then
        echo "127.0.0.1:80 is taken; going on in a network namespace of its own"
        finish
        exec "${again[@]}"
    fi
    [[ $why == taken || $why == forbidden ]] &&
        velmora_test_skip "cannot serve on 127.0.0.1:80 ($(tail -n 1 "$work/server.log"))"
    cat "$work/server.log"
    echo "FAILED: the book server did not start"
    exit 1
fi

# expect PATH STATUS [CONTENT-TYPE-PREFIX]; STATUS is a pattern (40[34]).
expect() {
    local path=$1 want=$2 type=${3:-} got
    got=$(curl -s --path-as-is -o "$work/body" -w '%{http_code} %{content_type}' "http://localhost$path")
    # shellcheck disable=SC2053  # the wanted status is a pattern
    if [[ ${got%% *} != $want || ( -n $type && ${got#* } != "$type"* ) ]]; then
        echo "FAILED: $path gave '$got', expected $want $type"
        failures=$((failures + 1))
    elif grep -q secret "$work/body"; then
        echo "FAILED: $path reached a file outside the book"
        failures=$((failures + 1))
    elif [[ $want != 200 ]] && grep -q -e 'inner\.txt' -e 'Nav[0-9]\.html' "$work/body"; then
        echo "FAILED: $path listed a folder"
        failures=$((failures + 1))
    fi
}
for n in 1 2 3 4; do
    expect "/Nav$n.html" 200 text/html
    cmp -s "$work/body" "$work/book/Nav$n.html" || { echo "FAILED: /Nav$n.html is not the chapter's file"; failures=$((failures + 1)); }
done
# Nothing else: unknown pages, folders (no listing, no index page; a folder
# without its slash is at most sent to the one with it).
expect /Nav5.html 404
expect /nav1.html 404
expect / 40[34]
expect /sub/ 40[34]
expect /sub 30[12]
expect /cgi-bin/index.cgi 40[34]
# Escapes, plain and encoded, encoded slashes and control characters: refused
# or not found, never a file outside the book.
for path in /../outside.txt /sub/../../outside.txt /%2e%2e/outside.txt /%2E%2E/outside.txt \
    /%2e%2e%2foutside.txt /..%2foutside.txt /sub%2finner.txt /sub/%2e%2e/%2e%2e/outside.txt \
    /Nav1.html%00 /Nav1.html%0a /Nav%01.html "/Nav1.html/.."; do
    expect "$path" 40[04]
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
