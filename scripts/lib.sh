# The project's shell library, sourced, never run:
#
#   . "$ROOT/scripts/lib.sh"
#
# It brings every topic in scripts/lib/: messages (say, step, die), packages,
# processes, builds, the book server, the display and test verdicts. Each
# function reports its problems on stderr and returns non-zero; what a script
# does about that is its own business. A function that has a result for the
# caller writes it into a variable the caller names (the PID_VAR, WHY_VAR
# and OUT_VAR arguments); the library's own locals start with an underscore,
# so such a name must not.
# shellcheck shell=bash

VELMORA_ROOT=${VELMORA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}

# velmora_set_result VAR VALUE: gives the caller's variable VAR the value;
# nothing when VAR is empty (the caller did not ask for that result).
velmora_set_result() { [[ -z $1 ]] || printf -v "$1" '%s' "$2"; }

# shellcheck source=scripts/lib/messages.sh
. "$VELMORA_ROOT/scripts/lib/messages.sh"
# shellcheck source=scripts/lib/packages.sh
. "$VELMORA_ROOT/scripts/lib/packages.sh"
# shellcheck source=scripts/lib/processes.sh
. "$VELMORA_ROOT/scripts/lib/processes.sh"
# shellcheck source=scripts/lib/build.sh
. "$VELMORA_ROOT/scripts/lib/build.sh"
# shellcheck source=scripts/lib/book-server.sh
. "$VELMORA_ROOT/scripts/lib/book-server.sh"
# shellcheck source=scripts/lib/display.sh
. "$VELMORA_ROOT/scripts/lib/display.sh"
# shellcheck source=scripts/lib/verdicts.sh
. "$VELMORA_ROOT/scripts/lib/verdicts.sh"
