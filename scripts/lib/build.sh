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

# velmora_ctest DIR JOBS [ARG...]: runs the tests built in DIR the way every
# script runs them. The list of failed tests is the one from this run only:
# ctest leaves an old list in place when everything passes.
velmora_ctest() {
    local _dir=$1 _jobs=$2
    shift 2
    rm -f "$_dir/Testing/Temporary/LastTestsFailed.log"
    (cd "$_dir" && ctest --output-on-failure -j "$_jobs" --timeout 600 "$@")
}

# velmora_ctest_failures DIR: names the tests that failed in the last
# velmora_ctest run in DIR, each with its failure lines and the end of its
# output. A long run's log is often seen only from its end; this puts the
# failures there.
velmora_ctest_failures() {
    local _dir=$1 _name _section
    local _failed=$_dir/Testing/Temporary/LastTestsFailed.log _log=$_dir/Testing/Temporary/LastTest.log
    [[ -s $_failed ]] || return 0
    printf '\nfailed in %s:\n' "$_dir"
    while IFS=: read -r _ _name; do
        _section=$(awk -v name="$_name" '
            index($0, " Test: " name) && substr($0, index($0, " Test: ") + 7) == name { on = 1 }
            on { print }
            on && index($0, "\"" name "\" end time") == 1 { on = 0 }
        ' "$_log")
        printf -- '---- %s: what it reported\n' "$_name"
        grep -m 20 -E 'FAILED|Failure|[Ee]rror|Expected|Which is|Value of' <<<"$_section"
        printf -- '---- %s: the end of its output\n' "$_name"
        tail -n 25 <<<"$_section"
    done <"$_failed"
}
