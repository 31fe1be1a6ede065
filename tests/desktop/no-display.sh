#!/usr/bin/env bash
# Started where there is no display at all, the program ends with exit code 1
# and a last-chance report that names the toolkit's own error class, this
# program's module and an offset inside it, then the reason alone.
set -u
program=$1
# shellcheck source=scripts/lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib.sh"
velmora_test_make_work
trap 'velmora_test_forget_work $?' EXIT
err=$VELMORA_TEST_WORK/stderr.log
env -u DISPLAY -u WAYLAND_DISPLAY "$program" 2>"$err" </dev/null
code=$?
report=$(cat "$err")
[[ $code -eq 1 ]] || velmora_test_fail "exit code $code, expected 1"
expected_head='^Application Error: Exception EOSError in module Velmora at ([0-9A-F]+)\.$'
first=$(head -n 1 <<<"$report")
[[ $first =~ $expected_head ]] || velmora_test_fail "unexpected first line: $first"
offset=${BASH_REMATCH[1]}
[[ $((16#$offset)) -ne 0 ]] || velmora_test_fail "the failing address is 0"
second=$(sed -n 2p <<<"$report")
[[ $second == "Cannot open the display (neither DISPLAY nor WAYLAND_DISPLAY is set)." ]] ||
    velmora_test_fail "unexpected reason: $second"
[[ $(wc -l <<<"$report") -eq 2 ]] || velmora_test_fail "more than the report on stderr"
echo "no-display: report as expected (offset $offset)"
