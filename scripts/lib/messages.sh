# What a script tells the person running it. Messages go to stderr with the
# script's name in front (VELMORA_SCRIPT, by default the script's file name);
# steps go to stdout, between the output of the commands they announce.
# shellcheck shell=bash

VELMORA_SCRIPT=${VELMORA_SCRIPT:-$(basename "$0" .sh)}

velmora_say() { printf '%s\n' "$VELMORA_SCRIPT: $*" >&2; }

# velmora_step TITLE: a heading before a part of a long run; velmora_substep
# for a part inside one (a script run as a step of another).
velmora_step() { printf '\n==== %s\n' "$*"; }
velmora_substep() { printf '\n---- %s\n' "$*"; }

# velmora_die MESSAGE: says it and ends the script with status 1.
velmora_die() {
    velmora_say "$*"
    exit 1
}
