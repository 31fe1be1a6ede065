#!/usr/bin/env bash
# Cross-builds the 32-bit Windows program Velmora.exe with MinGW-w64 and
# checks the result: GUI subsystem, the DLLs and functions it imports, no
# dependency on the compiler's runtime DLLs, and its resources (manifest,
# version record, icon MAINICON, form description TFORM2).
#
# Settings: WIN32_BUILD_DIR (default build-win32 in the checkout),
#           HOST_BUILD_DIR (default build-win32-host: the host formtext2bin),
#           JOBS (default: cores), SKIP_SETUP=1 to skip installing packages.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${WIN32_BUILD_DIR:-$ROOT/build-win32}
HOST_DIR=${HOST_BUILD_DIR:-$ROOT/build-win32-host}
JOBS=${JOBS:-$(nproc 2>/dev/null || echo 2)}
PREFIX=i686-w64-mingw32
# shellcheck source=scripts/lib.sh
. "$ROOT/scripts/lib.sh"

# ---- tools
if [[ ${SKIP_SETUP:-0} != 1 ]]; then
    velmora_apt_install g++-mingw-w64-i686 binutils-mingw-w64-i686 librsvg2-bin python3 cmake ninja-build g++ ||
        velmora_die "the cross build's tools could not be installed"
fi

# ---- the form description compiler runs on this machine
velmora_build_form_compiler "$HOST_DIR" "$JOBS" || exit 1
FORMTEXT2BIN=$HOST_DIR/formtext2bin

# ---- the cross build
velmora_step "cross configure ($BUILD_DIR)"
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw32.cmake" \
    -DVELMORA_BUILD_TESTS=OFF -DVELMORA_FORMTEXT2BIN="$FORMTEXT2BIN" || velmora_die "cross configure failed"

velmora_step "cross build"
cmake --build "$BUILD_DIR" -j "$JOBS" --target velmora || velmora_die "Velmora.exe failed to build"
EXE=$BUILD_DIR/Velmora.exe
[[ -f $EXE ]] || velmora_die "no $EXE after the build"

# ---- checks
velmora_step "checking $EXE"
headers=$($PREFIX-objdump -p "$EXE") || velmora_die "objdump cannot read $EXE"
problems=()

grep -q 'file format pei-i386' <<<"$($PREFIX-objdump -f "$EXE")" || problems+=("not a 32-bit x86 image")
grep -Eq '^Subsystem[[:space:]]+00000002' <<<"$headers" || problems+=("subsystem is not Windows GUI (2)")

dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort -u)
for dll in KERNEL32.dll USER32.dll GDI32.dll gdiplus.dll ole32.dll OLEAUT32.dll SHELL32.dll; do
    grep -qix "$dll" <<<"$dlls" || problems+=("does not import $dll")
done
# Self-contained: no runtime DLL of the compiler may be needed beside it.
for dll in libstdc++-6.dll libgcc_s_dw2-1.dll libgcc_s_sjlj-1.dll libwinpthread-1.dll; do
    grep -qix "$dll" <<<"$dlls" && problems+=("depends on $dll")
done
# Looked up at run time so the program starts before Windows 8.1.
grep -qix "shcore.dll" <<<"$dlls" && problems+=("imports shcore.dll (GetDpiForMonitor must be loaded dynamically)")

for function in CreateWindowExW PeekMessageW DispatchMessageW WaitMessage MessageBoxW SetWindowPos SetTimer \
    QueryPerformanceCounter GetModuleFileNameW GetModuleHandleExW VirtualQuery SHGetFolderPathW OleInitialize \
    CoCreateInstance GdiplusStartup _controlfp; do
    grep -Eq "[[:space:]]$function\$" <<<"$headers" || problems+=("does not import $function")
done

grep -q 'The .rsrc Resource Directory section' <<<"$headers" || problems+=("no resource directory")
# Shipped stripped: no symbol table, no debug sections.
sections=$($PREFIX-objdump -h "$EXE")
grep -q '\.debug_' <<<"$sections" && problems+=("carries debug sections (not stripped)")
symbols=$($PREFIX-objdump -t "$EXE" | grep -c '^\[' || true)
((symbols == 0)) || problems+=("carries $symbols symbols (not stripped)")
python3 "$ROOT/src/program/resources/check_exe.py" "$EXE" || problems+=("resources are not as they should be")

if ((${#problems[@]} > 0)); then
    printf 'build-windows: %s\n' "${problems[@]}" >&2
    exit 1
fi

size=$(stat -c %s "$EXE")
printf '\nbuild-windows: built %s (%s bytes)\n' "$EXE" "$size"
printf '  32-bit Windows GUI executable; imports: %s\n' "$(tr '\n' ' ' <<<"$dlls")"
