#!/usr/bin/env bash
# Started where there is no display at all, the program ends with exit code 1
# and a last-chance report that names the toolkit's own error class, this
# program's module and an offset inside it, then the reason alone.
set -u
program=$1
err=$(mktemp)
trap 'rm -f "$err"' EXIT
env -u DISPLAY -u WAYLAND_DISPLAY "$program" 2>"$err" </dev/null
code=$?
report=$(cat "$err")
fail() {
    echo "no-display: $*" >&2
    echo "--- stderr:" >&2
    echo "$report" >&2
    exit 1
}
[[ $code -eq 1 ]] || fail "exit code $code, expected 1"
expected_head='^Application Error: Exception EOSError in module Velmora at ([0-9A-F]+)\.$'
first=$(head -n 1 <<<"$report")
[[ $first =~ $expected_head ]] || fail "unexpected first line: $first"
offset=${BASH_REMATCH[1]}
[[ $((16#$offset)) -ne 0 ]] || fail "the failing address is 0"
second=$(sed -n 2p <<<"$report")
[[ $second == "Cannot open the display (neither DISPLAY nor WAYLAND_DISPLAY is set)." ]] ||
    fail "unexpected reason: $second"
[[ $(wc -l <<<"$report") -eq 2 ]] || fail "more than the report on stderr"
echo "no-display: report as expected (offset $offset)"
