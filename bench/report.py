#!/usr/bin/env python3
"""Prints the benchmark's table from the key=value lines that bench/run.sh
collected (a key may repeat: one line per run).

  report.py RESULTS_FILE CORES LOADAVG
"""
import statistics
import sys

# Targets.
STARTUP_RATIO = 1.05
# A document reader should need less than a general web view: its engine
# keeps a document viewer's caches and starts nothing a book does not use.
PSS_TO_BARE = 0.90
SLIDE_MS = 300.0
TIMER_MS = 10.0     # the slide's last step comes at the first timer step at or after 0.3 s
FRAME_MS = 1000.0 / 60  # the screen shows a new layout once per frame of GTK's frame clock
PROBE_MS = 5.0      # input delivery to the program plus the probe's grab interval
BACK_MS = 100.0     # the contents header brings the chapter buttons back at once
MIN_POSITIONS = 25
MAX_GAP_MS = 20.0
IDLE_CPU_PCT = 0.2
MEMORY_NOISE = 0.01  # run-to-run spread of the same program's PSS


def load(path):
    values = {}
    with open(path) as f:
        for line in f:
            key, sep, value = line.strip().partition("=")
            if not sep:
                continue
            values.setdefault(key, []).append(value)
    return values


def num(values, key, pick=0):
    try:
        return float(values[key][pick])
    except (KeyError, IndexError, ValueError):
        return None


def nums(values, key):
    out = []
    for v in values.get(key, []):
        try:
            out.append(float(v))
        except ValueError:
            pass
    return out


def median(xs):
    return statistics.median(xs) if xs else None


def fmt(x, unit="", digits=1):
    if x is None:
        return "n/a"
    return f"{x:.{digits}f}{unit}"


INFO = "info"


NEAR = "near"


def verdict(ok):
    if ok is INFO:
        return ""
    if ok is NEAR:
        return "within 1 % (noise)"
    if ok is None:
        return "?"
    return "met" if ok else "MISSED"


def main():
    values = load(sys.argv[1])
    cores = sys.argv[2] if len(sys.argv) > 2 else "?"
    loadavg = sys.argv[3] if len(sys.argv) > 3 else "?"
    rows = []

    def row(figure, velmora, bare, surf, target, ok):
        rows.append((figure, velmora, bare, surf, target, verdict(ok)))

    # Start-up.
    st = {name: nums(values, f"startup.{name}") for name in ("velmora", "bare", "surf")}
    med = {name: median(xs) for name, xs in st.items()}
    ratio = med["velmora"] / med["bare"] if med["velmora"] and med["bare"] else None
    row(
        f"exec -> window mapped, median of {len(st['velmora'])}/{len(st['bare'])}/{len(st['surf'])} runs",
        fmt(med["velmora"], " ms"), fmt(med["bare"], " ms"), fmt(med["surf"], " ms"),
        f"<= {STARTUP_RATIO:.2f} x bare", None if ratio is None else ratio <= STARTUP_RATIO,
    )
    row("  against surf", fmt(med["velmora"], " ms"), "", fmt(med["surf"], " ms"), "<= surf",
        None if not (med["velmora"] and med["surf"]) else med["velmora"] <= med["surf"])
    row("  ratio to the bare window", fmt(ratio, "", 2), "1.00",
        fmt(med["surf"] / med["bare"] if med["surf"] and med["bare"] else None, "", 2), "", INFO)
    for name in ("velmora", "bare", "surf"):
        if st[name]:
            st[name].sort()
    row("  min .. max", *(f"{fmt(st[n][0])}..{fmt(st[n][-1])}" if st[n] else "n/a" for n in ("velmora", "bare", "surf")),
        "", INFO)

    # Chapter painted.
    bound = SLIDE_MS + TIMER_MS + FRAME_MS + PROBE_MS
    first = num(values, "velmora.chapter_first_ms")
    repeats = nums(values, "velmora.chapter_ms")
    def page_shown(name):
        shown = num(values, f"{name}.page_bg_share")
        dark = num(values, f"{name}.page_dark_share")
        return None if shown is None else (shown > 0.5 and (dark or 0) > 0.01)

    shown = {name: page_shown(name) for name in ("velmora", "bare", "surf")}
    page_ok = None if None in shown.values() else all(shown.values())
    yes_no = lambda ok: "n/a" if ok is None else ("yes" if ok else "NO")
    row("click chapter 3 -> final picture of the reader (screen), first", fmt(first, " ms"), "", "",
        f"<= {bound:.0f} ms (0.3 s slide + step + frame + 5 ms probe)", None if first is None else first <= bound)
    row(f"  the same, median of {len(repeats)} more", fmt(median(repeats), " ms"), "", "",
        f"<= {bound:.0f} ms", None if not repeats else median(repeats) <= bound)
    row("the chapter page is on screen (page colour, text)", *(yes_no(shown[n]) for n in ("velmora", "bare", "surf")),
        "page colour > 50 %, text > 1 %", page_ok)
    load_max = num(values, "slide.load_finished_ms_max")
    slide_end = num(values, "slide.slide_end_ms_median")
    late = num(values, "slide.final_frame_after_slide_end_ms_max")
    row("  trace: page load finished after the click (worst)", fmt(load_max, " ms"), "", "",
        f"before the slide's end ({fmt(slide_end, ' ms')})",
        None if load_max is None or slide_end is None else load_max <= slide_end)
    row("  trace: final frame after the slide's last step (worst)", fmt(late, " ms"), "", "",
        f"<= 1 frame ({FRAME_MS:.1f} ms)", None if late is None else late <= FRAME_MS + 1.0)

    # Back to the table of contents: no slide, one change of the page area.
    backs = nums(values, "velmora.back_ms")
    back_pictures = nums(values, "velmora.back_pictures")
    row(f"press on the contents header -> table of contents (screen), median of {len(backs)}", fmt(median(backs), " ms"),
        "", "", f"<= {BACK_MS:.0f} ms", None if not backs else median(backs) <= BACK_MS)
    row("  pictures of the page area on the way back (most)", fmt(max(back_pictures) if back_pictures else None, "", 0),
        "", "", "2 (chapter, then buttons)", None if not back_pictures else max(back_pictures) == 2)

    # Slide.
    positions = num(values, "slide.positions_min")
    gap = num(values, "slide.step_gap_max_ms")
    slides = num(values, "slide.slides")
    row(f"slide: distinct page positions (fewest of {fmt(slides, '', 0)} slides)", fmt(positions, "", 0), "", "",
        f">= {MIN_POSITIONS}", None if positions is None else positions >= MIN_POSITIONS)
    row("slide: largest gap between steps", fmt(gap, " ms"), "", "", f"<= {MAX_GAP_MS:.0f} ms",
        None if gap is None else gap <= MAX_GAP_MS)
    row("  slide duration (median, first to last step)", fmt(num(values, "slide.slide_ms_median"), " ms"), "", "",
        "0.3 s", INFO)
    row("  frames laid out on screen per slide (median)", fmt(num(values, "slide.frames_median"), "", 0), "", "",
        "(info: one per 60 Hz frame)", INFO)
    row("  largest gap between frames on screen", fmt(num(values, "slide.frame_gap_max_ms"), " ms"), "", "",
        "(info)", INFO)

    # Idle processor time.
    def cpu(name, key):
        return num(values, f"{name}.{key}")

    ui = cpu("velmora", "cpu_ui_pct")
    kids = cpu("velmora", "cpu_children_pct")
    idle_s = cpu("velmora", "idle_seconds")
    row(f"idle CPU of the UI process, {fmt(idle_s, ' s', 0)} (% of a core)",
        *(fmt(cpu(n, "cpu_ui_pct"), " %", 3) for n in ("velmora", "bare", "surf")),
        f"< {IDLE_CPU_PCT} %", None if ui is None else ui < IDLE_CPU_PCT)
    row("  the same from schedstat (ns)", *(fmt(cpu(n, "cpu_ui_pct_ns"), " %", 3) for n in ("velmora", "bare", "surf")),
        "", INFO)
    row("idle CPU of the child processes (web, network)",
        *(fmt(cpu(n, "cpu_children_pct"), " %", 3) for n in ("velmora", "bare", "surf")),
        f"< {IDLE_CPU_PCT} %", None if kids is None else kids < IDLE_CPU_PCT)
    row("  the same from schedstat (ns)",
        *(fmt(cpu(n, "cpu_children_pct_ns"), " %", 3) for n in ("velmora", "bare", "surf")), "", INFO)

    # Memory.
    def mib(name, key):
        kb = num(values, f"{name}.{key}")
        return None if kb is None else kb / 1024

    v_pss, s_pss = mib("velmora", "pss_tree_kb"), mib("surf", "pss_tree_kb")
    v_rss, s_rss = mib("velmora", "rss_ui_kb"), mib("surf", "rss_ui_kb")

    def no_more(mine, theirs):
        if mine is None or theirs is None:
            return None
        if mine <= theirs:
            return True
        return NEAR if mine <= theirs * (1 + MEMORY_NOISE) else False

    row("memory after one chapter: PSS of all processes",
        *(fmt(mib(n, "pss_tree_kb"), " MiB") for n in ("velmora", "bare", "surf")),
        "<= surf", no_more(v_pss, s_pss))
    b_pss = mib("bare", "pss_tree_kb")
    row("  against the bare window", fmt(v_pss, " MiB"), fmt(b_pss, " MiB"), "",
        f"<= {PSS_TO_BARE:.2f} x bare", None if v_pss is None or b_pss is None else v_pss <= PSS_TO_BARE * b_pss)
    row("  USS of all processes (own pages only; not shared)",
        *(fmt(mib(n, "uss_tree_kb"), " MiB") for n in ("velmora", "bare", "surf")), "(info)", INFO)
    row("memory after one chapter: RSS of the UI process",
        *(fmt(mib(n, "rss_ui_kb"), " MiB") for n in ("velmora", "bare", "surf")),
        "<= surf", no_more(v_rss, s_rss))

    headers = ("figure", "Velmora", "bare view", "surf", "target", "")
    widths = [max(len(str(r[i])) for r in rows + [headers]) for i in range(6)]
    line = "  ".join("-" * w for w in widths)
    print()
    print("  ".join(h.ljust(w) for h, w in zip(headers, widths)))
    print(line)
    for r in rows:
        print("  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip())
    print(line)
    for name in ("velmora", "bare", "surf"):
        parts = values.get(f"{name}.mem_parts", [""])[0]
        if parts:
            print(f"PSS/USS by process (MiB), {name}: {parts}")
    if "server_restarts" in values:
        print(f"NOTE: the chapter server stopped serving {len(values['server_restarts'])} time(s) during the run "
              "and was started again (see chapter-server.log in the build directory)")
    trace_pages = nums(values, "trace.page_bg_share")
    if any(share <= 0.5 for share in trace_pages):
        print("NOTE: in the trace build's run a slide ended without the chapter page on screen")
    if page_ok is False:
        print("NOTE: a program did not show the chapter page: its paint and memory figures are not those of the page")
    print(f"machine: {cores} cores, load average at the end {loadavg} (shared machine: figures are noisy)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
