// Timing trace of a benchmark build (CMake option VELMORA_BENCH_TRACE): one
// line on stderr per event, stamped with the monotonic clock in microseconds,
// the clock that bench/xprobe stamps its clicks with, so the two line up.
//   velmora-trace <what> <microseconds> <a> <b>
// bench/run.sh and bench/slidetrace.py read it. Never part of a normal build
// (the program itself has no diagnostics output): there the points vanish.
#pragma once

#ifdef VELMORA_BENCH_TRACE
#include <glib.h>

#include <cstdio>

#define VELMORA_BENCH_TRACE_POINT(what, a, b)                                                            \
    std::fprintf(stderr, "velmora-trace %s %lld %d %d\n", (what), static_cast<long long>(g_get_monotonic_time()), \
                 static_cast<int>(a), static_cast<int>(b))
#else
#define VELMORA_BENCH_TRACE_POINT(what, a, b) ((void)0)
#endif
