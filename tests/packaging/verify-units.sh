#!/usr/bin/env bash
# The book service's units as systemd reads them: no complaint of any kind
# from systemd-analyze verify (it warns about unknown keys and bad values but
# still exits 0, so any output fails here), and the per-connection server's
# sandbox scoring at most 1.0 ("safe") in systemd-analyze security (which
# counts its threshold in tenths).
#
#   verify-units.sh [UNIT_DIR]   (default: the checkout's packaging folder)
set -uo pipefail
dir=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../../packaging" && pwd)}
socket=$dir/velmora-book.socket
service=$dir/velmora-book@.service
failures=0

complaints=$(systemd-analyze verify --man=no "$socket" "$service" 2>&1)
if [[ $? -ne 0 || -n $complaints ]]; then
    printf '%s\n' "$complaints"
    echo "FAILED: systemd-analyze verify"
    failures=$((failures + 1))
fi
if ! report=$(systemd-analyze security --offline=yes --threshold=10 "$service" 2>&1); then
    printf '%s\n' "$report" | grep -e '✗' -e 'Overall'
    echo "FAILED: the book server's sandbox scores above 1.0"
    failures=$((failures + 1))
fi
((failures == 0)) || exit 1
echo "units: $(printf '%s\n' "$report" | grep -o 'Overall exposure level.*')"
