#!/usr/bin/env python3
"""Reads the trace of a benchmark build of the reader (velmora-trace lines on
its stderr) together with the click stamps that xprobe took, and tells for
every chapter slide:

  - steps: the incoming page's X as set by each timer step (display moves),
    from the first step at the page's full width to the step that reaches 0;
    the number of distinct positions and the largest gap between two steps;
  - frames: the positions GTK actually laid out (one per frame of its frame
    clock), their number and largest gap: what the screen can show;
  - when, counted from the click, the slide started and ended, the page's load
    started, was committed and finished, and the frame that shows the page at
    its final place was laid out.

  slidetrace.py TRACE_LOG CLICK_STAMPS_FILE PAGE_WIDTH

Output: one human-readable line per slide, then key=value summary lines.
"""
import statistics
import sys

LOAD_STARTED, LOAD_COMMITTED, LOAD_FINISHED = 0, 2, 3


def read_trace(path):
    events = []
    with open(path, errors="replace") as f:
        for line in f:
            parts = line.split()
            if len(parts) != 5 or parts[0] != "velmora-trace":
                continue
            try:
                events.append((parts[1], int(parts[2]) / 1000.0, int(parts[3]), int(parts[4])))
            except ValueError:
                continue
    return events


def distinct_steps(records):
    """(time, x) of each change of position; repeated calls at one x collapse."""
    steps = []
    for t, x in records:
        if not steps or steps[-1][1] != x:
            steps.append((t, x))
    return steps


def max_gap(steps):
    return max((b[0] - a[0] for a, b in zip(steps, steps[1:])), default=float("nan"))


def widest(steps):
    """(start, end) of the largest gap between two steps."""
    pairs = list(zip(steps, steps[1:]))
    if not pairs:
        return None
    a, b = max(pairs, key=lambda pair: pair[1][0] - pair[0][0])
    return a[0], b[0]


LOAD_NAMES = {LOAD_STARTED: "load started", 1: "load redirected", LOAD_COMMITTED: "load committed",
              LOAD_FINISHED: "load finished"}


def inside(window, start, end):
    """What the program traced between two steps: what held the UI thread."""
    seen = []
    for what, t, a, _ in window:
        if start < t < end and what in ("load", "draw", "webdraw"):
            seen.append(LOAD_NAMES.get(a, "load") if what == "load" else what)
    counts = {}
    for name in seen:
        counts[name] = counts.get(name, 0) + 1
    return ", ".join(f"{name} x{n}" if n > 1 else name for name, n in counts.items()) or "nothing traced"


def analyse(events, click, next_click, width):
    window = [e for e in events if click <= e[1] < next_click]
    pos = [(t, a) for what, t, a, _ in window if what == "pos"]
    start = next((i for i, (_, x) in enumerate(pos) if x == width), None)
    if start is None:
        return None
    end = next((i for i in range(start, len(pos)) if pos[i][1] == 0), None)
    if end is None:
        return None
    steps = distinct_steps(pos[start:end + 1])
    t_start, t_end = pos[start][0], pos[end][0]
    allocs = [(t, a) for what, t, a, _ in window if what == "alloc" and t >= t_start]
    frames = []
    for t, x in distinct_steps(allocs):
        frames.append((t, x))
        if x == 0:
            break
    final_frame = frames[-1][0] if frames and frames[-1][1] == 0 else float("nan")
    loads = {}
    for what, t, a, _ in window:
        if what == "load" and a not in loads:
            loads[a] = t
    rel = lambda t: t - click
    gap_at = widest(steps)
    gap_note = ""
    if gap_at:
        gap_note = f"{rel(gap_at[0]):.1f}..{rel(gap_at[1]):.1f} ms ({inside(window, *gap_at)})"
    return {
        "gap_note": gap_note,
        "positions": len(steps),
        "step_gap_ms": max_gap(steps),
        "frames": len(frames),
        "frame_gap_ms": max_gap(frames),
        "slide_start_ms": rel(t_start),
        "slide_end_ms": rel(t_end),
        "slide_ms": t_end - t_start,
        "final_frame_ms": rel(final_frame),
        "load_started_ms": rel(loads.get(LOAD_STARTED, float("nan"))),
        "load_committed_ms": rel(loads.get(LOAD_COMMITTED, float("nan"))),
        "load_finished_ms": rel(loads.get(LOAD_FINISHED, float("nan"))),
    }


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 1
    events = read_trace(sys.argv[1])
    with open(sys.argv[2]) as f:
        clicks = [float(line) for line in f if line.strip()]
    width = int(sys.argv[3])
    results = []
    for i, click in enumerate(clicks):
        following = clicks[i + 1] if i + 1 < len(clicks) else float("inf")
        r = analyse(events, click, following, width)
        if r is None:
            print(f"slide {i + 1}: no complete slide found in the trace")
            continue
        results.append(r)
        print(
            f"slide {i + 1}: {r['positions']} positions, largest step gap {r['step_gap_ms']:.1f} ms; "
            f"{r['frames']} frames laid out, largest frame gap {r['frame_gap_ms']:.1f} ms; "
            f"slide {r['slide_start_ms']:.1f}..{r['slide_end_ms']:.1f} ms after the click ({r['slide_ms']:.1f} ms); "
            f"load started {r['load_started_ms']:.1f}, committed {r['load_committed_ms']:.1f}, "
            f"finished {r['load_finished_ms']:.1f}; final frame {r['final_frame_ms']:.1f} ms; "
            f"largest step gap at {r['gap_note']}"
        )
    print(f"slides={len(results)}")
    if not results:
        return 0
    med = lambda key: statistics.median(r[key] for r in results)
    print(f"positions_min={min(r['positions'] for r in results)}")
    print(f"positions_median={med('positions'):.0f}")
    print(f"step_gap_max_ms={max(r['step_gap_ms'] for r in results):.1f}")
    print(f"frames_median={med('frames'):.0f}")
    print(f"frame_gap_max_ms={max(r['frame_gap_ms'] for r in results):.1f}")
    print(f"slide_ms_median={med('slide_ms'):.1f}")
    print(f"slide_start_ms_median={med('slide_start_ms'):.1f}")
    print(f"slide_end_ms_median={med('slide_end_ms'):.1f}")
    print(f"load_finished_ms_median={med('load_finished_ms'):.1f}")
    print(f"load_finished_ms_max={max(r['load_finished_ms'] for r in results):.1f}")
    print(f"final_frame_ms_median={med('final_frame_ms'):.1f}")
    late = [r["final_frame_ms"] - r["slide_end_ms"] for r in results]
    print(f"final_frame_after_slide_end_ms_max={max(late):.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
