# Builds that more than one script needs. Needs messages.sh.
# shellcheck shell=bash

# velmora_build_form_compiler DIR JOBS: builds the form description compiler
# formtext2bin for this machine in DIR (a cross build runs it to turn the
# forms into resources). It is then DIR/formtext2bin.
velmora_build_form_compiler() {
    local dir=$1 jobs=$2
    velmora_step "host formtext2bin ($dir)"
    cmake -S "$VELMORA_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_WITH_GTK=OFF \
        -DVELMORA_BUILD_TESTS=OFF >/dev/null || {
        velmora_say "host configure failed"
        return 1
    }
    cmake --build "$dir" -j "$jobs" --target formtext2bin || {
        velmora_say "host formtext2bin failed to build"
        return 1
    }
    [[ -x $dir/formtext2bin ]] || {
        velmora_say "no host formtext2bin at $dir/formtext2bin"
        return 1
    }
}
