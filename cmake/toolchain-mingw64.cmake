# Cross-building for 64-bit Windows with MinGW-w64 (x86_64). The program
# ships as 32-bit (toolchain-mingw32.cmake); this one builds the Windows test
# binaries for machines whose kernel cannot execute 32-bit code, where only a
# 64-bit Wine runs.
set(VELMORA_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw32.cmake)
